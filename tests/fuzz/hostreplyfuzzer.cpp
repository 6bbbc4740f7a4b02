#include "fuzzentries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tandrel::fuzz::hostReplyInput(data, size);
  return 0;
}
