// KiCad's own demo complex_hierarchy (two instances of the sheet ampli_ht)
// through a dbxhost process: "Load SCH", "Fill By Sheets" and "Place" as a
// user runs them, the board saved by the host and then judged by KiCad's
// pcbnew module (kicadcheck.py beside this file): the copy must be the
// template shifted by one vector, pad for pad, with nothing else changed and
// no courtyard overlap the template does not have. "Undo Place" must give
// back the very file the host started on.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "scriptedui.h"
#include "storage/fileio.h"

#include <sys/wait.h>

namespace {

using placement::Control;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

const fs::path kDemo = "/usr/share/kicad/demos/complex_hierarchy";
const char* const kBoardName = "complex_hierarchy.kicad_pcb";
constexpr const char* kPython = "/usr/bin/python3";
// The sheet instance of ampli_ht whose footprints the variant turns; U3 is
// one of them.
const std::string kTurnedSheet = "/00000000-0000-0000-0000-00004b3a1333/";
const std::string kLockedFootprint = "(footprint \"Package_TO_SOT_THT:TO-92_HandSolder\" locked";

struct ProcessRun {
  int status = -1;
  std::string output;
};

// Runs the command with the shell, stderr joined to stdout.
ProcessRun run(const std::vector<std::string>& words) {
  std::string command;
  for (const std::string& word : words) command += "'" + word + "' ";
  command += "2>&1";
  ProcessRun result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) result.output += buffer;
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool pcbnewImports() {
  return fs::exists(kPython) && run({kPython, "-c", "import pcbnew"}).status == 0;
}

class KicadDemoProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kDemo / kBoardName)) GTEST_SKIP() << "KiCad's demos are not installed";
    if (!pcbnewImports()) GTEST_SKIP() << kPython << " cannot import KiCad's pcbnew";
    for (const fs::directory_entry& entry : fs::directory_iterator(kDemo)) {
      fs::copy_file(entry.path(), fs::path(work) / entry.path().filename());
    }
    board = (fs::path(work) / kBoardName).string();
  }
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
  }

  // Q8 is locked in the demo; the copy of the board is unlocked as a user
  // would unlock it in KiCad.
  void unlockQ8() {
    std::string text = dbxhost::readFileText(board);
    const std::size_t at = text.find(kLockedFootprint);
    ASSERT_NE(at, std::string::npos);
    text.erase(at + kLockedFootprint.size() - std::string(" locked").size(),
               std::string(" locked").size());
    dbxhost::writeFileAtomically(board, text);
  }

  // Starts the host on the board and runs the user's steps up to the
  // "Place Groups" page.
  void startAndFill() {
    original = dbxhost::readFileText(board);
    host = std::make_unique<HostProcess>(board, dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
    form->LdSCHClick();
    form->GroupSelector1().FillBySheetButtonClick();
    ASSERT_TRUE(form->placeTabVisible());
    form->PageControl1Change(TForm1::kPlacePage);
    ASSERT_EQ(placer().GroupCount(), 2u);
    ASSERT_EQ(placer().ItemsPerGroup(), 29u);
  }

  placement::TPlacer& placer() { return form->Placer1(); }

  // The group line that lists the designator.
  std::size_t lineWith(const std::string& refDes) {
    const std::vector<std::string>& lines = placer().GroupLines();
    for (std::size_t line = 0; line < lines.size(); ++line) {
      if (("," + lines[line] + ",").find("," + refDes + ",") != std::string::npos) return line;
    }
    ADD_FAILURE() << "no group lists " << refDes;
    return 0;
  }

  // Places the other group one row below the template, the lower instance:
  // just off the board, clear of its copper, whose connectivity KiCad would
  // otherwise recompute where a copy's pad lands on a track of another net.
  void placeBelow(std::size_t templateLine, bool routing = false) {
    // The demo is routed, so the routing is copied unless the user says no.
    EXPECT_TRUE(placer().CopyRouting());
    placer().SetCopyRouting(routing);
    placer().GroupsListClick(templateLine);
    placer().SetCorner(placement::RectCorner::LeftTop);
    placer().EditField(Control::Rows, "2");
    ASSERT_EQ(placer().FieldOf(Control::Cols).text, "1");
    ASSERT_TRUE(placer().PlaceEnabled());
    ui.answers = {true};  // yes, beyond the board
    placer().PlaceClick();
  }

  // TEMPLATE=COPY for every item, template group first.
  std::vector<std::string> pairs(std::size_t templateLine) {
    const std::size_t n = placer().ItemsPerGroup();
    const std::size_t copyLine = 1 - templateLine;
    std::vector<std::string> out;
    for (std::size_t item = 0; item < n; ++item) {
      const DBX::Component* model = placer().Components()[templateLine * n + item];
      const DBX::Component* copy = placer().Components()[copyLine * n + item];
      if (model == nullptr || copy == nullptr) continue;
      out.push_back(std::string(DBX::getText(model->record.refDes)) + "=" +
                    std::string(DBX::getText(copy->record.refDes)));
    }
    return out;
  }

  void save() { ASSERT_EQ(host->command("save"), "ok " + board); }

  // Places, saves and has KiCad judge the board against the one the host
  // started on; then undoes, saves and expects that very file back.
  void placeCheckAndUndo(std::size_t templateLine) {
    placeBelow(templateLine);
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
    // Below the board: the host serves the extent of the Edge.Cuts, so Place
    // asked first.
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].rfind("Parts that would lie outside the board: ", 0), 0u)
        << ui.questions[0];
    ASSERT_TRUE(placer().UndoEnabled());
    save();
    const fs::path before = fs::path(work) / "original.kicad_pcb";
    dbxhost::writeFileAtomically(before, original);
    std::vector<std::string> words = {kPython, TANDREL_KICADCHECK, "check", before.string(), board};
    for (const std::string& pair : pairs(templateLine)) words.push_back(pair);
    ASSERT_EQ(words.size(), 5u + 29u);
    const ProcessRun check = run(words);
    EXPECT_EQ(check.status, 0) << check.output;
    std::cout << check.output;

    placer().UndoPlaceClick();
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
    EXPECT_FALSE(placer().UndoEnabled());
    save();
    EXPECT_TRUE(dbxhost::readFileText(board) == original)
        << "the board after Undo Place differs from the original";
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("kicad-demo-e2e");
  const std::string work = makePrivateTempDir("kicad-demo-work");
  std::string board;
  std::string original;
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
};

