#include "storage/designfile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>

#include "storage/cutinput.h"
#include "storage/fileio.h"

namespace dbxhost {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kFormatMarker = "tandrel-design";

// Longest texts the host's records can carry (one byte goes to the terminator).
constexpr std::size_t kMaxRefDes = DBX_18::kRefDesLen - 1;
constexpr std::size_t kMaxName = DBX_18::kNameLen - 1;
constexpr std::size_t kMaxLongName = DBX_18::kLongNameLen - 1;

constexpr std::array<std::pair<std::string_view, int32_t>, 3> kViaTypes{{
    {"through", DBX_18::kViaThrough},
    {"blind", DBX_18::kViaBlindBuried},
    {"micro", DBX_18::kViaMicro},
}};

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

constexpr std::array<std::pair<std::string_view, int32_t>, 5> kConnectionTypes{{
    {"normal", DBX_18::DBX_COMPONENT_CONNECTION_NORMAL},
    {"power", DBX_18::DBX_COMPONENT_CONNECTION_POWER},
    {"sheet-connector", DBX_18::DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR},
    {"module", DBX_18::DBX_COMPONENT_CONNECTION_MODULE},
    {"link", DBX_18::DBX_COMPONENT_CONNECTION_LINK},
}};

// Pins and pads with these designators name no pin: they may repeat and
// cannot carry a net of their own.
bool isNamedPin(const std::string& pinDes) { return !pinDes.empty() && pinDes != "(unused)"; }

std::string quote(std::string_view text) {
  const CutInput cut = cutInput(text);
  return Json(cut.kept).dump() + cut.note();
}

std::string pointerToken(std::string_view token) {
  std::string escaped;
  for (char c : token) {
    if (c == '~') {
      escaped += "~0";
    } else if (c == '/') {
      escaped += "~1";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

[[noreturn]] void failAt(const std::string& source, const std::string& pointer,
                         const std::string& reason) {
  throw DesignFileError(source + ": " + (pointer.empty() ? "/" : pointer) + ": " + reason);
}

// Part number of a symbol designator, read as the client reads it: the
// suffix after the first ':' as digits, or as capital letters (A=1, B=2, ...,
// Z=26; each further letter v = v * 26 + letter - 'A'); 1 when there is none.
// Large values are capped: anything that big is beyond every part count.
int64_t partNumberOf(std::string_view refDes) {
  constexpr int64_t kCap = int64_t{1} << 40;
  const std::size_t colon = refDes.find(':');
  if (colon == std::string_view::npos) return 1;
  const std::string_view suffix = refDes.substr(colon + 1);
  int64_t value = 0;
  if (!suffix.empty() && suffix[0] >= '0' && suffix[0] <= '9') {
    for (char c : suffix) {
      if (c < '0' || c > '9') break;
      value = std::min(kCap, value * 10 + (c - '0'));
    }
    return value;
  }
  for (char c : suffix) {
    if (c < 'A' || c > 'Z') break;
    value = std::min(kCap, value * 26 + (c - 'A'));
  }
  return value + 1;
}

// One value of the document together with where it stands, so that every
// complaint can name the place.
class Node {
 public:
  Node(const Json& value, std::string pointer, const std::string& source)
      : value_(&value), pointer_(std::move(pointer)), source_(&source) {}

  [[noreturn]] void fail(const std::string& reason) const { failAt(*source_, pointer_, reason); }

  const Json& json() const { return *value_; }

  void expectType(bool matches, const char* expected) const {
    if (!matches) fail(std::string("expected ") + expected + ", found " + value_->type_name());
  }

  // Checks that this is an object without members other than the known ones,
  // so that a misspelt field name does not pass unnoticed.
  void expectObject(std::initializer_list<std::string_view> known) const {
    expectType(value_->is_object(), "an object");
    for (const auto& [key, member] : value_->items()) {
      bool isKnown = false;
      for (std::string_view name : known) isKnown = isKnown || key == name;
      if (!isKnown) fail("unknown field " + quote(key));
    }
  }

  std::optional<Node> find(std::string_view key) const {
    const auto it = value_->find(key);
    if (it == value_->end()) return std::nullopt;
    return Node(*it, pointer_ + "/" + pointerToken(key), *source_);
  }

  Node member(std::string_view key) const {
    if (auto node = find(key)) return *node;
    fail("missing required field " + quote(key));
  }

  std::size_t arraySize() const {
    expectType(value_->is_array(), "an array");
    return value_->size();
  }

  Node element(std::size_t index) const {
    return Node((*value_)[index], pointer_ + "/" + std::to_string(index), *source_);
  }

  std::string text(std::size_t maxLength, bool mayBeEmpty = true) const {
    expectType(value_->is_string(), "a string");
    const auto& text = value_->get_ref<const std::string&>();
    if (text.size() > maxLength) {
      fail("text " + quote(text) + " is longer than " + std::to_string(maxLength) + " bytes");
    }
    if (text.find('\0') != std::string::npos) fail("text contains a zero byte");
    if (!mayBeEmpty && text.empty()) fail("text must not be empty");
    return text;
  }

  int64_t integer(int64_t min, int64_t max) const {
    if (value_->is_number_float()) fail("expected an integer, found " + value_->dump());
    expectType(value_->is_number_integer(), "an integer");
    const bool tooLarge = value_->is_number_unsigned() &&
                          value_->get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max());
    const int64_t number = tooLarge ? max : value_->get<int64_t>();
    if (tooLarge || number < min || number > max) {
      fail(value_->dump() + " is outside " + std::to_string(min) + ".." + std::to_string(max));
    }
    return number;
  }

  int32_t coordinate() const { return int32_t(integer(kInt32Min, kInt32Max)); }

  bool boolean() const {
    expectType(value_->is_boolean(), "true or false");
    return value_->get<bool>();
  }

  TPoint point() const {
    if (arraySize() != 2) fail("a point is [x, y]");
    return {element(0).coordinate(), element(1).coordinate()};
  }

  TRect rect() const {
    if (arraySize() != 2) fail("a rectangle is [[x1, y1], [x2, y2]]");
    const TRect rect{element(0).point(), element(1).point()};
    if (rect.lowerLeft.x > rect.upperRight.x || rect.lowerLeft.y > rect.upperRight.y) {
      fail("a rectangle's first corner must be its lower left, the second its upper right");
    }
    return rect;
  }

  // Optional members: the default when the member is absent.
  std::string textOr(std::string_view key, std::size_t maxLength, std::string fallback) const {
    auto node = find(key);
    return node ? node->text(maxLength) : fallback;
  }
  int32_t integerOr(std::string_view key, int64_t min, int64_t max, int32_t fallback) const {
    auto node = find(key);
    return node ? int32_t(node->integer(min, max)) : fallback;
  }
  bool booleanOr(std::string_view key, bool fallback) const {
    auto node = find(key);
    return node ? node->boolean() : fallback;
  }

 private:
  const Json* value_;
  std::string pointer_;
  const std::string* source_;
};

// Builds a Design from a parsed document. Everything goes into a local design
// that is handed out only when the whole document has been checked.
class DesignReader {
 public:
  Design read(const Node& root) {
    // Format and version come first: a newer file may hold fields this
    // reader does not know, and should be refused for its version.
    root.expectType(root.json().is_object(), "an object");
    const Node format = root.member("format");
    if (!format.json().is_string() ||
        format.json().get_ref<const std::string&>() != kFormatMarker) {
      format.fail("not a Tandrel design file (expected \"format\": " + quote(kFormatMarker) + ")");
    }
    const Node version = root.member("version");
    const int64_t number =
        version.integer(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
    if (number < 1) version.fail("unknown version " + std::to_string(number));
    if (number > kDesignFileVersion) {
      version.fail("the file has version " + std::to_string(number) +
                   " and needs a newer dbxhost (this one reads up to version " +
                   std::to_string(kDesignFileVersion) + ")");
    }
    root.expectObject({"format", "version", "nets", "schematic", "pcb"});
    readNets(root.member("nets"));
    readSchematic(root.member("schematic"));
    readPcb(root.member("pcb"));
    return std::move(design_);
  }

 private:
  static int32_t highlightOf(const Node& object) {
    return object.integerOr("highlight", 0, DBX_18::kLastColor, 0);
  }

  static int32_t rotationOf(const Node& object) { return object.integerOr("rotation", 0, 3599, 0); }

  static int32_t connectionTypeOf(const Node& object) {
    const auto node = object.find("connectionType");
    if (!node) return DBX_18::DBX_COMPONENT_CONNECTION_NORMAL;
    const std::string name = node->text(kMaxName);
    for (const auto& [text, code] : kConnectionTypes) {
      if (name == text) return code;
    }
    node->fail("unknown connectionType " + quote(name) +
               " (expected normal, power, sheet-connector, module or link)");
  }

  // An id that must be positive and unique among its kind.
  static int32_t uniqueId(const Node& object, std::set<int32_t>& seen, const char* kind) {
    const Node node = object.member("id");
    const auto id = int32_t(node.integer(1, kInt32Max));
    if (!seen.insert(id).second)
      node.fail(std::string(kind) + " id " + std::to_string(id) + " is used twice");
    return id;
  }

  // The id of a net given by name; null means no net (id 0).
  int32_t netIdOf(const Node& node) const {
    if (node.json().is_null()) return 0;
    const std::string name = node.text(kMaxLongName);
    const auto it = netIds_.find(name);
    if (it == netIds_.end()) node.fail("unknown net " + quote(name));
    return it->second;
  }

  void readNets(const Node& nets) {
    std::set<int32_t> ids;
    for (std::size_t i = 0; i < nets.arraySize(); ++i) {
      const Node node = nets.element(i);
      node.expectObject({"id", "name", "highlight"});
      Net net;
      net.id = uniqueId(node, ids, "net");
      const Node name = node.member("name");
      net.name = name.text(kMaxLongName, false);
      if (!netIds_.emplace(net.name, net.id).second) {
        name.fail("net name " + quote(net.name) + " is used twice");
      }
      net.highlight = highlightOf(node);
      design_.nets.push_back(std::move(net));
    }
  }

  static Header headerOf(const std::optional<Node>& node) {
    Header header;
    if (!node) return header;
    node->expectObject(
        {"designName", "workspace", "absGridId", "relGridId", "gridAbsolute", "relGridOrigin"});
    header.designName = node->textOr("designName", kMaxLongName, "");
    if (auto workspace = node->find("workspace")) header.workspace = workspace->rect();
    // A grid id that names no grid is allowed: the client then steps by one unit.
    header.absGridId = node->integerOr("absGridId", 0, kInt32Max, 0);
    header.relGridId = node->integerOr("relGridId", 0, kInt32Max, 0);
    header.isGridAbsolute = node->booleanOr("gridAbsolute", true);
    if (auto origin = node->find("relGridOrigin")) header.relGridOrigin = origin->point();
    return header;
  }

  static std::vector<Grid> gridsOf(const std::optional<Node>& node) {
    std::vector<Grid> grids;
    if (!node) return grids;
    std::set<int32_t> ids;
    for (std::size_t i = 0; i < node->arraySize(); ++i) {
      const Node element = node->element(i);
      element.expectObject({"id", "spacing"});
      Grid grid;
      grid.id = uniqueId(element, ids, "grid");
      grid.spacing = element.member("spacing").text(kMaxName);
      grids.push_back(std::move(grid));
    }
    return grids;
  }

  void readSchematic(const Node& node) {
    node.expectObject({"header", "grids", "sheets", "components", "symbols"});
    Schematic& sch = design_.sch;
    sch.header = headerOf(node.find("header"));
    sch.grids = gridsOf(node.find("grids"));
    if (auto sheets = node.find("sheets")) readSheets(*sheets);
    if (auto components = node.find("components")) readSchComponents(*components);
    if (auto symbols = node.find("symbols")) readSymbols(*symbols);
  }

  void readSheets(const Node& sheets) {
    std::set<int32_t> ids;
    for (std::size_t i = 0; i < sheets.arraySize(); ++i) {
      const Node node = sheets.element(i);
      node.expectObject({"id", "name"});
      Sheet sheet;
      sheet.id = uniqueId(node, ids, "sheet");
      sheet.name = node.member("name").text(kMaxLongName);
      design_.sch.sheets.push_back(std::move(sheet));
    }
  }

  // Common fields of schematic and PCB components.
  template <class Component>
  static void readComponentTexts(const Node& node, Component& component) {
    component.compType = node.textOr("compType", kMaxName, "");
    component.value = node.textOr("value", kMaxName, "");
    component.libraryName = node.textOr("libraryName", kMaxName, "");
    component.connectionType = connectionTypeOf(node);
    component.numberParts = node.integerOr("numberParts", 1, kInt32Max, 1);
  }

  void readSchComponents(const Node& components) {
    std::vector<SchComponent>& out = design_.sch.components;
    for (std::size_t i = 0; i < components.arraySize(); ++i) {
      const Node node = components.element(i);
      node.expectObject({"refDes", "compType", "value", "patternName", "libraryName",
                         "connectionType", "numberParts", "pins"});
      SchComponent component;
      component.id = int32_t(i + 1);
      const Node refDes = node.member("refDes");
      component.refDes = refDes.text(kMaxRefDes, false);
      if (component.refDes.find(':') != std::string::npos) {
        refDes.fail("a component designator cannot contain ':' (part suffixes belong to symbols)");
      }
      if (!schComponentIndex_.emplace(component.refDes, i).second) {
        refDes.fail("schematic component " + quote(component.refDes) + " is defined twice");
      }
      readComponentTexts(node, component);
      component.patternName = node.textOr("patternName", kMaxName, "");
      if (auto pins = node.find("pins")) component.pins = pinsOf(*pins, component);
      out.push_back(std::move(component));
    }
  }

  std::vector<SchPin> pinsOf(const Node& pins, const SchComponent& component) const {
    std::vector<SchPin> out;
    std::set<std::string> named;
    for (std::size_t i = 0; i < pins.arraySize(); ++i) {
      const Node node = pins.element(i);
      node.expectObject({"pinDes", "pinName", "gate", "net", "at"});
      SchPin pin;
      const Node pinDes = node.member("pinDes");
      pin.pinDes = pinDes.text(kMaxRefDes);
      if (isNamedPin(pin.pinDes) && !named.insert(pin.pinDes).second) {
        pinDes.fail("pin " + quote(pin.pinDes) + " of " + component.refDes + " appears twice");
      }
      pin.pinName = node.textOr("pinName", kMaxName, "");
      if (auto gate = node.find("gate")) {
        const int64_t number = gate->integer(kInt32Min, kInt32Max);
        if (number < 1 || number > component.numberParts) {
          gate->fail("gate " + std::to_string(number) + " is outside 1.." +
                     std::to_string(component.numberParts) + ", the parts of " + component.refDes);
        }
        pin.gateNumber = int32_t(number);
      }
      if (auto net = node.find("net")) pin.netId = netIdOf(*net);
      pin.refPoint = node.member("at").point();
      out.push_back(std::move(pin));
    }
    return out;
  }

  void readSymbols(const Node& symbols) {
    std::set<int32_t> sheetIds;
    for (const Sheet& sheet : design_.sch.sheets) sheetIds.insert(sheet.id);
    std::set<std::string> refDesSeen;
    std::map<std::pair<std::size_t, int32_t>, std::string> symbolOfPart;
    for (std::size_t i = 0; i < symbols.arraySize(); ++i) {
      const Node node = symbols.element(i);
      node.expectObject({"refDes", "sheet", "at", "rect", "rotation", "flipped", "highlight"});
      Symbol symbol;
      symbol.id = int32_t(i + 1);
      const Node refDes = node.member("refDes");
      symbol.refDes = refDes.text(kMaxRefDes, false);
      if (!refDesSeen.insert(symbol.refDes).second) {
        refDes.fail("symbol " + quote(symbol.refDes) + " is defined twice");
      }
      const std::string bare = symbol.refDes.substr(0, symbol.refDes.find(':'));
      const auto component = schComponentIndex_.find(bare);
      if (component == schComponentIndex_.end()) {
        refDes.fail("symbol " + quote(symbol.refDes) + " has no schematic component " +
                    quote(bare));
      }
      symbol.component = component->second;
      const int32_t parts = design_.sch.components[symbol.component].numberParts;
      const int64_t part = partNumberOf(symbol.refDes);
      if (part < 1 || part > parts) {
        refDes.fail("part " + std::to_string(part) + " of symbol " + quote(symbol.refDes) +
                    " is outside 1.." + std::to_string(parts) + ", the parts of " + bare);
      }
      symbol.partNumber = int32_t(part);
      const auto [drawn, isNew] =
          symbolOfPart.emplace(std::pair(symbol.component, symbol.partNumber), symbol.refDes);
      if (!isNew) {
        refDes.fail("part " + std::to_string(part) + " of " + bare + " already has the symbol " +
                    quote(drawn->second));
      }
      const Node sheet = node.member("sheet");
      symbol.sheetId = int32_t(sheet.integer(kInt32Min, kInt32Max));
      if (!sheetIds.contains(symbol.sheetId)) {
        sheet.fail("unknown sheet " + std::to_string(symbol.sheetId));
      }
      symbol.refPoint = node.member("at").point();
      if (auto rect = node.find("rect")) symbol.boundRect = rect->rect();
      symbol.rotation = rotationOf(node);
      symbol.flipped = node.booleanOr("flipped", false);
      symbol.highlight = highlightOf(node);
      design_.sch.symbols.push_back(std::move(symbol));
    }
  }

  void readPcb(const Node& node) {
    node.expectObject({"header", "grids", "boardOutline", "patterns", "components", "layers",
                       "tracks", "arcs", "vias", "zones"});
    Pcb& pcb = design_.pcb;
    if (auto layers = node.find("layers")) readLayers(*layers);
    pcb.header = headerOf(node.find("header"));
    pcb.grids = gridsOf(node.find("grids"));
    if (auto outline = node.find("boardOutline")) {
      const std::size_t count = outline->arraySize();
      if (count > 0 && count < 3) outline->fail("a board outline needs at least 3 points");
      for (std::size_t i = 0; i < count; ++i)
        pcb.boardOutline.push_back(outline->element(i).point());
    }
    if (auto patterns = node.find("patterns")) readPatterns(*patterns);
    if (auto components = node.find("components")) readPcbComponents(*components);
    if (auto tracks = node.find("tracks")) {
      for (std::size_t i = 0; i < tracks->arraySize(); ++i) {
        const Node item = tracks->element(i);
        item.expectObject(
            {"layer", "width", "start", "end", "net", "group", "createdByClient", "fixed"});
        const ItemInfo info = itemInfoOf(item);
        pcb.tracks.push_back({info, itemLayerOf(item.member("layer"), info),
                              widthOf(item.member("width")), item.member("start").point(),
                              item.member("end").point()});
      }
    }
    if (auto arcs = node.find("arcs")) {
      for (std::size_t i = 0; i < arcs->arraySize(); ++i) {
        const Node item = arcs->element(i);
        item.expectObject(
            {"layer", "width", "start", "mid", "end", "net", "group", "createdByClient", "fixed"});
        const ItemInfo info = itemInfoOf(item);
        pcb.arcs.push_back({info, itemLayerOf(item.member("layer"), info),
                            widthOf(item.member("width")), item.member("start").point(),
                            item.member("mid").point(), item.member("end").point()});
      }
    }
    if (auto vias = node.find("vias")) {
      for (std::size_t i = 0; i < vias->arraySize(); ++i) {
        const Node item = vias->element(i);
        item.expectObject({"at", "diameter", "drill", "layers", "type", "net", "group",
                           "createdByClient", "fixed"});
        Via via{itemInfoOf(item),
                item.member("at").point(),
                widthOf(item.member("diameter")),
                widthOf(item.member("drill")),
                0,
                0,
                DBX_18::kViaThrough};
        if (via.drill >= via.diameter)
          item.member("drill").fail("a drill must be smaller than the diameter");
        const Node layers = item.member("layers");
        if (layers.arraySize() != 2) layers.fail("a via spans [\"first layer\", \"last layer\"]");
        via.startLayerId = copperLayerOf(layers.element(0));
        via.endLayerId = copperLayerOf(layers.element(1));
        if (via.startLayerId == via.endLayerId) layers.fail("a via spans two different layers");
        via.viaType = viaTypeOf(item);
        pcb.vias.push_back(std::move(via));
      }
    }
    if (auto zones = node.find("zones")) {
      for (std::size_t i = 0; i < zones->arraySize(); ++i) {
        const Node item = zones->element(i);
        item.expectObject({"layers", "priority", "keepout", "outline", "net", "group",
                           "createdByClient", "fixed"});
        Zone zone;
        zone.info = itemInfoOf(item);
        const Node layers = item.member("layers");
        if (layers.arraySize() == 0) layers.fail("a zone lies on at least one layer");
        for (std::size_t j = 0; j < layers.arraySize(); ++j)
          zone.layerIds.push_back(itemLayerOf(layers.element(j), zone.info));
        zone.priority = item.integerOr("priority", 0, kInt32Max, 0);
        zone.keepout = item.booleanOr("keepout", false);
        if (zone.keepout && zone.info.netId != 0) item.member("net").fail("a keepout is on no net");
        const Node outline = item.member("outline");
        if (outline.arraySize() < 3) outline.fail("a zone outline needs at least 3 points");
        for (std::size_t j = 0; j < outline.arraySize(); ++j)
          zone.outline.push_back(outline.element(j).point());
        pcb.zones.push_back(std::move(zone));
      }
    }
    numberItems(pcb);
  }

  // Copper item ids follow file order: tracks, arcs, vias, zones.
  static void numberItems(Pcb& pcb) {
    int32_t id = 0;
    for (Track& t : pcb.tracks) t.info.id = ++id;
    for (ArcTrack& a : pcb.arcs) a.info.id = ++id;
    for (Via& v : pcb.vias) v.info.id = ++id;
    for (Zone& z : pcb.zones) z.info.id = ++id;
  }

  void readLayers(const Node& layers) {
    for (std::size_t i = 0; i < layers.arraySize(); ++i) {
      const Node node = layers.element(i);
      node.expectObject({"name", "copper"});
      const Node name = node.member("name");
      PcbLayer layer{int32_t(i + 1), name.text(kMaxLongName, false),
                     node.booleanOr("copper", true)};
      if (layerIds_.count(layer.name))
        name.fail("layer " + quote(layer.name) + " is defined twice");
      layerIds_[layer.name] = layer.id;
      design_.pcb.layers.push_back(std::move(layer));
    }
  }

  int32_t layerOf(const Node& node) const {
    const std::string name = node.text(kMaxLongName);
    if (design_.pcb.layers.empty()) {
      if (name == "Top") return 1;
      if (name == "Bottom") return 2;
    }
    const auto it = layerIds_.find(name);
    if (it == layerIds_.end()) node.fail("unknown layer " + quote(name));
    return it->second;
  }

  int32_t copperLayerOf(const Node& node) const {
    const int32_t id = layerOf(node);
    if (!design_.pcb.findLayer(id)->copper)
      node.fail("layer " + node.json().dump() + " is not copper");
    return id;
  }

  // A copper layer, or any layer for a drawing (an item on no net), as a
  // board's silkscreen drawings come from a KiCad board.
  int32_t itemLayerOf(const Node& node, const ItemInfo& info) const {
    return info.netId == 0 ? layerOf(node) : copperLayerOf(node);
  }

  static int32_t widthOf(const Node& node) { return int32_t(node.integer(1, kInt32Max)); }

  static int32_t viaTypeOf(const Node& item) {
    const auto node = item.find("type");
    if (!node) return DBX_18::kViaThrough;
    const std::string name = node->text(kMaxName);
    for (const auto& [text, code] : kViaTypes) {
      if (name == text) return code;
    }
    node->fail("unknown via type " + quote(name));
  }

  ItemInfo itemInfoOf(const Node& item) const {
    ItemInfo info;
    if (auto net = item.find("net")) info.netId = netIdOf(*net);
    info.group = item.textOr("group", kMaxName, "");
    info.createdByClient = item.booleanOr("createdByClient", false);
    info.fixed = item.booleanOr("fixed", false);
    return info;
  }

  void readTexts(const Node& texts, PcbComponent& component) const {
    for (std::size_t i = 0; i < texts.arraySize(); ++i) {
      const Node node = texts.element(i);
      node.expectObject({"type", "at", "rotation", "flipped", "layer", "height", "visible"});
      CompText text;
      const Node type = node.member("type");
      const std::string name = type.text(kMaxName);
      if (name != "refDes" && name != "value") type.fail("a text is \"refDes\" or \"value\"");
      text.attrType = name == "refDes" ? DBX_18::kAttrRefDes : DBX_18::kAttrValue;
      for (const CompText& other : component.texts)
        if (other.attrType == text.attrType) type.fail("text " + quote(name) + " appears twice");
      text.at = node.member("at").point();
      text.rotation = rotationOf(node);
      text.flipped = node.booleanOr("flipped", false);
      text.layerId = node.find("layer") ? layerOf(*node.find("layer")) : 1;
      text.height = node.integerOr("height", 1, kInt32Max, text.height);
      text.visible = node.booleanOr("visible", true);
      component.texts.push_back(text);
    }
  }

  void readPatterns(const Node& patterns) {
    patterns.expectType(patterns.json().is_object(), "an object");  // keyed by pattern name
    for (const auto& [name, value] : patterns.json().items()) {
      const Node node = *patterns.find(name);
      if (name.empty() || name.size() > kMaxName) {
        node.fail("a pattern name needs 1.." + std::to_string(kMaxName) + " bytes");
      }
      node.expectObject({"pads", "outline"});
      Pattern pattern;
      pattern.name = name;
      const Node pads = node.member("pads");
      std::set<std::string> named;
      for (std::size_t i = 0; i < pads.arraySize(); ++i) {
        const Node padNode = pads.element(i);
        padNode.expectObject({"pinDes", "at", "size"});
        PadDef pad;
        const Node pinDes = padNode.member("pinDes");
        pad.pinDes = pinDes.text(kMaxRefDes);
        if (isNamedPin(pad.pinDes) && !named.insert(pad.pinDes).second) {
          pinDes.fail("pad " + quote(pad.pinDes) + " appears twice in pattern " + quote(name));
        }
        pad.at = padNode.member("at").point();
        if (auto size = padNode.find("size")) {
          pad.size = size->point();
          if (pad.size.x <= 0 || pad.size.y <= 0) size->fail("a pad size must be positive");
        }
        pattern.pads.push_back(std::move(pad));
      }
      if (auto outline = node.find("outline")) pattern.outline = outline->rect();
      design_.pcb.patterns.emplace(name, std::move(pattern));
    }
  }

  void readPcbComponents(const Node& components) {
    std::set<std::string> refDesSeen;
    for (std::size_t i = 0; i < components.arraySize(); ++i) {
      const Node node = components.element(i);
      node.expectObject({"refDes", "compType", "value", "patternName", "libraryName",
                         "connectionType", "numberParts", "at", "rotation", "flipped", "highlight",
                         "fixed", "nets", "texts"});
      PcbComponent component;
      component.id = int32_t(i + 1);
      const Node refDes = node.member("refDes");
      component.refDes = refDes.text(kMaxRefDes, false);
      if (!refDesSeen.insert(component.refDes).second) {
        refDes.fail("PCB component " + quote(component.refDes) + " is defined twice");
      }
      readComponentTexts(node, component);
      const Node patternName = node.member("patternName");
      component.patternName = patternName.text(kMaxName, false);
      const auto pattern = design_.pcb.patterns.find(component.patternName);
      if (pattern == design_.pcb.patterns.end()) {
        patternName.fail("unknown pattern " + quote(component.patternName));
      }
      component.placement.refPoint = node.member("at").point();
      component.placement.rotation = rotationOf(node);
      component.placement.flipped = node.booleanOr("flipped", false);
      component.highlight = highlightOf(node);
      component.fixed = node.booleanOr("fixed", false);
      if (auto nets = node.find("nets")) component.padNets = padNetsOf(*nets, pattern->second);
      if (auto texts = node.find("texts")) readTexts(*texts, component);
      design_.pcb.components.push_back(std::move(component));
    }
  }

  std::map<std::string, int32_t> padNetsOf(const Node& nets, const Pattern& pattern) const {
    nets.expectType(nets.json().is_object(), "an object");  // keyed by pad designator
    std::map<std::string, int32_t> padNets;
    for (const auto& item : nets.json().items()) {
      // A named copy: structured bindings cannot be captured by the lambda below.
      const std::string& pad = item.key();
      const Node node = *nets.find(pad);
      const bool known =
          isNamedPin(pad) && std::any_of(pattern.pads.begin(), pattern.pads.end(),
                                         [&](const PadDef& def) { return def.pinDes == pad; });
      if (!known) node.fail("pattern " + quote(pattern.name) + " has no pad " + quote(pad));
      if (const int32_t netId = netIdOf(node); netId != 0) padNets[pad] = netId;
    }
    return padNets;
  }

  Design design_;
  std::map<std::string, int32_t> netIds_;
  std::map<std::string, std::size_t> schComponentIndex_;
  std::map<std::string, int32_t> layerIds_;
};

// Rejects an object member that appears twice (the JSON library would keep
// one silently) and names the object it is in.
class DuplicateMemberCheck {
 public:
  explicit DuplicateMemberCheck(const std::string& source) : source_(source) {}

  bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
    using Event = Json::parse_event_t;
    switch (event) {
      case Event::object_start:
      case Event::array_start:
        frames_.push_back({event == Event::object_start, {}, 0, {}});
        break;
      case Event::key: {
        Frame& top = frames_.back();
        top.key = parsed.get<std::string>();
        if (!top.keys.insert(top.key).second) {
          failAt(source_, pointerOfInnermost(), "field " + quote(top.key) + " appears twice");
        }
        break;
      }
      case Event::object_end:
      case Event::array_end:
        frames_.pop_back();
        elementDone();
        break;
      case Event::value:
        elementDone();
        break;
    }
    return true;
  }

 private:
  struct Frame {
    bool isObject;
    std::string key;
    std::size_t index;
    std::set<std::string> keys;
  };

  void elementDone() {
    if (!frames_.empty() && !frames_.back().isObject) ++frames_.back().index;
  }

  std::string pointerOfInnermost() const {
    std::string pointer;
    for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
      const Frame& frame = frames_[i];
      pointer += "/" + (frame.isObject ? pointerToken(frame.key) : std::to_string(frame.index));
    }
    return pointer;
  }

  const std::string& source_;
  std::vector<Frame> frames_;
};

// Line and column (from 1) of a byte offset.
std::pair<std::size_t, std::size_t> lineAndColumn(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return {line, offset - lineStart + 1};
}

// The library's parse message without its own prefix and position.
std::string parseReason(const nlohmann::json::parse_error& error) {
  const std::string message = error.what();
  const std::size_t column = message.find("column ");
  const std::size_t colon = message.find(": ", column == std::string::npos ? 0 : column);
  return colon == std::string::npos ? message : message.substr(colon + 2);
}

Json pointJson(TPoint point) { return Json::array({point.x, point.y}); }
Json rectJson(const TRect& rect) {
  return Json::array({pointJson(rect.lowerLeft), pointJson(rect.upperRight)});
}

// Builds the document; net ids go out as names.
class DesignWriter {
 public:
  Json write(const Design& design) {
    Json root;
    root["format"] = kFormatMarker;
    // Files without copper keep the first version, which older hosts read.
    const Pcb& pcb = design.pcb;
    const bool copper = !pcb.layers.empty() || !pcb.tracks.empty() || !pcb.arcs.empty() ||
                        !pcb.vias.empty() || !pcb.zones.empty() ||
                        std::any_of(pcb.components.begin(), pcb.components.end(),
                                    [](const PcbComponent& c) { return !c.texts.empty(); });
    root["version"] = copper ? kDesignFileVersion : 1;
    root["nets"] = Json::array();
    for (const Net& net : design.nets) {
      netNames_.emplace(net.id, net.name);
      root["nets"].push_back({{"id", net.id}, {"name", net.name}, {"highlight", net.highlight}});
    }
    root["schematic"] = schematicJson(design.sch);
    root["pcb"] = pcbJson(design.pcb);
    return root;
  }

 private:
  [[noreturn]] static void fail(const std::string& pointer, const std::string& reason) {
    failAt("design", pointer, reason);
  }

  Json netJson(int32_t netId, const std::string& pointer) const {
    if (netId == 0) return nullptr;
    const auto it = netNames_.find(netId);
    if (it == netNames_.end()) fail(pointer, "net id " + std::to_string(netId) + " is no net");
    return it->second;
  }

  static Json connectionTypeJson(int32_t code, const std::string& pointer) {
    for (const auto& [text, known] : kConnectionTypes) {
      if (code == known) return text;
    }
    fail(pointer, "unknown connection type " + std::to_string(code));
  }

  static Json headerJson(const Header& header) {
    return {{"designName", header.designName},
            {"workspace", rectJson(header.workspace)},
            {"absGridId", header.absGridId},
            {"relGridId", header.relGridId},
            {"gridAbsolute", header.isGridAbsolute},
            {"relGridOrigin", pointJson(header.relGridOrigin)}};
  }

  static Json gridsJson(const std::vector<Grid>& grids) {
    Json out = Json::array();
    for (const Grid& grid : grids) out.push_back({{"id", grid.id}, {"spacing", grid.spacing}});
    return out;
  }

  template <class Component>
  static void writeComponentTexts(Json& out, const Component& component,
                                  const std::string& pointer) {
    out["refDes"] = component.refDes;
    out["compType"] = component.compType;
    out["value"] = component.value;
    out["patternName"] = component.patternName;
    out["libraryName"] = component.libraryName;
    out["connectionType"] =
        connectionTypeJson(component.connectionType, pointer + "/connectionType");
    out["numberParts"] = component.numberParts;
  }

  Json schematicJson(const Schematic& sch) const {
    Json out;
    out["header"] = headerJson(sch.header);
    out["grids"] = gridsJson(sch.grids);
    out["sheets"] = Json::array();
    for (const Sheet& sheet : sch.sheets) {
      out["sheets"].push_back({{"id", sheet.id}, {"name", sheet.name}});
    }
    out["components"] = Json::array();
    for (std::size_t i = 0; i < sch.components.size(); ++i) {
      const SchComponent& component = sch.components[i];
      const std::string pointer = "/schematic/components/" + std::to_string(i);
      Json json;
      writeComponentTexts(json, component, pointer);
      json["pins"] = Json::array();
      for (std::size_t p = 0; p < component.pins.size(); ++p) {
        const SchPin& pin = component.pins[p];
        json["pins"].push_back(
            {{"pinDes", pin.pinDes},
             {"pinName", pin.pinName},
             {"gate", pin.gateNumber},
             {"net", netJson(pin.netId, pointer + "/pins/" + std::to_string(p) + "/net")},
             {"at", pointJson(pin.refPoint)}});
      }
      out["components"].push_back(std::move(json));
    }
    out["symbols"] = Json::array();
    for (const Symbol& symbol : sch.symbols) {
      out["symbols"].push_back({{"refDes", symbol.refDes},
                                {"sheet", symbol.sheetId},
                                {"at", pointJson(symbol.refPoint)},
                                {"rect", rectJson(symbol.boundRect)},
                                {"rotation", symbol.rotation},
                                {"flipped", symbol.flipped},
                                {"highlight", symbol.highlight}});
    }
    return out;
  }

  Json pcbJson(const Pcb& pcb) const {
    Json out;
    out["header"] = headerJson(pcb.header);
    out["grids"] = gridsJson(pcb.grids);
    out["boardOutline"] = Json::array();
    for (TPoint point : pcb.boardOutline) out["boardOutline"].push_back(pointJson(point));
    out["patterns"] = Json::object();
    for (const auto& [name, pattern] : pcb.patterns) {
      Json json;
      json["pads"] = Json::array();
      for (const PadDef& pad : pattern.pads) {
        json["pads"].push_back(
            {{"pinDes", pad.pinDes}, {"at", pointJson(pad.at)}, {"size", pointJson(pad.size)}});
      }
      if (pattern.outline) json["outline"] = rectJson(*pattern.outline);
      out["patterns"][name] = std::move(json);
    }
    out["components"] = Json::array();
    for (std::size_t i = 0; i < pcb.components.size(); ++i) {
      const PcbComponent& component = pcb.components[i];
      const std::string pointer = "/pcb/components/" + std::to_string(i);
      Json json;
      writeComponentTexts(json, component, pointer);
      json["at"] = pointJson(component.placement.refPoint);
      json["rotation"] = component.placement.rotation;
      json["flipped"] = component.placement.flipped;
      json["highlight"] = component.highlight;
      json["fixed"] = component.fixed;
      json["nets"] = Json::object();
      for (const auto& [pad, netId] : component.padNets) {
        json["nets"][pad] = netJson(netId, pointer + "/nets/" + pointerToken(pad));
      }
      for (const CompText& text : component.texts) {
        json["texts"].push_back(
            {{"type", text.attrType == DBX_18::kAttrRefDes ? "refDes" : "value"},
             {"at", pointJson(text.at)},
             {"rotation", text.rotation},
             {"flipped", text.flipped},
             {"layer", layerName(pcb, text.layerId)},
             {"height", text.height},
             {"visible", text.visible}});
      }
      out["components"].push_back(std::move(json));
    }
    if (!pcb.layers.empty()) {
      for (const PcbLayer& layer : pcb.layers)
        out["layers"].push_back({{"name", layer.name}, {"copper", layer.copper}});
    }
    for (const Track& t : pcb.tracks) {
      Json json = infoJson(t.info, "/pcb/tracks/" + std::to_string(out["tracks"].size()));
      json["layer"] = layerName(pcb, t.layerId);
      json["width"] = t.width;
      json["start"] = pointJson(t.start);
      json["end"] = pointJson(t.end);
      out["tracks"].push_back(std::move(json));
    }
    for (const ArcTrack& a : pcb.arcs) {
      Json json = infoJson(a.info, "/pcb/arcs/" + std::to_string(out["arcs"].size()));
      json["layer"] = layerName(pcb, a.layerId);
      json["width"] = a.width;
      json["start"] = pointJson(a.start);
      json["mid"] = pointJson(a.mid);
      json["end"] = pointJson(a.end);
      out["arcs"].push_back(std::move(json));
    }
    for (const Via& v : pcb.vias) {
      Json json = infoJson(v.info, "/pcb/vias/" + std::to_string(out["vias"].size()));
      json["at"] = pointJson(v.at);
      json["diameter"] = v.diameter;
      json["drill"] = v.drill;
      json["layers"] = {layerName(pcb, v.startLayerId), layerName(pcb, v.endLayerId)};
      json["type"] = kViaTypes[std::size_t(std::clamp(v.viaType, 0, 2))].first;
      out["vias"].push_back(std::move(json));
    }
    for (const Zone& z : pcb.zones) {
      Json json = infoJson(z.info, "/pcb/zones/" + std::to_string(out["zones"].size()));
      for (int32_t id : z.layerIds) json["layers"].push_back(layerName(pcb, id));
      json["priority"] = z.priority;
      json["keepout"] = z.keepout;
      for (TPoint p : z.outline) json["outline"].push_back(pointJson(p));
      out["zones"].push_back(std::move(json));
    }
    return out;
  }

  static std::string layerName(const Pcb& pcb, int32_t id) {
    const PcbLayer* layer = pcb.findLayer(id);
    return layer != nullptr ? layer->name : "Top";
  }

  Json infoJson(const ItemInfo& info, const std::string& pointer) const {
    Json json = Json::object();
    if (info.netId != 0) json["net"] = netJson(info.netId, pointer + "/net");
    if (!info.group.empty()) json["group"] = info.group;
    if (info.createdByClient) json["createdByClient"] = true;
    if (info.fixed) json["fixed"] = true;
    return json;
  }

  std::map<int32_t, std::string> netNames_;
};

// Small arrays and flat records stay on one line so that a saved file stays
// pleasant to read and edit by hand.
bool fitsOnOneLine(const Json& value, int depth = 0) {
  if (value.is_array()) {
    return depth < 3 && std::all_of(value.begin(), value.end(), [&](const Json& element) {
             return !element.is_object() && fitsOnOneLine(element, depth + 1);
           });
  }
  if (value.is_object()) {
    return depth == 0 && std::all_of(value.begin(), value.end(), [](const Json& member) {
             return !member.is_object() && fitsOnOneLine(member, 1);
           });
  }
  return true;
}

void appendCompact(std::string& out, const Json& value) {
  if (value.is_array()) {
    out += '[';
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (i > 0) out += ", ";
      appendCompact(out, value[i]);
    }
    out += ']';
  } else if (value.is_object()) {
    out += '{';
    bool first = true;
    for (const auto& [key, member] : value.items()) {
      if (!first) out += ", ";
      first = false;
      out += quote(key) + ": ";
      appendCompact(out, member);
    }
    out += '}';
  } else {
    out += value.dump();
  }
}

void appendPretty(std::string& out, const Json& value, int indent) {
  if (value.empty() || !value.is_structured() || (indent > 0 && fitsOnOneLine(value))) {
    appendCompact(out, value);
    return;
  }
  const std::string inner(indent + 2, ' ');
  const bool isObject = value.is_object();
  out += isObject ? "{\n" : "[\n";
  bool first = true;
  for (const auto& [key, member] : value.items()) {
    if (!first) out += ",\n";
    first = false;
    out += inner;
    if (isObject) out += quote(key) + ": ";
    appendPretty(out, member, indent + 2);
  }
  out += "\n" + std::string(indent, ' ') + (isObject ? "}" : "]");
}

}  // namespace

