#include "storage/designfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "model/syntheticdesign.h"

namespace dbxhost {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// A small valid design: a dual op-amp drawn as two symbols, a resistor, a
// power symbol, one unconnected and one unused pin.
const char* const kValidDesign = R"json({
  "format": "tandrel-design",
  "version": 1,
  "nets": [{"id": 1, "name": "GND"}, {"id": 2, "name": "IN"}, {"id": 5, "name": "OUT", "highlight": 3}],
  "schematic": {
    "header": {"designName": "demo", "absGridId": 1, "relGridId": 2, "gridAbsolute": false,
               "relGridOrigin": [100000, -200000]},
    "grids": [{"id": 1, "spacing": "0.1mm"}, {"id": 2, "spacing": "2.54mm"}],
    "sheets": [{"id": 1, "name": "Main"}, {"id": 4, "name": "Second"}],
    "components": [
      {"refDes": "U1", "compType": "OPA2134", "value": "OPA2134", "patternName": "SOIC8",
       "numberParts": 2, "pins": [
        {"pinDes": "1", "gate": 1, "net": "OUT", "at": [10, 20]},
        {"pinDes": "3", "pinName": "+IN", "gate": 1, "net": "IN", "at": [11, 21]},
        {"pinDes": "7", "gate": 2, "net": null, "at": [12, 22]},
        {"pinDes": "(unused)", "gate": 2, "at": [13, 23]},
        {"pinDes": "(unused)", "gate": 2, "at": [14, 24]}]},
      {"refDes": "R1", "value": "10k", "pins": [
        {"pinDes": "1", "net": "IN", "at": [0, 0]}, {"pinDes": "2", "net": "GND", "at": [5, 0]}]},
      {"refDes": "#PWR1", "connectionType": "power", "pins": [{"pinDes": "1", "net": "GND", "at": [7, 7]}]}
    ],
    "symbols": [
      {"refDes": "U1:A", "sheet": 1, "at": [1000, 2000], "rect": [[900, 1900], [1100, 2100]]},
      {"refDes": "U1:B", "sheet": 4, "at": [3000, 4000], "rotation": 900, "flipped": true, "highlight": 10},
      {"refDes": "R1", "sheet": 1, "at": [-5, -6]},
      {"refDes": "#PWR1", "sheet": 1, "at": [7, 7]}
    ]
  },
  "pcb": {
    "header": {"designName": "demo", "absGridId": 1, "relGridId": 1},
    "grids": [{"id": 1, "spacing": "0.5mm"}],
    "boardOutline": [[0, 0], [5000000, 0], [5000000, 3000000], [0, 3000000]],
    "patterns": {
      "SOIC8": {"pads": [{"pinDes": "1", "at": [-270000, 190000]}, {"pinDes": "3", "at": [-270000, -60000]},
                         {"pinDes": "7", "at": [270000, 60000], "size": [60000, 150000]},
                         {"pinDes": "", "at": [0, 0]}, {"pinDes": "", "at": [1, 1]}],
                "outline": [[-300000, -250000], [300000, 250000]]},
      "R0603": {"pads": [{"pinDes": "1", "at": [-80000, 0]}, {"pinDes": "2", "at": [80000, 0]}]}
    },
    "components": [
      {"refDes": "U1", "patternName": "SOIC8", "at": [1000000, 1000000], "rotation": 2700,
       "nets": {"1": "OUT", "3": "IN", "7": null}},
      {"refDes": "R1", "value": "10k", "patternName": "R0603", "at": [2000000, 1000000],
       "flipped": true, "fixed": true, "highlight": 20, "nets": {"1": "IN", "2": "GND"}}
    ]
  }
})json";

Json validDocument() { return Json::parse(kValidDesign); }

// The message with which parsing the document is refused ("" if accepted).
std::string refusal(std::string_view text) {
  try {
    parseDesign(text, "board.json");
  } catch (const DesignFileError& error) {
    return error.what();
  }
  return "";
}

