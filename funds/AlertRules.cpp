#include "funds/AlertRules.h"

#include "funds/LedgerCsv.h"
#include "text/NumberText.h"

#include <cstdlib>

namespace fw::ledger {

namespace {

bool isCrossing(AlertCondition c) { return c == AlertCondition::Level || c == AlertCondition::UnitValue; }

bool isPercent(AlertCondition c)
{
    return c == AlertCondition::Change || c == AlertCondition::HoldingRate || c == AlertCondition::DayProfitShare;
}

// Units of 1e-4 shown with `decimals` places, halves away from zero.
std::string shown(int64_t value, int decimals, bool sign)
{
    const long long units = roundedUnits(unitsValue(value, 4), decimals);
    return (sign && units > 0 ? "+" : "") + unitsText(units, decimals);
}

std::string subjectName(const AlertRule& r)
{
    switch (r.subject) {
    case AlertSubject::Fund: return "基金 " + r.code;
    case AlertSubject::Stock: return "股票 " + r.code;
    case AlertSubject::Holding: return "持仓 " + r.code;
    case AlertSubject::Portfolio: return "组合";
    }
    return r.code;
}

// What the value is, as the texts name it.
std::string quantityName(const AlertRule& r)
{
    switch (r.condition) {
    case AlertCondition::Change: return r.subject == AlertSubject::Stock ? "涨跌幅" : "估算";
    case AlertCondition::Level: return r.subject == AlertSubject::Stock ? "股价" : "估算净值";
    case AlertCondition::UnitValue: return "单位净值";
    case AlertCondition::HoldingRate: return "持有收益率";
    case AlertCondition::DayProfit: return "今日估算收益";
    case AlertCondition::DayProfitShare: return "今日估算收益占市值";
    }
    return {};
}


} // namespace

bool isLiveCondition(AlertCondition c)
{
    return c == AlertCondition::Change || c == AlertCondition::Level || c == AlertCondition::DayProfit
        || c == AlertCondition::DayProfitShare;
}

int64_t rearmMargin(const AlertRule& r)
{
    if (isPercent(r.condition))
        return 2000; // 0.2 percentage points
    return (std::llabs(r.threshold) * 2 + 500) / 1000; // 0.2 % of the threshold
}

bool inAlertWindow(const AlertRule& r, int minute)
{
    if (r.windowStart < 0 || r.windowEnd < 0)
        return true;
    if (r.windowStart <= r.windowEnd)
        return minute >= r.windowStart && minute <= r.windowEnd;
    return minute >= r.windowStart || minute <= r.windowEnd; // over midnight
}

bool evaluateAlert(AlertRule& rule, const AlertReading& reading, ChinaTime now, bool tradingDay)
{
    if (!rule.enabled || !tradingDay || !reading.value || !inAlertWindow(rule, now.minute))
        return false;
    AlertState& st = rule.state;
    const int64_t v = *reading.value;
    const int64_t t = rule.threshold;
    // The value a crossing starts from: the last check of today, else the previous close.
    const std::optional<int64_t> previous = st.lastDay == now.day && st.lastValue ? st.lastValue : reading.previousClose;
    st.lastValue = v;
    st.lastDay = now.day;
    if (!st.armed) {
        const int64_t margin = rearmMargin(rule);
        if (rule.above ? v <= t - margin : v >= t + margin)
            st.armed = true;
        return false;
    }
    if (st.firedDay == now.day)
        return false;
    bool met = rule.above ? v >= t : v <= t;
    if (isCrossing(rule.condition))
        met = met && previous && (rule.above ? *previous < t : *previous > t);
    if (!met)
        return false;
    st.armed = false;
    st.firedDay = now.day;
    return true;
}

std::string alertFigureText(const AlertRule& r, int64_t value)
{
    if (isPercent(r.condition))
        return shown(value, 2, true) + "%";
    if (r.condition == AlertCondition::DayProfit)
        return shown(value, 2, true);
    return shown(value, r.subject == AlertSubject::Stock ? 2 : 4, false);
}

std::string alertMessage(const AlertRule& r, const std::string& name, int64_t value)
{
    const bool crossing = isCrossing(r.condition);
    const std::string verb = crossing ? (r.above ? "升破 " : "跌破 ") : (r.above ? "高于 " : "低于 ");
    const std::string who = r.subject == AlertSubject::Portfolio ? std::string("组合") : (name.empty() ? r.code : name);
    return who + " " + quantityName(r) + " " + alertFigureText(r, value) + "，" + verb + alertFigureText(r, r.threshold);
}

std::string alertWindowText(const AlertRule& r)
{
    if (r.windowStart < 0 || r.windowEnd < 0)
        return {};
    return minuteText(r.windowStart) + "-" + minuteText(r.windowEnd);
}

std::string alertRuleText(const AlertRule& r)
{
    const std::string op = isCrossing(r.condition) ? (r.above ? "升破" : "跌破") : (r.above ? "≥" : "≤");
    std::string text = subjectName(r) + " " + quantityName(r) + " " + op + " " + alertFigureText(r, r.threshold);
    if (const std::string window = alertWindowText(r); !window.empty())
        text += "  " + window;
    return text;
}

std::optional<int64_t> parseAlertFigure(std::string_view text)
{
    int decimals = 0;
    const std::optional<double> v = plainDecimal(text, &decimals);
    if (!v || decimals > 4 || std::abs(*v) > 1e12)
        return std::nullopt;
    return roundedUnits(*v, 4);
}

bool parseAlertWindow(std::string_view text, int& start, int& end)
{
    std::string t(text);
    const std::string dash = "–";
    size_t at = t.find(dash);
    size_t width = dash.size();
    if (at == std::string::npos) {
        at = t.find('-');
        width = 1;
    }
    if (at == std::string::npos)
        return false;
    const std::optional<int> a = parseMinute(std::string_view(t).substr(0, at));
    const std::optional<int> b = parseMinute(std::string_view(t).substr(at + width));
    if (!a || !b)
        return false;
    start = *a;
    end = *b;
    return true;
}

const std::vector<AlertConditionChoice>& alertConditionChoices()
{
    using C = AlertCondition;
    static const std::vector<AlertConditionChoice> choices = {
        {"up", "涨跌幅 ≥", C::Change, true},
        {"down", "涨跌幅 ≤", C::Change, false},
        {"cross-up", "估算净值/股价 升破", C::Level, true},
        {"cross-down", "估算净值/股价 跌破", C::Level, false},
        {"nav-up", "单位净值 升破", C::UnitValue, true},
        {"nav-down", "单位净值 跌破", C::UnitValue, false},
        {"rate-up", "持有收益率 ≥", C::HoldingRate, true},
        {"rate-down", "持有收益率 ≤", C::HoldingRate, false},
        {"profit-up", "今日估算收益（元）≥", C::DayProfit, true},
        {"profit-down", "今日估算收益（元）≤", C::DayProfit, false},
        {"share-up", "今日估算收益占市值 ≥", C::DayProfitShare, true},
        {"share-down", "今日估算收益占市值 ≤", C::DayProfitShare, false},
    };
    return choices;
}

bool alertConditionFits(AlertSubject subject, AlertCondition c)
{
    switch (subject) {
    case AlertSubject::Fund:
        return c == AlertCondition::Change || c == AlertCondition::Level || c == AlertCondition::UnitValue;
    case AlertSubject::Stock: return c == AlertCondition::Change || c == AlertCondition::Level;
    case AlertSubject::Holding: return c == AlertCondition::HoldingRate;
    case AlertSubject::Portfolio: return c == AlertCondition::DayProfit || c == AlertCondition::DayProfitShare;
    }
    return false;
}

std::string alertRuleProblem(const AlertRule& r)
{
    auto digits = [](const std::string& t) {
        return t.size() == 6 && t.find_first_not_of("0123456789") == std::string::npos;
    };
    auto quoteId = [](const std::string& t) {
        const size_t dot = t.find('.');
        return dot != std::string::npos && dot > 0 && dot + 1 < t.size()
            && t.find_first_not_of("0123456789", 0) == dot
            && t.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", dot + 1)
            == std::string::npos;
    };
    if ((r.subject == AlertSubject::Fund || r.subject == AlertSubject::Holding) && !digits(r.code))
        return "基金代码须为六位数字：" + r.code;
    if (r.subject == AlertSubject::Stock && !quoteId(r.code))
        return "股票须写成 市场.代码（如 1.600519）：" + r.code;
    if (!alertConditionFits(r.subject, r.condition))
        return "这个对象不能用这个条件";
    return {};
}

} // namespace fw::ledger
