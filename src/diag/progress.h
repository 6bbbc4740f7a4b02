// Progress of the long actions (reading, verifying and placing a big design)
// with a way for the user to cancel them. The toolkit-free code reports a
// step between two host calls; the GUI installs an implementation that shows
// a progress dialog with Cancel, tests install a scripted one.
#pragma once

#include <string>

namespace diag {

class Progress {
 public:
  virtual ~Progress() = default;

  // A long action starts. Actions nest; only the outermost one is shown.
  virtual void begin(const std::string& caption) = 0;
  // One more step of the running action is done (or one host call is about
  // to be made outside any); false once the user asked to cancel.
  virtual bool step() = 0;
  // The action begun last has ended.
  virtual void end() = 0;
};

// The installed interface, or a silent one that never cancels.
Progress& progress();

// Installs progress (not owned; it must outlive its installation) and
// returns the one installed before. nullptr reinstalls the silent one.
Progress* installProgress(Progress* progress);

// Reports a step; throws ActionCancelled when the user asked to cancel.
void progressStep();

}  // namespace diag
