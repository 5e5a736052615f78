#pragma once
// The ledger's records as plain values, shared by the database that keeps them
// and the rules that compute from them. Every figure is an exact integer:
//   money            cents                     (12.34 yuan = 1234)
//   shares           hundredths of a share     (100.5 shares = 10050)
//   unit values, cash per share   1e-4 yuan     (1.2345 = 12345)
//   fee rates, day's change       1e-4 percent  (1.5 % = 15000)
//   split ratios     1e-8                      (1.5 = 150000000)
// Dates are China dates counted in days from 1970-01-01; times of day are
// minutes after midnight China time.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::ledger {

using Day = int32_t;

// Days from 1970-01-01 of a proleptic Gregorian date (any month/day in range).
Day dayFromCivil(int year, int month, int day);
void civilFromDay(Day d, int& year, int& month, int& day);
// "YYYY-MM-DD"; the day of a text of exactly that form naming a real date.
std::string dayText(Day d);
std::optional<Day> parseDay(std::string_view text);
// 0 = Monday … 6 = Sunday.
int weekdayOf(Day d);

// A moment in China time (UTC+8, no daylight saving), whatever the machine's zone.
struct ChinaTime {
    Day day = 0;
    int minute = 0; // 0 … 1439
};
ChinaTime chinaTime(std::time_t utc);

enum class TradeKind { Buy = 1, Sell = 2, Reconcile = 3, Opening = 4 };

struct Trade {
    int64_t id = 0;
    std::string account; // UTF-8
    std::string code;    // six digits
    TradeKind kind = TradeKind::Buy;
    Day date = 0;
    int minute = -1;     // China time; -1 = not given (counts as before 15:00)
    int64_t amount = 0;  // cents: a buy's amount; 对账 and 期初: the held cost
    int64_t shares = 0;  // hundredths: a sale's shares; 对账 and 期初: the shares held
    std::optional<int64_t> feeRate; // 1e-4 %: a buy's or a sale's own rate
    bool dated = true;   // false: an 期初 whose buying date the user never gave
    int64_t planId = 0;  // the 定投 plan that booked it; 0 = none
    std::string note;    // UTF-8
};

// One row of a fund's NAV history: a day the fund published a unit value.
struct NavRow {
    Day day = 0;
    int64_t unitValue = 0;   // 1e-4; 0 = none (money-market funds)
    int64_t accumulated = 0; // 1e-4; 0 = none
    std::optional<int64_t> changePercent; // the day's change, 1e-4 %
    int64_t dividend = 0;    // cash per share paid on this ex-dividend day, 1e-4
    int64_t splitRatio = 0;  // each share becomes this many, 1e-8; 0 = no split
};

enum class DividendMethod { Cash = 0, Reinvest = 1 };

// One step of a redemption-fee schedule: under `days` days held, `rate`
// (1e-4 %); days < 0 is the last step, for any longer holding.
struct FeeStep {
    int days = -1;
    int64_t rate = 0;
};

struct HoldingSettings {
    DividendMethod method = DividendMethod::Cash;
    std::vector<FeeStep> feeSchedule; // empty: none
};

enum class PlanCycle { EveryTradingDay = 0, Weekly = 1, Biweekly = 2, Monthly = 3 };

struct Plan {
    int64_t id = 0;
    std::string account;
    std::string code;
    int64_t amount = 0;               // cents per order
    std::optional<int64_t> feeRate;   // 1e-4 %
    PlanCycle cycle = PlanCycle::Monthly;
    int cycleDay = 1;                 // weekday 0–6 (Monday = 0) or day of the month 1–28
    Day start = 0;
    std::vector<Day> booked;          // every due date the plan has booked, ascending
};

// One logged estimate: a fund's change of a China trading day by one model,
// and beside it the change the fund published for the day it is matched to
// (the day itself, or the US session whose quotes it used).
struct LoggedEstimate {
    Day day = 0;                      // the China day it was made
    std::string code;
    int model = 0;                    // the model's number: 0 feeder, 1 index, 2 holdings
    int64_t change = 0;               // 1e-4 %
    std::optional<Day> usSession;     // the US session of the US quotes it used
    std::optional<int64_t> navChange; // JZZZL of the matched NAV row, 1e-4 %

    // The NAV row it is compared with is dated so.
    Day navDay() const { return usSession.value_or(day); }
};

} // namespace fw::ledger
