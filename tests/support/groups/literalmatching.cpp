#include "literalmatching.h"

#include "dbx/design.h"
#include "groups/componentkey.h"
#include "groups/grouptable.h"

namespace literal {

Graph Graph::from(const NetGraph& graph) {
  Graph copy;
  for (const auto& [id, node] : graph.nodes())
    copy.AddItem(graph.items().right.at(id), node.component);
  return copy;
}

void Graph::AddItem(uint32_t item, DBX::Component* component) {
  const uint32_t id = nextNodeId++;
  items.assign(item, id);
  DBX::Design::ConnectionsByComponent connections;
  component->design().componentConnections(component, connections, {});
  Node node{component, {}};
  for (auto& [otherId, other] : nodes) {
    const auto [begin, end] = connections.equal_range(other.component);
    for (auto at = begin; at != end; ++at) {
      node.links.emplace(otherId, NetGraph::PinPair(at->second.pin, at->second.otherPin));
    }
  }
  for (auto& [otherId, other] : nodes) {
    DBX::Design::ConnectionsByComponent otherConnections;
    component->design().componentConnections(other.component, otherConnections, {});
    const auto [begin, end] = otherConnections.equal_range(component);
    for (auto at = begin; at != end; ++at) {
      other.links.emplace(id, NetGraph::PinPair(at->second.pin, at->second.otherPin));
    }
  }
  nodes.emplace(id, std::move(node));
}

const Graph::Node* Graph::nodeOfItem(uint32_t item) const {
  const auto found = items.left.find(item);
  return found == items.left.end() ? nullptr : &nodes.at(found->second);
}

bool ItemLinks(const Graph& g, uint32_t item, const Graph& h,
               std::multimap<uint32_t, NetGraph::PinPair>& links) {
  const Graph::Node* node = g.nodeOfItem(item);
  if (node == nullptr) return false;
  for (const auto& [otherId, pair] : node->links) {
    const uint32_t otherItem = g.items.right.at(otherId);
    if (h.nodeOfItem(otherItem) != nullptr) links.emplace(otherItem, pair);
  }
  return true;
}

int CheckRow(const Graph& templateGraph, NetGraph::CompVector& row, int item,
             DBX::Component* candidate) {
  const bool candidateForm = item >= 0 && candidate != nullptr;
  const auto slot = static_cast<std::size_t>(item);
  if (candidateForm) {
    const Graph::Node* node = templateGraph.nodeOfItem(static_cast<uint32_t>(item));
    if (node == nullptr) return 1;
    if (ComponentKey(*node->component, kKeyAll) != ComponentKey(*candidate, kKeyAll)) return 0;
    if (row.size() <= slot) row.resize(slot + 1);
    row[slot].component = candidate;
  }
  Graph rowGraph;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (row[i].component != nullptr) rowGraph.AddItem(static_cast<uint32_t>(i), row[i].component);
    row[i].mismatch = false;
  }
  bool mismatch = false;
  if (!candidateForm) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      const Graph::Node* node = templateGraph.nodeOfItem(static_cast<uint32_t>(i));
      if (row[i].component == nullptr || node == nullptr) continue;
      if (ComponentKey(*node->component, kKeyAll) != ComponentKey(*row[i].component, kKeyAll)) {
        row[i].mismatch = mismatch = true;
      }
    }
  }
  for (std::size_t e = 0; e < row.size(); ++e) {
    const auto index = static_cast<uint32_t>(e);
    if (row[e].component == nullptr || row[e].mismatch) continue;
    if (templateGraph.nodeOfItem(index) == nullptr || rowGraph.nodeOfItem(index) == nullptr) {
      continue;
    }
    std::multimap<uint32_t, NetGraph::PinPair> inTemplate;
    std::multimap<uint32_t, NetGraph::PinPair> inRow;
    ItemLinks(templateGraph, index, rowGraph, inTemplate);
    ItemLinks(rowGraph, index, templateGraph, inRow);
    if (inTemplate != inRow) row[e].mismatch = mismatch = true;
  }
  if (candidateForm) row[slot].component = nullptr;
  if (!mismatch) return 1;
  return candidateForm && row[slot].mismatch ? 0 : -1;
}

DropTargets ComputeDropTargets(const GroupTable& table, const NetGraph& templateGraph,
                               DBX::Component* component) {
  DropTargets out;
  const Graph templateCopy = Graph::from(templateGraph);
  std::map<int, NetGraph::CompVector> rows;
  auto appendMarked = [&](const NetGraph::CompVector& row, int r) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i].mismatch) out.conflictCells.push_back(MakeCellKey(r, static_cast<int>(i) + 1));
    }
  };
  for (int r = 2; r < table.rowCount(); ++r) {
    NetGraph::CompVector& row = rows[r];
    for (int c = 1; c <= table.colCount() - 2; ++c)
      row.push_back({table.cell(r, c).component, false});
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i].component != nullptr) continue;
      const int result = CheckRow(templateCopy, row, static_cast<int>(i), component);
      const CellKey key = MakeCellKey(r, static_cast<int>(i) + 1);
      if (result == 1) {
        out.targets[key] = DropInfo{};
      } else if (result == -1) {
        const auto begin = static_cast<int32_t>(out.conflictCells.size());
        appendMarked(row, r);
        out.targets[key] = DropInfo{begin, static_cast<int32_t>(out.conflictCells.size())};
      }
    }
  }
  for (int c = 1; c < table.colCount(); ++c) {
    if (!table.cell(1, c).empty()) continue;
    Graph extended = templateCopy;
    extended.AddItem(static_cast<uint32_t>(c - 1), component);
    const auto begin = static_cast<int32_t>(out.conflictCells.size());
    for (int r = 2; r < table.rowCount() - 1; ++r) {
      if (CheckRow(extended, rows[r], -1, nullptr) == -1) appendMarked(rows[r], r);
    }
    out.targets[MakeCellKey(1, c)] =
        DropInfo{begin, static_cast<int32_t>(out.conflictCells.size())};
  }
  return out;
}

}  // namespace literal

namespace literal {

namespace {

void generate(const Graph& templateGraph, const std::vector<DBX::Component*>& components,
              std::size_t depth, NetGraph::CompVector& row, Variants& out) {
  const std::size_t n = components.size();
  if (depth == n) {
    for (const NetGraph::Slot& slot : row) out.candidates.push_back(slot.component);
    return;
  }
  if (out.deepestIndex < depth) out.deepestIndex = depth;
  for (std::size_t i = 0; i < n; ++i) {
    if (row[i].component != nullptr) continue;
    row[i].component = components[depth];
    if (CheckRow(templateGraph, row, -1, nullptr) == 1) {
      generate(templateGraph, components, depth + 1, row, out);
    }
    row[i].component = nullptr;
  }
}

}  // namespace

Variants GenerateVariants(const NetGraph& templateGraph,
                          const std::vector<DBX::Component*>& newComponents) {
  Variants out;
  NetGraph::CompVector row(newComponents.size());
  generate(Graph::from(templateGraph), newComponents, 0, row, out);
  return out;
}

}  // namespace literal
