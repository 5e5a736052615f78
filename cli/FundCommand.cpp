// fund CODE: the fund's own page as the window shows a fund picked from the
// watchlist, then its profile: its row of the fund grid; its holdings and
// today's estimate as the holdings load hands them over.
#include "cli/Commands.h"

#include "funds/FundDetails.h"
#include "text/CodePage.h"

namespace fw::cli {

namespace {
constexpr int kFundColumns = 17;
constexpr int kFirstFigureColumn = 4;
} // namespace

int runFund(CliSession& session)
{
    const Text code = session.options.arguments[0];
    MainModels& models = session.models;
    FundDetails details(session.context);
    const FundDetails::FundPageLoad load = details.loadFundPage(code, {});
    if (cancelRequested())
        return kExitInterrupted;
    if (load != FundDetails::FundPageLoad::Shown) {
        session.error("fund " + code + ": no figures (its page could not be loaded or has none)");
        return kExitFailed;
    }
    // Profile here, holdings on their worker, as after a pick in the window.
    details.selectedFundRefresh();
    details.waitForHoldingsWorkers();
    if (cancelRequested())
        return kExitInterrupted;

    const Grid& grid = models.fundGrid;
    // The holdings and today's estimate as the holdings load ended (none
    // without quotes), not as the window words them.
    const std::optional<HoldingsResult> holdings = details.completeHoldings();
    std::vector<HoldingsRowText> holdingRows;
    if (holdings)
        for (const HoldingsRowText& row : holdings->rows)
            if (!row.name.empty() || !row.code.empty())
                holdingRows.push_back(row);
    const std::optional<HoldingsEstimate> estimate = holdings ? holdings->estimate : std::nullopt;

    if (outputFormat(session) == OutputFormat::Json) {
        const std::vector<std::string>& keys = fundColumnKeys();
        Json doc = Json::object();
        doc["code"] = gbkToUtf8(grid.cell(1, 1));
        doc["name"] = gbkToUtf8(grid.cell(1, 0));
        for (int c = 2; c < kFundColumns; ++c) {
            const Text cell = grid.cell(1, c);
            doc[keys[size_t(c)]] = c < kFirstFigureColumn ? Json(gbkToUtf8(cell)) : jsonFigure(cell);
        }
        Json rows = Json::array();
        for (const HoldingsRowText& row : holdingRows)
            rows.push_back({{"code", gbkToUtf8(row.code)},
                            {"name", gbkToUtf8(row.name)},
                            {"share", jsonFigure(row.share)}});
        doc["holdings"] = std::move(rows);
        doc["estimate"] = estimateJson(estimate);
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }

    TextTable figures;
    figures.header = {"项目", "值"};
    for (int c = 0; c < kFundColumns; ++c) {
        TableCell value {gbkToUtf8(grid.cell(1, c)), grid.cellColour(1, c)};
        figures.rows.push_back({{gbkToUtf8(grid.cell(0, c))}, value});
    }
    figures.rows.push_back({{"今日估算"}, {gbkToUtf8(estimateLine(estimate)), estimateColour(estimate)}});
    const std::string caption = gbkToUtf8(grid.cell(1, 0)) + " (" + code + ")";
    writeTable(session, figures, caption);
    session.io.out << '\n';

    TextTable top;
    for (const Text& title : holdingsGridHeader())
        top.header.push_back(gbkToUtf8(title));
    top.rightAligned = {false, false, true};
    for (const HoldingsRowText& row : holdingRows)
        top.rows.push_back({{gbkToUtf8(row.name)}, {gbkToUtf8(row.code)}, {gbkToUtf8(row.share)}});
    writeTable(session, top, "十大重仓股票");
    return kExitDone;
}

} // namespace fw::cli
