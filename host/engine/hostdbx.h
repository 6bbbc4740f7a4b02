// The host tools' DBX engine: serves the calls of the tools "pcb" and "sch" on
// one design, in the same process. Thread-safe: the socket server, the host
// window and tests may call it from different threads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dbx/dbx32.h"
#include "engine/designindex.h"
#include "engine/edithistory.h"
#include "model/design.h"

namespace dbxhost {

class HostDbx : public DBX::Dbx32 {
 public:
  explicit HostDbx(Design design);

  int32_t TOpenDesign(int32_t language, int32_t version, const char* toolName,
                      DBX::TConversation* context) override;
  int32_t TCloseDesign(DBX::TConversation* context, const char* reserved) override;
  int32_t TGetDesignInfo(DBX::TConversation* context, DBX::TDesign* design) override;
  int32_t TGetFirstGrid(DBX::TConversation* context, DBX::TGrid* grid) override;
  int32_t TGetNextGrid(DBX::TConversation* context, DBX::TGrid* grid) override;
  int32_t TGetFirstComponent(DBX::TConversation* context, DBX::TComponent* component) override;
  int32_t TGetNextComponent(DBX::TConversation* context, DBX::TComponent* component) override;
  int32_t TGetFirstSymbol(DBX::TConversation* context, DBX::TSymbol* symbol) override;
  int32_t TGetNextSymbol(DBX::TConversation* context, DBX::TSymbol* symbol) override;
  int32_t TGetCompByRefDes(DBX::TConversation* context, const char* refDes,
                           DBX::TComponent* component) override;
  int32_t TGetSymbolByRefDes(DBX::TConversation* context, const char* refDes,
                             DBX::TSymbol* symbol) override;
  int32_t TGetFirstCompPad(DBX::TConversation* context, const char* refDes, const char* graphicName,
                           DBX::TPad* pad) override;
  int32_t TGetNextCompPad(DBX::TConversation* context, DBX::TPad* pad) override;
  int32_t TGetFirstCompPin(DBX::TConversation* context, const char* refDes,
                           DBX::TPin* pin) override;
  int32_t TGetNextCompPin(DBX::TConversation* context, DBX::TPin* pin) override;
  int32_t TGetFirstNet(DBX::TConversation* context, DBX::TNet* net) override;
  int32_t TGetNextNet(DBX::TConversation* context, DBX::TNet* net) override;
  int32_t TGetFirstLayer(DBX::TConversation* context, DBX::TLayer* layer) override;
  int32_t TGetNextLayer(DBX::TConversation* context, DBX::TLayer* layer) override;
  int32_t TGetFirstHighlightedItem(DBX::TConversation* context, DBX::TItem* item) override;
  int32_t TGetNextHighlightedItem(DBX::TConversation* context, DBX::TItem* item) override;
  int32_t THighlightItem(DBX::TConversation* context, int32_t color,
                         DBX::TComponent* component) override;
  int32_t TUnHighlightItem(DBX::TConversation* context, DBX::TComponent* component) override;
  int32_t TMoveComponent(DBX::TConversation* context, int32_t dx, int32_t dy,
                         DBX::TComponent* component) override;
  int32_t TFlipComponent(DBX::TConversation* context, DBX::TPoint point,
                         DBX::TComponent* component) override;
  int32_t TRotateComponent(DBX::TConversation* context, int32_t angle, DBX::TPoint point,
                           DBX::TComponent* component) override;
  int32_t TGetFirstPcbItem(DBX::TConversation* context, DBX::TItem* item) override;
  int32_t TGetNextPcbItem(DBX::TConversation* context, DBX::TItem* item) override;
  int32_t TPlaceLine(DBX::TConversation* context, DBX::TLine* line) override;
  int32_t TPlaceArc(DBX::TConversation* context, DBX::TArc* arc) override;
  int32_t TPlaceVia(DBX::TConversation* context, DBX::TVia* via) override;
  int32_t TPlacePolygon(DBX::TConversation* context, DBX::TPolygon* polygon) override;
  int32_t TDeleteItem(DBX::TConversation* context, DBX::TItem* item) override;
  int32_t TGetFirstCompAttribute(DBX::TConversation* context, const char* refDes,
                                 DBX::TAttribute* attribute) override;
  int32_t TGetNextCompAttribute(DBX::TConversation* context, DBX::TAttribute* attribute) override;
  int32_t TModifyCompAttribute(DBX::TConversation* context, const char* refDes,
                               DBX::TAttribute* attribute) override;

