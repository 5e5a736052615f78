#pragma once
// A Qt table model over fw::ListModel (report-style list views). The list may
// change from any thread; one queued notification at a time carries the
// changes to the UI thread, where the model is reset.
#include "model/ListModel.h"
#include <QAbstractTableModel>
#include <mutex>

namespace fw {

class ListTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListTableModel(ListModel& list, QObject* parent = nullptr);
    ~ListTableModel() override;

    ListModel& list() { return m_list; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void flushChanges(); // UI thread; runs by itself from the event loop

signals:
    // After every flush: views re-select the list's current row.
    void changesApplied();

private:
    void onListChange(); // any thread

    ListModel& m_list;
    int m_listenerId = 0;
    std::vector<TextList> m_rows; // snapshot the views show
    int m_columns = 0;

    std::mutex m_pendingMutex;
    bool m_posted = false;
};

} // namespace fw
