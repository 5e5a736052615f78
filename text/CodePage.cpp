#include "text/CodePage.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iconv.h>

// GBK conversions run on look-up tables that are filled once per process from
// iconv itself, so the mapping is exactly glibc's "CP936" (Windows code page
// 936; it maps the single byte 0x80 to the euro sign, as the stored files
// expect). Converting every downloaded page through iconv took nearly as long
// as the download; the tables turn a character into one array read.
//
// The error rules are the same on every path: an invalid input sequence
// becomes U+FFFD, a character GBK cannot hold becomes "?", and a result ends at
// the first zero character. Foreign character sets (charsetToGbk) are decoded
// by iconv into code points and then encoded with the table; UTF-8, the
// service's own character set, is decoded here by one reader, whatever the
// path: each maximal invalid subsequence becomes one U+FFFD.

namespace fw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return m_cd != kNoConverter; }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// "GBK" is only a fall-back for a C library without the "CP936" name.
iconv_t openGbk(bool toGbk)
{
    iconv_t cd = toGbk ? iconv_open("CP936", kUtf32) : iconv_open(kUtf32, "CP936");
    if (cd == kNoConverter)
        cd = toGbk ? iconv_open("GBK", kUtf32) : iconv_open(kUtf32, "GBK");
    return cd;
}

constexpr unsigned kLeadFirst = 0x81, kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40, kTrailLast = 0xFE;
constexpr unsigned kTrails = kTrailLast - kTrailFirst + 1;

// Unicode tag characters: glibc drops them on the way to GBK instead of
// rejecting them, and so do the conversions here. Nothing else outside the BMP
// has a GBK form.
constexpr char32_t kTagFirst = 0xE0000;
constexpr char32_t kTags = 0x80;
// An encode entry for a character that is written as nothing at all; no GBK
// pair ends in the byte 0xFF.
constexpr uint16_t kDropped = 0xFFFF;

struct GbkTables {
    // Code point -> GBK: 0 when GBK cannot hold it, a value below 0x100 for a
    // single byte (the euro sign), kDropped, otherwise lead << 8 | trail.
    uint16_t encode[0x10000] = {};
    uint16_t encodeTag[kTags] = {};
    // Code point of a byte >= 0x80 standing alone, 0 when it is none.
    uint16_t single[0x80] = {};
    // Code point of a lead/trail pair, 0 when the pair is not a character.
    uint16_t pair[kLeadLast - kLeadFirst + 1][kTrails] = {};

    GbkTables()
    {
        fillEncode();
        fillDecode();
    }

private:
    // Feeds one input sequence to `cd`; returns the number of output bytes, or
    // -1 when the converter rejects or does not complete the sequence.
    static long convertOne(iconv_t cd, const void* in, size_t inSize, void* out, size_t outSize)
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(static_cast<const char*>(in));
        char* dst = static_cast<char*>(out);
        size_t srcLeft = inSize, dstLeft = outSize;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
            return -1;
        return static_cast<long>(outSize - dstLeft);
    }

    void fillEncode()
    {
        const iconv_t cd = openGbk(true);
        if (cd == kNoConverter)
            return; // every character outside ASCII becomes "?"
        auto encoded = [&](char32_t cp) -> uint16_t {
            unsigned char out[8];
            const long n = convertOne(cd, &cp, sizeof cp, out, sizeof out);
            if (n == 1)
                return out[0];
            if (n == 2)
                return static_cast<uint16_t>(out[0] << 8 | out[1]);
            return n == 0 ? kDropped : 0;
        };
        for (char32_t cp = 0x80; cp < 0x10000; ++cp)
            encode[cp] = encoded(cp);
        for (char32_t i = 0; i < kTags; ++i)
            encodeTag[i] = encoded(kTagFirst + i);
        iconv_close(cd);
    }

    void fillDecode()
    {
        const iconv_t cd = openGbk(false);
        if (cd == kNoConverter) {
            for (auto& s : single)
                s = '?'; // no decoder: every byte outside ASCII reads as "?"
            return;
        }
        // Only code points of the BMP are kept; CP936 decodes to nothing else.
        auto decoded = [&](const unsigned char* in, size_t size) -> uint16_t {
            char32_t out[4];
            const long n = convertOne(cd, in, size, out, sizeof out);
            return n == sizeof(char32_t) && out[0] > 0 && out[0] < 0x10000 ? static_cast<uint16_t>(out[0]) : 0;
        };
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            const unsigned char in[1] = {static_cast<unsigned char>(b)};
            single[b - 0x80] = decoded(in, 1);
        }
        for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead)
            for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
                const unsigned char in[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
                pair[lead - kLeadFirst][trail - kTrailFirst] = decoded(in, 2);
            }
        iconv_close(cd);
    }
};

