// Where the host's DBX sockets live: one socket per tool, <dir>/pcb.sock and
// <dir>/sch.sock, in a directory that only the user may enter.
//
// The directory is $TANDREL_DBX_DIR when set (tests run their own host beside
// the user's this way), else $XDG_RUNTIME_DIR/tandrel-dbx, else
// <home>/.tandrel-dbx, and /tmp/tandrel-dbx-<uid> only for a user without a
// home.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace DBX {

// The socket directory from the environment, by the rule above.
std::string hostDirectory();

// Whether the name is one of the host tools ("pcb", "sch").
bool isToolName(std::string_view toolName);

// <dir>/<toolName>.sock
std::string socketPath(std::string_view dir, std::string_view toolName);

// Why dir is not a private socket directory (not a directory, a symbolic
// link, owned by another user, or open to group or others, or a folder on the
// way to it that another user could swap: a symbolic link, another owner than
// root or the user, writable by others without the sticky bit), or nullopt
// when it is.
std::optional<std::string> privateDirectoryProblem(const std::string& dir);

// Creates dir with mode 0700 when it is missing (its parent must exist);
// returns why it cannot be used, or nullopt when it is ready. A dir whose
// socket paths would not fit a socket address is refused before anything is
// created.
std::optional<std::string> preparePrivateDirectory(const std::string& dir);

}  // namespace DBX
