#include "dbx/design.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

#include "detailof.h"
#include "diag/actioncancelled.h"
#include "scripteddbx.h"
#include "scriptedprogress.h"
#include "scriptedui.h"

namespace {

using namespace testing_dbx;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing_diag::ScriptedProgress;
using testing_diag::ScriptedUi;

constexpr const char* kBusyText =
    "PCAD tool is currently connected to another application.\nTerminate connection and press a "
    "key";

// A PCB with two connected resistors, C1 on no net and a power symbol.
class DesignTest : public ::testing::Test {
 protected:
  DesignTest() {
    dbx.header.isGridAbsolute = 1;
    dbx.header.absGridId = 2;
    dbx.grids = {grid(1, "0.635mm"), grid(2, "1.27mm")};
    dbx.components = {component("R1"), component("R2"), component("C1"),
                      component("GND1", DBX_COMPONENT_CONNECTION_POWER)};
    dbx.pads["R1"] = {pad("1", 10, 100, 200), pad("2", 11, 300, 200)};
    dbx.pads["R2"] = {pad("1", 11, 500, 200), pad("2", 10, 700, 200)};
    dbx.pads["C1"] = {pad("1", 0)};
    dbx.nets = {net(10, "IN", 2), net(11, "OUT", 2)};
  }

  Component& pcb(const char* refDes) { return *design.pack(kToolPcb).components().left.at(refDes); }

  ScriptedUi ui;
  ScriptedDbx dbx;
  Design design{dbx};
};

// ---- conversation ----

TEST_F(DesignTest, ConnectClosesThenOpensTheNamedTool) {
  design.connect(kToolSch);
  EXPECT_EQ(design.tool(), kToolSch);
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kClose, kOpen));
  EXPECT_EQ(dbx.calls[1].text, "sch");
  design.connect(kToolPcb);
  EXPECT_EQ(dbx.calls.back().text, "pcb");
  EXPECT_EQ(design.tool(), kToolPcb);
  design.connect(kToolNone);  // only closes; the tool is kept for reconnection
  EXPECT_EQ(dbx.calls.back().ordinal, kClose);
  EXPECT_EQ(design.tool(), kToolPcb);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DesignTest, BusyHostTwiceShowsOneBoxAndLeavesTheToolUnchanged) {
  design.connect(kToolSch);
  dbx.prepare(kOpen, {DBX_SERVER_BUSY, DBX_SERVER_BUSY});
  try {
    design.connect(kToolPcb);
    FAIL() << "no exception";
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_SERVER_BUSY (32106)");
  }
  EXPECT_EQ(dbx.count(kOpen), 3);  // the first connect and two tries
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text, kBusyText);
  EXPECT_EQ(design.tool(), kToolSch);
}

TEST_F(DesignTest, BusyHostOnceIsRetriedAfterTheBox) {
  dbx.prepare(kOpen, {DBX_SERVER_BUSY});
  design.connect(kToolPcb);
  EXPECT_EQ(design.tool(), kToolPcb);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kClose, kOpen, kOpen));
}

TEST_F(DesignTest, OtherOpenFailureRaisesWithoutBox) {
  dbx.prepare(kOpen, {DBX_VERSION_INCOMPATIBLE});
  EXPECT_THROW(design.connect(kToolPcb), DBXException);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(design.tool(), kToolNone);
}

TEST_F(DesignTest, CheckResultSeparatesEndOfListFromFailure) {
  EXPECT_TRUE(design.checkResult(DBX_OK, true));
  EXPECT_TRUE(design.checkResult(DBX_OK, false));
  for (int32_t status = DBX_NO_MORE_LAYERS; status <= DBX_NO_MORE_COMPONENTS; ++status) {
    EXPECT_FALSE(design.checkResult(status, false)) << status;
    EXPECT_THROW(design.checkResult(status, true), DBXException) << status;
  }
  EXPECT_THROW(design.checkResult(32160, false), DBXException);
  EXPECT_THROW(design.checkResult(32169, false), DBXException);
  try {
    design.checkResult(DBX_NO_MORE_ITEMS, true);
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_NO_MORE_ITEMS (32163)");
    EXPECT_STREQ(error.what(), "DBX: DBX call error(DBX_NO_MORE_ITEMS (32163))");
  }
  try {
    design.checkResult(32179, false);
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "??? (32179)");
  }
  EXPECT_TRUE(dbx.calls.empty());
}

