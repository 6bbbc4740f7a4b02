// The diagnostic log: time-stamped lines appended to one file, with a start
// header per run. The folder of the file is never created, so logging stays
// off until the user creates it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace diag {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using LogFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens the log for one entry, writes the run's start header when due and the
// entry's time prefix. Null when the file cannot be opened; nothing is shown.
LogFile OpenLogEntry();

// Where the log lives: C:\td-log\tndr.log on Windows, td-log/tndr.log in the
// user's home directory elsewhere (empty when the home is unknown).
std::string defaultLogFilePath();

// One log entry: constructing it copies the text, destroying it writes the
// text as one line. Log a line with TD_Message("text"); as a statement.
class TD_Message {
 public:
  explicit TD_Message(const char* text) : text_(text != nullptr ? text : "") {}
  ~TD_Message();
  TD_Message(const TD_Message&) = delete;
  TD_Message& operator=(const TD_Message&) = delete;

 private:
  std::string text_;
};

}  // namespace diag
