// A group that differs from the template in one address strap, from "Add
// Selected" through the closest match to "Place" with the template's routing
// and "Undo Place", on the in-process host engine. The copy's copper must
// never carry a net the copy does not have there: a template net whose pins
// land on one net of the copy goes there, one whose pins land on several is
// left out and named.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "engine/hostdbx.h"
#include "model/syntheticdesign.h"
#include "placement/fieldparse.h"
#include "routedchannels.h"
#include "scriptedui.h"

namespace {

using placement::Control;

constexpr int32_t kGnd = 1;
constexpr int32_t kVcc = 2;
constexpr int32_t kTop = 1;
constexpr int32_t kBottom = 2;
constexpr int32_t kAddr1 = 5;
constexpr int32_t kChannelPitch = 1000000;

int32_t inputNet(int channel) { return 2 + channel; }
int32_t rowOf(int channel) { return 1000000 + (channel - 1) * kChannelPitch; }

dbxhost::Pattern pattern(const std::string& name, std::vector<dbxhost::PadDef> pads,
                         DBX::TRect outline) {
  dbxhost::Pattern result;
  result.name = name;
  result.pads = std::move(pads);
  result.outline = outline;
  return result;
}

// Two channels of an I2C device U with its input resistor R and decoupling
// capacitor C. U's pin 4 sets its address: strapped to templateStrap (GND,
// or ADDR1 of its own) in channel 1, the template, and to VCC in channel 2.
// Only channel 1 is routed: its input (a track and a via), its supply, its
// ground and the strap on top, a ground zone under it on the bottom. Each part has its reference
// text below and right of it, its value hidden there.
dbxhost::Design strappedChannels(int32_t templateStrap) {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(1, 1, false);
  design.nets = {
      {kGnd, "GND"}, {kVcc, "VCC"}, {inputNet(1), "IN1"}, {inputNet(2), "IN2"}, {kAddr1, "ADDR1"}};
  design.sch = {};
  design.pcb.grids = {{1, "0.05mm"}};
  design.pcb.boardOutline = {{0, 0}, {4000000, 0}, {4000000, 6000000}, {0, 6000000}};
  design.pcb.patterns = {
      {"SO4", pattern("SO4",
                      {{"1", {-100000, 50000}},
                       {"2", {-100000, -50000}},
                       {"3", {100000, -50000}},
                       {"4", {100000, 50000}}},
                      {{-150000, -100000}, {150000, 100000}})},
      {"R0603", pattern("R0603", {{"1", {-80000, 0}}, {"2", {80000, 0}}},
                        {{-130000, -60000}, {130000, 60000}})},
  };
  design.pcb.components.clear();
  auto part = [&](const std::string& refDes, const std::string& type, const std::string& value,
                  const std::string& patternName, DBX::TPoint at,
                  std::map<std::string, int32_t> pads) {
    dbxhost::PcbComponent component;
    component.id = int32_t(design.pcb.components.size() + 1);
    component.refDes = refDes;
    component.compType = type;
    component.value = value;
    component.patternName = patternName;
    component.libraryName = "strap.lib";
    component.placement.refPoint = at;
    component.padNets = std::move(pads);
    dbxhost::CompText reference;
    reference.at = {at.x + 50000, at.y - 90000};
    dbxhost::CompText hiddenValue = reference;
    hiddenValue.attrType = DBX::kAttrValue;
    hiddenValue.visible = false;
    component.texts = {reference, hiddenValue};
    design.pcb.components.push_back(std::move(component));
  };
  for (int channel = 1; channel <= 2; ++channel) {
    const std::string n = std::to_string(channel);
    const int32_t y = rowOf(channel);
    const int32_t strap = channel == 1 ? templateStrap : kVcc;
    part("U" + n, "EEPROM", "24C02", "SO4", {1000000, y},
         {{"1", kVcc}, {"2", inputNet(channel)}, {"3", kGnd}, {"4", strap}});
    part("R" + n, "RES", "10k", "R0603", {1500000, y}, {{"1", inputNet(channel)}, {"2", kGnd}});
    part("C" + n, "CAP", "100n", "R0603", {1000000, y + 300000}, {{"1", kVcc}, {"2", kGnd}});
  }

  const int32_t y = rowOf(1);
  testing_placement::CopperDrawer copper{design, kTop};
  auto info = [&](int32_t net) { return copper.info(net); };
  auto track = [&](int32_t net, DBX::TPoint from, DBX::TPoint to) { copper.track(net, from, to); };
  track(inputNet(1), {900000, y - 50000}, {1420000, y});
  track(kGnd, {1580000, y}, {1100000, y - 50000});
  track(templateStrap, {1100000, y + 50000}, {1200000, y + 120000});  // the strap
  track(kVcc, {920000, y + 300000}, {900000, y + 50000});
  dbxhost::Via via;
  via.info = info(inputNet(1));
  via.at = {1250000, y - 30000};
  via.diameter = 60000;
  via.drill = 30000;
  via.startLayerId = kTop;
  via.endLayerId = kBottom;
  design.pcb.vias.push_back(via);
  dbxhost::Zone zone;
  zone.info = info(kGnd);
  zone.layerIds = {kBottom};
  zone.outline = {
      {850000, y - 100000}, {1650000, y - 100000}, {1650000, y + 400000}, {850000, y + 400000}};
  design.pcb.zones.push_back(zone);
  return design;
}

DBX::TPoint raised(DBX::TPoint p, int64_t dy) { return {p.x, int32_t(p.y + dy)}; }

class DifferingGroupTest : public ::testing::Test {
 protected:
  // Channel 1 becomes the template, channel 2 is added from its closest
  // match, which differs in the strap alone.
  void start(int32_t templateStrap, const std::string& strapNet) {
    original = strappedChannels(templateStrap);
    host = std::make_unique<dbxhost::HostDbx>(original);
    form = std::make_unique<TForm1>(*host);
    form->FormCreate();
    std::vector<ClosestMatch::Result> offered;
    form->GroupSelector1().chooseClosest = [&](const TGroupSelector&,
                                               const ClosestMatch::Result& closest) {
      offered.push_back(closest);
      return 0;
    };
    form->LdPCBClick();
    addSelected({"C1", "R1", "U1"});
    addSelected({"C2", "R2", "U2"});
    form->GroupSelector1().chooseClosest = nullptr;
    ASSERT_EQ(offered.size(), 1u);
    ASSERT_EQ(offered[0].candidates.size(), 1u);
    const ClosestMatch::Candidate& closest = offered[0].candidates[0];
    ASSERT_EQ(closest.differences.size(), 1u);
    EXPECT_EQ(closest.differences[0].text(),
              "U1 pin 4: " + strapNet + " in the template, VCC here");
    ASSERT_TRUE(form->placeTabVisible());
    EXPECT_TRUE(ui.boxes.empty());
  }
  void addSelected(const std::vector<std::string>& names) {
    TGroupSelector& page = form->GroupSelector1();
    for (const std::string& name : names) {
      const int line = page.CompList().find(name);
      ASSERT_GE(line, 0) << name;
      page.SetTicked(line, true);
    }
    page.AddSelectedButtonClick();
  }
  // Places channel 2 above channel 1 with the routing; the pitch.
  int64_t placeAbove() {
    form->PageControl1Change(TForm1::kPlacePage);
    placement::TPlacer& placer = form->Placer1();
    EXPECT_TRUE(placer.CopyRouting());
    placer.GroupsListClick(0);
    placer.EditField(Control::Cols, "1");
    placer.EditField(Control::GapY, "2");
    EXPECT_TRUE(placer.PlaceEnabled());
    placer.PlaceClick();
    EXPECT_TRUE(ui.questions.empty());
    const int64_t dy = *placement::ParseLength(placer.FieldOf(Control::DeltaY).text);
    EXPECT_GT(dy, 0);
    return dy;
  }
  dbxhost::Design hostDesign() const {
    return host->readDesign([](const dbxhost::Design& d) { return d; });
  }
  // The copy's tracks, in the order of their templates; the template's
  // copper must be as it was.
  std::vector<dbxhost::Track> copiedTracks(const dbxhost::Design& placed) const {
    std::vector<dbxhost::Track> copied;
    for (std::size_t i = 0; i < placed.pcb.tracks.size(); ++i) {
      const dbxhost::Track& t = placed.pcb.tracks[i];
      if (i < original.pcb.tracks.size()) {
        EXPECT_EQ(t, original.pcb.tracks[i]);
      } else {
        EXPECT_EQ(t.info.group, "Tandrel G2");
        copied.push_back(t);
      }
    }
    return copied;
  }
  void expectTrackCopied(const dbxhost::Track& copy, std::size_t model, int32_t net,
                         int64_t dy) const {
    const dbxhost::Track& like = original.pcb.tracks[model];
    EXPECT_EQ(copy.info.netId, net) << "track " << model;
    EXPECT_EQ(copy.start, raised(like.start, dy)) << "track " << model;
    EXPECT_EQ(copy.end, raised(like.end, dy)) << "track " << model;
  }
  // The copy's parts went with the copper.
  void expectPartsRaised(const dbxhost::Design& placed, int64_t dy) const {
    for (const char* refDes : {"U", "R", "C"}) {
      const dbxhost::PcbComponent* model = nullptr;
      const dbxhost::PcbComponent* copy = nullptr;
      for (const dbxhost::PcbComponent& c : placed.pcb.components) {
        if (c.refDes == std::string(refDes) + "1") model = &c;
        if (c.refDes == std::string(refDes) + "2") copy = &c;
      }
      ASSERT_TRUE(model != nullptr && copy != nullptr) << refDes;
      EXPECT_EQ(copy->placement.refPoint, raised(model->placement.refPoint, dy)) << refDes;
    }
  }
  void expectUndoRestores() {
    placement::TPlacer& placer = form->Placer1();
    const std::size_t boxes = ui.boxes.size();
    ASSERT_TRUE(placer.UndoEnabled());
    placer.UndoPlaceClick();
    EXPECT_EQ(ui.boxes.size(), boxes);
    EXPECT_FALSE(placer.UndoEnabled());
    const dbxhost::Design undone = hostDesign();
    EXPECT_TRUE(undone.pcb.components == original.pcb.components);
    EXPECT_EQ(undone.pcb.tracks, original.pcb.tracks);
    EXPECT_EQ(undone.pcb.vias, original.pcb.vias);
    EXPECT_EQ(undone.pcb.zones, original.pcb.zones);
  }

