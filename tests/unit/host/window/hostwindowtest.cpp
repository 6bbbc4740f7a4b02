#include "window/hostwindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "storage/designfile.h"
#include "window/designview.h"

namespace dbxhost {
namespace {

namespace fs = std::filesystem;
using namespace DBX;

const fs::path kQuad = fs::path(TANDREL_EXAMPLES_DIR) / "quad-preamp.json";
const fs::path kFlat = fs::path(TANDREL_EXAMPLES_DIR) / "flat-3ch.json";

// Answers the next modal message box with a button and keeps its text; a box
// that never comes leaves answered() false.
class BoxAnswer {
 public:
  explicit BoxAnswer(QMessageBox::StandardButton button) {
    QObject::connect(&timer_, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      text_ = box->text() + "\n" + box->informativeText();
      timer_.stop();
      box->button(button)->click();
    });
    timer_.start(10);
  }
  bool answered() const { return !timer_.isActive(); }
  const QString& text() const { return text_; }

 private:
  QTimer timer_;
  QString text_;
};

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "hostwindowtest-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    file_ = dir_ / "board.json";
    fs::copy_file(kQuad, file_);
    host_ = std::make_unique<HostDbx>(readDesignFile(file_));
    session_ = std::make_unique<HostSession>(*host_, file_);
    window_ = std::make_unique<HostWindow>(*host_, *session_);
    window_->resize(1000, 700);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void TearDown() override {
    window_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  Design design() const {
    return host_->readDesign([](const Design& d) { return d; });
  }
  int32_t pcbHighlight(const std::string& refDes) const {
    for (const PcbComponent& c : design().pcb.components) {
      if (c.refDes == refDes) return c.highlight;
    }
    ADD_FAILURE() << "no component " << refDes;
    return -1;
  }
  // Where an item of a view's scene is drawn.
  static QPoint pointOf(const DesignView& view, const std::string& refDes) {
    for (const SceneItem& item : view.scene().items) {
      if (item.refDes != refDes) continue;
      const ViewPoint centre{(item.box.left + item.box.right) / 2,
                             (item.box.bottom + item.box.top) / 2};
      const ViewPoint at = view.transform().toScreen(centre);
      return QPoint(static_cast<int>(at.x), static_cast<int>(at.y));
    }
    ADD_FAILURE() << "no item " << refDes;
    return {};
  }
  void click(DesignView& view, const std::string& refDes, bool ctrl = false) {
    QTest::mouseClick(&view, Qt::LeftButton, ctrl ? Qt::ControlModifier : Qt::NoModifier,
                      pointOf(view, refDes));
  }
  void edit() { ASSERT_EQ(session_->execute("highlight pcb J9 3"), "ok"); }

  fs::path dir_;
  fs::path file_;
  std::unique_ptr<HostDbx> host_;
  std::unique_ptr<HostSession> session_;
  std::unique_ptr<HostWindow> window_;
};

TEST_F(HostWindowTest, ShowsThePcbAndOneTabPerSheet) {
  const Design d = design();
  ASSERT_EQ(window_->tabs()->count(), 1 + static_cast<int>(d.sch.sheets.size()));
  EXPECT_EQ(window_->tabs()->tabText(0), "PCB");
  for (std::size_t i = 0; i < d.sch.sheets.size(); ++i) {
    EXPECT_EQ(window_->tabs()->tabText(static_cast<int>(i) + 1),
              QString::fromStdString(d.sch.sheets[i].name));
  }
  EXPECT_EQ(window_->pcbView()->scene().items.size(), d.pcb.components.size());
  // The whole board is in sight.
  const ViewBox& board = window_->pcbView()->scene().bounds;
  const ViewPoint topLeft = window_->pcbView()->transform().toScreen({board.left, board.top});
  const ViewPoint bottomRight =
      window_->pcbView()->transform().toScreen({board.right, board.bottom});
  EXPECT_GE(topLeft.x, 0);
  EXPECT_GE(topLeft.y, 0);
  EXPECT_LE(bottomRight.x, window_->pcbView()->width());
  EXPECT_LE(bottomRight.y, window_->pcbView()->height());
}

TEST_F(HostWindowTest, AClickHighlightsOneComponentInRed) {
  ASSERT_EQ(session_->execute("highlight pcb U1 12"), "ok");
  window_->refresh();
  click(*window_->pcbView(), "J9");
  EXPECT_EQ(pcbHighlight("J9"), DBX_COLOR_RED);
  EXPECT_EQ(pcbHighlight("U1"), 0);
  // The view shows it at once.
  for (const SceneItem& item : window_->pcbView()->scene().items) {
    EXPECT_EQ(item.highlight, item.refDes == "J9" ? DBX_COLOR_RED : 0) << item.refDes;
  }
  // Empty board: nothing changes.
  const uint64_t revision = host_->revision();
  QTest::mouseClick(window_->pcbView(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
  EXPECT_EQ(host_->revision(), revision);
}

TEST_F(HostWindowTest, CtrlClickAddsAndRemoves) {
  DesignView& view = *window_->pcbView();
  click(view, "J9");
  click(view, "U1", true);
  click(view, "J1", true);
  EXPECT_EQ(pcbHighlight("J9"), DBX_COLOR_RED);
  EXPECT_EQ(pcbHighlight("U1"), DBX_COLOR_RED);
  EXPECT_EQ(pcbHighlight("J1"), DBX_COLOR_RED);
  click(view, "U1", true);
  EXPECT_EQ(pcbHighlight("U1"), 0);
  EXPECT_EQ(pcbHighlight("J9"), DBX_COLOR_RED);
}

TEST_F(HostWindowTest, ASchematicClickHighlightsTheSymbol) {
  window_->tabs()->setCurrentIndex(2);
  DesignView& sheet = *window_->sheetViews()[1];
  ASSERT_FALSE(sheet.scene().items.empty());
  const std::string refDes = sheet.scene().items.front().refDes;
  click(sheet, refDes);
  for (const Symbol& s : design().sch.symbols) {
    EXPECT_EQ(s.highlight, s.refDes == refDes ? DBX_COLOR_RED : 0) << s.refDes;
  }
  for (const PcbComponent& c : design().pcb.components) EXPECT_EQ(c.highlight, 0) << c.refDes;
}

TEST_F(HostWindowTest, TheClearCommandRemovesEveryHighlight) {
  click(*window_->pcbView(), "J9");
  ASSERT_EQ(session_->execute("highlight sch U1:A 5"), "ok");
  host_->withDesign([](Design& d) { d.nets.front().highlight = DBX_COLOR_BLUE; });
  auto* clear = window_->findChild<QAction*>("clearHighlights");
  ASSERT_NE(clear, nullptr);
  EXPECT_FALSE(clear->shortcut().isEmpty());
  clear->trigger();
  const Design d = design();
  for (const PcbComponent& c : d.pcb.components) EXPECT_EQ(c.highlight, 0) << c.refDes;
  for (const Symbol& s : d.sch.symbols) EXPECT_EQ(s.highlight, 0) << s.refDes;
  for (const Net& n : d.nets) EXPECT_EQ(n.highlight, 0) << n.name;
}

TEST_F(HostWindowTest, AClientsMoveShowsInTheView) {
  auto boxOf = [&](const std::string& refDes) {
    for (const SceneItem& item : window_->pcbView()->scene().items) {
      if (item.refDes == refDes) return item.box;
    }
    return ViewBox{};
  };
  const ViewBox before = boxOf("U1");
  // A client in another thread, as the server would run it.
  std::thread client([&] {
    TConversation pcb;
    TComponent u1;
    ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
    ASSERT_EQ(host_->TGetCompByRefDes(&pcb, "U1", &u1), DBX_OK);
    ASSERT_EQ(host_->TMoveComponent(&pcb, 500000, -200000, &u1), DBX_OK);
    ASSERT_EQ(host_->TCloseDesign(&pcb, ""), DBX_OK);
  });
  client.join();
  QTRY_COMPARE_WITH_TIMEOUT(boxOf("U1").left, before.left + 500000, 2000);
  EXPECT_EQ(boxOf("U1").top, before.top - 200000);
}

TEST_F(HostWindowTest, SaveAsWritesAFileThatReadsBackEqual) {
  click(*window_->pcbView(), "J9");
  EXPECT_TRUE(window_->isWindowModified());
  const fs::path copy = dir_ / "copy.json";
  ASSERT_TRUE(window_->saveTo(copy));
  EXPECT_EQ(readDesignFile(copy), design());
  EXPECT_EQ(session_->file(), copy);
  EXPECT_FALSE(window_->isWindowModified());
  EXPECT_TRUE(window_->windowTitle().contains("copy.json"));
}

TEST_F(HostWindowTest, AFailedSaveNamesTheFileAndKeepsTheChanges) {
  edit();
  const fs::path target = dir_ / "missing" / "copy.json";
  BoxAnswer answer(QMessageBox::Ok);
  EXPECT_FALSE(window_->saveTo(target));
  ASSERT_TRUE(answer.answered());
  EXPECT_TRUE(answer.text().contains(QString::fromStdString(target.string())))
      << answer.text().toStdString();
  EXPECT_TRUE(session_->modified());
  EXPECT_EQ(session_->file(), file_);
}

TEST_F(HostWindowTest, SaveOverAFileChangedOnDiskOffersSaveAsOrReload) {
  ASSERT_TRUE(window_->openFile(file_));  // remembers the file as read
  edit();
  Design other = readDesignFile(kFlat);
  saveDesignFile(other, file_);  // another program saves over it

  {
    BoxAnswer answer(QMessageBox::Cancel);
    EXPECT_FALSE(window_->saveTo(file_));
    ASSERT_TRUE(answer.answered());
    EXPECT_TRUE(answer.text().contains("was changed on disk")) << answer.text().toStdString();
    EXPECT_EQ(readDesignFile(file_), other);  // not overwritten
    EXPECT_TRUE(session_->modified());        // and the host's changes are kept
  }
  {
    BoxAnswer answer(QMessageBox::Open);  // "Reload"
    EXPECT_FALSE(window_->saveTo(file_));
    ASSERT_TRUE(answer.answered());
    EXPECT_EQ(design(), other);
    EXPECT_FALSE(session_->modified());
  }
  EXPECT_TRUE(window_->saveTo(file_));  // read again, the file may be saved over
  EXPECT_EQ(readDesignFile(file_), design());
}

TEST_F(HostWindowTest, OpeningAnotherFileRebuildsTheSheetsAndABadOneChangesNothing) {
  ASSERT_TRUE(window_->openFile(kFlat));
  const Design flat = readDesignFile(kFlat);
  EXPECT_EQ(design(), flat);
  EXPECT_EQ(window_->tabs()->count(), 1 + static_cast<int>(flat.sch.sheets.size()));
  EXPECT_EQ(window_->pcbView()->scene().items.size(), flat.pcb.components.size());

  BoxAnswer answer(QMessageBox::Ok);
  EXPECT_FALSE(window_->openFile(dir_ / "nothing.json"));
  ASSERT_TRUE(answer.answered());
  EXPECT_TRUE(answer.text().contains("nothing.json")) << answer.text().toStdString();
  EXPECT_EQ(design(), flat);
  EXPECT_EQ(session_->file(), kFlat);
}

TEST_F(HostWindowTest, ClosingWithUnsavedChangesAsks) {
  {
    BoxAnswer unexpected(QMessageBox::Cancel);
    EXPECT_TRUE(window_->close());  // nothing to lose: no question
    EXPECT_FALSE(unexpected.answered()) << unexpected.text().toStdString();
  }
  window_->show();
  edit();
  {
    BoxAnswer answer(QMessageBox::Cancel);
    EXPECT_FALSE(window_->close());
    ASSERT_TRUE(answer.answered());
    EXPECT_TRUE(answer.text().contains("not saved")) << answer.text().toStdString();
    EXPECT_TRUE(window_->isVisible());
  }
  {
    BoxAnswer answer(QMessageBox::Discard);
    EXPECT_TRUE(window_->close());
    ASSERT_TRUE(answer.answered());
  }
  EXPECT_EQ(readDesignFile(file_), readDesignFile(kQuad));  // discarded, not saved
}

TEST_F(HostWindowTest, SavingWhenAskedWritesTheFileBeforeClosing) {
  edit();
  BoxAnswer answer(QMessageBox::Save);
  EXPECT_TRUE(window_->close());
  ASSERT_TRUE(answer.answered());
  EXPECT_EQ(readDesignFile(file_), design());
  EXPECT_FALSE(session_->modified());
}

TEST_F(HostWindowTest, EditUndoTakesBackAClientsConversationOnceItHasEnded) {
  auto* undo = window_->findChild<QAction*>("undo");
  auto* redo = window_->findChild<QAction*>("redo");
  ASSERT_NE(undo, nullptr);
  ASSERT_NE(redo, nullptr);
  EXPECT_EQ(undo->shortcut(), QKeySequence(QKeySequence::Undo));
  EXPECT_TRUE(redo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(redo->isEnabled());
  const Design before = design();

  TConversation pcb;
  TComponent u1;
  ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  ASSERT_EQ(host_->TGetCompByRefDes(&pcb, "U1", &u1), DBX_OK);
  ASSERT_EQ(host_->TRotateComponent(&pcb, 900, u1.refPoint, &u1), DBX_OK);
  ASSERT_EQ(host_->TCloseDesign(&pcb, ""), DBX_OK);
  const Design after = design();
  QTRY_VERIFY_WITH_TIMEOUT(undo->isEnabled(), 2000);

  // A client that holds the editor keeps its view of the design.
  ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(design(), after);
  EXPECT_TRUE(window_->statusBar()->currentMessage().contains("a client holds the PCB editor"))
      << window_->statusBar()->currentMessage().toStdString();
  ASSERT_EQ(host_->TCloseDesign(&pcb, ""), DBX_OK);

  QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(design(), before);
  EXPECT_EQ(window_->statusBar()->currentMessage(), "undone: 1 part");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_TRUE(redo->isEnabled());
  QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(design(), after);
  EXPECT_TRUE(undo->isEnabled());

  // The Edit menu as the user sees it, kept in the build folder to look at.
  QMenu* edit = undo->associatedObjects().isEmpty()
                    ? nullptr
                    : qobject_cast<QMenu*>(undo->associatedObjects().front());
  ASSERT_NE(edit, nullptr);
  edit->popup(window_->mapToGlobal(QPoint(40, 30)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(edit));
  QDir().mkpath(TANDREL_PICTURES_DIR);
  EXPECT_TRUE(edit->grab().toImage().save(TANDREL_PICTURES_DIR "/edit-menu.png"));
  edit->close();
}

TEST_F(HostWindowTest, TheStatusLineFollowsTheClients) {
  auto statusText = [&] {
    QString all;
    for (const QLabel* label : window_->statusBar()->findChildren<QLabel*>()) all += label->text();
    return all;
  };
  EXPECT_TRUE(statusText().contains("PCB editor: no client")) << statusText().toStdString();
  TConversation pcb;
  ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  QTRY_VERIFY_WITH_TIMEOUT(statusText().contains("PCB editor: client connected"), 2000);
}

// Draws every tab into a picture in the build folder (to look at), and checks
// that a highlighted part is drawn in its colour.
TEST_F(HostWindowTest, DrawsHighlightedPartsInTheirColour) {
  click(*window_->pcbView(), "U1");
  ASSERT_EQ(session_->execute("highlight sch R2 13"), "ok");
  window_->refresh();
  QDir().mkpath(TANDREL_PICTURES_DIR);
  for (int i = 0; i < window_->tabs()->count(); ++i) {
    window_->tabs()->setCurrentIndex(i);
    const QImage picture = window_->grab().toImage();
    EXPECT_TRUE(picture.save(QString(TANDREL_PICTURES_DIR "/tab%1.png").arg(i)));
  }
  window_->tabs()->setCurrentIndex(0);
  DesignView& view = *window_->pcbView();
  const QImage pcb = view.grab().toImage();
  // The middle of U1's left edge, where the thick highlight line runs.
  for (const SceneItem& item : view.scene().items) {
    if (item.refDes != "U1") continue;
    const ViewPoint at =
        view.transform().toScreen({item.box.left, (item.box.bottom + item.box.top) / 2});
    const QColor colour = pcb.pixelColor(static_cast<int>(at.x), static_cast<int>(at.y));
    EXPECT_GT(colour.red(), 200);
    EXPECT_LT(colour.green(), 90);
    EXPECT_LT(colour.blue(), 90);
  }
}

// The application lives as long as the tests; listing the tests needs none.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dbxhost_window_gui_tests";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<QApplication> application_;
};

}  // namespace
}  // namespace dbxhost

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new dbxhost::QtEnvironment);
  return RUN_ALL_TESTS();
}
