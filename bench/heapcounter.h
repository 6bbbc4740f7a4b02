// Counts the heap that operator new hands out in the benchmark process, so
// that a benchmark can report the peak an operation needs on top of what was
// in use before it.
#pragma once

#include <cstddef>

class HeapCounter {
 public:
  // Starts a measurement: the peak is counted from the bytes in use now.
  static void resetPeak();
  // The most bytes in use since resetPeak(), less those in use then.
  static std::size_t peakAboveStart();

  static void allocated(std::size_t bytes);
  static void freed(std::size_t bytes);
};
