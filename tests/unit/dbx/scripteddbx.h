// A scripted stand-in for the host's DBX library: it records every call with
// its ordinal and arguments, answers prepared statuses, serves walks and
// lookups from plain record lists and applies edits to the caller's record.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dbx/dbx32.h"

namespace testing_dbx {

using namespace DBX;

enum Ordinal : int {
  kOpen = 282,
  kClose = 25,
  kDesignInfo = 99,
  kFirstGrid = 116,
  kNextGrid = 169,
  kFirstComponent = 114,
  kNextComponent = 167,
  kFirstSymbol = 143,
  kNextSymbol = 196,
  kCompByRefDes = 94,
  kSymbolByRefDes = 98,
  kFirstPad = 109,
  kNextPad = 162,
  kFirstPin = 112,
  kNextPin = 165,
  kFirstNet = 122,
  kNextNet = 175,
  kFirstLayer = 118,
  kNextLayer = 171,
  kFirstItem = 141,
  kNextItem = 194,
  kHighlight = 210,
  kUnHighlight = 325,
  kMove = 265,
  kFlip = 80,
  kRotate = 304,
  kFirstPcbItem = 134,
  kNextPcbItem = 187,
  kPlaceLine = 241,
  kPlaceArc = 234,
  kPlaceVia = 252,
  kPlacePolygon = 244,
  kDeleteItem = 54,
  kFirstAttribute = 106,
  kNextAttribute = 159,
  kModifyAttribute = 256,
};

struct Call {
  int ordinal = 0;
  std::string text;  // tool name or refDes
  int32_t a = 0;     // colour, dx or angle
  int32_t b = 0;     // dy
};

class ScriptedDbx : public Dbx32 {
 public:
  // The next calls of the ordinal answer these statuses in turn, without
  // effect; a prepared 0 lets the call be served normally.
  void prepare(int ordinal, std::vector<int32_t> answers) {
    auto& queue = prepared_[ordinal];
    queue.insert(queue.end(), answers.begin(), answers.end());
  }
  int count(int ordinal) const {
    int n = 0;
    for (const Call& call : calls) n += call.ordinal == ordinal ? 1 : 0;
    return n;
  }
  std::vector<int> ordinals() const {
    std::vector<int> result;
    for (const Call& call : calls) result.push_back(call.ordinal);
    return result;
  }
  // Ends the conversation as a host would between two actions.
  void dropConversation() { open = false; }
  // The "next" call of the ordinal answers success for ever, repeating the
  // last record of its list, as a broken host would.
  void makeEndless(int nextOrdinal) { endless_.insert(nextOrdinal); }

  std::vector<Call> calls;
  bool open = false;
  std::vector<std::string> openedTools;
  TDesign header;
  std::vector<TGrid> grids;
  std::vector<TComponent> components;
  std::vector<TSymbol> symbols;
  std::map<std::string, std::vector<TPad>> pads;  // by refDes
  std::map<std::string, std::vector<TPin>> pins;  // by bare refDes
  std::vector<TNet> nets;
  std::vector<TLayer> layers;
  std::vector<TItem> items;
  std::vector<TItem> pcbItems;
  std::map<std::string, std::vector<TAttribute>> attributes;  // by refDes
  std::vector<TItem> placed;  // the records of successful place calls, with their new ids
  std::vector<TItem> deleted;

