#include "funds/FullList.h"

#include "funds/FundProfileFetch.h"
#include "funds/Ranking.h"
#include "net/EventPump.h"
#include "text/NumberText.h"

#include <algorithm>
#include <chrono>

namespace fw {

namespace {

// Buttons the load takes away; only a cancelled load gives them back.
constexpr Control kHeldButtons[] = {Control::SectorButton, Control::FiveStarButton, Control::StepButton};

// A page count or a fund count from the service, bounded by what the grid holds.
int boundedCount(double announced, int most)
{
    return int(std::clamp<long long>(truncToInt(announced), 0, most));
}

} // namespace

FullList::FullList(FeatureContext& context) : m_context(context) {}

FullList::~FullList()
{
    if (m_run)
        m_run->work.cancelled.store(true); // no worker waits out a back-off
    m_load.cancel();
    m_pool.close();
    m_pool.reap(true);
}

void FullList::cancel()
{
    if (!running())
        return;
    m_cancel.store(true);
    if (m_run)
        m_run->work.cancelled.store(true);
    m_load.cancel();
    m_pool.wake();
}

bool FullList::stopped(const LoadTicket& ticket) const
{
    return m_cancel.load() || !m_context.fundGridLoads.isCurrent(ticket);
}

void FullList::loadFullList()
{
    // The button stays enabled: a second click inside the running load
    // would start another one over the same grid.
    if (m_context.refuseGridLoad())
        return;
    View& view = m_context.models.view;
    for (Control button : kHeldButtons)
        view.setEnabled(button, false);

    m_cancel.store(false);
    m_context.fullListRunning.store(true);
    m_pool.reap(false);
    const LoadTicket ticket = m_context.fundGridLoads.begin();
    m_run = std::make_shared<Run>();
    m_run->work.gridTicket = ticket;
    m_run->work.retry = retry;
    m_run->work.retry->load = m_load.begin();

    m_counts = {};
    const Outcome outcome = load(ticket);
    m_phase.store(FullListPhase::Idle);
    if (outcome == Outcome::Done && exportFundGrid)
        exportFundGrid();
    view.hideProgress();
    m_context.fullListRunning.store(false);
    if (outcome == Outcome::Stopped) {
        if (m_cancel.load())
            view.setTitle(gbk("加载已取消"));
        // No workbook was written: the buttons come back.
        for (Control button : kHeldButtons)
            view.setEnabled(button, true);
    }
}

FullList::Outcome FullList::load(const LoadTicket& ticket)
{
    Grid& grid = m_context.models.fundGrid;
    View& view = m_context.models.view;
    static const Text fundsBefore = gbk("共"), fundsAfter = gbk("支基金"), pagesAfter = gbk("页"),
                      loading = gbk("正在加载第"), done = gbk("加载完毕"), took = gbk("加载时间"),
                      seconds = gbk("秒"), withoutProfile = gbk("支基金资料未取到");

    // Back-offs on this thread end as soon as the load is stopped.
    RetryPolicy pageRetry = *m_run->work.retry;
    pageRetry.stop = [this, ticket] { return stopped(ticket); };
    grid.reset();
    m_phase.store(FullListPhase::Pages);
    view.setProgress(0, 1);
    const JsonDocument probe = fetchRankingPage(RankingQuery {RankingFamily::FullListProbe, {}, {}, 1, {}}.url(),
                                                m_context.timeoutSeconds, nullptr, &pageRetry);
    if (stopped(ticket))
        return Outcome::Stopped;
    // A bogus count cannot ask for more rows or pages than the grid holds.
    const int rows = boundedCount(probe.getNumber("datacount"), Grid::kMaxRows - 1);
    fullListPageCount = boundedCount(probe.getNumber("allPages"), Grid::kMaxRows / 20 + 1);
    m_run->work.fundRowCount = rows;
    view.setCaption(Control::Progress, fundsBefore + intText(rows) + fundsAfter);
    view.setCaption(Control::Status, fundsBefore + intText(fullListPageCount) + pagesAfter);
    grid.setRowCount(rows + 1);

    const auto start = std::chrono::steady_clock::now();
    int offset = 0;
    for (int p = 1; p <= fullListPageCount; ++p) {
        view.setTitle(loading + intText(p) + pagesAfter);
        view.setProgress(p - 1, fullListPageCount);
        const JsonDocument page = fetchRankingPage(RankingQuery {RankingFamily::FullListPage, {}, {}, p, {}}.url(),
                                                   m_context.timeoutSeconds, nullptr, &pageRetry);
        if (stopped(ticket))
            return Outcome::Stopped;
        const int n = rankingEntryCount(page);
        for (int i = 1; i <= n; ++i)
            writeFundRow(grid, offset + i, rankingEntry(page, i - 1));
        offset += n;
    }

    const Outcome profiles = completeProfiles(ticket);
    m_pool.close();
    if (profiles == Outcome::Stopped)
        return Outcome::Stopped;
    for (int row = 1; row < grid.rowCount(); ++row) {
        const bool fund = !grid.cell(row, 1).empty();
        m_counts.funds += fund;
        m_counts.profiles += fund && !grid.cell(row, kAssetSizeColumn).empty();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    view.setTitle(done);
    view.setTitle(took + intText(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()) + seconds);
    // The figures that did not arrive are told, not left to be found empty.
    if (const int missing = fundsWithoutProfile(); missing > 0)
        view.setCaption(Control::Progress, intText(missing) + withoutProfile);
    return Outcome::Done;
}

FullList::Outcome FullList::completeProfiles(const LoadTicket& ticket)
{
    View& view = m_context.models.view;
    const int rows = m_run->work.fundRowCount.load();
    m_phase.store(FullListPhase::Profiles);
    view.setProgress(0, rows);
    const Grid& grid = m_context.models.fundGrid;
    const bool started = m_pool.start(rows, std::min(maxWorkers, rows), [this, run = m_run, &grid](int row) {
        // A row its page never filled has no code to ask for.
        if (grid.cell(row, 1).empty())
            return;
        ++run->work.activeProfileWorkers; // counted before it starts, as the worker expects
        ProfileWorker {m_context, run->work, row}();
    });
    if (!started)
        return Outcome::Done; // no thread to be had: the rows stay without figures
    const auto poll = std::chrono::milliseconds(pollMilliseconds);
    int shownDone = 0;
    for (;;) {
        pumpEvents();
        if (stopped(ticket))
            return Outcome::Stopped;
        // The wait ends only when every row has been started and its worker
        // has ended, so the workbook never misses figures still on their way.
        const int done = m_pool.rowsDone();
        if (done >= rows)
            break;
        // The bar moves once per look (a few times a second at most), not once per row.
        if (done != shownDone)
            view.setProgress(shownDone = done, rows);
        m_pool.waitFor(poll, [this] { return m_cancel.load(); });
    }
    view.setProgress(rows, rows);
    return Outcome::Done;
}

} // namespace fw
