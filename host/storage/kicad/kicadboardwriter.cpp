#include "storage/kicad/kicadboardwriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <numbers>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "storage/designfileerror.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadfootprinttext.h"

namespace dbxhost::kicad {

namespace {

constexpr int64_t kFullTurn = 360000;  // thousandths of a degree
constexpr int64_t kHalfTurn = 180000;

std::string formatFixed(int64_t value, int decimals) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  std::string text = std::to_string(magnitude / scale);
  std::string fraction = std::to_string(magnitude % scale);
  fraction.insert(0, std::size_t(decimals) - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return negative && magnitude != 0 ? "-" + text : text;
}

// Into [0°, 360°), as KiCad keeps pad angles.
int64_t normalizedAngle(int64_t angle) {
  const int64_t a = angle % kFullTurn;
  return a < 0 ? a + kFullTurn : a;
}

// Into (-180°, 180°], as KiCad keeps footprint orientations.
int64_t normalizedOrientation(int64_t angle) {
  int64_t a = normalizedAngle(angle);
  return a > kHalfTurn ? a - kFullTurn : a;
}

std::string swappedSide(std::string_view layer) {
  if (layer.starts_with("F.")) return "B." + std::string(layer.substr(2));
  if (layer.starts_with("B.")) return "F." + std::string(layer.substr(2));
  return std::string(layer);
}

struct Edit {
  std::size_t begin, end;
  std::string text;
};

// Where the sibling before child ends: what lies between is child's leading
// space.
std::size_t previousEnd(const Sexpr& parent, const Sexpr& child) {
  std::size_t end = parent.begin + 1;
  for (const Sexpr& sibling : parent.children()) {
    if (&sibling == &child) break;
    end = sibling.end;
  }
  return end;
}

// A reference or value text the host holds elsewhere than the footprint's
// edit alone would put it: a client set it.
struct TextEdit {
  const ComponentTextKind* kind;
  const CompText* text;
  const CompText* read;  // as read; null when the file has no such text
};

// Collects the edits of one footprint whose placement or texts changed.
class FootprintEditor {
 public:
  FootprintEditor(const KicadBoard& board, const Pcb& pcb, const FootprintSource& source,
                  const Placement& placement, std::vector<Edit>& edits)
      : board_(board),
        pcb_(pcb),
        text_(board.text),
        reader_(board.sourceName),
        source_(source),
        edits_(edits),
        moved_(placement != source.placement) {
    const bool keptPlace = placement.refPoint == source.placement.refPoint;
    x_ = keptPlace ? source.x : int64_t(placement.refPoint.x) * 10;
    y_ = keptPlace ? source.y : -int64_t(placement.refPoint.y) * 10;
    // The host's turn in thousandths, exact from the file while the host kept it.
    const bool keptTurn = placement.rotation == source.placement.rotation;
    const int64_t turn = keptTurn
                             ? (source.bottom ? kHalfTurn - source.orientation : source.orientation)
                             : int64_t(placement.rotation) * 100;
    bottom_ = placement.flipped;
    orientation_ = keptTurn && bottom_ == source.bottom
                       ? source.orientation
                       : normalizedOrientation(bottom_ ? kHalfTurn - turn : turn);
  }

  // A set text is written as the host has it, whatever the footprint's own
  // edit would have done to it.
  void edit(const Sexpr& footprint, const std::vector<TextEdit>& texts) {
    std::map<const Sexpr*, const TextEdit*> rewritten;
    for (const TextEdit& edit : texts) {
      const Sexpr* item = footprintText(footprint, *edit.kind);
      if (item == nullptr || edit.read == nullptr) {
        refuse(std::string("its ") + std::string(edit.kind->legacy) +
               " text was set, but the footprint has no such text to hold it");
      }
      rewritten.emplace(item, &edit);
    }
    const bool flip = bottom_ != source_.bottom;
    const int64_t delta = orientation_ - source_.orientation;
    for (const Sexpr& child : footprint.children()) {
      if (!child.isList()) continue;
      if (const auto it = rewritten.find(&child); it != rewritten.end()) {
        rewriteText(child, *it->second);
      } else if (!moved_) {
        continue;
      } else if (child.head() == "zone") {
        placeZone(child, flip);
      } else if (child.head() == "at") {
        replaceAt(child, x_, y_, orientation_ == 0 ? std::nullopt : std::optional(orientation_));
      } else if (flip) {
        flipItem(child, footprint);
      } else if (delta != 0) {
        turnItem(child, delta);
      }
    }
  }

 private:
  [[noreturn]] void refuse(const std::string& reason) const {
    throw DesignFileError(board_.sourceName + ": not saved: footprint " +
                          quoteSexprString(source_.refDes) + ": " + reason);
  }

  // The text's offset, angle, layer, mirror and visibility as the host has
  // them, on the footprint as the host placed it.
  void rewriteText(const Sexpr& item, const TextEdit& edit) {
    const CompText& text = *edit.text;
    const Sexpr* at = item.list("at");
    const Sexpr* layer = item.list("layer");
    const Sexpr* effects = item.list("effects");
    if (at == nullptr || at->children().size() < 3 || layer == nullptr ||
        layer->children().size() < 2 || effects == nullptr) {
      refuse("its text at line " + std::to_string(item.line) +
             " lacks the (at), (layer) or (effects) that would place it");
    }
    const Sexpr& layerName = layer->children()[1];
    // The text's own layer or its other side's keep the file's spelling, also
    // for a layer the board's table does not declare.
    std::string name(layerName.text());
    if (text.layerId != edit.read->layerId) {
      const auto declared = board_.layerNames.find(text.layerId);
      if (text.layerId == pcb_.oppositeSideLayer(edit.read->layerId)) {
        name = swappedSide(layerName.text());
      } else if (declared != board_.layerNames.end()) {
        name = declared->second;
      } else {
        refuse("its text at line " + std::to_string(item.line) + " would go to layer " +
               std::to_string(text.layerId) + ", which is not a layer of the board");
      }
    }
    const BoardPoint offset =
        localOffset({x_, y_}, orientation_, {int64_t(text.at.x) * 10, -int64_t(text.at.y) * 10});
    const int64_t angle = kicadTextAngle(text.rotation, bottom_);
    const bool hadAngle = at->children().size() > 3 && at->children()[3].text() != "unlocked";
    replaceAt(*at, offset.x, offset.y,
              angle == 0 && !hadAngle ? std::nullopt : std::optional(angle));
    if (layerName.text() != name) {
      edits_.push_back({layerName.begin, layerName.end,
                        layerName.kind == Sexpr::Kind::String ? quoteSexprString(name) : name});
    }
    if (isMirrored(item) != text.flipped) toggleMirror(*effects);
    if (isHidden(item) == text.visible) setHidden(item, *layer, !text.visible);
  }

