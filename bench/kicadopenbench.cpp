// dbxhost's open of KiCad 9's largest demo, vme-wren (1508 footprints,
// 31 024 tracks, 128 zones, 69 MB), against KiCad 9's own pcbnew.LoadBoard
// of the same file in the same run. KiCad's load runs in a python3 process
// per iteration, which reports the seconds LoadBoard took; that time alone
// is the iteration's (python's start and pcbnew's import are left out).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "storage/designstorage.h"

namespace {

const std::filesystem::path kVmeWren = "/usr/share/kicad/demos/vme-wren/vme-wren.kicad_pcb";

// The board with its project's schematic, as dbxhost opens it.
void BM_DbxhostOpensVmeWren(benchmark::State& state) {
  if (!std::filesystem::exists(kVmeWren)) {
    state.SkipWithError("KiCad 9's demos are not installed");
    return;
  }
  std::size_t footprints = 0, symbols = 0;
  for (auto _ : state) {
    const dbxhost::OpenedDesign opened = dbxhost::openDesign(kVmeWren);
    footprints = opened.design.pcb.components.size();
    symbols = opened.design.sch.symbols.size();
    benchmark::DoNotOptimize(footprints);
  }
  state.counters["footprints"] = double(footprints);
  state.counters["symbols"] = double(symbols);
}

// KiCad 9's pcbnew.LoadBoard of the board (KiCad reads no schematic there).
void BM_KicadLoadsVmeWren(benchmark::State& state) {
  if (!std::filesystem::exists(kVmeWren)) {
    state.SkipWithError("KiCad 9's demos are not installed");
    return;
  }
  const std::string command =
      "/usr/bin/python3 -c 'import sys, time, pcbnew\n"
      "start = time.perf_counter()\n"
      "board = pcbnew.LoadBoard(sys.argv[1])\n"
      "print(time.perf_counter() - start, len(board.GetFootprints()))' '" +
      kVmeWren.string() + "' 2>/dev/null";
  double footprints = 0;
  for (auto _ : state) {
    FILE* pipe = popen(command.c_str(), "r");
    double seconds = -1;
    if (pipe == nullptr || std::fscanf(pipe, "%lf %lf", &seconds, &footprints) != 2) {
      if (pipe != nullptr) pclose(pipe);
      state.SkipWithError("KiCad's pcbnew did not load the board");
      return;
    }
    pclose(pipe);
    state.SetIterationTime(seconds);
  }
  state.counters["footprints"] = footprints;
}

BENCHMARK(BM_DbxhostOpensVmeWren)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_KicadLoadsVmeWren)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
