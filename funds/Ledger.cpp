#include "funds/Ledger.h"
#include "text/CodePage.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace fw::ledger {

namespace {

constexpr int kCutoffMinute = 15 * 60;     // orders at or after 15:00 count for the next date
constexpr int kPlanOrderMinute = 14 * 60 + 59;
constexpr int64_t kUnitScale = 10000;      // unit values and cash per share: 1e-4
constexpr int64_t kRateScale = 1000000;    // a rate of 1e-4 % as a fraction: / 1e6
constexpr int64_t kSplitScale = 100000000; // split ratios: 1e-8

struct Lot {
    Day day = 0;
    int64_t shares = 0;
    bool charged = true; // false: an undated 期初 or 对账 lot, which pays no redemption fee
};

struct Ordered {
    size_t trade = 0; // index into the input
    size_t row = 0;   // confirmation row
};

// value × price (1e-4) in cents: hundredths of a share times 1e-4 yuan is 1e-6 yuan.
int64_t valueOf(int64_t shares, int64_t unitValue) { return mulDivRound(shares, unitValue, kUnitScale); }

bool isOrder(TradeKind kind) { return kind == TradeKind::Buy || kind == TradeKind::Sell; }

// Takes `shares` from the oldest lots; calls `take(lot, part)` for each part taken.
template <typename Take>
void takeFifo(std::vector<Lot>& lots, size_t& head, int64_t shares, Take take)
{
    while (shares > 0 && head < lots.size()) {
        Lot& lot = lots[head];
        const int64_t part = std::min(shares, lot.shares);
        take(lot, part);
        lot.shares -= part;
        shares -= part;
        if (lot.shares == 0)
            ++head;
    }
}

std::optional<int64_t> rateOf(int64_t profit, int64_t base)
{
    if (base <= 0)
        return std::nullopt;
    return mulDivRound(profit, 10000, base);
}

void finishFigures(Figures& f)
{
    f.holdingProfit = f.marketValue - f.heldCost;
    f.totalProfit = f.marketValue + f.proceeds + f.cashDividends - f.buys;
    f.realisedProfit = f.totalProfit - f.holdingProfit;
    f.holdingRate = rateOf(f.holdingProfit, f.heldCost);
    f.totalRate = rateOf(f.totalProfit, f.buys);
}

struct HoldingResult {
    Position position;
    std::vector<CashFlow> flows;
};

// Every rule for one holding (one fund in one account).
HoldingResult evaluateHolding(const LedgerInput& input, const std::vector<size_t>& tradeIndexes,
                              std::vector<TradeOutcome>& outcomes)
{
    const Trade& first = input.trades[tradeIndexes.front()];
    HoldingResult result;
    Position& pos = result.position;
    pos.account = first.account;
    pos.code = first.code;

    static const std::vector<NavRow> noRows;
    static const HoldingSettings noSettings;
    const auto navIt = input.nav.find(first.code);
    const std::vector<NavRow>& rows = navIt == input.nav.end() ? noRows : navIt->second;
    const auto setIt = input.settings.find(first.code);
    const HoldingSettings& settings = setIt == input.settings.end() ? noSettings : setIt->second;
    if (!rows.empty()) {
        pos.latestDay = rows.back().day;
        pos.latestUnitValue = rows.back().unitValue;
    }
    auto rowAtOrAfter = [&](Day day) {
        return size_t(std::lower_bound(rows.begin(), rows.end(), day,
                                       [](const NavRow& r, Day d) { return r.day < d; })
                      - rows.begin());
    };

    Figures& f = pos.figures;
    std::vector<Ordered> ordered;
    for (size_t index : tradeIndexes) {
        const Trade& t = input.trades[index];
        TradeOutcome& out = outcomes[index];
        out.id = t.id;
        const Day counts = countingDay(t.date, t.minute);
        size_t row = rowAtOrAfter(counts);
        if (!isOrder(t.kind) && !rows.empty()) {
            // A statement of what is held, not an order: it needs no price of
            // its own and counts on the newest row on or before its day.
            if (row == rows.size() || rows[row].day > counts)
                row = row > 0 ? row - 1 : 0;
        }
        if (row >= rows.size()) {
            out.state = TradeState::Pending;
            if (t.kind == TradeKind::Buy)
                f.pendingBuys += t.amount;
            else if (t.kind == TradeKind::Sell)
                f.sellingShares += t.shares;
            continue;
        }
        out.state = TradeState::Confirmed;
        ordered.push_back({index, row});
    }

    auto when = [&](const Ordered& o) {
        const Trade& t = input.trades[o.trade];
        return std::make_tuple(o.row, t.date, t.minute, t.id, o.trade);
    };
    std::sort(ordered.begin(), ordered.end(), [&](const Ordered& a, const Ordered& b) { return when(a) < when(b); });

    // A plan's weekday order is withdrawn when a later order of the same plan
    // confirms on the same row (a holiday gathered them).
    std::vector<Ordered> kept;
    kept.reserve(ordered.size());
    for (size_t i = 0; i < ordered.size(); ++i) {
        const Trade& t = input.trades[ordered[i].trade];
        bool withdrawn = false;
        if (t.planId != 0 && t.kind == TradeKind::Buy && weekdayOf(t.date) < 5)
            for (size_t j = i + 1; j < ordered.size() && ordered[j].row == ordered[i].row; ++j)
                if (input.trades[ordered[j].trade].planId == t.planId) {
                    withdrawn = true;
                    break;
                }
        if (withdrawn)
            outcomes[ordered[i].trade].state = TradeState::Withdrawn;
        else
            kept.push_back(ordered[i]);
    }
    if (kept.empty())
        return result;

    std::vector<Lot> lots;
    size_t head = 0;
    int64_t shares = 0;
    auto heldShares = [&] {
        int64_t sum = 0;
        for (size_t i = head; i < lots.size(); ++i)
            sum += lots[i].shares;
        return sum;
    };

    size_t next = 0;
    int64_t previousTotal = 0;
    pos.history.reserve(rows.size() - kept.front().row);
    for (size_t r = kept.front().row; r < rows.size(); ++r) {
        const NavRow& row = rows[r];
        // Dividends and splits reach the shares confirmed on earlier rows only.
        if (row.dividend > 0 && shares > 0) {
            const int64_t cash = valueOf(shares, row.dividend);
            if (settings.method == DividendMethod::Reinvest && row.unitValue > 0) {
                const int64_t bought = mulDivRound(cash, kUnitScale, row.unitValue);
                if (bought > 0)
                    lots.push_back({row.day, bought, true});
                shares += bought;
            } else {
                f.cashDividends += cash;
                result.flows.push_back({row.day, cash});
            }
        }
        if (row.splitRatio > 0 && shares > 0) {
            for (size_t i = head; i < lots.size(); ++i)
                lots[i].shares = mulDivRound(lots[i].shares, row.splitRatio, kSplitScale);
            shares = heldShares();
        }
        for (; next < kept.size() && kept[next].row == r; ++next) {
            const Trade& t = input.trades[kept[next].trade];
            TradeOutcome& out = outcomes[kept[next].trade];
            out.confirmDay = row.day;
            out.unitValue = row.unitValue;
            switch (t.kind) {
            case TradeKind::Buy: {
                if (row.unitValue <= 0) {
                    out.state = TradeState::Refused;
                    break;
                }
                const int64_t net = mulDivRound(t.amount, kRateScale, kRateScale + t.feeRate.value_or(0));
                out.amount = t.amount;
                out.fee = t.amount - net;
                out.shares = mulDivRound(net, kUnitScale, row.unitValue);
                lots.push_back({row.day, out.shares, true});
                shares += out.shares;
                f.heldCost += t.amount;
                f.buys += t.amount;
                f.fees += out.fee;
                result.flows.push_back({row.day, -t.amount});
                break;
            }
            case TradeKind::Sell: {
                if (t.shares <= 0 || t.shares > shares || row.unitValue <= 0) {
                    out.state = TradeState::Refused;
                    break;
                }
                int64_t gross = 0, fee = 0;
                if (t.feeRate) {
                    gross = valueOf(t.shares, row.unitValue);
                    fee = mulDivRound(gross, *t.feeRate, kRateScale);
                    takeFifo(lots, head, t.shares, [](Lot&, int64_t) {});
                } else {
                    takeFifo(lots, head, t.shares, [&](const Lot& lot, int64_t part) {
                        const int64_t partGross = valueOf(part, row.unitValue);
                        const int64_t rate = lot.charged && !settings.feeSchedule.empty()
                            ? feeRateFor(settings.feeSchedule, row.day - lot.day)
                            : 0;
                        gross += partGross;
                        fee += mulDivRound(partGross, rate, kRateScale);
                    });
                }
                f.heldCost -= mulDivRound(f.heldCost, t.shares, shares); // average cost
                shares -= t.shares;
                out.shares = t.shares;
                out.amount = gross;
                out.fee = fee;
                out.proceeds = gross - fee;
                f.proceeds += out.proceeds;
                f.fees += fee;
                result.flows.push_back({row.day, out.proceeds});
                break;
            }
            case TradeKind::Reconcile: {
                const int64_t difference = t.amount - f.heldCost;
                if (difference > 0)
                    f.buys += difference;
                else
                    f.proceeds -= difference;
                if (difference != 0)
                    result.flows.push_back({row.day, -difference});
                if (t.shares > shares)
                    lots.push_back({row.day, t.shares - shares, false});
                else
                    takeFifo(lots, head, shares - t.shares, [](Lot&, int64_t) {});
                shares = t.shares;
                f.heldCost = t.amount;
                out.shares = t.shares;
                out.amount = t.amount;
                break;
            }
            case TradeKind::Opening:
                lots.push_back({row.day, t.shares, t.dated});
                shares += t.shares;
                f.heldCost += t.amount;
                f.buys += t.amount;
                result.flows.push_back({row.day, -t.amount});
                out.shares = t.shares;
                out.amount = t.amount;
                break;
            }
        }
        const int64_t value = valueOf(shares, row.unitValue);
        const int64_t total = value + f.proceeds + f.cashDividends - f.buys;
        pos.history.push_back({row.day, value, total, total - previousTotal});
        previousTotal = total;
    }
    f.shares = shares;
    f.marketValue = valueOf(shares, rows.back().unitValue);
    finishFigures(f);
    result.flows.push_back({rows.back().day, f.marketValue});
    return result;
}

void addFigures(Figures& sum, const Figures& f)
{
    sum.shares += f.shares;
    sum.sellingShares += f.sellingShares;
    sum.pendingBuys += f.pendingBuys;
    sum.heldCost += f.heldCost;
    sum.marketValue += f.marketValue;
    sum.buys += f.buys;
    sum.proceeds += f.proceeds;
    sum.cashDividends += f.cashDividends;
    sum.fees += f.fees;
}

// The sum of several histories on the union of their days; one without a row
// on a day keeps its previous close.
std::vector<DayFigures> sumHistories(const std::vector<const std::vector<DayFigures>*>& histories)
{
    std::vector<Day> days, merged;
    for (const auto* h : histories) {
        merged.clear();
        merged.reserve(days.size() + h->size());
        auto a = days.begin();
        auto b = h->begin();
        while (a != days.end() || b != h->end()) {
            if (b == h->end() || (a != days.end() && *a < b->day))
                merged.push_back(*a++);
            else {
                if (a != days.end() && *a == b->day)
                    ++a;
                merged.push_back((b++)->day);
            }
        }
        days.swap(merged);
    }
    std::vector<DayFigures> sum(days.size());
    for (size_t i = 0; i < days.size(); ++i)
        sum[i].day = days[i];
    for (const auto* h : histories) {
        size_t at = 0;
        for (size_t i = 0; i < days.size(); ++i) {
            while (at < h->size() && (*h)[at].day <= days[i])
                ++at;
            if (at == 0)
                continue;
            sum[i].marketValue += (*h)[at - 1].marketValue;
            sum[i].totalProfit += (*h)[at - 1].totalProfit;
        }
    }
    int64_t previous = 0;
    for (DayFigures& d : sum) {
        d.dayProfit = d.totalProfit - previous;
        previous = d.totalProfit;
    }
    return sum;
}

// Figures summed from parts already rounded; the rates and XIRR of the sum.
Aggregate aggregate(const std::string& account, const std::vector<const Figures*>& parts,
                    const std::vector<const std::vector<DayFigures>*>& histories,
                    const std::vector<const std::vector<CashFlow>*>& flows)
{
    Aggregate a;
    a.account = account;
    for (const Figures* f : parts)
        addFigures(a.figures, *f);
    finishFigures(a.figures);
    std::vector<CashFlow> all;
    for (const auto* list : flows)
        all.insert(all.end(), list->begin(), list->end());
    a.figures.xirr = xirr(std::move(all));
    a.history = sumHistories(histories);
    return a;
}

} // namespace

