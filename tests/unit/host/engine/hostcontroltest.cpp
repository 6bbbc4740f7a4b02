#include "engine/hostcontrol.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "storage/designfile.h"
#include "storage/designstorage.h"

namespace dbxhost {
namespace {

Design twoChannelDesign() {
  Design d;
  d.nets = {{1, "GND", 0}, {2, "IN1", 0}, {3, "IN2", 0}};
  d.sch.sheets = {{1, "Main"}};
  d.sch.components = {{1,
                       "R1",
                       "RES",
                       "1k",
                       "R0805",
                       "lib",
                       DBX::DBX_COMPONENT_CONNECTION_NORMAL,
                       1,
                       {{"1", "", 1, 2, {}}}},
                      {2,
                       "U1",
                       "OPA",
                       "OPA",
                       "SOIC8",
                       "lib",
                       DBX::DBX_COMPONENT_CONNECTION_NORMAL,
                       2,
                       {{"1", "", 1, 3, {}}}},
                      {3,
                       "R2",
                       "RES",
                       "1k",
                       "R0805",
                       "lib",
                       DBX::DBX_COMPONENT_CONNECTION_NORMAL,
                       1,
                       {{"1", "", 1, 3, {}}}}};
  d.sch.symbols = {{1, "R1", 1, 1, {}, {}, 0, false, 0, 0},
                   {2, "U1:A", 1, 1, {}, {}, 0, false, 0, 1},
                   {3, "U1:B", 2, 1, {}, {}, 0, false, 0, 1},
                   {4, "R2", 1, 1, {}, {}, 0, false, 0, 2}};
  d.pcb.patterns["R0805"] = {"R0805", {{"1", {-1000, 0}}, {"2", {1000, 0}}}, std::nullopt};
  PcbComponent r1;
  r1.id = 1;
  r1.refDes = "R1";
  r1.patternName = "R0805";
  r1.padNets = {{"1", 2}, {"2", 1}};
  PcbComponent r2 = r1;
  r2.id = 2;
  r2.refDes = "R2";
  r2.padNets = {{"1", 3}, {"2", 1}};
  d.pcb.components = {r1, r2};
  return d;
}

class HostControlTest : public ::testing::Test {
 protected:
  HostDbx host{twoChannelDesign()};
  HostControl control{host, {}};
};

TEST_F(HostControlTest, HighlightsAsAUserWouldInTheEditor) {
  EXPECT_EQ(control.execute("highlight pcb R2 10"), "ok");
  EXPECT_EQ(control.execute("highlight sch U1:B 12"), "ok");
  host.readDesign([](const Design& d) {
    EXPECT_EQ(d.pcb.components[1].highlight, 10);
    EXPECT_EQ(d.sch.symbols[2].highlight, 12);
  });
  EXPECT_EQ(control.execute("unhighlight pcb R2"), "ok");
  EXPECT_EQ(control.execute("highlight pcb R1 4"), "ok");
  EXPECT_EQ(control.execute("clear-highlights pcb"), "ok");
  host.readDesign([](const Design& d) {
    EXPECT_EQ(d.pcb.components[0].highlight, 0);
    EXPECT_EQ(d.sch.symbols[2].highlight, 12);  // the other tool keeps its highlight
  });
}

TEST_F(HostControlTest, RefusesBadCommandsWithAReason) {
  EXPECT_EQ(control.execute(""), "error: empty command");
  EXPECT_EQ(control.execute("highlight pcb R9 10"), "error: no component R9");
  EXPECT_EQ(control.execute("highlight brd R1 10"), "error: unknown tool 'brd' (pcb or sch)");
  EXPECT_EQ(control.execute("highlight pcb R1 21"), "error: colour must be 1 to 20");
  EXPECT_EQ(control.execute("highlight pcb R1 red"), "error: colour must be 1 to 20");
  EXPECT_EQ(control.execute("inject pcb 0 32215"), "error: call number must be 1 or more");
  EXPECT_EQ(control.execute("busy pcb maybe"), "error: unknown command: busy pcb maybe");
  EXPECT_EQ(control.execute("save"), "error: no file to save to");
  EXPECT_FALSE(control.quitRequested());
  EXPECT_EQ(control.execute("quit"), "ok");
  EXPECT_TRUE(control.quitRequested());
}

TEST_F(HostControlTest, RemovingASchematicComponentKeepsOtherSymbolsOnTheirComponents) {
  EXPECT_EQ(control.execute("remove sch U1"), "ok");
  host.readDesign([](const Design& d) {
    ASSERT_EQ(d.sch.components.size(), 2u);
    ASSERT_EQ(d.sch.symbols.size(), 2u);
    EXPECT_EQ(d.sch.components[d.sch.symbols[1].component].refDes, "R2");
  });
  DBX::TConversation sch;
  ASSERT_EQ(host.TOpenDesign(0, 18000, "sch", &sch), DBX::DBX_OK);
  DBX::TSymbol symbol;
  EXPECT_EQ(host.TGetSymbolByRefDes(&sch, "U1:A", &symbol), DBX::DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(control.execute("remove pcb R1"), "ok");
  EXPECT_EQ(control.execute("remove pcb R1"), "error: no component R1");
  EXPECT_EQ(control.execute("summary"),
            "ok 1 sheets, 2 schematic components, 2 symbols, 1 PCB components, 2 connected pads, "
            "3 nets");
}

TEST_F(HostControlTest, UndoAndRedoTakeAClientsConversationBackAndWaitWhileOneIsOpen) {
  using namespace DBX;
  const Design before = host.readDesign([](const Design& d) { return d; });
  EXPECT_EQ(control.execute("undo"), "error: nothing to undo");
  EXPECT_EQ(control.execute("redo"), "error: nothing to redo");
  EXPECT_TRUE(control.execute("undo now").starts_with("error: "));

  TConversation pcb;
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  TComponent r;
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R2", &r), DBX_OK);
  ASSERT_EQ(host.TMoveComponent(&pcb, 5000, 0, &r), DBX_OK);
  ASSERT_EQ(host.TFlipComponent(&pcb, {0, 0}, &r), DBX_OK);
  ASSERT_EQ(host.THighlightItem(&pcb, DBX_COLOR_RED, &r), DBX_OK);
  // While the client holds its conversation, its edits are not undone
  // behind its back.
  EXPECT_EQ(control.execute("undo"),
            "error: a client holds the PCB editor; undo waits until its conversation ends");
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  const Design after = host.readDesign([](const Design& d) { return d; });

  TConversation sch;
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);
  EXPECT_EQ(control.execute("undo"),
            "error: a client holds the schematic editor; undo waits until its conversation ends");
  TComponent symbol{};
  symbol.compId = 3;  // U1:B
  ASSERT_EQ(host.THighlightItem(&sch, DBX_COLOR_BLUE, &symbol), DBX_OK);
  // A conversation the host ends counts as ended.
  host.dropAfter(kToolSch, 0);
  EXPECT_EQ(host.TCloseDesign(&sch, ""), DBX_SERVER_TERMINATED);

  EXPECT_EQ(control.execute("undo"), "ok undone: 1 part");
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), after);
  EXPECT_EQ(control.execute("undo"), "ok undone: 1 part");
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), before);
  EXPECT_EQ(control.execute("redo"), "ok redone: 1 part");
  EXPECT_EQ(host.readDesign([](const Design& d) { return d; }), after);
  // The client reads back where its parts are now.
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R2", &r), DBX_OK);
  EXPECT_EQ(r.isFlipped, 1);
  EXPECT_EQ(r.isHighlighted, DBX_COLOR_RED);
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
  // Another design starts a new history.
  host.replaceDesign(before);
  EXPECT_EQ(control.execute("redo"), "error: nothing to redo");
  EXPECT_EQ(control.execute("undo"), "error: nothing to undo");
}

