#include "store/LedgerRecords.h"

#include <charconv>

namespace fw::ledger {

// Howard Hinnant's days-from-civil algorithm: exact over the whole range.
Day dayFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = unsigned(year - era * 400);
    const unsigned doy = unsigned((153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return Day(era * 146097 + int(doe) - 719468);
}

void civilFromDay(Day d, int& year, int& month, int& day)
{
    const int z = d + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe) + era * 400 + (month <= 2);
}

std::string dayText(Day d)
{
    int y, m, day;
    civilFromDay(d, y, m, day);
    char out[16];
    auto put = [&](char* at, int value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            at[i] = char('0' + value % 10);
            value /= 10;
        }
    };
    put(out, y, 4);
    out[4] = '-';
    put(out + 5, m, 2);
    out[7] = '-';
    put(out + 8, day, 2);
    return std::string(out, 10);
}

std::optional<Day> parseDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int y = 0, m = 0, d = 0;
    auto number = [&](size_t at, size_t width, int& out) {
        for (size_t i = at; i < at + width; ++i)
            if (text[i] < '0' || text[i] > '9')
                return false;
        return std::from_chars(text.data() + at, text.data() + at + width, out).ec == std::errc();
    };
    if (!number(0, 4, y) || !number(5, 2, m) || !number(8, 2, d) || m < 1 || m > 12 || d < 1 || y < 1900)
        return std::nullopt;
    const Day day = dayFromCivil(y, m, d);
    int ry, rm, rd;
    civilFromDay(day, ry, rm, rd);
    if (ry != y || rm != m || rd != d)
        return std::nullopt; // 2026-02-30 and the like
    return day;
}

int weekdayOf(Day d)
{
    // 1970-01-01 was a Thursday (3 with Monday = 0).
    const int w = (d + 3) % 7;
    return w < 0 ? w + 7 : w;
}

ChinaTime chinaTime(std::time_t utc)
{
    const long long seconds = (long long)utc + 8 * 3600;
    long long day = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --day;
    }
    return {Day(day), int(rest / 60)};
}

} // namespace fw::ledger
