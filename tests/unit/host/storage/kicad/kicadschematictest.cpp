#include "storage/kicad/kicadschematic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kicadreference.h"
#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/kicadproject.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr int32_t kMm = 100000;

// Library symbols in KiCad's layout, one per line.
//
// Asym: pin 1 left of the body pointing right, pin 2 above it pointing down,
// so that every turn and mirror moves the two pins differently.
const std::string kAsym =
    R"~((symbol "T:Asym" (symbol "Asym_0_1" (rectangle (start -1.27 -1.27) (end 1.27 3.81))))~"
    R"~( (symbol "Asym_1_1" (pin passive line (at -2.54 0 0) (length 1.27) (name "A") (number "1")))~"
    R"~( (pin input line (at 0 5.08 270) (length 1.27) (name "B") (number "2")))))~";
const std::string kResistor =
    R"~((symbol "Device:R" (symbol "R_0_1" (rectangle (start -1.016 -2.54) (end 1.016 2.54))))~"
    R"~( (symbol "R_1_1" (pin passive line (at 0 3.81 270) (length 1.27) (name "~") (number "1")))~"
    R"~( (pin passive line (at 0 -3.81 90) (length 1.27) (name "~") (number "2")))))~";
// A dual amplifier: supply pins common to both units, and a second body
// style whose pin 5 stands elsewhere.
const std::string kDual =
    R"~((symbol "Amp:Dual" (symbol "Dual_0_1")~"
    R"~( (pin power_in line (at -2.54 7.62 270) (length 3.81) (name "V+") (number "8")))~"
    R"~( (pin power_in line (at -2.54 -7.62 90) (length 3.81) (name "V-") (number "4"))))~"
    R"~( (symbol "Dual_1_1" (polyline (pts (xy -5.08 5.08) (xy 5.08 0) (xy -5.08 -5.08))))~"
    R"~( (pin input line (at -7.62 2.54 0) (length 2.54) (name "+") (number "3")))~"
    R"~( (pin input line (at -7.62 -2.54 0) (length 2.54) (name "-") (number "2")))~"
    R"~( (pin output line (at 7.62 0 180) (length 2.54) (name "OUT") (number "1"))))~"
    R"~( (symbol "Dual_2_1" (pin input line (at -7.62 2.54 0) (length 2.54) (name "+") (number "5")))~"
    R"~( (pin input line (at -7.62 -2.54 0) (length 2.54) (name "-") (number "6")))~"
    R"~( (pin output line (at 7.62 0 180) (length 2.54) (name "OUT") (number "7"))))~"
    R"~( (symbol "Dual_2_2" (pin input line (at -10.16 2.54 0) (length 2.54) (name "+") (number "5")))))~";
const std::string kGround =
    R"~((symbol "power:GND" (power) (symbol "GND_0_1" (polyline (pts (xy 0 0) (xy 0 -1.27)))))~"
    R"~( (symbol "GND_1_1" (pin power_in line (at 0 0 270) (length 0) hide (name "GND") (number "1")))))~";
const std::string kFlag =
    R"~((symbol "power:PWR_FLAG" (power))~"
    R"~( (symbol "PWR_FLAG_1_1" (pin power_out line (at 0 0 90) (length 0) (name "pwr") (number "1")))))~";
const std::string kLogo =
    R"~((symbol "Logo:Logo" (symbol "Logo_0_1" (circle (center 0 0) (radius 5)))))~";
// Round: an arc bulging upwards and a circle below; Cup: an arc bulging
// downwards, given clockwise.
const std::string kRound =
    R"~((symbol "T:Round" (symbol "Round_0_1" (arc (start 2.54 0) (mid 0 2.54) (end -2.54 0)))~"
    R"~( (circle (center 0 -5) (radius 1)))))~"
    R"~((symbol "T:Cup" (symbol "Cup_0_1" (arc (start 2.54 0) (mid 0 -2.54) (end -2.54 0)))))~";

const std::string kRootUuid = "10000000-0000-0000-0000-000000000001";

// A placed symbol on one line: the lib id, the reference of its Reference
// property, "x y angle", and further fields such as "(mirror x) (unit 2)".
std::string symbol(const std::string& libId, const std::string& reference, const std::string& at,
                   const std::string& more = "", const std::string& uuid = "") {
  return "(symbol (lib_id \"" + libId + "\") (at " + at + ") " + more +
         (uuid.empty() ? "" : " (uuid \"" + uuid + "\")") + " (property \"Reference\" \"" +
         reference + "\" (at 0 0 0)) (property \"Value\" \"v-" + reference +
         "\" (at 0 0 0)) (property \"Footprint\" \"Lib:FP-" + reference + "\" (at 0 0 0)))";
}

// A power symbol whose value names its net.
std::string powerSymbol(const std::string& libId, const std::string& reference,
                        const std::string& at, const std::string& value) {
  return "(symbol (lib_id \"" + libId + "\") (at " + at + ") (property \"Reference\" \"" +
         reference + "\" (at 0 0 0)) (property \"Value\" \"" + value + "\" (at 0 0 0)))";
}

std::string sheet(const std::string& name, const std::string& file, const std::string& uuid) {
  return "(sheet (at 0 0) (size 10 10) (uuid \"" + uuid + "\") (property \"Sheetname\" \"" + name +
         "\" (at 0 0 0)) (property \"Sheetfile\" \"" + file + "\" (at 0 0 0)))";
}

// A schematic file: the header on line 1, the library on line 2, then one
// body element per line from line 3.
std::string schematic(const std::string& library, const std::vector<std::string>& body,
                      const std::string& uuid = kRootUuid) {
  std::string text = "(kicad_sch (version 20231120) (generator \"eeschema\") (uuid \"" + uuid +
                     "\") (paper \"A4\")\n(lib_symbols " + library + ")";
  for (const std::string& element : body) text += "\n" + element;
  return text + "\n)\n";
}

class KicadSchematicTest : public ::testing::Test {
 protected:
  KicadSchematicTest() {
    std::string pattern = (fs::temp_directory_path() / "kicadschematictest-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
  }
  ~KicadSchematicTest() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
    return folder_ / name;
  }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  // A board footprint with its pads' nets; nets are created on first use.
  void footprint(const std::string& refDes, const std::map<std::string, std::string>& pads = {}) {
    PcbComponent component;
    component.id = static_cast<int32_t>(design_.pcb.components.size() + 1);
    component.refDes = refDes;
    for (const auto& [pad, net] : pads) component.padNets[pad] = netId(net);
    design_.pcb.components.push_back(component);
  }

