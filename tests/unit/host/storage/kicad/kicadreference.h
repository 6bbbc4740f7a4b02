// What KiCad itself computes from a board file, for checking the host's import
// against it: absolute pad positions as footprint position + Rot(orientation)
// * local position, in nanometres with y pointing down.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "storage/fileio.h"
#include "storage/kicad/kicadboard.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad::testing {

struct KicadPad {
  std::string reference;
  std::string number;
  double x = 0, y = 0;  // nanometres, y down
};

inline std::vector<KicadPad> kicadPadPositions(const std::string& text) {
  const Sexpr root = parseSexpr(text, "reference");
  const SexprReader r("reference");
  std::vector<KicadPad> pads;
  for (const Sexpr* fp : root.lists("footprint")) {
    const Sexpr& at = *fp->list("at");
    const double px = double(r.nanometres(at, 1)), py = double(r.nanometres(at, 2));
    const double angle =
        double(r.optionalMilliDegrees(at, 3).value_or(0)) * std::numbers::pi / 180000.0;
    std::string reference;
    for (const Sexpr& item : fp->children) {
      if (item.isList() && item.children.size() > 2 &&
          ((item.head() == "property" && item.children[1].text == "Reference") ||
           (item.head() == "fp_text" && item.children[1].text == "reference"))) {
        reference = item.children[2].text;
      }
    }
    for (const Sexpr* pad : fp->lists("pad")) {
      const Sexpr& local = *pad->list("at");
      const double lx = double(r.nanometres(local, 1)), ly = double(r.nanometres(local, 2));
      // KiCad's RotatePoint: counter-clockwise on screen with y down.
      const double c = std::cos(angle), s = std::sin(angle);
      pads.push_back(
          {reference, pad->children[1].text, px + lx * c + ly * s, py - lx * s + ly * c});
    }
  }
  return pads;
}

// A public board (0BSD) kept beside the project, never in it.
inline const std::filesystem::path kGlasgowBoard =
    std::filesystem::path(TANDREL_REALWORLD_DIR) / "glasgow-revC3" / "glasgow.kicad_pcb";

#define SKIP_WITHOUT_GLASGOW()                                            \
  if (!std::filesystem::exists(::dbxhost::kicad::testing::kGlasgowBoard)) \
  GTEST_SKIP() << "the public board " << ::dbxhost::kicad::testing::kGlasgowBoard << " is not here"

// The board's copper as kicadcoppercheck.py prints it, from the host's model
// of the board: KiCad's nanometres, y down, layer and net names; sorted.
inline std::vector<std::string> hostCopperLines(const KicadBoard& board, const Design& design) {
  auto net = [&](int32_t id) {
    const Net* n = design.findNet(id);
    return n == nullptr ? std::string("-") : n->name;
  };
  auto layer = [&](int32_t id) { return board.layerNames.at(id); };
  auto at = [](TPoint p) {
    return std::to_string(int64_t(p.x) * 10) + " " + std::to_string(-int64_t(p.y) * 10);
  };
  auto group = [](const ItemInfo& info) { return info.group.empty() ? "-" : info.group; };
  std::vector<std::string> lines;
  const Pcb& pcb = design.pcb;
  for (const Track& t : pcb.tracks) {
    lines.push_back("segment " + at(t.start) + " " + at(t.end) + " " +
                    std::to_string(int64_t(t.width) * 10) + " " + layer(t.layerId) + " " +
                    net(t.info.netId) + " " + group(t.info));
  }
  for (const ArcTrack& a : pcb.arcs) {
    lines.push_back("arc " + at(a.start) + " " + at(a.mid) + " " + at(a.end) + " " +
                    std::to_string(int64_t(a.width) * 10) + " " + layer(a.layerId) + " " +
                    net(a.info.netId) + " " + group(a.info));
  }
  for (const Via& v : pcb.vias) {
    lines.push_back("via " + at(v.at) + " " + std::to_string(int64_t(v.diameter) * 10) + " " +
                    std::to_string(int64_t(v.drill) * 10) + " " + layer(v.startLayerId) + " " +
                    layer(v.endLayerId) + " " + net(v.info.netId) + " " + group(v.info));
  }
  for (const Zone& z : pcb.zones) {
    std::string line = "zone ";
    for (std::size_t i = 0; i < z.layerIds.size(); ++i)
      line += (i > 0 ? "," : "") + layer(z.layerIds[i]);
    line += " " + net(z.info.netId) + " " + (z.keepout ? "1" : "0");
    for (TPoint p : z.outline) line += " " + at(p);
    lines.push_back(line + " " + group(z.info));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Tests with KiCad itself as the judge: a checker script run by the system's
// python3, whose pcbnew module is KiCad 6's, in a folder of the test's own.
// Skipped without the module.
class KicadPythonTest : public ::testing::Test {
 protected:
  static constexpr const char* kPython = "/usr/bin/python3";

  void SetUp() override {
    if (std::system((std::string(kPython) + " -c 'import pcbnew' >/dev/null 2>&1").c_str()) != 0) {
      GTEST_SKIP() << "KiCad's pcbnew module cannot be imported by " << kPython;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "kicadjudge-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Runs a checker script; returns its exit status and leaves its output in
  // said.
  int run(const std::string& script, const std::string& arguments, std::string& said) {
    const std::filesystem::path output = dir_ / "check.txt";
    const std::string command =
        std::string(kPython) + " " + script + " " + arguments + " >" + output.string() + " 2>&1";
    const int status = std::system(command.c_str());
    said = readFileText(output);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path dir_;
};

// KiCad reads a board's copper with kicadcoppercheck.py.
class KicadCopperJudge : public KicadPythonTest {
 protected:
  // The demo board copied into the test's folder.
  std::filesystem::path copyOfDemo() {
    const std::filesystem::path demo =
        "/usr/share/kicad/demos/complex_hierarchy/complex_hierarchy.kicad_pcb";
    if (!std::filesystem::exists(demo)) {
      ADD_FAILURE() << demo << " is missing: install kicad-demos";
      return {};
    }
    std::filesystem::copy_file(demo, dir_ / demo.filename());
    return dir_ / demo.filename();
  }

  // KiCad's lines for the board, sorted; fails the test when KiCad cannot
  // load it.
  std::vector<std::string> kicadCopperLines(const std::filesystem::path& board) {
    std::string said;
    EXPECT_EQ(run(TANDREL_KICAD_COPPER_CHECK, "dump " + board.string(), said), 0) << said;
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = said.find('\n', begin)) != std::string::npos; begin = end + 1)
      lines.push_back(said.substr(begin, end - begin));
    std::sort(lines.begin(), lines.end());
    return lines;
  }
};

}  // namespace dbxhost::kicad::testing
