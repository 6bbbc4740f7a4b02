// The schematic of a real KiCad project served by a dbxhost process and
// grouped through the main window's model: glasgow's io_buffer sheet is
// instantiated twice (IO_Buffer_A and IO_Buffer_B), and both Fill By Sheets
// and connectivity matching must pair the two instances symbol by symbol.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "kicadreference.h"
#include "placement/fieldparse.h"
#include "scriptedui.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/sexpr.h"

namespace {

using tandrel::testing::copyForEditing;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;
namespace kicad = dbxhost::kicad;

const std::string kSheetA = "/IO_Banks/IO_Buffer_A/";
const std::string kSheetB = "/IO_Banks/IO_Buffer_B/";

std::string refDesOf(const DBX::Component* component) {
  return std::string(DBX_18::getText(component->record.refDes));
}

std::string bare(const std::string& refDes) { return refDes.substr(0, refDes.find(':')); }

// What KiCad itself says about the two instances: footprints of one sheet
// symbol carry its uuid at the end of their path. The designator of each
// IO_Buffer_A footprint, mapped to its IO_Buffer_B twin.
std::map<std::string, std::string> hierarchyPairs(const fs::path& board) {
  const std::string text = dbxhost::readFileText(board);
  const kicad::SexprTree root = kicad::parseSexpr(text, board.string());
  std::map<std::string, std::pair<std::string, std::string>> bySymbol;
  for (const kicad::Sexpr* fp : root.lists("footprint")) {
    const kicad::Sexpr* sheet = fp->list("sheetname");
    const kicad::Sexpr* path = fp->list("path");
    if (sheet == nullptr || path == nullptr) continue;
    std::string reference;
    for (const kicad::Sexpr* property : fp->lists("property")) {
      if (property->children()[1].text() == "Reference")
        reference = std::string(property->children()[2].text());
    }
    const std::string symbolPath(path->children()[1].text());
    auto& pair = bySymbol[symbolPath.substr(symbolPath.rfind('/') + 1)];
    if (sheet->children()[1].text() == "IO_Buffer_A") pair.first = reference;
    if (sheet->children()[1].text() == "IO_Buffer_B") pair.second = reference;
  }
  std::map<std::string, std::string> pairs;
  for (const auto& [symbol, pair] : bySymbol) {
    if (!pair.first.empty() && !pair.second.empty()) pairs.emplace(pair.first, pair.second);
  }
  return pairs;
}

// The designators of the board's locked footprints: Place moves none of them.
std::set<std::string> lockedFootprints(const fs::path& board) {
  const std::string text = dbxhost::readFileText(board);
  const kicad::SexprTree root = kicad::parseSexpr(text, board.string());
  std::set<std::string> locked;
  for (const kicad::Sexpr* fp : root.lists("footprint")) {
    if (fp->list("locked") == nullptr) continue;
    for (const kicad::Sexpr* property : fp->lists("property")) {
      if (property->children()[1].text() == "Reference")
        locked.insert(std::string(property->children()[2].text()));
    }
  }
  return locked;
}

class KicadSchematicProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_GLASGOW();
    const fs::path source = kicad::testing::kGlasgowBoard.parent_path();
    for (const char* name :
         {"glasgow.kicad_pcb", "glasgow.kicad_sch", "io_banks.kicad_sch", "io_buffer.kicad_sch"}) {
      copyForEditing(source / name, fs::path(work) / name);
    }
    host = std::make_unique<HostProcess>((fs::path(work) / "glasgow.kicad_pcb").string(), dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
    form->LdSCHClick();
    pairs = hierarchyPairs(kicad::testing::kGlasgowBoard);
  }
  void TearDown() override {
    form.reset();
    host.reset();
    fs::remove_all(dir);
    fs::remove_all(work);
  }

  TGroupSelector& page() { return form->GroupSelector1(); }

  // The schematic parts on one sheet, in designator order.
  std::vector<DBX::Component*> partsOn(const std::string& sheet) {
    std::vector<DBX::Component*> parts;
    for (const auto& [refDes, component] : form->design().pack().components().left) {
      if (form->design().sheetName(component->sheetId) == sheet) parts.push_back(component);
    }
    return parts;
  }

  void tick(const std::vector<DBX::Component*>& parts) {
    for (const DBX::Component* part : parts) {
      const int line = page().CompList().find(refDesOf(part));
      ASSERT_GE(line, 0) << refDesOf(part);
      page().SetTicked(line, true);
    }
  }

