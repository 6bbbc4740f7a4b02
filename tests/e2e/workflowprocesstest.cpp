// The main window's flow against a real dbxhost process: loading, building
// groups from sheets, from the host's highlight and from ticks, placing, the
// host going away between actions, a second client holding a tool, and the
// highlight tools. Results are read from the design the host saves.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "app/tform1.h"
#include "dbx/dbxexception.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "model/geometry.h"
#include "placement/fieldparse.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using placement::Control;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

const fs::path kExamples = TANDREL_EXAMPLES_DIR;
const std::vector<std::string> kFlatChannel1{"J1", "R1", "R2", "C1", "U1", "R3", "P1"};
const std::vector<std::string> kFlatChannel2{"J2", "R4", "R5", "C2", "U2", "R6", "P2"};
const std::vector<std::string> kFlatChannel3{"J3", "R7", "R8", "C3", "U3", "R9", "P3"};

std::vector<std::string> refDesOf(const ComponentGroup& group) {
  std::vector<std::string> names;
  for (const DBX::Component* component : group) {
    names.emplace_back(component != nullptr ? DBX_18::getText(component->record.refDes) : "");
  }
  return names;
}

const dbxhost::PcbComponent& pcbComponent(const dbxhost::Design& design, const std::string& ref) {
  for (const dbxhost::PcbComponent& c : design.pcb.components) {
    if (c.refDes == ref) return c;
  }
  throw std::out_of_range("no component " + ref);
}

class WorkflowProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
  }

  // Starts the host on a private copy of an example and opens the window's
  // model on it.
  void start(const std::string& example) {
    file = fs::path(work) / example;
    fs::copy_file(kExamples / example, file);
    host = std::make_unique<HostProcess>(file.string(), dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
  }
  void command(const std::string& line) { ASSERT_EQ(host->command(line).substr(0, 2), "ok"); }
  dbxhost::Design saved() {
    EXPECT_EQ(host->command("save"), "ok " + file.string());
    return dbxhost::readDesignFile(file);
  }
  TGroupSelector& page() { return form->GroupSelector1(); }
  void highlightInSchematic(const std::vector<std::string>& names) {
    command("clear-highlights sch");
    for (const std::string& name : names) command("highlight sch " + name + " 10");
  }
  // Ticks the CompList lines of the named components.
  void tick(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      const int line = page().CompList().find(name);
      ASSERT_GE(line, 0) << name;
      page().SetTicked(line, true);
    }
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("workflow-e2e");
  const std::string work = makePrivateTempDir("workflow-work");
  fs::path file;
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
};

