#include "placement/placer.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include "diag/log.h"
#include "diag/messages.h"
#include "diag/progressscope.h"
#include "diag/tandrelerror.h"
#include "diag/waitcurs.h"
#include "placement/designgrid.h"
#include "placement/fieldparse.h"
#include "placement/placecheck.h"
#include "placement/placertexts.h"

#include "placement/units.h"

namespace placement {

// Tells the listener once the outermost public operation ends, also when it
// ends by an exception, since fields and messages may have changed by then.
class TPlacer::Notification {
 public:
  explicit Notification(TPlacer& placer) : placer_(placer) { ++placer_.FNotifyDepth; }
  ~Notification() {
    if (--placer_.FNotifyDepth == 0 && placer_.FListener) placer_.FListener();
  }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

 private:
  TPlacer& placer_;
};

TPlacer::TPlacer() {
  FieldRef(Control::GapX).text = "1";
  FieldRef(Control::GapY).text = "1";
  FieldRef(Control::RoutingMargin).text = "1";
}

void TPlacer::SetChangeListener(std::function<void()> listener) { FListener = std::move(listener); }

bool TPlacer::IsGridField(Control control) {
  return (control >= Control::Rows && control <= Control::CoordY) ||
         control == Control::RoutingMargin;
}

std::size_t TPlacer::FieldIndex(Control field) {
  if (field < Control::Rows || field > Control::RoutingMargin) {
    throw std::invalid_argument("Not an edit field of the placement page");
  }
  return static_cast<std::size_t>(field) - static_cast<std::size_t>(Control::Rows);
}

TPlacer::Field& TPlacer::FieldRef(Control field) { return FFields[FieldIndex(field)]; }

const TPlacer::Field& TPlacer::FieldOf(Control field) const { return FFields[FieldIndex(field)]; }

std::size_t TPlacer::GroupCount() const {
  return FItemsPerGroup == 0 ? 0 : FComps.size() / FItemsPerGroup;
}

const DBX::Design::DPack& TPlacer::Pcb() const { return FDesign->pack(DBX::kToolPcb); }

std::span<const TPlacer::CompInfo> TPlacer::Group(std::size_t g) const {
  if (g >= GroupCount()) throw std::out_of_range("No group " + std::to_string(g));
  return std::span<const CompInfo>(FComps).subspan(g * FItemsPerGroup, FItemsPerGroup);
}

// ---- Fields ----

void TPlacer::MarkField(Control field, bool ok, bool& valid) {
  FieldRef(field).invalid = !ok;
  if (!ok) valid = false;
}

std::optional<int32_t> TPlacer::ReadLength(Control field, bool& valid) {
  const std::optional<int32_t> length = ParseLength(FieldRef(field).text);
  MarkField(field, length.has_value(), valid);
  return length;
}

std::optional<uint32_t> TPlacer::ReadCount(Control field, bool& valid) {
  const auto groups = static_cast<uint32_t>(std::min<std::size_t>(GroupCount(), UINT32_MAX));
  const std::optional<uint32_t> count = ParseCount(FieldRef(field).text, groups);
  // Without a column the grid has no cell to place into; rows may be 0.
  MarkField(field, count && !(field == Control::Cols && *count == 0), valid);
  return count;
}

void TPlacer::SetLengthField(Control field, int64_t units) {
  FieldRef(field) = {LengthFieldText(units), false};
}

void TPlacer::SetCountField(Control field, int64_t count) {
  FieldRef(field) = {CountFieldText(count), false};
}

void TPlacer::EditField(Control field, std::string text) {
  Notification notify(*this);
  FieldRef(field).text = std::move(text);
  if (IsGridField(field)) UpdateGrid(field);
}

// ---- Filling the page ----

void TPlacer::LoadGroups(DBX::Design& design, const std::vector<std::string>& names,
                         uint32_t itemsPerGroup) {
  Notification notify(*this);
  diag::WaitCurs wait;
  FComps.clear();
  FGroupLines.clear();
  FSelected.reset();
  FAnchorItem.reset();
  FItemRect = DesignRect::Empty();
  for (Control field = Control::Rows; field <= Control::CoordY;
       field = static_cast<Control>(static_cast<int>(field) + 1)) {
    FieldRef(field).invalid = false;
  }
  FPlaceEnabled = false;
  FDesign = &design;
  FItemsPerGroup = itemsPerGroup;

  // Without items per group there is no group to list.
  if (itemsPerGroup > 0) {
    const auto& byRefDes = Pcb().components().left;
    for (const std::string& name : names) {
      const auto found = byRefDes.find(RefDesString(name));
      FComps.push_back(found != byRefDes.end() ? found->second : nullptr);
    }
    // A last run shorter than the others still counts as a group; its
    // missing items are components not on the PCB.
    const std::size_t groups = (FComps.size() + itemsPerGroup - 1) / itemsPerGroup;
    FComps.resize(groups * itemsPerGroup, nullptr);
  }
  for (std::size_t g = 0; g < GroupCount(); ++g) {
    std::string line;
    for (const CompInfo component : Group(g)) {
      if (component == nullptr) continue;
      if (!line.empty()) line += ",";
      line += DBX::getText(component->record.refDes);
    }
    FGroupLines.push_back(line.empty() ? std::string(kEmptyGroupLine) : line);
  }

  if (!FCopyRoutingChosen) FCopyRouting = design.hasPcbItems();

  const auto groups = static_cast<uint32_t>(std::min<std::size_t>(GroupCount(), UINT32_MAX));
  const uint32_t rows = InitialRows(groups);
  SetCountField(Control::Rows, rows);
  SetCountField(Control::Cols, CompanionCount(rows, groups));
  SelectAndUpdate(std::nullopt, Control::None);
}

void TPlacer::DesignCleared() {
  Notification notify(*this);
  FDesign = nullptr;
  FHighlighted.clear();
  FCopyRoutingChosen = false;
  FUndo.clear();
  FRoutingUndo = {};
  FPlaceReport.clear();
  FComps.clear();
  FGroupLines.clear();
  FSelected.reset();
  FAnchorItem.reset();
  FItemRect = DesignRect::Empty();
  FItemMessage.clear();
  FGridMessage.clear();
  FPlaceEnabled = false;
  SetCountField(Control::Rows, 0);
  SetCountField(Control::Cols, 0);
}

// ---- Selection, corner, passes ----

void TPlacer::GroupsListClick(std::optional<std::size_t> line) {
  SelectAndUpdate(line, Control::GroupsList);
}

void TPlacer::SelectAndUpdate(std::optional<std::size_t> line, Control cause) {
  Notification notify(*this);
  if (line && *line >= GroupCount()) throw std::out_of_range("No group " + std::to_string(*line));
  diag::WaitCurs wait;
  if (line != FSelected) {
    FSelected = line;
    FAnchorItem = DefaultAnchorItem();
  }
  UpdateGrid(cause);
  if (FAutoHighlight) HighlightCurrent();
}

void TPlacer::SetCorner(RectCorner corner) {
  Notification notify(*this);
  FCorner = corner;
  UpdateGrid(Control::CornerButton);
}

void TPlacer::SetArrangement(Arrangement arrangement) {
  Notification notify(*this);
  FArrangement = arrangement;
  UpdateGrid(Control::None);
}

std::vector<TPlacer::AnchorChoice> TPlacer::AnchorChoices() const {
  std::vector<AnchorChoice> choices;
  if (!FSelected) return choices;
  const std::span<const CompInfo> model = Group(*FSelected);
  for (std::size_t i = 0; i < model.size(); ++i) {
    if (model[i] != nullptr)
      choices.push_back({i, std::string(DBX::getText(model[i]->record.refDes))});
  }
  return choices;
}

std::optional<std::size_t> TPlacer::DefaultAnchorItem() const {
  if (!FSelected) return std::nullopt;
  const std::span<const CompInfo> model = Group(*FSelected);
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < model.size(); ++i) {
    if (model[i] == nullptr) continue;
    if (!best) {
      best = i;
      continue;
    }
    const DBX::Component& leader = *model[*best];
    const std::size_t pins = model[i]->pins.size();
    if (pins > leader.pins.size() ||
        (pins == leader.pins.size() &&
         RefDesString(std::string(DBX::getText(model[i]->record.refDes))) <
             RefDesString(std::string(DBX::getText(leader.record.refDes))))) {
      best = i;
    }
  }
  return best;
}

