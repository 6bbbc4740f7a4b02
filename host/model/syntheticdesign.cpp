#include "model/syntheticdesign.h"

#include <stdexcept>
#include <string>

namespace dbxhost {
namespace {

constexpr int32_t kGndNet = 1;
constexpr int32_t kVccNet = 2;

// Schematic drawing: symbols 0.4 wide, columns 6 apart, rows 4 apart.
constexpr int32_t kSymbolHalfWidth = 200000;
constexpr int32_t kSymbolHalfHeight = 50000;
constexpr int32_t kSchColumnPitch = 600000;
constexpr int32_t kSchRowPitch = 400000;
constexpr int32_t kSchOrigin = 1000000;

// PCB: 0603 parts on a 3 x 3 raster.
constexpr int32_t kPadOffset = 80000;
constexpr int32_t kPcbPitch = 300000;
constexpr int32_t kPcbOrigin = 500000;

Pattern twoPadPattern(const std::string& name) {
  Pattern pattern;
  pattern.name = name;
  pattern.pads = {{"1", {-kPadOffset, 0}, {60000, 90000}}, {"2", {kPadOffset, 0}, {60000, 90000}}};
  pattern.outline = TRect{{-130000, -60000}, {130000, 60000}};
  return pattern;
}

Header headerNamed(std::string name, int32_t gridId) {
  Header header;
  header.designName = std::move(name);
  header.absGridId = gridId;
  header.relGridId = gridId;
  header.isGridAbsolute = true;
  return header;
}

void checkCount(int count, int max, const char* what) {
  if (count < 1 || count > max) {
    throw std::invalid_argument(std::string(what) + " must be 1.." + std::to_string(max) +
                                ", not " + std::to_string(count));
  }
}

}  // namespace

Design makeSyntheticDesign(int channels, int parts, bool sheets) {
  checkCount(channels, kMaxSyntheticChannels, "channels");
  checkCount(parts, kMaxSyntheticParts, "parts");

  Design design;
  design.nets = {{kGndNet, "GND"}, {kVccNet, "VCC"}};
  // Net between part k - 1 and part k of a channel (k from 1 to parts - 1).
  auto innerNet = [&](int channel, int k) {
    return int32_t(3 + (channel - 1) * (parts - 1) + (k - 1));
  };
  for (int channel = 1; channel <= channels; ++channel) {
    for (int k = 1; k < parts; ++k) {
      design.nets.push_back(
          {innerNet(channel, k), "C" + std::to_string(channel) + "_" + std::to_string(k)});
    }
  }

  const std::string name = "synthetic " + std::to_string(channels) + "x" + std::to_string(parts);
  design.sch.header = headerNamed(name, 2);
  design.sch.grids = {{1, "0.1mm"}, {2, "2.54mm"}};
  if (sheets) {
    for (int channel = 1; channel <= channels; ++channel) {
      design.sch.sheets.push_back({channel, "Channel" + std::to_string(channel)});
    }
  } else {
    design.sch.sheets.push_back({1, "Main"});
  }

  design.pcb.header = headerNamed(name, 1);
  design.pcb.grids = {{1, "0.05mm"}, {2, "0.5mm"}};
  design.pcb.patterns = {{"R0603", twoPadPattern("R0603")}, {"C0603", twoPadPattern("C0603")}};
  const int32_t boardRight = 2 * kPcbOrigin + (parts - 1) * kPcbPitch;
  const int32_t boardTop = 2 * kPcbOrigin + (channels - 1) * kPcbPitch;
  design.pcb.boardOutline = {{0, 0}, {boardRight, 0}, {boardRight, boardTop}, {0, boardTop}};

  for (int channel = 1; channel <= channels; ++channel) {
    for (int k = 0; k < parts; ++k) {
      const bool isResistor = k % 2 == 0;
      const int32_t netIn = k == 0 ? kVccNet : innerNet(channel, k);
      const int32_t netOut = k == parts - 1 ? kGndNet : innerNet(channel, k + 1);

      SchComponent component;
      component.id = int32_t(design.sch.components.size() + 1);
      component.refDes = (isResistor ? "R" : "C") + std::to_string((channel - 1) * parts + k + 1);
      component.compType = isResistor ? "RES" : "CAP";
      component.value = std::to_string(k + 1) + (isResistor ? "k" : "nF");
      component.patternName = isResistor ? "R0603" : "C0603";
      component.libraryName = "synthetic.lib";

      const int row = sheets ? 0 : channel - 1;
      const TPoint at{kSchOrigin + k * kSchColumnPitch, kSchOrigin + row * kSchRowPitch};
      component.pins = {{"1", "A", 1, netIn, {at.x - kSymbolHalfWidth, at.y}},
                        {"2", "B", 1, netOut, {at.x + kSymbolHalfWidth, at.y}}};

      Symbol symbol;
      symbol.id = int32_t(design.sch.symbols.size() + 1);
      symbol.refDes = component.refDes;
      symbol.sheetId = sheets ? channel : 1;
      symbol.refPoint = at;
      symbol.boundRect = {{at.x - kSymbolHalfWidth, at.y - kSymbolHalfHeight},
                          {at.x + kSymbolHalfWidth, at.y + kSymbolHalfHeight}};
      symbol.component = design.sch.components.size();

      PcbComponent placed;
      placed.id = int32_t(design.pcb.components.size() + 1);
      placed.refDes = component.refDes;
      placed.compType = component.compType;
      placed.value = component.value;
      placed.patternName = component.patternName;
      placed.libraryName = component.libraryName;
      placed.placement.refPoint = {kPcbOrigin + k * kPcbPitch,
                                   kPcbOrigin + (channel - 1) * kPcbPitch};
      placed.padNets = {{"1", netIn}, {"2", netOut}};

      design.sch.components.push_back(std::move(component));
      design.sch.symbols.push_back(std::move(symbol));
      design.pcb.components.push_back(std::move(placed));
    }
  }
  return design;
}

}  // namespace dbxhost
