#include "funds/FullList.h"

#include "funds/Ranking.h"
#include "net/EventPump.h"
#include "text/NumberText.h"

#include <algorithm>
#include <chrono>

namespace fw {

namespace {

// Buttons the load takes away; only a cancelled load gives them back.
constexpr Control kHeldButtons[] = {Control::SectorButton, Control::FiveStarButton, Control::StepButton};

constexpr auto kProgressStep = std::chrono::milliseconds(50);

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
        closeRun(true);
    reapThreads(true);
}

void FullList::cancel()
{
    if (!running())
        return;
    m_cancel.store(true);
    std::lock_guard lock(m_endMutex);
    m_workerEnded.notify_all();
}

bool FullList::stopped(uint64_t ticket) const
{
    return m_cancel.load() || !m_context.isCurrentFundGridLoad(ticket);
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
    reapThreads(false);
    const uint64_t ticket = m_context.beginFundGridLoad();
    m_run = std::make_shared<Run>();
    m_run->work.gridTicket = ticket;

    const Outcome outcome = load(ticket);
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

FullList::Outcome FullList::load(uint64_t ticket)
{
    Grid& grid = m_context.models.fundGrid;
    View& view = m_context.models.view;
    static const Text fundsBefore = gbk("共"), fundsAfter = gbk("支基金"), pagesAfter = gbk("页"),
                      loading = gbk("正在加载第"), done = gbk("加载完毕"), took = gbk("加载时间"),
                      seconds = gbk("秒");

    grid.reset();
    view.setProgress(0, 1);
    const JsonDocument probe =
        fetchRankingPage(RankingQuery {RankingFamily::FullListProbe, {}, {}, 1, {}}.url(), m_context.timeoutSeconds);
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
        const JsonDocument page = fetchRankingPage(
            RankingQuery {RankingFamily::FullListPage, {}, {}, p, {}}.url(), m_context.timeoutSeconds);
        if (stopped(ticket))
            return Outcome::Stopped;
        const int n = rankingEntryCount(page);
        for (int i = 1; i <= n; ++i)
            writeFundRow(grid, offset + i, rankingEntry(page, i - 1));
        offset += n;
    }

    const Outcome profiles = completeProfiles(ticket);
    closeRun(profiles == Outcome::Stopped);
    if (profiles == Outcome::Stopped)
        return Outcome::Stopped;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    view.setTitle(done);
    view.setTitle(took + intText(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()) + seconds);
    return Outcome::Done;
}

FullList::Outcome FullList::completeProfiles(uint64_t ticket)
{
    Grid& grid = m_context.models.fundGrid;
    View& view = m_context.models.view;
    Run& run = *m_run;
    const int rows = run.work.fundRowCount.load();
    int started = 0;
    int shownDone = -1;
    auto shownAt = std::chrono::steady_clock::time_point {};
    const auto poll = std::chrono::milliseconds(pollMilliseconds);
    auto lastPump = std::chrono::steady_clock::now();
    for (;;) {
        // Many rows without a code are passed over without a wait: the
        // window still gets its turn.
        if (const auto now = std::chrono::steady_clock::now(); now - lastPump >= poll) {
            pumpEvents();
            lastPump = now;
        }
        if (stopped(ticket))
            return Outcome::Stopped;
        uint64_t endsSeen;
        {
            std::lock_guard lock(m_endMutex);
            endsSeen = m_workerEnds;
        }
        // The bar moves a few times a second, not once per row: each move repaints.
        if (const int doneNow = run.rowsDone.load();
            doneNow != shownDone && std::chrono::steady_clock::now() - shownAt >= kProgressStep) {
            view.setProgress(doneNow, rows);
            shownDone = doneNow;
            shownAt = std::chrono::steady_clock::now();
        }
        const int active = run.work.activeProfileWorkers.load();
        // The wait ends only when every row has its worker and none is left,
        // so the workbook never misses figures still on their way.
        if (started >= rows && active == 0)
            break;
        if (started < rows && active < maxWorkers) {
            ++started;
            // A row its page never filled has no code to ask for.
            if (grid.cell(started, 1).empty() || !startWorker(started))
                ++run.rowsDone;
            continue;
        }
        pumpEvents();
        lastPump = std::chrono::steady_clock::now();
        std::unique_lock lock(m_endMutex);
        m_workerEnded.wait_for(lock, poll, [&] { return m_workerEnds != endsSeen || m_cancel.load(); });
    }
    view.setProgress(rows, rows);
    return Outcome::Done;
}

bool FullList::startWorker(int row)
{
    Run& run = *m_run;
    ++run.work.activeProfileWorkers;
    {
        std::lock_guard lock(run.mutex);
        run.rows.push_back(row);
    }
    run.rowQueued.notify_one();
    // One more thread while fewer run than rows may be in flight.
    if (run.threads < maxWorkers) {
        try {
            auto done = std::make_shared<std::atomic<bool>>(false);
            std::thread thread([this, shared = m_run, done] {
                runRows(shared);
                done->store(true);
            });
            m_threads.push_back({std::move(thread), std::move(done)});
            ++run.threads;
        } catch (const std::system_error&) {
            // The threads there are take the row; without any it stays undone.
            if (run.threads == 0) {
                std::lock_guard lock(run.mutex);
                run.rows.pop_back();
                --run.work.activeProfileWorkers;
                return false;
            }
        }
    }
    return true;
}

void FullList::runRows(const std::shared_ptr<Run>& run)
{
    for (;;) {
        int row;
        {
            std::unique_lock lock(run->mutex);
            run->rowQueued.wait(lock, [&] { return run->closed || !run->rows.empty(); });
            if (run->rows.empty())
                return;
            row = run->rows.front();
            run->rows.pop_front();
        }
        ProfileWorker {m_context, run->work, row}();
        ++run->rowsDone;
        {
            std::lock_guard lock(m_endMutex);
            ++m_workerEnds;
        }
        m_workerEnded.notify_all();
    }
}

void FullList::closeRun(bool dropQueued)
{
    Run& run = *m_run;
    {
        std::lock_guard lock(run.mutex);
        run.closed = true;
        if (dropQueued) {
            run.work.activeProfileWorkers -= int(run.rows.size());
            run.rows.clear();
        }
    }
    run.rowQueued.notify_all();
}

void FullList::reapThreads(bool all)
{
    std::erase_if(m_threads, [all](Thread& t) {
        if (!all && !t.done->load())
            return false;
        if (t.thread.joinable())
            t.thread.join();
        return true;
    });
}

} // namespace fw
