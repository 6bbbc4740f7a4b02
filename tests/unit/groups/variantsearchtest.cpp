#include "groups/variantsearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <stdexcept>

#include "boards.h"
#include "literalmatching.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using Components = std::vector<DBX::Component*>;

NetGraph templateOf(const Components& components) {
  NetGraph graph;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (components[i] != nullptr) graph.AddItem(uint32_t(i), components[i]);
  }
  return graph;
}

// Every variant passes the whole-row check done the literal way, and no two
// are equal.
void expectValidAndDistinct(const NetGraph& templateGraph, const Components& candidates,
                            std::size_t n) {
  const literal::Graph reference = literal::Graph::from(templateGraph);
  std::set<Components> seen;
  for (std::size_t k = 0; k < candidates.size() / n; ++k) {
    NetGraph::CompVector row;
    for (std::size_t i = 0; i < n; ++i) row.push_back({candidates[k * n + i], false});
    EXPECT_EQ(literal::CheckRow(reference, row, -1, nullptr), 1) << "variant " << k;
    EXPECT_TRUE(seen.insert(Components(candidates.begin() + long(k * n),
                                       candidates.begin() + long((k + 1) * n)))
                    .second);
  }
}

class VariantSearchTest : public ::testing::Test {
 protected:
  testing_diag::ScriptedUi ui;
};

TEST_F(VariantSearchTest, TwoParallelResistorsGiveTwoVariantsInSlotOrder) {
  boards::Loaded flat(dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/flat-3ch.json"),
                      DBX::kToolPcb);
  const Components channel1 = flat.components({"J1", "R1", "R2", "C1", "U1", "R3", "P1"});
  const Components channel2 = flat.components({"P2", "R5", "U2", "J2", "R4", "C2", "R6"});
  const NetGraph templateGraph = templateOf(channel1);
  const auto result = VariantSearch(templateGraph, 7, channel2).run();
  ASSERT_EQ(result.candidates.size(), 14u);
  EXPECT_FALSE(result.collapsed);
  // R5 comes before R4 in the list, so R5 takes the lower item first.
  EXPECT_EQ(Components(result.candidates.begin(), result.candidates.begin() + 7),
            flat.components({"J2", "R5", "R4", "C2", "U2", "R6", "P2"}));
  EXPECT_EQ(Components(result.candidates.begin() + 7, result.candidates.end()),
            flat.components({"J2", "R4", "R5", "C2", "U2", "R6", "P2"}));
  expectValidAndDistinct(templateGraph, result.candidates, 7);

  // Beyond a limit of one, the twins R1 and R2 are collapsed: R5 takes the
  // lower of the two items.
  const auto collapsed = VariantSearch(templateGraph, 7, channel2, 1).run();
  EXPECT_TRUE(collapsed.collapsed);
  EXPECT_EQ(collapsed.interchangeableItems, 2u);
  EXPECT_EQ(collapsed.candidates,
            Components(result.candidates.begin(), result.candidates.begin() + 7));
}

TEST_F(VariantSearchTest, SmallTwinClassesAreEnumeratedInFull) {
  const boards::ChannelBoard layout{2, 4, {4}, false};
  boards::Loaded board(boards::makeChannelBoard(layout), DBX::kToolPcb);
  const Components templateRow = board.components(boards::channelRefDes(layout, 1));
  const Components newRow = board.components(boards::channelRefDes(layout, 2));
  const NetGraph templateGraph = templateOf(templateRow);
  const auto result = VariantSearch(templateGraph, 8, newRow).run();
  EXPECT_FALSE(result.collapsed);
  ASSERT_EQ(result.candidates.size(), 24u * 8u);  // 4!
  expectValidAndDistinct(templateGraph, result.candidates, 8);
  // Lexicographic in the items chosen: the last two capacitors swap first.
  EXPECT_EQ(result.candidates[8 + 6], newRow[7]);
  EXPECT_EQ(result.candidates[8 + 7], newRow[6]);
}

