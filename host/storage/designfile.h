// The host's design file: a JSON document holding one design (nets, the
// schematic and the PCB). The layout is described in docs/design-format.md.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "model/design.h"
#include "storage/designfileerror.h"

namespace dbxhost {

// The newest file version this reader understands and the one it writes.
inline constexpr int kDesignFileVersion = 2;

// Reads and checks a whole design file; nothing is returned unless the whole
// file is valid.
Design readDesignFile(const std::filesystem::path& path);

// Parses a design document; sourceName stands for the file in messages.
Design parseDesign(std::string_view json, const std::string& sourceName);

// The design as a design document. Throws DesignFileError when the design
// refers to something it does not hold (a net id without a net).
std::string serializeDesign(const Design& design);

// Writes the design so that the file is either the old one or the complete
// new one: a temporary file in the same folder, flushed to disk, then renamed
// over the target. The design is checked before anything is written.
void saveDesignFile(const Design& design, const std::filesystem::path& path);

}  // namespace dbxhost
