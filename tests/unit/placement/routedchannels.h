// The synthetic design with the first channel routed: every net between two
// of its parts in straight segments on the top layer, a VCC stub, a GND via
// beside the last part, and a GND zone on the bottom layer under it. Every
// part has a reference text 0.50 right of and 0.90 below it, turned by 90
// degrees in the first channel only. Channel c's parts stand in row c - 1 at y = 5.00 + 3.00 (c -
// 1), part k at x = 5.00 + 3.00 k, their pads 0.80 left and right of it.
#pragma once

#include <cstdint>

#include "model/design.h"
#include "model/syntheticdesign.h"

namespace testing_placement {

inline constexpr int32_t kRoutedTop = 1;
inline constexpr int32_t kRoutedBottom = 2;
inline constexpr int32_t kRoutedGnd = 1;
inline constexpr int32_t kRoutedVcc = 2;

// Copper for a test board: consecutive item ids from 1, tracks 0.25 wide.
struct CopperDrawer {
  dbxhost::Design& design;
  int32_t trackLayer;
  int32_t nextId = 1;

  dbxhost::ItemInfo info(int32_t net) {
    dbxhost::ItemInfo item;
    item.id = nextId++;
    item.netId = net;
    return item;
  }
  void track(int32_t net, DBX::TPoint from, DBX::TPoint to) {
    design.pcb.tracks.push_back({info(net), trackLayer, 25000, from, to});
  }
};

// The net between part k and part k + 1 of channel c (1-based).
inline int32_t routedInnerNet(int parts, int channel, int k) {
  return 3 + (channel - 1) * (parts - 1) + k;
}

inline dbxhost::Design routedChannels(int channels, int parts, int segmentsPerNet) {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(channels, parts, false);
  constexpr int32_t origin = 500000;
  constexpr int32_t pitch = 300000;
  constexpr int32_t pad = 80000;
  CopperDrawer copper{design, kRoutedTop};
  auto info = [&](int32_t net) { return copper.info(net); };
  auto track = [&](int32_t net, DBX::TPoint from, DBX::TPoint to) { copper.track(net, from, to); };
  for (dbxhost::PcbComponent& part : design.pcb.components) {
    dbxhost::CompText text;
    text.at = {part.placement.refPoint.x + 50000, part.placement.refPoint.y - 90000};
    text.rotation = part.id <= parts ? 900 : 0;
    part.texts = {text};
  }
  {
    constexpr int c = 1;
    const int32_t y = origin;
    for (int k = 0; k + 1 < parts; ++k) {
      const int32_t from = origin + k * pitch + pad;
      const int32_t length = pitch - 2 * pad;
      for (int s = 0; s < segmentsPerNet; ++s) {
        track(routedInnerNet(parts, c, k), {from + length * s / segmentsPerNet, y},
              {from + length * (s + 1) / segmentsPerNet, y});
      }
    }
    track(kRoutedVcc, {origin - pad, y}, {origin - pad, y + 90000});
    const int32_t last = origin + (parts - 1) * pitch;
    track(kRoutedGnd, {last + pad, y}, {last + pad + 50000, y});
    dbxhost::Via via;
    via.info = info(kRoutedGnd);
    via.at = {last + pad + 50000, y};
    via.diameter = 60000;
    via.drill = 30000;
    via.startLayerId = kRoutedTop;
    via.endLayerId = kRoutedBottom;
    design.pcb.vias.push_back(via);
    dbxhost::Zone zone;
    zone.info = info(kRoutedGnd);
    zone.layerIds = {kRoutedBottom};
    zone.outline = {{origin - 130000, y - 60000},
                    {last + 130000, y - 60000},
                    {last + 130000, y + 60000},
                    {origin - 130000, y + 60000}};
    design.pcb.zones.push_back(zone);
  }
  return design;
}

}  // namespace testing_placement
