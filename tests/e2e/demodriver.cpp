// The demo's hands: starts dbxhost on a design, opens Tandrel's real main
// window and clicks through the main flow as a person would ("Load SCH",
// "Fill By Sheets", the page "Place Groups", the first group as template,
// gathered with "Group" near the board's corner, a 2 x 2 grid, "Place"). The host saves the design
// before and after; both are drawn with the host's own PCB view, next to pictures of the main
// window. Given a template part, the group holding it is the template and
// every other group is placed on its anchor with the template's routing
// ("Anchors", "Copy routing and texts", "Replace the copies' routing"),
// Place's questions answered OK; a KiCad board is saved in place (the demo
// hands it a copy).
//
//   tandrel_demo_driver DESIGN OUTPUT_DIR [TEMPLATE_PART]
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "app/mainwindow.h"
#include "app/qtui.h"
#include "app/tandrelapplication.h"
#include "dbx/socketdbx.h"
#include "engine/hostdbx.h"
#include "groups/widgets/groupselectorwidget.h"
#include "hostprocess.h"
#include "placement/widgets/placerwidget.h"
#include "storage/designstorage.h"
#include "window/designscene.h"
#include "window/designview.h"

namespace {

namespace fs = std::filesystem;
using placement::Control;

// Answers the boxes and dialogs that the flow opens: a dialog is accepted
// with its preselected choice, a question answered OK, a message box is
// closed with OK and counted, since the main flow on a good design shows
// none.
class DialogAnswerer {
 public:
  DialogAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
    timer_.start(100);
  }
  int messageBoxes() const { return messageBoxes_; }

 private:
  void answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
      // A question ("Confirm") offers Cancel beside OK.
      if (box->button(QMessageBox::Cancel) == nullptr) ++messageBoxes_;
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      if (ok != nullptr)
        ok->click();
      else
        box->reject();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      std::fprintf(stderr, "dialog \"%s\": first choice taken\n",
                   qPrintable(dialog->windowTitle()));
      dialog->accept();
    }
  }

  QTimer timer_;
  int messageBoxes_ = 0;
};

void require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(what);
}

// The host's PCB view of a saved design, as the host window shows it.
void drawBoard(const fs::path& designFile, const QString& picture) {
  dbxhost::HostDbx host(dbxhost::openDesign(designFile).design);
  dbxhost::DesignView view(host, DBX::kToolPcb, dbxhost::DesignView::Style::kPcb,
                           dbxhost::pcbScene);
  view.resize(1000, 760);
  view.fitToView();
  require(view.grab().save(picture), "cannot write a board picture");
}

void saveWindow(QWidget& window, const QString& picture) {
  QTest::qWait(200);  // let queued repaints land
  require(window.grab().save(picture), "cannot write a window picture");
}

void typeInto(QLineEdit& edit, const QString& text) {
  edit.setFocus();
  edit.selectAll();
  QTest::keyClicks(&edit, text);
}

void clickTab(QTabWidget& pages, int index) {
  QTest::mouseClick(pages.tabBar(), Qt::LeftButton, {}, pages.tabBar()->tabRect(index).center());
  require(pages.currentIndex() == index, "a page did not open");
}

void clickButton(QWidget& parent, const char* name) {
  auto* button = parent.findChild<QPushButton*>(name);
  require(button != nullptr && button->isEnabled(), "a button is missing or disabled");
  QTest::mouseClick(button, Qt::LeftButton);
}

// "Load SCH", "Fill By Sheets" and the page "Place Groups".
void fillBySheets(MainWindow& window, const QDir& out) {
  QTest::mouseClick(window.loadSchButton(), Qt::LeftButton);
  require(!window.loadSchButton()->isEnabled(), "Load SCH did not load the schematic");
  QTest::mouseClick(window.groupSelector()->fillBySheetButton(), Qt::LeftButton);
  require(window.form().placeTabVisible(), "Fill By Sheets left the group table incomplete");
  saveWindow(window, out.filePath("tandrel-groups.png"));
  clickTab(*window.pageControl(), 1);
}

