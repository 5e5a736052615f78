// Every reader of the service's answers on answers built to hurt: 64 MiB of
// nested tags, JSON nested 100,000 deep, subjects on which the readers' lazy
// patterns backtrack over the whole line. Each ends quickly with empty cells.
#include "chart/Comparison.h"
#include "funds/FundPageSummary.h"
#include "funds/FundProfileFetch.h"
#include "funds/FundSearch.h"
#include "funds/HoldingsWorker.h"
#include "funds/PortfolioRefresh.h"
#include "funds/Ranking.h"
#include "funds/SectorRanking.h"
#include "steps/StepSubmission.h"
#include "tests/text/PeakMemory.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

namespace fw::testing {
namespace {

// The default per-phase time-out of a fetch is 30 s: a reader must take far
// less than a download of the same page, a third of it in a plain build. A
// sanitized build runs several times slower and gets the whole time-out; a
// quadratic scan of these pages takes hours either way.
constexpr bool kSanitized = kSanitizedBuild;
constexpr double kTimeOutSeconds = kSanitized ? 30.0 : 10.0;

std::string repeated(std::string_view unit, size_t bytes, std::string_view front = {}, std::string_view back = {})
{
    std::string out(front);
    out.reserve(bytes + unit.size() + back.size());
    while (out.size() < bytes)
        out += unit;
    out += back;
    return out;
}

template <typename Work> double secondsOf(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void expectEmptyPageCells(std::string_view page, const char* what)
{
    const double seconds = secondsOf([&] {
        const FundPageSummary s = FundPageSummary::cut(page);
        EXPECT_FALSE(s.hasValues()) << what;
        EXPECT_EQ(s.name + s.type + s.dailyChange, "") << what;
        for (const Text& p : s.periods)
            EXPECT_EQ(p, "") << what;
        const FundQuote quote = fundQuoteFromPage(page);
        EXPECT_EQ(quote.unitValue, 0) << what;
        EXPECT_EQ(cutAssetSize(page) + cutTenureReturn(page) + cutDeviation(page) + cutSharpe(page), "") << what;
        EXPECT_EQ(holdingsStockList(page), "") << what;
        for (const HoldingRow& row : holdingsTableRows(page))
            EXPECT_EQ(row.code + row.name + row.share, "") << what;
    });
    std::printf("%-34s %3lld MiB: %.2f s\n", what, (long long)(page.size() / kMiB), seconds);
    EXPECT_LT(seconds, kTimeOutSeconds) << what;
}

TEST(HostileAnswers, PagesOfNestedTagsGiveEmptyCells)
{
    const size_t size = 64 * kMiB;
    expectEmptyPageCells(repeated("<div>", size), "nested div");
    expectEmptyPageCells(repeated("<tr><td>", size, "<table>"), "nested rows and cells");
    expectEmptyPageCells(repeated("<td><td class='tor'>", size, "<table><tr>"), "one row of unclosed cells");
    // Each marker found, its end never: the cuts run to the end of the page.
    expectEmptyPageCells(repeated("<span><div class=\"typeName\">", size,
                                  gbk("<div class=\"typeName\">阶段涨幅</div></td>单位净值</a></span> (</span>")),
                         "opened markers never closed");
}

TEST(HostileAnswers, JsonNestedDeepGivesNothing)
{
    std::string nest;
    for (int i = 0; i < 100000; ++i)
        nest += i % 2 ? "{\"a\":" : "[";
    const double seconds = secondsOf([&] {
        EXPECT_EQ(rankingEntryCount(parseRankingAnswer("var rankData ={\"datas\":" + nest)), 0);
        EXPECT_TRUE(parseClassicSectorAnswer("jQuery18304518781773802629_1629802165289({\"Data\":" + nest + "})",
                                             "SYL_W").empty());
        EXPECT_TRUE(parseNewSectorAnswer("{\"Data\":" + nest, "W").empty());
        EXPECT_TRUE(FundSearch::parseAnswer("jQuery18304481644478480933_1628571546744({\"Datas\":[" + nest + "]})")
                        .empty());
        EXPECT_TRUE(quotesByCode("cb({\"data\":{\"diff\":" + nest + "}})").empty());
        EXPECT_EQ(stepReplyMessage("{\"message\":" + nest), "");
    });
    std::printf("JSON nested 100000 deep, six readers: %.2f s\n", seconds);
    EXPECT_LT(seconds, kTimeOutSeconds);
}

TEST(HostileAnswers, BacktrackingSubjectsGiveEmptyCells)
{
    const size_t size = 4 * kMiB;
    double seconds = secondsOf([&] {
        const FundPageSummary s = FundPageSummary::cut(
            repeated("<td><div class=\"bold\">", size, gbk("<div class=\"typeName\">阶段涨幅</div></td>"), "</tr>"));
        for (const Text& p : s.periods)
            EXPECT_EQ(p, "");
    });
    std::printf("period row of unclosed cells: %.2f s\n", seconds);
    EXPECT_LT(seconds, kTimeOutSeconds);

    seconds = secondsOf([&] {
        EXPECT_EQ(cutTenureReturn(repeated("<td></a> </td><td>", size,
                                           gbk("<th>任职期间</th><th>任职回报</th></tr></thead><tbody><tr><td>"))),
                  "");
    });
    std::printf("manager row never closed: %.2f s\n", seconds);
    EXPECT_LT(seconds, kTimeOutSeconds);

    seconds = secondsOf([&] {
        const ComparisonData d = parseComparison(
            repeated("{ \\\"date\\\": \\\"2026/", size, "\\\"dataProvider\\\": [", "]}\",\"ErrCode\""), "005669", "");
        EXPECT_EQ(d.pointCount(), 0);
    });
    std::printf("comparison points never closed: %.2f s\n", seconds);
    EXPECT_LT(seconds, kTimeOutSeconds);
}

TEST(HostileAnswers, CuttingABigFundPageNeedsAtMostFourTimesItsSize)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' shadow memory and quarantine distort resident sizes";
    // A period row as long as the page: the regex runs over all of it.
    const Text page = repeated(gbk("<td><div class=\"bold\">12.34%</div></td><td>近1周</td>"), 64 * kMiB,
                               gbk("<div class=\"typeName\">阶段涨幅</div></td>"), "</tr>");
    const PeakUse use = measurePeak([&page] {
        const FundPageSummary s = FundPageSummary::cut(page);
        if (s.periods[7] != "12.34%")
            std::abort();
    });
    ASSERT_TRUE(use.ran);
    std::printf("cutting a %lld MiB fund page: peak +%lld MiB, %.2f s\n", (long long)(page.size() / kMiB), use.bytes / kMiB,
                use.seconds);
    EXPECT_LE(use.bytes, 4 * (long long)page.size());
}

} // namespace
} // namespace fw::testing
