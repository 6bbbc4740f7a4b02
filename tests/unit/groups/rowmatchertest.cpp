#include "groups/rowmatcher.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "boards.h"
#include "literalmatching.h"
#include "scriptedui.h"

namespace {

using Row = NetGraph::CompVector;

std::vector<bool> flagsOf(const Row& row) {
  std::vector<bool> flags;
  for (const auto& slot : row) flags.push_back(slot.mismatch);
  return flags;
}

// Item 0 is an IC whose pin 3 meets pin 1 of item 1, a resistor.
class CheckRowTest : public ::testing::Test {
 protected:
  CheckRowTest() {
    templateGraph.AddItem(0, pcb["U1"]);
    templateGraph.AddItem(1, pcb["R1"]);
  }

  testing_diag::ScriptedUi ui;
  boards::Loaded pcb{boards::makePcb({
                         {"U1", "IC", "X", "SO8", {{"3", 1}, {"4", 2}}},
                         {"R1", "RES", "1k", "R0603", {{"1", 1}, {"2", 3}}},
                         {"U2", "IC", "X", "SO8", {{"3", 11}, {"4", 12}}},
                         {"R2", "RES", "1k", "R0603", {{"1", 11}, {"2", 13}}},
                         {"R3", "RES", "1k", "R0603", {{"2", 11}, {"1", 13}}},
                         {"R4", "RES", "1k", "R0603", {{"1", 12}}},
                         {"R5", "RES", "2k", "R0603", {{"1", 11}}},
                         {"R6", "RES", "1k", "R0805", {{"1", 11}}},
                         {"R7", "RES", "1k", "R0603", {{"1", 11}, {"2", 13}}},
                         {"U3:B", "IC", "X", "SO8", {{"3", 11}, {"4", 12}}},
                         {"R8", "RES", "1k", "R0603", {{"1", 21}, {"2", 22}}},
                     }),
                     DBX::kToolPcb};
  NetGraph templateGraph;
};

TEST_F(CheckRowTest, CandidateMustLinkThroughTheSamePins) {
  Row row{{pcb["U2"], false}};
  EXPECT_EQ(CheckRow(templateGraph, row, 1, pcb["R2"]), 1);
  EXPECT_EQ(row.size(), 2u);  // extended to the item
  EXPECT_EQ(row[1].component, nullptr);
  EXPECT_EQ(flagsOf(row), (std::vector<bool>{false, false}));
  // R3 meets U2 with its pin 2 instead: the candidate itself disagrees.
  EXPECT_EQ(CheckRow(templateGraph, row, 1, pcb["R3"]), 0);
  EXPECT_EQ(flagsOf(row), (std::vector<bool>{true, true}));
  EXPECT_EQ(row[0].component, pcb["U2"]);
}

TEST_F(CheckRowTest, CandidateOfAnotherKindIsNeverATarget) {
  Row row;
  EXPECT_EQ(CheckRow(templateGraph, row, 1, pcb["R5"]), 0);    // value
  EXPECT_EQ(CheckRow(templateGraph, row, 1, pcb["R6"]), 0);    // pattern
  EXPECT_EQ(CheckRow(templateGraph, row, 0, pcb["U3:B"]), 0);  // part suffix
  EXPECT_EQ(CheckRow(templateGraph, row, 0, pcb["R2"]), 0);    // type
  EXPECT_TRUE(row.empty());                                    // rejected before the row is touched
}

TEST_F(CheckRowTest, ItemTheTemplateLacksTakesAnything) {
  Row row{{pcb["U2"], true}};
  EXPECT_EQ(CheckRow(templateGraph, row, 4, pcb["R5"]), 1);
  EXPECT_EQ(row.size(), 1u);
  EXPECT_TRUE(row[0].mismatch);  // returned before any flag changed
}

TEST_F(CheckRowTest, CandidateThatFitsButLeavesOthersDisagreeing) {
  // R4 sits at item 1 linked to nothing the template expects.
  Row row{{nullptr, false}, {pcb["R4"], false}};
  // U2 as item 0 is linked to R4 over net 12 (pin 4 - pin 1), the template
  // items are not: both are marked, and the result names the others.
  EXPECT_EQ(CheckRow(templateGraph, row, 0, pcb["U2"]), 0);
  EXPECT_EQ(flagsOf(row), (std::vector<bool>{true, true}));
  NetGraph threeItems = templateGraph;
  threeItems.AddItem(2, pcb["R7"]);
  Row other{{pcb["U2"], false}, {pcb["R3"], false}, {nullptr, false}};
  EXPECT_EQ(CheckRow(threeItems, other, 2, pcb["R8"]), -1);
  EXPECT_EQ(flagsOf(other), (std::vector<bool>{true, true, false}));
  EXPECT_EQ(other[2].component, nullptr);
}

TEST_F(CheckRowTest, WholeRowForm) {
  Row empty;
  EXPECT_EQ(CheckRow(templateGraph, empty, -1, nullptr), 1);
  Row single{{pcb["U2"], true}};
  EXPECT_EQ(CheckRow(templateGraph, single, 0, nullptr), 1);
  EXPECT_FALSE(single[0].mismatch);
  Row wrongKind{{pcb["R2"], false}};
  EXPECT_EQ(CheckRow(templateGraph, wrongKind, -1, nullptr), -1);
  EXPECT_TRUE(wrongKind[0].mismatch);
  Row pair{{pcb["U2"], false}, {pcb["R2"], false}, {pcb["R5"], false}};
  EXPECT_EQ(CheckRow(templateGraph, pair, -1, nullptr), 1);
}

TEST_F(CheckRowTest, RefusesACandidateForAFilledSlot) {
  Row row{{pcb["U2"], false}};
  EXPECT_THROW(CheckRow(templateGraph, row, 0, pcb["U2"]), std::invalid_argument);
  EXPECT_EQ(row[0].component, pcb["U2"]);
}

// Several pin pairs between two items agree only in the same order.
TEST(CheckRowOrderTest, PinPairsMustComeInTheSameOrder) {
  testing_diag::ScriptedUi ui;
  boards::Loaded pcb(boards::makePcb({
                         {"A1", "A", "1", "PA", {{"1", 1}, {"2", 2}}},
                         {"B1", "B", "1", "PB", {{"1", 1}, {"2", 2}}},
                         {"A2", "A", "1", "PA", {{"1", 11}, {"2", 12}}},
                         {"B2", "B", "1", "PB", {{"1", 12}, {"2", 11}}},
                         {"B3", "B", "1", "PB", {{"1", 11}, {"2", 12}}},
                         {"A4", "A", "1", "PA", {{"1", 22}, {"2", 21}}},
                         {"B4", "B", "1", "PB", {{"1", 22}, {"2", 21}}},
                     }),
                     DBX::kToolPcb);
  NetGraph templateGraph;
  templateGraph.AddItem(0, pcb["A1"]);
  templateGraph.AddItem(1, pcb["B1"]);
  Row crossed{{pcb["A2"], false}, {pcb["B2"], false}};
  EXPECT_EQ(CheckRow(templateGraph, crossed, -1, nullptr), -1);
  EXPECT_EQ(flagsOf(crossed), (std::vector<bool>{true, true}));
  Row straight{{pcb["A2"], false}, {pcb["B3"], false}};
  EXPECT_EQ(CheckRow(templateGraph, straight, -1, nullptr), 1);
  // The nets' own order does not matter, only the pins'.
  Row renumbered{{pcb["A4"], false}, {pcb["B4"], false}};
  EXPECT_EQ(CheckRow(templateGraph, renumbered, -1, nullptr), 1);
}

// The fast check gives the literal algorithm's result, flags and row size on
// rows of random channel copies against a template channel, with parts
// exchanged, missing, foreign or repeated.
TEST(CheckRowPropertyTest, EqualsTheLiteralCheckOnRandomRows) {
  testing_diag::ScriptedUi ui;
  std::mt19937 random(2024);
  constexpr int kChannels = 4;
  constexpr int kParts = 6;
  int results[3] = {0, 0, 0};
  for (int design = 0; design < 12; ++design) {
    dbxhost::Design source = boards::makeRandomChannels(random, kChannels, kParts, 3);
    std::vector<std::vector<DBX::Component*>> channels;
    boards::Loaded board(source, DBX::kToolPcb);
    for (int c = 0; c < kChannels; ++c) {
      channels.push_back(board.components(boards::randomChannelRefDes(source, c, kParts)));
    }
    std::vector<DBX::Component*> pool;
    for (const auto& [refDes, component] : board.design.pack().components().left) {
      pool.push_back(component);
    }
    auto any = [&] { return pool[random() % pool.size()]; };
    for (int round = 0; round < 40; ++round) {
      NetGraph templateGraph;
      for (uint32_t item = 0; item < kParts; ++item) {
        if (random() % 5 != 0) templateGraph.AddItem(item, channels[0][item]);
      }
      if (random() % 4 == 0) templateGraph.RemoveItemAndShift(uint32_t(random() % kParts));
      const literal::Graph reference = literal::Graph::from(templateGraph);
      for (int check = 0; check < 10; ++check) {
        const auto& copy = channels[1 + random() % (kChannels - 1)];
        Row row(kParts + random() % 2);
        for (std::size_t i = 0; i < row.size(); ++i) {
          const auto choice = random() % 6;
          if (choice == 0) continue;
          row[i] = {choice == 1 || i >= copy.size() ? any() : copy[i], random() % 2 == 0};
        }
        if (random() % 3 == 0) std::swap(row[random() % row.size()], row[random() % row.size()]);
        const int item = int(random() % (kParts + 2)) - 1;
        DBX::Component* candidate =
            random() % 2 == 0 && item >= 0 && item < kParts ? copy[std::size_t(item)] : any();
        if (random() % 6 == 0) candidate = nullptr;
        if (item >= 0 && std::size_t(item) < row.size()) row[std::size_t(item)].component = nullptr;
        Row literalRow = row;
        const int expected = literal::CheckRow(reference, literalRow, item, candidate);
        const int actual = CheckRow(templateGraph, row, item, candidate);
        ++results[expected + 1];
        ASSERT_EQ(actual, expected) << "design " << design << " round " << round;
        ASSERT_EQ(row.size(), literalRow.size());
        ASSERT_EQ(flagsOf(row), flagsOf(literalRow));
        for (std::size_t i = 0; i < row.size(); ++i) {
          ASSERT_EQ(row[i].component, literalRow[i].component);
        }
      }
    }
  }
  // The random rows reach every result.
  EXPECT_GT(results[0], 300);
  EXPECT_GT(results[1], 300);
  EXPECT_GT(results[2], 300);
}

}  // namespace
