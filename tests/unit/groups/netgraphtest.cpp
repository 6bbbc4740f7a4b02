#include "groups/netgraph.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "boards.h"
#include "literalmatching.h"
#include "scriptedui.h"

namespace {

using boards::Part;
using Pairs = std::vector<NetGraph::PinPair>;

// Every node's links, by item pair, as the graph's ItemLinks gives them.
void expectSameItemLinks(const NetGraph& graph, const literal::Graph& reference) {
  ASSERT_EQ(graph.size(), reference.nodes.size());
  for (const auto& [item, id] : graph.items().left) {
    ItemLinksResult fast;
    std::multimap<uint32_t, NetGraph::PinPair> literalLinks;
    ASSERT_TRUE(ItemLinks(graph, item, graph, fast));
    ASSERT_TRUE(literal::ItemLinks(reference, item, reference, literalLinks));
    EXPECT_EQ(fast.links, literalLinks) << "item " << item;
  }
}

class NetGraphTest : public ::testing::Test {
 protected:
  testing_diag::ScriptedUi ui;
  // U1 and U2 share nets 1 (pins 1 and 3 of U1) and 2; R1 touches U1 only.
  boards::Loaded pcb{boards::makePcb({
                         {"U1", "IC", "X", "SO8", {{"1", 1}, {"3", 1}, {"2", 2}, {"8", 4}}},
                         {"U2", "IC", "X", "SO8", {{"1", 1}, {"2", 2}, {"5", 0}}},
                         {"R1", "RES", "1k", "R0603", {{"1", 4}, {"2", 5}}},
                     }),
                     DBX::kToolPcb};
};

TEST_F(NetGraphTest, LinksAreAllPinPairsOnCommonNetsInDesignatorOrder) {
  EXPECT_EQ(PinPairs(*pcb["U1"], *pcb["U2"]), (Pairs{{"1", "1"}, {"2", "2"}, {"3", "1"}}));
  EXPECT_EQ(PinPairs(*pcb["U2"], *pcb["U1"]), (Pairs{{"1", "1"}, {"1", "3"}, {"2", "2"}}));
  EXPECT_EQ(PinPairs(*pcb["U2"], *pcb["R1"]), Pairs{});
  // A component with itself: its own pins pairwise, each pin with itself too.
  EXPECT_EQ(PinPairs(*pcb["U1"], *pcb["U1"]),
            (Pairs{{"1", "1"}, {"1", "3"}, {"2", "2"}, {"3", "1"}, {"3", "3"}, {"8", "8"}}));
}

TEST_F(NetGraphTest, AddItemRecordsLinksBothWaysUnderNodeIds) {
  NetGraph graph;
  graph.AddItem(5, pcb["U1"]);
  graph.AddItem(2, pcb["U2"]);
  graph.AddItem(0, pcb["R1"]);
  EXPECT_EQ(graph.nextNodeId(), 3u);
  EXPECT_EQ(graph.componentAt(2), pcb["U2"]);
  EXPECT_EQ(graph.componentAt(1), nullptr);
  const NetGraph::Node& u1 = *graph.nodeOfItem(5);
  EXPECT_EQ(u1.links.count(1), 3u);  // to U2, node 1
  EXPECT_EQ(u1.links.count(2), 1u);  // to R1 over net 4
  EXPECT_EQ(u1.links.find(2)->second, NetGraph::PinPair("8", "1"));
  EXPECT_EQ(graph.nodeOfItem(0)->links.count(0), 1u);
  EXPECT_EQ(graph.nodeOfItem(2)->links.count(2), 0u);
}

TEST_F(NetGraphTest, AddItemRefusesAPresentItemAndNoComponent) {
  NetGraph graph;
  graph.AddItem(0, pcb["U1"]);
  EXPECT_THROW(graph.AddItem(0, pcb["U2"]), std::invalid_argument);
  EXPECT_THROW(graph.AddItem(1, nullptr), std::invalid_argument);
  EXPECT_EQ(graph.size(), 1u);
  EXPECT_EQ(graph.componentAt(0), pcb["U1"]);
}

TEST_F(NetGraphTest, RemoveItemDropsTheNodeAndAllLinksToIt) {
  NetGraph graph;
  graph.AddItem(0, pcb["U1"]);
  graph.AddItem(1, pcb["U2"]);
  graph.AddItem(2, pcb["R1"]);
  graph.RemoveItem(1);
  EXPECT_EQ(graph.size(), 2u);
  EXPECT_EQ(graph.nodeOfItem(0)->links.count(1), 0u);
  EXPECT_EQ(graph.nodeOfItem(0)->links.size(), 1u);
  graph.RemoveItem(7);  // absent: nothing happens
  EXPECT_EQ(graph.size(), 2u);
  // Ids are never reused.
  graph.AddItem(1, pcb["U2"]);
  EXPECT_EQ(graph.items().left.at(1), 3u);
}

TEST_F(NetGraphTest, RemoveItemAndShiftLowersGreaterItemsOnly) {
  NetGraph graph;
  graph.AddItem(0, pcb["U1"]);
  graph.AddItem(2, pcb["U2"]);
  graph.AddItem(5, pcb["R1"]);
  graph.RemoveItemAndShift(1);  // absent: still shifts the ones above
  EXPECT_EQ(graph.componentAt(0), pcb["U1"]);
  EXPECT_EQ(graph.componentAt(1), pcb["U2"]);
  EXPECT_EQ(graph.componentAt(4), pcb["R1"]);
  graph.RemoveItemAndShift(1);
  EXPECT_EQ(graph.componentAt(3), pcb["R1"]);
  EXPECT_EQ(graph.items().left.size(), graph.items().right.size());
  EXPECT_EQ(graph.items().right.at(2), 3u);
  EXPECT_EQ(graph.nodeOfItem(0)->links.count(1), 0u);
}

TEST_F(NetGraphTest, ClearResetsIdsAndCopiesAreDeep) {
  NetGraph graph;
  graph.AddItem(0, pcb["U1"]);
  graph.AddItem(1, pcb["U2"]);
  NetGraph copy = graph;
  copy.RemoveItem(1);
  EXPECT_EQ(graph.size(), 2u);
  EXPECT_EQ(graph.nodeOfItem(0)->links.count(1), 3u);
  EXPECT_EQ(copy.nextNodeId(), 2u);
  graph.Clear();
  EXPECT_TRUE(graph.empty());
  EXPECT_TRUE(graph.items().empty());
  EXPECT_EQ(graph.nextNodeId(), 0u);
  EXPECT_EQ(copy.size(), 1u);
}

TEST_F(NetGraphTest, ItemLinksKeepOnlyItemsTheOtherGraphHas) {
  NetGraph g;
  g.AddItem(0, pcb["U1"]);
  g.AddItem(1, pcb["U2"]);
  g.AddItem(2, pcb["R1"]);
  NetGraph h;
  h.AddItem(2, pcb["U2"]);
  ItemLinksResult result;
  EXPECT_FALSE(ItemLinks(g, 3, h, result));
  ASSERT_TRUE(ItemLinks(g, 0, h, result));
  EXPECT_EQ(result.component, pcb["U1"]);
  ASSERT_EQ(result.links.size(), 1u);
  EXPECT_EQ(result.links.begin()->first, 2u);
  EXPECT_EQ(result.links.begin()->second, NetGraph::PinPair("8", "1"));
}

// The links worked out from the components' own pins equal the ones taken
// from the design's net connection lists, on random designs with shifts.
TEST_F(NetGraphTest, LinksEqualTheNetConnectionListsOnRandomDesigns) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    boards::Loaded board(boards::makeRandomChannels(random, 2, 6, 3), DBX::kToolPcb);
    const auto& components = board.design.pack().components().left;
    NetGraph graph;
    uint32_t item = 0;
    for (const auto& [refDes, component] : components) {
      graph.AddItem(item, component);
      item += 1 + random() % 2;
      if (random() % 4 == 0) graph.RemoveItemAndShift(uint32_t(random() % item));
    }
    literal::Graph reference = literal::Graph::from(graph);
    expectSameItemLinks(graph, reference);
  }
}

}  // namespace
