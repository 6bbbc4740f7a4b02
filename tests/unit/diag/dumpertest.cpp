#include "diag/dumper.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "stringdumper.h"

namespace {

using testing_diag::StringDumper;

TEST(DumperTest, IndentsOnlyCallsThatStartALine) {
  StringDumper out;
  out.indent = 2;
  out.print("a");
  out.print("b\n");
  out.print("%s=%d\n", "c", 3);
  out.print("\nNets:\n");  // the blanks stand alone, the heading at the margin
  out.indent = 0;
  out.print("d\n");
  out.indent = -3;  // a level below zero adds nothing
  out.print("e\n");
  EXPECT_EQ(out.text, "  ab\n  c=3\n  \nNets:\nd\ne\n");
  EXPECT_TRUE(out.atLineStart);
  out.print("%s", "");
  EXPECT_FALSE(out.atLineStart);  // an empty text ends no line
}

TEST(DumperTest, EnumNameLooksUpTheFirstRowOfTheValue) {
  EXPECT_EQ(DBX::EnumName(0, DBX::kHighlightColorNames), "None (0)");
  EXPECT_EQ(DBX::EnumName(10, DBX::kHighlightColorNames), "DBX_COLOR_RED (10)");
  EXPECT_EQ(DBX::EnumName(20, DBX::kHighlightColorNames), "DBX_COLOR_GRAY (20)");
  EXPECT_EQ(DBX::EnumName(25, DBX::kHighlightColorNames), "??? (25)");
  EXPECT_EQ(DBX::EnumName(-1, DBX::kHighlightColorNames), "??? (-1)");
  EXPECT_EQ(DBX::EnumName(2, DBX::kConnectionTypeNames),
            "DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR (2)");
  EXPECT_EQ(DBX::EnumName(5, DBX::kConnectionTypeNames), "??? (5)");
  const DBX::EnumNameRow duplicates[] = {{"FIRST", 1}, {"SECOND", 1}, {nullptr, 0}};
  EXPECT_EQ(DBX::EnumName(1, duplicates), "FIRST (1)");
  // The status names follow the same rule.
  for (int32_t status : {32001, 32106, 32179, 32279, 32258, 0}) {
    EXPECT_EQ(DBX::EnumName(status, DBX::kStatusNames), DBX::statusText(status));
  }
}

TEST(DumperTest, ComponentRecordBlock) {
  DBX::TComponent record{};
  record.compId = 17;
  DBX_18::setText(record.refDes, "C1");
  DBX_18::setText(record.compType, "CAP");
  DBX_18::setText(record.patternName, "C0805");
  record.refPoint = {1270000, 508000};
  record.boundRect = {{1200000, 500000}, {1340000, 516000}};
  record.rotationAng = 900;
  record.numberPads = 2;
  record.numberPins = 2;
  record.numberParts = 1;
  record.isFlipped = 1;
  record.isHighlighted = 25;
  record.connectionType = 0;
  record.isFixed = 3;
  DBX_18::setText(record.currentGraphicName, "Normal");
  StringDumper out;
  out.indent = 1;
  out.dumpComponent(record);
  EXPECT_EQ(out.text,
            " TComponent {\n"
            "  compId               = 17\n"
            "  refDes               = C1\n"
            "  compType             = CAP\n"
            "  value                = \n"
            "  patternName          = C0805\n"
            "  libraryName          = \n"
            "  refPoint             = (12.70,5.08)\n"
            "  boundRect            = (12.00,5.00) - (13.40,5.16)\n"
            "  rotationAng          = 90.0 deg\n"
            "  numberPads           = 2\n"
            "  numberPins           = 2\n"
            "  numberParts          = 1\n"
            "  isFlipped\n"
            "  isHighlighted        = ??? (25)\n"
            "  connectionType       = DBX_COMPONENT_CONNECTION_NORMAL (0)\n"
            "  isFixed\n"
            "  numberGraphics       = 0\n"
            "  currentGraphicName   = Normal\n"
            "  defaultGraphicName   = \n"
            " }\n");
  EXPECT_EQ(out.indent, 1);
}

TEST(DumperTest, NegativeAndOddAngles) {
  DBX::TComponent record{};
  record.rotationAng = -450;
  StringDumper out;
  out.dumpComponent(record);
  EXPECT_NE(out.text.find("rotationAng          = -45.0 deg\n"), std::string::npos);
  EXPECT_NE(out.text.find("isHighlighted        = None (0)\n"), std::string::npos);
  EXPECT_EQ(out.text.find("isAlpha"), std::string::npos);  // flags of 0 are left out
}

TEST(FileDumperTest, AppendsToTheFileAndTakesNullAsEmpty) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  DBX::FileDumper out(file);
  out.write("one ");
  out.write(nullptr);
  out.print("%d\n", 2);
  std::rewind(file);
  char text[32] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  EXPECT_EQ(std::string(text, n), "one 2\n");
}

}  // namespace
