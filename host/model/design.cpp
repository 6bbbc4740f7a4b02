#include "model/design.h"

namespace dbxhost {

const Net* Design::findNet(int32_t id) const {
  for (const Net& net : nets) {
    if (net.id == id) return &net;
  }
  return nullptr;
}

}  // namespace dbxhost
