// KiCad 10 as a second judge beside the system's KiCad, from the tree that
// scripts/test keeps (kicadtentree.h): every demo board of KiCad 10 opens in
// dbxhost; a board KiCad 10 saved itself (file version 20260206) reads as
// KiCad 10 reads it; a KiCad 10 board dbxhost saved after a move loads in
// KiCad 10 with every net where it was; and KiCad 10's complex_hierarchy,
// placed with its routing through a dbxhost process, passes the judges of
// the KiCad 9 tests run with KiCad 10's pcbnew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "kicadtentree.h"
#include "placedgroups.h"
#include "scriptedui.h"
#include "storage/designfileerror.h"
#include "storage/designstorage.h"
#include "storage/fileio.h"

namespace {

namespace fs = std::filesystem;
using dbxhost::Design;
using dbxhost::OpenedDesign;
using placement::Control;
using tandrel::testing::fillBySheetsForPlacing;
using tandrel::testing::groupLineWith;
using tandrel::testing::HostProcess;
using tandrel::testing::KicadTenTree;
using tandrel::testing::makePrivateTempDir;
using tandrel::testing::templateCopyPairs;

// "(version N)" near the start of a board.
std::string versionOf(const fs::path& board) {
  std::ifstream in(board);
  std::string head(400, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(std::size_t(in.gcount()));
  const std::size_t at = head.find("(version ");
  return at == std::string::npos ? "" : head.substr(at + 9, head.find(')', at) - at - 9);
}

// Skips the test when the reason is not empty, or fails it where the tree
// is required.
#define REQUIRE_KICAD_TEN(reason)                                         \
  if (const std::string why = (reason); !why.empty()) {                   \
    if (KicadTenTree::required()) FAIL() << "KiCad 10 required: " << why; \
    GTEST_SKIP() << why;                                                  \
  }

std::vector<fs::path> demoBoards() {
  std::vector<fs::path> boards;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(KicadTenTree::demos())) {
    if (entry.is_regular_file() && entry.path().extension() == ".kicad_pcb")
      boards.push_back(entry.path());
  }
  std::sort(boards.begin(), boards.end());
  return boards;
}

TEST(KicadTenDemoTest, EveryDemoBoardOfKicadTenOpens) {
  REQUIRE_KICAD_TEN(KicadTenTree::demosMissing());
  std::vector<std::string> refused;
  std::set<std::string> versions;
  std::size_t opened = 0;
  for (const fs::path& board : demoBoards()) {
    try {
      const OpenedDesign design = dbxhost::openDesign(board);
      EXPECT_FALSE(design.design.pcb.components.empty()) << board;
      versions.insert(versionOf(board));
      ++opened;
    } catch (const std::exception& error) {
      refused.push_back(error.what());
    }
  }
  std::string names;
  for (const std::string& refusal : refused) names += "\n" + refusal;
  EXPECT_TRUE(refused.empty()) << refused.size() << " KiCad 10 demo boards refused:" << names;
  // KiCad 10.0.7 brings 19 boards.
  EXPECT_GE(opened + refused.size(), 19u);
  // KiCad 10's own format and two between KiCad 9's and it.
  for (const char* version : {"20260206", "20250907", "20250513"})
    EXPECT_TRUE(versions.contains(version)) << "no demo board of version " << version;
}

// A pad as KiCad 10 reads it: where it stands and its net.
struct KicadPad {
  std::string reference, number, net;
  double x = 0, y = 0;  // millimetres, y down
};

// Copper items as KiCad 10 reads them: "KIND NET", board order.
struct KicadReading {
  std::vector<KicadPad> pads;
  std::vector<std::string> copper;
};

class KicadTenJudgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_KICAD_TEN(KicadTenTree::pcbnewMissing());
    tree = std::make_unique<KicadTenTree>();
  }

  // A copy of a demo project inside the tree; returns its board.
  fs::path stageDemo(const std::string& project, const std::string& boardName) {
    const fs::path folder = tree->stage() / project;
    fs::create_directories(folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(KicadTenTree::demos() / project))
      if (entry.is_regular_file()) fs::copy_file(entry.path(), folder / entry.path().filename());
    return folder / boardName;
  }

  KicadReading kicadReading(const fs::path& board) {
    const KicadTenTree::Run listed = tree->python({"nets", tree->inside(board)});
    EXPECT_EQ(listed.status, 0) << listed.output;
    KicadReading reading;
    std::istringstream lines(listed.output);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (line.ends_with('\t')) fields.emplace_back();  // an empty net
      if (fields.size() == 6 && fields[0] == "P") {
        reading.pads.push_back(
            {fields[1], fields[2], fields[5], std::stod(fields[3]), std::stod(fields[4])});
      } else if (fields.size() == 4 && fields[0] == "T") {
        reading.copper.push_back(fields[1] + (fields[3].empty() ? "" : " " + fields[3]));
      } else {
        ADD_FAILURE() << "KiCad 10 listed: " << line;
      }
    }
    return reading;
  }

  std::unique_ptr<KicadTenTree> tree;
};

