#include "placement/fieldparse.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "placement/units.h"

namespace placement {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view text) {
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Takes an optional sign off the text; true for a minus.
bool takeSign(std::string_view& text) {
  if (text.empty() || (text.front() != '+' && text.front() != '-')) return false;
  const bool negative = text.front() == '-';
  text.remove_prefix(1);
  return negative;
}

std::size_t digitRun(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && isDigit(text[end])) ++end;
  return end - from;
}

// Digits with an optional "." and fraction (at least one digit in all),
// then an optional exponent; nothing else.
bool isUnsignedDecimal(std::string_view text) {
  std::size_t at = digitRun(text, 0);
  std::size_t digits = at;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction = digitRun(text, at + 1);
    digits += fraction;
    at += 1 + fraction;
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t exponent = digitRun(text, at);
    if (exponent == 0) return false;
    at += exponent;
  }
  return at == text.size();
}

}  // namespace

std::optional<int32_t> ParseLength(std::string_view text) {
  text = trimmed(text);
  const bool negative = takeSign(text);
  if (!isUnsignedDecimal(text)) return std::nullopt;
  double value = 0;
  // from_chars ignores the locale, which a GUI toolkit may have changed.
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative && value != 0) return std::nullopt;
  const double units = value * kUnitsPerDisplayUnit + 0.5;
  if (!(units < static_cast<double>(std::numeric_limits<int32_t>::max()) + 1.0)) {
    return std::nullopt;
  }
  return static_cast<int32_t>(units);
}

std::optional<uint32_t> ParseCount(std::string_view text, uint32_t maximum) {
  text = trimmed(text);
  const bool negative = takeSign(text);
  int base = 10;
  if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '0') {
    base = 8;
    text.remove_prefix(1);
  }
  // from_chars would take a second sign or an empty digit run otherwise.
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative && value != 0) return std::nullopt;
  if (value > maximum) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string LengthFieldText(int64_t units) {
  if (units < 0) return {};
  if (units > std::numeric_limits<int32_t>::max()) return {};
  return FormatLength(static_cast<int32_t>(units));
}

std::string CountFieldText(int64_t count) {
  return count < 1 ? std::string() : std::to_string(count);
}

}  // namespace placement
