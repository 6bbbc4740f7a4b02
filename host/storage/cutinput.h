// Text that came from a file or a client, cut for a message: a refusal that
// quoted a 50 MB name whole would bury the reason and fill the log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dbxhost {

inline constexpr std::size_t kQuotedInputLimit = 200;

struct CutInput {
  std::string_view kept;  // at most the limit, cut where a UTF-8 character begins
  std::size_t cutBytes = 0;
  // "... (N more bytes)" after a cut, else empty.
  std::string note() const;
};

CutInput cutInput(std::string_view text, std::size_t limit = kQuotedInputLimit);

// The kept text followed by the note.
std::string shortenedInput(std::string_view text);

// The kept text in double quotes, then the note: "abc..."... (N more bytes).
std::string quotedInput(std::string_view text);

}  // namespace dbxhost
