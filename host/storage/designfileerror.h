// The error of every host file format: reading, checking and writing.
#pragma once

#include <stdexcept>

namespace dbxhost {

// A design file that cannot be read or written. what() names the file and,
// for content errors, the location in it: "<file>: <location>: <reason>", or
// "<file>: line L, column C: <reason>" for malformed text.
class DesignFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace dbxhost