TEST_F(DesignTest, CheckCallReconnectsOnTheSixReconnectCodesOnly) {
  design.connect(kToolPcb);
  for (int32_t status : {DBX_CONNECTION_ERROR, DBX_DISCONNECT_ERROR, DBX_SERVER_ERROR,
                         DBX_CLIENT_ERROR, DBX_SERVER_TERMINATED, DBX_NO_CONNECTION}) {
    dbx.calls.clear();
    EXPECT_TRUE(design.checkCall(status)) << status;
    EXPECT_THAT(dbx.ordinals(), ElementsAre(kClose, kOpen)) << status;
    EXPECT_EQ(dbx.calls[1].text, "pcb");
  }
  dbx.calls.clear();
  EXPECT_FALSE(design.checkCall(DBX_OK));
  for (int32_t status : {DBX_BAD_SERVER_DATA, DBX_FATAL_ERROR, DBX_INVALID_CONV_HANDLE,
                         DBX_SERVER_BUSY, DBX_NO_MORE_ITEMS, DBX_COMPONENT_NOT_FOUND}) {
    EXPECT_THROW(design.checkCall(status), DBXException) << status;
  }
  EXPECT_TRUE(dbx.calls.empty());
}

TEST_F(DesignTest, FailedReconnectionRaisesFromTheOpen) {
  design.connect(kToolPcb);
  dbx.prepare(kOpen, {DBX_FATAL_ERROR});
  try {
    design.checkCall(DBX_SERVER_TERMINATED);
    FAIL() << "no exception";
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_FATAL_ERROR (32005)");
  }
}

TEST_F(DesignTest, OnlyTheOutermostLockReadsTheHeaderAndCloses) {
  design.connect(kToolPcb);
  dbx.calls.clear();
  {
    Lock outer(design, false);
    EXPECT_EQ(design.lockCount(), 1);
    EXPECT_EQ(dbx.count(kDesignInfo), 1);
    const std::size_t afterOuter = dbx.calls.size();
    {
      Lock inner(design, false);
      EXPECT_EQ(design.lockCount(), 2);
      EXPECT_EQ(dbx.calls.size(), afterOuter);  // no call at all
    }
    EXPECT_EQ(design.lockCount(), 1);
    EXPECT_EQ(dbx.count(kClose), 0);
    EXPECT_TRUE(dbx.open);
  }
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_EQ(dbx.calls.back().ordinal, kClose);
  EXPECT_FALSE(dbx.open);
  EXPECT_EQ(design.tool(), kToolPcb);
}

TEST_F(DesignTest, InnerLockWithVerifyReadsTheHeaderAndVerifies) {
  design.selectTool(kToolPcb);
  Lock outer(design, false);
  dbx.calls.clear();
  {
    Lock inner(design, true);
    EXPECT_EQ(dbx.count(kDesignInfo), 1);
    EXPECT_EQ(dbx.count(kCompByRefDes), 3);  // C1, R1, R2
  }
  EXPECT_EQ(dbx.count(kClose), 0);
}

TEST_F(DesignTest, LockWithoutToolMakesNoCallOnAcquire) {
  {
    Lock lock(design, true);
    EXPECT_TRUE(dbx.calls.empty());
    EXPECT_EQ(design.lockCount(), 1);
  }
  EXPECT_EQ(design.lockCount(), 0);
}

TEST_F(DesignTest, VerifyingLockOnClosedConversationVerifiesTwice) {
  design.selectTool(kToolPcb);
  ASSERT_FALSE(dbx.open);
  dbx.calls.clear();
  {
    Lock lock(design, true);
    EXPECT_THAT(dbx.ordinals(),
                ElementsAre(kDesignInfo, kClose, kOpen, kCompByRefDes, kCompByRefDes, kCompByRefDes,
                            kDesignInfo, kFirstGrid, kNextGrid, kCompByRefDes, kCompByRefDes,
                            kCompByRefDes));
  }
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(dbx.calls.back().ordinal, kClose);
}

