// Test-only: points the log at another file and makes the next entry behave
// as the first one of a new run (start header included).
#pragma once

#include <string>

namespace diag {

void restartLogForTesting(std::string path);

}  // namespace diag