int64_t mulDivRound(int64_t value, int64_t numerator, int64_t denominator)
{
    __int128 n = (__int128)value * numerator;
    __int128 d = denominator;
    if (d < 0) {
        n = -n;
        d = -d;
    }
    __int128 q = n / d;
    const __int128 r = n % d;
    const __int128 twice = r < 0 ? -2 * r : 2 * r;
    if (twice >= d)
        q += n < 0 ? -1 : 1;
    return int64_t(q);
}

std::optional<int64_t> parseUnits(std::string_view text, int decimals)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 14 || int(fraction.size()) > decimals
        || (dot != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    int64_t units = 0;
    for (char c : whole) {
        if (c < '0' || c > '9')
            return std::nullopt;
        units = units * 10 + (c - '0');
    }
    for (int i = 0; i < decimals; ++i) {
        int digit = 0;
        if (size_t(i) < fraction.size()) {
            if (fraction[i] < '0' || fraction[i] > '9')
                return std::nullopt;
            digit = fraction[i] - '0';
        }
        units = units * 10 + digit;
    }
    return negative ? -units : units;
}

std::optional<std::vector<FeeStep>> parseFeeSchedule(std::string_view text)
{
    std::vector<FeeStep> steps;
    int previousDays = 0;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const size_t colon = item.find(':');
        FeeStep step;
        const auto rate = parseUnits(item.substr(colon == std::string_view::npos ? 0 : colon + 1), 4);
        if (!rate || *rate < 0)
            return std::nullopt;
        step.rate = *rate;
        if (colon != std::string_view::npos) {
            const auto days = parseUnits(item.substr(0, colon), 0);
            if (!days || *days <= previousDays || *days > 100000)
                return std::nullopt;
            step.days = int(*days);
            previousDays = step.days;
        }
        steps.push_back(step);
        if (comma == std::string_view::npos)
            break;
        if (step.days < 0)
            return std::nullopt; // the open-ended step comes last
        text.remove_prefix(comma + 1);
    }
    if (steps.back().days >= 0)
        return std::nullopt;
    return steps;
}

