#include "storage/filestamp.h"

#include <sys/stat.h>

#include <cerrno>

#include "storage/fileio.h"

namespace dbxhost {

namespace {

// FNV-1a: fast, and a change of any byte changes it. Read in pieces, so that
// a stamp of a large board does not hold it in memory a second time.
uint64_t hashOf(const std::filesystem::path& file) {
  uint64_t hash = 14695981039346656037ull;
  readFileInPieces(
      file, [](std::size_t) {},
      [&](std::string_view piece) {
        for (const char byte : piece) {
          hash ^= static_cast<unsigned char>(byte);
          hash *= 1099511628211ull;
        }
      });
  return hash;
}

}  // namespace

std::optional<FileStamp> FileStamp::of(const std::filesystem::path& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0 && errno == ENOENT) return std::nullopt;
  FileStamp stamp;
  stamp.device_ = status.st_dev;
  stamp.inode_ = status.st_ino;
  stamp.size_ = static_cast<std::uintmax_t>(status.st_size);
  stamp.modifiedNanoseconds_ =
      int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
  stamp.hash_ = hashOf(file);
  return stamp;
}

}  // namespace dbxhost
