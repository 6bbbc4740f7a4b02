#include "dbx/hostlocation.h"

#include "dbx/dbx32.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace DBX {

namespace {

// The longest socket path that fits sockaddr_un with its terminator.
constexpr std::size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

std::string envValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string homeDirectory() {
  if (std::string home = envValue("HOME"); !home.empty()) return home;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

// Why a folder on the way to the socket directory lets another user swap
// what lies below it: a symbolic link, another owner than root or the user,
// or write access for others without the sticky bit (as /tmp has).
//
// The folders are taken as the system resolves the path: "x/.." is the parent
// of what x is, which only equals the folder holding x when x is no link, so
// every x is checked before a ".." after it is applied.
std::optional<std::string> unsafeAncestor(const std::string& dir) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(dir, error);
  if (error) return dir + ": " + error.message();
  std::filesystem::path prefix;
  std::filesystem::path::iterator last = absolute.end();
  if (absolute.has_filename()) --last;
  for (auto part = absolute.begin(); part != last; ++part) {
    if (part->empty() || *part == ".") continue;
    if (*part == "..") {
      // The folder before it was checked and is no link.
      prefix = prefix.parent_path();
      continue;
    }
    prefix /= *part;
    const std::string folder = prefix.string();
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0) {
      // A missing folder is reported by whoever needs it next.
      if (errno == ENOENT) return std::nullopt;
      return folder + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode)) return "the folder " + folder + " on the way is a symbolic link";
    if (st.st_uid != 0 && st.st_uid != geteuid())
      return "the folder " + folder + " on the way belongs to another user";
    const bool othersWrite =
        (st.st_mode & S_IWOTH) != 0 || ((st.st_mode & S_IWGRP) != 0 && st.st_gid != getegid());
    if (othersWrite && (st.st_mode & S_ISVTX) == 0)
      return "the folder " + folder + " on the way can be changed by other users";
  }
  return std::nullopt;
}

}  // namespace

std::string hostDirectory() {
  if (std::string dir = envValue("TANDREL_DBX_DIR"); !dir.empty()) return dir;
  if (std::string runtime = envValue("XDG_RUNTIME_DIR"); !runtime.empty())
    return runtime + "/tandrel-dbx";
  // Not under /tmp: there any user could create the folder first and so keep
  // the host from starting.
  if (std::string home = homeDirectory(); !home.empty()) return home + "/.tandrel-dbx";
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
  if (std::optional<std::string> problem = unsafeAncestor(dir)) return problem;
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
  // Checked first, so that no folder is made for sockets that cannot be.
  if (const std::string path = socketPath(dir, kToolNamePcb); path.size() > kMaxSocketPath)
    return "the socket path " + path + " is longer than the " + std::to_string(kMaxSocketPath) +
           " bytes a socket path may have";
  if (std::optional<std::string> problem = unsafeAncestor(dir)) return problem;
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