std::string feeScheduleText(const std::vector<FeeStep>& schedule)
{
    std::string out;
    for (const FeeStep& step : schedule) {
        if (!out.empty())
            out += ',';
        if (step.days >= 0)
            out += std::to_string(step.days) + ':';
        std::string rate = std::to_string(step.rate / 10000);
        int64_t fraction = step.rate % 10000;
        if (fraction != 0) {
            std::string digits = std::to_string(fraction + 10000).substr(1);
            while (digits.back() == '0')
                digits.pop_back();
            rate += '.' + digits;
        }
        out += rate;
    }
    return out;
}

int64_t feeRateFor(const std::vector<FeeStep>& schedule, int days)
{
    for (const FeeStep& step : schedule)
        if (step.days < 0 || days < step.days)
            return step.rate;
    return 0;
}

Day countingDay(Day date, int minute) { return minute >= kCutoffMinute ? date + 1 : date; }

Trade reconcileTrade(const std::string& account, const std::string& code, int64_t shares, int64_t heldCost,
                     Day today)
{
    Trade t;
    t.account = account;
    t.code = code;
    t.kind = TradeKind::Reconcile;
    t.date = today;
    t.shares = shares;
    t.amount = heldCost;
    return t;
}

Text bookingRefusal(const std::vector<NavRow>& rows)
{
    if (rows.empty())
        return {};
    for (const NavRow& row : rows)
        if (row.unitValue > 0)
            return {};
    return gbk("货币基金暂不支持记账");
}

