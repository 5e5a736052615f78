#include "app/gui/EstimateAccuracyTab.h"
#include "app/gui/LedgerWidgets.h"
#include "app/gui/TextFit.h"
#include "canvas/Gbk.h"
#include "model/Controls.h"
#include "text/CodePage.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace fw {

namespace {

// The designed widths of 基金代码, 模型, 天数, 平均误差, 最大误差; the widest texts they take.
const std::vector<int> kWidths {72, 48, 40, 72, 72};
const QStringList kWidest {QStringLiteral("000000"), QStringLiteral("持仓"), QStringLiteral("20"),
                           QStringLiteral("99.99%"), QStringLiteral("99.99%")};

} // namespace

EstimateAccuracyTab::EstimateAccuracyTab(std::string dataDir, QWidget* parent)
    : QWidget(parent), m_dataDir(std::move(dataDir))
{
    m_model = new TextTableModel(accuracyHeader(), this);
    m_view = new QTableView(this);
    m_view->setObjectName(qtName(Control::EstimateAccuracy));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_note = new QLabel(this);
    m_note->setObjectName(qtName(Control::EstimateAccuracyNote));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(m_note);
    fitColumns(*m_view, kWidths, kWidest, 0, true);
}

EstimateAccuracyTab::~EstimateAccuracyTab()
{
    if (m_run) {
        // A read under way delivers nothing once the lock is had.
        std::lock_guard lock(m_run->doneMutex);
        m_load.cancel();
    }
    m_pool.letGo();
}

void EstimateAccuracyTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void EstimateAccuracyTab::refresh()
{
    m_pool.reap(false);
    auto run = std::make_shared<Run>();
    {
        std::lock_guard lock(m_run ? m_run->doneMutex : run->doneMutex);
        run->ticket = m_load.begin(); // an older read is cancelled
    }
    m_run = run;
    HttpRequestOptions request;
    request.load = run->ticket;
    // The job holds nothing of this tab's but what it delivers to, under the run's lock.
    m_pool.start(1, 1, [this, run, request, dataDir = m_dataDir](int) {
        Text failure;
        std::vector<FundAccuracy> funds = loadAccuracies(dataDir, request, failure);
        std::lock_guard lock(run->doneMutex);
        if (run->ticket.cancelled())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, run, funds = std::move(funds), failure] {
                if (!run->ticket.cancelled())
                    show(funds, failure);
            },
            Qt::QueuedConnection);
    });
}

void EstimateAccuracyTab::show(const std::vector<FundAccuracy>& funds, const Text& failure)
{
    std::vector<std::vector<Text>> rows;
    for (const FundAccuracy& f : funds)
        rows.push_back(accuracyTexts(f));
    m_model->setRows(std::move(rows));
    fitColumns(*m_view, kWidths, kWidest, 0, true);
    const Text note = !failure.empty() ? gbk("净值未能更新：") + failure
        : funds.empty()                ? gbk("尚未记录估算：每个交易日 14:55 至 15:05 记录一次")
                                       : gbk("最近 20 个有净值的交易日；两种模型都满 20 天后取误差小的");
    setElidedText(*m_note, gbkToQString(note));
    ++m_shown;
}

} // namespace fw
