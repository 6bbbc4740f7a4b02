#include "storage/kicad/kicadproject.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "storage/designfile.h"
#include "storage/filechangederror.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboardwriter.h"
#include "window/hostsession.h"

namespace dbxhost::kicad {
namespace {

namespace fs = std::filesystem;
using namespace DBX;

const std::string kBoard =
    "(kicad_pcb\n\t(version 20240108)\n\t(net 0 \"\")\n\t(net 1 \"GND\")\n"
    "\t(footprint \"R:R_0402\"\n\t\t(layer \"F.Cu\")\n\t\t(at 10 10)\n"
    "\t\t(property \"Reference\" \"R1\")\n"
    "\t\t(pad \"1\" smd rect (at -0.5 0) (size 0.5 0.5) (net 1 \"GND\"))\n"
    "\t\t(pad \"2\" smd rect (at 0.5 0) (size 0.5 0.5))\n\t)\n)\n";

class KicadProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kicadprojecttest-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    board_ = dir_ / "amp.kicad_pcb";
    std::ofstream(board_, std::ios::binary) << kBoard;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Moves R1 by 1 mm to the right, as a client would.
  static void moveR1(HostDbx& host) {
    host.withDesign([](Design& d) { d.pcb.components.at(0).placement.refPoint.x += 100000; });
  }

  fs::path dir_;
  fs::path board_;
};

TEST_F(KicadProjectTest, ABoardWithoutSchematicIsServedAloneAndSaysSo) {
  ::testing::internal::CaptureStdout();
  const OpenedDesign opened = openDesign(board_);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("no schematic " + (dir_ / "amp.kicad_sch").string()), std::string::npos);
  EXPECT_EQ(opened.design.pcb.components.size(), 1u);
  EXPECT_EQ(opened.design.nets, (std::vector<Net>{{1, "GND", 0}}));
  EXPECT_TRUE(opened.design.sch.components.empty());
  EXPECT_TRUE(opened.design.sch.symbols.empty());

  // The board writes back over itself, and a design file next to it.
  Design moved = opened.design;
  moved.pcb.components.at(0).placement.refPoint.x += 100000;
  opened.storage->save(moved, board_);
  std::string expected = kBoard;
  expected.replace(expected.find("(at 10 10)"), 10, "(at 11 10)");
  EXPECT_EQ(readFileText(board_), expected);
  opened.storage->save(moved, dir_ / "amp.json");
  EXPECT_EQ(readDesignFile(dir_ / "amp.json").pcb, moved.pcb);
}

TEST_F(KicadProjectTest, AMalformedSchematicRefusesTheWholeProject) {
  OpenedDesign opened = openDesign(board_);
  HostDbx host(std::move(opened.design));
  HostSession session(host, board_, opened.storage);
  const Design before = host.readDesign([](const Design& d) { return d; });
  const fs::path schematic = dir_ / "amp.kicad_sch";
  std::ofstream(schematic, std::ios::binary) << "(kicad_sch\n\t(version 20231120)\n";
  try {
    session.open(board_);
    FAIL() << "opened";
  } catch (const KicadFileError& error) {
    EXPECT_TRUE(std::string(error.what()).starts_with(schematic.string() + ": line "))
        << error.what();
  }
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), before);
}

// The example projects, in KiCad 8 and KiCad 6 formats.
class KicadProjectExampleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(KicadProjectExampleTest, ServesBothToolsAndRoundTripsItsBoard) {
  const fs::path board =
      fs::path(TANDREL_EXAMPLES_DIR) / "kicad" / GetParam() / (GetParam() + ".kicad_pcb");
  const fs::path copy =
      fs::temp_directory_path() / (GetParam() + "-" + std::to_string(::getpid()) + ".kicad_pcb");
  const OpenedDesign opened = openDesign(board);
  EXPECT_FALSE(opened.design.pcb.components.empty());
  EXPECT_FALSE(opened.design.sch.symbols.empty());
  opened.storage->save(opened.design, copy);
  EXPECT_EQ(readFileText(copy), readFileText(board));
  fs::remove(copy);
}