  int32_t netId(const std::string& name) {
    for (const Net& net : design_.nets) {
      if (net.name == name) return net.id;
    }
    design_.nets.push_back(Net{static_cast<int32_t>(design_.nets.size() + 1), name, 0});
    return design_.nets.back().id;
  }

  void load(const std::string& root = "root.kicad_sch") {
    readKicadSchematic(folder_ / root, design_);
  }

  std::string refusal(const std::string& root = "root.kicad_sch") {
    try {
      load(root);
    } catch (const DesignFileError& error) {
      return error.what();
    }
    return "accepted";
  }

  const Symbol& symbolOf(const std::string& refDes) const {
    for (const Symbol& s : design_.sch.symbols) {
      if (s.refDes == refDes) return s;
    }
    throw std::runtime_error("no symbol " + refDes);
  }

  const SchComponent& componentOf(const std::string& refDes) const {
    for (const SchComponent& c : design_.sch.components) {
      if (c.refDes == refDes) return c;
    }
    throw std::runtime_error("no component " + refDes);
  }

  static const SchPin& pinOf(const SchComponent& component, const std::string& pinDes) {
    for (const SchPin& pin : component.pins) {
      if (pin.pinDes == pinDes) return pin;
    }
    throw std::runtime_error("no pin " + pinDes + " on " + component.refDes);
  }

  std::vector<std::string> symbolNames() const {
    std::vector<std::string> names;
    for (const Symbol& s : design_.sch.symbols) names.push_back(s.refDes);
    return names;
  }

  fs::path folder_;
  Design design_;
};

TEST_F(KicadSchematicTest, TurnsAndMirrorsSymbolsAsKicadDrawsThem) {
  const std::vector<std::string> cases = {
      "0", "90", "0) (mirror y", "0) (mirror x", "90) (mirror x", "270) (mirror y"};
  std::vector<std::string> body;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string ref = "U" + std::to_string(i + 1);
    body.push_back(symbol("T:Asym", ref, "100 50 " + cases[i]));
    footprint(ref);
  }
  write("root.kicad_sch", schematic(kAsym, body));
  load();

  // KiCad's (100, 50) with y pointing down is the host's (100 mm, -50 mm).
  struct Expected {
    std::string refDes;
    TPoint pin1, pin2;
    int32_t rotation;
    bool flipped;
  };
  const Expected expected[] = {
      {"U1", {9746000, -5000000}, {10000000, -4492000}, 0, false},
      // A quarter turn counter-clockwise: pin 2 above the body goes to its left.
      {"U2", {10000000, -5254000}, {9492000, -5000000}, 900, false},
      {"U3", {10254000, -5000000}, {10000000, -4492000}, 0, true},
      {"U4", {9746000, -5000000}, {10000000, -5508000}, 1800, true},
      // Turned first, then mirrored: the same drawing as 270 mirrored left-right.
      {"U5", {10000000, -4746000}, {9492000, -5000000}, 2700, true},
      {"U6", {10000000, -4746000}, {9492000, -5000000}, 2700, true},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.refDes);
    const Symbol& s = symbolOf(e.refDes);
    EXPECT_EQ(s.refPoint, (TPoint{100 * kMm, -50 * kMm}));
    EXPECT_EQ(s.rotation, e.rotation);
    EXPECT_EQ(s.flipped, e.flipped);
    const SchComponent& c = componentOf(e.refDes);
    EXPECT_EQ(pinOf(c, "1").refPoint, e.pin1);
    EXPECT_EQ(pinOf(c, "2").refPoint, e.pin2);
    EXPECT_EQ(pinOf(c, "2").pinName, "B");
  }
  // Body and pins: x -2.54 .. 1.27, y -1.27 .. 5.08 around the origin.
  EXPECT_EQ(symbolOf("U1").boundRect, (TRect{{9746000, -5127000}, {10127000, -4492000}}));
  EXPECT_EQ(symbolOf("U2").boundRect, (TRect{{9492000, -5254000}, {10127000, -4873000}}));
}

TEST_F(KicadSchematicTest, BoundsFollowArcsAndCircles) {
  footprint("G1");
  footprint("G2");
  write("root.kicad_sch",
        schematic(kRound, {symbol("T:Round", "G1", "10 10 0"), symbol("T:Cup", "G2", "10 10 0")}));
  load();
  // The upper arc reaches y 2.54 between its ends, the circle y -6.
  EXPECT_EQ(symbolOf("G1").boundRect, (TRect{{746000, -1600000}, {1254000, -746000}}));
  EXPECT_EQ(symbolOf("G2").boundRect, (TRect{{746000, -1254000}, {1254000, -1000000}}));
}

