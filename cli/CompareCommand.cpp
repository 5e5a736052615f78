// compare CODE [BASE]: the cumulative returns of the comparison chart, as a
// table of points, and drawn into an image with --plot.
#include "cli/Commands.h"
#include "cli/PlotImage.h"

#include "chart/Comparison.h"
#include "chart/ComparisonChart.h"
#include "funds/FundDetails.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <cmath>

namespace fw::cli {

namespace {

std::string pointValue(float v)
{
    if (!std::isfinite(v))
        return "-";
    return fixedText(double(v), 2);
}

} // namespace

int runCompare(CliSession& session)
{
    const CliOptions& o = session.options;
    const Text codeA = o.arguments[0];
    const Text codeB = o.arguments.size() > 1 ? o.arguments[1] : Text();
    const int button = comparePeriodButton(o.period.empty() ? "year" : o.period);
    const Text period = periodCode(button);

    // The window's comparison set: the picked fund and the base set aside.
    FundDetails details(session.context);
    ComparisonChart chart(session.context, details);
    details.currentFundCode = codeA;
    chart.comparisonBaseCode = codeB;
    chart.comparisonCodes = comparisonCodes(codeA, codeB);
    chart.fetchComparison(period);
    if (cancelRequested())
        return kExitInterrupted;
    // A failed fetch leaves the chart as it was: here, empty.
    const ComparisonData& data = chart.lastData();
    if (data.sectionEmpty) {
        session.errorGbk(comparisonFailureText());
        return kExitFailed;
    }

    if (!o.plotFile.empty()) {
        std::string error;
        if (!writeComparisonPlot(o.plotFile, data, codeA, codeB, error)) {
            session.error("cannot write " + o.plotFile + ": " + error);
            return kExitFailed;
        }
    }

    const bool twoFunds = !codeB.empty();
    if (outputFormat(session) == OutputFormat::Json) {
        Json doc = Json::object();
        doc["period"] = period;
        doc["title"] = gbkToUtf8(chartTitle(button));
        doc["codes"] = twoFunds ? Json {codeA, codeB} : Json {codeA};
        Json points = Json::array();
        for (int i = 0; i < data.pointCount(); ++i) {
            Json point = {{"date", gbkToUtf8(data.dates[size_t(i)])}};
            if (size_t(i) < data.valuesA.size())
                point[codeA] = data.valuesA[size_t(i)];
            if (twoFunds && size_t(i) < data.valuesB.size())
                point[codeB] = data.valuesB[size_t(i)];
            points.push_back(std::move(point));
        }
        doc["points"] = std::move(points);
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }

    TextTable table;
    table.header = {"日期", codeA};
    table.rightAligned = {false, true, true};
    if (twoFunds)
        table.header.push_back(codeB);
    for (int i = 0; i < data.pointCount(); ++i) {
        TableRow row {{gbkToUtf8(data.dates[size_t(i)])}};
        row.push_back({size_t(i) < data.valuesA.size() ? pointValue(data.valuesA[size_t(i)]) : std::string()});
        if (twoFunds)
            row.push_back({size_t(i) < data.valuesB.size() ? pointValue(data.valuesB[size_t(i)]) : std::string()});
        table.rows.push_back(std::move(row));
    }
    writeTable(session, table, gbkToUtf8(chartTitle(button)));
    return kExitDone;
}

} // namespace fw::cli
