#include "text/CodePage.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>

#include <random>

using namespace fw;

namespace {

// "億" is 83 7C in GBK: its trailing byte is the bar "|".
const Text kBarTail = "\x83\x7C";

// Straightforward reference: walk the characters one by one.
int naiveFind(std::string_view t, std::string_view m, int start)
{
    const size_t base = start < 1 ? 0 : size_t(start) - 1;
    for (size_t i = base; i + m.size() <= t.size(); i += (unsigned char)t[i] >= 0x80 ? 2 : 1)
        if (t.compare(i, m.size(), m) == 0)
            return int(i) + 1;
    return -1;
}

int naiveFindLast(std::string_view t, std::string_view m, size_t limit)
{
    int found = -1;
    for (size_t i = 0; i + m.size() <= limit; i += (unsigned char)t[i] >= 0x80 ? 2 : 1)
        if (t.compare(i, m.size(), m) == 0)
            found = int(i) + 1;
    return found;
}

} // namespace

TEST(FindText, MatchesOnlyAtCharacterBoundaries)
{
    EXPECT_EQ(findText(kBarTail, "|"), -1);
    EXPECT_EQ(findText(kBarTail + "|", "|"), 3); // right after a two-byte character
    EXPECT_EQ(findText("a" + kBarTail + kBarTail + "|x", "|x"), 6);
    // A high byte inside the marker must line up with a lead byte of the text.
    EXPECT_EQ(findText("\x83\x83\x7C", "\x83\x7C"), -1);
    EXPECT_EQ(findText("a\x83\x7C", "\x83\x7C"), 2);

    const Text fundName = gbk("五星基金测试");
    EXPECT_EQ(findText(fundName, gbk("基金")), 5);
    EXPECT_EQ(findText(fundName, gbk("测试")), 9);
    EXPECT_EQ(findText(fundName, gbk("测试x")), -1);
}

TEST(FindText, StartPositionsAndEmptyMarker)
{
    EXPECT_EQ(findText("abcabc", "b", 2), 2);
    EXPECT_EQ(findText("abcabc", "b", 3), 5);
    EXPECT_EQ(findText("abcabc", "b", -7), 2);
    EXPECT_EQ(findText("abcabc", "c", 7), -1);
    // An empty marker gives 1, whatever the start, while any text is left to search.
    EXPECT_EQ(findText("abc", "", 3), 1);
    EXPECT_EQ(findText("abc", "", 4), -1);
    EXPECT_EQ(findText("", ""), -1);
}

TEST(FindText, IgnoreCaseFoldsOnlyAsciiCharacters)
{
    EXPECT_EQ(findText("xxHeLLo", "hello", 1, true), 3);
    EXPECT_EQ(findText("xxHeLLo", "hello"), -1);
    // "圓" is 88 41 and "坅" is 88 61: they differ only in a trailing byte that
    // looks like "A"/"a", and must stay different characters.
    EXPECT_EQ(findText(gbk("坅"), gbk("圓"), 1, true), -1);
    EXPECT_EQ(findText(gbk("x圓A"), gbk("圓a"), 1, true), 2);
    EXPECT_EQ(findText(kBarTail + "|", "|", 1, true), 3);
}

TEST(FindLastText, LastWholeMatchBeforeEnd)
{
    EXPECT_EQ(findLastText("abcabc", "bc"), 5);
    EXPECT_EQ(findLastText("abcabc", "bc", 7), 5);
    EXPECT_EQ(findLastText("abcabc", "bc", 6), 2); // "bc" at 5 would need byte 6
    EXPECT_EQ(findLastText("abcabc", "bc", 3), -1);
    EXPECT_EQ(findLastText("abc", ""), -1);
}

TEST(FindLastText, SkipsTrailingBytesInLongRunsOfTwoByteCharacters)
{
    // "中" is D6 D0: a run of them is all high bytes, and "\xD0\xD6" occurs
    // between every two of them without ever starting on a boundary.
    Text run;
    for (int i = 0; i < 200; ++i)
        run += "\xD6\xD0";
    EXPECT_EQ(findLastText(run, "\xD0\xD6"), -1);
    EXPECT_EQ(findText(run, "\xD0\xD6"), -1);
    EXPECT_EQ(findLastText("\xD0\xD6" + run, "\xD0\xD6"), 1);
    EXPECT_EQ(findLastText(run + "|" + run, "|"), 401);
    // One extra lead byte in front shifts the pairing of the whole run.
    EXPECT_EQ(findLastText("\xD6" + run, "\xD0\xD6"), 399);
    EXPECT_EQ(findText("\xD6" + run, "\xD0\xD6"), 3);
    EXPECT_EQ(findLastText(kBarTail + kBarTail, "|"), -1);
}