TEST_F(VariantSearchTest, TenAndTenDecouplingCapacitorsGiveOneVariant) {
  const boards::ChannelBoard layout{2, 6, {10, 10}, true};
  boards::Loaded board(boards::makeChannelBoard(layout), DBX::kToolPcb);
  const Components templateRow = board.components(boards::channelRefDes(layout, 1));
  const Components newRow = board.components(boards::channelRefDes(layout, 2));
  const NetGraph templateGraph = templateOf(templateRow);
  const auto result = VariantSearch(templateGraph, 26, newRow).run();
  EXPECT_TRUE(result.collapsed);
  EXPECT_FALSE(result.tooMany);
  EXPECT_EQ(result.interchangeableItems, 20u);
  ASSERT_EQ(result.candidates, newRow);  // both lists in the same order
  expectValidAndDistinct(templateGraph, result.candidates, 26);
}

TEST_F(VariantSearchTest, AmbiguityBeyondTwinsStillHitsTheLimit) {
  // Two classes of two capacitors on rails that nothing else tells apart:
  // the classes may swap, so even the collapsed search finds two variants.
  boards::Loaded pcb(boards::makePcb({
                         {"C1", "CAP", "1u", "C0402", {{"1", 5}, {"2", 1}}},
                         {"C2", "CAP", "1u", "C0402", {{"1", 5}, {"2", 1}}},
                         {"C3", "CAP", "1u", "C0402", {{"1", 6}, {"2", 1}}},
                         {"C4", "CAP", "1u", "C0402", {{"1", 6}, {"2", 1}}},
                         {"C5", "CAP", "1u", "C0402", {{"1", 7}, {"2", 1}}},
                         {"C6", "CAP", "1u", "C0402", {{"1", 7}, {"2", 1}}},
                         {"C7", "CAP", "1u", "C0402", {{"1", 8}, {"2", 1}}},
                         {"C8", "CAP", "1u", "C0402", {{"1", 8}, {"2", 1}}},
                     }),
                     DBX::kToolPcb);
  const NetGraph templateGraph = templateOf(pcb.components({"C1", "C2", "C3", "C4"}));
  const Components newRow = pcb.components({"C5", "C6", "C7", "C8"});
  EXPECT_EQ(VariantSearch(templateGraph, 4, newRow).run().candidates.size(), 8u * 4u);
  const auto collapsed = VariantSearch(templateGraph, 4, newRow, 3).run();
  EXPECT_TRUE(collapsed.collapsed);
  EXPECT_EQ(collapsed.candidates, pcb.components({"C5", "C6", "C7", "C8", "C7", "C8", "C5", "C6"}));
  const auto tooMany = VariantSearch(templateGraph, 4, newRow, 1).run();
  EXPECT_TRUE(tooMany.tooMany);
  EXPECT_TRUE(tooMany.candidates.empty());
}

// An IC whose pins each carry one of k equal pull-ups, the resistors listed
// before the IC: only the IC tells the resistors apart.
TEST_F(VariantSearchTest, PullUpsAreTiedDownByTheirIcWhereverItIsListed) {
  constexpr int kResistors = 16;
  boards::Loaded pcb(boards::makePullUps(kResistors, 2), DBX::kToolPcb);
  Components templateRow;
  Components newRow;
  Components expected;
  for (int r = 1; r <= kResistors; ++r) {
    templateRow.push_back(pcb["R" + std::to_string(r)]);
    // The copy lists its resistors backwards: the last one is on pin 1.
    newRow.push_back(pcb["R" + std::to_string(2 * kResistors + 1 - r)]);
    expected.push_back(pcb["R" + std::to_string(kResistors + r)]);
  }
  templateRow.push_back(pcb["U1"]);
  newRow.push_back(pcb["U2"]);
  expected.push_back(pcb["U2"]);
  const auto result = VariantSearch(templateOf(templateRow), templateRow.size(), newRow).run();
  EXPECT_EQ(result.candidates, expected);
  EXPECT_FALSE(result.collapsed);
}

