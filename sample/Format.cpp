#include "sample/Format.h"

#include "text/NumberText.h"

#include <cmath>
#include <cstdio>

namespace fw::sample {

// The figures are spelled by the program's own number rules: what the
// service writes is what the program reads.
std::string fixedHundredths(int64_t h) { return unitsText(h, 2); }

std::string fixedTenThousandths(int64_t v) { return unitsText(v, 4); }

std::string fixedTenMillionths(int64_t v) { return unitsText(v, 7); }

std::string trimmedHundredths(int64_t h) { return shortestText(unitsText(h, 2)); }

int64_t toHundredths(double v)
{
    return int64_t(std::llround(v * 100.0));
}

std::string fixedText(double v, int decimals) { return fw::fixedText(v, decimals); }

std::string shortNumber(double v, int maxDecimals) { return shortestText(fw::fixedText(v, maxDecimals)); }

std::string groupedText(double v)
{
    std::string plain = fixedText(v, 2);
    const bool negative = plain[0] == '-';
    if (negative)
        plain.erase(0, 1);
    const size_t dot = plain.find('.');
    std::string whole = plain.substr(0, dot);
    std::string grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            grouped += ',';
        grouped += whole[i];
    }
    return (negative ? "-" : "") + grouped + plain.substr(dot);
}

namespace {

void appendEscape(std::string& out, unsigned unit)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", unit & 0xFFFF);
    out += buf;
}

bool escapeAsciiChar(std::string& out, unsigned char c)
{
    switch (c) {
    case '"': out += "\\\""; return true;
    case '\\': out += "\\\\"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    case '\t': out += "\\t"; return true;
    default: break;
    }
    if (c < 0x20) {
        appendEscape(out, c);
        return true;
    }
    return false;
}

} // namespace

std::string jsonEscape(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 8);
    for (unsigned char c : s) {
        if (!escapeAsciiChar(out, c))
            out += char(c);
    }
    return out;
}

std::string jsonEscapeAscii(std::string_view s)
{
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if (!escapeAsciiChar(out, c))
                out += char(c);
            ++i;
            continue;
        }
        // Decode one UTF-8 sequence; a broken one becomes U+FFFD.
        int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        uint32_t cp = len == 4 ? (c & 0x07) : len == 3 ? (c & 0x0F) : (c & 0x1F);
        bool ok = len > 1 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            cp = 0xFFFD;
            len = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendEscape(out, 0xD800 + (cp >> 10));
            appendEscape(out, 0xDC00 + (cp & 0x3FF));
        } else {
            appendEscape(out, cp);
        }
        i += size_t(len);
    }
    return out;
}

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::string percentDecode(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]);
            const int lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string trimBlanks(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

bool isDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Howard Hinnant's civil-date algorithms.
int64_t daysFromCivil(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

int weekdayOf(int64_t days)
{
    return int(days >= -4 ? (days + 4) % 7 : (days + 5) % 7 + 6);
}

std::string dateText(int64_t days, char sep)
{
    int y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%c%02u%c%02u", y, sep, m, sep, d);
    return buf;
}

std::string chineseDateText(int64_t days)
{
    int y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d年%02u月%02u日", y, m, d);
    return buf;
}

} // namespace fw::sample
