#include "groups/nettallies.h"

#include <algorithm>

NetTallies::NetTallies(std::size_t netCount)
    : templateSide_(netCount),
      copySide_(netCount),
      templateSeen_(netCount, 0),
      copySeen_(netCount, 0) {}

void NetTallies::set(int32_t& value, int32_t to) {
  if (value == to) return;
  trail_.emplace_back(&value, value);
  value = to;
}

void NetTallies::undo(std::size_t mark) {
  while (trail_.size() > mark) {
    *trail_.back().first = trail_.back().second;
    trail_.pop_back();
  }
}

void NetTallies::addItem(const std::vector<PinNets>& pins) {
  // Stamps start at 1 so that the zeroed arrays read as unseen.
  if (++stamp_ == 0) {
    std::fill(templateSeen_.begin(), templateSeen_.end(), 0);
    std::fill(copySeen_.begin(), copySeen_.end(), 0);
    stamp_ = 1;
  }
  touchedTemplate_.clear();
  touchedCopy_.clear();
  for (const auto& [templateNet, copyNet] : pins) {
    if (templateNet != kNoNet && templateSeen_[templateNet] != stamp_) {
      templateSeen_[templateNet] = stamp_;
      touchedTemplate_.push_back(templateNet);
    }
    if (copyNet != kNoNet && copySeen_[copyNet] != stamp_) {
      copySeen_[copyNet] = stamp_;
      touchedCopy_.push_back(copyNet);
    }
  }
  int32_t templateDeficit = templateDeficit_;
  int32_t copyDeficit = copyDeficit_;
  for (uint32_t net : touchedTemplate_) {
    Side& side = templateSide_[net];
    templateDeficit -= deficit(side);
    set(side.items, side.items + 1);
  }
  for (uint32_t net : touchedCopy_) {
    Side& side = copySide_[net];
    copyDeficit -= deficit(side);
    set(side.items, side.items + 1);
  }
  for (const auto& [templateNet, copyNet] : pins) {
    Side* ownSide = templateNet != kNoNet ? &templateSide_[templateNet] : nullptr;
    Side* otherSide = copyNet != kNoNet ? &copySide_[copyNet] : nullptr;
    if (ownSide != nullptr) set(ownSide->pins, ownSide->pins + 1);
    if (otherSide != nullptr) set(otherSide->pins, otherSide->pins + 1);
    if (ownSide == nullptr || otherSide == nullptr) continue;
    int32_t& count = pairCounts_[(uint64_t(templateNet) << 32) | copyNet];
    set(count, count + 1);
    set(ownSide->mostWithOnePartner, std::max(ownSide->mostWithOnePartner, count));
    set(otherSide->mostWithOnePartner, std::max(otherSide->mostWithOnePartner, count));
  }
  for (uint32_t net : touchedTemplate_) templateDeficit += deficit(templateSide_[net]);
  for (uint32_t net : touchedCopy_) copyDeficit += deficit(copySide_[net]);
  set(templateDeficit_, templateDeficit);
  set(copyDeficit_, copyDeficit);
}
