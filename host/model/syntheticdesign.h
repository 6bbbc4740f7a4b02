// Synthetic designs for benchmarks and stress tests: N equal channels, each a
// chain of M two-pin parts from VCC to GND.
#pragma once

#include "model/design.h"

namespace dbxhost {

inline constexpr int kMaxSyntheticChannels = 1000;
inline constexpr int kMaxSyntheticParts = 1000;

// channels copies of a chain of parts two-pin parts. Channel c (from 1) runs
// VCC - R/C - "C<c>_1" - ... - "C<c>_<parts-1>" - GND, so every channel has
// the same connectivity and each position of the chain a value of its own.
// With sheets, channel c is drawn on sheet c ("Channel<c>") at the same
// positions as every other channel; without, all channels share one sheet.
// Throws std::invalid_argument for counts outside 1..1000.
Design makeSyntheticDesign(int channels, int parts, bool sheets);

}  // namespace dbxhost
