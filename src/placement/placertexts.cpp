#include "placement/placertexts.h"

#include <stdexcept>
#include <string>

namespace placement {

const ControlText& PlacerControlText(std::string_view name) {
  for (const ControlText& control : kPlacerControls) {
    if (control.name == name) return control;
  }
  throw std::out_of_range("The placement page has no control " + std::string(name));
}

}  // namespace placement
