#include "storage/kicad/sexpr.h"

#include <algorithm>
#include <stdexcept>

#include "storage/cutinput.h"

namespace dbxhost::kicad {

std::string_view Sexpr::text() const {
  if (kind == Kind::List) return {};
  return {static_cast<const char*>(data_), size_};
}

SexprChildren Sexpr::children() const {
  if (kind != Kind::List) return {nullptr, 0};
  return {static_cast<const Sexpr*>(data_), size_};
}

const Sexpr& SexprChildren::at(std::size_t index) const {
  if (index >= count_) throw std::out_of_range("no child " + std::to_string(index) + " of a list");
  return first_[index];
}

std::string_view Sexpr::head() const {
  const SexprChildren all = children();
  if (all.empty() || all.front().kind != Kind::Atom) return {};
  return all.front().text();
}

std::vector<const Sexpr*> Sexpr::lists(std::string_view wanted) const {
  std::vector<const Sexpr*> found;
  for (const Sexpr& child : children()) {
    if (child.isList() && child.head() == wanted) found.push_back(&child);
  }
  return found;
}

const Sexpr* Sexpr::list(std::string_view wanted) const {
  for (const Sexpr& child : children()) {
    if (child.isList() && child.head() == wanted) return &child;
  }
  return nullptr;
}

SexprTree::~SexprTree() = default;

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool endsAtom(char c) { return isSpace(c) || c == '(' || c == ')' || c == '"'; }

// The reason with every quoted text in it (as quoteSexprString writes them)
// cut to a readable length.
std::string withQuotesCut(const std::string& reason) {
  std::string shortened;
  std::size_t pos = 0;
  while (pos < reason.size()) {
    const std::size_t open = reason.find('"', pos);
    if (open == std::string::npos) break;
    std::size_t close = open + 1;
    while (close < reason.size() && reason[close] != '"') close += reason[close] == '\\' ? 2 : 1;
    if (close >= reason.size()) break;
    shortened.append(reason, pos, open - pos);
    shortened += quotedInput(std::string_view(reason).substr(open + 1, close - open - 1));
    pos = close + 1;
  }
  return shortened.append(reason, std::min(pos, reason.size()));
}

// KiCad reads a teardrop setting with or without its "(": boards saved by
// KiCad 9 can hold "(curved_edges no)filter_ratio 0.9)", and KiCad opens
// them. Such a bare setting in (teardrops ...) is read as the list it stands
// for, up to its ")".
bool isTeardropSetting(std::string_view atom) {
  static constexpr std::string_view kValueSettings[] = {"best_length_ratio", "max_length",
                                                        "best_width_ratio",  "max_width",
                                                        "curve_points",      "filter_ratio"};
  return std::find(std::begin(kValueSettings), std::end(kValueSettings), atom) !=
         std::end(kValueSettings);
}

[[noreturn]] void refuse(const std::string& source, int line, const std::string& reason) {
  throw KicadFileError(source + ": line " + std::to_string(line) + ": " + withQuotesCut(reason));
}

static_assert(sizeof(void*) != 8 || sizeof(Sexpr) == 24, "a node per token must stay small");

// Offsets and lines are kept in 32 and 30 bits.
constexpr std::size_t kMaxText = std::size_t(1) << 30;

}  // namespace

// Reads a list into a tree. Each list's children are gathered until its ")"
// and then moved side by side into the tree's node blocks, so that only the
// children of the lists still open are held twice.
class SexprBuilder {
 public:
  SexprBuilder(std::string_view text, const std::string& source, SexprFilter build)
      : text_(text), source_(source), build_(build) {
    if (text.size() >= kMaxText) refuse(source_, 1, "the file is larger than 1 GiB");
  }

  SexprTree parseFile() {
    skipSpace();
    if (pos_ >= text_.size()) refuse(source_, line_, "the file is empty");
    if (text_[pos_] != '(') refuse(source_, line_, "the file does not start with \"(\"");
    SexprTree tree = parseList();
    skipSpace();
    if (pos_ < text_.size()) refuse(source_, line_, "text after the closing parenthesis");
    return tree;
  }

  SexprTree parseListAt(const Sexpr& list) {
    pos_ = list.begin;
    line_ = list.line;
    return parseList();
  }

