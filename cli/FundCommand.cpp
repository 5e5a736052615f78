// fund CODE: the fund's own page as the window shows a fund picked from the
// watchlist, then its profile and holdings, read back from the models.
#include "cli/Commands.h"

#include "funds/FundDetails.h"
#include "text/CodePage.h"
#include "text/TextOps.h"

namespace fw::cli {

namespace {
constexpr int kFundColumns = 17;
constexpr int kFirstFigureColumn = 4;
constexpr int kHoldingRows = 10;
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
    const Grid& holdings = models.holdingsGrid;
    std::vector<int> holdingRows;
    for (int row = 1; row <= kHoldingRows; ++row)
        if (!holdings.cell(row, 0).empty() || !holdings.cell(row, 1).empty())
            holdingRows.push_back(row);

    // Today's estimate from the holdings, as the line under the window's
    // holdings grid says it: "持仓估算 +0.53%（覆盖 62.4%）" (none without quotes).
    static const Text estimateLabel = gbk("持仓估算 "), coverageLabel = gbk("覆盖 ");
    const Text estimate = models.view.caption(Control::HoldingsEstimate);
    const Text estimateText = textAfterLast(estimate, estimateLabel);

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
        for (int row : holdingRows)
            rows.push_back({{"code", gbkToUtf8(holdings.cell(row, 1))},
                            {"name", gbkToUtf8(holdings.cell(row, 0))},
                            {"share", jsonFigure(holdings.cell(row, 2))}});
        doc["holdings"] = std::move(rows);
        doc["estimate"] = estimate.empty()
            ? Json(nullptr)
            : Json {{"change", jsonFigure(textBeforeFirst(estimateText, "%"))},
                    {"coverage", jsonFigure(textAfterLast(estimateText, coverageLabel))}};
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }

    TextTable figures;
    figures.header = {"项目", "值"};
    for (int c = 0; c < kFundColumns; ++c) {
        TableCell value {gbkToUtf8(grid.cell(1, c)), grid.cellColour(1, c)};
        figures.rows.push_back({{gbkToUtf8(grid.cell(0, c))}, value});
    }
    figures.rows.push_back({{gbkToUtf8(textBeforeFirst(estimateLabel, " "))},
                            {gbkToUtf8(estimateText), models.view.textColour(Control::HoldingsEstimate)}});
    const std::string caption = gbkToUtf8(grid.cell(1, 0)) + " (" + code + ")";
    writeTable(session, figures, caption);
    session.io.out << '\n';

    TextTable top;
    top.header = gridHeader(holdings, 0, 2);
    top.rightAligned = {false, false, true};
    for (int row : holdingRows)
        top.rows.push_back(gridRow(holdings, row, 0, 2));
    writeTable(session, top, "十大重仓股票");
    return kExitDone;
}

} // namespace fw::cli
