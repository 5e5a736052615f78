// portfolio: the held funds with their value, profit and today's estimate, as
// the portfolio window shows them; set, remove, export and import change the
// holdings stored in the data directory's settings file.
#include "cli/Commands.h"

#include "funds/Portfolio.h"
#include "funds/PortfolioRefresh.h"
#include "text/CodePage.h"

#include <future>

namespace fw::cli {

namespace {

// Totals over no fund at all are no figures: the command failed. Over some of
// them, they are figures with a warning.
int outcome(CliSession& session, const PortfolioTotals& totals)
{
    if (totals.funds > 0 && totals.valuedFunds == 0) {
        session.error("无法取得任何持仓基金的净值");
        return kExitFailed;
    }
    if (totals.valuedFunds < totals.funds)
        session.error("部分持仓基金无法取得净值，合计仅含其中 " + std::to_string(totals.valuedFunds) + "/"
                      + std::to_string(totals.funds) + " 只");
    return kExitDone;
}

int show(CliSession& session, Portfolio& portfolio)
{
    std::vector<Text> codes;
    for (const Holding& h : portfolio.holdings())
        codes.push_back(h.code);
    PortfolioRefresh refresh(session.context);
    std::promise<std::map<Text, FundQuote>> result;
    refresh.start(codes, [&](std::map<Text, FundQuote> quotes) { result.set_value(std::move(quotes)); });
    const std::map<Text, FundQuote> quotes = result.get_future().get();
    refresh.wait();
    if (cancelRequested())
        return kExitInterrupted;

    std::vector<HoldingFigures> figures;
    std::vector<TextList> rows;
    std::vector<std::vector<Colour>> colours;
    for (const Holding& h : portfolio.holdings()) {
        auto it = quotes.find(h.code);
        const FundQuote* q = it == quotes.end() ? nullptr : &it->second;
        figures.push_back(q ? holdingFigures(h, *q) : HoldingFigures {});
        rows.push_back(holdingRowTexts(h, q));
        colours.push_back(holdingRowColours(h, q));
    }
    const PortfolioTotals totals = portfolioTotals(figures);

    if (outputFormat(session) == OutputFormat::Json) {
        Json funds = Json::array();
        for (size_t i = 0; i < rows.size(); ++i) {
            const Holding& h = portfolio.holdings()[i];
            auto it = quotes.find(h.code);
            const FundQuote* q = it == quotes.end() ? nullptr : &it->second;
            const HoldingFigures& f = figures[i];
            funds.push_back({{"code", h.code},
                             {"name", gbkToUtf8(rows[i][0])},
                             {"shares", jsonFigure(h.shares)},
                             {"cost", jsonFigure(h.cost)},
                             {"unitValue", f.valued ? Json(q->unitValue) : Json(nullptr)},
                             {"valueDate", q ? Json(gbkToUtf8(q->valueDate)) : Json(nullptr)},
                             {"amount", f.valued ? jsonFigure(formatMoney(f.amount)) : Json(nullptr)},
                             {"profit", f.valued ? jsonFigure(formatMoney(f.profit)) : Json(nullptr)},
                             {"profitRate", f.valued ? jsonFigure(formatPercent(f.profitRate)) : Json(nullptr)},
                             {"estimate", q && q->estimatePercent ? Json(*q->estimatePercent) : Json(nullptr)},
                             {"todayProfit", f.todayProfit ? jsonFigure(formatMoney(*f.todayProfit)) : Json(nullptr)}});
        }
        // The totals row's own texts: "--" (null) when no fund has a value.
        const TextList total = totalsRowTexts(totals);
        Json doc = {{"funds", std::move(funds)},
                    {"totals",
                     {{"amount", jsonFigure(total[5])},
                      {"profit", jsonFigure(total[6])},
                      {"profitRate", jsonFigure(total[7])},
                      {"todayProfit", jsonFigure(total[9])},
                      {"estimatedFunds", totals.estimatedFunds},
                      {"valuedFunds", totals.valuedFunds},
                      {"funds", totals.funds}}}};
        session.io.out << doc.dump(2) << '\n';
        return outcome(session, totals);
    }

    TextTable table;
    for (const Text& name : portfolioHeader())
        table.header.push_back(gbkToUtf8(name));
    table.rightAligned = {false, false, true, true, true, true, true, true, true, true};
    rows.push_back(totalsRowTexts(totals));
    colours.push_back(totalsRowColours(totals));
    for (size_t r = 0; r < rows.size(); ++r) {
        TableRow cells;
        for (size_t c = 0; c < rows[r].size(); ++c)
            cells.push_back({gbkToUtf8(rows[r][c]), colours[r][c]});
        table.rows.push_back(std::move(cells));
    }
    writeTable(session, table, "持仓");
    return outcome(session, totals);
}

} // namespace

int runPortfolio(CliSession& session)
{
    const CliOptions& o = session.options;
    // Once the trade ledger exists, [持仓] is only its first start's backup.
    if (ledgerInUse(session))
        return runLedgerPortfolio(session);
    if (!o.arguments.empty() && (o.arguments[0] == "history" || o.arguments[0] == "returns")) {
        session.error("portfolio " + o.arguments[0] + " 需要交易记录：先用 ledger add 记账");
        return kExitFailed;
    }
    Portfolio portfolio(session.context);
    // Lines that hold no valid holding are kept in the file as they stand; said once.
    if (!portfolio.invalidLines().empty()) {
        std::string lines;
        for (const Text& line : portfolio.invalidLines())
            lines += (lines.empty() ? "" : "，") + gbkToUtf8(line);
        session.error("[持仓] 中无法读取的行已原样保留：" + lines);
    }
    if (o.arguments.empty())
        return show(session, portfolio);

    const std::string& action = o.arguments[0];
    const std::string argument = o.arguments.size() > 1 ? o.arguments[1] : "";
    if (action == "set") {
        Text error;
        if (!o.amount.empty()) {
            const FundQuote quote = fetchFundQuote(session.context, argument);
            error = portfolio.setAmount(argument, o.amount, o.cost, quote.unitValue);
        } else {
            error = portfolio.set(argument, o.shares, o.cost);
        }
        if (!error.empty()) {
            session.errorGbk(error);
            return kExitFailed;
        }
        return kExitDone;
    }
    if (action == "remove") {
        if (!portfolio.remove(argument)) {
            session.error("portfolio remove: " + argument + " is not held");
            return kExitFailed;
        }
        return kExitDone;
    }
    if (action == "export") {
        const Text error = portfolio.exportCsv(argument);
        if (!error.empty()) {
            session.errorGbk(error);
            return kExitFailed;
        }
        return kExitDone;
    }
    // import (the command line admits no other action)
    const TextList errors = portfolio.importCsv(argument);
    for (const Text& error : errors)
        session.errorGbk(error);
    return errors.empty() ? kExitDone : kExitFailed;
}

} // namespace fw::cli
