#include "app/MainController.h"

#include "store/AppPaths.h"
#include "app/Autostart.h"
#include "net/EventPump.h"
#include "text/CodePage.h"
#include "text/TextOps.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

namespace {

// Configuration sections and keys (GBK), built once.
struct Keys {
    Text loadSection = gbk("加载数据"), loadAll = gbk("是否全部加载");
    Text autostartSection = gbk("开机自启"), autostart = gbk("自启");
    Text boardSection = gbk("启动加载数据"), board = gbk("加载");
    Text watchSection = gbk("自选数据"), watch = gbk("自选");
    Text yes = gbk("真"), no = gbk("假");
};

const Keys& keys()
{
    static const Keys k;
    return k;
}

int localDayOfMonth()
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return local.tm_mday;
}

} // namespace

MainController::MainController(MainModels& models, ConfigFile& config, ControllerEnvironment env)
    : m_models(models), m_config(config), m_env(std::move(env)),
      m_context(models, config, m_env.timeoutSeconds, m_env.dataDirectory), m_fundLists(m_context), m_sectors(m_context, m_fundLists),
      m_details(m_context), m_watchlist(m_context), m_search(m_context, m_details), m_chart(m_context, m_details),
      m_steps(m_context), m_export(models, m_env.dataDirectory), m_fullList(m_context),
      m_ledger(m_context, m_env.dataDirectory, m_env.clock), m_estimateRecorder(m_env.dataDirectory, m_env.clock)
{
    m_fullList.exportFundGrid = [this] { m_export.exportFundGrid(); };
}

// ---- window

void MainController::onCreated()
{
    const Keys& k = keys();
    View& view = m_models.view;
    m_fundLists.sectorListMode = true;

    // The ledger first: a new database takes [持仓] as it stands before
    // anything else runs. One that cannot be opened stays untouched and the
    // 持仓 window says why.
    m_ledger.start(m_config);

    if (!m_config.exists()) {
        // First run: this write creates the file; the stored settings below are skipped.
        m_context.saveSetting(k.loadSection, k.loadAll, k.no);
    } else {
        // The hidden step window exists only for the automatic submission.
        m_steps.submitAtStart(m_env.todayDayOfMonth ? m_env.todayDayOfMonth() : localDayOfMonth());

        // Selecting the boxes here runs no click handler: nothing is rewritten.
        if (m_config.read(k.loadSection, k.loadAll) == k.yes)
            view.setChecked(Control::LoadAllBox, true);
        if (m_config.read(k.autostartSection, k.autostart) == k.yes)
            view.setChecked(Control::AutostartBox, true);
    }

    const Text board = m_config.read(k.boardSection, k.board);
    bool loaded = false;
    for (int n = 1; n <= 4 && !loaded; ++n) {
        if (board == FundLists::board(n).code) {
            onBoardClicked(n); // selects the radio box, writes the code back, loads the board
            loaded = true;
        }
    }
    // A newcomer trying the demo sees a board at once; their own choice is
    // still unmade, so nothing is written.
    if (!loaded && m_env.demo && board.empty())
        m_fundLists.boardClicked(1, false);

    m_watchlist.load();
    writeMarkerFile();
}

void MainController::onEstimateRecordTick()
{
    // Only once the ledger has its database: the log is kept there.
    if (m_ledger.isOpen())
        m_estimateRecorder.tick(storedWatchlist(m_config), m_context.requestOptions());
}

void MainController::onClosing()
{
    m_estimateRecorder.cancel();
    // Every download in flight ends now, so the process can quit at once.
    abortAllTransfers();
}

void MainController::writeMarkerFile()
{
    const std::string& path = m_env.markerFilePath;
    if (path.empty())
        return;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT)
        return; // present (or not ours to touch): left unchanged
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash)))
        return;
    // O_EXCL: a file that appeared in the meantime is never overwritten.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    static const Text content = gbk("10月30日0");
    bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!ok)
        ::unlink(path.c_str()); // no half-written marker
}

