// A dbxhost process for end-to-end tests: started on a design file in a
// private socket directory of its own, driven through its command input, and
// stopped or killed at will.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace tandrel::testing {

// Copies a file the test will have the host save over: the copy is writable
// by its owner even when the source is read-only (the shared real-world
// boards are), since the host refuses to replace a read-only file.
void copyForEditing(const std::filesystem::path& from, const std::filesystem::path& to);

class HostProcess {
 public:
  // Starts `dbxhost --headless designFile` with its sockets in dir (created
  // private when missing) and waits until it listens. Throws std::runtime_error
  // with the host's output when it does not come up.
  HostProcess(const std::string& designFile, const std::string& dir);
  // Ends a running host with SIGTERM; an exit status other than 0 (a
  // sanitizer's report, a crash on the way out) fails the running test.
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Sends one command line and returns the host's answer line.
  std::string command(const std::string& line);
  // Sends a signal and waits for the process; returns its exit status, or
  // 128 + signal number when a signal ended it.
  int stop(int signal = SIGTERM);
  bool running() const { return pid_ > 0; }
  const std::string& dir() const { return dir_; }

  // Runs dbxhost with arguments under which it ends by itself (a bad file,
  // a bad option); returns the exit status and fills output with what it
  // wrote. A host still running after 30 s is killed and -1 returned.
  static int runToEnd(const std::string& arguments, std::string& output);

 private:
  std::string readLine(std::chrono::milliseconds timeout);
  // SIGTERM, then SIGKILL when the process is still there after grace.
  int stopWithin(std::chrono::milliseconds grace);

  std::string dir_;
  pid_t pid_ = -1;
  int toHost_ = -1;
  int fromHost_ = -1;
  std::string pending_;
};

// A fresh private directory under the system's temporary folder, removed by
// the caller.
std::string makePrivateTempDir(const std::string& prefix);

}  // namespace tandrel::testing