std::string refusalAfter(const std::function<void(Json&)>& change) {
  Json document = validDocument();
  change(document);
  return refusal(document.dump());
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder per test, removed afterwards.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "designfiletest-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, ignored);
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

TEST(DesignFileTest, ReadsEveryFieldAndAppliesDefaults) {
  const Design design = parseDesign(kValidDesign, "board.json");

  ASSERT_EQ(design.nets.size(), 3u);
  EXPECT_EQ(design.nets[2].id, 5);
  EXPECT_EQ(design.nets[2].name, "OUT");
  EXPECT_EQ(design.nets[2].highlight, 3);
  EXPECT_EQ(design.nets[0].highlight, 0);

  const Schematic& sch = design.sch;
  EXPECT_FALSE(sch.header.isGridAbsolute);
  EXPECT_EQ(sch.header.relGridOrigin, (TPoint{100000, -200000}));
  EXPECT_EQ(sch.header.relGridId, 2);
  ASSERT_EQ(sch.grids.size(), 2u);
  EXPECT_EQ(sch.grids[1].spacing, "2.54mm");
  ASSERT_EQ(sch.components.size(), 3u);
  const SchComponent& u1 = sch.components[0];
  EXPECT_EQ(u1.id, 1);
  EXPECT_EQ(u1.numberParts, 2);
  EXPECT_EQ(u1.libraryName, "");
  ASSERT_EQ(u1.pins.size(), 5u);
  EXPECT_EQ(u1.pins[0].netId, 5);
  EXPECT_EQ(u1.pins[1].pinName, "+IN");
  EXPECT_EQ(u1.pins[1].refPoint, (TPoint{11, 21}));
  EXPECT_EQ(u1.pins[2].netId, 0);
  EXPECT_EQ(u1.pins[2].gateNumber, 2);
  EXPECT_EQ(u1.pins[3].netId, 0);
  EXPECT_EQ(sch.components[1].pins[0].gateNumber, 1);
  EXPECT_EQ(sch.components[2].id, 3);
  EXPECT_EQ(sch.components[2].connectionType, DBX_18::DBX_COMPONENT_CONNECTION_POWER);
  EXPECT_EQ(sch.components[1].connectionType, DBX_18::DBX_COMPONENT_CONNECTION_NORMAL);

  ASSERT_EQ(sch.symbols.size(), 4u);
  const Symbol& partB = sch.symbols[1];
  EXPECT_EQ(partB.id, 2);
  EXPECT_EQ(partB.partNumber, 2);
  EXPECT_EQ(partB.component, 0u);
  EXPECT_EQ(partB.sheetId, 4);
  EXPECT_EQ(partB.rotation, 900);
  EXPECT_TRUE(partB.flipped);
  EXPECT_EQ(partB.highlight, 10);
  EXPECT_EQ(sch.symbols[0].boundRect, (TRect{{900, 1900}, {1100, 2100}}));
  EXPECT_EQ(sch.symbols[2].partNumber, 1);
  EXPECT_EQ(sch.symbols[2].component, 1u);
  EXPECT_EQ(sch.symbols[3].component, 2u);
  EXPECT_EQ(sch.symbols[2].boundRect, TRect{});

  const Pcb& pcb = design.pcb;
  EXPECT_TRUE(pcb.header.isGridAbsolute);
  EXPECT_EQ(pcb.boardOutline.size(), 4u);
  ASSERT_EQ(pcb.patterns.count("SOIC8"), 1u);
  const Pattern& soic = pcb.patterns.at("SOIC8");
  EXPECT_EQ(soic.name, "SOIC8");
  ASSERT_EQ(soic.pads.size(), 5u);
  EXPECT_EQ(soic.pads[2].size, (TPoint{60000, 150000}));
  EXPECT_EQ(soic.pads[0].size, PadDef{}.size);
  EXPECT_FALSE(pcb.patterns.at("R0603").outline.has_value());
  ASSERT_EQ(pcb.components.size(), 2u);
  const PcbComponent& u1Pcb = pcb.components[0];
  EXPECT_EQ(u1Pcb.id, 1);
  EXPECT_EQ(u1Pcb.placement.rotation, 2700);
  EXPECT_FALSE(u1Pcb.placement.flipped);
  // A pad given no net is not stored.
  EXPECT_EQ(u1Pcb.padNets, (std::map<std::string, int32_t>{{"1", 5}, {"3", 2}}));
  const PcbComponent& r1Pcb = pcb.components[1];
  EXPECT_EQ(r1Pcb.id, 2);
  EXPECT_TRUE(r1Pcb.placement.flipped);
  EXPECT_TRUE(r1Pcb.fixed);
  EXPECT_EQ(r1Pcb.highlight, 20);
}

TEST(DesignFileTest, PartNumbersFollowTheDesignatorSuffix) {
  const std::pair<const char*, int32_t> cases[] = {{"U1:C", 3}, {"U1:3", 3},  {"U1:", 1},
                                                   {"U1:c", 1}, {"U1:B7", 2}, {"U1:007", 7}};
  for (const auto& [refDes, part] : cases) {
    SCOPED_TRACE(refDes);
    Json document = validDocument();
    document["schematic"]["components"][0]["numberParts"] = 30;
    document["schematic"]["symbols"] =
        Json::array({{{"refDes", refDes}, {"sheet", 1}, {"at", {0, 0}}}});
    const Design design = parseDesign(document.dump(), "board.json");
    EXPECT_EQ(design.sch.symbols.at(0).partNumber, part);
  }
}

TEST(DesignFileTest, RefusesMalformedJsonWithLineAndColumn) {
  const std::string truncated = "{\n  \"format\": \"tandrel-design\",\n  \"nets\": [";
  const std::string message = refusal(truncated);
  EXPECT_EQ(message.rfind("board.json: line 3, column 12: ", 0), 0u) << message;
  EXPECT_NE(message.find("unexpected end of input"), std::string::npos) << message;

  EXPECT_EQ(refusal("{\"format\": tandrel}").rfind("board.json: line 1, column 13: ", 0), 0u);
  EXPECT_EQ(refusal("").rfind("board.json: line 1, column 1: ", 0), 0u);
  // A cut in the middle of the valid design is refused as well.
  const std::string half(kValidDesign, std::strlen(kValidDesign) / 2);
  EXPECT_NE(refusal(half).find("board.json: line "), std::string::npos);
  // A number too large for a double is a refusal, not an escaping library error.
  EXPECT_EQ(refusal(R"({"format": "tandrel-design", "version": 1e400})"),
            "board.json: number overflow parsing '1e400'");
}

TEST(DesignFileTest, RefusesAFieldGivenTwice) {
  std::string text = validDocument().dump();
  const std::string rotation = "\"rotation\":2700";
  text.replace(text.find(rotation), rotation.size(), rotation + ",\"rotation\":0");
  EXPECT_EQ(refusal(text), "board.json: /pcb/components/0: field \"rotation\" appears twice");
  EXPECT_EQ(refusal(R"({"format": "tandrel-design", "format": "x"})"),
            "board.json: /: field \"format\" appears twice");
}

TEST(DesignFileTest, RefusesOtherFilesAndOtherVersions) {
  EXPECT_EQ(refusal("[1, 2]"), "board.json: /: expected an object, found array");
  EXPECT_EQ(refusalAfter([](Json& d) { d["format"] = "kicad_pcb"; }),
            "board.json: /format: not a Tandrel design file (expected \"format\": "
            "\"tandrel-design\")");
  EXPECT_EQ(refusalAfter([](Json& d) { d.erase("format"); }),
            "board.json: /: missing required field \"format\"");
  // A newer file is refused for its version even when it has fields this
  // reader does not know.
  EXPECT_EQ(refusalAfter([](Json& d) {
              d["version"] = 3;
              d["layers"] = Json::array();
            }),
            "board.json: /version: the file has version 3 and needs a newer dbxhost (this one "
            "reads up to version 2)");
  EXPECT_EQ(refusalAfter([](Json& d) { d["version"] = 0; }),
            "board.json: /version: unknown version 0");
  EXPECT_EQ(refusalAfter([](Json& d) { d["version"] = "1"; }),
            "board.json: /version: expected an integer, found string");
}

struct RefusalCase {
  const char* what;
  std::function<void(Json&)> change;
  std::string message;
};

void expectRefusals(const std::vector<RefusalCase>& cases) {
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(refusalAfter(c.change), c.message);
  }
}

