#include "groups/grouptable.h"

#include <stdexcept>
#include <utility>

GroupTable::GroupTable() : rows_(2, std::vector<GroupCell>(2)) {}

void GroupTable::setColCount(int count) {
  if (count < 2) throw std::invalid_argument("GroupTable: fewer than 2 columns");
  colCount_ = count;
  for (auto& row : rows_) row.resize(static_cast<std::size_t>(count));
}

void GroupTable::setRowCount(int count) {
  if (count < 2) throw std::invalid_argument("GroupTable: fewer than 2 rows");
  rows_.resize(static_cast<std::size_t>(count), std::vector<GroupCell>(colCount_));
}

const GroupCell& GroupTable::cell(int row, int column) const {
  if (!isCell(row, column)) {
    throw std::out_of_range("GroupTable: no cell at row " + std::to_string(row) + ", column " +
                            std::to_string(column));
  }
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

GroupCell& GroupTable::cell(int row, int column) {
  return const_cast<GroupCell&>(std::as_const(*this).cell(row, column));
}

ComponentGroup GroupTable::group(int row) const {
  ComponentGroup components;
  for (int column = 1; column < colCount_ - 1; ++column) {
    components.push_back(cell(row, column).component);
  }
  return components;
}
