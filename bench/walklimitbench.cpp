// The client's memory after a walk that a broken host never ends: every step
// of the component walk a new component, until the walk limit of 1 000 000
// items ends the read with DBX_TOO_MANY_ITEMS and the half-read snapshot is
// dropped. Resident sizes from /proc/self/status (the host's thread in this
// process holds next to nothing): peak_rss_MB is VmHWM, rss_after_MB the
// resident set once the read failed, heap_in_use_MB what the allocator still
// hands out then (mallinfo2).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <fstream>
#include <string>

#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "diag/ui.h"
#include "fakehost.h"
#include "quietui.h"
#include "temporaryfolder.h"

namespace {

double statusMegabytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024;
  }
  return 0;
}

void BM_EndlessComponentsWalk(benchmark::State& state) {
  QuietUi ui;
  diag::Ui* const previous = diag::installUi(&ui);
  std::string detail;
  for (auto _ : state) {
    const TemporaryFolder folder;
    transporttest::FakeHost endless(folder.path().string(),
                                    transporttest::FakeHost::Mode::kEndlessComponents);
    DBX::SocketDbx client(folder.path().string(), std::chrono::seconds(10));
    DBX::Design design(client);
    try {
      design.selectTool(DBX::kToolPcb);
    } catch (const DBX::DBXException& error) {
      detail = error.detail;
    }
    state.counters["components_kept"] = double(design.pack(DBX::kToolPcb).components().left.size());
    state.counters["rss_after_MB"] = statusMegabytes("VmRSS");
    state.counters["heap_in_use_MB"] = double(mallinfo2().uordblks) / (1 << 20);
  }
  state.counters["peak_rss_MB"] = statusMegabytes("VmHWM");
  state.SetLabel(detail);
  diag::installUi(previous);
}

}  // namespace

BENCHMARK(BM_EndlessComponentsWalk)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
