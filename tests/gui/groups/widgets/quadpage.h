// The group selection page of the quad example, read from the in-process
// host, bare and with its widget.
#pragma once

#include <QTest>
#include <string>

#include "dbx/design.h"
#include "dragevents.h"
#include "engine/hostdbx.h"
#include "groups/groupselector.h"
#include "scriptedui.h"
#include "storage/designfile.h"

namespace testing_gui {

inline const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

struct QuadPage {
  explicit QuadPage(uint8_t tool = DBX::kToolPcb) {
    design.selectTool(tool);
    page.InitGrid();
    page.OnComplete = [this](bool complete) { completions.push_back(complete); };
    page.LoadDesign(design);
  }

  DBX::Component* component(const std::string& refDes) const {
    return design.pack().components().left.at(RefDesString(refDes));
  }

  testing_diag::ScriptedUi ui;
  dbxhost::HostDbx host{dbxhost::readDesignFile(kQuad)};
  DBX::Design design{host};
  TGroupSelector page;
  std::vector<bool> completions;
};

// The widget over a QuadPage, shown so that its cells have places.
struct QuadWidget : QuadPage {
  QuadWidget() : widget(page) {
    widget.resize(1000, 600);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) qFatal("the page widget was never shown");
  }

  QPoint cellCentre(int row, int column) const { return cellRect(row, column).center(); }
  QRect cellRect(int row, int column) const { return testing_gui::cellRect(widget, row, column); }
  void startListDrag(const std::string& refDes) {
    QVERIFY2(testing_gui::startListDrag(widget, refDes), refDes.c_str());
  }
  static bool dragOver(QAbstractItemView* view, QPoint at, DragSource source) {
    return testing_gui::dragOver(view, at, source);
  }
  bool dragOverCell(int row, int column, DragSource source) {
    return testing_gui::dragOverCell(widget, row, column, source);
  }
  bool dropOnCell(int row, int column, DragSource source) {
    return testing_gui::dropOnCell(widget, row, column, source);
  }
  bool moveToCell(const std::string& refDes, int row, int column) {
    return testing_gui::moveToCell(widget, refDes, row, column);
  }
  bool dropOnList() { return testing_gui::dropOnList(widget); }

  // The texts CompList shows, top to bottom.
  QStringList listed() const {
    QStringList texts;
    for (int row = 0; row < widget.compListModel()->rowCount(); ++row) {
      texts << widget.compListModel()->index(row).data().toString();
    }
    return texts;
  }

  GroupSelectorWidget widget;
};

}  // namespace testing_gui
