#include "storage/kicad/kicadschematic.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/geometry.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadtext.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad {

namespace {

namespace fs = std::filesystem;

// Far beyond any real hierarchy; stops a file that instantiates its children
// as an exponential tree from exhausting memory.
constexpr std::size_t kMaxSheets = 10000;
// Symbols placed over all sheet instances together: a sheet with many
// symbols instantiated many times would otherwise keep the host busy for
// minutes. A client reads at most a million components anyway.
constexpr std::size_t kMaxPlacedSymbols = 1'000'000;
constexpr int kMaxUnits = 1000;
constexpr int64_t kQuarterTurn = 90000;  // milli-degrees

// Texts that name something (references, pin numbers, sheet paths) are never
// shortened: two of them could become one.
void checkName(const SexprReader& reader, const Sexpr& node, const std::string& text,
               std::size_t maxBytes, const char* what) {
  if (text.find('\0') != std::string::npos) {
    reader.fail(node, std::string(what) + " " + quoteSexprString(text) + " contains a zero byte");
  }
  if (text.size() > maxBytes) {
    reader.fail(node, std::string(what) + " " + quoteSexprString(text) + " is longer than " +
                          std::to_string(maxBytes) + " bytes");
  }
}

// KiCad millimetres (read exactly) in host units of 10 nm.
int32_t coordinate(const SexprReader& reader, const Sexpr& node, std::size_t index) {
  const int64_t units = hostUnits(reader.nanometres(node, index));
  if (units < -INT32_MAX || units > INT32_MAX) {
    reader.fail(node, "(" + std::string(node.head()) + "): a coordinate beyond the host's range");
  }
  return static_cast<int32_t>(units);
}

// (xy x y), (at x y ...), (start x y): the point as written.
TPoint pointOf(const SexprReader& reader, const Sexpr& node) {
  return {coordinate(reader, node, 1), coordinate(reader, node, 2)};
}

// Axis-aligned box grown point by point, in 64 bits so that nothing wraps.
class Box {
 public:
  void add(int64_t x, int64_t y) {
    left_ = std::min(left_, x);
    bottom_ = std::min(bottom_, y);
    right_ = std::max(right_, x);
    top_ = std::max(top_, y);
  }
  void add(TPoint p) { add(p.x, p.y); }
  void add(const Box& other) {
    if (other.empty()) return;
    add(other.left_, other.bottom_);
    add(other.right_, other.top_);
  }
  bool empty() const { return left_ > right_; }
  TRect rect() const {
    if (empty()) return {};
    const auto clamp = [](int64_t v) {
      return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return {{clamp(left_), clamp(bottom_)}, {clamp(right_), clamp(top_)}};
  }

 private:
  int64_t left_ = INT64_MAX, bottom_ = INT64_MAX, right_ = INT64_MIN, top_ = INT64_MIN;
};

// An arc through start, mid and end bulges beyond those points wherever it
// crosses an axis direction of its circle.
void addArc(Box& box, TPoint start, TPoint mid, TPoint end) {
  box.add(start);
  box.add(mid);
  box.add(end);
  const double ax = start.x, ay = start.y, bx = mid.x, by = mid.y, cx = end.x, cy = end.y;
  const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
  if (std::abs(d) < 1e-9) return;  // collinear: the three points are the extent
  const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  const double ux = (a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d;
  const double uy = (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d;
  const double radius = std::hypot(ax - ux, ay - uy);
  if (!std::isfinite(radius) || radius > INT32_MAX) return;  // all but straight
  constexpr double kTurn = 2 * std::numbers::pi;
  const auto counterClockwise = [&](double from, double to) {
    const double delta = std::fmod(to - from, kTurn);
    return delta < 0 ? delta + kTurn : delta;
  };
  const double aStart = std::atan2(ay - uy, ax - ux), aMid = std::atan2(by - uy, bx - ux),
               aEnd = std::atan2(cy - uy, cx - ux);
  const bool forward = counterClockwise(aStart, aMid) < counterClockwise(aStart, aEnd);
  const double from = forward ? aStart : aEnd;
  const double sweep = forward ? counterClockwise(aStart, aEnd) : counterClockwise(aEnd, aStart);
  for (int quarter = 0; quarter < 4; ++quarter) {
    const double t = quarter * std::numbers::pi / 2;
    if (counterClockwise(from, t) <= sweep) {
      box.add(std::llround(ux + radius * std::cos(t)), std::llround(uy + radius * std::sin(t)));
    }
  }
}

// Before KiCad 10 a lone "~" stood for an empty text (a pin without a name,
// an empty field); since file version 20250318 it is the text "~".
constexpr int64_t kLiteralTildeVersion = 20250318;
// From this version on a pin number "[1,3-5]" names several pads.
constexpr int64_t kStackedPinsVersion = 20250901;

std::string schematicText(std::string text, int64_t version) {
  if (version < kLiteralTildeVersion && text == "~") text.clear();
  return text;
}

// "A12" as "A" and 12; no number when the text does not end in digits.
std::pair<std::string, std::optional<int64_t>> prefixAndNumber(std::string_view text) {
  std::size_t digits = text.size();
  while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
  if (digits == text.size() || text.size() - digits > 9) return {std::string(text), std::nullopt};
  int64_t value = 0;
  for (std::size_t i = digits; i < text.size(); ++i) value = value * 10 + (text[i] - '0');
  return {std::string(text.substr(0, digits)), value};
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The pads a pin number stands for: "[1,2,5-7]" and "[A1-A3]" list several
// in KiCad 10's stacked notation, anything else (and a list KiCad would not
// expand: a reversed range, ranges of different prefixes) is one pad.
std::vector<std::string> padNumbers(const std::string& number, int64_t version) {
  if (version < kStackedPinsVersion || number.size() < 2 || number.front() != '[' ||
      number.back() != ']') {
    return {number};
  }
  constexpr int64_t kMaxStacked = 10000;  // far beyond any package's pins
  std::vector<std::string> pads;
  std::string_view rest = std::string_view(number).substr(1, number.size() - 2);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view part = trimmed(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (part.empty()) continue;
    const std::size_t dash = part.find('-');
    if (dash == std::string_view::npos) {
      pads.emplace_back(part);
      continue;
    }
    const auto [firstPrefix, first] = prefixAndNumber(trimmed(part.substr(0, dash)));
    const auto [lastPrefix, last] = prefixAndNumber(trimmed(part.substr(dash + 1)));
    if (!first || !last || firstPrefix != lastPrefix || *first > *last ||
        *last - *first >= kMaxStacked) {
      return {number};
    }
    for (int64_t n = *first; n <= *last; ++n) pads.push_back(firstPrefix + std::to_string(n));
    if (pads.size() > std::size_t(kMaxStacked)) return {number};
  }
  if (pads.empty()) return {number};
  return pads;
}

// One pin of a library symbol, in library coordinates (y up).
struct LibPin {
  std::string number;
  std::string name;
  TPoint at;          // the end that wires connect to
  int unit = 0;       // 0: drawn with every unit
  int bodyStyle = 0;  // 0: drawn with every body style
};

struct LibShape {
  int unit = 0;
  int bodyStyle = 0;
  Box box;
};

// A symbol definition of a schematic's (lib_symbols) section.
struct LibSymbol {
  int unitCount = 1;
  bool power = false;       // a power symbol: its pins join the net its value names
  bool localPower = false;  // ... on its own sheet only
  std::vector<LibPin> pins;
  std::vector<LibShape> shapes;

  static bool drawnWith(int itemUnit, int itemStyle, int unit, int style) {
    return (itemUnit == 0 || itemUnit == unit) && (itemStyle == 0 || itemStyle == style);
  }

  TRect extent(int unit, int style) const {
    Box box;
    for (const LibShape& shape : shapes) {
      if (drawnWith(shape.unit, shape.bodyStyle, unit, style)) box.add(shape.box);
    }
    return box.rect();
  }
};

// "OPAMP_2_1": unit 2, body style 1.
std::pair<int, int> unitAndStyle(const SexprReader& reader, const Sexpr& node) {
  const std::string& name = reader.text(node, 1);
  const auto number = [&](std::size_t from, std::size_t to) {
    if (from >= to || to - from > 4) return -1;
    int value = 0;
    for (std::size_t i = from; i < to; ++i) {
      if (name[i] < '0' || name[i] > '9') return -1;
      value = value * 10 + (name[i] - '0');
    }
    return value;
  };
  const std::size_t styleAt = name.rfind('_');
  const std::size_t unitAt = styleAt == std::string::npos || styleAt == 0
                                 ? std::string::npos
                                 : name.rfind('_', styleAt - 1);
  const int unit = unitAt == std::string::npos ? -1 : number(unitAt + 1, styleAt);
  const int style = unitAt == std::string::npos ? -1 : number(styleAt + 1, name.size());
  if (unit < 0 || style < 0) {
    reader.fail(node,
                "library unit " + quoteSexprString(name) + " does not end in _<unit>_<body style>");
  }
  if (unit > kMaxUnits) {
    reader.fail(node, "library unit " + quoteSexprString(name) + ": too many units");
  }
  return {unit, style};
}

// A pin's line: from where wires connect, `length` towards the body along a
// quarter-turn angle.
void addPinLine(Box& box, TPoint at, int64_t milliDegrees, int64_t length) {
  box.add(at);
  switch (((milliDegrees / kQuarterTurn) % 4 + 4) % 4) {
    case 0:
      return box.add(int64_t{at.x} + length, at.y);
    case 1:
      return box.add(at.x, int64_t{at.y} + length);
    case 2:
      return box.add(int64_t{at.x} - length, at.y);
    default:
      return box.add(at.x, int64_t{at.y} - length);
  }
}

class LibSymbolReader {
 public:
  LibSymbolReader(const SexprReader& reader, int64_t version)
      : reader_(reader), version_(version) {}

  LibSymbol read(const Sexpr& node) {
    if (node.list("extends")) {
      reader_.fail(node, "library symbol " + quoteSexprString(reader_.text(node, 1)) +
                             " extends another one; schematics hold their symbols whole");
    }
    LibSymbol symbol;
    readItems(node, 0, 0, symbol);
    for (const Sexpr* unitNode : node.lists("symbol")) {
      const auto [unit, style] = unitAndStyle(reader_, *unitNode);
      symbol.unitCount = std::max(symbol.unitCount, unit);
      readItems(*unitNode, unit, style, symbol);
    }
    // Only a power input makes a net; a power flag has a power output.
    const Sexpr* power = node.list("power");
    symbol.power = power != nullptr && hasPowerInput_;
    // KiCad 10's (power local) joins the net of its sheet alone.
    symbol.localPower = symbol.power && power->children().size() > 1 &&
                        power->children()[1].kind == Sexpr::Kind::Atom &&
                        power->children()[1].text() == "local";
    return symbol;
  }

 private:
  void readItems(const Sexpr& node, int unit, int style, LibSymbol& symbol) {
    for (const Sexpr& item : node.children()) {
      if (!item.isList()) continue;
      const std::string_view head = item.head();
      if (head == "pin") {
        readPin(item, unit, style, symbol);
        continue;
      }
      LibShape shape{unit, style, {}};
      if (head == "rectangle") {
        shape.box.add(pointOf(reader_, reader_.required(item, "start")));
        shape.box.add(pointOf(reader_, reader_.required(item, "end")));
      } else if (head == "polyline" || head == "bezier") {
        for (const Sexpr* xy : reader_.required(item, "pts").lists("xy")) {
          shape.box.add(pointOf(reader_, *xy));
        }
      } else if (head == "circle") {
        const TPoint centre = pointOf(reader_, reader_.required(item, "center"));
        const int64_t radius = std::abs(coordinate(reader_, reader_.required(item, "radius"), 1));
        shape.box.add(centre.x - radius, centre.y - radius);
        shape.box.add(centre.x + radius, centre.y + radius);
      } else if (head == "arc") {
        addArc(shape.box, pointOf(reader_, reader_.required(item, "start")),
               pointOf(reader_, reader_.required(item, "mid")),
               pointOf(reader_, reader_.required(item, "end")));
      } else {
        continue;  // properties, texts, settings
      }
      symbol.shapes.push_back(shape);
    }
  }

  void readPin(const Sexpr& item, int unit, int style, LibSymbol& symbol) {
    LibPin pin;
    pin.unit = unit;
    pin.bodyStyle = style;
    const Sexpr& at = reader_.required(item, "at");
    pin.at = pointOf(reader_, at);
    const int64_t angle = reader_.optionalMilliDegrees(at, 3).value_or(0);
    if (angle % kQuarterTurn != 0) reader_.fail(at, "a pin must point along an axis");
    const Sexpr* length = item.list("length");
    LibShape shape{unit, style, {}};
    addPinLine(shape.box, pin.at, angle, length ? coordinate(reader_, *length, 1) : 0);
    symbol.shapes.push_back(shape);
    const Sexpr& number = reader_.required(item, "number");
    const std::string stacked = schematicText(reader_.text(number, 1), version_);
    pin.name = schematicText(reader_.text(reader_.required(item, "name"), 1), version_);
    hasPowerInput_ = hasPowerInput_ || reader_.text(item, 1) == "power_in";
    // A stacked pin ("[1-4]", KiCad 10) stands for several pads: one host
    // pin each, all at its place.
    for (std::string& each : padNumbers(stacked, version_)) {
      checkName(reader_, item, each, kMaxRefDes, "pin number");
      pin.number = std::move(each);
      symbol.pins.push_back(pin);
    }
  }

  const SexprReader& reader_;
  const int64_t version_;
  bool hasPowerInput_ = false;
};

// One schematic file, read once however often it is instantiated.
struct SheetFile {
  SheetFile(fs::path filePath, std::string fileText)
      : path(std::move(filePath)),
        reader(path.string()),
        text(std::move(fileText)),
        root(parseSexpr(text, path.string())) {
    if (root.head() != "kicad_sch") {
      reader.fail(root,
                  "not a KiCad schematic: the file starts with (" + std::string(root.head()) + ")");
    }
    if (const Sexpr* node = root.list("version")) {
      version = reader.integer(*node, 1);
      if (version > kNewestSchematicVersion) {
        reader.fail(*node, "file version " + std::to_string(version) +
                               " is newer than this dbxhost reads (KiCad 6 to 10, file versions "
                               "up to " +
                               std::to_string(kNewestSchematicVersion) + ")");
      }
    }
    if (const Sexpr* library = root.list("lib_symbols")) {
      for (const Sexpr* symbol : library->lists("symbol")) {
        definitions.emplace(reader.text(*symbol, 1), symbol);
      }
    }
  }

  const LibSymbol& libSymbol(const Sexpr& user, const std::string& name) {
    if (const auto it = parsed.find(name); it != parsed.end()) return it->second;
    const auto definition = definitions.find(name);
    if (definition == definitions.end()) {
      reader.fail(user, "library symbol " + quoteSexprString(name) + " is not in (lib_symbols)");
    }
    return parsed.emplace(name, LibSymbolReader(reader, version).read(*definition->second))
        .first->second;
  }

  fs::path path;
  SexprReader reader;
  std::string text;  // the nodes refer to it
  SexprTree root;
  int64_t version = kNewestSchematicVersion;
  std::map<std::string, const Sexpr*> definitions;  // into root
  std::map<std::string, LibSymbol> parsed;
};

const Sexpr* propertyOf(const SexprReader& reader, const Sexpr& node,
                        std::initializer_list<std::string_view> keys) {
  for (const Sexpr* property : node.lists("property")) {
    const std::string& key = reader.text(*property, 1);
    for (std::string_view wanted : keys) {
      if (key == wanted) return property;
    }
  }
  return nullptr;
}

std::string propertyText(const SexprReader& reader, const Sexpr& node, std::string_view key) {
  const Sexpr* property = propertyOf(reader, node, {key});
  return property ? reader.text(*property, 2) : std::string();
}

bool saysNo(const SexprReader& reader, const Sexpr& node, std::string_view head) {
  const Sexpr* flag = node.list(head);
  return flag && reader.text(*flag, 1) == "no";
}

// Where each placed instance of a symbol gets its reference, unit and (in
// KiCad 6) value and footprint.
struct InstanceData {
  std::string reference;
  int64_t unit = 0;  // 0: the symbol's own
  std::optional<std::string> value;
  std::optional<std::string> footprint;
};

InstanceData instanceData(const SexprReader& reader, const Sexpr& path) {
  InstanceData data;
  data.reference = reader.text(reader.required(path, "reference"), 1);
  if (const Sexpr* unit = path.list("unit")) data.unit = reader.integer(*unit, 1);
  if (const Sexpr* value = path.list("value")) data.value = reader.text(*value, 1);
  if (const Sexpr* footprint = path.list("footprint")) data.footprint = reader.text(*footprint, 1);
  return data;
}

// Standard sheet sizes in millimetres, landscape.
std::optional<std::pair<double, double>> paperSize(std::string_view name) {
  static const std::map<std::string_view, std::pair<double, double>> kSizes = {
      {"A5", {210, 148}},          {"A4", {297, 210}},          {"A3", {420, 297}},
      {"A2", {594, 420}},          {"A1", {841, 594}},          {"A0", {1189, 841}},
      {"A", {279.4, 215.9}},       {"B", {431.8, 279.4}},       {"C", {558.8, 431.8}},
      {"D", {863.6, 558.8}},       {"E", {1117.6, 863.6}},      {"USLetter", {279.4, 215.9}},
      {"USLegal", {355.6, 215.9}}, {"USLedger", {431.8, 279.4}}};
  const auto it = kSizes.find(name);
  if (it == kSizes.end()) return std::nullopt;
  return it->second;
}

// The page of a sheet file in host coordinates: x to the right, y from the
// top edge downwards into negative values.
void addPage(const SheetFile& file, Box& workspace) {
  const Sexpr* paper = file.root.list("paper");
  if (!paper) return;
  const std::string& name = file.reader.text(*paper, 1);
  int64_t width = 0, height = 0;
  if (name == "User") {
    width = coordinate(file.reader, *paper, 2);
    height = coordinate(file.reader, *paper, 3);
  } else if (const auto size = paperSize(name)) {
    width = std::llround(size->first * 100000);
    height = std::llround(size->second * 100000);
    const bool portrait = paper->children().size() > 2 && !paper->children()[2].isList() &&
                          paper->children()[2].text() == "portrait";
    if (portrait) std::swap(width, height);
  } else {
    return;  // a size this reader does not know; the symbols still give an extent
  }
  workspace.add(0, 0);
  workspace.add(width, -height);
}

// "A" for unit 1 .. "Z" for 26, then the number itself, which the host also
// reads as a part number.
std::string partSuffix(int unit) {
  return unit <= 26 ? std::string(1, char('A' + unit - 1)) : std::to_string(unit);
}

// A sheet instance on the way down the hierarchy.
struct SheetInstance {
  int32_t id = 0;
  std::vector<std::string> uuids;  // of the sheet symbols from the root down
};

struct PlacedUnit {
  int unit = 1;
  int bodyStyle = 1;
  Placement placement;
  // Units on different sheet files come from each file's own copy of the
  // library symbol.
  const LibSymbol* library = nullptr;
};

// What the pins of one component are made from once all its units are placed.
struct ComponentSource {
  // Units may come from different library symbols (KiCad keeps a copy per
  // sheet file, and a rescued or edited unit gets one of its own); they
  // must agree on the number of units.
  int unitCount = 1;
  const PcbComponent* footprint = nullptr;  // null for a power symbol
  int32_t powerNet = 0;
  std::vector<PlacedUnit> units;
};

class SchematicReader {
 public:
  SchematicReader(const fs::path& root, const Design& design) : rootPath_(root) {
    for (const PcbComponent& component : design.pcb.components) {
      footprints_.emplace(component.refDes, &component);
    }
    for (const Net& net : design.nets) netIds_.emplace(net.name, net.id);
  }

  Schematic read() {
    const fs::path rootKey = canonical(rootPath_);
    SheetFile& root = open(rootPath_, rootKey, readFileText(rootPath_));
    if (const Sexpr* uuid = root.root.list("uuid")) rootUuid_ = root.reader.text(*uuid, 1);
    if (const Sexpr* table = root.root.list("symbol_instances")) {
      for (const Sexpr* path : table->lists("path")) {
        kicad6Instances_.emplace(root.reader.text(*path, 1), instanceData(root.reader, *path));
      }
    }
    openFiles_.push_back(rootKey);
    readSheet(root, "/", {});
    addPins();

    out_.header.designName = fittedText(rootPath_.stem().string(), kMaxLongName);
    Box workspace;
    for (const auto& [path, file] : files_) addPage(*file, workspace);
    for (const Symbol& symbol : out_.symbols) {
      workspace.add(symbol.boundRect.lowerLeft);
      workspace.add(symbol.boundRect.upperRight);
    }
    out_.header.workspace = workspace.rect();
    // KiCad's schematic grid: 50 mil.
    out_.grids = {Grid{1, "1.27mm"}};
    out_.header.absGridId = 1;
    out_.header.isGridAbsolute = true;
    return std::move(out_);
  }

 private:
  static fs::path canonical(const fs::path& path) {
    std::error_code error;
    fs::path result = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path).lexically_normal() : result;
  }

  // Each file is read once, however often it is instantiated; nothing is
  // stored for a file that cannot be read.
  SheetFile& open(const fs::path& path, const fs::path& key, std::string text) {
    return *files_.emplace(key, std::make_unique<SheetFile>(path, std::move(text))).first->second;
  }

  void readSheet(SheetFile& file, const std::string& name, const std::vector<std::string>& uuids) {
    if (out_.sheets.size() >= kMaxSheets) {
      file.reader.fail(file.root, "more than " + std::to_string(kMaxSheets) + " sheet instances");
    }
    const SheetInstance sheet{static_cast<int32_t>(out_.sheets.size() + 1), uuids};
    out_.sheets.push_back(Sheet{sheet.id, name});
    const std::vector<const Sexpr*> symbols = file.root.lists("symbol");
    placedSymbols_ += symbols.size();
    if (placedSymbols_ > kMaxPlacedSymbols) {
      file.reader.fail(file.root, "more than " + std::to_string(kMaxPlacedSymbols) +
                                      " symbols placed in all sheet instances together");
    }
    for (const Sexpr* symbol : symbols) placeSymbol(file, *symbol, sheet);
    for (const Sexpr* child : file.root.lists("sheet")) readChildSheet(file, *child, name, uuids);
  }

  void readChildSheet(SheetFile& parent, const Sexpr& node, const std::string& parentName,
                      std::vector<std::string> uuids) {
    const SexprReader& reader = parent.reader;
    const Sexpr* nameProperty = propertyOf(reader, node, {"Sheetname", "Sheet name"});
    const Sexpr* fileProperty = propertyOf(reader, node, {"Sheetfile", "Sheet file"});
    if (!nameProperty || reader.text(*nameProperty, 2).empty()) {
      reader.fail(node, "a sheet without a name");
    }
    if (!fileProperty || reader.text(*fileProperty, 2).empty()) {
      reader.fail(node,
                  "sheet " + quoteSexprString(reader.text(*nameProperty, 2)) + " names no file");
    }
    const std::string& sheetName = reader.text(*nameProperty, 2);
    const std::string name = parentName + sheetName + "/";
    checkName(reader, *nameProperty, name, kMaxLongName, "sheet path");
    if (!sheetNames_.insert(name).second) {
      reader.fail(*nameProperty, "sheet path " + quoteSexprString(name) + " is used twice");
    }

    std::string fileName = reader.text(*fileProperty, 2);
    std::replace(fileName.begin(), fileName.end(), '\\', '/');
    const fs::path childPath = (rootPath_.parent_path() / fileName).lexically_normal();
    const fs::path childKey = canonical(childPath);
    if (std::find(openFiles_.begin(), openFiles_.end(), childKey) != openFiles_.end()) {
      reader.fail(*fileProperty, "sheet " + quoteSexprString(sheetName) + " instantiates " +
                                     quoteSexprString(fileName) +
                                     ", which contains it: a recursive hierarchy");
    }
    const auto known = files_.find(childKey);
    SheetFile* child = known == files_.end() ? nullptr : known->second.get();
    if (!child) {
      std::string text;
      try {
        text = readFileText(childPath);
      } catch (const DesignFileError& error) {
        reader.fail(*fileProperty, "sheet " + quoteSexprString(sheetName) + ": " + error.what());
      }
      child = &open(childPath, childKey, std::move(text));
    }
    uuids.push_back(reader.text(reader.required(node, "uuid"), 1));
    openFiles_.push_back(childKey);
    readSheet(*child, name, uuids);
    openFiles_.pop_back();
  }

  InstanceData instanceOf(const SheetFile& file, const Sexpr& symbol,
                          const SheetInstance& sheet) const {
    const SexprReader& reader = file.reader;
    // KiCad 7 and later: inside the symbol, keyed by the sheet's path from the root.
    if (const Sexpr* instances = symbol.list("instances")) {
      std::string path = "/" + rootUuid_;
      for (const std::string& uuid : sheet.uuids) path += "/" + uuid;
      for (const Sexpr* project : instances->lists("project")) {
        for (const Sexpr* entry : project->lists("path")) {
          if (reader.text(*entry, 1) == path) return instanceData(reader, *entry);
        }
      }
    }
    // KiCad 6: a table in the root file, keyed by the sheet path and the symbol.
    if (const Sexpr* uuid = symbol.list("uuid"); uuid && !kicad6Instances_.empty()) {
      std::string path;
      for (const std::string& sheetUuid : sheet.uuids) path += "/" + sheetUuid;
      const auto it = kicad6Instances_.find(path + "/" + reader.text(*uuid, 1));
      if (it != kicad6Instances_.end()) return it->second;
    }
    const Sexpr* reference = propertyOf(reader, symbol, {"Reference"});
    if (!reference) reader.fail(symbol, "a symbol without a reference");
    return InstanceData{reader.text(*reference, 2), 0, std::nullopt, std::nullopt};
  }

  int32_t powerNetOf(const LibSymbol& library, const std::string& value,
                     const SheetInstance& sheet) const {
    // A local power symbol names a net of its sheet, as a local label does.
    if (library.localPower) {
      const auto it = netIds_.find(out_.sheets[std::size_t(sheet.id - 1)].name + value);
      return it != netIds_.end() ? it->second : 0;
    }
    // KiCad 7 names the net by the value, KiCad 6 by the power pin's name.
    if (const auto it = netIds_.find(value); it != netIds_.end()) return it->second;
    for (const LibPin& pin : library.pins) {
      if (const auto it = netIds_.find(pin.name); it != netIds_.end()) return it->second;
    }
    return 0;
  }

  void placeSymbol(SheetFile& file, const Sexpr& node, const SheetInstance& sheet) {
    const SexprReader& reader = file.reader;
    const std::string& libId = reader.text(reader.required(node, "lib_id"), 1);
    const Sexpr* libName = node.list("lib_name");
    const std::string libraryKey = libName ? reader.text(*libName, 1) : libId;
    const LibSymbol& library = file.libSymbol(node, libraryKey);
    const InstanceData instance = instanceOf(file, node, sheet);
    const std::string& reference = instance.reference;
    const std::string value =
        instance.value.value_or(schematicText(propertyText(reader, node, "Value"), file.version));

    const PcbComponent* footprint = nullptr;
    if (!library.power) {
      const auto it = footprints_.find(reference);
      if (it == footprints_.end() || saysNo(reader, node, "on_board")) return;
      footprint = it->second;
    }
    checkName(reader, node, reference, kMaxRefDes, "reference");
    if (reference.empty() || reference.find(':') != std::string::npos) {
      reader.fail(node,
                  "reference " + quoteSexprString(reference) + " cannot name a host component");
    }

    const Sexpr* unitNode = node.list("unit");
    const int64_t unit = instance.unit != 0 ? instance.unit
                         : unitNode         ? reader.integer(*unitNode, 1)
                                            : 1;
    if (unit < 1 || unit > library.unitCount) {
      reader.fail(node, quoteSexprString(reference) + " is placed as unit " + std::to_string(unit) +
                            ", but " + quoteSexprString(libraryKey) + " has " +
                            std::to_string(library.unitCount) + " unit(s)");
    }
    const Sexpr* styleNode = node.list("body_style");
    if (!styleNode) styleNode = node.list("convert");
    const int64_t style = styleNode ? reader.integer(*styleNode, 1) : 1;
    if (style < 1 || style > kMaxUnits) {
      reader.fail(*styleNode, "body style " + std::to_string(style) + " does not exist");
    }

    const Sexpr& at = reader.required(node, "at");
    const TPoint position = pointOf(reader, at);
    const int64_t angle = reader.optionalMilliDegrees(at, 3).value_or(0);
    if (angle % kQuarterTurn != 0) reader.fail(at, "a symbol turns by quarter turns only");
    const int32_t tenths = static_cast<int32_t>(angle / 100);
    // KiCad turns the library drawing and then mirrors it, like the host.
    // Mirroring about the x axis (top to bottom) is the host's left-right
    // mirror after a half turn.
    Placement placement{{position.x, -position.y}, normalizeAngle(tenths), false};
    if (const Sexpr* mirror = node.list("mirror")) {
      const std::string& axis = reader.text(*mirror, 1);
      if (axis != "x" && axis != "y") reader.fail(*mirror, "mirror axis " + quoteSexprString(axis));
      placement.flipped = true;
      if (axis == "x") placement.rotation = normalizeAngle(tenths + 1800);
    }

    const std::size_t index = componentFor(file, node, reference, library);
    ComponentSource& source = sources_[index];
    if (source.units.empty()) {
      SchComponent& component = out_.components[index];
      component.value = fittedText(value, kMaxName);
      std::string pattern = instance.footprint.value_or(
          schematicText(propertyText(reader, node, "Footprint"), file.version));
      component.patternName = fittedText(pattern.substr(pattern.find(':') + 1), kMaxName);
      source.footprint = footprint;
      if (library.power) source.powerNet = powerNetOf(library, value, sheet);
    }
    for (const PlacedUnit& placed : source.units) {
      if (placed.unit == unit) {
        reader.fail(node, "unit " + std::to_string(unit) + " of " + quoteSexprString(reference) +
                              " is placed twice");
      }
    }
    source.units.push_back(PlacedUnit{int(unit), int(style), placement, &library});

    Symbol symbol;
    symbol.id = static_cast<int32_t>(out_.symbols.size() + 1);
    symbol.refDes = library.unitCount > 1 ? reference + ":" + partSuffix(int(unit)) : reference;
    checkName(reader, node, symbol.refDes, kMaxRefDes, "symbol reference");
    symbol.partNumber = static_cast<int32_t>(unit);
    symbol.sheetId = sheet.id;
    symbol.refPoint = placement.refPoint;
    symbol.boundRect = placeRect(placement, library.extent(int(unit), int(style)));
    symbol.rotation = placement.rotation;
    symbol.flipped = placement.flipped;
    symbol.component = index;
    out_.symbols.push_back(std::move(symbol));
  }

  std::size_t componentFor(const SheetFile& file, const Sexpr& node, const std::string& reference,
                           const LibSymbol& library) {
    if (const auto it = componentIndex_.find(reference); it != componentIndex_.end()) {
      const ComponentSource& source = sources_[it->second];
      if (source.unitCount != library.unitCount) {
        file.reader.fail(node, quoteSexprString(reference) + " is used by symbols of " +
                                   std::to_string(source.unitCount) + " and " +
                                   std::to_string(library.unitCount) + " unit(s)");
      }
      return it->second;
    }
    const std::string& libId = file.reader.text(file.reader.required(node, "lib_id"), 1);
    const std::size_t colon = libId.find(':');
    SchComponent component;
    component.id = static_cast<int32_t>(out_.components.size() + 1);
    component.refDes = reference;
    component.compType =
        fittedText(colon == std::string::npos ? libId : libId.substr(colon + 1), kMaxName);
    component.libraryName =
        fittedText(colon == std::string::npos ? "" : libId.substr(0, colon), kMaxName);
    component.numberParts = library.unitCount;
    component.connectionType = library.power ? DBX_18::DBX_COMPONENT_CONNECTION_POWER
                                             : DBX_18::DBX_COMPONENT_CONNECTION_NORMAL;
    componentIndex_.emplace(reference, out_.components.size());
    out_.components.push_back(std::move(component));
    sources_.push_back(ComponentSource{library.unitCount, nullptr, 0, {}});
    return out_.components.size() - 1;
  }

  // Pins of every placed unit on the sheet of its symbol; the pins common to
  // all units go with the lowest unit placed, so that each pin is listed once.
  void addPins() {
    for (std::size_t i = 0; i < out_.components.size(); ++i) {
      ComponentSource& source = sources_[i];
      SchComponent& component = out_.components[i];
      std::sort(source.units.begin(), source.units.end(),
                [](const PlacedUnit& a, const PlacedUnit& b) { return a.unit < b.unit; });
      std::set<std::string> listed;
      for (const PlacedUnit& placed : source.units) {
        const bool takesCommon = &placed == &source.units.front();
        for (const LibPin& pin : placed.library->pins) {
          const bool drawn =
              LibSymbol::drawnWith(pin.unit, pin.bodyStyle, placed.unit, placed.bodyStyle);
          if (!drawn || (pin.unit == 0 && !takesCommon)) continue;
          // A number drawn in several units is one pad.
          if (!pin.number.empty() && !listed.insert(pin.number).second) continue;
          SchPin out;
          out.pinDes = pin.number;
          out.pinName = fittedText(pin.name, kMaxName);
          out.gateNumber = placed.unit;
          out.refPoint = placePoint(placed.placement, pin.at);
          out.netId = source.powerNet;
          if (source.footprint) {
            const auto net = source.footprint->padNets.find(pin.number);
            out.netId = net == source.footprint->padNets.end() ? 0 : net->second;
          }
          component.pins.push_back(std::move(out));
        }
      }
    }
  }

  fs::path rootPath_;
  std::string rootUuid_;
  std::map<std::string, InstanceData> kicad6Instances_;
  std::map<std::string, const PcbComponent*> footprints_;
  std::map<std::string, int32_t> netIds_;
  std::map<fs::path, std::unique_ptr<SheetFile>> files_;
  std::vector<fs::path> openFiles_;  // the chain of files from the root down
  std::set<std::string> sheetNames_;
  std::size_t placedSymbols_ = 0;
  std::map<std::string, std::size_t> componentIndex_;
  std::vector<ComponentSource> sources_;  // parallel to out_.components
  Schematic out_;
};

}  // namespace

void readKicadSchematic(const fs::path& rootSchematic, Design& design) {
  design.sch = SchematicReader(rootSchematic, design).read();
}

}  // namespace dbxhost::kicad
