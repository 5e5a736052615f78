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
    if (totals.unknown()) {
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

    const PortfolioFigures figures = portfolioFigures(portfolio.holdings(), quotes);
    const PortfolioTotals& totals = figures.totals;

    if (outputFormat(session) == OutputFormat::Json) {
        // Each figure as the table rounds it.
        auto money = [](bool known, double yuan) { return known ? jsonFigure(formatMoney(yuan)) : Json(nullptr); };
        Json funds = Json::array();
        for (const PortfolioRow& row : figures.rows) {
            const Holding& h = row.holding;
            const std::optional<FundQuote>& q = row.quote;
            const HoldingFigures& f = row.figures;
            funds.push_back({{"code", h.code},
                             {"name", q ? Json(gbkToUtf8(q->name)) : Json("")},
                             {"shares", jsonFigure(h.shares)},
                             {"cost", jsonFigure(h.cost)},
                             {"unitValue", f.valued ? Json(q->unitValue) : Json(nullptr)},
                             {"valueDate", q ? Json(gbkToUtf8(q->valueDate)) : Json(nullptr)},
                             {"amount", money(f.valued, f.amount)},
                             {"profit", money(f.valued, f.profit)},
                             {"profitRate", f.valued ? jsonFigure(formatPercent(f.profitRate)) : Json(nullptr)},
                             {"estimate", q && q->estimatePercent ? Json(*q->estimatePercent) : Json(nullptr)},
                             {"estimateError", q && q->estimateError ? Json(*q->estimateError) : Json(nullptr)},
                             {"todayProfit", money(f.todayProfit.has_value(), f.todayProfit.value_or(0))}});
        }
        // null where the totals row shows "--": no fund has a value.
        const bool known = !totals.unknown();
        Json doc = {{"funds", std::move(funds)},
                    {"totals",
                     {{"amount", money(known, totals.amount)},
                      {"profit", money(known, totals.profit)},
                      {"profitRate", known ? jsonFigure(formatPercent(totals.profitRate)) : Json(nullptr)},
                      {"todayProfit", money(known, totals.todayProfit)},
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
    auto addRow = [&table](const TextList& texts, const std::vector<Colour>& colours) {
        TableRow cells;
        for (size_t c = 0; c < texts.size(); ++c)
            cells.push_back({gbkToUtf8(texts[c]), colours[c]});
        table.rows.push_back(std::move(cells));
    };
    for (const PortfolioRow& row : figures.rows)
        addRow(row.texts, row.colours);
    addRow(figures.totalsTexts, figures.totalsColours);
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
