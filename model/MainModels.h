#pragma once
// Every control of the main window that feature code reads or writes, as models.
#include "model/Grid.h"
#include "model/ListModel.h"
#include "model/SectorTiles.h"
#include "model/View.h"

namespace fw {

// Header of the fund grid 高级表格1 and the comparison grid 高级表格2 (GBK).
TextList fundGridHeader();
// Designed column widths of those grids, in pixels.
std::vector<int> fundGridColumnWidths();
// Header of the holdings grids 高级表格3 and 高级表格4 (GBK).
TextList holdingsGridHeader();

struct MainModels {
    MainModels();
    Grid fundGrid;          // 高级表格1: 21 rows (header + one page) at design
    Grid compareGrid;       // 高级表格2: 3 rows (header, base fund, picked fund)
    Grid holdingsGrid;      // 高级表格3: 11 rows
    Grid baseHoldingsGrid;  // 高级表格4: 11 rows
    ListModel watchlist;    // 超级列表框2: 序, 代码, 名称, 类型
    ListModel suggestions;  // 超级列表框1: 名称, ID (hidden)
    View view;              // title, labels, buttons, check boxes, edit boxes …
    SectorTiles sectorTiles; // the sector window's tiles
};

} // namespace fw
