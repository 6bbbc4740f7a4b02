// The design access through the socket from a dbxhost process: loading a PCB
// of 2000 components, 10 000 pads and 1000 nets and one of 256 channels x 200
// parts, each against as many bare request/answer round trips, the snapshot's
// resident memory, and placing 64 groups x 50 parts and 128 groups x 200
// parts (the latter against its round trips too).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "boards.h"
#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "model/syntheticdesign.h"
#include "placement/placer.h"
#include "quietbenchmarks.h"
#include "routedchannels.h"
#include "serveddesign.h"
#include "storage/designfile.h"

namespace {

using tandrel::testing::ServedDesign;

constexpr int kComponents = 2000;
constexpr int kPadsPerComponent = 5;
constexpr int kNets = 1000;

// 2000 five-pad parts; pad p of part i on net (5 i + p) mod 1000, so every
// net joins ten pads of ten parts.
dbxhost::Design loadBoard() {
  std::vector<boards::Part> parts;
  for (int i = 0; i < kComponents; ++i) {
    boards::Part part{"U" + std::to_string(i + 1), "IC", "X", "SO5", {}};
    for (int p = 0; p < kPadsPerComponent; ++p) {
      part.pads[std::to_string(p + 1)] = (i * kPadsPerComponent + p) % kNets + 1;
    }
    parts.push_back(std::move(part));
  }
  return boards::makePcb(parts);
}

ServedDesign& loadHost() {
  static ServedDesign served(loadBoard());
  return served;
}

// The synthetic design generator's 256 channels of 200 parts: 51 200 parts.
ServedDesign& largestHost() {
  static ServedDesign served(dbxhost::makeSyntheticDesign(256, 200, false));
  return served;
}

using HostOf = ServedDesign& (*)();

// Resident memory of this process in bytes.
long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Heap bytes in use: freed memory that the heap reuses does not hide growth.
double heapInUse() { return double(mallinfo2().uordblks); }

// The host calls of one load of the host's board, worked out once per board.
long callsPerLoad(HostOf host) {
  static std::map<HostOf, long> calls;
  if (auto it = calls.find(host); it != calls.end()) return it->second;
  ServedDesign& served = host();
  DBX::SocketDbx dbx(served.sockets());
  DBX::Design design(dbx);
  const long before = served.pcbCalls();
  design.selectTool(DBX::kToolPcb);
  return calls[host] = served.pcbCalls() - before;
}

// What the snapshot occupies on the heap, and the resident size of the whole
// process holding it (the benchmark's host client and runtime included).
void BM_SnapshotMemory(benchmark::State& state) {
  DBX::SocketDbx dbx(loadHost().sockets());
  for (auto _ : state) {
    const double before = heapInUse();
    DBX::Design design(dbx);
    design.selectTool(DBX::kToolPcb);
    state.counters["snapshot_heap_MB"] = (heapInUse() - before) / (1024.0 * 1024.0);
    state.counters["process_resident_MB"] = double(residentBytes()) / (1024.0 * 1024.0);
    state.counters["components"] = double(design.pack().components().left.size());
  }
}
BENCHMARK(BM_SnapshotMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoadPcbThroughSocket(benchmark::State& state, HostOf host) {
  DBX::SocketDbx dbx(host().sockets());
  for (auto _ : state) {
    DBX::Design design(dbx);
    design.selectTool(DBX::kToolPcb);
    benchmark::DoNotOptimize(design.pack().connections().size());
  }
  state.counters["calls"] = double(callsPerLoad(host));
}
BENCHMARK_CAPTURE(BM_LoadPcbThroughSocket, 2000parts, &loadHost)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPcbThroughSocket, 256x200, &largestHost)->Unit(benchmark::kMillisecond);

// Place of every group of a synthetic board but the template, with 8 columns.
class PlacedBoard {
 public:
  PlacedBoard(dbxhost::Design board, int groups, int parts, bool routing)
      : served_(widened(std::move(board))), dbx_(served_.sockets()), design_(dbx_) {
    design_.selectTool(DBX::kToolPcb);
    std::vector<std::string> names;
    for (int i = 0; i < groups * parts; ++i) {
      names.push_back((i % parts % 2 == 0 ? "R" : "C") + std::to_string(i + 1));
    }
    placer_.LoadGroups(design_, names, parts);
    placer_.SetCopyRouting(routing);
    servesCopper_ = design_.hasPcbItems();
    placer_.GroupsListClick(0);
    placer_.EditField(placement::Control::Cols, "8");
  }
  ~PlacedBoard() { placer_.DesignCleared(); }

