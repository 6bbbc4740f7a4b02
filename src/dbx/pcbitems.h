// The copper of a PCB as the host serves it: tracks, arcs, vias and zone
// outlines, each kind in the host's own record and in walk order.
#pragma once

#include <vector>

#include "dbx/dbx32.h"

namespace DBX {

struct PcbItems {
  std::vector<TLine> lines;
  std::vector<TArc> arcs;
  std::vector<TVia> vias;
  std::vector<TPolygon> polygons;

  std::size_t size() const { return lines.size() + arcs.size() + vias.size() + polygons.size(); }
  bool empty() const { return size() == 0; }
};

}  // namespace DBX
