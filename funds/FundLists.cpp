#include "funds/FundLists.h"

#include "funds/SectorRanking.h"
#include "text/CodePage.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <map>

namespace fw {

namespace {

// Designed texts, converted once each (the lists run on the UI thread only).
const Text& text(const char* utf8)
{
    static std::map<std::string_view, Text> cache;
    auto it = cache.find(utf8);
    if (it == cache.end())
        it = cache.emplace(utf8, gbk(utf8)).first;
    return it->second;
}

} // namespace

FundLists::FundLists(FeatureContext& context) : m_context(context) {}

const FundLists::Board& FundLists::board(int n)
{
    static const Board boards[] = {
        {"r", "desc", "1000", gbk("昨日涨幅榜")},
        {"1y", "desc", "0100", gbk("本月涨幅榜")},
        {"r", "asc", "0010", gbk("昨日跌幅榜")},
        {"1y", "asc", "0001", gbk("本月跌幅榜")},
    };
    return boards[(n < 1 || n > 4) ? 0 : n - 1];
}

void FundLists::endOfLoad(const LoadResult& result)
{
    if (result.outcome == LoadOutcome::Superseded || !m_sectorButtonOwed)
        return;
    m_sectorButtonOwed = false;
    m_context.models.view.setEnabled(Control::SectorButton, true);
}

void FundLists::fiveStarClicked()
{
    if (m_context.refuseGridLoad())
        return;
    m_context.models.view.setEnabled(Control::SectorButton, false);
    m_sectorButtonOwed = true;
    endOfLoad(loadFiveStarList({}, {}));
}

LoadResult FundLists::loadFiveStarList(const Text& key, const Text& direction)
{
    fiveStarListShown = true;
    const LoadTicket ticket = m_context.fundGridLoads.begin();
    PagedListParams params;
    params.probeUrl = RankingQuery{RankingFamily::FiveStar, {}, {}, 1, {}}.url();
    params.pageUrl = [key, direction](int page) {
        return RankingQuery{RankingFamily::FiveStar, key, direction, page, {}}.url();
    };
    params.rowCountFor = rankingRowCount;
    params.progress = {text("五星基金正在加载第"), text("条")};
    params.failureTitle = text("五星基金加载失败，请重试");
    params.done = {text("五星基金加载完毕，共"), text("支基金")};
    return loadPagedRanking(m_context, params, ticket);
}

void FundLists::boardClicked(int n, bool saveChoice)
{
    if (n < 1 || n > 4)
        return;
    static const Text section = gbk("启动加载数据"), key = gbk("加载");
    View& view = m_context.models.view;
    if (m_context.refuseGridLoad()) {
        // The window has already checked the clicked box: the old choice comes back.
        for (int b = 1; b <= 4; ++b)
            view.setChecked(boardControl(b), view.isChecked(boardControl(b)));
        return;
    }
    for (int b = 1; b <= 4; ++b)
        view.setChecked(boardControl(b), b == n);
    const Board& chosen = board(n);
    if (saveChoice)
        m_context.saveSetting(section, key, chosen.code);
    const LoadResult result = loadBoard(chosen.key, chosen.direction);
    if (result.outcome != LoadOutcome::Superseded)
        view.setTitle(chosen.title);
    endOfLoad(result);
}

LoadResult FundLists::loadBoard(const Text& key, const Text& direction)
{
    const LoadTicket ticket = m_context.fundGridLoads.begin();
    Grid& grid = m_context.models.fundGrid;
    grid.reset();
    const JsonDocument answer =
        fetchRankingPage(RankingQuery{RankingFamily::Board, key, direction, 1, {}}.url(), m_context.timeoutSeconds);
    if (!m_context.fundGridLoads.isCurrent(ticket))
        return {LoadOutcome::Superseded, 0, {}};
    const int n = rankingEntryCount(answer);
    for (int i = 1; i <= n; ++i)
        writeFundRow(grid, i, rankingEntry(answer, i - 1));
    colourReturnCells(grid, 1, n);
    return {n > 0 ? LoadOutcome::Done : LoadOutcome::Failed, n, {}};
}

void FundLists::sortByColumn(int, int column)
{
    View& view = m_context.models.view;
    if (m_context.refuseGridLoad())
        return;
    if (containsText(view.title(), text("正在加载"))) {
        view.messageBox(text("数据加载中，请稍后再试"));
        return;
    }
    sectorListMode = false;
    const Text key = sortKeyOfColumn(column);
    if (!key.empty())
        resortCurrentList(key);
}

void FundLists::resortCurrentList(const Text& key)
{
    const Text direction = nextSortAscending ? "asc" : "desc";
    endOfLoad(fiveStarListShown ? loadFiveStarList(key, direction)
                                : loadSectorList(currentSectorCode, key, direction));
    nextSortAscending = !nextSortAscending;
}

void FundLists::sectorButtonClicked()
{
    View& view = m_context.models.view;
    fiveStarListShown = false;
    view.setWindowState(Window::Sector, WindowState::Shown);
    view.setEnabled(Control::SectorButton, false);
}

void FundLists::sectorWindowDestroyed() { sectorListMode = false; }

LoadResult FundLists::chooseSector(const SectorList& list, int index)
{
    if (index < 0 || index >= list.size() || m_context.refuseGridLoad())
        return {LoadOutcome::Failed, 0, {}};
    sectorListMode = true;
    currentSectorName = list.names[size_t(index)];
    m_context.models.view.setWindowState(Window::Sector, WindowState::Hidden);
    // The digits stay text: BK0045 is asked for as BK0045, not BK045.
    const Text digits = textAfterLast(list.codes[size_t(index)], "BK0");
    const LoadResult result = loadSectorList(digits, {}, {});
    endOfLoad(result);
    return result;
}

LoadResult FundLists::loadSectorList(const Text& digits, const Text& key, const Text& direction)
{
    m_sectorButtonOwed = true; // every sector load ends by giving the button back
    const LoadTicket ticket = m_context.fundGridLoads.begin();
    PagedListParams params;
    params.probeUrl = RankingQuery{RankingFamily::Sector, {}, {}, 1, digits}.url();
    currentSectorCode = digits;
    const bool defaultOrder = sectorListMode;
    params.pageUrl = [=](int page) {
        return defaultOrder ? RankingQuery{RankingFamily::Sector, {}, {}, page, digits}.url()
                            : RankingQuery{RankingFamily::Sector, key, direction, page, digits}.url();
    };
    params.rowCountFor = rankingRowCount;
    params.progress = {currentSectorName + text("板块正在加载第"), text("条")};
    params.failureTitle = currentSectorName + text("板块加载失败，请重试");
    params.done = {currentSectorName + text("板块加载完毕，共"), text("支基金")};
    return loadPagedRanking(m_context, params, ticket);
}

} // namespace fw
