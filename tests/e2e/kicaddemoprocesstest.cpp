// KiCad's own demo complex_hierarchy (two instances of the sheet ampli_ht),
// in KiCad 9's version and in KiCad 6.0.11's, through a dbxhost process: "Load SCH", "Fill By
// Sheets" and "Place" as a user runs them, the board saved by the host and then judged by KiCad's
// pcbnew module (kicadcheck.py beside this file): the copy must be the
// template shifted by one vector, pad for pad, with nothing else changed and
// no courtyard overlap the template does not have. "Undo Place" must give
// back the very file the host started on. KiCad's flat demo ecc83-pp, whose
// two amplifier stages a user may take for two channels, through "Add
// Selected".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "groups/selectsheetvars.h"
#include "hostprocess.h"
#include "scriptedui.h"
#include "storage/fileio.h"
#include "storage/kicad/sexpr.h"

#include <sys/wait.h>

namespace {

using placement::Control;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

const char* const kBoardName = "complex_hierarchy.kicad_pcb";
constexpr const char* kPython = "/usr/bin/python3";
// The sheet instance of ampli_ht whose footprints the variant turns.
const std::string kTurnedSheet = "/00000000-0000-0000-0000-00004b3a1333/";

// One generation of the demo: KiCad 9's, installed with KiCad, and KiCad
// 6.0.11's, which scripts/test unpacks from Debian's own package. KiCad 9
// renumbered the parts.
struct DemoGeneration {
  const char* name;
  fs::path demos;            // the folder of KiCad's demo projects
  const char* templatePart;  // a part of the turned sheet's instance
  const char* lockedPart;    // the demo's one locked footprint, in the other instance
};

const DemoGeneration kKicad9{"Kicad9", "/usr/share/kicad/demos", "U201", "Q304"};
const DemoGeneration kKicad6{"Kicad6", TANDREL_KICAD6_DEMOS, "U3", "Q8"};

std::string generationName(const ::testing::TestParamInfo<DemoGeneration>& info) {
  return info.param.name;
}

void PrintTo(const DemoGeneration& generation, std::ostream* out) { *out << generation.name; }

// Skips the test when the generation's demos are not here.
#define SKIP_WITHOUT_DEMO(generation, project)                                    \
  if (!fs::exists((generation).demos / (project)))                                \
  GTEST_SKIP() << (generation).name << "'s demo " << (project) << " is not in \"" \
               << (generation).demos.string()                                     \
               << "\" (KiCad 9's come with kicad-demos; scripts/test unpacks KiCad 6's)"

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

class KicadDemoProcessTest : public ::testing::TestWithParam<DemoGeneration> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEMO(GetParam(), fs::path("complex_hierarchy") / kBoardName);
    if (!pcbnewImports()) GTEST_SKIP() << kPython << " cannot import KiCad's pcbnew";
    fs::copy(GetParam().demos / "complex_hierarchy", work, fs::copy_options::recursive);
    board = (fs::path(work) / kBoardName).string();
  }
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
  }

  std::string templatePart() const { return GetParam().templatePart; }
  std::string lockedPart() const { return GetParam().lockedPart; }

  // One footprint is locked in the demo; the copy of the board is unlocked
  // as a user would unlock it in KiCad: KiCad 6 writes "(footprint "NAME"
  // locked", KiCad 9 a line "(locked yes)" in the footprint.
  void unlockTheLockedPart() {
    std::string text = dbxhost::readFileText(board);
    const std::string kicad6 = "\" locked (layer", kicad9 = "\n\t\t(locked yes)";
    const std::size_t old = text.find(kicad6), now = text.find(kicad9);
    ASSERT_NE(std::min(old, now), std::string::npos);
    if (old < now) {
      text.erase(old + 1, std::string(" locked").size());
    } else {
      text.erase(now, kicad9.size());
    }
    ASSERT_EQ(text.find(kicad6), std::string::npos);
    ASSERT_EQ(text.find(kicad9), std::string::npos);
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

TEST_P(KicadDemoProcessTest, TheCopyIsTheTemplateShiftedByOneVectorAndUndoRestoresTheFile) {
  unlockTheLockedPart();
  startAndFill();
  placeCheckAndUndo(lineWith(templatePart()));
}

TEST_P(KicadDemoProcessTest, ATemplateTurnedByHalfAndWholeQuartersOnTheBottomIsRepeated) {
  unlockTheLockedPart();
  const ProcessRun turn = run({kPython, TANDREL_KICADCHECK, "turn", board, kTurnedSheet});
  ASSERT_EQ(turn.status, 0) << turn.output;
  std::istringstream turned(turn.output);
  std::string first;
  ASSERT_TRUE(std::getline(turned, first));
  startAndFill();
  placeCheckAndUndo(lineWith(templatePart()));
}

// With the routing copied, every copy's reference and value texts take the
// template's place, angle, side and visibility relative to the footprint,
// and KiCad reads them there from the saved board.
TEST_P(KicadDemoProcessTest, CopiedTextsStandAsTheTemplatesInTheSavedBoard) {
  unlockTheLockedPart();
  startAndFill();
  placeBelow(lineWith(templatePart()), /*routing=*/true);
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  ASSERT_TRUE(placer().UndoEnabled());
  save();
  std::vector<std::string> words = {kPython, TANDREL_KICADCHECK, "texts", board};
  for (const std::string& pair : pairs(lineWith(templatePart()))) words.push_back(pair);
  ASSERT_EQ(words.size(), 4u + 29u);
  const ProcessRun check = run(words);
  EXPECT_EQ(check.status, 0) << check.output;
  std::cout << check.output;
}

TEST_P(KicadDemoProcessTest, ALockedTargetMovesNothingAndIsNamed) {
  startAndFill();
  // The locked part is one of the other instance; with the template part's
  // group as the template it is a target.
  placeBelow(lineWith(templatePart()));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Locked parts cannot be moved: " + lockedPart() + "\n", 0), 0u)
      << ui.boxes[0].text;
  EXPECT_FALSE(placer().UndoEnabled());
  EXPECT_TRUE(ui.questions.empty());  // refused before any question
  save();
  EXPECT_TRUE(dbxhost::readFileText(board) == original);
}

// Place with the template's routing. The copy goes one row below the
// template, off the board: there it lands on no copper of the board, so
// KiCad's connectivity and DRC judge the copied copper alone, and whatever
// they find at the copy that they do not find at the template is the copy's
// fault. The row gap keeps the copy's copper clear of the board's edge.
class KicadDemoRoutingTest : public KicadDemoProcessTest {
 protected:
  void placeRoutedBelow(std::size_t templateLine) {
    placer().EditField(Control::GapY, "5");
    // The judge holds every item of the board to be where it was, so the
    // copy's own old routing stays: it is what these tests compare with.
    EXPECT_TRUE(placer().ReplaceRouting());
    placer().SetReplaceRouting(false);
    placeBelow(templateLine, true);
  }

  // The text with every uuid that the original board lacks blanked: the
  // copper a Place adds gets new identities each time, nothing else may
  // differ.
  std::string withNewIdentitiesBlanked(const std::string& text) const {
    static const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    std::string out;
    std::size_t from = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), uuid);
         it != std::sregex_iterator(); ++it) {
      const std::size_t at = std::size_t(it->position());
      out.append(text, from, at - from);
      out += original.find(it->str()) == std::string::npos ? "new-uuid" : it->str();
      from = at + it->str().size();
    }
    return out + text.substr(from);
  }

  // Has KiCad judge the routing copied on the saved board.
  void judgeRouting(std::size_t templateLine) {
    const fs::path before = fs::path(work) / "original.kicad_pcb";
    dbxhost::writeFileAtomically(before, original);
    std::vector<std::string> words = {kPython, TANDREL_KICADCHECK, "routed", before.string(),
                                      board};
    for (const std::string& pair : pairs(templateLine)) words.push_back(pair);
    const ProcessRun check = run(words);
    EXPECT_EQ(check.status, 0) << check.output;
    std::cout << check.output;
  }
};

