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
    const uint64_t ticket = work.gridTicket.load();
    auto current = [&] { return ticket == 0 || context.isCurrentFundGridLoad(ticket); };
    Grid& grid = context.models.fundGrid;
    if (!current())
        return;
    const Text code = grid.cell(row, 1);

    const FundProfile p = FundProfileFetch(code, context.timeoutSeconds).run();
    if (!current())
        return;
    grid.setRow(row, kAssetSizeColumn, {p.assetSize, p.tenureReturn, p.deviation, p.sharpe});
    context.models.view.setCaption(Control::Progress, intText(row) + "/" + intText(rows));
}

} // namespace fw
