#include "funds/ProfileWorker.h"

#include "funds/FundProfileFetch.h"
#include "text/NumberText.h"

namespace fw {

void ProfileWorker::operator()() const
{
    // The starter counted this worker; the count comes back however it ends,
    // or a starter waiting for the count to fall would wait for ever.
    struct GiveBack {
        std::atomic<int>& count;
        ~GiveBack() { count.fetch_sub(1); }
    } giveBack {work.activeProfileWorkers};

    const int rows = work.fundRowCount.load();
    if (row < 1 || row > rows)
        return;
    LoadToken& gridLoads = context.fundGridLoads;
    const LoadTicket& ticket = work.gridTicket;
    Grid& grid = context.models.fundGrid;
    if (!gridLoads.isCurrent(ticket))
        return;
    const Text code = grid.cell(row, 1);

    std::optional<RetryPolicy> retry = work.retry;
    if (retry)
        retry->stop = [&] { return work.cancelled.load() || !gridLoads.isCurrent(ticket); };
    // A stopped load asks for no further page.
    const FundProfile p = FundProfileFetch(code, context.timeoutSeconds, retry ? &*retry : nullptr)
                              .run([&](int, const Text&) { return !work.cancelled.load(); });
    // Checked and written in one step: once a newer list has begun (and may
    // have reset the grid), nothing of this row lands.
    gridLoads.write(ticket, [&] {
        if (p.failedPages > 0)
            work.fundsWithoutProfile.fetch_add(1);
        grid.setRow(row, kAssetSizeColumn, {p.assetSize, p.tenureReturn, p.deviation, p.sharpe});
        context.models.view.setCaption(Control::Progress, intText(row) + "/" + intText(rows));
    });
}

} // namespace fw
