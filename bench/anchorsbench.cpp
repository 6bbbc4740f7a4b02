// "Place" by anchors through the socket from a dbxhost process: 64 channels
// of 200 parts, the template's routing copied into 63 copies that stand on
// their anchors (every second one turned by 90 degrees, the others shifted
// apart from their anchor), against as many bare request/answer round trips
// in the same run.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "model/geometry.h"
#include "placement/placer.h"
#include "quietbenchmarks.h"
#include "routedchannels.h"
#include "serveddesign.h"

namespace {

using tandrel::testing::ServedDesign;

constexpr int kChannels = 64;
constexpr int kParts = 200;
constexpr int kSegmentsPerNet = 1;
constexpr int32_t kOffset = 100000;    // 1.00: a copy's parts off their layout
constexpr int32_t kReach = 100000000;  // 1000.00 each way: the board's half width

// The routed channels with every copy out of its template's layout: its
// parts but the anchor (its first) 1.00 to the right, and in every second
// copy the anchor turned by 90 degrees. The board holds every turned copy.
dbxhost::Design anchoredChannels() {
  dbxhost::Design board = testing_placement::routedChannels(kChannels, kParts, kSegmentsPerNet);
  for (dbxhost::PcbComponent& part : board.pcb.components) {
    const int number = std::stoi(part.refDes.substr(1)) - 1;
    const int channel = number / kParts;
    if (channel == 0) continue;
    if (number % kParts != 0) {
      part.placement = dbxhost::moved(part.placement, kOffset, 0);
    } else if (channel % 2 == 1) {
      part.placement = dbxhost::rotated(part.placement, 900, part.placement.refPoint);
    }
  }
  board.pcb.boardOutline = {
      {-kReach, -kReach}, {kReach, -kReach}, {kReach, kReach}, {-kReach, kReach}};
  return board;
}

class AnchoredBoard {
 public:
  AnchoredBoard() : served_(anchoredChannels()), dbx_(served_.sockets()), design_(dbx_) {
    design_.selectTool(DBX::kToolPcb);
    std::vector<std::string> names;
    for (int i = 0; i < kChannels * kParts; ++i) {
      names.push_back((i % kParts % 2 == 0 ? "R" : "C") + std::to_string(i + 1));
    }
    placer_.LoadGroups(design_, names, kParts);
    placer_.SetCopyRouting(true);
    placer_.GroupsListClick(0);
    placer_.SetArrangement(placement::Arrangement::Anchors);
    placer_.SetAnchorItem(0);
  }
  ~AnchoredBoard() { placer_.DesignCleared(); }

  ServedDesign& served() { return served_; }
  // Takes the last Place back, so that the next one moves every copy and
  // copies the routing again; false when Place is not offered.
  bool prepare() {
    if (placer_.UndoEnabled()) placer_.UndoPlaceClick();
    return placer_.PlaceEnabled();
  }
  // False when Place stopped short of placing every copy.
  bool place() {
    placer_.PlaceClick();
    return placer_.PlaceReport().starts_with("Placed " + std::to_string(kChannels - 1) + " ");
  }
  const std::string& report() const { return placer_.PlaceReport(); }

 private:
  ServedDesign served_;
  DBX::SocketDbx dbx_;
  DBX::Design design_;
  placement::TPlacer placer_;
};

AnchoredBoard& anchoredBoard() {
  static AnchoredBoard board;
  return board;
}

// The host calls of one Place, worked out once.
long callsPerPlace() {
  static long calls = [] {
    AnchoredBoard& board = anchoredBoard();
    if (!board.prepare()) return 0L;
    const long before = board.served().pcbCalls();
    if (!board.place()) return 0L;
    return board.served().pcbCalls() - before;
  }();
  return calls;
}

void BM_PlaceByAnchorsThroughSocket(benchmark::State& state) {
  AnchoredBoard& board = anchoredBoard();
  for (auto _ : state) {
    state.PauseTiming();
    if (!board.prepare()) {
      state.SkipWithError("Place is not enabled");
      break;
    }
    const long before = board.served().pcbCalls();
    state.ResumeTiming();
    const bool placed = board.place();
    state.PauseTiming();
    if (!placed) {
      state.SkipWithError(board.report().empty() ? "Place placed nothing" : board.report().c_str());
      break;
    }
    state.counters["calls"] = double(board.served().pcbCalls() - before);
    state.ResumeTiming();
  }
  state.SetLabel(board.report());
}
BENCHMARK(BM_PlaceByAnchorsThroughSocket)->Unit(benchmark::kMillisecond);

void BM_BareRoundTripsOfPlace(benchmark::State& state) {
  tandrel::testing::bareRoundTrips(state, anchoredBoard().served(), callsPerPlace());
}
BENCHMARK(BM_BareRoundTripsOfPlace)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runQuietBenchmarks(argc, argv); }