TEST(SearchScan, AgreesWithCharacterByCharacterWalk)
{
    // Random texts over an alphabet rich in lead bytes and bytes that can be trailing bytes.
    const char alphabet[] = {'\x83', '\x7C', '|', 'a', '\xB0', '\xD0', 'b'};
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1);
    for (int round = 0; round < 3000; ++round) {
        Text text, marker;
        const int len = int(rng() % 130);
        for (int i = 0; i < len; ++i)
            text += alphabet[pick(rng)];
        const int mlen = 1 + int(rng() % 5);
        for (int i = 0; i < mlen; ++i)
            marker += alphabet[pick(rng)];
        const int start = int(rng() % (text.size() + 3)) - 1;
        SCOPED_TRACE(testing::PrintToString(text) + " / " + testing::PrintToString(marker));
        EXPECT_EQ(findText(text, marker), naiveFind(text, marker, 1));
        EXPECT_EQ(findText(text, marker, start), naiveFind(text, marker, start));
        EXPECT_EQ(findLastText(text, marker), naiveFindLast(text, marker, text.size()));
        const int end = 1 + int(rng() % (text.size() + 1));
        EXPECT_EQ(findLastText(text, marker, end), naiveFindLast(text, marker, size_t(end) - 1));
    }
}

TEST(CutBetween, TextStrictlyBetweenMarkers)
{
    EXPECT_EQ(cutBetween("abcabc", "b", "b"), "ca");
    EXPECT_EQ(cutBetween("abcabc", "x", "b"), "");
    EXPECT_EQ(cutBetween("abcabc", "c", "x"), "");
    EXPECT_EQ(cutBetween("abcabc", "c", "a", 4), ""); // no "a" after the second "c"
    EXPECT_EQ(cutBetween("abcabc", "a", "c", 2), "b");
    EXPECT_EQ(cutBetween("<td></td>", "<td>", "</td>"), "");
    EXPECT_EQ(cutBetween(gbk("2021年10月30日8时"), gbk("月"), gbk("日")), "30");
    EXPECT_EQ(cutBetween(kBarTail + "|x|", "|", "|"), "x");
}

TEST(CutBetween, EmptyMarkers)
{
    EXPECT_EQ(cutBetween("abc,def", "", ","), "abc");
    EXPECT_EQ(cutBetween("abc,def", "", ",", 5), "abc"); // an empty front marker counts from the start
    EXPECT_EQ(cutBetween("abc,def", "a", ""), "");
    EXPECT_EQ(cutBetween("abc,def", "", ""), "");
    EXPECT_EQ(cutBetween("", "", ","), "");
}

TEST(CutBetween, QuotePlaceholderInBothMarkers)
{
    const Text page = "<a title=\"" + gbk("基金") + "\" href=\"/f/1.html\">";
    EXPECT_EQ(cutBetween(page, gbk("title=#引号"), gbk("#引号")), gbk("基金"));
    EXPECT_EQ(cutBetween(page, gbk("href=#引号"), gbk("#引号>")), "/f/1.html");
    // Outside cutBetween the placeholder is plain text.
    EXPECT_EQ(textAfterLast(page, gbk("#引号")), "");
}

TEST(TextBeforeFirstAfterLast, PrefixAndSuffix)
{
    EXPECT_EQ(textBeforeFirst("a/b/c", "/"), "a");
    EXPECT_EQ(textAfterLast("a/b/c", "/"), "c");
    EXPECT_EQ(textBeforeFirst("a/b/c", "/", 3), "a/b"); // prefix from position 1 whatever the start
    EXPECT_EQ(textAfterLast("a/b/c", "/", 4), "b/c");
    EXPECT_EQ(textAfterLast("abc", "/"), "");
    EXPECT_EQ(textAfterLast("var rankData = {a};var rankData = {b}", "var rankData ="), " {b}");
    EXPECT_EQ(textBeforeFirst(kBarTail + "|z", "|"), kBarTail);
}

TEST(SplitText, PiecesAndEmptyRules)
{
    EXPECT_EQ(splitText("x|y|", "|"), (TextList{"x", "y"}));
    EXPECT_EQ(splitText("a||b", "|"), (TextList{"a", "", "b"}));
    EXPECT_EQ(splitText("|a", "|"), (TextList{"", "a"}));
    EXPECT_EQ(splitText("|", "|"), (TextList{""}));
    EXPECT_EQ(splitText("abc", "|"), (TextList{"abc"}));
    EXPECT_TRUE(splitText("", "|").empty());
    EXPECT_EQ(splitText("a--b--", "--"), (TextList{"a", "b"}));
    EXPECT_EQ(splitText(kBarTail + "|" + kBarTail, "|"), (TextList{kBarTail, kBarTail}));
    EXPECT_EQ(splitText("abc", ""), (TextList{"abc"}));
}

TEST(ReplaceAll, ReplacesAtBoundariesOnly)
{
    EXPECT_EQ(replaceAll("a,b,,c", ",", ";;"), "a;;b;;;;c");
    EXPECT_EQ(replaceAll(kBarTail + "|", "|", "/"), kBarTail + "/");
    EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
}
