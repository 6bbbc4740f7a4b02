// What the clients changed, conversation by conversation, so that the person
// at the host can take a client's edits back and redo them. A batch is every
// change one client conversation made, from its open to its end; undoing it
// puts each part it changed back as the conversation found it.
//
// Clients change PCB components (placement and highlight) and schematic
// symbols (highlight); parts are known by their id, so a part removed since
// is skipped. Not thread-safe: the engine calls it under its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
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
  // The tool's conversation ended. If it changed anything, its changes become
  // the last batch to undo and whatever was undone before can no longer be
  // redone; a conversation that changed nothing leaves the history alone.
  void endConversation(DBX::Tool tool, const Design& design);
  // Forgets everything: the design was replaced.
  void clear();

  bool canUndo() const { return !undoable_.empty(); }
  bool canRedo() const { return !redoable_.empty(); }
  // Puts the parts of the last batch back as its conversation found them and
  // returns how many parts changed. Nothing happens when there is no batch.
  std::size_t undo(Design& design);
  // Gives the parts of the last undone batch the states its conversation left.
  std::size_t redo(Design& design);

  // What a client can change on a part: a PCB component's placement and
  // highlight, a symbol's highlight.
  struct PartState {
    Placement placement;
    int32_t highlight = 0;
    friend bool operator==(const PartState&, const PartState&) = default;
  };

 private:
  struct Change {
    PartState before, after;
  };
  struct Batch {
    DBX::Tool tool;
    std::map<int32_t, Change> changes;  // by part id
  };

  // Applies one side of the last batch of from and moves the batch to to.
  static std::size_t replay(std::vector<Batch>& from, std::vector<Batch>& to,
                            PartState Change::*state, Design& design);

  std::map<int32_t, PartState> found_[2];  // per tool: id -> state the conversation found
  std::vector<Batch> undoable_, redoable_;
};

}  // namespace dbxhost
