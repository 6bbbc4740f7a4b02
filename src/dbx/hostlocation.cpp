#include "dbx/hostlocation.h"

#include "dbx/dbx32.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace DBX {

namespace {

std::string envValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string hostDirectory() {
  if (std::string dir = envValue("TANDREL_DBX_DIR"); !dir.empty()) return dir;
  if (std::string runtime = envValue("XDG_RUNTIME_DIR"); !runtime.empty())
    return runtime + "/tandrel-dbx";
  return "/tmp/tandrel-dbx-" + std::to_string(geteuid());
}

bool isToolName(std::string_view toolName) {
  return toolName == kToolNamePcb || toolName == kToolNameSch;
}

std::string socketPath(std::string_view dir, std::string_view toolName) {
  std::string path(dir);
  path += '/';
  path += toolName;
  path += ".sock";
  return path;
}

std::optional<std::string> privateDirectoryProblem(const std::string& dir) {
  struct stat st;
  // lstat: a symbolic link could point anywhere, so it is not accepted.
  if (lstat(dir.c_str(), &st) != 0) return dir + ": " + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return dir + " is a symbolic link";
  if (!S_ISDIR(st.st_mode)) return dir + " is not a directory";
  if (st.st_uid != geteuid()) return dir + " belongs to another user";
  if ((st.st_mode & 077) != 0) return dir + " is accessible to other users (mode must be 0700)";
  return std::nullopt;
}

std::optional<std::string> preparePrivateDirectory(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) == 0) {
    // The umask may have taken bits the owner needs.
    if (chmod(dir.c_str(), 0700) != 0)
      return "cannot set the mode of " + dir + ": " + std::strerror(errno);
  } else if (errno != EEXIST) {
    return "cannot create " + dir + ": " + std::strerror(errno);
  }
  return privateDirectoryProblem(dir);
}

}  // namespace DBX
