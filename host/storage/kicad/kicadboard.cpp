#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadfootprinttext.h"
#include "storage/kicad/kicadtext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <set>
#include <tuple>

#include "model/geometry.h"
#include "storage/fileio.h"

namespace dbxhost::kicad {

namespace {

// What the board reader looks into: every item KiCad 6 to 10 writes at the
// top of a board but its embedded files, and nowhere a zone's fill (the
// bulk of a routed board, as many points as its outline has thousands).
// Items KiCad does not write are checked, never built: a hostile board of
// millions of tokens in one of them costs no memory for them.
bool isBoardListRead(std::string_view head, int depth) {
  static constexpr std::string_view kItems[] = {"version",       "generator",   "generator_version",
                                                "host",          "general",     "paper",
                                                "page",          "title_block", "layers",
                                                "setup",         "property",    "net",
                                                "net_class",     "image",       "barcode",
                                                "table",         "dimension",   "module",
                                                "footprint",     "segment",     "arc",
                                                "via",           "zone",        "group",
                                                "generated",     "target",      "point",
                                                "embedded_fonts"};
  if (head == "filled_polygon" || head == "fill_segments") return false;
  if (depth != 1 || head.starts_with("gr_")) return true;
  return std::find(std::begin(kItems), std::end(kItems), head) != std::end(kItems);
}

// Computed nanometres in host units. Far-off values (the centre of a nearly
// straight arc) are held where the range checks still refuse them.
int64_t unitsOf(double nanometres) {
  constexpr double kFar = double(int64_t{1} << 60);
  if (std::isnan(nanometres)) return hostUnits(int64_t{1} << 60);
  return hostUnits(std::llround(std::clamp(nanometres, -kFar, kFar)));
}

// An axis-aligned box of KiCad local points, in nanometres.
struct Box {
  double left = std::numeric_limits<double>::max(), top = left;
  double right = std::numeric_limits<double>::lowest(), bottom = right;
  bool empty() const { return left > right; }
  void add(double x, double y) {
    left = std::min(left, x);
    right = std::max(right, x);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
};

struct Point {
  double x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// The circle through an arc's start, mid and end, and the arc's sweep on it:
// from the start angle by span (signed) radians. None for collinear points.
struct ArcSweep {
  Point centre;
  double radius = 0, from = 0, span = 0;
  Point at(double angle) const {
    return {centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)};
  }
};

std::optional<ArcSweep> sweepThrough(Point s, Point m, Point e) {
  const double d = 2 * (s.x * (m.y - e.y) + m.x * (e.y - s.y) + e.x * (s.y - m.y));
  if (std::abs(d) < 1e-9) return std::nullopt;
  const double s2 = s.x * s.x + s.y * s.y, m2 = m.x * m.x + m.y * m.y, e2 = e.x * e.x + e.y * e.y;
  ArcSweep arc;
  arc.centre = {(s2 * (m.y - e.y) + m2 * (e.y - s.y) + e2 * (s.y - m.y)) / d,
                (s2 * (e.x - m.x) + m2 * (s.x - e.x) + e2 * (m.x - s.x)) / d};
  arc.radius = std::hypot(s.x - arc.centre.x, s.y - arc.centre.y);
  const double twoPi = 2 * std::numbers::pi;
  auto angleOf = [&](Point p) { return std::atan2(p.y - arc.centre.y, p.x - arc.centre.x); };
  auto ccwSpan = [&](double from, double to) {
    const double span = std::fmod(to - from, twoPi);
    return span < 0 ? span + twoPi : span;
  };
  arc.from = angleOf(s);
  const double toMid = ccwSpan(arc.from, angleOf(m)), toEnd = ccwSpan(arc.from, angleOf(e));
  arc.span = toMid <= toEnd ? toEnd : toEnd - twoPi;
  return arc;
}

// Adds the extent of the arc from start through mid to end: its ends and
// every axis extreme of its circle that the arc passes.
void addArc(Box& box, Point s, Point m, Point e) {
  box.add(s.x, s.y);
  box.add(e.x, e.y);
  const std::optional<ArcSweep> arc = sweepThrough(s, m, e);
  if (!arc) {
    box.add(m.x, m.y);
    return;
  }
  const double low = std::min(arc->from, arc->from + arc->span);
  const double high = std::max(arc->from, arc->from + arc->span);
  for (int quarter = -8; quarter <= 8; ++quarter) {
    const double angle = quarter * std::numbers::pi / 2;
    if (angle >= low && angle <= high) {
      const Point p = arc->at(angle);
      box.add(p.x, p.y);
    }
  }
}

// The points of an arc from start to end, a chord at least every 10°.
std::vector<Point> arcPoints(Point s, Point m, Point e) {
  const std::optional<ArcSweep> arc = sweepThrough(s, m, e);
  if (!arc) return {s, e};
  const int steps = std::max(2, int(std::ceil(std::abs(arc->span) / (std::numbers::pi / 18))));
  std::vector<Point> points{s};
  for (int i = 1; i < steps; ++i) points.push_back(arc->at(arc->from + arc->span * i / steps));
  points.push_back(e);
  return points;
}

// Ends of outline pieces this close meet, as KiCad chains a board's edge
// (its 0.02 mm): boards drawn by hand leave gaps of a micrometre or so.
constexpr double kChainingNanometres = 20000;

bool meet(const Point& a, const Point& b) {
  return std::hypot(a.x - b.x, a.y - b.y) <= kChainingNanometres;
}

// Joins open outline pieces end to end into closed loops; returns the loop
// that spans the largest box (the board's edge rather than a cut-out).
std::vector<Point> largestLoop(std::vector<std::vector<Point>> pieces,
                               std::vector<std::vector<Point>> loops) {
  while (!pieces.empty()) {
    std::vector<Point> loop = std::move(pieces.back());
    pieces.pop_back();
    for (bool grown = true; grown && !(loop.size() > 2 && meet(loop.front(), loop.back()));) {
      grown = false;
      for (auto it = pieces.begin(); it != pieces.end(); ++it) {
        if (meet(it->front(), loop.back()) || meet(it->back(), loop.back())) {
          if (!meet(it->front(), loop.back())) std::reverse(it->begin(), it->end());
          loop.insert(loop.end(), it->begin() + 1, it->end());
          pieces.erase(it);
          grown = true;
          break;
        }
      }
    }
    if (loop.size() > 3 && meet(loop.front(), loop.back())) {
      loop.pop_back();
      loops.push_back(std::move(loop));
    }
  }
  std::vector<Point> best;
  double bestArea = -1;
  for (std::vector<Point>& loop : loops) {
    Box box;
    for (const Point& p : loop) box.add(p.x, p.y);
    const double area = (box.right - box.left) * (box.bottom - box.top);
    if (area > bestArea) {
      bestArea = area;
      best = std::move(loop);
    }
  }
  return best;
}

class BoardReader {
 public:
  explicit BoardReader(const std::string& source) : r_(source) {}

