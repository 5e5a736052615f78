#include "app/gui/GridTableModel.h"
#include "canvas/Gbk.h"
#include <QMetaObject>
#include <algorithm>

namespace fw {

GridTableModel::GridTableModel(Grid& grid, QObject* parent)
    : QAbstractTableModel(parent), m_grid(grid)
{
    // Listen first, then read: a change in between is flushed, not lost.
    m_listenerId = m_grid.addListener([this](const GridChange& change) { onGridChange(change); });
    m_rows = std::max(0, m_grid.rowCount() - 1);
    m_columns = m_grid.columnCount();
}

GridTableModel::~GridTableModel()
{
    m_grid.removeListener(m_listenerId);
}

int GridTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int GridTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return gbkToQString(m_grid.cell(index.row() + 1, index.column()));
    case Qt::ForegroundRole: {
        QColor colour = toQColor(m_grid.cellColour(index.row() + 1, index.column()));
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    default:
        return {};
    }
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return gbkToQString(m_grid.cell(0, section));
    return section + 1;
}

Qt::ItemFlags GridTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void GridTableModel::onGridChange(const GridChange& change)
{
    std::lock_guard lock(m_pendingMutex);
    if (change.kind == GridChange::Layout) {
        m_layoutPending = true;
    } else if (change.kind == GridChange::Cursor) {
        // Nothing to redraw; the flush lets the views follow the cursor row.
    } else if (m_lastDirty < m_firstDirty) {
        m_firstDirty = change.firstRow;
        m_lastDirty = change.lastRow;
    } else {
        m_firstDirty = std::min(m_firstDirty, change.firstRow);
        m_lastDirty = std::max(m_lastDirty, change.lastRow);
    }
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(this, [this] { flushChanges(); }, Qt::QueuedConnection);
    }
}

void GridTableModel::flushChanges()
{
    bool layout;
    int first, last;
    {
        std::lock_guard lock(m_pendingMutex);
        layout = m_layoutPending;
        first = m_firstDirty;
        last = m_lastDirty;
        m_posted = false;
        m_layoutPending = false;
        m_firstDirty = 0;
        m_lastDirty = -1;
    }
    m_applying = true;

    if (layout) {
        // Row-count changes become inserts/removals so that the views keep
        // their scroll position; every cell may have changed (a reset).
        const int rows = std::max(0, m_grid.rowCount() - 1);
        if (rows > m_rows) {
            beginInsertRows({}, m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        } else if (rows < m_rows) {
            beginRemoveRows({}, rows, m_rows - 1);
            m_rows = rows;
            endRemoveRows();
        }
        emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
        if (m_rows > 0 && m_columns > 0)
            emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    } else if (last >= first) {
        if (first <= 0)
            emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
        const int top = std::max(first, 1) - 1;
        const int bottom = std::min(last - 1, m_rows - 1);
        if (top <= bottom && m_columns > 0)
            emit dataChanged(index(top, 0), index(bottom, m_columns - 1));
    }
    emit changesApplied();
    m_applying = false;
}

} // namespace fw
