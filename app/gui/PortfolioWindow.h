#pragma once
// The portfolio window (持仓): one row per held fund with its value, profit and
// today's estimate, a totals row, in-place editing of shares and cost, adding
// by code and removing from the row's menu. Figures, checks and storage are
// the feature's (funds/Portfolio.h); this window shows them.
#include "funds/LedgerBook.h"
#include "funds/Portfolio.h"
#include "funds/PortfolioRefresh.h"
#include <QWidget>
#include <chrono>
#include <map>

class QLabel;
class QLineEdit;
class QTableView;
class QTimer;
class QVBoxLayout;

namespace fw {

class PortfolioTableModel;
class LedgerTabs;

class PortfolioWindow : public QWidget {
    Q_OBJECT
public:
    // A refresh by itself every minute, during trading hours only.
    static constexpr int kAutoRefreshMs = 60 * 1000;

    // With an open ledger the window shows its tabs; without one, the
    // holdings of [持仓], which are only read once the ledger's database
    // exists but cannot be opened (the window then says why and offers the
    // daily copies).
    explicit PortfolioWindow(FeatureContext& context, ledger::LedgerBook* ledger = nullptr, QWidget* parent = nullptr);
    ~PortfolioWindow() override;
    // The automatic refresh's period; the trading hours go by portfolio()'s clock.
    void setAutoRefreshInterval(std::chrono::milliseconds interval);

    // Selects the fund's row; a fund not held yet goes into the code box.
    void openOn(const Text& code);
    // Starts a refresh of every held fund unless one still runs.
    void refresh();
    bool refreshing() const { return m_refresh.running(); }
    Portfolio& portfolio() { return m_portfolio; }
    // Shown under the table: the reason an edit was refused, or "".
    QString note() const;

    // For the model: an edit of 份额, 成本价 or 持仓金额 (stored as shares at the
    // last unit value); false (and the reason shown) when refused.
    bool editHolding(int row, int column, const QString& text);
    const FundQuote* quote(const Text& code) const;
    // The table's rows and totals from the holdings and the quotes as they stand now.
    PortfolioFigures figures() const;
    // [持仓] may be written: no ledger database stands in its place.
    bool holdingsWritable() const;
    // The ledger's tabs; none while the ledger is off.
    LedgerTabs* ledgerTabs() const { return m_tabs; }

private:
    void buildBody();
    void buildHoldings(QVBoxLayout* layout);
    void addFromBoxes();
    void removeRow(int row);
    void showNote(const Text& gbkText);
    void showRows();
    void quotesArrived(std::map<Text, FundQuote> quotes);

    FeatureContext& m_context;
    ledger::LedgerBook* m_ledger = nullptr;
    QWidget* m_body = nullptr;
    LedgerTabs* m_tabs = nullptr;
    Portfolio m_portfolio;
    std::map<Text, FundQuote> m_quotes;
    PortfolioTableModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_shares = nullptr;
    QLineEdit* m_cost = nullptr;
    QLabel* m_note = nullptr;
    QTimer* m_timer = nullptr;
    bool m_refreshAgain = false;
    PortfolioRefresh m_refresh; // its workers hold nothing of the window's
};

} // namespace fw
