#include "text/CodePage.h"
#include "text/RegexMatcher.h"

#include <gtest/gtest.h>

#include <chrono>

using fw::gbk;
using fw::RegexMatcher;
using fw::RegexOptions;
using fw::Text;

namespace {

RegexOptions options(bool caseSensitive, bool multiLine, bool global, bool quotes = false)
{
    RegexOptions o;
    o.caseSensitive = caseSensitive;
    o.multiLine = multiLine;
    o.global = global;
    o.quotePlaceholder = quotes;
    return o;
}

} // namespace

TEST(RegexDialect, PatternsOfThePages)
{
    RegexMatcher m;
    // The chart pattern: "{" that starts no repetition is a literal.
    ASSERT_TRUE(m.search(R"({ "date": ".*?})", R"(a{ "date": "1"}b{ "date": "2"})"));
    EXPECT_EQ(m.matchCount(), 2);
    EXPECT_EQ(m.matchText(2), R"({ "date": "2"})");
    ASSERT_TRUE(m.search("x{,2}y{2}z{a}", "x{,2}yyz{a}"));
    EXPECT_EQ(m.matchCount(), 1);

    // Capitals in the pattern find small letters in the page.
    const Text page = gbk(R"(<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312" />)");
    ASSERT_TRUE(m.search(R"(<META.+?CHARSET=[^\w]?([-\w]+))", page));
    EXPECT_EQ(m.groupText(1, 1), "gb2312");
    ASSERT_TRUE(m.search(R"(<meta.+?charset=[^\w]?([-\w]+))", R"(<meta charset="utf-8">)"));
    EXPECT_EQ(m.groupText(1, 1), "utf-8");

    // ".*?" is lazy and stops at a line feed, but not at a carriage return.
    const Text summary = R"(<div class="bold">1.23%</div><div class="bold">-0.52%</div>)";
    ASSERT_TRUE(m.search(R"(bold">.*?</div>)", summary));
    EXPECT_EQ(m.matchCount(), 2);
    EXPECT_EQ(m.matchText(1), R"(bold">1.23%</div>)");
    ASSERT_TRUE(m.search(R"(bold">.*?</div>)", "<div class=\"bold\">1.23\n%</div>"));
    EXPECT_EQ(m.matchCount(), 0);
    ASSERT_TRUE(m.search(R"(bold">.*?</div>)", "<div class=\"bold\">1.23\r%</div>"));
    EXPECT_EQ(m.matchCount(), 1);

    // Chinese text in pattern, subject and results; \w stays ASCII.
    const Text holdings = gbk("<a href='x'>行情</a></td><td class='tor'>9.87%</td><td class='tor'>12.34</td>");
    ASSERT_TRUE(m.search(gbk(">行情</a></td><td class='tor'>(.*?)</td><td class='tor'>"), holdings));
    EXPECT_EQ(m.groupText(1, 1), "9.87%");
    ASSERT_TRUE(m.search(R"(\w+)", gbk("基金abc_1中文")));
    EXPECT_EQ(m.matchCount(), 1);
    EXPECT_EQ(m.matchText(1), "abc_1");
    ASSERT_TRUE(m.search(gbk("[^\\w]+"), gbk("ab中文cd")));
    EXPECT_EQ(m.matchText(1), gbk("中文"));
    ASSERT_TRUE(m.search(R"(\u4E2D.)", gbk("中文")));
    EXPECT_EQ(m.matchText(1), gbk("中文"));
}