TEST_P(KicadDemoRoutingTest, TheCopiedRoutingIsOnTheNetsKicadFindsAtItsPadsAndUndoRestoresTheFile) {
  unlockTheLockedPart();
  startAndFill();
  const std::size_t line = lineWith(templatePart());
  placeRoutedBelow(line);
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  ASSERT_TRUE(placer().UndoEnabled());
  save();
  EXPECT_NE(dbxhost::readFileText(board).find("Tandrel G"), std::string::npos);
  judgeRouting(line);

  placer().UndoPlaceClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  save();
  EXPECT_TRUE(dbxhost::readFileText(board) == original)
      << "the board after Undo Place differs from the original";
}

TEST_P(KicadDemoRoutingTest, PlacingWithRoutingTwiceSavesTheSameBoard) {
  unlockTheLockedPart();
  startAndFill();
  const std::size_t line = lineWith(templatePart());
  placeRoutedBelow(line);
  save();
  const std::string once = withNewIdentitiesBlanked(dbxhost::readFileText(board));
  ASSERT_NE(once, dbxhost::readFileText(board));  // the copy's copper is new
  // The copy now stands off the board, so replacing its routing takes only
  // what the first Place copied there.
  placer().SetReplaceRouting(true);
  ui.answers = {true};
  placer().PlaceClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  save();
  EXPECT_TRUE(withNewIdentitiesBlanked(dbxhost::readFileText(board)) == once)
      << "the board placed twice differs from the board placed once";
  judgeRouting(line);

  // Undo takes back the second Place alone: the first one's copper comes
  // back, under new identities again.
  placer().UndoPlaceClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  save();
  EXPECT_TRUE(withNewIdentitiesBlanked(dbxhost::readFileText(board)) == once)
      << "Undo Place after placing twice differs from the board placed once";
}

