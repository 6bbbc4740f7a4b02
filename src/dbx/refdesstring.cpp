#include "dbx/refdesstring.h"

namespace {

constexpr uint32_t kDigitRunFlag = 0x40000000;
constexpr uint32_t kCharacterFlag = 0xC0000000;
constexpr uint32_t kLetterPartBase = 0x20000001;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the leading digit run; unsigned arithmetic wraps on absurdly long runs
// instead of overflowing.
uint32_t digitRunValue(std::string_view text, std::size_t& pos) {
  uint32_t value = 0;
  while (pos < text.size() && isDigit(text[pos])) {
    value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
    ++pos;
  }
  return value;
}

// Reads the ordering tokens of one text; 0 marks its end.
class TokenReader {
 public:
  explicit TokenReader(std::string_view text) : text_(text) {}

  uint32_t next() {
    if (pos_ >= text_.size()) return 0;
    const char c = text_[pos_];
    if (isDigit(c)) return digitRunValue(text_, pos_) | kDigitRunFlag;
    if (c == ':') {
      const std::string_view suffix = text_.substr(pos_ + 1);
      pos_ = text_.size();  // whatever follows the part suffix is ignored
      return RefDesString::partNumber(true, suffix, true);
    }
    ++pos_;
    return static_cast<uint32_t>(static_cast<unsigned char>(c)) | kCharacterFlag;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

uint32_t RefDesString::partNumber(bool hasSuffix, std::string_view suffix, bool forOrdering) {
  if (!hasSuffix || suffix.empty()) return forOrdering ? 0 : 1;
  if (isDigit(suffix.front())) {
    std::size_t pos = 0;
    return digitRunValue(suffix, pos);
  }
  // Letters count like spreadsheet columns: A=1 .. Z=26, AA=27.
  uint32_t letters = 0;
  for (const char c : suffix) {
    if (c < 'A' || c > 'Z') break;
    letters = letters * 26 + static_cast<uint32_t>(c - 'A' + 1);
  }
  if (letters == 0) letters = 1;  // no capital letter at all: the first part
  return letters + (forOrdering ? kLetterPartBase - 1 : 0);
}

std::weak_ordering operator<=>(const RefDesString& a, const RefDesString& b) {
  TokenReader readerA(a.text_);
  TokenReader readerB(b.text_);
  for (;;) {
    const uint32_t tokenA = readerA.next();
    const uint32_t tokenB = readerB.next();
    if (tokenA != tokenB)
      return tokenA < tokenB ? std::weak_ordering::less : std::weak_ordering::greater;
    if (tokenA == 0) return std::weak_ordering::equivalent;
  }
}

RefDesString::Parts::Parts(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    designator = text;
    return;
  }
  designator = text.substr(0, colon);
  part = static_cast<int32_t>(partNumber(true, text.substr(colon + 1), false));
}
