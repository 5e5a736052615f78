// The ranking query: request texts of every family, the answer's reader, the
// grid rows and the colours of their figures.
#include "funds/Ranking.h"
#include "tests/funds/FundsTestSupport.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

TEST(RankingQuery, EveryFamilySendsItsExactQueryText)
{
    struct Case { RankingQuery query; const char* text; };
    const Case cases[] = {
        {{RankingFamily::FiveStar, "", "", 3, ""},
         "dt=4&sd=&ed=&rt=sz,5&sc=jn&st=desc&pi=3&pn=20&zf=diy&sh=list&rnd=0.01942454964583651"},
        // A key without a direction (or the reverse) keeps the default order.
        {{RankingFamily::FiveStar, "1n", "", 1, ""},
         "dt=4&sd=&ed=&rt=sz,5&sc=jn&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.01942454964583651"},
        {{RankingFamily::FiveStar, "1n", "asc", 2, ""},
         "dt=4&sd=&ed=&rt=sz,5&sc=1n&st=asc&pi=2&pn=20&zf=diy&sh=list&rnd=0.01942454964583651"},
        {{RankingFamily::Sector, "", "", 1, "477"},
         "dt=4&sd=&ed=&tp=BK0477&sc=3y&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.6496325281618789"},
        // The digits stay as they are: leading zeros and eight-character codes.
        {{RankingFamily::Sector, "", "", 1, "045"},
         "dt=4&sd=&ed=&tp=BK0045&sc=3y&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.6496325281618789"},
        {{RankingFamily::Sector, "z", "desc", 4, "00651"},
         "dt=4&sd=&ed=&tp=BK000651&sc=z&st=desc&pi=4&pn=20&zf=diy&sh=list&rnd=0.6496325281618789"},
        {{RankingFamily::Board, "1y", "asc", 1, ""},
         "dt=4&sd=&ed=&sc=1y&st=asc&pi=1&pn=20&zf=diy&sh=list&rnd=0.9509419468855504"},
        {{RankingFamily::FullListProbe, "", "", 7, ""},
         "dt=4&sd=&ed=&sc=r&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.9027817428207583"},
        {{RankingFamily::FullListPage, "", "", 400, ""},
         "dt=4&sd=&ed=&sc=3y&st=desc&pi=400&pn=20&zf=diy&sh=list&rnd=0.6066118187338245"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.query.queryText(), c.text);
}

TEST(RankingQuery, HeaderColumnsMapToPeriodKeys)
{
    const char* keys[17] = {"", "", "", "", "r", "z", "1y", "3y", "6y", "jn", "1n", "2n", "3n", "", "", "", ""};
    for (int column = 0; column < 17; ++column)
        EXPECT_EQ(sortKeyOfColumn(column), keys[column]) << column;
    EXPECT_EQ(sortKeyOfColumn(-1), "");
    EXPECT_EQ(sortKeyOfColumn(17), "");
}

TEST(RankingAnswer, ReadsTodaysQuotedFormAndTheOlderBareForm)
{
    const JsonDocument quoted = parseRankingAnswer(
        "var rankData ={\"datas\":[\"000001,A\",\"000002,B\"],\"allPages\":\"400\",\"datacount\":\"8000\"}");
    EXPECT_EQ(rankingEntryCount(quoted), 2);
    EXPECT_EQ(rankingEntry(quoted, 1), "000002,B");
    EXPECT_EQ(quoted.getNumber("allPages"), 400);
    EXPECT_EQ(quoted.getNumber("datacount"), 8000);

    const JsonDocument bare = parseRankingAnswer("var rankData = {datas:[\"000001,A\"],allPages:7,datacount:130}");
    EXPECT_EQ(rankingEntryCount(bare), 1);
    EXPECT_EQ(bare.getNumber("allPages"), 7);
}

TEST(RankingAnswer, BrokenAnswersGiveNoEntries)
{
    const char* answers[] = {
        "",
        "<html>502 Bad Gateway</html>",
        "var rankData ={\"allPages\":\"3\"}",                   // datas missing
        "var rankData ={\"datas\":\"000001,A\",\"allPages\":1}", // not an array
        "var rankData ={\"datas\":{\"0\":\"000001,A\"}}",        // an object
        "var rankData ={\"datas\":[\"000001,A\"",                // cut short
        "var rankData =",
    };
    for (const char* answer : answers) {
        const JsonDocument page = parseRankingAnswer(answer);
        EXPECT_EQ(rankingEntryCount(page), 0) << answer;
    }
    // The last marker counts: an earlier one inside a string is not the start.
    const JsonDocument page = parseRankingAnswer("x=\"var rankData =\";var rankData ={datas:[\"1,B\"]}");
    EXPECT_EQ(rankingEntryCount(page), 1);
}

TEST(FundRow, FieldsGoToTheirColumnsAndReturnsGetAPercentSign)
{
    Grid grid(3, fundGridHeader());
    writeFundRow(grid, 1, gbk("000001,华夏成长混合,HXCZHH,混合型-偏股,12.34,1.02,2.31,5.12,8.44,15.32,20.11,35.67,"
                              "50.12,,1,2026-12-04,1.2340,0.53,1,0.15%"));
    const char* expected[13] = {"华夏成长混合", "000001", "混合型-偏股", "2026-12-04", "0.53%", "1.02%", "2.31%",
                                "5.12%",       "8.44%",  "12.34%",      "15.32%",     "20.11%", "35.67%"};
    for (int c = 0; c < 13; ++c)
        EXPECT_EQ(grid.cell(1, c), gbk(expected[c])) << c;
}

TEST(FundRow, MissingAndEmptyFieldsShowADashAndProfileColumnsStay)
{
    Grid grid(3, fundGridHeader());
    grid.setCell(1, 14, "61.84%");
    writeFundRow(grid, 1, "161725,Young,,Index");
    EXPECT_EQ(grid.cell(1, 0), "Young");
    EXPECT_EQ(grid.cell(1, 2), "Index");
    EXPECT_EQ(grid.cell(1, 3), "");
    for (int c = 4; c <= 12; ++c)
        EXPECT_EQ(grid.cell(1, c), "-") << c;
    EXPECT_EQ(grid.cell(1, 14), "61.84%");
    writeFundRow(grid, 5, "000001,Beyond"); // past the row count: ignored
    EXPECT_EQ(grid.cell(5, 1), "");
}

// Columns 4-12 are coloured by the figure each cell begins with; the rest keep
// the grid's colour.
TEST(ReturnColours, TheReturnColumnsAreColouredByTheirFigures)
{
    struct Case { const char* text; Colour colour; };
    const Case cases[] = {
        {"-0.01%", kGreen}, {"-", kSilver}, {"", kSilver}, {"0.01%", kRed}, {"50.01%", kBlue}, {"abc", kSilver},
    };
    Grid grid(2, fundGridHeader());
    for (const Case& c : cases) {
        for (int column = 0; column <= 16; ++column)
            grid.setCell(1, column, c.text);
        colourReturnCells(grid, 1, 1);
        for (int column = 4; column <= 12; ++column)
            EXPECT_EQ(grid.cellColour(1, column), c.colour) << c.text << " column " << column;
    }
    for (int column : {0, 1, 2, 3, 13, 14, 15, 16})
        EXPECT_EQ(grid.cellColour(1, column), kDefaultColour) << column;
}

} // namespace
} // namespace fw