TEST_F(KicadSchematicTest, MultiUnitSymbolsGiveOneSymbolPerUnitAndOneComponent) {
  footprint("U1", {{"1", "OUT"}, {"2", "OUT"}, {"3", "IN"}, {"4", "GND"}, {"8", "VCC"}});
  footprint("U2", {{"5", "IN"}, {"8", "VCC"}});
  footprint("R1", {{"1", "IN"}});
  write("root.kicad_sch",
        schematic(kDual + kResistor, {symbol("Amp:Dual", "U1", "50 50 0", "(unit 2)"),
                                      symbol("Amp:Dual", "U1", "20 50 0", "(unit 1)"),
                                      symbol("Amp:Dual", "U2", "80 50 0", "(unit 2)"),
                                      symbol("Device:R", "R1", "10 10 0")}));
  load();

  EXPECT_THAT(symbolNames(), ::testing::ElementsAre("U1:B", "U1:A", "U2:B", "R1"));
  EXPECT_EQ(symbolOf("U1:B").partNumber, 2);
  EXPECT_EQ(symbolOf("U1:A").partNumber, 1);
  ASSERT_EQ(design_.sch.components.size(), 3u);
  const SchComponent& u1 = componentOf("U1");
  EXPECT_EQ(u1.numberParts, 2);
  EXPECT_EQ(u1.compType, "Dual");
  EXPECT_EQ(u1.libraryName, "Amp");
  EXPECT_EQ(u1.value, "v-U1");
  EXPECT_EQ(u1.patternName, "FP-U1");
  EXPECT_EQ(symbolOf("U1:A").component, symbolOf("U1:B").component);
  // Eight pins, each once; the common supply pins go with the lowest unit.
  ASSERT_EQ(u1.pins.size(), 8u);
  EXPECT_EQ(pinOf(u1, "8").gateNumber, 1);
  EXPECT_EQ(pinOf(u1, "8").refPoint, (TPoint{1746000, -4238000}));
  EXPECT_EQ(pinOf(u1, "8").netId, netId("VCC"));
  EXPECT_EQ(pinOf(u1, "3").gateNumber, 1);
  EXPECT_EQ(pinOf(u1, "3").netId, netId("IN"));
  EXPECT_EQ(pinOf(u1, "3").pinName, "+");
  // Unit 2 in body style 1; its pads are on no net.
  EXPECT_EQ(pinOf(u1, "5").gateNumber, 2);
  EXPECT_EQ(pinOf(u1, "5").refPoint, (TPoint{4238000, -4746000}));
  EXPECT_EQ(pinOf(u1, "5").netId, 0);
  // With unit 2 alone placed, the supply pins go with it.
  const SchComponent& u2 = componentOf("U2");
  ASSERT_EQ(u2.pins.size(), 5u);
  EXPECT_EQ(pinOf(u2, "8").gateNumber, 2);
  EXPECT_EQ(pinOf(u2, "8").refPoint, (TPoint{7746000, -4238000}));
  EXPECT_EQ(pinOf(u2, "5").netId, netId("IN"));
  // A single-unit symbol has a bare designator and no pin name for "~".
  const SchComponent& r1 = componentOf("R1");
  EXPECT_EQ(r1.numberParts, 1);
  EXPECT_EQ(pinOf(r1, "1").pinName, "");
  EXPECT_EQ(pinOf(r1, "2").netId, 0);
  EXPECT_EQ(symbolOf("R1").partNumber, 1);
}

// KiCad keeps units of one part that come from different library symbols
// (a rescued or edited copy, "U1" of KiCad's sonde xilinx demo): one
// component, each unit with the pins of its own library symbol.
TEST_F(KicadSchematicTest, UnitsFromDifferentLibrarySymbolsAreOnePart) {
  footprint("U1", {{"3", "IN"}, {"5", "IN2"}, {"8", "VCC"}});
  std::string variant = kDual;
  variant.replace(variant.find("\"Amp:Dual\""), 10, "\"Dual_1\"");
  for (std::size_t at = 0; (at = variant.find("\"Dual_", at)) != std::string::npos; at += 8) {
    if (variant.compare(at, 8, "\"Dual_1\"") != 0) variant.insert(at + 6, "1_");
  }
  variant.replace(variant.find("(at -7.62 2.54 0) (length 2.54) (name \"+\") (number \"5\")"), 17,
                  "(at -7.62 5.08 0)");
  write("root.kicad_sch",
        schematic(kDual + variant,
                  {symbol("Amp:Dual", "U1", "20 50 0", "(unit 1)"),
                   symbol("Amp:Dual", "U1", "50 50 0", "(lib_name \"Dual_1\") (unit 2)")}));
  load();
  EXPECT_THAT(symbolNames(), ::testing::ElementsAre("U1:A", "U1:B"));
  ASSERT_EQ(design_.sch.components.size(), 1u);
  const SchComponent& u1 = componentOf("U1");
  EXPECT_EQ(u1.pins.size(), 8u);
  EXPECT_EQ(pinOf(u1, "3").netId, netId("IN"));
  EXPECT_EQ(pinOf(u1, "5").gateNumber, 2);
  EXPECT_EQ(pinOf(u1, "5").netId, netId("IN2"));
  // Pin 5 where the variant draws it, 2.54 mm above the original's place.
  EXPECT_EQ(pinOf(u1, "5").refPoint, (TPoint{4238000, -4492000}));
}

TEST_F(KicadSchematicTest, SecondBodyStyleTakesItsOwnPins) {
  footprint("U1");
  write("root.kicad_sch",
        schematic(kDual, {symbol("Amp:Dual", "U1", "50 50 0", "(unit 2) (convert 2)")}));
  load();
  EXPECT_EQ(pinOf(componentOf("U1"), "5").refPoint, (TPoint{3984000, -4746000}));
  // KiCad 9 names the field body_style.
  write("root.kicad_sch",
        schematic(kDual, {symbol("Amp:Dual", "U1", "50 50 0", "(unit 2) (body_style 2)")}));
  load();
  EXPECT_EQ(pinOf(componentOf("U1"), "5").refPoint, (TPoint{3984000, -4746000}));
}

TEST_F(KicadSchematicTest, PowerSymbolsAreConnectionsAndUnplacedSymbolsAreLeftOut) {
  footprint("R1", {{"1", "GND"}});
  footprint("R2", {{"1", "GND"}});
  footprint("R3", {{"1", "GND"}});
  footprint("R4", {{"1", "GND"}});
  write("root.kicad_sch", schematic(kResistor + kGround + kFlag + kLogo,
                                    {powerSymbol("power:GND", "#PWR01", "10 20 0", "GND"),
                                     // A value that names no net: the pin's name does (KiCad 6).
                                     powerSymbol("power:GND", "#PWR02", "30 20 0", "Earth"),
                                     powerSymbol("power:PWR_FLAG", "#FLG01", "10 20 0", "PWR_FLAG"),
                                     symbol("Logo:Logo", "#LOGO1", "50 50 0"),
                                     symbol("Device:R", "R1", "10 10 0", "(on_board no)"),
                                     symbol("Device:R", "R2", "20 10 0", "(in_bom no)"),
                                     symbol("Device:R", "R3", "30 10 0", "(dnp yes)"),
                                     symbol("Device:R", "R9", "40 10 0")}));
  load();
  EXPECT_THAT(symbolNames(), ::testing::ElementsAre("#PWR01", "#PWR02", "R2", "R3"));
  const SchComponent& power = componentOf("#PWR01");
  EXPECT_EQ(power.connectionType, DBX_18::DBX_COMPONENT_CONNECTION_POWER);
  ASSERT_EQ(power.pins.size(), 1u);
  EXPECT_EQ(power.pins[0].netId, netId("GND"));
  EXPECT_EQ(power.pins[0].refPoint, (TPoint{10 * kMm, -20 * kMm}));
  EXPECT_EQ(pinOf(componentOf("#PWR02"), "1").netId, netId("GND"));
  EXPECT_EQ(componentOf("R2").connectionType, DBX_18::DBX_COMPONENT_CONNECTION_NORMAL);
}

