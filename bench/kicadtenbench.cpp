// KiCad 10's largest demo board, jetson-agx-thor-baseboard (1125 footprints,
// 81 MB), opened by a dbxhost process until it serves, and opened and saved,
// against KiCad 10's own pcbnew.LoadBoard of the same file in the same run
// (from the tree of scripts/lib/kicad10.sh; as root). Peak memory is each
// process's largest resident set. Skipped without the tree.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kicadtentree.h"

namespace {

namespace fs = std::filesystem;
using tandrel::testing::KicadTenTree;

const char* const kProject = "jetson-agx-thor-baseboard";

// The tree and a copy of the project in it, made once for the whole run.
struct Staged {
  std::unique_ptr<KicadTenTree> tree;
  fs::path board;
  std::string skip;
};

Staged& staged() {
  static Staged staged = [] {
    Staged s;
    s.skip = KicadTenTree::pcbnewMissing();
    if (!s.skip.empty()) return s;
    s.tree = std::make_unique<KicadTenTree>();
    const fs::path folder = s.tree->stage() / kProject;
    fs::create_directories(folder);
    for (const fs::directory_entry& entry :
         fs::directory_iterator(KicadTenTree::demos() / kProject))
      if (entry.is_regular_file()) fs::copy_file(entry.path(), folder / entry.path().filename());
    s.board = folder / (std::string(kProject) + ".kicad_pcb");
    return s;
  }();
  return staged;
}

// Runs dbxhost on the board with the commands on its standard input; returns
// its largest resident set in kilobytes, or -1 when it failed.
long runHost(const std::string& board, const std::string& commands) {
  int input[2];
  if (::pipe2(input, O_CLOEXEC) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(input[0], STDIN_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::execl(DBXHOST_PATH, DBXHOST_PATH, "--headless", board.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(input[0]);
  const ssize_t written = ::write(input[1], commands.data(), commands.size());
  ::close(input[1]);
  int status = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return -1;
  const bool ok =
      written == ssize_t(commands.size()) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return ok ? usage.ru_maxrss : -1;
}

void hostRun(benchmark::State& state, const std::string& commands) {
  Staged& s = staged();
  if (!s.skip.empty()) return state.SkipWithError(s.skip.c_str());
  long peak = 0;
  for (auto _ : state) {
    peak = runHost(s.board.string(), commands);
    if (peak < 0) return state.SkipWithError("dbxhost failed on the board");
  }
  state.counters["peak_MB"] = double(peak) / 1024;
}

// Reads the board and its schematic, serves, and quits.
void BM_DbxhostOpensJetson(benchmark::State& state) { hostRun(state, "quit\n"); }
BENCHMARK(BM_DbxhostOpensJetson)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same and a save of the board over a copy.
void BM_DbxhostOpensAndSavesJetson(benchmark::State& state) {
  const std::string copy =
      (staged().tree ? staged().tree->stage() / "saved.kicad_pcb" : fs::path()).string();
  hostRun(state, "save " + copy + "\nquit\n");
}
BENCHMARK(BM_DbxhostOpensAndSavesJetson)->Unit(benchmark::kMillisecond)->UseRealTime();

// KiCad 10's pcbnew.LoadBoard alone (the time KiCad measures around it), and
// the python process's peak with pcbnew loaded.
void BM_KicadTenLoadsJetson(benchmark::State& state) {
  Staged& s = staged();
  if (!s.skip.empty()) return state.SkipWithError(s.skip.c_str());
  long peak = 0;
  for (auto _ : state) {
    const KicadTenTree::Run run = s.tree->python({"time", s.tree->inside(s.board), "1"});
    if (run.status != 0) return state.SkipWithError(run.output.c_str());
    // KiCad may say something first (a font it substitutes); its time is the last line.
    const std::size_t last = run.output.find_last_not_of('\n');
    const std::size_t line = run.output.rfind('\n', last);
    state.SetIterationTime(std::stod(run.output.substr(line == std::string::npos ? 0 : line + 1)));
    peak = run.peakKilobytes;
  }
  state.counters["peak_MB"] = double(peak) / 1024;
}
BENCHMARK(BM_KicadTenLoadsJetson)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
