#pragma once
// The 准确度 tab of the portfolio window: per fund of the estimate log, the
// model its estimate is taken from, the days measured, the mean absolute
// error and the largest miss. Read (and the NAV changes the log waits for
// brought in) on a worker each time the tab shows; the newest read is shown.
#include "funds/EstimateRecord.h"

#include <QWidget>
#include <memory>
#include <mutex>
#include <string>

class QLabel;
class QTableView;

namespace fw {

class TextTableModel;

class EstimateAccuracyTab : public QWidget {
    Q_OBJECT
public:
    explicit EstimateAccuracyTab(std::string dataDir, QWidget* parent = nullptr);
    ~EstimateAccuracyTab() override; // cancels a read and waits for no thread

    void refresh();
    // Reads shown so far (tests wait on it).
    int shownCount() const { return m_shown; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Run {
        LoadTicket ticket;
        std::mutex doneMutex;
    };
    void show(const std::vector<FundAccuracy>& funds, const Text& failure);

    std::string m_dataDir;
    TextTableModel* m_model = nullptr;
    QTableView* m_view = nullptr;
    QLabel* m_note = nullptr;
    int m_shown = 0;
    std::shared_ptr<Run> m_run;
    LoadToken m_load;
    RowPool m_pool;
};

} // namespace fw
