// The placement page without its widgets: the list of groups, the grid
// fields and how they recompute one another, the item and grid messages,
// placing the groups, gathering the template group and highlighting groups
// in the PCB editor.
//
// A page built on a widget toolkit owns one TPlacer, forwards every edit and
// click to it and shows what it reports: field texts and their validity
// (invalid fields are shown red), the group lines and selection, the two
// messages, whether "Place" is enabled and whether the origin fields of
// "Unrelated" are shown. The change listener runs once after each operation
// that may have changed any of that. Texts the placer writes into partner
// fields do not start another pass; the page must therefore show them
// without reporting them back as edits.
//
// Coordinates on the page are origin-relative and snapped to the grid;
// the host receives absolute coordinates.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dbx/design.h"
#include "placement/designgeometry.h"
#include "placement/itemrect.h"
#include "placement/motion.h"
#include "placement/placecheck.h"
#include "placement/placementgrid.h"
#include "placement/routingplacer.h"

namespace placement {

// The page's controls that edits and passes refer to. The fields run from
// Rows to RoutingMargin; Rows to CoordY and RoutingMargin take part in the
// grid passes.
enum class Control : int {
  None,
  GroupsList,
  CornerButton,
  Rows,
  Cols,
  GapX,
  GapY,
  DeltaX,
  DeltaY,
  CoordX,
  CoordY,
  GrpX,
  GrpY,
  GrGap,
  RoutingMargin,  // how far the template's copper may reach beyond its parts
};

// How Place finds where each copy goes: in a grid of cells around the
// template, or where the copy's anchor part stands already.
enum class Arrangement : int {
  Grid,
  Anchors,
};

class TPlacer {
 public:
  using CompInfo = placement::CompInfo;

  struct Field {
    std::string text;
    bool invalid = false;  // shown red
  };

  // The colour of the page's own highlights.
  static constexpr int32_t kHighlightColor = DBX::DBX_COLOR_RED;

  TPlacer();
  TPlacer(const TPlacer&) = delete;
  TPlacer& operator=(const TPlacer&) = delete;

  // Runs after each operation that may have changed what the page shows. It
  // must not throw.
  void SetChangeListener(std::function<void()> listener);

  // ---- What the page sends ----

  // Fills the page from the PCB snapshot of design (which must outlive it):
  // names holds the component names of all groups, itemsPerGroup per group,
  // the template group first. Gap, delta and origin fields, the corner and
  // the highlight memory stay as they were.
  void LoadGroups(DBX::Design& design, const std::vector<std::string>& names,
                  uint32_t itemsPerGroup);
  // The PCB snapshot has been dropped ("Clear Design"): forgets the design
  // and every pointer into it, the highlight memory included, without host
  // calls. The page is empty until the next LoadGroups.
  void DesignCleared();
  // A field edited by the user. Grid fields start a pass with the field as
  // its cause; the "Group" fields are only read when "Group" is pressed.
  void EditField(Control field, std::string text);
  // One of the corner buttons or "Unrelated" chosen.
  void SetCorner(RectCorner corner);
  // A line of the group list clicked (nothing: the selection removed).
  void GroupsListClick(std::optional<std::size_t> line);
  // "Highlight automatic" ticked or unticked.
  void SetAutoHighlight(bool on);
  // "Grid" or "Anchors" chosen.
  void SetArrangement(Arrangement arrangement);
  // A line of the anchor list chosen: the template's part at that item
  // becomes the anchor. Throws std::out_of_range for an item that is not
  // listed.
  void SetAnchorItem(std::size_t item);
  // "Copy routing" ticked or unticked; from then on LoadGroups keeps the
  // user's choice.
  void SetCopyRouting(bool on);
  // "Replace the copies' routing" ticked or unticked.
  void SetReplaceRouting(bool on);
  // "Update": re-reads the PCB components from the host, then a pass.
  void UpdateClick();
  // "Place": re-reads the PCB components, a pass, then places every group
  // but the selected one around it.
  void PlaceClick();
  // "Undo Place": puts back what the last Place or Group moved, except parts
  // that changed in the host since; those are named and left as they are.
  void UndoPlaceClick();

