#include "diag/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "diag/logtesthook.h"
#include "diag/textformat.h"

namespace diag {

namespace {

constexpr const char* kProgramShortName = "tndr";

// The path is built once per process, on the first entry; that first entry
// alone writes the start header, even when it could not open the file.
struct LogState {
  bool started = false;
  std::string path;
  std::optional<std::string> testPath;
};

LogState& logState() {
  static LogState state;
  return state;
}

std::tm localTime(std::time_t seconds) {
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &seconds);
#else
  localtime_r(&seconds, &parts);
#endif
  return parts;
}

}  // namespace

std::string defaultLogFilePath() {
#ifdef _WIN32
  return formatText("C:\\td-log\\%s%s.log", "", kProgramShortName);
#else
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  return formatText("%s/td-log/%s%s.log", home, "", kProgramShortName);
#endif
}

void restartLogForTesting(std::string path) {
  LogState& state = logState();
  state.started = false;
  state.testPath = std::move(path);
}

LogFile OpenLogEntry() {
  LogState& state = logState();
  const bool firstEntry = !state.started;
  if (firstEntry) {
    state.path = state.testPath ? *state.testPath : defaultLogFilePath();
    state.started = true;
  }
  if (state.path.empty()) return nullptr;
  // A symbolic link in place of the log (planted by someone else) is never
  // followed, and only a regular file is written: a FIFO would stop the
  // program until someone reads it. Such entries are dropped like any other
  // that cannot be written.
  const int fd = open(state.path.c_str(),
                      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return nullptr;
  }
  LogFile file(fdopen(fd, "a"));
  if (!file) {
    close(fd);
    return nullptr;
  }

  const auto now = std::chrono::system_clock::now();
  const std::tm t = localTime(std::chrono::system_clock::to_time_t(now));
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  if (firstEntry) {
    std::fprintf(file.get(), "\n***** Log started %02d-%02d-%04d %02d:%02d\n", t.tm_mday,
                 t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min);
  }
  std::fprintf(file.get(), "%02d:%02d:%02d.%03d| ", t.tm_hour, t.tm_min, t.tm_sec,
               static_cast<int>(millis));
  return file;
}

TD_Message::~TD_Message() {
  if (LogFile file = OpenLogEntry()) std::fprintf(file.get(), "%s\n", text_.c_str());
}

}  // namespace diag
