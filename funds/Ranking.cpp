#include "funds/Ranking.h"

#include "model/FigureColour.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <algorithm>
#include <cmath>

namespace fw {

namespace {

constexpr double kTolerance = 0.0000001;

struct FamilyRules {
    const char* restriction; // text between "ed=&" and "sc=" ("" for none)
    const char* defaultKey;  // nullptr: the family always sends the caller's key
    const char* rnd;
};

FamilyRules rulesOf(RankingFamily family)
{
    switch (family) {
    case RankingFamily::FiveStar: return {"rt=sz,5&", "jn", "0.01942454964583651"};
    case RankingFamily::Sector: return {"tp=BK0", "3y", "0.6496325281618789"};
    case RankingFamily::Board: return {"", nullptr, "0.9509419468855504"};
    case RankingFamily::FullListProbe: return {"", "r", "0.9027817428207583"};
    case RankingFamily::FullListPage: return {"", "3y", "0.6066118187338245"};
    }
    return {"", nullptr, ""};
}

// Grid columns 4 … 12 and the entry fields they show.
constexpr int kReturnFields[] = {17, 5, 6, 7, 8, 4, 9, 10, 11};
constexpr int kFirstReturnColumn = 4;
constexpr int kLastReturnColumn = 12;

} // namespace

Text RankingQuery::queryText() const
{
    const FamilyRules rules = rulesOf(family);
    Text q = "dt=4&sd=&ed=&";
    q += rules.restriction;
    if (family == RankingFamily::Sector)
        q += sectorDigits + "&";
    const bool chosen = rules.defaultKey == nullptr || (!sortKey.empty() && !direction.empty());
    q += "sc=";
    q += chosen ? sortKey : Text(rules.defaultKey);
    q += "&st=";
    q += chosen ? direction : Text("desc");
    q += "&pi=";
    q += intText(family == RankingFamily::FullListProbe ? 1 : page);
    q += "&pn=20&zf=diy&sh=list&rnd=";
    q += rules.rnd;
    return q;
}

Text RankingQuery::url() const
{
    return serviceHosts().url(HostRole::FundList, "/data/FundGuideapi.aspx?" + queryText());
}

Text sortKeyOfColumn(int column)
{
    static const char* const keys[] = {"r", "z", "1y", "3y", "6y", "jn", "1n", "2n", "3n"};
    if (column < kFirstReturnColumn || column > kLastReturnColumn)
        return {};
    return keys[column - kFirstReturnColumn];
}

JsonDocument parseRankingAnswer(std::string_view utf8Body)
{
    static const Text marker = "var rankData =";
    JsonDocument page;
    page.parse(textAfterLast(utf8ToGbk(utf8Body), marker));
    return page;
}

JsonDocument fetchRankingPage(std::string_view url, int timeoutSeconds, Text* status, const RetryPolicy* retry)
{
    HttpRequestOptions options;
    options.timeoutSeconds = timeoutSeconds;
    fetchMaybeRetrying(url, options, retry);
    if (status)
        *status = options.status;
    // The body is read raw: the answer is UTF-8 and declares no charset.
    return parseRankingAnswer(options.responseBytes);
}

int rankingEntryCount(const JsonDocument& page)
{
    return page.typeOf("datas") == JsonType::Array ? page.memberCount("datas") : 0;
}

Text rankingEntry(const JsonDocument& page, int index)
{
    return page.getText("datas[" + intText(index) + "]");
}

void writeFundRow(Grid& grid, int row, std::string_view entry)
{
    const TextList fields = splitText(entry, ",");
    auto field = [&fields](int i) -> const Text& {
        static const Text empty;
        return size_t(i) < fields.size() ? fields[size_t(i)] : empty;
    };
    TextList cells;
    cells.reserve(13);
    cells.push_back(field(1));
    cells.push_back(field(0));
    cells.push_back(field(3));
    cells.push_back(field(15));
    for (int f : kReturnFields)
        cells.push_back(field(f).empty() ? Text("-") : field(f) + "%");
    grid.setRow(row, 0, cells);
}

void colourReturnCells(Grid& grid, int firstRow, int lastRow)
{
    std::vector<Colour> colours(kLastReturnColumn - kFirstReturnColumn + 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = kFirstReturnColumn; column <= kLastReturnColumn; ++column)
            colours[size_t(column - kFirstReturnColumn)] = figureColour(FigureUse::FundGridReturn, textValue(grid.cell(row, column)));
        grid.setRowColours(row, kFirstReturnColumn, colours);
    }
}

namespace {

// An announced page count cut to the pages the grid has rows for.
long long boundedPageCount(double allPages)
{
    return std::clamp<long long>(truncToInt(allPages), 0, Grid::kMaxRows / 20 + 1);
}

} // namespace

int rankingRowCount(double allPages) { return int(boundedPageCount(allPages) * 20 + 1); }

Text NumberedTitle::with(long long n) const { return before + intText(n) + after; }

LoadResult loadPagedRanking(FeatureContext& context, const PagedListParams& params, const LoadTicket& ticket)
{
    Grid& grid = context.models.fundGrid;
    View& view = context.models.view;
    auto superseded = [&] { return !context.fundGridLoads.isCurrent(ticket); };
    if (superseded())
        return {LoadOutcome::Superseded, 0, {}};

    grid.reset();
    JsonDocument answer = fetchRankingPage(params.probeUrl, context.timeoutSeconds);
    if (superseded())
        return {LoadOutcome::Superseded, 0, {}};

    static const Text loadSection = gbk("加载数据"), loadAll = gbk("是否全部加载"), yes = gbk("真");
    const bool allPages = context.loadAllPages ? *context.loadAllPages
                                               : context.config.read(loadSection, loadAll) == yes;
    // The page count is fixed by the probe; a bogus count is bounded by the grid.
    const long long pages = allPages ? boundedPageCount(answer.getNumber("allPages")) : 1;
    int offset = 0;
    for (long long p = 1; p <= pages; ++p) {
        const double announced = answer.getNumber("allPages");
        if (announced - 1 > kTolerance && params.rowCountFor)
            grid.setRowCount(params.rowCountFor(announced));
        answer = fetchRankingPage(params.pageUrl(int(p)), context.timeoutSeconds);
        if (superseded())
            return {LoadOutcome::Superseded, offset, {}};
        const int n = rankingEntryCount(answer);
        for (int i = 1; i <= n; ++i)
            writeFundRow(grid, offset + i, rankingEntry(answer, i - 1));
        colourReturnCells(grid, offset + 1, offset + n);
        offset += n;
        view.setTitle(params.progress.with(offset));
    }

    const LoadResult result = grid.cell(1, 1).empty() ? LoadResult {LoadOutcome::Failed, offset, params.failureTitle}
                                                      : LoadResult {LoadOutcome::Done, offset, params.done.with(offset)};
    view.setTitle(result.title);
    return result;
}

} // namespace fw
