// The output pieces on their own: display widths, aligned and tab-separated
// tables, the progress line, the command line's options.
#include "cli/Cli.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/Progress.h"
#include "cli/TextTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
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

// UTF-8 of one code point.
std::string utf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

TEST(DisplayWidth, EachRangeOfWideAndZeroWidthCharactersEndsWhereItShould)
{
    // First and last character of each range, and their neighbours outside it.
    const std::pair<char32_t, int> cases[] = {
        {0x10FF, 1},  {0x1100, 2},  {0x115F, 2},  {0x1160, 1},  // Hangul leading consonants
        {0x2E7F, 1},  {0x2E80, 2},  {0x303E, 2},  {0x303F, 1},  // CJK radicals and punctuation
        {0x3040, 1},  {0x3041, 2},  {0x33FF, 2},  {0x3400, 2},  // kana to CJK compatibility
        {0x4DBF, 2},  {0x4DC0, 1},  {0x4DFF, 1},  {0x4E00, 2},  // extension A, hexagrams, unified
        {0x9FFF, 2},  {0xA000, 2},  {0xA4CF, 2},  {0xA4D0, 1},  // unified, Yi
        {0xABFF, 1},  {0xAC00, 2},  {0xD7A3, 2},  {0xD7A4, 1},  // Hangul syllables
        {0xF8FF, 1},  {0xF900, 2},  {0xFAFF, 2},  {0xFB00, 1},  // compatibility ideographs
        {0xFE0F, 0},  {0xFE10, 2},  {0xFE19, 2},  {0xFE1A, 1},  // vertical forms
        {0xFE1F, 1},  {0xFE20, 0},  {0xFE2F, 0},  {0xFE30, 2},  // half marks, compatibility forms
        {0xFE4F, 2},  {0xFE50, 2},  {0xFE6F, 2},  {0xFE70, 1},  // small forms
        {0xFEFF, 1},  {0xFF00, 2},  {0xFF60, 2},  {0xFF61, 1},  // full-width forms, half-width kana
        {0xFFDF, 1},  {0xFFE0, 2},  {0xFFE6, 2},  {0xFFE7, 1},  // full-width signs
        {0x1F2FF, 1}, {0x1F300, 2}, {0x1F64F, 2}, {0x1F650, 1}, // pictographs and emoticons
        {0x1FFFF, 1}, {0x20000, 2}, {0x3FFFD, 2}, {0x3FFFE, 1}, // supplementary ideographs
        {0x1F, 0},    {0x20, 1},    {0x7E, 1},    {0x7F, 0},    // controls
        {0x9F, 0},    {0xA0, 1},    {0x2FF, 1},   {0x300, 0},   // C1 controls, combining marks
        {0x36F, 0},   {0x370, 1},   {0x200A, 1},  {0x200B, 0},  // zero-width space
        {0x200C, 1},  {0xFDFF, 1},  {0xFE00, 0},  // variation selectors
    };
    for (const auto& [c, width] : cases)
        EXPECT_EQ(displayWidth(utf8(c)), width) << std::hex << "U+" << uint32_t(c);
}

// A cell's figure goes into the JSON as a number, anything else as null.
TEST(CellFigure, FiguresAreNumbersAndEverythingElseIsNull)
{
    const std::pair<std::string, Json> cases[] = {
        {"1.23%", 1.23}, {"-0.5", -0.5}, {"--", nullptr}, {"---", nullptr}, {"", nullptr}, {"abc", nullptr},
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(jsonFigure(text), json) << '"' << text << '"';
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

// Names come from the service: whatever a terminal would take as a command
// (ESC, CSI, OSC, the C1 controls, DEL) is left out of every printed cell,
// while characters whose UTF-8 bytes lie in 0x80–0x9F stay whole.
TEST(TerminalText, ControlCharactersAreLeftOutOfTablesAndLines)
{
    const struct {
        std::string cell, shown;
    } cases[] = {
        {"\x1b[31m红\x1b[0m", "[31m红[0m"},          // ESC and its colour
        {"a\x1b]0;title\x07" "b", "a]0;titleb"},       // OSC ended by BEL
        {"x\xc2\x9b" "2Jy", "x2Jy"},                   // U+009B, the one-character CSI
        {"x\xc2\x80\xc2\x85\xc2\x9fy", "xy"},          // first, NEL and last of C1
        {"del\x7f!", "del!"},                          // DEL
        {std::string("a\0b\x01\x1f", 5), "ab"},        // NUL and the ends of C0
        {"基金\t代码\n名\r称", "基金 代码 名 称"},     // field and line breaks
        {"\x9b" "2J", "\xef\xbf\xbd" "2J"},            // a stray 0x9B byte
        {"华夏成长混合A", "华夏成长混合A"},            // 华 is E5 8D 8E: kept
        {"\xc2\xa0€", "\xc2\xa0€"},                    // U+00A0 is no control
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(printableText(c.cell), c.shown);
        TextTable table;
        table.header = {"h\x1b[2J", "n"};
        table.rows = {{{c.cell}, {"1"}}};
        std::ostringstream lines;
        writeTabSeparated(lines, table);
        EXPECT_EQ(lines.str(), "h[2J\tn\n" + c.shown + "\t1\n");
        std::ostringstream aligned;
        writeAligned(aligned, table, true);
        EXPECT_NE(aligned.str().find(c.shown), std::string::npos) << aligned.str();
        EXPECT_EQ(aligned.str().find_first_of(std::string("\x1b\x7f\r\t\0", 5)), std::string::npos)
            << aligned.str();
    }
}

TEST(TerminalText, MessagesAreTextToo)
{
    std::ostringstream out, err;
    cli::CliIo io {out, err};
    EXPECT_EQ(cli::runCli({"--\x1b]0;owned\x07"}, io), cli::kExitUsage);
    EXPECT_EQ(err.str(), "fundwatch-cli: unknown option --]0;owned\n(`fundwatch-cli --help` lists the commands)\n");
    err.str("");
    EXPECT_EQ(cli::runCli({"five-star", "--sort", "x\xc2\x9b" "1m"}, io), cli::kExitUsage);
    EXPECT_EQ(err.str(), "fundwatch-cli: unknown sort key x1m\n(`fundwatch-cli --help` lists the commands)\n");
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
