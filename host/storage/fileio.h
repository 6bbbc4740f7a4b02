// Whole-file reading and atomic replacement, shared by the host's file
// formats. Failures are DesignFileErrors that name the file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "storage/designfileerror.h"

namespace dbxhost {

// The bytes of a regular file.
std::string readFileText(const std::filesystem::path& path);

// Replaces the file so that it is either the old one or the complete new one:
// a temporary file in the same folder, flushed to disk, then renamed over the
// target (the file a link points to, keeping its permissions), and the folder
// flushed.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);

}  // namespace dbxhost
