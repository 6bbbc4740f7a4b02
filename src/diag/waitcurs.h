// Scoped guard: shows the hourglass cursor while it lives and restores the
// previous cursor when it ends.
#pragma once

#include "diag/ui.h"

namespace diag {

class WaitCurs {
 public:
  WaitCurs() : ui_(ui()) { ui_.pushWaitCursor(); }
  ~WaitCurs() { ui_.popWaitCursor(); }
  WaitCurs(const WaitCurs&) = delete;
  WaitCurs& operator=(const WaitCurs&) = delete;

 private:
  Ui& ui_;  // the interface that showed the cursor restores it
};

}  // namespace diag