TEST_F(DesignTest, FailingAcquireLeavesNoLockBehind) {
  design.selectTool(kToolPcb);
  dbx.prepare(kDesignInfo, {DBX_FATAL_ERROR});
  EXPECT_THROW(Lock(design, false), DBXException);
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_EQ(dbx.calls.back().ordinal, kClose);
  // The next outermost lock reads the header again.
  dbx.calls.clear();
  Lock lock(design, false);
  EXPECT_EQ(dbx.count(kDesignInfo), 2);  // closed conversation: reconnect and repeat
}

TEST_F(DesignTest, VerificationReportsVanishedComponentsInOneBox) {
  design.selectTool(kToolPcb);
  EXPECT_TRUE(ui.boxes.empty());
  dbx.components[0].refPoint = {5000, 6000};  // R1 moved in the host
  dbx.components[2].refDes[0] = 'X';          // C1 and R2 gone
  dbx.components[1].refDes[0] = 'X';
  const TComponent oldR2 = pcb("R2").record;
  design.connect(kToolPcb);
  design.verifyComponents();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_EQ(ui.boxes[0].text,
            "Design was modified:\nDBX_COMPONENT_NOT_FOUND (32215)\nDBX_COMPONENT_NOT_FOUND "
            "(32215)");
  EXPECT_EQ(pcb("R1").record.refPoint, (TPoint{5000, 6000}));
  EXPECT_EQ(std::memcmp(&pcb("R2").record, &oldR2, sizeof oldR2), 0);
  EXPECT_EQ(design.pack().components().left.size(), 3u);  // nothing removed
  EXPECT_EQ(ui.waitShown, 2);                             // the load and the verification
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(DesignTest, ReconnectionDuringVerificationDoesNotStartAnother) {
  design.selectTool(kToolPcb);
  design.connect(kToolPcb);
  dbx.calls.clear();
  dbx.prepare(kCompByRefDes, std::vector<int32_t>(50, DBX_SERVER_TERMINATED));
  design.verifyComponents();
  EXPECT_EQ(dbx.count(kCompByRefDes), 3);
  EXPECT_EQ(dbx.count(kOpen), 3);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DesignTest, HeaderRereadReconnectsAClosedConversation) {
  design.selectTool(kToolPcb);
  dbx.calls.clear();
  design.refreshHeader();
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kDesignInfo, kClose, kOpen, kCompByRefDes, kCompByRefDes,
                                          kCompByRefDes, kDesignInfo, kFirstGrid, kNextGrid));
}

TEST_F(DesignTest, GridStepFollowsTheCurrentGrid) {
  struct Case {
    const char* spacing;
    int32_t step;
  };
  const Case cases[] = {{"1.27mm", 127000}, {"0.000004", 1}, {"mm", 1},       {"", 1},
                        {"0.1", 10000},     {"-2", 1},       {"0.000005", 1}, {"1e300", INT32_MAX},
                        {"nan", 1},         {"2.5", 250000}};
  for (const Case& c : cases) {
    dbx.grids = {grid(2, c.spacing)};
    design.connect(kToolPcb);
    design.refreshHeader();
    EXPECT_EQ(design.pack().gridStep(), c.step) << c.spacing;
  }
}

TEST_F(DesignTest, GridStepUsesTheRelativeGridAndStopsAtTheFirstMatch) {
  dbx.header.isGridAbsolute = 0;
  dbx.header.relGridId = 7;
  dbx.grids = {grid(2, "1"), grid(7, "0.5"), grid(7, "3"), grid(9, "4")};
  design.connect(kToolPcb);
  dbx.calls.clear();
  design.refreshHeader();
  EXPECT_EQ(design.pack().gridStep(), 50000);
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kDesignInfo, kFirstGrid, kNextGrid));

  dbx.grids = {grid(3, "1")};  // no grid matches
  design.refreshHeader();
  EXPECT_EQ(design.pack().gridStep(), 1);
}

// ---- snapshot ----

