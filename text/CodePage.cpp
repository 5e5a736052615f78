#include "text/CodePage.h"

#include <bit>
#include <cerrno>
#include <iconv.h>

// Every conversion goes through code points: UTF-8 and UTF-16 are decoded and
// encoded here, GBK and foreign character sets through iconv to and from
// UTF-32. That keeps the error rules in one place: an invalid input sequence
// becomes U+FFFD, and a character GBK cannot hold becomes "?".
//
// The GBK side uses glibc's "CP936", the Windows code page 936 (it maps the
// single byte 0x80 to the euro sign, as the stored files expect); plain "GBK"
// is only a fall-back for a C library without that name.

namespace fw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

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

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

iconv_t openGbk(bool toGbk)
{
    iconv_t cd = toGbk ? iconv_open("CP936", kUtf32) : iconv_open(kUtf32, "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = toGbk ? iconv_open("GBK", kUtf32) : iconv_open(kUtf32, "GBK");
    return cd;
}

// iconv descriptors carry shift state and must not be shared between threads;
// each thread keeps its own pair.
struct GbkConverters {
    iconv_t encode = openGbk(true);
    iconv_t decode = openGbk(false);
    ~GbkConverters()
    {
        if (encode != reinterpret_cast<iconv_t>(-1))
            iconv_close(encode);
        if (decode != reinterpret_cast<iconv_t>(-1))
            iconv_close(decode);
    }
};

GbkConverters& gbkConverters()
{
    thread_local GbkConverters converters;
    return converters;
}

using CodePoints = std::u32string;

bool allAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string_view untilZero(std::string_view s)
{
    const size_t z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

void truncateAtZero(CodePoints& cps)
{
    const size_t z = cps.find(U'\0');
    if (z != CodePoints::npos)
        cps.resize(z);
}

// Decodes UTF-8, replacing each maximal invalid subsequence by U+FFFD
// (overlong forms, surrogates and values above U+10FFFF are invalid). Stops at
// the first zero character.
CodePoints decodeUtf8(std::string_view in)
{
    CodePoints out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            if (b == 0)
                break;
            out.push_back(b);
            ++p;
            continue;
        }
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
            out.push_back(kReplacement);
            ++p;
            continue;
        }
        ++p;
        int got = 0;
        while (got < need && p < end) {
            const unsigned char c = *p;
            const unsigned char min = got == 0 ? lo : 0x80;
            const unsigned char max = got == 0 ? hi : 0xBF;
            if (c < min || c > max)
                break;
            cp = (cp << 6) | (c & 0x3F);
            ++p;
            ++got;
        }
        out.push_back(got == need ? cp : kReplacement);
    }
    return out;
}

// Decodes UTF-16LE; an odd last byte is ignored, an unpaired surrogate becomes
// U+FFFD. Stops at the first zero unit.
CodePoints decodeUtf16le(std::string_view in)
{
    CodePoints out;
    const size_t units = in.size() / 2;
    out.reserve(units);
    auto unit = [&](size_t i) -> char32_t {
        return static_cast<unsigned char>(in[2 * i]) | (static_cast<unsigned char>(in[2 * i + 1]) << 8);
    };
    for (size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u == 0)
            break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t v = unit(i + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                out.push_back(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        out.push_back(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
    }
    return out;
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
    truncateAtZero(out);
    return out;
}

CodePoints decodeGbk(std::string_view gbk)
{
    gbk = untilZero(gbk);
    if (allAscii(gbk))
        return CodePoints(gbk.begin(), gbk.end());
    const iconv_t cd = gbkConverters().decode;
    if (cd == reinterpret_cast<iconv_t>(-1))
        return CodePoints(gbk.size(), U'?');
    return decodeWith(cd, gbk);
}

// Code points to GBK; one "?" for every character GBK cannot hold.
Text encodeGbk(const CodePoints& cps)
{
    Text out;
    if (cps.empty())
        return out;
    const iconv_t cd = gbkConverters().encode;
    out.resize(cps.size() * 2 + 8);
    size_t used = 0;
    size_t i = 0;
    if (cd != reinterpret_cast<iconv_t>(-1))
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (i < cps.size()) {
        // ASCII is identical in GBK; only hand the rest to iconv.
        if (cps[i] < 0x80) {
            out[used++] = static_cast<char>(cps[i++]);
            continue;
        }
        size_t j = i;
        while (j < cps.size() && cps[j] >= 0x80)
            ++j;
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            for (; i < j; ++i)
                out[used++] = '?';
            continue;
        }
        char* src = reinterpret_cast<char*>(const_cast<char32_t*>(cps.data() + i));
        size_t srcLeft = (j - i) * sizeof(char32_t);
        while (srcLeft > 0) {
            char* dst = out.data() + used;
            size_t dstLeft = out.size() - used;
            const size_t before = dstLeft;
            const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            used += before - dstLeft;
            if (rc != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
            } else { // the character has no GBK form
                if (used == out.size())
                    out.resize(out.size() * 2);
                out[used++] = '?';
                src += sizeof(char32_t);
                srcLeft -= sizeof(char32_t);
            }
        }
        i = j;
    }
    out.resize(used);
    return out;
}

std::string encodeUtf8(const CodePoints& cps)
{
    std::string out;
    out.reserve(cps.size() * 3);
    for (char32_t c : cps) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void appendUtf16Unit(std::string& out, char32_t u)
{
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>((u >> 8) & 0xFF));
}

} // namespace

Text utf8ToGbk(std::string_view utf8)
{
    const std::string_view head = untilZero(utf8);
    if (allAscii(head))
        return Text(head);
    return encodeGbk(decodeUtf8(head));
}

std::string gbkToUtf8(std::string_view gbk)
{
    const std::string_view head = untilZero(gbk);
    if (allAscii(head))
        return std::string(head);
    return encodeUtf8(decodeGbk(head));
}

std::string gbkToUtf16(std::string_view gbk, bool dropTerminator)
{
    std::string out;
    if (gbk.empty())
        return out;
    const CodePoints cps = decodeGbk(gbk);
    out.reserve(cps.size() * 2 + 2);
    for (char32_t c : cps) {
        if (c >= 0x10000) {
            appendUtf16Unit(out, 0xD800 + ((c - 0x10000) >> 10));
            appendUtf16Unit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            appendUtf16Unit(out, c);
        }
    }
    if (!dropTerminator)
        appendUtf16Unit(out, 0);
    return out;
}

Text utf16ToGbk(std::string_view utf16le)
{
    return encodeGbk(decodeUtf16le(utf16le));
}

bool charsetToGbk(std::string_view bytes, const std::string& charset, Text& out)
{
    out.clear();
    // A name with "/" would pass conversion flags to iconv; a page must not choose those.
    if (charset.empty() || charset.find('/') != std::string::npos)
        return false;
    const Iconv cd(kUtf32, charset.c_str());
    if (!cd.ok())
        return false;
    out = encodeGbk(decodeWith(cd.get(), bytes));
    return true;
}

} // namespace fw
