#include "placement/units.h"

#include <cstdio>

namespace placement {

std::string FormatLength(int32_t units) {
  const char* format = units % 1000 == 0  ? "%.2f"
                       : units % 100 == 0 ? "%.3f"
                       : units % 10 == 0  ? "%.4f"
                                          : "%.5f";
  char text[32];
  std::snprintf(text, sizeof text, format, units * 0.00001);
  return text;
}

std::string FormatPoint(int32_t x, int32_t y) {
  return "(" + FormatLength(x) + "," + FormatLength(y) + ")";
}

}  // namespace placement