TEST_F(WorkflowProcessTest, FillBySheetsAndPlaceRepeatTheTemplateInEveryCell) {
  start("quad-preamp.json");
  form->LdSCHClick();
  page().FillBySheetButtonClick();
  ASSERT_TRUE(form->placeTabVisible());
  form->PageControl1Change(TForm1::kPlacePage);
  ASSERT_EQ(form->activePage(), TForm1::kPlacePage);
  std::vector<std::string> names;
  int perGroup = 0;
  page().GetPlacementList(names, perGroup);
  ASSERT_EQ(perGroup, 7);
  ASSERT_EQ(names.size(), 28u);

  placement::TPlacer& placer = form->Placer1();
  placer.GroupsListClick(0);
  // The channels lie side by side across the board: the template is gathered
  // near its left-bottom corner first, so that a 2 x 2 grid fits.
  placer.EditField(Control::GrpX, "10");
  placer.EditField(Control::GrpY, "10");
  placer.EditField(Control::GrGap, "1.27");
  placer.GatherTemplate();
  placer.EditField(Control::Rows, "2");
  placer.EditField(Control::Cols, "2");
  placer.EditField(Control::GapX, "1.27");
  placer.EditField(Control::GapY, "1.27");
  ASSERT_TRUE(placer.PlaceEnabled());
  placer.PlaceClick();
  const int64_t deltaX = *placement::ParseLength(placer.FieldOf(Control::DeltaX).text);
  const int64_t deltaY = *placement::ParseLength(placer.FieldOf(Control::DeltaY).text);
  EXPECT_TRUE(ui.boxes.empty());

  const dbxhost::Design after = saved();
  const int64_t gridStep = 127000;
  for (int group = 1; group < 4; ++group) {
    // Every pad of the copy lies where the template's does, shifted by one
    // vector: the group's cell, to within the grid snap.
    std::optional<std::pair<int64_t, int64_t>> shift;
    for (int item = 0; item < perGroup; ++item) {
      const auto& model = pcbComponent(after, names[static_cast<std::size_t>(item)]);
      const auto& copy = pcbComponent(after, names[static_cast<std::size_t>(group * 7 + item)]);
      EXPECT_EQ(copy.placement.rotation, model.placement.rotation) << copy.refDes;
      EXPECT_EQ(copy.placement.flipped, model.placement.flipped) << copy.refDes;
      const auto modelPads =
          dbxhost::padPositions(after.pcb.patterns.at(model.patternName), model.placement);
      const auto pads =
          dbxhost::padPositions(after.pcb.patterns.at(copy.patternName), copy.placement);
      ASSERT_EQ(pads.size(), modelPads.size()) << copy.refDes;
      for (std::size_t p = 0; p < pads.size(); ++p) {
        const std::pair<int64_t, int64_t> padShift{int64_t{pads[p].x} - modelPads[p].x,
                                                   int64_t{pads[p].y} - modelPads[p].y};
        if (!shift) shift = padShift;
        EXPECT_EQ(padShift, *shift) << copy.refDes << " pad " << p;
      }
    }
    ASSERT_TRUE(shift);
    EXPECT_LE(std::abs(shift->first - (group % 2) * deltaX), gridStep / 2) << "group " << group;
    EXPECT_LE(std::abs(shift->second - (group / 2) * deltaY), gridStep / 2) << "group " << group;
  }
}

TEST_F(WorkflowProcessTest, AddHighlightedTakesTheHostsChannelAndAsksForTheVariant) {
  start("flat-3ch.json");
  form->LdSCHClick();
  highlightInSchematic(kFlatChannel1);
  page().AddHighlightedButtonClick();
  EXPECT_EQ(refDesOf(page().GrItems().group(1)), kFlatChannel1);

  // R4 and R5 are wired alike: two variants, and the user picks the second.
  std::vector<DBX::Component*> offered;
  page().chooseVariant = [&](const TGroupSelector&, const VariantList& c) {
    offered = c.rows();
    return 1;
  };
  highlightInSchematic({"P2", "R5", "U2", "J2", "R4", "C2", "R6"});
  page().AddHighlightedButtonClick();
  ASSERT_EQ(offered.size(), 14u);
  EXPECT_EQ(page().GrItems().group(2), ComponentGroup(offered.begin() + 7, offered.end()));
  EXPECT_EQ(refDesOf(page().GrItems().group(2))[0], "J2");
  EXPECT_TRUE(ui.boxes.empty());

  // A channel already grouped is not taken again.
  page().AddHighlightedButtonClick();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "No highlited component found!");
}

