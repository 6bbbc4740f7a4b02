#include "placement/itemrect.h"

#include "placement/designgrid.h"

namespace placement {

DesignRect FromHostRect(const DBX::TRect& rect) {
  return {rect.lowerLeft.x, rect.lowerLeft.y, rect.upperRight.x, rect.upperRight.y};
}

DesignRect ItemRect(const DBX::Design::DPack& pack, std::span<const CompInfo> group) {
  DesignRect united = DesignRect::Empty();
  for (const CompInfo component : group) {
    if (component == nullptr) continue;
    const DBX::TRect& bound = component->record.boundRect;
    const DesignPoint lowerLeft =
        ToDesignGrid(pack, {bound.lowerLeft.x, bound.lowerLeft.y}, GridDirection::ToRelative);
    const DesignPoint upperRight =
        ToDesignGrid(pack, {bound.upperRight.x, bound.upperRight.y}, GridDirection::ToRelative);
    united.Unite({lowerLeft.x, lowerLeft.y, upperRight.x, upperRight.y});
  }
  return united;
}

DesignRect HostItemRect(std::span<const CompInfo> group) {
  DesignRect united = DesignRect::Empty();
  for (const CompInfo component : group) {
    if (component != nullptr) united.Unite(FromHostRect(component->record.boundRect));
  }
  return united;
}

}  // namespace placement
