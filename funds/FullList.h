#pragma once
// The whole market into the fund grid for the workbook: the count probe, every
// page of the ranking, then the four profile figures of every row from up to
// five ProfileWorker threads, the time taken, and the export. Runs on the UI
// thread; the window handles its events between requests and while it waits
// for the workers. Esc (cancel) stops it without a workbook.
#include "funds/FeatureContext.h"
#include "funds/ProfileWorker.h"
#include "funds/RowPool.h"
#include <atomic>
#include <functional>
#include <memory>

namespace fw {

// Where a load stands: the count probe and the ranking pages, then the profiles.
enum class FullListPhase { Idle, Pages, Profiles };

// What a load that was not stopped brought into the fund grid.
struct FullListCounts {
    int funds = 0;    // rows with a fund
    int profiles = 0; // of those, rows with their profile figures
};

class FullList {
public:
    explicit FullList(FeatureContext& context);
    // Waits for the workers still running (none once a load has ended normally).
    ~FullList();
    FullList(const FullList&) = delete;
    FullList& operator=(const FullList&) = delete;

    // The 导出所有数据 button.
    void loadFullList();
    // Esc: a running load stops at once (the page or profile pages in flight
    // are abandoned), writes no workbook, and gives the buttons back.
    void cancel();
    bool running() const { return m_context.fullListRunning.load(); }

    // The export step, run at the end of a load that was not stopped.
    std::function<void()> exportFundGrid;

    // How many profile workers run at once, and the longest wait between two
    // looks at them (the window's events are handled at every look).
    int maxWorkers = 5;
    int pollMilliseconds = 20;
    // How the count probe, the pages and every profile page are tried again
    // after a transient failure (its `stop` is the load's own).
    RetryPolicy retry;

    // --- state, as the last load left it
    FullListPhase phase() const { return m_phase.load(); }
    // Counted once the profiles are in, before the export step runs.
    FullListCounts counts() const { return m_counts; }
    int fundRowCount() const { return m_run ? m_run->work.fundRowCount.load() : 0; }
    int fullListPageCount = 0;
    // Profile workers still running: after a stop they end without waiting
    // out a back-off or asking for their remaining pages.
    int activeProfileWorkers() const { return m_run ? m_run->work.activeProfileWorkers.load() : 0; }
    // Funds whose profile pages still failed after every try.
    int fundsWithoutProfile() const { return m_run ? m_run->work.fundsWithoutProfile.load() : 0; }

private:
    enum class Outcome { Done, Stopped };
    // What the profile workers of one load share; the pool's threads keep the
    // load's own alive, so workers left over from a cancelled load never count
    // in a newer one. At most maxWorkers threads take the rows in order (RowPool.h).
    struct Run {
        ProfileWork work;
    };

    Outcome load(const LoadTicket& ticket);
    Outcome completeProfiles(const LoadTicket& ticket);
    bool stopped(const LoadTicket& ticket) const;

    FeatureContext& m_context;
    std::shared_ptr<Run> m_run;
    std::atomic<bool> m_cancel {false};
    std::atomic<FullListPhase> m_phase {FullListPhase::Idle};
    FullListCounts m_counts;
    // Every request of a load carries its ticket: Esc abandons those in flight.
    LoadToken m_load;
    RowPool m_pool;
};

} // namespace fw
