#include "engine/hostdbx.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "copperrecords.h"
#include "model/geometry.h"

namespace dbxhost {
namespace {

using namespace DBX;

// A small design: two resistors and a dual op-amp on one sheet, a power symbol,
// and the matching PCB with one power component.
Design smallDesign() {
  Design d;
  d.nets = {{1, "GND", 0}, {2, "IN", 0}, {3, "OUT", DBX_COLOR_GREEN}};
  d.sch.header.relGridId = 2;
  d.sch.header.isGridAbsolute = false;
  d.sch.grids = {{1, "2.54mm"}, {2, "1.27mm"}};
  d.sch.sheets = {{1, "Main"}, {2, "Second"}};
  SchComponent r1{1,
                  "R1",
                  "RES",
                  "10k",
                  "R0805",
                  "passive",
                  DBX_COMPONENT_CONNECTION_NORMAL,
                  1,
                  {{"1", "", 1, 2, {0, 0}}, {"2", "", 1, 1, {0, 500000}}}};
  SchComponent u1{2,
                  "U1",
                  "OPA2134",
                  "OPA2134",
                  "SOIC8",
                  "analog",
                  DBX_COMPONENT_CONNECTION_NORMAL,
                  2,
                  {{"1", "OUTA", 1, 3, {0, 0}},
                   {"2", "-INA", 1, 2, {0, 0}},
                   {"7", "OUTB", 2, 0, {0, 0}},
                   {"8", "(unused)", 2, 1, {0, 0}}}};
  SchComponent gnd{3,
                   "GND1",
                   "GND",
                   "",
                   "",
                   "power",
                   DBX_COMPONENT_CONNECTION_POWER,
                   1,
                   {{"1", "", 1, 1, {0, 0}}}};
  d.sch.components = {r1, u1, gnd};
  d.sch.symbols = {
      {1, "R1", 1, 1, {100, 200}, {{0, 0}, {200, 400}}, 0, false, 0, 0},
      {2, "U1:A", 1, 1, {300, 300}, {{250, 250}, {350, 350}}, 0, false, 0, 1},
      {3, "U1:B", 2, 2, {300, 300}, {{250, 250}, {350, 350}}, 0, false, DBX_COLOR_RED, 1},
      {4, "GND1", 1, 1, {0, 0}, {}, 0, false, 0, 2}};

  d.pcb.header.absGridId = 7;
  d.pcb.header.isGridAbsolute = true;
  d.pcb.grids = {{7, "0.635mm"}};
  d.pcb.patterns["R0805"] = {"R0805", {{"1", {-100000, 0}}, {"2", {100000, 0}}}, std::nullopt};
  d.pcb.patterns["SOIC8"] = {"SOIC8",
                             {{"1", {-190000, 190000}}, {"8", {190000, 190000}}},
                             TRect{{-250000, -250000}, {250000, 250000}}};
  PcbComponent pr1;
  pr1.id = 1;
  pr1.refDes = "R1";
  pr1.patternName = "R0805";
  pr1.placement = {{1000000, 2000000}, 0, false};
  pr1.padNets = {{"1", 2}, {"2", 1}};
  PcbComponent pu1;
  pu1.id = 2;
  pu1.refDes = "U1";
  pu1.patternName = "SOIC8";
  pu1.numberParts = 2;
  pu1.placement = {{3000000, 2000000}, 900, true};
  pu1.padNets = {{"1", 3}, {"8", 1}};
  pu1.highlight = DBX_COLOR_BLUE;
  PcbComponent fixed = pr1;
  fixed.id = 3;
  fixed.refDes = "J1";
  fixed.fixed = true;
  PcbComponent power = pr1;
  power.id = 4;
  power.refDes = "PWR1";
  power.connectionType = DBX_COMPONENT_CONNECTION_POWER;
  power.highlight = DBX_COLOR_RED;
  d.pcb.components = {pr1, pu1, fixed, power};
  return d;
}

class HostDbxTest : public ::testing::Test {
 protected:
  HostDbx host{smallDesign()};
  TConversation pcb;
  TConversation sch;

  void SetUp() override {
    ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
    ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);
  }

  TComponent pcbComponent(const char* refDes) {
    TComponent c;
    EXPECT_EQ(host.TGetCompByRefDes(&pcb, refDes, &c), DBX_OK);
    return c;
  }

  std::vector<TPad> pads(const char* refDes) {
    std::vector<TPad> out;
    TPad pad;
    for (int32_t s = host.TGetFirstCompPad(&pcb, refDes, "Normal", &pad); s == DBX_OK;
         s = host.TGetNextCompPad(&pcb, &pad)) {
      out.push_back(pad);
    }
    return out;
  }
};

TEST_F(HostDbxTest, OneClientPerToolUntilItCloses) {
  TConversation second;
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &second), DBX_SERVER_BUSY);
  EXPECT_TRUE(host.isHeld(kToolPcb));
  EXPECT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  EXPECT_FALSE(host.isHeld(kToolPcb));
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &second), DBX_OK);
  EXPECT_NE(second.handle, pcb.handle);
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, "brd", &second), DBX_BAD_INPUT);
}

TEST_F(HostDbxTest, ClosedOrUnknownContextsAreRefused) {
  TDesign header;
  TConversation unknown{9999, kToolPcb};
  EXPECT_EQ(host.TGetDesignInfo(&unknown, &header), DBX_NO_CONNECTION);
  TConversation noTool{pcb.handle, 7};
  EXPECT_EQ(host.TGetDesignInfo(&noTool, &header), DBX_NO_CONNECTION);
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_NO_CONNECTION);
  EXPECT_EQ(host.TCloseDesign(&pcb, ""), DBX_NO_CONNECTION);
  TComponent c;
  EXPECT_EQ(host.TMoveComponent(&pcb, 1, 1, &c), DBX_NO_CONNECTION);
}

TEST_F(HostDbxTest, WalksEndWithTheirCodesAndNeedTheirFirstCall) {
  TNet net;
  EXPECT_EQ(host.TGetNextNet(&pcb, &net), DBX_GETFIRST_NOT_CALLED);
  std::vector<std::string> names;
  int32_t s = host.TGetFirstNet(&pcb, &net);
  for (; s == DBX_OK; s = host.TGetNextNet(&pcb, &net)) names.emplace_back(getText(net.netName));
  EXPECT_EQ(s, DBX_NO_MORE_NETS);
  EXPECT_EQ(names, (std::vector<std::string>{"GND", "IN", "OUT"}));
  EXPECT_EQ(host.TGetNextNet(&pcb, &net), DBX_NO_MORE_NETS);

  TComponent c;
  int count = 0;
  for (s = host.TGetFirstComponent(&pcb, &c); s == DBX_OK; s = host.TGetNextComponent(&pcb, &c)) {
    ++count;
  }
  EXPECT_EQ(s, DBX_NO_MORE_COMPONENTS);
  EXPECT_EQ(count, 4);

  TLayer layer;
  std::vector<int32_t> sheets;
  for (s = host.TGetFirstLayer(&sch, &layer); s == DBX_OK; s = host.TGetNextLayer(&sch, &layer)) {
    sheets.push_back(layer.layerId);
  }
  EXPECT_EQ(s, DBX_NO_MORE_LAYERS);
  EXPECT_EQ(sheets, (std::vector<int32_t>{1, 2}));

  TSymbol symbol;
  EXPECT_EQ(host.TGetFirstSymbol(&pcb, &symbol), DBX_ILLEGAL_OP);
  EXPECT_EQ(host.TGetNextSymbol(&pcb, &symbol), DBX_GETFIRST_NOT_CALLED);
}

