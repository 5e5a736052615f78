#include "app/gui/ListTableModel.h"
#include "canvas/Gbk.h"
#include <QMetaObject>

namespace fw {

ListTableModel::ListTableModel(ListModel& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list)
{
    m_listenerId = m_list.addListener([this] { onListChange(); });
    m_rows = m_list.rows();
    m_columns = int(m_list.columns().size());
}

ListTableModel::~ListTableModel()
{
    m_list.removeListener(m_listenerId);
}

int ListTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ListTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= int(m_rows.size()))
        return {};
    const TextList& row = m_rows[size_t(index.row())];
    if (index.column() >= int(row.size()))
        return QString();
    return gbkToQString(row[size_t(index.column())]);
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns)
        return {};
    return gbkToQString(m_list.columns()[size_t(section)].title);
}

Qt::ItemFlags ListTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ListTableModel::onListChange()
{
    std::lock_guard lock(m_pendingMutex);
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(this, [this] { flushChanges(); }, Qt::QueuedConnection);
    }
}

void ListTableModel::flushChanges()
{
    {
        std::lock_guard lock(m_pendingMutex);
        m_posted = false;
    }
    // A snapshot keeps the rows the views know consistent with rowCount().
    std::vector<TextList> rows = m_list.rows();
    if (rows.size() != m_rows.size()) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    } else if (rows != m_rows) {
        // Same rows, new texts: the views keep their selection and scroll position.
        m_rows = std::move(rows);
        if (!m_rows.empty() && m_columns > 0)
            emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, m_columns - 1));
    }
    // A change of the current row alone changes nothing shown.
    emit changesApplied();
}

} // namespace fw
