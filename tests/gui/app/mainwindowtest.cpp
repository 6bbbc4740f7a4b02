// The main window over the in-process host: its look, the load and clear
// buttons' states, the "Place Groups" page, and exceptions shown by the
// application.
#include <QListView>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <stdexcept>

#include "app/mainwindow.h"
#include "app/tandrelapplication.h"
#include "engine/hostdbx.h"
#include "groups/widgets/groupselectorwidget.h"
#include "groups/widgets/grouptablemodel.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

struct Window {
  Window() {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) qFatal("the main window was never shown");
  }

  void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // The user picks the page's tab.
  void choosePage(int page) {
    QTabBar* tabs = window.pageControl()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
  }
  bool placeTabShown() const { return window.pageControl()->isTabVisible(TForm1::kPlacePage); }

  // The buttons "Load SCH", "Load PCB" and "Clear Design".
  void expectButtons(bool load, bool clear) {
    QCOMPARE(window.loadSchButton()->isEnabled(), load);
    QCOMPARE(window.loadPcbButton()->isEnabled(), load);
    QCOMPARE(window.clearButton()->isEnabled(), clear);
  }

  testing_diag::ScriptedUi ui;
  dbxhost::HostDbx host{dbxhost::readDesignFile(kQuad)};
  MainWindow window{host};
};