  KicadBoard read(std::string text) {
    const SexprTree root = parseSexpr(text, r_.sourceName(), isBoardListRead);
    if (root.head() != "kicad_pcb") r_.fail(root, "not a KiCad board (expected (kicad_pcb ...))");
    board_.version = checkVersion(r_.required(root, "version"));
    readNets(root);
    readLayers(root);
    readHeader(root);
    readOutline(root);
    for (std::size_t i = 0; i < root.children().size(); ++i) {
      const Sexpr& child = root.children()[i];
      if (child.isList() && child.head() == "footprint") readFootprint(child, i);
      if (child.isList() && (child.head() == "segment" || child.head() == "arc" ||
                             child.head() == "via" || child.head() == "zone")) {
        readCopper(child, i);
      }
      if (child.isList() && isDrawing(child)) readDrawing(child, i);
      if (child.isList() && child.head() == "group") readGroup(child, i);
      if (child.isList() && child.head() == "module") {
        r_.fail(child,
                "(module ...) is the footprint of KiCad 5 and older boards; open and save "
                "the board in KiCad 6 or newer first");
      }
    }
    joinGroups();
    board_.sourceName = r_.sourceName();
    board_.text = std::move(text);
    return std::move(board_);
  }

 private:
  int64_t checkVersion(const Sexpr& version) const {
    const int64_t number = r_.integer(version, 1);
    if (number < kOldestBoardVersion) {
      r_.fail(version, "file version " + std::to_string(number) +
                           " is older than KiCad 6; open and save the board in KiCad 6 or "
                           "newer first");
    }
    if (number > kNewestBoardVersion) {
      r_.fail(version, "file version " + std::to_string(number) +
                           " is newer than this dbxhost reads (KiCad 6 to 10, file versions up "
                           "to " +
                           std::to_string(kNewestBoardVersion) + ")");
    }
    return number;
  }

  void readNets(const Sexpr& root) {
    for (const Sexpr* node : root.lists("net")) {
      const int64_t number = r_.integer(*node, 1);
      const std::string& name = r_.text(*node, 2);
      if (number < 0 || number > std::numeric_limits<int32_t>::max()) {
        r_.fail(*node, "net number " + std::to_string(number) + " is out of range");
      }
      if (netIds_.contains(number)) {
        r_.fail(*node, "net " + std::to_string(number) + " is declared twice");
      }
      if (number == 0) {  // KiCad's "no net"
        if (!name.empty()) r_.fail(*node, "net 0 is the unconnected net and has no name");
        netIds_[0] = 0;
        continue;
      }
      if (name.empty()) r_.fail(*node, "net " + std::to_string(number) + " has no name");
      if (name.size() > kMaxLongName) {
        r_.fail(*node, "net name " + quoteSexprString(name) + " is longer than " +
                           std::to_string(kMaxLongName) + " bytes");
      }
      if (!netsByName_.emplace(name, int32_t(number)).second) {
        r_.fail(*node, "net name " + quoteSexprString(name) + " is used twice");
      }
      netIds_[number] = int32_t(number);
      nextNetId_ = std::max(nextNetId_, int32_t(number));
      board_.nets.push_back({int32_t(number), name, 0});
    }
  }

  // The host net of a (net ...) reference. KiCad 6 to 9 write the number of
  // a net of the board's table; KiCad 10 writes the net's name, and a name
  // the board has not used before makes a new net, as KiCad's own reader
  // does. The empty name is no net.
  int32_t netReference(const Sexpr& net, const Sexpr& owner) {
    if (net.children().size() > 1 && net.children()[1].kind == Sexpr::Kind::String) {
      const std::string name(net.children()[1].text());
      if (name.empty()) return 0;
      if (const auto known = netsByName_.find(name); known != netsByName_.end())
        return known->second;
      if (name.size() > kMaxLongName) {
        r_.fail(net, "net name " + quoteSexprString(name) + " is longer than " +
                         std::to_string(kMaxLongName) + " bytes");
      }
      if (nextNetId_ == std::numeric_limits<int32_t>::max()) r_.fail(net, "too many nets");
      const int32_t id = ++nextNetId_;  // after the table's numbers
      netsByName_.emplace(name, id);
      board_.nets.push_back({id, name, 0});
      return id;
    }
    const int64_t number = r_.integer(net, 1);
    const auto it = netIds_.find(number);
    if (it == netIds_.end()) {
      const std::string item = owner.head() == "pad" ? "pad " + quoteSexprString(r_.text(owner, 1))
                                                     : "(" + std::string(owner.head()) + ")";
      r_.fail(net, item + " refers to net " + std::to_string(number) +
                       ", which the board does not declare");
    }
    return it->second;
  }

