#include "boards.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <tuple>

#include "model/syntheticdesign.h"

namespace boards {

namespace {

constexpr int32_t kGnd = 1;
constexpr int32_t kVcc = 2;

}  // namespace

dbxhost::Design makePcb(const std::vector<Part>& parts) {
  dbxhost::Design design;
  design.pcb.header.designName = "test";
  design.pcb.header.absGridId = 1;
  design.pcb.grids = {{1, "1mm"}};
  std::set<int32_t> nets;
  int32_t id = 1;
  for (const Part& part : parts) {
    dbxhost::Pattern& pattern = design.pcb.patterns[part.pattern];
    pattern.name = part.pattern;
    for (const auto& [pinDes, net] : part.pads) {
      bool known = false;
      for (const auto& pad : pattern.pads) known = known || pad.pinDes == pinDes;
      if (!known) {
        pattern.pads.push_back({pinDes, {int32_t(pattern.pads.size()) * 100000, 0}});
      }
      if (net != 0) nets.insert(net);
    }
    dbxhost::PcbComponent component;
    component.id = id++;
    component.refDes = part.refDes;
    component.compType = part.compType;
    component.value = part.value;
    component.patternName = part.pattern;
    component.libraryName = "test.lib";
    // Rows of 100 parts 1 mm apart keep large test boards inside the coordinate range.
    component.placement.refPoint = {(id % 100) * 1000000, (1 + id / 100) * 1000000};
    component.padNets = part.pads;
    design.pcb.components.push_back(std::move(component));
  }
  for (int32_t net : nets) design.nets.push_back({net, "N" + std::to_string(net)});
  return design;
}

dbxhost::Design makeRandomChannels(std::mt19937& random, int channels, int parts, int nets) {
  const char* const designators[] = {"1", "2", "3", "10"};
  constexpr int32_t kShared = 1;
  auto pick = [&](int n) { return int(random() % uint32_t(n)); };
  // The circuit: per part its kind and its pins on circuit nets 0 .. nets - 1
  // (-1 for the shared net).
  std::vector<Part> circuit;
  for (int i = 0; i < parts; ++i) {
    const bool kindA = pick(2) == 0;
    Part part{pick(4) == 0 ? ":A" : "", kindA ? "A" : "B", "1", kindA ? "PA" : "PB", {}};
    const int pins = 1 + pick(4);
    for (int p = 0; p < pins; ++p) part.pads[designators[pick(4)]] = pick(6) == 0 ? -1 : pick(nets);
    circuit.push_back(std::move(part));
  }
  std::vector<Part> all;
  for (int channel = 0; channel < channels; ++channel) {
    std::vector<int32_t> order(static_cast<std::size_t>(nets));
    for (int n = 0; n < nets; ++n) order[std::size_t(n)] = 2 + channel * nets + n;
    std::shuffle(order.begin(), order.end(), random);
    for (int i = 0; i < parts; ++i) {
      Part part = circuit[std::size_t(i)];
      part.refDes = "Q" + std::to_string(channel * parts + i + 1) + part.refDes;
      for (auto& [pinDes, net] : part.pads) {
        net = net < 0 ? kShared : order[std::size_t(net)];
        if (pick(12) == 0) net = 1 + pick(1 + channels * nets);
      }
      all.push_back(std::move(part));
    }
  }
  return makePcb(all);
}

std::vector<std::string> randomChannelRefDes(const dbxhost::Design& design, int channel,
                                             int parts) {
  std::vector<std::string> refDes;
  for (int i = 0; i < parts; ++i) {
    refDes.push_back(design.pcb.components[std::size_t(channel * parts + i)].refDes);
  }
  return refDes;
}

namespace {

// Whether the moves of pins (part, pin, circuit net) of a circuit are each
// plain to see (see makeRewiredChannels).
bool movesArePlain(const std::vector<Part>& circuit,
                   const std::vector<std::tuple<int, std::string, int32_t>>& moves) {
  std::map<int32_t, std::set<int>> partsKept;  // per net, the parts whose pins stay
  std::map<int32_t, int> pinsKept;
  std::set<std::pair<int32_t, int32_t>> movedBetween;
  for (std::size_t i = 0; i < circuit.size(); ++i) {
    for (const auto& [pin, net] : circuit[i].pads) {
      bool moved = false;
      for (const auto& [part, movedPin, to] : moves)
        moved = moved || (part == int(i) && movedPin == pin);
      if (moved) continue;
      partsKept[net].insert(int(i));
      ++pinsKept[net];
    }
  }
  for (const auto& [part, pin, to] : moves) {
    const int32_t from = circuit[std::size_t(part)].pads.at(pin);
    if (!movedBetween.insert({from, to}).second) return false;
    for (int32_t net : {from, to}) {
      if (partsKept[net].size() < 2 || pinsKept[net] < 2) return false;
    }
  }
  return true;
}

}  // namespace

RewiredChannels makeRewiredChannels(std::mt19937& random, int parts, int nets, int moved) {
  const char* const designators[] = {"1", "2", "3", "10"};
  auto pick = [&](int n) { return int(random() % uint32_t(n)); };
  std::vector<Part> circuit;
  for (int i = 0; i < parts; ++i) {
    const std::string kind(1, char('A' + pick(4)));
    Part part{"", kind, "1", "P" + kind, {}};
    const int pins = 2 + pick(3);
    for (int p = 0; p < pins; ++p) part.pads[designators[p]] = pick(nets);
    circuit.push_back(std::move(part));
  }
  std::vector<std::tuple<int, std::string, int32_t>> moves;
  for (int attempt = 0; int(moves.size()) < moved; ++attempt) {
    if (attempt > 1000) throw std::runtime_error("makeRewiredChannels: no plain moves found");
    const int part = pick(parts);
    const Part& chosen = circuit[std::size_t(part)];
    auto pad = chosen.pads.begin();
    std::advance(pad, pick(int(chosen.pads.size())));
    const int32_t to = pick(nets);
    bool again = to == pad->second;
    for (const auto& [movedPart, pin, net] : moves)
      again = again || (movedPart == part && pin == pad->first);
    if (again) continue;
    moves.emplace_back(part, pad->first, to);
    if (!movesArePlain(circuit, moves)) moves.pop_back();
  }
  RewiredChannels result;
  std::vector<Part> all;
  for (int copy = 0; copy < 2; ++copy) {
    std::vector<int32_t> ids(static_cast<std::size_t>(nets));
    for (int n = 0; n < nets; ++n) ids[std::size_t(n)] = 1 + copy * nets + n;
    if (copy == 1) std::shuffle(ids.begin(), ids.end(), random);
    for (int i = 0; i < parts; ++i) {
      Part part = circuit[std::size_t(i)];
      part.refDes = "Q" + std::to_string(copy * parts + i + 1);
      for (auto& [pin, net] : part.pads) {
        int32_t circuitNet = net;
        for (const auto& [movedPart, movedPin, to] : moves) {
          if (copy == 1 && movedPart == i && movedPin == pin) {
            circuitNet = to;
            result.moved.push_back({"Q" + std::to_string(i + 1), pin, "N" + std::to_string(1 + net),
                                    "N" + std::to_string(ids[std::size_t(to)])});
          }
        }
        net = ids[std::size_t(circuitNet)];
      }
      all.push_back(std::move(part));
    }
  }
  std::sort(result.moved.begin(), result.moved.end());
  result.design = makePcb(all);
  return result;
}

dbxhost::Design makeChannelBoard(const ChannelBoard& board) {
  dbxhost::Design design = dbxhost::makeSyntheticDesign(board.channels, board.chainParts, false);
  if (board.powerPins) {
    for (auto& [name, pattern] : design.pcb.patterns) {
      for (int pad = 3; pad <= board.padCount; ++pad) {
        const int32_t y = pad % 2 == 0 ? 80000 : -80000;
        pattern.pads.push_back({std::to_string(pad), {(pad - 3) / 2 * 40000, y}});
      }
    }
    for (auto& component : design.pcb.components) {
      for (int pad = 3; pad <= board.padCount; ++pad) {
        component.padNets[std::to_string(pad)] =
            pad >= 4 && pad < 4 + board.groundPins ? kGnd : kVcc;
      }
    }
  }
  if (board.decouplingClasses.empty()) return design;
  if (static_cast<int>(board.decouplingClasses.size()) > board.chainParts) {
    throw std::invalid_argument("makeChannelBoard: more capacitor classes than chain nets");
  }
  dbxhost::Pattern& pattern = design.pcb.patterns["C0402"];
  pattern.name = "C0402";
  pattern.pads = {{"1", {-50000, 0}}, {"2", {50000, 0}}};
  int32_t nextId = static_cast<int32_t>(design.pcb.components.size()) + 1;
  for (int channel = 1; channel <= board.channels; ++channel) {
    const auto refDes = channelRefDes(board, channel);
    std::size_t index = static_cast<std::size_t>(board.chainParts);
    for (std::size_t k = 0; k < board.decouplingClasses.size(); ++k) {
      // The synthetic chain's k-th net of the channel.
      const int32_t rail =
          k == 0 ? kVcc : int32_t(3 + (channel - 1) * (board.chainParts - 1) + (k - 1));
      for (int i = 0; i < board.decouplingClasses[k]; ++i) {
        dbxhost::PcbComponent cap;
        cap.id = nextId++;
        cap.refDes = refDes[index++];
        cap.compType = "CAP";
        cap.value = "100nF";
        cap.patternName = "C0402";
        cap.libraryName = "synthetic.lib";
        cap.placement.refPoint = {cap.id * 100000, 9000000};
        cap.padNets = {{"1", rail}, {"2", kGnd}};
        design.pcb.components.push_back(std::move(cap));
      }
    }
  }
  return design;
}

std::vector<std::string> channelRefDes(const ChannelBoard& board, int channel) {
  std::vector<std::string> refDes;
  for (int k = 0; k < board.chainParts; ++k) {
    refDes.push_back((k % 2 == 0 ? "R" : "C") +
                     std::to_string((channel - 1) * board.chainParts + k + 1));
  }
  int perChannel = 0;
  for (int count : board.decouplingClasses) perChannel += count;
  for (int i = 0; i < perChannel; ++i) {
    refDes.push_back("CD" + std::to_string((channel - 1) * perChannel + i + 1));
  }
  return refDes;
}

dbxhost::Design makePullUps(int k, int copies) {
  std::vector<Part> parts;
  for (int copy = 0; copy < copies; ++copy) {
    const int32_t vcc = 1000 * copy + 999;
    Part ic{"U" + std::to_string(copy + 1), "IC", "MCU", "QFN", {}};
    for (int r = 0; r < k; ++r) {
      const int32_t net = 1000 * copy + r + 1;
      ic.pads[std::to_string(r + 1)] = net;
      parts.push_back({"R" + std::to_string(copy * k + r + 1),
                       "RES",
                       "10k",
                       "R0402",
                       {{"1", net}, {"2", vcc}}});
    }
    parts.push_back(std::move(ic));
  }
  return makePcb(parts);
}

NetGraph templateGraphOf(const std::vector<DBX::Component*>& components) {
  NetGraph graph;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (components[i] != nullptr) graph.AddItem(uint32_t(i), components[i]);
  }
  return graph;
}

Loaded::Loaded(dbxhost::Design design, uint8_t tool) : host(std::move(design)) {
  this->design.selectTool(tool);
}

DBX::Component* Loaded::operator[](const std::string& refDes) const {
  const auto& components = design.pack().components().left;
  const auto found = components.find(RefDesString(refDes));
  if (found == components.end()) throw std::out_of_range("no component " + refDes);
  return found->second;
}

std::vector<DBX::Component*> Loaded::components(const std::vector<std::string>& refDes) const {
  std::vector<DBX::Component*> result;
  for (const std::string& name : refDes) result.push_back((*this)[name]);
  return result;
}

}  // namespace boards