TEST_F(HostDbxTest, NodeCountsArePerTool) {
  TNet net;
  std::map<std::string, int32_t> pcbCounts, schCounts;
  for (int32_t s = host.TGetFirstNet(&pcb, &net); s == DBX_OK; s = host.TGetNextNet(&pcb, &net)) {
    pcbCounts[std::string(getText(net.netName))] = net.nodeCount;
  }
  for (int32_t s = host.TGetFirstNet(&sch, &net); s == DBX_OK; s = host.TGetNextNet(&sch, &net)) {
    schCounts[std::string(getText(net.netName))] = net.nodeCount;
  }
  EXPECT_EQ(pcbCounts["GND"], 4);  // R1.2, U1.8, J1.2, PWR1.2
  EXPECT_EQ(schCounts["GND"], 3);  // R1.2, U1.8, GND1.1
  EXPECT_EQ(schCounts["OUT"], 1);
}

TEST_F(HostDbxTest, LookupsTakeBareDesignatorsForComponentsAndSuffixesForSymbols) {
  TComponent c;
  EXPECT_EQ(host.TGetCompByRefDes(&sch, "U1", &c), DBX_OK);
  EXPECT_EQ(getText(c.refDes), "U1");
  EXPECT_EQ(c.numberParts, 2);
  EXPECT_EQ(host.TGetCompByRefDes(&sch, "U1:A", &c), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.TGetCompByRefDes(&pcb, "U7", &c), DBX_COMPONENT_NOT_FOUND);
  TSymbol symbol;
  EXPECT_EQ(host.TGetSymbolByRefDes(&sch, "U1:B", &symbol), DBX_OK);
  EXPECT_EQ(symbol.partNumber, 2);
  EXPECT_EQ(symbol.layerId, 2);
  EXPECT_EQ(symbol.isHighlighted, DBX_COLOR_RED);
  EXPECT_EQ(host.TGetSymbolByRefDes(&sch, "U1", &symbol), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.TGetSymbolByRefDes(&pcb, "U1:B", &symbol), DBX_ILLEGAL_OP);
}

TEST_F(HostDbxTest, PinsKeepUnconnectedAndUnusedOnesForTheClientToFilter) {
  TPin pin;
  std::vector<std::pair<std::string, int32_t>> pins;
  for (int32_t s = host.TGetFirstCompPin(&sch, "U1", &pin); s == DBX_OK;
       s = host.TGetNextCompPin(&sch, &pin)) {
    pins.emplace_back(std::string(getText(pin.compPin.pinDes)), pin.compPin.gateNumber);
    if (pins.back().first == "7") {
      EXPECT_EQ(pin.netId, 0);
    }
  }
  EXPECT_EQ(pins.size(), 4u);
  EXPECT_EQ(pins[3], (std::pair<std::string, int32_t>{"8", 2}));
  EXPECT_EQ(host.TGetFirstCompPin(&sch, "U9", &pin), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.TGetFirstCompPin(&pcb, "U1", &pin), DBX_ILLEGAL_OP);
}

TEST_F(HostDbxTest, PadsAndBoundRectFollowEveryEdit) {
  TComponent u1 = pcbComponent("U1");
  ASSERT_EQ(u1.isFlipped, 1);
  ASSERT_EQ(u1.rotationAng, 900);
  const auto before = pads("U1");
  ASSERT_EQ(before.size(), 2u);
  EXPECT_EQ(before[0].netId, 3);
  EXPECT_EQ(before[0].layerId, 2);  // bottom side

  ASSERT_EQ(host.TMoveComponent(&pcb, 500000, -100000, &u1), DBX_OK);
  EXPECT_EQ(u1.refPoint, (TPoint{3500000, 1900000}));
  const auto movedPads = pads("U1");
  EXPECT_EQ(movedPads[0].center.x, before[0].center.x + 500000);
  EXPECT_EQ(movedPads[0].center.y, before[0].center.y - 100000);

  ASSERT_EQ(host.TFlipComponent(&pcb, u1.refPoint, &u1), DBX_OK);
  EXPECT_EQ(u1.isFlipped, 0);
  EXPECT_EQ(u1.rotationAng, 900);
  const auto flippedPads = pads("U1");
  EXPECT_EQ(flippedPads[0].center.x, 2 * u1.refPoint.x - movedPads[0].center.x);
  EXPECT_EQ(flippedPads[0].layerId, 1);

  ASSERT_EQ(host.TRotateComponent(&pcb, 900, {0, 0}, &u1), DBX_OK);
  EXPECT_EQ(u1.rotationAng, 1800);
  EXPECT_EQ(u1.refPoint, (TPoint{-1900000, 3500000}));
  const auto turnedPads = pads("U1");
  EXPECT_EQ(turnedPads[0].center, rotateAbout(flippedPads[0].center, {0, 0}, 900));
  EXPECT_EQ(u1.boundRect, (TRect{{-2150000, 3250000}, {-1650000, 3750000}}));
  EXPECT_EQ(pcbComponent("U1").refPoint, u1.refPoint);
}

TEST_F(HostDbxTest, InvalidEditsChangeNothing) {
  TComponent u1 = pcbComponent("U1");
  const TComponent original = u1;
  EXPECT_EQ(host.TRotateComponent(&pcb, 3601, u1.refPoint, &u1), DBX_INVALID_ANGLE);
  EXPECT_EQ(host.TRotateComponent(&pcb, -3601, u1.refPoint, &u1), DBX_INVALID_ANGLE);
  EXPECT_EQ(host.THighlightItem(&pcb, 21, &u1), DBX_INVALID_HIGHLIGHT_COLOR);
  EXPECT_EQ(host.THighlightItem(&pcb, 0, &u1), DBX_INVALID_HIGHLIGHT_COLOR);
  EXPECT_EQ(host.TMoveComponent(&pcb, INT32_MAX, 0, &u1), DBX_ITEM_OUTSIDE_WORKSPACE);
  TComponent j1 = pcbComponent("J1");
  EXPECT_EQ(host.TMoveComponent(&pcb, 10, 0, &j1), DBX_MOVE_ERROR);
  EXPECT_EQ(host.TFlipComponent(&sch, {0, 0}, &u1), DBX_ILLEGAL_OP);
  TComponent ghost = u1;
  ghost.compId = 77;
  EXPECT_EQ(host.TMoveComponent(&pcb, 1, 1, &ghost), DBX_COMPONENT_NOT_FOUND);
  const TComponent now = pcbComponent("U1");
  EXPECT_EQ(now.refPoint, original.refPoint);
  EXPECT_EQ(now.rotationAng, original.rotationAng);
  EXPECT_EQ(now.isHighlighted, original.isHighlighted);
}

