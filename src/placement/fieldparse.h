// Reading and writing the page's edit fields: lengths typed in display units
// ("2.54" is 254000 database units) and counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace placement {

// One decimal number (optional sign, digits with an optional "." and
// fraction, optional exponent) filling the text once surrounding white space
// is removed, not negative, and small enough for a host coordinate. Gives the
// length in database units rounded half up, or nothing for any other text.
std::optional<int32_t> ParseLength(std::string_view text);

// One integer (optional sign; a leading 0x reads hexadecimal, a leading 0
// octal, otherwise decimal) filling the text once surrounding white space is
// removed, not negative and at most maximum; nothing for any other text.
std::optional<uint32_t> ParseCount(std::string_view text, uint32_t maximum);

// What a length or count written into a field reads: empty for a negative
// length or one beyond the host's range, and for a count below 1.
std::string LengthFieldText(int64_t units);
std::string CountFieldText(int64_t count);

}  // namespace placement
