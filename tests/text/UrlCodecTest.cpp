#include "text/CodePage.h"
#include "text/UrlCodec.h"

#include <gtest/gtest.h>

using namespace fw;

TEST(UrlEncode, EncodesBytesWithUpperCaseDigits)
{
    EXPECT_EQ(urlEncode("ab"), "%61%62");
    EXPECT_EQ(urlEncode("ab", true), "ab");
    EXPECT_EQ(urlEncode("", true), "");
    EXPECT_EQ(urlEncode("a b/c_d~e", true), "a%20b%2Fc%5Fd%7Ee");
    EXPECT_EQ(urlEncode("-.09AZaz+", true), "-.09AZaz%2B");
    EXPECT_EQ(urlEncode(std::string("\n\0", 2)), "%0A%00");
    EXPECT_EQ(urlEncode(gbk("中"), true), "%D6%D0");
    EXPECT_EQ(urlEncode(gbk("中a"), true, true), "%E4%B8%ADa");
    EXPECT_EQ(urlEncode(gbk("基金 000001"), true, true), "%E5%9F%BA%E9%87%91%20000001");
}

TEST(UrlDecode, DecodesEscapesAndKeepsTheRest)
{
    EXPECT_EQ(urlDecode("plain+text"), "plain+text");
    EXPECT_EQ(urlDecode("%2f%2F%41"), "//A");
    EXPECT_EQ(urlDecode("%D6%D0"), gbk("中"));
    EXPECT_EQ(urlDecode("%E4%B8%AD", true), gbk("中"));
    EXPECT_EQ(urlDecode("%00x"), std::string("\0x", 2));
}

TEST(UrlDecode, MalformedEscapesAreCopiedLiterally)
{
    EXPECT_EQ(urlDecode("100%"), "100%");
    EXPECT_EQ(urlDecode("%4"), "%4");
    EXPECT_EQ(urlDecode("%zz%41"), "%zzA");
    EXPECT_EQ(urlDecode("%%41"), "%A");
    EXPECT_EQ(urlDecode("%4g"), "%4g");
}

TEST(UrlCodec, EveryByteSurvivesARoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(urlDecode(urlEncode(all)), all);
    EXPECT_EQ(urlDecode(urlEncode(all, true)), all);
    const Text words = gbk("易方达蓝筹 精选/混合");
    EXPECT_EQ(urlDecode(urlEncode(words, true, true), true), words);
}

TEST(Unescape, PercentUIsAUtf16UnitAndPercentTwoDigitsAByte)
{
    const std::pair<std::string, std::string> cases[] = {
        {"%u4FEE%u6539", gbk("修改")},
        {"%u4fee", gbk("修")},                    // either letter case in the digits
        {"%u0041%41%61", "AAa"},
        {"%B3%C9%B9%A6", gbk("成功")},            // the GBK bytes of 成功
        {"%u6210%B9%A6", gbk("成功")},            // a character, then two bytes
        {std::string("a%u0000b", 8), std::string("a\0b", 3)},
        {"%uD83D%uDE00!", "?!"},                  // one character GBK cannot hold
        {"%uDE00%uD83D", "??"},                   // two halves in the wrong order
        // Not escapes: copied as they stand.
        {"%U4FEE", "%U4FEE"},                     // only a small u
        {"%u4FE", "%u4FE"},
        {"%u4FEG", "%u4FEG"},
        {"100%", "100%"},
        {"%4", "%4"},
        {"%%41", "%A"},
        {"%zz", "%zz"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(unescapeText(in), out) << in;
}