TEST_F(HostDbxTest, AnyAngleWithinOneTurnEitherWayIsAccepted) {
  TComponent r1 = pcbComponent("R1");
  ASSERT_EQ(host.TRotateComponent(&pcb, -3600, r1.refPoint, &r1), DBX_OK);
  EXPECT_EQ(r1.rotationAng, 0);
  ASSERT_EQ(host.TRotateComponent(&pcb, 123, r1.refPoint, &r1), DBX_OK);
  EXPECT_EQ(r1.rotationAng, 123);
  ASSERT_EQ(host.TRotateComponent(&pcb, -124, r1.refPoint, &r1), DBX_OK);
  EXPECT_EQ(r1.rotationAng, 3599);
}

TEST_F(HostDbxTest, HighlightedItemsOfBothTools) {
  TItem item;
  std::vector<std::pair<int32_t, std::string>> items;
  for (int32_t s = host.TGetFirstHighlightedItem(&pcb, &item); s == DBX_OK;
       s = host.TGetNextHighlightedItem(&pcb, &item)) {
    items.emplace_back(item.itemType, item.itemType == DBX_NET
                                          ? std::string(getText(item.net.netName))
                                          : std::string(getText(item.component.refDes)));
  }
  EXPECT_EQ(items, (std::vector<std::pair<int32_t, std::string>>{
                       {DBX_COMPONENT, "U1"}, {DBX_COMPONENT, "PWR1"}, {DBX_NET, "OUT"}}));

  TComponent r1 = pcbComponent("R1");
  ASSERT_EQ(host.THighlightItem(&pcb, DBX_COLOR_YELLOW, &r1), DBX_OK);
  EXPECT_EQ(r1.isHighlighted, DBX_COLOR_YELLOW);
  TComponent u1 = pcbComponent("U1");
  ASSERT_EQ(host.TUnHighlightItem(&pcb, &u1), DBX_OK);
  EXPECT_EQ(u1.isHighlighted, 0);
  ASSERT_EQ(host.TGetFirstHighlightedItem(&pcb, &item), DBX_OK);
  EXPECT_EQ(getText(item.component.refDes), "R1");

  ASSERT_EQ(host.TGetFirstHighlightedItem(&sch, &item), DBX_OK);
  EXPECT_EQ(item.itemType, DBX_SYMBOL);
  EXPECT_EQ(getText(item.symbol.refDes), "U1:B");
  // A schematic part is highlighted through its symbol's id.
  TComponent part;
  part.compId = 2;
  ASSERT_EQ(host.THighlightItem(&sch, DBX_COLOR_RED, &part), DBX_OK);
  TSymbol symbol;
  ASSERT_EQ(host.TGetSymbolByRefDes(&sch, "U1:A", &symbol), DBX_OK);
  EXPECT_EQ(symbol.isHighlighted, DBX_COLOR_RED);
}

TEST_F(HostDbxTest, InjectedStatusAnswersTheNthCallWithoutEffect) {
  TComponent r1 = pcbComponent("R1");
  const int before = host.callCount(kToolPcb);
  host.injectStatus(kToolPcb, 2, DBX_MOVE_ERROR);
  EXPECT_EQ(host.TMoveComponent(&pcb, 10, 0, &r1), DBX_OK);
  EXPECT_EQ(host.TMoveComponent(&pcb, 10, 0, &r1), DBX_MOVE_ERROR);
  EXPECT_EQ(host.TMoveComponent(&pcb, 10, 0, &r1), DBX_OK);
  EXPECT_EQ(pcbComponent("R1").refPoint.x, 1000020);
  EXPECT_EQ(host.callCount(kToolPcb), before + 4);
  EXPECT_EQ(host.callCount(kToolSch), 1);
}

TEST_F(HostDbxTest, DroppedConversationAnswersTerminatedThenNoConnection) {
  TDesign header;
  host.dropAfter(kToolPcb, 2);
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_OK);
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_OK);
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_SERVER_TERMINATED);
  EXPECT_FALSE(host.isHeld(kToolPcb));
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_NO_CONNECTION);
  // The tool is free again and the drop does not repeat.
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_OK);
}

TEST_F(HostDbxTest, BusyHookRefusesOpensWhileSet) {
  ASSERT_EQ(host.TCloseDesign(&sch, ""), DBX_OK);
  host.setBusy(kToolSch, true);
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_SERVER_BUSY);
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_SERVER_BUSY);
  host.setBusy(kToolSch, false);
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);
}

TEST_F(HostDbxTest, HeaderAndGridsPerTool) {
  TDesign header;
  ASSERT_EQ(host.TGetDesignInfo(&sch, &header), DBX_OK);
  EXPECT_EQ(header.isGridAbsolute, 0);
  EXPECT_EQ(header.relGridId, 2);
  TGrid grid;
  ASSERT_EQ(host.TGetFirstGrid(&pcb, &grid), DBX_OK);
  EXPECT_EQ(grid.gridId, 7);
  EXPECT_EQ(getText(grid.gridSpacing), "0.635mm");
  EXPECT_EQ(host.TGetNextGrid(&pcb, &grid), DBX_NO_MORE_ITEMS);
}

TEST_F(HostDbxTest, ThePcbHeaderCarriesTheBoxAroundTheBoardOutline) {
  TDesign header;
  ASSERT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_OK);
  EXPECT_EQ(header.boardExtents, TRect{});  // no outline known
  // An L-shaped board partly left of and below the origin.
  host.withDesign([](Design& d) {
    d.pcb.header.workspace = {{-9000000, -9000000}, {9000000, 9000000}};
    d.pcb.boardOutline = {{-200000, -300000}, {4000000, -300000}, {4000000, 1000000},
                          {1500000, 1000000}, {1500000, 2500000}, {-200000, 2500000}};
  });
  ASSERT_EQ(host.TGetDesignInfo(&pcb, &header), DBX_OK);
  EXPECT_EQ(header.boardExtents, (TRect{{-200000, -300000}, {4000000, 2500000}}));
  EXPECT_EQ(header.workspaceExtents, (TRect{{-9000000, -9000000}, {9000000, 9000000}}));
  // The schematic has no board.
  ASSERT_EQ(host.TGetDesignInfo(&sch, &header), DBX_OK);
  EXPECT_EQ(header.boardExtents, TRect{});
}

TEST_F(HostDbxTest, EditsRaiseTheRevision) {
  const uint64_t start = host.revision();
  TComponent r1 = pcbComponent("R1");
  EXPECT_EQ(host.revision(), start);
  ASSERT_EQ(host.TMoveComponent(&pcb, 0, 0, &r1), DBX_OK);
  EXPECT_GT(host.revision(), start);
}

