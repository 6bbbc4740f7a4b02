#include "window/highlightclick.h"

#include <algorithm>

namespace dbxhost {

namespace {

using Kind = HighlightChange::Kind;

// Calls f(kind, id, highlight) for every item of the tool that can be clicked.
template <class F>
void forEachClickable(const Design& design, DBX::Tool tool, F&& f) {
  if (tool == DBX::kToolPcb) {
    for (const PcbComponent& c : design.pcb.components) f(Kind::kPcbComponent, c.id, c.highlight);
  } else if (tool == DBX::kToolSch) {
    for (const Symbol& s : design.sch.symbols) f(Kind::kSymbol, s.id, s.highlight);
  }
}

template <class Item>
int32_t* highlightOf(std::vector<Item>& items, int32_t id) {
  auto it = std::find_if(items.begin(), items.end(), [&](const Item& i) { return i.id == id; });
  return it == items.end() ? nullptr : &it->highlight;
}

}  // namespace

std::vector<HighlightChange> planClick(const Design& design, DBX::Tool tool, int32_t id,
                                       bool additive) {
  bool found = false;
  forEachClickable(design, tool, [&](Kind, int32_t itemId, int32_t) { found |= itemId == id; });
  if (!found) return {};
  std::vector<HighlightChange> changes;
  forEachClickable(design, tool, [&](Kind kind, int32_t itemId, int32_t highlight) {
    if (itemId == id) {
      const int32_t wanted = additive && highlight != 0 ? 0 : kClickHighlight;
      if (highlight != wanted) changes.push_back({kind, itemId, wanted});
    } else if (!additive && highlight != 0) {
      changes.push_back({kind, itemId, 0});
    }
  });
  return changes;
}

std::vector<HighlightChange> planClearAll(const Design& design) {
  std::vector<HighlightChange> changes;
  for (const DBX::Tool tool : {DBX::kToolPcb, DBX::kToolSch}) {
    forEachClickable(design, tool, [&](Kind kind, int32_t id, int32_t highlight) {
      if (highlight != 0) changes.push_back({kind, id, 0});
    });
  }
  for (const Net& net : design.nets) {
    if (net.highlight != 0) changes.push_back({Kind::kNet, net.id, 0});
  }
  return changes;
}

std::size_t applyHighlightChanges(Design& design, const std::vector<HighlightChange>& changes) {
  std::size_t applied = 0;
  for (const HighlightChange& change : changes) {
    int32_t* highlight = nullptr;
    switch (change.kind) {
      case Kind::kPcbComponent:
        highlight = highlightOf(design.pcb.components, change.id);
        break;
      case Kind::kSymbol:
        highlight = highlightOf(design.sch.symbols, change.id);
        break;
      case Kind::kNet:
        highlight = highlightOf(design.nets, change.id);
        break;
    }
    if (highlight == nullptr) continue;
    *highlight = change.colour;
    ++applied;
  }
  return applied;
}

}  // namespace dbxhost
