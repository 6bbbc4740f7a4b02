#include "engine/hostdbx.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "model/geometry.h"

namespace dbxhost {

using namespace DBX;

namespace {

// The graphic every pattern is served with; clients pass it back to the pad walk.
constexpr const char* kGraphicName = "Normal";

Tool toolByName(const char* name) {
  if (name == nullptr) return kToolNone;
  if (std::strcmp(name, kToolNamePcb) == 0) return kToolPcb;
  if (std::strcmp(name, kToolNameSch) == 0) return kToolSch;
  return kToolNone;
}

Tool toolOf(const TConversation* context) {
  if (context == nullptr) return kToolNone;
  if (context->tool == kToolPcb || context->tool == kToolSch) return Tool(context->tool);
  return kToolNone;
}

bool fitsInt32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

bool inside(const TRect& area, TPoint p) {
  const bool defined = area.upperRight.x > area.lowerLeft.x && area.upperRight.y > area.lowerLeft.y;
  return !defined || (p.x >= area.lowerLeft.x && p.x <= area.upperRight.x &&
                      p.y >= area.lowerLeft.y && p.y <= area.upperRight.y);
}

}  // namespace

HostDbx::HostDbx(Design design) : design_(std::move(design)) {}

uint64_t HostDbx::revision() const {
  std::lock_guard lock(mutex_);
  return revision_;
}

uint64_t HostDbx::replaceDesign(Design design) {
  std::lock_guard lock(mutex_);
  design_ = std::move(design);
  indexStale_ = true;
  lastItemId_ = 0;
  freedItemIds_.clear();
  history_.clear();
  for (ToolState& st : tools_) {
    if (st.holder != 0) st.ended.insert(st.holder);
    st.holder = 0;
    for (Walk& walk : st.walks) walk = Walk{};
  }
  return ++revision_;
}

void HostDbx::injectStatus(Tool tool, int callNumber, int32_t status) {
  std::lock_guard lock(mutex_);
  ToolState& st = state(tool);
  st.injected[st.calls + std::max(callNumber, 1)] = status;
}

void HostDbx::dropAfter(Tool tool, int calls) {
  std::lock_guard lock(mutex_);
  ToolState& st = state(tool);
  st.dropAtCall = st.calls + std::max(calls, 0);
  st.dropArmed = true;
}

void HostDbx::setBusy(Tool tool, bool busy) {
  std::lock_guard lock(mutex_);
  state(tool).busy = busy;
}

int HostDbx::callCount(Tool tool) const {
  std::lock_guard lock(mutex_);
  return state(tool).calls;
}

bool HostDbx::isHeld(Tool tool) const {
  std::lock_guard lock(mutex_);
  return state(tool).holder != 0;
}

int32_t HostDbx::admit(const TConversation* context, Tool& tool) {
  tool = toolOf(context);
  if (tool == kToolNone) return DBX_NO_CONNECTION;
  ToolState& st = state(tool);
  const int call = ++st.calls;
  if (auto it = st.injected.find(call); it != st.injected.end()) {
    const int32_t status = it->second;
    st.injected.erase(it);
    return status;
  }
  if (st.holder == 0 || context->handle != st.holder) {
    return st.ended.erase(context->handle) > 0 ? DBX_SERVER_TERMINATED : DBX_NO_CONNECTION;
  }
  if (st.dropArmed && call > st.dropAtCall) {
    st.dropArmed = false;
    endConversation(tool);
    return DBX_SERVER_TERMINATED;
  }
  return DBX_OK;
}

void HostDbx::endConversation(Tool tool) {
  ToolState& st = state(tool);
  st.holder = 0;
  if (tool == kToolPcb) joinableZoneId_ = 0;
  for (Walk& walk : st.walks) walk = Walk{};
  history_.endConversation(tool, design_);
}

HostDbx::HistoryStep HostDbx::stepHistory(bool undo) {
  std::lock_guard lock(mutex_);
  for (Tool tool : {kToolPcb, kToolSch}) {
    if (state(tool).holder != 0) return {HistoryStep::Outcome::kClientHolds, 0, tool};
  }
  if (!(undo ? history_.canUndo() : history_.canRedo())) return {};
  const std::size_t parts = undo ? history_.undo(design_) : history_.redo(design_);
  ++revision_;
  return {HistoryStep::Outcome::kDone, parts, kToolNone};
}

HostDbx::HistoryStep HostDbx::undoClientEdits() { return stepHistory(true); }
HostDbx::HistoryStep HostDbx::redoClientEdits() { return stepHistory(false); }

bool HostDbx::canUndo() const {
  std::lock_guard lock(mutex_);
  return history_.canUndo();
}

bool HostDbx::canRedo() const {
  std::lock_guard lock(mutex_);
  return history_.canRedo();
}

int32_t HostDbx::TOpenDesign(int32_t, int32_t, const char* toolName, TConversation* context) {
  std::lock_guard lock(mutex_);
  const Tool tool = toolByName(toolName);
  if (tool == kToolNone || context == nullptr) return DBX_BAD_INPUT;
  ToolState& st = state(tool);
  const int call = ++st.calls;
  if (auto it = st.injected.find(call); it != st.injected.end()) {
    const int32_t status = it->second;
    st.injected.erase(it);
    return status;
  }
  if (st.busy || st.holder != 0) return DBX_SERVER_BUSY;
  st.holder = nextHandle_++;
  for (Walk& walk : st.walks) walk = Walk{};
  context->handle = st.holder;
  context->tool = tool;
  return DBX_OK;
}

int32_t HostDbx::TCloseDesign(TConversation* context, const char*) {
  std::lock_guard lock(mutex_);
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  endConversation(tool);
  return DBX_OK;
}

TDesign HostDbx::headerRecord(const Header& h) const {
  TDesign r;
  setText(r.designName, h.designName);
  r.workspaceExtents = h.workspace;
  r.absGridId = h.absGridId;
  r.relGridId = h.relGridId;
  r.isGridAbsolute = h.isGridAbsolute ? 1 : 0;
  r.relGridOrigin = h.relGridOrigin;
  return r;
}

int32_t HostDbx::TGetDesignInfo(TConversation* context, TDesign* design) {
  std::lock_guard lock(mutex_);
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (design == nullptr) return DBX_BAD_INPUT;
  *design = headerRecord(tool == kToolPcb ? design_.pcb.header : design_.sch.header);
  if (tool == kToolPcb) design->boardExtents = polygonExtent(design_.pcb.boardOutline);
  return DBX_OK;
}

template <class Rec, class Fill>
int32_t HostDbx::first(const TConversation* context, WalkKind kind, std::vector<Rec> Walk::*list,
                       Rec* out, int32_t endStatus, Fill&& fill) {
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (out == nullptr) return DBX_BAD_INPUT;
  Walk& walk = state(tool).walks[kind];
  walk = Walk{};
  if (const int32_t status = fill(tool, walk.*list)) return status;
  walk.started = true;
  if (walk.next >= (walk.*list).size()) return endStatus;
  *out = (walk.*list)[walk.next++];
  return DBX_OK;
}

template <class Rec>
int32_t HostDbx::next(const TConversation* context, WalkKind kind, std::vector<Rec> Walk::*list,
                      Rec* out, int32_t endStatus) {
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (out == nullptr) return DBX_BAD_INPUT;
  Walk& walk = state(tool).walks[kind];
  if (!walk.started) return DBX_GETFIRST_NOT_CALLED;
  if (walk.next >= (walk.*list).size()) return endStatus;
  *out = (walk.*list)[walk.next++];
  return DBX_OK;
}

int32_t HostDbx::TGetFirstGrid(TConversation* context, TGrid* grid) {
  std::lock_guard lock(mutex_);
  return first(context, kGrids, &Walk::grids, grid, DBX_NO_MORE_ITEMS,
               [&](Tool tool, std::vector<TGrid>& out) {
                 for (const Grid& g : tool == kToolPcb ? design_.pcb.grids : design_.sch.grids) {
                   TGrid r;
                   r.gridId = g.id;
                   setText(r.gridSpacing, g.spacing);
                   out.push_back(r);
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextGrid(TConversation* context, TGrid* grid) {
  std::lock_guard lock(mutex_);
  return next(context, kGrids, &Walk::grids, grid, DBX_NO_MORE_ITEMS);
}

TComponent HostDbx::pcbRecord(const PcbComponent& c) const {
  TComponent r;
  r.compId = c.id;
  setText(r.refDes, c.refDes);
  setText(r.compType, c.compType);
  setText(r.value, c.value);
  setText(r.patternName, c.patternName);
  setText(r.libraryName, c.libraryName);
  r.refPoint = c.placement.refPoint;
  if (auto it = design_.pcb.patterns.find(c.patternName); it != design_.pcb.patterns.end()) {
    r.boundRect = placeRect(c.placement, localExtent(it->second));
    r.numberPads = static_cast<int32_t>(it->second.pads.size());
  }
  r.numberPins = r.numberPads;
  r.rotationAng = c.placement.rotation;
  r.numberParts = c.numberParts;
  r.isFlipped = c.placement.flipped ? 1 : 0;
  r.isHighlighted = c.highlight;
  r.isHetero = 0;
  r.connectionType = c.connectionType;
  r.isFixed = c.fixed ? 1 : 0;
  r.numberGraphics = 1;
  setText(r.currentGraphicName, kGraphicName);
  setText(r.defaultGraphicName, kGraphicName);
  return r;
}

TComponent HostDbx::schRecord(const SchComponent& c) const {
  TComponent r;
  r.compId = c.id;
  setText(r.refDes, c.refDes);
  setText(r.compType, c.compType);
  setText(r.value, c.value);
  setText(r.patternName, c.patternName);
  setText(r.libraryName, c.libraryName);
  r.numberPins = static_cast<int32_t>(c.pins.size());
  r.numberParts = c.numberParts;
  r.connectionType = c.connectionType;
  r.numberGraphics = 1;
  setText(r.currentGraphicName, kGraphicName);
  setText(r.defaultGraphicName, kGraphicName);
  // Position and highlight of a schematic component are those of its first symbol.
  const std::size_t symbol =
      index().firstSymbolOf(static_cast<std::size_t>(&c - design_.sch.components.data()));
  if (symbol != DesignIndex::kNone) {
    const Symbol& s = design_.sch.symbols[symbol];
    r.refPoint = s.refPoint;
    r.boundRect = s.boundRect;
    r.rotationAng = s.rotation;
    r.isFlipped = s.flipped ? 1 : 0;
    r.isHighlighted = s.highlight;
  }
  return r;
}

TSymbol HostDbx::symbolRecord(const Symbol& s) const {
  TSymbol r;
  r.symbolId = s.id;
  setText(r.refDes, s.refDes);
  r.partNumber = s.partNumber;
  r.refPoint = s.refPoint;
  r.boundRect = s.boundRect;
  r.rotationAng = s.rotation;
  r.isFlipped = s.flipped ? 1 : 0;
  r.isHighlighted = s.highlight;
  r.layerId = s.sheetId;
  return r;
}

int32_t HostDbx::TGetFirstComponent(TConversation* context, TComponent* component) {
  std::lock_guard lock(mutex_);
  return first(context, kComponents, &Walk::components, component, DBX_NO_MORE_COMPONENTS,
               [&](Tool tool, std::vector<TComponent>& out) {
                 if (tool == kToolPcb) {
                   for (const PcbComponent& c : design_.pcb.components) out.push_back(pcbRecord(c));
                 } else {
                   for (const SchComponent& c : design_.sch.components) out.push_back(schRecord(c));
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextComponent(TConversation* context, TComponent* component) {
  std::lock_guard lock(mutex_);
  return next(context, kComponents, &Walk::components, component, DBX_NO_MORE_COMPONENTS);
}

int32_t HostDbx::TGetFirstSymbol(TConversation* context, TSymbol* symbol) {
  std::lock_guard lock(mutex_);
  return first(context, kSymbols, &Walk::symbols, symbol, DBX_NO_MORE_ITEMS,
               [&](Tool tool, std::vector<TSymbol>& out) {
                 if (tool != kToolSch) return DBX_ILLEGAL_OP;
                 for (const Symbol& s : design_.sch.symbols) out.push_back(symbolRecord(s));
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextSymbol(TConversation* context, TSymbol* symbol) {
  std::lock_guard lock(mutex_);
  return next(context, kSymbols, &Walk::symbols, symbol, DBX_NO_MORE_ITEMS);
}

const DesignIndex& HostDbx::index() const {
  if (indexStale_) {
    index_.rebuild(design_);
    indexStale_ = false;
  }
  return index_;
}

namespace {

template <class Parts>
auto partAt(Parts& parts, std::size_t position) -> decltype(&parts[0]) {
  return position == DesignIndex::kNone ? nullptr : &parts[position];
}

}  // namespace

PcbComponent* HostDbx::findPcb(const char* refDes) {
  if (refDes == nullptr) return nullptr;
  return partAt(design_.pcb.components, index().pcbByRefDes(refDes));
}

PcbComponent* HostDbx::findPcbById(int32_t id) {
  return partAt(design_.pcb.components, index().pcbById(id));
}

const SchComponent* HostDbx::findSch(const char* refDes) const {
  if (refDes == nullptr) return nullptr;
  return partAt(design_.sch.components, index().schByRefDes(refDes));
}

Symbol* HostDbx::findSymbol(const char* refDes) {
  if (refDes == nullptr) return nullptr;
  return partAt(design_.sch.symbols, index().symbolByRefDes(refDes));
}

Symbol* HostDbx::findSymbolById(int32_t id) {
  return partAt(design_.sch.symbols, index().symbolById(id));
}

int32_t HostDbx::TGetCompByRefDes(TConversation* context, const char* refDes,
                                  TComponent* component) {
  std::lock_guard lock(mutex_);
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (component == nullptr) return DBX_BAD_INPUT;
  if (tool == kToolPcb) {
    const PcbComponent* c = findPcb(refDes);
    if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
    *component = pcbRecord(*c);
  } else {
    const SchComponent* c = findSch(refDes);
    if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
    *component = schRecord(*c);
  }
  return DBX_OK;
}

int32_t HostDbx::TGetSymbolByRefDes(TConversation* context, const char* refDes, TSymbol* symbol) {
  std::lock_guard lock(mutex_);
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (symbol == nullptr) return DBX_BAD_INPUT;
  if (tool != kToolSch) return DBX_ILLEGAL_OP;
  const Symbol* s = findSymbol(refDes);
  if (s == nullptr) return DBX_COMPONENT_NOT_FOUND;
  *symbol = symbolRecord(*s);
  return DBX_OK;
}

int32_t HostDbx::TGetFirstCompPad(TConversation* context, const char* refDes, const char*,
                                  TPad* pad) {
  std::lock_guard lock(mutex_);
  return first(context, kPads, &Walk::pads, pad, DBX_NO_MORE_ITEMS,
               [&](Tool tool, std::vector<TPad>& out) {
                 if (tool != kToolPcb) return DBX_ILLEGAL_OP;
                 const PcbComponent* c = findPcb(refDes);
                 if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
                 auto pattern = design_.pcb.patterns.find(c->patternName);
                 if (pattern == design_.pcb.patterns.end()) return DBX_NO_ATTACHED_PATTERN;
                 int32_t padId = 1;
                 for (const PadDef& def : pattern->second.pads) {
                   TPad r;
                   r.padId = padId++;
                   auto net = c->padNets.find(def.pinDes);
                   r.netId = net == c->padNets.end() ? 0 : net->second;
                   r.center = placePoint(c->placement, def.at);
                   r.layerId = design_.pcb.sideLayer(c->placement.flipped);
                   setText(r.compPin.pinDes, def.pinDes);
                   r.compPin.gateNumber = 1;
                   out.push_back(r);
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextCompPad(TConversation* context, TPad* pad) {
  std::lock_guard lock(mutex_);
  return next(context, kPads, &Walk::pads, pad, DBX_NO_MORE_ITEMS);
}

int32_t HostDbx::TGetFirstCompPin(TConversation* context, const char* refDes, TPin* pin) {
  std::lock_guard lock(mutex_);
  return first(context, kPins, &Walk::pins, pin, DBX_NO_MORE_ITEMS,
               [&](Tool tool, std::vector<TPin>& out) {
                 if (tool != kToolSch) return DBX_ILLEGAL_OP;
                 const SchComponent* c = findSch(refDes);
                 if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
                 int32_t pinId = 1;
                 for (const SchPin& p : c->pins) {
                   TPin r;
                   r.pinId = pinId++;
                   r.netId = p.netId;
                   r.refPoint = p.refPoint;
                   setText(r.compPin.pinDes, p.pinDes);
                   setText(r.compPin.pinName, p.pinName);
                   r.compPin.gateNumber = p.gateNumber;
                   out.push_back(r);
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextCompPin(TConversation* context, TPin* pin) {
  std::lock_guard lock(mutex_);
  return next(context, kPins, &Walk::pins, pin, DBX_NO_MORE_ITEMS);
}

std::map<int32_t, int32_t> HostDbx::nodeCounts(Tool tool) const {
  std::map<int32_t, int32_t> counts;
  if (tool == kToolPcb) {
    for (const PcbComponent& c : design_.pcb.components) {
      for (const auto& [pad, netId] : c.padNets) ++counts[netId];
    }
  } else {
    for (const SchComponent& c : design_.sch.components) {
      for (const SchPin& p : c.pins) ++counts[p.netId];
    }
  }
  return counts;
}

int32_t HostDbx::TGetFirstNet(TConversation* context, TNet* net) {
  std::lock_guard lock(mutex_);
  return first(context, kNets, &Walk::nets, net, DBX_NO_MORE_NETS,
               [&](Tool tool, std::vector<TNet>& out) {
                 std::map<int32_t, int32_t> counts = nodeCounts(tool);
                 for (const Net& n : design_.nets) {
                   TNet r;
                   r.netId = n.id;
                   setText(r.netName, n.name);
                   r.nodeCount = counts[n.id];
                   out.push_back(r);
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextNet(TConversation* context, TNet* net) {
  std::lock_guard lock(mutex_);
  return next(context, kNets, &Walk::nets, net, DBX_NO_MORE_NETS);
}

int32_t HostDbx::TGetFirstLayer(TConversation* context, TLayer* layer) {
  std::lock_guard lock(mutex_);
  return first(context, kLayers, &Walk::layers, layer, DBX_NO_MORE_LAYERS,
               [&](Tool tool, std::vector<TLayer>& out) {
                 if (tool == kToolSch) {
                   for (const Sheet& s : design_.sch.sheets) {
                     TLayer r;
                     r.layerId = s.id;
                     setText(r.layerName, s.name);
                     r.layerType = kLayerTypeSheet;
                     out.push_back(r);
                   }
                 } else {
                   for (const PcbLayer& l : design_.pcb.servedLayers()) {
                     TLayer r;
                     r.layerId = l.id;
                     setText(r.layerName, l.name);
                     r.layerType = l.copper ? kLayerTypeSignal : kLayerTypeNonSignal;
                     out.push_back(r);
                   }
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextLayer(TConversation* context, TLayer* layer) {
  std::lock_guard lock(mutex_);
  return next(context, kLayers, &Walk::layers, layer, DBX_NO_MORE_LAYERS);
}

int32_t HostDbx::TGetFirstHighlightedItem(TConversation* context, TItem* item) {
  std::lock_guard lock(mutex_);
  return first(context, kItems, &Walk::items, item, DBX_NO_MORE_ITEMS,
               [&](Tool tool, std::vector<TItem>& out) {
                 if (tool == kToolPcb) {
                   for (const PcbComponent& c : design_.pcb.components) {
                     if (c.highlight == 0) continue;
                     TItem r;
                     r.itemType = DBX_COMPONENT;
                     r.component = pcbRecord(c);
                     out.push_back(r);
                   }
                 } else {
                   for (const Symbol& s : design_.sch.symbols) {
                     if (s.highlight == 0) continue;
                     TItem r;
                     r.itemType = DBX_SYMBOL;
                     r.symbol = symbolRecord(s);
                     out.push_back(r);
                   }
                 }
                 std::map<int32_t, int32_t> counts = nodeCounts(tool);
                 for (const Net& n : design_.nets) {
                   if (n.highlight == 0) continue;
                   TItem r;
                   r.itemType = DBX_NET;
                   r.net.netId = n.id;
                   setText(r.net.netName, n.name);
                   r.net.nodeCount = counts[n.id];
                   out.push_back(r);
                 }
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextHighlightedItem(TConversation* context, TItem* item) {
  std::lock_guard lock(mutex_);
  return next(context, kItems, &Walk::items, item, DBX_NO_MORE_ITEMS);
}

int32_t HostDbx::setHighlight(TConversation* context, int32_t color, TComponent* component) {
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (component == nullptr) return DBX_BAD_INPUT;
  if (color < 0 || color > kLastColor) return DBX_INVALID_HIGHLIGHT_COLOR;
  if (tool == kToolPcb) {
    PcbComponent* c = findPcbById(component->compId);
    if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
    history_.noteBefore(*c);
    c->highlight = color;
    *component = pcbRecord(*c);
  } else {
    // Schematic clients know a component part by its symbol's id.
    Symbol* s = findSymbolById(component->compId);
    if (s == nullptr) return DBX_COMPONENT_NOT_FOUND;
    history_.noteBefore(*s);
    s->highlight = color;
    component->isHighlighted = color;
  }
  ++revision_;
  return DBX_OK;
}

int32_t HostDbx::THighlightItem(TConversation* context, int32_t color, TComponent* component) {
  std::lock_guard lock(mutex_);
  if (color == 0) {
    // Highlighting with "no colour" is not an operation of the host.
    Tool tool;
    if (const int32_t status = admit(context, tool)) return status;
    return DBX_INVALID_HIGHLIGHT_COLOR;
  }
  return setHighlight(context, color, component);
}

int32_t HostDbx::TUnHighlightItem(TConversation* context, TComponent* component) {
  std::lock_guard lock(mutex_);
  return setHighlight(context, 0, component);
}

template <class Edit>
int32_t HostDbx::applyPcbEdit(TConversation* context, const void* record, Edit&& edit) {
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (record == nullptr) return DBX_BAD_INPUT;
  if (tool != kToolPcb) return DBX_ILLEGAL_OP;
  if (const int32_t status = edit(design_.pcb)) return status;
  ++revision_;
  return DBX_OK;
}

template <class Edit>
int32_t HostDbx::editPcb(TConversation* context, TComponent* component, Edit&& edit) {
  return applyPcbEdit(context, component, [&](Pcb& pcb) -> int32_t {
    PcbComponent* c = findPcbById(component->compId);
    if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
    Placement placement = c->placement;
    if (const int32_t status = edit(*c, placement)) return status;
    if (!inside(pcb.header.workspace, placement.refPoint)) return DBX_ITEM_OUTSIDE_WORKSPACE;
    history_.noteBefore(*c);
    for (CompText& text : c->texts) text = pcb.textCarried(text, c->placement, placement);
    c->placement = placement;
    *component = pcbRecord(*c);
    return DBX_OK;
  });
}

int32_t HostDbx::TMoveComponent(TConversation* context, int32_t dx, int32_t dy,
                                TComponent* component) {
  std::lock_guard lock(mutex_);
  return editPcb(context, component, [&](const PcbComponent& c, Placement& placement) {
    if (c.fixed) return DBX_MOVE_ERROR;
    const int64_t x = int64_t(placement.refPoint.x) + dx, y = int64_t(placement.refPoint.y) + dy;
    if (!fitsInt32(x) || !fitsInt32(y)) return DBX_ITEM_OUTSIDE_WORKSPACE;
    placement = moved(placement, dx, dy);
    return DBX_OK;
  });
}

int32_t HostDbx::TFlipComponent(TConversation* context, TPoint point, TComponent* component) {
  std::lock_guard lock(mutex_);
  return editPcb(context, component, [&](const PcbComponent& c, Placement& placement) {
    if (c.fixed) return DBX_FLIP_ERROR;
    if (!fitsInt32(2 * int64_t(point.x) - placement.refPoint.x)) return DBX_ITEM_OUTSIDE_WORKSPACE;
    placement = flipped(placement, point);
    return DBX_OK;
  });
}

int32_t HostDbx::TRotateComponent(TConversation* context, int32_t angle, TPoint point,
                                  TComponent* component) {
  std::lock_guard lock(mutex_);
  return editPcb(context, component, [&](const PcbComponent& c, Placement& placement) {
    if (angle < -3600 || angle > 3600) return DBX_INVALID_ANGLE;
    if (c.fixed) return DBX_ROTATE_ERROR;
    // The turned point lies within the distance from the centre; refuse what
    // could leave the coordinate range.
    const int64_t reach = std::abs(int64_t(placement.refPoint.x) - point.x) +
                          std::abs(int64_t(placement.refPoint.y) - point.y);
    if (!fitsInt32(int64_t(point.x) + reach) || !fitsInt32(int64_t(point.x) - reach) ||
        !fitsInt32(int64_t(point.y) + reach) || !fitsInt32(int64_t(point.y) - reach)) {
      return DBX_ITEM_OUTSIDE_WORKSPACE;
    }
    placement = rotated(placement, angle, point);
    return DBX_OK;
  });
}

bool HostDbx::insideWorkspace(TPoint p) const { return inside(design_.pcb.header.workspace, p); }

int32_t HostDbx::checkCopperLayer(int32_t layerId) const {
  const PcbLayer* layer = design_.pcb.findLayer(layerId);
  return layer != nullptr && layer->copper ? DBX_OK : DBX_INVALID_LAYER;
}

namespace {

bool onCopper(const Pcb& pcb, int32_t layerId) {
  const PcbLayer* layer = pcb.findLayer(layerId);
  return layer != nullptr && layer->copper;
}
int32_t layerOf(const Track& t) { return t.layerId; }
int32_t layerOf(const ArcTrack& a) { return a.layerId; }
int32_t layerOf(const Zone& z) { return z.layerIds.empty() ? 0 : z.layerIds.front(); }

// Whether an item of items carrying sourceId lies on no copper: the source
// is a board drawing.
template <class Item>
bool drawingSource(const Pcb& pcb, const std::vector<Item>& items, int32_t sourceId) {
  return sourceId != 0 && std::any_of(items.begin(), items.end(), [&](const Item& item) {
           return item.info.sourceId == sourceId && !onCopper(pcb, layerOf(item));
         });
}

}  // namespace

template <class Item>
int32_t HostDbx::checkDrawingLayer(int32_t layerId, const ItemInfo& info,
                                   const std::vector<Item>& items) const {
  // A drawing (a channel's label or outline on the silkscreen) lies on a
  // layer of drawings, on no net: one of the host's own, a board's drawing
  // given back (Undo Place) or a copy of one; no copy of copper lies there.
  const PcbLayer* layer = design_.pcb.findLayer(layerId);
  if (layer == nullptr || layer->copper || info.netId != 0) return checkCopperLayer(layerId);
  const bool itself = info.sourceId == info.id;
  return info.sourceId == 0 || itself || drawingSource(design_.pcb, items, info.sourceId)
             ? DBX_OK
             : DBX_INVALID_LAYER;
}

int32_t HostDbx::checkNet(int32_t netId) const {
  return netId == 0 || design_.findNet(netId) != nullptr ? DBX_OK : DBX_INVALID_NET_ID;
}

int32_t HostDbx::freshItemId() {
  // Ids are not given twice while the design stays: an id freed by a delete
  // may still be known to a client.
  if (itemIdsRevision_ != revision_)
    lastItemId_ = std::max(lastItemId_, design_.pcb.nextItemId() - 1);
  if (lastItemId_ == std::numeric_limits<int32_t>::max()) return 0;
  return ++lastItemId_;
}

namespace {

// A source a placed record names must be carried by an item of its kind:
// the item read from the file, or a copy of it.
template <class Item>
bool carriesSource(const std::vector<Item>& items, int32_t sourceId) {
  return std::any_of(items.begin(), items.end(),
                     [&](const Item& item) { return item.info.sourceId == sourceId; });
}
bool isSource(const Pcb& pcb, const TLine& r) { return carriesSource(pcb.tracks, r.sourceItemId); }
bool isSource(const Pcb& pcb, const TArc& r) { return carriesSource(pcb.arcs, r.sourceItemId); }
bool isSource(const Pcb& pcb, const TVia& r) { return carriesSource(pcb.vias, r.sourceItemId); }
bool isSource(const Pcb& pcb, const TPolygon& r) {
  return carriesSource(pcb.zones, r.sourceItemId);
}

}  // namespace

template <class Item>
void HostDbx::addItem(std::vector<Item>& items, Item item) {
  history_.notePlaced(item, items.size());
  items.push_back(std::move(item));
}

template <class Rec, class Make>
int32_t HostDbx::placeItem(TConversation* context, Rec* record, int32_t Rec::*id, Make&& make) {
  const int32_t status = applyPcbEdit(context, record, [&](Pcb& pcb) -> int32_t {
    if (const int32_t checked = checkNet(record->netId)) return checked;
    ItemInfo info;
    info.netId = record->netId;
    info.group = std::string(getText(record->groupName));
    info.createdByClient = true;
    // Undo Place gives back an item a client deleted, which may be the very
    // item read from the file that names itself as its source.
    const bool restoringItself =
        record->sourceItemId == record->*id && freedItemIds_.contains(record->*id);
    if (record->sourceItemId != 0 && !restoringItself && !isSource(pcb, *record))
      return DBX_ITEM_NOT_FOUND;
    info.sourceId = record->sourceItemId;
    info.id = restoredItemId(pcb, record->*id);
    if (info.id != 0) {
      info.createdByClient = record->isCreatedByClient != 0;
    } else {
      info.id = freshItemId();
    }
    if (info.id == 0) return DBX_CREATE_ERROR;
    if (const int32_t made = make(pcb, info)) return made;
    record->*id = info.id;
    record->isCreatedByClient = 1;
    return DBX_OK;
  });
  if (status == DBX_OK) itemIdsRevision_ = revision_;
  return status;
}

int32_t HostDbx::TPlaceLine(TConversation* context, TLine* line) {
  std::lock_guard lock(mutex_);
  return placeItem(context, line, &TLine::lineId, [&](Pcb& pcb, const ItemInfo& info) -> int32_t {
    if (const int32_t status = checkDrawingLayer(line->layerId, info, pcb.tracks)) return status;
    if (line->width <= 0) return DBX_INVALID_WIDTH;
    if (!insideWorkspace(line->startPt) || !insideWorkspace(line->endPt))
      return DBX_ITEM_OUTSIDE_WORKSPACE;
    addItem(pcb.tracks, Track{info, line->layerId, line->width, line->startPt, line->endPt});
    return DBX_OK;
  });
}

int32_t HostDbx::TPlaceArc(TConversation* context, TArc* arc) {
  std::lock_guard lock(mutex_);
  return placeItem(context, arc, &TArc::arcId, [&](Pcb& pcb, const ItemInfo& info) -> int32_t {
    if (const int32_t status = checkDrawingLayer(arc->layerId, info, pcb.arcs)) return status;
    if (arc->width <= 0) return DBX_INVALID_WIDTH;
    for (TPoint p : {arc->startPt, arc->midPt, arc->endPt})
      if (!insideWorkspace(p)) return DBX_ITEM_OUTSIDE_WORKSPACE;
    // Three points on one line (or two equal) define no circle.
    const int64_t cross =
        (int64_t(arc->midPt.x) - arc->startPt.x) * (int64_t(arc->endPt.y) - arc->startPt.y) -
        (int64_t(arc->midPt.y) - arc->startPt.y) * (int64_t(arc->endPt.x) - arc->startPt.x);
    if (cross == 0) return DBX_CREATE_ERROR;
    addItem(pcb.arcs,
            ArcTrack{info, arc->layerId, arc->width, arc->startPt, arc->midPt, arc->endPt});
    return DBX_OK;
  });
}

int32_t HostDbx::TPlaceVia(TConversation* context, TVia* via) {
  std::lock_guard lock(mutex_);
  return placeItem(context, via, &TVia::viaId, [&](Pcb& pcb, const ItemInfo& info) -> int32_t {
    if (checkCopperLayer(via->startLayerId) || checkCopperLayer(via->endLayerId) ||
        via->startLayerId == via->endLayerId)
      return DBX_INVALID_LAYER;
    if (via->diameter <= 0 || via->drill <= 0 || via->drill >= via->diameter)
      return DBX_INVALID_WIDTH;
    if (via->viaType < kViaThrough || via->viaType > kViaMicro) return DBX_BAD_INPUT;
    if (!insideWorkspace(via->location)) return DBX_ITEM_OUTSIDE_WORKSPACE;
    addItem(pcb.vias, Via{info, via->location, via->diameter, via->drill, via->startLayerId,
                          via->endLayerId, via->viaType});
    return DBX_OK;
  });
}

int32_t HostDbx::TPlacePolygon(TConversation* context, TPolygon* polygon) {
  std::lock_guard lock(mutex_);
  const int32_t status =
      placeItem(context, polygon, &TPolygon::polygonId, [&](Pcb& pcb, ItemInfo& info) -> int32_t {
        if (const int32_t status = checkDrawingLayer(polygon->layerId, info, pcb.zones))
          return status;
        if (polygon->numberPoints < 0 || polygon->numberPoints > kMaxPolygonPoints)
          return DBX_ARRAY_TOO_SMALL;
        if (polygon->numberPoints < 3) return DBX_CREATE_ERROR;
        if (polygon->isKeepout != 0 && polygon->netId != 0) return DBX_INVALID_NET_ID;
        if (polygon->priority < 0) return DBX_BAD_INPUT;
        Zone zone{info, {polygon->layerId}, polygon->priority, polygon->isKeepout != 0, {}};
        zone.outline.assign(polygon->points, polygon->points + polygon->numberPoints);
        for (TPoint p : zone.outline)
          if (!insideWorkspace(p)) return DBX_ITEM_OUTSIDE_WORKSPACE;
        if (Zone* joined = zoneToJoin(pcb, zone)) {
          const std::size_t index = std::size_t(joined - pcb.zones.data());
          history_.noteDeleted(*joined, index);
          joined->layerIds.push_back(polygon->layerId);
          std::stable_sort(joined->layerIds.begin(), joined->layerIds.end(),
                           [&](int32_t a, int32_t b) { return layerRank(a) < layerRank(b); });
          history_.notePlaced(*joined, index);
          info.id = joined->info.id;
          return DBX_OK;
        }
        addItem(pcb.zones, std::move(zone));
        return DBX_OK;
      });
  if (status == DBX_OK) {
    joinableZoneId_ = polygon->polygonId;
    joinableZoneRevision_ = revision_;
  }
  return status;
}

Zone* HostDbx::zoneToJoin(Pcb& pcb, const Zone& zone) {
  // A zone on several layers is served once per layer with one id; placed
  // back layer after layer, with nothing else changed in between, those
  // layers make one zone again instead of one zone per layer.
  if (joinableZoneId_ == 0 || joinableZoneRevision_ != revision_) return nullptr;
  const auto last = std::find_if(pcb.zones.begin(), pcb.zones.end(),
                                 [&](const Zone& z) { return z.info.id == joinableZoneId_; });
  if (last == pcb.zones.end()) return nullptr;
  const bool sameZone = last->info.netId == zone.info.netId &&
                        last->info.group == zone.info.group && last->priority == zone.priority &&
                        last->keepout == zone.keepout && last->outline == zone.outline &&
                        last->info.sourceId == zone.info.sourceId;
  const bool newLayer = std::find(last->layerIds.begin(), last->layerIds.end(),
                                  zone.layerIds.front()) == last->layerIds.end();
  return sameZone && newLayer ? &*last : nullptr;
}

std::size_t HostDbx::layerRank(int32_t layerId) const {
  const std::vector<PcbLayer>& layers = design_.pcb.servedLayers();
  return std::size_t(std::find_if(layers.begin(), layers.end(),
                                  [&](const PcbLayer& l) { return l.id == layerId; }) -
                     layers.begin());
}

template <class Item>
int32_t HostDbx::eraseItem(std::vector<Item>& items, int32_t id) {
  // From the back: what a client deletes is mostly what it placed last.
  const auto found = std::find_if(items.rbegin(), items.rend(),
                                  [&](const Item& item) { return item.info.id == id; });
  if (found == items.rend()) return DBX_ITEM_NOT_FOUND;
  const auto it = std::prev(found.base());
  if (it->info.fixed) return DBX_DELETE_ERROR;
  history_.noteDeleted(*it, std::size_t(it - items.begin()));
  items.erase(it);
  freedItemIds_.insert(id);
  return DBX_OK;
}

int32_t HostDbx::restoredItemId(const Pcb& pcb, int32_t requested) {
  if (!freedItemIds_.contains(requested)) return 0;
  // The editor's own undo may have brought the item back meanwhile.
  const auto has = [&](const auto& items) {
    return std::any_of(items.begin(), items.end(),
                       [&](const auto& item) { return item.info.id == requested; });
  };
  if (has(pcb.tracks) || has(pcb.arcs) || has(pcb.vias) || has(pcb.zones)) return 0;
  freedItemIds_.erase(requested);
  return requested;
}

int32_t HostDbx::TDeleteItem(TConversation* context, TItem* item) {
  std::lock_guard lock(mutex_);
  return applyPcbEdit(context, item, [&](Pcb& pcb) -> int32_t {
    switch (item->itemType) {
      case DBX_LINE:
        return eraseItem(pcb.tracks, item->line.lineId);
      case DBX_ARC:
        return eraseItem(pcb.arcs, item->arc.arcId);
      case DBX_VIA:
        return eraseItem(pcb.vias, item->via.viaId);
      case DBX_POLYGON:
        return eraseItem(pcb.zones, item->polygon.polygonId);
      default:
        return DBX_INVALID_ITEM_TYPE;
    }
  });
}

namespace {

template <class Rec>
void fillInfo(Rec& r, const ItemInfo& info) {
  r.netId = info.netId;
  setText(r.groupName, info.group);
  r.isCreatedByClient = info.createdByClient ? 1 : 0;
  r.sourceItemId = info.sourceId;
}

}  // namespace

TItem HostDbx::copperRecord(const Walk& walk, const CopperEntry& entry) const {
  TItem r;
  r.itemType = entry.type;
  switch (entry.type) {
    case DBX_LINE: {
      const Track& t = walk.tracks[entry.index];
      r.line.lineId = t.info.id;
      r.line.layerId = t.layerId;
      r.line.width = t.width;
      r.line.startPt = t.start;
      r.line.endPt = t.end;
      fillInfo(r.line, t.info);
      break;
    }
    case DBX_ARC: {
      const ArcTrack& a = walk.arcs[entry.index];
      r.arc.arcId = a.info.id;
      r.arc.layerId = a.layerId;
      r.arc.width = a.width;
      r.arc.startPt = a.start;
      r.arc.midPt = a.mid;
      r.arc.endPt = a.end;
      fillInfo(r.arc, a.info);
      break;
    }
    case DBX_VIA: {
      const Via& v = walk.vias[entry.index];
      r.via.viaId = v.info.id;
      r.via.location = v.at;
      r.via.diameter = v.diameter;
      r.via.drill = v.drill;
      r.via.startLayerId = v.startLayerId;
      r.via.endLayerId = v.endLayerId;
      r.via.viaType = v.viaType;
      fillInfo(r.via, v.info);
      break;
    }
    default: {
      const Zone& z = walk.zones[entry.index];
      r.polygon.polygonId = z.info.id;
      r.polygon.layerId = entry.layerId;
      r.polygon.priority = z.priority;
      r.polygon.isKeepout = z.keepout ? 1 : 0;
      r.polygon.numberPoints = static_cast<int32_t>(z.outline.size());
      std::copy(z.outline.begin(), z.outline.end(), r.polygon.points);
      fillInfo(r.polygon, z.info);
      break;
    }
  }
  return r;
}

int32_t HostDbx::TGetFirstPcbItem(TConversation* context, TItem* item) {
  std::lock_guard lock(mutex_);
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (item == nullptr) return DBX_BAD_INPUT;
  if (tool != kToolPcb) return DBX_ILLEGAL_OP;
  Walk& walk = state(tool).walks[kPcbItems];
  walk = Walk{};
  const Pcb& pcb = design_.pcb;
  walk.tracks = pcb.tracks;
  walk.arcs = pcb.arcs;
  walk.vias = pcb.vias;
  walk.zones = pcb.zones;
  for (std::size_t i = 0; i < pcb.tracks.size(); ++i) walk.copper.push_back({DBX_LINE, i, 0});
  for (std::size_t i = 0; i < pcb.arcs.size(); ++i) walk.copper.push_back({DBX_ARC, i, 0});
  for (std::size_t i = 0; i < pcb.vias.size(); ++i) walk.copper.push_back({DBX_VIA, i, 0});
  for (std::size_t i = 0; i < pcb.zones.size(); ++i) {
    for (int32_t layerId : pcb.zones[i].layerIds) walk.copper.push_back({DBX_POLYGON, i, layerId});
  }
  walk.started = true;
  return serveCopper(walk, item);
}

int32_t HostDbx::TGetNextPcbItem(TConversation* context, TItem* item) {
  std::lock_guard lock(mutex_);
  Tool tool;
  if (const int32_t status = admit(context, tool)) return status;
  if (item == nullptr) return DBX_BAD_INPUT;
  Walk& walk = state(tool).walks[kPcbItems];
  if (!walk.started) return DBX_GETFIRST_NOT_CALLED;
  return serveCopper(walk, item);
}

int32_t HostDbx::serveCopper(Walk& walk, TItem* item) const {
  if (walk.next >= walk.copper.size()) return DBX_NO_MORE_ITEMS;
  const CopperEntry& entry = walk.copper[walk.next++];
  // An outline too long for the record is reported in its turn; the walk
  // goes on with the next call.
  if (entry.type == DBX_POLYGON && walk.zones[entry.index].outline.size() > kMaxPolygonPoints)
    return DBX_ARRAY_TOO_SMALL;
  *item = copperRecord(walk, entry);
  return DBX_OK;
}

std::vector<CompText> HostDbx::textsOf(const PcbComponent& c) const {
  std::vector<CompText> texts = c.texts;
  // A component read without its texts shows its reference at its origin and
  // keeps its value hidden there.
  for (int32_t type : {kAttrRefDes, kAttrValue}) {
    if (std::any_of(texts.begin(), texts.end(),
                    [&](const CompText& t) { return t.attrType == type; }))
      continue;
    CompText text;
    text.attrType = type;
    text.at = c.placement.refPoint;
    text.rotation = c.placement.rotation;
    text.flipped = c.placement.flipped;
    text.layerId = design_.pcb.sideLayer(c.placement.flipped);
    text.visible = type == kAttrRefDes;
    texts.push_back(text);
  }
  std::stable_sort(texts.begin(), texts.end(),
                   [](const CompText& a, const CompText& b) { return a.attrType < b.attrType; });
  return texts;
}

namespace {

TAttribute attributeRecord(const CompText& text) {
  TAttribute r;
  r.attrType = text.attrType;
  r.refPoint = text.at;
  r.rotationAng = text.rotation;
  r.isFlipped = text.flipped ? 1 : 0;
  r.layerId = text.layerId;
  r.textHeight = text.height;
  r.isVisible = text.visible ? 1 : 0;
  return r;
}

}  // namespace

int32_t HostDbx::TGetFirstCompAttribute(TConversation* context, const char* refDes,
                                        TAttribute* attribute) {
  std::lock_guard lock(mutex_);
  return first(context, kAttributes, &Walk::attributes, attribute, DBX_NO_MORE_ITEMS,
               [&](Tool tool, std::vector<TAttribute>& out) {
                 if (tool != kToolPcb) return DBX_ILLEGAL_OP;
                 const PcbComponent* c = findPcb(refDes);
                 if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
                 for (const CompText& text : textsOf(*c)) out.push_back(attributeRecord(text));
                 return DBX_OK;
               });
}

int32_t HostDbx::TGetNextCompAttribute(TConversation* context, TAttribute* attribute) {
  std::lock_guard lock(mutex_);
  return next(context, kAttributes, &Walk::attributes, attribute, DBX_NO_MORE_ITEMS);
}

int32_t HostDbx::TModifyCompAttribute(TConversation* context, const char* refDes,
                                      TAttribute* attribute) {
  std::lock_guard lock(mutex_);
  return applyPcbEdit(context, attribute, [&](Pcb& pcb) -> int32_t {
    PcbComponent* c = findPcb(refDes);
    if (c == nullptr) return DBX_COMPONENT_NOT_FOUND;
    if (attribute->attrType != kAttrRefDes && attribute->attrType != kAttrValue)
      return DBX_INVALID_ITEM_TYPE;
    if (attribute->rotationAng < -3600 || attribute->rotationAng > 3600) return DBX_INVALID_ANGLE;
    if (!insideWorkspace(attribute->refPoint)) return DBX_ITEM_OUTSIDE_WORKSPACE;
    if (c->fixed) return DBX_MODIFY_ERROR;
    history_.noteBefore(*c);
    // Only the text set is kept: a text the component was read without stays
    // the host's stand-in until a client sets it.
    std::vector<CompText> texts = c->texts;
    auto isSet = [&](const CompText& t) { return t.attrType == attribute->attrType; };
    if (std::none_of(texts.begin(), texts.end(), isSet)) {
      const std::vector<CompText> shown = textsOf(*c);
      texts.push_back(*std::find_if(shown.begin(), shown.end(), isSet));
      std::stable_sort(texts.begin(), texts.end(), [](const CompText& a, const CompText& b) {
        return a.attrType < b.attrType;
      });
    }
    CompText& text = *std::find_if(texts.begin(), texts.end(), isSet);
    const bool flipped = attribute->isFlipped != 0;
    if (flipped != text.flipped) text.layerId = pcb.oppositeSideLayer(text.layerId);
    text.at = attribute->refPoint;
    text.rotation = normalizeAngle(attribute->rotationAng);
    text.flipped = flipped;
    text.visible = attribute->isVisible != 0;
    *attribute = attributeRecord(text);
    c->texts = std::move(texts);
    return DBX_OK;
  });
}

}  // namespace dbxhost