TEST_F(HostDbxTest, ReplacingTheDesignEndsConversationsAndKeepsHooks) {
  TComponent c;
  ASSERT_EQ(host.TGetFirstComponent(&pcb, &c), DBX_OK);
  host.setBusy(kToolSch, true);
  const uint64_t before = host.revision();
  Design other = smallDesign();
  other.pcb.components.resize(1);
  EXPECT_GT(host.replaceDesign(other), before);
  EXPECT_EQ(host.readDesign([](const Design& d) { return d.pcb.components.size(); }), 1u);

  // Both tools are free at once; each former client hears once that its
  // conversation ended, then that it has none.
  EXPECT_FALSE(host.isHeld(kToolPcb));
  EXPECT_FALSE(host.isHeld(kToolSch));
  EXPECT_EQ(host.TGetNextComponent(&pcb, &c), DBX_SERVER_TERMINATED);
  EXPECT_EQ(host.TGetNextComponent(&pcb, &c), DBX_NO_CONNECTION);
  EXPECT_EQ(host.TCloseDesign(&sch, ""), DBX_SERVER_TERMINATED);
  EXPECT_EQ(host.TCloseDesign(&sch, ""), DBX_NO_CONNECTION);

  TConversation again;
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &again), DBX_OK);
  EXPECT_EQ(host.TGetNextComponent(&again, &c), DBX_GETFIRST_NOT_CALLED);
  EXPECT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &again), DBX_SERVER_BUSY);
  // An unknown handle is still merely unknown.
  TConversation stranger{9999, kToolPcb};
  EXPECT_EQ(host.TCloseDesign(&stranger, ""), DBX_NO_CONNECTION);
}

// Lookups by designator and id follow the design wherever its parts change
// place: another design, parts added or removed behind the engine's back,
// undo and redo of a client's edits.
TEST_F(HostDbxTest, LookupsFollowTheDesignWhenItIsReplaced) {
  ASSERT_EQ(pcbComponent("R1").compId, 1);
  TComponent c;
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "R1", &c), DBX_OK);
  Design other = smallDesign();
  // The same parts in another order, one renamed and one gone.
  std::swap(other.pcb.components[0], other.pcb.components[3]);
  other.pcb.components[1].refDes = "U2";
  other.pcb.components.pop_back();
  std::swap(other.sch.components[0], other.sch.components[2]);
  for (Symbol& s : other.sch.symbols) s.component = 2 - s.component;
  host.replaceDesign(other);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);

  EXPECT_EQ(host.TGetCompByRefDes(&pcb, "R1", &c), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.TGetCompByRefDes(&pcb, "U1", &c), DBX_COMPONENT_NOT_FOUND);
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "U2", &c), DBX_OK);
  EXPECT_EQ(c.compId, 2);
  EXPECT_EQ(pads("U2").size(), 2u);
  EXPECT_EQ(pads("PWR1").size(), 2u);
  TComponent ghost;
  ghost.compId = 1;  // R1, gone
  EXPECT_EQ(host.TMoveComponent(&pcb, 1, 1, &ghost), DBX_COMPONENT_NOT_FOUND);
  TComponent power = pcbComponent("PWR1");
  ASSERT_EQ(host.TMoveComponent(&pcb, 10, 0, &power), DBX_OK);
  host.readDesign([](const Design& d) {
    EXPECT_EQ(d.pcb.components[0].refDes, "PWR1");
    EXPECT_EQ(d.pcb.components[0].placement.refPoint.x, 1000010);
  });

  // A schematic component takes its position from its own first symbol.
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "U1", &c), DBX_OK);
  EXPECT_EQ(c.refPoint, (TPoint{300, 300}));
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "R1", &c), DBX_OK);
  EXPECT_EQ(c.refPoint, (TPoint{100, 200}));
  EXPECT_EQ(c.compId, 1);
  TPin pin;
  ASSERT_EQ(host.TGetFirstCompPin(&sch, "GND1", &pin), DBX_OK);
  EXPECT_EQ(getText(pin.compPin.pinDes), "1");
  EXPECT_EQ(pin.netId, 1);
}

TEST_F(HostDbxTest, LookupsFollowPartsAddedOrRemovedThroughTheDesign) {
  TComponent c;
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "J1", &c), DBX_OK);
  host.withDesign([](Design& d) {
    d.pcb.components.erase(d.pcb.components.begin());  // R1
    PcbComponent added = d.pcb.components.back();
    added.id = 9;
    added.refDes = "R9";
    d.pcb.components.insert(d.pcb.components.begin(), added);
    d.sch.symbols.erase(d.sch.symbols.begin() + 1);  // U1:A
  });
  EXPECT_EQ(host.TGetCompByRefDes(&pcb, "R1", &c), DBX_COMPONENT_NOT_FOUND);
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R9", &c), DBX_OK);
  EXPECT_EQ(c.compId, 9);
  TComponent j1 = pcbComponent("J1");
  EXPECT_EQ(j1.compId, 3);
  TComponent u1 = pcbComponent("U1");
  ASSERT_EQ(host.TMoveComponent(&pcb, 7, 0, &u1), DBX_OK);
  host.readDesign([](const Design& d) {
    EXPECT_EQ(d.pcb.components[1].refDes, "U1");
    EXPECT_EQ(d.pcb.components[1].placement.refPoint.x, 3000007);
  });

  // U1 now starts with its symbol U1:B, on sheet 2 and highlighted.
  TSymbol symbol;
  EXPECT_EQ(host.TGetSymbolByRefDes(&sch, "U1:A", &symbol), DBX_COMPONENT_NOT_FOUND);
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "U1", &c), DBX_OK);
  EXPECT_EQ(c.isHighlighted, DBX_COLOR_RED);
  TComponent part;
  part.compId = 2;  // U1:A, gone
  EXPECT_EQ(host.THighlightItem(&sch, DBX_COLOR_BLUE, &part), DBX_COMPONENT_NOT_FOUND);
  part.compId = 4;  // GND1, now third in the list
  ASSERT_EQ(host.THighlightItem(&sch, DBX_COLOR_BLUE, &part), DBX_OK);
  ASSERT_EQ(host.TGetSymbolByRefDes(&sch, "GND1", &symbol), DBX_OK);
  EXPECT_EQ(symbol.isHighlighted, DBX_COLOR_BLUE);
}

TEST_F(HostDbxTest, TheFirstOfPartsSharingADesignatorOrIdIsFound) {
  host.withDesign([](Design& d) {
    PcbComponent twin = d.pcb.components[0];  // R1, id 1
    twin.refDes = "U1";
    twin.placement.refPoint = {5, 5};
    d.pcb.components.push_back(twin);
    Symbol second = d.sch.symbols[0];
    second.refDes = "U1:A";
    second.refPoint = {7, 7};
    d.sch.symbols.push_back(second);
  });
  EXPECT_EQ(pcbComponent("U1").compId, 2);
  TComponent one;
  one.compId = 1;
  ASSERT_EQ(host.TMoveComponent(&pcb, 1, 0, &one), DBX_OK);
  EXPECT_EQ(getText(one.refDes), "R1");
  TSymbol symbol;
  ASSERT_EQ(host.TGetSymbolByRefDes(&sch, "U1:A", &symbol), DBX_OK);
  EXPECT_EQ(symbol.refPoint, (TPoint{300, 300}));
}

