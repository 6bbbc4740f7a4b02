#include "groups/componentlist.h"

#include <stdexcept>

const std::vector<ComponentList::Entry>& ComponentList::entries() const {
  closeUp();
  return entries_;
}

const std::vector<std::size_t>* ComponentList::lineOfText(std::string_view text) const {
  const auto found = textLines_.find(text);
  return found == textLines_.end() || found->second.empty() ? nullptr : &found->second;
}

int ComponentList::find(std::string_view text) const {
  closeUp();
  const std::vector<std::size_t>* lines = lineOfText(text);
  return lines == nullptr ? -1 : static_cast<int>(lines->front());
}

void ComponentList::append(std::string text, DBX::Component* component) {
  textLines_[text].push_back(entries_.size());
  entries_.push_back({std::move(text), component, false});
  removed_.push_back(0);
  listed_.insert(component);
}

const ComponentList::Entry& ComponentList::at(int index) const {
  closeUp();
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
    throw std::out_of_range("ComponentList: no line " + std::to_string(index));
  }
  return entries_[static_cast<std::size_t>(index)];
}

void ComponentList::removeAt(std::size_t position) {
  Entry& entry = entries_[position];
  listed_.erase(listed_.find(entry.component));
  std::vector<std::size_t>& lines = textLines_.find(entry.text)->second;
  std::erase(lines, position);
  if (lines.empty()) textLines_.erase(entry.text);
  if (entry.ticked) --tickedCount_;
  if (selected_ == static_cast<std::ptrdiff_t>(position)) selected_ = -1;
  removed_[position] = 1;
  ++removedCount_;
}

void ComponentList::erase(int index) {
  at(index);
  removeAt(static_cast<std::size_t>(index));
}

bool ComponentList::eraseText(std::string_view text) {
  const std::vector<std::size_t>* lines = lineOfText(text);
  if (lines == nullptr) return false;
  removeAt(lines->front());
  return true;
}

void ComponentList::closeUp() const {
  if (removedCount_ == 0) return;
  std::size_t kept = 0;
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    if (removed_[position]) continue;
    if (selected_ == static_cast<std::ptrdiff_t>(position)) {
      selected_ = static_cast<std::ptrdiff_t>(kept);
    }
    if (kept != position) entries_[kept] = std::move(entries_[position]);
    ++kept;
  }
  entries_.resize(kept);
  removed_.assign(kept, 0);
  removedCount_ = 0;
  for (auto& [text, lines] : textLines_) lines.clear();
  for (std::size_t position = 0; position < kept; ++position) {
    textLines_[entries_[position].text].push_back(position);
  }
}

void ComponentList::clear() {
  entries_.clear();
  removed_.clear();
  removedCount_ = 0;
  textLines_.clear();
  listed_.clear();
  selected_ = -1;
  tickedCount_ = 0;
}

void ComponentList::setTicked(int index, bool ticked) {
  at(index);
  Entry& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.ticked != ticked) tickedCount_ += ticked ? 1 : -1;
  entry.ticked = ticked;
}

std::vector<DBX::Component*> ComponentList::tickedComponents() const {
  std::vector<DBX::Component*> components;
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    if (!removed_[position] && entries_[position].ticked) {
      components.push_back(entries_[position].component);
    }
  }
  return components;
}

int ComponentList::selected() const {
  closeUp();
  return static_cast<int>(selected_);
}

void ComponentList::setSelected(int index) {
  if (index != -1) at(index);
  selected_ = index;
}

DBX::Component* ComponentList::selectedComponent() const {
  const int line = selected();
  return line < 0 ? nullptr : at(line).component;
}