// Built on first use; a function-local static is initialised once even when
// worker threads race for it, and is read-only afterwards.
const GbkTables& gbkTables()
{
    static const GbkTables tables;
    return tables;
}

using CodePoints = std::u32string;

std::string_view untilZero(std::string_view s)
{
    if (s.empty())
        return s; // its data() may be null, which memchr must not see
    const void* z = std::memchr(s.data(), 0, s.size());
    return z ? s.substr(0, static_cast<const char*>(z) - s.data()) : s;
}

// Copies the run of ASCII bytes at `p`, eight at a time while it lasts.
inline void copyAscii(const unsigned char*& p, const unsigned char* end, char*& out)
{
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & kHighBits)
            break;
        std::memcpy(out, p, 8);
        p += 8;
        out += 8;
    }
    while (p < end && *p < 0x80)
        *out++ = static_cast<char>(*p++);
}

// Writes the GBK form of a code point >= 0x80, or "?" when GBK cannot hold it.
inline void putGbk(const GbkTables& t, char32_t cp, char*& out)
{
    const uint16_t g = cp < 0x10000 ? t.encode[cp] : cp - kTagFirst < kTags ? t.encodeTag[cp - kTagFirst] : 0;
    if (g == kDropped)
        return;
    if (g >= 0x100) {
        *out++ = static_cast<char>(g >> 8);
        *out++ = static_cast<char>(g & 0xFF);
    } else {
        *out++ = g ? static_cast<char>(g) : '?';
    }
}

// Reads the character starting with the byte >= 0x80 at `p`. A byte that
// starts no character becomes U+FFFD and only that byte is consumed, so a
// following ASCII byte survives.
inline char32_t readGbk(const GbkTables& t, const unsigned char*& p, const unsigned char* end)
{
    const unsigned b = *p++;
    if (const uint16_t cp = t.single[b - 0x80])
        return cp;
    if (b >= kLeadFirst && b <= kLeadLast && p < end && *p >= kTrailFirst && *p <= kTrailLast) {
        if (const uint16_t cp = t.pair[b - kLeadFirst][*p - kTrailFirst]) {
            ++p;
            return cp;
        }
    }
    return kReplacement;
}

