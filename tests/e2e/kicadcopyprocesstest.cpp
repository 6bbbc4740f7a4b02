// KiCad 9's own demos placed with their routing through a dbxhost process
// and judged by KiCad 9's pcbnew (kicadcopycheck.py beside this file): every
// copied zone repeats its template's settings (a teardrop stays a teardrop),
// KiCad's DRC finds no "Items not allowed" that the board lacked, and a board
// the host saved keeps every item through KiCad's own load and save.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "kicadjudge.h"
#include "scriptedui.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"

namespace {

using placement::Control;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

const fs::path kDemos = "/usr/share/kicad/demos";

// How often part occurs in text, as literal text.
std::size_t occurrences(const std::string& text, const std::string& part) {
  const std::regex literal(
      std::regex_replace(part, std::regex(R"([()\\^$.|?*+\[\]{}])"), R"(\$&)"));
  return std::size_t(std::distance(std::sregex_iterator(text.begin(), text.end(), literal),
                                   std::sregex_iterator()));
}

// The number after a label in the judge's output; -1 when it is missing.
long figure(const std::string& output, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(output, match, std::regex(label + " (\\d+)"))) return -1;
  return std::stol(match[1]);
}

class KicadCopyProcessTest : public dbxhost::kicad::testing::KicadPythonTest {
 protected:
  // Copies the demo's folder, lets edit change the board's text, and starts
  // the host on the board.
  void open(const std::string& folder, const std::string& boardName,
            const std::function<std::string(std::string)>& edit = {}) {
    const fs::path demo = kDemos / folder;
    if (!fs::exists(demo / boardName)) GTEST_SKIP() << "KiCad's demos are not installed";
    for (const fs::directory_entry& entry : fs::directory_iterator(demo)) {
      if (entry.is_regular_file())
        fs::copy_file(entry.path(), fs::path(work) / entry.path().filename());
    }
    board = (fs::path(work) / boardName).string();
    if (edit) dbxhost::writeFileAtomically(board, edit(dbxhost::readFileText(board)));
    original = dbxhost::readFileText(board);
    host = std::make_unique<HostProcess>(board, dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
  }
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
    KicadPythonTest::TearDown();
  }

  placement::TPlacer& placer() { return form->Placer1(); }

  // "Load SCH", "Fill By Sheets", then "Place" with the routing: the group
  // holding templatePart is the template, every other goes one row further
  // down, off the board, clear of its copper.
  void placeWithRouting(const std::string& templatePart, std::size_t groups) {
    form->LdSCHClick();
    form->GroupSelector1().FillBySheetButtonClick();
    ASSERT_TRUE(form->placeTabVisible());
    form->PageControl1Change(TForm1::kPlacePage);
    ASSERT_EQ(placer().GroupCount(), groups);
    std::size_t line = 0;
    while (line < placer().GroupLines().size() &&
           ("," + placer().GroupLines()[line] + ",").find("," + templatePart + ",") ==
               std::string::npos)
      ++line;
    ASSERT_LT(line, placer().GroupLines().size()) << "no group lists " << templatePart;
    placer().SetCopyRouting(true);
    placer().GroupsListClick(line);
    placer().SetCorner(placement::RectCorner::LeftTop);
    placer().EditField(Control::Rows, std::to_string(groups));
    placer().EditField(Control::GapY, "5");
    ASSERT_TRUE(placer().PlaceEnabled());
    ui.answers = {true};  // yes, beyond the board
    placer().PlaceClick();
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
    ASSERT_EQ(host->command("save"), "ok " + board);
  }

  // KiCad's judgement of the copies on the saved board against the original.
  std::string judgeCopies() {
    const fs::path before = fs::path(work) / "original.kicad_pcb";
    dbxhost::writeFileAtomically(before, original);
    std::string said;
    EXPECT_EQ(run(TANDREL_KICADCOPYCHECK, "copies " + before.string() + " " + board, said), 0)
        << said;
    std::cout << said;
    return said;
  }

