#include "placement/routingcopy.h"

#include <algorithm>
#include <string_view>
#include <type_traits>

#include "diag/tandrelerror.h"

namespace placement {

namespace {

struct Area {
  int64_t left, bottom, right, top;
  bool contains(const DBX::TPoint& p) const {
    return p.x >= left && p.x <= right && p.y >= bottom && p.y <= top;
  }
};

// Visits the points that must lie in the template's area and that a copy
// carries.
template <class Record, class Visit>
void forEachPoint(Record& record, Visit&& visit) {
  if constexpr (std::is_same_v<std::remove_const_t<Record>, DBX::TLine>) {
    visit(record.startPt);
    visit(record.endPt);
  } else if constexpr (std::is_same_v<std::remove_const_t<Record>, DBX::TArc>) {
    visit(record.startPt);
    visit(record.midPt);
    visit(record.endPt);
  } else if constexpr (std::is_same_v<std::remove_const_t<Record>, DBX::TVia>) {
    visit(record.location);
  } else {
    const int32_t count = std::clamp<int32_t>(record.numberPoints, 0, DBX::kMaxPolygonPoints);
    for (int32_t i = 0; i < count; ++i) visit(record.points[i]);
  }
}

int32_t idOf(const DBX::TLine& r) { return r.lineId; }
int32_t idOf(const DBX::TArc& r) { return r.arcId; }
int32_t idOf(const DBX::TVia& r) { return r.viaId; }
int32_t idOf(const DBX::TPolygon& r) { return r.polygonId; }
void clearId(DBX::TLine& r) { r.lineId = 0; }
void clearId(DBX::TArc& r) { r.arcId = 0; }
void clearId(DBX::TVia& r) { r.viaId = 0; }
void clearId(DBX::TPolygon& r) { r.polygonId = 0; }
constexpr int32_t typeOf(const DBX::TLine&) { return DBX::DBX_LINE; }
constexpr int32_t typeOf(const DBX::TArc&) { return DBX::DBX_ARC; }
constexpr int32_t typeOf(const DBX::TVia&) { return DBX::DBX_VIA; }
constexpr int32_t typeOf(const DBX::TPolygon&) { return DBX::DBX_POLYGON; }

template <class Record>
bool insideArea(const Record& record, const Area& area) {
  bool inside = true;
  bool anyPoint = false;
  forEachPoint(record, [&](const DBX::TPoint& p) {
    anyPoint = true;
    inside = inside && area.contains(p);
  });
  return anyPoint && inside;
}

// What is on no net goes with the template's layout: board drawings (a
// channel's label or outline on the silkscreen), zones of plain copper,
// keepouts. Copper on a net goes only when a template pin touches the net.
template <class Record>
bool onTemplateNet(const Record& record, const std::set<int32_t>& templateNets) {
  return record.netId == 0 || templateNets.contains(record.netId);
}

// An item on no net that an earlier Place copied: it repeats one of the
// template's (its source is theirs) or lies in a host group that Place made.
template <class Record>
bool copiedEarlier(const Record& record, const std::set<int32_t>& modelSources) {
  return (record.sourceItemId != 0 && modelSources.contains(record.sourceItemId)) ||
         std::string_view(DBX::getText(record.groupName)).starts_with(RoutingCopy::kGroupPrefix);
}

template <class Record>
void pickTemplateItems(const std::vector<Record>& board, const Area& area,
                       const std::set<int32_t>& templateNets, std::vector<Record>& out) {
  for (const Record& record : board) {
    if (onTemplateNet(record, templateNets) && insideArea(record, area)) out.push_back(record);
  }
}

template <class Record>
void pickReplaced(const std::vector<Record>& board, const std::vector<Record>& model,
                  const std::set<int32_t>& nets, const std::vector<Area>& areas,
                  std::vector<Record>& out) {
  std::set<int32_t> modelIds;
  std::set<int32_t> modelSources;
  for (const Record& record : model) {
    modelIds.insert(idOf(record));
    if (record.netId == 0 && record.sourceItemId != 0) modelSources.insert(record.sourceItemId);
  }
  for (const Record& record : board) {
    // Drawings and other items on no net that the user made there stay.
    const bool replaceable =
        record.netId != 0 ? nets.contains(record.netId) : copiedEarlier(record, modelSources);
    if (!replaceable || modelIds.contains(idOf(record))) continue;
    if (std::ranges::any_of(areas, [&](const Area& area) { return insideArea(record, area); })) {
      out.push_back(record);
    }
  }
}

int32_t mirrored(const RoutingCopy::LayerMirror& layers, int32_t layer) {
  const auto found = layers.find(layer);
  return found != layers.end() ? found->second : layer;
}

// A via's start stays its upper layer: the mirror turns the span around.
template <class Record>
void mirrorLayers(Record& record, const RoutingCopy::LayerMirror& layers) {
  if constexpr (std::is_same_v<Record, DBX::TVia>) {
    const int32_t start = mirrored(layers, record.endLayerId);
    record.endLayerId = mirrored(layers, record.startLayerId);
    record.startLayerId = start;
  } else {
    record.layerId = mirrored(layers, record.layerId);
  }
}

template <class Record>
void copyItems(const std::vector<Record>& source, const RoutingCopy::NetMapping& mapping,
               const Motion& motion, const RoutingCopy::LayerMirror& layers,
               const std::string& groupName, std::vector<Record>& out,
               std::vector<RoutingCopy::Skipped>& skipped) {
  for (const Record& original : source) {
    int32_t net = 0;
    if (original.netId != 0) {
      const auto found = mapping.find(original.netId);
      const std::set<int32_t> copyNets =
          found != mapping.end() ? found->second : std::set<int32_t>{};
      const bool single = copyNets.size() == 1 && *copyNets.begin() != 0;
      if (!single) {
        const bool none = copyNets.empty() || (copyNets.size() == 1 && *copyNets.begin() == 0);
        skipped.push_back(
            {typeOf(original), idOf(original), original.netId,
             none ? RoutingCopy::SkipReason::NoCopyNet : RoutingCopy::SkipReason::AmbiguousNet,
             copyNets});
        continue;
      }
      net = *copyNets.begin();
    }
    // The copy keeps the original's sourceItemId: the host writes it with
    // the attributes of the item it repeats.
    Record copy = original;
    clearId(copy);
    copy.netId = net;
    copy.isCreatedByClient = 0;
    DBX::setText(copy.groupName, groupName);
    forEachPoint(copy, [&](DBX::TPoint& p) { p = motion.Apply(p, "Copied item point"); });
    if (motion.Mirrors()) mirrorLayers(copy, layers);
    out.push_back(copy);
  }
}

Area grown(const DesignRect& rect, int32_t margin) {
  const int64_t grow = std::max<int32_t>(margin, 0);
  return {rect.left - grow, rect.bottom - grow, rect.right + grow, rect.top + grow};
}

}  // namespace

std::set<int32_t> RoutingCopy::TemplateNets(std::span<const CompInfo> model) {
  std::set<int32_t> nets;
  for (const CompInfo component : model) {
    if (component == nullptr) continue;
    for (const auto& [pinDes, pin] : component->pins) {
      if (pin.netId != 0) nets.insert(pin.netId);
    }
  }
  return nets;
}

RoutingCopy::NetMapping RoutingCopy::MapNets(std::span<const CompInfo> model,
                                             std::span<const CompInfo> copy) {
  NetMapping mapping;
  const std::size_t items = std::min(model.size(), copy.size());
  for (std::size_t i = 0; i < items; ++i) {
    if (model[i] == nullptr || copy[i] == nullptr) continue;
    for (const auto& [pinDes, pin] : model[i]->pins) {
      if (pin.netId == 0) continue;
      std::set<int32_t>& copyNets = mapping[pin.netId];
      const auto counterpart = copy[i]->pins.find(pinDes);
      copyNets.insert(counterpart != copy[i]->pins.end() ? counterpart->second.netId : 0);
    }
  }
  return mapping;
}

RoutingCopy::RoutingCopy(const DBX::PcbItems& board, const DesignRect& footprint, int32_t margin,
                         const std::set<int32_t>& templateNets) {
  if (footprint.IsEmpty()) return;
  const Area area = grown(footprint, margin);
  pickTemplateItems(board.lines, area, templateNets, FTemplate.lines);
  pickTemplateItems(board.arcs, area, templateNets, FTemplate.arcs);
  pickTemplateItems(board.vias, area, templateNets, FTemplate.vias);
  pickTemplateItems(board.polygons, area, templateNets, FTemplate.polygons);
}

DBX::PcbItems RoutingCopy::Replaced(const DBX::PcbItems& board, const std::set<int32_t>& nets,
                                    std::span<const DesignRect> areas, int32_t margin) const {
  std::vector<Area> inside;
  for (const DesignRect& area : areas) {
    if (!area.IsEmpty()) inside.push_back(grown(area, margin));
  }
  DBX::PcbItems replaced;
  pickReplaced(board.lines, FTemplate.lines, nets, inside, replaced.lines);
  pickReplaced(board.arcs, FTemplate.arcs, nets, inside, replaced.arcs);
  pickReplaced(board.vias, FTemplate.vias, nets, inside, replaced.vias);
  pickReplaced(board.polygons, FTemplate.polygons, nets, inside, replaced.polygons);
  return replaced;
}

RoutingCopy::LayerMirror RoutingCopy::MirrorOf(std::span<const DBX::TLayer> layers) {
  std::vector<int32_t> stack;
  std::map<std::string_view, int32_t> byName;
  for (const DBX::TLayer& layer : layers) {
    if (layer.layerType == DBX::kLayerTypeSignal) {
      stack.push_back(layer.layerId);
    } else {
      byName.emplace(layer.layerName, layer.layerId);
    }
  }
  LayerMirror mirror;
  for (std::size_t i = 0; i < stack.size(); ++i) mirror[stack[i]] = stack[stack.size() - 1 - i];
  for (const auto& [name, id] : byName) {
    if (!name.starts_with("F.")) continue;
    const auto back = byName.find("B." + std::string(name.substr(2)));
    if (back == byName.end()) continue;
    mirror[id] = back->second;
    mirror[back->second] = id;
  }
  return mirror;
}

RoutingCopy::Copy RoutingCopy::CopyFor(const NetMapping& mapping, const Motion& motion,
                                       const std::string& groupName,
                                       const LayerMirror& layers) const {
  Copy copy;
  copyItems(FTemplate.lines, mapping, motion, layers, groupName, copy.toPlace.lines, copy.skipped);
  copyItems(FTemplate.arcs, mapping, motion, layers, groupName, copy.toPlace.arcs, copy.skipped);
  copyItems(FTemplate.vias, mapping, motion, layers, groupName, copy.toPlace.vias, copy.skipped);
  copyItems(FTemplate.polygons, mapping, motion, layers, groupName, copy.toPlace.polygons,
            copy.skipped);
  return copy;
}

}  // namespace placement