TEST_F(HostDbxTest, LookupsStayRightThroughUndoAndRedo) {
  TComponent u1 = pcbComponent("U1");
  ASSERT_EQ(host.TMoveComponent(&pcb, 100, 0, &u1), DBX_OK);
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  ASSERT_EQ(host.TCloseDesign(&sch, ""), DBX_OK);
  // A part removed since the edit is skipped by the undo, and the others are
  // still found where they are now.
  host.withDesign([](Design& d) { d.pcb.components.erase(d.pcb.components.begin()); });
  ASSERT_EQ(host.undoClientEdits().outcome, HostDbx::HistoryStep::Outcome::kDone);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  EXPECT_EQ(pcbComponent("U1").refPoint.x, 3000000);
  TComponent c;
  EXPECT_EQ(host.TGetCompByRefDes(&pcb, "R1", &c), DBX_COMPONENT_NOT_FOUND);
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  ASSERT_EQ(host.redoClientEdits().outcome, HostDbx::HistoryStep::Outcome::kDone);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  u1 = pcbComponent("U1");
  EXPECT_EQ(u1.refPoint.x, 3000100);
  ASSERT_EQ(host.TMoveComponent(&pcb, -100, 0, &u1), DBX_OK);
  EXPECT_EQ(pcbComponent("U1").refPoint.x, 3000000);
  EXPECT_EQ(pcbComponent("PWR1").compId, 4);
}

// Copper items and component texts.

using records::line;
using records::polygon;

class HostDbxCopperTest : public HostDbxTest {
 protected:
  std::vector<TItem> walk() {
    std::vector<TItem> out;
    auto item = std::make_unique<TItem>();
    for (int32_t s = host.TGetFirstPcbItem(&pcb, item.get()); s == DBX_OK;
         s = host.TGetNextPcbItem(&pcb, item.get())) {
      out.push_back(*item);
    }
    return out;
  }
  std::vector<TAttribute> attributes(const char* refDes) {
    std::vector<TAttribute> out;
    TAttribute a;
    for (int32_t s = host.TGetFirstCompAttribute(&pcb, refDes, &a); s == DBX_OK;
         s = host.TGetNextCompAttribute(&pcb, &a)) {
      out.push_back(a);
    }
    return out;
  }
};

TEST_F(HostDbxCopperTest, PlacedItemsAreWalkedByTypeWithFreshIdsAndTheirGroup) {
  EXPECT_TRUE(walk().empty());
  TLine l = line(1, 25000, {0, 0}, {100000, 0}, 2, "Copy 2");
  ASSERT_EQ(host.TPlaceLine(&pcb, &l), DBX_OK);
  EXPECT_GT(l.lineId, 0);
  EXPECT_EQ(l.isCreatedByClient, 1);
  TArc a;
  a.layerId = 2;
  a.width = 20000;
  a.startPt = {0, 0};
  a.midPt = {50000, 50000};
  a.endPt = {100000, 0};
  a.netId = 3;
  ASSERT_EQ(host.TPlaceArc(&pcb, &a), DBX_OK);
  TVia v;
  v.location = {5000, 5000};
  v.diameter = 60000;
  v.drill = 30000;
  v.startLayerId = 1;
  v.endLayerId = 2;
  v.netId = 1;
  setText(v.groupName, "Copy 2");
  ASSERT_EQ(host.TPlaceVia(&pcb, &v), DBX_OK);
  TPolygon z = polygon(2, 1, {{0, 0}, {100000, 0}, {100000, 100000}});
  z.priority = 3;
  ASSERT_EQ(host.TPlacePolygon(&pcb, &z), DBX_OK);
  const std::set<int32_t> ids{l.lineId, a.arcId, v.viaId, z.polygonId};
  EXPECT_EQ(ids.size(), 4u);

  // Vias first placed come after lines and arcs: the walk is by type.
  TLine second = line(2, 10000, {1, 2}, {3, 4}, 0);
  ASSERT_EQ(host.TPlaceLine(&pcb, &second), DBX_OK);
  const std::vector<TItem> items = walk();
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].itemType, DBX_LINE);
  EXPECT_EQ(items[0].line.lineId, l.lineId);
  EXPECT_EQ(items[0].line.width, 25000);
  EXPECT_EQ(items[0].line.endPt, (TPoint{100000, 0}));
  EXPECT_EQ(getText(items[0].line.groupName), "Copy 2");
  EXPECT_EQ(items[1].line.lineId, second.lineId);
  EXPECT_EQ(items[1].line.netId, 0);
  EXPECT_EQ(items[2].itemType, DBX_ARC);
  EXPECT_EQ(items[2].arc.midPt, (TPoint{50000, 50000}));
  EXPECT_EQ(items[2].arc.netId, 3);
  EXPECT_EQ(items[3].itemType, DBX_VIA);
  EXPECT_EQ(items[3].via.drill, 30000);
  EXPECT_EQ(items[3].via.endLayerId, 2);
  EXPECT_EQ(items[4].itemType, DBX_POLYGON);
  EXPECT_EQ(items[4].polygon.numberPoints, 3);
  EXPECT_EQ(items[4].polygon.points[2], (TPoint{100000, 100000}));
  EXPECT_EQ(items[4].polygon.priority, 3);
  EXPECT_EQ(items[4].polygon.isCreatedByClient, 1);

  // The walk needs its first call and belongs to the PCB.
  TConversation other;
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &other), DBX_OK);
  TItem item;
  EXPECT_EQ(host.TGetNextPcbItem(&other, &item), DBX_GETFIRST_NOT_CALLED);
  EXPECT_EQ(host.TGetFirstPcbItem(&sch, &item), DBX_ILLEGAL_OP);
}

// A client copying a zone on two layers gets it served once per layer and
// places it back the same way: one zone again, under one id.
TEST_F(HostDbxCopperTest, AZonePlacedBackLayerAfterLayerIsOneZoneAgain) {
  auto zones = [&] { return host.readDesign([](const Design& d) { return d.pcb.zones; }); };
  const std::vector<TPoint> outline{{0, 0}, {100000, 0}, {100000, 100000}};
  TPolygon back = polygon(2, 1, outline, "Tandrel G2");
  TPolygon front = polygon(1, 1, outline, "Tandrel G2");
  ASSERT_EQ(host.TPlacePolygon(&pcb, &back), DBX_OK);
  ASSERT_EQ(host.TPlacePolygon(&pcb, &front), DBX_OK);
  EXPECT_EQ(front.polygonId, back.polygonId);
  ASSERT_EQ(zones().size(), 1u);
  EXPECT_EQ(zones()[0].layerIds, (std::vector<int32_t>{1, 2}));  // in the board's order
  const std::vector<TItem> served = walk();
  ASSERT_EQ(served.size(), 2u);
  EXPECT_EQ(served[0].polygon.polygonId, served[1].polygon.polygonId);

  // A layer it has already, another outline, or an edit in between: a zone
  // of its own.
  TPolygon again = back;
  ASSERT_EQ(host.TPlacePolygon(&pcb, &again), DBX_OK);
  EXPECT_NE(again.polygonId, back.polygonId);
  TPolygon other = polygon(1, 1, {{0, 0}, {50000, 0}, {50000, 50000}}, "Tandrel G2");
  ASSERT_EQ(host.TPlacePolygon(&pcb, &other), DBX_OK);
  EXPECT_NE(other.polygonId, again.polygonId);
  TLine l = line(1, 100, {0, 0}, {1, 1}, 1);
  ASSERT_EQ(host.TPlaceLine(&pcb, &l), DBX_OK);
  TPolygon late = polygon(2, 1, {{0, 0}, {50000, 0}, {50000, 50000}}, "Tandrel G2");
  ASSERT_EQ(host.TPlacePolygon(&pcb, &late), DBX_OK);
  EXPECT_NE(late.polygonId, other.polygonId);
  EXPECT_EQ(zones().size(), 4u);

  // One deletion takes the joined zone, both layers.
  TItem item;
  item.itemType = DBX_POLYGON;
  item.polygon.polygonId = back.polygonId;
  EXPECT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  EXPECT_EQ(host.TDeleteItem(&pcb, &item), DBX_ITEM_NOT_FOUND);
  EXPECT_EQ(zones().size(), 3u);

  // Undoing the conversation leaves no zone, the joined one included.
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  ASSERT_EQ(host.TCloseDesign(&sch, ""), DBX_OK);
  EXPECT_EQ(host.undoClientEdits().outcome, HostDbx::HistoryStep::Outcome::kDone);
  EXPECT_TRUE(zones().empty());
  EXPECT_EQ(host.redoClientEdits().outcome, HostDbx::HistoryStep::Outcome::kDone);
  EXPECT_EQ(zones().size(), 3u);
}