  void readHeader(const Sexpr& root) {
    Header& header = board_.pcb.header;
    header.designName =
        fittedText(std::filesystem::path(r_.sourceName()).stem().string(), kMaxLongName);
    // No KiCad project file keeps a grid step (KiCad keeps the grids in the
    // user's settings), and boards are placed on any grid or none: the
    // host's own unit is the one step that rounds no footprint's position.
    board_.pcb.grids = {{1, kHostUnitGrid}};
    header.absGridId = 1;
    header.relGridId = 1;
    header.isGridAbsolute = true;
    if (const Sexpr* setup = root.list("setup")) {
      if (const Sexpr* origin = setup->list("grid_origin")) {
        header.relGridOrigin = point(*origin, 1, false);
        header.isGridAbsolute = false;
      }
    }
  }

  Point pointOf(const Sexpr& node) const {
    return {double(r_.nanometres(node, 1)), double(r_.nanometres(node, 2))};
  }

  // The board's edge from the graphics on Edge.Cuts, for drawing; none when
  // they form no closed loop.
  void readOutline(const Sexpr& root) {
    std::vector<std::vector<Point>> pieces, loops;
    for (const Sexpr& item : root.children()) {
      const Sexpr* layer = item.isList() ? item.list("layer") : nullptr;
      if (layer == nullptr || layer->children().size() < 2 ||
          layer->children()[1].text() != "Edge.Cuts") {
        continue;
      }
      const std::string_view kind = item.head();
      if (kind == "gr_line") {
        pieces.push_back({pointOf(r_.required(item, "start")), pointOf(r_.required(item, "end"))});
      } else if (kind == "gr_arc") {
        pieces.push_back(arcPoints(pointOf(r_.required(item, "start")),
                                   pointOf(r_.required(item, "mid")),
                                   pointOf(r_.required(item, "end"))));
      } else if (kind == "gr_rect") {
        const Point a = pointOf(r_.required(item, "start")), b = pointOf(r_.required(item, "end"));
        loops.push_back({a, {b.x, a.y}, b, {a.x, b.y}});
      } else if (kind == "gr_circle") {
        const Point c = pointOf(r_.required(item, "center")), e = pointOf(r_.required(item, "end"));
        const double radius = std::hypot(e.x - c.x, e.y - c.y);
        std::vector<Point> circle;
        for (int i = 0; i < 36; ++i) {
          const double angle = i * std::numbers::pi / 18;
          circle.push_back({c.x + radius * std::cos(angle), c.y + radius * std::sin(angle)});
        }
        loops.push_back(std::move(circle));
      } else if (kind == "gr_poly") {
        std::vector<Point> polygon;
        for (const Sexpr* xy : r_.required(item, "pts").lists("xy"))
          polygon.push_back(pointOf(*xy));
        if (polygon.size() >= 3) loops.push_back(std::move(polygon));
      }
    }
    for (const Point& p : largestLoop(std::move(pieces), std::move(loops))) {
      const int64_t x = unitsOf(p.x), y = unitsOf(-p.y);
      if (x < std::numeric_limits<int32_t>::min() || x > std::numeric_limits<int32_t>::max() ||
          y < std::numeric_limits<int32_t>::min() || y > std::numeric_limits<int32_t>::max()) {
        r_.fail(root, "the board's edge reaches beyond the host's range");
      }
      board_.pcb.boardOutline.push_back({int32_t(x), int32_t(y)});
    }
  }

  // Nanometres to host units, refused beyond the host's coordinate range.
  int32_t coordinate(const Sexpr& node, int64_t nanometres) const {
    const int64_t units = hostUnits(nanometres);
    if (units < std::numeric_limits<int32_t>::min() ||
        units > std::numeric_limits<int32_t>::max()) {
      r_.fail(node, "(" + std::string(node.head()) + "): coordinate beyond the host's range");
    }
    return int32_t(units);
  }

  // A computed point (nanometres, y down) in host units, refused beyond the
  // host's range.
  TPoint hostPoint(const Sexpr& node, Point p) const {
    const int64_t x = unitsOf(p.x), y = unitsOf(-p.y);
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (x < kMin || x > kMax || y < kMin || y > kMax) {
      r_.fail(node, "(" + std::string(node.head()) + "): coordinate beyond the host's range");
    }
    return {int32_t(x), int32_t(y)};
  }

  // Children index, index + 1 as a point in host units; a footprint-local
  // point of a bottom-side footprint keeps its y (see kicadboard.h).
  TPoint point(const Sexpr& node, std::size_t index, bool keepY) const {
    const int64_t x = r_.nanometres(node, index), y = r_.nanometres(node, index + 1);
    return {coordinate(node, x), coordinate(node, keepY ? y : -y)};
  }

