// intraday CODE | --portfolio: the day's curve from 09:30, a fund's estimated
// change or the held funds' estimated 当日收益 per minute, as a table or JSON,
// and drawn into an image with --plot.
#include "cli/Commands.h"
#include "cli/PlotImage.h"

#include "funds/HoldingsEstimate.h"
#include "funds/IntradayFetch.h"
#include "funds/Portfolio.h"
#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

namespace fw::cli {

namespace {

const char* modelKey(EstimateModel model)
{
    switch (model) {
    case EstimateModel::Feeder: return "feeder";
    case EstimateModel::Index: return "index";
    case EstimateModel::Holdings: return "holdings";
    }
    return "";
}

// A figure as JSON, to the decimals shown.
Json rounded(double value, int decimals) { return jsonFigure(roundedText(value, decimals)); }

bool plotted(CliSession& session, const IntradayChartData& data)
{
    if (session.options.plotFile.empty())
        return true;
    std::string error;
    if (writeIntradayPlot(session.options.plotFile, data, error))
        return true;
    session.error("cannot write " + session.options.plotFile + ": " + error);
    return false;
}

int showFund(CliSession& session, const std::string& code)
{
    const FundCurve fund = fetchFundCurve(code, "", session.context.requestOptions(), session.dataDir);
    if (cancelRequested())
        return kExitInterrupted;
    if (!fund.ok()) {
        session.error(code + " 今日走势无法取得：" + gbkToUtf8(fund.failure));
        return kExitFailed;
    }
    if (!plotted(session, fundChartData(code, fund.curve, fund.navChange)))
        return kExitFailed;

    if (outputFormat(session) == OutputFormat::Json) {
        Json points = Json::array();
        for (const CurvePoint& p : fund.curve.points)
            points.push_back({{"time", minuteText(p.minute)}, {"change", rounded(p.change, 2)}});
        const Json doc = {{"code", code},
                          {"name", gbkToUtf8(fund.name)},
                          {"day", fund.day},
                          {"model", modelKey(fund.curve.model)},
                          {"estimate", fund.estimate ? rounded(fund.estimate->change, 2) : Json(nullptr)},
                          {"navChange", fund.navChange ? rounded(*fund.navChange, 2) : Json(nullptr)},
                          {"points", std::move(points)}};
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"时间", "估算涨幅"};
    table.rightAligned = {false, true};
    for (const CurvePoint& p : fund.curve.points)
        table.rows.push_back({{minuteText(p.minute)},
                              {gbkToUtf8(estimateChangeText(p.change)), estimateChangeColour(p.change)}});
    std::string caption = code + " " + gbkToUtf8(fund.name) + " " + fund.day;
    if (fund.navChange)
        caption += " 净值涨幅 " + gbkToUtf8(estimateChangeText(*fund.navChange));
    writeTable(session, table, caption);
    return kExitDone;
}

int showPortfolio(CliSession& session)
{
    std::vector<HeldFund> held;
    if (ledgerInUse(session)) {
        const std::optional<std::map<std::string, double>> fromLedger = ledgerSharesHeld(session);
        if (!fromLedger)
            return kExitFailed;
        for (const auto& [code, shares] : *fromLedger)
            held.push_back({code, shares});
    } else {
        const Portfolio portfolio(session.context);
        for (const Holding& h : portfolio.holdings())
            held.push_back({h.code, textValue(h.shares)});
    }
    if (held.empty()) {
        session.error("没有持仓基金");
        return kExitFailed;
    }
    const PortfolioDay day = fetchPortfolioDay(held, session.context.requestOptions(), session.dataDir);
    if (cancelRequested())
        return kExitInterrupted;
    for (const FundCurve& f : day.funds)
        if (!f.ok())
            session.error(f.code + " 今日走势无法取得：" + gbkToUtf8(f.failure));
    if (day.codes.empty())
        return kExitFailed;
    if (!plotted(session, portfolioChartData(day.points, day.codes)))
        return kExitFailed;

    if (outputFormat(session) == OutputFormat::Json) {
        Json points = Json::array();
        for (const PortfolioPoint& p : day.points) {
            Json shares = Json::object();
            for (size_t i = 0; i < day.codes.size(); ++i)
                shares[day.codes[i]] = rounded(p.shares[i], 2);
            points.push_back({{"time", minuteText(p.minute)}, {"profit", rounded(p.profit, 2)}, {"funds", std::move(shares)}});
        }
        session.io.out << Json {{"codes", day.codes}, {"points", std::move(points)}}.dump(2) << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"时间", "当日收益"};
    table.rightAligned = {false, true};
    for (const Text& code : day.codes) {
        table.header.push_back(code);
        table.rightAligned.push_back(true);
    }
    auto cell = [](double yuan) {
        return TableCell {gbkToUtf8(formatMoney(yuan)), figureColour(FigureUse::ShownChange, unitsValue(roundedUnits(yuan, 2), 2))};
    };
    for (const PortfolioPoint& p : day.points) {
        TableRow row {{minuteText(p.minute)}, cell(p.profit)};
        for (const double share : p.shares)
            row.push_back(cell(share));
        table.rows.push_back(std::move(row));
    }
    writeTable(session, table, "持仓 今日估算收益");
    return kExitDone;
}

} // namespace

int runIntraday(CliSession& session)
{
    if (session.options.portfolio)
        return showPortfolio(session);
    return showFund(session, session.options.arguments[0]);
}

} // namespace fw::cli