TEST_F(DesignTest, PcbLoadKeepsNormalComponentsWithConnectedPads) {
  dbx.pads["R1"].push_back(pad("", 10));
  dbx.pads["R1"].push_back(pad("(unused)", 10));
  dbx.pads["R1"].push_back(pad("2", 12, 900, 900));  // overwrites the first pad 2
  design.selectTool(kToolPcb);

  EXPECT_EQ(design.loadedMask(), 1u << kToolPcb);
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_FALSE(dbx.open);
  const auto& pack = design.pack(kToolPcb);
  std::vector<std::string> refDes;
  for (const auto& [key, c] : pack.components().left) refDes.push_back(key.str());
  EXPECT_THAT(refDes, ElementsAre("C1", "R1", "R2"));
  EXPECT_EQ(pack.components().right.size(), 3u);
  EXPECT_TRUE(pcb("C1").pins.empty());
  EXPECT_EQ(pcb("R1").kind, kToolPcb);
  ASSERT_EQ(pcb("R1").pins.size(), 2u);
  EXPECT_EQ(pcb("R1").pins.at("1").netId, 10);
  EXPECT_EQ(pcb("R1").pins.at("1").x, 100);
  EXPECT_EQ(pcb("R1").pins.at("2").netId, 12);
  EXPECT_EQ(pcb("R1").pins.at("2").x, 900);

  std::vector<std::pair<int32_t, std::string>> connections;
  for (const auto& [netId, c] : pack.connections()) {
    connections.emplace_back(netId, std::string(getText(c.first->record.refDes)) + "." + c.second);
  }
  EXPECT_THAT(connections, ElementsAre(std::pair<int32_t, std::string>{10, "R1.1"},
                                       std::pair<int32_t, std::string>{10, "R2.2"},
                                       std::pair<int32_t, std::string>{11, "R2.1"},
                                       std::pair<int32_t, std::string>{12, "R1.2"}));
  EXPECT_EQ(pack.nets().left.at("OUT"), 11);
  EXPECT_EQ(pack.netName(10), "IN");
  EXPECT_EQ(pack.netName(99), "");
  EXPECT_EQ(pack.netInfo().at(11).nodeCount, 2);
  EXPECT_EQ(pack.gridStep(), 127000);
  EXPECT_EQ(dbx.count(kFirstPad), 3);  // GND1 is not read
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(DesignTest, SecondSelectionVerifiesWithoutWalks) {
  design.selectTool(kToolPcb);
  design.selectTool(kToolSch);  // another tool in between
  dbx.calls.clear();
  design.selectTool(kToolPcb);
  for (int walk : {kFirstComponent, kFirstSymbol, kFirstPad, kFirstPin, kFirstNet, kFirstLayer}) {
    EXPECT_EQ(dbx.count(walk), 0) << walk;
  }
  EXPECT_EQ(dbx.count(kCompByRefDes), 3);
  EXPECT_EQ(dbx.count(kDesignInfo), 2);  // the header, then the closing lock's re-read
  EXPECT_EQ(dbx.calls.back().ordinal, kClose);
  EXPECT_EQ(design.tool(), kToolPcb);
}

TEST_F(DesignTest, SelectingTheCurrentToolOrNoneOrABadCode) {
  design.selectTool(kToolPcb);
  dbx.calls.clear();
  design.selectTool(kCurrentTool);  // stays with the PCB: verification only
  EXPECT_EQ(dbx.count(kOpen), 1);   // reopened through the header re-read
  EXPECT_EQ(dbx.openedTools.back(), "pcb");
  dbx.calls.clear();
  design.selectTool(kToolNone);  // closes and stops
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kClose));
  EXPECT_THROW(design.selectTool(7), TandrelError);
}

TEST_F(DesignTest, FailedReadIsReadAgainFromScratch) {
  dbx.prepare(kFirstPad, {DBX_OK, DBX_OK, DBX_INVALID_REFDES});  // C1's pads fail
  EXPECT_THROW(design.selectTool(kToolPcb), DBXException);
  EXPECT_FALSE(dbx.open);  // the failed read does not hold the host tool
  EXPECT_EQ(design.loadedMask(), 0u);
  // Nothing half read stays to hold memory until the next read.
  EXPECT_TRUE(design.pack(kToolPcb).components().left.empty());
  EXPECT_TRUE(design.pack(kToolPcb).nets().empty());

  design.selectTool(kToolPcb);
  const auto& pack = design.pack(kToolPcb);
  EXPECT_EQ(design.loadedMask(), 1u << kToolPcb);
  EXPECT_EQ(pack.components().left.size(), 3u);
  EXPECT_EQ(pack.components().right.size(), 3u);
  EXPECT_EQ(pack.connections().size(), 4u);
  for (const auto& [netId, connection] : pack.connections()) {
    EXPECT_TRUE(pack.components().right.contains(connection.first));
  }
}