  // Test hooks, per tool.
  // The callNumber-th call to the tool from now (1: the next one) answers
  // status and has no effect.
  void injectStatus(DBX::Tool tool, int callNumber, int32_t status);
  // After that many more calls to the tool its conversation ends; the next
  // call of that conversation answers DBX_SERVER_TERMINATED.
  void dropAfter(DBX::Tool tool, int calls);
  // While set, every open of the tool answers DBX_SERVER_BUSY, as if another
  // client held it.
  void setBusy(DBX::Tool tool, bool busy);
  // Calls that reached the tool since the host started.
  int callCount(DBX::Tool tool) const;
  // Whether a client holds the tool.
  bool isHeld(DBX::Tool tool) const;

  // Runs f on the design under the host's lock; the engine sees the changes
  // at once, parts added or removed included. A counter of changes lets
  // viewers notice edits.
  template <class F>
  auto withDesign(F&& f) {
    std::lock_guard lock(mutex_);
    ++revision_;
    indexStale_ = true;
    return f(design_);
  }
  template <class F>
  auto readDesign(F&& f) const {
    std::lock_guard lock(mutex_);
    return f(static_cast<const Design&>(design_));
  }
  // Increases with every change of the design, by a client or by withDesign.
  uint64_t revision() const;

  // Undo and redo of the clients' edits, a conversation at a time (see
  // EditHistory). Refused while any client holds a conversation, whose view
  // of the design they would change behind its back.
  struct HistoryStep {
    enum class Outcome { kDone, kNothingToDo, kClientHolds };
    Outcome outcome = Outcome::kNothingToDo;
    std::size_t parts = 0;              // parts changed when done
    DBX::Tool holder = DBX::kToolNone;  // the held tool when refused
  };
  HistoryStep undoClientEdits();
  HistoryStep redoClientEdits();
  bool canUndo() const;
  bool canRedo() const;

  // Puts another design in place of the current one, as when the user opens
  // another file in the editor; the edit history starts anew. Open
  // conversations end: the tools are free at
  // once, and the next call of a former client answers DBX_SERVER_TERMINATED,
  // so that it reconnects and checks what it knows against the new design.
  // Test hooks stay armed. Returns the revision of the new design.
  uint64_t replaceDesign(Design design);

 private:
  // One copper item of the walk: its type, index in the walk's list of that
  // type and, for a zone, the layer it is served on.
  struct CopperEntry {
    int32_t type = 0;
    std::size_t index = 0;
    int32_t layerId = 0;
  };
  // One first/next walk: the records are materialised at the first call.
  struct Walk {
    bool started = false;
    std::size_t next = 0;
    std::vector<DBX::TComponent> components;
    std::vector<DBX::TSymbol> symbols;
    std::vector<DBX::TGrid> grids;
    std::vector<DBX::TPad> pads;
    std::vector<DBX::TPin> pins;
    std::vector<DBX::TNet> nets;
    std::vector<DBX::TLayer> layers;
    std::vector<DBX::TItem> items;
    std::vector<DBX::TAttribute> attributes;
    // The copper walk keeps its own copy of the items and builds each record
    // when it is served: a whole board of item records would be large.
    std::vector<CopperEntry> copper;
    std::vector<Track> tracks;
    std::vector<ArcTrack> arcs;
    std::vector<Via> vias;
    std::vector<Zone> zones;
  };
  enum WalkKind {
    kGrids,
    kComponents,
    kSymbols,
    kPads,
    kPins,
    kNets,
    kLayers,
    kItems,
    kPcbItems,
    kAttributes,
    kWalkKinds
  };

  struct ToolState {
    uint32_t holder = 0;  // context handle of the client holding the tool; 0 free
    Walk walks[kWalkKinds];
    int calls = 0;
    std::map<int, int32_t> injected;  // call number -> status
    bool dropArmed = false;
    int dropAtCall = 0;  // the last call served before the drop
    bool busy = false;
    std::set<uint32_t> ended;  // handles whose conversation the host ended
  };

  // Counts the call and decides whether it is served: returns 0 to go on,
  // otherwise the status to answer.
  int32_t admit(const DBX::TConversation* context, DBX::Tool& tool);
  // The tool's conversation is over: the tool is free and its edits form a batch.
  void endConversation(DBX::Tool tool);
  HistoryStep stepHistory(bool undo);
  ToolState& state(DBX::Tool tool) { return tools_[tool == DBX::kToolPcb ? 0 : 1]; }
  const ToolState& state(DBX::Tool tool) const { return tools_[tool == DBX::kToolPcb ? 0 : 1]; }

