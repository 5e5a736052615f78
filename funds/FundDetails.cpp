#include "funds/FundDetails.h"

#include "funds/FundPageSummary.h"
#include "funds/FundProfileFetch.h"
#include "funds/HoldingsWorker.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"

#include <system_error>
#include <utility>

namespace fw {

namespace {

constexpr int kFundColumns = 17;
constexpr int kFirstColouredCopy = 4; // columns 0-3 keep the comparison grid's colours

} // namespace

FundDetails::FundDetails(FeatureContext& context) : m_context(context), m_stockPage(context.models.view) {}

FundDetails::~FundDetails()
{
    m_holdingsLoads.cancel();
    m_baseHoldingsLoads.cancel();
    waitForHoldingsWorkers();
}

// ---- handlers

void FundDetails::fundGridCellPicked()
{
    if (m_context.models.fundGrid.cursorRow() != -1)
        selectedFundRefresh();
}

void FundDetails::holdingsGridCellPicked(int number)
{
    MainModels& models = m_context.models;
    if (number != 3 && number != 4)
        return;
    const Grid& grid = number == 3 ? models.holdingsGrid : models.baseHoldingsGrid;
    const int row = grid.cursorRow();
    if (row >= 1)
        openStockPage(grid.cell(row, 1));
}

void FundDetails::watchlistItemClicked()
{
    static const Text fund = gbk("基金"), stock = gbk("股票");
    const ListModel& list = m_context.models.watchlist;
    const int row = list.currentRow();
    if (row < 0)
        return;
    const Text type = list.text(row, 3);
    if (type == fund) {
        closeStockPage();
        fundPageSummary(list.text(row, 1), list.text(row, 2), PickSource::Watchlist);
    } else if (type == stock) {
        openStockPage(list.text(row, 1));
    }
}

// ---- operations

void FundDetails::selectedFundRefresh()
{
    Grid& grid = m_context.models.fundGrid;
    // A download lets events run: a newer pick may start and finish inside
    // this one, which must then leave the display to it.
    const LoadTicket pick = m_picks.begin();
    int row = grid.cursorRow();
    if (row == -1)
        row = 1;
    currentFundRow = row;
    currentFundCode = grid.cell(row, 1);
    const Text code = currentFundCode;

    if (!code.empty()) {
        // The holdings need nothing of the profile: their worker runs beside it.
        startHoldingsWorker(code, grid.cell(row, 0));
        // A list load may replace the rows meanwhile: a figure goes only into
        // a row that still shows this fund.
        auto rowShowsFund = [&] { return grid.cell(row, 1) == code; };
        FundProfileFetch(code, m_context.timeoutSeconds).run([&](int column, const Text& value) {
            if (!rowShowsFund())
                return false;
            grid.setCell(row, column, value);
            return true;
        });
        if (!m_picks.isCurrent(pick))
            return;

        Grid& compare = m_context.models.compareGrid;
        if (!compare.cell(1, 1).empty() && rowShowsFund()) {
            TextList cells;
            std::vector<Colour> colours;
            for (int c = 0; c < kFundColumns; ++c) {
                cells.push_back(grid.cell(row, c));
                if (c >= kFirstColouredCopy)
                    colours.push_back(grid.cellColour(row, c));
            }
            compare.setRow(2, 0, cells);
            compare.setRowColours(2, kFirstColouredCopy, colours);
        }
    }
    if (refreshComparison)
        refreshComparison(code);
}

void FundDetails::fundPageSummary(const Text& code, const Text& name, PickSource source)
{
    if (m_context.refuseGridLoad())
        return;
    const FundPageLoad load = loadFundPage(code, name);
    if (source == PickSource::Suggestion)
        clearSearch();
    if (load != FundPageLoad::Superseded)
        selectedFundRefresh();
}

FundDetails::FundPageLoad FundDetails::loadFundPage(const Text& code, const Text& name)
{
    // currentFundCode follows from row 1 in selectedFundRefresh: set any
    // earlier, it would name a fund not shown when a newer load wins the grid.
    const LoadTicket ticket = m_context.fundGridLoads.begin();
    HttpRequestOptions options = m_context.requestOptions();
    // The page declares its charset: fetch hands it over as GBK.
    const Text page = HttpClient().fetch(serviceHosts().url(HostRole::FundList, FundPageSummary::path(code)), options);
    if (!m_context.fundGridLoads.isCurrent(ticket))
        return FundPageLoad::Superseded;

    Grid& grid = m_context.models.fundGrid;
    grid.reset();
    const FundPageSummary summary = FundPageSummary::cut(page);
    summary.writeRow(grid, 1, code, name.empty() ? summary.name : name);
    grid.setCursorRow(1);
    return summary.hasValues() ? FundPageLoad::Shown : FundPageLoad::NoValues;
}

void FundDetails::clearSearch()
{
    MainModels& models = m_context.models;
    models.view.setEditText(Control::SearchBox, "");
    models.suggestions.clear();
    models.view.setVisible(Control::Suggestions, false);
}

void FundDetails::openStockPage(std::string_view stockCode) { m_stockPage.open(stockCode); }

void FundDetails::closeStockPage() { m_stockPage.close(); }

// ---- holdings workers

void FundDetails::startHoldingsWorker(const Text& fundCode, const Text& fundName)
{
    const LoadTicket ticket = m_holdingsLoads.begin();
    // Cleared once the older workers are shut out, so none of them sets it again.
    {
        std::lock_guard lock(m_completeMutex);
        m_completeHoldings.reset();
    }
    HoldingsWorker worker {m_context, fundCode, fundName, &m_holdingsLoads, ticket, HoldingsTarget::Picked, {}};
    worker.finished = [this](const HoldingsResult& result) {
        std::lock_guard lock(m_completeMutex);
        m_completeHoldings = result;
    };
    startWorker(std::move(worker));
}

void FundDetails::startBaseHoldingsWorker(const Text& fundCode, const Text& fundName)
{
    HoldingsWorker worker {m_context, fundCode, fundName, &m_baseHoldingsLoads, m_baseHoldingsLoads.begin(),
                           HoldingsTarget::Base, {}};
    startWorker(std::move(worker));
}

void FundDetails::supersedeBaseHoldingsWorkers() { m_baseHoldingsLoads.cancel(); }

void FundDetails::startWorker(HoldingsWorker worker)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    reapWorkers(false);
    std::lock_guard lock(m_workersMutex);
    try {
        m_workers.push_back({std::thread([worker = std::move(worker), done] {
                                 worker();
                                 done->store(true);
                             }),
                             done});
    } catch (const std::system_error&) {
        // No thread to be had: the holdings stay as they are.
    }
}

Text FundDetails::supersedeHoldingsWorkers()
{
    m_holdingsLoads.cancel();
    std::lock_guard lock(m_completeMutex);
    const std::optional<HoldingsResult> complete = std::exchange(m_completeHoldings, std::nullopt);
    return complete ? complete->fundCode : Text();
}

void FundDetails::waitForHoldingsWorkers() { reapWorkers(true); }

std::optional<HoldingsResult> FundDetails::completeHoldings() const
{
    std::lock_guard lock(m_completeMutex);
    return m_completeHoldings;
}

void FundDetails::reapWorkers(bool all)
{
    std::vector<Worker> ended;
    {
        std::lock_guard lock(m_workersMutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (all || it->done->load()) {
                ended.push_back(std::move(*it));
                it = m_workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined outside the lock: a worker never takes it, but a long join
    // should not hold up a start on another thread.
    for (Worker& w : ended)
        w.thread.join();
}

} // namespace fw
