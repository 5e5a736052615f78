#include "model/Grid.h"

#include <algorithm>

namespace fw {

namespace {
int clampRows(int rows) { return std::clamp(rows, 1, Grid::kMaxRows); }
} // namespace

Grid::Grid(int rowCount, TextList header)
    : m_header(std::move(header)), m_columns(static_cast<int>(m_header.size())), m_rows(clampRows(rowCount))
{
    m_cells.resize(static_cast<size_t>(m_rows) * m_columns);
    for (int c = 0; c < m_columns; ++c)
        m_cells[c].text = m_header[c];
}

int Grid::rowCount() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

int Grid::columnCount() const { return m_columns; } // fixed at construction

void Grid::setRowCount(int rows)
{
    rows = clampRows(rows);
    {
        std::lock_guard lock(m_mutex);
        if (rows == m_rows)
            return;
        // Row-major storage: growing or shrinking at the end keeps every remaining row.
        m_cells.resize(static_cast<size_t>(rows) * m_columns);
        if (rows < m_rows)
            m_cells.shrink_to_fit();
        m_rows = rows;
        if (m_cursorRow >= m_rows)
            m_cursorRow = -1;
    }
    notify({GridChange::Layout, 0, rows - 1});
}

void Grid::reset()
{
    int rows;
    {
        std::lock_guard lock(m_mutex);
        rows = m_rows;
        for (Cell& cell : m_cells) {
            // clear() keeps the string's buffer: a reset followed by a reload of
            // the same rows allocates nothing.
            cell.text.clear();
            cell.colour = kDefaultColour;
        }
        for (int c = 0; c < m_columns; ++c)
            m_cells[c].text = m_header[c];
        m_cursorRow = -1;
    }
    notify({GridChange::Layout, 0, rows - 1});
}

Grid::Cell* Grid::at(int row, int column)
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return nullptr;
    return &m_cells[static_cast<size_t>(row) * m_columns + column];
}

const Grid::Cell* Grid::at(int row, int column) const
{
    return const_cast<Grid*>(this)->at(row, column);
}

Text Grid::cell(int row, int column) const
{
    std::lock_guard lock(m_mutex);
    const Cell* c = at(row, column);
    return c ? c->text : Text();
}

void Grid::setCell(int row, int column, std::string_view text)
{
    {
        std::lock_guard lock(m_mutex);
        Cell* c = at(row, column);
        if (!c)
            return;
        c->text.assign(text);
    }
    notify({GridChange::Cells, row, row});
}

Colour Grid::cellColour(int row, int column) const
{
    std::lock_guard lock(m_mutex);
    const Cell* c = at(row, column);
    return c ? c->colour : kDefaultColour;
}

void Grid::setCellColour(int row, int column, Colour colour)
{
    {
        std::lock_guard lock(m_mutex);
        Cell* c = at(row, column);
        if (!c)
            return;
        c->colour = colour;
    }
    notify({GridChange::Cells, row, row});
}

void Grid::setColourRange(int firstRow, int firstColumn, int lastRow, int lastColumn, Colour colour)
{
    int r0, r1;
    {
        std::lock_guard lock(m_mutex);
        r0 = std::max(firstRow, 0);
        r1 = std::min(lastRow, m_rows - 1);
        const int c0 = std::max(firstColumn, 0);
        const int c1 = std::min(lastColumn, m_columns - 1);
        if (r0 > r1 || c0 > c1)
            return;
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                m_cells[static_cast<size_t>(r) * m_columns + c].colour = colour;
    }
    notify({GridChange::Cells, r0, r1});
}

void Grid::setRow(int row, int firstColumn, const TextList& texts)
{
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || row >= m_rows)
            return;
        bool any = false;
        for (size_t i = 0; i < texts.size(); ++i) {
            const long column = static_cast<long>(firstColumn) + static_cast<long>(i);
            if (column < 0)
                continue;
            if (column >= m_columns)
                break;
            m_cells[static_cast<size_t>(row) * m_columns + column].text = texts[i];
            any = true;
        }
        if (!any)
            return;
    }
    notify({GridChange::Cells, row, row});
}

void Grid::setRowColours(int row, int firstColumn, const std::vector<Colour>& colours)
{
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || row >= m_rows || firstColumn < 0)
            return;
        const size_t count = std::min(colours.size(), static_cast<size_t>(std::max(m_columns - firstColumn, 0)));
        if (count == 0)
            return;
        Cell* cells = &m_cells[static_cast<size_t>(row) * m_columns + firstColumn];
        for (size_t i = 0; i < count; ++i)
            cells[i].colour = colours[i];
    }
    notify({GridChange::Cells, row, row});
}

int Grid::cursorRow() const
{
    std::lock_guard lock(m_mutex);
    return m_cursorRow;
}

void Grid::setCursorRow(int row)
{
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || row >= m_rows)
            row = -1;
        if (row == m_cursorRow)
            return;
        m_cursorRow = row;
    }
    notify({GridChange::Cursor, row, row});
}

int Grid::addListener(Listener listener) { return m_listeners.add(std::move(listener)); }

void Grid::removeListener(int id) { m_listeners.remove(id); }

void Grid::notify(const GridChange& change) { m_listeners.notify(change); }

} // namespace fw
