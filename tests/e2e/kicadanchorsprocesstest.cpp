// Place by anchors through a dbxhost process, as a user runs it ("Load SCH",
// "Fill By Sheets", "Anchors" with the routing copied and the copies' old
// routing replaced), the board saved by the host and judged by KiCad 9's
// pcbnew (kicadanchorcheck.py beside this file):
// - KiCad's multichannel demo, its channels CH2 to CH4 stripped of their
//   copper and of every part but their anchor, comes back as KiCad's own
//   file has it;
// - with the anchors turned by 90 and 45 degrees and flipped, each copy is
//   KiCad's own Rotate and Flip of the template about its anchor;
// - KiCad's complex_hierarchy placed over its copy's old routing keeps
//   KiCad's DRC as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "formsession.h"
#include "kicadjudge.h"
#include "storage/fileio.h"

namespace {

using placement::Arrangement;
namespace fs = std::filesystem;

const fs::path kDemos = "/usr/share/kicad/demos";
const fs::path kMultichannel = kDemos / "multichannel" / "multichannel_mixer.kicad_pcb";
// Channel CH1, the routed one, and its part with the most pins.
const char* const kChannelOne = "/8b945230-5f99-4834-98ec-44a11b86c8e7/";
const char* const kMultichannelAnchor = "IC2";

class KicadAnchorsProcessTest : public dbxhost::kicad::testing::KicadPythonTest,
                                protected tandrel::testing::FormSession {
 protected:
  KicadAnchorsProcessTest() : FormSession("kicad-anchors") {}

  // Copies the demo's folder; the board's path in the copy.
  void copyDemo(const std::string& folder, const std::string& boardName) {
    for (const fs::directory_entry& entry : fs::directory_iterator(kDemos / folder)) {
      if (entry.is_regular_file()) {
        tandrel::testing::copyForEditing(entry.path(), fs::path(work) / entry.path().filename());
      }
    }
    board = (fs::path(work) / boardName).string();
  }

  // Runs a judge script on the copy's boards; its output goes to the log.
  void judge(const char* script, const std::string& arguments) {
    std::string said;
    EXPECT_EQ(run(script, arguments, said), 0) << said;
    std::cout << said;
  }

  // The multichannel demo with CH2 to CH4 stripped for the anchors, each
  // channel's anchor turned as turns says ("/CH2/=90" ...); enriched, CH1
  // gets a via, an arc and a filled zone first, so that every kind of copper
  // is carried.
  void prepareMultichannel(const std::string& turns, bool enriched) {
    copyDemo("multichannel", kMultichannel.filename());
    std::string said;
    if (enriched) {
      ASSERT_EQ(run(TANDREL_KICADCHECK, "enrich " + board + " " + kChannelOne, said), 0) << said;
    }
    ASSERT_EQ(run(TANDREL_KICADANCHORCHECK,
                  "prepare " + board + " " + kMultichannelAnchor + " " + turns, said),
              0)
        << said;
  }

  // Starts the host on the board, loads the schematic, fills by sheets and
  // places every group on its anchor, the template being the group that
  // holds templatePart and the anchor its part anchorPart (empty: the part
  // the page offers first); Replace is on.
  void placeByAnchors(const std::string& templatePart, const std::string& anchorPart,
                      std::size_t groups) {
    before = dbxhost::readFileText(board);
    start(board);
    form->LdSCHClick();
    form->GroupSelector1().FillBySheetButtonClick();
    ASSERT_TRUE(form->placeTabVisible());
    form->PageControl1Change(TForm1::kPlacePage);
    ASSERT_EQ(placer().GroupCount(), groups);
    const std::vector<std::string>& lines = placer().GroupLines();
    std::size_t line = 0;
    while (line < lines.size() &&
           ("," + lines[line] + ",").find("," + templatePart + ",") == std::string::npos)
      ++line;
    ASSERT_LT(line, lines.size()) << "no group lists " << templatePart;
    placer().GroupsListClick(line);
    placer().SetArrangement(Arrangement::Anchors);
    bool chosen = anchorPart.empty();  // the page's own choice
    for (const auto& choice : placer().AnchorChoices()) {
      if (choice.refDes != anchorPart) continue;
      placer().SetAnchorItem(choice.item);
      chosen = true;
    }
    ASSERT_TRUE(chosen) << anchorPart << " is not among the anchors offered";
    placer().SetCopyRouting(true);
    EXPECT_TRUE(placer().ReplaceRouting());  // on by default
    ASSERT_TRUE(placer().PlaceEnabled());
    // Yes to whatever Place asks (parts beyond the board, parts overlapping).
    ui.answers = {true, true, true};
    placer().PlaceClick();
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
    EXPECT_EQ(placer().PlaceReport().rfind("Placed " + std::to_string(groups - 1) + " groups: ", 0),
              0u)
        << placer().PlaceReport();
    std::cout << placer().PlaceReport() << "\n";
    save();
  }

  placement::TPlacer& placer() { return form->Placer1(); }
  void save() { ASSERT_EQ(host->command("save"), "ok " + board); }

  // The board the host started on, written beside the saved one.
  std::string boardBefore() {
    const fs::path path = fs::path(work) / "before.kicad_pcb";
    dbxhost::writeFileAtomically(path, before);
    return path.string();
  }

  // Undo Place, then Save: the file the host started on, byte for byte,
  // deleted copper with its own identifiers.
  void expectUndoGivesTheBoardBack() {
    placer().UndoPlaceClick();
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
    save();
    EXPECT_TRUE(dbxhost::readFileText(board) == before)
        << "the board after Undo Place differs from the board before Place";
  }

  std::string board;
  std::string before;
};

TEST_F(KicadAnchorsProcessTest, MultichannelsChannelsComeBackWhereKicadHasThem) {
  if (!fs::exists(kMultichannel)) GTEST_SKIP() << "KiCad's demos are not installed";
  ASSERT_NO_FATAL_FAILURE(prepareMultichannel("", false));
  ASSERT_NO_FATAL_FAILURE(placeByAnchors(kMultichannelAnchor, kMultichannelAnchor, 4));
  judge(TANDREL_KICADANCHORCHECK,
        "restored " + kMultichannel.string() + " " + board + " " + kMultichannelAnchor);
  expectUndoGivesTheBoardBack();
}

TEST_F(KicadAnchorsProcessTest, TurnedAndFlippedAnchorsCarryTheTemplateAsKicadTurnsAndFlipsIt) {
  if (!fs::exists(kMultichannel)) GTEST_SKIP() << "KiCad's demos are not installed";
  ASSERT_NO_FATAL_FAILURE(prepareMultichannel("/CH2/=90 /CH3/=45 /CH4/=flip", true));
  ASSERT_NO_FATAL_FAILURE(placeByAnchors(kMultichannelAnchor, kMultichannelAnchor, 4));
  judge(TANDREL_KICADANCHORCHECK,
        "turned " + boardBefore() + " " + board + " " + kMultichannelAnchor);
  expectUndoGivesTheBoardBack();
}

// complex_hierarchy's two amplifiers stand 26.67 mm apart, but one spans
// 29.2 mm: no exact repeat of one fits beside the other on the board. The
// designer makes room as for any channel: the second one's anchor Q201 goes
// 4 mm down and the board's bottom edge 8 mm. Placed on its anchor over its
// old routing, the copy's old copper goes and the template's comes, and
// KiCad's DRC on the saved board finds nothing that it does not find on
// KiCad's own file, but on the nets by which the template reaches beyond
// its area: its supply tracks HT, -VAA and +12V run on into the second
// amplifier's place, where the copy's own ends are replaced, and its GND
// is the board's zone, which does not reach the room made below.
TEST_F(KicadAnchorsProcessTest, ComplexHierarchyPlacedOverItsOldRoutingKeepsKicadsDrc) {
  const fs::path demo = kDemos / "complex_hierarchy" / "complex_hierarchy.kicad_pcb";
  if (!fs::exists(demo)) GTEST_SKIP() << "KiCad's demos are not installed";
  copyDemo("complex_hierarchy", demo.filename());
  std::string said;
  ASSERT_EQ(run(TANDREL_KICADANCHORCHECK, "room " + board + " Q201 4 8", said), 0) << said;
  // The template holds the demo's locked transistor, which stays.
  ASSERT_NO_FATAL_FAILURE(placeByAnchors("Q304", "Q301", 2));
  judge(TANDREL_KICADANCHORCHECK, "drc " + demo.string() + " " + board + " GND HT -VAA +12V");
  expectUndoGivesTheBoardBack();
}

}  // namespace
