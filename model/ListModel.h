#pragma once
// A report-style list view as a plain model: named columns, rows of texts, the
// current selection. Safe to call from any thread; listeners as for Grid.
#include "model/Listeners.h"
#include "text/Text.h"
#include <functional>
#include <mutex>
#include <vector>

namespace fw {

struct ListColumn { Text title; int width = 0; };

class ListModel {
public:
    explicit ListModel(std::vector<ListColumn> columns);

    const std::vector<ListColumn>& columns() const { return m_columns; }
    int rowCount() const;
    Text text(int row, int column) const;           // "" out of range
    void setText(int row, int column, std::string_view text);
    int addRow(const TextList& texts);              // returns the new row's index
    void removeRow(int row);
    void clear();
    std::vector<TextList> rows() const;

    int currentRow() const;                          // -1: none
    void setCurrentRow(int row);

    // Listeners run after the data lock is released, one at a time, as for Grid.
    using Listener = std::function<void()>;
    int addListener(Listener listener);
    void removeListener(int id);

private:
    void notify();
    mutable std::mutex m_mutex;
    std::vector<ListColumn> m_columns;
    std::vector<TextList> m_rows;
    int m_current = -1;
    Listeners<> m_listeners;
};

} // namespace fw
