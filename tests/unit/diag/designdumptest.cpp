#include "diag/designdump.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "scripteddbx.h"
#include "scriptedui.h"
#include "stringdumper.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_dbx;
using ::testing::HasSubstr;
using testing_diag::ScriptedUi;
using testing_diag::StringDumper;

const std::string kEmptyDump =
    "Design DB {\n"
    " PCB {\n"
    "  Components:\n"
    "  \nNets:\n"
    "  \nConnection map:\n"
    " } // Design DB/PCB\n"
    " SCH {\n"
    "  Components:\n"
    "  \nNets:\n"
    "  \nConnection map:\n"
    " } // Design DB/SCH\n"
    "} // Design DB\n";

class DesignDumpTest : public ::testing::Test {
 protected:
  DesignDumpTest() {
    TComponent c1 = component("C1");
    c1.compId = 17;
    c1.refPoint = {1270000, 508000};
    dbx.components = {c1, component("R1")};
    dbx.pads["C1"] = {pad("1", 3, 1270000, 508000), pad("2", 4, 1300000, 508000)};
    dbx.pads["R1"] = {pad("1", 3, 0, 0), pad("2", 99, 10, 0)};  // net 99 is unknown
    dbx.nets = {net(3, "GND", 2), net(4, "VCC", 1)};
    dir = fs::temp_directory_path() / ("tandrel-dumptest-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  ~DesignDumpTest() override { fs::remove_all(dir); }

  std::string dumpText() {
    StringDumper out;
    DBX::dumpDesign(design, out);
    return out.text;
  }
  static std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  ScriptedUi ui;
  ScriptedDbx dbx;
  Design design{dbx};
  fs::path dir;
};

TEST_F(DesignDumpTest, NeverLoadedSnapshotsDumpAsHeadingsOnly) {
  EXPECT_EQ(dumpText(), kEmptyDump);
}

TEST_F(DesignDumpTest, LoadedPcbDumpsComponentsNetsAndConnections) {
  design.selectTool(kToolPcb);
  const std::string text = dumpText();
  EXPECT_THAT(text, HasSubstr("  Components:\n"
                              "  Comp 'C1' {\n"
                              "   TComponent {\n"
                              "    compId               = 17\n"));
  EXPECT_THAT(text, HasSubstr("    refPoint             = (12.70,5.08)\n"));
  EXPECT_THAT(text, HasSubstr("    isHighlighted        = None (0)\n"));
  EXPECT_THAT(text, HasSubstr("   }\n"
                              "   Nets:\n"
                              "    PidDes=1, Net=3(GND), Pnt=(12.70,5.08)\n"
                              "    PidDes=2, Net=4(VCC), Pnt=(13.00,5.08)\n"
                              "  }\n"
                              "  Comp 'R1' {\n"));
  EXPECT_THAT(text, HasSubstr("    PidDes=2, Net=99(), Pnt=(0.0001,0.00)\n"));
  EXPECT_THAT(text, HasSubstr("  \nNets:\n"
                              "   Net 'GND', ID=3, Count=2\n"
                              "   Net 'VCC', ID=4, Count=1\n"
                              "  \nConnection map:\n"
                              "   Net 3 'GND': < Comp=C1, Pin=1 >\n"
                              "   Net 3 'GND': < Comp=R1, Pin=1 >\n"
                              "   Net 4 'VCC': < Comp=C1, Pin=2 >\n"
                              "   Net 99 '': < Comp=R1, Pin=2 >\n"
                              " } // Design DB/PCB\n"
                              " SCH {\n"
                              "  Components:\n"));
}

TEST_F(DesignDumpTest, DumpLeavesTheSnapshotAsItWas) {
  design.selectTool(kToolPcb);
  const auto& pack = design.pack(kToolPcb);
  const auto netInfo = pack.netInfo();
  const std::size_t connections = pack.connections().size();
  const std::string first = dumpText();
  EXPECT_EQ(pack.netInfo().size(), netInfo.size());
  EXPECT_EQ(pack.connections().size(), connections);
  EXPECT_EQ(pack.nets().right.size(), 2u);  // the unknown net 99 was not added
  EXPECT_EQ(dumpText(), first);
  EXPECT_TRUE(dbx.calls.empty() || dbx.calls.back().ordinal == kClose);
}

TEST_F(DesignDumpTest, SchematicPartsDumpWithTheSchematicNetNames) {
  dbx.symbols = {symbol(5, "C1:A")};
  dbx.pins["C1"] = {pin("1", 1, 4)};
  design.selectTool(kToolSch);
  const std::string text = dumpText();
  const std::size_t sch = text.find(" SCH {\n");
  ASSERT_NE(sch, std::string::npos);
  EXPECT_NE(text.find("  Comp 'C1:A' {\n", sch), std::string::npos);
  EXPECT_NE(text.find("    PidDes=1, Net=4(VCC), Pnt=(0.00,0.00)\n", sch), std::string::npos);
  EXPECT_EQ(text.substr(0, sch), kEmptyDump.substr(0, kEmptyDump.find(" SCH {\n")));
}

TEST_F(DesignDumpTest, SecondDumpReplacesTheFirst) {
  const fs::path path = dir / "dump.txt";
  design.selectTool(kToolPcb);
  ASSERT_TRUE(DBX::writeDesignDump(design, path.string()));
  EXPECT_THAT(fileText(path), HasSubstr("Comp 'C1'"));
  design.clear();
  ASSERT_TRUE(DBX::writeDesignDump(design, path.string()));
  EXPECT_EQ(fileText(path), kEmptyDump);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DesignDumpTest, UncreatableFileIsSkippedWithAnErrorBox) {
  const fs::path path = dir / "missing" / "dump.txt";
  EXPECT_FALSE(DBX::writeDesignDump(design, path.string()));
  EXPECT_FALSE(fs::exists(path));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, diag::MessageKind::Error);
  EXPECT_THAT(ui.boxes[0].text, HasSubstr(path.string()));
  EXPECT_THAT(ui.boxes[0].text, HasSubstr("No such file or directory"));
}

TEST_F(DesignDumpTest, PlantedSymbolicLinkIsReplacedNotFollowed) {
  const fs::path victim = dir / "victim.txt";
  std::ofstream(victim) << "someone else's work";
  const fs::path path = dir / "dump.txt";
  fs::create_symlink(victim, path);
  design.selectTool(kToolPcb);
  ASSERT_TRUE(DBX::writeDesignDump(design, path.string()));
  EXPECT_EQ(fileText(victim), "someone else's work");
  EXPECT_FALSE(fs::is_symlink(path));
  EXPECT_THAT(fileText(path), HasSubstr("Comp 'C1'"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DesignDumpTest, UnreplaceableTargetIsReportedAndLeavesNothingBehind) {
  const fs::path path = dir / "dump.txt";
  fs::create_directory(path);
  fs::create_directory(path / "kept");
  EXPECT_FALSE(DBX::writeDesignDump(design, path.string()));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_THAT(ui.boxes[0].text, HasSubstr("Can't write the design dump \"" + path.string()));
  EXPECT_TRUE(fs::is_directory(path / "kept"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