TEST_F(WorkflowProcessTest, AddSelectedCompletesTheTableFromTicks) {
  start("flat-3ch.json");
  form->LdSCHClick();
  tick(kFlatChannel1);
  page().AddSelectedButtonClick();
  page().chooseVariant = [](const TGroupSelector&, const VariantList&) { return 0; };
  tick(kFlatChannel2);
  ASSERT_TRUE(page().addSelectedEnabled());
  page().AddSelectedButtonClick();
  // Two ticks short of a group: the button stays off.
  tick({"J3", "R7", "R8", "C3", "U3"});
  EXPECT_FALSE(page().addSelectedEnabled());
  tick({"R9", "P3"});
  page().AddSelectedButtonClick();
  // The template takes the list's order; the others follow its items.
  EXPECT_EQ(refDesOf(page().GrItems().group(1)),
            (std::vector<std::string>{"C1", "J1", "P1", "R1", "R2", "R3", "U1"}));
  EXPECT_EQ(refDesOf(page().GrItems().group(2)),
            (std::vector<std::string>{"C2", "J2", "P2", "R4", "R5", "R6", "U2"}));
  EXPECT_EQ(refDesOf(page().GrItems().group(3)),
            (std::vector<std::string>{"C3", "J3", "P3", "R7", "R8", "R9", "U3"}));
  EXPECT_TRUE(form->placeTabVisible());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(WorkflowProcessTest, TheNextActionReconnectsToARestartedHost) {
  start("flat-3ch.json");
  form->LdSCHClick();
  ASSERT_EQ(host->stop(SIGKILL), 128 + SIGKILL);
  host = std::make_unique<HostProcess>(file.string(), dir);
  highlightInSchematic(kFlatChannel1);
  page().AddHighlightedButtonClick();
  EXPECT_EQ(refDesOf(page().GrItems().group(1)), kFlatChannel1);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(WorkflowProcessTest, AComponentRemovedWhileTheHostWasAwayIsReported) {
  start("flat-3ch.json");
  form->LdSCHClick();
  host->stop(SIGTERM);
  host = std::make_unique<HostProcess>(file.string(), dir);
  command("remove sch R8");
  highlightInSchematic(kFlatChannel1);
  page().AddHighlightedButtonClick();
  // Each verification of the action reports the failed lookup; the
  // component's designator is not part of the host's answer.
  ASSERT_FALSE(ui.boxes.empty());
  for (const testing_diag::ScriptedUi::Box& box : ui.boxes) {
    EXPECT_EQ(box.kind, diag::MessageKind::Error);
    EXPECT_EQ(box.text, "Design was modified:\nDBX_COMPONENT_NOT_FOUND (32215)");
  }
  // The action itself still goes through on what the host has.
  EXPECT_EQ(refDesOf(page().GrItems().group(1)), kFlatChannel1);
}

TEST_F(WorkflowProcessTest, AToolHeldByAnotherClientGivesOneBoxOneRetryThenTheError) {
  start("quad-preamp.json");
  DBX::SocketDbx other(dir);
  DBX::TConversation held{};
  ASSERT_EQ(other.TOpenDesign(DBX::kOpenLanguage, DBX::kOpenVersion, DBX::kToolNamePcb, &held),
            DBX::DBX_OK);
  try {
    form->LdPCBClick();
    FAIL() << "the load went through while the tool was held";
  } catch (const DBX::DBXException& error) {
    EXPECT_NE(std::string(error.what()).find("DBX_SERVER_BUSY"), std::string::npos) << error.what();
  }
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "PCAD tool is currently connected to another application.\n"
            "Terminate connection and press a key");
  EXPECT_TRUE(form->ldPcbEnabled());  // the user may try again

  // Once the other client lets go, the same button works.
  other.TCloseDesign(&held, "");
  form->LdPCBClick();
  EXPECT_FALSE(form->ldPcbEnabled());
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(WorkflowProcessTest, HighlightToolsGiveTheHostItsFormerColoursBack) {
  start("quad-preamp.json");
  command("highlight pcb C1 5");  // the user's own highlight, in another colour
  form->LdSCHClick();
  page().FillBySheetButtonClick();
  form->PageControl1Change(TForm1::kPlacePage);
  std::vector<std::string> names;
  int perGroup = 0;
  page().GetPlacementList(names, perGroup);
  placement::TPlacer& placer = form->Placer1();
  placer.GroupsListClick(0);
  placer.HighlightCurrent();
  {
    const dbxhost::Design lit = saved();
    for (int item = 0; item < perGroup; ++item) {
      EXPECT_EQ(pcbComponent(lit, names[static_cast<std::size_t>(item)]).highlight, 10)
          << names[static_cast<std::size_t>(item)];
    }
    EXPECT_EQ(pcbComponent(lit, names[7]).highlight, 0);
  }
  // Selecting the next group with automatic highlighting moves the highlight.
  placer.SetAutoHighlight(true);
  placer.GroupsListClick(1);
  {
    const dbxhost::Design moved = saved();
    EXPECT_EQ(pcbComponent(moved, "C1").highlight, 5);
    EXPECT_EQ(pcbComponent(moved, names[7]).highlight, 10);
  }
  placer.UnHighlightAll();
  const dbxhost::Design after = saved();
  for (const dbxhost::PcbComponent& c : after.pcb.components) {
    EXPECT_EQ(c.highlight, c.refDes == "C1" ? 5 : 0) << c.refDes;
  }
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