Design parseDesign(std::string_view json, const std::string& sourceName) {
  Json root;
  try {
    root = Json::parse(json.begin(), json.end(), DuplicateMemberCheck(sourceName));
  } catch (const nlohmann::json::parse_error& error) {
    const auto [line, column] = lineAndColumn(json, error.byte == 0 ? 0 : error.byte - 1);
    throw DesignFileError(sourceName + ": line " + std::to_string(line) + ", column " +
                          std::to_string(column) + ": " + parseReason(error));
  } catch (const nlohmann::json::out_of_range& error) {
    // A number beyond double's range; the library gives no position for it.
    const std::string message = error.what();
    const std::size_t reason = message.find("] ");
    throw DesignFileError(sourceName + ": " +
                          (reason == std::string::npos ? message : message.substr(reason + 2)));
  }
  return DesignReader().read(Node(root, "", sourceName));
}

Design readDesignFile(const std::filesystem::path& path) {
  return parseDesign(readFileText(path), path.string());
}

std::string serializeDesign(const Design& design) {
  const Json document = DesignWriter().write(design);
  std::string out;
  try {
    appendPretty(out, document, 0);
  } catch (const nlohmann::json::type_error& error) {
    // Texts that are not valid UTF-8 cannot go into a JSON document.
    throw DesignFileError(std::string("design: ") + error.what());
  }
  out += '\n';
  return out;
}

void saveDesignFile(const Design& design, const std::filesystem::path& path) {
  const std::string name = path.string();
  std::string content;
  try {
    content = serializeDesign(design);
    // A file that could not be read back would lose the design later.
    parseDesign(content, "design");
  } catch (const DesignFileError& error) {
    throw DesignFileError(name + ": not saved: " + error.what());
  }
  writeFileAtomically(path, content);
}

}  // namespace dbxhost
