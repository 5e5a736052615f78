#pragma once
// The ledger's tabs of the portfolio window: 持仓 (per account and 全部),
// 交易, 收益日历, 走势, 定投, and 今日 (the day's curve of the held funds'
// 当日收益 or of one of them, loaded off this thread, newest load shown). They
// show the newest snapshot a refresh of the ledger delivered (computed on a
// worker, never here) and forward the user's writes to the ledger, then refresh.
#include "chart/ChartRenderer.h"
#include "funds/IntradayLoad.h"
#include "funds/LedgerBook.h"

#include <QTabWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;

namespace fw {

class ChartPanel;
class TextTableModel;
class LedgerTrendView;

class LedgerTabs : public QTabWidget {
    Q_OBJECT
public:
    // With `context` the 今日 tab too (its requests take the context's options).
    explicit LedgerTabs(ledger::LedgerBook& book, QWidget* parent = nullptr, FeatureContext* context = nullptr);
    ~LedgerTabs() override;

    // Starts a refresh; the newest one's snapshot is shown when it arrives.
    void refresh();
    const ledger::LedgerSnapshot* snapshot() const { return m_snap.get(); }
    // Snapshots shown so far (tests wait on it).
    int shownCount() const { return m_shown; }
    QString note() const;
    // Why a write was refused; the window places it under the tabs.
    QLabel* noteLabel() const { return m_note; }

    // For the 持仓 table: an edit of 份额 or 持有成本 books a 对账.
    bool editHolding(int row, int column, const QString& text);

    // The 今日 tab: loads the picked day now; days shown so far (tests wait on it).
    void loadToday();
    int todayShown() const { return m_todayShown; }
    const IntradayDay* today() const { return m_today.get(); }
    const ChartRenderer& todayRenderer() const { return m_todayRenderer; }
    // Each minute while the tab is shown in trading hours: the quotes extend the day.
    void extendToday();

private:
    QWidget* makeHoldingsTab();
    QWidget* makeTradesTab();
    QWidget* makeCalendarTab();
    QWidget* makeTrendTab();
    QWidget* makePlansTab();
    QWidget* makeTodayTab();
    void showToday(std::shared_ptr<const IntradayDay> day);
    void fillTodayPicks();
    void show(std::shared_ptr<const ledger::LedgerSnapshot> snap);
    void showHoldings();
    void showTrades();
    void showCalendar();
    void showPlans();
    void showNote(const Text& gbkText);
    void formToTrade(bool edit);
    void removeTrade();
    void tradeToForm(int row);
    void addPlan();
    void removePlan();
    // The account picked above the 持仓 table; "" = 全部.
    std::string pickedAccount() const;
    // The history the calendar and the trend show: the picked account's or the ledger's.
    const ledger::Aggregate* pickedAggregate() const;

    ledger::LedgerBook& m_book;
    std::shared_ptr<const ledger::LedgerSnapshot> m_snap;
    int m_shown = 0;
    std::vector<const ledger::Position*> m_rows; // the 持仓 table's positions
    QComboBox* m_account = nullptr;
    TextTableModel* m_holdings = nullptr;
    QTableView* m_holdingsView = nullptr;
    TextTableModel* m_trades = nullptr;
    QTableView* m_tradesView = nullptr;
    QComboBox* m_kind = nullptr;
    QLineEdit *m_code = nullptr, *m_amount = nullptr, *m_shares = nullptr, *m_date = nullptr, *m_time = nullptr,
              *m_feeRate = nullptr, *m_tradeAccount = nullptr, *m_tradeNote = nullptr;
    QLabel* m_note = nullptr;
    TextTableModel* m_calendar = nullptr;
    QTableView* m_calendarView = nullptr;
    QComboBox* m_month = nullptr;
    QLabel* m_sums = nullptr;
    LedgerTrendView* m_trend = nullptr;
    QLineEdit* m_benchmark = nullptr;
    TextTableModel* m_plans = nullptr;
    QTableView* m_plansView = nullptr;
    QLineEdit *m_planCode = nullptr, *m_planAmount = nullptr, *m_planFee = nullptr, *m_planAccount = nullptr,
              *m_planDay = nullptr, *m_planStart = nullptr;
    QComboBox* m_planCycle = nullptr;
    QWidget* m_todayTab = nullptr;
    QComboBox* m_todayPick = nullptr;
    ChartPanel* m_todayPanel = nullptr;
    QLabel* m_todayNote = nullptr;
    QTimer* m_todayTimer = nullptr;
    ChartRenderer m_todayRenderer;
    std::shared_ptr<const IntradayDay> m_today;
    int m_todayShown = 0;
    std::unique_ptr<IntradayLoad> m_todayLoad; // last: cancelled first, before what its `done` reaches
};

// The line saying the database cannot be opened, with the daily copies and a
// button that puts the picked one back; `restored` runs once one is back.
QWidget* makeRestoreBar(ledger::LedgerBook& book, QWidget* parent, std::function<void()> restored);

} // namespace fw