TEST_P(KicadProjectExampleTest, EveryFootprintTurnedAndFlippedReadsBackWithTheHostsPads) {
  const KicadBoard board = readKicadBoard(fs::path(TANDREL_EXAMPLES_DIR) / "kicad" / GetParam() /
                                          (GetParam() + ".kicad_pcb"));
  Design design;
  design.nets = board.nets;
  design.pcb = board.pcb;
  for (PcbComponent& c : design.pcb.components) {
    c.placement = flipped(rotated(c.placement, 900, {0, 0}), {100000, 0});
  }
  const KicadBoard reread = parseKicadBoard(writeKicadBoard(board, design), "reread");
  ASSERT_EQ(reread.pcb.components.size(), design.pcb.components.size());
  for (std::size_t i = 0; i < design.pcb.components.size(); ++i) {
    const PcbComponent& now = design.pcb.components[i];
    const PcbComponent& back = reread.pcb.components[i];
    EXPECT_EQ(back.placement, now.placement) << now.refDes;
    EXPECT_EQ(padPositions(reread.pcb.patterns.at(back.patternName), back.placement),
              padPositions(design.pcb.patterns.at(now.patternName), now.placement))
        << now.refDes;
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, KicadProjectExampleTest,
                         ::testing::Values("quad-opamp", "duo-kicad6"));

// A second board of a project (KiCad's multichannel_mixer-unrouted beside
// multichannel_mixer) takes the project's root schematic.
TEST_F(KicadProjectTest, ABoardWithoutItsOwnSchematicTakesItsProjects) {
  const fs::path second = dir_ / "amp-unrouted.kicad_pcb";
  fs::copy_file(board_, second);
  std::ofstream(dir_ / "amp.kicad_pro") << "{}";
  std::ofstream(dir_ / "amp.kicad_sch", std::ios::binary)
      << "(kicad_sch (version 20250114) (generator \"eeschema\") (uuid \"r\")\n(lib_symbols)\n)\n";
  EXPECT_NO_THROW(openDesign(second));
  // The project's schematic is read: a newer one is refused with the board.
  std::ofstream(dir_ / "amp.kicad_sch", std::ios::binary)
      << "(kicad_sch (version 20260307) (uuid \"r\")\n(lib_symbols)\n)\n";
  try {
    openDesign(second);
    ADD_FAILURE() << "a schematic newer than the reader knows was read";
  } catch (const DesignFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              (dir_ / "amp.kicad_sch").string() +
                  ": line 1: file version 20260307 is newer than this dbxhost reads (KiCad 6 to "
                  "10, file versions up to 20260306)");
  }
  // With two projects in the folder, neither is the board's.
  std::ofstream(dir_ / "other.kicad_pro") << "{}";
  ::testing::internal::CaptureStdout();
  const OpenedDesign alone = openDesign(second);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_THAT(said,
              ::testing::HasSubstr("no schematic " + (dir_ / "amp-unrouted.kicad_sch").string() +
                                   " beside the board, and 2 projects in its folder; "
                                   "serving the board alone"));
  EXPECT_TRUE(alone.design.sch.components.empty());
}

// Every board of KiCad 9's demo projects opens, with its project's
// schematic where the project has one.
TEST(KicadDemoProjectsTest, EveryDemoBoardOpensWithItsSchematic) {
  const fs::path demos = "/usr/share/kicad/demos";
  if (!fs::exists(demos / "multichannel")) GTEST_SKIP() << "KiCad 9's demos are not installed";
  // Demo projects that have no schematic at all.
  const std::set<std::string> boardOnly = {"microwave.kicad_pcb"};
  std::vector<std::string> refused;
  // Per board: footprints, tracks with arcs and vias, zones, schematic parts.
  std::map<std::string, std::vector<std::size_t>> counts;
  std::size_t boards = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(demos)) {
    if (entry.path().extension() != ".kicad_pcb") continue;
    ++boards;
    const std::string name = entry.path().filename().string();
    ::testing::internal::CaptureStdout();
    try {
      const OpenedDesign opened = openDesign(entry.path());
      const Design& d = opened.design;
      EXPECT_FALSE(d.pcb.components.empty()) << name;
      EXPECT_EQ(d.sch.components.empty(), boardOnly.contains(name)) << name;
      // The copper, as KiCad counts it, without the board's drawings.
      auto onCopper = [&](int32_t layerId) {
        const PcbLayer* layer = d.pcb.findLayer(layerId);
        return layer != nullptr && layer->copper;
      };
      std::size_t copper = d.pcb.vias.size(), zones = 0;
      for (const Track& t : d.pcb.tracks) copper += onCopper(t.layerId);
      for (const ArcTrack& a : d.pcb.arcs) copper += onCopper(a.layerId);
      for (const Zone& z : d.pcb.zones) zones += onCopper(z.layerIds.front());
      counts[name] = {d.pcb.components.size(), copper, zones, d.sch.components.size()};
    } catch (const DesignFileError& error) {
      refused.push_back(fs::relative(entry.path(), demos).string() + ": " + error.what());
    }
    ::testing::internal::GetCapturedStdout();
  }
  EXPECT_GE(boards, 19u);
  EXPECT_THAT(refused, ::testing::IsEmpty());
  // As KiCad 9 loads them.
  if (counts.contains("RoyalBlue54L-Feather.kicad_pcb")) {
    EXPECT_EQ(counts.at("RoyalBlue54L-Feather.kicad_pcb")[0], 71u);
    EXPECT_EQ(counts.at("RoyalBlue54L-Feather.kicad_pcb")[1], 1126u);
  }
  if (counts.contains("vme-wren.kicad_pcb")) {
    EXPECT_EQ(counts.at("vme-wren.kicad_pcb")[0], 1508u);
    EXPECT_EQ(counts.at("vme-wren.kicad_pcb")[1], 31024u);
    EXPECT_EQ(counts.at("vme-wren.kicad_pcb")[2], 128u);
  }
  if (counts.contains("multichannel_mixer-unrouted.kicad_pcb")) {
    EXPECT_EQ(counts.at("multichannel_mixer-unrouted.kicad_pcb")[3],
              counts.at("multichannel_mixer.kicad_pcb")[3]);
  }
}

