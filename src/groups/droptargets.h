// Where a dragged component may be dropped in the group table, and which
// filled cells a drop there would empty because they would then disagree
// with the template.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace DBX {
class Component;
}
class GroupTable;
class NetGraph;
class PinLinks;

// A data cell's number: ((row - 1) << 16) + (column - 1).
using CellKey = uint32_t;
inline CellKey MakeCellKey(int row, int column) {
  return (static_cast<uint32_t>(row - 1) << 16) + static_cast<uint32_t>(column - 1);
}
inline int CellKeyRow(CellKey key) { return static_cast<int>(key >> 16) + 1; }
inline int CellKeyColumn(CellKey key) { return static_cast<int>(key & 0xFFFF) + 1; }

// The range [conflictsBegin, conflictsEnd) of the conflict cells that a drop
// on the target empties; both -1 when it empties nothing.
struct DropInfo {
  int32_t conflictsBegin = -1;
  int32_t conflictsEnd = -1;
  friend bool operator==(const DropInfo&, const DropInfo&) = default;
};

struct DropTargets {
  std::map<CellKey, DropInfo> targets;
  std::vector<CellKey> conflictCells;
};

// The drop targets of the component: every empty item cell of the group rows
// (the spare last row included) where the row check accepts it, and every
// empty template cell (the spare last column included), each with the
// disagreeing cells that a drop there clears. pinTables, when given, keeps
// the components' pin tables from one search to the next.
DropTargets FindDropTargets(const GroupTable& table, const NetGraph& templateGraph,
                            DBX::Component* component, PinLinks* pinTables = nullptr);
