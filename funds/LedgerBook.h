#pragma once
// The ledger as the window uses it: opening the user's database at start (the
// daily copy taken, [持仓] carried in once), the small writes the window makes
// (a trade added, edited, removed; a 对账 from a cell; a 定投 plan), and the
// refresh that books the plans' due orders, brings the NAV history up to date
// and evaluates everything on a worker thread, never on the caller's. The
// newest refresh wins: an older one's result is never delivered. No Qt.
#include "funds/FeatureContext.h"
#include "funds/Ledger.h"
#include "funds/LedgerViews.h"
#include "funds/Portfolio.h"
#include "funds/RowPool.h"
#include "net/LoadToken.h"
#include "store/ConfigFile.h"
#include "store/LedgerDatabase.h"
#include "store/NavCache.h"
#include "text/Text.h"

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fw::ledger {

// Everything the window shows of one evaluation.
struct LedgerSnapshot {
    std::vector<Trade> trades;           // as stored, oldest id first
    std::vector<Plan> plans;
    LedgerResult result;                 // result.trades lines up with trades
    std::string benchmarkCode;
    std::vector<NavRow> benchmark;       // the benchmark fund's rows, oldest first
    std::map<std::string, Trend> trends; // by account; "" for the whole ledger
    Day today = 0;
    std::map<std::string, FundQuote> funds; // each held fund's name and today's estimate, by code
    // 今日估算收益 of each position (lined up with result.positions), none
    // without an estimate; and the sums of the rounded figures by account ("" = 全部).
    std::vector<std::optional<int64_t>> todayGains;
    std::map<std::string, std::optional<int64_t>> todayTotals;
    std::string failure;                 // UTF-8: why the ledger could not be read ("" = fine)
    Text navFailure;                     // GBK: why a fund's NAV history is not up to date
};

// Brings the fund's stored NAV history up to date from `from` (its first
// trade's day) on; on a worker thread, with the refresh's request options.
// Why it failed (GBK), "" when it did not.
using NavUpdate = std::function<Text(const HttpRequestOptions& request, NavCache& cache, const std::string& code,
                                     Day from)>;
// The NAV history fetcher's, from the fund API host.
Text fetchNavHistory(const HttpRequestOptions& request, NavCache& cache, const std::string& code, Day from);

// A held fund's name and today's estimated change, as the portfolio fetches
// them (chosen by the errors logged in `dataDir`); on a worker thread.
using FundLookup = std::function<FundQuote(const HttpRequestOptions& request, const std::string& code,
                                           const std::string& dataDir)>;
FundQuote lookUpFund(const HttpRequestOptions& request, const std::string& code, const std::string& dataDir);

// 今日估算收益: 市值 (cents) × the estimated change (percent) to the cent,
// halves away from zero.
int64_t todayGain(int64_t marketValue, double changePercent);

// Each held fund's name and estimate (looked up once a fund, on the calling
// thread), then 今日估算收益 of every position (lined up with `positions`,
// none without an estimate) and the sums of those rounded figures by account
// ("" = 全部).
struct TodayGains {
    std::map<std::string, FundQuote> funds;
    std::vector<std::optional<int64_t>> byPosition;
    std::map<std::string, std::optional<int64_t>> totals;
};
TodayGains todayGains(const std::vector<Position>& positions, const FundLookup& lookup,
                      const HttpRequestOptions& request, const std::string& dataDir);

struct RefreshJob {
    std::string dataDir;
    std::string benchmarkCode;
    ChinaTime now;
    HttpRequestOptions request;
    NavUpdate navUpdate;
    FundLookup fundLookup;
};

// One refresh, on the calling thread: books the due 定投 orders, updates and
// reads the NAV history of every traded fund and the benchmark, evaluates.
LedgerSnapshot computeLedger(const RefreshJob& job);

class LedgerBook {
public:
    using Clock = std::function<std::time_t()>;
    using Done = std::function<void(std::shared_ptr<const LedgerSnapshot>, LoadTicket)>;
    static constexpr const char* kDefaultBenchmark = "110020";

    // `dataDir` "" keeps the ledger off (no file to open).
    LedgerBook(FeatureContext& context, std::string dataDir, Clock clock = {});
    ~LedgerBook(); // cancels a refresh and waits for no thread
    LedgerBook(const LedgerBook&) = delete;
    LedgerBook& operator=(const LedgerBook&) = delete;

    // The start-up: opens fundwatch.db (a new one starts with [持仓]'s holdings)
    // and takes today's copy. False when the database cannot be opened: the
    // ledger features stay off and failureText() says why.
    bool start(const ConfigFile& config);
    bool isOpen() const { return m_db.isOpen(); }
    bool started() const { return m_started; }
    // "持仓数据库无法打开：…" (GBK) after a failed start; "" otherwise.
    const Text& failureText() const { return m_failureText; }
    const std::string& dataDir() const { return m_dataDir; }
    // Daily copies that can be put back, newest first.
    std::vector<Day> copies() const;
    // Puts the copy back and opens the ledger again; false with `failure` (UTF-8).
    bool restore(Day date, std::string& failure);

    ChinaTime now() const;

    // Writes, each one transaction; false (nullopt) when not stored.
    std::optional<int64_t> addTrade(const Trade& trade);
    bool updateTrade(const Trade& trade);
    bool removeTrade(int64_t id);
    // A 对账 of the account's holding, dated today (no time: it counts for
    // today's close): shares and held cost as given.
    bool reconcile(const std::string& account, const std::string& code, int64_t shares, int64_t heldCost);
    std::optional<int64_t> addPlan(const Plan& plan);
    bool removePlan(int64_t id);
    // The reason of the last write that failed (SQLite's words).
    const std::string& writeFailure() const { return m_db.failure(); }

    // The benchmark fund of the 走势 tab: 110020 until the user picks one,
    // then the pick, kept in 配置.ini for the next start.
    const std::string& benchmarkCode() const { return m_benchmark; }
    // False when 配置.ini would not take the pick (it still holds for this run).
    bool setBenchmarkCode(std::string code);
    // Why the last setting was not stored (the system's words).
    std::string settingFailure() const { return m_context.config.lastFailure(); }
    // How NAV history reaches navcache.db (the fetcher's until set); none:
    // only what is stored is read.
    void setNavUpdate(NavUpdate update) { m_navUpdate = std::move(update); }
    // How a held fund's name and estimate are learnt (the portfolio's fetch
    // until set); none: neither is shown.
    void setFundLookup(FundLookup lookup) { m_fundLookup = std::move(lookup); }

    // Starts a refresh on a worker; an older one under way is cancelled. `done`
    // runs on the worker with the snapshot and the refresh's ticket (current
    // while no newer refresh began); never after cancel() has returned.
    void refresh(Done done);
    void cancel();
    bool isCurrent(const LoadTicket& ticket) const { return m_load.isCurrent(ticket); }
    // Waits for every worker so far (never on the UI thread; tests).
    void wait() { m_pool.reap(true); }

private:
    struct Run {
        RefreshJob job;
        Done done;
        LoadTicket ticket;
        std::mutex doneMutex;
    };

    FeatureContext& m_context;
    std::string m_dataDir;
    Clock m_clock;
    LedgerDatabase m_db;
    bool m_started = false;
    Text m_failureText;
    std::string m_benchmark = kDefaultBenchmark;
    NavUpdate m_navUpdate = fetchNavHistory;
    FundLookup m_fundLookup = lookUpFund;
    std::shared_ptr<Run> m_run;
    LoadToken m_load;
    RowPool m_pool;
};

// The benchmark fund picked in 配置.ini ([持仓走势] 基准基金), or 110020 when
// none (or no fund code) is kept: the window's 走势 tab and the command line go by it.
std::string storedBenchmark(const ConfigFile& config);

// ---- what the tabs show (GBK texts, colours from the figures)

// "12.34" from cents; "--" for none.
Text moneyText(int64_t cents);
Text sharesText(int64_t hundredths);
Text unitValueText(int64_t tenThousandths);
// "12.34%" from hundredths of a percent; "--" for none.
Text rateText(const std::optional<int64_t>& hundredthsOfPercent);
Text xirrText(const std::optional<double>& rate);
// Red above zero, green below, the default at zero.
Colour profitColour(int64_t cents);

// 持仓 tab: one row per position, then a totals row.
enum HoldingColumn {
    HAccount, HCode, HName, HShares, HHeldCost, HUnitValue, HMarketValue, HHoldingProfit, HHoldingRate,
    HTodayGain, HTotalProfit, HTotalRate, HRealised, HXirr, HState, kHoldingColumns
};
const std::vector<Text>& holdingHeader();
// The fund's name (GBK) and 今日估算收益 ("--" without an estimate) beside the figures.
std::vector<Text> positionTexts(const Position& position, const Text& name = {},
                                const std::optional<int64_t>& todayGain = std::nullopt);
// The totals row ("合计" / the account).
std::vector<Text> aggregateTexts(const Aggregate& aggregate, const std::optional<int64_t>& todayGain = std::nullopt);
std::vector<Colour> figureColours(const Figures& figures, const std::optional<int64_t>& todayGain = std::nullopt);
// "待确认 1000.00元" / "卖出中 50.00份" (both when both), "" otherwise.
Text pendingText(const Figures& figures);

// 交易 tab: one row per stored trade.
enum TradeColumn {
    TId, TDate, TTime, TAccount, TCode, TKind, TAmount, TShares, TFeeRate, TState, TConfirmDay, TUnitValue,
    TFee, TNote, kTradeColumns
};
const std::vector<Text>& tradeHeader();
std::vector<Text> tradeTexts(const Trade& trade, const TradeOutcome* outcome);
Text kindText(TradeKind kind);
std::optional<TradeKind> kindOf(const Text& gbkText);

// A trade from the form's texts (GBK); the refusal (GBK) when a field is wrong.
struct TradeForm {
    Text kind, code, amount, shares, date, time, feeRate, account, note;
};
Text tradeFromForm(const TradeForm& form, ChinaTime now, Trade& out);

// 定投 tab: one row per plan.
const std::vector<Text>& planHeader();
std::vector<Text> planTexts(const Plan& plan);
// "每个交易日", "每周", "每两周", "每月" in the cycle's order.
const std::vector<Text>& cycleNames();
struct PlanForm {
    Text code, amount, feeRate, account, day, start;
    int cycle = 3; // index into cycleNames()
};
// A plan from the form's texts; the refusal (GBK) when a field is wrong. The
// day is 1–5 (Monday to Friday) for a weekly cycle, 1–28 for a monthly one.
Text planFromForm(const PlanForm& form, Day today, Plan& out);

} // namespace fw::ledger
