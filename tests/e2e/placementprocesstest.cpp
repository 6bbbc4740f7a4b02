// Placing the channels of the quad example through a real dbxhost process,
// checked in the design file that the host saves afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "model/geometry.h"
#include "placement/fieldparse.h"
#include "placement/placer.h"
#include "placerfixture.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using placement::Control;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

const dbxhost::PcbComponent& componentIn(const dbxhost::Design& design, const std::string& refDes) {
  for (const dbxhost::PcbComponent& c : design.pcb.components) {
    if (c.refDes == refDes) return c;
  }
  throw std::out_of_range("no component " + refDes);
}

class PlacementProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    fs::remove_all(dir);
    fs::remove_all(work);
  }
  const std::string dir = makePrivateTempDir("placement-e2e");
  const std::string work = makePrivateTempDir("placement-work");
};

TEST_F(PlacementProcessTest, TheFourQuadChannelsRepeatTheTemplateInATwoByTwoGrid) {
  const fs::path file = fs::path(work) / "design.json";
  fs::copy_file(testing_placement::kQuad, file);
  const std::vector<std::string> names = testing_placement::quadNames();
  int32_t deltaX = 0;
  int32_t deltaY = 0;
  {
    testing_diag::ScriptedUi ui;
    HostProcess host(file.string(), dir);
    {
      DBX::SocketDbx dbx(dir);
      DBX::Design design(dbx);
      design.selectTool(DBX::kToolPcb);
      placement::TPlacer placer;
      placer.LoadGroups(design, names, 7);
      ASSERT_EQ(placer.FieldOf(Control::Rows).text, "2");
      ASSERT_EQ(placer.FieldOf(Control::Cols).text, "2");
      placer.GroupsListClick(0);
      // Gathered first, the template stands on the grid, and with gaps of
      // one grid step every pitch is a whole number of steps: the copies then
      // repeat it exactly.
      placer.EditField(Control::GrpX, "10");
      placer.EditField(Control::GrpY, "10");
      placer.EditField(Control::GrGap, "1.27");
      placer.GatherTemplate();
      placer.EditField(Control::GapX, "1.27");
      placer.EditField(Control::GapY, "1.27");
      placer.PlaceClick();
      ASSERT_TRUE(placer.PlaceEnabled());
      deltaX = *placement::ParseLength(placer.FieldOf(Control::DeltaX).text);
      deltaY = *placement::ParseLength(placer.FieldOf(Control::DeltaY).text);
      design.clear();
    }
    EXPECT_TRUE(ui.boxes.empty());
    ASSERT_EQ(host.command("save"), "ok " + file.string());
    EXPECT_EQ(host.stop(SIGTERM), 0);
  }

  const dbxhost::Design saved = dbxhost::readDesignFile(file);
  EXPECT_EQ(deltaX % 127000, 0);
  for (int group = 1; group < 4; ++group) {
    const int64_t dx = int64_t{group % 2} * deltaX;
    const int64_t dy = int64_t{group / 2} * deltaY;
    for (int item = 0; item < 7; ++item) {
      const dbxhost::PcbComponent& model = componentIn(saved, names[item]);
      const dbxhost::PcbComponent& copy = componentIn(saved, names[group * 7 + item]);
      EXPECT_EQ(copy.placement.rotation, model.placement.rotation) << copy.refDes;
      EXPECT_EQ(copy.placement.flipped, model.placement.flipped) << copy.refDes;
      const auto modelPads =
          dbxhost::padPositions(saved.pcb.patterns.at(model.patternName), model.placement);
      const auto pads =
          dbxhost::padPositions(saved.pcb.patterns.at(copy.patternName), copy.placement);
      ASSERT_EQ(pads.size(), modelPads.size()) << copy.refDes;
      for (std::size_t p = 0; p < pads.size(); ++p) {
        EXPECT_EQ(pads[p].x, modelPads[p].x + dx) << copy.refDes << " pad " << p;
        EXPECT_EQ(pads[p].y, modelPads[p].y + dy) << copy.refDes << " pad " << p;
      }
    }
  }
}

}  // namespace
