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
#include <optional>
#include <vector>

#include "dbx/dbx32.h"
#include "model/design.h"

namespace dbxhost {

class EditHistory {
 public:
  // A client of tool is about to change the part with this id (a PCB
  // component for pcb, a symbol for sch). The first note of a part in a
  // conversation keeps the state the conversation found.
  void noteBefore(DBX::Tool tool, int32_t id, const Design& design);
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

 private:
  struct PartState {
    Placement placement;
    int32_t highlight = 0;
    friend bool operator==(const PartState&, const PartState&) = default;
  };
  struct Change {
    DBX::Tool tool;
    int32_t id;
    PartState before, after;
  };
  using Batch = std::vector<Change>;

  static std::optional<PartState> stateOf(DBX::Tool tool, int32_t id, const Design& design);
  static bool restore(const Change& change, const PartState& state, Design& design);
  // Applies one side of the batch and moves the batch to the other stack.
  static std::size_t replay(std::vector<Batch>& from, std::vector<Batch>& to,
                            PartState Change::*state, Design& design);

  std::map<int32_t, PartState> open_[2];  // per tool: id -> state the conversation found
  std::vector<Batch> undoable_, redoable_;
};

}  // namespace dbxhost