TEST_F(HostControlTest, HooksReachTheEngine) {
  DBX::TConversation pcb;
  EXPECT_EQ(control.execute("busy pcb on"), "ok");
  EXPECT_EQ(host.TOpenDesign(0, 18000, "pcb", &pcb), DBX::DBX_SERVER_BUSY);
  EXPECT_EQ(control.execute("busy pcb off"), "ok");
  EXPECT_EQ(control.execute("inject pcb 2 32215"), "ok");
  ASSERT_EQ(host.TOpenDesign(0, 18000, "pcb", &pcb), DBX::DBX_OK);
  DBX::TDesign header;
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX::DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(control.execute("drop pcb 1"), "ok");
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX::DBX_OK);
  EXPECT_EQ(host.TGetDesignInfo(&pcb, &header), DBX::DBX_SERVER_TERMINATED);
  EXPECT_EQ(control.execute("calls pcb"), "ok 5");
}

TEST_F(HostControlTest, SaveWritesTheEditedDesignAndRemembersTheFile) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("hostcontrol-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "saved.json";
  ASSERT_EQ(control.execute("highlight pcb R1 10"), "ok");
  ASSERT_EQ(control.execute("save " + file.string()), "ok " + file.string());
  EXPECT_EQ(control.file(), file);
  EXPECT_EQ(readDesignFile(file).pcb.components[0].highlight, 10);

  // A folder that does not exist: the error says so and the file stays the one saved.
  ASSERT_EQ(control.execute("highlight pcb R1 3"), "ok");
  EXPECT_EQ(control.execute("save " + (dir / "missing" / "x.json").string()).rfind("error: ", 0),
            0u);
  EXPECT_EQ(control.file(), file);

  // An unwritable folder (root may write anywhere): the earlier file stays.
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
    EXPECT_EQ(control.execute("save").rfind("error: ", 0), 0u);
    ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
    EXPECT_EQ(readDesignFile(file).pcb.components[0].highlight, 10);
  }
  std::filesystem::remove_all(dir);
}