LedgerResult evaluate(const LedgerInput& input)
{
    LedgerResult result;
    result.trades.resize(input.trades.size());
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> holdings;
    for (size_t i = 0; i < input.trades.size(); ++i)
        holdings[{input.trades[i].account, input.trades[i].code}].push_back(i);

    std::vector<std::vector<CashFlow>> flows;
    result.positions.reserve(holdings.size());
    flows.reserve(holdings.size());
    for (const auto& [key, indexes] : holdings) {
        HoldingResult h = evaluateHolding(input, indexes, result.trades);
        h.position.figures.xirr = xirr(h.flows);
        result.positions.push_back(std::move(h.position));
        flows.push_back(std::move(h.flows));
    }

    std::vector<const std::vector<CashFlow>*> allFlows;
    for (size_t i = 0; i < result.positions.size();) {
        const std::string& account = result.positions[i].account;
        std::vector<const Figures*> parts;
        std::vector<const std::vector<DayFigures>*> histories;
        std::vector<const std::vector<CashFlow>*> mine;
        for (; i < result.positions.size() && result.positions[i].account == account; ++i) {
            parts.push_back(&result.positions[i].figures);
            histories.push_back(&result.positions[i].history);
            mine.push_back(&flows[i]);
        }
        allFlows.insert(allFlows.end(), mine.begin(), mine.end());
        result.accounts.push_back(aggregate(account, parts, histories, mine));
    }
    // The whole ledger from its accounts: the same sums, each day summed once per account.
    std::vector<const Figures*> parts;
    std::vector<const std::vector<DayFigures>*> histories;
    for (const Aggregate& a : result.accounts) {
        parts.push_back(&a.figures);
        histories.push_back(&a.history);
    }
    result.ledger = aggregate({}, parts, histories, allFlows);
    return result;
}