  // KiCad 6 and 7 write a bare hide after the layer, KiCad 8 and newer
  // (hide yes); a shown text has neither.
  void setHidden(const Sexpr& item, const Sexpr& layer, bool hidden) {
    const Sexpr* effects = item.list("effects");
    for (const Sexpr* holder : {&item, effects}) {
      for (const Sexpr& flag : holder->children()) {
        const bool bare = flag.kind == Sexpr::Kind::Atom && flag.text() == "hide";
        const bool list = flag.isList() && flag.head() == "hide";
        if (!bare && !list) continue;
        if (!hidden) {
          edits_.push_back({previousEnd(*holder, flag), flag.end, ""});
        } else if (list && flag.children().size() > 1) {  // (hide no)
          edits_.push_back({flag.children()[1].begin, flag.children()[1].end, "yes"});
        }
        if (!hidden || list) return;
      }
    }
    if (!hidden) return;
    const std::size_t from = previousEnd(item, layer);
    const std::string space = text_.substr(from, layer.begin - from);
    edits_.push_back(
        {layer.end, layer.end, space + (item.head() == "property" ? "(hide yes)" : "hide")});
  }

  // Replaces the numbers of (at x y [angle] ...) and keeps what follows them
  // ("unlocked").
  void replaceAt(const Sexpr& at, int64_t x, int64_t y, std::optional<int64_t> angle) {
    std::size_t last = std::min<std::size_t>(2, at.children().size() - 1);
    if (at.children().size() > 3 && at.children()[3].kind == Sexpr::Kind::Atom &&
        at.children()[3].text() != "unlocked") {
      last = 3;
    }
    std::string numbers = formatMillimetres(x) + " " + formatMillimetres(y);
    if (angle) numbers += " " + formatDegrees(*angle);
    edits_.push_back({at.children()[1].begin, at.children()[last].end, numbers});
  }

  // Zones keep board coordinates: each point keeps its place in the
  // footprint, mirrored top to bottom when the footprint changes side.
  void placeZone(const Sexpr& node, bool flip) {
    if (node.head() == "xy" && node.children().size() >= 3) {
      const double dx = double(reader_.nanometres(node, 1) - source_.x);
      const double dy = double(reader_.nanometres(node, 2) - source_.y);
      const Turn from(source_.orientation), to(orientation_);
      const double lx = dx * from.cos - dy * from.sin;
      const double ly = (dx * from.sin + dy * from.cos) * (flip ? -1 : 1);
      const int64_t x = x_ + std::llround(lx * to.cos + ly * to.sin);
      const int64_t y = y_ + std::llround(ly * to.cos - lx * to.sin);
      edits_.push_back({node.children()[1].begin, node.children()[2].end,
                        formatMillimetres(x) + " " + formatMillimetres(y)});
      return;
    }
    if (flip && (node.head() == "layer" || node.head() == "layers")) {
      swapLayers(node);
      return;
    }
    for (const Sexpr& child : node.children()) {
      if (child.isList()) placeZone(child, flip);
    }
  }

  static bool isText(const Sexpr& item) {
    return item.head() == "fp_text" || item.head() == "property" || item.head() == "fp_text_box";
  }

  // Rotation only: pad and text angles are absolute and turn with the footprint.
  void turnItem(const Sexpr& item, int64_t delta) {
    const Sexpr* at = item.list("at");
    if (at == nullptr || (item.head() != "pad" && !isText(item))) return;
    const int64_t angle = normalizedAngle(atAngle(reader_, *at) + delta);
    const bool keepZero = isText(item) && at->children().size() > 3;
    replaceAt(*at, reader_.nanometres(*at, 1), reader_.nanometres(*at, 2),
              angle == 0 && !keepZero ? std::nullopt : std::optional(angle));
  }

  // The flip of one item and everything in it, as KiCad mirrors a footprint
  // about its x axis and turns it by 180°.
  void flipItem(const Sexpr& node, const Sexpr& parent) {
    const std::string_view head = node.head();
    if (head == "model") return;  // KiCad places 3D models by the footprint's side itself
    if (head == "fp_arc" || head == "gr_arc") {
      flipArc(node);
      return;
    }
    const bool turnsWithIt = parent.head() == "pad" || isText(parent);
    if (head == "at" && turnsWithIt && node.children().size() >= 3) {
      const int64_t x = reader_.nanometres(node, 1), y = reader_.nanometres(node, 2);
      const int64_t turns = orientation_ + source_.orientation - atAngle(reader_, node);
      if (parent.head() == "pad") {
        const int64_t angle = normalizedAngle(turns);
        replaceAt(node, x, -y, angle == 0 ? std::nullopt : std::optional(angle));
      } else {
        replaceAt(node, x, -y, normalizedAngle(turns + kHalfTurn));
      }
      return;
    }
    if ((head == "at" || head == "start" || head == "end" || head == "mid" || head == "center" ||
         head == "xy" || head == "offset" || head == "rect_delta") &&
        node.children().size() >= 3) {
      const Sexpr& y = node.children()[2];
      edits_.push_back({y.begin, y.end, formatMillimetres(-reader_.nanometres(node, 2))});
      return;
    }
    if (head == "layer" || head == "layers") {
      swapLayers(node);
      return;
    }
    if (head == "chamfer") {
      static const std::map<std::string, std::string, std::less<>> kMirrored{
          {"top_left", "bottom_left"},
          {"bottom_left", "top_left"},
          {"top_right", "bottom_right"},
          {"bottom_right", "top_right"}};
      for (std::size_t i = 1; i < node.children().size(); ++i) {
        const auto it = kMirrored.find(node.children()[i].text());
        if (it != kMirrored.end()) {
          edits_.push_back({node.children()[i].begin, node.children()[i].end, it->second});
        }
      }
      return;
    }
    if (head == "effects" && isText(parent)) {
      if (onOneSide(parent)) toggleMirror(node);
      return;
    }
    for (const Sexpr& child : node.children()) {
      if (child.isList()) flipItem(child, node);
    }
  }

