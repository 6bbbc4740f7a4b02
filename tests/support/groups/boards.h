// Designs for the group model's tests and benchmarks, and a design loaded
// through the in-process host.
#pragma once

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dbx/design.h"
#include "engine/hostdbx.h"
#include "groups/netgraph.h"
#include "model/design.h"

namespace boards {

// One PCB part: pads by designator with their net ids (0: on no net).
struct Part {
  std::string refDes;
  std::string compType;
  std::string value;
  std::string pattern;
  std::map<std::string, int32_t> pads;
};

// A PCB of the parts; every net id used gets a net "N<id>", every pattern
// the pads its parts use.
dbxhost::Design makePcb(const std::vector<Part>& parts);

// channels copies of a random circuit of parts parts (two kinds, one to
// four pins with designators "1", "2", "3" and "10", some with a part
// suffix). Each copy renumbers the circuit's nets in its own shuffled order,
// some pins of a copy move to another net, and net 1 is shared by all
// copies. Part i of channel c is "Q<c * parts + i + 1>" (with suffix).
// Small designs for comparing the row check with its reference.
dbxhost::Design makeRandomChannels(std::mt19937& random, int channels, int parts, int nets);
// The designators of one channel of such a design, in circuit order.
std::vector<std::string> randomChannelRefDes(const dbxhost::Design& design, int channel, int parts);

// Two copies of a random circuit of parts parts (kinds "A" to "D", two to
// four pins of "1", "2", "3" and "10", each on one of nets circuit nets),
// the second with moved pins moved to another of its nets. Every move is
// plain to see: the pin's net and the net it goes to keep pins of two or
// more parts with their partners, more than any moved pin brings, and no
// two moves go between the same two nets. Part i of copy c is
// "Q<c * parts + i + 1>"; the nets are "N<id>".
struct MovedPin {
  std::string templateRefDes;  // the part of the first copy at the same place
  std::string pin;
  std::string templateNet;
  std::string copyNet;
  friend auto operator<=>(const MovedPin&, const MovedPin&) = default;
};
struct RewiredChannels {
  dbxhost::Design design;
  std::vector<MovedPin> moved;
};
RewiredChannels makeRewiredChannels(std::mt19937& random, int parts, int nets, int moved);

// Synthetic channels (the generator's chain of chainParts parts from VCC to
// GND per channel) with, optionally, pads 3 on VCC and 4 on GND on every
// chain part, so that both nets carry thousands of pins, and classes of
// equal 100 nF decoupling capacitors per channel: class 0 between VCC and
// GND, class k > 0 between the channel's k-th chain net and GND.
// With power pins, pad 3 is on VCC, pads 4 .. 3 + groundPins on GND and
// further pads up to padCount on VCC again.
struct ChannelBoard {
  int channels = 1;
  int chainParts = 1;
  std::vector<int> decouplingClasses;
  bool powerPins = false;
  int groundPins = 1;
  int padCount = 4;
};
dbxhost::Design makeChannelBoard(const ChannelBoard& board);
// The channel's reference designators: chain parts in chain order, then the
// capacitors class after class.
std::vector<std::string> channelRefDes(const ChannelBoard& board, int channel);

// copies of an IC whose pins 1 .. k each carry a pull-up to the copy's VCC:
// resistors "R<copy * k + r>" (r from 1), ICs "U<copy>" (copy from 1).
dbxhost::Design makePullUps(int k, int copies);

// A template graph of the components, component i as item i; null entries
// leave their items empty.
NetGraph templateGraphOf(const std::vector<DBX::Component*>& components);

// A design read from the host for one tool.
class Loaded {
 public:
  Loaded(dbxhost::Design design, uint8_t tool);
  DBX::Component* operator[](const std::string& refDes) const;
  std::vector<DBX::Component*> components(const std::vector<std::string>& refDes) const;

  dbxhost::HostDbx host;
  DBX::Design design{host};
};

}  // namespace boards
