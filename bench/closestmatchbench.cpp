// The closest-correspondence search: glasgow's IO_Buffer_B against
// IO_Buffer_A (68 schematic parts, three address straps apart), and channels
// of 200 parts with 30 interchangeable capacitors and pins moved away from
// the template's nets.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "boards.h"
#include "groups/closestmatch.h"
#include "quietbenchmarks.h"
#include "storage/designstorage.h"

namespace {

using Components = std::vector<DBX::Component*>;

NetGraph templateOf(const Components& components) { return boards::templateGraphOf(components); }

void searchClosest(benchmark::State& state, const Components& templateRow, const Components& copy) {
  const NetGraph templateGraph = templateOf(templateRow);
  ClosestMatch::Result result;
  for (auto _ : state) {
    result = ClosestMatch(templateGraph, templateRow.size(), copy).run();
    benchmark::DoNotOptimize(result.candidates.size());
  }
  if (result.candidates.empty()) state.SkipWithError("no candidate");
  state.counters["candidates"] = double(result.candidates.size());
  state.counters["differences"] =
      result.candidates.empty() ? 0.0 : double(result.candidates[0].differences.size());
  state.counters["cut_short"] = result.cutShort ? 1.0 : 0.0;
}

void BM_ClosestGlasgowIoBuffers(benchmark::State& state) {
  const std::filesystem::path file =
      std::filesystem::path(TANDREL_REALWORLD_DIR) / "glasgow-revC3" / "glasgow.kicad_pcb";
  if (!std::filesystem::exists(file)) {
    state.SkipWithError("the glasgow board is not here");
    for (auto _ : state) {
    }
    return;
  }
  static const auto board =
      std::make_unique<boards::Loaded>(dbxhost::openDesign(file).design, DBX::kToolSch);
  auto partsOn = [&](const std::string& sheet) {
    Components parts;
    for (const auto& [refDes, component] : board->design.pack().components().left) {
      if (board->design.sheetName(component->sheetId) == sheet) parts.push_back(component);
    }
    return parts;
  };
  searchClosest(state, partsOn("/IO_Banks/IO_Buffer_A/"), partsOn("/IO_Banks/IO_Buffer_B/"));
}
BENCHMARK(BM_ClosestGlasgowIoBuffers)->Unit(benchmark::kMillisecond)->Repetitions(5);

// Two channels of 170 chain parts and 30 equal capacitors in classes, with
// every part on VCC and GND; the copy listed backwards with moved chain
// parts' GND pads on VCC.
void channelsWithMovedPins(benchmark::State& state, const std::vector<int>& classes) {
  const boards::ChannelBoard layout{2, 170, classes, true};
  dbxhost::Design design = boards::makeChannelBoard(layout);
  const auto copyRefDes = boards::channelRefDes(layout, 2);
  for (int moved = 0; moved < state.range(0); ++moved) {
    const std::string& part = copyRefDes[std::size_t(20 + 37 * moved)];
    for (auto& component : design.pcb.components) {
      if (component.refDes == part) component.padNets["4"] = 2;
    }
  }
  boards::Loaded board(std::move(design), DBX::kToolPcb);
  const Components copy = board.components(copyRefDes);
  searchClosest(state, board.components(boards::channelRefDes(layout, 1)),
                Components(copy.rbegin(), copy.rend()));
}

void BM_ClosestThirtyCapacitors(benchmark::State& state) { channelsWithMovedPins(state, {30}); }
BENCHMARK(BM_ClosestThirtyCapacitors)
    ->Arg(1)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

// Three rails of 10 capacitors: a capacitor exchanged between two rails
// costs two differences, so many candidates lie within the limit.
void BM_ClosestThreeRailsOfTen(benchmark::State& state) {
  channelsWithMovedPins(state, {10, 10, 10});
}
BENCHMARK(BM_ClosestThreeRailsOfTen)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) { return runQuietBenchmarks(argc, argv); }
