// Shows an exception that escaped a user action in an Error box, so that the
// program carries on in the state the action reached.
#pragma once

#include <exception>
#include <string>

namespace diag {

// The text shown for the exception: its message, or a fixed text for an
// exception that carries none.
std::string exceptionText(std::exception_ptr error);

// Shows exceptionText(error) in an Error box; a cancelled action shows
// nothing.
void reportException(std::exception_ptr error);

// Runs the action; an exception leaving it is shown in an Error box instead
// of ending the program. Returns whether the action finished normally.
template <class Action>
bool runReported(Action&& action) {
  try {
    action();
    return true;
  } catch (...) {
    reportException(std::current_exception());
    return false;
  }
}

}  // namespace diag