// The two-channel design served from a file of its own, as the host serves
// a file it opened.
class HostControlFileTest : public ::testing::Test {
 protected:
  ~HostControlFileTest() override { std::filesystem::remove_all(dir); }

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("hostcontrol-file-" + std::to_string(getpid()));
  const std::filesystem::path file = dir / "design.json";
  OpenedDesign opened = [this] {
    std::filesystem::create_directories(dir);
    saveDesignFile(twoChannelDesign(), file);
    return openDesign(file);
  }();
  HostDbx host{std::move(opened.design)};
  HostControl control{host, file, opened.storage, opened.stamp};
};

TEST_F(HostControlFileTest, FileChangedOnDiskIsNotOverwrittenUntilReadAgain) {
  ASSERT_EQ(control.execute("highlight pcb R1 10"), "ok");
  ASSERT_EQ(control.execute("save"), "ok " + file.string());  // not changed since: saved
  ASSERT_EQ(control.execute("save"), "ok " + file.string());  // and again

  // Another program edits the file: same size, same second, other bytes.
  Design edited = readDesignFile(file);
  edited.pcb.components[0].highlight = 11;
  saveDesignFile(edited, dir / "edited.json");
  std::filesystem::rename(dir / "edited.json", file);
  ASSERT_EQ(control.execute("highlight pcb R1 3"), "ok");
  EXPECT_EQ(control.execute("save"),
            "error: " + file.string() +
                ": not saved: the file was changed on disk since it was read; save to another "
                "file (save PATH) or read it again (reload)");
  EXPECT_EQ(readDesignFile(file).pcb.components[0].highlight, 11);  // the other program's work

  // Saving elsewhere keeps both.
  const auto copy = dir / "copy.json";
  ASSERT_EQ(control.execute("save " + copy.string()), "ok " + copy.string());
  EXPECT_EQ(readDesignFile(copy).pcb.components[0].highlight, 3);
  EXPECT_EQ(readDesignFile(file).pcb.components[0].highlight, 11);

  // Reading the file again takes the other program's work, and saves go on.
  HostControl again(host, file, opened.storage, opened.stamp);
  EXPECT_EQ(again.execute("save").rfind("error: ", 0), 0u);
  EXPECT_EQ(again.execute("reload"), "ok " + file.string());
  EXPECT_EQ(host.readDesign([](const Design& d) { return d.pcb.components[0].highlight; }), 11);
  ASSERT_EQ(again.execute("highlight pcb R2 4"), "ok");
  EXPECT_EQ(again.execute("save"), "ok " + file.string());
  EXPECT_EQ(readDesignFile(file).pcb.components[1].highlight, 4);
  EXPECT_EQ(HostControl(host, {}).execute("reload"), "error: no file to read again");
}

