#include "model/Grid.h"
#include "model/ListModel.h"
#include "model/MainModels.h"
#include "model/SectorTiles.h"
#include "model/View.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <atomic>
#include <thread>

using namespace fw;

namespace {

Grid smallGrid() { return Grid(4, {"A", "B", "C"}); }

TEST(GridTest, ResetEmptiesCellsKeepsRowsAndRestoresHeader)
{
    Grid grid = Grid(4, {"A", "B", "C"});
    grid.setRowCount(30);
    grid.setCell(0, 1, "overwritten header");
    grid.setCell(29, 2, "x");
    grid.setCellColour(5, 0, kRed);
    grid.setCursorRow(7);
    grid.reset();
    EXPECT_EQ(grid.rowCount(), 30);
    EXPECT_EQ(grid.cell(0, 1), "B");
    EXPECT_EQ(grid.cell(29, 2), "");
    EXPECT_EQ(grid.cellColour(5, 0), kDefaultColour);
    EXPECT_EQ(grid.cursorRow(), -1);
}

TEST(GridTest, RowCountChangesKeepRemainingRows)
{
    Grid grid(21, fundGridHeader());
    EXPECT_EQ(grid.columnCount(), 17);
    grid.setCell(20, 16, "last");
    grid.setCell(3, 1, "000001");
    grid.setCellColour(3, 4, kGreen);
    grid.setRowCount(20001);
    EXPECT_EQ(grid.cell(20, 16), "last");
    grid.setCell(20000, 16, "far");
    grid.setRowCount(10);
    EXPECT_EQ(grid.cell(3, 1), "000001");
    EXPECT_EQ(grid.cellColour(3, 4), kGreen);
    grid.setRowCount(25);
    EXPECT_EQ(grid.cell(20, 16), ""); // rows that went away come back empty
    EXPECT_EQ(grid.cell(0, 0), gbk("基金名称"));

    grid.setCursorRow(24);
    grid.setRowCount(5);
    EXPECT_EQ(grid.cursorRow(), -1);
    grid.setRowCount(0);
    EXPECT_EQ(grid.rowCount(), 1); // the header row stays
    grid.setRowCount(2'000'000'000);
    EXPECT_EQ(grid.rowCount(), Grid::kMaxRows);
}

// A cursor row that goes away with the rows becomes -1; one that stays, even
// as the new last row, is kept.
TEST(GridTest, CursorOnTheLastRowsWhenTheRowCountChanges)
{
    const struct { int rows, cursor, newRows, expected; } cases[] = {
        {10, 9, 9, -1}, // the last row goes
        {10, 8, 9, 8},  // the row before it becomes the last row
        {10, 9, 10, 9}, {10, 9, 11, 9}, {10, 9, 5, -1},
        {2, 1, 1, -1},  // only the header row is left
        {2, 1, 0, -1},
    };
    for (const auto& c : cases) {
        Grid grid(c.rows, {"A", "B"});
        grid.setCursorRow(c.cursor);
        ASSERT_EQ(grid.cursorRow(), c.cursor);
        grid.setRowCount(c.newRows);
        EXPECT_EQ(grid.cursorRow(), c.expected) << c.rows << " -> " << c.newRows << " rows, cursor " << c.cursor;
        grid.setCursorRow(grid.rowCount()); // one past the last row is none
        EXPECT_EQ(grid.cursorRow(), -1);
        grid.setCursorRow(grid.rowCount() - 1);
        EXPECT_EQ(grid.cursorRow(), grid.rowCount() - 1);
    }
}

TEST(GridTest, OutOfRangeAccessIsHarmlessAndRangesAreClipped)
{
    Grid grid = smallGrid();
    int changes = 0;
    grid.addListener([&](const GridChange&) { ++changes; });
    grid.setCell(4, 0, "x");
    grid.setCell(-1, 0, "x");
    grid.setCellColour(1, 3, kRed);
    grid.setRow(9, 0, {"a"});
    grid.setColourRange(5, 0, 9, 2, kRed);
    grid.setCursorRow(4);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(grid.cell(4, 0), "");
    EXPECT_EQ(grid.cellColour(99, -1), kDefaultColour);

    grid.setColourRange(2, 1, 100, 100, kBlue);
    EXPECT_EQ(grid.cellColour(3, 2), kBlue);
    EXPECT_EQ(grid.cellColour(3, 0), kDefaultColour);
    grid.setRow(2, 1, {"b", "c", "beyond"});
    EXPECT_EQ(grid.cell(2, 2), "c");
    EXPECT_EQ(grid.cell(3, 0), ""); // not spilled into the next row
    grid.setColourRange(1, 1, 1, 1, kGreen); // a range of one cell
    EXPECT_EQ(grid.cellColour(1, 1), kGreen);
    EXPECT_EQ(grid.cellColour(1, 2), kDefaultColour);
}

TEST(SectorTilesTest, OnlyTilesThatExistAreChangedOrRead)
{
    SectorTiles tiles;
    tiles.rebuild({{"a", kRed, 1, 2}, {"b", kBlue, 3, 4}}, 300, 250);
    std::vector<int> told;
    tiles.addListener([&](const SectorTilesChange& c) {
        if (c.kind == SectorTilesChange::TileChanged)
            told.push_back(c.tile);
    });
    for (int t : {-1, 2, 3, 1, 0})
        tiles.setTile(t, "n" + std::to_string(t), kGreen);
    EXPECT_EQ(told, (std::vector<int>{1, 0}));
    EXPECT_EQ(tiles.tileCount(), 2);
    const struct { int tile; const char* caption; Colour background; int left; } cases[] = {
        {0, "n0", kGreen, 1}, {1, "n1", kGreen, 3}, {2, "", 0, 0}, {-1, "", 0, 0}, {40, "", 0, 0},
    };
    for (const auto& c : cases) {
        const SectorTile tile = tiles.tile(c.tile);
        EXPECT_EQ(tile.caption, c.caption) << c.tile;
        EXPECT_EQ(tile.background, c.background) << c.tile;
        EXPECT_EQ(tile.left, c.left) << c.tile; // a change keeps the tile's place
    }
}

TEST(GridTest, ListenersMayReadTheGridAndStopAfterRemoval)
{
    Grid grid = smallGrid();
    std::vector<GridChange> seen;
    Text readBack;
    int id = grid.addListener([&](const GridChange& change) {
        seen.push_back(change);
        readBack = grid.cell(change.firstRow, 0); // would deadlock under the data lock
    });
    grid.setCell(2, 0, "v");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, GridChange::Cells);
    EXPECT_EQ(seen[0].firstRow, 2);
    EXPECT_EQ(readBack, "v");

    grid.setColourRange(1, 0, 3, 2, kRed);
    EXPECT_EQ(seen.back().firstRow, 1);
    EXPECT_EQ(seen.back().lastRow, 3);
    grid.setRowCount(8);
    EXPECT_EQ(seen.back().kind, GridChange::Layout);
    grid.setCursorRow(5);
    EXPECT_EQ(seen.back().kind, GridChange::Cursor);

    grid.removeListener(id);
    const size_t count = seen.size();
    grid.setCell(1, 1, "w");
    EXPECT_EQ(seen.size(), count);
}

TEST(GridTest, ConcurrentWritersEachKeepTheirCells)
{
    Grid grid(20001, fundGridHeader());
    std::atomic<int> notifications{0};
    grid.addListener([&](const GridChange& change) {
        grid.cell(change.firstRow, 0);
        ++notifications;
    });
    constexpr int kThreads = 4, kRows = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&grid, t] {
            for (int r = 1; r <= kRows; ++r) {
                grid.setCell(r, 13 + t, std::to_string(r * 10 + t));
                grid.setCellColour(r, 13 + t, static_cast<Colour>(t));
            }
        });
    // Growing and shrinking moves every cell while the writers run; the rows
    // written to stay, so every value must survive.
    std::atomic<bool> writing{true};
    std::thread resizer([&] {
        int resizes = 0;
        while (writing || resizes < 10) {
            grid.setRowCount(kRows + 11);
            grid.cell(resizes % kRows, resizes % 17);
            grid.setRowCount(kRows + 1);
            ++resizes;
        }
    });
    for (auto& th : threads)
        th.join();
    writing = false;
    resizer.join();
    EXPECT_EQ(grid.rowCount(), kRows + 1);
    EXPECT_GE(notifications.load(), kThreads * kRows * 2);
    for (int r = 1; r <= kRows; ++r)
        for (int t = 0; t < kThreads; ++t) {
            ASSERT_EQ(grid.cell(r, 13 + t), std::to_string(r * 10 + t));
            ASSERT_EQ(grid.cellColour(r, 13 + t), static_cast<Colour>(t));
        }
}