void TPlacer::SetAnchorItem(std::size_t item) {
  Notification notify(*this);
  const std::vector<AnchorChoice> choices = AnchorChoices();
  if (std::ranges::find(choices, item, &AnchorChoice::item) == choices.end()) {
    throw std::out_of_range("No anchor part at item " + std::to_string(item));
  }
  FAnchorItem = item;
  UpdateGrid(Control::None);
}

void TPlacer::FollowPartner(Control cause, Control gap, Control delta, int32_t size, bool& valid) {
  // An invalid master leaves its partner as the user left it.
  if (cause == gap || cause == Control::GroupsList) {
    if (const auto value = ReadLength(gap, valid)) SetLengthField(delta, int64_t{*value} + size);
  } else if (cause == delta) {
    if (const auto value = ReadLength(delta, valid)) SetLengthField(gap, int64_t{*value} - size);
  }
}

void TPlacer::UpdateGrid(Control cause) {
  Notification notify(*this);
  bool valid = true;
  const auto groups = static_cast<uint32_t>(std::min<std::size_t>(GroupCount(), UINT32_MAX));

  DesignRect item = DesignRect::Empty();
  if (!FSelected) {
    FItemMessage.clear();
    FGridMessage.clear();
    valid = false;
  } else {
    item = ItemRect(Pcb(), Group(*FSelected));
    FItemMessage = std::string(kItemMessagePrefix) + FormatLength(item.Width()) + "x" +
                   FormatLength(item.Height());
  }
  FItemRect = item;

  if (cause == Control::Rows) {
    SetCountField(Control::Cols, CompanionCount(ReadCount(Control::Rows, valid), groups));
  } else if (cause == Control::Cols) {
    SetCountField(Control::Rows, CompanionCount(ReadCount(Control::Cols, valid), groups));
  }

  // The anchors need none of the grid's fields, only an anchor part.
  if (FArrangement == Arrangement::Anchors) {
    FGridMessage.clear();
    if (!FAnchorItem) valid = false;
  } else if (!item.IsEmpty()) {
    PlacementGrid grid;
    const auto rows = ReadCount(Control::Rows, valid);
    const auto cols = ReadCount(Control::Cols, valid);
    FollowPartner(cause, Control::GapY, Control::DeltaY, item.Height(), valid);
    FollowPartner(cause, Control::GapX, Control::DeltaX, item.Width(), valid);
    const auto deltaX = ReadLength(Control::DeltaX, valid);
    const auto gapX = ReadLength(Control::GapX, valid);
    const auto deltaY = ReadLength(Control::DeltaY, valid);
    const auto gapY = ReadLength(Control::GapY, valid);
    grid.corner = FCorner;
    if (FCorner == RectCorner::Unrelated) {
      const auto x = ReadLength(Control::CoordX, valid);
      const auto y = ReadLength(Control::CoordY, valid);
      if (valid) grid.origin = {*x, *y};
    }
    if (valid) {
      grid.rows = *rows;
      grid.cols = *cols;
      grid.gapX = *gapX;
      grid.gapY = *gapY;
      grid.deltaX = *deltaX;
      grid.deltaY = *deltaY;
      if (const std::optional<DesignRect> extent = GridRect(grid, item)) {
        FGridMessage = std::string(kGridMessagePrefix) +
                       FormatLength(extent->right - extent->left) + "x" +
                       FormatLength(extent->top - extent->bottom) + " (" +
                       FormatLength(extent->left) + "," + FormatLength(extent->bottom) + "-" +
                       FormatLength(extent->right) + "," + FormatLength(extent->top) + ")";
      } else {
        // A grid beyond the host's coordinates: its pitches are what is wrong.
        MarkField(Control::DeltaX, false, valid);
        MarkField(Control::DeltaY, false, valid);
      }
    }
  }
  // The margin matters only while the copper is copied.
  if (FCopyRouting) {
    ReadLength(Control::RoutingMargin, valid);
  } else {
    FieldRef(Control::RoutingMargin).invalid = false;
  }
  if (!valid) FGridMessage.clear();
  FPlaceEnabled = valid;
}

