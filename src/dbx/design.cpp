#include "dbx/design.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cmath>
#include <cstdlib>
#include <limits>

#include "diag/actioncancelled.h"
#include "diag/messages.h"
#include "diag/progress.h"
#include "diag/progressscope.h"
#include "diag/waitcurs.h"

namespace DBX {

namespace {

// glibc keeps freed heap for the process's later allocations, so a dropped
// snapshot of a million components would stay resident; its pages go back
// to the system at once.
void returnFreedMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

constexpr const char* kBusyMessage =
    "PCAD tool is currently connected to another application.\nTerminate connection and press a "
    "key";
constexpr std::string_view kUnusedPin = "(unused)";

// A highlight is repeated after each reconnection; a host that drops every
// conversation at once would otherwise keep it busy for ever.
constexpr int kMaxHighlightRepeats = 3;

bool isEndOfList(int32_t status) {
  return status >= DBX_NO_MORE_LAYERS && status <= DBX_NO_MORE_COMPONENTS;
}

bool isStoredPin(int32_t netId, std::string_view pinDes) {
  return netId != 0 && !pinDes.empty() && pinDes != kUnusedPin;
}

// The grid spacing text starts with the spacing in display units ("1.27mm").
int32_t gridStepOf(std::string_view spacing) {
  const std::string text(spacing);
  const double units = std::strtod(text.c_str(), nullptr) * 100000 + 0.5;
  if (!(units >= 1)) return 1;  // also no number at all, and NaN
  if (units >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(units);
}

// The difference a - b as a host offset; coordinates far apart enough to
// overflow one are rejected rather than wrapped into a wrong move.
int32_t offsetBetween(int32_t a, int32_t b, const char* what) {
  const int64_t difference = int64_t{a} - int64_t{b};
  if (difference < std::numeric_limits<int32_t>::min() ||
      difference > std::numeric_limits<int32_t>::max()) {
    throw TandrelError(std::string(what) + " " + std::to_string(difference) +
                       " is out of the host's range");
  }
  return static_cast<int32_t>(difference);
}

// Drops leading and trailing blanks and control characters.
std::string trimmed(const std::string& text) {
  auto isSpaceOrControl = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isSpaceOrControl(text[begin])) ++begin;
  while (end > begin && isSpaceOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

// ---- Component ----

void Component::setHighlight(int32_t color) {
  Lock lock(*design_, false);
  Design& design = *design_;
  auto call = [&] {
    return color != 0 ? design.dbx_.THighlightItem(&design.context_, color, &record)
                      : design.dbx_.TUnHighlightItem(&design.context_, &record);
  };
  int32_t status = call();
  for (int repeats = 0; design.checkCall(status); ++repeats) {
    if (repeats == kMaxHighlightRepeats) {
      throw DBXException("DBX call error", statusText(status) + ", the connection was lost again " +
                                               std::to_string(kMaxHighlightRepeats) +
                                               " times after reconnecting");
    }
    status = call();
  }
}

void Component::placeAt(int32_t x, int32_t y, const Component* like) {
  // Between components only: a component is moved, flipped and turned whole.
  diag::progressStep();
  // The lock may reconnect and verify, which brings like's record up to
  // date: it is read only after.
  Lock lock(*design_, false);
  if (like != nullptr) {
    placeOriented(x, y, like->record.isFlipped != 0, like->record.rotationAng);
  } else {
    move(x, y);
  }
}

void Component::placeOriented(int32_t x, int32_t y, bool flipped, int32_t rotationAng) {
  Lock lock(*design_, false);
  Design& design = *design_;
  move(x, y);
  if ((record.isFlipped != 0) != flipped) {
    design.checkResult(design.dbx_.TFlipComponent(&design.context_, record.refPoint, &record),
                       true);
  }
  int32_t angle = offsetBetween(rotationAng, record.rotationAng, "rotation");
  if (angle == 0) return;
  // Seen from the flipped side, counter-clockwise turns the other way.
  if (record.isFlipped != 0) angle = offsetBetween(0, angle, "rotation");
  design.checkResult(
      design.dbx_.TRotateComponent(&design.context_, angle, record.refPoint, &record), true);
}

std::vector<TAttribute> Component::texts() {
  Lock lock(*design_, false);
  Design& design = *design_;
  const std::string refDes(getText(record.refDes));
  std::vector<TAttribute> out;
  TAttribute text{};
  design.walk(
      [&] { return design.dbx_.TGetFirstCompAttribute(&design.context_, refDes.c_str(), &text); },
      [&] { return design.dbx_.TGetNextCompAttribute(&design.context_, &text); },
      [&] {
        out.push_back(text);
        return true;
      });
  return out;
}

void Component::modifyText(TAttribute& text) {
  Lock lock(*design_, false);
  Design& design = *design_;
  const std::string refDes(getText(record.refDes));
  design.checkResult(design.dbx_.TModifyCompAttribute(&design.context_, refDes.c_str(), &text),
                     true);
}

void Component::move(int32_t x, int32_t y) {
  Design& design = *design_;
  const int32_t dx = offsetBetween(x, record.refPoint.x, "move offset");
  const int32_t dy = offsetBetween(y, record.refPoint.y, "move offset");
  design.checkResult(design.dbx_.TMoveComponent(&design.context_, dx, dy, &record), true);
}

// ---- Design::DPack ----

std::string_view Design::DPack::netName(int32_t netId) const {
  const auto found = nets_.right.find(netId);
  return found != nets_.right.end() ? std::string_view(found->second) : std::string_view();
}

void Design::DPack::insert(std::unique_ptr<Component> component) {
  Component* stored = component.get();
  owned_.push_back(std::move(component));
  components_.assign(RefDesString(std::string(getText(stored->record.refDes))), stored);
  for (const auto& [pinDes, pin] : stored->pins) {
    connections_.emplace(pin.netId, std::make_pair(stored, pinDes));
  }
}

void Design::DPack::clearContents() {
  // The maps point into owned_, so they go first.
  connections_.clear();
  components_.clear();
  nets_.clear();
  netInfo_.clear();
  owned_.clear();
}

// ---- Design: conversation ----

Design::Design(Dbx32& dbx) : dbx_(dbx) {}

Design::~Design() {
  if (tool_ != kToolNone) disconnect();
}

uint8_t Design::resolveTool(uint8_t tool) const {
  if (tool == kCurrentTool) return tool_;
  if (tool > kToolSch) throw TandrelError("Unknown DBX tool code " + std::to_string(tool));
  return tool;
}

const Design::DPack& Design::pack(uint8_t tool) const {
  return resolveTool(tool) == kToolPcb ? pcb_ : sch_;
}

Design::DPack& Design::packOf(uint8_t tool) { return resolveTool(tool) == kToolPcb ? pcb_ : sch_; }

std::string_view Design::sheetName(int32_t sheetId) const {
  const auto found = sheets_.right.find(sheetId);
  return found != sheets_.right.end() ? std::string_view(found->second) : std::string_view();
}

void Design::connect(uint8_t tool) {
  tool = resolveTool(tool);
  disconnect();
  if (tool == kToolNone) return;
  const char* name = tool == kToolPcb ? kToolNamePcb : kToolNameSch;
  int32_t status = dbx_.TOpenDesign(kOpenLanguage, kOpenVersion, name, &context_);
  if (status == DBX_SERVER_BUSY) {
    diag::ReportMessage(diag::MessageKind::Error, "%s", kBusyMessage);
    status = dbx_.TOpenDesign(kOpenLanguage, kOpenVersion, name, &context_);
  }
  if (status == DBX_CONNECTION_ERROR || status == DBX_CALL_TIMEOUT)
    throw DBXException::callError(status, dbx_.connectionHelp(name));
  checkResult(status, false);
  tool_ = tool;
}

void Design::disconnect() { dbx_.TCloseDesign(&context_, ""); }

bool Design::checkResult(int32_t status, bool strict) {
  if (status == DBX_OK) return true;
  if (!strict && isEndOfList(status)) return false;
  throw DBXException::callError(status);
}

bool Design::isReconnectCode(int32_t status) {
  switch (status) {
    case DBX_CONNECTION_ERROR:
    case DBX_DISCONNECT_ERROR:
    case DBX_SERVER_ERROR:
    case DBX_CLIENT_ERROR:
    case DBX_SERVER_TERMINATED:
    case DBX_NO_CONNECTION:
      return true;
    default:
      return false;
  }
}

bool Design::checkCall(int32_t status) {
  if (status == DBX_OK) return false;
  if (!isReconnectCode(status)) throw DBXException::callError(status);
  connect(tool_);
  verifyComponents();
  return true;
}

void Design::refreshHeader() { readHeader(packOf(kCurrentTool)); }

void Design::readHeader(DPack& pack) {
  TDesign header{};
  int32_t status = dbx_.TGetDesignInfo(&context_, &header);
  if (checkCall(status)) {
    status = dbx_.TGetDesignInfo(&context_, &header);
    checkResult(status, false);
  }
  if (status == DBX_OK) pack.header_ = header;

  const int32_t gridId =
      pack.header_.isGridAbsolute != 0 ? pack.header_.absGridId : pack.header_.relGridId;
  pack.gridStep_ = 1;
  TGrid grid{};
  walk([&] { return dbx_.TGetFirstGrid(&context_, &grid); },
       [&] { return dbx_.TGetNextGrid(&context_, &grid); },
       [&] {
         if (grid.gridId != gridId) return true;
         pack.gridStep_ = gridStepOf(getText(grid.gridSpacing));
         return false;
       });
}

void Design::verifyComponents() {
  // A reconnection during the verification would start another one inside
  // it; the running verification goes on over the remaining components.
  if (verifying_) return;
  verifying_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{verifying_};

  diag::WaitCurs wait;
  diag::ProgressScope shown("Verifying the components...");
  std::string report;
  const std::string timeout = statusText(DBX_CALL_TIMEOUT);
  for (const auto& [refDes, component] : packOf(kCurrentTool).components_.left) {
    // A cancelled verification leaves every component with a whole record,
    // refreshed or as stored before.
    diag::progressStep();
    try {
      refreshComponent(*component);
    } catch (const DBXException& error) {
      // A host that does not answer would cost the timeout once per
      // component; the action ends at the first one instead.
      if (error.detail == timeout) throw;
      report += error.detail + "\n";
    }
  }
  report = trimmed(report);
  if (!report.empty()) {
    diag::ReportMessage(diag::MessageKind::Error, "Design was modified:\n%s", report.c_str());
  }
}

// A failed lookup keeps the last stored record.
void Design::refreshComponent(Component& component) {
  const std::string refDes(getText(component.record.refDes));
  if (tool_ == kToolPcb) {
    TComponent current{};
    const int32_t status = dbx_.TGetCompByRefDes(&context_, refDes.c_str(), &current);
    checkCall(status);
    if (status == DBX_OK) component.record = current;
    return;
  }
  TSymbol symbol{};
  const int32_t status = dbx_.TGetSymbolByRefDes(&context_, refDes.c_str(), &symbol);
  checkCall(status);
  if (status != DBX_OK) return;
  component.record.compId = symbol.symbolId;
  setText(component.record.refDes, getText(symbol.refDes));
  component.record.refPoint = symbol.refPoint;
  component.record.boundRect = symbol.boundRect;
  component.record.isHighlighted = symbol.isHighlighted;
}

void Design::acquireLock(bool verify) {
  if (++lockCount_ == 1) actionItems_ = 0;
  if (tool_ == kToolNone) return;
  try {
    if (lockCount_ == 1 || verify) refreshHeader();
    if (verify) verifyComponents();
  } catch (...) {
    // The lock never came into being, so nobody else would release it.
    releaseLock();
    throw;
  }
}

void Design::releaseLock() {
  if (--lockCount_ > 0) return;
  lockCount_ = 0;
  disconnect();
}

Lock::Lock(Design& design, bool verify) : design_(design) { design_.acquireLock(verify); }

Lock::~Lock() { design_.releaseLock(); }

// ---- Design: snapshot ----

template <class First, class Next, class Visit>
void Design::walk(First&& first, Next&& next, Visit&& visit) {
  std::size_t walkItems = 0;
  for (bool more = checkResult(first(), false); more; more = checkResult(next(), false)) {
    countWalkItem(walkItems);
    if (!visit()) return;
  }
}

void Design::countWalkItem(std::size_t& walkItems) {
  if (++walkItems > walkLimits_.perWalk || ++actionItems_ > walkLimits_.perAction) {
    throw DBXException::callError(DBX_TOO_MANY_ITEMS);
  }
  diag::progressStep();
}

void Design::selectTool(uint8_t tool) {
  tool = resolveTool(tool);
  if (lockCount_ == 0) actionItems_ = 0;
  if (tool != tool_) connect(tool);
  if (tool == kToolNone) return;
  const uint32_t bit = 1u << tool_;
  try {
    if ((loadedMask_ & bit) == 0) {
      load(tool_);
      loadedMask_ |= bit;
    } else {
      refreshHeader();
      verifyComponents();
    }
  } catch (...) {
    // Unless an outer lock holds it, a failed read must not keep the host
    // tool busy until the next action.
    if (lockCount_ == 0) disconnect();
    throw;
  }
  Lock closeWhenDone(*this, false);
}

// Always reads from scratch: whatever an earlier, failed read of this tool
// left is dropped first, so no component is stored or connected twice.
void Design::load(uint8_t tool) {
  DPack& pack = packOf(tool);
  pack.clearContents();
  if (tool == kToolSch) sheets_.clear();
  readHeader(pack);

  diag::WaitCurs wait;
  diag::ProgressScope shown(tool == kToolPcb ? "Reading the PCB design..."
                                             : "Reading the schematic...");
  try {
    if (tool == kToolPcb) {
      readPcbComponents(pack);
    } else {
      readSchComponents(pack);
    }
    readNets(pack, tool == kToolSch);
  } catch (...) {
    // Cancelled by the user or failed (a walk that would not end, say):
    // nothing half read stays behind, so its memory is given back at once
    // instead of at the next read.
    pack.clearContents();
    if (tool == kToolSch) sheets_.clear();
    returnFreedMemory();
    throw;
  }
}

void Design::readPcbComponents(DPack& pack) {
  TComponent record{};
  walk([&] { return dbx_.TGetFirstComponent(&context_, &record); },
       [&] { return dbx_.TGetNextComponent(&context_, &record); },
       [&] {
         if (record.connectionType != DBX_COMPONENT_CONNECTION_NORMAL) return true;
         auto component = std::make_unique<Component>(*this, kToolPcb, record);
         readPads(*component);
         pack.insert(std::move(component));
         return true;
       });
}

void Design::readPads(Component& component) {
  const std::string refDes(getText(component.record.refDes));
  const std::string graphic(getText(component.record.currentGraphicName));
  TPad pad{};
  walk([&] { return dbx_.TGetFirstCompPad(&context_, refDes.c_str(), graphic.c_str(), &pad); },
       [&] { return dbx_.TGetNextCompPad(&context_, &pad); },
       [&] {
         const std::string_view pinDes = getText(pad.compPin.pinDes);
         if (isStoredPin(pad.netId, pinDes)) {
           component.pins.insert_or_assign(
               std::string(pinDes), Component::PinInfo{pad.netId, pad.center.x, pad.center.y});
         }
         return true;
       });
}

void Design::readSchComponents(DPack& pack) {
  // All symbols first: the component lookups below must not interleave with
  // the symbol walk.
  std::vector<TSymbol> symbols;
  TSymbol symbol{};
  walk([&] { return dbx_.TGetFirstSymbol(&context_, &symbol); },
       [&] { return dbx_.TGetNextSymbol(&context_, &symbol); },
       [&] {
         symbols.push_back(symbol);
         return true;
       });

  for (const TSymbol& part : symbols) {
    const std::string refDes(getText(part.refDes));
    const RefDesString::Parts split(refDes);
    TComponent record{};
    checkResult(dbx_.TGetCompByRefDes(&context_, split.designator.c_str(), &record), true);
    if (record.connectionType != DBX_COMPONENT_CONNECTION_NORMAL) continue;
    record.compId = part.symbolId;
    setText(record.refDes, refDes);
    record.refPoint = part.refPoint;
    record.boundRect = part.boundRect;
    record.isHighlighted = part.isHighlighted;
    auto component = std::make_unique<Component>(*this, kToolSch, record);
    readPins(*component, part.layerId);
    pack.insert(std::move(component));
  }
}

void Design::readPins(Component& component, int32_t sheetId) {
  component.sheetId = sheetId;
  const RefDesString::Parts split(getText(component.record.refDes));
  const int32_t gate = split.part < 0 ? 1 : split.part;
  TPin pin{};
  walk([&] { return dbx_.TGetFirstCompPin(&context_, split.designator.c_str(), &pin); },
       [&] { return dbx_.TGetNextCompPin(&context_, &pin); },
       [&] {
         const std::string_view pinDes = getText(pin.compPin.pinDes);
         if (pin.compPin.gateNumber == gate && isStoredPin(pin.netId, pinDes)) {
           component.pins.insert_or_assign(
               std::string(pinDes), Component::PinInfo{pin.netId, pin.refPoint.x, pin.refPoint.y});
         }
         return true;
       });
}

// The nets are stored only once the whole read has succeeded, so a snapshot
// with nets is always a complete one.
void Design::readNets(DPack& pack, bool withSheets) {
  DPack::NetMap nets;
  std::map<int32_t, DPack::NetInfo> netInfo;
  TNet net{};
  walk([&] { return dbx_.TGetFirstNet(&context_, &net); },
       [&] { return dbx_.TGetNextNet(&context_, &net); },
       [&] {
         nets.assign(std::string(getText(net.netName)), net.netId);
         netInfo[net.netId].nodeCount = net.nodeCount;
         return true;
       });
  if (withSheets) {
    TLayer layer{};
    walk([&] { return dbx_.TGetFirstLayer(&context_, &layer); },
         [&] { return dbx_.TGetNextLayer(&context_, &layer); },
         [&] {
           sheets_.assign(std::string(getText(layer.layerName)), layer.layerId);
           return true;
         });
  }
  pack.nets_ = std::move(nets);
  pack.netInfo_ = std::move(netInfo);
}

void Design::clear() {
  if (tool_ != kToolNone) disconnect();
  tool_ = kToolNone;
  loadedMask_ = 0;
  lockCount_ = 0;
  pcb_.clearContents();
  sch_.clearContents();
  sheets_.clear();
}

void Design::componentConnections(Component* component, ConnectionsByComponent& out,
                                  const std::set<int32_t>& skipNets) const {
  const DPack& pack = component->kind == kToolPcb ? pcb_ : sch_;
  for (const auto& [pinDes, pin] : component->pins) {
    if (skipNets.contains(pin.netId)) continue;
    const auto [begin, end] = pack.connections_.equal_range(pin.netId);
    for (auto connection = begin; connection != end; ++connection) {
      out.emplace(connection->second.first, NetEdge{pinDes, connection->second.second, pin.netId});
    }
  }
}

// ---- Design: edits ----

void Design::highlightedRefDes(std::vector<std::string>& out) {
  Lock lock(*this, false);
  TItem item{};
  walk([&] { return dbx_.TGetFirstHighlightedItem(&context_, &item); },
       [&] { return dbx_.TGetNextHighlightedItem(&context_, &item); },
       [&] {
         if (item.itemType == DBX_COMPONENT &&
             item.component.connectionType == DBX_COMPONENT_CONNECTION_NORMAL) {
           out.emplace_back(getText(item.component.refDes));
         } else if (item.itemType == DBX_SYMBOL) {
           out.emplace_back(getText(item.symbol.refDes));
         }
         return true;
       });
}

// ---- Design: copper ----

PcbItems Design::pcbItems() {
  Lock lock(*this, false);
  PcbItems items;
  // One item record is large (a zone outline), so the walk reuses one.
  auto item = std::make_unique<TItem>();
  walk([&] { return dbx_.TGetFirstPcbItem(&context_, item.get()); },
       [&] { return dbx_.TGetNextPcbItem(&context_, item.get()); },
       [&] {
         switch (item->itemType) {
           case DBX_LINE:
             items.lines.push_back(item->line);
             break;
           case DBX_ARC:
             items.arcs.push_back(item->arc);
             break;
           case DBX_VIA:
             items.vias.push_back(item->via);
             break;
           case DBX_POLYGON:
             items.polygons.push_back(item->polygon);
             break;
           default:
             // A kind of copper this client does not repeat.
             break;
         }
         return true;
       });
  return items;
}

std::vector<TLayer> Design::pcbLayers() {
  Lock lock(*this, false);
  std::vector<TLayer> layers;
  TLayer layer{};
  walk([&] { return dbx_.TGetFirstLayer(&context_, &layer); },
       [&] { return dbx_.TGetNextLayer(&context_, &layer); },
       [&] {
         layers.push_back(layer);
         return true;
       });
  return layers;
}

bool Design::hasPcbItems() {
  Lock lock(*this, false);
  auto item = std::make_unique<TItem>();
  return checkResult(dbx_.TGetFirstPcbItem(&context_, item.get()), false);
}

void Design::placeItem(TLine& line) {
  Lock lock(*this, false);
  checkResult(dbx_.TPlaceLine(&context_, &line), true);
}

void Design::placeItem(TArc& arc) {
  Lock lock(*this, false);
  checkResult(dbx_.TPlaceArc(&context_, &arc), true);
}

void Design::placeItem(TVia& via) {
  Lock lock(*this, false);
  checkResult(dbx_.TPlaceVia(&context_, &via), true);
}

void Design::placeItem(TPolygon& polygon) {
  Lock lock(*this, false);
  checkResult(dbx_.TPlacePolygon(&context_, &polygon), true);
}

void Design::deleteItem(int32_t itemType, int32_t itemId) {
  Lock lock(*this, false);
  auto item = std::make_unique<TItem>();
  item->itemType = itemType;
  switch (itemType) {
    case DBX_LINE:
      item->line.lineId = itemId;
      break;
    case DBX_ARC:
      item->arc.arcId = itemId;
      break;
    case DBX_VIA:
      item->via.viaId = itemId;
      break;
    case DBX_POLYGON:
      item->polygon.polygonId = itemId;
      break;
    default:
      throw TandrelError("Not a copper item type: " + std::to_string(itemType));
  }
  checkResult(dbx_.TDeleteItem(&context_, item.get()), true);
}

}  // namespace DBX