  // ---- The operations behind the buttons ----

  // Recomputes everything that depends on the fields; cause is the control
  // whose change started the pass.
  void UpdateGrid(Control cause);
  // "Highlight Current": restores what the page highlighted before, then
  // highlights the selected group's components.
  void HighlightCurrent();
  // "UnHighlight": gives every component the page highlighted its former
  // highlight state back.
  void UnHighlightAll();
  // "Group": lays the selected group's components out in a compact block
  // from (GrpX, GrpY) with GrGap between them; they keep their orientation.
  void GatherTemplate();
  // Where the footprint's left-bottom corner of the group in cell k goes
  // (origin-relative). Throws TandrelError while a field it reads is
  // invalid.
  DesignPoint CellPosition(uint32_t k);
  // Places every group but the template t, in the grid or on their anchors.
  // The host calls run under the caller's lock. Nothing moves when a target
  // is locked, a copy has no part at the anchor's item or the user declines
  // to place parts beyond the board.
  void PlaceGroups(std::size_t t);
  // Moves group a so that it repeats template t with its footprint's
  // left-bottom corner at pos (origin-relative): every component goes to its
  // template component's exact position shifted by one vector, pos less the
  // template footprint's corner snapped to whole grid steps. Checked like
  // PlaceGroups; the host calls run under the caller's lock.
  void PlaceGroupAt(std::size_t a, std::size_t t, DesignPoint pos);

  // ---- What the page shows ----

  const Field& FieldOf(Control field) const;
  const std::vector<std::string>& GroupLines() const { return FGroupLines; }
  std::optional<std::size_t> SelectedGroup() const { return FSelected; }
  const std::string& ItemMessage() const { return FItemMessage; }
  const std::string& GridMessage() const { return FGridMessage; }
  bool PlaceEnabled() const { return FPlaceEnabled; }
  RectCorner Corner() const { return FCorner; }
  Arrangement CurrentArrangement() const { return FArrangement; }
  // The template's parts the anchor may be chosen from: item index and
  // designator, in item order; empty while no group is selected.
  struct AnchorChoice {
    std::size_t item = 0;
    std::string refDes;
    friend bool operator==(const AnchorChoice&, const AnchorChoice&) = default;
  };
  std::vector<AnchorChoice> AnchorChoices() const;
  // The item whose part anchors every copy: the user's choice, else the
  // template part with the most pins, the first designator on a tie.
  std::optional<std::size_t> AnchorItem() const { return FAnchorItem; }
  // PointerLabel, Coord_X and Coord_Y are shown while "Unrelated" is chosen.
  bool OriginShown() const { return FCorner == RectCorner::Unrelated; }
  bool AutoHighlight() const { return FAutoHighlight; }
  // Whether Place also repeats the template's copper and component texts in
  // every copy; until the user chooses, on exactly when the PCB has copper.
  bool CopyRouting() const { return FCopyRouting; }
  // Whether the copper standing in a copy's place is deleted before the
  // template's is copied there; on until the user unticks it.
  bool ReplaceRouting() const { return FReplaceRouting; }
  // What the last Place did, one line; empty before the first.
  const std::string& PlaceReport() const { return FPlaceReport; }
  // "Undo Place" is enabled while the last Place or Group left something to
  // put back.
  bool UndoEnabled() const { return !FUndo.empty() || !FRoutingUndo.empty(); }

  std::size_t GroupCount() const;
  uint32_t ItemsPerGroup() const { return FItemsPerGroup; }
  const std::vector<CompInfo>& Components() const { return FComps; }
  // The footprint of the selected group as of the last pass.
  const DesignRect& SelectedFootprint() const { return FItemRect; }
  // Component -> its highlight state before the page first highlighted it.
  const std::map<DBX::Component*, long>& HighlightMemory() const { return FHighlighted; }

  using Pose = placement::Pose;
  // One component moved by the last Place or Group: how it stood before and
  // how the host reported it afterwards.
  struct UndoEntry {
    DBX::Component* component;
    Pose before;
    Pose after;
  };
  // In the order of the moves.
  const std::vector<UndoEntry>& UndoMemory() const { return FUndo; }