TEST_F(KicadDemoProcessTest, TheCopyIsTheTemplateShiftedByOneVectorAndUndoRestoresTheFile) {
  unlockQ8();
  startAndFill();
  placeCheckAndUndo(lineWith("U3"));
}

TEST_F(KicadDemoProcessTest, ATemplateTurnedByHalfAndWholeQuartersOnTheBottomIsRepeated) {
  unlockQ8();
  const ProcessRun turn = run({kPython, TANDREL_KICADCHECK, "turn", board, kTurnedSheet});
  ASSERT_EQ(turn.status, 0) << turn.output;
  std::istringstream turned(turn.output);
  std::string first;
  ASSERT_TRUE(std::getline(turned, first));
  startAndFill();
  placeCheckAndUndo(lineWith("U3"));
}

// With the routing copied, every copy's reference and value texts take the
// template's place, angle, side and visibility relative to the footprint,
// and KiCad reads them there from the saved board.
TEST_F(KicadDemoProcessTest, CopiedTextsStandAsTheTemplatesInTheSavedBoard) {
  unlockQ8();
  startAndFill();
  placeBelow(lineWith("U3"), /*routing=*/true);
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  ASSERT_TRUE(placer().UndoEnabled());
  save();
  std::vector<std::string> words = {kPython, TANDREL_KICADCHECK, "texts", board};
  for (const std::string& pair : pairs(lineWith("U3"))) words.push_back(pair);
  ASSERT_EQ(words.size(), 4u + 29u);
  const ProcessRun check = run(words);
  EXPECT_EQ(check.status, 0) << check.output;
  std::cout << check.output;
}

TEST_F(KicadDemoProcessTest, ALockedTargetMovesNothingAndIsNamed) {
  startAndFill();
  // Q8 is a part of the other instance; with U3's group as the template it
  // is a target.
  placeBelow(lineWith("U3"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Locked parts cannot be moved: Q8\n", 0), 0u)
      << ui.boxes[0].text;
  EXPECT_FALSE(placer().UndoEnabled());
  EXPECT_TRUE(ui.questions.empty());  // refused before any question
  save();
  EXPECT_TRUE(dbxhost::readFileText(board) == original);
}

}  // namespace