  void swapLayers(const Sexpr& node) {
    for (std::size_t i = 1; i < node.children().size(); ++i) {
      const Sexpr& layer = node.children()[i];
      const std::string swapped = swappedSide(layer.text());
      if (swapped == layer.text() || layer.isList()) continue;
      edits_.push_back({layer.begin, layer.end,
                        layer.kind == Sexpr::Kind::String ? quoteSexprString(swapped) : swapped});
    }
  }

  // A mirrored arc would run clockwise; KiCad keeps arcs counter-clockwise by
  // swapping their start and end as it mirrors them.
  void flipArc(const Sexpr& arc) {
    const Sexpr* start = arc.list("start");
    const Sexpr* end = arc.list("end");
    if (start == nullptr || end == nullptr || start->children().size() < 3 ||
        end->children().size() < 3) {
      reader_.fail(arc, "an arc without its start and end");
    }
    auto mirroredAt = [&](const Sexpr& into, const Sexpr& from) {
      edits_.push_back({into.children()[1].begin, into.children()[2].end,
                        formatMillimetres(reader_.nanometres(from, 1)) + " " +
                            formatMillimetres(-reader_.nanometres(from, 2))});
    };
    mirroredAt(*start, *end);
    mirroredAt(*end, *start);
    for (const Sexpr& child : arc.children()) {
      if (child.isList() && &child != start && &child != end) flipItem(child, arc);
    }
  }

  // Texts on layers of neither side (Cmts.User, User.1, ...) read the same
  // from both sides, so KiCad does not mirror them.
  static bool onOneSide(const Sexpr& text) {
    const Sexpr* layer = text.list("layer");
    return layer != nullptr && layer->children().size() > 1 &&
           swappedSide(layer->children()[1].text()) != layer->children()[1].text();
  }

  // A text on the other side reads mirrored: (justify ... mirror) comes or goes.
  void toggleMirror(const Sexpr& effects) {
    if (const Sexpr* justify = effects.list("justify")) {
      const SexprChildren parts = justify->children();
      for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].kind != Sexpr::Kind::Atom || parts[i].text() != "mirror") continue;
        if (parts.size() == 2) {  // (justify mirror) goes with the space before it
          const std::size_t from = previousEnd(effects, *justify);
          edits_.push_back({from, justify->end, ""});
        } else {
          edits_.push_back({parts[i - 1].end, parts[i].end, ""});
        }
        return;
      }
      edits_.push_back({parts.back().end, parts.back().end, " mirror"});
      return;
    }
    const Sexpr& last = effects.children().back();
    std::string space = " ";
    if (effects.children().size() >= 2) {
      const Sexpr& before = effects.children()[effects.children().size() - 2];
      space = text_.substr(before.end, last.begin - before.end);
    }
    edits_.push_back({last.end, last.end, space + "(justify mirror)"});
  }

  const KicadBoard& board_;
  const Pcb& pcb_;  // the design's: its layers
  const std::string& text_;
  const SexprReader reader_;
  const FootprintSource& source_;
  std::vector<Edit>& edits_;
  const bool moved_;
  int64_t x_ = 0, y_ = 0, orientation_ = 0;
  bool bottom_ = false;
};

// The host rounds a text's turned offset to its unit at every edit of the
// component, so a text carried there and back may end a unit or two off.
constexpr int32_t kCarryTolerance = 2;  // host units (10 nm)

bool isCarried(const CompText& carried, const CompText& text) {
  CompText near = text;
  if (std::abs(int64_t(text.at.x) - carried.at.x) <= kCarryTolerance &&
      std::abs(int64_t(text.at.y) - carried.at.y) <= kCarryTolerance) {
    near.at = carried.at;
  }
  return near == carried;
}

// The texts of a component that a client set: those the component's edits
// alone do not explain (see Pcb::textCarried). A text the file lacks but the
// design holds was set too.
std::vector<TextEdit> textEdits(const KicadBoard& board, const Pcb& pcb,
                                const FootprintSource& read, const PcbComponent& now) {
  std::vector<TextEdit> edits;
  for (const CompText& text : now.texts) {
    const auto kind =
        std::find_if(kComponentTexts.begin(), kComponentTexts.end(),
                     [&](const ComponentTextKind& k) { return k.attrType == text.attrType; });
    if (kind == kComponentTexts.end()) continue;
    const auto before = std::find_if(read.texts.begin(), read.texts.end(), [&](const CompText& t) {
      return t.attrType == text.attrType;
    });
    if (before != read.texts.end()) {
      if (before->height != text.height) {
        throw DesignFileError(board.sourceName + ": not saved: footprint " +
                              quoteSexprString(now.refDes) +
                              ": a text height change is not written back");
      }
      if (isCarried(pcb.textCarried(*before, read.placement, now.placement), text)) continue;
    }
    edits.push_back({&*kind, &text, before != read.texts.end() ? &*before : nullptr});
  }
  return edits;
}

// A list of a new item as KiCad writes it: atoms after the head on its line,
// then the child lists.
struct NewList {
  std::string head;
  std::vector<std::string> atoms;
  std::vector<NewList> lists;
};

// KiCad 6 and 7 write a board item on one line.
std::string oneLine(const NewList& list) {
  std::string text = "(" + list.head;
  for (const std::string& atom : list.atoms) text += " " + atom;
  for (const NewList& child : list.lists) text += " " + oneLine(child);
  return text + ")";
}