  // The part of group 2 at an item is the IO_Buffer_B twin of group 1's.
  bool pairedByHierarchy(const ComponentGroup& a, const ComponentGroup& b, std::size_t item) {
    const std::string refA = refDesOf(a[item]), refB = refDesOf(b[item]);
    const auto twin = pairs.find(bare(refA));
    return twin != pairs.end() && twin->second == bare(refB) &&
           refA.substr(bare(refA).size()) == refB.substr(bare(refB).size());
  }

  testing_diag::ScriptedUi ui;
  const std::string dir = makePrivateTempDir("kicad-sch-e2e");
  const std::string work = makePrivateTempDir("kicad-sch-work");
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
  std::map<std::string, std::string> pairs;
};

TEST_F(KicadSchematicProcessTest, FillBySheetsPairsTheTwoIoBufferInstances) {
  ASSERT_EQ(pairs.size(), 68u);
  ASSERT_EQ(partsOn(kSheetA).size(), 68u);
  page().chooseSheetSet =
      [](const SelectSheetVars&) -> std::optional<TGroupSelector::SheetSetChoice> {
    ADD_FAILURE() << "more than one set of equal sheets";
    return std::nullopt;
  };
  page().FillBySheetButtonClick();
  EXPECT_TRUE(ui.boxes.empty());
  ASSERT_TRUE(form->placeTabVisible());
  const ComponentGroup a = page().GrItems().group(1), b = page().GrItems().group(2);
  ASSERT_EQ(a.size(), 68u);
  ASSERT_EQ(b.size(), 68u);
  for (std::size_t item = 0; item < a.size(); ++item) {
    EXPECT_EQ(form->design().sheetName(a[item]->sheetId), kSheetA);
    EXPECT_TRUE(pairedByHierarchy(a, b, item))
        << refDesOf(a[item]) << " with " << refDesOf(b[item]);
  }
}

// The I2C devices of each buffer take their bus addresses from pins strapped
// differently in the two instances, so the instances are not wired alike as
// a whole: the IO expander U19, the DAC U20 and the current monitor U21 of
// IO_Buffer_A.
const std::set<std::string> kStrappedInA = {"U19", "U20", "U21"};

TEST_F(KicadSchematicProcessTest, AddSelectedFindsTheBuffersWiredApartByTheirAddressStraps) {
  const std::vector<DBX::Component*> partsA = partsOn(kSheetA), partsB = partsOn(kSheetB);
  ASSERT_EQ(partsA.size(), 68u);
  ASSERT_EQ(partsB.size(), 68u);
  tick(partsA);
  page().AddSelectedButtonClick();
  tick(partsB);
  page().AddSelectedButtonClick();
  std::set<std::string> strappedInB;
  for (const std::string& refDes : kStrappedInA) strappedInB.insert(pairs.at(refDes));
  ASSERT_EQ(ui.boxes.size(), 1u);
  const std::string prefix =
      "Sorry, components doesn't match original components and nets\nProblematic component: ";
  ASSERT_EQ(ui.boxes[0].text.substr(0, prefix.size()), prefix);
  // Without a dialog to offer the closest match, the message goes on with
  // the first pin wired differently.
  const std::string rest = ui.boxes[0].text.substr(prefix.size());
  EXPECT_TRUE(strappedInB.contains(rest.substr(0, rest.find('\n')))) << ui.boxes[0].text;
  EXPECT_NE(rest.find("\nFirst differing pin: U"), std::string::npos) << ui.boxes[0].text;
  // No group was added: IO_Buffer_B's parts are all still listed.
  for (const DBX::Component* part : partsB) {
    EXPECT_GE(page().CompList().find(refDesOf(part)), 0) << refDesOf(part);
  }
}

