#pragma once
// The user's ledger, fundwatch.db beside 配置.ini: accounts, trades, the
// settings of each holding, 定投 plans with the dates they booked. WAL, foreign
// keys on, numbered migrations in PRAGMA user_version, a busy time-out so that
// the window and the command line can write at once and both changes stay.
// Every change is one transaction. A file that cannot be opened or fails
// PRAGMA quick_check is never written: open() fails with the reason.
#include "store/AlertRecords.h"
#include "store/LedgerRecords.h"
#include "store/Sqlite.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw::ledger {

std::string ledgerFilePath(const std::string& dataDir);   // <dataDir>/fundwatch.db
std::string navCacheFilePath(const std::string& dataDir); // <dataDir>/navcache.db

class LedgerDatabase {
public:
    static constexpr int kSchemaVersion = 3;

    // Called once, inside the transaction that makes a new database: the trades
    // to start it with (the holdings carried over from the settings).
    using Seed = std::function<std::vector<Trade>()>;

    // Opens the database at `path`, making it when there is no file. False with
    // failure() set when the file cannot be opened, fails its quick check, or
    // was written by a newer program; such a file is left exactly as it is.
    bool open(const std::string& path, const Seed& seed = {});
    bool isOpen() const { return m_db.isOpen(); }
    void close() { m_db.close(); }
    const std::string& path() const { return m_path; }
    // Why the last call failed (SQLite's or the system's words).
    const std::string& failure() const { return m_db.failure(); }
    int schemaVersion();

    // The new trade's id; nullopt when it was not stored. The account is made
    // when it does not exist yet.
    std::optional<int64_t> addTrade(const Trade& trade);
    // All of them or, when any cannot be stored, none.
    bool addTrades(const std::vector<Trade>& trades);
    // Replaces the stored trade of the same id; false when there is none.
    bool updateTrade(const Trade& trade);
    bool removeTrade(int64_t id);
    std::vector<Trade> trades();
    std::vector<std::string> accounts();

    bool setDividendMethod(const std::string& code, DividendMethod method);
    bool setFeeSchedule(const std::string& code, const std::vector<FeeStep>& schedule);
    std::map<std::string, HoldingSettings> settings();

    std::optional<int64_t> addPlan(const Plan& plan);
    bool removePlan(int64_t id); // its trades stay, no longer tied to it
    std::vector<Plan> plans();
    // Books, in one transaction, the orders `due` makes of each plan as the
    // plans stand under the write lock (so two writers never book one date
    // twice), and records their dates. The number booked; -1 on a failure.
    int bookPlans(const std::function<std::vector<Trade>(const Plan&)>& due);

    // The estimate log. Stores the estimates in one transaction; one already
    // logged for its day, fund and model stays as it was. The number newly
    // stored; -1 on a failure.
    int logEstimates(const std::vector<LoggedEstimate>& estimates);
    // Puts each row's change beside the fund's logged estimates still without
    // one that are matched to its day. The number of estimates given a change;
    // -1 on a failure.
    int storeNavChanges(const std::string& code, const std::vector<NavRow>& rows);
    // The log of one fund ("" every fund), by fund, model and day.
    std::vector<LoggedEstimate> estimateLog(const std::string& code = {});
    // Per fund with estimates still waiting for their NAV row: the oldest day
    // such a row would be dated.
    std::map<std::string, Day> pendingNavDays();

    // A copy through SQLite's backup API, fundwatch.db.YYYY-MM-DD beside the
    // file, unless today's exists; kept only when integrity_check passes. The 7
    // newest copies stay. False with failure() set when the copy failed.
    bool dailyCopy(Day today);

    // Alert rules. A new rule starts armed, with no state.
    std::optional<int64_t> addAlertRule(const AlertRule& rule);
    // Replaces the rule's subject, condition, window and switch; its state stays.
    bool updateAlertRule(const AlertRule& rule);
    bool setAlertRuleEnabled(int64_t id, bool enabled);
    bool removeAlertRule(int64_t id); // its firings stay in the log
    std::vector<AlertRule> alertRules();
    std::optional<AlertRule> alertRule(int64_t id);
    // The newest `limit` firings, newest first.
    std::vector<AlertFiring> alertLog(int limit = 200);

    // One check of a rule in one transaction under the write lock: `check`
    // gets the rule as stored now, updates its state and returns the message
    // when it fires. The state is written and a firing logged before the
    // commit, so of two processes checking at once only one finds it firing.
    // True when this call logged a firing (the caller tells it), false when
    // not; nullopt when the rule is gone or nothing could be written.
    using AlertCheck = std::function<std::optional<std::string>(AlertRule&)>;
    std::optional<bool> checkAlertRule(int64_t id, ChinaTime now, const AlertCheck& check);

    // The day 今日不再提醒 was chosen on (0 = none): firings of that day are
    // logged but not told.
    bool setAlertsQuietDay(Day day);
    Day alertsQuietDay();

    // The day's digests. The last estimated 当日收益 of a day (cents), which
    // the evening digest compares the real one with.
    bool noteDayEstimate(Day day, int64_t cents);
    std::optional<int64_t> dayEstimate(Day day);
    // Marks digest `kind` of `day` sent and logs `message`, in one
    // transaction: true for the one process that marked it (it tells the
    // digest), false when it was already marked; nullopt on a failure.
    std::optional<bool> claimDigest(int kind, Day day, const std::string& message, ChinaTime now);

private:
    bool migrate(const Seed& seed);
    std::optional<int64_t> insertTrade(const Trade& trade);
    std::optional<int64_t> accountId(const std::string& name);
    std::vector<Plan> readPlans();
    // Runs `sql`, bound by `bind`, in a transaction of its own; it must change
    // a row: when none was, false with `missing` as the failure.
    bool changeOneRow(std::string_view sql, const std::function<void(SqliteStatement&)>& bind, const char* missing);

    SqliteConnection m_db;
    std::string m_path;
};

// The dates of the daily copies beside the database at `path`, newest first.
std::vector<Day> ledgerCopies(const std::string& path);
// Puts the copy of `date` back in place of the database at `path` (no
// connection to it may be open). The file it replaces is kept as
// <path>.before-restore. False with `failure` set when the copy is missing or
// damaged, and then nothing changes.
bool restoreLedgerCopy(const std::string& path, Day date, std::string& failure);

} // namespace fw::ledger