// KiCad 8 and 9 write each child list on a line of its own, one tab deeper;
// a list of atoms stays on its line up to column 99 (tabs count one) and
// goes on below; the points of an outline fill lines while they end within
// column 99.
std::string indented(const NewList& list, const std::string& indent) {
  constexpr std::size_t kWidth = 99;
  const std::string inner = indent + "\t";
  std::string text = "(" + list.head;
  std::size_t column = indent.size() + text.size();
  if (list.head == "pts") {
    for (std::size_t i = 0; i < list.lists.size(); ++i) {
      const std::string point = oneLine(list.lists[i]);
      if (i == 0 || column > kWidth) {
        text += "\n" + inner + point;
        column = inner.size() + point.size();
      } else {
        text += " " + point;
        column += 1 + point.size();
      }
    }
    return text + "\n" + indent + ")";
  }
  bool wrapped = false;
  for (const std::string& atom : list.atoms) {
    if (column + 1 + atom.size() > kWidth) {
      text += "\n" + inner + atom;
      column = inner.size() + atom.size();
      wrapped = true;
    } else {
      text += " " + atom;
      column += 1 + atom.size();
    }
  }
  for (const NewList& child : list.lists) text += "\n" + inner + indented(child, inner);
  return text + (wrapped || !list.lists.empty() ? "\n" + indent + ")" : ")");
}

// The copper the clients placed and deleted, and the groups that hold it.
// New items are appended after the board's last item in its indentation and
// in its KiCad version's syntax, each with a UUID drawn from the board's text
// and the item's id, so that a design saves to the same bytes every time; a
// copy of an item read from the board is that item's text with only its
// shape, net, layers and identity changed. Deleted items go with their
// leading space, so that deleting what was added gives the board back.
class CopperWriter {
 public:
  CopperWriter(const KicadBoard& board, const Design& design, const Sexpr& root,
               std::vector<Edit>& edits)
      : board_(board),
        design_(design),
        root_(root),
        edits_(edits),
        reader_(board.sourceName),
        seed_(std::hash<std::string>{}(board.text)),
        eight_(board.version >= kKicadEightVersion) {
    const Sexpr& last = root.children().back();
    const std::string_view space =
        std::string_view(board.text)
            .substr(previousEnd(root, last), last.begin - previousEnd(root, last));
    indent_ = std::string(
        space.substr(space.rfind('\n') == std::string_view::npos ? 0 : space.rfind('\n') + 1));
    if (indent_.empty()) indent_ = eight_ ? "\t" : "  ";
    appendAt_ = last.end;
    for (const auto& [id, name] : board.layerNames) layerIds_.emplace(name, id);
  }

  void write() {
    std::set<int32_t> kept;
    const Pcb& pcb = design_.pcb;
    auto each = [&](auto&& f) {
      for (const Track& t : pcb.tracks) f(t.info, [&](const std::string& u) { return text(t, u); });
      for (const ArcTrack& a : pcb.arcs)
        f(a.info, [&](const std::string& u) { return text(a, u); });
      for (const Via& v : pcb.vias) f(v.info, [&](const std::string& u) { return text(v, u); });
      for (const Zone& z : pcb.zones) f(z.info, [&](const std::string& u) { return text(z, u); });
    };
    std::string added;
    std::map<std::string, std::vector<std::string>> copperOf;  // group name -> member uuids
    each([&](const ItemInfo& info, auto&& itemText) {
      std::string uuid;
      if (board_.itemChildren.contains(info.id)) {
        kept.insert(info.id);
        const auto known = board_.itemUuids.find(info.id);
        if (known != board_.itemUuids.end()) uuid = known->second;
      } else {
        uuid = uuidFor(uint64_t(uint32_t(info.id)));
        const std::string written = itemText(uuid);
        added += "\n" + indent_ + written;
        // A copy of an item that the file keeps without identity (KiCad 10
        // writes teardrops so) has none either: KiCad makes one up on
        // loading, so a group naming the id here would name nothing.
        if (written.find(uuid) == std::string::npos) uuid.clear();
      }
      if (!info.group.empty() && !uuid.empty()) copperOf[info.group].push_back(uuid);
    });
    for (const auto& [id, child] : board_.itemChildren) {
      if (kept.contains(id)) continue;
      const Sexpr& item = root_.children().at(child);
      edits_.push_back({previousEnd(root_, item), item.end, ""});
    }
    writeGroups(copperOf, added);
    if (!added.empty()) edits_.push_back({appendAt_, appendAt_, added});
  }

 private:
  // Groups of the file keep their members that are not copper (footprints,
  // drawings) and take the copper the design puts in them; only their
  // (members ...) changes. A group left empty goes, a new name gets a group
  // of its own.
  void writeGroups(std::map<std::string, std::vector<std::string>>& copperOf, std::string& added) {
    std::set<std::string> copperUuids;
    for (const auto& [id, uuid] : board_.itemUuids) copperUuids.insert(uuid);
    for (const GroupSource& group : board_.groups) {
      if (group.name.empty()) continue;
      // Members that stay keep their order; copper new to the group follows.
      std::set<std::string> copperNow;
      if (const auto copper = copperOf.find(group.name); copper != copperOf.end()) {
        copperNow.insert(copper->second.begin(), copper->second.end());
        copperOf.erase(copper);
      }
      std::vector<std::string> members;
      for (const std::string& member : group.members) {
        if (!copperUuids.contains(member) || copperNow.erase(member) > 0) members.push_back(member);
      }
      if (members == group.members && copperNow.empty()) continue;
      members.insert(members.end(), copperNow.begin(), copperNow.end());
      const Sexpr& node = item(group.child);
      const Sexpr* listed = node.list("members");
      if (members.empty()) {
        edits_.push_back({previousEnd(root_, root_.children().at(group.child)), node.end, ""});
      } else if (listed != nullptr) {
        edits_.push_back({listed->begin, listed->end, format(membersList(members), 1)});
      } else {
        const Sexpr& last = node.children().back();
        edits_.push_back({last.end, last.end, " " + format(membersList(members), 1)});
      }
    }
    for (const auto& [name, members] : copperOf) {
      // A group's id is drawn from its name, past every item id.
      const uint64_t key = (uint64_t(1) << 32) + std::hash<std::string>{}(name);
      NewList group{"group", {quoteSexprString(name)}, {}};
      group.lists.push_back({eight_ ? "uuid" : "id", {uuidAtom(uuidFor(key))}, {}});
      group.lists.push_back(membersList(members));
      added += "\n" + indent_ + format(group, 0);
    }
  }

