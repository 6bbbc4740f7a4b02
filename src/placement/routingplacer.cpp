#include "placement/routingplacer.h"

#include <algorithm>
#include <map>
#include <ranges>
#include <set>
#include <utility>

#include "diag/messages.h"
#include "placement/placertexts.h"

namespace placement {

namespace {

// The page's rectangles are relative to the design's relative grid origin
// while that grid is in use; copper comes in host coordinates.
DesignRect absoluteRect(const DBX::TDesign& header, const DesignRect& rect) {
  if (rect.IsEmpty() || header.isGridAbsolute != 0) return rect;
  const DBX::TPoint origin = header.relGridOrigin;
  return {CheckedCoordinate(int64_t{rect.left} + origin.x, "Footprint left"),
          CheckedCoordinate(int64_t{rect.bottom} + origin.y, "Footprint bottom"),
          CheckedCoordinate(int64_t{rect.right} + origin.x, "Footprint right"),
          CheckedCoordinate(int64_t{rect.top} + origin.y, "Footprint top")};
}

// Adds the records of from whose item is not yet in seen; the items are
// added to seen once all of from is in, since a zone comes once per layer.
template <class Record>
void addUnseen(const std::vector<Record>& from, int32_t itemType, int32_t Record::*id,
               std::set<std::pair<int32_t, int32_t>>& seen, std::vector<Record>& into) {
  std::set<std::pair<int32_t, int32_t>> added;
  for (const Record& record : from) {
    if (seen.contains({itemType, record.*id})) continue;
    into.push_back(record);
    added.emplace(itemType, record.*id);
  }
  seen.merge(added);
}

// The nets a copy's new copper lies on.
std::set<int32_t> netsOf(const DBX::PcbItems& items) {
  std::set<int32_t> nets;
  const auto add = [&](const auto& records) {
    for (const auto& record : records) {
      if (record.netId != 0) nets.insert(record.netId);
    }
  };
  add(items.lines);
  add(items.arcs);
  add(items.vias);
  add(items.polygons);
  return nets;
}

template <class Record>
void placeAll(DBX::Design& design, std::vector<Record>& records, int32_t itemType,
              int32_t Record::*id, std::vector<std::pair<int32_t, int32_t>>& placed) {
  for (Record& record : records) {
    design.placeItem(record);
    placed.emplace_back(itemType, record.*id);
  }
}

// Places the records again in their order, so that the host lists them as
// before; those the host has leave records, also when a placement fails.
template <class Record>
void placeAgain(DBX::Design& design, std::vector<Record>& records) {
  std::size_t placed = 0;
  try {
    for (; placed < records.size(); ++placed) {
      Record record = records[placed];
      design.placeItem(record);
    }
  } catch (...) {
    records.erase(records.begin(), records.begin() + std::ptrdiff_t(placed));
    throw;
  }
  records.clear();
}

std::string netText(const DBX::Design::DPack& pcb, int32_t netId) {
  if (netId == 0) return "no net";
  const std::string_view name = pcb.netName(netId);
  return name.empty() ? "net " + std::to_string(netId) : std::string(name);
}

}  // namespace

std::string RoutingPlacer::GroupNameOf(std::size_t group) {
  return std::string(RoutingCopy::kGroupPrefix) + std::to_string(group + 1);
}

RoutingPlacer::RoutingPlacer(DBX::Design& design, std::span<const CompInfo> model,
                             const DesignRect& footprint, int32_t margin, bool replace)
    : FDesign(design),
      FModel(model),
      FFootprint(absoluteRect(design.pack(DBX::kToolPcb).header(), footprint)),
      FMargin(margin),
      FReplace(replace) {}

void RoutingPlacer::CopyRouting(const std::vector<Target>& targets) {
  FSkipped.clear();
  FDeleted = 0;
  FPlaced = 0;
  FMade.placed.clear();
  FMade.deleted = {};
  const DBX::PcbItems board = FDesign.pcbItems();
  const RoutingCopy routing(board, FFootprint, FMargin, RoutingCopy::TemplateNets(FModel));
  const RoutingCopy::LayerMirror layers = MirroredLayers(targets);
  std::vector<RoutingCopy::Copy> copies;
  for (const Target& target : targets) {
    copies.push_back(routing.CopyFor(RoutingCopy::MapNets(FModel, target.comps), target.motion,
                                     GroupNameOf(target.group), layers));
  }

  // Item type and id; a zone on several layers comes once per layer with
  // one id and is deleted once.
  std::set<std::pair<int32_t, int32_t>> stale;
  DBX::PcbItems replaced;
  for (std::size_t c = 0; FReplace && !FFootprint.IsEmpty() && c < targets.size(); ++c) {
    const DBX::TRect footprint{{FFootprint.left, FFootprint.bottom},
                               {FFootprint.right, FFootprint.top}};
    const DesignRect areas[] = {targets[c].before,
                                FromHostRect(targets[c].motion.Bounds(footprint))};
    const DBX::PcbItems old = routing.Replaced(board, netsOf(copies[c].toPlace), areas, FMargin);
    addUnseen(old.lines, DBX::DBX_LINE, &DBX::TLine::lineId, stale, replaced.lines);
    addUnseen(old.arcs, DBX::DBX_ARC, &DBX::TArc::arcId, stale, replaced.arcs);
    addUnseen(old.vias, DBX::DBX_VIA, &DBX::TVia::viaId, stale, replaced.vias);
    addUnseen(old.polygons, DBX::DBX_POLYGON, &DBX::TPolygon::polygonId, stale, replaced.polygons);
  }

  // Undo puts the deleted copper back as a whole, so it is remembered
  // before the first deletion.
  FMade.deleted = std::move(replaced);
  // Newest first: a host keeping its items in creation order then takes
  // each from the end of its list instead of closing the list up behind it.
  for (const auto& [itemType, itemId] : std::views::reverse(stale)) {
    FDesign.deleteItem(itemType, itemId);
    ++FDeleted;
  }
  for (std::size_t c = 0; c < copies.size(); ++c) {
    DBX::PcbItems& items = copies[c].toPlace;
    std::vector<std::pair<int32_t, int32_t>>& placed = FMade.placed;
    placeAll(FDesign, items.lines, DBX::DBX_LINE, &DBX::TLine::lineId, placed);
    placeAll(FDesign, items.arcs, DBX::DBX_ARC, &DBX::TArc::arcId, placed);
    placeAll(FDesign, items.vias, DBX::DBX_VIA, &DBX::TVia::viaId, placed);
    placeAll(FDesign, items.polygons, DBX::DBX_POLYGON, &DBX::TPolygon::polygonId, placed);
    FPlaced = placed.size();
    for (const RoutingCopy::Skipped& item : copies[c].skipped) {
      FSkipped.push_back({targets[c].group, item});
    }
  }
  if (!FSkipped.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, kRoutingSkipped.data(), SkippedReport().c_str());
  }
}

