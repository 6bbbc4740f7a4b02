// "Place" by anchors through the socket from a dbxhost process: 64 channels
// of 200 parts, the template's routing copied into 63 copies that stand on
// their anchors (every second one turned by 90 degrees, the others shifted
// apart from their anchor), and again over that Place, replacing its copper;
// against as many bare request/answer round trips as the first in the same
// run.
#include <benchmark/benchmark.h>

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
  // Unless over is set, takes the last Place back, so that the next one
  // moves every copy and copies the routing into empty places; over the
  // last Place it replaces that one's copies. False when Place is not
  // offered.
  bool prepare(bool over) {
    if (!over && placer_.UndoEnabled()) placer_.UndoPlaceClick();
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

// The host calls of the last run of each kind of Place (fresh, over).
long placeCalls[2] = {0, 0};

// Fresh: every copy out of its layout and without copper; over: Place again
// over the last Place, whose copies' copper is replaced.
void BM_PlaceByAnchorsThroughSocket(benchmark::State& state, bool over) {
  AnchoredBoard& board = anchoredBoard();
  for (auto _ : state) {
    state.PauseTiming();
    if (!board.prepare(over)) {
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
    placeCalls[over] = board.served().pcbCalls() - before;
    state.counters["calls"] = double(placeCalls[over]);
    state.ResumeTiming();
  }
  state.SetLabel(board.report());
}
BENCHMARK_CAPTURE(BM_PlaceByAnchorsThroughSocket, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaceByAnchorsThroughSocket, over, true)->Unit(benchmark::kMillisecond);

// As many round trips as the Place of that kind made, run before.
void BM_BareRoundTripsOfPlace(benchmark::State& state, bool over) {
  tandrel::testing::bareRoundTrips(state, anchoredBoard().served(), placeCalls[over]);
}
BENCHMARK_CAPTURE(BM_BareRoundTripsOfPlace, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BareRoundTripsOfPlace, over, true)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runQuietBenchmarks(argc, argv); }