  // A reference or value text where it stands on the board, in the host's
  // angles (see kicadfootprinttext.h).
  CompText compText(const Sexpr& item, int32_t attrType, const FootprintSource& fp) const {
    CompText text;
    text.attrType = attrType;
    const Sexpr& at = r_.required(item, "at");
    const BoardPoint p =
        boardPoint({fp.x, fp.y}, fp.orientation, {r_.nanometres(at, 1), r_.nanometres(at, 2)});
    text.at = {coordinate(at, p.x), coordinate(at, -p.y)};
    text.rotation = hostTextRotation(atAngle(r_, at), fp.bottom);
    text.flipped = isMirrored(item);
    // A layer the board does not declare is drawn on the footprint's side.
    text.layerId = board_.pcb.sideLayer(fp.bottom);
    if (const Sexpr* layer = item.list("layer")) {
      const auto id = layerIds_.find(r_.text(*layer, 1));
      if (id != layerIds_.end()) text.layerId = id->second;
    }
    const Sexpr* effects = item.list("effects");
    const Sexpr* font = effects != nullptr ? effects->list("font") : nullptr;
    if (const Sexpr* size = font != nullptr ? font->list("size") : nullptr) {
      // KiCad writes (size HEIGHT WIDTH).
      const int32_t height = coordinate(*size, r_.nanometres(*size, 1));
      if (height > 0) text.height = height;
    }
    text.visible = !isHidden(item);
    return text;
  }

  static bool isLocked(const Sexpr& footprint) {
    for (const Sexpr& child : footprint.children()) {
      if (child.kind == Sexpr::Kind::Atom && child.text() == "locked") return true;  // KiCad 6
      if (child.isList() && child.head() == "locked") {
        return child.children().size() < 2 || child.children()[1].text() == "yes";
      }
    }
    return false;
  }

  void readFootprint(const Sexpr& fp, std::size_t child) {
    if (fp.children().size() < 2 || fp.children()[1].kind != Sexpr::Kind::String) {
      r_.fail(fp, "a footprint without its name (expected (footprint \"LIBRARY:NAME\" ...))");
    }
    const std::string fullName(fp.children()[1].text());
    const std::size_t colon = fullName.find(':');
    const std::string library = colon == std::string::npos ? "" : fullName.substr(0, colon);
    const std::string name = colon == std::string::npos ? fullName : fullName.substr(colon + 1);
    if (name.empty()) r_.fail(fp, "footprint " + quoteSexprString(fullName) + " has no name");

    const Sexpr& layer = r_.required(fp, "layer");
    const std::string& side = r_.text(layer, 1);
    if (side != "F.Cu" && side != "B.Cu") {
      r_.fail(layer, "a footprint stands on F.Cu or B.Cu, not " + quoteSexprString(side));
    }
    FootprintSource source;
    source.componentId = int32_t(board_.footprints.size() + 1);
    source.child = child;
    source.bottom = side == "B.Cu";
    const Sexpr& at = r_.required(fp, "at");
    source.x = r_.nanometres(at, 1);
    source.y = r_.nanometres(at, 2);
    source.orientation = r_.optionalMilliDegrees(at, 3).value_or(0);
    source.placement.refPoint = {coordinate(at, source.x), coordinate(at, -source.y)};
    source.placement.rotation = hostRotation(source.orientation, source.bottom);
    source.placement.flipped = source.bottom;

    PcbComponent component;
    component.id = source.componentId;
    component.refDes = designator(fp);
    source.refDes = component.refDes;
    if (const Sexpr* value = footprintText(fp, kComponentTexts[1])) {
      component.value = fittedText(r_.text(*value, 2), kMaxName);
    }
    component.libraryName = fittedText(library, kMaxName);
    component.placement = source.placement;
    component.fixed = isLocked(fp);
    // A text without its place (KiCad always writes one) is left to the
    // host's stand-in at the footprint's origin.
    for (const ComponentTextKind& kind : kComponentTexts) {
      const Sexpr* item = footprintText(fp, kind);
      if (item != nullptr && item->list("at") != nullptr)
        component.texts.push_back(compText(*item, kind.attrType, source));
    }

    Pattern pattern;
    for (const Sexpr* pad : fp.lists("pad")) {
      pattern.pads.push_back(padDef(*pad, source));
      if (const Sexpr* net = pad->list("net")) {
        const int32_t netId = netReference(*net, *pad);
        // Pads that share a number are one pin: the first one's net counts.
        if (netId != 0) component.padNets.emplace(pattern.pads.back().pinDes, netId);
      }
    }
    pattern.outline = courtyard(fp, source.bottom);
    component.patternName = patternKey(name, std::move(pattern));
    source.texts = component.texts;
    board_.pcb.components.push_back(std::move(component));
    board_.footprints.push_back(std::move(source));
  }

  // The footprint's reference as the host's designator, which must be unique:
  // a repeated or empty reference (logos, "REF**") gets "~" and a number.
  std::string designator(const Sexpr& fp) {
    std::string refDes;
    if (const Sexpr* reference = footprintText(fp, kComponentTexts[0])) {
      refDes = r_.text(*reference, 2);
      if (refDes.size() > kMaxRefDes) {
        r_.fail(*reference, "reference " + quoteSexprString(refDes) + " is longer than " +
                                std::to_string(kMaxRefDes) + " bytes");
      }
    }
    if (!refDes.empty() && refDesSeen_.insert(refDes).second) return refDes;
    for (int n = refDes.empty() ? 1 : 2;; ++n) {
      const std::string suffix = "~" + std::to_string(n);
      std::string candidate = fittedText(refDes, kMaxRefDes - suffix.size()) + suffix;
      if (refDesSeen_.insert(candidate).second) return candidate;
    }
  }

