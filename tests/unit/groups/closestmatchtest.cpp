#include "groups/closestmatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>

#include "boards.h"
#include "groups/componentkey.h"
#include "groups/variantsearch.h"
#include "literalmatching.h"
#include "scriptedui.h"
#include "storage/designstorage.h"

namespace {

using Components = std::vector<DBX::Component*>;

NetGraph templateOf(const Components& components) { return boards::templateGraphOf(components); }

std::string refDesOf(const DBX::Component* component) { return ComponentField(*component, 0); }

std::vector<boards::MovedPin> movedPinsOf(const ClosestMatch::Candidate& candidate) {
  std::vector<boards::MovedPin> moved;
  for (const auto& difference : candidate.differences) {
    moved.push_back({refDesOf(difference.templateComponent), difference.pin, difference.templateNet,
                     difference.copyNet});
  }
  std::sort(moved.begin(), moved.end());
  return moved;
}

class ClosestMatchTest : public ::testing::Test {
 protected:
  testing_diag::ScriptedUi ui;
};

// A copy with k pins moved to other nets is matched, in its own order, with
// exactly those k differences; no candidate is closer than k.
TEST_F(ClosestMatchTest, RandomChannelsWithMovedPinsDifferInExactlyThosePins) {
  std::mt19937 random(14);
  constexpr int kParts = 10;
  int firstIsTheCopy = 0;
  int designs = 0;
  for (int moved = 1; moved <= 4; ++moved) {
    for (int design = 0; design < 25; ++design, ++designs) {
      SCOPED_TRACE("moved " + std::to_string(moved) + ", design " + std::to_string(design));
      boards::RewiredChannels channels =
          boards::makeRewiredChannels(random, kParts, 4 + design % 3, moved);
      ASSERT_EQ(channels.moved.size(), std::size_t(moved));
      boards::Loaded board(channels.design, DBX::kToolPcb);
      const Components templateRow =
          board.components(boards::randomChannelRefDes(channels.design, 0, kParts));
      const Components copy =
          board.components(boards::randomChannelRefDes(channels.design, 1, kParts));
      Components shuffled = copy;
      std::shuffle(shuffled.begin(), shuffled.end(), random);
      const NetGraph templateGraph = templateOf(templateRow);

      // The exact search finds no variant, as before.
      EXPECT_TRUE(VariantSearch(templateGraph, kParts, shuffled).run().candidates.empty());

      const auto result = ClosestMatch(templateGraph, kParts, shuffled).run();
      EXPECT_FALSE(result.cutShort);
      ASSERT_FALSE(result.candidates.empty());
      EXPECT_LE(result.candidates.front().differences.size(), std::size_t(moved));
      const auto sameAsCopy = std::find_if(result.candidates.begin(), result.candidates.end(),
                                           [&](const auto& c) { return c.assignment == copy; });
      ASSERT_NE(sameAsCopy, result.candidates.end());
      EXPECT_EQ(movedPinsOf(*sameAsCopy), channels.moved);
      for (std::size_t k = 1; k < result.candidates.size(); ++k) {
        EXPECT_LE(result.candidates[k - 1].differences.size(),
                  result.candidates[k].differences.size());
      }
      firstIsTheCopy += sameAsCopy == result.candidates.begin() ? 1 : 0;
    }
  }
  // Another assignment rarely explains the moves with as few differences.
  EXPECT_GT(firstIsTheCopy, designs * 8 / 10);
}

// An unchanged copy differs nowhere, and the exact search still gives its
// variants as the plain enumeration does.
TEST_F(ClosestMatchTest, UnchangedChannelsDifferNowhereAndTheExactSearchStands) {
  std::mt19937 random(41);
  constexpr int kParts = 10;
  for (int design = 0; design < 30; ++design) {
    SCOPED_TRACE("design " + std::to_string(design));
    boards::RewiredChannels channels =
        boards::makeRewiredChannels(random, kParts, 4 + design % 3, 0);
    boards::Loaded board(channels.design, DBX::kToolPcb);
    const Components templateRow =
        board.components(boards::randomChannelRefDes(channels.design, 0, kParts));
    Components copy = board.components(boards::randomChannelRefDes(channels.design, 1, kParts));
    const NetGraph templateGraph = templateOf(templateRow);
    std::shuffle(copy.begin(), copy.end(), random);

    const auto exact = VariantSearch(templateGraph, kParts, copy).run();
    EXPECT_EQ(exact.candidates.rows(), literal::GenerateVariants(templateGraph, copy).candidates);
    ASSERT_FALSE(exact.candidates.empty());

    const auto result = ClosestMatch(templateGraph, kParts, copy).run();
    ASSERT_FALSE(result.candidates.empty());
    EXPECT_TRUE(result.candidates.front().differences.empty());
    // Every candidate without a difference is one of the exact variants.
    const literal::Graph reference = literal::Graph::from(templateGraph);
    for (const auto& candidate : result.candidates) {
      if (!candidate.differences.empty()) continue;
      NetGraph::CompVector row;
      for (DBX::Component* component : candidate.assignment) row.push_back({component, false});
      EXPECT_EQ(literal::CheckRow(reference, row, -1, nullptr), 1);
    }
  }
}

class StrapTest : public ClosestMatchTest {
 protected:
  // An IC with an address pin strapped to GND (net 1) in the template and to
  // VCC (net 2) in the copy, a resistor and a capacitor around it.
  boards::Loaded pcb{boards::makePcb({
                         {"U1", "IC", "EXP", "SO8", {{"1", 2}, {"2", 1}, {"3", 3}, {"4", 1}}},
                         {"R1", "RES", "1k", "R0402", {{"1", 3}, {"2", 2}}},
                         {"C1", "CAP", "1u", "C0402", {{"1", 2}, {"2", 1}}},
                         {"U2", "IC", "EXP", "SO8", {{"1", 2}, {"2", 2}, {"3", 13}, {"4", 1}}},
                         {"R2", "RES", "1k", "R0402", {{"1", 13}, {"2", 2}}},
                         {"C2", "CAP", "1u", "C0402", {{"1", 2}, {"2", 1}}},
                     }),
                     DBX::kToolPcb};
  NetGraph templateGraph = templateOf(pcb.components({"U1", "R1", "C1"}));
  Components copy = pcb.components({"C2", "R2", "U2"});
};

TEST_F(StrapTest, NamesThePinWithBothNets) {
  const auto result = ClosestMatch(templateGraph, 3, copy).run();
  ASSERT_EQ(result.candidates.size(), 1u);
  const ClosestMatch::Candidate& candidate = result.candidates[0];
  EXPECT_EQ(candidate.assignment, pcb.components({"U2", "R2", "C2"}));
  ASSERT_EQ(candidate.differences.size(), 1u);
  const ClosestMatch::Difference& difference = candidate.differences[0];
  EXPECT_EQ(difference.item, 0u);
  EXPECT_EQ(difference.templateComponent, pcb["U1"]);
  EXPECT_EQ(difference.component, pcb["U2"]);
  EXPECT_EQ(difference.text(), "U1 pin 2: N1 in the template, N2 here");
}

TEST_F(StrapTest, FindsNothingBeyondTheLimit) {
  EXPECT_TRUE(ClosestMatch(templateGraph, 3, copy, 0).run().candidates.empty());
  EXPECT_EQ(ClosestMatch(templateGraph, 3, copy, 1).run().candidates.size(), 1u);
}

TEST_F(StrapTest, AnUnconnectedPinIsOnNoNet) {
  boards::Loaded open(boards::makePcb({
                          {"U1", "IC", "EXP", "SO8", {{"1", 2}, {"2", 1}, {"3", 3}, {"4", 1}}},
                          {"R1", "RES", "1k", "R0402", {{"1", 3}, {"2", 1}}},
                          {"U2", "IC", "EXP", "SO8", {{"1", 2}, {"2", 0}, {"3", 13}, {"4", 1}}},
                          {"R2", "RES", "1k", "R0402", {{"1", 13}, {"2", 1}}},
                      }),
                      DBX::kToolPcb);
  const auto result =
      ClosestMatch(templateOf(open.components({"U1", "R1"})), 2, open.components({"U2", "R2"}))
          .run();
  ASSERT_EQ(result.candidates.size(), 1u);
  ASSERT_EQ(result.candidates[0].differences.size(), 1u);
  EXPECT_EQ(result.candidates[0].differences[0].text(),
            "U1 pin 2: N1 in the template, no net here");
}

TEST_F(StrapTest, OtherKindsAreNeverAssigned) {
  // A resistor in the copy where the template has a capacitor: no candidate,
  // however few pins would differ.
  boards::Loaded other(boards::makePcb({
                           {"R1", "RES", "1k", "R0402", {{"1", 3}, {"2", 2}}},
                           {"C1", "CAP", "1u", "C0402", {{"1", 2}, {"2", 1}}},
                           {"R2", "RES", "1k", "R0402", {{"1", 13}, {"2", 2}}},
                           {"R3", "RES", "1k", "R0402", {{"1", 2}, {"2", 1}}},
                       }),
                       DBX::kToolPcb);
  EXPECT_TRUE(
      ClosestMatch(templateOf(other.components({"R1", "C1"})), 2, other.components({"R2", "R3"}))
          .run()
          .candidates.empty());
}

TEST_F(StrapTest, RefusesBadArguments) {
  EXPECT_THROW(ClosestMatch(templateGraph, 3, pcb.components({"U2", "R2"})), std::invalid_argument);
  EXPECT_THROW(ClosestMatch(templateGraph, 2, Components{pcb["U2"], nullptr}),
               std::invalid_argument);
  EXPECT_THROW(ClosestMatch(templateGraph, 3, copy, 4, 0), std::invalid_argument);
  EXPECT_THROW(ClosestMatch(templateGraph, 3, copy, 4, ClosestMatch::kMaxCandidates + 1),
               std::invalid_argument);
}

// 30 equal decoupling capacitors between VCC and GND and one chain pin
// moved: twins do not multiply the candidates, and the first keeps the
// template's reference order.
TEST_F(ClosestMatchTest, TwinsKeepTheTemplatesReferenceOrder) {
  const boards::ChannelBoard layout{2, 170, {30}, true};
  dbxhost::Design design = boards::makeChannelBoard(layout);
  const std::string movedPart = boards::channelRefDes(layout, 2)[40];
  for (auto& component : design.pcb.components) {
    if (component.refDes == movedPart) component.padNets["4"] = 2;  // GND to VCC
  }
  boards::Loaded board(std::move(design), DBX::kToolPcb);
  const Components templateRow = board.components(boards::channelRefDes(layout, 1));
  const Components copy = board.components(boards::channelRefDes(layout, 2));
  Components reversed(copy.rbegin(), copy.rend());
  const auto result = ClosestMatch(templateOf(templateRow), 200, reversed).run();
  ASSERT_FALSE(result.candidates.empty());
  EXPECT_FALSE(result.cutShort);
  EXPECT_EQ(result.candidates[0].assignment, copy);
  ASSERT_EQ(result.candidates[0].differences.size(), 1u);
  EXPECT_EQ(result.candidates[0].differences[0].text(),
            boards::channelRefDes(layout, 1)[40] + " pin 4: GND in the template, VCC here");
  for (std::size_t k = 1; k < result.candidates.size(); ++k) {
    EXPECT_GT(result.candidates[k].differences.size(), 1u);
  }
}

// glasgow's two IO buffers differ in three I2C address straps.
const std::filesystem::path kGlasgowBoard =
    std::filesystem::path(TANDREL_REALWORLD_DIR) / "glasgow-revC3" / "glasgow.kicad_pcb";

TEST_F(ClosestMatchTest, GlasgowIoBuffersDifferInTheirThreeAddressStraps) {
  if (!std::filesystem::exists(kGlasgowBoard)) {
    GTEST_SKIP() << "the public board " << kGlasgowBoard << " is not here";
  }
  boards::Loaded board(dbxhost::openDesign(kGlasgowBoard).design, DBX::kToolSch);
  auto partsOn = [&](const std::string& sheet) {
    Components parts;
    for (const auto& [refDes, component] : board.design.pack().components().left) {
      if (board.design.sheetName(component->sheetId) == sheet) parts.push_back(component);
    }
    return parts;
  };
  const Components a = partsOn("/IO_Banks/IO_Buffer_A/");
  const Components b = partsOn("/IO_Banks/IO_Buffer_B/");
  ASSERT_EQ(a.size(), 68u);
  ASSERT_EQ(b.size(), 68u);
  const NetGraph templateGraph = templateOf(a);
  ASSERT_TRUE(VariantSearch(templateGraph, 68, b).run().candidates.empty());
  const auto result = ClosestMatch(templateGraph, 68, b).run();
  ASSERT_EQ(result.candidates.size(), 1u);
  std::set<std::string> pins;
  std::vector<std::string> texts;
  for (const auto& difference : result.candidates[0].differences) {
    const std::string refDes = refDesOf(difference.templateComponent);
    pins.insert(refDes.substr(0, refDes.find(':')) + " pin " + difference.pin);
    texts.push_back(difference.text());
  }
  EXPECT_EQ(pins, (std::set<std::string>{"U19 pin 2", "U20 pin 6", "U21 pin 2"}))
      << ::testing::PrintToString(texts);
  EXPECT_EQ(result.candidates[0].differences.size(), 3u) << ::testing::PrintToString(texts);
}

}  // namespace
