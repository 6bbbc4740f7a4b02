// What a file was when the host read or wrote it: which file it was (device
// and inode), its size, modification time and a hash of its bytes, so that a
// change made by another program (an editor saving the same board) is
// noticed before it would be overwritten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace dbxhost {

class FileStamp {
 public:
  // The file's stamp now; nullopt when there is no file. Throws
  // DesignFileError when it exists but cannot be read.
  static std::optional<FileStamp> of(const std::filesystem::path& file);

  friend bool operator==(const FileStamp&, const FileStamp&) = default;

 private:
  std::uintmax_t device_ = 0;
  std::uintmax_t inode_ = 0;
  std::uintmax_t size_ = 0;
  int64_t modifiedNanoseconds_ = 0;
  uint64_t hash_ = 0;
};

}  // namespace dbxhost