// An item read from a file is its own source of attributes; a copy names
// its original's and is served with it, a copy of a copy too, so that the
// host writes each with the attributes of the item read. A source that no
// item of the record's kind carries places nothing.
TEST_F(HostDbxCopperTest, ACopyCarriesTheSourceOfTheItemItRepeats) {
  host.withDesign([](Design& d) {
    d.pcb.tracks.push_back({{7, 1, "", false, false, 7}, 1, 100, {0, 0}, {10, 0}});
    d.pcb.zones.push_back(
        {{8, 1, "", false, false, 8}, {1, 2}, 0, false, {{0, 0}, {9, 0}, {9, 9}}});
  });
  std::vector<TItem> served = walk();
  ASSERT_EQ(served.size(), 3u);
  EXPECT_EQ(served[0].line.sourceItemId, 7);
  EXPECT_EQ(served[1].polygon.sourceItemId, 8);

  TLine copy = served[0].line;
  copy.startPt = {0, 50};
  copy.endPt = {10, 50};
  ASSERT_EQ(host.TPlaceLine(&pcb, &copy), DBX_OK);
  EXPECT_EQ(copy.sourceItemId, 7);
  TLine copyOfCopy = copy;
  ASSERT_EQ(host.TPlaceLine(&pcb, &copyOfCopy), DBX_OK);
  // Both layers of a copied zone make one zone with the source.
  TPolygon front = served[1].polygon, back = served[2].polygon;
  ASSERT_EQ(host.TPlacePolygon(&pcb, &front), DBX_OK);
  ASSERT_EQ(host.TPlacePolygon(&pcb, &back), DBX_OK);
  EXPECT_EQ(front.polygonId, back.polygonId);
  served = walk();
  ASSERT_EQ(served.size(), 7u);
  EXPECT_EQ(served[2].line.lineId, copyOfCopy.lineId);
  EXPECT_EQ(served[2].line.sourceItemId, 7);
  EXPECT_EQ(served[5].polygon.sourceItemId, 8);
  EXPECT_EQ(served[6].polygon.polygonId, front.polygonId);

  // Deleting the item read leaves its copies the source.
  TItem item;
  item.itemType = DBX_LINE;
  item.line.lineId = 7;
  ASSERT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  TLine later = copy;
  EXPECT_EQ(host.TPlaceLine(&pcb, &later), DBX_OK);

  // A source no item of that kind carries: a zone's for a line, an unknown.
  const std::size_t before = walk().size();
  TLine wrongKind = copy;
  wrongKind.sourceItemId = 8;
  EXPECT_EQ(host.TPlaceLine(&pcb, &wrongKind), DBX_ITEM_NOT_FOUND);
  TPolygon unknown = front;
  unknown.sourceItemId = 99;
  EXPECT_EQ(host.TPlacePolygon(&pcb, &unknown), DBX_ITEM_NOT_FOUND);
  EXPECT_EQ(walk().size(), before);
  // No source: the host's own item.
  TLine own = line(1, 100, {0, 0}, {1, 1}, 1);
  ASSERT_EQ(host.TPlaceLine(&pcb, &own), DBX_OK);
  EXPECT_EQ(own.sourceItemId, 0);
}

TEST_F(HostDbxCopperTest, BadRecordsArePlacedNowhere) {
  host.withDesign([](Design& d) { d.pcb.header.workspace = {{0, 0}, {1000000, 1000000}}; });
  TLine l = line(3, 25000, {0, 0}, {1, 1}, 1);
  EXPECT_EQ(host.TPlaceLine(&pcb, &l), DBX_INVALID_LAYER);
  l = line(1, 0, {0, 0}, {1, 1}, 1);
  EXPECT_EQ(host.TPlaceLine(&pcb, &l), DBX_INVALID_WIDTH);
  l = line(1, 100, {0, 0}, {1, 1}, 99);
  EXPECT_EQ(host.TPlaceLine(&pcb, &l), DBX_INVALID_NET_ID);
  l = line(1, 100, {0, 0}, {2000000, 1}, 1);
  EXPECT_EQ(host.TPlaceLine(&pcb, &l), DBX_ITEM_OUTSIDE_WORKSPACE);
  l = line(1, 100, {0, 0}, {1, 1}, 1);
  EXPECT_EQ(host.TPlaceLine(&sch, &l), DBX_ILLEGAL_OP);
  EXPECT_EQ(host.TPlaceLine(&pcb, nullptr), DBX_BAD_INPUT);

  TArc straight;
  straight.layerId = 1;
  straight.width = 100;
  straight.startPt = {0, 0};
  straight.midPt = {5, 5};
  straight.endPt = {10, 10};
  EXPECT_EQ(host.TPlaceArc(&pcb, &straight), DBX_CREATE_ERROR);

  TVia v;
  v.location = {10, 10};
  v.diameter = 100;
  v.drill = 100;
  v.startLayerId = 1;
  v.endLayerId = 2;
  EXPECT_EQ(host.TPlaceVia(&pcb, &v), DBX_INVALID_WIDTH);
  v.drill = 50;
  v.endLayerId = 1;
  EXPECT_EQ(host.TPlaceVia(&pcb, &v), DBX_INVALID_LAYER);
  v.endLayerId = 2;
  v.viaType = 3;
  EXPECT_EQ(host.TPlaceVia(&pcb, &v), DBX_BAD_INPUT);

  TPolygon z = polygon(1, 1, {{0, 0}, {10, 0}});
  EXPECT_EQ(host.TPlacePolygon(&pcb, &z), DBX_CREATE_ERROR);
  z = polygon(1, 1, {{0, 0}, {10, 0}, {10, 10}});
  z.numberPoints = kMaxPolygonPoints + 1;
  EXPECT_EQ(host.TPlacePolygon(&pcb, &z), DBX_ARRAY_TOO_SMALL);
  z.numberPoints = -1;
  EXPECT_EQ(host.TPlacePolygon(&pcb, &z), DBX_ARRAY_TOO_SMALL);
  z.numberPoints = 3;
  z.isKeepout = 1;
  EXPECT_EQ(host.TPlacePolygon(&pcb, &z), DBX_INVALID_NET_ID);

  EXPECT_TRUE(walk().empty());
  Design expected = smallDesign();
  expected.pcb.header.workspace = {{0, 0}, {1000000, 1000000}};
  EXPECT_EQ(host.readDesign([](const Design& d) { return d.pcb; }), expected.pcb);
}

