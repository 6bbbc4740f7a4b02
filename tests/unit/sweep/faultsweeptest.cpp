// The fault sweep: each main flow runs once cleanly to count its host calls,
// then once per call index with that call failing and once with the
// conversation dropped just before it. Every run must end without a crash,
// show at most one error box, keep the group table and the snapshot
// consistent, and leave the host design holding exactly the edits that the
// clean run had made by then.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dbx/design.h"
#include "diag/exceptionreport.h"
#include "engine/hostdbx.h"
#include "groups/groupselector.h"
#include "model/syntheticdesign.h"
#include "placement/placer.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace {

using placement::Control;

constexpr int kChannels = 3;
constexpr int kParts = 3;
constexpr int32_t kFailure = DBX::DBX_DATABASE_ERROR;

// Records the design after every edit call, with the tool's call count.
class RecordingHost : public dbxhost::HostDbx {
 public:
  using HostDbx::HostDbx;

  struct State {
    int calls = 0;
    dbxhost::Design design;
  };

  dbxhost::Design current() const {
    return readDesign([](const dbxhost::Design& d) { return d; });
  }

  int32_t THighlightItem(DBX::TConversation* context, int32_t color,
                         DBX::TComponent* component) override {
    return recorded(context, HostDbx::THighlightItem(context, color, component));
  }
  int32_t TUnHighlightItem(DBX::TConversation* context, DBX::TComponent* component) override {
    return recorded(context, HostDbx::TUnHighlightItem(context, component));
  }
  int32_t TMoveComponent(DBX::TConversation* context, int32_t dx, int32_t dy,
                         DBX::TComponent* component) override {
    return recorded(context, HostDbx::TMoveComponent(context, dx, dy, component));
  }
  int32_t TFlipComponent(DBX::TConversation* context, DBX::TPoint point,
                         DBX::TComponent* component) override {
    return recorded(context, HostDbx::TFlipComponent(context, point, component));
  }
  int32_t TRotateComponent(DBX::TConversation* context, int32_t angle, DBX::TPoint point,
                           DBX::TComponent* component) override {
    return recorded(context, HostDbx::TRotateComponent(context, angle, point, component));
  }
  int32_t TPlaceLine(DBX::TConversation* context, DBX::TLine* line) override {
    return recorded(context, HostDbx::TPlaceLine(context, line));
  }
  int32_t TPlaceArc(DBX::TConversation* context, DBX::TArc* arc) override {
    return recorded(context, HostDbx::TPlaceArc(context, arc));
  }
  int32_t TPlaceVia(DBX::TConversation* context, DBX::TVia* via) override {
    return recorded(context, HostDbx::TPlaceVia(context, via));
  }
  int32_t TPlacePolygon(DBX::TConversation* context, DBX::TPolygon* polygon) override {
    return recorded(context, HostDbx::TPlacePolygon(context, polygon));
  }
  int32_t TDeleteItem(DBX::TConversation* context, DBX::TItem* item) override {
    return recorded(context, HostDbx::TDeleteItem(context, item));
  }
  int32_t TModifyCompAttribute(DBX::TConversation* context, const char* refDes,
                               DBX::TAttribute* attribute) override {
    return recorded(context, HostDbx::TModifyCompAttribute(context, refDes, attribute));
  }

  std::vector<State> states;

 private:
  int32_t recorded(const DBX::TConversation* context, int32_t status) {
    states.push_back({callCount(static_cast<DBX::Tool>(context->tool)), current()});
    return status;
  }
};

// Three channels of three parts on sheets of their own; channel 1 is
// highlighted on the PCB for Add Highlighted.
dbxhost::Design sweepDesign() {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(kChannels, kParts, true);
  for (dbxhost::PcbComponent& component : design.pcb.components) {
    if (component.refDes == "R1" || component.refDes == "C2" || component.refDes == "R3") {
      component.highlight = DBX::DBX_COLOR_GREEN;
    }
  }
  return design;
}

// The designators of all channels, channel after channel.
std::vector<std::string> channelNames() {
  std::vector<std::string> names;
  for (int i = 0; i < kChannels * kParts; ++i) {
    names.push_back((i % kParts % 2 == 0 ? "R" : "C") + std::to_string(i + 1));
  }
  return names;
}

// One application state: host, snapshot and both pages.
struct World {
  World() : host(sweepDesign()), design(host) { page.InitGrid(); }
  ~World() { placer.DesignCleared(); }

  testing_diag::ScriptedUi ui;
  RecordingHost host;
  DBX::Design design;
  TGroupSelector page;
  placement::TPlacer placer;
};

struct Flow {
  std::string name;
  DBX::Tool tool;  // the tool whose calls are swept
  // False when the flow edits components in an order of their own, the same
  // set every time (the highlight memory is keyed by the component).
  bool fixedOrder;
  std::function<void(World&)> setup;
  std::function<void(World&)> action;
};

void loadTool(World& w, uint8_t tool) {
  w.design.selectTool(tool);
  w.page.LoadDesign(w.design);
}