TEST_F(KicadSchematicProcessTest, AddSelectedOffersIoBufferBWithItsThreeStrapsAndAddsIt) {
  const std::vector<DBX::Component*> partsA = partsOn(kSheetA), partsB = partsOn(kSheetB);
  tick(partsA);
  page().AddSelectedButtonClick();
  std::vector<ClosestMatch::Result> offered;
  page().chooseClosest = [&](const TGroupSelector&, const ClosestMatch::Result& closest) {
    offered.push_back(closest);
    return 0;
  };
  tick(partsB);
  page().AddSelectedButtonClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  ASSERT_EQ(offered.size(), 1u);
  ASSERT_EQ(offered[0].candidates.size(), 1u);
  std::set<std::string> strapped;
  for (const auto& difference : offered[0].candidates[0].differences) {
    strapped.insert(bare(refDesOf(difference.templateComponent)) + " pin " + difference.pin);
    EXPECT_TRUE(page().Differences().differs(difference.component));
  }
  EXPECT_EQ(strapped, (std::set<std::string>{"U19 pin 2", "U20 pin 6", "U21 pin 2"}));
  ASSERT_TRUE(form->placeTabVisible());
  const ComponentGroup a = page().GrItems().group(1), b = page().GrItems().group(2);
  ASSERT_EQ(b.size(), 68u);
  // Each strapped device went where the hierarchy puts its twin.
  for (const auto& difference : offered[0].candidates[0].differences) {
    EXPECT_TRUE(pairedByHierarchy(a, b, difference.item)) << refDesOf(b[difference.item]);
  }
}

TEST_F(KicadSchematicProcessTest, AddSelectedMatchesTheRestOfIoBufferBAsTheHierarchyPairsThem) {
  std::vector<DBX::Component*> partsA, partsB;
  std::set<std::string> strappedInB;
  for (const std::string& refDes : kStrappedInA) strappedInB.insert(pairs.at(refDes));
  for (DBX::Component* part : partsOn(kSheetA)) {
    if (!kStrappedInA.contains(bare(refDesOf(part)))) partsA.push_back(part);
  }
  for (DBX::Component* part : partsOn(kSheetB)) {
    if (!strappedInB.contains(bare(refDesOf(part)))) partsB.push_back(part);
  }
  ASSERT_EQ(partsA.size(), 65u);
  ASSERT_EQ(partsB.size(), 65u);
  tick(partsA);
  page().AddSelectedButtonClick();
  int choices = 0;
  page().chooseVariant = [&](const TGroupSelector&, const VariantList&) {
    ++choices;
    return 0;
  };
  tick(partsB);
  page().AddSelectedButtonClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  EXPECT_EQ(choices, 0) << "more than one variant";
  ASSERT_TRUE(form->placeTabVisible());

  // Where the match departs from the hierarchy, it exchanged twins: the
  // template part at the item and the one whose IO_Buffer_B twin was put
  // there are alike and wired to the same nets pin for pin.
  const ComponentGroup a = page().GrItems().group(1), b = page().GrItems().group(2);
  ASSERT_EQ(a.size(), 65u);
  ASSERT_EQ(b.size(), 65u);
  std::size_t exchanged = 0;
  for (std::size_t item = 0; item < a.size(); ++item) {
    if (pairedByHierarchy(a, b, item)) continue;
    ++exchanged;
    const DBX::Component* like = nullptr;
    for (std::size_t other = 0; other < a.size(); ++other) {
      const auto twin = pairs.find(bare(refDesOf(a[other])));
      if (twin != pairs.end() && twin->second == bare(refDesOf(b[item]))) like = a[other];
    }
    ASSERT_NE(like, nullptr) << refDesOf(b[item]) << " has no twin in IO_Buffer_A";
    SCOPED_TRACE(refDesOf(a[item]) + " exchanged with " + refDesOf(like));
    EXPECT_EQ(std::string(DBX_18::getText(like->record.value)),
              std::string(DBX_18::getText(a[item]->record.value)));
    EXPECT_EQ(std::string(DBX_18::getText(like->record.patternName)),
              std::string(DBX_18::getText(a[item]->record.patternName)));
    ASSERT_EQ(like->pins.size(), a[item]->pins.size());
    for (const auto& [pin, info] : like->pins) {
      ASSERT_TRUE(a[item]->pins.count(pin)) << pin;
      EXPECT_EQ(info.netId, a[item]->pins.at(pin).netId) << pin;
    }
  }
  RecordProperty("exchangedTwins", static_cast<int>(exchanged));
}