TEST_F(HostDbxCopperTest, DeletesRemoveOneItemOfTheNamedTypeAndKeepLockedOnes) {
  TLine l = line(1, 100, {0, 0}, {1, 1}, 1);
  ASSERT_EQ(host.TPlaceLine(&pcb, &l), DBX_OK);
  TLine locked = line(1, 100, {5, 5}, {6, 6}, 1);
  ASSERT_EQ(host.TPlaceLine(&pcb, &locked), DBX_OK);
  host.withDesign([&](Design& d) { d.pcb.tracks.back().info.fixed = true; });

  TItem item;
  item.itemType = DBX_VIA;
  item.via.viaId = l.lineId;
  EXPECT_EQ(host.TDeleteItem(&pcb, &item), DBX_ITEM_NOT_FOUND);
  item.itemType = DBX_COMPONENT;
  EXPECT_EQ(host.TDeleteItem(&pcb, &item), DBX_INVALID_ITEM_TYPE);
  item.itemType = DBX_LINE;
  item.line.lineId = locked.lineId;
  EXPECT_EQ(host.TDeleteItem(&pcb, &item), DBX_DELETE_ERROR);
  item.line.lineId = l.lineId;
  const uint64_t before = host.revision();
  ASSERT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  EXPECT_GT(host.revision(), before);
  EXPECT_EQ(host.TDeleteItem(&pcb, &item), DBX_ITEM_NOT_FOUND);
  ASSERT_EQ(walk().size(), 1u);

  // A deleted item's id is not given again: a client may still hold it.
  TLine again = line(1, 100, {0, 0}, {1, 1}, 1);
  ASSERT_EQ(host.TPlaceLine(&pcb, &again), DBX_OK);
  EXPECT_GT(again.lineId, locked.lineId);
}

// A client taking back its deletions places the items' records again: they
// come back under their own ids, so that a saved board names them as before.
TEST_F(HostDbxCopperTest, DeletedItemsPlacedAgainGetTheirOwnIdsBack) {
  TLine l = line(1, 100, {0, 0}, {1, 1}, 1, "Board");
  ASSERT_EQ(host.TPlaceLine(&pcb, &l), DBX_OK);
  host.withDesign([&](Design& d) { d.pcb.tracks.back().info.createdByClient = false; });
  const std::vector<TPoint> outline{{0, 0}, {100000, 0}, {100000, 100000}};
  TPolygon front = polygon(1, 1, outline);
  TPolygon back = polygon(2, 1, outline);
  ASSERT_EQ(host.TPlacePolygon(&pcb, &front), DBX_OK);
  ASSERT_EQ(host.TPlacePolygon(&pcb, &back), DBX_OK);
  const std::vector<TItem> before = walk();
  ASSERT_EQ(before.size(), 3u);
  for (const TItem& served : {before[0], before[1]}) {
    TItem item = served;
    ASSERT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  }
  EXPECT_TRUE(walk().empty());

  // The records as they were served, in their order.
  for (const TItem& served : before) {
    TItem item = served;
    if (item.itemType == DBX_LINE) {
      ASSERT_EQ(host.TPlaceLine(&pcb, &item.line), DBX_OK);
    } else {
      ASSERT_EQ(host.TPlacePolygon(&pcb, &item.polygon), DBX_OK);
    }
  }
  const std::vector<TItem> after = walk();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0].line.lineId, l.lineId);
  EXPECT_EQ(after[0].line.isCreatedByClient, 0);  // it is the board's own again
  EXPECT_EQ(getText(after[0].line.groupName), "Board");
  EXPECT_EQ(after[1].polygon.polygonId, front.polygonId);
  EXPECT_EQ(after[2].polygon.polygonId, front.polygonId);

  // An id held by an item, or one never deleted, is not given: a fresh one
  // is.
  TLine twice = before[0].line;
  ASSERT_EQ(host.TPlaceLine(&pcb, &twice), DBX_OK);
  EXPECT_GT(twice.lineId, front.polygonId);
  TLine unknown = line(1, 100, {0, 0}, {1, 1}, 1);
  unknown.lineId = twice.lineId + 50;
  ASSERT_EQ(host.TPlaceLine(&pcb, &unknown), DBX_OK);
  EXPECT_EQ(unknown.lineId, twice.lineId + 1);
  EXPECT_EQ(unknown.isCreatedByClient, 1);
}

TEST_F(HostDbxCopperTest, ZonesAreServedOncePerLayerAndLongOutlinesInTheirTurn) {
  host.withDesign([](Design& d) {
    Zone both;
    both.info.id = 40;
    both.info.netId = 1;
    both.layerIds = {1, 2};
    both.outline = {{0, 0}, {10, 0}, {10, 10}};
    Zone huge;
    huge.info.id = 41;
    huge.layerIds = {1};
    huge.keepout = true;
    for (int i = 0; i <= kMaxPolygonPoints; ++i) huge.outline.push_back({i, i % 2});
    Zone last = both;
    last.info.id = 42;
    last.layerIds = {2};
    d.pcb.zones = {both, huge, last};
  });
  auto item = std::make_unique<TItem>();
  ASSERT_EQ(host.TGetFirstPcbItem(&pcb, item.get()), DBX_OK);
  EXPECT_EQ(item->polygon.polygonId, 40);
  EXPECT_EQ(item->polygon.layerId, 1);
  ASSERT_EQ(host.TGetNextPcbItem(&pcb, item.get()), DBX_OK);
  EXPECT_EQ(item->polygon.polygonId, 40);
  EXPECT_EQ(item->polygon.layerId, 2);
  EXPECT_EQ(host.TGetNextPcbItem(&pcb, item.get()), DBX_ARRAY_TOO_SMALL);
  ASSERT_EQ(host.TGetNextPcbItem(&pcb, item.get()), DBX_OK);
  EXPECT_EQ(item->polygon.polygonId, 42);
  EXPECT_EQ(host.TGetNextPcbItem(&pcb, item.get()), DBX_NO_MORE_ITEMS);

  // New ids lie above those read.
  TLine l = line(1, 100, {0, 0}, {1, 1}, 1);
  ASSERT_EQ(host.TPlaceLine(&pcb, &l), DBX_OK);
  EXPECT_EQ(l.lineId, 43);
}

