// The group selection page's widget: drag and drop, the drawing of marks,
// keys and buttons, on the quad example's PCB.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "groups/widgets/componentlistmodel.h"
#include "quadpage.h"

using testing_gui::DragSource;
using testing_gui::QuadWidget;

namespace {

// The cell as drawn, without the grid lines and the focus frame.
QImage cellImage(QuadWidget& quad, int row, int column) {
  const QImage shot = quad.widget.grItems()->viewport()->grab().toImage();
  const QRect cell = quad.cellRect(row, column).adjusted(3, 3, -4, -4);
  return shot.copy(cell).convertToFormat(QImage::Format_RGB32);
}

int countPixels(const QImage& image, QColor color) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == color ? 1 : 0;
  }
  return count;
}

// A cross hatch has whole lines across the cell; a diagonal hatch has none.
bool hasFullRowOf(const QImage& image, QColor color) {
  for (int y = 0; y < image.height(); ++y) {
    bool full = true;
    for (int x = 0; full && x < image.width(); ++x) full = image.pixelColor(x, y) == color;
    if (full) return true;
  }
  return false;
}

enum class Drawn { Plain, BackwardHatch, CrossHatch, Conflict, Dragged };

Drawn drawnAs(QuadWidget& quad, int row, int column) {
  const QImage cell = cellImage(quad, row, column);
  const QColor base = quad.widget.grItems()->palette().color(QPalette::Base);
  const QColor inverse(255 - base.red(), 255 - base.green(), 255 - base.blue());
  const int area = cell.width() * cell.height();
  if (countPixels(cell, Qt::red) > area / 2) return Drawn::Conflict;
  if (countPixels(cell, QColor(0, 0, 255)) > area / 2) return Drawn::Dragged;
  if (countPixels(cell, inverse) > area / 4 && countPixels(cell, base) > 0) {
    return hasFullRowOf(cell, base) ? Drawn::CrossHatch : Drawn::BackwardHatch;
  }
  return Drawn::Plain;
}

}  // namespace

class GroupSelectorWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void loadedPcbListsEveryComponentWithFillBySheetsDisabled() {
    QuadWidget quad;
    QCOMPARE(quad.widget.compListModel()->rowCount(),
             static_cast<int>(quad.design.pack().components().left.size()));
    QCOMPARE(quad.listed().first(), QString("C1"));
    QVERIFY(!quad.widget.fillBySheetButton()->isEnabled());
    QVERIFY(quad.widget.addHighlightedButton()->isEnabled());
    QVERIFY(!quad.widget.addSelectedButton()->isEnabled());
    QCOMPARE(quad.widget.netList()->count(),
             static_cast<int>(quad.design.pack().nets().left.size()));
    QVERIFY(!quad.widget.netList()->isVisible());
    // The net list follows a design dropped and read again.
    quad.widget.act([&] { quad.page.ClearAll(true); });
    QCOMPARE(quad.widget.netList()->count(), 0);
    quad.widget.act([&] { quad.page.LoadDesign(quad.design); });
    QCOMPARE(quad.widget.netList()->count(),
             static_cast<int>(quad.design.pack().nets().left.size()));
    QCOMPARE(quad.widget.netList()->item(0)->text(),
             QString::fromStdString(quad.design.pack().nets().left.begin()->first));
    const QTableView* grid = quad.widget.grItems();
    QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QString("C1"));
    QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), QString("G1"));
    QCOMPARE(grid->verticalHeader()->width(), 40);
    QCOMPARE(grid->columnWidth(0), 100);
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
  }

  void dragFromListOntoEmptyTableMarksOnlyTheFirstCell() {
    QuadWidget quad;
    quad.startListDrag("C1");
    QVERIFY(quad.page.FDragging());
    QCOMPARE(quad.page.FDropTargets().size(), std::size_t{1});
    QCOMPARE(drawnAs(quad, 1, 1), Drawn::BackwardHatch);

    QVERIFY(quad.dropOnCell(1, 1, DragSource::CompList));
    QCOMPARE(quad.widget.tableModel()->rowCount(), 2);
    QCOMPARE(quad.widget.tableModel()->columnCount(), 2);
    QCOMPARE(quad.widget.tableModel()->headerData(1, Qt::Horizontal).toString(), QString("C2"));
    QCOMPARE(quad.widget.tableModel()->headerData(1, Qt::Vertical).toString(), QString("G2"));
    QCOMPARE(quad.widget.tableModel()->indexOfCell(1, 1).data().toString(), QString("C1"));
    QVERIFY(!quad.listed().contains("C1"));
    QCOMPARE(quad.completions.back(), false);
    // The drag is over: nothing is marked any more.
    QCOMPARE(drawnAs(quad, 1, 2), Drawn::Plain);
    QCOMPARE(drawnAs(quad, 2, 1), Drawn::Plain);
  }

  void dropOutsideEveryTargetChangesNothing() {
    QuadWidget quad;
    QVERIFY(quad.moveToCell("C1", 1, 1));
    quad.startListDrag("R1");
    // R1 is no capacitor: it may not take C1's place in the spare row.
    QVERIFY(!quad.dragOverCell(2, 1, DragSource::CompList));
    QVERIFY(!quad.dropOnCell(1, 1, DragSource::CompList));
    QCOMPARE(quad.page.GrItems().rowCount(), 3);
    QCOMPARE(quad.page.GrItems().cell(1, 1).text, std::string("C1"));
    QVERIFY(quad.listed().contains("R1"));
    QVERIFY(!quad.page.FDragging());
    QVERIFY(quad.page.FDropTargets().empty());
  }

  void dragWithoutSelectedLineIsRefusedEverywhere() {
    QuadWidget quad;
    quad.widget.compList()->setCurrentIndex(QModelIndex());
    quad.widget.beginCompListDrag();
    QVERIFY(!quad.page.FDragging());
    QVERIFY(!quad.dragOverCell(1, 1, DragSource::CompList));
  }

  void foreignDragsAndListToListDragsAreRefused() {
    QuadWidget quad;
    quad.startListDrag("C1");
    QMimeData text;
    text.setText("C1");
    QDragEnterEvent enter(quad.cellCentre(1, 1), Qt::CopyAction, &text, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(quad.widget.grItems()->viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    // CompList takes back only cells of the table.
    QVERIFY(!QuadWidget::dragOver(quad.widget.compList(), QPoint(5, 5), DragSource::CompList));
    quad.widget.finishDrag();
  }

  // Template C1, -; group C3, R4: dropping R7 into the template's empty cell
  // would make the group disagree.
  void targetsWithConflictsAreCrossHatchedAndShowTheirConflictsInRed() {
    QuadWidget quad;
    buildGroupWithoutTemplateItem(quad);
    quad.startListDrag("R7");
    QCOMPARE(drawnAs(quad, 1, 2), Drawn::CrossHatch);
    QCOMPARE(drawnAs(quad, 1, 3), Drawn::BackwardHatch);
    QCOMPARE(drawnAs(quad, 3, 2), Drawn::BackwardHatch);
    QCOMPARE(drawnAs(quad, 2, 1), Drawn::Plain);
    QCOMPARE(drawnAs(quad, 3, 1), Drawn::Plain);

    QVERIFY(quad.dragOverCell(1, 2, DragSource::CompList));
    QCOMPARE(drawnAs(quad, 2, 1), Drawn::Conflict);
    QCOMPARE(drawnAs(quad, 2, 2), Drawn::Conflict);
    // A target that clears nothing takes the red marks away.
    QVERIFY(quad.dragOverCell(3, 2, DragSource::CompList));
    QCOMPARE(drawnAs(quad, 2, 1), Drawn::Plain);
    QVERIFY(quad.page.FShownConflicts().empty());
    quad.widget.finishDrag();
  }

  void dropOnCrossHatchedTargetSendsTheConflictsToTheEndOfTheList() {
    QuadWidget quad;
    buildGroupWithoutTemplateItem(quad);
    QVERIFY(quad.moveToCell("R7", 1, 2));
    const QStringList listed = quad.listed();
    QCOMPARE(listed.mid(listed.size() - 2), QStringList({"C3", "R4"}));
    QCOMPARE(quad.page.GrItems().cell(1, 2).text, std::string("R7"));
    // The group row lost every component and is gone.
    QCOMPARE(quad.widget.tableModel()->rowCount(), 2);
    QCOMPARE(quad.widget.tableModel()->columnCount(), 3);
    QCOMPARE(quad.page.TemplateGraph().size(), std::size_t{2});
  }

  void cellDraggedBackOntoTheListReturnsToItsEnd() {
    QuadWidget quad;
    QVERIFY(quad.moveToCell("C1", 1, 1));
    quad.widget.beginGrItemsDrag(1, 1);
    QCOMPARE(drawnAs(quad, 1, 1), Drawn::Dragged);
    QVERIFY(quad.dropOnList());
    QCOMPARE(quad.listed().last(), QString("C1"));
    QCOMPARE(quad.widget.tableModel()->rowCount(), 1);
    QCOMPARE(quad.widget.tableModel()->columnCount(), 1);
    QVERIFY(!quad.page.FDragging());
  }

  void cellMovedWithinTheTableLeavesItsPlace() {
    QuadWidget quad;
    QVERIFY(quad.moveToCell("C1", 1, 1));
    QVERIFY(quad.moveToCell("C3", 2, 1));
    quad.widget.beginGrItemsDrag(2, 1);
    // Dropping the group's capacitor into the spare row keeps one group.
    QVERIFY(quad.dropOnCell(3, 1, DragSource::GrItems));
    QCOMPARE(quad.page.GrItems().cell(2, 1).text, std::string("C3"));
    QCOMPARE(quad.page.GrItems().rowCount(), 4);
    QVERIFY(!quad.listed().contains("C3"));
  }

  void deleteOnTheLastFilledCellResetsTheTable() {
    QuadWidget quad;
    QVERIFY(quad.moveToCell("C1", 1, 1));
    quad.widget.grItems()->setFocus();
    quad.widget.grItems()->setCurrentIndex(quad.widget.tableModel()->indexOfCell(1, 1));
    QTest::keyClick(quad.widget.grItems(), Qt::Key_Delete);
    QCOMPARE(quad.widget.tableModel()->rowCount(), 1);
    QCOMPARE(quad.widget.tableModel()->columnCount(), 1);
    QCOMPARE(quad.listed().last(), QString("C1"));
    QCOMPARE(quad.completions.back(), false);
  }

  void deleteClearsOnlyTheCurrentCell() {
    QuadWidget quad;
    QVERIFY(quad.moveToCell("C1", 1, 1));
    QVERIFY(quad.moveToCell("R1", 1, 2));
    QTest::mouseClick(quad.widget.grItems()->viewport(), Qt::LeftButton, {}, quad.cellCentre(1, 2));
    QTest::keyClick(quad.widget.grItems(), Qt::Key_Delete);
    QCOMPARE(quad.page.GrItems().cell(1, 1).text, std::string("C1"));
    QCOMPARE(quad.page.GrItems().colCount(), 3);
    QCOMPARE(quad.listed().last(), QString("R1"));
  }

  void altDWritesTheDesignDumpIntoTheWorkingDirectory() {
    QuadWidget quad;
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QTest::keyClick(quad.widget.grItems(), Qt::Key_D, Qt::AltModifier);
    QTest::keyClick(quad.widget.grItems(), Qt::Key_D, Qt::AltModifier);
    QDir::setCurrent(previous);
    QFile dump(dir.filePath("dump.txt"));
    QVERIFY(dump.open(QIODevice::ReadOnly));
    const QByteArray text = dump.readAll();
    QVERIFY(text.contains("'C1'"));
    // The second dump replaced the first.
    QCOMPARE(text.count("Comp 'C1'"), 1);
    QVERIFY(quad.ui.boxes.empty());
  }

  void addSelectedFollowsTheTicksAndFillsTheTemplate() {
    QuadWidget quad;
    ComponentListModel& list = *quad.widget.compListModel();
    tick(quad, "C1");
    QVERIFY(quad.widget.addSelectedButton()->isEnabled());
    tick(quad, "R1");
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    QCOMPARE(quad.page.GrItems().cell(1, 1).text, std::string("C1"));
    QCOMPARE(quad.page.GrItems().cell(1, 2).text, std::string("R1"));
    QVERIFY(!quad.widget.addSelectedButton()->isEnabled());
    QCOMPARE(list.rowCount(), static_cast<int>(quad.page.CompList().size()));
    const int fitted = quad.widget.grItems()->fontMetrics().horizontalAdvance("C1") + 5;
    QCOMPARE(quad.widget.grItems()->columnWidth(0), fitted);

    // Two ticks for a two-item template enable the button; one does not.
    tick(quad, "C3");
    QVERIFY(!quad.widget.addSelectedButton()->isEnabled());
    tick(quad, "R4");
    QVERIFY(quad.widget.addSelectedButton()->isEnabled());
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    QCOMPARE(quad.page.GrItems().cell(2, 1).text, std::string("C3"));
    QCOMPARE(quad.page.GrItems().cell(2, 2).text, std::string("R4"));
    QCOMPARE(quad.completions.back(), true);
  }

  void addSelectedThatMatchesNothingShowsTheErrorAndKeepsTheTable() {
    QuadWidget quad;
    tick(quad, "C1");
    tick(quad, "R1");
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    // J3 is no resistor: not even a closest match exists.
    tick(quad, "C3");
    tick(quad, "J3");
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    QCOMPARE(quad.ui.boxes.size(), std::size_t{1});
    QVERIFY(quad.ui.boxes[0].text.starts_with(
        "Sorry, components doesn't match original components and nets"));
    QCOMPARE(quad.page.GrItems().rowCount(), 3);
    QVERIFY(quad.listed().contains("C3"));
    QCOMPARE(quad.ui.waitDepth, 0);
  }

  void addSelectedCloseToTheTemplateOffersTheClosestAndOkAddsIt() {
    QuadWidget quad;
    tick(quad, "C1");
    tick(quad, "R1");
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    // R7 of another channel is not linked to C3 as R1 is to C1.
    tick(quad, "C3");
    tick(quad, "R7");
    QString title;
    QString differences;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      title = dialog->windowTitle();
      differences = dialog->findChild<QTableWidget*>("StringGrid1")->item(0, 0)->text();
      QTest::mouseClick(dialog->findChild<QPushButton*>("Button1"), Qt::LeftButton);
    });
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    QCOMPARE(title, QString("Select closest match"));
    QVERIFY(differences.contains(" in the template, "));
    QVERIFY(quad.ui.boxes.empty());
    QCOMPARE(quad.page.GrItems().rowCount(), 4);
    QVERIFY(!quad.listed().contains("R7"));
  }

  void addHighlightedTakesTheHostsHighlightAsTemplateAndThenAsGroup() {
    QuadWidget quad;
    highlight(quad, {"C1", "R1"});
    QTest::mouseClick(quad.widget.addHighlightedButton(), Qt::LeftButton);
    QCOMPARE(quad.page.GrItems().cell(1, 1).text, std::string("C1"));
    QCOMPARE(quad.page.GrItems().cell(1, 2).text, std::string("R1"));
    // Already grouped components are skipped: only the second channel's pair
    // is new, and it is matched to the template.
    highlight(quad, {"C1", "R1", "R4", "C3"});
    QTest::mouseClick(quad.widget.addHighlightedButton(), Qt::LeftButton);
    QCOMPARE(quad.page.GrItems().cell(2, 1).text, std::string("C3"));
    QCOMPARE(quad.page.GrItems().cell(2, 2).text, std::string("R4"));
    QVERIFY(!quad.listed().contains("R4"));
    QCOMPARE(quad.completions.back(), true);
    QVERIFY(quad.ui.boxes.empty());
    QCOMPARE(quad.ui.waitDepth, 0);
  }

  // Two decoupling capacitors between the same nets fit either template
  // item: the user picks the variant in the dialog.
  void addSelectedWithTwoVariantsAsksForOne() {
    QuadWidget quad;
    tick(quad, "C2");
    tick(quad, "C8");
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    quad.widget.grItems()->setColumnWidth(1, 77);
    tick(quad, "C4");
    tick(quad, "C6");
    QString title;
    int headingWidth = 0;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      title = dialog->windowTitle();
      auto* grid = dialog->findChild<QTableView*>("StringGrid1");
      headingWidth = grid->columnWidth(1);
      QCOMPARE(grid->model()->rowCount(), 2);
      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                        grid->visualRect(grid->model()->index(1, 0)).center());
      QTest::keyClick(grid, Qt::Key_Return);
    });
    QTest::mouseClick(quad.widget.addSelectedButton(), Qt::LeftButton);
    QCOMPARE(title, QString("Select variant"));
    QCOMPARE(headingWidth, 77);
    QCOMPARE(quad.page.GrItems().cell(2, 1).text, std::string("C6"));
    QCOMPARE(quad.page.GrItems().cell(2, 2).text, std::string("C4"));
  }

  void addHighlightedWithoutHighlightShowsTheError() {
    QuadWidget quad;
    QTest::mouseClick(quad.widget.addHighlightedButton(), Qt::LeftButton);
    QCOMPARE(quad.ui.boxes.size(), std::size_t{1});
    QCOMPARE(quad.ui.boxes[0].text, std::string("No highlited component found!"));
    QCOMPARE(quad.ui.waitDepth, 0);
  }

  void hostFailureDuringAButtonIsShownAndTheWidgetStaysUsable() {
    QuadWidget quad;
    quad.host.injectStatus(DBX::kToolPcb, 1, DBX::DBX_FATAL_ERROR);
    QTest::mouseClick(quad.widget.addHighlightedButton(), Qt::LeftButton);
    QCOMPARE(quad.ui.boxes.size(), std::size_t{1});
    QCOMPARE(quad.ui.boxes[0].text, std::string("DBX: DBX call error(DBX_FATAL_ERROR (32005))"));
    QCOMPARE(quad.ui.waitDepth, 0);
    QVERIFY(quad.moveToCell("C1", 1, 1));
  }

 private:
  static void highlight(QuadWidget& quad, std::initializer_list<std::string> refDes) {
    quad.host.withDesign([&](dbxhost::Design& design) {
      for (dbxhost::PcbComponent& component : design.pcb.components) {
        component.highlight =
            std::find(refDes.begin(), refDes.end(), component.refDes) != refDes.end()
                ? DBX::DBX_COLOR_RED
                : 0;
      }
    });
  }

  static void tick(QuadWidget& quad, const char* refDes) {
    const int line = quad.page.CompList().find(refDes);
    QVERIFY(line >= 0);
    QVERIFY(quad.widget.compListModel()->setData(quad.widget.compListModel()->index(line),
                                                 Qt::Checked, Qt::CheckStateRole));
  }

  static void buildGroupWithoutTemplateItem(QuadWidget& quad) {
    QVERIFY(quad.moveToCell("C1", 1, 1));
    QVERIFY(quad.moveToCell("R1", 1, 2));
    QVERIFY(quad.moveToCell("C3", 2, 1));
    QVERIFY(quad.moveToCell("R4", 2, 2));
    quad.widget.beginGrItemsDrag(1, 2);
    QVERIFY(quad.dropOnList());
    QCOMPARE(quad.page.GrItems().cell(1, 2).text, std::string());
    QCOMPARE(quad.page.GrItems().cell(2, 2).text, std::string("R4"));
  }
};

QTEST_MAIN(GroupSelectorWidgetTest)
#include "groupselectorwidgettest.moc"
