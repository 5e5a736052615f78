#pragma once
// The watchlist 超级列表框2: the user's funds and stocks, added from the grids'
// pop-up menus, removed from its own, and kept in [自选数据] 自选 as
// code"/"name"/"type"|" per row. The stored value is always rebuilt from the
// list and written as one replacement of the section. UI thread only.
#include "model/Grid.h"
#include "funds/FeatureContext.h"
#include "store/ConfigFile.h"
#include "text/Text.h"

#include <vector>

namespace fw {

struct WatchEntry {
    Text code, name, type; // GBK
    bool isFund() const;
};
// The entries of the stored value, read whole; an entry without code, name
// and type, or an unfinished last entry (no closing "|" and no whole type),
// is left out.
std::vector<WatchEntry> readWatchlist(std::string_view stored);
// The stored value of the settings.
Text storedWatchlist(const ConfigFile& config);

class Watchlist {
public:
    explicit Watchlist(FeatureContext& context);

    // Start-up: the rows of the stored value (readWatchlist), numbered 1, 2, … .
    void load();

    // 菜单 加入自选基金: the fund grid's cursor row as a fund.
    void addFund();
    // 菜单2 加入自选股票: the cursor row of the holdings grid that opened the menu.
    void addStock();
    // A right press on holdings grid 3 or 4, which opens 菜单2.
    void stockMenuOpened(int grid);

    // AddToWatchlist: appends the grid's cursor row (code column 1, name
    // column 0) with `type`, then saves. "|" and "/" in the code or name are
    // stored as their full-width forms, since they separate the stored fields.
    void add(const Grid& grid, std::string_view type);
    // RemoveFromWatchlist: removes the selected row, renumbers, saves.
    void remove();
    // SaveWatchlist. False when the file could not be written (told once per run).
    bool save();

    // The stored form of the list's rows.
    Text storedText() const;

    // True while 菜单2 was last opened by 高级表格3; reset after every add of a stock.
    bool stockMenuFromFirstGrid = false;

private:
    FeatureContext& m_context;
};

} // namespace fw
