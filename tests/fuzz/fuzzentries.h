// The inputs the fuzzers drive: whole design files, KiCad boards and schematics, and raw socket
// streams into the host. Shared by the libFuzzer targets and by the test that replays the seed
// corpus and every input that ever crashed one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel::fuzz {

// Parses the bytes as a design file. A refusal is fine; anything else that
// escapes (a crash, another exception) is a fault.
void designFileInput(const uint8_t* data, std::size_t size);

// Parses the bytes as a KiCad board, with the same expectation.
void kicadBoardInput(const uint8_t* data, std::size_t size);

// Reads the bytes as the root schematic of a KiCad project (beside it the
// example's channel sheet, against the example's board), with the same
// expectation.
void kicadSchematicInput(const uint8_t* data, std::size_t size);

// Feeds the bytes to a fresh host as one connection's stream on the PCB
// socket: frames are cut and dispatched until the stream ends or is refused.
void frameStreamInput(const uint8_t* data, std::size_t size);

// Answers the design access's calls with replies cut from the bytes (see
// replaydbx.h) through a load of both tools, a verification, highlights,
// placements and the highlighted items. Its own errors are fine; a crash or
// any other exception is a fault.
void hostReplyInput(const uint8_t* data, std::size_t size);

}  // namespace tandrel::fuzz