// The demo's copper is straight tracks; KiCad gives the template a via, an
// arc and a filled zone first, so that every kind of copper goes through the
// host's reading, Place and the host's writing.
TEST_P(KicadDemoRoutingTest, TheTemplatesViasArcsAndZonesAreCopiedOntoTheNetsKicadFinds) {
  unlockTheLockedPart();
  const ProcessRun enrich = run({kPython, TANDREL_KICADCHECK, "enrich", board, kTurnedSheet});
  ASSERT_EQ(enrich.status, 0) << enrich.output;
  const std::string enriched = dbxhost::readFileText(board);
  startAndFill();
  const std::size_t line = lineWith(templatePart());
  placeRoutedBelow(line);
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  save();
  // The template's and the copy's; the zones besides (KiCad 9's demo has
  // teardrops) are the judge's to count.
  const std::string savedText = dbxhost::readFileText(board);
  const dbxhost::kicad::SexprTree saved = dbxhost::kicad::parseSexpr(savedText, board);
  EXPECT_EQ(saved.lists("via").size(), 2u);
  EXPECT_EQ(saved.lists("arc").size(), 2u);
  EXPECT_GT(saved.lists("zone").size(),
            dbxhost::kicad::parseSexpr(enriched, board).lists("zone").size());
  judgeRouting(line);

  placer().UndoPlaceClick();
  save();
  EXPECT_TRUE(dbxhost::readFileText(board) == original)
      << "the board after Undo Place differs from the original";
}

INSTANTIATE_TEST_SUITE_P(Demos, KicadDemoProcessTest, ::testing::Values(kKicad9, kKicad6),
                         generationName);
