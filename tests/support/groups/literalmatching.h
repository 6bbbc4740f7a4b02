// The row check and the drop-target search done the original, literal way:
// every check builds the row's graph afresh from the design's net connection
// lists. Slow on big nets; kept as the reference that the fast code must
// equal result for result, and as the baseline of the benchmarks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dbx/bimap.h"
#include "groups/droptargets.h"
#include "groups/netgraph.h"

class GroupTable;

namespace literal {

class Graph {
 public:
  struct Node {
    DBX::Component* component = nullptr;
    NetGraph::Links links;
  };

  // The same items as the graph, added again in node id order.
  static Graph from(const NetGraph& graph);

  // Links from Design::componentConnections of the new and of every node.
  void AddItem(uint32_t item, DBX::Component* component);
  const Node* nodeOfItem(uint32_t item) const;

  std::map<uint32_t, Node> nodes;
  DBX::bimap<uint32_t, uint32_t> items;
  uint32_t nextNodeId = 0;
};

bool ItemLinks(const Graph& g, uint32_t item, const Graph& h,
               std::multimap<uint32_t, NetGraph::PinPair>& links);

int CheckRow(const Graph& templateGraph, NetGraph::CompVector& row, int item,
             DBX::Component* candidate);

DropTargets ComputeDropTargets(const GroupTable& table, const NetGraph& templateGraph,
                               DBX::Component* component);

}  // namespace literal

namespace literal {

// Variant generation as first described: every component in list order tried
// in every free slot, the whole-row check after each placement, no other
// pruning and no limit.
struct Variants {
  std::vector<DBX::Component*> candidates;
  std::size_t deepestIndex = 0;
};
Variants GenerateVariants(const NetGraph& templateGraph,
                          const std::vector<DBX::Component*>& newComponents);

}  // namespace literal
