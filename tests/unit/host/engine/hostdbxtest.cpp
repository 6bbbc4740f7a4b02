#include "engine/hostdbx.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace dbxhost
