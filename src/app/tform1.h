// The main window without its widgets: the one design, the tool that was
// loaded, the load and clear buttons, the pages and which tool the
// conversation is switched to when the page changes. The window's widgets
// own one TForm1, forward the user's clicks to it and show its state.
#pragma once

#include <cstdint>
#include <functional>

#include "dbx/design.h"
#include "groups/groupselector.h"
#include "placement/placer.h"

class TForm1 {
 public:
  enum Page : int { kGroupsPage = 0, kPlacePage = 1 };

  // dbx must outlive the window.
  explicit TForm1(DBX::Dbx32& dbx);
  // Drops the design and closes an open conversation.
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Once, after the widgets exist: attaches the completion callback, sets up
  // the group table and hides the "Place Groups" page.
  void FormCreate();

  // "Load SCH", "Load PCB": read the design from that tool and list it on
  // the group page. A DBX failure leaves loadedTool set and the buttons as
  // they were, so that the user can try again.
  void LdSCHClick() { Load(DBX::kToolSch); }
  void LdPCBClick() { Load(DBX::kToolPcb); }
  // "Clear Design": drops the design and every group once the user confirms.
  void LdZAPClick();
  // The user chose a page: "Place Groups" works on the PCB, "Groups
  // Selection" on the loaded tool.
  void PageControl1Change(int page);

  uint8_t loadedTool() const { return loadedTool_; }
  bool ldSchEnabled() const { return loadEnabled_; }
  bool ldPcbEnabled() const { return loadEnabled_; }
  bool ldZapEnabled() const { return clearEnabled_; }
  bool placeTabVisible() const { return placeTabVisible_; }
  int activePage() const { return activePage_; }

  DBX::Design& design() { return design_; }
  TGroupSelector& GroupSelector1() { return groupSelector_; }
  placement::TPlacer& Placer1() { return placer_; }

  // Runs when the group table's completeness changed what the window shows
  // (the "Place Groups" tab, the active page) outside a click of its own.
  std::function<void()> OnStateChange;

 private:
  void Load(uint8_t tool);
  void Clear();
  void GroupsComplete(bool complete);
  void HidePlacePage();

  DBX::Design design_;
  TGroupSelector groupSelector_;
  placement::TPlacer placer_;
  uint8_t loadedTool_ = DBX::kToolNone;
  bool loadEnabled_ = true;
  bool clearEnabled_ = true;
  bool placeTabVisible_ = true;
  int activePage_ = kGroupsPage;
};
