// A small indenting text sink for diagnostic dumps, and the name tables of the
// host codes it prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "dbx/dbx32.h"

namespace DBX {

// A table of (name, value) rows ended by a row whose name is null.
using EnumNameTable = const EnumNameRow*;

extern const EnumNameRow kHighlightColorNames[];
extern const EnumNameRow kConnectionTypeNames[];

// "NAME (value)" with the first row of that value, "??? (value)" otherwise.
std::string EnumName(int32_t value, EnumNameTable table);

class Dumper {
 public:
  virtual ~Dumper() = default;

  // Appends the text unchanged; null is the empty text.
  virtual void write(const char* text) = 0;

  // Formats printf-style; a call that starts a line is indented by one blank
  // per level first.
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // The record as a "TComponent { ... }" block of named fields.
  void dumpComponent(const TComponent& record);

  int32_t indent = 0;
  bool atLineStart = true;  // the last text written ended a line
};

// Appends to a file opened (and later closed) by its creator.
class FileDumper : public Dumper {
 public:
  explicit FileDumper(std::FILE* file) : file_(file) {}
  void write(const char* text) override;

 private:
  std::FILE* file_;
};

}  // namespace DBX