TEST(DesignFileTest, RefusesMissingFieldsAndWrongTypes) {
  expectRefusals({
      {"no pcb", [](Json& d) { d.erase("pcb"); }, "board.json: /: missing required field \"pcb\""},
      {"component without pattern", [](Json& d) { d["pcb"]["components"][1].erase("patternName"); },
       "board.json: /pcb/components/1: missing required field \"patternName\""},
      {"pin without position",
       [](Json& d) { d["schematic"]["components"][0]["pins"][2].erase("at"); },
       "board.json: /schematic/components/0/pins/2: missing required field \"at\""},
      {"number as name", [](Json& d) { d["nets"][1]["name"] = 5; },
       "board.json: /nets/1/name: expected a string, found number"},
      {"fraction as coordinate", [](Json& d) { d["pcb"]["components"][0]["at"][1] = 1.5; },
       "board.json: /pcb/components/0/at/1: expected an integer, found 1.5"},
      {"text as point", [](Json& d) { d["schematic"]["symbols"][0]["at"] = "1000,2000"; },
       "board.json: /schematic/symbols/0/at: expected an array, found string"},
      {"three coordinates",
       [](Json& d) {
         d["schematic"]["symbols"][0]["at"] = {1, 2, 3};
       },
       "board.json: /schematic/symbols/0/at: a point is [x, y]"},
      {"text as flag", [](Json& d) { d["pcb"]["components"][0]["flipped"] = "yes"; },
       "board.json: /pcb/components/0/flipped: expected true or false, found string"},
      {"object as net list", [](Json& d) { d["nets"] = Json::object(); },
       "board.json: /nets: expected an array, found object"},
      {"misspelt field", [](Json& d) { d["pcb"]["components"][0]["rotaton"] = 900; },
       "board.json: /pcb/components/0: unknown field \"rotaton\""},
      {"inverted rectangle",
       [](Json& d) {
         d["schematic"]["symbols"][0]["rect"] = {{1100, 1900}, {900, 2100}};
       },
       "board.json: /schematic/symbols/0/rect: a rectangle's first corner must be its lower left, "
       "the second its upper right"},
      {"two-point board outline",
       [](Json& d) {
         d["pcb"]["boardOutline"] = {{0, 0}, {1, 1}};
       },
       "board.json: /pcb/boardOutline: a board outline needs at least 3 points"},
      {"pad of no size",
       [](Json& d) {
         d["pcb"]["patterns"]["R0603"]["pads"][0]["size"] = {0, 10};
       },
       "board.json: /pcb/patterns/R0603/pads/0/size: a pad size must be positive"},
  });
}

