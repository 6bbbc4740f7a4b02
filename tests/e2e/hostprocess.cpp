#include "hostprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace tandrel::testing {

void copyForEditing(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::copy_file(from, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

namespace {

int exitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Spawns dbxhost with its standard input and output on pipes; standard error
// goes with standard output.
pid_t spawnHost(const std::vector<std::string>& args, const std::string& dir, int& toHost,
                int& fromHost) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("TANDREL_DBX_DIR=", 0) != 0) env.emplace_back(*e);
  }
  env.push_back("TANDREL_DBX_DIR=" + dir);
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  pid_t pid = -1;
  const int rc = posix_spawn(&pid, DBXHOST_PATH, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  if (rc != 0) {
    close(in[1]);
    close(out[0]);
    throw std::runtime_error("cannot start " DBXHOST_PATH);
  }
  toHost = in[1];
  fromHost = out[0];
  return pid;
}

}  // namespace

std::string makePrivateTempDir(const std::string& prefix) {
  std::string pattern = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : "/tmp") +
                        "/" + prefix + ".XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  chmod(pattern.c_str(), 0700);
  return pattern;
}

HostProcess::HostProcess(const std::string& designFile, const std::string& dir) : dir_(dir) {
  pid_ = spawnHost({DBXHOST_PATH, "--headless", designFile}, dir, toHost_, fromHost_);
  std::string seen;
  for (;;) {
    // A hang guard, not a speed figure: a sanitizer build takes a minute to
    // read a board of tens of megabytes.
    const std::string line = readLine(std::chrono::seconds(180));
    seen += line + "\n";
    if (line.rfind("dbxhost: listening in ", 0) == 0) return;
    if (line.empty() && pid_ > 0) {
      stop(SIGKILL);
      throw std::runtime_error("dbxhost did not come up:\n" + seen);
    }
  }
}

HostProcess::~HostProcess() {
  if (pid_ > 0) {
    // Ended as a user would end it, so that the sanitizers' exit checks (the
    // leak check above all) run in the host too and a report fails the test.
    const int status = stopWithin(std::chrono::seconds(20));
    if (status != 0) {
      std::string output;
      while (true) {
        const std::string line = readLine(std::chrono::milliseconds(500));
        if (line.empty()) break;
        output += line + "\n";
      }
      const std::string report =
          "dbxhost ended with status " + std::to_string(status) + ":\n" + output;
      if (::testing::UnitTest::GetInstance()->current_test_info() != nullptr) {
        ADD_FAILURE() << report;
      } else {
        std::fputs(report.c_str(), stderr);
      }
    }
  }
  if (toHost_ >= 0) close(toHost_);
  if (fromHost_ >= 0) close(fromHost_);
}

std::string HostProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const auto end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{fromHost_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char buffer[4096];
    const ssize_t n = read(fromHost_, buffer, sizeof buffer);
    if (n <= 0) return {};
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string HostProcess::command(const std::string& line) {
  const std::string text = line + "\n";
  if (write(toHost_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    return "error: host input closed";
  }
  // Saving a large board in a sanitizer build on a busy machine takes a while.
  return readLine(std::chrono::seconds(60));
}

int HostProcess::stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return exitStatus(status);
}

int HostProcess::stopWithin(std::chrono::milliseconds grace) {
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return stop(SIGKILL);
    usleep(10000);
  }
  pid_ = -1;
  return exitStatus(status);
}

int HostProcess::runToEnd(const std::string& arguments, std::string& output) {
  int toHost = -1, fromHost = -1;
  const std::string dir = makePrivateTempDir("dbxhost-run");
  const pid_t pid = spawnHost({DBXHOST_PATH, "--headless", arguments}, dir, toHost, fromHost);
  close(toHost);
  output.clear();
  // A host that does not end by itself (it found the file good and serves
  // it) is killed after a while, so the caller fails instead of hanging.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool ended = false;
  char buffer[4096];
  while (!ended) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fromHost, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = read(fromHost, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = true;
    } else {
      output.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fromHost);
  if (!ended) {
    kill(pid, SIGKILL);
    output += "\n(dbxhost did not end by itself within 30 s)";
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  rmdir(dir.c_str());
  return ended ? exitStatus(status) : -1;
}

}  // namespace tandrel::testing
