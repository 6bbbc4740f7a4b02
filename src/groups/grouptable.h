// The cells of the group table: row 0 and column 0 hold captions, row 1 is
// the template group, further rows are further groups, and column c >= 1 is
// item c - 1. A data cell is empty or holds one component of the loaded
// design (text = its refDes). The table only refers to components.
#pragma once

#include <string>
#include <vector>

namespace DBX {
class Component;
}

struct GroupCell {
  std::string text;
  DBX::Component* component = nullptr;
  bool empty() const { return component == nullptr; }
};

// The components of one group in item order; null for an empty item.
using ComponentGroup = std::vector<DBX::Component*>;

class GroupTable {
 public:
  // A 2 x 2 table without captions.
  GroupTable();

  int colCount() const { return colCount_; }
  int rowCount() const { return static_cast<int>(rows_.size()); }
  // At least 2 each. New cells are empty; cells cut off are dropped, so
  // callers move their components elsewhere first.
  void setColCount(int count);
  void setRowCount(int count);

  bool isCell(int row, int column) const {
    return row >= 0 && column >= 0 && row < rowCount() && column < colCount_;
  }
  bool isDataCell(int row, int column) const {
    return row >= 1 && column >= 1 && isCell(row, column);
  }
  // Any cell, captions included. Throws std::out_of_range outside the table.
  const GroupCell& cell(int row, int column) const;
  GroupCell& cell(int row, int column);

  // The components of the item columns 1 .. colCount - 2 of a row.
  ComponentGroup group(int row) const;

 private:
  int colCount_ = 2;
  std::vector<std::vector<GroupCell>> rows_;
};