  testing_diag::ScriptedUi ui;
  dbxhost::Design original;
  std::unique_ptr<dbxhost::HostDbx> host;
  std::unique_ptr<TForm1> form;
};

// Strapped to GND in the template, the copy's pins of GND are on GND and on
// VCC: GND's tracks (the strap among them) and its zone are left out and
// named in one box; the input and supply copper is repeated on the copy's
// nets.
TEST_F(DifferingGroupTest, AGroundStrapLeavesGndOutAndTheRestOnTheCopysNets) {
  ASSERT_NO_FATAL_FAILURE(start(kGnd, "GND"));
  const int64_t dy = placeAbove();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "Routing on these nets was not copied, because each has no single net in the "
            "copy:\nG2: GND -> GND, VCC (3 items)\n");

  const dbxhost::Design placed = hostDesign();
  const std::vector<dbxhost::Track> copied = copiedTracks(placed);
  ASSERT_EQ(copied.size(), 2u);
  expectTrackCopied(copied[0], 0, inputNet(2), dy);
  expectTrackCopied(copied[1], 3, kVcc, dy);
  ASSERT_EQ(placed.pcb.vias.size(), 2u);
  EXPECT_EQ(placed.pcb.vias[1].info.netId, inputNet(2));
  EXPECT_EQ(placed.pcb.vias[1].at, raised(original.pcb.vias[0].at, dy));
  EXPECT_EQ(placed.pcb.zones, original.pcb.zones);
  expectPartsRaised(placed, dy);
  expectUndoRestores();
}

