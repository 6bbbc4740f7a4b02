// A full group table of every channel of the synthetic channel board, with
// some cells emptied again, and the part a drag start takes: the benchmarks'
// table for drop targets.
#pragma once

#include "boards.h"
#include "groups/groupselector.h"

struct DropTable {
  // The dragged part's item, emptied in two groups.
  static constexpr int kDraggedItem = 50;

  DropTable(int channels, int parts, int groundPins = 1, int padCount = 4)
      : layout{channels, parts, {}, true, groundPins, padCount},
        board(boards::makeChannelBoard(layout), DBX::kToolPcb) {
    page.LoadDesign(board.design);
    page.SetTemplateRow(board.components(boards::channelRefDes(layout, 1)), -1, false);
    for (int channel = 2; channel <= channels; ++channel) {
      page.SetGroupRow(board.components(boards::channelRefDes(layout, channel)), 0, parts, false,
                       -1);
    }
    for (int row = 2; row <= channels; ++row) {
      if (row % 4 == 0) page.ClearCell(row, 1 + (row * 7) % parts);
    }
    page.ClearCell(3, kDraggedItem + 1);
    page.ClearCell(20, kDraggedItem + 1);
    page.CompactTable();
    dragged = board[boards::channelRefDes(layout, 20)[kDraggedItem]];
  }

  const boards::ChannelBoard layout;
  boards::Loaded board;
  TGroupSelector page;
  DBX::Component* dragged = nullptr;
};
