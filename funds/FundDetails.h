#pragma once
// What is shown when a fund or a stock is picked: the fund's profile figures
// in its fund-grid row, its row in the comparison grid, its ten holdings, the
// fund page summary for a fund picked outside the lists, and the stock page
// overlay. Runs on the UI thread; the holdings come from worker threads that
// this object owns and joins.
#include "funds/FeatureContext.h"
#include "funds/HoldingsEstimate.h"
#include "funds/HoldingsWorker.h"
#include "funds/StockPage.h"
#include "net/LoadToken.h"
#include "text/Text.h"
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fw {

class FundDetails {
public:
    explicit FundDetails(FeatureContext& context);
    // Shuts every holdings worker out of the models and waits for them.
    ~FundDetails();
    FundDetails(const FundDetails&) = delete;
    FundDetails& operator=(const FundDetails&) = delete;

    // --- handlers
    void fundGridCellPicked();                 // a click on a fund-grid cell
    void holdingsGridCellPicked(int grid);     // 3 or 4: the stock page of the cursor row
    void watchlistItemClicked();               // a fund's summary or a stock's page

    // --- operations
    // The picked fund-grid row (cursor row, or 1 without one): the holdings
    // worker, the profile figures, the comparison row when a base is set,
    // then refreshComparison.
    void selectedFundRefresh();

    // Where a fund picked outside the lists comes from.
    enum class PickSource { Suggestion, Watchlist };
    // The fund's own page as row 1 of a freshly reset fund grid, then
    // selectedFundRefresh on that row. After a suggestion the search box and
    // the suggestion list are cleared as well.
    void fundPageSummary(const Text& code, const Text& name, PickSource source);
    enum class FundPageLoad { Shown, NoValues, Superseded };
    // The first half of fundPageSummary: the fund's own page as row 1 of a
    // freshly reset fund grid, the cursor on it; an empty name takes the
    // page's own. NoValues: the row was written, but the request failed or the
    // page had no value block. Superseded: a newer load owns the grid.
    FundPageLoad loadFundPage(const Text& code, const Text& name);
    // Empties the search box and the suggestion list and hides the list.
    void clearSearch();

    void openStockPage(std::string_view stockCode);
    void closeStockPage();

    // Starts the holdings worker for a fund; it supersedes every older one.
    void startHoldingsWorker(const Text& fundCode, const Text& fundName);
    // From now on no running holdings worker writes anything (e.g. before the
    // holdings grid is cleared or copied). Returns the fund whose holdings the
    // newest worker had written in full, "" when its load had not finished;
    // from now on the grid is the caller's.
    Text supersedeHoldingsWorkers();
    // Fills the comparison base's holdings grid 高级表格4 from the fund's own
    // holdings load; it supersedes every older such load.
    void startBaseHoldingsWorker(const Text& fundCode, const Text& fundName);
    // From now on no such load writes to 高级表格4.
    void supersedeBaseHoldingsWorkers();
    // Waits for every holdings worker started so far.
    void waitForHoldingsWorkers();
    // The holdings and today's estimate the newest holdings load wrote in
    // full; none while it loads, or once the grid was handed over.
    std::optional<HoldingsResult> completeHoldings() const;

    // --- state
    Text currentFundCode;    // the fund whose details are shown
    int currentFundRow = 0;  // its fund-grid row

    // Redraws the comparison chart for the picked fund (set by the chart;
    // may stay empty). Called at the end of every selectedFundRefresh that
    // was not overtaken by a newer pick.
    std::function<void(const Text& fundCode)> refreshComparison;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapWorkers(bool all);
    void startWorker(HoldingsWorker worker);

    FeatureContext& m_context;
    StockPage m_stockPage;
    LoadToken m_picks;        // selectedFundRefresh calls (UI thread): the newest shows
    LoadToken m_holdingsLoads;
    LoadToken m_baseHoldingsLoads;
    mutable std::mutex m_completeMutex; // taken inside a write of m_holdingsLoads, never around one
    std::optional<HoldingsResult> m_completeHoldings; // what the holdings grid holds in full; none while loading
    std::mutex m_workersMutex;
    std::vector<Worker> m_workers;
};

} // namespace fw
