#include "placement/placer.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include "diag/messages.h"
#include "diag/progressscope.h"
#include "diag/tandrelerror.h"
#include "diag/waitcurs.h"
#include "placement/designgrid.h"
#include "placement/fieldparse.h"
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
  FComps.clear();
  FGroupLines.clear();
  FSelected.reset();
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
  FSelected = line;
  UpdateGrid(cause);
  if (FAutoHighlight) HighlightCurrent();
}

void TPlacer::SetCorner(RectCorner corner) {
  Notification notify(*this);
  FCorner = corner;
  UpdateGrid(Control::CornerButton);
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

  if (!item.IsEmpty()) {
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

std::vector<TPlacer::Move> TPlacer::GroupMoves(std::size_t a, std::size_t t,
                                               DesignPoint pos) const {
  const std::span<const CompInfo> target = Group(a);
  const std::span<const CompInfo> model = Group(t);
  // The template group is never moved, not even where a target group shares
  // one of its components.
  const std::set<const DBX::Component*> templateParts(model.begin(), model.end());
  // The group moves by one vector, the cell's offset from the template's
  // footprint snapped to whole grid steps: snapping every component on its
  // own would shift each by a different remainder on an off-grid template.
  const DesignPoint shift = GroupShift(pos);
  std::vector<Move> moves;
  for (std::size_t i = 0; i < FItemsPerGroup; ++i) {
    const CompInfo like = model[i];
    const CompInfo component = target[i];
    if (like == nullptr || component == nullptr || templateParts.contains(component)) continue;
    const DBX::TPoint ref = like->record.refPoint;
    const DesignPoint at{CheckedCoordinate(int64_t{ref.x} + shift.x, "Target x coordinate"),
                         CheckedCoordinate(int64_t{ref.y} + shift.y, "Target y coordinate")};
    moves.push_back({component, at, like, a});
  }
  return moves;
}

TPlacer::Pose TPlacer::Pose::Of(const DBX::TComponent& record) {
  return {record.refPoint, record.isFlipped != 0, record.rotationAng};
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

bool isDefined(const DBX::TRect& area) {
  return area.upperRight.x > area.lowerLeft.x && area.upperRight.y > area.lowerLeft.y;
}

// Where the component's outline lies once it stands at `at` turned like
// `source`, whose outline it then repeats.
DBX::TRect outlineAt(const DBX::Component& source, DesignPoint at) {
  const DBX::TComponent& record = source.record;
  const int64_t dx = int64_t{at.x} - record.refPoint.x;
  const int64_t dy = int64_t{at.y} - record.refPoint.y;
  if (FromHostRect(record.boundRect).IsEmpty()) return {{at.x, at.y}, {at.x, at.y}};
  const auto shifted = [](int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  };
  return {
      {shifted(record.boundRect.lowerLeft.x + dx), shifted(record.boundRect.lowerLeft.y + dy)},
      {shifted(record.boundRect.upperRight.x + dx), shifted(record.boundRect.upperRight.y + dy)}};
}

bool contains(const DBX::TRect& area, const DBX::TRect& rect) {
  return rect.lowerLeft.x >= area.lowerLeft.x && rect.lowerLeft.y >= area.lowerLeft.y &&
         rect.upperRight.x <= area.upperRight.x && rect.upperRight.y <= area.upperRight.y;
}

}  // namespace

bool TPlacer::MayApply(const std::vector<Move>& moves) const {
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
  std::size_t outside = 0;
  std::set<std::size_t> groups;
  for (const Move& move : moves) {
    if (isDefined(workspace) &&
        !contains(workspace, {{move.at.x, move.at.y}, {move.at.x, move.at.y}})) {
      unplaceable.emplace_back(DBX::getText(move.component->record.refDes));
    }
    const DBX::Component& source = move.like != nullptr ? *move.like : *move.component;
    if (!isDefined(board) || contains(board, outlineAt(source, move.at))) continue;
    ++outside;
    groups.insert(move.group);
  }
  if (!unplaceable.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, kBeyondWorkspace.data(),
                        joined(unplaceable).c_str());
    return false;
  }
  if (outside == 0) return true;
  std::vector<std::string> names;
  for (const std::size_t g : groups) names.push_back("G" + std::to_string(g + 1));
  return diag::AskConfirm(kOffBoardQuestion.data(), outside, joined(names).c_str());
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
      component.placeAt(move.at.x, move.at.y, move.like);
    } catch (...) {
      FUndo.back().after = Pose::Of(component.record);
      throw;
    }
    FUndo.back().after = Pose::Of(component.record);
  }
}

void TPlacer::PlaceGroupAt(std::size_t a, std::size_t t, DesignPoint pos) {
  const std::vector<Move> moves = GroupMoves(a, t, pos);
  if (MayApply(moves)) Apply(moves);
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
  const std::optional<PlacementGrid> grid = ReadPlacementGrid();
  if (!grid) throw TandrelError("The placement grid has invalid fields");
  // Every target is worked out and checked before the first move, so that a
  // refused Place moves nothing at all.
  std::vector<Move> moves;
  for (std::size_t i = 1; i < groups; ++i) {
    const DesignPoint cell = placement::CellPosition(*grid, FItemRect, static_cast<uint32_t>(i));
    const std::vector<Move> group = GroupMoves((t + i) % groups, t, cell);
    moves.insert(moves.end(), group.begin(), group.end());
  }
  if (!MayApply(moves)) return;
  Apply(moves);
  CopyRoutingAndTexts(t, *grid);
}

DesignPoint TPlacer::GroupShift(DesignPoint pos) const {
  const DesignPoint corner = FItemRect.Corner(RectCorner::LeftBottom);
  const int32_t step = Pcb().gridStep();
  return {CheckedCoordinate(SnapToStep(int64_t{pos.x} - corner.x, step), "Shift x"),
          CheckedCoordinate(SnapToStep(int64_t{pos.y} - corner.y, step), "Shift y")};
}

void TPlacer::CopyRoutingAndTexts(std::size_t t, const PlacementGrid& grid) {
  // Texts cost some host calls per part, so they go with the copper.
  if (!FCopyRouting) return;
  const std::size_t groups = GroupCount();
  std::vector<RoutingPlacer::Target> targets;
  for (std::size_t i = 1; i < groups; ++i) {
    const DesignPoint cell = placement::CellPosition(grid, FItemRect, static_cast<uint32_t>(i));
    const std::size_t a = (t + i) % groups;
    targets.push_back({a, Group(a), GroupShift(cell)});
  }
  const std::optional<int32_t> margin = ParseLength(FieldOf(Control::RoutingMargin).text);
  if (!margin) throw TandrelError("The routing margin is invalid");
  RoutingPlacer copier(*FDesign, Group(t), FItemRect, *margin);
  try {
    copier.CopyTexts(targets);
    copier.CopyRouting(targets);
  } catch (...) {
    FRoutingUndo = copier.Made();
    throw;
  }
  FRoutingUndo = copier.Made();
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
    moves.push_back(
        {component, ToDesignGrid(Pcb(), target, GridDirection::ToAbsolute), nullptr, *FSelected});
    x += int64_t{rect.Width()} + *gap;
    ++inLine;
  }
  if (moves.empty() || !MayApply(moves)) return;
  DBX::Lock lock(*FDesign, false);
  Apply(moves);
}

}  // namespace placement
