#pragma once
// A grid control as a plain model: cell texts and text colours, a fixed header
// row 0, a row count, a cursor row. Safe to call from any thread; listeners are
// told of every change on the thread that made it (the Qt binding queues and
// coalesces them onto the UI thread).
#include "model/Colour.h"
#include "model/FigureColour.h"
#include "model/Listeners.h"
#include "text/Text.h"
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace fw {

// Cell colours are Colour values (model/Colour.h); kDefaultColour means the grid's own.

struct GridChange {
    enum Kind { Cells, Layout, Cursor } kind = Cells;
    int firstRow = 0, lastRow = 0; // inclusive, for Cells
};

class Grid {
public:
    // Row counts are clamped to 1 (the header row) .. kMaxRows, so that a bogus
    // page count from the service cannot ask for gigabytes of cells.
    static constexpr int kMaxRows = 100000;

    Grid(int rowCount, TextList header);

    int rowCount() const;
    void setRowCount(int rows);          // keeps the cells of the rows that stay
    int columnCount() const;
    const TextList& header() const { return m_header; }

    // Discard every cell, re-create the same rows and columns empty with default
    // colours, restore the header row. The cursor row becomes -1.
    void reset();

    // Out-of-range reads give "" / kDefaultColour; out-of-range writes are ignored.
    Text cell(int row, int column) const;
    void setCell(int row, int column, std::string_view text);
    Colour cellColour(int row, int column) const;
    void setCellColour(int row, int column, Colour colour);
    void setColourRange(int firstRow, int firstColumn, int lastRow, int lastColumn, Colour colour);
    // Several cells of one row in one change (fewer notifications).
    void setRow(int row, int firstColumn, const TextList& texts);
    // Text colours of several cells of one row in one change.
    void setRowColours(int row, int firstColumn, const std::vector<Colour>& colours);

    int cursorRow() const;               // -1: none
    void setCursorRow(int row);

    // Listeners run after the data lock is released (they may read the grid),
    // one at a time; once removeListener returns, that listener is not running
    // and is never called again. A listener must not add or remove listeners.
    using Listener = std::function<void(const GridChange&)>;
    int addListener(Listener listener);
    void removeListener(int id);

private:
    struct Cell { Text text; Colour colour = kDefaultColour; };
    void notify(const GridChange& change);
    Cell* at(int row, int column);
    const Cell* at(int row, int column) const;

    mutable std::mutex m_mutex;
    TextList m_header;
    int m_columns;
    std::vector<Cell> m_cells;           // row-major, header row included
    int m_rows;
    int m_cursorRow = -1;
    Listeners<const GridChange&> m_listeners;
};

} // namespace fw
