// The KiCad board reader's throughput and memory, and an unchanged save:
// KiCad 9's largest demo, vme-wren (69 MB), and a hostile board of the same
// kind of size made of one-letter tokens. MB/s counts the board's bytes
// (bytes_per_second); peak_heap_MB is the most heap the read needed on top of
// the board's text, which the board keeps (bench/heapcounter.h);
// heap_per_file_byte sets it against the file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "heapcounter.h"
#include "storage/designstorage.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"
#include "temporaryfolder.h"

namespace {

namespace fs = std::filesystem;
using dbxhost::kicad::KicadBoard;
using dbxhost::kicad::parseKicadBoard;

const fs::path kVmeWren = "/usr/share/kicad/demos/vme-wren/vme-wren.kicad_pcb";

// A valid header and then one list of 10 850 000 one-letter atoms: 21.7 MB.
std::string tinyTokenBoard() {
  constexpr std::size_t kAtoms = 10'850'000;
  std::string text =
      "(kicad_pcb (version 20240108) (generator \"pcbnew\") (generator_version \"8.0\")\n(x";
  text.reserve(text.size() + 2 * kAtoms + 8);
  for (std::size_t i = 0; i < kAtoms; ++i) text += " a";
  return text + ")\n)\n";
}

// One read per iteration of a copy of the text (the copy is not timed).
void readBoard(benchmark::State& state, const std::string& text, const std::string& name) {
  std::size_t peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string copy = text;
    HeapCounter::resetPeak();
    state.ResumeTiming();
    const KicadBoard board = parseKicadBoard(std::move(copy), name);
    benchmark::DoNotOptimize(board.footprints.size());
    state.PauseTiming();
    peak = HeapCounter::peakAboveStart();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.counters["file_MB"] = double(text.size()) / 1e6;
  state.counters["peak_heap_MB"] = double(peak) / 1e6;
  state.counters["heap_per_file_byte"] = double(peak) / double(text.size());
}

void BM_ReadVmeWrenBoard(benchmark::State& state) {
  if (!fs::exists(kVmeWren)) {
    state.SkipWithError("KiCad 9's demos are not installed");
    return;
  }
  readBoard(state, dbxhost::readFileText(kVmeWren), kVmeWren.string());
}

void BM_ReadTinyTokenBoard(benchmark::State& state) {
  readBoard(state, tinyTokenBoard(), "tiny.kicad_pcb");
}

// dbxhost's `save` of vme-wren as it was read (board and schematic), over a
// copy of the board: the writer finds nothing to change and the file is
// written and flushed to disk.
void BM_SaveVmeWrenUnchanged(benchmark::State& state) {
  if (!fs::exists(kVmeWren)) {
    state.SkipWithError("KiCad 9's demos are not installed");
    return;
  }
  const TemporaryFolder folder;
  const dbxhost::OpenedDesign opened = dbxhost::openDesign(kVmeWren);
  const fs::path target = folder.path() / "vme-wren.kicad_pcb";
  for (auto _ : state) {
    HeapCounter::resetPeak();
    opened.storage->save(opened.design, target);
    state.PauseTiming();
    state.counters["peak_heap_MB"] = double(HeapCounter::peakAboveStart()) / 1e6;
    state.ResumeTiming();
  }
  state.counters["same_bytes"] = dbxhost::readFileText(target) == dbxhost::readFileText(kVmeWren);
}

}  // namespace

BENCHMARK(BM_ReadVmeWrenBoard)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadTinyTokenBoard)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveVmeWrenUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
