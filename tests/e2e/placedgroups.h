// What the process tests read off the placement page to name the groups to
// KiCad's judges.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "dbx/dbx32.h"
#include "placement/placer.h"

namespace tandrel::testing {

// A new main window's "Load SCH" and "Fill By Sheets", then its "Place
// Groups" page, which must list the given number of groups and items.
inline void fillBySheetsForPlacing(TForm1& form, std::size_t groups, uint32_t items) {
  form.FormCreate();
  form.LdSCHClick();
  form.GroupSelector1().FillBySheetButtonClick();
  ASSERT_TRUE(form.placeTabVisible());
  form.PageControl1Change(TForm1::kPlacePage);
  ASSERT_EQ(form.Placer1().GroupCount(), groups);
  ASSERT_EQ(form.Placer1().ItemsPerGroup(), items);
}

// The group line that lists the designator.
inline std::size_t groupLineWith(const placement::TPlacer& placer, const std::string& refDes) {
  const std::vector<std::string>& lines = placer.GroupLines();
  for (std::size_t line = 0; line < lines.size(); ++line) {
    if (("," + lines[line] + ",").find("," + refDes + ",") != std::string::npos) return line;
  }
  ADD_FAILURE() << "no group lists " << refDes;
  return 0;
}

// TEMPLATE=COPY for every item that both groups have on the board, as the
// judges take them.
inline std::vector<std::string> templateCopyPairs(const placement::TPlacer& placer,
                                                  std::size_t templateLine, std::size_t copyLine) {
  const std::size_t n = placer.ItemsPerGroup();
  std::vector<std::string> out;
  for (std::size_t item = 0; item < n; ++item) {
    const DBX::Component* model = placer.Components()[templateLine * n + item];
    const DBX::Component* copy = placer.Components()[copyLine * n + item];
    if (model == nullptr || copy == nullptr) continue;
    out.push_back(std::string(DBX::getText(model->record.refDes)) + "=" +
                  std::string(DBX::getText(copy->record.refDes)));
  }
  return out;
}

}  // namespace tandrel::testing