TEST_F(KicadProjectTest, OnlyADesignReadFromABoardWritesOne) {
  const fs::path json = dir_ / "d.json";
  saveDesignFile(openDesign(board_).design, json);
  const OpenedDesign opened = openDesign(json);
  try {
    opened.storage->save(opened.design, dir_ / "new.kicad_pcb");
    FAIL() << "saved";
  } catch (const DesignFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              (dir_ / "new.kicad_pcb").string() +
                  ": not saved: a KiCad board is written only for a design read from one");
  }
  EXPECT_FALSE(fs::exists(dir_ / "new.kicad_pcb"));
}

TEST_F(KicadProjectTest, BoardSavedInKicadMeanwhileIsNotOverwritten) {
  OpenedDesign opened = openDesign(board_);
  HostDbx host(std::move(opened.design));
  HostSession session(host, board_, opened.storage, opened.stamp);
  moveR1(host);

  // The user adds a text in KiCad and saves the board there.
  std::string edited = readFileText(board_);
  edited.insert(edited.rfind(')'), "\t(gr_text \"added in KiCad\" (at 1 1) (layer \"F.SilkS\"))\n");
  std::ofstream(board_, std::ios::binary | std::ios::trunc) << edited;
  EXPECT_THROW(session.save(), FileChangedError);
  EXPECT_EQ(readFileText(board_), edited);
  EXPECT_TRUE(session.modified());
  EXPECT_THAT(session.execute("save"), ::testing::HasSubstr("changed on disk"));

  // Read again, the board keeps the text through the host's next save.
  session.reload();
  EXPECT_FALSE(session.modified());
  moveR1(host);
  session.save();
  EXPECT_NE(readFileText(board_).find("added in KiCad"), std::string::npos);
  EXPECT_NE(readFileText(board_).find("(at 11 10)"), std::string::npos);
}

TEST_F(KicadProjectTest, SessionSavesTheBoardAndKeepsItsDesignOnABadOpen) {
  OpenedDesign opened = openDesign(board_);
  HostDbx host(std::move(opened.design));
  HostSession session(host, board_, opened.storage);
  moveR1(host);
  EXPECT_TRUE(session.modified());
  session.save();
  EXPECT_FALSE(session.modified());
  EXPECT_NE(readFileText(board_).find("(at 11 10)"), std::string::npos);

  // The text command writes a board too, and a design file for .json.
  moveR1(host);
  EXPECT_EQ(session.execute("save " + (dir_ / "copy.kicad_pcb").string()),
            "ok " + (dir_ / "copy.kicad_pcb").string());
  EXPECT_NE(readFileText(dir_ / "copy.kicad_pcb").find("(at 12 10)"), std::string::npos);
  session.saveAs(dir_ / "copy.json");
  EXPECT_EQ(session.file(), dir_ / "copy.json");
  session.saveAs(dir_ / "again.kicad_pcb");  // still the design read from the board
  EXPECT_NE(readFileText(dir_ / "again.kicad_pcb").find("(at 12 10)"), std::string::npos);

  // A malformed board is refused with its line; the host keeps its design.
  const fs::path bad = dir_ / "bad.kicad_pcb";
  std::ofstream(bad, std::ios::binary) << "(kicad_pcb\n\t(version 20240108)\n\t(net 0 \"\")\n"
                                       << "\t(footprint \"R:R\" (layer \"F.Cu\") (at 1\n";
  const Design before = host.readDesign([](const Design& d) { return d; });
  try {
    session.open(bad);
    FAIL() << "opened";
  } catch (const KicadFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              bad.string() + ": line 5: unexpected end of file: 3 parenthesis(es) left open");
  }
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), before);
  EXPECT_EQ(session.file(), dir_ / "again.kicad_pcb");

  // Opening a design file replaces the storage: it no longer writes boards.
  session.open(dir_ / "copy.json");
  EXPECT_THROW(session.saveAs(dir_ / "third.kicad_pcb"), DesignFileError);
}

}  // namespace
}  // namespace dbxhost::kicad
