// Copper records as a client fills them to place items.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dbx/dbx32.h"

namespace dbxhost::records {

inline DBX::TLine line(int32_t layerId, int32_t width, DBX::TPoint a, DBX::TPoint b, int32_t netId,
                       const char* group = "") {
  DBX::TLine r;
  r.layerId = layerId;
  r.width = width;
  r.startPt = a;
  r.endPt = b;
  r.netId = netId;
  DBX::setText(r.groupName, group);
  return r;
}

inline DBX::TArc arc(int32_t layerId, int32_t width, DBX::TPoint start, DBX::TPoint mid,
                     DBX::TPoint end, int32_t netId, const char* group = "") {
  DBX::TArc r;
  r.layerId = layerId;
  r.width = width;
  r.startPt = start;
  r.midPt = mid;
  r.endPt = end;
  r.netId = netId;
  DBX::setText(r.groupName, group);
  return r;
}

// A through via from the first layer to the second.
inline DBX::TVia via(DBX::TPoint at, int32_t diameter, int32_t drill, int32_t fromLayerId,
                     int32_t toLayerId, int32_t netId, const char* group = "") {
  DBX::TVia r;
  r.location = at;
  r.diameter = diameter;
  r.drill = drill;
  r.startLayerId = fromLayerId;
  r.endLayerId = toLayerId;
  r.netId = netId;
  DBX::setText(r.groupName, group);
  return r;
}

inline DBX::TPolygon polygon(int32_t layerId, int32_t netId, std::vector<DBX::TPoint> points,
                             const char* group = "") {
  DBX::TPolygon r;
  r.layerId = layerId;
  r.netId = netId;
  r.numberPoints = static_cast<int32_t>(points.size());
  std::copy(points.begin(), points.end(), r.points);
  DBX::setText(r.groupName, group);
  return r;
}

}  // namespace dbxhost::records
