// The group page's widget on Qt's offscreen platform: from the start of a
// drag of a listed part over the table of 128 channels x 200 parts until the
// table view has repainted its marked cells.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <QTableView>

#include "droptable.h"
#include "groups/widgets/componentlistmodel.h"
#include "groups/widgets/groupselectorwidget.h"
#include "quietbenchmarks.h"

namespace {

void dragStartToRepaint(benchmark::State& state, DropTable& table) {
  GroupSelectorWidget widget(table.page);
  widget.resize(1200, 800);
  widget.show();
  QApplication::processEvents();
  const int line =
      table.page.CompList().find(boards::channelRefDes(table.layout, 20)[DropTable::kDraggedItem]);
  if (line < 0) state.SkipWithError("the dragged part is not listed");
  widget.compList()->setCurrentIndex(widget.compListModel()->index(line));
  for (auto _ : state) {
    widget.beginCompListDrag();
    widget.grItems()->viewport()->repaint();
    state.PauseTiming();
    if (table.page.FDropTargets().empty()) state.SkipWithError("no drop targets");
    widget.finishDrag();
    QApplication::processEvents();
    state.ResumeTiming();
  }
}

void BM_DragStartToRepaint(benchmark::State& state) {
  static DropTable table(128, 200);
  dragStartToRepaint(state, table);
}
BENCHMARK(BM_DragStartToRepaint)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return runQuietBenchmarks(argc, argv);
}
