#include "app/MainController.h"

#include "app/AppPaths.h"
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
      m_context(models, config, m_env.timeoutSeconds), m_fundLists(m_context), m_sectors(m_context, m_fundLists),
      m_steps(m_context)
{
}

// ---- window

void MainController::onCreated()
{
    const Keys& k = keys();
    View& view = m_models.view;
    m_fundLists.sectorListMode = true;

    if (!m_config.exists()) {
        // First run: this write creates the file; the stored settings below are skipped.
        m_config.write(k.loadSection, k.loadAll, k.no);
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
    for (int n = 1; n <= 4; ++n) {
        if (board == FundLists::board(n).code) {
            onBoardClicked(n); // selects the radio box, writes the code back, loads the board
            break;
        }
    }

    fillWatchlist();
    writeMarkerFile();
}

void MainController::onClosing()
{
    // Every download in flight ends now, so the process can quit at once.
    abortAllTransfers();
}

void MainController::fillWatchlist()
{
    const Keys& k = keys();
    const Text stored = m_config.read(k.watchSection, k.watch);
    if (stored.empty())
        return;
    static const Text slash = "/";
    int number = 0;
    for (const Text& entry : splitText(stored, "|")) {
        TextList fields = splitText(entry, slash);
        // An entry without code, name and type (e.g. the last one of a value cut
        // at the read limit) is not shown; the rows shown are numbered 1, 2, … .
        if (fields.size() < 3)
            continue;
        m_models.watchlist.addRow({std::to_string(++number), fields[0], fields[1], fields[2]});
    }
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
void MainController::onFundGridCellPicked(int, int) {}
void MainController::onHoldingsGridCellPicked(int, int, int) {}

void MainController::onHoldingsGridRightButton(int grid)
{
    if (grid == 3 || grid == 4)
        m_state.menu2Opener = grid;
}

// ---- lists and search

void MainController::onWatchlistItem() {}

void MainController::onSearchFocused()
{
    // Any text goes, not only the hint.
    m_models.view.setEditText(Control::SearchBox, "");
    m_models.view.setTextColour(Control::SearchBox, 0x000000);
}

void MainController::onSearchChanged(std::string_view) {}
void MainController::onSuggestionDoubleClicked() {}

// ---- menus

void MainController::onMenuAddComparison() {}
void MainController::onMenuAddWatchFund() {}
void MainController::onMenuRemoveComparison() {}
void MainController::onMenuAddWatchStock() {}
void MainController::onMenuRemoveWatch() {}

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

void MainController::onExportClicked() {}

void MainController::onBoardClicked(int board) { m_fundLists.boardClicked(board); }

void MainController::onLoadAllClicked(bool checkedAfterClick)
{
    const Keys& k = keys();
    m_models.view.setChecked(Control::LoadAllBox, checkedAfterClick);
    m_config.write(k.loadSection, k.loadAll, checkedAfterClick ? k.yes : k.no);
}

void MainController::onLoadAllHover()
{
    static const Text tip = gbk("加载板块所有数据，对于数据较多的板块加载较慢。");
    m_models.view.showTooltip(Control::LoadAllBox, tip);
}

void MainController::onAutostartClicked(bool) {}
void MainController::onChartPeriodClicked(int) {}
void MainController::onChartMouseMoved(int, int) {}

void MainController::onClosePicturePressed()
{
    View& view = m_models.view;
    view.closeStockPage();
    view.setVisible(Control::StockFrame, false);
    view.setVisible(Control::StockBrowser, false);
}

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