TEST(DesignFileTest, RefusesBadOrRepeatedIdsAndNames) {
  expectRefusals({
      {"net id 0", [](Json& d) { d["nets"][0]["id"] = 0; },
       "board.json: /nets/0/id: 0 is outside 1..2147483647"},
      {"negative sheet id", [](Json& d) { d["schematic"]["sheets"][0]["id"] = -3; },
       "board.json: /schematic/sheets/0/id: -3 is outside 1..2147483647"},
      {"net id twice", [](Json& d) { d["nets"][2]["id"] = 1; },
       "board.json: /nets/2/id: net id 1 is used twice"},
      {"sheet id twice", [](Json& d) { d["schematic"]["sheets"][1]["id"] = 1; },
       "board.json: /schematic/sheets/1/id: sheet id 1 is used twice"},
      {"grid id twice", [](Json& d) { d["schematic"]["grids"][1]["id"] = 1; },
       "board.json: /schematic/grids/1/id: grid id 1 is used twice"},
      {"net name twice", [](Json& d) { d["nets"][2]["name"] = "GND"; },
       "board.json: /nets/2/name: net name \"GND\" is used twice"},
      {"empty net name", [](Json& d) { d["nets"][2]["name"] = ""; },
       "board.json: /nets/2/name: text must not be empty"},
      {"PCB refDes twice", [](Json& d) { d["pcb"]["components"][1]["refDes"] = "U1"; },
       "board.json: /pcb/components/1/refDes: PCB component \"U1\" is defined twice"},
      {"schematic refDes twice", [](Json& d) { d["schematic"]["components"][1]["refDes"] = "U1"; },
       "board.json: /schematic/components/1/refDes: schematic component \"U1\" is defined twice"},
      {"symbol twice", [](Json& d) { d["schematic"]["symbols"][1]["refDes"] = "U1:A"; },
       "board.json: /schematic/symbols/1/refDes: symbol \"U1:A\" is defined twice"},
      {"part drawn twice", [](Json& d) { d["schematic"]["symbols"][1]["refDes"] = "U1:1"; },
       "board.json: /schematic/symbols/1/refDes: part 1 of U1 already has the symbol \"U1:A\""},
      {"colon in component refDes",
       [](Json& d) { d["schematic"]["components"][1]["refDes"] = "R:1"; },
       "board.json: /schematic/components/1/refDes: a component designator cannot contain ':' "
       "(part suffixes belong to symbols)"},
      {"pin designator twice",
       [](Json& d) { d["schematic"]["components"][1]["pins"][1]["pinDes"] = "1"; },
       "board.json: /schematic/components/1/pins/1/pinDes: pin \"1\" of R1 appears twice"},
      {"pad designator twice",
       [](Json& d) { d["pcb"]["patterns"]["R0603"]["pads"][1]["pinDes"] = "1"; },
       "board.json: /pcb/patterns/R0603/pads/1/pinDes: pad \"1\" appears twice in pattern "
       "\"R0603\""},
  });
}

TEST(DesignFileTest, ARefusalQuotesAtMostTwoHundredBytesOfTheInput) {
  const std::string huge(1'000'000, 'N');
  EXPECT_EQ(refusalAfter([&](Json& d) { d["nets"][2]["unknownField" + huge] = 1; }),
            "board.json: /nets/2: unknown field \"unknownField" + std::string(188, 'N') +
                "\"... (999812 more bytes)");
  // Cut where a character begins, never inside one.
  const std::string text = std::string(199, 'a') + "\u00e9" + std::string(1000, 'b');
  EXPECT_EQ(refusalAfter([&](Json& d) {
              d["nets"][1]["name"] = text;
              d["nets"][2]["name"] = text;
            }),
            "board.json: /nets/1/name: text \"" + std::string(199, 'a') +
                "\"... (1002 more bytes) is longer than 127 bytes");
}

TEST(DesignFileTest, RefusesReferencesToWhatIsNotThere) {
  expectRefusals({
      {"pin on unknown net",
       [](Json& d) { d["schematic"]["components"][1]["pins"][0]["net"] = "VCC"; },
       "board.json: /schematic/components/1/pins/0/net: unknown net \"VCC\""},
      {"pad on unknown net", [](Json& d) { d["pcb"]["components"][1]["nets"]["2"] = "gnd"; },
       "board.json: /pcb/components/1/nets/2: unknown net \"gnd\""},
      {"symbol without component", [](Json& d) { d["schematic"]["symbols"][2]["refDes"] = "R2"; },
       "board.json: /schematic/symbols/2/refDes: symbol \"R2\" has no schematic component \"R2\""},
      {"symbol on unknown sheet", [](Json& d) { d["schematic"]["symbols"][1]["sheet"] = 2; },
       "board.json: /schematic/symbols/1/sheet: unknown sheet 2"},
      {"part beyond the parts", [](Json& d) { d["schematic"]["symbols"][1]["refDes"] = "U1:C"; },
       "board.json: /schematic/symbols/1/refDes: part 3 of symbol \"U1:C\" is outside 1..2, the "
       "parts of U1"},
      {"part 0", [](Json& d) { d["schematic"]["symbols"][1]["refDes"] = "U1:0"; },
       "board.json: /schematic/symbols/1/refDes: part 0 of symbol \"U1:0\" is outside 1..2, the "
       "parts of U1"},
      {"second part of a one-part component",
       [](Json& d) { d["schematic"]["symbols"][2]["refDes"] = "R1:B"; },
       "board.json: /schematic/symbols/2/refDes: part 2 of symbol \"R1:B\" is outside 1..1, the "
       "parts of R1"},
      {"pin gate beyond the parts",
       [](Json& d) { d["schematic"]["components"][0]["pins"][2]["gate"] = 3; },
       "board.json: /schematic/components/0/pins/2/gate: gate 3 is outside 1..2, the parts of U1"},
      {"unknown pattern", [](Json& d) { d["pcb"]["components"][1]["patternName"] = "R0805"; },
       "board.json: /pcb/components/1/patternName: unknown pattern \"R0805\""},
      {"net on a missing pad", [](Json& d) { d["pcb"]["components"][0]["nets"]["8"] = "GND"; },
       "board.json: /pcb/components/0/nets/8: pattern \"SOIC8\" has no pad \"8\""},
      {"net on an unnamed pad", [](Json& d) { d["pcb"]["components"][0]["nets"][""] = "GND"; },
       "board.json: /pcb/components/0/nets/: pattern \"SOIC8\" has no pad \"\""},
  });
}

