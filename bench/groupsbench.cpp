// The group model on a synthetic board of 32 channels x 100 parts whose every
// part also has a pin on VCC and one on GND (3200 pins on each): drop-target
// search against the literal algorithm, and adding a group of unique parts,
// of 8 interchangeable parts (also in a group of 200) and of 10 + 10
// decoupling capacitors; the drop targets also on 128 channels x 200 parts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "boards.h"
#include "droptable.h"
#include "groups/groupselector.h"
#include "groups/view/variantlisting.h"
#include "heapcounter.h"
#include "literalmatching.h"
#include "model/syntheticdesign.h"
#include "quietbenchmarks.h"

namespace {

constexpr int kChannels = 32;
constexpr int kParts = 100;
constexpr int kLargestChannels = 128;
constexpr int kLargestParts = 200;

DropTable& dropTable() {
  static DropTable table(kChannels, kParts);
  return table;
}

// The largest multi-channel boards in real use.
DropTable& largestDropTable() {
  static DropTable table(kLargestChannels, kLargestParts);
  return table;
}

void searchDropTargets(benchmark::State& state, DropTable& table) {
  for (auto _ : state) {
    table.page.ComputeDropTargets(table.dragged);
    benchmark::DoNotOptimize(table.page.FDropTargets().size());
  }
  state.counters["targets"] = double(table.page.FDropTargets().size());
  state.counters["conflicts"] = double(table.page.FConflictCells().size());
}

void BM_DropTargets(benchmark::State& state) { searchDropTargets(state, dropTable()); }
BENCHMARK(BM_DropTargets)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_DropTargetsLargest(benchmark::State& state) {
  searchDropTargets(state, largestDropTable());
}
BENCHMARK(BM_DropTargetsLargest)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_DropTargets256(benchmark::State& state) {
  static DropTable table(2 * kLargestChannels, kLargestParts);
  searchDropTargets(state, table);
}
BENCHMARK(BM_DropTargets256)->Unit(benchmark::kMillisecond)->Repetitions(5);

// 16 pads per part: 2 in the chain, 12 on GND, 2 on VCC.
void BM_DropTargetsSixteenPins(benchmark::State& state) {
  static DropTable table(kLargestChannels, kLargestParts, 12, 16);
  searchDropTargets(state, table);
}
BENCHMARK(BM_DropTargetsSixteenPins)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_DropTargetsLiteral(benchmark::State& state) {
  DropTable& table = dropTable();
  for (auto _ : state) {
    const DropTargets targets = literal::ComputeDropTargets(
        table.page.GrItems(), table.page.TemplateGraph(), table.dragged);
    benchmark::DoNotOptimize(targets.targets.size());
  }
}
// Seconds per search: a few single runs give the median.
BENCHMARK(BM_DropTargetsLiteral)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// A loaded design per channel count, made once: loading is not timed.
boards::Loaded& channelDesign(int channels, bool sheets) {
  static std::map<std::pair<int, bool>, std::unique_ptr<boards::Loaded>> designs;
  auto& loaded = designs[{channels, sheets}];
  if (!loaded) {
    loaded =
        sheets ? std::make_unique<boards::Loaded>(
                     dbxhost::makeSyntheticDesign(channels, kLargestParts, true), DBX::kToolSch)
               : std::make_unique<boards::Loaded>(
                     boards::makeChannelBoard({channels, kLargestParts, {}, true}), DBX::kToolPcb);
  }
  return *loaded;
}

void setCellCounters(benchmark::State& state, const TGroupSelector& page) {
  const double cells = double(page.GrItems().rowCount() - 2) * (page.GrItems().colCount() - 2);
  state.counters["cells"] = cells;
  state.counters["per_cell"] = benchmark::Counter(
      cells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The whole table built group by group as the user's adds write it: the
// template row, then every further channel's row, each write compacted.
void BM_BuildTable(benchmark::State& state) {
  const auto channels = static_cast<int>(state.range(0));
  const boards::ChannelBoard layout{channels, kLargestParts, {}, true};
  boards::Loaded& board = channelDesign(channels, false);
  std::vector<std::vector<DBX::Component*>> rows;
  for (int channel = 1; channel <= channels; ++channel) {
    rows.push_back(board.components(boards::channelRefDes(layout, channel)));
  }
  TGroupSelector page;
  for (auto _ : state) {
    state.PauseTiming();
    page.LoadDesign(board.design);
    state.ResumeTiming();
    page.SetTemplateRow(rows[0], -1, false);
    for (std::size_t row = 1; row < rows.size(); ++row) {
      page.SetGroupRow(rows[row], 0, rows[row].size(), false, -1);
    }
  }
  if (page.CompList().size() != 0) state.SkipWithError("components left unplaced");
  setCellCounters(state, page);
}
BENCHMARK(BM_BuildTable)
    ->RangeMultiplier(2)
    ->Range(8, 256)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

// Fill By Sheets on a schematic of one sheet per channel.
void BM_FillBySheets(benchmark::State& state) {
  const auto channels = static_cast<int>(state.range(0));
  boards::Loaded& board = channelDesign(channels, true);
  TGroupSelector page;
  for (auto _ : state) {
    state.PauseTiming();
    page.LoadDesign(board.design);
    state.ResumeTiming();
    page.FillBySheetButtonClick();
  }
  if (page.CompList().size() != 0) state.SkipWithError("components left unplaced");
  setCellCounters(state, page);
}
BENCHMARK(BM_FillBySheets)
    ->RangeMultiplier(2)
    ->Range(8, 256)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

// Adds the second channel of parts as a group to a table holding the first;
// the row is taken out again outside the timing. A chooser that lists the
// variants as the dialog does shows the texts of its first screenful. The
// counter peak_heap_MB is the most heap the add needed beyond what was in use
// before it.
void addGroup(benchmark::State& state, const boards::ChannelBoard& layout, int parts) {
  constexpr std::size_t kRowsOnScreen = 30;
  boards::Loaded board(boards::makeChannelBoard(layout), DBX::kToolPcb);
  TGroupSelector page;
  std::size_t variants = 0;
  std::size_t shownTexts = 0;
  page.chooseVariant = [&](const TGroupSelector& selector, const VariantList& list) {
    variants = list.variantCount();
    const VariantListing listing(selector.GrItems(), list);
    for (std::size_t row = 0; row < std::min(kRowsOnScreen, listing.rowCount()); ++row) {
      for (std::size_t column = 0; column < listing.columnCount(); ++column) {
        shownTexts += listing.text(row, column).size();
      }
    }
    return 0;
  };
  page.LoadDesign(board.design);
  page.SetTemplateRow(board.components(boards::channelRefDes(layout, 1)), -1, false);
  const auto group = board.components(boards::channelRefDes(layout, 2));
  std::size_t peakHeap = 0;
  for (auto _ : state) {
    variants = 1;
    HeapCounter::resetPeak();
    page.AddGroup(group);
    state.PauseTiming();
    peakHeap = std::max(peakHeap, HeapCounter::peakAboveStart());
    if (page.GrItems().rowCount() != 4) state.SkipWithError("the group was not added");
    for (int column = 1; column <= parts; ++column) page.ClearCell(2, column);
    page.CompactTable();
    state.ResumeTiming();
  }
  benchmark::DoNotOptimize(shownTexts);
  state.counters["variants"] = double(variants);
  state.counters["peak_heap_MB"] = double(peakHeap) / (1024.0 * 1024.0);
}

// An IC with 16 equal pull-ups to VCC, each on its own IC pin, the
// resistors listed first: one variant.
void BM_AddGroupPullUps(benchmark::State& state) {
  constexpr int kResistors = 16;
  boards::Loaded board(boards::makePullUps(kResistors, 2), DBX::kToolPcb);
  std::vector<DBX::Component*> templateRow;
  std::vector<DBX::Component*> group;
  for (int r = 1; r <= kResistors; ++r) {
    templateRow.push_back(board["R" + std::to_string(r)]);
    group.push_back(board["R" + std::to_string(2 * kResistors + 1 - r)]);
  }
  templateRow.push_back(board["U1"]);
  group.push_back(board["U2"]);
  TGroupSelector page;
  page.LoadDesign(board.design);
  page.SetTemplateRow(templateRow, -1, false);
  for (auto _ : state) {
    page.AddGroup(group);
    state.PauseTiming();
    if (page.GrItems().rowCount() != 4) state.SkipWithError("the group was not added");
    for (int column = 1; column <= kResistors + 1; ++column) page.ClearCell(2, column);
    page.CompactTable();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddGroupPullUps)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_AddGroupUniqueParts(benchmark::State& state) {
  addGroup(state, {2, kParts, {}, true}, kParts);
}
BENCHMARK(BM_AddGroupUniqueParts)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_AddGroupEightInterchangeable(benchmark::State& state) {
  addGroup(state, {2, kParts - 8, {8}, true}, kParts);
}
BENCHMARK(BM_AddGroupEightInterchangeable)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_AddGroupEightInterchangeable200(benchmark::State& state) {
  addGroup(state, {2, kLargestParts - 8, {8}, true}, kLargestParts);
}
BENCHMARK(BM_AddGroupEightInterchangeable200)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_AddGroupTenPlusTenDecoupling(benchmark::State& state) {
  addGroup(state, {2, kParts - 20, {10, 10}, true}, kParts);
}
BENCHMARK(BM_AddGroupTenPlusTenDecoupling)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) { return runQuietBenchmarks(argc, argv); }
