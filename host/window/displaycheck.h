// Whether a window can be shown: a platform chosen for Qt, or an X11 or
// Wayland display to talk to. Null and empty values count as unset.
#pragma once

namespace dbxhost {

bool displayAvailable(const char* qtPlatform, const char* x11Display, const char* waylandDisplay);

}  // namespace dbxhost
