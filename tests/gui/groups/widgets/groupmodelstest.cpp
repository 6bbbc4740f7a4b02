// The table and list models stay consistent (QAbstractItemModelTester)
// through every kind of change of the page, and follow its content.
#include <QAbstractItemModelTester>
#include <QTest>

#include "groups/componentkey.h"
#include "groups/widgets/componentlistmodel.h"
#include "quadpage.h"

using testing_gui::DragSource;
using testing_gui::QuadPage;
using testing_gui::QuadWidget;

namespace {

// What the table model shows, row by row, captions first.
QStringList shownTable(const GroupTableModel& model) {
  QStringList rows;
  QStringList captions;
  for (int c = 0; c < model.columnCount(); ++c) {
    captions << model.headerData(c, Qt::Horizontal).toString();
  }
  rows << captions.join(',');
  for (int r = 0; r < model.rowCount(); ++r) {
    QStringList cells{model.headerData(r, Qt::Vertical).toString()};
    for (int c = 0; c < model.columnCount(); ++c) cells << model.index(r, c).data().toString();
    rows << cells.join(',');
  }
  return rows;
}

QStringList pageTable(const GroupTable& table) {
  QStringList rows;
  for (int r = 0; r < table.rowCount(); ++r) {
    QStringList cells;
    for (int c = r == 0 ? 1 : 0; c < table.colCount(); ++c) {
      cells << QString::fromStdString(table.cell(r, c).text);
    }
    rows << cells.join(',');
  }
  return rows;
}

QStringList shownList(const ComponentListModel& model) {
  QStringList lines;
  for (int row = 0; row < model.rowCount(); ++row) {
    const QModelIndex line = model.index(row);
    lines << line.data().toString() +
                 (line.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked ? "+" : "");
  }
  return lines;
}

QStringList pageList(const ComponentList& list) {
  QStringList lines;
  for (const ComponentList::Entry& entry : list.entries()) {
    lines << QString::fromStdString(entry.text) + (entry.ticked ? "+" : "");
  }
  return lines;
}

}  // namespace

class GroupModelsTest : public QObject {
  Q_OBJECT

 private slots:
  void tableModelFollowsEveryChangeOfThePage() {
    QuadWidget quad;
    GroupTableModel& model = *quad.widget.tableModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto same = [&] { QCOMPARE(shownTable(model), pageTable(quad.page.GrItems())); };
    same();
    QVERIFY(quad.moveToCell("C1", 1, 1));
    same();
    QVERIFY(quad.moveToCell("R1", 1, 2));
    QVERIFY(quad.moveToCell("C3", 2, 1));
    QVERIFY(quad.moveToCell("R4", 2, 2));
    same();
    // A middle column goes, rows go.
    quad.widget.beginGrItemsDrag(1, 2);
    QVERIFY(quad.dropOnList());
    same();
    QVERIFY(quad.moveToCell("R7", 1, 2));
    same();
    quad.page.ClearAll(true);
    quad.widget.refresh();
    same();
    quad.page.LoadDesign(quad.design);
    quad.widget.refresh();
    same();
  }

  void draggableCellsAreExactlyTheFilledOnes() {
    QuadWidget quad;
    QVERIFY(quad.moveToCell("C1", 1, 1));
    const GroupTableModel& model = *quad.widget.tableModel();
    QVERIFY(model.flags(model.indexOfCell(1, 1)).testFlag(Qt::ItemIsDragEnabled));
    QVERIFY(!model.flags(model.indexOfCell(1, 2)).testFlag(Qt::ItemIsDragEnabled));
    QVERIFY(!model.flags(model.indexOfCell(2, 1)).testFlag(Qt::ItemIsDragEnabled));
    QVERIFY(!model.flags(model.indexOfCell(1, 1)).testFlag(Qt::ItemIsEditable));
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QVERIFY(!model.data(model.index(5, 5)).isValid());
  }

  void tooltipsNameTheDifferingPins() {
    QuadPage quad;
    GroupTableModel model(quad.page);
    quad.page.SetTemplateRow({quad.component("C1"), quad.component("R1"), quad.component("U1")}, -1,
                             false);
    int offered = 0;
    quad.page.chooseClosest = [&](const TGroupSelector&, const ClosestMatch::Result&) {
      ++offered;
      return 0;
    };
    // U3 of another channel with channel 2's input parts.
    quad.page.AddGroup({quad.component("C3"), quad.component("R4"), quad.component("U3")});
    QCOMPARE(offered, 1);
    model.sync();
    int differing = 0;
    for (int column = 1; column <= 3; ++column) {
      const DBX::Component* component = quad.page.GrItems().cell(2, column).component;
      const QVariant tip = model.data(model.indexOfCell(2, column), Qt::ToolTipRole);
      const std::vector<std::string>& lines = quad.page.Differences().linesOf(component);
      if (lines.empty()) {
        QVERIFY(!tip.isValid());
        continue;
      }
      ++differing;
      QStringList expected;
      for (const std::string& line : lines) expected << QString::fromStdString(line);
      QCOMPARE(tip.toString(), expected.join('\n'));
      QVERIFY(tip.toString().contains(" in the template, "));
    }
    QVERIFY(differing > 0);
    QVERIFY(!model.data(model.indexOfCell(1, 1), Qt::ToolTipRole).isValid());
  }

  void listModelFollowsRemovalsAppendsAndTicks() {
    QuadWidget quad;
    ComponentListModel& model = *quad.widget.compListModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto same = [&] { QCOMPARE(shownList(model), pageList(quad.page.CompList())); };
    same();
    QVERIFY(model.setData(model.index(2), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(quad.page.CompList().entries()[2].ticked);
    same();
    // Lines leave from the middle and come back at the end.
    QVERIFY(quad.moveToCell("R4", 1, 1));
    QVERIFY(quad.moveToCell("R7", 2, 1));
    same();
    quad.widget.beginGrItemsDrag(1, 1);
    QVERIFY(quad.dropOnList());
    same();
    // A tick set on the page directly.
    quad.page.SetTicked(0, true);
    quad.widget.refresh();
    same();
    quad.page.ClearAll(true);
    quad.widget.refresh();
    same();
    quad.page.LoadDesign(quad.design);
    quad.widget.refresh();
    same();
  }

  void listModelRefusesOtherEdits() {
    QuadWidget quad;
    ComponentListModel& model = *quad.widget.compListModel();
    QVERIFY(!model.setData(model.index(0), "X", Qt::EditRole));
    QVERIFY(!model.setData(QModelIndex(), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(model.index(0).data().toString(), QString("C1"));
    QVERIFY(!model.flags(model.index(0)).testFlag(Qt::ItemIsEditable));
  }

  void listModelCatchesUpWithAnyReordering() {
    // The page reloaded in another order than the one shown.
    QuadPage quad;
    ComponentListModel model(quad.page);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::vector<DBX::Component*> reversed;
    for (const ComponentList::Entry& entry : quad.page.CompList().entries()) {
      reversed.insert(reversed.begin(), entry.component);
    }
    quad.page.CompList().clear();
    for (DBX::Component* component : reversed) {
      quad.page.CompList().append(ComponentField(*component, 0), component);
    }
    model.sync();
    QCOMPARE(shownList(model), pageList(quad.page.CompList()));
  }
};

QTEST_MAIN(GroupModelsTest)
#include "groupmodelstest.moc"
