// For the benchmarks through the socket: a dbxhost process serving a design,
// and the bare request/answer round trips that a load or a Place is held
// against.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "model/design.h"
#include "storage/designfile.h"

namespace tandrel::testing {

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
  ServedDesign(const ServedDesign&) = delete;
  ServedDesign& operator=(const ServedDesign&) = delete;
  const std::string& sockets() const { return sockets_; }
  long pcbCalls() { return std::stol(host_->command("calls pcb").substr(3)); }

 private:
  std::string work_;
  std::string sockets_;
  std::unique_ptr<HostProcess> host_;
};

// count header reads per run, in one conversation with the served host: what
// as many calls cost with nothing done behind them.
inline void bareRoundTrips(benchmark::State& state, ServedDesign& served, long count) {
  DBX::SocketDbx dbx(served.sockets());
  DBX::TConversation context;
  if (count == 0 || dbx.TOpenDesign(0, 18000, "pcb", &context) != DBX::DBX_OK) {
    state.SkipWithError("the host refused the conversation");
    return;
  }
  DBX::TDesign header;
  for (auto _ : state) {
    for (long i = 0; i < count; ++i) {
      benchmark::DoNotOptimize(dbx.TGetDesignInfo(&context, &header));
    }
  }
  dbx.TCloseDesign(&context, "");
  state.counters["calls"] = double(count);
}

}  // namespace tandrel::testing
