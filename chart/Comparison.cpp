#include "chart/Comparison.h"
#include "text/CodePage.h"
#include "text/NumberText.h"
#include "text/RegexMatcher.h"
#include "text/TextOps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fw {

namespace {

struct Period {
    const char* code;
    const char* title; // UTF-8 source text
};

// The three-year title carries "月" as the service's own page writes it.
constexpr Period kPeriods[] = {
    {"week", "近1周收益率走势对比图"},      {"month", "近1月收益率走势对比图"},
    {"threemonth", "近3月收益率走势对比图"}, {"sixmonth", "近6月收益率走势对比图"},
    {"year", "近1年收益率走势对比图"},      {"twoyear", "近2年收益率走势对比图"},
    {"threeyear", "近3年月收益率走势对比图"},
};

// The points arrive as JSON text escaped inside the JSON-P reply's "Data" string.
constexpr std::string_view kSectionFront = "\\\"dataProvider\\\": [";
constexpr std::string_view kSectionBack = "]}\",\"ErrCode\"";
constexpr std::string_view kPointPattern = "{ \"date\": \".*?}";
constexpr std::string_view kDateFront = "{ \"date\": \"";
constexpr std::string_view kDateBack = "\",\"";

float valueOf(std::string_view point, std::string_view code, std::string_view back)
{
    return float(textValue(cutBetween(point, Text(code) + "\":", back)));
}

} // namespace

Text comparisonCodes(std::string_view currentFundCode, std::string_view comparisonBaseCode)
{
    if (!currentFundCode.empty() && !comparisonBaseCode.empty())
        return Text(currentFundCode) + "," + Text(comparisonBaseCode);
    return Text(currentFundCode.empty() ? comparisonBaseCode : currentFundCode);
}

Text comparisonUrlPath(std::string_view codes, std::string_view periodCode)
{
    return "/FundCompare/LJSYL?bzdm=" + Text(codes) + "&c=" + Text(periodCode) +
           "&callback=jQuery18307015471687350752&_=1628388758953";
}

Text comparisonReferer(std::string_view fundListBaseUrl)
{
    return "Referer: " + Text(fundListBaseUrl) + "/compare/?code=005669,005939";
}

Text periodCode(int button)
{
    return button >= 1 && button <= 7 ? Text(kPeriods[button - 1].code) : Text();
}

Text chartTitle(int button)
{
    return button >= 1 && button <= 7 ? gbk(kPeriods[button - 1].title) : Text();
}

Text comparisonFailureText()
{
    static const Text text = gbk("坐标数据获取失败");
    return text;
}

Text pointsLeftOutText()
{
    static const Text text = gbk("（数据点过多，仅显示前") + intText(kMaxComparisonPoints) + gbk("个）");
    return text;
}

ComparisonData parseComparison(std::string_view gbkAnswer, std::string_view codeA, std::string_view codeB)
{
    ComparisonData d;
    const Text section = replaceAll(cutBetween(gbkAnswer, kSectionFront, kSectionBack), "\\", "");
    if (section.empty())
        return d;
    d.sectionEmpty = false;

    // One match past the bound tells that points were left out.
    RegexMatcher matcher;
    RegexOptions options;
    options.maxMatches = kMaxComparisonPoints + 1;
    matcher.search(kPointPattern, section, options);
    const int points = std::min(matcher.matchCount(), kMaxComparisonPoints);
    d.pointsLeftOut = matcher.matchCount() > kMaxComparisonPoints;
    d.dates.reserve(size_t(points));
    d.labels.reserve(size_t(points));
    Text labelList;
    for (int n = 1; n <= points; ++n) {
        const Text point = matcher.matchText(n);
        if (!codeA.empty() && !codeB.empty()) {
            d.valuesA.push_back(valueOf(point, codeA, ",\""));
            d.valuesB.push_back(valueOf(point, codeB, "}"));
        } else if (!codeA.empty()) {
            d.valuesA.push_back(valueOf(point, codeA, "}"));
        } else if (!codeB.empty()) {
            d.valuesB.push_back(valueOf(point, codeB, "}"));
        }
        Text date = cutBetween(point, kDateFront, kDateBack);
        Text label = textAfterLast(date, "/");
        labelList += '|';
        labelList += label;
        labelList += '|';
        d.dates.push_back(std::move(date));
        d.labels.push_back(std::move(label));
    }
    d.enoughPoints = points >= 2;

    // The range reaches outward to whole numbers, so every point lies within
    // the grid and the range never collapses to nothing.
    bool any = false;
    float low = 0, high = 0;
    for (const auto* values : {&d.valuesA, &d.valuesB}) {
        for (float v : *values) {
            if (!std::isfinite(v))
                continue;
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
        }
    }
    d.minimum = truncToInt(std::floor(double(low)));
    d.maximum = truncToInt(std::ceil(double(high)));
    if (d.minimum == d.maximum) {
        // A figure beyond the whole-number range saturates at its end: the
        // range then reaches inward rather than overflow.
        if (d.maximum == std::numeric_limits<long long>::max())
            d.minimum -= 2;
        else if (d.minimum == std::numeric_limits<long long>::min())
            d.maximum += 2;
        else
            --d.minimum, ++d.maximum;
    }

    d.xAxisText = intText(points - 1) + labelList;
    d.yAxisText = "9|" + intText(d.minimum) + "|" + intText(d.maximum);
    return d;
}

bool drawComparison(ChartRenderer& renderer, Canvas& canvas, const ComparisonData& data, std::string_view codeA,
                    std::string_view codeB)
{
    if (data.sectionEmpty)
        return false;
    static const Text captions = gbk("时间|涨跌（%）");
    renderer.drawChartFrame(canvas, data.xAxisText, data.yAxisText, 0, 0, 0, 0, 2, 0, captions, data.dates);
    if (!codeA.empty())
        renderer.drawSeries(data.valuesA, 3, 255, codeA);
    if (!codeB.empty())
        renderer.drawSeries(data.valuesB, 3, 24768, codeB);
    return true;
}

} // namespace fw
