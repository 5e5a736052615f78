#include "text/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

// All conversions are locale independent: the GUI toolkit sets the process
// locale from the environment, and a decimal comma must never appear in the
// texts that are stored, compared or sent.

namespace fw {

namespace {

Text formatGeneral(double v, int precision)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    return Text(buf, r.ptr);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

locale_t cLocale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

} // namespace

Text doubleText(double v) { return formatGeneral(v, 13); }

Text floatText(float v) { return formatGeneral(static_cast<double>(v), 6); }

Text fixedText(double v, int decimals)
{
    char buf[400]; // the widest double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return doubleText(v);
    return Text(buf, r.ptr);
}

Text intText(long long v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return Text(buf, r.ptr);
}

double textValue(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' || text[i] == '\f' ||
                     text[i] == '\v'))
        ++i;
    const size_t begin = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    // An exponent counts only when it has digits: "2e" reads as 2.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    // The span holds only sign, digits, "." and an exponent, so strtod cannot
    // read more than it (no hexadecimal, "inf" or "nan").
    const std::string number(text.substr(begin, i - begin));
    return strtod_l(number.c_str(), nullptr, cLocale());
}

long long truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (v >= kLimit)
        return std::numeric_limits<long long>::max();
    if (v < -kLimit)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(v);
}

long long roundedUnits(double value, int decimals)
{
    const double scaled = std::fabs(value) * std::pow(10.0, decimals);
    double whole = std::floor(scaled);
    if (scaled - whole + 0.000000001 >= 0.5)
        whole += 1;
    const long long magnitude = truncToInt(whole);
    return value < 0 ? -magnitude : magnitude;
}

Text unitsText(long long units, int decimals)
{
    // Digits of the magnitude, at least one more than the decimals.
    const unsigned long long magnitude =
        units < 0 ? 0ULL - static_cast<unsigned long long>(units) : static_cast<unsigned long long>(units);
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, magnitude);
    Text digits(buf, r.ptr);
    const size_t places = decimals > 0 ? size_t(decimals) : 0;
    if (digits.size() <= places)
        digits.insert(0, places + 1 - digits.size(), '0');
    if (places > 0)
        digits.insert(digits.size() - places, 1, '.');
    return units < 0 ? "-" + digits : digits;
}

} // namespace fw
