#include "diag/progress.h"

#include "diag/actioncancelled.h"

namespace diag {

namespace {

class SilentProgress : public Progress {
 public:
  void begin(const std::string&) override {}
  bool step() override { return true; }
  void end() override {}
};

SilentProgress silentProgress;
Progress* installed = &silentProgress;

}  // namespace

Progress& progress() { return *installed; }

Progress* installProgress(Progress* progress) {
  Progress* previous = installed == &silentProgress ? nullptr : installed;
  installed = progress != nullptr ? progress : &silentProgress;
  return previous;
}

void progressStep() {
  if (!installed->step()) throw ActionCancelled();
}

}  // namespace diag
