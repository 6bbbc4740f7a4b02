#include "window/displaycheck.h"

namespace dbxhost {

namespace {

bool isSet(const char* value) { return value != nullptr && value[0] != '\0'; }

}  // namespace

bool displayAvailable(const char* qtPlatform, const char* x11Display, const char* waylandDisplay) {
  return isSet(qtPlatform) || isSet(x11Display) || isSet(waylandDisplay);
}

}  // namespace dbxhost
