// What KiCad itself computes from a board file, for checking the host's import
// against it: absolute pad positions as footprint position + Rot(orientation)
// * local position, in nanometres with y pointing down.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

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

}  // namespace dbxhost::kicad::testing
