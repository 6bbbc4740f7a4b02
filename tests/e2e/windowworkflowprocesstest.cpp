// The main window's real widgets against a dbxhost process: a channel
// highlighted in the host is added with "Add Highlighted", and the variant
// the user picks in the dialog is the one written into the table.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "app/mainwindow.h"
#include "dbx/socketdbx.h"
#include "groups/widgets/groupselectorwidget.h"
#include "groups/widgets/variantselectdialog.h"
#include "hostprocess.h"
#include "scriptedui.h"

namespace {

using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

std::vector<std::string> refDesOf(const ComponentGroup& group) {
  std::vector<std::string> names;
  for (const DBX::Component* component : group) {
    names.emplace_back(component != nullptr ? DBX_18::getText(component->record.refDes) : "");
  }
  return names;
}

class WindowWorkflowProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    fs::remove_all(dir);
    fs::remove_all(work);
  }
  void highlight(HostProcess& host, const std::vector<std::string>& names) {
    ASSERT_EQ(host.command("clear-highlights sch"), "ok");
    for (const std::string& name : names) {
      ASSERT_EQ(host.command("highlight sch " + name + " 10").substr(0, 2), "ok") << name;
    }
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("window-e2e");
  const std::string work = makePrivateTempDir("window-work");
};

TEST_F(WindowWorkflowProcessTest, TheVariantPickedInTheDialogIsTheOneAdded) {
  const fs::path file = fs::path(work) / "flat-3ch.json";
  fs::copy_file(fs::path(TANDREL_EXAMPLES_DIR) / "flat-3ch.json", file);
  HostProcess host(file.string(), dir);
  DBX::SocketDbx dbx(dir);
  MainWindow window(dbx);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  GroupSelectorWidget& page = *window.groupSelector();

  QTest::mouseClick(window.loadSchButton(), Qt::LeftButton);
  ASSERT_TRUE(page.addHighlightedButton()->isEnabled());
  highlight(host, {"J1", "R1", "R2", "C1", "U1", "R3", "P1"});
  QTest::mouseClick(page.addHighlightedButton(), Qt::LeftButton);
  const TGroupSelector& model = window.form().GroupSelector1();
  ASSERT_EQ(refDesOf(model.GrItems().group(1)),
            (std::vector<std::string>{"J1", "R1", "R2", "C1", "U1", "R3", "P1"}));

  // R4 and R5 are wired alike: the dialog offers two rows; the user clicks
  // the second and presses OK.
  int offeredRows = 0;
  std::vector<std::string> picked;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<TVariantSelect*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    answerer.stop();
    QTableView& grid = *dialog->grid();
    const QAbstractItemModel& rows = *grid.model();
    offeredRows = rows.rowCount();
    if (offeredRows < 2) return dialog->reject();
    for (int column = 0; column < rows.columnCount(); ++column) {
      picked.push_back(rows.index(1, column).data().toString().toStdString());
    }
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      grid.visualRect(rows.index(1, 0)).center());
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
  });
  answerer.start(50);
  highlight(host, {"P2", "R5", "U2", "J2", "R4", "C2", "R6"});
  QTest::mouseClick(page.addHighlightedButton(), Qt::LeftButton);

  EXPECT_EQ(offeredRows, 2);
  const std::vector<std::string> added = refDesOf(model.GrItems().group(2));
  EXPECT_EQ(added, picked);
  ASSERT_EQ(added.size(), 7u);
  EXPECT_EQ(added[0], "J2");
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace

int main(int argc, char** argv) {
  // Widgets without a display, unless the caller chose a platform.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