// A "{" that starts no {n}, {n,} or {n,m} is escaped before compiling, so it
// stays a literal on PCRE2 versions that read "{,n}" or "{ n }" as repetitions.
TEST(RegexDialect, BracesThatStartNoRepetitionAreEscaped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a{,3}", R"(a\{,3})"},
        {"a{ 2 }", R"(a\{ 2 })"},
        {"a{2 }", R"(a\{2 })"},
        {"a{2, 5}", R"(a\{2, 5})"},
        {"a{2}b{2,}c{2,5}", "a{2}b{2,}c{2,5}"},
        {"a{10,200}", "a{10,200}"},
        {"{", R"(\{)"},
        {"a{2", R"(a\{2)"},
        {"a{2,5", R"(a\{2,5)"},
        {"a{}", R"(a\{})"},
        {"a{x}", R"(a\{x})"},
        {"a{2,x}", R"(a\{2,x})"},
        {R"({ "date": ".*?})", R"(\{ "date": ".*?})"},
        {"\xE4\xB8\xAD{,2}", "\xE4\xB8\xAD\\{,2}"}, // after a character of UTF-8
        // In a character class a brace is a member already.
        {"[{,3}]", "[{,3}]"},
        {"[^]{]{,2}", R"([^]{]\{,2})"},
        {"[]{]", "[]{]"},
        {"[[:alpha:]{]{,1}", R"([[:alpha:]{]\{,1})"},
        {"[a.]{,2}.]", R"([a.]\{,2}.])"}, // ".]" starts no [.x.] unless "[" comes first
        {R"([\]{]{,1})", R"([\]{]\{,1})"},
        {"[a{", "[a{"},
        // After a backslash.
        {R"(\{,3})", R"(\{,3})"},
        {R"(\\{,3})", R"(\\\{,3})"},
        {R"(\Q{,3}\E{,3})", R"(\Q{,3}\E\{,3})"},
        {R"(\Q{,3})", R"(\Q{,3})"},
        {R"(\p{L}{,2})", R"(\p{L}\{,2})"},
        {R"(\P{Han}\g{1}\k{n}\o{17})", R"(\P{Han}\g{1}\k{n}\o{17})"},
        {R"(\N{U+4E2D}\N{,2})", R"(\N{U+4E2D}\N\{,2})"},
        {R"(\c{{,2})", R"(\c{\{,2})"},
        {R"(\x{41}\x{4e})", R"(\x{41}\x\{4e})"},
        {R"(\d{2}\d{,2})", R"(\d{2}\d\{,2})"},
        {"a\\", "a\\"},
    };
    for (const auto& [pattern, escaped] : cases)
        EXPECT_EQ(fw::detail::escapeLiteralBraces(pattern), escaped) << pattern;

    RegexMatcher m;
    ASSERT_TRUE(m.search("a{ 2 }|b{,1}", "a{ 2 } aa b{,1} b"));
    EXPECT_EQ(m.matchCount(), 2);
    EXPECT_EQ(m.matchText(2), "b{,1}");
    ASSERT_TRUE(m.search("[{]{2}", "{{{"));
    EXPECT_EQ(m.matchText(1), "{{");
}

TEST(RegexResults, NumbersGroupsAndPositions)
{
    RegexMatcher m;
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_EQ(m.matchText(1), "");
    EXPECT_EQ(m.pattern(), "");
    EXPECT_EQ(m.replace("x"), "");

    const Text subject = gbk("基金a1,b2,c");
    ASSERT_TRUE(m.search("([a-z])(\\d)?", subject));
    EXPECT_EQ(m.matchCount(), 3);
    EXPECT_EQ(m.groupCount(), 2);
    EXPECT_EQ(m.matchText(0), "");
    EXPECT_EQ(m.matchText(4), "");
    EXPECT_EQ(m.matchText(-1), "");
    EXPECT_EQ(m.groupText(2, 2), "2");
    EXPECT_EQ(m.groupText(3, 2), ""); // took no part
    EXPECT_EQ(m.groupText(1, 0), "");
    EXPECT_EQ(m.groupText(1, 3), "");
    EXPECT_EQ(m.groupText(4, 1), "");

    // Positions are 0-based byte offsets in the GBK subject.
    int pos = 99;
    EXPECT_EQ(m.matchText(1, &pos), "a1");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(m.matchText(3, &pos), "c");
    EXPECT_EQ(pos, 10);
    EXPECT_EQ(m.matchText(2, &pos), "b2");
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(m.groupText(2, 2, &pos), "2");
    EXPECT_EQ(pos, 8);
    m.matchText(5, &pos);
    EXPECT_EQ(pos, -1);
    // A group's position is its own, even when its text occurs earlier in the match.
    ASSERT_TRUE(m.search("x(.)y(\\1)", gbk("中x1y1")));
    EXPECT_EQ(m.groupText(1, 2, &pos), "1");
    EXPECT_EQ(pos, 5);

    ASSERT_TRUE(m.search("zzz", subject));
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_EQ(m.groupCount(), 0);
}

