// The variant and sheet-set dialogs: their look, and what Ok, Enter, Esc and
// Cancel return.
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "groups/selectsheetvars.h"
#include "groups/variantlist.h"
#include "groups/widgets/closestselectdialog.h"
#include "groups/widgets/sheetseldialog.h"
#include "groups/widgets/variantselectdialog.h"
#include "quadpage.h"

using testing_gui::QuadPage;

namespace {

// Runs the user's part once the dialog is shown modally.
void whenShown(std::function<void(QDialog&)> user) {
  QTimer::singleShot(0, [user] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog != nullptr);
    user(*dialog);
  });
}

void clickCell(QTableView& grid, int row, int column) {
  const QRect cell = grid.visualRect(grid.model()->index(row, column));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
}

QTableView& gridOf(QDialog& dialog) { return *dialog.findChild<QTableView*>("StringGrid1"); }

QString textOf(const QTableView& grid, int row, int column) {
  return grid.model()->index(row, column).data().toString();
}

// A template of three items and three variants of a new group.
struct ThreeVariants : QuadPage {
  ThreeVariants() {
    page.SetTemplateRow({component("C1"), component("R1"), component("R2")}, -1, false);
    candidates = VariantList::fromRows(3, {component("C3"), component("R4"), component("R5"),  //
                                           component("C3"), component("R5"), component("R4"),  //
                                           component("C5"), component("R7"), component("R8")});
  }
  VariantList candidates;
};

// The quad template and two closest candidates, with one and two differing
// pins.
struct TwoClosest : QuadPage {
  TwoClosest() {
    page.SetTemplateRow({component("C1"), component("R1"), component("R2")}, -1, false);
    closest.candidates = {
        {{component("C3"), component("R4"), component("R7")},
         {{2, component("R2"), component("R7"), "1", "N1", "N7"}}},
        {{component("C3"), component("R7"), component("R4")},
         {{1, component("R1"), component("R7"), "2", "GND", ""},
          {2, component("R2"), component("R4"), "1", "N1", "N4"}}},
    };
  }
  ClosestMatch::Result closest;
};

}  // namespace

class ChoiceDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void variantDialogListsTemplateAndVariants() {
    ThreeVariants quad;
    TVariantSelect dialog;
    dialog.ShowVariants(quad.page.GrItems(), {50, 60, 70}, quad.candidates);
    QCOMPARE(dialog.windowTitle(), QString("Select variant"));
    QCOMPARE(dialog.size(), QSize(861, 648));
    auto* label = dialog.findChild<QLabel*>("Label1");
    QCOMPARE(label->text(),
             QString("Multiple layouts of components available. Please, select one"));
    QVERIFY(label->font().bold());
    QTableView& grid = *dialog.grid();
    QCOMPARE(grid.model()->columnCount(), 3);
    QCOMPARE(grid.model()->rowCount(), 3);
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QString("C1"));
    QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toString(), QString("R2"));
    QCOMPARE(grid.columnWidth(1), 60);
    QCOMPARE(textOf(grid, 1, 1), QString("R5"));
    QCOMPARE(textOf(grid, 2, 0), QString("C5"));
    QCOMPARE(textOf(grid, 3, 0), QString());
    QCOMPARE(grid.selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(dialog.okButton()->isDefault());
    QCOMPARE(dialog.okButton()->text(), QString("Ok"));
    QCOMPARE(dialog.cancelButton()->text(), QString("Cancel"));
  }

  // The grid asks the list for the rows it shows: 100 000 variants, the
  // limit, are listed without a text made per cell beforehand.
  void variantDialogListsTheLimitOfVariants() {
    ThreeVariants quad;
    const std::vector<DBX::Component*> first = quad.candidates.row(0);
    const std::vector<DBX::Component*> last = quad.candidates.row(2);
    VariantList many(3);
    for (int k = 0; k < 100000; ++k) many.append(k == 99999 ? last : first);
    TVariantSelect dialog;
    dialog.ShowVariants(quad.page.GrItems(), {}, many);
    QTableView& grid = *dialog.grid();
    QCOMPARE(grid.model()->rowCount(), 100000);
    QCOMPARE(textOf(grid, 99999, 1), QString("R7"));
    QCOMPARE(textOf(grid, 99998, 1), QString("R4"));
    grid.setCurrentIndex(grid.model()->index(99999, 0));
    whenShown([](QDialog& shown) {
      QTest::mouseClick(shown.findChild<QPushButton*>("Button1"), Qt::LeftButton);
    });
    QCOMPARE(dialog.SelectVariant(), 99999);
  }

  void closestDialogListsDifferencesThenDesignators() {
    TwoClosest quad;
    TClosestSelect dialog;
    dialog.ShowCandidates(quad.page.GrItems(), {50, 60, 70}, quad.closest);
    QCOMPARE(dialog.windowTitle(), QString("Select closest match"));
    QTableWidget& grid = *dialog.grid();
    QCOMPARE(grid.columnCount(), 4);
    QCOMPARE(grid.rowCount(), 2);
    QCOMPARE(grid.horizontalHeaderItem(0)->text(), QString("Differences"));
    QCOMPARE(grid.horizontalHeaderItem(1)->text(), QString("C1"));
    QCOMPARE(grid.columnWidth(2), 60);
    QCOMPARE(grid.item(0, 0)->text(), QString("R2 pin 1: N1 in the template, N7 here"));
    QCOMPARE(grid.item(1, 0)->text(), QString("R1 pin 2: GND in the template, no net here\n"
                                              "R2 pin 1: N1 in the template, N4 here"));
    QCOMPARE(grid.item(1, 2)->text(), QString("R7"));
  }

  void closestOkChoosesTheSelectedAndEscNone() {
    TwoClosest quad;
    {
      TClosestSelect dialog;
      dialog.ShowCandidates(quad.page.GrItems(), {}, quad.closest);
      whenShown([](QDialog& shown) {
        QTest::mouseClick(shown.findChild<QPushButton*>("Button1"), Qt::LeftButton);
      });
      QCOMPARE(dialog.SelectCandidate(), 0);
    }
    {
      TClosestSelect dialog;
      dialog.ShowCandidates(quad.page.GrItems(), {}, quad.closest);
      whenShown([](QDialog& shown) {
        clickCell(gridOf(shown), 1, 1);
        QTest::keyClick(&gridOf(shown), Qt::Key_Return);
      });
      QCOMPARE(dialog.SelectCandidate(), 1);
    }
    {
      TClosestSelect dialog;
      dialog.ShowCandidates(quad.page.GrItems(), {}, quad.closest);
      whenShown([](QDialog& shown) { QTest::keyClick(&gridOf(shown), Qt::Key_Escape); });
      QCOMPARE(dialog.SelectCandidate(), -1);
    }
  }

  void variantOkAtOnceChoosesTheFirst() {
    ThreeVariants quad;
    TVariantSelect dialog;
    dialog.ShowVariants(quad.page.GrItems(), {}, quad.candidates);
    whenShown([](QDialog& shown) {
      QTest::mouseClick(shown.findChild<QPushButton*>("Button1"), Qt::LeftButton);
    });
    QCOMPARE(dialog.SelectVariant(), 0);
  }

  void variantThirdRowAndEnterChoosesTheThird() {
    ThreeVariants quad;
    TVariantSelect dialog;
    dialog.ShowVariants(quad.page.GrItems(), {}, quad.candidates);
    whenShown([](QDialog& shown) {
      clickCell(gridOf(shown), 2, 1);
      QTest::keyClick(&gridOf(shown), Qt::Key_Return);
    });
    QCOMPARE(dialog.SelectVariant(), 2);
  }

  void variantEscAndCancelChooseNothing() {
    ThreeVariants quad;
    {
      TVariantSelect dialog;
      dialog.ShowVariants(quad.page.GrItems(), {}, quad.candidates);
      whenShown([](QDialog& shown) {
        clickCell(gridOf(shown), 1, 0);
        QTest::keyClick(&gridOf(shown), Qt::Key_Escape);
      });
      QCOMPARE(dialog.SelectVariant(), -1);
    }
    TVariantSelect dialog;
    dialog.ShowVariants(quad.page.GrItems(), {}, quad.candidates);
    whenShown([](QDialog& shown) {
      QTest::mouseClick(shown.findChild<QPushButton*>("Button2"), Qt::LeftButton);
    });
    QCOMPARE(dialog.SelectVariant(), -1);
  }

  void sheetDialogListsTheSets() {
    QuadPage quad(DBX::kToolSch);
    SelectSheetVars vars = analysed(quad);
    TSheetSel dialog;
    dialog.ShowSheetSets(vars);
    QCOMPARE(dialog.windowTitle(), QString("Select Sheet Set"));
    QCOMPARE(dialog.size(), QSize(878, 640));
    auto* label = dialog.findChild<QLabel*>("Label1");
    QCOMPARE(label->text(), QString("Multiple Macro Instancies detected. Please, select one"));
    QVERIFY(label->font().bold());
    QTableWidget& grid = *dialog.grid();
    QVERIFY(grid.horizontalHeader()->isHidden());
    QVERIFY(grid.verticalHeader()->isHidden());
    QCOMPARE(grid.rowCount(), static_cast<int>(vars.sheetSets.size()));
    QCOMPARE(grid.columnCount(), static_cast<int>(vars.maxSetSize));
    QCOMPARE(grid.item(0, 0)->text(), QString::fromStdString(vars.setSheetNames[0]));
    const int width = QFontMetrics(dialog.font()).horizontalAdvance(grid.item(0, 0)->text()) + 5;
    QVERIFY(grid.columnWidth(0) >= width);
    QVERIFY(dialog.okButton()->isDefault());
  }

  void sheetDialogReturnsTheClickedSetAndSheet() {
    QuadPage quad(DBX::kToolSch);
    SelectSheetVars vars = analysed(quad);
    QVERIFY(vars.maxSetSize >= 3);
    TSheetSel dialog;
    dialog.ShowSheetSets(vars);
    whenShown([](QDialog& shown) {
      clickCell(gridOf(shown), 0, 2);
      QTest::mouseClick(shown.findChild<QPushButton*>("Button1"), Qt::LeftButton);
    });
    const auto choice = dialog.SelectSheetSet();
    QVERIFY(choice.has_value());
    QCOMPARE(choice->set, std::size_t{0});
    QCOMPARE(choice->offset, std::size_t{2});
  }

  void sheetDialogOkAtOnceChoosesTheFirstSheetOfTheFirstSet() {
    QuadPage quad(DBX::kToolSch);
    SelectSheetVars vars = analysed(quad);
    TSheetSel dialog;
    dialog.ShowSheetSets(vars);
    whenShown([](QDialog& shown) { QTest::keyClick(&gridOf(shown), Qt::Key_Return); });
    const auto choice = dialog.SelectSheetSet();
    QVERIFY(choice.has_value());
    QCOMPARE(choice->set, std::size_t{0});
    QCOMPARE(choice->offset, std::size_t{0});
  }

  void sheetDialogEscAndCancelChooseNothing() {
    QuadPage quad(DBX::kToolSch);
    SelectSheetVars vars = analysed(quad);
    for (const char* how : {"Esc", "Cancel"}) {
      TSheetSel dialog;
      dialog.ShowSheetSets(vars);
      const bool esc = std::string(how) == "Esc";
      whenShown([esc](QDialog& shown) {
        if (esc) {
          QTest::keyClick(&gridOf(shown), Qt::Key_Escape);
        } else {
          QTest::mouseClick(shown.findChild<QPushButton*>("Button2"), Qt::LeftButton);
        }
      });
      QVERIFY2(!dialog.SelectSheetSet().has_value(), how);
    }
  }

  void fillBySheetsWithShiftAsksForTheSet() {
    QuadPage quad(DBX::kToolSch);
    GroupSelectorWidget widget(quad.page);
    quad.ui.shift = true;
    whenShown([](QDialog& shown) {
      QCOMPARE(shown.windowTitle(), QString("Select Sheet Set"));
      clickCell(gridOf(shown), 0, 1);
      QTest::keyClick(&gridOf(shown), Qt::Key_Return);
    });
    QTest::mouseClick(widget.fillBySheetButton(), Qt::LeftButton);
    SelectSheetVars vars = analysed(quad);
    // The clicked sheet gives the template group.
    std::vector<DBX::Component*> second = vars.GetSheetComponents(vars.setSheetNames[1]);
    QCOMPARE(quad.page.GrItems().cell(1, 1).component, second.front());
    QCOMPARE(quad.completions.back(), true);
  }

 private:
  static SelectSheetVars analysed(QuadPage& quad) {
    SelectSheetVars vars(quad.design);
    vars.CollectSheetComponents();
    vars.BuildSheetSignatures();
    vars.FindSheetSets();
    return vars;
  }
};

QTEST_MAIN(ChoiceDialogsTest)
#include "choicedialogstest.moc"