TEST_F(DesignTest, FailureAfterTheNetsLeavesTheSnapshotIncomplete) {
  dbx.symbols = {symbol(1, "R1")};
  dbx.pins["R1"] = {pin("1", 1, 10), pin("2", 1, 11)};
  dbx.layers = {TLayer{1, "Main", 1}};
  dbx.prepare(kNextLayer, {DBX_FATAL_ERROR});
  EXPECT_THROW(design.selectTool(kToolSch), DBXException);
  EXPECT_TRUE(design.pack(kToolSch).nets().empty());
  design.selectTool(kToolSch);
  EXPECT_EQ(dbx.count(kFirstSymbol), 2);  // read again
  EXPECT_EQ(design.pack(kToolSch).components().right.size(), 1u);
  EXPECT_EQ(design.pack(kToolSch).connections().size(), 2u);
  EXPECT_EQ(design.sheetName(1), "Main");
}

TEST_F(DesignTest, EqualDesignatorsKeepTheLaterInTheLookupOnly) {
  dbx.components = {component("R10"), component("R010")};
  dbx.pads["R10"] = {pad("1", 10)};
  dbx.pads["R010"] = {pad("1", 10)};
  design.selectTool(kToolPcb);
  const auto& pack = design.pack(kToolPcb);
  ASSERT_EQ(pack.components().left.size(), 1u);
  EXPECT_EQ(getText(pack.components().left.begin()->second->record.refDes), "R010");
  EXPECT_EQ(pack.components().right.size(), 2u);
  EXPECT_EQ(pack.connections().size(), 2u);
}

TEST_F(DesignTest, ClearDropsSnapshotsButKeepsHeaders) {
  design.selectTool(kToolPcb);
  design.connect(kToolPcb);
  dbx.calls.clear();
  design.clear();
  EXPECT_THAT(dbx.ordinals(), ElementsAre(kClose));
  EXPECT_EQ(design.tool(), kToolNone);
  EXPECT_EQ(design.loadedMask(), 0u);
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_TRUE(design.pack(kToolPcb).components().empty());
  EXPECT_TRUE(design.pack(kToolPcb).connections().empty());
  EXPECT_TRUE(design.pack(kToolPcb).nets().empty());
  EXPECT_TRUE(design.pack(kToolPcb).netInfo().empty());
  EXPECT_EQ(design.pack(kToolPcb).gridStep(), 127000);
  EXPECT_EQ(design.pack(kToolPcb).header().absGridId, 2);
  dbx.calls.clear();
  design.clear();  // without a tool nothing is closed
  EXPECT_TRUE(dbx.calls.empty());
}

TEST_F(DesignTest, ComponentConnectionsIncludeTheComponentItself) {
  design.selectTool(kToolPcb);
  Component* r1 = &pcb("R1");
  Component* r2 = &pcb("R2");
  Design::ConnectionsByComponent out;
  design.componentConnections(r1, out, {});
  ASSERT_EQ(out.size(), 4u);
  std::vector<Design::NetEdge> toR1;
  std::vector<Design::NetEdge> toR2;
  for (const auto& [c, edge] : out) (c == r1 ? toR1 : toR2).push_back(edge);
  EXPECT_THAT(toR1, ElementsAre(Design::NetEdge{"1", "1", 10}, Design::NetEdge{"2", "2", 11}));
  EXPECT_THAT(toR2, ElementsAre(Design::NetEdge{"1", "2", 10}, Design::NetEdge{"2", "1", 11}));
  EXPECT_EQ(out.begin()->first, std::min(r1, r2));  // ordered by address

  Design::ConnectionsByComponent skipped;
  design.componentConnections(r1, skipped, {10});
  ASSERT_EQ(skipped.size(), 2u);
  for (const auto& [c, edge] : skipped) EXPECT_EQ(edge.netId, 11);
}

// ---- schematic ----

// ---- a broken host ----