// IO_Buffer_B, taken with its three straps from the closest match, is placed
// beside IO_Buffer_A like any group: every part one pitch to the right of
// the part it was matched with, turned and flipped like it. The locked
// connector of each buffer stays out of the groups, as Place would refuse it.
TEST_F(KicadSchematicProcessTest, IoBufferBFromItsClosestMatchIsPlacedBesideIoBufferA) {
  const fs::path board = fs::path(work) / "glasgow.kicad_pcb";
  const std::set<std::string> locked = lockedFootprints(board);
  auto movable = [&](const std::vector<DBX::Component*>& parts) {
    std::vector<DBX::Component*> out;
    for (DBX::Component* part : parts) {
      if (!locked.contains(bare(refDesOf(part)))) out.push_back(part);
    }
    return out;
  };
  const std::vector<DBX::Component*> partsA = movable(partsOn(kSheetA));
  const std::vector<DBX::Component*> partsB = movable(partsOn(kSheetB));
  ASSERT_EQ(partsA.size(), 67u);
  ASSERT_EQ(partsB.size(), 67u);
  tick(partsA);
  page().AddSelectedButtonClick();
  std::size_t differences = 0;
  page().chooseClosest = [&](const TGroupSelector&, const ClosestMatch::Result& closest) {
    differences = closest.candidates.empty() ? 0 : closest.candidates[0].differences.size();
    return 0;
  };
  tick(partsB);
  page().AddSelectedButtonClick();
  EXPECT_EQ(differences, 3u);
  ASSERT_TRUE(form->placeTabVisible());

  form->PageControl1Change(TForm1::kPlacePage);
  placement::TPlacer& placer = form->Placer1();
  ASSERT_EQ(placer.GroupCount(), 2u);
  const std::size_t items = placer.ItemsPerGroup();
  ASSERT_EQ(items, 67u);
  placer.SetCopyRouting(false);
  placer.GroupsListClick(0);
  placer.EditField(placement::Control::GapX, "2.54");
  ASSERT_TRUE(placer.PlaceEnabled());
  ui.answers = {true};  // beyond the board's right edge
  placer.PlaceClick();
  for (const auto& box : ui.boxes) ADD_FAILURE() << box.text;
  // IO_Buffer_B's parts named by the first six, in group order.
  std::string firstSix;
  for (std::size_t item = 0; item < 6; ++item) {
    firstSix += (item == 0 ? "" : ", ") + refDesOf(placer.Components()[items + item]);
  }
  EXPECT_EQ(ui.questions, std::vector<std::string>{"Parts that would lie outside the board: 67\n"
                                                   "G2: " +
                                                   firstSix + " and 61 more\nMove them anyway?"});
  const int64_t deltaX = *placement::ParseLength(placer.FieldOf(placement::Control::DeltaX).text);
  EXPECT_GT(deltaX, 0);
  std::vector<std::pair<std::string, std::string>> pairsPlaced;
  for (std::size_t item = 0; item < items; ++item) {
    pairsPlaced.emplace_back(refDesOf(placer.Components()[item]),
                             refDesOf(placer.Components()[items + item]));
  }
  ASSERT_EQ(host->command("save"), "ok " + board.string());

  const kicad::KicadBoard saved = kicad::readKicadBoard(board);
  const kicad::KicadBoard original = kicad::readKicadBoard(kicad::testing::kGlasgowBoard);
  auto placementOf = [](const kicad::KicadBoard& from, const std::string& refDes) {
    for (const dbxhost::PcbComponent& c : from.pcb.components) {
      if (c.refDes == refDes) return c.placement;
    }
    throw std::out_of_range("no component " + refDes);
  };
  std::size_t offHierarchy = 0;
  for (const auto& [model, copy] : pairsPlaced) {
    SCOPED_TRACE(copy + " like " + model);
    EXPECT_EQ(placementOf(saved, model), placementOf(original, model));
    const dbxhost::Placement a = placementOf(saved, model), b = placementOf(saved, copy);
    EXPECT_EQ(b.rotation, a.rotation);
    EXPECT_EQ(b.flipped, a.flipped);
    EXPECT_EQ(int64_t(b.refPoint.x) - a.refPoint.x, deltaX);
    EXPECT_EQ(b.refPoint.y, a.refPoint.y);
    offHierarchy += pairs.at(model) == copy ? 0 : 1;
  }
  // Twins may be exchanged, the strapped devices never.
  for (const std::string& strapped : kStrappedInA) {
    const auto pair = std::find_if(pairsPlaced.begin(), pairsPlaced.end(),
                                   [&](const auto& p) { return p.first == strapped; });
    ASSERT_NE(pair, pairsPlaced.end()) << strapped;
    EXPECT_EQ(pair->second, pairs.at(strapped));
  }
  RecordProperty("partsPlacedOffTheHierarchy", static_cast<int>(offHierarchy));
}

}  // namespace