TEST_F(HostControlFileTest, EveryNameOfAChangedFileIsRefused) {
  // Another program edits the file in place: same inode.
  Design edited = readDesignFile(file);
  edited.pcb.components[0].highlight = 11;
  saveDesignFile(edited, dir / "edited.json");
  std::filesystem::copy_file(dir / "edited.json", file,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::create_directories(dir / "sub");
  std::filesystem::create_hard_link(file, dir / "hardlink.json");
  std::filesystem::create_symlink(file, dir / "symlink.json");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  for (const std::string& alias :
       {file.string(), dir.string() + "/./design.json", dir.string() + "/sub/../design.json",
        std::string("design.json"), std::string("./design.json"), std::string("hardlink.json"),
        std::string("symlink.json")}) {
    EXPECT_THAT(control.execute("save " + alias),
                ::testing::StartsWith("error: " + alias + ": not saved: "))
        << alias;
  }
  std::filesystem::current_path(cwd);
  EXPECT_EQ(readDesignFile(file).pcb.components[0].highlight, 11);
  EXPECT_EQ(control.file(), file);
}

TEST_F(HostControlFileTest, AFileReplacedWithTheSameBytesIsAnotherFile) {
  // Same bytes, same time, but another file put in its place: its owner may
  // have meant something else by it, so it is not taken for the one read.
  const auto copy = dir / "copy.json";
  std::filesystem::copy_file(file, copy, std::filesystem::copy_options::copy_symlinks);
  struct stat original {};
  ASSERT_EQ(stat(file.c_str(), &original), 0);
  const timespec times[2] = {original.st_atim, original.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);
  std::filesystem::rename(copy, file);
  EXPECT_THAT(control.execute("save"), ::testing::HasSubstr("changed on disk"));
}

TEST_F(HostControlFileTest, ClientLookupsFollowRemovedPartsAndTheFileReadAgain) {
  using namespace DBX;
  TConversation pcb, sch;
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);
  TComponent c;
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R1", &c), DBX_OK);
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "U1", &c), DBX_OK);

  ASSERT_EQ(control.execute("remove pcb R1"), "ok");
  EXPECT_EQ(host.TGetCompByRefDes(&pcb, "R1", &c), DBX_COMPONENT_NOT_FOUND);
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R2", &c), DBX_OK);
  EXPECT_EQ(c.compId, 2);
  ASSERT_EQ(host.TMoveComponent(&pcb, 3000, 0, &c), DBX_OK);
  host.readDesign([](const Design& d) {
    ASSERT_EQ(d.pcb.components.size(), 1u);
    EXPECT_EQ(d.pcb.components[0].placement.refPoint.x, 3000);
  });
  TComponent gone;
  gone.compId = 1;
  EXPECT_EQ(host.TMoveComponent(&pcb, 1, 0, &gone), DBX_COMPONENT_NOT_FOUND);

  ASSERT_EQ(control.execute("remove sch U1"), "ok");
  EXPECT_EQ(host.TGetCompByRefDes(&sch, "U1", &c), DBX_COMPONENT_NOT_FOUND);
  TPin pin;
  ASSERT_EQ(host.TGetFirstCompPin(&sch, "R2", &pin), DBX_OK);
  EXPECT_EQ(pin.netId, 3);
  TComponent symbol;
  symbol.compId = 4;  // R2's symbol, now the second
  ASSERT_EQ(host.THighlightItem(&sch, DBX_COLOR_RED, &symbol), DBX_OK);
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "R2", &c), DBX_OK);
  EXPECT_EQ(c.isHighlighted, DBX_COLOR_RED);

  // The file still holds every part; the conversations end with the reload.
  ASSERT_EQ(control.execute("reload"), "ok " + file.string());
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R1", &c), DBX_OK);
  EXPECT_EQ(c.compId, 1);
  ASSERT_EQ(host.TGetCompByRefDes(&pcb, "R2", &c), DBX_OK);
  EXPECT_EQ(c.refPoint.x, 0);
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "U1", &c), DBX_OK);
  EXPECT_EQ(c.numberParts, 2);
  ASSERT_EQ(host.TGetCompByRefDes(&sch, "R2", &c), DBX_OK);
  EXPECT_EQ(c.isHighlighted, 0);
}

}  // namespace
}  // namespace dbxhost
