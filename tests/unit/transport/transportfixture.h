// Helpers of the transport tests: a private temporary socket directory, a
// fake engine served on a thread, and raw socket access for hostile clients.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dbx/hostlocation.h"
#include "engine/server.h"
#include "fakedbx.h"

namespace transporttest {

class PrivateDir {
 public:
  PrivateDir() {
    char pattern[] = "/tmp/tandrel-transport-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    chmod(path_.c_str(), 0700);
  }
  ~PrivateDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateDir(const PrivateDir&) = delete;
  PrivateDir& operator=(const PrivateDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A FakeDbx served by a Server on its own thread until destruction.
class ServedHost {
 public:
  explicit ServedHost(const std::string& dir,
                      std::chrono::milliseconds idleLimit = dbxhost::Server::kDefaultIdleLimit,
                      std::chrono::milliseconds frameLimit = dbxhost::Server::kDefaultFrameLimit)
      : server_(engine_, dir) {
    server_.setIdleLimit(idleLimit);
    server_.setFrameLimit(frameLimit);
    server_.setLogSink([this](const std::string& line) {
      std::lock_guard lock(logMutex_);
      log_.push_back(line);
    });
    server_.start();
    thread_ = std::thread([this] { server_.run(); });
  }
  ~ServedHost() {
    server_.stop();
    thread_.join();
  }
  FakeDbx& engine() { return engine_; }
  std::vector<std::string> log() const {
    std::lock_guard lock(logMutex_);
    return log_;
  }

 private:
  FakeDbx engine_;
  dbxhost::Server server_;
  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
  std::thread thread_;
};

// A blocking client socket connected to path; -1 when nobody listens.
inline int rawConnect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline void rawSend(int fd, const std::string& bytes) {
  ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Whether the peer closes fd within the timeout (bytes it sends first are
// skipped).
inline bool closedByPeer(int fd, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char bytes[256];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
  }
}

// Polls until cond holds or the timeout passes.
template <class Cond>
bool eventually(Cond cond, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace transporttest
