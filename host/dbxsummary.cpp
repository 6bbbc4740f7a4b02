// dbxsummary: reads both tools of a running host through the DBX socket
// interface and prints what a client sees: header, grids, components, sheets,
// nets and highlighted items.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "dbx/dbx32.h"
#include "dbx/hostlocation.h"
#include "dbx/socketdbx.h"

namespace {

using namespace DBX;

std::string millimetres(int32_t units) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", units / 100000.0);
  return text;
}

std::string point(TPoint p) { return "(" + millimetres(p.x) + ", " + millimetres(p.y) + ")"; }

// Walks a first/next pair; returns the final status (an end code when complete).
template <class Rec, class First, class Next, class Visit>
int32_t walk(First first, Next next, Visit visit) {
  Rec record;
  int32_t status = first(&record);
  for (; status == DBX_OK; status = next(&record)) visit(record);
  return status;
}

bool isEndCode(int32_t status) {
  return status >= DBX_NO_MORE_LAYERS && status <= DBX_NO_MORE_COMPONENTS;
}

int fail(const char* what, int32_t status) {
  std::fprintf(stderr, "dbxsummary: %s failed: %s\n", what, statusText(status).c_str());
  return 1;
}

int summarizeTool(SocketDbx& dbx, const char* toolName) {
  TConversation ctx;
  if (int32_t s = dbx.TOpenDesign(kOpenLanguage, kOpenVersion, toolName, &ctx); s != DBX_OK) {
    return fail(toolName, s);
  }
  TDesign header;
  if (int32_t s = dbx.TGetDesignInfo(&ctx, &header); s != DBX_OK) return fail("header", s);
  const bool pcb = std::string(toolName) == kToolNamePcb;
  std::printf("%s \"%s\"\n", pcb ? "PCB" : "Schematic",
              std::string(getText(header.designName)).c_str());
  const int32_t gridId = header.isGridAbsolute ? header.absGridId : header.relGridId;
  std::string gridText = "none";
  walk<TGrid>([&](TGrid* g) { return dbx.TGetFirstGrid(&ctx, g); },
              [&](TGrid* g) { return dbx.TGetNextGrid(&ctx, g); },
              [&](const TGrid& g) {
                if (g.gridId == gridId) gridText = std::string(getText(g.gridSpacing));
              });
  std::printf("  grid %s (%s", gridText.c_str(), header.isGridAbsolute ? "absolute" : "relative");
  if (!header.isGridAbsolute) std::printf(", origin %s", point(header.relGridOrigin).c_str());
  std::printf(")\n");
  if (pcb) {
    const TRect& board = header.boardExtents;
    if (board == TRect{}) {
      std::printf("  board outline unknown\n");
    } else {
      std::printf("  board %s to %s\n", point(board.lowerLeft).c_str(),
                  point(board.upperRight).c_str());
    }
  }

  int components = 0, normal = 0, flipped = 0, highlighted = 0;
  std::vector<std::string> names;
  int32_t s = walk<TComponent>([&](TComponent* c) { return dbx.TGetFirstComponent(&ctx, c); },
                               [&](TComponent* c) { return dbx.TGetNextComponent(&ctx, c); },
                               [&](const TComponent& c) {
                                 ++components;
                                 normal += c.connectionType == DBX_COMPONENT_CONNECTION_NORMAL;
                                 flipped += c.isFlipped != 0;
                                 highlighted += c.isHighlighted != 0;
                               });
  if (!isEndCode(s)) return fail("component walk", s);
  std::printf("  %d components (%d normal, %d on the bottom side, %d highlighted)\n", components,
              normal, flipped, highlighted);

  if (!pcb) {
    std::map<int32_t, int> symbolsPerSheet;
    s = walk<TSymbol>([&](TSymbol* r) { return dbx.TGetFirstSymbol(&ctx, r); },
                      [&](TSymbol* r) { return dbx.TGetNextSymbol(&ctx, r); },
                      [&](const TSymbol& r) { ++symbolsPerSheet[r.layerId]; });
    if (!isEndCode(s)) return fail("symbol walk", s);
    s = walk<TLayer>([&](TLayer* l) { return dbx.TGetFirstLayer(&ctx, l); },
                     [&](TLayer* l) { return dbx.TGetNextLayer(&ctx, l); },
                     [&](const TLayer& l) {
                       std::printf("  sheet %d \"%s\": %d symbols\n", l.layerId,
                                   std::string(getText(l.layerName)).c_str(),
                                   symbolsPerSheet[l.layerId]);
                     });
    if (!isEndCode(s)) return fail("sheet walk", s);
  }

  int nets = 0, nodes = 0;
  s = walk<TNet>([&](TNet* n) { return dbx.TGetFirstNet(&ctx, n); },
                 [&](TNet* n) { return dbx.TGetNextNet(&ctx, n); },
                 [&](const TNet& n) {
                   ++nets;
                   nodes += n.nodeCount;
                 });
  if (!isEndCode(s)) return fail("net walk", s);
  std::printf("  %d nets, %d connected pins\n", nets, nodes);

  std::string items;
  s = walk<TItem>([&](TItem* i) { return dbx.TGetFirstHighlightedItem(&ctx, i); },
                  [&](TItem* i) { return dbx.TGetNextHighlightedItem(&ctx, i); },
                  [&](const TItem& i) {
                    if (i.itemType == DBX_COMPONENT)
                      items += " " + std::string(getText(i.component.refDes));
                    if (i.itemType == DBX_SYMBOL)
                      items += " " + std::string(getText(i.symbol.refDes));
                    if (i.itemType == DBX_NET)
                      items += " net:" + std::string(getText(i.net.netName));
                  });
  if (!isEndCode(s)) return fail("highlight walk", s);
  std::printf("  highlighted:%s\n", items.empty() ? " none" : items.c_str());
  dbx.TCloseDesign(&ctx, "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::fprintf(stderr, "usage: dbxsummary [SOCKET-DIRECTORY]\n");
    return 2;
  }
  const std::string dir = argc == 2 ? argv[1] : hostDirectory();
  std::printf("Host at %s\n", dir.c_str());
  SocketDbx dbx(dir);
  const int pcb = summarizeTool(dbx, kToolNamePcb);
  const int sch = summarizeTool(dbx, kToolNameSch);
  return pcb != 0 || sch != 0 ? 1 : 0;
}
