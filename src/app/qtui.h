// The message boxes, the hourglass cursor and the Shift state on Qt: boxes
// are application-modal QMessageBoxes over the active window.
#pragma once

#include <QMessageBox>

#include "diag/ui.h"

class QtUi : public diag::Ui {
 public:
  static QMessageBox::Icon iconOf(diag::MessageIcon icon);

  void showMessage(diag::MessageKind kind, const std::string& text) override;
  bool confirm(const std::string& question) override;
  void pushWaitCursor() override;
  void popWaitCursor() override;
  // Read from the keyboard now, not from the last input event.
  bool shiftPressed() override;

 private:
  // Runs the box with the normal cursor, even while an action that asks
  // shows the hourglass.
  static int runBox(QMessageBox& box);
};