TEST_F(KicadSchematicTest, PowerSymbolOfAnUnknownNetIsUnconnected) {
  // KiCad 9 writes (power global) and (hide yes).
  const std::string vddx =
      R"~((symbol "power:VDDX" (power global) (symbol "VDDX_1_1" (pin power_in line (at 0 0 90) (length 0) (hide yes) (name "VDDX") (number "1")))))~";
  write("root.kicad_sch",
        schematic(vddx, {powerSymbol("power:VDDX", "#PWR01", "10 20 0", "VDDX")}));
  load();
  const SchComponent& power = componentOf("#PWR01");
  EXPECT_EQ(power.connectionType, DBX_18::DBX_COMPONENT_CONNECTION_POWER);
  EXPECT_EQ(pinOf(power, "1").netId, 0);
}

// The schematic of the given file version.
std::string withVersion(std::string text, const std::string& version) {
  return text.replace(text.find("(version 20231120)"), 18, "(version " + version + ")");
}

// A pin without a name ("~" before KiCad 10) and pins stacked on several pads.
const std::string kStacked =
    R"~((symbol "T:Stack" (symbol "Stack_1_1" (pin passive line (at 0 0 0) (length 1) (name "~") (number "[1,3-4]")))~"
    R"~( (pin passive line (at 0 5.08 0) (length 1) (name "EN") (number "[A2-A1]")))~"
    R"~( (pin passive line (at 0 10.16 0) (length 1) (name "S") (number "[ B7 - B9 ]")))))~";

TEST_F(KicadSchematicTest, KicadTenReadsTildeAsTextAndAStackedPinAsSeveralPads) {
  footprint("U1", {{"1", "GND"}, {"3", "GND"}, {"4", "VCC"}, {"[A2-A1]", "EN"}, {"B8", "S"}});
  write("root.kicad_sch",
        withVersion(schematic(kStacked, {symbol("T:Stack", "U1", "10 10 0")}), "20260206"));
  load();
  const SchComponent& u1 = componentOf("U1");
  std::vector<std::string> pins;
  for (const SchPin& pin : u1.pins) pins.push_back(pin.pinDes);
  // A reversed range is no list for KiCad either: one pad of that number.
  EXPECT_THAT(pins, ::testing::ElementsAre("1", "3", "4", "[A2-A1]", "B7", "B8", "B9"));
  EXPECT_EQ(pinOf(u1, "1").pinName, "~");
  EXPECT_EQ(pinOf(u1, "3").refPoint, pinOf(u1, "1").refPoint);
  EXPECT_EQ(pinOf(u1, "4").refPoint, pinOf(u1, "1").refPoint);
  EXPECT_EQ(pinOf(u1, "3").netId, netId("GND"));
  EXPECT_EQ(pinOf(u1, "4").netId, netId("VCC"));
  EXPECT_EQ(pinOf(u1, "[A2-A1]").netId, netId("EN"));
  EXPECT_EQ(pinOf(u1, "B8").netId, netId("S"));
  EXPECT_EQ(pinOf(u1, "B9").netId, 0);

  // KiCad 9 wrote "~" for no name and knew no stacked pins.
  write("root.kicad_sch",
        withVersion(schematic(kStacked, {symbol("T:Stack", "U1", "10 10 0")}), "20241229"));
  load();
  const SchComponent& nine = componentOf("U1");
  ASSERT_EQ(nine.pins.size(), 3u);
  EXPECT_EQ(nine.pins[0].pinDes, "[1,3-4]");
  EXPECT_EQ(nine.pins[0].pinName, "");
  EXPECT_EQ(nine.pins[0].netId, 0);
}

TEST_F(KicadSchematicTest, ALocalPowerSymbolJoinsTheNetOfItsOwnSheet) {
  const std::string local =
      R"~((symbol "power:VL" (power local) (symbol "VL_1_1" (pin power_in line (at 0 0 90) (length 0) (hide yes) (name "VL") (number "1")))))~";
  netId("VL");
  netId("/VL");
  write("root.kicad_sch",
        withVersion(schematic(local, {powerSymbol("power:VL", "#PWR01", "10 20 0", "VL")}),
                    "20260206"));
  load();
  EXPECT_EQ(pinOf(componentOf("#PWR01"), "1").netId, netId("/VL"));
}

TEST_F(KicadSchematicTest, ASchematicNewerThanKicadTenIsRefusedNamingItsVersion) {
  write("root.kicad_sch", withVersion(schematic(kResistor, {}), "20990101"));
  EXPECT_EQ(refusal(), path("root.kicad_sch") +
                           ": line 1: file version 20990101 is newer than this dbxhost reads "
                           "(KiCad 6 to 10, file versions up to 20260306)");
  EXPECT_TRUE(design_.sch.components.empty());
  // KiCad 10.0.7's own schematics read.
  write("root.kicad_sch", withVersion(schematic(kResistor, {}), "20260306"));
  EXPECT_EQ(refusal(), "accepted");
}

// A root with two instances of one channel sheet and a sub-sheet holding a
// third, deeper one.
class KicadHierarchyTest : public KicadSchematicTest {
 protected:
  static constexpr const char* kSheetA = "20000000-0000-0000-0000-00000000000a";
  static constexpr const char* kSheetB = "20000000-0000-0000-0000-00000000000b";
  static constexpr const char* kSheetSub = "20000000-0000-0000-0000-00000000000c";
  static constexpr const char* kSheetDeep = "20000000-0000-0000-0000-00000000000d";
  static constexpr const char* kResistorUuid = "30000000-0000-0000-0000-000000000001";

  static std::string instances(const std::vector<std::pair<std::string, std::string>>& paths) {
    std::string text = "(instances (project \"p\"";
    for (const auto& [path, reference] : paths) {
      text += " (path \"" + path + "\" (reference \"" + reference + "\") (unit 1))";
    }
    return text + "))";
  }
};

