#include "engine/designindex.h"

#include <gtest/gtest.h>

namespace dbxhost {
namespace {

constexpr std::size_t kNone = DesignIndex::kNone;

PcbComponent pcbPart(int32_t id, const std::string& refDes) {
  PcbComponent c;
  c.id = id;
  c.refDes = refDes;
  return c;
}

SchComponent schPart(int32_t id, const std::string& refDes) {
  SchComponent c;
  c.id = id;
  c.refDes = refDes;
  return c;
}

Symbol symbolOf(int32_t id, const std::string& refDes, std::size_t component) {
  Symbol s;
  s.id = id;
  s.refDes = refDes;
  s.component = component;
  return s;
}

TEST(DesignIndexTest, FindsEveryPartByDesignatorAndIdAndNothingElse) {
  Design d;
  d.pcb.components = {pcbPart(7, "R1"), pcbPart(3, "U1"), pcbPart(9, "C1")};
  d.sch.components = {schPart(1, "U1"), schPart(2, "R1")};
  d.sch.symbols = {symbolOf(11, "R1", 1), symbolOf(12, "U1:B", 0), symbolOf(13, "U1:A", 0)};
  DesignIndex index;
  index.rebuild(d);

  EXPECT_EQ(index.pcbByRefDes("U1"), 1u);
  EXPECT_EQ(index.pcbByRefDes("C1"), 2u);
  EXPECT_EQ(index.pcbById(7), 0u);
  EXPECT_EQ(index.pcbById(9), 2u);
  EXPECT_EQ(index.schByRefDes("R1"), 1u);
  EXPECT_EQ(index.symbolByRefDes("U1:A"), 2u);
  EXPECT_EQ(index.symbolById(12), 1u);
  // A designator is matched whole: no prefix, no suffix, no other case.
  EXPECT_EQ(index.pcbByRefDes("U"), kNone);
  EXPECT_EQ(index.pcbByRefDes("U10"), kNone);
  EXPECT_EQ(index.pcbByRefDes("u1"), kNone);
  EXPECT_EQ(index.pcbByRefDes(""), kNone);
  EXPECT_EQ(index.schByRefDes("U1:A"), kNone);
  EXPECT_EQ(index.symbolByRefDes("U1"), kNone);
  EXPECT_EQ(index.pcbById(1), kNone);
  EXPECT_EQ(index.symbolById(1), kNone);

  // A component's first symbol is the first in the list, whatever its part.
  EXPECT_EQ(index.firstSymbolOf(0), 1u);
  EXPECT_EQ(index.firstSymbolOf(1), 0u);
  EXPECT_EQ(index.firstSymbolOf(2), kNone);
}

TEST(DesignIndexTest, TheFirstOfEqualKeysWins) {
  Design d;
  d.pcb.components = {pcbPart(1, "R1"), pcbPart(2, "R1"), pcbPart(1, "R2")};
  d.sch.symbols = {symbolOf(5, "R1", 0), symbolOf(5, "R1", 0)};
  d.sch.components = {schPart(1, "R1")};
  DesignIndex index;
  index.rebuild(d);
  EXPECT_EQ(index.pcbByRefDes("R1"), 0u);
  EXPECT_EQ(index.pcbById(1), 0u);
  EXPECT_EQ(index.pcbByRefDes("R2"), 2u);
  EXPECT_EQ(index.symbolById(5), 0u);
  EXPECT_EQ(index.symbolByRefDes("R1"), 0u);
}

TEST(DesignIndexTest, ARebuildForgetsTheFormerDesign) {
  Design d;
  d.pcb.components = {pcbPart(1, "R1"), pcbPart(2, "R2")};
  d.sch.components = {schPart(1, "R1")};
  d.sch.symbols = {symbolOf(1, "R1", 0)};
  DesignIndex index;
  index.rebuild(d);
  ASSERT_EQ(index.pcbByRefDes("R2"), 1u);

  d.pcb.components.erase(d.pcb.components.begin());
  d.sch = {};
  index.rebuild(d);
  EXPECT_EQ(index.pcbByRefDes("R1"), kNone);
  EXPECT_EQ(index.pcbByRefDes("R2"), 0u);
  EXPECT_EQ(index.pcbById(2), 0u);
  EXPECT_EQ(index.pcbById(1), kNone);
  EXPECT_EQ(index.schByRefDes("R1"), kNone);
  EXPECT_EQ(index.symbolById(1), kNone);
  EXPECT_EQ(index.firstSymbolOf(0), kNone);
}

TEST(DesignIndexTest, ASymbolOfNoComponentIsFoundButBelongsToNone) {
  Design d;
  d.sch.components = {schPart(1, "R1")};
  d.sch.symbols = {symbolOf(1, "X1", 5), symbolOf(2, "R1", 0)};
  DesignIndex index;
  index.rebuild(d);
  EXPECT_EQ(index.symbolByRefDes("X1"), 0u);
  EXPECT_EQ(index.firstSymbolOf(0), 1u);
  EXPECT_EQ(index.firstSymbolOf(5), kNone);
}

TEST(DesignIndexTest, AnEmptyIndexFindsNothing) {
  const DesignIndex index;
  EXPECT_EQ(index.pcbByRefDes("R1"), kNone);
  EXPECT_EQ(index.symbolById(0), kNone);
  EXPECT_EQ(index.firstSymbolOf(0), kNone);
}

}  // namespace
}  // namespace dbxhost