TEST_F(DesignTest, EndlessWalksEndWithTooManyItems) {
  for (const int endlessNext : {kNextComponent, kNextPad, kNextNet, kNextGrid}) {
    SCOPED_TRACE(endlessNext);
    ScriptedDbx host;
    host.components = dbx.components;
    host.pads = dbx.pads;
    host.nets = dbx.nets;
    host.grids = {grid(1, "1mm")};  // never the current grid: the walk goes on
    host.makeEndless(endlessNext);
    Design broken(host);
    broken.setWalkLimits({.perWalk = 40, .perAction = 1000});
    EXPECT_EQ(detailOf([&] { broken.selectTool(kToolPcb); }), "DBX_TOO_MANY_ITEMS (32901)");
    EXPECT_EQ(host.count(endlessNext), 40);  // the first item, 39 more, one too many
    EXPECT_FALSE(host.open);                 // the tool is free again
    EXPECT_EQ(broken.loadedMask(), 0u);
  }
}

TEST_F(DesignTest, WalksOfOneActionShareOneBound) {
  // Each pad walk stays below the bound per walk; together they pass the
  // bound of the action.
  const auto fewPads = dbx.pads;
  for (int i = 0; i < 600; ++i) {
    dbx.pads["R1"].push_back(pad(std::to_string(i + 10).c_str(), 10));
    dbx.pads["R2"].push_back(pad(std::to_string(i + 10).c_str(), 11));
  }
  design.setWalkLimits({.perWalk = 1000, .perAction = 1000});
  EXPECT_EQ(detailOf([&] { design.selectTool(kToolPcb); }), "DBX_TOO_MANY_ITEMS (32901)");
  EXPECT_EQ(dbx.count(kFirstPad), 2);

  // Every action starts with the whole bound again: a load takes 13 items
  // (2 grids, 4 components, 5 pads, 2 nets), the lock after it 2 grids.
  ScriptedDbx host;
  host.components = dbx.components;
  host.pads = fewPads;
  host.nets = dbx.nets;
  host.grids = dbx.grids;
  Design fine(host);
  fine.setWalkLimits({.perWalk = 10, .perAction = 13});
  fine.selectTool(kToolPcb);
  fine.selectTool(kToolPcb);
  std::vector<std::string> highlighted;
  fine.highlightedRefDes(highlighted);
  EXPECT_EQ(fine.loadedMask(), 1u << kToolPcb);
  fine.setWalkLimits({.perWalk = 10, .perAction = 12});
  fine.clear();
  EXPECT_EQ(detailOf([&] { fine.selectTool(kToolPcb); }), "DBX_TOO_MANY_ITEMS (32901)");
}

TEST_F(DesignTest, TimedOutCallEndsTheActionAtOnce) {
  design.selectTool(kToolPcb);
  dbx.calls.clear();
  dbx.prepare(kCompByRefDes, {DBX_CALL_TIMEOUT});
  EXPECT_EQ(detailOf([&] { design.selectTool(kToolPcb); }), "DBX_CALL_TIMEOUT (32902)");
  EXPECT_EQ(dbx.count(kCompByRefDes), 1);  // not once per component
  EXPECT_EQ(dbx.count(kOpen), 1);          // the reopen only: a timeout is no reason to reconnect
  EXPECT_TRUE(ui.boxes.empty());           // the one box is the application's
  EXPECT_FALSE(dbx.open);

  // A host that went away is still reconnected to, and verification goes on.
  dbx.calls.clear();
  dbx.prepare(kCompByRefDes, {DBX_SERVER_TERMINATED});
  design.selectTool(kToolPcb);
  EXPECT_EQ(dbx.count(kOpen), 2);  // the selection's reopen, then the reconnection
  EXPECT_TRUE(ui.boxes.empty());

  dbx.prepare(kDesignInfo, {DBX_CALL_TIMEOUT});
  EXPECT_EQ(detailOf([&] { Lock lock(design, false); }), "DBX_CALL_TIMEOUT (32902)");
  EXPECT_EQ(design.lockCount(), 0);
}