// ---- Placing ----

std::optional<PlacementGrid> TPlacer::ReadPlacementGrid() {
  // Placing reads the columns, the pitches and the origin only.
  bool valid = true;
  PlacementGrid grid;
  grid.corner = FCorner;
  const auto cols = ReadCount(Control::Cols, valid);
  const auto deltaX = ReadLength(Control::DeltaX, valid);
  const auto deltaY = ReadLength(Control::DeltaY, valid);
  std::optional<int32_t> x = 0;
  std::optional<int32_t> y = 0;
  if (FCorner == RectCorner::Unrelated) {
    x = ReadLength(Control::CoordX, valid);
    y = ReadLength(Control::CoordY, valid);
  }
  if (!valid) return std::nullopt;
  grid.cols = *cols;
  grid.deltaX = *deltaX;
  grid.deltaY = *deltaY;
  grid.origin = {*x, *y};
  return grid;
}

DesignPoint TPlacer::CellPosition(uint32_t k) {
  Notification notify(*this);
  const std::optional<PlacementGrid> grid = ReadPlacementGrid();
  if (!grid) throw TandrelError("The placement grid has invalid fields");
  return placement::CellPosition(*grid, FItemRect, k);
}

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

// Where the outline of a part lies once it repeats source carried by motion:
// its rectangle corner by corner, so that a turned part stays a turned
// rectangle.
Outline shapeAt(const DBX::Component& source, const Motion& motion) {
  const DBX::TComponent& record = source.record;
  if (FromHostRect(record.boundRect).IsEmpty()) {
    const DBX::TPoint at = motion.Apply(record.refPoint, "Target position");
    return {at, at, at, at};
  }
  Outline shape = OutlineOf(record.boundRect);
  for (DBX::TPoint& corner : shape) corner = motion.Apply(corner, "Outline corner");
  return shape;
}

