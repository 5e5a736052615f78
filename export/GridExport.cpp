#include "export/GridExport.h"

#include "export/Workbook.h"
#include "net/EventPump.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fw {

namespace {

// Runs `job` on a thread of its own; the calling thread keeps handling the
// window's events (at least every 20 ms) until the job has ended.
template <typename Job>
void runBesideTheWindow(Job&& job)
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
        job();
        std::lock_guard lock(mutex);
        done = true;
        ended.notify_one();
    });
    for (;;) {
        pumpEvents();
        std::unique_lock lock(mutex);
        if (ended.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; }))
            break;
    }
    worker.join();
}

SheetCells cellsOf(const Grid& grid)
{
    SheetCells cells;
    cells.columns = grid.columnCount();
    const int rows = grid.rowCount();
    cells.rows.resize(size_t(rows));
    for (int r = 0; r < rows; ++r) {
        TextList& row = cells.rows[size_t(r)];
        row.reserve(size_t(cells.columns));
        for (int c = 0; c < cells.columns; ++c)
            row.push_back(grid.cell(r, c));
    }
    return cells;
}

SheetCells cellsOf(const ListModel& list)
{
    SheetCells cells;
    cells.columns = int(list.columns().size());
    TextList titles;
    for (const ListColumn& column : list.columns())
        titles.push_back(column.title);
    cells.rows.push_back(std::move(titles));
    for (TextList& row : list.rows()) {
        row.resize(size_t(cells.columns));
        cells.rows.push_back(std::move(row));
    }
    return cells;
}

std::tm localNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm local {};
    localtime_r(&t, &local);
    return local;
}

} // namespace

ExportResult exportGridToWorkbook(View& view, const ListModel* list, bool useList, const Grid* grid, bool useGrid,
                                  const std::string& path)
{
    auto refused = [&view](const Text& message) {
        view.messageBox(message);
        return ExportResult {false, message};
    };
    if (!useList && !useGrid)
        return refused(gbk("超级列表框与高级列表框不能同为空!"));
    if (useList && useGrid)
        return refused(gbk("超级列表框与高级列表框不能同时保存!"));
    if ((useGrid && !grid) || (useList && !list))
        return {};

    // The texts are taken on this thread, as they stand now; the file is
    // written beside the window.
    const SheetCells cells = useGrid ? cellsOf(*grid) : cellsOf(*list);
    WriteResult result;
    runBesideTheWindow([&] { result = writeWorkbook(cells, path); });
    if (!result.ok)
        return refused(gbk("数据导出失败：") + result.reason);
    return {true, {}};
}

WorkbookExport::WorkbookExport(MainModels& models, std::string dataDir)
    : now(localNow), m_models(models), m_dataDir(std::move(dataDir))
{
}

std::string WorkbookExport::outputPath() const
{
    const std::tm date = now ? now() : localNow();
    return (m_dataDir.empty() ? std::string(".") : m_dataDir) + "/" + std::to_string(date.tm_mon + 1) + "月"
        + std::to_string(date.tm_mday) + "日.xlsx";
}

bool WorkbookExport::exportFundGrid()
{
    View& view = m_models.view;
    static const Text exporting = gbk("数据导出中"), took = gbk("导出时间"), seconds = gbk("秒");
    view.setCaption(Control::Status, exporting);
    const auto start = std::chrono::steady_clock::now();
    const bool written = exportGridToWorkbook(view, nullptr, false, &m_models.fundGrid, true, outputPath()).written;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    view.setCaption(Control::Status,
                    took + intText(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()) + seconds);
    return written;
}

} // namespace fw
