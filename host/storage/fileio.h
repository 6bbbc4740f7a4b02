// Whole-file reading and atomic replacement, shared by the host's file
// formats. Failures are DesignFileErrors that name the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "storage/designfileerror.h"

namespace dbxhost {

// Larger files are refused: no design comes near, and reading one whole
// would take the host's memory.
inline constexpr std::uintmax_t kMaxFileSize = std::uintmax_t(512) << 20;

// The bytes of a regular file of at most kMaxFileSize bytes. Devices, FIFOs
// and sockets are refused without waiting or reading from them.
std::string readFileText(const std::filesystem::path& path);
// The same bytes handed over piece by piece, after the file's size as it was
// opened: a large file need not be held whole.
void readFileInPieces(const std::filesystem::path& path,
                      const std::function<void(std::size_t size)>& sized,
                      const std::function<void(std::string_view piece)>& take);

// Replaces the file so that it is either the old one or the complete new one:
// a temporary file in the same folder, flushed to disk with the old file's
// owner and permissions, then renamed over it, and the folder flushed. Only a
// regular file that may be written is replaced: a symbolic link (naming its
// target), a folder, device, FIFO or socket and a read-only file are refused.
// The temporary file goes on every failure, and those of saves into the same
// folder that were killed on the way go too.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);

}  // namespace dbxhost
