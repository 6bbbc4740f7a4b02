// Tandrel's "Load SCH" and "Load PCB" on KiCad 9's demo vme-wren (1508
// footprints, 2848 schematic symbols), from a dbxhost process serving a copy
// of the project. Each iteration is a new main window's first click, which
// reads the tool's whole snapshot over the socket.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "quietbenchmarks.h"

namespace {

namespace fs = std::filesystem;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;

const fs::path kVmeWren = "/usr/share/kicad/demos/vme-wren";

// dbxhost on a copy of the project's files, started once for all runs.
class ServedVmeWren {
 public:
  ServedVmeWren()
      : work_(makePrivateTempDir("tandrel-wren")), sockets_(makePrivateTempDir("tandrel-dbx")) {
    for (const fs::directory_entry& entry : fs::directory_iterator(kVmeWren)) {
      if (entry.is_regular_file()) fs::copy_file(entry.path(), work_ / entry.path().filename());
    }
    host_ = std::make_unique<HostProcess>((work_ / "vme-wren.kicad_pcb").string(), sockets_);
  }
  ~ServedVmeWren() {
    host_.reset();
    fs::remove_all(work_);
    fs::remove_all(sockets_);
  }
  ServedVmeWren(const ServedVmeWren&) = delete;
  ServedVmeWren& operator=(const ServedVmeWren&) = delete;

  const std::string& sockets() const { return sockets_; }

 private:
  fs::path work_;
  std::string sockets_;
  std::unique_ptr<HostProcess> host_;
};

// Null without KiCad 9's demos.
ServedVmeWren* servedVmeWren() {
  static const std::unique_ptr<ServedVmeWren> served =
      fs::exists(kVmeWren / "vme-wren.kicad_pcb") ? std::make_unique<ServedVmeWren>() : nullptr;
  return served.get();
}

void BM_LoadVmeWren(benchmark::State& state, void (TForm1::*load)()) {
  ServedVmeWren* served = servedVmeWren();
  if (served == nullptr) {
    state.SkipWithError("KiCad 9's demos are not installed");
    return;
  }
  DBX::SocketDbx dbx{served->sockets()};
  std::size_t components = 0;
  for (auto _ : state) {
    TForm1 form(dbx);
    form.FormCreate();
    (form.*load)();
    components = form.design().pack().components().left.size();
    benchmark::DoNotOptimize(components);
  }
  state.counters["components"] = double(components);
}
BENCHMARK_CAPTURE(BM_LoadVmeWren, LoadSCH, &TForm1::LdSCHClick)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadVmeWren, LoadPCB, &TForm1::LdPCBClick)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return runQuietBenchmarks(argc, argv); }
