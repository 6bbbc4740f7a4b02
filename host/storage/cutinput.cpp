#include "storage/cutinput.h"

namespace dbxhost {

std::string CutInput::note() const {
  return cutBytes == 0 ? std::string() : "... (" + std::to_string(cutBytes) + " more bytes)";
}

CutInput cutInput(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return {text, 0};
  std::size_t kept = limit;
  const auto continuesCharacter = [&](std::size_t at) {
    return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  while (kept > 0 && continuesCharacter(kept)) --kept;
  return {text.substr(0, kept), text.size() - kept};
}

std::string shortenedInput(std::string_view text) {
  const CutInput cut = cutInput(text);
  return std::string(cut.kept) + cut.note();
}

std::string quotedInput(std::string_view text) {
  const CutInput cut = cutInput(text);
  return "\"" + std::string(cut.kept) + "\"" + cut.note();
}

}  // namespace dbxhost
