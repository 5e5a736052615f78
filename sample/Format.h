#pragma once
// Number, escape and date spelling shared by the answers of the sample service.
#include <cstdint>
#include <string>
#include <string_view>

namespace fw::sample {

// Hundredths as the service writes bare figures: trailing zeros dropped
// (1230 -> "12.3", 1200 -> "12", -5 -> "-0.05").
std::string trimmedHundredths(int64_t hundredths);
// Hundredths with exactly two decimals (1230 -> "12.30"); 1e-4 units with
// four (12345 -> "1.2345"), 1e-7 units with seven (10234567 -> "1.0234567").
std::string fixedHundredths(int64_t hundredths);
std::string fixedTenThousandths(int64_t tenThousandths);
std::string fixedTenMillionths(int64_t tenMillionths);
// v with a fixed number of decimals; never "-0.00".
std::string fixedText(double v, int decimals);
// v rounded to at most maxDecimals, trailing zeros dropped (a JSON number).
std::string shortNumber(double v, int maxDecimals);
// Two decimals with thousands separators: 21456.78 -> "21,456.78".
std::string groupedText(double v);
int64_t toHundredths(double v);

// JSON string content: quotes, backslashes and control characters escaped,
// UTF-8 kept as it is.
std::string jsonEscape(std::string_view s);
// Like jsonEscape, and every non-ASCII character as \uXXXX (lower-case hex).
std::string jsonEscapeAscii(std::string_view utf8);

// %XX sequences decoded; '+' stays '+'; a '%' without two hex digits stays.
std::string percentDecode(std::string_view s);
std::string trimBlanks(std::string_view s);
std::string lowerAscii(std::string_view s);
bool isDigits(std::string_view s);

// Days since 1970-01-01 <-> civil date.
int64_t daysFromCivil(int y, unsigned m, unsigned d);
void civilFromDays(int64_t z, int& y, unsigned& m, unsigned& d);
int weekdayOf(int64_t days); // 0 = Sunday
// "2026-12-04" with sep '-', "2026/12/04" with sep '/'.
std::string dateText(int64_t days, char sep);
// "2026年12月04日"
std::string chineseDateText(int64_t days);

} // namespace fw::sample