// Small random circuits of two kinds of parts, many of them interchangeable:
// the same variants in the same order, and the same deepest component, as
// the plain enumeration.
TEST_F(VariantSearchTest, EqualsThePlainEnumerationOnRandomCircuits) {
  std::mt19937 random(15);
  constexpr int kParts = 6;
  int withVariants = 0;
  int withNone = 0;
  for (int design = 0; design < 60; ++design) {
    dbxhost::Design source = boards::makeRandomChannels(random, 2, kParts, 2 + design % 3);
    boards::Loaded board(source, DBX::kToolPcb);
    const NetGraph templateGraph =
        templateOf(board.components(boards::randomChannelRefDes(source, 0, kParts)));
    Components newRow = board.components(boards::randomChannelRefDes(source, 1, kParts));
    std::shuffle(newRow.begin(), newRow.end(), random);
    const literal::Variants expected = literal::GenerateVariants(templateGraph, newRow);
    const auto actual = VariantSearch(templateGraph, kParts, newRow).run();
    ASSERT_EQ(actual.candidates, expected.candidates) << "design " << design;
    EXPECT_EQ(actual.deepestIndex, expected.deepestIndex) << "design " << design;
    (expected.candidates.empty() ? withNone : withVariants) += 1;
  }
  EXPECT_GT(withVariants, 10);
  EXPECT_GT(withNone, 10);
}

class DeepestIndexTest : public VariantSearchTest {
 protected:
  // A1 - B1 over net 1, B1 - C1 over net 2; the copy's C2 meets B2 with the
  // wrong pin.
  boards::Loaded pcb{boards::makePcb({
                         {"A1", "A", "1", "PA", {{"1", 1}}},
                         {"B1", "B", "1", "PB", {{"1", 1}, {"2", 2}}},
                         {"C1", "C", "1", "PC", {{"1", 2}, {"2", 3}}},
                         {"A2", "A", "1", "PA", {{"1", 11}}},
                         {"B2", "B", "1", "PB", {{"1", 11}, {"2", 12}}},
                         {"C2", "C", "1", "PC", {{"2", 12}, {"1", 13}}},
                         {"D1", "D", "1", "PD", {{"1", 11}}},
                     }),
                     DBX::kToolPcb};
  NetGraph templateGraph = templateOf(pcb.components({"A1", "B1", "C1"}));
};

TEST_F(DeepestIndexTest, NamesTheThirdWhenTheSearchStopsThere) {
  const auto result = VariantSearch(templateGraph, 3, pcb.components({"A2", "B2", "C2"})).run();
  EXPECT_TRUE(result.candidates.empty());
  EXPECT_FALSE(result.tooMany);
  EXPECT_EQ(result.deepestIndex, 2u);
}

TEST_F(DeepestIndexTest, NamesTheFirstWhenNothingFitsAtAll) {
  const auto result = VariantSearch(templateGraph, 3, pcb.components({"D1", "B2", "A2"})).run();
  EXPECT_TRUE(result.candidates.empty());
  EXPECT_EQ(result.deepestIndex, 0u);
}

TEST_F(DeepestIndexTest, ItemsTheTemplateLeavesEmptyTakeAnythingAndAreTwins) {
  NetGraph withHoles;
  withHoles.AddItem(1, pcb["B1"]);
  const auto result = VariantSearch(withHoles, 3, pcb.components({"D1", "B2", "A2"})).run();
  EXPECT_EQ(result.candidates, pcb.components({"D1", "B2", "A2", "A2", "B2", "D1"}));
  EXPECT_EQ(result.interchangeableItems, 2u);
}

TEST_F(DeepestIndexTest, RefusesMismatchedCounts) {
  EXPECT_THROW(VariantSearch(templateGraph, 3, pcb.components({"A2", "B2"})),
               std::invalid_argument);
  EXPECT_THROW(VariantSearch(templateGraph, 2, Components{pcb["A2"], nullptr}),
               std::invalid_argument);
}

}  // namespace
