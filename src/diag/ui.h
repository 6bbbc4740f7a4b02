// The few user-interface services that the toolkit-free code needs: modal
// message boxes, the hourglass cursor and the state of the Shift key. The GUI
// installs its implementation at start-up; tests install a scripted one.
#pragma once

#include <string>

#include "diag/messagekind.h"

namespace diag {

class Ui {
 public:
  virtual ~Ui() = default;

  // A modal box with the caption and icon of the kind and an OK button.
  virtual void showMessage(MessageKind kind, const std::string& text) = 0;
  // A modal "Confirm" box with OK and Cancel; true only for OK.
  virtual bool confirm(const std::string& question) = 0;
  // The hourglass cursor; pushes and pops nest.
  virtual void pushWaitCursor() = 0;
  virtual void popWaitCursor() = 0;
  virtual bool shiftPressed() = 0;
};

// The installed interface, or a console fallback that writes boxes to
// standard error and answers every question with Cancel.
Ui& ui();

// Installs ui (not owned; it must outlive its installation) and returns the
// one installed before. nullptr reinstalls the console fallback.
Ui* installUi(Ui* ui);

}  // namespace diag