  // KiCad loads and saves the board the host saved and loses nothing: as
  // many items of each kind as the host wrote, before and after.
  void judgeRoundTrip() {
    std::string said;
    EXPECT_EQ(run(TANDREL_KICADCOPYCHECK, "roundtrip " + board, said), 0) << said;
    std::cout << said;
    const std::string saved = dbxhost::readFileText(board);
    for (const auto& [kind, head] :
         std::vector<std::pair<std::string, std::string>>{{"footprint", "footprint"},
                                                          {"track", "segment"},
                                                          {"arc", "arc"},
                                                          {"via", "via"},
                                                          {"zone", "zone"},
                                                          {"group", "group"}}) {
      EXPECT_EQ(figure(said, kind), long(occurrences(saved, "\n\t(" + head + "\n") +
                                         occurrences(saved, "\n\t(" + head + " ")))
          << kind;
    }
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("kicad-copy-e2e");
  const std::string work = makePrivateTempDir("kicad-copy-work");
  std::string board;
  std::string original;
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
};

// complex_hierarchy's template channel has teardrops at its pads: every one
// is copied as a teardrop with the template's settings. The template holds
// the demo's locked transistor, so nothing locked is moved.
TEST_F(KicadCopyProcessTest, ComplexHierarchysTeardropsAreCopiedAsTeardrops) {
  open("complex_hierarchy", "complex_hierarchy.kicad_pcb");
  if (IsSkipped()) return;
  ASSERT_NO_FATAL_FAILURE(placeWithRouting("Q304", 2));
  const std::string saved = dbxhost::readFileText(board);
  EXPECT_GT(occurrences(saved, "(group \"Tandrel G"), 0u);
  const std::string output = judgeCopies();
  EXPECT_GT(figure(output, "teardrops copied"), 0);
  EXPECT_EQ(figure(output, "teardrops copied"), figure(output, "zones copied"));
  judgeRoundTrip();
}

// The template's transistor in complex_hierarchy gets a label line on the
// silkscreen, a box on the fab layer and an arc on the drawings layer: every
// copy has each of them carried as KiCad carries the transistor onto the
// copy's, once, also when placed twice.
TEST_F(KicadCopyProcessTest, TheTemplatesDrawingsFollowEveryCopy) {
  const std::vector<std::string> uuids = {"5a11c0de-0000-4000-8000-000000000001",
                                          "5a11c0de-0000-4000-8000-000000000002",
                                          "5a11c0de-0000-4000-8000-000000000003"};
  open("complex_hierarchy", "complex_hierarchy.kicad_pcb", [&](std::string text) {
    const dbxhost::kicad::KicadBoard read = dbxhost::kicad::parseKicadBoard(text, "demo");
    const auto q304 = std::find_if(read.footprints.begin(), read.footprints.end(),
                                   [](const auto& fp) { return fp.refDes == "Q304"; });
    if (q304 == read.footprints.end()) return text;
    auto at = [&](double dx, double dy) {
      char point[64];
      std::snprintf(point, sizeof point, "%.6f %.6f", double(q304->x) / 1e6 + dx,
                    double(q304->y) / 1e6 + dy);
      return std::string(point);
    };
    const std::string drawings =
        "\t(gr_line (start " + at(0, 0) + ") (end " + at(0.3, 0) +
        ") (stroke (width 0.12) (type solid)) (layer \"F.SilkS\") (uuid \"" + uuids[0] +
        "\"))\n\t(gr_rect (start " + at(-0.3, -0.3) + ") (end " + at(0.3, 0.2) +
        ") (stroke (width 0.1) (type solid)) (fill none) (layer \"F.Fab\") (uuid \"" + uuids[1] +
        "\"))\n\t(gr_arc (start " + at(-0.2, 0) + ") (mid " + at(0, -0.2) + ") (end " + at(0.2, 0) +
        ") (stroke (width 0.1) (type solid)) (layer \"Dwgs.User\") (uuid \"" + uuids[2] + "\"))\n";
    return text.insert(text.rfind(')'), drawings);
  });
  if (IsSkipped()) return;
  ASSERT_NE(original.find(uuids[2]), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(placeWithRouting("Q304", 2));
  // The copy's part at the transistor's item.
  const std::size_t items = placer().ItemsPerGroup();
  const auto& parts = placer().Components();
  std::string copies;
  for (std::size_t item = 0; item < items; ++item) {
    for (std::size_t group = 0; group < 2; ++group) {
      if (parts[group * items + item] == nullptr ||
          DBX::getText(parts[group * items + item]->record.refDes) != std::string("Q304"))
        continue;
      const DBX::Component* copy = parts[(1 - group) * items + item];
      ASSERT_NE(copy, nullptr);
      copies = DBX::getText(copy->record.refDes);
    }
  }
  ASSERT_FALSE(copies.empty());
  auto judge = [&] {
    std::string words = "drawings " + board + " Q304 " + copies;
    for (const std::string& uuid : uuids) words += " " + uuid;
    std::string said;
    EXPECT_EQ(run(TANDREL_KICADCOPYCHECK, words, said), 0) << said;
    std::cout << said;
    EXPECT_EQ(figure(said, "drawings copied"), 3);
  };
  judge();
  // Placed again, the copy's earlier drawings make room for the new ones.
  ui.answers = {true};
  placer().PlaceClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  ASSERT_EQ(host->command("save"), "ok " + board);
  judge();
  judgeRoundTrip();
}

// multichannel's channels each have a placement rule area; none is copied,
// so KiCad's DRC finds no new "Items not allowed".
TEST_F(KicadCopyProcessTest, MultichannelsPlacementAreasStayWithTheirChannels) {
  open("multichannel", "multichannel_mixer.kicad_pcb");
  if (IsSkipped()) return;
  ASSERT_NO_FATAL_FAILURE(placeWithRouting("IC5", 4));
  const std::string saved = dbxhost::readFileText(board);
  EXPECT_EQ(occurrences(saved, "(name \"auto-placement-area-"), 4u);
  EXPECT_GT(occurrences(saved, "(group \"Tandrel G"), 0u);
  judgeCopies();
  judgeRoundTrip();
}

}  // namespace