TEST_F(KicadHierarchyTest, EverySheetInstanceIsASheetWithItsOwnReferences) {
  const std::string root = "/" + kRootUuid;
  for (const char* ref : {"R1", "R101", "R201", "R301", "C101", "C201", "C301"}) footprint(ref);
  write("root.kicad_sch",
        schematic(kResistor,
                  {symbol("Device:R", "R1", "5 5 0", instances({{root, "R1"}})),
                   sheet("A", "chan.kicad_sch", kSheetA), sheet("Sub", "sub.kicad_sch", kSheetSub),
                   sheet("B", "chan.kicad_sch", kSheetB)}));
  write("sub.kicad_sch", schematic("", {sheet("Deep", "chan.kicad_sch", kSheetDeep)}));
  const std::string a = root + "/" + kSheetA, b = root + "/" + kSheetB,
                    deep = root + "/" + kSheetSub + "/" + kSheetDeep;
  write("chan.kicad_sch",
        schematic(kResistor, {symbol("Device:R", "R?", "30 40 90",
                                     instances({{a, "R101"}, {b, "R201"}, {deep, "R301"}})),
                              symbol("Device:R", "C?", "60 40 0",
                                     instances({{deep, "C301"}, {a, "C101"}, {b, "C201"}}))}));
  load();

  ASSERT_EQ(design_.sch.sheets.size(), 5u);
  const std::vector<Sheet> sheets = {
      {1, "/"}, {2, "/A/"}, {3, "/Sub/"}, {4, "/Sub/Deep/"}, {5, "/B/"}};
  EXPECT_EQ(design_.sch.sheets, sheets);
  EXPECT_THAT(symbolNames(),
              ::testing::ElementsAre("R1", "R101", "C101", "R301", "C301", "R201", "C201"));
  EXPECT_EQ(symbolOf("R101").sheetId, 2);
  EXPECT_EQ(symbolOf("R301").sheetId, 4);
  EXPECT_EQ(symbolOf("R201").sheetId, 5);
  // Instances of one sheet file stand at the same places on their sheets.
  for (const char* other : {"R201", "R301"}) {
    EXPECT_EQ(symbolOf(other).refPoint, symbolOf("R101").refPoint);
    EXPECT_EQ(symbolOf(other).boundRect, symbolOf("R101").boundRect);
    EXPECT_EQ(componentOf(other).pins[0].refPoint, componentOf("R101").pins[0].refPoint);
  }
  EXPECT_EQ(symbolOf("R101").rotation, 900);
  EXPECT_EQ(design_.sch.header.designName, "root");
  EXPECT_EQ(design_.sch.header.workspace, (TRect{{0, -210 * kMm}, {297 * kMm, 0}}));
}

TEST_F(KicadHierarchyTest, ReadsTheRootTableOfKicad6) {
  footprint("R1");
  footprint("R101");
  footprint("R201");
  const std::string kicad6Sheet =
      "(sheet (at 0 0) (size 10 10) (uuid %) "
      "(property \"Sheet name\" \"$\" (id 0) (at 0 0 0)) "
      "(property \"Sheet file\" \"chan.kicad_sch\" (id 1) (at 0 0 0)))";
  const auto sheetOf = [&](const std::string& name, const std::string& uuid) {
    std::string text = kicad6Sheet;
    text.replace(text.find('%'), 1, uuid);
    text.replace(text.find('$'), 1, name);
    return text;
  };
  const std::string table =
      std::string("(symbol_instances (path \"/") + kSheetA + "/" + kResistorUuid +
      "\" (reference \"R101\") (unit 1) (value \"1k\") (footprint \"Resistor_SMD:R_0603\"))" +
      " (path \"/" + kSheetB + "/" + kResistorUuid +
      "\" (reference \"R201\") (unit 1) (value \"2k2\") (footprint \"Resistor_SMD:R_0805\"))" +
      " (path \"/" + kResistorUuid + "\" (reference \"R1\") (unit 1) (value \"10k\")))";
  write("root.kicad_sch",
        schematic(kResistor, {symbol("Device:R", "R?", "5 5 0", "", kResistorUuid),
                              sheetOf("A", kSheetA), sheetOf("B", kSheetB), table}));
  write("chan.kicad_sch",
        schematic(kResistor, {symbol("Device:R", "R?", "30 40 0", "", kResistorUuid)}));
  load();
  EXPECT_THAT(symbolNames(), ::testing::ElementsAre("R1", "R101", "R201"));
  EXPECT_EQ(componentOf("R1").value, "10k");
  EXPECT_EQ(componentOf("R101").value, "1k");
  EXPECT_EQ(componentOf("R101").patternName, "R_0603");
  EXPECT_EQ(componentOf("R201").value, "2k2");
  EXPECT_EQ(componentOf("R201").patternName, "R_0805");
}

TEST_F(KicadHierarchyTest, WithoutInstanceDataTheReferenceFieldCounts) {
  footprint("R7");
  write("root.kicad_sch", schematic(kResistor, {symbol("Device:R", "R7", "5 5 0")}));
  load();
  EXPECT_THAT(symbolNames(), ::testing::ElementsAre("R7"));
}

TEST_F(KicadHierarchyTest, SheetFilesThatCannotBeReadRefuseTheWholeSchematic) {
  footprint("R1");
  write("root.kicad_sch", schematic(kResistor, {symbol("Device:R", "R1", "5 5 0"),
                                                sheet("A", "missing.kicad_sch", kSheetA)}));
  const Schematic before = design_.sch;
  EXPECT_EQ(refusal(), path("root.kicad_sch") + ": line 4: sheet \"A\": " +
                           path("missing.kicad_sch") + ": cannot open: No such file or directory");
  EXPECT_EQ(design_.sch, before);

  write("root.kicad_sch", schematic("", {sheet("A", "chan.kicad_sch", kSheetA)}));
  write("chan.kicad_sch", "(kicad_sch (version 20231120)\n(lib_symbols)\n(symbol\n");
  EXPECT_EQ(refusal(), path("chan.kicad_sch") +
                           ": line 4: unexpected end of file: 2 parenthesis(es) left open");
  write("chan.kicad_sch", "(kicad_pcb (version 20240108))");
  EXPECT_EQ(refusal(), path("chan.kicad_sch") +
                           ": line 1: not a KiCad schematic: the file starts with (kicad_pcb)");
  fs::create_directory(folder_ / "folder.kicad_sch");
  write("root.kicad_sch", schematic("", {sheet("A", "folder.kicad_sch", kSheetA)}));
  EXPECT_EQ(refusal(), path("root.kicad_sch") + ": line 3: sheet \"A\": " +
                           path("folder.kicad_sch") + ": is a folder, not a design file");
  EXPECT_EQ(refusal("absent.kicad_sch"),
            path("absent.kicad_sch") + ": cannot open: No such file or directory");
  EXPECT_EQ(design_.sch, before);
}