  int32_t TOpenDesign(int32_t, int32_t, const char* toolName, TConversation* context) override {
    if (int32_t status = begin(kOpen, nullptr, toolName)) return status;
    open = true;
    context->handle = ++handle_;
    openedTools.push_back(toolName);
    return DBX_OK;
  }
  int32_t TCloseDesign(TConversation* context, const char*) override {
    if (int32_t status = begin(kClose, context)) return status;
    open = false;
    return DBX_OK;
  }
  int32_t TGetDesignInfo(TConversation* context, TDesign* design) override {
    if (int32_t status = begin(kDesignInfo, context)) return status;
    *design = header;
    return DBX_OK;
  }
  int32_t TGetFirstGrid(TConversation* c, TGrid* r) override {
    return first(kFirstGrid, c, grids, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetNextGrid(TConversation* c, TGrid* r) override {
    return next(kNextGrid, kFirstGrid, c, grids, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetFirstComponent(TConversation* c, TComponent* r) override {
    return first(kFirstComponent, c, components, r, DBX_NO_MORE_COMPONENTS);
  }
  int32_t TGetNextComponent(TConversation* c, TComponent* r) override {
    return next(kNextComponent, kFirstComponent, c, components, r, DBX_NO_MORE_COMPONENTS);
  }
  int32_t TGetFirstSymbol(TConversation* c, TSymbol* r) override {
    return first(kFirstSymbol, c, symbols, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetNextSymbol(TConversation* c, TSymbol* r) override {
    return next(kNextSymbol, kFirstSymbol, c, symbols, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetCompByRefDes(TConversation* c, const char* refDes, TComponent* r) override {
    if (int32_t status = begin(kCompByRefDes, c, refDes)) return status;
    for (const TComponent& component : components) {
      if (getText(component.refDes) == refDes) {
        *r = component;
        return DBX_OK;
      }
    }
    return DBX_COMPONENT_NOT_FOUND;
  }
  int32_t TGetSymbolByRefDes(TConversation* c, const char* refDes, TSymbol* r) override {
    if (int32_t status = begin(kSymbolByRefDes, c, refDes)) return status;
    for (const TSymbol& symbol : symbols) {
      if (getText(symbol.refDes) == refDes) {
        *r = symbol;
        return DBX_OK;
      }
    }
    return DBX_COMPONENT_NOT_FOUND;
  }
  int32_t TGetFirstCompPad(TConversation* c, const char* refDes, const char*, TPad* r) override {
    walkPads_ = pads[refDes];
    return first(kFirstPad, c, walkPads_, r, DBX_NO_MORE_ITEMS, refDes);
  }
  int32_t TGetNextCompPad(TConversation* c, TPad* r) override {
    return next(kNextPad, kFirstPad, c, walkPads_, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetFirstCompPin(TConversation* c, const char* refDes, TPin* r) override {
    walkPins_ = pins[refDes];
    return first(kFirstPin, c, walkPins_, r, DBX_NO_MORE_ITEMS, refDes);
  }
  int32_t TGetNextCompPin(TConversation* c, TPin* r) override {
    return next(kNextPin, kFirstPin, c, walkPins_, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetFirstNet(TConversation* c, TNet* r) override {
    return first(kFirstNet, c, nets, r, DBX_NO_MORE_NETS);
  }
  int32_t TGetNextNet(TConversation* c, TNet* r) override {
    return next(kNextNet, kFirstNet, c, nets, r, DBX_NO_MORE_NETS);
  }
  int32_t TGetFirstLayer(TConversation* c, TLayer* r) override {
    return first(kFirstLayer, c, layers, r, DBX_NO_MORE_LAYERS);
  }
  int32_t TGetNextLayer(TConversation* c, TLayer* r) override {
    return next(kNextLayer, kFirstLayer, c, layers, r, DBX_NO_MORE_LAYERS);
  }
  int32_t TGetFirstHighlightedItem(TConversation* c, TItem* r) override {
    return first(kFirstItem, c, items, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetNextHighlightedItem(TConversation* c, TItem* r) override {
    return next(kNextItem, kFirstItem, c, items, r, DBX_NO_MORE_ITEMS);
  }
  int32_t THighlightItem(TConversation* c, int32_t color, TComponent* r) override {
    if (int32_t status = begin(kHighlight, c, getText(r->refDes), color)) return status;
    r->isHighlighted = color;
    return DBX_OK;
  }
  int32_t TUnHighlightItem(TConversation* c, TComponent* r) override {
    if (int32_t status = begin(kUnHighlight, c, getText(r->refDes))) return status;
    r->isHighlighted = 0;
    return DBX_OK;
  }
  int32_t TMoveComponent(TConversation* c, int32_t dx, int32_t dy, TComponent* r) override {
    if (int32_t status = begin(kMove, c, getText(r->refDes), dx, dy)) return status;
    r->refPoint.x += dx;
    r->refPoint.y += dy;
    return DBX_OK;
  }
  int32_t TFlipComponent(TConversation* c, TPoint point, TComponent* r) override {
    if (int32_t status = begin(kFlip, c, getText(r->refDes), point.x, point.y)) return status;
    r->isFlipped = r->isFlipped != 0 ? 0 : 1;
    return DBX_OK;
  }
  int32_t TRotateComponent(TConversation* c, int32_t angle, TPoint, TComponent* r) override {
    if (int32_t status = begin(kRotate, c, getText(r->refDes), angle)) return status;
    r->rotationAng = ((r->rotationAng + angle) % 3600 + 3600) % 3600;
    return DBX_OK;
  }
  int32_t TGetFirstPcbItem(TConversation* c, TItem* r) override {
    return first(kFirstPcbItem, c, pcbItems, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TGetNextPcbItem(TConversation* c, TItem* r) override {
    return next(kNextPcbItem, kFirstPcbItem, c, pcbItems, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TPlaceLine(TConversation* c, TLine* r) override {
    return place(kPlaceLine, c, r, DBX_LINE, &TItem::line, &TLine::lineId);
  }
  int32_t TPlaceArc(TConversation* c, TArc* r) override {
    return place(kPlaceArc, c, r, DBX_ARC, &TItem::arc, &TArc::arcId);
  }
  int32_t TPlaceVia(TConversation* c, TVia* r) override {
    return place(kPlaceVia, c, r, DBX_VIA, &TItem::via, &TVia::viaId);
  }
  int32_t TPlacePolygon(TConversation* c, TPolygon* r) override {
    return place(kPlacePolygon, c, r, DBX_POLYGON, &TItem::polygon, &TPolygon::polygonId);
  }
  int32_t TDeleteItem(TConversation* c, TItem* r) override {
    if (int32_t status = begin(kDeleteItem, c, {}, r->itemType)) return status;
    deleted.push_back(*r);
    return DBX_OK;
  }
  int32_t TGetFirstCompAttribute(TConversation* c, const char* refDes, TAttribute* r) override {
    walkAttributes_ = attributes[refDes];
    return first(kFirstAttribute, c, walkAttributes_, r, DBX_NO_MORE_ITEMS, refDes);
  }
  int32_t TGetNextCompAttribute(TConversation* c, TAttribute* r) override {
    return next(kNextAttribute, kFirstAttribute, c, walkAttributes_, r, DBX_NO_MORE_ITEMS);
  }
  int32_t TModifyCompAttribute(TConversation* c, const char* refDes, TAttribute* r) override {
    if (int32_t status = begin(kModifyAttribute, c, refDes, r->attrType)) return status;
    for (TAttribute& attribute : attributes[refDes]) {
      if (attribute.attrType == r->attrType) {
        attribute = *r;
        return DBX_OK;
      }
    }
    return DBX_ITEM_NOT_FOUND;
  }

 private:
  // Records the call; a non-zero result is the answer.
  int32_t begin(int ordinal, const TConversation* context, std::string_view text = {},
                int32_t a = 0, int32_t b = 0) {
    calls.push_back({ordinal, std::string(text), a, b});
    auto& queue = prepared_[ordinal];
    if (!queue.empty()) {
      const int32_t status = queue.front();
      queue.pop_front();
      if (status != DBX_OK) return status;
    }
    if (context != nullptr && (!open || context->handle != handle_)) return DBX_NO_CONNECTION;
    return DBX_OK;
  }
  template <class Rec>
  int32_t place(int ordinal, TConversation* c, Rec* r, int32_t type, Rec TItem::*member,
                int32_t Rec::*id) {
    if (int32_t status = begin(ordinal, c, getText(r->groupName))) return status;
    r->*id = ++lastItemId_;
    r->isCreatedByClient = 1;
    TItem item{};
    item.itemType = type;
    item.*member = *r;
    placed.push_back(item);
    return DBX_OK;
  }
  template <class Rec>
  int32_t first(int ordinal, TConversation* c, const std::vector<Rec>& list, Rec* out, int32_t end,
                std::string_view text = {}) {
    if (int32_t status = begin(ordinal, c, text)) return status;
    cursor_[ordinal] = 0;
    if (list.empty()) return end;
    *out = list.front();
    return DBX_OK;
  }
  template <class Rec>
  int32_t next(int ordinal, int firstOrdinal, TConversation* c, const std::vector<Rec>& list,
               Rec* out, int32_t end) {
    if (int32_t status = begin(ordinal, c)) return status;
    const auto cursor = cursor_.find(firstOrdinal);
    if (cursor == cursor_.end()) return DBX_GETFIRST_NOT_CALLED;
    if (endless_.contains(ordinal) && !list.empty()) {
      *out = list.back();
      return DBX_OK;
    }
    if (++cursor->second >= list.size()) return end;
    *out = list[cursor->second];
    return DBX_OK;
  }

  std::map<int, std::deque<int32_t>> prepared_;
  std::map<int, std::size_t> cursor_;
  std::set<int> endless_;
  std::vector<TPad> walkPads_;
  std::vector<TPin> walkPins_;
  std::vector<TAttribute> walkAttributes_;
  int32_t lastItemId_ = 1000;
  uint32_t handle_ = 0;
};

// Record builders for the tests.
inline TComponent component(const char* refDes, int32_t connectionType = 0) {
  TComponent record{};
  setText(record.refDes, refDes);
  record.connectionType = connectionType;
  return record;
}
inline TSymbol symbol(int32_t id, const char* refDes, int32_t sheet = 1) {
  TSymbol record{};
  record.symbolId = id;
  setText(record.refDes, refDes);
  record.layerId = sheet;
  return record;
}
inline TPad pad(const char* pinDes, int32_t netId, int32_t x = 0, int32_t y = 0) {
  TPad record{};
  setText(record.compPin.pinDes, pinDes);
  record.netId = netId;
  record.center = {x, y};
  return record;
}
inline TPin pin(const char* pinDes, int32_t gate, int32_t netId, int32_t x = 0, int32_t y = 0) {
  TPin record{};
  setText(record.compPin.pinDes, pinDes);
  record.compPin.gateNumber = gate;
  record.netId = netId;
  record.refPoint = {x, y};
  return record;
}
inline TNet net(int32_t id, const char* name, int32_t nodeCount) {
  TNet record{};
  record.netId = id;
  setText(record.netName, name);
  record.nodeCount = nodeCount;
  return record;
}
inline TGrid grid(int32_t id, const char* spacing) {
  TGrid record{};
  record.gridId = id;
  setText(record.gridSpacing, spacing);
  return record;
}

}  // namespace testing_dbx