void loadPlacer(World& w) {
  loadTool(w, DBX::kToolPcb);
  w.placer.LoadGroups(w.design, channelNames(), kParts);
  w.placer.GroupsListClick(0);
  w.placer.EditField(Control::Cols, "2");
  w.placer.EditField(Control::GrpX, "10");
  w.placer.EditField(Control::GrpY, "10");
  w.placer.EditField(Control::GrGap, "1");
  if (!w.placer.PlaceEnabled()) throw std::logic_error("placement page not ready");
}

std::vector<Flow> mainFlows() {
  const auto nothing = [](World&) {};
  return {
      {"LoadPcb", DBX::kToolPcb, true, nothing, [](World& w) { loadTool(w, DBX::kToolPcb); }},
      {"LoadSchematic", DBX::kToolSch, true, nothing, [](World& w) { loadTool(w, DBX::kToolSch); }},
      {"Verification", DBX::kToolPcb, true, [](World& w) { loadTool(w, DBX::kToolPcb); },
       [](World& w) { DBX::Lock verify(w.design, true); }},
      {"AddHighlighted", DBX::kToolPcb, true, [](World& w) { loadTool(w, DBX::kToolPcb); },
       [](World& w) { w.page.AddHighlightedButtonClick(); }},
      {"FillBySheets", DBX::kToolSch, true, [](World& w) { loadTool(w, DBX::kToolSch); },
       [](World& w) { w.page.FillBySheetButtonClick(); }},
      {"Place", DBX::kToolPcb, true, loadPlacer, [](World& w) { w.placer.PlaceClick(); }},
      {"Group", DBX::kToolPcb, true, loadPlacer, [](World& w) { w.placer.GatherTemplate(); }},
      {"HighlightCurrent", DBX::kToolPcb, true, loadPlacer,
       [](World& w) { w.placer.HighlightCurrent(); }},
      {"UnHighlight", DBX::kToolPcb, false,
       [](World& w) {
         loadPlacer(w);
         w.placer.HighlightCurrent();
       },
       [](World& w) { w.placer.UnHighlightAll(); }},
  };
}

// Every component of the page's tool sits in the list or in exactly one
// cell, and the template graph holds row 1.
void expectTableInvariants(const World& w, const std::string& run) {
  const GroupTable& table = w.page.GrItems();
  std::multiset<const DBX::Component*> placed;
  for (int row = 1; row < table.rowCount(); ++row) {
    for (int column = 1; column < table.colCount(); ++column) {
      if (!table.cell(row, column).empty()) placed.insert(table.cell(row, column).component);
    }
  }
  const NetGraph& graph = w.page.TemplateGraph();
  std::size_t templateItems = 0;
  for (int column = 1; column < table.colCount(); ++column) {
    const DBX::Component* inCell = table.cell(1, column).component;
    templateItems += inCell != nullptr;
    EXPECT_EQ(graph.componentAt(static_cast<uint32_t>(column - 1)), inCell)
        << run << ": template item " << column;
  }
  EXPECT_EQ(graph.size(), templateItems) << run;
  if (w.page.FDesign() == nullptr) {
    EXPECT_TRUE(placed.empty()) << run;
    return;
  }
  const auto& components = w.design.pack().components().right;
  for (const DBX::Component* component : placed) {
    EXPECT_TRUE(components.contains(const_cast<DBX::Component*>(component)))
        << run << ": a cell holds a component outside the snapshot";
    EXPECT_EQ(placed.count(component), 1u) << run << ": component in two cells";
    EXPECT_FALSE(w.page.CompList().contains(component)) << run << ": listed and placed";
  }
  for (const auto& [component, name] : components) {
    EXPECT_TRUE(placed.contains(component) || w.page.CompList().contains(component))
        << run << ": " << name.c_str() << " neither listed nor placed";
  }
}

// Both maps of each snapshot agree, and no pin is connected twice.
void expectSnapshotConsistent(const World& w, const std::string& run) {
  for (uint8_t tool : {DBX::kToolPcb, DBX::kToolSch}) {
    const DBX::Design::DPack& pack = w.design.pack(tool);
    const auto& components = pack.components();
    EXPECT_EQ(components.left.size(), components.right.size()) << run;
    for (const auto& [name, component] : components.left) {
      const auto back = components.right.find(component);
      ASSERT_NE(back, components.right.end()) << run;
      EXPECT_EQ(back->second, name) << run;
    }
    const auto& nets = pack.nets();
    EXPECT_EQ(nets.left.size(), nets.right.size()) << run;
    for (const auto& [name, id] : nets.left) {
      const auto back = nets.right.find(id);
      ASSERT_NE(back, nets.right.end()) << run;
      EXPECT_EQ(back->second, name) << run;
    }
    std::set<std::pair<const DBX::Component*, std::string>> pins;
    for (const auto& [netId, pin] : pack.connections()) {
      EXPECT_TRUE(components.right.contains(pin.first)) << run << ": connection outside";
      EXPECT_TRUE(pins.insert(pin).second) << run << ": pin " << pin.second << " twice";
    }
  }
}