 private:
  // A node read whose list is still open; as small as the node it becomes.
  struct Pending {
    Pending(uint32_t from, uint32_t to, uint32_t firstLine, Sexpr::Kind nodeKind, uint32_t count,
            const void* start)
        : begin(from), end(to), line(firstLine), kind(nodeKind), size(count), data(start) {}
    uint32_t begin, end;
    uint32_t line : 30;
    Sexpr::Kind kind : 2;
    uint32_t size;
    const void* data;
  };

  struct Open {
    uint32_t begin, line;
    std::size_t firstPending;  // its children read so far: pending_[firstPending..]
    uint32_t children = 0;     // counted also when they are not kept
    bool kept = true;          // a node in its parent
    bool built = true;         // its children are kept (else only its head)
    bool decided = false;      // whether it is built
    bool teardrops = false;
    std::string_view impliedHead;  // a teardrop setting without its "("
  };

  void skipSpace() {
    while (pos_ < text_.size() && isSpace(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  void push(uint32_t begin, uint32_t line, bool kept, bool built, std::string_view impliedHead) {
    if (static_cast<int>(open_.size()) >= kMaxDepth) {
      refuse(source_, line_, "lists nested deeper than " + std::to_string(kMaxDepth));
    }
    // The filter decides at the first child, for a list that is a child of
    // a built one and not a bare teardrop setting.
    const bool decided = !built || open_.empty() || !impliedHead.empty() || build_ == nullptr;
    open_.push_back({begin, line, pending_.size(), 0, kept, built, decided, false, impliedHead});
  }

  // Counts a child of the innermost open list and tells whether it is kept.
  bool admit(std::string_view head, bool atom) {
    Open& list = open_.back();
    const bool first = list.children++ == 0;
    if (first && atom) list.teardrops = head == "teardrops";
    if (first && !list.decided) {
      list.decided = true;
      list.built = build_(atom ? head : std::string_view(), static_cast<int>(open_.size()) - 1);
    }
    return list.built || (first && atom && list.kept);
  }

  // Iterative, so that deep nesting in a hostile file cannot exhaust the stack.
  SexprTree parseList() {
    open_.reserve(kMaxDepth);
    for (;;) {
      skipSpace();
      if (pos_ >= text_.size()) {
        refuse(source_, line_,
               "unexpected end of file: " + std::to_string(open_.size()) +
                   " parenthesis(es) left open");
      }
      const char c = text_[pos_];
      if (c == '(') {
        const bool kept = open_.empty() || admit({}, false);
        push(uint32_t(pos_++), uint32_t(line_), kept, kept, {});
      } else if (c == ')') {
        if (open_.empty()) refuse(source_, line_, "unbalanced \")\"");
        const Open done = open_.back();
        if (!done.impliedHead.empty() && done.children != 2) {
          refuse(source_, int(done.line), std::string(done.impliedHead) + " takes one value");
        }
        open_.pop_back();
        const Pending list = closeList(done, uint32_t(++pos_));
        if (open_.empty()) return finish(list);
        if (done.kept) pending_.push_back(list);
      } else if (open_.empty()) {
        refuse(source_, line_, "text outside the top-level list");
      } else if (c == '"') {
        const uint32_t line = uint32_t(line_);
        const std::size_t begin = pos_;
        const bool escaped = skipString();
        if (admit({}, false)) pending_.push_back(stringNode(begin, line, escaped));
      } else {
        const std::size_t begin = pos_;
        while (pos_ < text_.size() && !endsAtom(text_[pos_])) ++pos_;
        const std::string_view atom = text_.substr(begin, pos_ - begin);
        const Pending node{uint32_t(begin),   uint32_t(pos_),        uint32_t(line_),
                           Sexpr::Kind::Atom, uint32_t(atom.size()), atom.data()};
        const bool implied = open_.back().teardrops && isTeardropSetting(atom);
        const bool kept = admit(atom, true);
        if (implied) {
          push(node.begin, node.line, kept, kept, atom);
          open_.back().children = 1;
        }
        if (kept) pending_.push_back(node);
      }
    }
  }

  // Past the string at pos_; whether it holds escapes.
  bool skipString() {
    const int line = line_;
    bool escaped = false;
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) refuse(source_, line, "string not terminated");
      const char c = text_[pos_++];
      if (c == '"') return escaped;
      if (c == '\n') ++line_;
      if (c != '\\') continue;
      escaped = true;
      if (pos_ >= text_.size()) refuse(source_, line, "string not terminated");
      if (text_[pos_++] == '\n') ++line_;
    }
  }

  Pending stringNode(std::size_t begin, uint32_t line, bool escaped) {
    const std::string_view quoted = text_.substr(begin + 1, pos_ - begin - 2);
    Pending node{uint32_t(begin),     uint32_t(pos_),          line,
                 Sexpr::Kind::String, uint32_t(quoted.size()), quoted.data()};
    if (escaped) {
      const std::string_view text = unescaped(quoted);
      node.size = uint32_t(text.size());
      node.data = text.data();
    }
    return node;
  }

  std::string_view unescaped(std::string_view quoted) {
    char* const into = textSpace(quoted.size());
    std::size_t size = 0;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
      if (quoted[i] != '\\') {
        into[size++] = quoted[i];
        continue;
      }
      const char escaped = quoted[++i];
      switch (escaped) {
        case 'n':
          into[size++] = '\n';
          break;
        case 'r':
          into[size++] = '\r';
          break;
        case 't':
          into[size++] = '\t';
          break;
        case '"':
        case '\\':
          into[size++] = escaped;
          break;
        default:  // kept as written, as KiCad does
          into[size++] = '\\';
          into[size++] = escaped;
      }
    }
    return {into, size};
  }

