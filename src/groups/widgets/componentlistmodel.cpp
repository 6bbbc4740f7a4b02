#include "groups/widgets/componentlistmodel.h"

#include <QString>

#include "groups/groupselector.h"

ComponentListModel::ComponentListModel(TGroupSelector& page, QObject* parent)
    : QAbstractListModel(parent), page_(page) {
  sync();
}

int ComponentListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant ComponentListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !checkIndex(index)) return {};
  const Line& line = lines_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) return QString::fromStdString(line.text);
  if (role == Qt::CheckStateRole) return line.ticked ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool ComponentListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || !checkIndex(index) || role != Qt::CheckStateRole) {
    return false;
  }
  const bool ticked = value.value<Qt::CheckState>() == Qt::Checked;
  page_.SetTicked(index.row(), ticked);
  lines_[static_cast<std::size_t>(index.row())].ticked = ticked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit tickChanged();
  return true;
}

Qt::ItemFlags ComponentListModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || !checkIndex(index)) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled;
}

void ComponentListModel::removeLines(int first, int last) {
  beginRemoveRows(QModelIndex(), first, last);
  lines_.erase(lines_.begin() + first, lines_.begin() + last + 1);
  endRemoveRows();
}

void ComponentListModel::sync() {
  // The page removes lines anywhere and appends at the end: lines that no
  // longer follow in the page's order leave, the rest of the page's lines
  // are appended. Runs of leaving lines go in one step.
  const std::vector<ComponentList::Entry>& entries = page_.CompList().entries();
  std::size_t next = 0;  // the page's next line not yet matched
  int row = 0;
  while (row < static_cast<int>(lines_.size())) {
    int end = row;
    while (end < static_cast<int>(lines_.size()) &&
           (next >= entries.size() ||
            lines_[static_cast<std::size_t>(end)].component != entries[next].component)) {
      ++end;
    }
    if (end > row) {
      removeLines(row, end - 1);
      continue;
    }
    ++row;
    ++next;
  }
  if (next < entries.size()) {
    beginInsertRows(QModelIndex(), static_cast<int>(lines_.size()),
                    static_cast<int>(entries.size()) - 1);
    for (std::size_t i = next; i < entries.size(); ++i) {
      lines_.push_back({entries[i].text, entries[i].component, entries[i].ticked});
    }
    endInsertRows();
  }
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].ticked == entries[i].ticked && lines_[i].text == entries[i].text) continue;
    lines_[i].ticked = entries[i].ticked;
    lines_[i].text = entries[i].text;
    const QModelIndex changed = index(static_cast<int>(i));
    emit dataChanged(changed, changed);
  }
}