// The lines in which the two designs' files differ, for failure messages.
std::string differences(const dbxhost::Design& held, const dbxhost::Design& expected) {
  std::istringstream heldText(dbxhost::serializeDesign(held));
  std::istringstream expectedText(dbxhost::serializeDesign(expected));
  std::string out;
  std::string heldLine;
  std::string expectedLine;
  while (std::getline(heldText, heldLine) && std::getline(expectedText, expectedLine)) {
    if (heldLine != expectedLine) out += "held: " + heldLine + "\nexpected: " + expectedLine + "\n";
  }
  return out;
}

// The number of PCB components that differ between the designs.
std::size_t changedComponents(const dbxhost::Design& from, const dbxhost::Design& to) {
  std::size_t changed = 0;
  for (std::size_t i = 0; i < from.pcb.components.size(); ++i) {
    changed += !(from.pcb.components[i] == to.pcb.components[i]);
  }
  return changed;
}

// Each PCB component of held is as it was or as the finished flow leaves it,
// the count of finished ones is edits, and nothing else changed.
void expectEditsDone(const dbxhost::Design& held, const dbxhost::Design& initial,
                     const dbxhost::Design& final, std::size_t edits, const std::string& run) {
  dbxhost::Design rest = held;
  rest.pcb.components = initial.pcb.components;
  EXPECT_TRUE(rest == initial) << run << ": more than the components changed";
  ASSERT_EQ(held.pcb.components.size(), initial.pcb.components.size()) << run;
  for (std::size_t i = 0; i < held.pcb.components.size(); ++i) {
    EXPECT_TRUE(held.pcb.components[i] == initial.pcb.components[i] ||
                held.pcb.components[i] == final.pcb.components[i])
        << run << ": " << held.pcb.components[i].refDes << " half edited";
  }
  EXPECT_EQ(changedComponents(initial, held), edits) << run;
}

class FaultSweepTest : public ::testing::TestWithParam<Flow> {};

TEST_P(FaultSweepTest, EveryHostCallFailingOrDroppedKeepsEverythingConsistent) {
  const Flow& flow = GetParam();

  // The clean run: its call count and the host design after each edit.
  World clean;
  flow.setup(clean);
  const int start = clean.host.callCount(flow.tool);
  const dbxhost::Design initial = clean.host.current();
  clean.host.states.clear();
  ASSERT_TRUE(diag::runReported([&] { flow.action(clean); }));
  ASSERT_TRUE(clean.ui.boxes.empty()) << clean.ui.boxes[0].text;
  const int calls = clean.host.callCount(flow.tool) - start;
  const dbxhost::Design final = clean.host.current();
  // A flow that works on the snapshot alone has nothing to sweep.
  if (calls == 0) {
    EXPECT_TRUE(final == initial);
  }
  // The design after the first n calls of the clean run.
  const auto after = [&](int n) -> const dbxhost::Design& {
    const dbxhost::Design* design = &initial;
    for (const RecordingHost::State& state : clean.host.states) {
      if (state.calls - start <= n) design = &state.design;
    }
    return *design;
  };

  int runs = 0;
  int recovered = 0;  // dropped conversations the flow reopened
  int stopped = 0;    // injected failures that ended the action
  for (int call = 1; call <= calls; ++call) {
    for (const bool drop : {false, true}) {
      const std::string run = flow.name + (drop ? ": dropped before call " : ": failure at call ") +
                              std::to_string(call) + " of " + std::to_string(calls);
      World w;
      flow.setup(w);
      if (drop) {
        w.host.dropAfter(flow.tool, call - 1);
      } else {
        w.host.injectStatus(flow.tool, call, kFailure);
      }
      const bool finished = diag::runReported([&] { flow.action(w); });
      ++runs;
      EXPECT_LE(w.ui.boxes.size(), 1u) << run;
      EXPECT_EQ(w.ui.waitDepth, 0) << run;
      expectTableInvariants(w, run);
      expectSnapshotConsistent(w, run);
      const dbxhost::Design held = w.host.current();
      if (finished) {
        // Carried on (a dropped conversation reopened, or a failure that
        // only a verification box reports): nothing may be missing.
        EXPECT_TRUE(held == final) << run << ": edits lost although the action finished";
        recovered += drop;
      } else {
        stopped += !drop;
        // The one box is the escaped error; the host keeps what was done.
        EXPECT_EQ(w.ui.boxes.size(), 1u) << run;
        if (flow.fixedOrder) {
          EXPECT_TRUE(held == after(call - 1)) << run << ": edits torn\n"
                                               << differences(held, after(call - 1));
        } else {
          expectEditsDone(held, initial, final, changedComponents(initial, after(call - 1)), run);
        }
      }
    }
  }
  // The failures must have reached the flow: a read or edit that fails ends
  // the action.
  if (calls > 0) {
    EXPECT_GT(stopped, 0);
  }
  RecordProperty("runs", runs);
  std::cout << flow.name << ": " << calls << " host calls, " << runs << " faulty runs, " << stopped
            << " stopped by the failure, " << recovered << " drops recovered\n";
}

INSTANTIATE_TEST_SUITE_P(MainFlows, FaultSweepTest, ::testing::ValuesIn(mainFlows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