  Pending closeList(const Open& done, uint32_t end) {
    const std::size_t count = pending_.size() - done.firstPending;
    Sexpr* const block = count == 0 ? nullptr : nodeSpace(count);
    for (std::size_t i = 0; i < count; ++i) {
      const Pending& child = pending_[done.firstPending + i];
      Sexpr& node = block[i];
      node.begin = child.begin;
      node.end = child.end;
      node.line = child.line;
      node.kind = child.kind;
      node.size_ = child.size;
      node.data_ = child.data;
    }
    pending_.erase(pending_.begin() + std::ptrdiff_t(done.firstPending), pending_.end());
    return {done.begin, end, done.line, Sexpr::Kind::List, uint32_t(count), block};
  }

  SexprTree finish(const Pending& root) {
    tree_.begin = root.begin;
    tree_.end = root.end;
    tree_.line = root.line;
    tree_.kind = Sexpr::Kind::List;
    tree_.size_ = root.size;
    tree_.data_ = root.data;
    return std::move(tree_);
  }

  // Blocks grow from a few hundred nodes, so that a small file costs little.
  Sexpr* nodeSpace(std::size_t count) {
    constexpr std::size_t kLargestBlock = std::size_t(1) << 16;
    if (count > nodesLeft_) {
      if (count > kLargestBlock / 4) {
        tree_.nodes_.emplace_back(new Sexpr[count]);
        return tree_.nodes_.back().get();
      }
      nodeBlock_ = std::max(count, std::min(kLargestBlock, nodeBlock_ * 2));
      tree_.nodes_.emplace_back(new Sexpr[nodeBlock_]);
      nextNode_ = tree_.nodes_.back().get();
      nodesLeft_ = nodeBlock_;
    }
    Sexpr* const space = nextNode_;
    nextNode_ += count;
    nodesLeft_ -= count;
    return space;
  }

  char* textSpace(std::size_t size) {
    constexpr std::size_t kTextBlock = std::size_t(1) << 16;
    if (size > kTextBlock / 4) {
      tree_.unescaped_.push_back(std::make_unique_for_overwrite<char[]>(size));
      return tree_.unescaped_.back().get();
    }
    if (textBlock_ == nullptr || textUsed_ + size > kTextBlock) {
      tree_.unescaped_.push_back(std::make_unique_for_overwrite<char[]>(kTextBlock));
      textBlock_ = tree_.unescaped_.back().get();
      textUsed_ = 0;
    }
    char* const space = textBlock_ + textUsed_;
    textUsed_ += size;
    return space;
  }

  std::string_view text_;
  const std::string& source_;
  const SexprFilter build_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::vector<Open> open_;
  std::vector<Pending> pending_;
  SexprTree tree_;
  std::size_t nodeBlock_ = 128;
  Sexpr* nextNode_ = nullptr;
  std::size_t nodesLeft_ = 0;
  char* textBlock_ = nullptr;
  std::size_t textUsed_ = 0;
};

