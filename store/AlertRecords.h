#pragma once
// Alert rules and the firings they logged, as plain values kept in
// fundwatch.db beside the ledger. Thresholds and checked values are exact
// integers in 1e-4 of their unit: percents (2 % = 20000) for changes and
// rates, yuan for levels, unit values, prices and amounts.
#include "store/LedgerRecords.h"

#include <cstdint>
#include <optional>
#include <string>

namespace fw::ledger {

enum class AlertSubject { Fund = 1, Stock = 2, Holding = 3, Portfolio = 4 };

enum class AlertCondition {
    Change = 1,         // a fund's estimated or a stock's change today, percent
    Level = 2,          // a fund's estimated unit value or a stock's price crossing a level
    UnitValue = 3,      // a fund's published unit value crossing a level
    HoldingRate = 4,    // a ledger holding's 持有收益率, percent
    DayProfit = 5,      // the portfolio's estimated 当日收益, yuan
    DayProfitShare = 6, // the same as a percent of 市值 at the previous close
};

// What a rule carries from one check to the next.
struct AlertState {
    bool armed = true;                 // false once fired, until the value moves back past the margin
    Day firedDay = 0;                  // the trading day it last fired (0 = never)
    std::optional<int64_t> lastValue;  // the value of the last check, for crossings
    Day lastDay = 0;                   // the day of that check
};

struct AlertRule {
    int64_t id = 0;
    AlertSubject subject = AlertSubject::Fund;
    std::string code;       // fund code; a stock's quote id ("1.600519"); "" for the portfolio
    AlertCondition condition = AlertCondition::Change;
    bool above = true;      // ≥ / crossing upwards; false: ≤ / crossing downwards
    int64_t threshold = 0;  // 1e-4 of the condition's unit
    int windowStart = -1;   // minutes after midnight China time; -1: the whole day
    int windowEnd = -1;
    bool enabled = true;
    AlertState state;
};

// One firing as logged: the moment and the text it was told with (UTF-8).
struct AlertFiring {
    int64_t id = 0;
    int64_t ruleId = 0;     // 0 once the rule was removed
    Day day = 0;
    int minute = 0;
    std::string message;
};

} // namespace fw::ledger