TEST(DesignFileTest, RefusesValuesOutOfRange) {
  expectRefusals({
      {"full turn", [](Json& d) { d["pcb"]["components"][0]["rotation"] = 3600; },
       "board.json: /pcb/components/0/rotation: 3600 is outside 0..3599"},
      {"negative angle", [](Json& d) { d["schematic"]["symbols"][0]["rotation"] = -900; },
       "board.json: /schematic/symbols/0/rotation: -900 is outside 0..3599"},
      {"unknown connection type",
       [](Json& d) { d["schematic"]["components"][2]["connectionType"] = "ground"; },
       "board.json: /schematic/components/2/connectionType: unknown connectionType \"ground\" "
       "(expected normal, power, sheet-connector, module or link)"},
      {"colour 21", [](Json& d) { d["pcb"]["components"][1]["highlight"] = 21; },
       "board.json: /pcb/components/1/highlight: 21 is outside 0..20"},
      {"negative colour", [](Json& d) { d["nets"][0]["highlight"] = -1; },
       "board.json: /nets/0/highlight: -1 is outside 0..20"},
      {"x beyond 32 bits", [](Json& d) { d["pcb"]["components"][0]["at"][0] = 2147483648LL; },
       "board.json: /pcb/components/0/at/0: 2147483648 is outside -2147483648..2147483647"},
      {"y below 32 bits", [](Json& d) { d["schematic"]["symbols"][0]["at"][1] = -2147483649LL; },
       "board.json: /schematic/symbols/0/at/1: -2147483649 is outside -2147483648..2147483647"},
      {"beyond 64 bits", [](Json& d) { d["pcb"]["boardOutline"][0][0] = 18446744073709551615ULL; },
       "board.json: /pcb/boardOutline/0/0: 18446744073709551615 is outside "
       "-2147483648..2147483647"},
      {"no parts", [](Json& d) { d["schematic"]["components"][0]["numberParts"] = 0; },
       "board.json: /schematic/components/0/numberParts: 0 is outside 1..2147483647"},
  });
}

TEST(DesignFileTest, RefusesTextsTheHostRecordsCannotHold) {
  const std::string refDes31(31, 'R');
  const std::string name63(63, 'v');
  const std::string net127(127, 'N');
  Json longest = validDocument();
  longest["pcb"]["components"][1]["refDes"] = refDes31;
  longest["pcb"]["components"][1]["value"] = name63;
  longest["nets"][2]["name"] = net127;
  longest["schematic"]["components"][0]["pins"][0]["net"] = net127;
  longest["pcb"]["components"][0]["nets"]["1"] = net127;
  const Design design = parseDesign(longest.dump(), "board.json");
  EXPECT_EQ(design.pcb.components[1].refDes, refDes31);
  EXPECT_EQ(design.nets[2].name, net127);

  expectRefusals({
      {"refDes of 32", [&](Json& d) { d["pcb"]["components"][1]["refDes"] = refDes31 + "1"; },
       "board.json: /pcb/components/1/refDes: text \"" + refDes31 + "1\" is longer than 31 bytes"},
      {"value of 64", [&](Json& d) { d["pcb"]["components"][1]["value"] = name63 + "v"; },
       "board.json: /pcb/components/1/value: text \"" + name63 + "v\" is longer than 63 bytes"},
      {"net name of 128", [&](Json& d) { d["nets"][0]["name"] = net127 + "N"; },
       "board.json: /nets/0/name: text \"" + net127 + "N\" is longer than 127 bytes"},
      {"sheet name of 128", [&](Json& d) { d["schematic"]["sheets"][0]["name"] = net127 + "N"; },
       "board.json: /schematic/sheets/0/name: text \"" + net127 + "N\" is longer than 127 bytes"},
  });
  EXPECT_EQ(refusalAfter(
                [](Json& d) { d["schematic"]["components"][1]["value"] = std::string("1\0k", 3); }),
            "board.json: /schematic/components/1/value: text contains a zero byte");
  // Pattern names are keys; the location escapes '/' as JSON pointers do.
  EXPECT_EQ(refusalAfter([](Json& d) {
              d["pcb"]["patterns"]["A/B"] = {{"pads", 1}};
            }),
            "board.json: /pcb/patterns/A~1B/pads: expected an array, found number");
}

TEST(DesignFileTest, RoundTripGivesAnEqualDesign) {
  const Design design = parseDesign(kValidDesign, "board.json");
  const std::string text = serializeDesign(design);
  const Design again = parseDesign(text, "saved.json");
  EXPECT_EQ(again, design);
  EXPECT_EQ(serializeDesign(again), text);

  const Design synthetic = makeSyntheticDesign(3, 5, true);
  EXPECT_EQ(parseDesign(serializeDesign(synthetic), "synthetic.json"), synthetic);

  for (const char* example : {"quad-preamp.json", "flat-3ch.json", "quad-preamp-routed.json"}) {
    SCOPED_TRACE(example);
    const Design loaded = readDesignFile(fs::path(TANDREL_EXAMPLES_DIR) / example);
    EXPECT_EQ(parseDesign(serializeDesign(loaded), example), loaded);
  }
  // The routed example: the plain one with copper in each of its four channels.
  const Design plain = readDesignFile(fs::path(TANDREL_EXAMPLES_DIR) / "quad-preamp.json");
  Design routed = readDesignFile(fs::path(TANDREL_EXAMPLES_DIR) / "quad-preamp-routed.json");
  EXPECT_EQ(routed.pcb.zones.size(), 4u);
  EXPECT_FALSE(routed.pcb.tracks.empty());
  EXPECT_FALSE(routed.pcb.vias.empty());
  routed.pcb.tracks.clear();
  routed.pcb.vias.clear();
  routed.pcb.zones.clear();
  EXPECT_EQ(routed, plain);
}