  PadDef padDef(const Sexpr& pad, const FootprintSource& fp) const {
    if (pad.children().size() < 2 || pad.children()[1].kind != Sexpr::Kind::String) {
      r_.fail(pad, "a pad without a number (expected (pad \"NUMBER\" TYPE SHAPE ...))");
    }
    PadDef def;
    def.pinDes = pad.children()[1].text();
    if (def.pinDes.size() > kMaxRefDes) {
      r_.fail(pad, "pad number " + quoteSexprString(def.pinDes) + " is longer than " +
                       std::to_string(kMaxRefDes) + " bytes");
    }
    const Sexpr& at = r_.required(pad, "at");
    def.at = point(at, 1, fp.bottom);
    if (const Sexpr* size = pad.list("size")) {
      // The pad's turn within the footprint decides its extent across the axes.
      const double turn = double(r_.optionalMilliDegrees(at, 3).value_or(0) - fp.orientation) *
                          std::numbers::pi / 180000.0;
      const double w = double(r_.nanometres(*size, 1)), h = double(r_.nanometres(*size, 2));
      const double c = std::abs(std::cos(turn)), s = std::abs(std::sin(turn));
      const int64_t width = unitsOf(w * c + h * s);
      const int64_t height = unitsOf(w * s + h * c);
      if (width > 0 && height > 0 && width <= std::numeric_limits<int32_t>::max() &&
          height <= std::numeric_limits<int32_t>::max()) {
        def.size = {int32_t(width), int32_t(height)};
      }
    }
    return def;
  }

  // The box around the courtyard graphics, in host-local units; none when the
  // footprint has no courtyard.
  std::optional<TRect> courtyard(const Sexpr& fp, bool bottom) const {
    Box box;
    auto xy = [&](const Sexpr& node) { return pointOf(node); };
    for (const Sexpr& item : fp.children()) {
      const std::string_view kind = item.head();
      if (!item.isList() || !kind.starts_with("fp_") || kind == "fp_text") continue;
      const Sexpr* layer = item.list("layer");
      if (layer == nullptr) continue;
      const std::string& name = r_.text(*layer, 1);
      if (name != "F.CrtYd" && name != "B.CrtYd") continue;
      if (kind == "fp_circle") {
        const Point c = xy(r_.required(item, "center")), e = xy(r_.required(item, "end"));
        const double radius = std::hypot(e.x - c.x, e.y - c.y);
        box.add(c.x - radius, c.y - radius);
        box.add(c.x + radius, c.y + radius);
      } else if (kind == "fp_arc" && item.list("mid") != nullptr) {
        addArc(box, xy(r_.required(item, "start")), xy(r_.required(item, "mid")),
               xy(r_.required(item, "end")));
      } else if (const Sexpr* pts = item.list("pts")) {
        for (const Sexpr& p : pts->children()) {
          if (p.head() == "xy") {
            const Point at = xy(p);
            box.add(at.x, at.y);
          } else if (p.head() == "arc") {
            addArc(box, xy(r_.required(p, "start")), xy(r_.required(p, "mid")),
                   xy(r_.required(p, "end")));
          }
        }
      } else {
        for (const char* end : {"start", "end"}) {
          if (const Sexpr* p = item.list(end)) {
            const Point at = xy(*p);
            box.add(at.x, at.y);
          }
        }
      }
    }
    if (box.empty()) return std::nullopt;
    const int64_t left = unitsOf(box.left), right = unitsOf(box.right);
    int64_t low = unitsOf(box.bottom), high = unitsOf(box.top);
    if (!bottom) std::tie(low, high) = std::pair(-low, -high);
    if (low > high) std::swap(low, high);
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (std::min(left, low) < kMin || std::max(right, high) > kMax) {
      r_.fail(fp, "the courtyard reaches beyond the host's range");
    }
    return TRect{{int32_t(left), int32_t(low)}, {int32_t(right), int32_t(high)}};
  }

  // Footprints of one name share a pattern only when their pads and outline
  // agree; the first geometry of a name is keyed by the name, each further
  // one by "NAME#2", "NAME#3", ... (the name shortened to leave room).
  std::string patternKey(const std::string& name, Pattern pattern) {
    std::vector<std::string>& keys = patternKeys_[name];
    for (const std::string& key : keys) {
      const Pattern& known = board_.pcb.patterns.at(key);
      if (known.pads == pattern.pads && known.outline == pattern.outline) return key;
    }
    for (std::size_t n = keys.size() + 1;; ++n) {
      const std::string suffix = n == 1 ? "" : "#" + std::to_string(n);
      std::string key = fittedText(name, kMaxName - suffix.size()) + suffix;
      if (board_.pcb.patterns.contains(key)) continue;
      pattern.name = key;
      board_.pcb.patterns.emplace(key, std::move(pattern));
      keys.push_back(key);
      return key;
    }
  }

  // Copper layers top to bottom: F.Cu, the inner layers by number, B.Cu.
  static int copperRank(const std::string& name) {
    if (name == "F.Cu") return 0;
    if (name == "B.Cu") return std::numeric_limits<int>::max();
    if (name.starts_with("In") && name.ends_with(".Cu")) {
      try {
        return 1 + std::stoi(name.substr(2, name.size() - 5));
      } catch (const std::exception&) {
      }
    }
    return -1;  // not a copper layer name
  }