TEST_F(KicadHierarchyTest, RecursiveHierarchiesAreRefused) {
  write("root.kicad_sch", schematic("", {sheet("Me", "root.kicad_sch", kSheetA)}));
  EXPECT_EQ(refusal(), path("root.kicad_sch") +
                           ": line 3: sheet \"Me\" instantiates \"root.kicad_sch\", which contains "
                           "it: a recursive hierarchy");
  write("root.kicad_sch", schematic("", {sheet("A", "a.kicad_sch", kSheetA)}));
  write("a.kicad_sch", schematic("", {sheet("B", "./b.kicad_sch", kSheetB)}));
  write("b.kicad_sch", schematic("", {"", sheet("Back", "a.kicad_sch", kSheetSub)}));
  EXPECT_EQ(refusal(), path("b.kicad_sch") +
                           ": line 4: sheet \"Back\" instantiates \"a.kicad_sch\", which contains "
                           "it: a recursive hierarchy");
}

TEST_F(KicadHierarchyTest, AnExponentialTreeOfSheetsIsRefused) {
  // Each level instantiates the next twice: 2^14 sheets from 14 small files.
  constexpr int kLevels = 14;
  for (int level = 0; level < kLevels; ++level) {
    const std::string next = "level" + std::to_string(level + 1) + ".kicad_sch";
    std::vector<std::string> body;
    if (level + 1 < kLevels) body = {sheet("L", next, kSheetA), sheet("R", next, kSheetB)};
    write(level == 0 ? "root.kicad_sch" : "level" + std::to_string(level) + ".kicad_sch",
          schematic("", body));
  }
  EXPECT_THAT(refusal(), HasSubstr(": line 1: more than 10000 sheet instances"));
}

TEST_F(KicadHierarchyTest, ASheetOfManySymbolsInstantiatedManyTimesIsRefused) {
  // Fan-out: 9 999 instances of one sheet of 10 000 symbols, 4.4 MB of text
  // for 100 million placed symbols.
  std::vector<std::string> symbols;
  for (int i = 0; i < 10'000; ++i) symbols.push_back(symbol("Logo:Logo", "#LOGO", "0 0 0"));
  write("child.kicad_sch", schematic(kLogo, symbols, kSheetA));
  std::vector<std::string> sheets;
  for (int i = 0; i < 9'999; ++i) {
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "30000000-0000-0000-0000-%012d", i);
    sheets.push_back(sheet("S" + std::to_string(i), "child.kicad_sch", uuid));
  }
  write("root.kicad_sch", schematic("", sheets));
  EXPECT_EQ(refusal(), path("child.kicad_sch") +
                           ": line 1: more than 1000000 symbols placed in all sheet instances "
                           "together");
}

TEST_F(KicadSchematicTest, ContentErrorsNameTheFileAndLine) {
  footprint("U1");
  footprint("R1");
  const std::string file = path("root.kicad_sch");
  write("a.kicad_sch", schematic("", {}));
  write("b.kicad_sch", schematic("", {}));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{symbol("Device:Missing", "R1", "0 0 0")},
       "line 3: library symbol \"Device:Missing\" is not in (lib_symbols)"},
      {{symbol("Amp:Dual", "U1", "0 0 0", "(unit 3)")},
       "line 3: \"U1\" is placed as unit 3, but \"Amp:Dual\" has 2 unit(s)"},
      {{symbol("Amp:Dual", "U1", "0 0 0"), symbol("Amp:Dual", "U1", "9 9 0")},
       "line 4: unit 1 of \"U1\" is placed twice"},
      {{symbol("Amp:Dual", "U1", "0 0 0"), symbol("Device:R", "U1", "9 9 0")},
       "line 4: \"U1\" is used by symbols of 2 and 1 unit(s)"},
      {{symbol("Device:R", "R1", "0 0 45")}, "line 3: a symbol turns by quarter turns only"},
      {{symbol("Device:R", "R1", "0 0 0", "(convert 0)")}, "line 3: body style 0 does not exist"},
      {{symbol("Device:R", "R1", "0 0 0", "(mirror z)")}, "line 3: mirror axis \"z\""},
      {{symbol("Device:R", "R1", "0 0")}, "accepted"},
      {{symbol("Device:R", "R1", "0 x 0")}, "line 3: (at): \"x\" is not a number"},
      {{symbol("Device:R", "R1", "99999999 0 0")},
       "line 3: (at): a coordinate beyond the host's range"},
      {{"(symbol (at 0 0 0))"}, "line 3: (symbol) has no (lib_id)"},
      {{sheet("A", "a.kicad_sch", "u1"), sheet("A", "b.kicad_sch", "u2")},
       "line 4: sheet path \"/A/\" is used twice"},
      {{"(sheet (uuid \"u\") (property \"Sheetfile\" \"a.kicad_sch\"))"},
       "line 3: a sheet without a name"},
      {{"(sheet (uuid \"u\") (property \"Sheetname\" \"A\"))"},
       "line 3: sheet \"A\" names no file"},
  };
  for (const auto& [body, reason] : cases) {
    write("root.kicad_sch", schematic(kDual + kResistor, body));
    EXPECT_EQ(refusal(), reason == "accepted" ? reason : file + ": " + reason);
  }
}

TEST_F(KicadSchematicTest, ReferencesTheHostCannotHoldAreRefused) {
  const std::string longRef = "R" + std::string(31, '1');
  footprint(longRef);
  footprint("U:1");
  write("root.kicad_sch", schematic(kResistor, {symbol("Device:R", longRef, "0 0 0")}));
  EXPECT_EQ(refusal(), path("root.kicad_sch") + ": line 3: reference \"" + longRef +
                           "\" is longer than 31 bytes");
  write("root.kicad_sch", schematic(kResistor, {symbol("Device:R", "U:1", "0 0 0")}));
  EXPECT_EQ(refusal(),
            path("root.kicad_sch") + ": line 3: reference \"U:1\" cannot name a host component");
}

TEST_F(KicadSchematicTest, LongDescriptiveTextsAreShortenedToTheHostsFields) {
  footprint("R1");
  // 62 bytes and a two-byte character that would straddle the 63-byte limit.
  const std::string value = std::string(62, 'v') + "\xc2\xb5";
  write("root.kicad_sch",
        schematic(kResistor, {"(symbol (lib_id \"Device:R\") (at 0 0 0) (property \"Reference\" "
                              "\"R1\" (at 0 0 0)) (property \"Value\" \"" +
                              value + "\" (at 0 0 0)))"}));
  load();
  EXPECT_EQ(componentOf("R1").value, std::string(62, 'v'));
  EXPECT_EQ(componentOf("R1").patternName, "");
}

