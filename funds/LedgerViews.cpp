#include "funds/LedgerViews.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <algorithm>

namespace fw::ledger {

std::vector<std::pair<int, int>> historyMonths(const std::vector<DayFigures>& history)
{
    std::vector<std::pair<int, int>> out;
    for (const DayFigures& d : history) {
        int y = 0, m = 0, day = 0;
        civilFromDay(d.day, y, m, day);
        if (out.empty() || out.back() != std::pair {y, m})
            out.push_back({y, m});
    }
    return out;
}

CalendarMonth calendarMonth(const std::vector<DayFigures>& history, int year, int month)
{
    CalendarMonth out;
    out.year = year;
    out.month = month;
    const Day first = dayFromCivil(year, month, 1);
    const Day next = month == 12 ? dayFromCivil(year + 1, 1, 1) : dayFromCivil(year, month + 1, 1);
    const Day yearFirst = dayFromCivil(year, 1, 1), yearNext = dayFromCivil(year + 1, 1, 1);
    const int lead = weekdayOf(first);
    const int length = next - first;
    out.cells.resize(size_t((lead + length + 6) / 7 * 7));
    for (int i = 0; i < length; ++i)
        out.cells[size_t(lead + i)].dayOfMonth = i + 1;
    for (const DayFigures& d : history) {
        if (d.day >= yearFirst && d.day < yearNext)
            out.yearSum += d.dayProfit;
        if (d.day >= first && d.day < next) {
            out.monthSum += d.dayProfit;
            out.cells[size_t(lead + (d.day - first))].profit = d.dayProfit;
        }
    }
    return out;
}

Text monthTitle(int year, int month) { return intText(year) + gbk("年") + intText(month) + gbk("月"); }

Text calendarSumsText(const CalendarMonth& m)
{
    return gbk("本月 ") + unitsText(m.monthSum, 2) + gbk("  本年 ") + unitsText(m.yearSum, 2);
}

Trend trendOf(const std::vector<DayFigures>& history, const std::vector<NavRow>& benchmarkRows,
              const std::vector<Trade>& trades, const std::vector<TradeOutcome>& outcomes,
              const std::string& account)
{
    Trend t;
    if (history.empty())
        return t;
    const Day from = history.front().day;
    t.hasBenchmark = !benchmarkRows.empty();
    for (const DayFigures& d : history) {
        t.days.push_back(d.day);
        t.marketValue.push_back(d.marketValue);
        t.totalProfit.push_back(d.totalProfit);
        // Both returns over the same closes: those after the first.
        t.weighted.push_back(timeWeightedReturn(history, from, d.day));
        t.benchmark.push_back(benchmarkRows.empty() ? 0.0 : benchmarkReturn(benchmarkRows, from + 1, d.day));
    }
    for (size_t i = 0; i < trades.size() && i < outcomes.size(); ++i) {
        const Trade& trade = trades[i];
        if ((!account.empty() && trade.account != account) || outcomes[i].state != TradeState::Confirmed)
            continue;
        if (trade.kind == TradeKind::Buy || trade.kind == TradeKind::Sell)
            t.marks.push_back({outcomes[i].confirmDay, trade.kind == TradeKind::Buy});
    }
    return t;
}

int labelStep(int count, int labelWidth, int width)
{
    if (count <= 1 || width <= 0)
        return 1;
    const int fit = std::max(1, width / std::max(1, labelWidth));
    return std::max(1, (count + fit - 1) / fit);
}

} // namespace fw::ledger