  template <class Rec, class Fill>
  int32_t first(const DBX::TConversation* context, WalkKind kind, std::vector<Rec> Walk::*list,
                Rec* out, int32_t endStatus, Fill&& fill);
  template <class Rec>
  int32_t next(const DBX::TConversation* context, WalkKind kind, std::vector<Rec> Walk::*list,
               Rec* out, int32_t endStatus);
  int32_t setHighlight(DBX::TConversation* context, int32_t color, DBX::TComponent* component);
  // Every edit of the PCB by a client goes through here: admits the call,
  // requires the PCB tool and a record, and counts the change when the edit
  // succeeds.
  template <class Edit>
  int32_t applyPcbEdit(DBX::TConversation* context, const void* record, Edit&& edit);
  template <class Edit>
  int32_t editPcb(DBX::TConversation* context, DBX::TComponent* component, Edit&& edit);
  // Places a copper item built by make (which checks the record) under a
  // fresh id, or under the id of the item it joins when make gives it one.
  template <class Rec, class Make>
  int32_t placeItem(DBX::TConversation* context, Rec* record, int32_t Rec::*id, Make&& make);
  int32_t freshItemId();
  // The requested id when it is that of an item a client deleted and no
  // item holds it now (then it is taken); else 0.
  int32_t restoredItemId(const Pcb& pcb, int32_t requested);
  // Add a copper item to its list or take one out, noting it for the edit
  // history.
  template <class Item>
  void addItem(std::vector<Item>& items, Item item);
  // The zone that a placed zone joins as a further layer, if any.
  Zone* zoneToJoin(Pcb& pcb, const Zone& zone);
  // A layer's place in the board's stack, copper top to bottom first.
  std::size_t layerRank(int32_t layerId) const;
  template <class Item>
  int32_t eraseItem(std::vector<Item>& items, int32_t id);
  int32_t checkNet(int32_t netId) const;
  int32_t checkCopperLayer(int32_t layerId) const;
  // A copper layer, or for an item on no net a non-signal layer, unless its
  // source among items is copper.
  template <class Item>
  int32_t checkDrawingLayer(int32_t layerId, const ItemInfo& info,
                            const std::vector<Item>& items) const;
  bool insideWorkspace(TPoint p) const;
  DBX::TItem copperRecord(const Walk& walk, const CopperEntry& entry) const;
  int32_t serveCopper(Walk& walk, DBX::TItem* item) const;
  std::vector<CompText> textsOf(const PcbComponent& c) const;

  DBX::TComponent pcbRecord(const PcbComponent& c) const;
  DBX::TComponent schRecord(const SchComponent& c) const;
  DBX::TSymbol symbolRecord(const Symbol& s) const;
  DBX::TDesign headerRecord(const Header& h) const;
  // Pins (schematic) or connected pads (PCB) per net id.
  std::map<int32_t, int32_t> nodeCounts(DBX::Tool tool) const;
  PcbComponent* findPcb(const char* refDes);
  PcbComponent* findPcbById(int32_t id);
  const SchComponent* findSch(const char* refDes) const;
  Symbol* findSymbol(const char* refDes);
  Symbol* findSymbolById(int32_t id);
  // The positions of the parts, rebuilt at the first lookup after the design
  // may have changed its vectors.
  const DesignIndex& index() const;

  mutable std::mutex mutex_;
  Design design_;
  mutable DesignIndex index_;
  mutable bool indexStale_ = true;
  EditHistory history_;
  ToolState tools_[2];
  uint32_t nextHandle_ = 1;
  uint64_t revision_ = 0;
  int32_t lastItemId_ = 0;            // the last id given to a placed item
  uint64_t itemIdsRevision_ = ~0ull;  // the revision lastItemId_ was checked at
  // Ids of the copper items clients deleted while the design stays: placing
  // a record that carries one of them puts that item back under its own id
  // (a client's undo), so that a saved file comes out as before.
  std::set<int32_t> freedItemIds_;
  // The zone placed last, which a placement of its outline on a further
  // layer joins while the design stays at that revision.
  int32_t joinableZoneId_ = 0;
  uint64_t joinableZoneRevision_ = 0;
};

}  // namespace dbxhost
