// A dumper that collects the text in memory, for tests.
#pragma once

#include <string>

#include "diag/dumper.h"

namespace testing_diag {

class StringDumper : public DBX::Dumper {
 public:
  void write(const char* text) override { this->text += text != nullptr ? text : ""; }
  std::string text;
};

}  // namespace testing_diag