// The real board: glasgow revC3, whose io_buffer sheet is instantiated twice.
class GlasgowSchematicTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(testing::kGlasgowBoard)) return;
    KicadBoard board = readKicadBoard(testing::kGlasgowBoard);
    design_ = new Design;
    design_->nets = board.nets;
    design_->pcb = board.pcb;
    readKicadSchematic(fs::path(testing::kGlasgowBoard).replace_extension(".kicad_sch"), *design_);
  }
  static void TearDownTestSuite() {
    delete design_;
    design_ = nullptr;
  }

  static std::vector<const Symbol*> partsOn(int32_t sheetId) {
    std::vector<const Symbol*> parts;
    for (const Symbol& s : design_->sch.symbols) {
      if (s.sheetId == sheetId && componentOf(s).connectionType == 0) parts.push_back(&s);
    }
    return parts;
  }

  static const SchComponent& componentOf(const Symbol& s) {
    return design_->sch.components[s.component];
  }

  static Design* design_;
};

Design* GlasgowSchematicTest::design_ = nullptr;

TEST_F(GlasgowSchematicTest, SheetsAreTheHierarchyDepthFirst) {
  SKIP_WITHOUT_GLASGOW();
  const std::vector<Sheet> sheets = {
      {1, "/"}, {2, "/IO_Banks/"}, {3, "/IO_Banks/IO_Buffer_A/"}, {4, "/IO_Banks/IO_Buffer_B/"}};
  EXPECT_EQ(design_->sch.sheets, sheets);
}

TEST_F(GlasgowSchematicTest, BothBufferInstancesDrawEachSymbolAtOnePlace) {
  SKIP_WITHOUT_GLASGOW();
  const std::vector<const Symbol*> a = partsOn(3), b = partsOn(4);
  ASSERT_EQ(a.size(), 68u);
  ASSERT_EQ(b.size(), 68u);
  // Both instances list the sheet file's symbols in file order.
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(a[i]->refDes + " / " + b[i]->refDes);
    EXPECT_NE(a[i]->refDes, b[i]->refDes);
    EXPECT_EQ(a[i]->refPoint, b[i]->refPoint);
    EXPECT_EQ(a[i]->boundRect, b[i]->boundRect);
    EXPECT_EQ(a[i]->rotation, b[i]->rotation);
    EXPECT_EQ(a[i]->flipped, b[i]->flipped);
    EXPECT_EQ(a[i]->partNumber, b[i]->partNumber);
    EXPECT_EQ(componentOf(*a[i]).value, componentOf(*b[i]).value);
    EXPECT_EQ(componentOf(*a[i]).patternName, componentOf(*b[i]).patternName);
  }
}

TEST_F(GlasgowSchematicTest, EveryPlacedPartIsOnTheBoardAndPowerSymbolsJoinTheirNets) {
  SKIP_WITHOUT_GLASGOW();
  std::set<std::string> board;
  for (const PcbComponent& c : design_->pcb.components) board.insert(c.refDes);
  std::size_t parts = 0, power = 0;
  for (const SchComponent& c : design_->sch.components) {
    if (c.connectionType == DBX_18::DBX_COMPONENT_CONNECTION_POWER) {
      ++power;
      ASSERT_EQ(c.pins.size(), 1u) << c.refDes;
      EXPECT_NE(c.pins[0].netId, 0) << c.refDes;
      EXPECT_EQ(c.refDes.substr(0, 4), "#PWR");
    } else {
      ++parts;
      EXPECT_TRUE(board.count(c.refDes)) << c.refDes;
    }
  }
  // 272 footprints, of which fiducials, logos and mounting holes have no symbol.
  EXPECT_EQ(parts, 257u);
  EXPECT_EQ(power, 200u);
  // The FPGA's five units are spread over the root and the IO_Banks sheet.
  std::vector<std::pair<std::string, int32_t>> fpga;
  for (const Symbol& s : design_->sch.symbols) {
    if (componentOf(s).refDes == "U30") fpga.emplace_back(s.refDes, s.sheetId);
  }
  std::sort(fpga.begin(), fpga.end());
  const std::vector<std::pair<std::string, int32_t>> expected = {
      {"U30:A", 2}, {"U30:B", 2}, {"U30:C", 1}, {"U30:D", 2}, {"U30:E", 1}};
  EXPECT_EQ(fpga, expected);
}

// Pins that the sheet's wires join must carry one board net: this checks the
// pins' places on the sheet (turns and mirrors included) and their pads' nets
// against each other.
TEST_F(GlasgowSchematicTest, PinsJoinedByWiresCarryOneBoardNet) {
  SKIP_WITHOUT_GLASGOW();
  const std::map<int32_t, std::string> fileOfSheet = {
      {1, "glasgow"}, {2, "io_banks"}, {3, "io_buffer"}, {4, "io_buffer"}};
  std::map<std::pair<std::size_t, int32_t>, int32_t> sheetOfPart;
  for (const Symbol& s : design_->sch.symbols) sheetOfPart[{s.component, s.partNumber}] = s.sheetId;

  std::size_t pinsChecked = 0, sharedJunctions = 0;
  for (const auto& [sheetId, file] : fileOfSheet) {
    const fs::path path = testing::kGlasgowBoard.parent_path() / (file + ".kicad_sch");
    const std::string text = readFileText(path);
    const SexprTree root = parseSexpr(text, path.string());
    const SexprReader reader(path.string());
    // Points joined by wire segments, merged into one representative each.
    using Point = std::pair<int32_t, int32_t>;
    std::map<Point, Point> parent;
    const std::function<Point(Point)> find = [&](Point p) {
      const auto it = parent.find(p);
      if (it == parent.end() || it->second == p) return parent[p] = p;
      return it->second = find(it->second);
    };
    const auto hostPoint = [&](const Sexpr& xy) {
      return Point{int32_t(hostUnits(reader.nanometres(xy, 1))),
                   int32_t(-hostUnits(reader.nanometres(xy, 2)))};
    };
    for (const Sexpr* wire : root.lists("wire")) {
      const std::vector<const Sexpr*> ends = wire->list("pts")->lists("xy");
      parent[find(hostPoint(*ends[0]))] = find(hostPoint(*ends[1]));
    }
    std::map<Point, std::set<int32_t>> nets;
    std::map<Point, std::size_t> pins;
    for (std::size_t i = 0; i < design_->sch.components.size(); ++i) {
      for (const SchPin& pin : design_->sch.components[i].pins) {
        if (pin.netId == 0 || sheetOfPart[{i, pin.gateNumber}] != sheetId) continue;
        const Point node = find({pin.refPoint.x, pin.refPoint.y});
        nets[node].insert(pin.netId);
        ++pins[node];
        ++pinsChecked;
      }
    }
    for (const auto& [node, found] : nets) {
      EXPECT_EQ(found.size(), 1u) << file << ": pins at " << node.first << ", " << node.second
                                  << " are joined but on different nets";
      sharedJunctions += pins[node] > 1;
    }
  }
  EXPECT_GT(pinsChecked, 1200u);
  EXPECT_GT(sharedJunctions, 200u);
}

