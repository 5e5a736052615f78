#pragma once
// One check of every alert rule: the figures the rules need fetched on the
// calling thread (never the UI thread), each rule evaluated and its state and
// firing written under the database's write lock. No Qt.
#include "funds/AlertRules.h"
#include "funds/Ledger.h"
#include "funds/Portfolio.h"
#include "net/HttpClient.h"
#include "store/ConfigFile.h"
#include "store/LedgerDatabase.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw::ledger {

// "/api/qt/stock/trends2/get?secid=…": the day's minute bars of a stock or an index.
Text minuteBarsPath(std::string_view quoteId, std::string_view token);
// Whether `day` is a trading day: the minute bars of 上证指数 (1.000001)
// carry its date. None when the bars could not be fetched.
std::optional<bool> fetchTradingDay(const HttpRequestOptions& request, Day day);

// What the rules are checked against besides the service: the funds held
// (the ledger's positions, or [持仓] without a ledger) and the ledger's
// 持有收益率 of each fund with the day of its newest unit value.
struct AlertHolding {
    std::string code;
    int64_t shares = 0;      // hundredths
};
struct HoldingRate {
    std::optional<int64_t> rate; // 1e-4 percent
    Day day = 0;                 // the day of the unit value it is at
};
struct AlertSources {
    std::vector<AlertHolding> portfolio;
    std::map<std::string, HoldingRate> holdingRates;
    Day navsThrough = 0; // the oldest of the held funds' newest unit-value days
    std::string dataDir; // where the estimate log is: each fund's estimate by its measured errors
    std::optional<int64_t> holdingProfit; // the ledger's 持有收益, cents
    std::optional<DayFigures> lastClose;  // the ledger's newest close
};

// The figures of one check.
struct AlertReadings {
    bool tradingDay = false;
    bool failed = false;                          // a request the rules needed failed
    std::map<int64_t, AlertReading> byRule;
    std::map<int64_t, std::string> names;         // the subject's name (UTF-8) by rule
    std::optional<double> dayProfit;              // the portfolio's estimated 当日收益, yuan
    std::vector<std::pair<std::string, double>> movers; // held funds' names (UTF-8) and estimated changes
};

// Fetches what the enabled rules need at `now`: live figures in trading
// hours, unit values from 16:00 on.
AlertReadings readAlertValues(const HttpRequestOptions& request, const std::vector<AlertRule>& rules,
                              const AlertSources& sources, ChinaTime now);

struct FiredAlert {
    int64_t ruleId = 0;
    AlertSubject subject = AlertSubject::Fund;
    std::string code;
    std::string message; // UTF-8
};

// Evaluates each rule against `readings`, each in its own transaction; the
// firings this process logged, to be told (none for a rule another process
// fired first). `failed` is set when a state could not be written.
std::vector<FiredAlert> applyAlertChecks(LedgerDatabase& db, const AlertReadings& readings, ChinaTime now,
                                         bool& failed);

// The funds held and their 持有收益率 from the ledger in `dataDir` (its NAV
// history brought up to date, its due 定投 orders booked, as every ledger
// refresh does), and the ledger's whole 持有收益 in cents.
AlertSources alertSources(const std::string& dataDir, const HttpRequestOptions& request, ChinaTime now);

// The day's unit values are looked for every 30 minutes from 16:00 to 23:00 China time.
inline constexpr int kNavFromMinute = 16 * 60, kNavToMinute = 23 * 60, kNavEveryMinutes = 30;

// The digests, switched on in 配置.ini under [提醒]: 盘中摘要=真 at 摘要时间
// (default 14:30) with today's estimated 当日收益 and the funds that moved
// most; 净值摘要=真 once the day's unit values are in, with the real 当日收益
// and the estimate's miss.
struct DigestSettings {
    bool midday = false;
    int middayMinute = 14 * 60 + 30;
    bool evening = false;
};
DigestSettings digestSettings(const ConfigFile& config);
// The evening digest is due once every held fund's unit value of today is in,
// or at the last look of the day (23:00) with those that are: a fund that
// publishes a day late never holds it back past the evening.
bool eveningDigestDue(const DigestSettings& digests, const AlertSources& sources, ChinaTime now);
// "今日估算收益 -13.94　变动最大：A -2.10%，B +1.23%" (the three that moved most).
std::string middayDigestText(double dayProfit, std::vector<std::pair<std::string, double>> movers);
// "今日收益 -12.00　估算 -13.94，偏差 +1.94" (cents); without an estimate the first part only.
std::string eveningDigestText(int64_t realCents, const std::optional<int64_t>& estimateCents);

// One round of checks as the window's timer and `fundwatch-cli alerts check`
// run it, on the calling thread (never the UI thread).
struct AlertRound {
    std::vector<FiredAlert> fired; // logged by this round, to be told
    bool refreshFailed = false;
    bool writeFailed = false;
    bool quiet = false;            // 今日不再提醒 was chosen today: log, do not tell
    bool tradingDay = false;
    std::optional<double> dayProfit;       // the portfolio's estimated 当日收益, yuan
    std::optional<int64_t> holdingProfit;  // the ledger's 持有收益, cents
    std::string failure;           // the database's words when it could not be used
};
// `allFigures`: fetch the portfolio's figures (the tray's) even when no rule needs them.
AlertRound runAlertRound(const std::string& dataDir, const ConfigFile& config, const HttpRequestOptions& request,
                         ChinaTime now, bool allFigures);

// The tray's tooltip, UTF-8: "今日估算收益 +123.45　持有收益 +4,567.89　14:32 更新";
// "--" for a figure not known.
std::string trayTooltip(const std::optional<double>& dayProfit, const std::optional<int64_t>& holdingProfitCents,
                        int minute);
// Yuan as the tray shows them: signed, two decimals, thousands grouped ("+4,567.89").
std::string groupedMoney(int64_t cents);

} // namespace fw::ledger