 private:
  struct Move {
    DBX::Component* component;
    Pose to;             // absolute
    DBX::TRect outline;  // the box around where the part's outline then lies
    Outline shape;       // the outline itself
    std::size_t group;
  };
  class Notification;

  static bool IsGridField(Control control);
  // Throws std::invalid_argument for a control that is no edit field.
  static std::size_t FieldIndex(Control field);
  Field& FieldRef(Control field);
  const DBX::Design::DPack& Pcb() const;
  std::span<const CompInfo> Group(std::size_t g) const;

  // Reading a field marks it valid or invalid; an invalid one also clears
  // valid.
  std::optional<int32_t> ReadLength(Control field, bool& valid);
  std::optional<uint32_t> ReadCount(Control field, bool& valid);
  void MarkField(Control field, bool ok, bool& valid);
  // Partner writes: the text and a valid mark, no pass.
  void SetLengthField(Control field, int64_t units);
  void SetCountField(Control field, int64_t count);
  void FollowPartner(Control cause, Control gap, Control delta, int32_t size, bool& valid);
  std::optional<PlacementGrid> ReadPlacementGrid();
  // The moves that carry the template t's parts by motion onto group a; the
  // part at the anchor item stays.
  std::vector<Move> GroupMoves(std::size_t a, std::size_t t, const Motion& motion,
                               std::optional<std::size_t> anchor) const;
  // The motion of every group but t in placing order, or nothing when the
  // arrangement cannot place them (told in an Error box).
  std::optional<std::vector<std::pair<std::size_t, Motion>>> CopyMotions(std::size_t t);
  std::optional<std::size_t> DefaultAnchorItem() const;
  // Refuses moves of locked parts (an Error box) and asks before parts go
  // beyond the board or onto parts outside the groups or of the template t;
  // true when the moves may go ahead.
  bool MayApply(const std::vector<Move>& moves, std::size_t t) const;
  // The moved parts whose outline would overlap a part that stays where it
  // is, in no group or in the template t but not in the moved part's own
  // group, each with the parts it would land on.
  std::vector<PartFinding> Overlapping(const std::vector<Move>& moves, std::size_t t) const;
  // Makes the moves, remembering each one for "Undo Place" before it starts,
  // so that a failure leaves what was moved so far to undo.
  void Apply(const std::vector<Move>& moves);
  void SelectAndUpdate(std::optional<std::size_t> line, Control cause);
  // The one vector by which a group placed with its footprint at pos
  // repeats the template: pos less the footprint's corner in whole grid
  // steps.
  DesignPoint GroupShift(DesignPoint pos) const;
  // Copper items copied, replaced and not copied by one Place.
  struct RoutingCounts {
    std::size_t copied = 0;
    std::size_t replaced = 0;
    std::size_t notCopied = 0;
  };
  // before: the area of each copy's parts before the move (absolute).
  RoutingCounts CopyRoutingAndTexts(std::size_t t,
                                    const std::vector<std::pair<std::size_t, Motion>>& copies,
                                    const std::vector<DesignRect>& before);

  DBX::Design* FDesign = nullptr;
  uint32_t FItemsPerGroup = 0;
  std::vector<CompInfo> FComps;
  DesignRect FItemRect;
  std::map<DBX::Component*, long> FHighlighted;
  std::vector<UndoEntry> FUndo;
  RoutingPlacer::Changes FRoutingUndo;  // the copper and texts the last Place copied

  std::array<Field, 12> FFields;  // Rows to RoutingMargin
  std::vector<std::string> FGroupLines;
  std::optional<std::size_t> FSelected;
  std::string FItemMessage;
  std::string FGridMessage;
  bool FPlaceEnabled = false;
  RectCorner FCorner = RectCorner::LeftBottom;
  Arrangement FArrangement = Arrangement::Grid;
  std::optional<std::size_t> FAnchorItem;
  bool FAutoHighlight = false;
  bool FCopyRouting = false;
  bool FCopyRoutingChosen = false;
  bool FReplaceRouting = true;
  std::string FPlaceReport;
  std::function<void()> FListener;
  int FNotifyDepth = 0;
};

}  // namespace placement