// Whether the insides of two boxes meet.
bool boxesMeet(const DBX::TRect& a, const DBX::TRect& b) {
  return a.lowerLeft.x < b.upperRight.x && b.lowerLeft.x < a.upperRight.x &&
         a.lowerLeft.y < b.upperRight.y && b.lowerLeft.y < a.upperRight.y;
}

}  // namespace

std::vector<TPlacer::Move> TPlacer::GroupMoves(std::size_t a, std::size_t t, const Motion& motion,
                                               std::optional<std::size_t> anchor) const {
  const std::span<const CompInfo> target = Group(a);
  const std::span<const CompInfo> model = Group(t);
  // The template group is never moved, not even where a target group shares
  // one of its components.
  const std::set<const DBX::Component*> templateParts(model.begin(), model.end());
  std::vector<Move> moves;
  for (std::size_t i = 0; i < FItemsPerGroup; ++i) {
    const CompInfo like = model[i];
    const CompInfo component = target[i];
    // A copy's anchor already stands where it belongs and is not touched.
    if (like == nullptr || component == nullptr || templateParts.contains(component) ||
        i == anchor) {
      continue;
    }
    const Outline shape = shapeAt(*like, motion);
    moves.push_back({component, motion.Apply(Pose::Of(like->record)), BoxAround(shape), shape, a});
  }
  return moves;
}

