// The kinds of message box, with their captions and icons: shared by the
// boxes' callers and the user interfaces that show them.
#pragma once

#include <string_view>

namespace diag {

enum class MessageKind { Warning = 0, Error = 1, Fatal = 2 };

enum class MessageIcon { Information, Warning, Error, Question };

// Caption and icon of a box of the given kind.
std::string_view messageCaption(MessageKind kind);
MessageIcon messageIcon(MessageKind kind);

// The caption of the boxes that AskConfirm shows.
inline constexpr std::string_view kConfirmCaption = "Confirm";

}  // namespace diag
