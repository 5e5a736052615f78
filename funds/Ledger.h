#pragma once
// The ledger's rules: from trades, holding settings, 定投 plans and NAV
// history to the figures of each holding, account and the whole ledger. Pure
// computation on exact integers (see store/LedgerRecords.h for the units): no
// database, no Qt, no clock of its own, so the command line and a worker thread
// drive it alike.
#include "store/LedgerRecords.h"
#include "text/Text.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw::ledger {

// value × numerator / denominator, rounded once to the nearest integer, halves
// away from zero; 128-bit in between. Denominator must not be 0.
int64_t mulDivRound(int64_t value, int64_t numerator, int64_t denominator);

// A decimal text ("12.5", "-0.25") in units of 10^-decimals; nullopt when it is
// not a plain decimal of at most that many places.
std::optional<int64_t> parseUnits(std::string_view text, int decimals);

// "7:1.5,365:0.5,730:0.25,0": under 7 days 1.5 %, under 365 days 0.5 %, …,
// then 0. Days must rise; the last step has no days. nullopt when malformed.
std::optional<std::vector<FeeStep>> parseFeeSchedule(std::string_view text);
std::string feeScheduleText(const std::vector<FeeStep>& schedule);
// The rate for a lot held `days` calendar days.
int64_t feeRateFor(const std::vector<FeeStep>& schedule, int days);

// The day an order counts for: its date before 15:00 (or without a time), the
// next calendar date at or after 15:00.
Day countingDay(Day date, int minute);

// A 对账 of the account's holding as the user states it on `today`: dated
// without a time, so a statement made after 15:00 counts for today's close
// (unlike an order placed then).
Trade reconcileTrade(const std::string& account, const std::string& code, int64_t shares, int64_t heldCost,
                     Day today);

// "货币基金暂不支持记账" (GBK) when the fund's rows carry no unit value; "" otherwise.
Text bookingRefusal(const std::vector<NavRow>& rows);

enum class TradeState {
    Confirmed, // counted on its confirmation row
    Pending,   // 待确认: no NAV row on or after its counting day yet
    Withdrawn, // a 定投 order a later order of its plan confirms with on the same row
    Refused,   // a sale of more shares than were held when it confirmed
};

struct TradeOutcome {
    int64_t id = 0;
    TradeState state = TradeState::Pending;
    Day confirmDay = 0;   // the confirmation row's date (Confirmed only)
    int64_t unitValue = 0; // that row's unit value
    int64_t shares = 0;   // shares bought, sold, or set (对账, 期初)
    int64_t amount = 0;   // a buy's amount; a sale's gross
    int64_t fee = 0;
    int64_t proceeds = 0; // a sale's gross − fee
};

// One close of a holding, an account or the ledger.
struct DayFigures {
    Day day = 0;
    int64_t marketValue = 0; // 市值 at this close
    int64_t totalProfit = 0; // 累计收益 at this close
    int64_t dayProfit = 0;   // 当日收益: totalProfit − the previous close's
};

struct Figures {
    int64_t shares = 0;          // confirmed shares held (a pending sale's included)
    int64_t sellingShares = 0;   // 卖出中: shares of pending sales
    int64_t pendingBuys = 0;     // 待确认 buy amounts
    int64_t heldCost = 0;
    int64_t marketValue = 0;     // 市值
    int64_t holdingProfit = 0;   // 持有收益
    int64_t totalProfit = 0;     // 累计收益
    int64_t realisedProfit = 0;  // 已实现收益
    int64_t buys = 0;            // Σ buy amounts (期初 at cost, a 对账 cost rise)
    int64_t proceeds = 0;        // Σ proceeds (a 对账 cost fall)
    int64_t cashDividends = 0;
    int64_t fees = 0;
    // Hundredths of a percent (12.34 % = 1234); none without a cost to divide by.
    std::optional<int64_t> holdingRate; // 持有收益率
    std::optional<int64_t> totalRate;   // 累计收益率
    std::optional<double> xirr;         // a fraction per year; none = "--"
};

struct Position {
    std::string account;
    std::string code;
    Day latestDay = 0;        // the fund's newest NAV row (0 = none)
    int64_t latestUnitValue = 0;
    Figures figures;
    std::vector<DayFigures> history; // each of the fund's rows from its first confirmed trade
};

struct Aggregate {
    std::string account; // "" for the whole ledger
    Figures figures;
    std::vector<DayFigures> history; // on the union of the held funds' rows
};

struct LedgerInput {
    std::vector<Trade> trades;
    std::map<std::string, HoldingSettings> settings;  // by fund code
    std::map<std::string, std::vector<NavRow>> nav;   // by fund code, oldest row first
};

struct LedgerResult {
    std::vector<TradeOutcome> trades;   // in the input's order
    std::vector<Position> positions;    // by account, then code
    std::vector<Aggregate> accounts;    // by account name
    Aggregate ledger;
};

LedgerResult evaluate(const LedgerInput& input);

// One dated cash flow: money put in negative, taken out positive (cents).
struct CashFlow {
    Day day = 0;
    int64_t amount = 0;
};
// The annual rate r with Σ amount × (1+r)^(−days/365) = 0, solved to 1e-6;
// none ("--") when the flows never change sign, span under 30 days, or have no
// root in (−99.99 %, 10,000 %).
std::optional<double> xirr(std::vector<CashFlow> flows);

// Π(1 + 当日收益_t / 市值 at the previous close) − 1 over the closes dated
// from … to (both included); days whose previous close held nothing count 1.
double timeWeightedReturn(const std::vector<DayFigures>& history, Day from, Day to);
// The benchmark fund over the same days: Π(1 + day's change / 100) − 1, the
// unit value over the previous one where a row has no change.
double benchmarkReturn(const std::vector<NavRow>& rows, Day from, Day to);

// The due dates of a plan from its start up to `now` (a date's order is due at
// 14:59 China time), ascending.
std::vector<Day> dueDates(const Plan& plan, ChinaTime now);
// The 买入 orders the plan must book now: one per due date it has not booked
// before, dated that date at 14:59.
std::vector<Trade> ordersToBook(const Plan& plan, ChinaTime now);

} // namespace fw::ledger