namespace {

bool isDefined(const DBX::TRect& area) {
  return area.upperRight.x > area.lowerLeft.x && area.upperRight.y > area.lowerLeft.y;
}

bool contains(const DBX::TRect& area, const DBX::TRect& rect) {
  return rect.lowerLeft.x >= area.lowerLeft.x && rect.lowerLeft.y >= area.lowerLeft.y &&
         rect.upperRight.x <= area.upperRight.x && rect.upperRight.y <= area.upperRight.y;
}

}  // namespace

bool TPlacer::MayApply(const std::vector<Move>& moves, std::size_t t) const {
  std::vector<std::string> locked;
  for (const Move& move : moves) {
    if (move.component->record.isFixed != 0) {
      locked.emplace_back(DBX::getText(move.component->record.refDes));
    }
  }
  if (!locked.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, kLockedParts.data(), joined(locked).c_str());
    return false;
  }
  // The host refuses a reference point beyond its workspace: such a Place
  // would stop half done. Beside the board is allowed but asked about; a host
  // that knows no outline offers its workspace as the board.
  const DBX::TDesign& header = Pcb().header();
  const DBX::TRect& workspace = header.workspaceExtents;
  const DBX::TRect& board = isDefined(header.boardExtents) ? header.boardExtents : workspace;
  std::vector<std::string> unplaceable;
  std::vector<PartFinding> outside;
  for (const Move& move : moves) {
    const DBX::TPoint at = move.to.refPoint;
    if (isDefined(workspace) && !contains(workspace, {at, at})) {
      unplaceable.emplace_back(DBX::getText(move.component->record.refDes));
    }
    if (!isDefined(board) || contains(board, move.outline)) continue;
    outside.push_back({move.group, std::string(DBX::getText(move.component->record.refDes)), {}});
  }
  if (!unplaceable.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, kBeyondWorkspace.data(),
                        joined(unplaceable).c_str());
    return false;
  }
  const std::string question = PlaceQuestion(outside, Overlapping(moves, t));
  return question.empty() || diag::AskConfirm("%s", question.c_str());
}

std::vector<PartFinding> TPlacer::Overlapping(const std::vector<Move>& moves, std::size_t t) const {
  std::set<const DBX::Component*> moving;
  for (const Move& move : moves) moving.insert(move.component);
  // The other copies are arranged with the template and make room for one
  // another; what the copies must not land on is the rest of the board and
  // the template itself.
  std::set<const DBX::Component*> arranged(FComps.begin(), FComps.end());
  for (const CompInfo component : Group(t)) arranged.erase(component);
  std::vector<const DBX::Component*> staying;
  for (const auto& [refDes, component] : Pcb().components().left) {
    if (!moving.contains(component) && !arranged.contains(component)) {
      staying.push_back(component);
    }
  }
  std::vector<PartFinding> findings;
  for (const Move& move : moves) {
    // A part's own group stands around it as in the template.
    const std::span<const CompInfo> own = Group(move.group);
    std::vector<std::string> on;
    for (const DBX::Component* other : staying) {
      const DBX::TRect& box = other->record.boundRect;
      if (!boxesMeet(move.outline, box) || !Overlaps(move.shape, OutlineOf(box)) ||
          std::find(own.begin(), own.end(), other) != own.end()) {
        continue;
      }
      on.emplace_back(DBX::getText(other->record.refDes));
    }
    if (!on.empty()) {
      findings.push_back(
          {move.group, std::string(DBX::getText(move.component->record.refDes)), std::move(on)});
    }
  }
  return findings;
}

