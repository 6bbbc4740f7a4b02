// Lengths as the user sees them: display units of 100000 host database units
// with "." as the decimal point.
#pragma once

#include <cstdint>
#include <string>

namespace placement {

inline constexpr int32_t kUnitsPerDisplayUnit = 100000;

// The fewest decimals that show the value exactly, but at least 2:
// 254000 -> "2.54", 100 -> "0.001", 0 -> "0.00", -150000 -> "-1.50".
std::string FormatLength(int32_t units);

// "(" x "," y ")" with both coordinates by FormatLength.
std::string FormatPoint(int32_t x, int32_t y);

}  // namespace placement