class Thrower : public QObject {
 public:
  bool event(QEvent*) override { throw std::runtime_error("handler failed"); }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void windowLooksAsItShouldAtStart() {
    Window w;
    QCOMPARE(w.window.windowTitle(), QString("Tandrel"));
    QCOMPARE(w.window.size(), QSize(1036, 761));
    QCOMPARE(w.window.minimumWidth(), 800);
    QTabWidget* pages = w.window.pageControl();
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->tabText(0), QString("Groups Selection"));
    QCOMPARE(pages->tabText(1), QString("Place Groups"));
    QCOMPARE(pages->currentIndex(), 0);
    QVERIFY(!w.placeTabShown());
    QCOMPARE(w.window.loadSchButton()->text(), QString("Load SCH"));
    QCOMPARE(w.window.loadPcbButton()->text(), QString("Load PCB"));
    QCOMPARE(w.window.clearButton()->text(), QString("Clear Design"));
    QCOMPARE(w.window.loadSchButton()->size(), QSize(137, 33));
    w.expectButtons(true, true);
    const QAbstractItemModel* table = w.window.groupSelector()->grItems()->model();
    QCOMPARE(table->headerData(0, Qt::Horizontal).toString(), QString("C1"));
    QCOMPARE(table->headerData(0, Qt::Vertical).toString(), QString("G1"));
  }

  void loadButtonsFollowTheStateTable() {
    Window w;
    w.click(w.window.loadSchButton());
    w.expectButtons(false, true);
    QVERIFY(w.window.groupSelector()->fillBySheetButton()->isEnabled());

    w.ui.answers = {false};
    w.click(w.window.clearButton());
    QCOMPARE(w.ui.questions.size(), std::size_t{1});
    QCOMPARE(w.ui.questions[0], std::string("Remove design info?\nAre you shure?"));
    w.expectButtons(false, true);
    QCOMPARE(w.window.form().loadedTool(), DBX::kToolSch);

    w.ui.answers = {true};
    w.click(w.window.clearButton());
    w.expectButtons(true, false);
    QCOMPARE(w.window.form().loadedTool(), DBX::kToolNone);
    QCOMPARE(w.window.groupSelector()->compList()->model()->rowCount(), 0);
    QVERIFY(!w.window.groupSelector()->fillBySheetButton()->isEnabled());

    w.click(w.window.loadPcbButton());
    w.expectButtons(false, true);
    QVERIFY(!w.window.groupSelector()->fillBySheetButton()->isEnabled());
    QCOMPARE(w.window.form().loadedTool(), DBX::kToolPcb);
  }

  void hostFailureDuringLoadIsShownAndTheLoadButtonsStay() {
    Window w;
    w.host.injectStatus(DBX::kToolSch, 1, DBX::DBX_FATAL_ERROR);
    w.click(w.window.loadSchButton());
    QCOMPARE(w.ui.boxes.size(), std::size_t{1});
    QCOMPARE(w.ui.boxes[0].kind, diag::MessageKind::Error);
    QCOMPARE(w.ui.boxes[0].text, std::string("DBX: DBX call error(DBX_FATAL_ERROR (32005))"));
    w.expectButtons(true, true);
    QCOMPARE(w.ui.waitDepth, 0);
    // The window is still usable: the next try loads.
    w.click(w.window.loadSchButton());
    w.expectButtons(false, true);
    QCOMPARE(w.ui.boxes.size(), std::size_t{1});
  }

  void completeTableShowsThePlacePageAndItsPageSwitchesTheTool() {
    Window w;
    w.click(w.window.loadSchButton());
    w.click(w.window.groupSelector()->fillBySheetButton());
    QVERIFY(w.placeTabShown());
    w.choosePage(TForm1::kPlacePage);
    QCOMPARE(w.window.pageControl()->currentIndex(), 1);
    QCOMPARE(w.window.form().design().tool(), DBX::kToolPcb);
    QVERIFY(w.window.form().Placer1().GroupCount() > 0);
    w.choosePage(TForm1::kGroupsPage);
    QCOMPARE(w.window.form().design().tool(), DBX::kToolSch);
    QVERIFY(w.ui.boxes.empty());
  }

  void deleteOnTheLastFilledCellHidesThePlacePage() {
    Window w;
    w.click(w.window.loadPcbButton());
    TGroupSelector& page = w.window.form().GroupSelector1();
    GroupSelectorWidget& selector = *w.window.groupSelector();
    auto take = [&](const char* refDes, int row) {
      page.SetCell(row, 1, page.CompList().entries()[page.CompList().find(refDes)].component);
      page.CompactTable();
    };
    take("C1", 1);
    take("C3", 2);
    selector.refresh();
    QVERIFY(w.placeTabShown());
    QTableView* grid = selector.grItems();
    grid->setFocus();
    for (int row : {2, 1}) {
      grid->setCurrentIndex(selector.tableModel()->indexOfCell(row, 1));
      QTest::keyClick(grid, Qt::Key_Delete);
    }
    QCOMPARE(page.GrItems().rowCount(), 2);
    QCOMPARE(page.GrItems().colCount(), 2);
    QVERIFY(!w.placeTabShown());
  }

  void tableTurningIncompleteOnThePlacePageReturnsToTheGroups() {
    Window w;
    w.click(w.window.loadSchButton());
    w.click(w.window.groupSelector()->fillBySheetButton());
    w.choosePage(TForm1::kPlacePage);
    const int callsBefore = w.host.callCount(DBX::kToolSch);
    // A cell cleared while the place page shows (the group page's rules
    // still run, e.g. from a tool of the placement page).
    TGroupSelector& page = w.window.form().GroupSelector1();
    page.setCurrentCell(1, 1);
    page.DeletePressed();
    QCOMPARE(w.window.pageControl()->currentIndex(), 0);
    QVERIFY(!w.placeTabShown());
    // Leaving the page this way is no choice of the user: the tool stays.
    QCOMPARE(w.host.callCount(DBX::kToolSch), callsBefore);
    QCOMPARE(w.window.form().activePage(), TForm1::kGroupsPage);
  }

  void exceptionEscapingAnEventIsShownAndTheLoopGoesOn() {
    testing_diag::ScriptedUi ui;
    Thrower thrower;
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&thrower, &event));
    QCOMPARE(ui.boxes.size(), std::size_t{1});
    QCOMPARE(ui.boxes[0].kind, diag::MessageKind::Error);
    QCOMPARE(ui.boxes[0].text, std::string("handler failed"));
  }
};

int main(int argc, char** argv) {
  TandrelApplication app(argc, argv);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "mainwindowtest.moc"
