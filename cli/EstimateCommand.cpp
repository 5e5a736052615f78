// estimate CODE [--explain]: today's estimate of one fund by the model that
// fits it, as the window shows it under the holdings (chosen by the errors
// logged in the data directory, and said so once they decide); with
// --explain each contributor and the share of the fund applied.
#include "cli/Commands.h"

#include "funds/EstimateRecord.h"
#include "funds/FundPageSummary.h"
#include "funds/PortfolioRefresh.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

namespace fw::cli {

namespace {

const char* modelKey(EstimateModel model)
{
    switch (model) {
    case EstimateModel::Feeder: return "feeder";
    case EstimateModel::Index: return "index";
    case EstimateModel::Holdings: break;
    }
    return "holdings";
}

// "9.85%": a share of the fund to 0.01 percent.
std::string percentText(double value) { return gbkToUtf8(unitsText(roundedUnits(value, 2), 2)) + "%"; }

// Percentage points to 0.0001, so that the column adds up to the estimate.
std::string pointsText(double value)
{
    const long long units = roundedUnits(value, 4);
    return (units > 0 ? "+" : "") + gbkToUtf8(unitsText(units, 4));
}

} // namespace

Json estimateJson(const std::optional<HoldingsEstimate>& estimate)
{
    if (!estimate)
        return Json(nullptr);
    Json out = Json::object();
    out["model"] = modelKey(estimate->model);
    out["change"] = estimate->shownChange();
    const std::optional<double> coverage = estimate->shownCoverage();
    out["coverage"] = coverage ? Json(*coverage) : Json(nullptr);
    out["lowCoverage"] = estimate->lowCoverage;
    out["error"] = estimate->error ? Json(unitsValue(roundedUnits(*estimate->error, 2), 2)) : Json(nullptr);
    out["chosenByError"] = estimate->chosenByError;
    return out;
}

int runEstimate(CliSession& session)
{
    const Text code = session.options.arguments[0];
    // The fund's name tells an index fund by the index it holds.
    HttpRequestOptions pageOptions = session.context.requestOptions();
    const Text page =
        HttpClient().fetch(serviceHosts().url(HostRole::FundList, FundPageSummary::path(code)), pageOptions);
    if (cancelRequested())
        return kExitInterrupted;
    if (!fetchSucceeded(pageOptions)) {
        session.error("estimate " + code + ": its fund page could not be loaded (" + gbkToUtf8(pageOptions.status) + ")");
        return kExitFailed;
    }
    const Text name = fundPageName(page);
    const EstimateOutcome outcome =
        fetchEstimate({code, name, loggedErrors(session.dataDir, code)}, session.context.requestOptions());
    if (cancelRequested())
        return kExitInterrupted;
    if (!outcome.estimate) {
        session.error("estimate " + code + ": no estimate (" + gbkToUtf8(outcome.failure) + ")");
        return kExitFailed;
    }
    const HoldingsEstimate& e = *outcome.estimate;
    const bool explain = session.options.explain;

    if (outputFormat(session) == OutputFormat::Json) {
        Json doc = Json::object();
        doc["code"] = code;
        doc["name"] = gbkToUtf8(name);
        doc["estimate"] = estimateJson(e);
        doc["line"] = gbkToUtf8(estimateLine(e));
        if (explain) {
            doc["stockShare"] = e.stockShare;
            Json parts = Json::array();
            for (const EstimateContributor& c : e.contributors)
                parts.push_back({{"code", gbkToUtf8(c.code)},
                                 {"name", gbkToUtf8(c.name)},
                                 {"weight", c.weight},
                                 {"change", c.change},
                                 {"contribution", c.contribution}});
            doc["contributors"] = std::move(parts);
        }
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }

    TextTable figures;
    figures.header = {"项目", "值"};
    figures.rows.push_back({{"今日估算"}, {gbkToUtf8(estimateLine(e)), estimateColour(e)}});
    // The line names the model; that the errors chose it is said beside it.
    if (e.chosenByError)
        figures.rows.push_back({{"选用"}, {gbkToUtf8(estimateModelName(e.model)) + "（按误差选用）"}});
    if (explain)
        figures.rows.push_back({{"股票仓位"}, {percentText(e.stockShare)}});
    const std::string caption = gbkToUtf8(name) + " (" + code + ")";
    writeTable(session, figures, caption);
    if (!explain)
        return kExitDone;
    session.io.out << '\n';
    TextTable parts;
    parts.header = {"代码", "名称", "权重", "涨跌幅", "贡献"};
    parts.rightAligned = {false, false, true, true, true};
    for (const EstimateContributor& c : e.contributors)
        parts.rows.push_back({{gbkToUtf8(c.code)},
                              {gbkToUtf8(c.name)},
                              {percentText(c.weight)},
                              {gbkToUtf8(estimateChangeText(c.change)), estimateChangeColour(c.change)},
                              {pointsText(c.contribution)}});
    writeTable(session, parts, "估算构成");
    return kExitDone;
}

} // namespace fw::cli
