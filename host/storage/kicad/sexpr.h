// A strict reader for the s-expression files of KiCad (boards, schematics).
// Every node remembers where it stands in the text, so that a writer can
// replace single values and keep every other byte as it was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/designfileerror.h"

namespace dbxhost::kicad {

// A file that is not a well-formed s-expression, or that does not hold what a
// reader needs. what(): "<file>: line L: <reason>".
class KicadFileError : public DesignFileError {
 public:
  using DesignFileError::DesignFileError;
};

struct Sexpr {
  enum class Kind { List, Atom, String };
  Kind kind = Kind::List;
  std::string text;             // atoms: as written; strings: unescaped
  std::vector<Sexpr> children;  // lists only
  std::size_t begin = 0;        // byte offsets of the node in the source
  std::size_t end = 0;          // (for lists: "(" .. ")" inclusive)
  int line = 1;                 // line of the node's first byte

  bool isList() const { return kind == Kind::List; }
  // The first child's text when it is an atom ("footprint" for
  // (footprint ...)); empty otherwise.
  std::string_view head() const;
  // Child lists with this head, in order.
  std::vector<const Sexpr*> lists(std::string_view head) const;
  // The first child list with this head, or null.
  const Sexpr* list(std::string_view head) const;
};

// Parses one top-level list. Refuses unbalanced parentheses, unterminated
// strings, text after the list and nesting deeper than kMaxDepth.
Sexpr parseSexpr(std::string_view text, const std::string& sourceName);

inline constexpr int kMaxDepth = 256;

// Checked access with messages that name the file and the node's line.
class SexprReader {
 public:
  explicit SexprReader(std::string sourceName) : source_(std::move(sourceName)) {}

  [[noreturn]] void fail(const Sexpr& node, const std::string& reason) const;

  // The list child with this head; fails when it is missing.
  const Sexpr& required(const Sexpr& parent, std::string_view head) const;
  // Child `index` (0 is the head) as text (atom or string); fails when absent
  // or a list.
  const std::string& text(const Sexpr& node, std::size_t index) const;
  // Child `index` as a decimal number of millimetres, in nanometres, exactly
  // (rounded half away from zero beyond the sixth decimal). Fails on
  // anything that is not a plain decimal or is out of range.
  int64_t nanometres(const Sexpr& node, std::size_t index) const;
  // Child `index` as a decimal angle in degrees, in thousandths of a degree.
  int64_t milliDegrees(const Sexpr& node, std::size_t index) const;
  // Child `index` as an integer.
  int64_t integer(const Sexpr& node, std::size_t index) const;
  // Like the above, but nullopt when the child does not exist.
  std::optional<int64_t> optionalMilliDegrees(const Sexpr& node, std::size_t index) const;

  const std::string& sourceName() const { return source_; }

 private:
  int64_t scaledDecimal(const Sexpr& node, std::size_t index, int decimals) const;
  std::string source_;
};

// The text of a string node as KiCad writes it, quotes and escapes included.
std::string quoteSexprString(std::string_view text);

}  // namespace dbxhost::kicad
