// The groups of the quad example as the group page hands them to placement.
#pragma once

#include <string>
#include <vector>

namespace testing_placement {

inline const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

// The four channels of the quad example in item order, 7 items each.
inline std::vector<std::string> quadNames() {
  std::vector<std::string> names;
  for (int k = 1; k <= 4; ++k) {
    for (const std::string& name :
         {"J" + std::to_string(k), "C" + std::to_string(2 * k - 1), "R" + std::to_string(3 * k - 2),
          "U" + std::to_string(k), "R" + std::to_string(3 * k - 1), "R" + std::to_string(3 * k),
          "C" + std::to_string(2 * k)}) {
      names.push_back(name);
    }
  }
  return names;
}

}  // namespace testing_placement
