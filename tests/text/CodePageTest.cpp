#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <iconv.h>
#include <map>
#include <memory>
#include <random>
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
    // An empty view may have no data at all (an empty body): nothing is read through it.
    EXPECT_EQ(utf8ToGbk(std::string_view()), "");
    EXPECT_EQ(gbkToUtf8(std::string_view()), "");
    EXPECT_EQ(utf16ToGbk(std::string_view()), "");
    EXPECT_EQ(gbkToUtf16(std::string_view(), true), "");
}

TEST(GbkToUtf8, ConvertsAndMarksInvalidBytes)
{
    EXPECT_EQ(gbkToUtf8(kZhongGbk + "1" + kJinGbk), kZhongUtf8 + "1" + kJinUtf8);
    EXPECT_EQ(gbkToUtf8("\x80"), kEuroUtf8);
    EXPECT_EQ(gbkToUtf8("a\x81"), "a\xEF\xBF\xBD");     // lone lead byte at the end
    EXPECT_EQ(gbkToUtf8("\x81 b"), "\xEF\xBF\xBD b");   // an invalid pair keeps its ASCII byte
    EXPECT_EQ(gbkToUtf8("\xFF" "a"), "\xEF\xBF\xBD" "a");
}

TEST(GbkToUtf8, LongTextsAcrossTheConversionSlices)
{
    // Long enough for several 64 KiB slices; with an odd start, characters
    // straddle the slice ends.
    auto times = [](const std::string& unit, size_t n) {
        std::string out;
        for (size_t i = 0; i < n; ++i)
            out += unit;
        return out;
    };
    EXPECT_EQ(gbkToUtf8("a" + times(kZhongGbk, 100000)), "a" + times(kZhongUtf8, 100000));
    EXPECT_EQ(gbkToUtf8(times("b" + kJinGbk, 70000)), times("b" + kJinUtf8, 70000));
    // Three UTF-8 bytes from each single byte: more than the room first made.
    EXPECT_EQ(gbkToUtf8(std::string(200000, '\x80')), times(kEuroUtf8, 200000));
    EXPECT_EQ(gbkToUtf8(std::string(200000, '\xFF')), times("\xEF\xBF\xBD", 200000));
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

TEST(Conversions, ConcurrentThreadsGetTheSameResults)
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

// Pages labelled GB2312 are GBK: a character only GBK has (堃) must not come
// out as "?" as glibc's strict GB2312 makes it. Bytes that start no character
// still become "?", and the text ends at a zero byte.
TEST(CharsetToGbk, NamesOfGb2312AndGbkReadAsCodePage936)
{
    const std::string kun = "\x88\xD2"; // 堃, outside GB2312
    const std::string page = "<p>" + kun + kZhongGbk + "\x80" + "</p>";
    for (const char* name : {"gb2312", "GB2312", "gb_2312-80", "EUC-CN", "euc-cn", "csGB2312", "x-gbk", "X-GBK",
                             "cp936", "CP936", "windows-936", "Windows-936", "GBK", "gbk"}) {
        Text out;
        ASSERT_TRUE(charsetToGbk(page, name, out)) << name;
        EXPECT_EQ(out, page) << name;
        ASSERT_TRUE(charsetToGbk("a\xFF" "b\x81 " + kZhongGbk + "\x81", name, out)) << name;
        EXPECT_EQ(out, "a?b? " + kZhongGbk + "?") << name;
        ASSERT_TRUE(charsetToGbk(std::string("x\0", 2) + kun, name, out)) << name;
        EXPECT_EQ(out, "x") << name;
    }
}

// GB18030 is not GBK: its four-byte sequences stand for one character, and
// the euro sign is a two-byte character there.
TEST(CharsetToGbk, Gb18030KeepsItsOwnDecoder)
{
    Text out;
    ASSERT_TRUE(charsetToGbk("\x81\x30\x81\x30|\xA2\xE3|" + kZhongGbk, "GB18030", out));
    EXPECT_EQ(out, "?|\x80|" + kZhongGbk);
}

TEST(CharsetToGbk, RefusesUnknownNames)
{
    Text out = "stale";
    EXPECT_FALSE(charsetToGbk("abc", "no-such-charset", out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(charsetToGbk("abc", "", out));
    EXPECT_FALSE(charsetToGbk("abc", "UTF-8//IGNORE", out));
}

// The table-driven conversions against the straightforward iconv conversions
// they replace: decode to code points (UTF-8 and UTF-16 by hand, GBK and
// foreign sets with iconv), then encode to GBK with iconv.
namespace {

using CodePoints = std::u32string;
constexpr char32_t kFffd = 0xFFFD;
const char* const kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

struct Converter {
    iconv_t cd;
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
};

CodePoints referenceDecodeUtf8(std::string_view in)
{
    CodePoints out;
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    while (p < end && *p) {
        const unsigned char b = *p++;
        if (b < 0x80) {
            out.push_back(b);
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2, cp = b & 0x0F;
            lo = b == 0xE0 ? 0xA0 : 0x80;
            hi = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3, cp = b & 0x07;
            lo = b == 0xF0 ? 0x90 : 0x80;
            hi = b == 0xF4 ? 0x8F : 0xBF;
        }
        if (need == 0) {
            out.push_back(kFffd);
            continue;
        }
        int got = 0;
        for (; got < need && p < end; ++got, ++p) {
            if (*p < (got ? 0x80 : lo) || *p > (got ? 0xBF : hi))
                break;
            cp = cp << 6 | (*p & 0x3F);
        }
        out.push_back(got == need ? cp : kFffd);
    }
    return out;
}

CodePoints referenceDecodeUtf16(std::string_view in)
{
    CodePoints out;
    const size_t units = in.size() / 2;
    auto unit = [&](size_t i) -> char32_t {
        return static_cast<unsigned char>(in[2 * i]) | static_cast<unsigned char>(in[2 * i + 1]) << 8;
    };
    for (size_t i = 0; i < units && unit(i); ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            out.push_back(0x10000 + ((u - 0xD800) << 10) + (unit(++i) - 0xDC00));
            continue;
        }
        out.push_back(u >= 0xD800 && u <= 0xDFFF ? kFffd : u);
    }
    return out;
}

// iconv into code points: a rejected sequence is U+FFFD and one byte skipped,
// an incomplete one at the end is one U+FFFD.
CodePoints referenceDecode(const char* charset, std::string_view in)
{
    static std::map<std::string, std::unique_ptr<Converter>> converters;
    auto& converter = converters[charset];
    if (!converter)
        converter = std::make_unique<Converter>(kUtf32, charset);
    const iconv_t cd = converter->cd;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    CodePoints out;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char32_t buf[64];
        char* dst = reinterpret_cast<char*>(buf);
        size_t dstLeft = sizeof buf;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int error = errno;
        out.append(buf, (sizeof buf - dstLeft) / sizeof(char32_t));
        if (rc != static_cast<size_t>(-1) || error == E2BIG)
            continue;
        out.push_back(kFffd);
        if (error != EILSEQ)
            break;
        ++src, --srcLeft;
    }
    return out.substr(0, out.find(U'\0'));
}

Text referenceEncodeGbk(const CodePoints& cps)
{
    static Converter gbk("CP936", kUtf32);
    Text out;
    for (char32_t c : cps) {
        if (c == 0)
            break;
        char buf[8];
        char* src = reinterpret_cast<char*>(&c);
        size_t srcLeft = sizeof c;
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        if (iconv(gbk.cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1))
            out += '?';
        else
            out.append(buf, sizeof buf - dstLeft);
    }
    return out;
}

std::string referenceEncodeUtf8(const CodePoints& cps)
{
    std::string out;
    for (char32_t c : cps) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

std::string referenceEncodeUtf16(const CodePoints& cps, bool terminator)
{
    std::string out;
    auto put = [&](char32_t u) { out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}; };
    for (char32_t c : cps) {
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    if (terminator)
        put(0);
    return out;
}

Text utf8ToGbkIconv(std::string_view s) { return referenceEncodeGbk(referenceDecodeUtf8(s)); }
std::string gbkToUtf8Iconv(std::string_view s) { return referenceEncodeUtf8(referenceDecode("CP936", s)); }
std::string gbkToUtf16Iconv(std::string_view s)
{
    return s.empty() ? "" : referenceEncodeUtf16(referenceDecode("CP936", s), true);
}
Text utf16ToGbkIconv(std::string_view s) { return referenceEncodeGbk(referenceDecodeUtf16(s)); }

std::string hex(std::string_view s)
{
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

// Counts the inputs on which a conversion and its reference differ and keeps
// the first one for the failure message.
class Mismatches {
public:
    template <class Fast, class Reference>
    void check(std::string_view input, Fast fast, Reference reference)
    {
        const std::string got = fast(input), want = reference(input);
        if (got != want && m_count++ == 0)
            m_first = "input " + hex(input) + "gave " + hex(got) + "instead of " + hex(want);
    }
    int count() const { return m_count; }
    const std::string& first() const { return m_first; }

private:
    int m_count = 0;
    std::string m_first;
};

// Equality of two long texts, reported as the first differing position.
::testing::AssertionResult sameText(const std::string& got, const std::string& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        ++at;
    return ::testing::AssertionFailure() << "differs at byte " << at << " of " << want.size() << ": got "
                                         << hex(got.substr(at, 8)) << "instead of " << hex(want.substr(at, 8));
}

#define EXPECT_NO_MISMATCH(m) EXPECT_EQ((m).count(), 0) << (m).first()

std::string utf8Form(char32_t c) // also for surrogates, which makes them invalid sequences
{
    return referenceEncodeUtf8(CodePoints(1, c));
}

std::string utf16Unit(char32_t u) { return {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}; }

auto toGbkFromUtf8 = [](std::string_view s) { return utf8ToGbk(s); };
auto toUtf8FromGbk = [](std::string_view s) { return gbkToUtf8(s); };
auto toUtf16FromGbk = [](std::string_view s) { return gbkToUtf16(s); };
auto toGbkFromUtf16 = [](std::string_view s) { return utf16ToGbk(s); };

} // namespace

TEST(TableConversions, EveryBmpCharacterMatchesIconv)
{
    Mismatches fromUtf8, fromUtf16;
    std::string allUtf8, allUtf16;
    for (char32_t c = 1; c < 0x10000; ++c) {
        const std::string utf8 = utf8Form(c);
        fromUtf8.check(utf8, toGbkFromUtf8, utf8ToGbkIconv);
        fromUtf8.check("a" + utf8 + "b", toGbkFromUtf8, utf8ToGbkIconv);
        fromUtf16.check(utf16Unit(c) + utf16Unit('b'), toGbkFromUtf16, utf16ToGbkIconv);
        allUtf8 += utf8;
        allUtf16 += utf16Unit(c);
    }
    EXPECT_NO_MISMATCH(fromUtf8);
    EXPECT_NO_MISMATCH(fromUtf16);
    EXPECT_TRUE(sameText(utf8ToGbk(allUtf8), utf8ToGbkIconv(allUtf8)));
    EXPECT_TRUE(sameText(utf16ToGbk(allUtf16), utf16ToGbkIconv(allUtf16)));
}

// GBK holds nothing beyond the BMP, but glibc drops the Unicode tag characters
// rather than rejecting them.
TEST(TableConversions, CharactersOutsideTheBmpMatchIconv)
{
    std::string utf8, utf16;
    for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
        utf8 += utf8Form(c);
        utf16 += utf16Unit(0xD800 + ((c - 0x10000) >> 10)) + utf16Unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
    EXPECT_TRUE(sameText(utf8ToGbk(utf8), utf8ToGbkIconv(utf8)));
    EXPECT_TRUE(sameText(utf16ToGbk(utf16), utf16ToGbkIconv(utf16)));
    EXPECT_EQ(utf8ToGbk("a" + utf8Form(0xE0041) + "b" + utf8Form(0xE0080)), "ab?");
}

TEST(TableConversions, EveryGbkByteSequenceMatchesIconv)
{
    Mismatches toUtf8, toUtf16;
    for (int first = 0; first < 0x100; ++first)
        for (int second = 0; second < 0x100; ++second) {
            const std::string pair{static_cast<char>(first), static_cast<char>(second)};
            for (const std::string& s : {pair, pair + "A", pair + "\x81", std::string(1, pair[0])}) {
                toUtf8.check(s, toUtf8FromGbk, gbkToUtf8Iconv);
                toUtf16.check(s, toUtf16FromGbk, gbkToUtf16Iconv);
            }
        }
    EXPECT_NO_MISMATCH(toUtf8);
    EXPECT_NO_MISMATCH(toUtf16);
}

// UTF-8 pages read through charsetToGbk read as every other UTF-8 text:
// each maximal broken sequence one U+FFFD, and a zero byte ending the text.
TEST(TableConversions, Utf8PagesDecodeAsEveryUtf8Text)
{
    Mismatches fromUtf8;
    auto check = [&](const std::string& bytes) {
        fromUtf8.check(
            bytes,
            [](std::string_view s) {
                Text out;
                EXPECT_TRUE(charsetToGbk(s, "utf-8", out));
                return out;
            },
            utf8ToGbkIconv);
    };
    // Every string of up to four bytes that differ in how a decoder sees them.
    const std::string bytes("\x00\x41\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEF"
                            "\xF0\xF4\xF5\xF7\xF8\xFB\xFC\xFD\xFE\xFF", 26);
    std::string s;
    auto extend = [&](auto& self, size_t length, const std::string& alphabet) -> void {
        check(s);
        if (s.size() == length)
            return;
        for (char c : alphabet) {
            s.push_back(c);
            self(self, length, alphabet);
            s.pop_back();
        }
    };
    extend(extend, 4, bytes);
    extend(extend, 7, std::string("\x00\x41\x80\xBF\xF8\xFC", 6)); // the old five- and six-byte forms
    EXPECT_NO_MISMATCH(fromUtf8);

    Text out;
    for (const char* name : {"UTF-8", "utf8", "Utf-8"}) {
        ASSERT_TRUE(charsetToGbk("a\xE4\xB8\xAD\xE4\xB8", name, out));
        EXPECT_EQ(out, "a" + kZhongGbk + "?");
        // A sequence broken off before another character is one "?", as utf8ToGbk reads it.
        ASSERT_TRUE(charsetToGbk("\xE4\xB8" "a", name, out));
        EXPECT_EQ(out, "?a");
    }
}

TEST(TableConversions, RandomBytesMatchIconv)
{
    std::mt19937 rng(936);
    auto pick = [&](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(rng); };
    auto byte = [&](unsigned lo, unsigned hi) { return static_cast<char>(pick(lo, hi)); };

    // UTF-8 built from valid characters, stray and truncated sequences,
    // overlong forms, encoded surrogates, values past U+10FFFF and zeros.
    auto utf8Piece = [&]() -> std::string {
        switch (pick(0, 11)) {
        case 0: return std::string(pick(1, 20), byte(0x20, 0x7E));
        case 1: return utf8Form(pick(0x4E00, 0x9FFF));
        case 2: return utf8Form(pick(0x80, 0xFFFF));
        case 3: return utf8Form(pick(0x10000, 0x10FFFF));
        case 4: return {byte(0x80, 0xFF)};
        case 5: { std::string s = utf8Form(pick(0x80, 0x10FFFF)); return s.substr(0, pick(1, static_cast<unsigned>(s.size() - 1))); }
        case 6: return {byte(0xC0, 0xC1), byte(0x80, 0xBF)};
        case 7: return {'\xE0', byte(0x80, 0x9F), byte(0x80, 0xBF)};
        case 8: return {'\xF0', byte(0x80, 0x8F), byte(0x80, 0xBF), byte(0x80, 0xBF)};
        case 9: return {'\xED', byte(0xA0, 0xBF), byte(0x80, 0xBF)};
        case 10: return {byte(0xF4, 0xFF), byte(0x80, 0xBF), byte(0x80, 0xBF), byte(0x80, 0xBF)};
        default: return pick(0, 3) ? std::string(1, byte(0x01, 0xFF)) : std::string(1, '\0');
        }
    };
    // GBK built from characters, lead bytes with bad or missing trails, 0x80, 0xFF and zeros.
    auto gbkPiece = [&]() -> std::string {
        switch (pick(0, 6)) {
        case 0: return std::string(pick(1, 20), byte(0x20, 0x7E));
        case 1: case 2: return {byte(0x81, 0xFE), byte(0x40, 0xFE)};
        case 3: return {byte(0x81, 0xFE), pick(0, 1) ? byte(0x00, 0x3F) : (pick(0, 1) ? '\x7F' : '\xFF')};
        case 4: return {pick(0, 1) ? '\x80' : '\xFF'};
        case 5: return {byte(0x80, 0xFF)};
        default: return pick(0, 3) ? std::string(1, byte(0x01, 0xFF)) : std::string(1, '\0');
        }
    };
    // UTF-16 units: characters, paired and unpaired surrogates, zeros, an odd last byte.
    auto utf16Piece = [&]() -> std::string {
        switch (pick(0, 5)) {
        case 0: return utf16Unit(pick(0x20, 0x7E));
        case 1: return utf16Unit(pick(0x80, 0xFFFF));
        case 2: return utf16Unit(pick(0xD800, 0xDBFF)) + utf16Unit(pick(0xDC00, 0xDFFF));
        case 3: return utf16Unit(pick(0xD800, 0xDFFF));
        case 4: return {byte(0x00, 0xFF)};
        default: return utf16Unit(pick(0, 7) ? pick(0x4E00, 0x9FFF) : 0);
        }
    };
    auto randomText = [&](auto piece) {
        std::string s;
        for (unsigned n = pick(0, 12); n > 0; --n)
            s += piece();
        return s;
    };

    Mismatches fromUtf8, toUtf8, toUtf16, fromUtf16;
    for (int i = 0; i < 20000; ++i) {
        fromUtf8.check(randomText(utf8Piece), toGbkFromUtf8, utf8ToGbkIconv);
        const std::string gbk = randomText(gbkPiece);
        toUtf8.check(gbk, toUtf8FromGbk, gbkToUtf8Iconv);
        toUtf16.check(gbk, toUtf16FromGbk, gbkToUtf16Iconv);
        fromUtf16.check(randomText(utf16Piece), toGbkFromUtf16, utf16ToGbkIconv);
    }
    EXPECT_NO_MISMATCH(fromUtf8);
    EXPECT_NO_MISMATCH(toUtf8);
    EXPECT_NO_MISMATCH(toUtf16);
    EXPECT_NO_MISMATCH(fromUtf16);

    // Foreign sets still decode through iconv; their characters outside the
    // BMP (GB18030 has them) become one "?" each. UTF-8 reads as everywhere.
    Mismatches fromCharset;
    for (const char* charset : {"UTF-8", "GB18030", "UTF-16LE"})
        for (int i = 0; i < 3000; ++i) {
            const std::string bytes = randomText(pick(0, 1) ? std::function<std::string()>(utf8Piece)
                                                            : std::function<std::string()>(gbkPiece));
            fromCharset.check(
                bytes,
                [&](std::string_view s) {
                    Text out;
                    EXPECT_TRUE(charsetToGbk(s, charset, out));
                    return out;
                },
                [&](std::string_view s) {
                    return std::string_view(charset) == "UTF-8" ? utf8ToGbkIconv(s)
                                                               : referenceEncodeGbk(referenceDecode(charset, s));
                });
        }
    EXPECT_NO_MISMATCH(fromCharset);
}