void TPlacer::Apply(const std::vector<Move>& moves) {
  FUndo.clear();
  FRoutingUndo = {};
  for (const Move& move : moves) {
    DBX::Component& component = *move.component;
    const Pose before = Pose::Of(component.record);
    FUndo.push_back({&component, before, before});
    // The host writes every step that succeeded back into the record, so the
    // record tells where a failed move left the component.
    try {
      diag::progressStep();
      component.placeOriented(move.to.refPoint.x, move.to.refPoint.y, move.to.flipped,
                              move.to.rotationAng);
    } catch (...) {
      FUndo.back().after = Pose::Of(component.record);
      throw;
    }
    FUndo.back().after = Pose::Of(component.record);
  }
}

void TPlacer::PlaceGroupAt(std::size_t a, std::size_t t, DesignPoint pos) {
  const DesignPoint shift = GroupShift(pos);
  const std::vector<Move> moves = GroupMoves(a, t, Motion(shift.x, shift.y), std::nullopt);
  if (MayApply(moves, t)) Apply(moves);
}

std::optional<std::vector<std::pair<std::size_t, Motion>>> TPlacer::CopyMotions(std::size_t t) {
  const std::size_t groups = GroupCount();
  std::vector<std::pair<std::size_t, Motion>> copies;
  if (FArrangement == Arrangement::Grid) {
    const std::optional<PlacementGrid> grid = ReadPlacementGrid();
    if (!grid) throw TandrelError("The placement grid has invalid fields");
    for (std::size_t i = 1; i < groups; ++i) {
      const DesignPoint cell = placement::CellPosition(*grid, FItemRect, static_cast<uint32_t>(i));
      const DesignPoint shift = GroupShift(cell);
      copies.emplace_back((t + i) % groups, Motion(shift.x, shift.y));
    }
    return copies;
  }
  const std::size_t item = FAnchorItem.value_or(FItemsPerGroup);
  const CompInfo anchor = item < FItemsPerGroup ? Group(t)[item] : nullptr;
  if (anchor == nullptr) {
    diag::ReportMessage(diag::MessageKind::Error, "%s", kNoAnchorInTemplate.data());
    return std::nullopt;
  }
  std::vector<std::string> withoutAnchor;
  for (std::size_t i = 1; i < groups; ++i) {
    const std::size_t a = (t + i) % groups;
    const CompInfo copyAnchor = Group(a)[item];
    if (copyAnchor == nullptr) {
      withoutAnchor.push_back("G" + std::to_string(a + 1));
      continue;
    }
    copies.emplace_back(a, Motion::Between(Pose::Of(anchor->record), Pose::Of(copyAnchor->record)));
  }
  if (!withoutAnchor.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, kNoPartAtAnchor.data(),
                        joined(withoutAnchor).c_str());
    return std::nullopt;
  }
  return copies;
}

void TPlacer::PlaceGroups(std::size_t t) {
  Notification notify(*this);
  const std::size_t groups = GroupCount();
  if (t >= groups) throw std::out_of_range("No group " + std::to_string(t));
  if (groups < 2) return;
  if (FItemRect.IsEmpty()) {
    diag::ReportMessage(diag::MessageKind::Error, "%s", kNoTemplateOnPcb.data());
    return;
  }
  const auto copies = CopyMotions(t);
  if (!copies) return;
  // Every target is worked out and checked before the first move, so that a
  // refused Place moves nothing at all.
  const std::optional<std::size_t> anchor =
      FArrangement == Arrangement::Anchors ? FAnchorItem : std::nullopt;
  std::vector<Move> moves;
  std::vector<DesignRect> before;
  for (const auto& [a, motion] : *copies) {
    const std::vector<Move> group = GroupMoves(a, t, motion, anchor);
    moves.insert(moves.end(), group.begin(), group.end());
    before.push_back(HostItemRect(Group(a)));
  }
  if (!MayApply(moves, t)) return;
  Apply(moves);
  const RoutingCounts routing = CopyRoutingAndTexts(t, *copies, before);
  FPlaceReport = "Placed " + std::to_string(copies->size()) +
                 " groups: " + std::to_string(moves.size()) + " parts moved, " +
                 std::to_string(routing.copied) + " items copied, " +
                 std::to_string(routing.replaced) + " items replaced, " +
                 std::to_string(routing.notCopied) + " items not copied.";
  diag::TD_Message(FPlaceReport.c_str());
}

