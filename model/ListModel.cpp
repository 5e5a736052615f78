#include "model/ListModel.h"

#include <algorithm>

namespace fw {

ListModel::ListModel(std::vector<ListColumn> columns) : m_columns(std::move(columns)) {}

int ListModel::rowCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

Text ListModel::text(int row, int column) const
{
    std::lock_guard lock(m_mutex);
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0)
        return {};
    const TextList& texts = m_rows[row];
    return column < static_cast<int>(texts.size()) ? texts[column] : Text();
}

void ListModel::setText(int row, int column, std::string_view text)
{
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0
            || column >= static_cast<int>(m_columns.size()))
            return;
        TextList& texts = m_rows[row];
        if (column >= static_cast<int>(texts.size()))
            texts.resize(column + 1);
        texts[column].assign(text);
    }
    notify();
}

int ListModel::addRow(const TextList& texts)
{
    int index;
    {
        std::lock_guard lock(m_mutex);
        TextList row = texts;
        // Texts beyond the last column have nowhere to be shown.
        if (row.size() > m_columns.size())
            row.resize(m_columns.size());
        m_rows.push_back(std::move(row));
        index = static_cast<int>(m_rows.size()) - 1;
    }
    notify();
    return index;
}

void ListModel::removeRow(int row)
{
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || row >= static_cast<int>(m_rows.size()))
            return;
        m_rows.erase(m_rows.begin() + row);
        if (m_current == row)
            m_current = -1;
        else if (m_current > row)
            --m_current;
    }
    notify();
}

void ListModel::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_rows.clear();
        m_current = -1;
    }
    notify();
}

std::vector<TextList> ListModel::rows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

int ListModel::currentRow() const
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

void ListModel::setCurrentRow(int row)
{
    {
        std::lock_guard lock(m_mutex);
        if (row < 0 || row >= static_cast<int>(m_rows.size()))
            row = -1;
        if (row == m_current)
            return;
        m_current = row;
    }
    notify();
}

int ListModel::addListener(Listener listener) { return m_listeners.add(std::move(listener)); }

void ListModel::removeListener(int id) { m_listeners.remove(id); }

void ListModel::notify() { m_listeners.notify(); }

} // namespace fw
