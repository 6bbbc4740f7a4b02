#include "placement/placecheck.h"

#include <algorithm>
#include <map>

#include "placement/placertexts.h"

namespace placement {

namespace {

// Cross products of host coordinates need up to 66 bits.
using Wide = __int128;

Wide cross(DBX::TPoint o, DBX::TPoint a, DBX::TPoint b) {
  return Wide{int64_t{a.x} - o.x} * (int64_t{b.y} - o.y) -
         Wide{int64_t{a.y} - o.y} * (int64_t{b.x} - o.x);
}

bool enclosesArea(const Outline& outline) {
  return cross(outline[0], outline[1], outline[2]) != 0 ||
         cross(outline[0], outline[2], outline[3]) != 0;
}

struct Span {
  Wide low;
  Wide high;
};

Span project(const Outline& outline, int64_t nx, int64_t ny) {
  Span span{Wide{nx} * outline[0].x + Wide{ny} * outline[0].y, 0};
  span.high = span.low;
  for (const DBX::TPoint& p : outline) {
    const Wide at = Wide{nx} * p.x + Wide{ny} * p.y;
    span.low = std::min(span.low, at);
    span.high = std::max(span.high, at);
  }
  return span;
}

// Whether one of the normals of from's edges keeps the two apart; spans that
// only touch keep them apart too.
bool separates(const Outline& from, const Outline& a, const Outline& b) {
  for (std::size_t i = 0; i < from.size(); ++i) {
    const DBX::TPoint p = from[i];
    const DBX::TPoint q = from[(i + 1) % from.size()];
    const int64_t nx = -(int64_t{q.y} - p.y);
    const int64_t ny = int64_t{q.x} - p.x;
    if (nx == 0 && ny == 0) continue;
    const Span sa = project(a, nx, ny);
    const Span sb = project(b, nx, ny);
    if (sa.high <= sb.low || sb.high <= sa.low) return true;
  }
  return false;
}

std::string andMore(std::size_t count, std::string_view what) {
  return std::string(kAndMore) + std::to_string(count) + std::string(what);
}

// "A, B, C and 4 more": at most shown names, or all of them when "and 1
// more" would take the place of the last.
std::string cutList(const std::vector<std::string>& names, std::size_t shown) {
  if (names.size() == shown + 1) shown = names.size();
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
    if (i > 0) text += ", ";
    text += names[i];
  }
  if (names.size() > shown) {
    text += " " + andMore(names.size() - shown, kMoreSuffix);
  }
  return text;
}

// The heading with the count, then one line per group of its parts.
std::string section(std::string_view heading, const std::vector<PartFinding>& findings) {
  std::map<std::size_t, std::vector<std::string>> byGroup;
  for (const PartFinding& finding : findings) {
    std::string name = finding.part;
    if (!finding.obstacles.empty()) {
      name += " (" + std::string(kOverlapOn) + cutList(finding.obstacles, kObstaclesNamed) + ")";
    }
    byGroup[finding.group].push_back(std::move(name));
  }
  std::string text = std::string(heading) + std::to_string(findings.size()) + "\n";
  std::size_t lines = 0;
  for (const auto& [group, names] : byGroup) {
    if (lines++ == kGroupLinesNamed && byGroup.size() > kGroupLinesNamed + 1) {
      text += andMore(byGroup.size() - kGroupLinesNamed, kMoreGroupsSuffix) + "\n";
      break;
    }
    text += "G" + std::to_string(group + 1) + ": " + cutList(names, kPartsNamed) + "\n";
  }
  return text;
}

}  // namespace

Outline OutlineOf(const DBX::TRect& rect) {
  return {rect.lowerLeft,
          {rect.upperRight.x, rect.lowerLeft.y},
          rect.upperRight,
          {rect.lowerLeft.x, rect.upperRight.y}};
}

DBX::TRect BoxAround(const Outline& outline) {
  DBX::TRect box{outline[0], outline[0]};
  for (const DBX::TPoint& p : outline) {
    box.lowerLeft = {std::min(box.lowerLeft.x, p.x), std::min(box.lowerLeft.y, p.y)};
    box.upperRight = {std::max(box.upperRight.x, p.x), std::max(box.upperRight.y, p.y)};
  }
  return box;
}

bool Overlaps(const Outline& a, const Outline& b) {
  if (!enclosesArea(a) || !enclosesArea(b)) return false;
  return !separates(a, a, b) && !separates(b, a, b);
}

std::string PlaceQuestion(const std::vector<PartFinding>& offBoard,
                          const std::vector<PartFinding>& overlapping) {
  if (offBoard.empty() && overlapping.empty()) return {};
  std::string text;
  if (!offBoard.empty()) text += section(kOffBoardHeading, offBoard);
  if (!overlapping.empty()) text += section(kOverlapHeading, overlapping);
  return text + std::string(kMoveAnyway);
}

}  // namespace placement
