// A strict reader for the s-expression files of KiCad (boards, schematics).
// Every node remembers where it stands in the text, so that a writer can
// replace single values and keep every other byte as it was read.
//
// Boards run to tens of megabytes and millions of tokens, so a node is small
// (24 bytes) and refers to the text rather than copying it: atoms and strings
// without escapes are views into the text, which must outlive the tree; only
// strings with escapes keep their unescaped text in the tree. A reader can
// leave the lists it never looks into unbuilt (SexprFilter): their text is
// checked all the same, but they cost one node.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
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

class Sexpr;

// The children of a list, side by side in memory.
class SexprChildren {
 public:
  SexprChildren(const Sexpr* first, std::size_t count) : first_(first), count_(count) {}
  const Sexpr* begin() const { return first_; }
  const Sexpr* end() const;
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const Sexpr& operator[](std::size_t index) const;
  // Throws std::out_of_range beyond the last child.
  const Sexpr& at(std::size_t index) const;
  const Sexpr& front() const { return (*this)[0]; }
  const Sexpr& back() const { return (*this)[count_ - 1]; }

 private:
  const Sexpr* first_;
  std::size_t count_;
};

class Sexpr {
 public:
  enum class Kind : uint8_t { List, Atom, String };
  uint32_t begin = 0;      // byte offsets of the node in the source
  uint32_t end = 0;        // (for lists: "(" .. ")" inclusive)
  uint32_t line : 30 = 1;  // line of the node's first byte
  Kind kind : 2 = Kind::List;

  bool isList() const { return kind == Kind::List; }
  // Atoms: as written; strings: unescaped; lists: empty.
  std::string_view text() const;
  // Lists only; a list that the parse left unbuilt has its head alone.
  SexprChildren children() const;
  // The first child's text when it is an atom ("footprint" for
  // (footprint ...)); empty otherwise.
  std::string_view head() const;
  // Child lists with this head, in order.
  std::vector<const Sexpr*> lists(std::string_view head) const;
  // The first child list with this head, or null.
  const Sexpr* list(std::string_view head) const;

 protected:
  // Nodes belong to their tree; a copy would outlive it.
  Sexpr() = default;
  Sexpr(const Sexpr&) = default;
  Sexpr& operator=(const Sexpr&) = default;

 private:
  friend class SexprBuilder;
  uint32_t size_ = 0;           // lists: the number of children; else the text's length
  const void* data_ = nullptr;  // lists: the first child; else the text
};

inline const Sexpr* SexprChildren::end() const { return first_ + count_; }
inline const Sexpr& SexprChildren::operator[](std::size_t index) const { return first_[index]; }

// A parsed file: its top-level list, which owns every node under it.
class SexprTree : public Sexpr {
 public:
  SexprTree(SexprTree&&) noexcept = default;
  SexprTree& operator=(SexprTree&&) noexcept = default;
  ~SexprTree();

 private:
  friend class SexprBuilder;
  SexprTree() = default;
  std::vector<std::unique_ptr<Sexpr[]>> nodes_;
  std::vector<std::unique_ptr<char[]>> unescaped_;
};

// Whether a parse builds the list with this head (empty when its first child
// is not an atom) at this depth (1: a child of the top-level list). A list
// that is not built keeps its place in the text and its head atom.
using SexprFilter = bool (*)(std::string_view head, int depth);

// Parses one top-level list. Refuses unbalanced parentheses, unterminated
// strings, text after the list and nesting deeper than kMaxDepth. The nodes
// refer to text, which must outlive the tree.
SexprTree parseSexpr(std::string_view text, const std::string& sourceName,
                     SexprFilter build = nullptr);
// A temporary text would be gone before its tree.
template <class Text>
requires std::same_as<Text, std::string> SexprTree parseSexpr(Text&& text,
                                                              const std::string& sourceName,
                                                              SexprFilter build = nullptr)
= delete;

// A list of a tree parsed from text (one that starts with "("), parsed again
// with all its contents, at the same offsets and lines.
SexprTree parseSexprList(std::string_view text, const Sexpr& list, const std::string& sourceName);

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
  std::string text(const Sexpr& node, std::size_t index) const;
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
  std::string_view value(const Sexpr& node, std::size_t index) const;
  int64_t scaledDecimal(const Sexpr& node, std::size_t index, int decimals) const;
  std::string source_;
};

// The text of a string node as KiCad writes it, quotes and escapes included.
std::string quoteSexprString(std::string_view text);

}  // namespace dbxhost::kicad