// The valid design with copper on three layers and a placed text.
Json routedDocument() {
  Json d = validDocument();
  d["version"] = 2;
  Json& pcb = d["pcb"];
  pcb["layers"] = Json::parse(R"([{"name": "F.Cu"}, {"name": "B.Cu"},
      {"name": "F.SilkS", "copper": false}])");
  pcb["tracks"] = Json::parse(R"([{"layer": "F.Cu", "width": 25000, "start": [0, 0],
      "end": [100000, 0], "net": "IN", "group": "Copy 1", "createdByClient": true},
      {"layer": "B.Cu", "width": 20000, "start": [5, 5], "end": [6, 6], "fixed": true}])");
  pcb["arcs"] = Json::parse(R"([{"layer": "B.Cu", "width": 20000, "start": [0, 0],
      "mid": [50, 50], "end": [100, 0], "net": "GND"}])");
  pcb["vias"] = Json::parse(R"([{"at": [10, 10], "diameter": 60000, "drill": 30000,
      "layers": ["F.Cu", "B.Cu"], "type": "blind", "net": "GND"}])");
  pcb["zones"] = Json::parse(R"([{"layers": ["F.Cu", "B.Cu"], "priority": 1, "net": "GND",
      "outline": [[0, 0], [100, 0], [100, 100]]},
      {"layers": ["F.Cu"], "keepout": true, "outline": [[0, 0], [10, 0], [10, 10]]}])");
  pcb["components"][0]["texts"] = Json::parse(R"([{"type": "refDes", "at": [1000000, 1100000],
      "rotation": 900, "layer": "F.SilkS", "height": 80000},
      {"type": "value", "at": [1, 2], "visible": false}])");
  return d;
}

TEST(DesignFileTest, CopperAndTextsAreReadNumberedAndSavedAgain) {
  const Design design = parseDesign(routedDocument().dump(), "board.json");
  const Pcb& pcb = design.pcb;
  ASSERT_EQ(pcb.layers.size(), 3u);
  EXPECT_FALSE(pcb.layers[2].copper);
  ASSERT_EQ(pcb.tracks.size(), 2u);
  EXPECT_EQ(pcb.tracks[0].info.id, 1);
  EXPECT_EQ(pcb.tracks[0].info.netId, 2);
  EXPECT_EQ(pcb.tracks[0].info.group, "Copy 1");
  EXPECT_TRUE(pcb.tracks[0].info.createdByClient);
  EXPECT_EQ(pcb.tracks[1].layerId, 2);
  EXPECT_TRUE(pcb.tracks[1].info.fixed);
  EXPECT_EQ(pcb.arcs[0].info.id, 3);
  EXPECT_EQ(pcb.arcs[0].mid, (TPoint{50, 50}));
  EXPECT_EQ(pcb.vias[0].viaType, DBX_18::kViaBlindBuried);
  EXPECT_EQ(pcb.vias[0].endLayerId, 2);
  ASSERT_EQ(pcb.zones.size(), 2u);
  EXPECT_EQ(pcb.zones[0].layerIds, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(pcb.zones[1].info.id, 6);
  EXPECT_TRUE(pcb.zones[1].keepout);
  ASSERT_EQ(pcb.components[0].texts.size(), 2u);
  EXPECT_EQ(pcb.components[0].texts[0].layerId, 3);
  EXPECT_EQ(pcb.components[0].texts[0].height, 80000);
  EXPECT_FALSE(pcb.components[0].texts[1].visible);

  const std::string text = serializeDesign(design);
  EXPECT_EQ(Json::parse(text)["version"], 2);
  EXPECT_EQ(parseDesign(text, "saved.json"), design);
  // Without copper the file keeps the first version.
  EXPECT_EQ(Json::parse(serializeDesign(parseDesign(kValidDesign, "board.json")))["version"], 1);
}

TEST(DesignFileTest, RefusesCopperThatCannotBe) {
  auto refusalOf = [](const std::function<void(Json&)>& change) {
    Json d = routedDocument();
    change(d);
    return refusal(d.dump());
  };
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["tracks"][0]["layer"] = "In1.Cu"; }),
            "board.json: /pcb/tracks/0/layer: unknown layer \"In1.Cu\"");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["tracks"][0]["layer"] = "F.SilkS"; }),
            "board.json: /pcb/tracks/0/layer: layer \"F.SilkS\" is not copper");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["tracks"][0]["width"] = 0; }),
            "board.json: /pcb/tracks/0/width: 0 is outside 1..2147483647");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["tracks"][0]["net"] = "VCC"; }),
            "board.json: /pcb/tracks/0/net: unknown net \"VCC\"");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["vias"][0]["drill"] = 60000; }),
            "board.json: /pcb/vias/0/drill: a drill must be smaller than the diameter");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["vias"][0]["layers"][1] = "F.Cu"; }),
            "board.json: /pcb/vias/0/layers: a via spans two different layers");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["vias"][0]["type"] = "buried"; }),
            "board.json: /pcb/vias/0/type: unknown via type \"buried\"");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["zones"][1]["net"] = "GND"; }),
            "board.json: /pcb/zones/1/net: a keepout is on no net");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["zones"][0]["outline"].erase(0); }),
            "board.json: /pcb/zones/0/outline: a zone outline needs at least 3 points");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["zones"][0]["layers"] = Json::array(); }),
            "board.json: /pcb/zones/0/layers: a zone lies on at least one layer");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["layers"][1]["name"] = "F.Cu"; }),
            "board.json: /pcb/layers/1/name: layer \"F.Cu\" is defined twice");
  EXPECT_EQ(refusalOf([](Json& d) { d["pcb"]["components"][0]["texts"][1]["type"] = "refDes"; }),
            "board.json: /pcb/components/0/texts/1/type: text \"refDes\" appears twice");
  // Without layers of its own a board has "Top" and "Bottom".
  Json plain = validDocument();
  plain["pcb"]["tracks"] = Json::parse(R"([{"layer": "Bottom", "width": 1, "start": [0, 0],
      "end": [1, 1]}])");
  EXPECT_EQ(parseDesign(plain.dump(), "board.json").pcb.tracks[0].layerId, 2);
}