std::string RoutingPlacer::SkippedReport() const {
  // One line per copy and template net, however many items it holds.
  std::map<std::pair<std::size_t, int32_t>, std::pair<std::set<int32_t>, std::size_t>> lines;
  for (const SkippedItem& skipped : FSkipped) {
    auto& [copyNets, count] = lines[{skipped.group, skipped.item.netId}];
    copyNets = skipped.item.copyNets;
    ++count;
  }
  const DBX::Design::DPack& pcb = FDesign.pack(DBX::kToolPcb);
  std::string report;
  for (const auto& [key, value] : lines) {
    const auto& [copyNets, count] = value;
    std::string targets;
    for (const int32_t net : copyNets) {
      targets += (targets.empty() ? "" : ", ") + netText(pcb, net);
    }
    report += "G" + std::to_string(key.first + 1) + ": " + netText(pcb, key.second) + " -> " +
              (targets.empty() ? "no net" : targets) + " (" + std::to_string(count) +
              (count == 1 ? " item)\n" : " items)\n");
  }
  return report;
}

void RoutingPlacer::TakeBack(DBX::Design& design, Changes& changes) {
  // A placed zone on several layers has one id and goes with one deletion.
  std::set<std::pair<int32_t, int32_t>> deleted;
  while (!changes.placed.empty()) {
    const std::pair<int32_t, int32_t> item = changes.placed.back();
    changes.placed.pop_back();
    if (deleted.insert(item).second) design.deleteItem(item.first, item.second);
  }
  placeAgain(design, changes.deleted.lines);
  placeAgain(design, changes.deleted.arcs);
  placeAgain(design, changes.deleted.vias);
  placeAgain(design, changes.deleted.polygons);
  // Last change first, so that a text changed twice ends as it began.
  while (!changes.texts.empty()) {
    auto [part, text] = changes.texts.back();
    changes.texts.pop_back();
    part->modifyText(text);
  }
}

RoutingCopy::LayerMirror RoutingPlacer::MirroredLayers(const std::vector<Target>& targets) {
  const bool anyMirror =
      std::ranges::any_of(targets, [](const Target& target) { return target.motion.Mirrors(); });
  return anyMirror ? RoutingCopy::MirrorOf(FDesign.pcbLayers()) : RoutingCopy::LayerMirror{};
}

void RoutingPlacer::CopyTexts(const std::vector<Target>& targets) {
  FMade.texts.clear();
  // The template's texts are read once, whatever the number of copies.
  std::vector<std::vector<DBX::TAttribute>> modelTexts;
  for (const CompInfo part : FModel) {
    modelTexts.push_back(part != nullptr ? part->texts() : std::vector<DBX::TAttribute>{});
  }
  for (const Target& target : targets) {
    for (std::size_t i = 0; i < FModel.size() && i < target.comps.size(); ++i) {
      DBX::Component* part = target.comps[i];
      // A locked part (an anchor may be) keeps its texts: the host refuses
      // to change them.
      if (FModel[i] == nullptr || part == nullptr || part == FModel[i] ||
          part->record.isFixed != 0) {
        continue;
      }
      std::map<int32_t, DBX::TAttribute> present;
      for (const DBX::TAttribute& text : part->texts()) present.emplace(text.attrType, text);
      for (const DBX::TAttribute& model : modelTexts[i]) {
        const auto found = present.find(model.attrType);
        if (found == present.end()) continue;
        DBX::TAttribute text = target.motion.Apply(model);
        FMade.texts.emplace_back(part, found->second);
        part->modifyText(text);
      }
    }
  }
}

}  // namespace placement
