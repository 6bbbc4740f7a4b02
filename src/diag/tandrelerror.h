// The one base of the exceptions this program raises itself. Errors that come
// from elsewhere (the standard library, the host) are wrapped into a subclass
// where they cross into the program.
#pragma once

#include <stdexcept>
#include <string>

class TandrelError : public std::runtime_error {
 public:
  explicit TandrelError(const std::string& message, int helpContext = 0)
      : std::runtime_error(message), helpContext_(helpContext) {}

  // Topic of the help page that explains the error; 0 when there is none.
  int helpContext() const noexcept { return helpContext_; }

 private:
  int helpContext_;
};
