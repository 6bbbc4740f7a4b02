#include "window/hostsession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "storage/designfile.h"

namespace dbxhost {
namespace {

namespace fs = std::filesystem;
using namespace DBX;

const fs::path kQuad = fs::path(TANDREL_EXAMPLES_DIR) / "quad-preamp.json";
const fs::path kFlat = fs::path(TANDREL_EXAMPLES_DIR) / "flat-3ch.json";

std::string contentOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class HostSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "hostsessiontest-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    file_ = dir_ / "board.json";
    fs::copy_file(kQuad, file_);
    host_.emplace(readDesignFile(file_));
    session_.emplace(*host_, file_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }

  // A client's edit, as a DBX client would make it.
  void clientMove() {
    TConversation pcb;
    ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
    TComponent c;
    ASSERT_EQ(host_->TGetFirstComponent(&pcb, &c), DBX_OK);
    ASSERT_EQ(host_->TMoveComponent(&pcb, 100000, 0, &c), DBX_OK);
    ASSERT_EQ(host_->TCloseDesign(&pcb, ""), DBX_OK);
  }
  Design hostDesign() const {
    return host_->readDesign([](const Design& d) { return d; });
  }

  fs::path dir_;
  fs::path file_;
  std::optional<HostDbx> host_;
  std::optional<HostSession> session_;
};

TEST_F(HostSessionTest, EditsAreUnsavedUntilSaved) {
  EXPECT_FALSE(session_->modified());
  EXPECT_EQ(session_->file(), file_);
  clientMove();
  EXPECT_TRUE(session_->modified());
  session_->save();
  EXPECT_FALSE(session_->modified());
  EXPECT_EQ(readDesignFile(file_), hostDesign());
  ASSERT_EQ(session_->execute("highlight pcb R1 10"), "ok");
  EXPECT_TRUE(session_->modified());
}

TEST_F(HostSessionTest, SaveAsMovesTheSessionToTheNewFile) {
  clientMove();
  const fs::path copy = dir_ / "copy.json";
  session_->saveAs(copy);
  EXPECT_EQ(session_->file(), copy);
  EXPECT_FALSE(session_->modified());
  EXPECT_EQ(readDesignFile(copy), hostDesign());
  EXPECT_EQ(contentOf(file_), contentOf(kQuad));  // the old file is as it was
  // The save command now writes the new file too.
  clientMove();
  ASSERT_EQ(session_->execute("save"), "ok " + copy.string());
  EXPECT_EQ(readDesignFile(copy), hostDesign());
}

TEST_F(HostSessionTest, AFailedSaveKeepsEverythingAndSaysWhy) {
  clientMove();
  const fs::path target = dir_ / "missing" / "board.json";
  try {
    session_->saveAs(target);
    FAIL() << "saving into a missing folder succeeded";
  } catch (const DesignFileError& e) {
    EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(session_->file(), file_);
  EXPECT_TRUE(session_->modified());

  // The session's own file turned into a folder: nothing replaces it.
  fs::remove(file_);
  fs::create_directory(file_);
  fs::copy_file(kQuad, file_ / "inside.json");
  EXPECT_THROW(session_->save(), DesignFileError);
  EXPECT_TRUE(session_->modified());
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_EQ(contentOf(file_ / "inside.json"), contentOf(kQuad));
  const std::string answer = session_->execute("save");
  EXPECT_TRUE(answer.starts_with("error: ")) << answer;
  EXPECT_TRUE(session_->modified());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "temporary files were left behind";
}

TEST_F(HostSessionTest, TheSaveCommandCountsAsSaving) {
  clientMove();
  const fs::path other = dir_ / "other.json";
  ASSERT_EQ(session_->execute("save " + other.string()), "ok " + other.string());
  EXPECT_FALSE(session_->modified());
  EXPECT_EQ(session_->file(), other);
  // Other commands, and a save that fails, do not.
  clientMove();
  EXPECT_EQ(session_->execute("summary").substr(0, 3), "ok ");
  EXPECT_TRUE(
      session_->execute("save " + (dir_ / "missing" / "x.json").string()).starts_with("error: "));
  EXPECT_TRUE(session_->modified());
  EXPECT_EQ(session_->file(), other);
  EXPECT_FALSE(session_->quitRequested());
  EXPECT_EQ(session_->execute("quit"), "ok");
  EXPECT_TRUE(session_->quitRequested());
}

TEST_F(HostSessionTest, OpeningAnotherFileReplacesTheDesignAndEndsConversations) {
  clientMove();
  TConversation pcb;
  ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  session_->open(kFlat);
  EXPECT_EQ(hostDesign(), readDesignFile(kFlat));
  EXPECT_EQ(session_->file(), kFlat);
  EXPECT_FALSE(session_->modified());
  // The former client learns that its conversation ended, and may reconnect.
  EXPECT_FALSE(host_->isHeld(kToolPcb));
  TDesign header;
  EXPECT_EQ(host_->TGetDesignInfo(&pcb, &header), DBX_SERVER_TERMINATED);
  EXPECT_EQ(host_->TGetDesignInfo(&pcb, &header), DBX_NO_CONNECTION);
  TConversation again;
  EXPECT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &again), DBX_OK);
}

