// A placement page on a design served by the in-process host engine, with
// helpers that read back what the host holds.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dbx/design.h"
#include "engine/hostdbx.h"
#include "model/geometry.h"
#include "model/syntheticdesign.h"
#include "placement/placer.h"
#include "quadgroups.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace testing_placement {

// Channels of one 2.54 x 2.00 part each on an absolute 0.01 grid: R1 at
// (5.00, 5.00), R2 at (5.00, 8.00), ... one channel above the other.
inline dbxhost::Design singlePartChannels(int channels) {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(channels, 1, false);
  design.pcb.grids = {{1, "0.01mm"}};
  design.pcb.patterns.at("R0603").outline = DBX::TRect{{-127000, -100000}, {127000, 100000}};
  return design;
}

// The designators of every channel of a synthetic design, channel after
// channel.
inline std::vector<std::string> syntheticNames(int channels, int parts) {
  std::vector<std::string> names;
  for (int c = 0; c < channels * parts; ++c) {
    names.push_back((c % parts % 2 == 0 ? "R" : "C") + std::to_string(c + 1));
  }
  return names;
}

class PlacerFixture : public ::testing::Test {
 protected:
  // A second start replaces the design; the placer forgets the old one.
  void start(dbxhost::Design hostDesign) {
    placer.DesignCleared();
    design.reset();  // it still talks to the old host
    host = std::make_unique<dbxhost::HostDbx>(std::move(hostDesign));
    design = std::make_unique<DBX::Design>(*host);
    design->selectTool(DBX::kToolPcb);
  }
  void load(const std::vector<std::string>& names, uint32_t itemsPerGroup) {
    placer.LoadGroups(*design, names, itemsPerGroup);
  }
  // "Group" with the fields X, Y and Gap set as given.
  void gather(const std::string& x, const std::string& y, const std::string& gap) {
    placer.EditField(placement::Control::GrpX, x);
    placer.EditField(placement::Control::GrpY, y);
    placer.EditField(placement::Control::GrGap, gap);
    placer.GatherTemplate();
  }
  const std::string& text(placement::Control field) const { return placer.FieldOf(field).text; }
  bool invalid(placement::Control field) const { return placer.FieldOf(field).invalid; }

  dbxhost::PcbComponent hostComponent(const std::string& refDes) const {
    return host->readDesign([&](const dbxhost::Design& d) {
      for (const dbxhost::PcbComponent& c : d.pcb.components) {
        if (c.refDes == refDes) return c;
      }
      ADD_FAILURE() << "no component " << refDes;
      return dbxhost::PcbComponent{};
    });
  }
  std::vector<DBX::TPoint> hostPads(const std::string& refDes) const {
    const dbxhost::PcbComponent c = hostComponent(refDes);
    return host->readDesign([&](const dbxhost::Design& d) {
      return dbxhost::padPositions(d.pcb.patterns.at(c.patternName), c.placement);
    });
  }
  void moveInHost(const std::string& refDes, int32_t dx, int32_t dy) {
    host->withDesign([&](dbxhost::Design& d) {
      for (dbxhost::PcbComponent& c : d.pcb.components) {
        if (c.refDes == refDes) c.placement = dbxhost::moved(c.placement, dx, dy);
      }
    });
  }

  testing_diag::ScriptedUi ui;
  std::unique_ptr<dbxhost::HostDbx> host;
  std::unique_ptr<DBX::Design> design;
  placement::TPlacer placer;  // after the design: it points into it
};

}  // namespace testing_placement