TEST(DesignFileTest, SerializingRefusesDanglingReferences) {
  Design design = parseDesign(kValidDesign, "board.json");
  design.pcb.components[1].padNets["2"] = 99;
  try {
    serializeDesign(design);
    FAIL() << "a pad on net id 99 was written";
  } catch (const DesignFileError& error) {
    EXPECT_STREQ(error.what(), "design: /pcb/components/1/nets/2: net id 99 is no net");
  }
  design = parseDesign(kValidDesign, "board.json");
  design.sch.components[2].connectionType = 9;
  EXPECT_THROW(serializeDesign(design), DesignFileError);
}

// The shipped examples must load and show what they are made to show.
TEST(DesignFileTest, ExamplesLoad) {
  const fs::path examples = TANDREL_EXAMPLES_DIR;
  const Design quad = readDesignFile(examples / "quad-preamp.json");
  EXPECT_EQ(quad.sch.sheets.size(), 5u);  // the top sheet and four channel sheets
  EXPECT_FALSE(quad.sch.header.isGridAbsolute);
  EXPECT_NE(quad.sch.header.relGridOrigin, TPoint{});
  auto countConnection = [](const Design& d, int32_t type) {
    return std::count_if(d.sch.components.begin(), d.sch.components.end(),
                         [&](const SchComponent& c) { return c.connectionType == type; });
  };
  EXPECT_GE(countConnection(quad, DBX_18::DBX_COMPONENT_CONNECTION_POWER), 2);
  EXPECT_GE(countConnection(quad, DBX_18::DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR), 1);
  bool anyFlipped = false;
  bool anyRotated = false;
  for (const PcbComponent& c : quad.pcb.components) {
    anyFlipped = anyFlipped || c.placement.flipped;
    anyRotated = anyRotated || c.placement.rotation != 0;
  }
  EXPECT_TRUE(anyFlipped);
  EXPECT_TRUE(anyRotated);
  // Both gates of U2 are drawn, on the sheet of channel 2.
  int u2Symbols = 0;
  for (const Symbol& s : quad.sch.symbols) {
    if (s.refDes.rfind("U2:", 0) == 0) {
      ++u2Symbols;
      EXPECT_EQ(quad.sch.sheets.at(s.sheetId - 1).name, "Channel2");
    }
  }
  EXPECT_EQ(u2Symbols, 2);

  // Every channel sheet shows the same drawing.
  std::map<int32_t, std::multiset<std::pair<int32_t, int32_t>>> drawingOfSheet;
  for (const Symbol& s : quad.sch.symbols) {
    drawingOfSheet[s.sheetId].insert({s.refPoint.x, s.refPoint.y});
  }
  for (int32_t sheet = 3; sheet <= 5; ++sheet) EXPECT_EQ(drawingOfSheet[sheet], drawingOfSheet[2]);

  const Design flat = readDesignFile(examples / "flat-3ch.json");
  EXPECT_EQ(flat.sch.sheets.size(), 1u);
  // Each channel has two equal resistors between the same two nets.
  std::map<std::map<std::string, int32_t>, std::vector<std::string>> resistorsByNets;
  for (const PcbComponent& c : flat.pcb.components) {
    if (c.refDes[0] == 'R') resistorsByNets[c.padNets].push_back(c.value + "/" + c.patternName);
  }
  int parallelPairs = 0;
  for (const auto& [nets, parts] : resistorsByNets) {
    if (parts.size() == 2 && parts[0] == parts[1]) ++parallelPairs;
  }
  EXPECT_EQ(parallelPairs, 3);
}