TEST_F(HostSessionTest, AFileThatCannotBeOpenedChangesNothing) {
  clientMove();
  const Design before = hostDesign();
  const fs::path bad = dir_ / "bad.json";
  std::ofstream(bad) << "{ \"format\": \"tandrel-design\", ";
  try {
    session_->open(bad);
    FAIL() << "a truncated file was opened";
  } catch (const DesignFileError& e) {
    EXPECT_NE(std::string(e.what()).find(bad.string()), std::string::npos) << e.what();
  }
  EXPECT_THROW(session_->open(dir_ / "missing.json"), DesignFileError);
  EXPECT_EQ(hostDesign(), before);
  EXPECT_EQ(session_->file(), file_);
  EXPECT_TRUE(session_->modified());
}

// A conversation as a placement makes it: moves, flips, turns and
// highlights of several parts.
void clientPlacement(HostDbx& host) {
  TConversation pcb;
  ASSERT_EQ(host.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &pcb), DBX_OK);
  TComponent c;
  int n = 0;
  for (int32_t status = host.TGetFirstComponent(&pcb, &c); status == DBX_OK && n < 4;
       status = host.TGetNextComponent(&pcb, &c), ++n) {
    TComponent r = c;
    if (r.isFixed) continue;
    ASSERT_EQ(host.TMoveComponent(&pcb, 123450 * (n + 1), -67890, &r), DBX_OK);
    if (n % 2 == 0) {
      ASSERT_EQ(host.TFlipComponent(&pcb, r.refPoint, &r), DBX_OK);
    }
    ASSERT_EQ(host.TRotateComponent(&pcb, 450 * (n + 1), r.refPoint, &r), DBX_OK);
    ASSERT_EQ(host.THighlightItem(&pcb, DBX_COLOR_RED, &r), DBX_OK);
  }
  ASSERT_EQ(host.TCloseDesign(&pcb, ""), DBX_OK);
}

TEST_F(HostSessionTest, UndoOfEveryEditSavesTheFileAsItWas) {
  const fs::path board = dir_ / "duo-kicad6.kicad_pcb";
  fs::copy_file(fs::path(TANDREL_EXAMPLES_DIR) / "kicad" / "duo-kicad6" / "duo-kicad6.kicad_pcb",
                board);
  for (const fs::path& file : {file_, board}) {
    SCOPED_TRACE(file);
    session_->open(file);
    // The design as the host writes it unedited (the design file's own
    // layout may differ from the example's).
    const fs::path unedited = dir_ / ("unedited-" + file.filename().string());
    ASSERT_EQ(session_->execute("save " + unedited.string()), "ok " + unedited.string());
    clientPlacement(*host_);
    clientPlacement(*host_);
    ASSERT_EQ(session_->execute("save " + file.string()), "ok " + file.string());
    EXPECT_NE(contentOf(file), contentOf(unedited));
    EXPECT_EQ(session_->execute("undo"), "ok undone: 4 parts");
    EXPECT_EQ(session_->execute("undo"), "ok undone: 4 parts");
    EXPECT_EQ(session_->execute("undo"), "error: nothing to undo");
    ASSERT_EQ(session_->execute("save"), "ok " + file.string());
    EXPECT_EQ(contentOf(file), contentOf(unedited));
  }
  // The KiCad board is the file it was read from, byte for byte.
  EXPECT_EQ(contentOf(board), contentOf(fs::path(TANDREL_EXAMPLES_DIR) / "kicad" / "duo-kicad6" /
                                        "duo-kicad6.kicad_pcb"));
  // And redo brings the edits back.
  EXPECT_EQ(session_->execute("redo"), "ok redone: 4 parts");
  EXPECT_TRUE(session_->modified());
}

TEST_F(HostSessionTest, TheStatusLineNamesToolsWithAClientAndTheFile) {
  const std::string idle = session_->statusLine();
  EXPECT_NE(idle.find("PCB editor: no client"), std::string::npos) << idle;
  EXPECT_NE(idle.find("Schematic editor: no client"), std::string::npos) << idle;
  EXPECT_NE(idle.find(file_.string()), std::string::npos) << idle;
  EXPECT_EQ(idle.find("unsaved"), std::string::npos) << idle;

  TConversation sch;
  ASSERT_EQ(host_->TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &sch), DBX_OK);
  clientMove();
  const std::string busy = session_->statusLine();
  EXPECT_NE(busy.find("PCB editor: no client"), std::string::npos) << busy;
  EXPECT_NE(busy.find("Schematic editor: client connected"), std::string::npos) << busy;
  EXPECT_NE(busy.find("(unsaved changes)"), std::string::npos) << busy;
}

}  // namespace
}  // namespace dbxhost
