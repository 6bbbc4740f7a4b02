#include "groups/componentkey.h"

#include <gtest/gtest.h>

#include <vector>

#include "dbx/design.h"
#include "engine/hostdbx.h"

namespace {

class ComponentKeyTest : public ::testing::Test {
 protected:
  DBX::Component make(const char* refDes) {
    DBX::TComponent record;
    DBX_18::setText(record.refDes, refDes);
    DBX_18::setText(record.compType, "RES");
    DBX_18::setText(record.value, "10k");
    DBX_18::setText(record.patternName, "R0805");
    DBX_18::setText(record.libraryName, "Passive");
    return DBX::Component(design, DBX::kToolSch, record);
  }

  dbxhost::HostDbx host{dbxhost::Design{}};
  DBX::Design design{host};
};

TEST_F(ComponentKeyTest, FullKeyListsAllFieldsAndThePartSuffix) {
  EXPECT_EQ(ComponentKey(make("R7")), ",RES,10k,R0805,Passive,");
  EXPECT_EQ(ComponentKey(make("U1:B")), ",RES,10k,R0805,Passive,B");
  // Only the first colon separates the suffix.
  EXPECT_EQ(ComponentKey(make("U1:A:2")), ",RES,10k,R0805,Passive,A:2");
}

TEST_F(ComponentKeyTest, MaskSelectsFieldsInFixedOrder) {
  const DBX::Component component = make("U1:B");
  EXPECT_EQ(ComponentKey(component, kKeyValue | kKeyCompType), ",RES,10k");
  EXPECT_EQ(ComponentKey(component, kKeyLibrary | kKeyPartSuffix), ",Passive,B");
  EXPECT_EQ(ComponentKey(component, kKeyPattern), ",R0805");
  EXPECT_EQ(ComponentKey(component, 0), "");
  // Without a colon the suffix bit adds the comma alone.
  EXPECT_EQ(ComponentKey(make("R7"), kKeyPartSuffix), ",");
}

TEST_F(ComponentKeyTest, KeysTellKindsApart) {
  DBX::Component a = make("R1");
  DBX::Component b = make("R2");
  EXPECT_EQ(ComponentKey(a), ComponentKey(b));
  DBX_18::setText(b.record.value, "10K");  // case matters
  EXPECT_NE(ComponentKey(a), ComponentKey(b));
}

TEST_F(ComponentKeyTest, FieldsByNumber) {
  const DBX::Component component = make("U1:B");
  EXPECT_EQ(ComponentField(component, 0), "U1:B");
  EXPECT_EQ(ComponentField(component, 1), "RES");
  EXPECT_EQ(ComponentField(component, 2), "10k");
  EXPECT_EQ(ComponentField(component, 3), "R0805");
  EXPECT_EQ(ComponentField(component, 4), "Passive");
  EXPECT_EQ(ComponentField(component, 5), "");
  EXPECT_EQ(ComponentField(component, -1), "");
}

// Each template part takes one new part of its kind; an empty item takes
// any part, so parts are left over only beyond the empty items.
TEST_F(ComponentKeyTest, PartsOfMissingKindsAreTheOnesNoItemTakes) {
  DBX::Component r1 = make("R1"), r2 = make("R2"), r3 = make("R3"), r4 = make("R4");
  DBX::Component unitA = make("U1:A"), unitB = make("U1:B");
  DBX_18::setText(r4.record.value, "47k");
  using Parts = std::vector<const DBX::Component*>;
  EXPECT_EQ(PartsOfMissingKinds({&r1, &unitB}, {&unitB, &r2}), Parts{});
  EXPECT_EQ(PartsOfMissingKinds({&r1, &unitB}, {&unitA, &r2}), Parts{&unitA});
  // Two parts of a kind the template holds once: the second is left over.
  EXPECT_EQ(PartsOfMissingKinds({&r1, &r4}, {&r2, &r3}), Parts{&r3});
  EXPECT_EQ(PartsOfMissingKinds({&r1, &unitB}, {&r4, &unitA}), (Parts{&r4, &unitA}));
  EXPECT_EQ(PartsOfMissingKinds({&r1, nullptr}, {&r2, &unitA}), Parts{});
  EXPECT_EQ(PartsOfMissingKinds({&r1, nullptr, &unitB}, {&r4, &unitA, &r2}), (Parts{&r4, &unitA}));
  EXPECT_EQ(PartsOfMissingKinds({}, {}), Parts{});
}

TEST(PartSuffixTest, TextAfterTheFirstColon) {
  EXPECT_EQ(PartSuffix("U1:B"), "B");
  EXPECT_EQ(PartSuffix("U1:"), "");
  EXPECT_EQ(PartSuffix("R5"), "");
  EXPECT_EQ(PartSuffix(""), "");
}

}  // namespace
