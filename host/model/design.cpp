#include "model/design.h"

#include <algorithm>

#include "model/geometry.h"

namespace dbxhost {

const Net* Design::findNet(int32_t id) const {
  for (const Net& net : nets) {
    if (net.id == id) return &net;
  }
  return nullptr;
}

const std::vector<PcbLayer>& Pcb::servedLayers() const {
  static const std::vector<PcbLayer> kDefault = {{1, "Top", true}, {2, "Bottom", true}};
  return layers.empty() ? kDefault : layers;
}

const PcbLayer* Pcb::findLayer(int32_t id) const {
  for (const PcbLayer& layer : servedLayers()) {
    if (layer.id == id) return &layer;
  }
  return nullptr;
}

int32_t Pcb::sideLayer(bool bottom) const {
  const std::vector<PcbLayer>& served = servedLayers();
  int32_t top = 0, last = 0;
  for (const PcbLayer& layer : served) {
    if (!layer.copper) continue;
    if (top == 0) top = layer.id;
    last = layer.id;
  }
  return bottom ? last : top;
}

int32_t Pcb::oppositeSideLayer(int32_t id) const {
  const PcbLayer* layer = findLayer(id);
  if (layer == nullptr) return id;
  // KiCad's "F.SilkS" and "B.SilkS", or the outer copper layers.
  const std::string& name = layer->name;
  std::string opposite;
  if (name.starts_with("F.")) opposite = "B." + name.substr(2);
  if (name.starts_with("B.")) opposite = "F." + name.substr(2);
  if (!opposite.empty()) {
    for (const PcbLayer& other : servedLayers()) {
      if (other.name == opposite) return other.id;
    }
    return id;
  }
  if (id == sideLayer(false)) return sideLayer(true);
  if (id == sideLayer(true)) return sideLayer(false);
  return id;
}

CompText Pcb::textCarried(const CompText& text, const Placement& before,
                          const Placement& after) const {
  CompText carried = carriedText(text, before, after);
  if (carried.flipped != text.flipped) carried.layerId = oppositeSideLayer(text.layerId);
  return carried;
}

int32_t Pcb::nextItemId() const {
  int32_t last = 0;
  for (const Track& t : tracks) last = std::max(last, t.info.id);
  for (const ArcTrack& a : arcs) last = std::max(last, a.info.id);
  for (const Via& v : vias) last = std::max(last, v.info.id);
  for (const Zone& z : zones) last = std::max(last, z.info.id);
  return last + 1;
}

}  // namespace dbxhost
