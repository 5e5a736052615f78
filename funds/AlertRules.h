#pragma once
// When an alert rule fires: the condition against the value of one check, the
// rule's daily time window, once per trading day, and the re-arm margin the
// value must move back past before the rule can fire again. Also the texts a
// firing is told with. Pure functions over the stored state. No Qt.
#include "store/AlertRecords.h"
#include "text/Text.h"

#include <optional>
#include <string>
#include <vector>

namespace fw::ledger {

// The value of one check in the rule's units (1e-4): none when the check
// found no figure (no estimate, no quote, no unit value of today).
struct AlertReading {
    std::optional<int64_t> value;
    // For crossings: the value at the previous close, the "previous checked
    // value" at the day's first check.
    std::optional<int64_t> previousClose;
};

// Rules checked on the live refresh in trading hours (changes, estimates,
// prices, the portfolio's 当日收益); the others are checked when the day's
// unit values arrive.
bool isLiveCondition(AlertCondition condition);

// How far the value must move back past the threshold to re-arm the rule:
// 0.2 percentage points for changes and rates, 0.2 % of the threshold for
// levels, prices and yuan.
int64_t rearmMargin(const AlertRule& rule);

// Whether `minute` lies in the rule's daily window (both ends included); a
// rule without a window is always in it.
bool inAlertWindow(const AlertRule& rule, int minute);

// One check of `rule` at `now`: updates rule.state and returns true when the
// rule fires. Nothing is checked, and the state stays, on a day that is no
// trading day, outside the window, for a switched-off rule, or without a value.
bool evaluateAlert(AlertRule& rule, const AlertReading& reading, ChinaTime now, bool tradingDay);

// The body of a firing's notification (UTF-8), e.g.
// "易方达蓝筹精选混合 估算 -2.31%，低于 -2.00%". `name` (UTF-8) is the
// subject's name, the code when none is known.
std::string alertMessage(const AlertRule& rule, const std::string& name, int64_t value);

// A rule as the list and the dialog describe it (UTF-8), e.g.
// "基金 005827 估算涨跌幅 ≥ +2.00%  14:40–14:55".
std::string alertRuleText(const AlertRule& rule);

// A value in the rule's units as its texts show it: percents signed to two
// decimals ("+2.31%", "-2.00%", "0.00%"), yuan signed to two ("-1234.56"),
// unit values to four ("1.2345"), stock prices to two.
std::string alertFigureText(const AlertRule& rule, int64_t value);

// A threshold typed by the user ("2", "-2.5", "1.2345"), in 1e-4 units; none
// for a text that is no plain decimal with at most four decimals.
std::optional<int64_t> parseAlertFigure(std::string_view text);
// "HH:MM-HH:MM" (also with "–"): the window in minutes; false when unreadable.
bool parseAlertWindow(std::string_view text, int& start, int& end);
// "14:40-14:55", "" without a window.
std::string alertWindowText(const AlertRule& rule);

// The conditions as the command line and the dialog offer them, in order.
struct AlertConditionChoice {
    const char* word;  // the command line's: "up", "cross-down" …
    const char* label; // the dialog's (UTF-8)
    AlertCondition condition;
    bool above;
};
const std::vector<AlertConditionChoice>& alertConditionChoices();
// Whether a subject can have a condition: a fund its estimate's change or
// level or its unit value, a stock its change or price, a holding its
// 持有收益率, the portfolio its 当日收益 in yuan or percent.
bool alertConditionFits(AlertSubject subject, AlertCondition condition);
// "" when the rule can be stored; else why not (UTF-8): a fund or holding
// needs a fund code, a stock a quote id ("1.600519"), the condition must fit.
std::string alertRuleProblem(const AlertRule& rule);

} // namespace fw::ledger