std::optional<double> xirr(std::vector<CashFlow> flows)
{
    std::sort(flows.begin(), flows.end(), [](const CashFlow& a, const CashFlow& b) { return a.day < b.day; });
    std::vector<CashFlow> daily;
    for (const CashFlow& c : flows) {
        if (!daily.empty() && daily.back().day == c.day)
            daily.back().amount += c.amount;
        else
            daily.push_back(c);
    }
    daily.erase(std::remove_if(daily.begin(), daily.end(), [](const CashFlow& c) { return c.amount == 0; }),
                daily.end());
    bool in = false, out = false;
    for (const CashFlow& c : daily) {
        in = in || c.amount < 0;
        out = out || c.amount > 0;
    }
    if (!in || !out || daily.back().day - daily.front().day < 30)
        return std::nullopt;

    // Net present value at the first flow's day, with x = ln(1 + r), and its slope.
    std::vector<double> years(daily.size()), amounts(daily.size());
    for (size_t i = 0; i < daily.size(); ++i) {
        years[i] = double(daily[i].day - daily.front().day) / 365.0;
        amounts[i] = double(daily[i].amount);
    }
    auto npv = [&](double x, double* slope) {
        double sum = 0, d = 0;
        for (size_t i = 0; i < years.size(); ++i) {
            const double term = amounts[i] * std::exp(-x * years[i]);
            sum += term;
            d -= term * years[i];
        }
        if (slope)
            *slope = d;
        return sum;
    };
    const double low = std::log(1 - 0.9999), high = std::log(1 + 100.0);
    // Brackets a sign change, preferring the root nearest 0 % when there are several.
    constexpr int kSteps = 48;
    std::optional<std::pair<double, double>> bracket;
    double bestDistance = 0;
    double previousX = low, previousValue = npv(low, nullptr);
    for (int i = 1; i <= kSteps; ++i) {
        const double x = low + (high - low) * i / kSteps;
        const double value = npv(x, nullptr);
        if (previousValue == 0 || (previousValue < 0) != (value < 0)) {
            const double distance = std::min(std::abs(previousX), std::abs(x));
            if (!bracket || distance < bestDistance) {
                bracket = std::make_pair(previousX, x);
                bestDistance = distance;
            }
        }
        previousX = x;
        previousValue = value;
    }
    if (!bracket)
        return std::nullopt;
    // Newton's steps kept inside the bracket, halving it when a step would leave.
    auto [a, b] = *bracket;
    const bool risingAtA = npv(a, nullptr) < 0;
    double x = (a + b) / 2;
    for (int i = 0; i < 200; ++i) {
        double slope = 0;
        const double value = npv(x, &slope);
        if (value == 0)
            break;
        if ((value < 0) == risingAtA)
            a = x;
        else
            b = x;
        double next = slope != 0 ? x - value / slope : (a + b) / 2;
        if (!(next > std::min(a, b) && next < std::max(a, b)))
            next = (a + b) / 2;
        const bool settled = std::abs(std::expm1(next) - std::expm1(x)) < 1e-9;
        x = next;
        if (settled)
            break;
    }
    const double rate = std::expm1(x);
    if (rate <= -0.9999 || rate >= 100.0)
        return std::nullopt;
    return rate;
}

