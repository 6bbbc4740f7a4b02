// A user interface for benchmarks: no boxes or cursors on the console during
// the runs.
#pragma once

#include <string>

#include "diag/ui.h"

class QuietUi : public diag::Ui {
 public:
  void showMessage(diag::MessageKind, const std::string&) override {}
  bool confirm(const std::string&) override { return false; }
  void pushWaitCursor() override {}
  void popWaitCursor() override {}
  bool shiftPressed() override { return false; }
};
