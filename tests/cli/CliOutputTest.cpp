// The output pieces on their own: display widths, aligned and tab-separated
// tables, the progress line, the command line's options.
#include "cli/CliOptions.h"
#include "cli/Progress.h"
#include "cli/TextTable.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fw::cli {
namespace {

TEST(DisplayWidth, WideCharactersTakeTwoColumnsAndMarksNone)
{
    const std::pair<std::string, int> cases[] = {
        {"", 0},
        {"abc 123", 7},
        {"基金", 4},
        {"（QDII）", 8},           // full-width brackets around Latin letters
        {"华夏成长混合A", 13},
        {"e\xcc\x81", 1},          // e + combining acute accent
        {"\xf0\xa0\x80\x80", 2},   // a CJK character beyond the basic plane
        {"\xff" "a", 2},           // a stray byte counts as one column
        {"\xe5\x9f", 2},           // a cut-off character: each byte one column
    };
    for (const auto& [text, width] : cases)
        EXPECT_EQ(displayWidth(text), width) << text;
}

TEST(AlignedTable, ColumnsLineUpByDisplayWidthAndNumbersToTheRight)
{
    TextTable table;
    table.header = {"名称", "代码", "涨幅"};
    table.rightAligned = {false, false, true};
    table.rows = {{{"华夏成长混合A"}, {"000001"}, {"1.5%", kRed}}, {{"ab"}, {"12"}, {"-10.25%", kGreen}}};
    std::ostringstream plain;
    writeAligned(plain, table, false);
    EXPECT_EQ(plain.str(),
              "名称" + std::string(11, ' ') + "代码" + std::string(7, ' ') + "涨幅\n"
              "华夏成长混合A  000001     1.5%\n"
              "ab" + std::string(13, ' ') + "12" + std::string(6, ' ') + "-10.25%\n");

    std::ostringstream coloured;
    writeAligned(coloured, table, true);
    EXPECT_NE(coloured.str().find("   \x1b[31m1.5%\x1b[0m\n"), std::string::npos) << coloured.str();
    EXPECT_NE(coloured.str().find("\x1b[32m-10.25%\x1b[0m"), std::string::npos);
    EXPECT_EQ(coloured.str().find("\x1b[", 0), coloured.str().find("\x1b[31m"));
}

TEST(TabSeparatedTable, EveryRowOneLineWithTheHeadersFieldCount)
{
    TextTable table;
    table.header = {"a", "b", "c"};
    table.rows = {{{"x\ty"}, {"line\nbreak"}}, {{"1"}, {"2"}, {"3"}}};
    std::ostringstream out;
    writeTabSeparated(out, table);
    EXPECT_EQ(out.str(), "a\tb\tc\nx y\tline break\t\n1\t2\t3\n");
}

TEST(ProgressLine, CountsAndTimeLeftFromTheRateSoFar)
{
    using namespace std::chrono_literals;
    EXPECT_EQ(ProgressBar::line("五星基金", 0, 400, 1s, 10), "五星基金 [..........] 0/400");
    EXPECT_EQ(ProgressBar::line("x", 100, 400, 10s, 10), "x [##........] 100/400 剩余 0:30");
    EXPECT_EQ(ProgressBar::line("x", 40, 400, 50s, 10), "x [#.........] 40/400 剩余 7:30");
    EXPECT_EQ(ProgressBar::line("x", 400, 400, 10s, 10), "x [##########] 400/400");
    EXPECT_EQ(ProgressBar::line("x", 5, 0, 1s, 4), "x [....] 5/?");
}

TEST(ProgressLine, ADisabledBarWritesNothingAndAnEnabledOneClearsItsLine)
{
    std::ostringstream off, on;
    {
        ProgressBar bar(off, false, "x");
        bar.update(1, 2);
        bar.update(2, 2);
    }
    EXPECT_EQ(off.str(), "");
    {
        ProgressBar bar(on, true, "x");
        bar.setInterval(std::chrono::milliseconds(0));
        bar.update(1, 2);
    }
    EXPECT_EQ(on.str().substr(0, 15), "\rx [###########");
    EXPECT_EQ(on.str().back(), '\r');
}

TEST(CommandLine, OptionsStandAnywhereAndTakeTheirValueEitherWay)
{
    const ParsedCommandLine parsed = parseCommandLine(
        {"--demo", "five-star", "--sort=1n", "--asc", "--all", "--timeout", "7", "--json", "--data-dir", "/tmp/x"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const CliOptions& o = *parsed.options;
    EXPECT_EQ(o.command, "five-star");
    EXPECT_TRUE(o.demo && o.ascending && o.all && o.json);
    EXPECT_EQ(o.sortKey, "1n");
    EXPECT_EQ(o.timeoutSeconds, 7);
    EXPECT_EQ(o.dataDir, "/tmp/x");

    const ParsedCommandLine compare = parseCommandLine({"compare", "000001", "--period", "threeyear", "000002"});
    ASSERT_TRUE(compare.options);
    EXPECT_EQ(compare.options->arguments, (std::vector<std::string> {"000001", "000002"}));
    // After "--" a leading dash is an argument (a sector name, a search text).
    const ParsedCommandLine dashed = parseCommandLine({"sector", "--", "-x"});
    ASSERT_TRUE(dashed.options);
    EXPECT_EQ(dashed.options->arguments.at(0), "-x");
}

TEST(CommandLine, EachMistakeIsNamed)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"five-star", "--period", "W"}, "--period does not apply to five-star"},
        {{"sectors", "--period"}, "--period needs a value"},
        {{"fund", "00001x"}, "not a fund code (six digits): 00001x"},
        {{"board", "0"}, "board takes a number from 1 to 4"},
        {{"five-star", "--timeout", "3601"}, "--timeout needs a number of seconds from 1 to 3600"},
        {{"five-star", "--sort", "5n"}, "unknown sort key 5n"},
        {{"sector"}, "sector needs an argument"},
        {{"fund", "000001", "000002"}, "too many arguments for fund: 000002"},
    };
    for (const auto& [args, error] : cases) {
        const ParsedCommandLine parsed = parseCommandLine(args);
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(parsed.error, error);
    }
}

} // namespace
} // namespace fw::cli
