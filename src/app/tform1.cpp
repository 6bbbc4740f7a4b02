#include "app/tform1.h"

#include <string>
#include <vector>

#include "diag/messages.h"
#include "diag/waitcurs.h"

TForm1::TForm1(DBX::Dbx32& dbx) : design_(dbx) {}

TForm1::~TForm1() {
  // The placement page and the group table point into the snapshots.
  placer_.DesignCleared();
  try {
    design_.clear();
  } catch (...) {
    // Shutting down: a host that cannot be told goodbye changes nothing.
  }
}

void TForm1::FormCreate() {
  groupSelector_.OnComplete = [this](bool complete) { GroupsComplete(complete); };
  groupSelector_.InitGrid();
  HidePlacePage();
}

void TForm1::HidePlacePage() {
  placeTabVisible_ = false;
  if (activePage_ == kPlacePage) activePage_ = kGroupsPage;
}

void TForm1::GroupsComplete(bool complete) {
  if (complete) {
    placeTabVisible_ = true;
  } else {
    HidePlacePage();
  }
  if (OnStateChange) OnStateChange();
}

void TForm1::Load(uint8_t tool) {
  loadedTool_ = tool;
  design_.selectTool(tool);
  groupSelector_.LoadDesign(design_);
  loadEnabled_ = false;
  clearEnabled_ = true;
}

void TForm1::LdZAPClick() {
  if (diag::AskConfirm("Remove design info?\nAre you shure?")) Clear();
}

void TForm1::Clear() {
  loadedTool_ = DBX::kToolNone;
  // Everything that points into the snapshots lets go before they are
  // dropped.
  placer_.DesignCleared();
  groupSelector_.ClearAll(true);
  design_.clear();
  HidePlacePage();
  loadEnabled_ = true;
  clearEnabled_ = false;
}

void TForm1::PageControl1Change(int page) {
  activePage_ = page;
  if (page == kPlacePage) {
    diag::WaitCurs wait;
    design_.selectTool(DBX::kToolPcb);
    std::vector<std::string> names;
    int perGroup = 0;
    groupSelector_.GetPlacementList(names, perGroup);
    placer_.LoadGroups(design_, names, static_cast<uint32_t>(perGroup));
  } else if (page == kGroupsPage && loadedTool_ != DBX::kToolNone) {
    design_.selectTool(loadedTool_);
  }
}
