#include "heapcounter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

// The benchmarks run on one thread.
std::size_t inUse = 0;
std::size_t peak = 0;
std::size_t start = 0;

void* allocate(std::size_t bytes) {
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) throw std::bad_alloc();
  HeapCounter::allocated(malloc_usable_size(memory));
  return memory;
}

void release(void* memory) noexcept {
  if (memory == nullptr) return;
  HeapCounter::freed(malloc_usable_size(memory));
  std::free(memory);
}

}  // namespace

void HeapCounter::resetPeak() {
  start = inUse;
  peak = inUse;
}

std::size_t HeapCounter::peakAboveStart() { return peak - start; }

void HeapCounter::allocated(std::size_t bytes) {
  inUse += bytes;
  if (inUse > peak) peak = inUse;
}

void HeapCounter::freed(std::size_t bytes) { inUse -= bytes; }

void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
