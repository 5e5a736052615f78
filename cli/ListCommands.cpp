// five-star, board, sectors and sector: the fund lists and the sector window's
// list, loaded by the window's own features into the models, read back.
#include "cli/Commands.h"
#include "cli/Progress.h"

#include "funds/EstimateRecord.h"
#include "funds/FundLists.h"
#include "funds/HoldingsEstimate.h"
#include "funds/SectorRanking.h"
#include "text/CodePage.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <cctype>
#include <optional>
#include <vector>

namespace fw::cli {

namespace {

// The bar of a paged load: rows written of the rows the probe announced.
class GridProgress {
public:
    GridProgress(Grid& grid, CliSession& session, const std::string& label)
        : m_grid(grid), m_bar(session.io.err, session.options.all && session.io.errIsTerminal, label)
    {
        if (!m_bar.enabled())
            return;
        m_listener = grid.addListener([this](const GridChange& change) {
            if (change.kind == GridChange::Cells)
                m_done = std::max(m_done, change.lastRow);
            m_bar.update(m_done, std::max(m_done, m_grid.rowCount() - 1));
        });
    }
    ~GridProgress()
    {
        if (m_listener)
            m_grid.removeListener(m_listener);
    }

private:
    Grid& m_grid;
    ProgressBar m_bar;
    int m_listener = 0;
    int m_done = 0;
};

// Today's estimate of every listed fund, the funds sharing their quote
// requests, on five workers within the process's bound of bulk rows. False
// when Ctrl-C stopped it.
bool fetchEstimates(CliSession& session, int rows, std::vector<std::optional<HoldingsEstimate>>& estimates)
{
    const Grid& grid = session.models.fundGrid;
    estimates.assign(size_t(std::max(rows, 0)), std::nullopt);
    std::vector<EstimateFund> funds;
    std::vector<std::string> codes;
    std::vector<size_t> rowOf;
    for (int row = 1; row <= rows; ++row) {
        if (!grid.cell(row, 1).empty()) {
            funds.push_back({grid.cell(row, 1), grid.cell(row, 0)});
            codes.push_back(grid.cell(row, 1));
            rowOf.push_back(size_t(row - 1));
        }
    }
    // Each fund's estimate chosen by the errors logged of it, read at once.
    std::vector<ModelErrors> errors = loggedErrors(session.dataDir, codes);
    for (size_t k = 0; k < funds.size() && k < errors.size(); ++k)
        funds[k].errors = std::move(errors[k]);
    // A bulk load: an answer that fails for a moment is tried again, until
    // Ctrl-C, which cancels the load: the requests in flight are abandoned.
    LoadToken load;
    RetryPolicy retry;
    retry.stop = [] { return cancelRequested(); };
    retry.load = load.begin();
    HttpRequestOptions base = session.context.requestOptions();
    base.load = retry.load;
    std::vector<EstimateOutcome> outcomes;
    std::atomic<bool> done {false};
    std::thread fetching([&] {
        outcomes = fetchEstimates(funds, base, &retry);
        done = true;
    });
    while (!done) {
        if (cancelRequested())
            load.cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    fetching.join();
    if (cancelRequested())
        return false; // estimates cut short are no answer either
    for (size_t k = 0; k < outcomes.size() && k < rowOf.size(); ++k)
        estimates[rowOf[k]] = std::move(outcomes[k].estimate);
    return true;
}

// The rows a finished load wrote under the caption, or its failure.
int showFundList(CliSession& session, const LoadResult& result, const Text& listName, const Text& captionText,
                 const Text& failure)
{
    if (cancelRequested())
        return kExitInterrupted;
    if (result.outcome != LoadOutcome::Done) {
        session.errorGbk(failure);
        return kExitFailed;
    }
    const Grid& grid = session.models.fundGrid;
    const std::string caption = gbkToUtf8(captionText);
    const bool withEstimates = session.options.estimate;
    std::vector<std::optional<HoldingsEstimate>> estimates;
    if (withEstimates && !fetchEstimates(session, result.funds, estimates))
        return kExitInterrupted;
    if (outputFormat(session) == OutputFormat::Json) {
        Json doc = Json::object();
        doc["list"] = gbkToUtf8(listName);
        doc["count"] = result.funds;
        Json funds = fundListJson(grid, result.funds);
        if (withEstimates) {
            // The figures as the texts round them, as the fund command gives them.
            for (size_t k = 0; k < funds.size() && k < estimates.size(); ++k) {
                const std::optional<HoldingsEstimate>& e = estimates[k];
                funds[k]["estimate"] = e ? Json(e->shownChange()) : Json(nullptr);
                funds[k]["coverage"] = e && e->coverage ? Json(*e->shownCoverage()) : Json(nullptr);
            }
        }
        doc["funds"] = std::move(funds);
        session.io.out << doc.dump(2) << '\n';
    } else {
        TextTable table = fundListTable(grid, result.funds);
        if (withEstimates) {
            table.header.push_back("今日估算");
            table.rightAligned.resize(table.header.size() - 1, false);
            table.rightAligned.push_back(true);
            for (size_t k = 0; k < table.rows.size() && k < estimates.size(); ++k) {
                const std::optional<HoldingsEstimate>& e = estimates[k];
                table.rows[k].push_back(
                    {e ? gbkToUtf8(estimateChangeText(e->change)) : std::string("--"), estimateColour(e)});
            }
        }
        writeTable(session, table, caption);
    }
    return kExitDone;
}

bool sameAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool looksLikeSectorCode(const std::string& text)
{
    return text.size() > 3 && sameAsciiCase(text.substr(0, 3), "BK0")
        && std::all_of(text.begin() + 3, text.end(), ::isdigit);
}

} // namespace

int runFiveStar(CliSession& session)
{
    const CliOptions& o = session.options;
    FundLists lists(session.context);
    session.context.loadAllPages = o.all;
    static const Text listName = gbk("五星基金");
    // The list's own order unless a column or a direction is asked for; the
    // direction alone sorts the default column.
    Text key = o.sortKey, direction;
    if (!key.empty() || o.ascending) {
        if (key.empty())
            key = "jn";
        direction = o.ascending ? "asc" : "desc";
    }
    LoadResult result;
    {
        GridProgress progress(session.models.fundGrid, session, gbkToUtf8(listName));
        result = lists.loadFiveStarList(key, direction);
    }
    return showFundList(session, result, listName, result.title, result.title);
}

int runBoard(CliSession& session)
{
    const int n = session.options.arguments[0][0] - '0';
    const FundLists::Board& board = FundLists::board(n);
    FundLists lists(session.context);
    const LoadResult result = lists.loadBoard(board.key, board.direction);
    return showFundList(session, result, board.title, board.title, board.title + gbk("加载失败，请重试"));
}

int runSectors(CliSession& session)
{
    const CliOptions& o = session.options;
    const int button = o.period.empty() ? 1 : sectorPeriodButton(o.period);
    FundLists lists(session.context);
    SectorChooser chooser(session.context, lists);
    if (button == 1)
        chooser.windowCreated();
    else
        chooser.periodClicked(button);
    if (cancelRequested())
        return kExitInterrupted;
    const SectorList& list = chooser.list();
    if (list.empty()) {
        session.errorGbk(chooser.failure());
        return kExitFailed;
    }

    const SectorPeriod& period = sectorPeriod(button);
    if (outputFormat(session) == OutputFormat::Json) {
        Json doc = Json::object();
        doc["period"] = period.newKey;
        doc["caption"] = gbkToUtf8(period.captionLine);
        Json sectors = Json::array();
        for (int k = 0; k < list.size(); ++k)
            sectors.push_back({{"code", gbkToUtf8(list.codes[size_t(k)])},
                               {"name", gbkToUtf8(list.names[size_t(k)])},
                               {"return", jsonFigure(list.values[size_t(k)])}});
        doc["sectors"] = std::move(sectors);
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"板块名称", "代码", "涨跌幅"};
    table.rightAligned = {false, false, true};
    for (int k = 0; k < list.size(); ++k) {
        const Text& value = list.values[size_t(k)];
        // As the tile shows it; a sector without a figure says so.
        const bool figure = leadingFigure(value).has_value();
        table.rows.push_back({{gbkToUtf8(list.names[size_t(k)])},
                              {gbkToUtf8(list.codes[size_t(k)])},
                              {figure ? sectorFigure(value) + "%" : std::string("--"),
                               figure ? sectorFigureColour(value) : kDefaultColour}});
    }
    writeTable(session, table, gbkToUtf8(period.captionLine));
    return kExitDone;
}

int runSector(CliSession& session)
{
    const std::string& wanted = session.options.arguments[0];
    FundLists lists(session.context);
    SectorChooser chooser(session.context, lists);
    chooser.windowCreated();
    if (cancelRequested())
        return kExitInterrupted;

    SectorList list = chooser.list();
    int index = -1;
    const Text wantedGbk = utf8ToGbk(wanted);
    for (int k = 0; k < list.size() && index < 0; ++k)
        if (sameAsciiCase(list.codes[size_t(k)], wanted) || list.names[size_t(k)] == wantedGbk)
            index = k;
    if (index < 0) {
        if (!looksLikeSectorCode(wanted)) {
            if (list.empty() && !chooser.failure().empty())
                session.errorGbk(chooser.failure());
            else
                session.error("no theme sector is named " + wanted + " (`fundwatch-cli sectors` lists them)");
            return kExitFailed;
        }
        // A code the list does not show (or no list at all) is still asked for.
        std::string code = wanted;
        std::transform(code.begin(), code.begin() + 2, code.begin(), ::toupper);
        list.clear();
        list.names.push_back(code);
        list.codes.push_back(code);
        list.values.emplace_back();
        index = 0;
    }

    session.context.loadAllPages = session.options.all;
    LoadResult result;
    {
        GridProgress progress(session.models.fundGrid, session, gbkToUtf8(list.names[size_t(index)]));
        result = lists.chooseSector(list, index);
    }
    return showFundList(session, result, list.names[size_t(index)], result.title, result.title);
}

} // namespace fw::cli
