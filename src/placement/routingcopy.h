// Repeating the template group's copper for one copy: which tracks, arcs,
// vias and zones belong to the template, and what each becomes in a copy
// that repeats the template's layout shifted by one vector.
//
// An item belongs to the template when every point of it lies within the
// template's footprint grown by the margin and it is on a net that touches a
// pin of the template or on no net (board drawings on the silkscreen, fab and
// user layers, zones of plain copper, keepouts). A copied item takes
// the copy's net through the group match: the net of the template pin is
// replaced by the net of the copy's pin at the same item and pin designator.
// A net with no single counterpart in the copy is not guessed; its items are
// reported as skipped.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/pcbitems.h"
#include "placement/designgeometry.h"
#include "placement/itemrect.h"
#include "placement/motion.h"

namespace placement {

class RoutingCopy {
 public:
  // Template net -> the nets of the copy's pins at the same item and pin
  // designator (0 for a pin of the copy on no net).
  using NetMapping = std::map<int32_t, std::set<int32_t>>;
  // Layer -> the layer a mirrored copy puts the template's items on.
  using LayerMirror = std::map<int32_t, int32_t>;
  // The board seen from the other side, as the host flips a part: in the
  // copper stack (the signal layers, top to bottom) top and bottom swap, and
  // so does each inner layer with its counterpart; a front layer of another
  // kind swaps with the back layer of the same name ("F.SilkS", "B.SilkS");
  // layers of neither side stay.
  static LayerMirror MirrorOf(std::span<const DBX::TLayer> layers);

  enum class SkipReason {
    AmbiguousNet,  // several copy nets, or a copy pin on no net beside one
    NoCopyNet,     // the copy's pins are on no net or missing
  };
  struct Skipped {
    int32_t itemType = 0;  // DBX_LINE, DBX_ARC, DBX_VIA or DBX_POLYGON
    int32_t itemId = 0;
    int32_t netId = 0;  // the template's
    SkipReason reason = SkipReason::NoCopyNet;
    std::set<int32_t> copyNets;
  };
  struct Copy {
    DBX::PcbItems toPlace;
    std::vector<Skipped> skipped;
  };

  // Every host group Place puts copies in starts so: "Tandrel G3".
  static constexpr std::string_view kGroupPrefix = "Tandrel G";

  // The nets of the template group's pins, 0 left out.
  static std::set<int32_t> TemplateNets(std::span<const CompInfo> model);
  // The mapping of each template pin net to the copy's nets; items missing
  // from either group add nothing.
  static NetMapping MapNets(std::span<const CompInfo> model, std::span<const CompInfo> copy);

  // Picks the template's items among board (absolute coordinates); footprint
  // is the template's footprint in absolute coordinates.
  RoutingCopy(const DBX::PcbItems& board, const DesignRect& footprint, int32_t margin,
              const std::set<int32_t>& templateNets);

  const DBX::PcbItems& TemplateItems() const { return FTemplate; }
  // The items among board that a copy's new items replace, each lying
  // wholly within one of areas (absolute) grown by margin: copper on one of
  // nets, and items on no net that an earlier Place copied (copies of the
  // template's, or in a group of Place's own); the template's own items
  // excepted.
  DBX::PcbItems Replaced(const DBX::PcbItems& board, const std::set<int32_t>& nets,
                         std::span<const DesignRect> areas, int32_t margin) const;
  // The items of one copy: the template's carried by motion, on the copy's
  // nets, in the host group groupName. An arc keeps its direction: its
  // start, middle and end are carried one by one. Throws TandrelError when a
  // carried point leaves the host's coordinate range, before anything is
  // placed. A mirroring motion puts every item on its layer's counterpart in
  // layers (a layer it does not name stays), as a mirrored part's pads go
  // to the other side.
  Copy CopyFor(const NetMapping& mapping, const Motion& motion, const std::string& groupName,
               const LayerMirror& layers = {}) const;

 private:
  DBX::PcbItems FTemplate;
};

}  // namespace placement
