// What the clients changed, conversation by conversation, so that the person
// at the host can take a client's edits back and redo them. A batch is every
// change one client conversation made, from its open to its end; undoing it
// puts each part it changed back as the conversation found it.
//
// Clients change PCB components (placement, texts and highlight), schematic
// symbols (highlight) and the PCB's copper (items placed and deleted); parts
// are known by their id, so a part removed since is skipped. Copper edits are
// kept in the order they were made, each with its place in its list, so that
// undoing them leaves every list exactly as it was. Not thread-safe: the
// engine calls it under its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <variant>
#include <vector>

#include "dbx/dbx32.h"
#include "model/design.h"

namespace dbxhost {

class EditHistory {
 public:
  // A client is about to change this PCB component or symbol. The first note
  // of a part in a conversation keeps the state the conversation found.
  void noteBefore(const PcbComponent& component);
  void noteBefore(const Symbol& symbol);
  // A PCB client placed this copper item at that index of its list, or
  // deleted the one that stood there.
  using CopperItem = std::variant<Track, ArcTrack, Via, Zone>;
  void notePlaced(CopperItem item, std::size_t index);
  void noteDeleted(CopperItem item, std::size_t index);
  // The tool's conversation ended. If it changed anything, its changes become
  // the last batch to undo and whatever was undone before can no longer be
  // redone; a conversation that changed nothing leaves the history alone.
  void endConversation(DBX::Tool tool, const Design& design);
  // Forgets everything: the design was replaced.
  void clear();

  bool canUndo() const { return !undoable_.empty(); }
  bool canRedo() const { return !redoable_.empty(); }
  // Puts the parts and copper of the last batch back as its conversation
  // found them and returns how many parts and copper items changed. Nothing
  // happens when there is no batch.
  std::size_t undo(Design& design);
  // Gives the parts and copper of the last undone batch the states its
  // conversation left.
  std::size_t redo(Design& design);

  // What a client can change on a part: a PCB component's placement, texts
  // and highlight, a symbol's highlight.
  struct PartState {
    Placement placement;
    std::vector<CompText> texts;
    int32_t highlight = 0;
    friend bool operator==(const PartState&, const PartState&) = default;
  };

 private:
  struct Change {
    PartState before, after;
  };
  struct CopperEdit {
    bool placed;  // else deleted
    CopperItem item;
    std::size_t index;  // in its list, when the edit was made
  };
  struct Batch {
    DBX::Tool tool;
    std::map<int32_t, Change> changes;  // by part id
    std::vector<CopperEdit> copper;     // in the order made
  };

  // Applies one side of the last batch of from and moves the batch to to.
  static std::size_t replay(std::vector<Batch>& from, std::vector<Batch>& to, bool undo,
                            Design& design);
  // Makes one copper edit again (forward) or takes it back.
  static void apply(const CopperEdit& edit, bool forward, Pcb& pcb);

  std::map<int32_t, PartState> found_[2];  // per tool: id -> state the conversation found
  std::vector<CopperEdit> copperMade_;     // by the PCB conversation now open
  std::vector<Batch> undoable_, redoable_;
};

}  // namespace dbxhost