TEST_F(DesignTest, CancelledLoadLeavesNothingHalfRead) {
  ScriptedProgress progress;
  progress.cancelAtStep = 6;  // while R1's pads are read
  EXPECT_THROW(design.selectTool(kToolPcb), diag::ActionCancelled);
  EXPECT_EQ(progress.captions, (std::vector<std::string>{"Reading the PCB design..."}));
  EXPECT_EQ(progress.depth, 0);
  EXPECT_TRUE(design.pack(kToolPcb).components().left.empty());
  EXPECT_TRUE(design.pack(kToolPcb).components().right.empty());
  EXPECT_TRUE(design.pack(kToolPcb).connections().empty());
  EXPECT_EQ(design.loadedMask(), 0u);
  EXPECT_FALSE(dbx.open);
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_TRUE(ui.boxes.empty());

  progress.cancelAtStep = 1 << 30;
  design.selectTool(kToolPcb);
  EXPECT_EQ(design.pack(kToolPcb).components().left.size(), 3u);
}

TEST_F(DesignTest, CancelledVerificationAndPlacementStopBetweenComponents) {
  design.selectTool(kToolPcb);
  ScriptedProgress progress;
  progress.cancelAtStep = 2;  // after C1, the first in designator order
  design.connect(kToolPcb);
  dbx.calls.clear();
  EXPECT_THROW(design.verifyComponents(), diag::ActionCancelled);
  EXPECT_EQ(dbx.count(kCompByRefDes), 1);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(progress.captions, (std::vector<std::string>{"Verifying the components..."}));
  EXPECT_EQ(progress.depth, 0);

  progress.steps = 0;
  progress.cancelAtStep = 1;
  EXPECT_THROW(pcb("R1").placeAt(500, 500, &pcb("R2")), diag::ActionCancelled);
  EXPECT_EQ(dbx.count(kMove), 0);
}

class SchematicTest : public DesignTest {
 protected:
  SchematicTest() {
    TComponent u1 = component("U1");
    setText(u1.compType, "OPAMP2");
    u1.compId = 900;
    dbx.components = {u1, component("R1"), component("VCC", DBX_COMPONENT_CONNECTION_POWER),
                      component("P1", DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR)};
    dbx.symbols = {symbol(1, "U1:A", 1), symbol(2, "U1:B", 2), symbol(3, "R1", 1),
                   symbol(4, "VCC", 1), symbol(5, "P1", 2)};
    dbx.symbols[1].refPoint = {400, 500};
    dbx.symbols[1].isHighlighted = DBX_COLOR_RED;
    dbx.pins["U1"] = {pin("1", 1, 10), pin("2", 1, 11), pin("7", 2, 10, 70, 80), pin("6", 2, 12),
                      pin("8", 3, 13)};
    dbx.pins["R1"] = {pin("1", 1, 11), pin("2", 2, 12), pin("3", 1, 0)};
    dbx.nets = {net(10, "A", 3), net(11, "B", 2), net(12, "C", 2)};
    dbx.layers = {TLayer{1, "Main", 1}, TLayer{2, "Channel", 1}};
  }
  Component& sch(const char* refDes) { return *design.pack(kToolSch).components().left.at(refDes); }
};

TEST_F(SchematicTest, EachSymbolBecomesAComponentWithItsGatesPins) {
  design.selectTool(kToolSch);
  const auto& pack = design.pack(kToolSch);
  ASSERT_EQ(pack.components().left.size(), 3u);  // no power symbol, no sheet connector
  EXPECT_FALSE(pack.components().left.contains("VCC"));
  EXPECT_FALSE(pack.components().left.contains("P1"));

  const Component& a = sch("U1:A");
  const Component& b = sch("U1:B");
  EXPECT_EQ(a.kind, kToolSch);
  EXPECT_THAT(a.pins, ::testing::SizeIs(2));
  EXPECT_TRUE(a.pins.contains("1") && a.pins.contains("2"));
  EXPECT_THAT(b.pins, ::testing::SizeIs(2));
  EXPECT_EQ(b.pins.at("7").netId, 10);
  EXPECT_EQ(b.pins.at("7").x, 70);
  EXPECT_TRUE(b.pins.contains("6"));
  EXPECT_EQ(sch("R1").pins.size(), 1u);  // no colon: gate 1 only, on a net
  EXPECT_EQ(a.sheetId, 1);
  EXPECT_EQ(b.sheetId, 2);

  EXPECT_EQ(b.record.compId, 2);  // the symbol's id
  EXPECT_EQ(getText(b.record.refDes), "U1:B");
  EXPECT_EQ(getText(b.record.compType), "OPAMP2");
  EXPECT_EQ(b.record.refPoint, (TPoint{400, 500}));
  EXPECT_EQ(b.record.isHighlighted, DBX_COLOR_RED);

  EXPECT_EQ(design.sheetName(2), "Channel");
  EXPECT_EQ(design.sheetName(3), "");
  EXPECT_EQ(design.sheets().left.at("Main"), 1);
}

