// The page's list of unplaced components (CompList) as a checkable Qt list
// model. It keeps the lines it has shown and follows the page through sync(),
// which reports the lines that left the list, the lines appended and the
// ticks that changed.
#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace DBX {
class Component;
}
class TGroupSelector;

class ComponentListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit ComponentListModel(TGroupSelector& page, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // A tick set or cleared by the user goes to the page.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void sync();

 signals:
  void tickChanged();

 private:
  struct Line {
    std::string text;
    const DBX::Component* component;
    bool ticked;
  };

  void removeLines(int first, int last);

  TGroupSelector& page_;
  std::vector<Line> lines_;
};
