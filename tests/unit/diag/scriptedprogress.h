// A scripted progress interface for the tests: it records the actions begun
// and asks to cancel from a chosen step on.
#pragma once

#include <string>
#include <vector>

#include "diag/progress.h"

namespace testing_diag {

class ScriptedProgress : public diag::Progress {
 public:
  ScriptedProgress() : previous_(diag::installProgress(this)) {}
  ~ScriptedProgress() override { diag::installProgress(previous_); }
  ScriptedProgress(const ScriptedProgress&) = delete;
  ScriptedProgress& operator=(const ScriptedProgress&) = delete;

  void begin(const std::string& caption) override {
    captions.push_back(caption);
    ++depth;
  }
  bool step() override { return ++steps < cancelAtStep; }
  void end() override { --depth; }

  std::vector<std::string> captions;
  int depth = 0;
  int steps = 0;
  int cancelAtStep = 1 << 30;  // the step from which on the user cancels

 private:
  diag::Progress* previous_;
};

}  // namespace testing_diag
