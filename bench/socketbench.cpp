// The design access through the socket from a dbxhost process: loading a PCB
// of 2000 components, 10 000 pads and 1000 nets against as many bare
// request/answer round trips, the snapshot's resident memory, and placing
// 64 groups x 50 parts.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "boards.h"
#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "model/syntheticdesign.h"
#include "placement/placer.h"
#include "quietui.h"
#include "routedchannels.h"
#include "storage/designfile.h"

namespace {

using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;

constexpr int kComponents = 2000;
constexpr int kPadsPerComponent = 5;
constexpr int kNets = 1000;
constexpr int kGroups = 64;
constexpr int kGroupParts = 50;

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

// A dbxhost process serving the design from a file of its own.
class ServedDesign {
 public:
  explicit ServedDesign(const dbxhost::Design& design)
      : work_(makePrivateTempDir("tandrel-bench")), sockets_(makePrivateTempDir("tandrel-dbx")) {
    dbxhost::saveDesignFile(design, work_ + "/board.json");
    host_ = std::make_unique<HostProcess>(work_ + "/board.json", sockets_);
  }
  ~ServedDesign() {
    host_.reset();
    std::filesystem::remove_all(work_);
    std::filesystem::remove_all(sockets_);
  }
  const std::string& sockets() const { return sockets_; }
  long pcbCalls() { return std::stol(host_->command("calls pcb").substr(3)); }

 private:
  std::string work_;
  std::string sockets_;
  std::unique_ptr<HostProcess> host_;
};

ServedDesign& loadHost() {
  static ServedDesign served(loadBoard());
  return served;
}

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

// The host calls of one load, worked out once.
long callsPerLoad() {
  static const long calls = [] {
    ServedDesign& served = loadHost();
    DBX::SocketDbx dbx(served.sockets());
    DBX::Design design(dbx);
    const long before = served.pcbCalls();
    design.selectTool(DBX::kToolPcb);
    return served.pcbCalls() - before;
  }();
  return calls;
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

void BM_LoadPcbThroughSocket(benchmark::State& state) {
  DBX::SocketDbx dbx(loadHost().sockets());
  for (auto _ : state) {
    DBX::Design design(dbx);
    design.selectTool(DBX::kToolPcb);
    benchmark::DoNotOptimize(design.pack().connections().size());
  }
  state.counters["calls"] = double(callsPerLoad());
}
BENCHMARK(BM_LoadPcbThroughSocket)->Unit(benchmark::kMillisecond)->Repetitions(5);

// As many header reads as a load makes calls, in one conversation.
void BM_BareRoundTrips(benchmark::State& state) {
  const long calls = callsPerLoad();
  DBX::SocketDbx dbx(loadHost().sockets());
  DBX::TConversation context;
  if (dbx.TOpenDesign(0, 18000, "pcb", &context) != DBX::DBX_OK) {
    state.SkipWithError("the host refused the conversation");
    return;
  }
  DBX::TDesign header;
  for (auto _ : state) {
    for (long i = 0; i < calls; ++i) {
      benchmark::DoNotOptimize(dbx.TGetDesignInfo(&context, &header));
    }
  }
  dbx.TCloseDesign(&context, "");
  state.counters["calls"] = double(calls);
}
BENCHMARK(BM_BareRoundTrips)->Unit(benchmark::kMillisecond)->Repetitions(5);

// "Place" of every group of the served synthetic design, repeated; with
// routing, the template's copper is copied as well.
void placeRepeatedly(benchmark::State& state, const dbxhost::Design& board, int parts,
                     bool routing) {
  ServedDesign served(board);
  DBX::SocketDbx dbx(served.sockets());
  DBX::Design design(dbx);
  design.selectTool(DBX::kToolPcb);
  std::vector<std::string> names;
  for (int i = 0; i < kGroups * parts; ++i) {
    names.push_back((i % parts % 2 == 0 ? "R" : "C") + std::to_string(i + 1));
  }
  placement::TPlacer placer;
  placer.LoadGroups(design, names, static_cast<uint32_t>(parts));
  placer.SetCopyRouting(routing);
  if (routing && !design.hasPcbItems()) {
    state.SkipWithError("the host serves no copper from its design file");
    return;
  }
  placer.GroupsListClick(0);
  placer.EditField(placement::Control::Cols, "8");
  // Every run moves every group: the gap alternates.
  bool wide = false;
  for (auto _ : state) {
    state.PauseTiming();
    wide = !wide;
    placer.EditField(placement::Control::GapX, wide ? "2" : "1");
    if (!placer.PlaceEnabled()) {
      state.SkipWithError("Place is not enabled");
      break;
    }
    const long before = served.pcbCalls();
    state.ResumeTiming();
    placer.PlaceClick();
    state.PauseTiming();
    state.counters["calls"] = double(served.pcbCalls() - before);
    state.ResumeTiming();
  }
  placer.DesignCleared();
}

void BM_Place64GroupsThroughSocket(benchmark::State& state) {
  placeRepeatedly(state, dbxhost::makeSyntheticDesign(kGroups, kGroupParts, false), kGroupParts,
                  false);
}
BENCHMARK(BM_Place64GroupsThroughSocket)->Unit(benchmark::kMillisecond)->Repetitions(5);

// 64 channels of 67 parts, the template's 66 nets routed in three segments
// each besides a VCC and a GND track: 200 tracks, a via and a zone, copied
// into 63 copies (every run deletes the previous run's copies first).
constexpr int kRoutedParts = 67;
constexpr int kSegmentsPerNet = 3;

void BM_Place64GroupsWithoutRouting(benchmark::State& state) {
  placeRepeatedly(state, testing_placement::routedChannels(kGroups, kRoutedParts, kSegmentsPerNet),
                  kRoutedParts, false);
}
BENCHMARK(BM_Place64GroupsWithoutRouting)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_Place64GroupsWithRouting(benchmark::State& state) {
  placeRepeatedly(state, testing_placement::routedChannels(kGroups, kRoutedParts, kSegmentsPerNet),
                  kRoutedParts, true);
}
BENCHMARK(BM_Place64GroupsWithRouting)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  QuietUi ui;
  diag::installUi(&ui);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  diag::installUi(nullptr);
  return 0;
}
