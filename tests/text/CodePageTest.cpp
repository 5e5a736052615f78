#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace fw;

namespace {
const std::string kZhongUtf8 = "\xE4\xB8\xAD";    // 中
const std::string kZhongGbk = "\xD6\xD0";
const std::string kJinUtf8 = "\xE9\x87\x91";      // 金
const std::string kJinGbk = "\xBD\xF0";
const std::string kEuroUtf8 = "\xE2\x82\xAC";     // €, the single byte 0x80 in code page 936
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80"; // not in GBK
} // namespace

TEST(Utf8ToGbk, ConvertsAndReplacesWhatGbkCannotHold)
{
    EXPECT_EQ(utf8ToGbk(""), "");
    EXPECT_EQ(utf8ToGbk("x" + kZhongUtf8 + kJinUtf8 + "y"), "x" + kZhongGbk + kJinGbk + "y");
    EXPECT_EQ(utf8ToGbk(kEuroUtf8), "\x80");
    EXPECT_EQ(utf8ToGbk("\xC3\xA9"), "\xA8\xA6"); // é exists in GBK
    // One "?" per character, however many bytes its UTF-8 form has.
    EXPECT_EQ(utf8ToGbk("a" + kEmojiUtf8 + "b\xE2\x82\xA9"), "a?b?");
    EXPECT_EQ(utf8ToGbk("\xEF\xBB\xBF{}"), "?{}"); // a byte-order mark is a character like any other
}

TEST(Utf8ToGbk, InvalidSequencesBecomeQuestionMarks)
{
    EXPECT_EQ(utf8ToGbk("a\xFF" "b"), "a?b");
    EXPECT_EQ(utf8ToGbk("a\xE4\xB8"), "a?");            // truncated at the end
    EXPECT_EQ(utf8ToGbk("\xE4\xB8" "a" + kZhongUtf8), "?a" + kZhongGbk);
    EXPECT_EQ(utf8ToGbk("\xC0\xAF"), "??");            // overlong form
    EXPECT_EQ(utf8ToGbk("\xED\xA0\x80"), "???");       // encoded surrogate
    EXPECT_EQ(utf8ToGbk("\x80\x80" + kJinUtf8), "??" + kJinGbk);
}

TEST(Conversions, EndAtFirstZeroCharacter)
{
    EXPECT_EQ(utf8ToGbk(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(utf8ToGbk(std::string("\xE4\xB8\xAD\0\xE4\xB8\xAD", 7)), kZhongGbk);
    EXPECT_EQ(gbkToUtf8(std::string("\xD6\xD0\0x", 4)), kZhongUtf8);
    EXPECT_EQ(utf16ToGbk(std::string("a\0\0\0b\0", 6)), "a");
    EXPECT_EQ(gbkToUtf16(std::string("a\0b", 3)), std::string("a\0\0\0", 4));
}

TEST(GbkToUtf8, ConvertsAndMarksInvalidBytes)
{
    EXPECT_EQ(gbkToUtf8(kZhongGbk + "1" + kJinGbk), kZhongUtf8 + "1" + kJinUtf8);
    EXPECT_EQ(gbkToUtf8("\x80"), kEuroUtf8);
    EXPECT_EQ(gbkToUtf8("a\x81"), "a\xEF\xBF\xBD");     // lone lead byte at the end
    EXPECT_EQ(gbkToUtf8("\x81 b"), "\xEF\xBF\xBD b");   // an invalid pair keeps its ASCII byte
    EXPECT_EQ(gbkToUtf8("\xFF" "a"), "\xEF\xBF\xBD" "a");
}

TEST(GbkToUtf16, TerminatorAndDropFlag)
{
    EXPECT_EQ(gbkToUtf16("ab", true), std::string("a\0b\0", 4));
    EXPECT_EQ(gbkToUtf16("ab"), std::string("a\0b\0\0\0", 6));
    EXPECT_EQ(gbkToUtf16(kZhongGbk), std::string("\x2D\x4E\0\0", 4));
    EXPECT_EQ(gbkToUtf16(""), "");
    EXPECT_EQ(gbkToUtf16("", true), "");
}

TEST(Utf16ToGbk, UnitsSurrogatesAndOddLength)
{
    EXPECT_EQ(utf16ToGbk(std::string("\x2D\x4E" "a\0", 4)), kZhongGbk + "a");
    EXPECT_EQ(utf16ToGbk(std::string("a\0b", 3)), "a"); // odd last byte ignored
    EXPECT_EQ(utf16ToGbk(std::string("\x3D\xD8\x00\xDE" "b\0", 6)), "?b"); // pair outside GBK: one "?"
    EXPECT_EQ(utf16ToGbk(std::string("\x3D\xD8" "b\0", 4)), "?b");         // unpaired high surrogate
    EXPECT_EQ(utf16ToGbk(std::string("\x00\xDE", 2)), "?");                // unpaired low surrogate
}

TEST(Conversions, RoundTripsEveryGbkCharacter)
{
    Text all;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F) {
                const Text ch{char(lead), char(trail)};
                if (gbkToUtf8(ch).find("\xEF\xBF\xBD") == std::string::npos) // skip unassigned codes
                    all += ch;
            }
    ASSERT_GT(all.size(), 2 * 21000u);
    EXPECT_EQ(utf8ToGbk(gbkToUtf8(all)), all);
    EXPECT_EQ(utf16ToGbk(gbkToUtf16(all)), all);
    EXPECT_EQ(utf16ToGbk(gbkToUtf16(all, true)), all);
}

TEST(Conversions, ConcurrentThreadsGetTheirOwnConverters)
{
    const std::string utf8 = "x" + kZhongUtf8 + kEmojiUtf8 + kJinUtf8;
    const Text expected = "x" + kZhongGbk + "?" + kJinGbk;
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (utf8ToGbk(utf8) != expected || gbkToUtf8(expected) != "x" + kZhongUtf8 + "?" + kJinUtf8)
                    ++failures[t];
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(CharsetToGbk, DecodesNamedCharsets)
{
    Text out;
    ASSERT_TRUE(charsetToGbk("caf\xE9", "ISO-8859-1", out));
    EXPECT_EQ(out, "caf\xA8\xA6");
    ASSERT_TRUE(charsetToGbk(kZhongGbk + "\x81", "GBK", out));
    EXPECT_EQ(out, kZhongGbk + "?");
    ASSERT_TRUE(charsetToGbk(std::string("\x2D\x4E\0\0z\0", 6), "UTF-16LE", out));
    EXPECT_EQ(out, kZhongGbk);
}

TEST(CharsetToGbk, RefusesUnknownNames)
{
    Text out = "stale";
    EXPECT_FALSE(charsetToGbk("abc", "no-such-charset", out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(charsetToGbk("abc", "", out));
    EXPECT_FALSE(charsetToGbk("abc", "UTF-8//IGNORE", out));
}
