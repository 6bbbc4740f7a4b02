// The connectivity graph of one group row: one node per component, and for
// every two nodes the pairs of their pins that lie on a common net. The
// template group's graph follows every change of the template row; rows are
// compared with it item by item.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dbx/bimap.h"

namespace DBX {
class Component;
}

class NetGraph {
 public:
  // (own pin designator, other pin designator)
  using PinPair = std::pair<std::string, std::string>;
  // Other node id -> pin pairs; one key's entries in the order recorded.
  using Links = std::multimap<uint32_t, PinPair>;

  struct Node {
    DBX::Component* component = nullptr;
    Links links;
  };

  // One slot of a group row: slot i stands for item i.
  struct Slot {
    DBX::Component* component = nullptr;
    bool mismatch = false;  // set by CheckRow: disagrees with the template
  };
  using CompVector = std::vector<Slot>;

  // Adds a node for the item. Throws std::invalid_argument when the item is
  // present already or the component is null.
  void AddItem(uint32_t item, DBX::Component* component);
  // Removes the item's node and every link to it; nothing when absent.
  void RemoveItem(uint32_t item);
  // RemoveItem, then lowers every greater item index by one.
  void RemoveItemAndShift(uint32_t item);
  void Clear();

  bool empty() const { return nodes_.empty(); }
  std::size_t size() const { return nodes_.size(); }
  // The component at the item; null when the graph lacks the item.
  DBX::Component* componentAt(uint32_t item) const;
  const Node* nodeOfItem(uint32_t item) const;
  // Nodes by ascending node id.
  const std::map<uint32_t, Node>& nodes() const { return nodes_; }
  // left: item -> node id, right: node id -> item.
  const DBX::bimap<uint32_t, uint32_t>& items() const { return items_; }
  uint32_t nextNodeId() const { return nextNodeId_; }

 private:
  std::map<uint32_t, Node> nodes_;
  DBX::bimap<uint32_t, uint32_t> items_;
  uint32_t nextNodeId_ = 0;
};

// Every pair (own pin, other pin) of two components' pins on one net, by own
// pin designator, then by other pin designator. Only the components' own pin
// maps are read, so the cost does not grow with the size of the nets. The
// same component on both sides gives its pins' pairs among themselves.
std::vector<NetGraph::PinPair> PinPairs(const DBX::Component& own, const DBX::Component& other);

// The links of g's node for the item, keyed by g's item index of the other
// node, keeping only the items that h also has.
struct ItemLinksResult {
  DBX::Component* component = nullptr;
  std::multimap<uint32_t, NetGraph::PinPair> links;
};
// False when g has no node for the item.
bool ItemLinks(const NetGraph& g, uint32_t item, const NetGraph& h, ItemLinksResult& result);
