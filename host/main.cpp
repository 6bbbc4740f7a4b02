// dbxhost: a stand-in for the host tools. Serves the design of one file to DBX
// clients on the tools "pcb" and "sch", and takes commands (see hostcontrol.h)
// on standard input, one per line, answering each on standard output. Where a
// display exists it shows the design in a window, unless --headless.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "engine/hostdbx.h"
#include "engine/server.h"
#include "storage/designstorage.h"
#include "window/displaycheck.h"
#include "window/hostsession.h"
#include "window/hostwindow.h"

namespace {

dbxhost::Server* runningServer = nullptr;
// Set by a signal or the quit command; the window watches it.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onTerminate(int) {
  stopRequested = true;
  if (runningServer != nullptr) runningServer->stop();
}

// Reads one line of standard input, waking regularly to see whether the
// host still serves; false at the end of input or when serving stops.
bool readLine(const std::atomic<bool>& serving, std::string& line) {
  static std::string pending;
  line.clear();
  for (;;) {
    if (const auto end = pending.find('\n'); end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 1);
      return true;
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&in, 1, 200);
    if (!serving) return false;
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: dbxhost [--headless] [--idle-seconds N] DESIGN.json|BOARD.kicad_pcb\n"
               "Serves the design (a design file, or a KiCad board with the schematic\n"
               "BOARD.kicad_sch beside it) to DBX clients and shows it in a window when a\n"
               "display exists (--headless: never); the sockets are in $TANDREL_DBX_DIR,\n"
               "else $XDG_RUNTIME_DIR/tandrel-dbx, else ~/.tandrel-dbx.\n"
               "Commands on standard input: save [PATH] (a KiCad board for .kicad_pcb),\n"
               "reload, summary, highlight, unhighlight, clear-highlights, remove, inject,\n"
               "drop, busy, calls, quit. A client silent for N seconds (120 unless\n"
               "given) is disconnected, freeing its tool.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  bool headless = false;
  std::chrono::milliseconds idleLimit = dbxhost::Server::kDefaultIdleLimit;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headless") {
      headless = true;
      continue;
    }
    if (arg == "--idle-seconds" && i + 1 < argc) {
      const std::string value = argv[++i];
      int seconds = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (error != std::errc() || end != value.data() + value.size() || seconds < 1) return usage();
      idleLimit = std::chrono::seconds(seconds);
      continue;
    }
    if (!arg.empty() && arg[0] == '-') return usage();
    if (!file.empty()) return usage();
    file = arg;
  }
  if (file.empty()) return usage();
  if (!headless &&
      !dbxhost::displayAvailable(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                 std::getenv("WAYLAND_DISPLAY"))) {
    std::fprintf(stderr, "dbxhost: no display; running without a window as with --headless\n");
    headless = true;
  }

  try {
    dbxhost::OpenedDesign opened = dbxhost::openDesign(file);
    dbxhost::HostDbx host(std::move(opened.design));
    dbxhost::Server server(host);
    server.setIdleLimit(idleLimit);
    server.start();
    runningServer = &server;
    std::signal(SIGTERM, onTerminate);
    std::signal(SIGINT, onTerminate);
    std::signal(SIGPIPE, SIG_IGN);

    std::cout << "dbxhost: serving " << file << ": "
              << host.readDesign(
                     [](const dbxhost::Design& d) { return dbxhost::summarizeDesign(d); })
              << "\ndbxhost: listening in " << server.dir() << std::endl;

    dbxhost::HostSession session(host, file, opened.storage, opened.stamp);
    // Commands come on their own thread so that a silent standard input
    // never holds up the clients; the reader stops the server on "quit".
    std::atomic<bool> serving{true};
    std::thread commands([&] {
      std::string line;
      while (serving && readLine(serving, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::cout << session.execute(line) << std::endl;
        if (session.quitRequested()) {
          stopRequested = true;
          server.stop();
          break;
        }
      }
    });
    int status = 0;
    if (headless) {
      server.run();
    } else {
      // The window owns the main thread; the clients are served beside it.
      std::string serverError;
      std::thread serverThread([&] {
        try {
          server.run();
        } catch (const std::exception& e) {
          serverError = e.what();
        }
        stopRequested = true;
      });
      status = dbxhost::runHostWindow(argc, argv, host, session, stopRequested);
      server.stop();
      serverThread.join();
      if (!serverError.empty()) throw dbxhost::ServerError(serverError);
    }
    runningServer = nullptr;
    serving = false;
    commands.join();
    std::cout << "dbxhost: stopped" << std::endl;
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dbxhost: %s\n", e.what());
    return 1;
  }
}