DesignPoint TPlacer::GroupShift(DesignPoint pos) const {
  const DesignPoint corner = FItemRect.Corner(RectCorner::LeftBottom);
  const int32_t step = Pcb().gridStep();
  return {CheckedCoordinate(SnapToStep(int64_t{pos.x} - corner.x, step), "Shift x"),
          CheckedCoordinate(SnapToStep(int64_t{pos.y} - corner.y, step), "Shift y")};
}

TPlacer::RoutingCounts TPlacer::CopyRoutingAndTexts(
    std::size_t t, const std::vector<std::pair<std::size_t, Motion>>& copies,
    const std::vector<DesignRect>& before) {
  // Texts cost some host calls per part, so they go with the copper.
  if (!FCopyRouting) return {};
  std::vector<RoutingPlacer::Target> targets;
  for (std::size_t c = 0; c < copies.size(); ++c) {
    const auto& [a, motion] = copies[c];
    targets.push_back({a, Group(a), motion, before[c]});
  }
  const std::optional<int32_t> margin = ParseLength(FieldOf(Control::RoutingMargin).text);
  if (!margin) throw TandrelError("The routing margin is invalid");
  RoutingPlacer copier(*FDesign, Group(t), FItemRect, *margin, FReplaceRouting);
  try {
    copier.CopyTexts(targets);
    copier.CopyRouting(targets);
  } catch (...) {
    FRoutingUndo = copier.Made();
    throw;
  }
  FRoutingUndo = copier.Made();
  return {copier.PlacedCount(), copier.DeletedCount(), copier.Skipped().size()};
}

void TPlacer::UpdateClick() {
  Notification notify(*this);
  if (FDesign == nullptr) return;
  { DBX::Lock verify(*FDesign, true); }
  UpdateGrid(Control::GroupsList);
}

void TPlacer::PlaceClick() {
  Notification notify(*this);
  if (FDesign == nullptr) return;
  { DBX::Lock verify(*FDesign, true); }
  UpdateGrid(Control::GroupsList);
  // The fresh data may have made a field invalid; never place from one.
  if (!FSelected || !FPlaceEnabled) return;
  DBX::Lock lock(*FDesign, false);
  diag::ProgressScope shown("Placing the groups...");
  PlaceGroups(*FSelected);
}

void TPlacer::UndoPlaceClick() {
  Notification notify(*this);
  if (FDesign == nullptr || !UndoEnabled()) return;
  diag::WaitCurs wait;
  // The verification brings every record up to date with the host, so that
  // a part the user moved since is recognised.
  DBX::Lock lock(*FDesign, true);
  std::vector<std::string> changed;
  for (const UndoEntry& entry : FUndo) {
    if (Pose::Of(entry.component->record) != entry.after) {
      changed.emplace_back(DBX::getText(entry.component->record.refDes));
    }
  }
  if (!changed.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, kChangedSincePlace.data(),
                        joined(changed).c_str());
  }
  // The copies' copper and texts go first: the texts are put back where they
  // were beside the placed parts, and the parts then carry them home.
  RoutingPlacer::TakeBack(*FDesign, FRoutingUndo);
  // Last move first, so that a part moved twice ends where it began. Each
  // entry goes before its host calls: a part the host refuses is not tried
  // again, the ones still remembered are put back by the next Undo.
  while (!FUndo.empty()) {
    const UndoEntry entry = FUndo.back();
    FUndo.pop_back();
    if (Pose::Of(entry.component->record) != entry.after) continue;
    const Pose& before = entry.before;
    entry.component->placeOriented(before.refPoint.x, before.refPoint.y, before.flipped,
                                   before.rotationAng);
  }
}

// ---- Group tools ----