TEST_F(HostDbxCopperTest, LayersOfThePcbAreSignalOrNonSignal) {
  auto layers = [&] {
    std::vector<TLayer> out;
    TLayer layer;
    for (int32_t s = host.TGetFirstLayer(&pcb, &layer); s == DBX_OK;
         s = host.TGetNextLayer(&pcb, &layer))
      out.push_back(layer);
    return out;
  };
  std::vector<TLayer> served = layers();
  ASSERT_EQ(served.size(), 2u);
  EXPECT_EQ(getText(served[1].layerName), "Bottom");
  EXPECT_EQ(served[1].layerType, kLayerTypeSignal);
  host.withDesign([](Design& d) {
    d.pcb.layers = {{1, "F.Cu", true},
                    {2, "In1.Cu", true},
                    {3, "B.Cu", true},
                    {4, "F.SilkS", false},
                    {5, "B.SilkS", false}};
  });
  served = layers();
  ASSERT_EQ(served.size(), 5u);
  EXPECT_EQ(getText(served[2].layerName), "B.Cu");
  EXPECT_EQ(served[3].layerType, kLayerTypeNonSignal);
  // A flipped component's pads lie on the last copper layer.
  EXPECT_EQ(pads("U1")[0].layerId, 3);
  TLine onSilk = line(4, 100, {0, 0}, {1, 1}, 1);
  EXPECT_EQ(host.TPlaceLine(&pcb, &onSilk), DBX_INVALID_LAYER);
}

TEST_F(HostDbxCopperTest, OnlyDrawingsOnNoNetLieOnTheOtherLayers) {
  host.withDesign([](Design& d) {
    d.pcb.layers = {{1, "F.Cu", true}, {2, "B.Cu", true}, {3, "F.SilkS", false}};
    ItemInfo drawing;
    drawing.id = drawing.sourceId = 7;
    ItemInfo copper;
    copper.id = copper.sourceId = 8;
    copper.netId = 1;
    d.pcb.tracks = {{drawing, 3, 1000, {0, 0}, {100, 0}}, {copper, 1, 1000, {0, 0}, {100, 0}}};
  });
  auto onSilk = [](int32_t netId, int32_t sourceId) {
    TLine l = line(3, 1000, {0, 100}, {100, 100}, netId, "Tandrel G2");
    l.sourceItemId = sourceId;
    return l;
  };
  TLine copy = onSilk(0, 7);
  ASSERT_EQ(host.TPlaceLine(&pcb, &copy), DBX_OK);
  EXPECT_GT(copy.lineId, 8);
  TLine own = onSilk(0, 0);  // a drawing of the client's own
  ASSERT_EQ(host.TPlaceLine(&pcb, &own), DBX_OK);
  // Nothing on a net, and no copy of copper, lies on the silkscreen.
  for (TLine refused : {onSilk(1, 7), onSilk(1, 0), onSilk(0, 8)}) {
    EXPECT_EQ(host.TPlaceLine(&pcb, &refused), DBX_INVALID_LAYER)
        << refused.netId << " " << refused.sourceItemId;
  }
  // Deleted, the drawing comes back with its id, though nothing else names
  // it as source any more.
  TItem item;
  item.itemType = DBX_LINE;
  item.line.lineId = copy.lineId;
  ASSERT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  item.line.lineId = own.lineId;
  ASSERT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  item.line.lineId = 7;
  ASSERT_EQ(host.TDeleteItem(&pcb, &item), DBX_OK);
  TLine back = onSilk(0, 7);
  back.lineId = 7;
  ASSERT_EQ(host.TPlaceLine(&pcb, &back), DBX_OK);
  EXPECT_EQ(back.lineId, 7);
  const std::vector<TItem> items = walk();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items.back().line.lineId, 7);
  EXPECT_EQ(items.back().line.layerId, 3);
}

TEST_F(HostDbxCopperTest, TextsFollowTheirComponentAndTakeWhatIsSet) {
  host.withDesign([](Design& d) {
    d.pcb.layers = {
        {1, "F.Cu", true}, {2, "B.Cu", true}, {3, "F.SilkS", false}, {4, "B.SilkS", false}};
  });
  // Without texts of its own a component shows its reference at its origin.
  std::vector<TAttribute> r1 = attributes("R1");
  ASSERT_EQ(r1.size(), 2u);
  EXPECT_EQ(r1[0].attrType, kAttrRefDes);
  EXPECT_EQ(r1[0].refPoint, (TPoint{1000000, 2000000}));
  EXPECT_EQ(r1[0].isVisible, 1);
  EXPECT_EQ(r1[1].attrType, kAttrValue);
  EXPECT_EQ(r1[1].isVisible, 0);

  TAttribute ref = r1[0];
  ref.refPoint = {1000000, 2100000};
  ref.rotationAng = -900;
  ref.layerId = 3;
  ASSERT_EQ(host.TModifyCompAttribute(&pcb, "R1", &ref), DBX_OK);
  EXPECT_EQ(ref.rotationAng, 2700);
  host.withDesign([](Design& d) { d.pcb.components[0].texts[0].layerId = 3; });

  TComponent c = pcbComponent("R1");
  ASSERT_EQ(host.TMoveComponent(&pcb, 500, 0, &c), DBX_OK);
  ASSERT_EQ(host.TRotateComponent(&pcb, 900, c.refPoint, &c), DBX_OK);
  TAttribute moved = attributes("R1")[0];
  EXPECT_EQ(moved.refPoint, (TPoint{1000500 - 100000, 2000000}));
  EXPECT_EQ(moved.rotationAng, 0);
  ASSERT_EQ(host.TFlipComponent(&pcb, c.refPoint, &c), DBX_OK);
  TAttribute flippedRef = attributes("R1")[0];
  EXPECT_EQ(flippedRef.refPoint, (TPoint{1000500 + 100000, 2000000}));
  EXPECT_EQ(flippedRef.rotationAng, 1800);
  EXPECT_EQ(flippedRef.isFlipped, 1);
  EXPECT_EQ(flippedRef.layerId, 4);
  // Setting the side back takes the text to the top silk screen.
  flippedRef.isFlipped = 0;
  ASSERT_EQ(host.TModifyCompAttribute(&pcb, "R1", &flippedRef), DBX_OK);
  EXPECT_EQ(flippedRef.layerId, 3);

  TAttribute bad = flippedRef;
  bad.attrType = 7;
  EXPECT_EQ(host.TModifyCompAttribute(&pcb, "R1", &bad), DBX_INVALID_ITEM_TYPE);
  bad = flippedRef;
  bad.rotationAng = 3601;
  EXPECT_EQ(host.TModifyCompAttribute(&pcb, "R1", &bad), DBX_INVALID_ANGLE);
  EXPECT_EQ(host.TModifyCompAttribute(&pcb, "J1", &bad), DBX_INVALID_ANGLE);
  bad = flippedRef;
  EXPECT_EQ(host.TModifyCompAttribute(&pcb, "J1", &bad), DBX_MODIFY_ERROR);
  EXPECT_EQ(host.TModifyCompAttribute(&pcb, "Q9", &bad), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.TGetFirstCompAttribute(&pcb, "Q9", &bad), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.TGetFirstCompAttribute(&sch, "R1", &bad), DBX_ILLEGAL_OP);
  EXPECT_EQ(attributes("R1")[0].layerId, 3);
}

}  // namespace
}  // namespace dbxhost