// ---- grids

void MainController::onFundGridHeaderClicked(int row, int column) { m_fundLists.sortByColumn(row, column); }
void MainController::onFundGridCellPicked(int, int) { m_details.fundGridCellPicked(); }
void MainController::onHoldingsGridCellPicked(int grid, int, int) { m_details.holdingsGridCellPicked(grid); }

void MainController::onHoldingsGridRightButton(int grid) { m_watchlist.stockMenuOpened(grid); }

// ---- lists and search

void MainController::onWatchlistItem() { m_details.watchlistItemClicked(); }

void MainController::onSearchFocused() { m_search.clearSearchBox(); }
void MainController::onSearchChanged(std::string_view gbkText) { m_search.showSearchSuggestions(gbkText); }
void MainController::onSuggestionDoubleClicked() { m_search.suggestionDoubleClicked(); }

// ---- menus

void MainController::onMenuAddComparison() { m_chart.addComparisonBase(); }
void MainController::onMenuAddWatchFund() { m_watchlist.addFund(); }
void MainController::onMenuRemoveComparison() { m_chart.removeComparisonBase(); }
void MainController::onMenuAddWatchStock() { m_watchlist.addStock(); }
void MainController::onMenuRemoveWatch() { m_watchlist.remove(); }

// ---- buttons and options

void MainController::onFiveStarClicked() { m_fundLists.fiveStarClicked(); }
void MainController::onSectorButtonClicked() { m_fundLists.sectorButtonClicked(); }

void MainController::onSectorButtonHover()
{
    static const Text tip = gbk("首次加载较慢");
    m_models.view.showTooltip(Control::SectorButton, tip);
}

void MainController::onStepButtonClicked() { m_steps.openWindow(); }
void MainController::onStepWindowClosed() { m_steps.windowClosed(); }

void MainController::onExportClicked() { m_fullList.loadFullList(); }
void MainController::onEscapePressed() { m_fullList.cancel(); }

void MainController::onBoardClicked(int board) { m_fundLists.boardClicked(board); }

void MainController::onLoadAllClicked(bool checkedAfterClick)
{
    const Keys& k = keys();
    m_models.view.setChecked(Control::LoadAllBox, checkedAfterClick);
    m_context.saveSetting(k.loadSection, k.loadAll, checkedAfterClick ? k.yes : k.no);
}

void MainController::onLoadAllHover()
{
    static const Text tip = gbk("加载板块所有数据，对于数据较多的板块加载较慢。");
    m_models.view.showTooltip(Control::LoadAllBox, tip);
}

void MainController::onAutostartClicked(bool checkedAfterClick)
{
    const Keys& k = keys();
    m_models.view.setChecked(Control::AutostartBox, checkedAfterClick);
    // Not reported either way: the box keeps the state the user gave it.
    if (checkedAfterClick)
        enableStartAtLogin(executablePath());
    else
        disableStartAtLogin();
    m_context.saveSetting(k.autostartSection, k.autostart, checkedAfterClick ? k.yes : k.no);
}

void MainController::onChartPeriodClicked(int button) { m_chart.periodClicked(button); }
void MainController::onChartMouseMoved(int x, int y) { m_chart.pointerMoved(x, y); }

void MainController::onClosePicturePressed() { m_details.closeStockPage(); }

// ---- sector window

void MainController::onSectorWindowCreated() { m_sectors.windowCreated(); }
void MainController::onSectorPeriodClicked(int button) { m_sectors.periodClicked(button); }
void MainController::onSectorTileClicked(int tile) { m_sectors.tileClicked(tile); }
void MainController::onSectorWindowDestroyed() { m_sectors.windowDestroyed(); }

// ---- step window

void MainController::onStepWindowCreated() { m_steps.windowCreated(); }
void MainController::onStepSaveClicked() { m_steps.saveClicked(); }
void MainController::onStepUsageHover() { m_steps.usageHovered(); }

} // namespace fw