// Reads the UTF-8 sequence starting with the byte >= 0x80 at `p`, replacing
// each maximal invalid subsequence by U+FFFD (overlong forms, surrogates and
// values above U+10FFFF are invalid).
inline char32_t readUtf8(const unsigned char*& p, const unsigned char* end)
{
    const unsigned char b = *p++;
    int need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        cp = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0;
        else if (b == 0xED)
            hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        cp = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F;
    } else {
        return kReplacement;
    }
    for (int got = 0; got < need; ++got) {
        if (p == end || *p < lo || *p > hi)
            return kReplacement;
        cp = (cp << 6) | (*p++ & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return cp;
}

bool equalsIgnoreCase(std::string_view name, std::string_view lower)
{
    if (name.size() != lower.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (c != lower[i])
            return false;
    }
    return true;
}

bool isUtf8Name(std::string_view name)
{
    return equalsIgnoreCase(name, "utf-8") || equalsIgnoreCase(name, "utf8");
}

// Names pages give to code page 936. Pages labelled GB2312 are GBK in
// practice, and glibc's GB2312 is the strict EUC-CN set, which turns every
// character outside it (such as 堃) into "?". GB18030 is not one of them: its
// four-byte sequences are not GBK, so it keeps iconv's decoder.
bool isGbkName(std::string_view name)
{
    static constexpr std::string_view kNames[] = {
        "gbk",   "gb2312",  "gb_2312",     "gb_2312-80", "euc-cn",    "csgb2312",
        "x-gbk", "cp936",   "windows-936", "chinese",    "iso-ir-58", "csiso58gb231280",
    };
    for (std::string_view lower : kNames) {
        if (equalsIgnoreCase(name, lower))
            return true;
    }
    return false;
}

// A text into GBK: ASCII copied as it is, each other character read and
// written by `step` (tables, p, end, out). No character grows, so the result
// needs no more room than the input.
template <class Step>
Text toGbkByCharacter(std::string_view in, Step step)
{
    Text out(in.size(), '\0');
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    const GbkTables* tables = nullptr;
    for (;;) {
        copyAscii(p, end, o);
        if (p == end)
            break;
        if (!tables)
            tables = &gbkTables();
        step(*tables, p, end, o);
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

// GBK read as code page 936 into GBK: every character the table knows stays
// byte for byte, every byte that starts none becomes "?".
Text gbkToGbk(std::string_view in)
{
    return toGbkByCharacter(in, [](const GbkTables& t, const unsigned char*& p, const unsigned char* end, char*& o) {
        const auto* start = p;
        if (readGbk(t, p, end) == kReplacement) {
            *o++ = '?';
        } else {
            while (start < p)
                *o++ = static_cast<char>(*start++);
        }
    });
}

inline void putUtf8(char32_t c, char*& out)
{
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
}

inline void putUtf16Unit(char32_t u, char*& out)
{
    *out++ = static_cast<char>(u & 0xFF);
    *out++ = static_cast<char>((u >> 8) & 0xFF);
}

// Runs `cd` (from some character set to UTF-32) over `in`. An input sequence
// the converter rejects becomes U+FFFD and one byte is skipped; an incomplete
// sequence at the end becomes one U+FFFD.
CodePoints decodeWith(iconv_t cd, std::string_view in)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    CodePoints out;
    out.resize(in.size() + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (srcLeft > 0) {
        if (out.size() - used < 8)
            out.resize(out.size() * 2);
        char* dst = reinterpret_cast<char*>(out.data() + used);
        size_t dstLeft = (out.size() - used) * sizeof(char32_t);
        const size_t before = dstLeft;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used += (before - dstLeft) / sizeof(char32_t);
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ) {
            if (used == out.size())
                out.resize(out.size() * 2);
            out[used++] = kReplacement;
            ++src;
            --srcLeft;
        } else { // EINVAL: the input ends inside a character
            if (used == out.size())
                out.resize(out.size() + 1);
            out[used++] = kReplacement;
            break;
        }
    }
    // Flush a stateful decoder's pending output.
    if (out.size() - used < 8)
        out.resize(used + 8);
    char* dst = reinterpret_cast<char*>(out.data() + used);
    size_t dstLeft = (out.size() - used) * sizeof(char32_t);
    const size_t before = dstLeft;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    used += (before - dstLeft) / sizeof(char32_t);
    out.resize(used);
    const size_t z = out.find(U'\0');
    if (z != CodePoints::npos)
        out.resize(z);
    return out;
}

} // namespace

// A GBK character of two bytes comes from at least two UTF-8 bytes, and "?"
// stands for at least one.
Text utf8ToGbk(std::string_view utf8)
{
    return toGbkByCharacter(untilZero(utf8),
                            [](const GbkTables& t, const unsigned char*& p, const unsigned char* end, char*& o) {
                                putGbk(t, readUtf8(p, end), o);
                            });
}

std::string gbkToUtf8(std::string_view gbk)
{
    const std::string_view in = untilZero(gbk);
    // Every character decodes to a code point below U+10000, three UTF-8 bytes
    // at most, from at least one GBK byte: a slice of n bytes needs 3n bytes of
    // room. The room is made slice by slice within a capacity that fits mostly
    // Chinese text, so a big page never holds three times its size in memory.
    constexpr size_t kSlice = 64 * 1024;
    std::string out;
    out.reserve(in.size() + in.size() / 2);
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    const GbkTables* tables = nullptr;
    while (p < end) {
        // A slice ends inside a pair at most one byte late: one byte of spare room.
        const auto* sliceEnd = end - p > static_cast<std::ptrdiff_t>(kSlice) ? p + kSlice : end;
        const size_t used = out.size();
        out.resize(used + 3 * static_cast<size_t>(sliceEnd - p) + 3);
        char* o = out.data() + used;
        while (p < sliceEnd) {
            copyAscii(p, sliceEnd, o);
            if (p == sliceEnd)
                break;
            if (!tables)
                tables = &gbkTables();
            putUtf8(readGbk(*tables, p, end), o);
        }
        out.resize(static_cast<size_t>(o - out.data()));
    }
    return out;
}

std::string gbkToUtf16(std::string_view gbk, bool dropTerminator)
{
    std::string out;
    if (gbk.empty())
        return out;
    const std::string_view in = untilZero(gbk);
    out.resize(in.size() * 2 + 2);
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    const GbkTables& tables = gbkTables();
    while (p < end) {
        if (*p < 0x80)
            putUtf16Unit(*p++, o);
        else
            putUtf16Unit(readGbk(tables, p, end), o);
    }
    if (!dropTerminator)
        putUtf16Unit(0, o);
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

Text utf16ToGbk(std::string_view utf16le)
{
    // An odd last byte is ignored; the text ends at the first zero unit.
    const size_t units = utf16le.size() / 2;
    Text out(units * 2, '\0');
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(utf16le.data());
    const GbkTables& tables = gbkTables();
    for (size_t i = 0; i < units; ++i) {
        const char32_t u = p[2 * i] | (p[2 * i + 1] << 8);
        if (u == 0)
            break;
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            char32_t cp = kReplacement; // an unpaired surrogate
            if (u <= 0xDBFF && i + 1 < units) {
                const char32_t v = p[2 * i + 2] | (p[2 * i + 3] << 8);
                if (v >= 0xDC00 && v <= 0xDFFF) {
                    cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
                    ++i;
                }
            }
            putGbk(tables, cp, o);
        } else {
            putGbk(tables, u, o);
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

bool charsetToGbk(std::string_view bytes, const std::string& charset, Text& out)
{
    out.clear();
    // A name with "/" would pass conversion flags to iconv; a page must not choose those.
    if (charset.empty() || charset.find('/') != std::string::npos)
        return false;
    if (isUtf8Name(charset)) {
        // The service's own pages: read as every UTF-8 answer is, at table speed.
        out = utf8ToGbk(bytes);
        return true;
    }
    if (isGbkName(charset)) {
        out = gbkToGbk(untilZero(bytes));
        return true;
    }
    const Iconv cd(kUtf32, charset.c_str());
    if (!cd.ok())
        return false;
    const CodePoints cps = decodeWith(cd.get(), bytes);
    out.resize(cps.size() * 2);
    char* o = out.data();
    const GbkTables* tables = nullptr;
    for (char32_t c : cps) {
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
            continue;
        }
        if (!tables)
            tables = &gbkTables();
        putGbk(*tables, c, o);
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return true;
}

} // namespace fw
