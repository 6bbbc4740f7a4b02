// The list of components that are in no group yet (CompList), each line with
// its text, its component and a tick, and one selected line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
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

  const std::vector<Entry>& entries() const;
  std::size_t size() const { return entries_.size() - removedCount_; }
  // Index of the first line with this text; -1 when there is none.
  int find(std::string_view text) const;
  bool containsText(std::string_view text) const { return lineOfText(text) != nullptr; }
  bool contains(const DBX::Component* component) const { return listed_.contains(component); }
  // Appends an unticked line.
  void append(std::string text, DBX::Component* component);
  void erase(int index);
  // Removes the first line with this text; false when there is none. The
  // lines close up only when next read by index, so that filling a table
  // from a long list costs one pass over it, not one per cell.
  bool eraseText(std::string_view text);
  void clear();

  void setTicked(int index, bool ticked);
  int tickedCount() const { return tickedCount_; }
  // The components of the ticked lines, top to bottom.
  std::vector<DBX::Component*> tickedComponents() const;

  // The selected line; -1 for none.
  int selected() const;
  void setSelected(int index);
  DBX::Component* selectedComponent() const;

 private:
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  // Positions in entries_ of the lines with one text, ascending.
  using TextLines =
      std::unordered_map<std::string, std::vector<std::size_t>, TextHash, std::equal_to<>>;

  const Entry& at(int index) const;
  const std::vector<std::size_t>* lineOfText(std::string_view text) const;
  void removeAt(std::size_t position);
  // Drops the removed lines, keeping the order of the others.
  void closeUp() const;

  // Removed lines stay in place (with removed_ set) until closeUp.
  mutable std::vector<Entry> entries_;
  mutable std::vector<char> removed_;
  mutable std::size_t removedCount_ = 0;
  mutable TextLines textLines_;
  mutable std::ptrdiff_t selected_ = -1;  // a position in entries_
  std::unordered_multiset<const DBX::Component*> listed_;
  int tickedCount_ = 0;
};
