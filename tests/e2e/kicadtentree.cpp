#include "kicadtentree.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace tandrel::testing {

namespace fs = std::filesystem;

fs::path KicadTenTree::root() {
  const char* fromEnvironment = std::getenv("TANDREL_KICAD10_ROOT");
  return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fs::path(fromEnvironment)
                                                                : fs::path(TANDREL_KICAD10_ROOT);
}

bool KicadTenTree::required() {
  const char* flag = std::getenv("TANDREL_KICAD10_REQUIRED");
  return flag != nullptr && std::string(flag) == "1";
}

std::string KicadTenTree::demosMissing() {
  if (!fs::is_directory(demos())) {
    return "the KiCad 10 tree has no demos at " + demos().string() +
           " (scripts/test builds it; TANDREL_KICAD10_ROOT names another)";
  }
  return "";
}

std::string KicadTenTree::pcbnewMissing() {
  static const std::string reason = [] {
    if (std::string missing = demosMissing(); !missing.empty()) return missing;
    if (::geteuid() != 0) return std::string("running KiCad 10 in its tree (chroot) needs root");
    const KicadTenTree tree;
    const Run version = tree.python({"version"});
    if (version.status != 0 || version.output.rfind("10.", 0) != 0) {
      return "the python3 of " + root().string() +
             " does not run KiCad 10's pcbnew: " + version.output;
    }
    return std::string();
  }();
  return reason;
}

KicadTenTree::KicadTenTree() {
  std::string pattern = (root() / "tmp/tandrel-kicad10-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp in " + root().string());
  }
  stage_ = pattern;
  for (const fs::directory_entry& entry : fs::directory_iterator(TANDREL_KICADTEN_SCRIPTS)) {
    if (entry.path().extension() == ".py")
      fs::copy_file(entry.path(), stage_ / entry.path().filename());
  }
}

KicadTenTree::~KicadTenTree() {
  std::error_code ignored;
  fs::remove_all(stage_, ignored);
}

std::string KicadTenTree::inside(const fs::path& staged) const {
  return "/" + staged.lexically_relative(root()).string();
}

KicadTenTree::Run KicadTenTree::script(const std::string& name,
                                       const std::vector<std::string>& arguments) const {
  // The judges' temporary files go into the stage, so that what a crashed
  // run leaves behind goes with it.
  std::vector<std::string> words = {"chroot",           root().string(),
                                    "/usr/bin/env",     "TMPDIR=" + inside(stage_),
                                    "/usr/bin/python3", inside(stage_ / name)};
  words.insert(words.end(), arguments.begin(), arguments.end());
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  Run run;
  char buffer[65536];
  for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    run.output.append(buffer, std::size_t(got));
  }
  ::close(pipeEnds[0]);
  int status = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.peakKilobytes = usage.ru_maxrss;
  return run;
}

}  // namespace tandrel::testing