TEST(ListModelTest, RemovingRowsKeepsTheSelectionOnItsRow)
{
    ListModel list({{"a", 10}, {"b", 10}});
    int changes = 0;
    list.addListener([&] { ++changes; });
    for (const char* name : {"r0", "r1", "r2"})
        list.addRow({name, "x", "dropped"});
    EXPECT_EQ(list.text(0, 2), ""); // beyond the columns
    list.setCurrentRow(2);
    list.removeRow(0);
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(list.text(1, 0), "r2");
    list.removeRow(1);
    EXPECT_EQ(list.currentRow(), -1);
    list.removeRow(7);
    list.setText(5, 0, "nowhere");
    list.setCurrentRow(9);
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(changes, 6);
}

// The selection on the last row: removing that row clears it, removing a row
// before it moves it up with its row, removing a later row or adding one keeps it.
TEST(ListModelTest, SelectionOnTheLastRowsWhenRowsComeAndGo)
{
    const struct { int current, removed, expected; } cases[] = {
        {2, 2, -1}, {2, 1, 1}, {2, 0, 1}, {1, 2, 1}, {1, 1, -1}, {0, 2, 0}, {2, 3, 2}, {2, -1, 2},
    };
    for (const auto& c : cases) {
        ListModel list({{"a", 10}});
        for (const char* name : {"r0", "r1", "r2"})
            list.addRow({name});
        list.setCurrentRow(c.current);
        list.removeRow(c.removed);
        EXPECT_EQ(list.currentRow(), c.expected) << "current " << c.current << ", removed " << c.removed;
        if (c.expected >= 0) {
            EXPECT_EQ(list.text(c.expected, 0), "r" + std::to_string(c.current));
            list.addRow({"r3"});
            EXPECT_EQ(list.currentRow(), c.expected);
        }
    }
    ListModel list({{"a", 10}, {"b", 10}, {"c", 10}});
    list.addRow({"only"});
    list.setText(0, 2, "third"); // a row added short grows to the column written
    EXPECT_EQ(list.text(0, 2), "third");
    EXPECT_EQ(list.text(0, 1), "");
    list.setCurrentRow(list.rowCount());
    EXPECT_EQ(list.currentRow(), -1);
    list.setCurrentRow(0);
    list.clear();
    EXPECT_EQ(list.currentRow(), -1);
}

TEST(ViewTest, MessageHandlerRunsOutsideTheLock)
{
    View view;
    view.messageBox("first"); // no handler yet: only recorded
    std::vector<Text> shown;
    view.setMessageHandler([&](const Text& text) {
        shown.push_back(text);
        view.title(); // would deadlock under the lock
    });
    view.messageBox("second");
    EXPECT_EQ(view.messages(), (std::vector<Text>{"first", "second"}));
    EXPECT_EQ(shown, std::vector<Text>{"second"});
}

} // namespace
