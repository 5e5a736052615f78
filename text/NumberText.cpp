#include "text/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

// All conversions are locale independent (to_chars and from_chars): the GUI
// toolkit sets the process locale from the environment, and a decimal comma
// must never appear in the texts that are stored, compared or sent, nor stop
// a figure from being read.

namespace fw {

namespace {

Text formatGeneral(double v, int precision)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    return Text(buf, r.ptr);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipDigits(std::string_view text, size_t i)
{
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i;
}

// For a number text outside the range of double: whether it overflows
// (rather than underflows), judged by the place of its first significant digit.
bool tooLargeForDouble(std::string_view number)
{
    long long magnitude = 0;
    bool seenPoint = false;
    bool seenDigit = false;
    size_t i = 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        const char c = number[i];
        if (c == '.') {
            seenPoint = true;
        } else if (!seenDigit && c == '0') {
            if (seenPoint)
                --magnitude;
        } else if (!seenDigit) {
            seenDigit = true;
            if (seenPoint)
                --magnitude;
        } else if (!seenPoint) {
            ++magnitude;
        }
    }
    long long exponent = 0;
    if (i < number.size()) {
        ++i;
        bool negative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-'))
            negative = number[i++] == '-';
        for (; i < number.size() && exponent < 100000; ++i)
            exponent = exponent * 10 + (number[i] - '0');
        if (negative)
            exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

// A signed decimal span already known to be well formed.
double spanValue(std::string_view span)
{
    const bool negative = !span.empty() && span[0] == '-';
    if (!span.empty() && (span[0] == '-' || span[0] == '+'))
        span.remove_prefix(1);
    const double magnitude = decimalValue(span);
    return negative ? -magnitude : magnitude;
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
    Text out(buf, r.ptr);
    if (out[0] == '-' && out.find_first_not_of("-0.") == Text::npos)
        out.erase(0, 1);
    return out;
}

Text intText(long long v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return Text(buf, r.ptr);
}

double decimalValue(std::string_view number)
{
    double v = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        return tooLargeForDouble(number) ? std::numeric_limits<double>::infinity() : 0.0;
    return r.ec == std::errc() ? v : 0.0;
}

std::optional<double> leadingFigure(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' || text[i] == '\f' ||
                     text[i] == '\v'))
        ++i;
    const size_t begin = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    const size_t wholeEnd = skipDigits(text, i);
    size_t digits = wholeEnd - i;
    i = wholeEnd;
    if (i < n && text[i] == '.') {
        const size_t fractionEnd = skipDigits(text, i + 1);
        digits += fractionEnd - (i + 1);
        i = fractionEnd;
    }
    if (digits == 0)
        return std::nullopt;
    // An exponent counts only when it has digits: "2e" reads as 2.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < n && isDigit(text[j]))
            i = skipDigits(text, j);
    }
    return spanValue(text.substr(begin, i - begin));
}

double textValue(std::string_view text) { return leadingFigure(text).value_or(0.0); }

std::optional<double> plainDecimal(std::string_view text, int* fractionDigits)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const size_t wholeEnd = skipDigits(text, i);
    if (wholeEnd == i)
        return std::nullopt;
    i = wholeEnd;
    size_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        const size_t fractionEnd = skipDigits(text, i + 1);
        fraction = fractionEnd - (i + 1);
        if (fraction == 0)
            return std::nullopt;
        i = fractionEnd;
    }
    if (i != text.size())
        return std::nullopt;
    if (fractionDigits)
        *fractionDigits = int(fraction);
    return spanValue(text);
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

long long roundedUnits(double value, int decimals, double tolerance)
{
    const double scaled = std::fabs(value) * std::pow(10.0, decimals);
    double whole = std::floor(scaled);
    if (scaled - whole + tolerance >= 0.5)
        whole += 1;
    const long long magnitude = truncToInt(whole);
    return value < 0 ? -magnitude : magnitude;
}

double unitsValue(long long units, int decimals) { return double(units) / std::pow(10.0, decimals); }

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

Text roundedText(double value, int decimals, double tolerance)
{
    return unitsText(roundedUnits(value, decimals, tolerance), decimals);
}

Text shortestText(std::string_view fixed)
{
    Text out(fixed);
    if (out.find('.') != Text::npos) {
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.')
            out.pop_back();
    }
    if (out == "-0")
        out = "0";
    return out;
}

} // namespace fw