TEST_F(SchematicTest, SymbolsAreAllCollectedBeforeTheLookups) {
  design.selectTool(kToolSch);
  std::vector<int> order;
  for (const Call& call : dbx.calls) {
    if (call.ordinal == kFirstSymbol || call.ordinal == kNextSymbol ||
        call.ordinal == kCompByRefDes) {
      order.push_back(call.ordinal);
    }
  }
  EXPECT_THAT(order, ElementsAreArray({kFirstSymbol, kNextSymbol, kNextSymbol, kNextSymbol,
                                       kNextSymbol, kNextSymbol, kCompByRefDes, kCompByRefDes,
                                       kCompByRefDes, kCompByRefDes, kCompByRefDes}));
  const auto lookup = std::find_if(dbx.calls.begin(), dbx.calls.end(),
                                   [](const Call& call) { return call.ordinal == kCompByRefDes; });
  ASSERT_NE(lookup, dbx.calls.end());
  EXPECT_EQ(lookup->text, "U1");  // looked up without the part suffix
}

TEST_F(SchematicTest, SymbolWithoutComponentEndsTheRead) {
  dbx.symbols.push_back(symbol(9, "Q5:A"));
  try {
    design.selectTool(kToolSch);
    FAIL() << "no exception";
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_COMPONENT_NOT_FOUND (32215)");
  }
  EXPECT_EQ(design.loadedMask(), 0u);
  EXPECT_EQ(design.lockCount(), 0);
}

TEST_F(SchematicTest, VerificationTakesTheSymbolsFields) {
  design.selectTool(kToolSch);
  dbx.symbols[0].refPoint = {1, 2};
  dbx.symbols[0].symbolId = 77;
  dbx.symbols[0].isHighlighted = DBX_COLOR_BLUE;
  dbx.components[0].compId = 5;  // the component's own fields are not re-read
  dbx.calls.clear();
  design.selectTool(kToolSch);
  EXPECT_EQ(dbx.count(kSymbolByRefDes), 3 * 2);  // reconnection and verification
  EXPECT_EQ(dbx.count(kCompByRefDes), 0);
  const Component& a = sch("U1:A");
  EXPECT_EQ(a.record.refPoint, (TPoint{1, 2}));
  EXPECT_EQ(a.record.compId, 77);
  EXPECT_EQ(a.record.isHighlighted, DBX_COLOR_BLUE);
  EXPECT_EQ(getText(a.record.compType), "OPAMP2");
}

// ---- highlighted items ----

TEST_F(DesignTest, HighlightedRefDesTakesNormalComponentsAndSymbols) {
  auto item = [](int32_t type, const char* refDes, int32_t connectionType = 0) {
    TItem record{};
    record.itemType = type;
    record.component = component(refDes, connectionType);
    setText(record.symbol.refDes, refDes);
    return record;
  };
  dbx.items = {item(DBX_COMPONENT, "R2"), item(DBX_COMPONENT, "GND1", 1), item(DBX_SYMBOL, "U1:A"),
               item(DBX_NET, "R9"), item(DBX_COMPONENT, "R1")};
  design.selectTool(kToolPcb);
  std::vector<std::string> out{"kept"};
  design.highlightedRefDes(out);
  EXPECT_THAT(out, ElementsAre("kept", "R2", "U1:A", "R1"));
  EXPECT_EQ(design.lockCount(), 0);
  EXPECT_EQ(dbx.calls.back().ordinal, kClose);
}

TEST_F(DesignTest, HighlightedWalkFailureKeepsWhatWasCollected) {
  TItem first{};
  first.itemType = DBX_COMPONENT;
  first.component = component("R1");
  dbx.items = {first, first};
  design.selectTool(kToolPcb);
  dbx.prepare(kNextItem, {DBX_FATAL_ERROR});
  std::vector<std::string> out;
  EXPECT_THROW(design.highlightedRefDes(out), DBXException);
  EXPECT_THAT(out, ElementsAre("R1"));
  EXPECT_EQ(design.lockCount(), 0);
}

}  // namespace
