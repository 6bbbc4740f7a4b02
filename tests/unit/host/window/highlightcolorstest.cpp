#include "window/highlightcolors.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "dbx/dbx32.h"

namespace dbxhost {
namespace {

TEST(HighlightColorsTest, KnownCodesHaveTheirColour) {
  EXPECT_EQ(highlightRgb(DBX::DBX_COLOR_RED), (Rgb{255, 0, 0}));
  EXPECT_EQ(highlightRgb(DBX::DBX_COLOR_BLACK), (Rgb{0, 0, 0}));
  EXPECT_EQ(highlightRgb(DBX::DBX_COLOR_DARKGREEN), (Rgb{0, 128, 0}));
  EXPECT_EQ(highlightRgb(DBX::DBX_COLOR_BLUE), (Rgb{0, 0, 255}));
  EXPECT_EQ(highlightRgb(DBX::DBX_COLOR_WHITE), (Rgb{255, 255, 255}));
  EXPECT_EQ(highlightRgb(DBX::DBX_COLOR_GRAY), (Rgb{160, 160, 164}));
}

TEST(HighlightColorsTest, EveryCodeIsADistinctColour) {
  std::set<std::tuple<int, int, int>> seen;
  for (int32_t code = DBX::DBX_COLOR_BLACK; code <= DBX::kLastColor; ++code) {
    const std::optional<Rgb> rgb = highlightRgb(code);
    ASSERT_TRUE(rgb) << code;
    EXPECT_TRUE(seen.insert({rgb->red, rgb->green, rgb->blue}).second) << code;
  }
}

TEST(HighlightColorsTest, NoHighlightAndUnknownCodesHaveNone) {
  EXPECT_FALSE(highlightRgb(DBX::DBX_COLOR_NONE));
  EXPECT_FALSE(highlightRgb(DBX::kLastColor + 1));
  EXPECT_FALSE(highlightRgb(-1));
  EXPECT_FALSE(highlightRgb(INT32_MIN));
  EXPECT_FALSE(highlightRgb(INT32_MAX));
}

}  // namespace
}  // namespace dbxhost