  void readLayers(const Sexpr& root) {
    const Sexpr* table = root.list("layers");
    if (table == nullptr) {
      // A board without its table has KiCad's two copper layers, served as
      // the host's default top and bottom layers.
      layerIds_ = {{"F.Cu", board_.pcb.sideLayer(false)}, {"B.Cu", board_.pcb.sideLayer(true)}};
      board_.layerNames = {{board_.pcb.sideLayer(false), "F.Cu"},
                           {board_.pcb.sideLayer(true), "B.Cu"}};
      return;
    }
    std::vector<std::pair<int, std::string>> copper;
    std::vector<std::string> others;
    // As KiCad reads the table: the copper layers lead it, whatever their
    // numbers (KiCad 9 numbers F.Cu 0, B.Cu 2, In1.Cu 4, ...); from the first
    // other layer on, a layer is not copper even with a copper type (KiCad 9
    // gives user layers one: (39 "User.1" signal)).
    bool leadingRun = true;
    for (const Sexpr& layer : table->children()) {
      if (!layer.isList()) continue;
      const std::string& name = r_.text(layer, 1);
      const std::string& type = r_.text(layer, 2);
      leadingRun = leadingRun &&
                   (type == "signal" || type == "power" || type == "mixed" || type == "jumper");
      if (leadingRun) {
        const int rank = copperRank(name);
        if (rank < 0)
          r_.fail(layer,
                  "copper layer " + quoteSexprString(name) + " is not named as KiCad names copper");
        copper.emplace_back(rank, name);
      } else {
        others.push_back(name);
      }
    }
    if (copper.size() < 2 || copper.size() % 2 != 0) {
      r_.fail(*table, std::to_string(copper.size()) +
                          " copper layer(s): a KiCad board has an even number, at least 2");
    }
    std::sort(copper.begin(), copper.end());
    for (const auto& [rank, name] : copper) addLayer(*table, name, true);
    for (const std::string& name : others) addLayer(*table, name, false);
  }

  void addLayer(const Sexpr& table, const std::string& name, bool copper) {
    const int32_t id = int32_t(board_.pcb.layers.size() + 1);
    if (!layerIds_.emplace(name, id).second) {
      r_.fail(table, "layer " + quoteSexprString(name) + " is declared twice");
    }
    board_.pcb.layers.push_back({id, fittedText(name, kMaxName), copper});
    board_.layerNames.emplace(id, name);
  }

  // A copper layer named in the board's table.
  int32_t copperLayer(const Sexpr& node, const std::string& name) const {
    const auto it = layerIds_.find(name);
    const PcbLayer* layer = it == layerIds_.end() ? nullptr : board_.pcb.findLayer(it->second);
    if (layer == nullptr || !layer->copper) {
      r_.fail(node, quoteSexprString(name) + " is not a copper layer of the board");
    }
    return it->second;
  }

  // A track's copper layer: its (layer), or from KiCad 9 on the copper one of
  // its (layers "F.Cu" "F.Mask") when it also opens the solder mask.
  int32_t trackLayer(const Sexpr& item) const {
    if (const Sexpr* layers = item.list("layers");
        layers != nullptr && item.list("layer") == nullptr) {
      for (std::size_t i = 1; i < layers->children().size(); ++i) {
        const std::string& name = r_.text(*layers, i);
        if (name.ends_with(".Cu")) return copperLayer(*layers, name);
      }
      r_.fail(*layers, "a track on no copper layer");
    }
    const Sexpr& layer = r_.required(item, "layer");
    return copperLayer(layer, r_.text(layer, 1));
  }