  NewList membersList(const std::vector<std::string>& members) const {
    NewList list{"members", {}, {}};
    for (const std::string& member : members) list.atoms.push_back(uuidAtom(member));
    return list;
  }

  // A list at a depth below the board's top level, in the file's syntax.
  std::string format(const NewList& list, int depth) const {
    return eight_ ? indented(list, indent_ + std::string(std::size_t(depth), '\t')) : oneLine(list);
  }
  std::string uuidAtom(const std::string& uuid) const {
    return eight_ ? quoteSexprString(uuid) : uuid;
  }

  // A version 4 UUID from the board's seed and a key (splitmix64 twice).
  std::string uuidFor(uint64_t key) const {
    auto mix = [](uint64_t z) {
      z += 0x9e3779b97f4a7c15ULL;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      return z ^ (z >> 31);
    };
    uint64_t high = mix(seed_ ^ mix(key)), low = mix(high ^ key);
    high = (high & ~uint64_t(0xf000)) | 0x4000;                    // version 4
    low = (low & ~(uint64_t(0xc) << 60)) | (uint64_t(0x8) << 60);  // variant 1
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", unsigned(high >> 32),
                  unsigned((high >> 16) & 0xffff), unsigned(high & 0xffff), unsigned(low >> 48),
                  static_cast<unsigned long long>(low & 0xffffffffffffULL));
    return text;
  }

  static std::string x(TPoint p) { return formatMillimetres(int64_t(p.x) * 10); }
  static std::string y(TPoint p) { return formatMillimetres(-int64_t(p.y) * 10); }
  static NewList at(const char* head, TPoint p) { return {head, {x(p), y(p)}, {}}; }
  static std::string mm(int32_t units) { return formatMillimetres(int64_t(units) * 10); }
  std::string layer(int32_t id) const {
    const auto it = board_.layerNames.find(id);
    if (it == board_.layerNames.end())
      throw DesignFileError(board_.sourceName + ": not saved: layer " + std::to_string(id) +
                            " is not a layer of the board");
    return quoteSexprString(it->second);
  }
  // KiCad 10 names an item's net, KiCad 6 to 9 give its number.
  NewList net(int32_t id) const {
    return {"net", {board_.netsByName() ? netName(id) : std::to_string(id)}, {}};
  }
  NewList uuidList(const std::string& uuid) const {
    return {eight_ ? "uuid" : "tstamp", {uuidAtom(uuid)}, {}};
  }
  std::string netName(int32_t id) const {
    const Net* n = design_.findNet(id);
    return quoteSexprString(n != nullptr ? n->name : "");
  }

  // The item read from the board that a new item copies, when it is of the
  // same kind; null for an item of the host's own.
  const Sexpr* sourceOf(const ItemInfo& info, std::string_view head) const {
    const auto child = board_.itemChildren.find(info.sourceId);
    if (info.sourceId == 0 || child == board_.itemChildren.end()) return nullptr;
    const Sexpr& node = item(child->second);
    return node.head() == head ? &node : nullptr;
  }

  // A top-level item of the board with all it holds, read on first use.
  const Sexpr& item(std::size_t child) const {
    auto it = items_.find(child);
    if (it == items_.end()) {
      const Sexpr& outline = root_.children().at(child);
      it = items_.emplace(child, parseSexprList(board_.text, outline, board_.sourceName)).first;
    }
    return it->second;
  }

  // A straight or arc track: its points, width, layer, net and identity.
  std::string trackText(const char* head, const ItemInfo& info, int32_t layerId, int32_t width,
                        std::initializer_list<std::pair<const char*, TPoint>> points,
                        const std::string& uuid) const {
    if (const Sexpr* source = sourceOf(info, head)) {
      ItemCopy copy(*this, *source);
      for (const auto& [name, p] : points) copy.point(name, p);
      copy.size("width", width);
      copy.layer(layerId);
      copy.identity(info.netId, uuid);
      return copy.text();
    }
    NewList track{head, {}, {}};
    for (const auto& [name, p] : points) track.lists.push_back(at(name, p));
    track.lists.push_back({"width", {mm(width)}, {}});
    track.lists.push_back({"layer", {layer(layerId)}, {}});
    track.lists.push_back(net(info.netId));
    track.lists.push_back(uuidList(uuid));
    return format(track, 0);
  }
  std::string text(const Track& t, const std::string& uuid) const {
    if (const Sexpr* source = sourceOf(t.info, "gr_line"))
      return drawingText(*source, t.layerId, {{"start", t.start}, {"end", t.end}}, uuid);
    if (!onCopper(t.layerId)) {
      return newDrawing("gr_line", {at("start", t.start), at("end", t.end)}, t.width, t.layerId,
                        uuid);
    }
    return trackText("segment", t.info, t.layerId, t.width, {{"start", t.start}, {"end", t.end}},
                     uuid);
  }
  std::string text(const ArcTrack& a, const std::string& uuid) const {
    if (const Sexpr* source = sourceOf(a.info, "gr_arc")) {
      return drawingText(*source, a.layerId, {{"start", a.start}, {"mid", a.mid}, {"end", a.end}},
                         uuid);
    }
    if (!onCopper(a.layerId)) {
      return newDrawing("gr_arc", {at("start", a.start), at("mid", a.mid), at("end", a.end)},
                        a.width, a.layerId, uuid);
    }
    return trackText("arc", a.info, a.layerId, a.width,
                     {{"start", a.start}, {"mid", a.mid}, {"end", a.end}}, uuid);
  }
  std::string text(const Via& v, const std::string& uuid) const {
    const Sexpr* source = sourceOf(v.info, "via");
    const Via read = source != nullptr ? sourceVia(*source) : Via{};
    if (source != nullptr && read.viaType == v.viaType) {
      ItemCopy copy(*this, *source);
      copy.point("at", v.at);
      copy.size("size", v.diameter);
      copy.size("drill", v.drill);
      copy.layers({v.startLayerId, v.endLayerId}, {read.startLayerId, read.endLayerId});
      copy.identity(v.info.netId, uuid);
      return copy.text();
    }
    NewList via{"via", {}, {}};
    if (v.viaType == DBX_18::kViaBlindBuried) via.atoms.push_back("blind");
    if (v.viaType == DBX_18::kViaMicro) via.atoms.push_back("micro");
    via.lists = {at("at", v.at),
                 {"size", {mm(v.diameter)}, {}},
                 {"drill", {mm(v.drill)}, {}},
                 {"layers", {layer(v.startLayerId), layer(v.endLayerId)}, {}},
                 net(v.info.netId),
                 uuidList(uuid)};
    return format(via, 0);
  }
  // A zone of the host's own gets KiCad 6's defaults for a new zone: the
  // model keeps no fill settings.
  std::string text(const Zone& z, const std::string& uuid) const {
    if (const Sexpr* rect = sourceOf(z.info, "gr_rect")) return rectText(*rect, z, uuid);
    if (const Sexpr* poly = sourceOf(z.info, "gr_poly")) return polyText(*poly, z, uuid);
    if (!onCopper(z.layerIds.front())) {
      return newDrawing("gr_poly", {pointsList(z.outline)}, kNewOutlineWidth, z.layerIds.front(),
                        uuid);
    }
    const Sexpr* source = sourceOf(z.info, "zone");
    const Zone read = source != nullptr ? sourceZone(*source) : Zone{};
    if (source != nullptr && read.keepout == z.keepout) {
      ItemCopy copy(*this, *source);
      copy.zone(z, read);
      copy.identity(z.info.netId, uuid);
      return copy.text();
    }
    NewList zone{"zone", {}, {net(z.info.netId)}};
    // A zone also carried its net's name before KiCad 10.
    if (!board_.netsByName()) zone.lists.push_back({"net_name", {netName(z.info.netId)}, {}});
    NewList layers{z.layerIds.size() == 1 ? "layer" : "layers", {}, {}};
    for (int32_t id : z.layerIds) layers.atoms.push_back(layer(id));
    zone.lists.push_back(layers);
    zone.lists.push_back(uuidList(uuid));
    zone.lists.push_back({"hatch", {"edge", "0.508"}, {}});
    if (z.priority > 0) zone.lists.push_back({"priority", {std::to_string(z.priority)}, {}});
    zone.lists.push_back({"connect_pads", {}, {{"clearance", {"0.508"}, {}}}});
    zone.lists.push_back({"min_thickness", {"0.254"}, {}});
    if (z.keepout) {
      zone.lists.push_back({"keepout",
                            {},
                            {{"tracks", {"not_allowed"}, {}},
                             {"vias", {"not_allowed"}, {}},
                             {"pads", {"not_allowed"}, {}},
                             {"copperpour", {"not_allowed"}, {}},
                             {"footprints", {"allowed"}, {}}}});
    }
    zone.lists.push_back(
        {"fill", {}, {{"thermal_gap", {"0.508"}, {}}, {"thermal_bridge_width", {"0.508"}, {}}}});
    NewList pts{"pts", {}, {}};
    for (TPoint p : z.outline) pts.lists.push_back(at("xy", p));
    zone.lists.push_back({"polygon", {}, {pts}});
    return format(zone, 0);
  }

  // A board drawing (or its copy) as the drawing read from the board with
  // the item's points, layer and identity; its stroke, fill and the rest
  // stay the source's.
  std::string drawingText(const Sexpr& source, int32_t layerId,
                          std::initializer_list<std::pair<const char*, TPoint>> points,
                          const std::string& uuid) const {
    ItemCopy copy(*this, source);
    for (const auto& [name, p] : points) copy.point(name, p);
    copy.layer(layerId);
    copy.identity(0, uuid);
    return copy.text();
  }
  // A rectangle stays one while its sides run along the axes; turned by any
  // other angle it becomes the polygon of its corners.
  std::string rectText(const Sexpr& source, const Zone& z, const std::string& uuid) const {
    const std::vector<TPoint>& o = z.outline;
    const bool alongAxes =
        o.size() == 4 &&
        ((o[0].y == o[1].y && o[1].x == o[2].x && o[2].y == o[3].y && o[3].x == o[0].x) ||
         (o[0].x == o[1].x && o[1].y == o[2].y && o[2].x == o[3].x && o[3].y == o[0].y));
    if (alongAxes)
      return drawingText(source, z.layerIds.front(), {{"start", o[0]}, {"end", o[2]}}, uuid);
    ItemCopy copy(*this, source);
    copy.rename("gr_poly");
    copy.replace("start", oneLine(pointsList(o)));
    copy.replace("end", "");
    copy.layer(z.layerIds.front());
    copy.identity(0, uuid);
    return copy.text();
  }
  std::string polyText(const Sexpr& source, const Zone& z, const std::string& uuid) const {
    ItemCopy copy(*this, source);
    copy.replace("pts", oneLine(pointsList(z.outline)));
    copy.layer(z.layerIds.front());
    copy.identity(0, uuid);
    return copy.text();
  }
  bool onCopper(int32_t layerId) const {
    const PcbLayer* layer = design_.pcb.findLayer(layerId);
    return layer != nullptr && layer->copper;
  }
  // A drawing of the host's own, in the file's syntax: KiCad 8 and newer
  // write its width as a stroke, older boards as a width.
  std::string newDrawing(const char* head, std::vector<NewList> shape, int32_t width,
                         int32_t layerId, const std::string& uuid) const {
    NewList drawing{head, {}, std::move(shape)};
    if (eight_) {
      drawing.lists.push_back(
          {"stroke", {}, {{"width", {mm(width)}, {}}, {"type", {"solid"}, {}}}});
    } else {
      drawing.lists.push_back({"width", {mm(width)}, {}});
    }
    if (std::string_view(head) == "gr_poly") drawing.lists.push_back({"fill", {"none"}, {}});
    drawing.lists.push_back({"layer", {layer(layerId)}, {}});
    drawing.lists.push_back(uuidList(uuid));
    return format(drawing, 0);
  }
  static constexpr int32_t kNewOutlineWidth = 10000;  // 0.1 mm

  static NewList pointsList(const std::vector<TPoint>& points) {
    NewList pts{"pts", {}, {}};
    for (TPoint p : points) pts.lists.push_back(at("xy", p));
    return pts;
  }

  // What a copy is compared with, from the text of its source: the board's
  // own model of its copper is not kept once it is served.
  int32_t layerId(const std::string& name) const {
    const auto it = layerIds_.find(name);
    return it == layerIds_.end() ? 0 : it->second;
  }
  Via sourceVia(const Sexpr& node) const {
    Via via;
    for (const Sexpr& flag : node.children()) {
      if (flag.kind != Sexpr::Kind::Atom) continue;
      if (flag.text() == "blind") via.viaType = DBX_18::kViaBlindBuried;
      if (flag.text() == "micro") via.viaType = DBX_18::kViaMicro;
    }
    const Sexpr& layers = reader_.required(node, "layers");
    via.startLayerId = layerId(reader_.text(layers, 1));
    via.endLayerId = layerId(reader_.text(layers, 2));
    return via;
  }
  // Its layers as the reader gives them (kicadboard.h) and its first outline.
  Zone sourceZone(const Sexpr& node) const {
    Zone zone;
    zone.keepout = node.list("keepout") != nullptr;
    if (const Sexpr* priority = node.list("priority"))
      zone.priority = int32_t(reader_.integer(*priority, 1));
    auto add = [&](const std::string& name) {
      if (name == "*.Cu" || name == "F&B.Cu") {
        for (const PcbLayer& layer : design_.pcb.servedLayers()) {
          const std::string& kicadName = board_.layerNames.at(layer.id);
          if (layer.copper && (name == "*.Cu" || kicadName == "F.Cu" || kicadName == "B.Cu"))
            zone.layerIds.push_back(layer.id);
        }
      } else if (name.ends_with(".Cu")) {
        zone.layerIds.push_back(layerId(name));
      }
    };
    for (const char* head : {"layer", "layers"}) {
      if (const Sexpr* layers = node.list(head)) {
        for (std::size_t i = 1; i < layers->children().size(); ++i) add(reader_.text(*layers, i));
      }
    }
    std::sort(zone.layerIds.begin(), zone.layerIds.end());
    zone.layerIds.erase(std::unique(zone.layerIds.begin(), zone.layerIds.end()),
                        zone.layerIds.end());
    const Sexpr* polygon = node.list("polygon");
    const Sexpr* pts = polygon != nullptr ? polygon->list("pts") : nullptr;
    if (pts != nullptr) {
      for (const Sexpr* xy : pts->lists("xy")) {
        zone.outline.push_back({int32_t(hostUnits(reader_.nanometres(*xy, 1))),
                                int32_t(hostUnits(-reader_.nanometres(*xy, 2)))});
      }
    }
    return zone;
  }

  // The text of an item read from the board with the values of a new item
  // in place of its own; every other byte of it stays.
  class ItemCopy {
   public:
    ItemCopy(const CopperWriter& writer, const Sexpr& source) : w_(writer), source_(source) {
      // A copy is the client's: unlocked, as the host holds it.
      for (const Sexpr& child : source.children()) {
        if ((child.kind == Sexpr::Kind::Atom && child.text() == "locked") ||
            (child.isList() && child.head() == "locked")) {
          edits_.push_back({previousEnd(source, child), child.end, ""});
        }
      }
    }

    void point(std::string_view head, TPoint p) {
      const Sexpr& node = w_.reader_.required(source_, head);
      if (node.children().size() < 3) w_.reader_.fail(node, "a point without x and y");
      edits_.push_back({node.children()[1].begin, node.children()[2].end, x(p) + " " + y(p)});
    }
    void size(std::string_view head, int32_t units) {
      const Sexpr& node = w_.reader_.required(source_, head);
      w_.reader_.text(node, 1);
      edits_.push_back({node.children()[1].begin, node.children()[1].end, mm(units)});
    }
    // The item's kind, as its first atom names it.
    void rename(std::string_view head) {
      const Sexpr& kind = source_.children().at(0);
      edits_.push_back({kind.begin, kind.end, std::string(head)});
    }
    // A list of the item in place of another one, or taken out for "".
    void replace(std::string_view head, const std::string& text) {
      const Sexpr& node = w_.reader_.required(source_, head);
      if (text.empty()) {
        edits_.push_back({previousEnd(source_, node), node.end, ""});
      } else {
        edits_.push_back({node.begin, node.end, text});
      }
    }
    void layer(int32_t id) {
      const Sexpr& node = w_.reader_.required(source_, "layer");
      w_.reader_.text(node, 1);
      edits_.push_back({node.children()[1].begin, node.children()[1].end, w_.layer(id)});
    }
    // Layer names as the file has them while the copy keeps the source's.
    void layers(const std::vector<int32_t>& ids, const std::vector<int32_t>& read) {
      if (ids == read) return;
      const Sexpr& node = w_.reader_.required(source_, "layers");
      std::string names;
      for (int32_t id : ids) names += (names.empty() ? "" : " ") + w_.layer(id);
      edits_.push_back({node.children()[1].begin, node.children().back().end, names});
    }
    void identity(int32_t netId, const std::string& uuid) {
      if (const Sexpr* net = source_.list("net")) {
        edits_.push_back({net->children()[1].begin, net->children()[1].end,
                          w_.board_.netsByName() ? w_.netName(netId) : std::to_string(netId)});
      }
      if (const Sexpr* name = source_.list("net_name")) {
        edits_.push_back({name->children()[1].begin, name->children()[1].end, w_.netName(netId)});
      }
      for (const char* head : {"tstamp", "uuid"}) {
        const Sexpr* node = source_.list(head);
        if (node == nullptr || node->children().size() < 2) continue;
        const Sexpr& value = node->children()[1];
        edits_.push_back({value.begin, value.end,
                          value.kind == Sexpr::Kind::String ? quoteSexprString(uuid) : uuid});
      }
    }

    // A zone moved as a whole keeps its fill, moved with it; any other
    // outline takes the host's points and leaves the zone to be filled again.
    void zone(const Zone& z, const Zone& read) {
      if (z.layerIds != read.layerIds) {
        const Sexpr* node = source_.list("layers");
        if (node == nullptr) node = &w_.reader_.required(source_, "layer");
        NewList layers{z.layerIds.size() == 1 ? "layer" : "layers", {}, {}};
        for (int32_t id : z.layerIds) layers.atoms.push_back(w_.layer(id));
        edits_.push_back({node->begin, node->end, oneLine(layers)});
      }
      if (z.priority != read.priority) {
        if (const Sexpr* priority = source_.list("priority")) {
          edits_.push_back({priority->children()[1].begin, priority->children()[1].end,
                            std::to_string(z.priority)});
        }
      }
      std::optional<TPoint> shift;
      if (z.outline.size() == read.outline.size() && !z.outline.empty() &&
          z.layerIds == read.layerIds) {
        shift = TPoint{z.outline[0].x - read.outline[0].x, z.outline[0].y - read.outline[0].y};
        for (std::size_t i = 0; i < z.outline.size() && shift; ++i) {
          if (z.outline[i].x - read.outline[i].x != shift->x ||
              z.outline[i].y - read.outline[i].y != shift->y)
            shift.reset();
        }
      }
      if (shift) {
        moveAll(source_, int64_t(shift->x) * 10, -int64_t(shift->y) * 10);
        return;
      }
      bool first = true;
      for (const Sexpr& child : source_.children()) {
        if (child.isList() && child.head() == "polygon" && first) {
          first = false;
          const Sexpr* pts = child.list("pts");
          std::string points;
          for (TPoint p : z.outline) points += (points.empty() ? "" : " ") + oneLine(at("xy", p));
          if (pts != nullptr && pts->children().size() > 1) {
            edits_.push_back({pts->children()[1].begin, pts->children().back().end, points});
          }
        } else if (child.isList() &&
                   (child.head() == "polygon" || child.head() == "filled_polygon")) {
          edits_.push_back({previousEnd(source_, child), child.end, ""});
        } else if (child.isList() && child.head() == "fill" && child.children().size() > 1 &&
                   child.children()[1].kind == Sexpr::Kind::Atom &&
                   child.children()[1].text() == "yes") {
          edits_.push_back({child.children()[0].end, child.children()[1].end, ""});
        }
      }
    }

    std::string text() {
      std::sort(edits_.begin(), edits_.end(),
                [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
      const std::string& board = w_.board_.text;
      std::string out;
      std::size_t done = source_.begin;
      for (const Edit& e : edits_) {
        out.append(board, done, e.begin - done);
        out += e.text;
        done = e.end;
      }
      out.append(board, done, source_.end - done);
      return out;
    }

   private:
    void moveAll(const Sexpr& node, int64_t dx, int64_t dy) {
      if (node.head() == "xy" && node.children().size() >= 3) {
        const int64_t px = w_.reader_.nanometres(node, 1) + dx;
        const int64_t py = w_.reader_.nanometres(node, 2) + dy;
        edits_.push_back({node.children()[1].begin, node.children()[2].end,
                          formatMillimetres(px) + " " + formatMillimetres(py)});
        return;
      }
      for (const Sexpr& child : node.children())
        if (child.isList()) moveAll(child, dx, dy);
    }

    const CopperWriter& w_;
    const Sexpr& source_;
    std::vector<Edit> edits_;
  };

  const KicadBoard& board_;
  const Design& design_;
  const Sexpr& root_;  // the top-level items alone
  mutable std::map<std::size_t, SexprTree> items_;
  std::vector<Edit>& edits_;
  const SexprReader reader_;
  const uint64_t seed_;
  const bool eight_;  // KiCad 8's syntax and newer
  std::string indent_;
  std::size_t appendAt_ = 0;
  std::map<std::string, int32_t> layerIds_;  // KiCad layer name -> host layer id
};

}  // namespace

