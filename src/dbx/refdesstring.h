// Reference designators (R10, U1:A) with their own ordering: digit runs count
// by value (R2 < R10, R10 equals R010) and a part suffix after a colon counts
// as one part number (U1 < U1:2 < U1:A < U1:B < U1A).
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

class RefDesString {
 public:
  // A designator split at its first colon into the designator proper and the
  // part number (-1 without a colon): U1:B -> (U1, 2), R5 -> (R5, -1).
  struct Parts {
    explicit Parts(std::string_view text);
    std::string designator;
    int32_t part = -1;
  };

  RefDesString() = default;
  RefDesString(std::string text) : text_(std::move(text)) {}
  RefDesString(const char* text) : text_(text != nullptr ? text : "") {}

  const std::string& str() const { return text_; }
  const char* c_str() const { return text_.c_str(); }

  // Part number of the suffix after a colon (hasSuffix false: no colon at
  // all). A leading digit run counts by value; otherwise capital letters
  // count A=1 .. Z=26, AA=27 and anything else 1. With forOrdering, letter
  // parts are raised above every digit part and a missing or empty suffix
  // counts 0, like the end of the text; without it, 1.
  static uint32_t partNumber(bool hasSuffix, std::string_view suffix, bool forOrdering);

  // Equal texts under this ordering may differ byte-wise (R10, R010).
  friend std::weak_ordering operator<=>(const RefDesString& a, const RefDesString& b);
  friend bool operator==(const RefDesString& a, const RefDesString& b) { return (a <=> b) == 0; }

 private:
  std::string text_;
};
