// What KiCad itself computes from a board file, for checking the host's import
// against it: absolute pad positions as footprint position + Rot(orientation)
// * local position, in nanometres with y pointing down.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "storage/kicad/kicadboard.h"
#include "storage/kicad/sexpr.h"

namespace dbxhost::kicad::testing {

struct KicadPad {
  std::string reference;
  std::string number;
  double x = 0, y = 0;  // nanometres, y down
};

inline std::vector<KicadPad> kicadPadPositions(const std::string& text) {
  const SexprTree root = parseSexpr(text, "reference");
  const SexprReader r("reference");
  std::vector<KicadPad> pads;
  for (const Sexpr* fp : root.lists("footprint")) {
    const Sexpr& at = *fp->list("at");
    const double px = double(r.nanometres(at, 1)), py = double(r.nanometres(at, 2));
    const double angle =
        double(r.optionalMilliDegrees(at, 3).value_or(0)) * std::numbers::pi / 180000.0;
    std::string reference;
    for (const Sexpr& item : fp->children()) {
      if (item.isList() && item.children().size() > 2 &&
          ((item.head() == "property" && item.children()[1].text() == "Reference") ||
           (item.head() == "fp_text" && item.children()[1].text() == "reference"))) {
        reference = std::string(item.children()[2].text());
      }
    }
    for (const Sexpr* pad : fp->lists("pad")) {
      const Sexpr& local = *pad->list("at");
      const double lx = double(r.nanometres(local, 1)), ly = double(r.nanometres(local, 2));
      // KiCad's RotatePoint: counter-clockwise on screen with y down.
      const double c = std::cos(angle), s = std::sin(angle);
      pads.push_back({reference, std::string(pad->children()[1].text()), px + lx * c + ly * s,
                      py - lx * s + ly * c});
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
// The host's reference and value texts as "kicadcoppercheck.py texts" prints KiCad's,
// sorted: angles as the file keeps them, 180° from the host's on a bottom-side
// footprint.
inline std::vector<std::string> hostTextLines(const KicadBoard& board, const Pcb& pcb) {
  std::vector<std::string> lines;
  for (const PcbComponent& c : pcb.components) {
    for (const CompText& t : c.texts) {
      const int32_t angle = (t.rotation + (c.placement.flipped ? 1800 : 0)) % 3600;
      lines.push_back(c.refDes + (t.attrType == DBX_18::kAttrRefDes ? " reference " : " value ") +
                      std::to_string(int64_t(t.at.x) * 10) + " " +
                      std::to_string(-int64_t(t.at.y) * 10) + " " + std::to_string(angle) + " " +
                      board.layerNames.at(t.layerId) + " " + (t.flipped ? "1" : "0") + " " +
                      (t.visible ? "1" : "0"));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// KiCad's copper lines at the host's precision: the coordinates and sizes
// (the numbers after "segment", "arc" and "via", and after a zone's layers,
// net and keepout flag) rounded to 10 nm as the host reads them; KiCad 9
// writes teardrops to the nanometre. Sorted again.
inline std::vector<std::string> atHostPrecision(const std::vector<std::string>& kicadLines) {
  auto isNumber = [](const std::string& word) {
    const std::size_t digits = word.starts_with('-') ? 1 : 0;
    return word.size() > digits &&
           word.find_first_not_of("0123456789", digits) == std::string::npos;
  };
  std::vector<std::string> lines;
  for (const std::string& line : kicadLines) {
    std::vector<std::string> words;
    for (std::size_t begin = 0, end = 0; end != std::string::npos; begin = end + 1) {
      end = line.find(' ', begin);
      words.push_back(line.substr(begin, end == std::string::npos ? end : end - begin));
    }
    std::string out = words[0];
    bool measuring = true;
    for (std::size_t i = 1; i < words.size(); ++i) {
      const bool measure = measuring && i >= (words[0] == "zone" ? 4u : 1u);
      if (measure && !isNumber(words[i])) measuring = false;
      out += " " + (measure && measuring ? std::to_string(hostUnits(std::stoll(words[i])) * 10)
                                         : words[i]);
    }
    lines.push_back(out);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

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

// Why the board text is refused ("b.kicad_pcb: line L: ..."), or "accepted".
inline std::string boardRefusal(const std::string& text) {
  try {
    parseKicadBoard(text, "b.kicad_pcb");
  } catch (const KicadFileError& error) {
    return error.what();
  }
  return "accepted";
}

}  // namespace dbxhost::kicad::testing