void TPlacer::SetCopyRouting(bool on) {
  Notification notify(*this);
  FCopyRouting = on;
  FCopyRoutingChosen = true;
  UpdateGrid(Control::None);
}

void TPlacer::SetReplaceRouting(bool on) {
  Notification notify(*this);
  FReplaceRouting = on;
}

void TPlacer::SetAutoHighlight(bool on) {
  Notification notify(*this);
  FAutoHighlight = on;
  if (on) {
    HighlightCurrent();
  } else {
    UnHighlightAll();
  }
}

void TPlacer::UnHighlightAll() {
  Notification notify(*this);
  // Nothing to restore needs no conversation.
  if (FHighlighted.empty()) return;
  diag::WaitCurs wait;
  DBX::Lock lock(*FDesign, false);
  // Each entry goes once its state is back, so a failing host call leaves
  // the rest remembered for the next try.
  while (!FHighlighted.empty()) {
    const auto first = FHighlighted.begin();
    first->first->setHighlight(static_cast<int32_t>(first->second));
    FHighlighted.erase(first);
  }
}

void TPlacer::HighlightCurrent() {
  Notification notify(*this);
  if (FDesign == nullptr) return;
  diag::WaitCurs wait;
  DBX::Lock lock(*FDesign, false);
  UnHighlightAll();
  if (!FSelected) return;
  for (const CompInfo component : Group(*FSelected)) {
    if (component == nullptr) continue;
    FHighlighted.try_emplace(component, component->record.isHighlighted);
    component->setHighlight(kHighlightColor);
  }
}

void TPlacer::GatherTemplate() {
  Notification notify(*this);
  bool valid = true;
  const auto x0 = ReadLength(Control::GrpX, valid);
  const auto y0 = ReadLength(Control::GrpY, valid);
  const auto gap = ReadLength(Control::GrGap, valid);
  if (!valid || !FSelected) return;

  // The nearest whole number to the root of the items, so the block comes
  // out about square.
  const auto perLine =
      std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(double(FItemsPerGroup)) + 0.5));
  std::vector<Move> moves;
  int64_t y = *y0;
  int64_t x = *x0;
  int64_t lineHeight = 0;
  std::size_t inLine = 0;
  for (const CompInfo component : Group(*FSelected)) {
    if (component == nullptr) continue;
    if (inLine == perLine) {
      y += lineHeight;
      x = *x0;
      lineHeight = 0;
      inLine = 0;
    }
    const DBX::TRect& bound = component->record.boundRect;
    const DesignRect rect = FromHostRect(bound);
    lineHeight = std::max(lineHeight, int64_t{rect.Height()} + *gap);
    const DBX::TPoint ref = component->record.refPoint;
    const DesignPoint r = ToDesignGrid(Pcb(), {ref.x, ref.y}, GridDirection::ToRelative);
    const DesignPoint b =
        ToDesignGrid(Pcb(), {bound.lowerLeft.x, bound.lowerLeft.y}, GridDirection::ToRelative);
    const DesignPoint target{CheckedCoordinate(x + r.x - b.x, "Group x coordinate"),
                             CheckedCoordinate(y + r.y - b.y, "Group y coordinate")};
    const DesignPoint at = ToDesignGrid(Pcb(), target, GridDirection::ToAbsolute);
    const Motion shift(CheckedCoordinate(int64_t{at.x} - ref.x, "Group x shift"),
                       CheckedCoordinate(int64_t{at.y} - ref.y, "Group y shift"));
    const Outline shape = shapeAt(*component, shift);
    moves.push_back(
        {component, shift.Apply(Pose::Of(component->record)), BoxAround(shape), shape, *FSelected});
    x += int64_t{rect.Width()} + *gap;
    ++inLine;
  }
  if (moves.empty() || !MayApply(moves, *FSelected)) return;
  DBX::Lock lock(*FDesign, false);
  Apply(moves);
}

}  // namespace placement
