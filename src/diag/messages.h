// Modal message boxes and yes/no questions. Every box goes through the
// installed user interface (ui.h), so the boxes work before the main window
// exists and tests can answer them.
#pragma once

#include "diag/messagekind.h"

namespace diag {

// Formats the message printf-style and shows it in a modal box with an OK
// button. A box of kind Fatal ends the process with exit status 1 once the
// user has closed it.
void ReportMessage(MessageKind kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formats the question printf-style and asks it in a "Confirm" box with OK
// and Cancel; true exactly when the user pressed OK.
bool AskConfirm(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace diag
