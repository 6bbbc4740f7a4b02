// KiCad 10 as a second judge beside the system's KiCad, from the tree that
// scripts/test keeps (kicadtentree.h): every demo board of KiCad 10 opens in
// dbxhost; a board KiCad 10 saved itself (file version 20260206) reads as
// KiCad 10 reads it; and a KiCad 10 board dbxhost saved after a move loads in
// KiCad 10 with every net where it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kicadtentree.h"
#include "storage/designfileerror.h"
#include "storage/designstorage.h"
#include "storage/fileio.h"

namespace {

namespace fs = std::filesystem;
using dbxhost::Design;
using dbxhost::OpenedDesign;
using tandrel::testing::KicadTenTree;

// "(version N)" near the start of a board.
std::string versionOf(const fs::path& board) {
  std::ifstream in(board);
  std::string head(400, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(std::size_t(in.gcount()));
  const std::size_t at = head.find("(version ");
  return at == std::string::npos ? "" : head.substr(at + 9, head.find(')', at) - at - 9);
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
  if (const std::string missing = KicadTenTree::demosMissing(); !missing.empty())
    GTEST_SKIP() << missing;
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
    if (const std::string missing = KicadTenTree::pcbnewMissing(); !missing.empty())
      GTEST_SKIP() << missing;
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

TEST_F(KicadTenJudgeTest, ABoardKicadTenSavedReadsAsKicadTenReadsIt) {
  const fs::path board = stageDemo("complex_hierarchy", "complex_hierarchy.kicad_pcb");
  const KicadTenTree::Run resave =
      tree->python({"resave", tree->inside(board), tree->inside(board)});
  ASSERT_EQ(resave.status, 0) << resave.output;
  ASSERT_EQ(versionOf(board), "20260206");
  const std::string text = dbxhost::readFileText(board);
  EXPECT_EQ(text.find("\n\t(net 1 "), std::string::npos) << "KiCad 10 wrote a net table";
  EXPECT_NE(text.find("(net \""), std::string::npos) << "KiCad 10 named no net";

  const OpenedDesign opened = dbxhost::openDesign(board);
  const Design& design = opened.design;
  const KicadReading kicad = kicadReading(board);
  // Pads that share a number are one pin, on the first one's net.
  std::map<std::string, std::string> kicadPads, hostPads;
  for (const KicadPad& pad : kicad.pads)
    if (!pad.net.empty()) kicadPads.emplace(pad.reference + " " + pad.number, pad.net);
  for (const dbxhost::PcbComponent& component : design.pcb.components) {
    for (const auto& [pad, net] : component.padNets)
      hostPads.emplace(component.refDes + " " + pad, netName(design, net));
  }
  EXPECT_EQ(hostPads, kicadPads);
  ASSERT_GT(kicadPads.size(), 100u);

  // Every copper item on its net, keepouts aside (no net for KiCad).
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

}  // namespace