  // Eight columns of channels spread far beyond the synthetic board, and
  // Place would ask first (the quiet interface says no); this board, ten
  // times as wide, holds them.
  static dbxhost::Design widened(dbxhost::Design board) {
    for (auto& corner : board.pcb.boardOutline) corner.x *= 10;
    return board;
  }

  ServedDesign& served() { return served_; }
  // Every call moves every group: the gap alternates. False when Place is
  // not offered, or the routing to copy is not there.
  bool prepare() {
    if (placer_.CopyRouting() && !servesCopper_) return false;
    wide_ = !wide_;
    placer_.EditField(placement::Control::GapX, wide_ ? "2" : "1");
    return placer_.PlaceEnabled();
  }
  void place() { placer_.PlaceClick(); }

 private:
  ServedDesign served_;
  DBX::SocketDbx dbx_;
  DBX::Design design_;
  placement::TPlacer placer_;
  bool servesCopper_ = false;
  bool wide_ = false;
};

PlacedBoard& placed64x50() {
  static PlacedBoard board(dbxhost::makeSyntheticDesign(64, 50, false), 64, 50, false);
  return board;
}

PlacedBoard& placed128x200() {
  static PlacedBoard board(dbxhost::makeSyntheticDesign(128, 200, false), 128, 200, false);
  return board;
}

// 64 channels of 67 parts, the template's 66 nets routed in three segments
// each besides a VCC and a GND track: 200 tracks, a via and a zone, copied
// into 63 copies (every run deletes the previous run's copies first).
constexpr int kRoutedParts = 67;
constexpr int kSegmentsPerNet = 3;

PlacedBoard& routed64WithoutRouting() {
  static PlacedBoard board(testing_placement::routedChannels(64, kRoutedParts, kSegmentsPerNet), 64,
                           kRoutedParts, false);
  return board;
}

PlacedBoard& routed64WithRouting() {
  static PlacedBoard board(testing_placement::routedChannels(64, kRoutedParts, kSegmentsPerNet), 64,
                           kRoutedParts, true);
  return board;
}

using BoardOf = PlacedBoard& (*)();

// The host calls of one Place, worked out once per board.
long callsPerPlace(BoardOf board) {
  static std::map<BoardOf, long> calls;
  if (auto it = calls.find(board); it != calls.end()) return it->second;
  PlacedBoard& placed = board();
  if (!placed.prepare()) return 0;
  const long before = placed.served().pcbCalls();
  placed.place();
  return calls[board] = placed.served().pcbCalls() - before;
}

// As many header reads as a load or a Place makes calls, in one conversation
// with the same host.
void BM_BareRoundTrips(benchmark::State& state, ServedDesign& (*served)(), long (*calls)()) {
  bareRoundTrips(state, served(), calls());
}
BENCHMARK_CAPTURE(BM_BareRoundTrips, load2000parts, &loadHost, [] {
  return callsPerLoad(&loadHost);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BareRoundTrips, load256x200, &largestHost, [] {
  return callsPerLoad(&largestHost);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(
    BM_BareRoundTrips, place128x200, []() -> ServedDesign& { return placed128x200().served(); },
    [] { return callsPerPlace(&placed128x200); })
    ->Unit(benchmark::kMillisecond);

void BM_PlaceThroughSocket(benchmark::State& state, BoardOf board) {
  PlacedBoard& placed = board();
  for (auto _ : state) {
    state.PauseTiming();
    if (!placed.prepare()) {
      state.SkipWithError("Place is not enabled, or the host serves no copper to copy");
      break;
    }
    const long before = placed.served().pcbCalls();
    state.ResumeTiming();
    placed.place();
    state.PauseTiming();
    state.counters["calls"] = double(placed.served().pcbCalls() - before);
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(BM_PlaceThroughSocket, 64x50, &placed64x50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaceThroughSocket, 128x200, &placed128x200)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaceThroughSocket, routed64WithoutRouting, &routed64WithoutRouting)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaceThroughSocket, routed64WithRouting, &routed64WithRouting)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runQuietBenchmarks(argc, argv); }
