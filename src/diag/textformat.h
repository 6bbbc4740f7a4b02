// printf-style formatting into a growable string.
#pragma once

#include <cstdarg>
#include <string>

namespace diag {

// A null format gives the empty text.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatTextV(const char* format, std::va_list args)
    __attribute__((format(printf, 1, 0)));

}  // namespace diag