INSTANTIATE_TEST_SUITE_P(Demos, KicadDemoRoutingTest, ::testing::Values(kKicad9, kKicad6),
                         generationName);

// "Fill By Sheets" on KiCad 9's hierarchical demos, through a dbxhost process
// serving a copy of the project: the sets of repeated sheets it finds, and
// the groups the chosen set gives.
class KicadDemoSheetsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
  }

  // Loads the schematic of the project's board and fills by sheets, taking
  // the set with the most sheets when there is a choice.
  void fillBySheets(const std::string& project, const std::string& boardName) {
    const fs::path source = kKicad9.demos / project;
    fs::copy(source, work, fs::copy_options::recursive);
    host = std::make_unique<HostProcess>((fs::path(work) / boardName).string(), dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
    form->LdSCHClick();
    ASSERT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
    TGroupSelector& page = form->GroupSelector1();
    page.chooseSheetSet = [this](const SelectSheetVars& vars) {
      std::optional<TGroupSelector::SheetSetChoice> choice;
      for (std::size_t set = 0; set < vars.sheetSets.size(); ++set) {
        const auto [first, end] = vars.sheetSets[set];
        sets.emplace_back(vars.setSheetNames.begin() + std::ptrdiff_t(first),
                          vars.setSheetNames.begin() + std::ptrdiff_t(end));
        if (!choice || sets.back().size() > sets[choice->set].size()) choice = {set, 0};
      }
      return choice;
    };
    page.FillBySheetButtonClick();
    for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  }

  // The sheet of each group's first part, group by group.
  std::vector<std::string> groupSheets() {
    std::vector<std::string> sheets;
    const GroupTable& table = form->GroupSelector1().GrItems();
    for (int row = 1; row < table.rowCount(); ++row) {
      const ComponentGroup group = table.group(row);
      if (group.empty() || group[0] == nullptr) continue;
      sheets.emplace_back(form->design().sheetName(group[0]->sheetId));
    }
    return sheets;
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("kicad-sheets-e2e");
  const std::string work = makePrivateTempDir("kicad-sheets-work");
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
  std::vector<std::vector<std::string>> sets;  // as offered to choose from
};

// KiCad's multichannel showcase before its channels were placed: the board
// takes the project's root schematic, whose four channel strips become the
// four groups.
TEST_F(KicadDemoSheetsTest, MultichannelsFourChannelsAreFoundOnTheUnroutedBoard) {
  SKIP_WITHOUT_DEMO(kKicad9, "multichannel/multichannel_mixer-unrouted.kicad_pcb");
  fillBySheets("multichannel", "multichannel_mixer-unrouted.kicad_pcb");
  EXPECT_TRUE(sets.empty()) << "more than one set of equal sheets";
  ASSERT_TRUE(form->placeTabVisible());
  const std::vector<std::string> sheets = groupSheets();
  EXPECT_EQ(sheets.size(), 4u);
  EXPECT_EQ(std::set<std::string>(sheets.begin(), sheets.end()).size(), sheets.size());
}

// vme-wren (1508 footprints): its repeated sheets are offered as sets, the
// 16 push-pull and the 16 differential driver channels among them, and the
// largest set fills the table, one group per sheet.
TEST_F(KicadDemoSheetsTest, VmeWrensRepeatedSheetsAreOffered) {
  SKIP_WITHOUT_DEMO(kKicad9, "vme-wren/vme-wren.kicad_pcb");
  fillBySheets("vme-wren", "vme-wren.kicad_pcb");
  std::vector<std::size_t> sizes;
  for (const auto& set : sets) sizes.push_back(set.size());
  std::sort(sizes.begin(), sizes.end());
  // The channels, their banks of four, and the two SFP cages.
  EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 4, 4, 16, 16}));
  std::set<std::string> channelParents;
  for (const auto& set : sets) {
    if (set.size() != 16) continue;
    for (const std::string& sheet : set) {
      channelParents.insert(sheet.substr(0, sheet.find('/', 1) + 1));
    }
  }
  EXPECT_EQ(channelParents, (std::set<std::string>{"/io_drivers_fp/", "/io_drivers_pp/"}));
  ASSERT_TRUE(form->placeTabVisible());
  EXPECT_EQ(groupSheets().size(), 16u);
}

