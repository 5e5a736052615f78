#pragma once
// A Qt table model over fw::Grid. Grid row 0 (the fixed header row) is the
// horizontal header; data rows 1..n-1 are the table's rows 0..n-2. The grid
// may be written from any thread: changes are collected under a mutex and
// carried to the UI thread by one queued notification at a time.
#include "model/Grid.h"
#include <QAbstractTableModel>
#include <QColor>
#include <mutex>

namespace fw {

class GridTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridTableModel(Grid& grid, QObject* parent = nullptr);
    ~GridTableModel() override;

    Grid& grid() { return m_grid; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Applies the changes collected so far (UI thread). Runs by itself from
    // the event loop; tests and benchmarks may call it directly.
    void flushChanges();
    // True while a flush runs (UI thread): the views' own current-row moves
    // then follow the grid and must not be written back as the user's pick.
    bool isApplyingChanges() const { return m_applying; }

signals:
    // After every flush: views re-read the grid's cursor row.
    void changesApplied();

private:
    void onGridChange(const GridChange& change); // any thread

    Grid& m_grid;
    int m_listenerId = 0;
    int m_rows = 0;    // data rows as the views know them
    int m_columns = 0;
    bool m_applying = false;

    std::mutex m_pendingMutex;
    bool m_posted = false;
    bool m_layoutPending = false;
    int m_firstDirty = 0, m_lastDirty = -1; // grid rows, inclusive
};

} // namespace fw
