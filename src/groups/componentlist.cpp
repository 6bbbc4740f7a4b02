#include "groups/componentlist.h"

#include <algorithm>
#include <stdexcept>

int ComponentList::find(std::string_view text) const {
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) { return entry.text == text; });
  return found == entries_.end() ? -1 : static_cast<int>(found - entries_.begin());
}

void ComponentList::append(std::string text, DBX::Component* component) {
  entries_.push_back({std::move(text), component, false});
  listed_.insert(component);
}

const ComponentList::Entry& ComponentList::at(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
    throw std::out_of_range("ComponentList: no line " + std::to_string(index));
  }
  return entries_[static_cast<std::size_t>(index)];
}

void ComponentList::erase(int index) {
  listed_.erase(listed_.find(at(index).component));
  entries_.erase(entries_.begin() + index);
  if (selected_ == index) {
    selected_ = -1;
  } else if (selected_ > index) {
    --selected_;
  }
}

void ComponentList::clear() {
  entries_.clear();
  listed_.clear();
  selected_ = -1;
}

void ComponentList::setTicked(int index, bool ticked) {
  at(index);
  entries_[static_cast<std::size_t>(index)].ticked = ticked;
}

int ComponentList::tickedCount() const {
  return static_cast<int>(
      std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.ticked; }));
}

std::vector<DBX::Component*> ComponentList::tickedComponents() const {
  std::vector<DBX::Component*> components;
  for (const Entry& entry : entries_) {
    if (entry.ticked) components.push_back(entry.component);
  }
  return components;
}

void ComponentList::setSelected(int index) {
  if (index != -1) at(index);
  selected_ = index;
}

DBX::Component* ComponentList::selectedComponent() const {
  return selected_ < 0 ? nullptr : at(selected_).component;
}