// The push-pull amplifier of KiCad's demo ecc83-pp: an input stage (input
// P1, grid resistor R4, cathode resistor R2, the triode U1:B on pins 1 to 3)
// and an output stage above it (output P2, R3, R1, the triode U1:A on pins
// 6 to 8). Only R1 and R2 are alike; the stages are not copies.
const fs::path kEcc83 = "/usr/share/kicad/demos/ecc83";
const std::vector<std::string> kInputStage = {"P1", "R2", "R4", "U1:B"};
const std::vector<std::string> kOutputStage = {"P2", "R1", "R3", "U1:A"};

// A footprint as KiCad's pcbnew reads it.
struct KicadFootprint {
  std::string value;
  std::string footprint;
  std::map<std::string, std::string> padNets;  // by pad number
};

// KiCad's own reading of the board: every footprint by reference.
std::map<std::string, KicadFootprint> kicadFootprints(const std::string& board) {
  const char* const script =
      "import sys, pcbnew\n"
      "b = pcbnew.LoadBoard(sys.argv[1])\n"
      "for f in b.GetFootprints():\n"
      "    print(\"F\", f.GetReference(), f.GetValue(), f.GetFPID().GetUniStringLibItemName())\n"
      "    for p in f.Pads():\n"
      "        print(\"P\", f.GetReference(), p.GetNumber(), p.GetNetname())\n";
  const ProcessRun listed = run({kPython, "-c", script, board});
  EXPECT_EQ(listed.status, 0) << listed.output;
  std::map<std::string, KicadFootprint> footprints;
  std::istringstream lines(listed.output);
  std::string kind, reference;
  while (lines >> kind >> reference) {
    KicadFootprint& footprint = footprints[reference];
    if (kind == "F") {
      lines >> footprint.value >> footprint.footprint;
    } else {
      std::string pad, net;
      lines >> pad;
      std::getline(lines, net);
      footprint.padNets[pad] = net.empty() ? net : net.substr(1);
    }
  }
  return footprints;
}

class Ecc83ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kEcc83 / "ecc83-pp.kicad_pcb"))
      GTEST_SKIP() << "KiCad's demos are not installed";
    if (!pcbnewImports()) GTEST_SKIP() << kPython << " cannot import KiCad's pcbnew";
    for (const fs::directory_entry& entry : fs::directory_iterator(kEcc83)) {
      if (entry.is_regular_file()) {
        fs::copy_file(entry.path(), fs::path(work) / entry.path().filename());
      }
    }
    board = (fs::path(work) / "ecc83-pp.kicad_pcb").string();
    host = std::make_unique<HostProcess>(board, dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
    form->GroupSelector1().chooseClosest = [this](const TGroupSelector&,
                                                  const ClosestMatch::Result& closest) {
      offered.push_back(closest);
      return -1;
    };
  }
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
  }

  TGroupSelector& page() { return form->GroupSelector1(); }
  void addSelected(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      const int line = page().CompList().find(name);
      ASSERT_GE(line, 0) << name;
      page().SetTicked(line, true);
    }
    page().AddSelectedButtonClick();
  }
  // One refusal, where the search stopped at P2, naming the parts given;
  // no closest match offered.
  void expectRefusalNaming(const std::string& strangers) {
    EXPECT_TRUE(offered.empty()) << "a closest match was offered";
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              "Sorry, components doesn't match original components and nets\n"
              "Problematic component: P2\nParts without a template part of their kind: " +
                  strangers);
  }
  DBX::Component* component(const std::string& refDes) {
    const auto& components = form->design().pack().components().left;
    const auto found = components.find(RefDesString(refDes));
    EXPECT_NE(found, components.end()) << refDes;
    return found != components.end() ? found->second : nullptr;
  }
  std::set<std::string> pinsOf(const std::string& refDes) {
    std::set<std::string> pins;
    for (const auto& [pin, info] : component(refDes)->pins) pins.insert(pin);
    return pins;
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("ecc83-e2e");
  const std::string work = makePrivateTempDir("ecc83-work");
  std::string board;
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
  std::vector<ClosestMatch::Result> offered;
};

