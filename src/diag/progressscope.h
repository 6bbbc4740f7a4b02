// Scoped guard: a long action that shows progress while it lives.
#pragma once

#include <string>

#include "diag/progress.h"

namespace diag {

class ProgressScope {
 public:
  explicit ProgressScope(const std::string& caption) : progress_(progress()) {
    progress_.begin(caption);
  }
  ~ProgressScope() { progress_.end(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  Progress& progress_;  // the interface that began the action ends it
};

}  // namespace diag