// The example in the format description is meant to be copied: it must load.
TEST(DesignFileTest, DocumentedExampleLoads) {
  const std::string text =
      readText(fs::path(TANDREL_EXAMPLES_DIR) / ".." / "docs" / "design-format.md");
  const std::size_t start = text.find("```json\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = text.find("```", start + 8);
  ASSERT_NE(end, std::string::npos);
  const Design design = parseDesign(text.substr(start + 8, end - start - 8), "design-format.md");
  ASSERT_EQ(design.sch.symbols.size(), 5u);
  EXPECT_EQ(design.sch.symbols[3].partNumber, 2);
  EXPECT_EQ(design.sch.components[3].connectionType, DBX_18::DBX_COMPONENT_CONNECTION_POWER);
  EXPECT_EQ(design.pcb.components.size(), 3u);
}

TEST(DesignFileTest, ReadingNamesTheFileThatCannotBeRead) {
  TemporaryFolder folder;
  const fs::path missing = folder.path() / "missing.json";
  EXPECT_THROW(
      {
        try {
          readDesignFile(missing);
        } catch (const DesignFileError& error) {
          EXPECT_EQ(std::string(error.what()),
                    missing.string() + ": cannot open: No such file or directory");
          throw;
        }
      },
      DesignFileError);
  try {
    readDesignFile(folder.path());
    FAIL() << "a folder was read as a design";
  } catch (const DesignFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              folder.path().string() + ": is a folder, not a design file");
  }
  const fs::path bad = folder.path() / "bad.json";
  writeText(bad, "{\"format\": \"tandrel-design\", \"version\": 1, \"nets\": 3}");
  try {
    readDesignFile(bad);
    FAIL() << "a bad file was read";
  } catch (const DesignFileError& error) {
    EXPECT_EQ(std::string(error.what()), bad.string() + ": /nets: expected an array, found number");
  }
}

class DesignFileSaveTest : public testing::Test {
 protected:
  TemporaryFolder folder_;
  fs::path target_ = folder_.path() / "board.json";
  const Design design_ = parseDesign(kValidDesign, "board.json");
  const std::string oldContent_ = "the old design\n";

  std::string saveError(const Design& design, const fs::path& path) {
    try {
      saveDesignFile(design, path);
    } catch (const DesignFileError& error) {
      return error.what();
    }
    return "";
  }
};

TEST_F(DesignFileSaveTest, SavesAndReplacesKeepingPermissions) {
  saveDesignFile(design_, target_);
  EXPECT_EQ(readDesignFile(target_), design_);
  ::chmod(target_.c_str(), 0640);

  Design changed = design_;
  changed.pcb.components[0].placement.refPoint = {7, 8};
  saveDesignFile(changed, target_);
  EXPECT_EQ(readDesignFile(target_), changed);
  EXPECT_EQ(fs::status(target_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"board.json"});
}

TEST_F(DesignFileSaveTest, ALinkedFileIsReplacedOnlyUnderItsOwnName) {
  writeText(target_, oldContent_);
  const fs::path link = folder_.path() / "link.json";
  fs::create_symlink(target_, link);
  EXPECT_EQ(saveError(design_, link), link.string() + ": not saved: it is a symbolic link to " +
                                          target_.string() +
                                          "; save to that path to replace the file");
  EXPECT_EQ(readText(target_), oldContent_);
  saveDesignFile(design_, target_);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readDesignFile(link), design_);
}

TEST_F(DesignFileSaveTest, FailuresLeaveTheOldFileAndNoLeftovers) {
  writeText(target_, oldContent_);

  // A design that could not be read back is not written at all.
  Design dangling = design_;
  dangling.sch.components[0].pins[0].netId = 42;
  EXPECT_EQ(saveError(dangling, target_),
            target_.string() +
                ": not saved: design: /schematic/components/0/pins/0/net: net id 42 is no net");
  Design unreadable = design_;
  unreadable.pcb.components[0].placement.rotation = 3600;
  EXPECT_EQ(saveError(unreadable, target_),
            target_.string() +
                ": not saved: design: /pcb/components/0/rotation: 3600 is outside 0..3599");

  // The target is a folder: refused before anything is written.
  const fs::path folderTarget = folder_.path() / "sub";
  fs::create_directory(folderTarget);
  EXPECT_EQ(saveError(design_, folderTarget),
            folderTarget.string() + ": not saved: it is a folder, not a regular file");

  const fs::path nowhere = folder_.path() / "no-such-folder" / "board.json";
  EXPECT_EQ(
      saveError(design_, nowhere),
      nowhere.string() + ": cannot create a temporary file beside it: No such file or directory");

  EXPECT_EQ(readText(target_), oldContent_);
  EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"board.json", "sub"}));
  EXPECT_TRUE(fs::is_empty(folderTarget));
}

TEST_F(DesignFileSaveTest, UnwritableFolderLeavesTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  writeText(target_, oldContent_);
  fs::permissions(folder_.path(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(saveError(design_, target_),
            target_.string() + ": cannot create a temporary file beside it: Permission denied");
  fs::permissions(folder_.path(), fs::perms::owner_all);
  EXPECT_EQ(readText(target_), oldContent_);
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"board.json"});
}

// A write that fails half-way (here: the file size limit) must leave the old
// file as it was. Runs in a child process so the limit binds only there.
TEST_F(DesignFileSaveTest, FailedWriteLeavesTheOldFile) {
  writeText(target_, oldContent_);
  const Design big = makeSyntheticDesign(4, 40, false);
  EXPECT_EXIT(
      {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
          saveDesignFile(big, target_);
        } catch (const DesignFileError& error) {
          std::fprintf(stderr, "%s\n", error.what());
          std::_Exit(0);
        }
        std::_Exit(1);
      },
      testing::ExitedWithCode(0), ": cannot write: File too large");
  EXPECT_EQ(readText(target_), oldContent_);
  EXPECT_EQ(folder_.entries(), std::vector<std::string>{"board.json"});
}

}  // namespace
}  // namespace dbxhost
