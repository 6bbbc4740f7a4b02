// The program's main window: the pages "Groups Selection" and "Place Groups"
// and the buttons "Load SCH", "Load PCB" and "Clear Design". Its rules live
// in the TForm1 it owns; the window forwards clicks and page changes to it
// and shows its state.
#pragma once

#include <QWidget>
#include <functional>

#include "app/tform1.h"

class GroupSelectorWidget;
class PlacerWidget;
class QPushButton;
class QTabWidget;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // dbx must outlive the window.
  explicit MainWindow(DBX::Dbx32& dbx, QWidget* parent = nullptr);
  ~MainWindow() override;

  TForm1& form() { return form_; }
  QTabWidget* pageControl() const { return pageControl1_; }
  GroupSelectorWidget* groupSelector() const { return groupSelector1_; }
  PlacerWidget* placer() const { return placer1_; }
  QPushButton* loadSchButton() const { return ldSch_; }
  QPushButton* loadPcbButton() const { return ldPcb_; }
  QPushButton* clearButton() const { return ldZap_; }

 private:
  void buildWidgets();
  // Runs a handler of the form; an exception leaving it is shown in an Error
  // box. The window then shows the state reached.
  void act(const std::function<void()>& handler);
  void showFormState();

  TForm1 form_;
  QTabWidget* pageControl1_ = nullptr;
  GroupSelectorWidget* groupSelector1_ = nullptr;
  PlacerWidget* placer1_ = nullptr;
  QPushButton* ldSch_ = nullptr;
  QPushButton* ldPcb_ = nullptr;
  QPushButton* ldZap_ = nullptr;
  // Set while the window switches pages itself: only the user's choice of
  // a page runs the page-change rule.
  bool showing_ = false;
};