TEST(RegexOptions, CaseLinesGlobalAndQuotes)
{
    RegexMatcher m;
    ASSERT_TRUE(m.search("ABC", "abc ABC", options(true, true, true)));
    EXPECT_EQ(m.matchCount(), 1);
    ASSERT_TRUE(m.search("abc", "abc ABC", options(false, true, false)));
    EXPECT_EQ(m.matchCount(), 1);

    ASSERT_TRUE(m.search("^\\d+$", "12\n34\r\n56", options(false, true, true)));
    EXPECT_EQ(m.matchCount(), 2); // "34\r" does not end before a line feed
    ASSERT_TRUE(m.search("^\\d+$", "12\n34", options(false, false, true)));
    EXPECT_EQ(m.matchCount(), 0);
    ASSERT_TRUE(m.search("^\\d+$", "12\n", options(false, false, true)));
    EXPECT_EQ(m.matchCount(), 0);

    const Text quoted = gbk("name=#引号x#引号");
    ASSERT_TRUE(m.search(quoted, "name=\"x\"", options(false, true, true, true)));
    EXPECT_EQ(m.pattern(), "name=\"x\"");
    EXPECT_EQ(m.matchCount(), 1);
    ASSERT_TRUE(m.search(quoted, "name=\"x\"", options(false, true, true, false)));
    EXPECT_EQ(m.matchCount(), 0);
    ASSERT_TRUE(m.search(quoted, quoted, options(false, true, true, false)));
    EXPECT_EQ(m.matchCount(), 1);
}

TEST(RegexSearch, EmptyMatchesAdvanceByCharacter)
{
    RegexMatcher m;
    ASSERT_TRUE(m.search("x*", "abc"));
    EXPECT_EQ(m.matchCount(), 4);
    ASSERT_TRUE(m.search("x*", gbk("中文")));
    EXPECT_EQ(m.matchCount(), 3);
    EXPECT_EQ(m.replace("-"), gbk("-中-文-"));
    ASSERT_TRUE(m.search("a*", "baac"));
    EXPECT_EQ(m.replace("<$&>"), "<>b<aa><>c<>");
}

TEST(RegexSearch, RefusedAndPathologicalPatterns)
{
    RegexMatcher m;
    ASSERT_TRUE(m.search("a", "a"));
    for (const char* bad : {"(", "a)", "[a", "a**", "\\", "(?<", "x{2,1}"}) {
        EXPECT_FALSE(m.search(bad, "a((a")) << bad;
        EXPECT_EQ(m.matchCount(), 0) << bad;
        EXPECT_EQ(m.matchText(1), "") << bad;
        EXPECT_EQ(m.groupCount(), 0) << bad;
        EXPECT_EQ(m.replace("x"), "") << bad;
    }

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(m.search("(a+)+$", Text(50, 'a') + "b"));
    EXPECT_EQ(m.matchCount(), 0);
    ASSERT_TRUE(m.search("(\\w+\\s?)+$", Text(5000, 'a') + "!"));
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // A long but finite repetition still matches.
    ASSERT_TRUE(m.search("^(?:(a)|b)*$", Text(100000, 'a') + "b"));
    EXPECT_EQ(m.matchCount(), 1);
}

TEST(RegexReplace, GroupReferences)
{
    RegexMatcher m;
    const Text subject = gbk("代码:000001,代码:161725");
    ASSERT_TRUE(m.search(gbk("代码:(\\d+)"), subject));
    EXPECT_EQ(m.replace("[$1]"), "[000001],[161725]");
    EXPECT_EQ(m.replace(gbk("$$1=$1$2$")), gbk("$1=000001$2$,$1=161725$2$"));
    ASSERT_TRUE(m.search(gbk("代码:(\\d+)"), subject, options(false, true, false)));
    EXPECT_EQ(m.replace("<$`|$'>"), "<|" + gbk(",代码:161725") + ">" + gbk(",代码:161725"));
    ASSERT_TRUE(m.search("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "abcdefghijk"));
    EXPECT_EQ(m.replace("$11$10$1$01"), "kjaa");
    EXPECT_EQ(m.replace("$9$12"), "ia2");
    ASSERT_TRUE(m.search("q", "abc"));
    EXPECT_EQ(m.replace("x"), "abc");
}

// A bound on the matches stops a global search there; 0 leaves it unbounded.
TEST(RegexMatcher, MaxMatchesStopsTheSearch)
{
    const struct {
        int maxMatches;
        int count;
        const char* last;
    } cases[] = {{0, 5, "e5"}, {1, 1, "a1"}, {3, 3, "c3"}, {5, 5, "e5"}, {9, 5, "e5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxMatches);
        RegexMatcher m;
        RegexOptions options;
        options.maxMatches = c.maxMatches;
        ASSERT_TRUE(m.search("[a-e][0-9]", "a1 b2 c3 d4 e5", options));
        EXPECT_EQ(m.matchCount(), c.count);
        EXPECT_EQ(m.matchText(c.count), c.last);
    }
}
