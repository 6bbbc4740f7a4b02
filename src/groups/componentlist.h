// The list of components that are in no group yet (CompList), each line with
// its text, its component and a tick, and one selected line.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace DBX {
class Component;
}

class ComponentList {
 public:
  struct Entry {
    std::string text;
    DBX::Component* component = nullptr;
    bool ticked = false;
  };

  const std::vector<Entry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  // Index of the first line with this text; -1 when there is none.
  int find(std::string_view text) const;
  bool contains(const DBX::Component* component) const { return listed_.contains(component); }
  // Appends an unticked line.
  void append(std::string text, DBX::Component* component);
  void erase(int index);
  void clear();

  void setTicked(int index, bool ticked);
  int tickedCount() const;
  // The components of the ticked lines, top to bottom.
  std::vector<DBX::Component*> tickedComponents() const;

  // The selected line; -1 for none.
  int selected() const { return selected_; }
  void setSelected(int index);
  DBX::Component* selectedComponent() const;

 private:
  const Entry& at(int index) const;

  std::vector<Entry> entries_;
  std::unordered_multiset<const DBX::Component*> listed_;
  int selected_ = -1;
};