std::string netName(const Design& design, int32_t id) {
  const dbxhost::Net* net = design.findNet(id);
  return net != nullptr ? net->name : "";
}

// dbxhost reads the board as KiCad 10 does: every pad on KiCad's net, and
// every copper item of each kind on its net, none more, none less.
void expectReadAsKicadReadsIt(const Design& design, const KicadReading& kicad) {
  // Pads that share a number are one pin, on the first one's net.
  std::map<std::string, std::string> kicadPads, hostPads;
  for (const KicadPad& pad : kicad.pads)
    if (!pad.net.empty()) kicadPads.emplace(pad.reference + " " + pad.number, pad.net);
  for (const dbxhost::PcbComponent& component : design.pcb.components) {
    for (const auto& [pad, net] : component.padNets)
      hostPads.emplace(component.refDes + " " + pad, netName(design, net));
  }
  EXPECT_EQ(hostPads, kicadPads);
  EXPECT_GT(kicadPads.size(), 100u);

  // Keepouts aside (no net for KiCad).
  const std::multiset<std::string> kicadCopper(kicad.copper.begin(), kicad.copper.end());
  std::multiset<std::string> hostCopper;
  const auto add = [&](const char* kind, const auto& items) {
    for (const auto& item : items) {
      if constexpr (requires { item.keepout; }) {
        if (item.keepout) continue;
      }
      const std::string net = netName(design, item.info.netId);
      hostCopper.insert(std::string(kind) + (net.empty() ? "" : " " + net));
    }
  };
  add("PCB_TRACK", design.pcb.tracks);
  add("PCB_ARC", design.pcb.arcs);
  add("PCB_VIA", design.pcb.vias);
  add("ZONE", design.pcb.zones);
  EXPECT_EQ(hostCopper, kicadCopper);
}

// KiCad 10's own format: nets named where items use them, no net table.
void expectNetsByName(const fs::path& board) {
  EXPECT_EQ(versionOf(board), "20260206");
  const std::string text = dbxhost::readFileText(board);
  EXPECT_EQ(text.find("\n\t(net 1 "), std::string::npos) << "a net table in " << board;
  EXPECT_NE(text.find("(net \""), std::string::npos) << "no net named in " << board;
  static const std::regex numbered(R"(\(net [0-9])");
  EXPECT_FALSE(std::regex_search(text, numbered)) << "a net by number in " << board;
}