void placeQuad(MainWindow& window, const QDir& out) {
  fillBySheets(window, out);

  PlacerWidget& page = *window.placer();
  auto* groups = page.findChild<QListWidget*>("GroupsList");
  require(groups != nullptr && groups->count() >= 2, "the group list is empty");
  QTest::mouseClick(groups->viewport(), Qt::LeftButton, {},
                    groups->visualItemRect(groups->item(0)).center());
  // The channels lie side by side across the board: the template is gathered
  // near the left-bottom corner first, so that the 2 x 2 grid fits.
  clickTab(*page.findChild<QTabWidget*>("PageControl1"), 1);
  typeInto(*page.field(Control::GrpX), "10");
  typeInto(*page.field(Control::GrpY), "10");
  typeInto(*page.field(Control::GrGap), "1.27");
  clickButton(page, "Button2");
  clickTab(*page.findChild<QTabWidget*>("PageControl1"), 0);

  typeInto(*page.field(Control::Rows), "2");
  typeInto(*page.field(Control::Cols), "2");
  // One grid step between the copies keeps every pitch on the grid.
  typeInto(*page.field(Control::GapX), "1.27");
  typeInto(*page.field(Control::GapY), "1.27");
  clickButton(page, "PlaceButton");
  saveWindow(window, out.filePath("tandrel-placed.png"));
}

// Picks the group that lists templatePart, then places every other group on
// its anchor with the template's routing.
void placeOnAnchors(MainWindow& window, const QDir& out, const QString& templatePart) {
  fillBySheets(window, out);

  PlacerWidget& page = *window.placer();
  auto* groups = page.findChild<QListWidget*>("GroupsList");
  require(groups != nullptr && groups->count() >= 2, "the group list is empty");
  const QList<QListWidgetItem*> lines = groups->findItems(templatePart, Qt::MatchContains);
  require(!lines.isEmpty(), "no group lists the template part");
  QTest::mouseClick(groups->viewport(), Qt::LeftButton, {},
                    groups->visualItemRect(lines.front()).center());
  auto* anchors = page.findChild<QAbstractButton*>("ArrangeAnchors");
  require(anchors != nullptr, "the arrangement Anchors is missing");
  QTest::mouseClick(anchors, Qt::LeftButton);
  for (const char* box : {"CopyRouting", "ReplaceRouting"}) {
    auto* tick = page.findChild<QAbstractButton*>(box);
    require(tick != nullptr && tick->isEnabled(), "a routing box is missing or disabled");
    if (!tick->isChecked()) QTest::mouseClick(tick, Qt::LeftButton);
  }
  clickButton(page, "PlaceButton");
  saveWindow(window, out.filePath("tandrel-placed.png"));
}

// Where the host saves the design: a JSON design into outDir under name, a
// KiCad board in place.
fs::path saveDesign(tandrel::testing::HostProcess& host, const fs::path& designFile,
                    const fs::path& outDir, const char* name) {
  const bool kicad = designFile.extension() == ".kicad_pcb";
  const fs::path target = kicad ? designFile : outDir / (std::string(name) + ".json");
  const std::string answer = host.command(kicad ? "save" : "save " + target.string());
  require(answer.rfind("ok", 0) == 0, "host cannot save");
  return target;
}

int run(const fs::path& designFile, const fs::path& outDir, const QString& templatePart) {
  fs::create_directories(outDir);
  const QDir out(QString::fromStdString(outDir.string()));
  const std::string socketDir = tandrel::testing::makePrivateTempDir("tandrel-demo");
  struct RemoveDir {
    std::string dir;
    ~RemoveDir() { fs::remove_all(dir); }
  } removeDir{socketDir};

  tandrel::testing::HostProcess host(designFile.string(), socketDir);
  // A JSON example itself is never written: the host works on a copy from
  // here.
  drawBoard(saveDesign(host, designFile, outDir, "before"), out.filePath("board-before.png"));

  DialogAnswerer answerer;
  {
    DBX::SocketDbx dbx(socketDir);
    MainWindow window(dbx);
    window.show();
    require(QTest::qWaitForWindowExposed(&window), "the main window did not appear");
    if (templatePart.isEmpty()) {
      placeQuad(window, out);
    } else {
      placeOnAnchors(window, out, templatePart);
    }
  }
  const fs::path after = saveDesign(host, designFile, outDir, "after");
  host.stop(SIGTERM);
  drawBoard(after, out.filePath("board-after.png"));
  require(answerer.messageBoxes() == 0, "the flow showed a message box");

  for (const char* name :
       {"board-before.png", "tandrel-groups.png", "tandrel-placed.png", "board-after.png"}) {
    std::printf("%s\n", qPrintable(QDir::cleanPath(out.absoluteFilePath(name))));
  }
  std::printf("%s\n", fs::absolute(after).string().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TandrelApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: tandrel_demo_driver DESIGN OUTPUT_DIR [TEMPLATE_PART]\n");
    return 2;
  }
  QtUi ui;
  diag::installUi(&ui);
  int status = 1;
  try {
    status = run(argv[1], argv[2], argc == 4 ? QString(argv[3]) : QString());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "demo failed: %s\n", error.what());
  }
  diag::installUi(nullptr);
  return status;
}
