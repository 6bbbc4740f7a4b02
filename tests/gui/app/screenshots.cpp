// Takes the README's screenshots of the main window against a running
// dbxhost (found as the program finds it): the quad example's PCB in the
// middle of a drag, with drop targets and the conflicts of the target under
// the pointer, and the schematic's complete table after "Fill By Sheets".
//
//   tandrel_screenshots OUTPUT_DIR
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <functional>

#include "app/mainwindow.h"
#include "app/qtui.h"
#include "app/tandrelapplication.h"
#include "dbx/socketdbx.h"
#include "groups/widgets/dragevents.h"

namespace {

using testing_gui::DragSource;

bool shoot(DBX::Dbx32& dbx, const QString& path, const std::function<bool(MainWindow&)>& steps) {
  MainWindow window(dbx);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window) || !steps(window)) return false;
  QTest::qWait(200);
  return window.grab().save(path);
}

// Template C1 with an empty second item, group C3, R4; then R7 dragged over
// the template's empty cell, which would clear the whole group.
bool dragWithConflicts(MainWindow& window) {
  QTest::mouseClick(window.loadPcbButton(), Qt::LeftButton);
  GroupSelectorWidget& page = *window.groupSelector();
  const bool built =
      testing_gui::moveToCell(page, "C1", 1, 1) && testing_gui::moveToCell(page, "R1", 1, 2) &&
      testing_gui::moveToCell(page, "C3", 2, 1) && testing_gui::moveToCell(page, "R4", 2, 2);
  if (!built) return false;
  page.beginGrItemsDrag(1, 2);
  return testing_gui::dropOnList(page) && testing_gui::startListDrag(page, "R7") &&
         testing_gui::dragOverCell(page, 1, 2, DragSource::CompList);
}

bool completeTable(MainWindow& window) {
  QTest::mouseClick(window.loadSchButton(), Qt::LeftButton);
  QTest::mouseClick(window.groupSelector()->fillBySheetButton(), Qt::LeftButton);
  return window.form().placeTabVisible();
}

}  // namespace

int main(int argc, char** argv) {
  TandrelApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tandrel_screenshots OUTPUT_DIR\n");
    return 2;
  }
  QtUi ui;
  diag::installUi(&ui);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  DBX::SocketDbx dbx;
  int failures = 0;
  for (const auto& [name, steps] :
       {std::pair<const char*, bool (*)(MainWindow&)>{"drag-conflicts.png", dragWithConflicts},
        {"complete-table.png", completeTable}}) {
    const bool saved = shoot(dbx, out.filePath(name), steps);
    std::fprintf(stderr, "%s: %s\n", name, saved ? "saved" : "FAILED");
    failures += saved ? 0 : 1;
  }
  diag::installUi(nullptr);
  return failures == 0 ? 0 : 1;
}
