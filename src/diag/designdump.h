// The "Design DB" dump: both snapshots of a design as indented text.
#pragma once

#include <string>

#include "dbx/design.h"
#include "diag/dumper.h"

namespace DBX {

inline constexpr const char* kDumpFileName = "dump.txt";

// The PCB snapshot, then the schematic's.
void dumpDesign(const Design& design, Dumper& out);

// Replaces the file with the dump. When the file cannot be created or
// written, an Error box names it and the reason; returns whether it was
// written.
bool writeDesignDump(const Design& design, const std::string& path = kDumpFileName);

}  // namespace DBX