double timeWeightedReturn(const std::vector<DayFigures>& history, Day from, Day to)
{
    long double product = 1;
    for (size_t i = 1; i < history.size(); ++i) {
        const DayFigures& d = history[i];
        if (d.day < from || d.day > to)
            continue;
        const int64_t base = history[i - 1].marketValue;
        if (base > 0)
            product *= 1 + (long double)d.dayProfit / (long double)base;
    }
    return double(product - 1);
}

double benchmarkReturn(const std::vector<NavRow>& rows, Day from, Day to)
{
    long double product = 1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const NavRow& row = rows[i];
        if (row.day < from || row.day > to)
            continue;
        if (row.changePercent)
            product *= 1 + (long double)*row.changePercent / kRateScale;
        else if (i > 0 && rows[i - 1].unitValue > 0 && row.unitValue > 0)
            product *= (long double)row.unitValue / rows[i - 1].unitValue;
    }
    return double(product - 1);
}

std::vector<Day> dueDates(const Plan& plan, ChinaTime now)
{
    std::vector<Day> out;
    const Day last = now.minute >= kPlanOrderMinute ? now.day : now.day - 1;
    switch (plan.cycle) {
    case PlanCycle::EveryTradingDay:
        for (Day d = plan.start; d <= last; ++d)
            if (weekdayOf(d) < 5)
                out.push_back(d);
        break;
    case PlanCycle::Weekly:
    case PlanCycle::Biweekly: {
        const int step = plan.cycle == PlanCycle::Weekly ? 7 : 14;
        for (Day d = plan.start + (plan.cycleDay - weekdayOf(plan.start) + 7) % 7; d <= last; d += step)
            out.push_back(d);
        break;
    }
    case PlanCycle::Monthly: {
        int y, m, d;
        civilFromDay(plan.start, y, m, d);
        for (;;) {
            const Day due = dayFromCivil(y, m, plan.cycleDay);
            if (due > last)
                break;
            if (due >= plan.start)
                out.push_back(due);
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
        break;
    }
    }
    return out;
}

std::vector<Trade> ordersToBook(const Plan& plan, ChinaTime now)
{
    std::vector<Trade> out;
    for (Day due : dueDates(plan, now)) {
        if (std::binary_search(plan.booked.begin(), plan.booked.end(), due))
            continue;
        Trade t;
        t.account = plan.account;
        t.code = plan.code;
        t.kind = TradeKind::Buy;
        t.date = due;
        t.minute = kPlanOrderMinute;
        t.amount = plan.amount;
        t.feeRate = plan.feeRate;
        t.planId = plan.id;
        out.push_back(std::move(t));
    }
    return out;
}

} // namespace fw::ledger
