#include "storage/kicad/sexpr.h"

#include <algorithm>
#include <limits>

#include "storage/cutinput.h"

namespace dbxhost::kicad {

std::string_view Sexpr::head() const {
  if (kind != Kind::List || children.empty() || children.front().kind != Kind::Atom) return {};
  return children.front().text;
}

std::vector<const Sexpr*> Sexpr::lists(std::string_view wanted) const {
  std::vector<const Sexpr*> found;
  for (const Sexpr& child : children) {
    if (child.isList() && child.head() == wanted) found.push_back(&child);
  }
  return found;
}

const Sexpr* Sexpr::list(std::string_view wanted) const {
  for (const Sexpr& child : children) {
    if (child.isList() && child.head() == wanted) return &child;
  }
  return nullptr;
}

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
// them. Such a bare setting is read as the list it stands for, up to its ")".
bool opensImpliedList(const Sexpr& list, std::string_view atom) {
  static constexpr std::string_view kValueSettings[] = {"best_length_ratio", "max_length",
                                                        "best_width_ratio",  "max_width",
                                                        "curve_points",      "filter_ratio"};
  return list.head() == "teardrops" &&
         std::find(std::begin(kValueSettings), std::end(kValueSettings), atom) !=
             std::end(kValueSettings);
}

[[noreturn]] void refuse(const std::string& source, int line, const std::string& reason) {
  throw KicadFileError(source + ": line " + std::to_string(line) + ": " + withQuotesCut(reason));
}

class Parser {
 public:
  Parser(std::string_view text, const std::string& source) : text_(text), source_(source) {}

  Sexpr parse() {
    skipSpace();
    if (pos_ >= text_.size()) refuse(source_, line_, "the file is empty");
    if (text_[pos_] != '(') refuse(source_, line_, "the file does not start with \"(\"");
    Sexpr root = parseList();
    skipSpace();
    if (pos_ < text_.size()) refuse(source_, line_, "text after the closing parenthesis");
    return root;
  }

 private:
  void skipSpace() {
    while (pos_ < text_.size() && isSpace(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  // Iterative, so that deep nesting in a hostile file cannot exhaust the stack.
  Sexpr parseList() {
    std::vector<Sexpr> open;
    std::vector<bool> implied;  // parallel to open: a teardrop setting without its "("
    auto push = [&](Sexpr list, bool isImplied) {
      if (static_cast<int>(open.size()) >= kMaxDepth) {
        refuse(source_, line_, "lists nested deeper than " + std::to_string(kMaxDepth));
      }
      open.push_back(std::move(list));
      implied.push_back(isImplied);
    };
    for (;;) {
      skipSpace();
      if (pos_ >= text_.size()) {
        refuse(source_, line_,
               "unexpected end of file: " + std::to_string(open.size()) +
                   " parenthesis(es) left open");
      }
      const char c = text_[pos_];
      if (c == '(') {
        Sexpr list;
        list.begin = pos_++;
        list.line = line_;
        push(std::move(list), false);
      } else if (c == ')') {
        if (open.empty()) refuse(source_, line_, "unbalanced \")\"");
        Sexpr done = std::move(open.back());
        if (implied.back() && done.children.size() != 2) {
          refuse(source_, done.line, std::string(done.head()) + " takes one value");
        }
        open.pop_back();
        implied.pop_back();
        done.end = ++pos_;
        if (open.empty()) return done;
        open.back().children.push_back(std::move(done));
      } else if (open.empty()) {
        refuse(source_, line_, "text outside the top-level list");
      } else if (c == '"') {
        open.back().children.push_back(parseString());
      } else {
        Sexpr atom;
        atom.kind = Sexpr::Kind::Atom;
        atom.begin = pos_;
        atom.line = line_;
        while (pos_ < text_.size() && !endsAtom(text_[pos_])) ++pos_;
        atom.end = pos_;
        atom.text.assign(text_.substr(atom.begin, atom.end - atom.begin));
        if (opensImpliedList(open.back(), atom.text)) {
          Sexpr list;
          list.begin = atom.begin;
          list.line = atom.line;
          list.children.push_back(std::move(atom));
          push(std::move(list), true);
          continue;
        }
        open.back().children.push_back(std::move(atom));
      }
    }
  }

  Sexpr parseString() {
    Sexpr node;
    node.kind = Sexpr::Kind::String;
    node.begin = pos_++;
    node.line = line_;
    for (;;) {
      if (pos_ >= text_.size()) refuse(source_, node.line, "string not terminated");
      const char c = text_[pos_++];
      if (c == '"') break;
      if (c == '\n') ++line_;
      if (c != '\\') {
        node.text += c;
        continue;
      }
      if (pos_ >= text_.size()) refuse(source_, node.line, "string not terminated");
      const char escaped = text_[pos_++];
      switch (escaped) {
        case 'n':
          node.text += '\n';
          break;
        case 'r':
          node.text += '\r';
          break;
        case 't':
          node.text += '\t';
          break;
        case '"':
        case '\\':
          node.text += escaped;
          break;
        default:  // kept as written, as KiCad does
          node.text += '\\';
          node.text += escaped;
          if (escaped == '\n') ++line_;
      }
    }
    node.end = pos_;
    return node;
  }

  std::string_view text_;
  const std::string& source_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

Sexpr parseSexpr(std::string_view text, const std::string& sourceName) {
  return Parser(text, sourceName).parse();
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

const std::string& SexprReader::text(const Sexpr& node, std::size_t index) const {
  if (index >= node.children.size()) {
    fail(node, "(" + shortenedInput(node.head()) + ") has too few values");
  }
  const Sexpr& child = node.children[index];
  if (child.isList()) {
    fail(child, "(" + shortenedInput(node.head()) + ") holds a list where a value belongs");
  }
  return child.text;
}

int64_t SexprReader::scaledDecimal(const Sexpr& node, std::size_t index, int decimals) const {
  const std::string& value = text(node, index);
  const auto bad = [&](const char* why) -> int64_t {
    fail(node.children[index], "(" + shortenedInput(node.head()) + "): \"" + value + "\" " + why);
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
    const std::string tail = value.substr(pos + 1);
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
  const std::string& value = text(node, index);
  if (value.find_first_of(".eE") != std::string::npos) {
    fail(node.children[index],
         "(" + shortenedInput(node.head()) + "): \"" + value + "\" is not a whole number");
  }
  return scaledDecimal(node, index, 0);
}

std::optional<int64_t> SexprReader::optionalMilliDegrees(const Sexpr& node,
                                                         std::size_t index) const {
  if (index >= node.children.size()) return std::nullopt;
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
