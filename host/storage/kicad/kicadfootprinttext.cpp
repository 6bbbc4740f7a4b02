#include "storage/kicad/kicadfootprinttext.h"

#include <cmath>
#include <numbers>

namespace dbxhost::kicad {

namespace {

constexpr int64_t kFullTurn = 360000;  // thousandths of a degree

int64_t normalizedMilliDegrees(int64_t angle) {
  const int64_t a = angle % kFullTurn;
  return a < 0 ? a + kFullTurn : a;
}

bool isYes(const Sexpr& flag) {
  return flag.children().size() < 2 || flag.children()[1].text() == "yes";
}

bool holdsHide(const Sexpr& node) {
  for (const Sexpr& child : node.children()) {
    if (child.kind == Sexpr::Kind::Atom && child.text() == "hide") return true;
    if (child.isList() && child.head() == "hide") return isYes(child);
  }
  return false;
}

}  // namespace

Turn::Turn(int64_t milliDegrees) {
  const int64_t a = normalizedMilliDegrees(milliDegrees);
  if (a % 90000 == 0) {
    static constexpr double kCos[] = {1, 0, -1, 0}, kSin[] = {0, 1, 0, -1};
    cos = kCos[a / 90000];
    sin = kSin[a / 90000];
  } else {
    cos = std::cos(double(a) * std::numbers::pi / (kFullTurn / 2));
    sin = std::sin(double(a) * std::numbers::pi / (kFullTurn / 2));
  }
}

BoardPoint boardPoint(BoardPoint origin, int64_t orientation, BoardPoint local) {
  const Turn t(orientation);
  const double x = double(local.x), y = double(local.y);
  return {origin.x + std::llround(x * t.cos + y * t.sin),
          origin.y + std::llround(y * t.cos - x * t.sin)};
}

BoardPoint localOffset(BoardPoint origin, int64_t orientation, BoardPoint p) {
  const Turn t(orientation);
  const double dx = double(p.x - origin.x), dy = double(p.y - origin.y);
  const BoardPoint guess{std::llround(dx * t.cos - dy * t.sin),
                         std::llround(dx * t.sin + dy * t.cos)};
  BoardPoint best = guess;
  int64_t bestMiss = -1;
  for (int64_t ox = -1; ox <= 1; ++ox) {
    for (int64_t oy = -1; oy <= 1; ++oy) {
      const BoardPoint candidate{guess.x + ox, guess.y + oy};
      const BoardPoint landed = boardPoint(origin, orientation, candidate);
      const int64_t miss = std::abs(landed.x - p.x) + std::abs(landed.y - p.y);
      if (bestMiss < 0 || miss < bestMiss) {
        best = candidate;
        bestMiss = miss;
      }
    }
  }
  return best;
}

const Sexpr* footprintText(const Sexpr& footprint, const ComponentTextKind& kind) {
  for (const Sexpr& child : footprint.children()) {
    if (!child.isList() || child.children().size() < 3) continue;
    const Sexpr& key = child.children()[1];
    if ((child.head() == "property" && key.kind == Sexpr::Kind::String &&
         key.text() == kind.field) ||
        (child.head() == "fp_text" && key.kind == Sexpr::Kind::Atom && key.text() == kind.legacy)) {
      return &child;
    }
  }
  return nullptr;
}

int64_t atAngle(const SexprReader& reader, const Sexpr& at) {
  if (at.children().size() < 4 || at.children()[3].kind != Sexpr::Kind::Atom ||
      at.children()[3].text() == "unlocked") {
    return 0;
  }
  return reader.milliDegrees(at, 3);
}

bool isMirrored(const Sexpr& text) {
  const Sexpr* effects = text.list("effects");
  const Sexpr* justify = effects != nullptr ? effects->list("justify") : nullptr;
  if (justify == nullptr) return false;
  for (const Sexpr& part : justify->children()) {
    if (part.kind == Sexpr::Kind::Atom && part.text() == "mirror") return true;
  }
  return false;
}

bool isHidden(const Sexpr& text) {
  const Sexpr* effects = text.list("effects");
  return holdsHide(text) || (effects != nullptr && holdsHide(*effects));
}

int32_t hostTextRotation(int64_t angle, bool bottom) {
  const int64_t a = normalizedMilliDegrees(angle + (bottom ? kFullTurn / 2 : 0));
  return int32_t(((a + 50) / 100) % 3600);
}

int64_t kicadTextAngle(int32_t rotation, bool bottom) {
  return normalizedMilliDegrees(int64_t(rotation) * 100 + (bottom ? kFullTurn / 2 : 0));
}

}  // namespace dbxhost::kicad
