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
  };
  enum WalkKind { kGrids, kComponents, kSymbols, kPads, kPins, kNets, kLayers, kItems, kWalkKinds };

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
  template <class Edit>
  int32_t editPcb(DBX::TConversation* context, DBX::TComponent* component, Edit&& edit);

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
};

}  // namespace dbxhost
