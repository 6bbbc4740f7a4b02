#include "groups/netgraph.h"

#include <algorithm>
#include <stdexcept>

#include "dbx/design.h"

std::vector<NetGraph::PinPair> PinPairs(const DBX::Component& own, const DBX::Component& other) {
  // The other component's pins by net, each net's pins in designator order.
  std::vector<std::pair<int32_t, const std::string*>> otherByNet;
  otherByNet.reserve(other.pins.size());
  for (const auto& [pinDes, pin] : other.pins) otherByNet.emplace_back(pin.netId, &pinDes);
  std::stable_sort(otherByNet.begin(), otherByNet.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  std::vector<NetGraph::PinPair> pairs;
  for (const auto& [pinDes, pin] : own.pins) {
    auto at = std::lower_bound(otherByNet.begin(), otherByNet.end(), pin.netId,
                               [](const auto& entry, int32_t net) { return entry.first < net; });
    for (; at != otherByNet.end() && at->first == pin.netId; ++at) {
      pairs.emplace_back(pinDes, *at->second);
    }
  }
  return pairs;
}

void NetGraph::AddItem(uint32_t item, DBX::Component* component) {
  if (component == nullptr) throw std::invalid_argument("NetGraph::AddItem: no component");
  if (items_.left.contains(item)) {
    throw std::invalid_argument("NetGraph::AddItem: item " + std::to_string(item) +
                                " is present already");
  }
  const uint32_t id = nextNodeId_++;
  items_.assign(item, id);
  Node node{component, {}};
  for (auto& [otherId, other] : nodes_) {
    for (auto& pair : PinPairs(*component, *other.component)) {
      node.links.emplace(otherId, std::move(pair));
    }
    for (auto& pair : PinPairs(*other.component, *component)) {
      other.links.emplace(id, std::move(pair));
    }
  }
  nodes_.emplace(id, std::move(node));
}

void NetGraph::RemoveItem(uint32_t item) {
  const auto found = items_.left.find(item);
  if (found == items_.left.end()) return;
  const uint32_t id = found->second;
  items_.left.erase(found);
  items_.right.erase(id);
  nodes_.erase(id);
  for (auto& [otherId, other] : nodes_) other.links.erase(id);
}

void NetGraph::RemoveItemAndShift(uint32_t item) {
  RemoveItem(item);
  DBX::bimap<uint32_t, uint32_t> shifted;
  for (const auto& [index, id] : items_.left) shifted.assign(index > item ? index - 1 : index, id);
  items_ = std::move(shifted);
}

void NetGraph::Clear() {
  nodes_.clear();
  items_.clear();
  nextNodeId_ = 0;
}

const NetGraph::Node* NetGraph::nodeOfItem(uint32_t item) const {
  const auto found = items_.left.find(item);
  return found == items_.left.end() ? nullptr : &nodes_.at(found->second);
}

DBX::Component* NetGraph::componentAt(uint32_t item) const {
  const Node* node = nodeOfItem(item);
  return node == nullptr ? nullptr : node->component;
}

bool ItemLinks(const NetGraph& g, uint32_t item, const NetGraph& h, ItemLinksResult& result) {
  const NetGraph::Node* node = g.nodeOfItem(item);
  if (node == nullptr) return false;
  result.component = node->component;
  result.links.clear();
  for (const auto& [otherId, pair] : node->links) {
    const uint32_t otherItem = g.items().right.at(otherId);
    if (h.nodeOfItem(otherItem) != nullptr) result.links.emplace(otherItem, pair);
  }
  return true;
}
