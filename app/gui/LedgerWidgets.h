#pragma once
// Small views of the ledger's tabs: a table model over rows of GBK texts with
// their colours, and the 走势 charts drawn from a plain Trend.
#include "funds/LedgerViews.h"
#include "model/Grid.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>

namespace fw {

class TextTableModel : public QAbstractTableModel {
public:
    using Edit = std::function<bool(int row, int column, const QString& text)>;
    using Editable = std::function<bool(int row, int column)>;

    TextTableModel(std::vector<Text> header, QObject* parent);
    // Rows of GBK texts; colours per cell (kDefaultColour: the table's own).
    void setRows(std::vector<std::vector<Text>> rows, std::vector<std::vector<Colour>> colours = {});
    void setEdit(Editable editable, Edit edit);
    const std::vector<Text>& row(int r) const { return m_rows[size_t(r)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    std::vector<Text> m_header;
    std::vector<std::vector<Text>> m_rows;
    std::vector<std::vector<Colour>> m_colours;
    Editable m_editable;
    Edit m_edit;
};

// Two charts, one above the other: 市值 and 累计收益 in yuan; the time-weighted
// return beside the benchmark's in %. Buys marked ▲ red, sales ▼ green; the
// dates under each chart thinned until they fit.
class LedgerTrendView : public QWidget {
public:
    explicit LedgerTrendView(QWidget* parent = nullptr);
    void setTrend(ledger::Trend trend, QString benchmarkName);
    const ledger::Trend& trend() const { return m_trend; }
    // The step between dated points of the last paint (tests).
    int lastLabelStep() const { return m_labelStep; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ledger::Trend m_trend;
    QString m_benchmarkName;
    int m_labelStep = 1;
};

} // namespace fw