std::string formatMillimetres(int64_t nanometres) { return formatFixed(nanometres, 6); }
std::string formatDegrees(int64_t milliDegrees) { return formatFixed(milliDegrees, 3); }

namespace {

// The edits that write the design into the board's text, in text order.
std::vector<Edit> boardEdits(const KicadBoard& board, const Design& design) {
  std::map<int32_t, const PcbComponent*> byId;
  for (const PcbComponent& c : design.pcb.components) byId.emplace(c.id, &c);
  // The text was read before, so it parses again; of its items only those
  // that change are read in full.
  const SexprTree root =
      parseSexpr(board.text, board.sourceName, [](std::string_view, int) { return false; });
  std::vector<Edit> edits;
  for (const FootprintSource& source : board.footprints) {
    const auto it = byId.find(source.componentId);
    if (it == byId.end() || it->second->refDes != source.refDes) continue;
    const PcbComponent& now = *it->second;
    const std::vector<TextEdit> texts = textEdits(board, design.pcb, source, now);
    if (now.placement == source.placement && texts.empty()) continue;
    const SexprTree footprint =
        parseSexprList(board.text, root.children().at(source.child), board.sourceName);
    FootprintEditor(board, design.pcb, source, now.placement, edits).edit(footprint, texts);
  }
  CopperWriter(board, design, root, edits).write();
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
  });
  return edits;
}

std::string editedText(const std::string& text, const std::vector<Edit>& edits) {
  std::string out;
  out.reserve(text.size() + 64 * edits.size());
  std::size_t done = 0;
  for (const Edit& e : edits) {
    if (e.begin < done) throw std::logic_error("overlapping edits of a KiCad board");
    out.append(text, done, e.begin - done);
    out += e.text;
    done = e.end;
  }
  out.append(text, done);
  return out;
}

}  // namespace

std::string writeKicadBoard(const KicadBoard& board, const Design& design) {
  return editedText(board.text, boardEdits(board, design));
}

void saveKicadBoard(const KicadBoard& board, const Design& design,
                    const std::filesystem::path& target) {
  const std::string name = target.string();
  const std::vector<Edit> edits = boardEdits(board, design);
  if (edits.empty()) {
    // The board's own text, which was read.
    writeFileAtomically(target, board.text);
    return;
  }
  std::string text = editedText(board.text, edits);
  try {
    // A file that could not be read back would lose the board later.
    text = parseKicadBoard(std::move(text), name).text;
  } catch (const KicadFileError& error) {
    throw DesignFileError(name + ": not saved: " + error.what());
  }
  writeFileAtomically(target, text);
}

}  // namespace dbxhost::kicad