SexprTree parseSexpr(std::string_view text, const std::string& sourceName, SexprFilter build) {
  return SexprBuilder(text, sourceName, build).parseFile();
}

SexprTree parseSexprList(std::string_view text, const Sexpr& list, const std::string& sourceName) {
  return SexprBuilder(text, sourceName, nullptr).parseListAt(list);
}

void SexprReader::fail(const Sexpr& node, const std::string& reason) const {
  refuse(source_, node.line, reason);
}

const Sexpr& SexprReader::required(const Sexpr& parent, std::string_view wanted) const {
  const Sexpr* found = parent.list(wanted);
  if (!found) {
    fail(parent, "(" + shortenedInput(parent.head()) + ") has no (" + std::string(wanted) + ")");
  }
  return *found;
}

std::string_view SexprReader::value(const Sexpr& node, std::size_t index) const {
  const SexprChildren children = node.children();
  if (index >= children.size()) {
    fail(node, "(" + shortenedInput(node.head()) + ") has too few values");
  }
  const Sexpr& child = children[index];
  if (child.isList()) {
    fail(child, "(" + shortenedInput(node.head()) + ") holds a list where a value belongs");
  }
  return child.text();
}

std::string SexprReader::text(const Sexpr& node, std::size_t index) const {
  return std::string(value(node, index));
}

int64_t SexprReader::scaledDecimal(const Sexpr& node, std::size_t index, int decimals) const {
  const std::string_view value = this->value(node, index);
  const auto bad = [&](const char* why) -> int64_t {
    fail(node.children()[index],
         "(" + shortenedInput(node.head()) + "): \"" + std::string(value) + "\" " + why);
  };
  std::size_t pos = 0;
  const bool negative = !value.empty() && value[0] == '-';
  if (!value.empty() && (value[0] == '-' || value[0] == '+')) ++pos;
  std::string digits;
  int fraction = 0;
  bool point = false;
  for (; pos < value.size() && value[pos] != 'e' && value[pos] != 'E'; ++pos) {
    const char c = value[pos];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      fraction += point;
    } else {
      return bad("is not a number");
    }
  }
  if (digits.empty()) return bad("is not a number");
  long exponent = 0;
  if (pos < value.size()) {
    const std::string tail(value.substr(pos + 1));
    if (tail.empty() || tail.size() > 4 ||
        tail.find_first_not_of("+-0123456789", 0) != std::string::npos) {
      return bad("is not a number");
    }
    try {
      exponent = std::stol(tail);
    } catch (const std::exception&) {
      return bad("is not a number");
    }
  }
  const long shift = exponent - fraction + decimals;
  std::size_t keep = digits.size();
  bool roundUp = false;
  if (shift < 0) {
    const std::size_t cut = static_cast<std::size_t>(-shift);
    keep = cut >= digits.size() ? 0 : digits.size() - cut;
    roundUp = cut <= digits.size() && digits[keep] >= '5';
  }
  constexpr int64_t kLimit = int64_t{1} << 53;  // far beyond any board
  int64_t result = 0;
  for (std::size_t i = 0; i < keep; ++i) {
    result = result * 10 + (digits[i] - '0');
    if (result > kLimit) return bad("is out of range");
  }
  for (long i = 0; i < shift; ++i) {
    result *= 10;
    if (result > kLimit) return bad("is out of range");
  }
  result += roundUp;
  return negative ? -result : result;
}

int64_t SexprReader::nanometres(const Sexpr& node, std::size_t index) const {
  return scaledDecimal(node, index, 6);
}

int64_t SexprReader::milliDegrees(const Sexpr& node, std::size_t index) const {
  return scaledDecimal(node, index, 3);
}

int64_t SexprReader::integer(const Sexpr& node, std::size_t index) const {
  const std::string_view value = this->value(node, index);
  if (value.find_first_of(".eE") != std::string_view::npos) {
    fail(node.children()[index], "(" + shortenedInput(node.head()) + "): \"" + std::string(value) +
                                     "\" is not a whole number");
  }
  return scaledDecimal(node, index, 0);
}

std::optional<int64_t> SexprReader::optionalMilliDegrees(const Sexpr& node,
                                                         std::size_t index) const {
  if (index >= node.children().size()) return std::nullopt;
  return milliDegrees(node, index);
}

std::string quoteSexprString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace dbxhost::kicad