TEST_F(KicadTenJudgeTest, ABoardKicadTenSavedReadsAsKicadTenReadsIt) {
  const fs::path board = stageDemo("complex_hierarchy", "complex_hierarchy.kicad_pcb");
  const KicadTenTree::Run resave =
      tree->python({"resave", tree->inside(board), tree->inside(board)});
  ASSERT_EQ(resave.status, 0) << resave.output;
  ASSERT_EQ(versionOf(board), "20260206");
  expectNetsByName(board);

  const OpenedDesign opened = dbxhost::openDesign(board);
  const Design& design = opened.design;
  expectReadAsKicadReadsIt(design, kicadReading(board));

  // The schematic beside it is KiCad 10's too, and its pins find the board's nets.
  EXPECT_GE(design.sch.sheets.size(), 3u);
  std::size_t connected = 0;
  for (const dbxhost::SchComponent& component : design.sch.components)
    for (const dbxhost::SchPin& pin : component.pins) connected += pin.netId != 0;
  EXPECT_GT(connected, 100u);
}

TEST_F(KicadTenJudgeTest, AMovedFootprintOfAKicadTenBoardKeepsEveryNetInKicadTen) {
  const fs::path board = stageDemo("pic_programmer", "pic_programmer.kicad_pcb");
  ASSERT_EQ(versionOf(board), "20260206");
  const KicadReading before = kicadReading(board);
  ASSERT_GT(before.pads.size(), 100u);

  OpenedDesign opened = dbxhost::openDesign(board);
  const auto moved =
      std::find_if(opened.design.pcb.components.begin(), opened.design.pcb.components.end(),
                   [](const dbxhost::PcbComponent& c) { return !c.fixed && c.padNets.size() > 2; });
  ASSERT_NE(moved, opened.design.pcb.components.end());
  // 2.54 mm right and 1.27 mm up: KiCad's y grows downwards.
  moved->placement.refPoint.x += 254000;
  moved->placement.refPoint.y += 127000;
  opened.storage->save(opened.design, board);

  const KicadReading after = kicadReading(board);
  ASSERT_EQ(after.pads.size(), before.pads.size());
  for (std::size_t i = 0; i < before.pads.size(); ++i) {
    const KicadPad& was = before.pads[i];
    const KicadPad& is = after.pads[i];
    ASSERT_EQ(is.reference + " " + is.number, was.reference + " " + was.number);
    EXPECT_EQ(is.net, was.net) << is.reference << " pad " << is.number;
    const bool shifted = is.reference == moved->refDes;
    EXPECT_NEAR(is.x, was.x + (shifted ? 2.54 : 0), 1e-6) << is.reference << " " << is.number;
    EXPECT_NEAR(is.y, was.y - (shifted ? 1.27 : 0), 1e-6) << is.reference << " " << is.number;
  }
  EXPECT_EQ(after.copper, before.copper);
  // And dbxhost reads its own save again.
  EXPECT_NO_THROW(dbxhost::openDesign(board));
}

