// Repeats the template group's copper and texts in the copies that Place has
// just moved: every copy gets the template's tracks, arcs, vias and zones
// carried like its parts and on its own nets, in one host group per copy;
// the copper that stood in the copy's place before may be deleted first.
// Each copy's reference and value texts take the template's placement
// relative to their part, carried like the part, and its visibility.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dbx/design.h"
#include "placement/designgeometry.h"
#include "placement/itemrect.h"
#include "placement/motion.h"
#include "placement/routingcopy.h"

namespace placement {

class RoutingPlacer {
 public:
  struct Target {
    std::size_t group = 0;  // index in the group list
    std::span<const CompInfo> comps;
    Motion motion;      // carries the template's parts onto the copy's
    DesignRect before;  // the copy's parts before they moved (absolute)
  };

  // The host group of what Place copies for group g (0-based): "Tandrel G3"
  // for the third group.
  static std::string GroupNameOf(std::size_t group);

  // footprint: the template's footprint in origin-relative coordinates (as
  // the page shows it); margin grows it for picking the template's copper,
  // and each copy's areas for picking the copper its new copper replaces.
  // Without replace a copy's earlier copper stays.
  RoutingPlacer(DBX::Design& design, std::span<const CompInfo> model, const DesignRect& footprint,
                int32_t margin, bool replace);

  // Gives every target the template's copper, under the caller's lock. With
  // replace, the copper that lies within the copy's area before or after its
  // move, on the copy's nets that the template's copied items map to, is
  // deleted first: what an earlier Place copied for the copy and what the
  // user routed there. Every copy is worked out before the first host edit,
  // so a copy beyond the host's range changes nothing. Items whose net has
  // no single counterpart in their copy are left out and named in one Error
  // box at the end.
  void CopyRouting(const std::vector<Target>& targets);
  // Gives each copy part's texts the template part's placement.
  void CopyTexts(const std::vector<Target>& targets);

  // The items left out by the last CopyRouting, with the group of each.
  struct SkippedItem {
    std::size_t group = 0;
    RoutingCopy::Skipped item;
  };
  const std::vector<SkippedItem>& Skipped() const { return FSkipped; }
  // Deleted and placed by the last CopyRouting.
  std::size_t DeletedCount() const { return FDeleted; }
  std::size_t PlacedCount() const { return FPlaced; }

  // What the last CopyTexts and CopyRouting changed in the host, as far as
  // they got, so that "Undo Place" can take it back.
  struct Changes {
    std::vector<std::pair<int32_t, int32_t>> placed;                 // item type and host id
    DBX::PcbItems deleted;                                           // as they were
    std::vector<std::pair<DBX::Component*, DBX::TAttribute>> texts;  // as they were
    bool empty() const { return placed.empty() && deleted.empty() && texts.empty(); }
  };
  const Changes& Made() const { return FMade; }
  // Deletes the copper placed, places the deleted copper again (its records
  // carry their ids, which a host may give back, and their host groups) and
  // gives the texts their earlier placement,
  // under the caller's lock. What is taken back leaves changes, so that a
  // host failure leaves the rest to take back later.
  static void TakeBack(DBX::Design& design, Changes& changes);

 private:
  std::string SkippedReport() const;
  // The host's copper stack turned over, read only when a copy is mirrored.
  RoutingCopy::LayerMirror MirroredLayers(const std::vector<Target>& targets);

  DBX::Design& FDesign;
  std::span<const CompInfo> FModel;
  DesignRect FFootprint;  // absolute
  int32_t FMargin;
  bool FReplace;
  std::vector<SkippedItem> FSkipped;
  std::size_t FDeleted = 0;
  std::size_t FPlaced = 0;
  Changes FMade;
};

}  // namespace placement
