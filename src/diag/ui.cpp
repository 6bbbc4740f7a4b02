#include "diag/ui.h"

#include <iostream>

namespace diag {

namespace {

// Without a window nobody can answer a question, so the fallback declines
// every one: a question always guards a destructive step.
class ConsoleUi : public Ui {
 public:
  void showMessage(MessageKind kind, const std::string& text) override {
    std::cerr << messageCaption(kind) << ": " << text << std::endl;
  }
  bool confirm(const std::string& question) override {
    std::cerr << kConfirmCaption << ": " << question << " (answered Cancel)" << std::endl;
    return false;
  }
  void pushWaitCursor() override {}
  void popWaitCursor() override {}
  bool shiftPressed() override { return false; }
};

ConsoleUi consoleUi;
Ui* installed = &consoleUi;

}  // namespace

Ui& ui() { return *installed; }

Ui* installUi(Ui* ui) {
  Ui* previous = installed == &consoleUi ? nullptr : installed;
  installed = ui != nullptr ? ui : &consoleUi;
  return previous;
}

}  // namespace diag
