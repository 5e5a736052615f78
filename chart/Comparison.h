#pragma once
// The cumulative-return comparison of one or two funds: the request, the
// reading of the service's answer into the chart's axis texts and series, and
// the drawing of a read answer. The download itself belongs to the caller:
//
//   HttpRequestOptions o;
//   o.extraHeaders = comparisonReferer(hosts.baseUrl(HostRole::FundList));
//   Text answer = utf8ToGbk(client.fetch(hosts.url(HostRole::FundApi, comparisonUrlPath(codes, period)), o));
//   ComparisonData data = parseComparison(answer, currentFundCode, comparisonBaseCode);
//   if (data.sectionEmpty) show comparisonFailureText(); else drawComparison(...);
#include "chart/ChartRenderer.h"
#include "text/Text.h"

#include <vector>

namespace fw {

struct ComparisonData {
    bool sectionEmpty = true; // no data section in the answer: nothing to draw
    bool enoughPoints = false; // at least two points: the chart has a scale
    bool pointsLeftOut = false; // the answer held more than kMaxComparisonPoints
    TextList dates;            // per point, as the service wrote them
    TextList labels;           // per point, the part of the date after its last "/"
    std::vector<float> valuesA; // first fund (the picked one), per point
    std::vector<float> valuesB; // second fund (the comparison base), per point
    long long minimum = 0, maximum = 0; // whole-number value range, maximum > minimum
    Text xAxisText;            // "2|06||09||10|"
    Text yAxisText;            // "9|-4|13"

    int pointCount() const { return int(dates.size()); }
};

// An answer is read up to this many points (three years are about 750).
inline constexpr int kMaxComparisonPoints = 10000;

// "a,b" when both codes are set, else the one that is set.
Text comparisonCodes(std::string_view currentFundCode, std::string_view comparisonBaseCode);

// Path and query on the fund API host.
Text comparisonUrlPath(std::string_view codes, std::string_view periodCode);

// The one extra request header line, naming the fund list host's compare page.
Text comparisonReferer(std::string_view fundListBaseUrl);

// Period buttons 1..7: "week" … "threeyear" and the chart titles; "" outside.
Text periodCode(int button);
Text chartTitle(int button);

// "坐标数据获取失败", shown when the answer has no data section.
Text comparisonFailureText();
// "（数据点过多，仅显示前10000个）", the end of the chart title when points were left out.
Text pointsLeftOutText();

// Reads a GBK answer, its first kMaxComparisonPoints points at most. codeA is
// the picked fund, codeB the comparison base, as the request named them;
// either may be empty.
ComparisonData parseComparison(std::string_view gbkAnswer, std::string_view codeA, std::string_view codeB);

// Frame and series of a read answer with the comparison's captions, colours
// and widths. False (nothing drawn) when the answer had no data section.
bool drawComparison(ChartRenderer& renderer, Canvas& canvas, const ComparisonData& data, std::string_view codeA,
                    std::string_view codeB);

} // namespace fw