// Strapped to a net of its own in the template, the strap's net falls on
// VCC alone in the copy: the strap track goes there, and everything else,
// GND's zone too, is copied on the copy's nets without a word.
TEST_F(DifferingGroupTest, AStrapOnANetOfItsOwnGoesOnTheCopysStrapNet) {
  ASSERT_NO_FATAL_FAILURE(start(kAddr1, "ADDR1"));
  const int64_t dy = placeAbove();
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;

  const dbxhost::Design placed = hostDesign();
  const std::vector<dbxhost::Track> copied = copiedTracks(placed);
  ASSERT_EQ(copied.size(), 4u);
  expectTrackCopied(copied[0], 0, inputNet(2), dy);
  expectTrackCopied(copied[1], 1, kGnd, dy);
  expectTrackCopied(copied[2], 2, kVcc, dy);
  expectTrackCopied(copied[3], 3, kVcc, dy);
  ASSERT_EQ(placed.pcb.vias.size(), 2u);
  EXPECT_EQ(placed.pcb.vias[1].info.netId, inputNet(2));
  ASSERT_EQ(placed.pcb.zones.size(), 2u);
  EXPECT_EQ(placed.pcb.zones[1].info.netId, kGnd);
  EXPECT_EQ(placed.pcb.zones[1].outline.front(), raised(original.pcb.zones[0].outline.front(), dy));
  expectPartsRaised(placed, dy);
  expectUndoRestores();
}

}  // namespace
