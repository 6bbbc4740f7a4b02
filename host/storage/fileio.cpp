#include "storage/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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

}  // namespace

std::string readFileText(const std::filesystem::path& path) {
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
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      throw DesignFileError(name + ": cannot read: " + errnoText(errno));
    }
    // The file may grow while it is read.
    if (content.size() + std::size_t(count) > kMaxFileSize) throw DesignFileError(tooLarge);
    content.append(buffer, std::size_t(count));
  }
  return content;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
  const std::string name = path.string();
  // Replace the file a link points to, not the link.
  std::error_code ignored;
  const std::filesystem::path target =
      std::filesystem::is_symlink(path, ignored) ? std::filesystem::canonical(path, ignored) : path;
  if (target.empty()) throw DesignFileError(name + ": not saved: the link points nowhere");

  TemporaryFile temporary(temporaryPathFor(target));
  FileDescriptor file(
      ::open(temporary.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.get() < 0) {
    const int error = errno;
    temporary.release();  // nothing was created
    throw DesignFileError(name + ": cannot create a temporary file beside it: " + errnoText(error));
  }
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(file.get(), old.st_mode & 07777);  // keep the old file's permissions
  }
  try {
    writeAll(file.get(), content);
  } catch (const std::system_error& error) {
    throw DesignFileError(name + ": cannot write: " + errnoText(error.code().value()));
  }
  if (::fsync(file.get()) != 0 || file.close() != 0) {
    throw DesignFileError(name + ": cannot write: " + errnoText(errno));
  }
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
    throw DesignFileError(name + ": cannot replace the file: " + errnoText(errno));
  }
  temporary.release();

  // Make the rename itself durable.
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() < 0 || ::fsync(directory.get()) != 0) {
    throw DesignFileError(
        name + ": saved, but its folder could not be flushed to disk: " + errnoText(errno));
  }
}

}  // namespace dbxhost
