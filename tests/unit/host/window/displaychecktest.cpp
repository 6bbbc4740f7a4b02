#include "window/displaycheck.h"

#include <gtest/gtest.h>

namespace dbxhost {
namespace {

TEST(DisplayCheckTest, AnyDisplayOrPlatformCounts) {
  EXPECT_FALSE(displayAvailable(nullptr, nullptr, nullptr));
  EXPECT_FALSE(displayAvailable("", "", ""));
  EXPECT_TRUE(displayAvailable("offscreen", nullptr, nullptr));
  EXPECT_TRUE(displayAvailable(nullptr, ":0", ""));
  EXPECT_TRUE(displayAvailable("", nullptr, "wayland-0"));
}

}  // namespace
}  // namespace dbxhost
