// How the nets of a template group correspond to the nets of a copy while
// components are assigned to template items one after the other. Every
// assigned pin pairs a template net with a copy net; a pin whose pair is not
// the one its nets mostly agree on has been wired differently. The tallies
// give, at every step, a lower bound on the number of such pins that no
// further assignment can lower, and are taken back step by step.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

class NetTallies {
 public:
  // Stands for a pin that one side does not have: it pairs with nothing.
  static constexpr uint32_t kNoNet = UINT32_MAX;
  // (template net, copy net) of one pin; nets numbered densely from 0.
  using PinNets = std::pair<uint32_t, uint32_t>;

  explicit NetTallies(std::size_t netCount);

  // The pins of one newly assigned item.
  void addItem(const std::vector<PinNets>& pins);
  // A point to go back to with undo.
  std::size_t mark() const { return trail_.size(); }
  void undo(std::size_t mark);

  // At least this many of the pins assigned so far, and of any assignment
  // that extends it, are wired differently from the template: on each side,
  // the pins of a net reaching two or more items that are not on the net's
  // most frequent partner.
  int32_t lowerBound() const { return std::max(templateDeficit_, copyDeficit_); }
  // Whether the net reaches pins of two or more assigned items.
  bool templateNetShared(uint32_t net) const { return templateSide_[net].items >= 2; }
  bool copyNetShared(uint32_t net) const { return copySide_[net].items >= 2; }

 private:
  struct Side {
    int32_t items = 0;
    int32_t pins = 0;
    int32_t mostWithOnePartner = 0;
  };
  static int32_t deficit(const Side& side) {
    return side.items >= 2 ? side.pins - side.mostWithOnePartner : 0;
  }
  void set(int32_t& value, int32_t to);

  std::vector<Side> templateSide_;
  std::vector<Side> copySide_;
  std::unordered_map<uint64_t, int32_t> pairCounts_;
  int32_t templateDeficit_ = 0;
  int32_t copyDeficit_ = 0;
  std::vector<std::pair<int32_t*, int32_t>> trail_;
  // Per net: the last addItem that counted it as reached, so that an item
  // counts once per net.
  std::vector<uint32_t> templateSeen_;
  std::vector<uint32_t> copySeen_;
  uint32_t stamp_ = 0;
  std::vector<uint32_t> touchedTemplate_;
  std::vector<uint32_t> touchedCopy_;
};
