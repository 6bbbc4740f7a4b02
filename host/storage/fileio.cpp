#include "storage/fileio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <regex>
#include <system_error>
#include <utility>

namespace dbxhost {
namespace {

std::string errnoText(int error) { return std::system_category().message(error); }

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now so that a failing close can be reported.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// A temporary file that is removed unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::filesystem::path& path() const { return path_; }
  void release() { path_.clear(); }

 private:
  std::filesystem::path path_;
};

std::filesystem::path temporaryPathFor(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  return target.parent_path() / ("." + target.filename().string() + ".tmp-" +
                                 std::to_string(::getpid()) + "-" + std::to_string(++counter));
}

void writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::system_category());
    }
    data.remove_prefix(std::size_t(written));
  }
}

// "A FIFO", for a refusal that names what the path is instead of a file.
const char* whatIsNotARegularFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// The status of the file that saving to path replaces, nullopt when there is
// none yet. Refuses a path that is a link (the user names the file that is
// replaced), anything but a regular file, and a read-only file.
std::optional<struct stat> statusOfReplaced(const std::filesystem::path& path) {
  const std::string name = path.string();
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return std::nullopt;
    throw DesignFileError(name + ": not saved: " + errnoText(errno));
  }
  if (S_ISLNK(status.st_mode)) {
    std::error_code ignored;
    throw DesignFileError(name + ": not saved: it is a symbolic link to " +
                          std::filesystem::weakly_canonical(path, ignored).string() +
                          "; save to that path to replace the file");
  }
  if (!S_ISREG(status.st_mode)) {
    throw DesignFileError(name + ": not saved: it is " + whatIsNotARegularFile(status.st_mode) +
                          ", not a regular file");
  }
  // The mode bits too: the superuser may write any file, but one marked
  // read-only is not to be replaced behind its owner's back.
  if ((status.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
    throw DesignFileError(name + ": not saved: the file is read-only");
  }
  return status;
}

// Whether name is ".NAME.tmp-PID-N" as temporaryPathFor makes them, and of
// which process.
std::optional<pid_t> temporaryFileOwner(const std::string& name) {
  static const std::regex pattern(R"(\..+\.tmp-([0-9]{1,9})-[0-9]+)");
  std::smatch match;
  if (!std::regex_match(name, match, pattern)) return std::nullopt;
  return static_cast<pid_t>(std::stol(match[1].str()));
}

// Removes the temporary files that saves into folder left when their process
// was killed. Those of processes still running may belong to a save under
// way and stay.
void removeStaleTemporaryFiles(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder.empty() ? "." : folder, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::optional<pid_t> owner = temporaryFileOwner(entries->path().filename().string());
    if (!owner || *owner == ::getpid() || (::kill(*owner, 0) == 0 || errno != ESRCH)) continue;
    struct stat status {};
    if (::lstat(entries->path().c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_uid == ::geteuid())
      ::unlink(entries->path().c_str());
  }
}

}  // namespace

void readFileInPieces(const std::filesystem::path& path,
                      const std::function<void(std::size_t size)>& sized,
                      const std::function<void(std::string_view piece)>& take) {
  const std::string name = path.string();
  // Without O_NONBLOCK the open of a FIFO would wait for a writer for ever.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) throw DesignFileError(name + ": cannot open: " + errnoText(errno));
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    throw DesignFileError(name + ": cannot read: " + errnoText(errno));
  }
  if (S_ISDIR(status.st_mode)) throw DesignFileError(name + ": is a folder, not a design file");
  if (!S_ISREG(status.st_mode)) {
    throw DesignFileError(name + ": is not a regular file (a device, FIFO or socket)");
  }
  const std::string tooLarge = name + ": is larger than the limit of " +
                               std::to_string(kMaxFileSize >> 20) + " MiB for a design file";
  if (std::uintmax_t(status.st_size) > kMaxFileSize) throw DesignFileError(tooLarge);
  sized(std::size_t(status.st_size));
  std::size_t total = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      throw DesignFileError(name + ": cannot read: " + errnoText(errno));
    }
    // The file may grow while it is read.
    total += std::size_t(count);
    if (total > kMaxFileSize) throw DesignFileError(tooLarge);
    take(std::string_view(buffer, std::size_t(count)));
  }
}

std::string readFileText(const std::filesystem::path& path) {
  std::string content;
  readFileInPieces(
      path, [&](std::size_t size) { content.reserve(size); },  // no copies as it grows
      [&](std::string_view piece) { content.append(piece); });
  return content;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
  const std::string name = path.string();
  const std::optional<struct stat> old = statusOfReplaced(path);
  removeStaleTemporaryFiles(path.parent_path());

  TemporaryFile temporary(temporaryPathFor(path));
  FileDescriptor file(
      ::open(temporary.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.get() < 0) {
    const int error = errno;
    temporary.release();  // nothing was created
    throw DesignFileError(name + ": cannot create a temporary file beside it: " + errnoText(error));
  }
  if (old) {
    // The owner first: a change of owner clears the set-id bits.
    if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(file.get(), old->st_uid, old->st_gid) != 0) {
      throw DesignFileError(
          name + ": not saved: its owner and group could not be kept: " + errnoText(errno));
    }
    if (::fchmod(file.get(), old->st_mode & 07777) != 0) {
      throw DesignFileError(name +
                            ": not saved: its permissions could not be kept: " + errnoText(errno));
    }
  }
  try {
    writeAll(file.get(), content);
  } catch (const std::system_error& error) {
    throw DesignFileError(name + ": cannot write: " + errnoText(error.code().value()));
  }
  if (::fsync(file.get()) != 0 || file.close() != 0) {
    throw DesignFileError(name + ": cannot write: " + errnoText(errno));
  }
  if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
    throw DesignFileError(name + ": cannot replace the file: " + errnoText(errno));
  }
  temporary.release();

  // Make the rename itself durable.
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() < 0 || ::fsync(directory.get()) != 0) {
    throw DesignFileError(
        name + ": saved, but its folder could not be flushed to disk: " + errnoText(errno));
  }
}

}  // namespace dbxhost