// The example projects, opened as dbxhost opens a board: instances of one
// sheet whose pins are joined by labels and power symbols on their ends.
struct ExampleProject {
  std::string name;
  std::string sheetFile;
  std::vector<std::string> instances;
  std::size_t partsPerInstance;
  std::size_t pinsPerInstance;
  std::string multiUnitSymbol;  // the op-amp's unit A in the second instance
};

void PrintTo(const ExampleProject& example, std::ostream* out) { *out << example.name; }

class KicadExampleTest : public ::testing::TestWithParam<ExampleProject> {};

TEST_P(KicadExampleTest, PinsCarryTheNetsTheirLabelsName) {
  const ExampleProject& example = GetParam();
  const fs::path folder = fs::path(TANDREL_EXAMPLES_DIR) / "kicad" / example.name;
  const Design design = readKicadProject(folder / (example.name + ".kicad_pcb")).design;

  std::vector<Sheet> sheets = {{1, "/"}};
  for (const std::string& instance : example.instances) {
    sheets.push_back({int32_t(sheets.size() + 1), "/" + instance + "/"});
  }
  ASSERT_EQ(design.sch.sheets, sheets);
  std::map<int32_t, std::vector<const Symbol*>> parts;
  std::map<std::pair<std::size_t, int32_t>, int32_t> sheetOfPart;
  for (const Symbol& s : design.sch.symbols) {
    if (design.sch.components[s.component].connectionType == 0) parts[s.sheetId].push_back(&s);
    sheetOfPart[{s.component, s.partNumber}] = s.sheetId;
  }
  for (int32_t sheet = 2; sheet <= int32_t(sheets.size()); ++sheet) {
    ASSERT_EQ(parts[sheet].size(), example.partsPerInstance);
    for (std::size_t i = 0; i < example.partsPerInstance; ++i) {
      EXPECT_EQ(parts[sheet][i]->refPoint, parts[2][i]->refPoint);
      EXPECT_EQ(parts[sheet][i]->partNumber, parts[2][i]->partNumber);
    }
  }
  const auto unitA = std::find_if(parts[3].begin(), parts[3].end(), [&](const Symbol* s) {
    return s->refDes == example.multiUnitSymbol;
  });
  ASSERT_NE(unitA, parts[3].end()) << example.multiUnitSymbol;
  EXPECT_EQ(design.sch.components[(*unitA)->component].numberParts, 3);

  // What the sheet file puts on each pin's end: a label, a sheet port or a
  // power symbol, by the net name it makes on an instance ("$").
  const fs::path file = folder / example.sheetFile;
  const std::string text = readFileText(file);
  const SexprTree root = parseSexpr(text, file.string());
  const SexprReader reader(file.string());
  std::map<std::pair<int32_t, int32_t>, std::string> named;
  const auto at = [&](const Sexpr& node) {
    const Sexpr& point = *node.list("at");
    return std::pair{int32_t(hostUnits(reader.nanometres(point, 1))),
                     int32_t(-hostUnits(reader.nanometres(point, 2)))};
  };
  for (const Sexpr* label : root.lists("label"))
    named[at(*label)] = "/$/" + std::string(label->children()[1].text());
  for (const Sexpr* port : root.lists("hierarchical_label")) {
    named[at(*port)] = "/" + std::string(port->children()[1].text()) + "#";
  }
  for (const Sexpr* symbol : root.lists("symbol")) {
    const std::string libId(symbol->list("lib_id")->children()[1].text());
    if (libId.starts_with("power:")) named[at(*symbol)] = libId.substr(6);
  }
  std::size_t checked = 0;
  for (std::size_t i = 0; i < design.sch.components.size(); ++i) {
    const SchComponent& c = design.sch.components[i];
    if (c.connectionType != 0) continue;
    for (const SchPin& pin : c.pins) {
      const int32_t sheet = sheetOfPart[{i, pin.gateNumber}];
      if (sheet == 1) continue;
      const std::string& instance = example.instances[std::size_t(sheet - 2)];
      const auto name = named.find({pin.refPoint.x, pin.refPoint.y});
      ASSERT_NE(name, named.end()) << c.refDes << "." << pin.pinDes << " ends on nothing";
      std::string expected = name->second;
      if (const std::size_t mark = expected.find('$'); mark != std::string::npos) {
        expected.replace(mark, 1, instance);
      }
      if (const std::size_t mark = expected.find('#'); mark != std::string::npos) {
        expected.replace(mark, 1, instance.substr(instance.size() - 1));
      }
      ASSERT_NE(design.findNet(pin.netId), nullptr) << c.refDes << "." << pin.pinDes;
      EXPECT_EQ(design.findNet(pin.netId)->name, expected) << c.refDes << "." << pin.pinDes;
      ++checked;
    }
  }
  EXPECT_EQ(checked, example.instances.size() * example.pinsPerInstance);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, KicadExampleTest,
    ::testing::Values(
        // KiCad 8: a resistor chain and a three-unit op-amp, instances in the symbols.
        ExampleProject{
            "quad-opamp", "channel.kicad_sch", {"CH1", "CH2", "CH3", "CH4"}, 9, 20, "U201:A"},
        // KiCad 6: turned and mirrored units, instances in the root's table.
        ExampleProject{"duo-kicad6", "stage.kicad_sch", {"StageL", "StageR"}, 6, 14, "U201:A"}),
    [](const ::testing::TestParamInfo<ExampleProject>& info) {
      std::string name = info.param.name;
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

}  // namespace
}  // namespace dbxhost::kicad