// KiCad 10's complex_hierarchy (two instances of the sheet ampli_ht), saved
// by KiCad 10 with every footprint unlocked, through a dbxhost process as a
// user runs it: "Load SCH", "Fill By Sheets", and "Place" with "Copy routing
// and texts", the copy one row below the template, off the board, where it
// lands on no copper of the board. KiCad 10 then judges the saved board with
// the judges of the KiCad 9 tests.
class KicadTenRoutingTest : public KicadTenJudgeTest {
 protected:
  void SetUp() override {
    KicadTenJudgeTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    board = stageDemo("complex_hierarchy", "complex_hierarchy.kicad_pcb");
    const KicadTenTree::Run unlocked =
        tree->python({"unlocked", tree->inside(board), tree->inside(board)});
    ASSERT_EQ(unlocked.status, 0) << unlocked.output;
    ASSERT_EQ(versionOf(board), "20260206");
    original = dbxhost::readFileText(board);
    before = board.parent_path() / "original.kicad_pcb";
    dbxhost::writeFileAtomically(before, original);
  }
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
  }

  // Starts the host on the board and runs the user's steps up to "Place",
  // the template being the instance of U201.
  void placeWithRouting() {
    host = std::make_unique<HostProcess>(board.string(), dir);
    form = std::make_unique<TForm1>(dbx);
    ASSERT_NO_FATAL_FAILURE(fillBySheetsForPlacing(*form, 2, 29));
    templateLine = groupLineWith(placer(), "U201");
    // The board is routed, so the routing is copied unless the user says no;
    // the copy's own old routing stays, as the judge holds the board's copper
    // to be all there.
    EXPECT_TRUE(placer().CopyRouting());
    placer().SetReplaceRouting(false);
    placer().GroupsListClick(templateLine);
    placer().SetCorner(placement::RectCorner::LeftTop);
    placer().EditField(Control::Rows, "2");
    placer().EditField(Control::GapY, "5");
    ASSERT_EQ(placer().FieldOf(Control::Cols).text, "1");
    ASSERT_TRUE(placer().PlaceEnabled());
    ui.answers = {true};  // yes, beyond the board
    placer().PlaceClick();
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
    ASSERT_EQ(ui.questions.size(), 1u);
    ASSERT_TRUE(placer().UndoEnabled());
    ASSERT_EQ(host->command("save"), "ok " + board.string());
  }

  placement::TPlacer& placer() { return form->Placer1(); }

  // Runs a judge with KiCad 10 on the original and the saved board; it must
  // find no fault. Returns what it printed.
  std::string judge(const std::string& script, const std::vector<std::string>& command,
                    bool withPairs) {
    std::vector<std::string> arguments = command;
    if (withPairs) {
      arguments.push_back(tree->inside(before));
      arguments.push_back(tree->inside(board));
      for (const std::string& pair : templateCopyPairs(placer(), templateLine, 1 - templateLine))
        arguments.push_back(pair);
    }
    const KicadTenTree::Run run = tree->script(script, arguments);
    EXPECT_EQ(run.status, 0) << script << " " << command[0] << ":\n" << run.output;
    std::cout << run.output;
    return run.output;
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("kicad-ten-e2e");
  fs::path board, before;
  std::string original;
  std::size_t templateLine = 0;
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
};

TEST_F(KicadTenRoutingTest, ThePlacedRoutingPassesKicadTensChecksAndUndoRestoresTheFile) {
  ASSERT_NO_FATAL_FAILURE(placeWithRouting());
  const std::string saved = dbxhost::readFileText(board);
  EXPECT_NE(saved.find("Tandrel G"), std::string::npos);
  // Still KiCad 10's format, the copies' nets by name too.
  expectNetsByName(board);

  // One motion for every copy, its pads exact, the rest of the board where it was.
  judge("kicadcheck.py", {"check", "--copper-added"}, true);
  // The copied copper on the nets KiCad 10 finds at the copies' pads.
  judge("kicadcheck.py", {"routed"}, true);
  // The copied zones keep their template's rules; no new "Items not allowed".
  const std::string zones =
      judge("kicadcopycheck.py", {"copies", tree->inside(before), tree->inside(board)}, false);
  EXPECT_EQ(zones.find("teardrops copied 0\n"), std::string::npos) << "no teardrop copied";
  // KiCad 10's load and save keeps every footprint, track, arc, via, zone and group.
  judge("kicadcopycheck.py", {"roundtrip", tree->inside(board)}, false);
  // KiCad 10 reads every item dbxhost wrote, on the net dbxhost gave it.
  const OpenedDesign reread = dbxhost::openDesign(board);
  expectReadAsKicadReadsIt(reread.design, kicadReading(board));
  EXPECT_GT(reread.design.pcb.tracks.size(), dbxhost::openDesign(before).design.pcb.tracks.size());

  placer().UndoPlaceClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  ASSERT_EQ(host->command("save"), "ok " + board.string());
  EXPECT_TRUE(dbxhost::readFileText(board) == original)
      << "the board after Undo Place differs from the one KiCad 10 saved";
}

}  // namespace
