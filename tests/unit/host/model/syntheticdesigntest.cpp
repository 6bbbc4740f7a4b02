#include "model/syntheticdesign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

namespace dbxhost {
namespace {

// Pins per net id over all schematic pins.
std::map<int32_t, int> schematicNodeCounts(const Design& design) {
  std::map<int32_t, int> counts;
  for (const SchComponent& component : design.sch.components) {
    for (const SchPin& pin : component.pins) ++counts[pin.netId];
  }
  return counts;
}

int32_t netIdNamed(const Design& design, const std::string& name) {
  for (const Net& net : design.nets) {
    if (net.name == name) return net.id;
  }
  return 0;
}

TEST(SyntheticDesignTest, HasTheExpectedCounts) {
  for (const auto& [channels, parts] : {std::pair{1, 1}, {3, 5}, {7, 2}}) {
    SCOPED_TRACE(std::to_string(channels) + "x" + std::to_string(parts));
    for (bool sheets : {false, true}) {
      const Design design = makeSyntheticDesign(channels, parts, sheets);
      const std::size_t components = std::size_t(channels * parts);
      EXPECT_EQ(design.sch.components.size(), components);
      EXPECT_EQ(design.sch.symbols.size(), components);
      EXPECT_EQ(design.pcb.components.size(), components);
      EXPECT_EQ(design.nets.size(), std::size_t(2 + channels * (parts - 1)));
      EXPECT_EQ(design.sch.sheets.size(), sheets ? std::size_t(channels) : 1u);

      // GND and VCC end every channel's chain; each inner net joins two pins.
      const auto counts = schematicNodeCounts(design);
      EXPECT_EQ(counts.at(netIdNamed(design, "GND")), channels);
      EXPECT_EQ(counts.at(netIdNamed(design, "VCC")), channels);
      for (const Net& net : design.nets) {
        if (net.name != "GND" && net.name != "VCC") {
          EXPECT_EQ(counts.at(net.id), 2) << net.name;
        }
      }
      EXPECT_EQ(counts.count(0), 0u);
    }
  }
}

TEST(SyntheticDesignTest, ChannelsAreEqualChains) {
  const int channels = 4;
  const int parts = 6;
  const Design design = makeSyntheticDesign(channels, parts, true);
  std::set<int32_t> ids;
  for (int c = 0; c < channels; ++c) {
    int32_t previousOut = netIdNamed(design, "VCC");
    for (int k = 0; k < parts; ++k) {
      const std::size_t index = std::size_t(c * parts + k);
      const SchComponent& component = design.sch.components[index];
      const SchComponent& templ = design.sch.components[std::size_t(k)];
      ids.insert(component.id);
      // Same position in every channel: same type and value, drawn at the same
      // place of its own sheet.
      EXPECT_EQ(component.value, templ.value);
      EXPECT_EQ(component.compType, templ.compType);
      EXPECT_EQ(design.sch.symbols[index].refPoint, design.sch.symbols[std::size_t(k)].refPoint);
      EXPECT_EQ(design.sch.symbols[index].sheetId, c + 1);
      EXPECT_EQ(design.sch.symbols[index].component, index);
      ASSERT_EQ(component.pins.size(), 2u);
      EXPECT_EQ(component.pins[0].netId, previousOut);
      previousOut = component.pins[1].netId;

      // The PCB part carries the same nets on its pads.
      const PcbComponent& placed = design.pcb.components[index];
      EXPECT_EQ(placed.refDes, component.refDes);
      EXPECT_EQ(placed.padNets.at("1"), component.pins[0].netId);
      EXPECT_EQ(placed.padNets.at("2"), component.pins[1].netId);
      EXPECT_EQ(design.pcb.patterns.count(placed.patternName), 1u);
    }
    EXPECT_EQ(previousOut, netIdNamed(design, "GND"));
  }
  EXPECT_EQ(ids.size(), std::size_t(channels * parts));
  EXPECT_EQ(*ids.begin(), 1);
  // Values differ along the chain so that each position is told apart.
  std::set<std::string> values;
  for (int k = 0; k < parts; ++k) values.insert(design.sch.components[std::size_t(k)].value);
  EXPECT_EQ(values.size(), std::size_t(parts));
}

TEST(SyntheticDesignTest, OneSheetKeepsSymbolsApartAndPartsOnTheBoard) {
  const Design design = makeSyntheticDesign(5, 4, false);
  std::set<std::pair<int32_t, int32_t>> positions;
  for (const Symbol& symbol : design.sch.symbols) {
    EXPECT_EQ(symbol.sheetId, 1);
    positions.insert({symbol.refPoint.x, symbol.refPoint.y});
  }
  EXPECT_EQ(positions.size(), design.sch.symbols.size());

  const TPoint corner = design.pcb.boardOutline[2];
  for (const PcbComponent& component : design.pcb.components) {
    const TPoint at = component.placement.refPoint;
    EXPECT_TRUE(at.x > 0 && at.y > 0 && at.x < corner.x && at.y < corner.y) << component.refDes;
  }
}

TEST(SyntheticDesignTest, LargestDesignStaysInRange) {
  const Design design = makeSyntheticDesign(kMaxSyntheticChannels, 2, false);
  const TPoint corner = design.pcb.boardOutline[2];
  EXPECT_GT(corner.y, design.pcb.components.back().placement.refPoint.y);
  EXPECT_GT(design.sch.symbols.back().refPoint.y, design.sch.symbols.front().refPoint.y);
}

TEST(SyntheticDesignTest, RefusesCountsOutOfRange) {
  EXPECT_THROW(makeSyntheticDesign(0, 3, false), std::invalid_argument);
  EXPECT_THROW(makeSyntheticDesign(-2, 3, false), std::invalid_argument);
  EXPECT_THROW(makeSyntheticDesign(kMaxSyntheticChannels + 1, 3, true), std::invalid_argument);
  EXPECT_THROW(makeSyntheticDesign(2, 0, true), std::invalid_argument);
  EXPECT_THROW(makeSyntheticDesign(2, kMaxSyntheticParts + 1, false), std::invalid_argument);
  try {
    makeSyntheticDesign(2, 0, false);
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "parts must be 1..1000, not 0");
  }
}

}  // namespace
}  // namespace dbxhost