// Taken for two channels, the stages cannot be matched pin by pin: three of
// the output stage's four parts are of kinds the input stage lacks, so the
// refusal names them instead of a pin.
TEST_F(Ecc83ProcessTest, TheOutputStageAgainstTheInputStageNamesThePartsOfOtherKinds) {
  form->LdSCHClick();
  addSelected(kInputStage);
  ASSERT_EQ(page().itemCount(), 4);
  addSelected(kOutputStage);
  expectRefusalNaming("P2, R3, U1:A");
  EXPECT_EQ(page().GrItems().rowCount(), 3);
  for (const std::string& name : kOutputStage) EXPECT_GE(page().CompList().find(name), 0) << name;

  // KiCad agrees: P2 and R3 have no part of their value and footprint in the
  // input stage, R1 has R2.
  const std::map<std::string, KicadFootprint> kicad = kicadFootprints(board);
  auto kind = [&](const std::string& reference) {
    const KicadFootprint& footprint = kicad.at(reference);
    return footprint.value + " " + footprint.footprint;
  };
  std::multiset<std::string> inputKinds;
  for (const char* reference : {"P1", "R2", "R4"}) inputKinds.insert(kind(reference));
  std::vector<std::string> strangers;
  for (const char* reference : {"P2", "R1", "R3"}) {
    const auto found = inputKinds.find(kind(reference));
    if (found == inputKinds.end()) {
      strangers.push_back(reference);
    } else {
      inputKinds.erase(found);
    }
  }
  EXPECT_EQ(strangers, (std::vector<std::string>{"P2", "R3"}));
  // The triodes are two units of one footprint, U1, on pads of their own:
  // not even their pins could be paired.
  EXPECT_EQ(pinsOf("U1:B"), (std::set<std::string>{"1", "2", "3"}));
  EXPECT_EQ(pinsOf("U1:A"), (std::set<std::string>{"6", "7", "8"}));
  const std::map<std::string, std::string>& u1 = kicad.at("U1").padNets;
  for (const char* pin : {"1", "2", "3", "6", "7", "8"}) EXPECT_FALSE(u1.at(pin).empty()) << pin;
  EXPECT_EQ(u1.at("7"), u1.at("1")) << "the upper grid is driven by the lower anode";
}

// On the board U1 is one footprint that both stages would need, so a user
// compares the stages' passive parts and connectors; the refusal names the
// two of other kinds, and the pins the host serves are KiCad's pads on
// KiCad's nets.
TEST_F(Ecc83ProcessTest, OnTheBoardTheStagesPartsOfOtherKindsAreNamed) {
  form->LdPCBClick();
  addSelected({"P1", "R2", "R4"});
  addSelected({"P2", "R1", "R3"});
  expectRefusalNaming("P2, R3");

  const std::map<std::string, KicadFootprint> kicad = kicadFootprints(board);
  const DBX::Design::DPack& pcb = form->design().pack();
  for (const char* reference : {"P1", "P2", "R1", "R2", "R3", "R4", "U1"}) {
    std::map<std::string, std::string> served;
    for (const auto& [pin, info] : component(reference)->pins) {
      served[pin] = std::string(pcb.netName(info.netId));
    }
    EXPECT_EQ(served, kicad.at(reference).padNets) << reference;
  }
}

}  // namespace