  // The layers of a zone: names, "*.Cu" for every copper layer, "F&B.Cu"
  // for the outer ones.
  std::vector<int32_t> zoneLayers(const Sexpr& zone) const {
    std::vector<int32_t> ids;
    auto add = [&](const Sexpr& node, const std::string& name) {
      if (name == "*.Cu") {
        for (const PcbLayer& layer : board_.pcb.servedLayers())
          if (layer.copper) ids.push_back(layer.id);
      } else if (name == "F&B.Cu") {
        ids.push_back(copperLayer(node, "F.Cu"));
        ids.push_back(copperLayer(node, "B.Cu"));
      } else if (name.ends_with(".Cu")) {
        ids.push_back(copperLayer(node, name));
      }
      // Zones on other layers (rule areas on silk screen) hold no copper.
    };
    if (const Sexpr* layer = zone.list("layer")) add(*layer, r_.text(*layer, 1));
    if (const Sexpr* layers = zone.list("layers")) {
      for (std::size_t i = 1; i < layers->children().size(); ++i) add(*layers, r_.text(*layers, i));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
  }

  int32_t netOf(const Sexpr& item) {
    const Sexpr* net = item.list("net");
    return net == nullptr ? 0 : netReference(*net, item);
  }

  // A size in host units: positive and within the host's range.
  int32_t size(const Sexpr& item, std::string_view head) const {
    const Sexpr& node = r_.required(item, head);
    const int32_t units = coordinate(node, r_.nanometres(node, 1));
    if (units <= 0) r_.fail(node, "(" + std::string(head) + ") must be greater than 0");
    return units;
  }

  // The next item's id, its own source, locked as the file has it.
  ItemInfo nextItem(const Sexpr& item) const {
    ItemInfo info;
    info.id = int32_t(board_.itemChildren.size() + 1);
    info.sourceId = info.id;
    info.fixed = isLocked(item);
    return info;
  }
  // Where the item with that id stands in the file, and its identity.
  void keepSource(const Sexpr& item, int32_t id, std::size_t child) {
    board_.itemChildren.emplace(id, child);
    for (const char* head : {"tstamp", "uuid"}) {
      if (const Sexpr* uuid = item.list(head)) board_.itemUuids.emplace(id, r_.text(*uuid, 1));
    }
  }

  void readCopper(const Sexpr& item, std::size_t child) {
    ItemInfo info = nextItem(item);
    info.netId = netOf(item);
    const std::string_view kind = item.head();
    Pcb& pcb = board_.pcb;
    auto at = [&](std::string_view head) { return point(r_.required(item, head), 1, false); };
    if (kind == "segment" || kind == "arc") {
      const int32_t layerId = trackLayer(item);
      const int32_t width = size(item, "width");
      if (kind == "segment") {
        pcb.tracks.push_back({info, layerId, width, at("start"), at("end")});
      } else {
        pcb.arcs.push_back({info, layerId, width, at("start"), at("mid"), at("end")});
      }
    } else if (kind == "via") {
      Via via{info, at("at"), size(item, "size"), size(item, "drill"), 0, 0, DBX_18::kViaThrough};
      const Sexpr& layers = r_.required(item, "layers");
      via.startLayerId = copperLayer(layers, r_.text(layers, 1));
      via.endLayerId = copperLayer(layers, r_.text(layers, 2));
      for (const Sexpr& flag : item.children()) {
        if (flag.kind != Sexpr::Kind::Atom) continue;
        // KiCad 10 tells buried vias from blind ones; the host has one kind for both.
        if (flag.text() == "blind" || flag.text() == "buried")
          via.viaType = DBX_18::kViaBlindBuried;
        if (flag.text() == "micro") via.viaType = DBX_18::kViaMicro;
      }
      pcb.vias.push_back(via);
    } else {
      Zone zone;
      zone.info = info;
      zone.layerIds = zoneLayers(item);
      // A channel's placement area belongs to its channel: it is no copper
      // that a copy of the channel's layout repeats.
      if (zone.layerIds.empty() || isPlacementArea(item)) return;
      zone.keepout = item.list("keepout") != nullptr;
      // Keepouts are the designer's rules, never a client's to change.
      if (zone.keepout) zone.info.fixed = true;
      if (const Sexpr* priority = item.list("priority")) {
        const int64_t value = r_.integer(*priority, 1);
        if (value < 0 || value > std::numeric_limits<int32_t>::max()) {
          r_.fail(*priority, "zone priority " + std::to_string(value) + " is out of range");
        }
        zone.priority = int32_t(value);
      }
      const Sexpr* polygon = item.list("polygon");
      const Sexpr* pts = polygon != nullptr ? polygon->list("pts") : nullptr;
      if (pts == nullptr)
        r_.fail(item, "a zone without its outline (expected (polygon (pts ...)))");
      zone.outline = outlinePoints(*pts);
      if (zone.outline.size() < 3) r_.fail(*pts, "a zone outline needs at least 3 points");
      pcb.zones.push_back(std::move(zone));
    }
    keepSource(item, info.id, child);
  }

  // A board drawing that follows the copies of a channel: a line, arc,
  // rectangle or polygon of straight sides on a silkscreen, fab or user
  // layer of the board, outside any footprint.
  bool isDrawing(const Sexpr& item) const {
    const std::string_view kind = item.head();
    if (kind != "gr_line" && kind != "gr_arc" && kind != "gr_rect" && kind != "gr_poly") {
      return false;
    }
    const Sexpr* layer = item.list("layer");
    if (layer == nullptr || layer->children().size() < 2) return false;
    const std::string name(layer->children()[1].text());
    if (!layerIds_.contains(name)) return false;
    if (!name.ends_with(".SilkS") && !name.ends_with(".Fab") && !name.ends_with(".User") &&
        !name.starts_with("User.")) {
      return false;
    }
    // A rectangle with rounded corners (KiCad 10) is no polygon of its
    // corners.
    if (const Sexpr* radius = item.list("radius");
        kind == "gr_rect" && radius != nullptr && r_.nanometres(*radius, 1) != 0) {
      return false;
    }
    // A polygon with arcs among its sides has no outline of points to serve.
    if (kind == "gr_poly") {
      const Sexpr* pts = item.list("pts");
      if (pts == nullptr) return false;
      for (const Sexpr& piece : pts->children()) {
        if (piece.isList() && piece.head() != "xy") return false;
      }
    }
    return true;
  }

  // A drawing as the host's item on its layer and on no net: a line or an
  // arc as a track, a rectangle or polygon as an outline. Its width is the
  // stroke's, at least one unit (a filled polygon may have none).
  void readDrawing(const Sexpr& item, std::size_t child) {
    const ItemInfo info = nextItem(item);
    const int32_t layerId = layerIds_.at(r_.text(r_.required(item, "layer"), 1));
    const Sexpr* stroke = item.list("stroke");
    const Sexpr* widthNode = stroke != nullptr ? stroke->list("width") : item.list("width");
    const int32_t width =
        widthNode != nullptr
            ? std::max<int32_t>(1, coordinate(*widthNode, r_.nanometres(*widthNode, 1)))
            : 1;
    auto at = [&](std::string_view head) { return point(r_.required(item, head), 1, false); };
    const std::string_view kind = item.head();
    Pcb& pcb = board_.pcb;
    if (kind == "gr_line") {
      pcb.tracks.push_back({info, layerId, width, at("start"), at("end")});
    } else if (kind == "gr_arc") {
      pcb.arcs.push_back({info, layerId, width, at("start"), at("mid"), at("end")});
    } else {
      Zone outline;
      outline.info = info;
      outline.layerIds = {layerId};
      if (kind == "gr_rect") {
        const TPoint a = at("start"), b = at("end");
        outline.outline = {a, {b.x, a.y}, b, {a.x, b.y}};
      } else {
        outline.outline = outlinePoints(r_.required(item, "pts"));
      }
      // A drawing of fewer points than a polygon stays where it is, unserved.
      if (outline.outline.size() < 3 ||
          outline.outline.size() > std::size_t(DBX_18::kMaxPolygonPoints)) {
        return;
      }
      pcb.zones.push_back(std::move(outline));
    }
    keepSource(item, info.id, child);
  }

  // A rule area with (placement (enabled yes) ...): KiCad 9's multichannel
  // areas, one per channel's sheet.
  static bool isPlacementArea(const Sexpr& zone) {
    const Sexpr* placement = zone.list("placement");
    const Sexpr* enabled = placement != nullptr ? placement->list("enabled") : nullptr;
    return enabled != nullptr && enabled->children().size() > 1 &&
           enabled->children()[1].text() == "yes";
  }

  // An outline of (xy X Y) points and, as KiCad 9 writes rounded corners,
  // (arc (start) (mid) (end)) pieces, which the host keeps as chords.
  std::vector<TPoint> outlinePoints(const Sexpr& pts) const {
    std::vector<TPoint> outline;
    for (const Sexpr& piece : pts.children()) {
      if (piece.head() == "xy") {
        outline.push_back(point(piece, 1, false));
      } else if (piece.head() == "arc") {
        const std::vector<Point> chords =
            arcPoints(pointOf(r_.required(piece, "start")), pointOf(r_.required(piece, "mid")),
                      pointOf(r_.required(piece, "end")));
        for (const Point& p : chords) {
          const TPoint at = hostPoint(piece, p);
          // An arc that goes on from the last point does not repeat it.
          if (outline.empty() || !(outline.back() == at)) outline.push_back(at);
        }
      } else if (piece.isList()) {
        r_.fail(piece,
                "(pts) holds (xy ...) and (arc ...), not (" + std::string(piece.head()) + ")");
      }
    }
    return outline;
  }

  void readGroup(const Sexpr& node, std::size_t child) {
    GroupSource group;
    group.child = child;
    if (node.children().size() > 1 && node.children()[1].kind == Sexpr::Kind::String)
      group.name = node.children()[1].text();
    // KiCad 6 and 7 write (id UUID), KiCad 8 and 9 (uuid "UUID").
    for (const char* head : {"id", "uuid"}) {
      if (const Sexpr* id = node.list(head)) group.uuid = r_.text(*id, 1);
    }
    if (const Sexpr* members = node.list("members")) {
      for (std::size_t i = 1; i < members->children().size(); ++i)
        group.members.push_back(r_.text(*members, i));
    }
    board_.groups.push_back(std::move(group));
  }

  // Copper items in a named group belong to the host group of that name.
  void joinGroups() {
    std::map<std::string, std::string> groupOf;  // member uuid -> group name
    for (const GroupSource& group : board_.groups) {
      if (group.name.empty()) continue;
      for (const std::string& member : group.members) groupOf.emplace(member, group.name);
    }
    if (groupOf.empty()) return;
    auto join = [&](auto& items) {
      for (auto& item : items) {
        const auto uuid = board_.itemUuids.find(item.info.id);
        if (uuid == board_.itemUuids.end()) continue;
        const auto group = groupOf.find(uuid->second);
        if (group != groupOf.end()) item.info.group = fittedText(group->second, kMaxName);
      }
    };
    join(board_.pcb.tracks);
    join(board_.pcb.arcs);
    join(board_.pcb.vias);
    join(board_.pcb.zones);
  }

  SexprReader r_;
  KicadBoard board_;
  std::map<std::string, int32_t> layerIds_;    // KiCad layer name -> host layer id
  std::map<int64_t, int32_t> netIds_;          // KiCad net number -> host net id (0: no net)
  std::map<std::string, int32_t> netsByName_;  // net name -> host net id
  int32_t nextNetId_ = 0;                      // the highest host net id so far
  std::set<std::string> refDesSeen_;
  std::map<std::string, std::vector<std::string>> patternKeys_;  // footprint name -> keys
};

}  // namespace

int64_t hostUnits(int64_t nanometres) {
  return nanometres >= 0 ? (nanometres + 5) / 10 : -((-nanometres + 5) / 10);
}

int32_t hostRotation(int64_t orientation, bool bottom) {
  const int64_t tenths = orientation >= 0 ? (orientation + 50) / 100 : -((-orientation + 50) / 100);
  return normalizeAngle(bottom ? 1800 - tenths : tenths);
}

KicadBoard parseKicadBoard(std::string text, const std::string& sourceName) {
  return BoardReader(sourceName).read(std::move(text));
}

KicadBoard readKicadBoard(const std::filesystem::path& file) {
  return parseKicadBoard(readFileText(file), file.string());
}

}  // namespace dbxhost::kicad
