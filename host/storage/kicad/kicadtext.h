// What the host's records hold of a KiCad text: their sizes, and descriptive
// texts (values, library names, pin names) cut to fit.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "dbx/dbx32.h"

namespace dbxhost::kicad {

inline constexpr std::size_t kMaxRefDes = DBX_18::kRefDesLen - 1;
inline constexpr std::size_t kMaxName = DBX_18::kNameLen - 1;
inline constexpr std::size_t kMaxLongName = DBX_18::kLongNameLen - 1;

// The text up to a zero byte (the records end there), cut to at most
// maxBytes without splitting a UTF-8 sequence; the host could not show more.
inline std::string fittedText(std::string text, std::size_t maxBytes) {
  text.resize(std::min(text.find('\0'), text.size()));
  if (text.size() <= maxBytes) return text;
  std::size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

}  // namespace dbxhost::kicad
