#pragma once
// What the 收益日历 and 走势 tabs draw, as plain values computed from a
// ledger's daily history: a month grid of 当日收益 with its month and year
// sums, and the series of the two charts with their trade marks. No Qt.
#include "funds/Ledger.h"
#include "text/Text.h"

#include <optional>
#include <utility>
#include <vector>

namespace fw::ledger {

// The months that have a close in the history, oldest first: {year, month}.
std::vector<std::pair<int, int>> historyMonths(const std::vector<DayFigures>& history);

struct CalendarCell {
    int dayOfMonth = 0;               // 0: a cell outside the month
    std::optional<int64_t> profit;    // 当日收益 of a close on that date (cents)
};

struct CalendarMonth {
    int year = 0, month = 0;
    std::vector<CalendarCell> cells; // whole weeks, Monday first, 7 to a row
    int64_t monthSum = 0;            // Σ 当日收益 of the month's closes
    int64_t yearSum = 0;             // Σ 当日收益 of the year's closes
};

CalendarMonth calendarMonth(const std::vector<DayFigures>& history, int year, int month);
// "2026年12月" and "本月 12.34  本年 56.78" (GBK).
Text monthTitle(int year, int month);
Text calendarSumsText(const CalendarMonth& month);

struct TradeMark {
    Day day = 0;
    bool buy = true; // a buy (or a cost rise); false: a sale
};

// The 走势 tab: 市值 and 累计收益 (cents) on one chart; the time-weighted
// return and the benchmark's (fractions) from the first close on, on another.
struct Trend {
    std::vector<Day> days;
    std::vector<int64_t> marketValue, totalProfit;
    std::vector<double> weighted, benchmark;
    std::vector<TradeMark> marks;
    bool hasBenchmark = false; // the benchmark fund's rows were there
};

// The trend of one history; `account` "" takes every trade's mark.
Trend trendOf(const std::vector<DayFigures>& history, const std::vector<NavRow>& benchmarkRows,
              const std::vector<Trade>& trades, const std::vector<TradeOutcome>& outcomes,
              const std::string& account);

// The step between labelled points so that labels `labelWidth` wide (with
// their gap) fit `width` over `count` evenly spaced points; at least 1.
int labelStep(int count, int labelWidth, int width);

} // namespace fw::ledger
