// Alert rules in fundwatch.db: a ledger of the first schema gains them with
// its trades kept, every field comes back, and of two processes checking one
// rule at once only one logs the firing and so only one tells it.
#include "funds/AlertRules.h"
#include "store/LedgerDatabase.h"
#include "store/Sqlite.h"
#include "tests/store/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fw::ledger {
namespace {

using test::TempDir;

AlertRule changeBelow(int64_t threshold)
{
    AlertRule r;
    r.subject = AlertSubject::Fund;
    r.code = "005827";
    r.condition = AlertCondition::Change;
    r.above = false;
    r.threshold = threshold;
    r.windowStart = 14 * 60 + 40;
    r.windowEnd = 14 * 60 + 55;
    return r;
}

TEST(AlertStore, AFirstSchemaLedgerGainsTheRulesAndKeepsItsTrades)
{
    TempDir dir;
    const std::string path = dir.file("fundwatch.db");
    {
        LedgerDatabase db;
        ASSERT_TRUE(db.open(path)) << db.failure();
        Trade t;
        t.account = "默认";
        t.code = "000001";
        t.date = *parseDay("2026-03-02");
        t.amount = 100000;
        ASSERT_TRUE(db.addTrade(t));
    }
    {
        // As the program before the alerts left it.
        SqliteConnection raw;
        ASSERT_TRUE(raw.open(path, false));
        ASSERT_TRUE(raw.exec("DROP TABLE alert_log; DROP TABLE alert_rules; DROP TABLE alert_quiet; DROP TABLE alert_digests;"
                             " DROP TABLE estimate_log; PRAGMA user_version=1"));
    }
    LedgerDatabase db;
    ASSERT_TRUE(db.open(path)) << db.failure();
    EXPECT_EQ(db.schemaVersion(), LedgerDatabase::kSchemaVersion);
    EXPECT_EQ(db.trades().size(), 1u);

    const auto id = db.addAlertRule(changeBelow(-20000));
    ASSERT_TRUE(id);
    AlertRule stock;
    stock.subject = AlertSubject::Stock;
    stock.code = "1.600519";
    stock.condition = AlertCondition::Level;
    stock.threshold = 16500000;
    ASSERT_TRUE(db.addAlertRule(stock));
    const std::vector<AlertRule> rules = db.alertRules();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].id, *id);
    EXPECT_EQ(rules[0].code, "005827");
    EXPECT_EQ(rules[0].condition, AlertCondition::Change);
    EXPECT_FALSE(rules[0].above);
    EXPECT_EQ(rules[0].threshold, -20000);
    EXPECT_EQ(rules[0].windowStart, 880);
    EXPECT_EQ(rules[0].windowEnd, 895);
    EXPECT_TRUE(rules[0].state.armed);
    EXPECT_EQ(rules[1].subject, AlertSubject::Stock);
    EXPECT_TRUE(rules[1].above);
    EXPECT_EQ(rules[1].windowStart, -1);

    // The state a check leaves is what the next check starts from.
    const ChinaTime now {*parseDay("2026-12-04"), 14 * 60 + 45};
    auto fired = db.checkAlertRule(*id, now, [&](AlertRule& r) -> std::optional<std::string> {
        if (evaluateAlert(r, {-23100, {}}, now, true))
            return alertMessage(r, "易方达蓝筹精选混合", -23100);
        return std::nullopt;
    });
    ASSERT_EQ(fired, true);
    const AlertRule after = *db.alertRule(*id);
    EXPECT_FALSE(after.state.armed);
    EXPECT_EQ(after.state.firedDay, now.day);
    EXPECT_EQ(after.state.lastValue, -23100);
    EXPECT_EQ(after.state.lastDay, now.day);
    const std::vector<AlertFiring> log = db.alertLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].ruleId, *id);
    EXPECT_EQ(log[0].minute, 14 * 60 + 45);
    EXPECT_EQ(log[0].message, "易方达蓝筹精选混合 估算 -2.31%，低于 -2.00%");

    // Removed, its firing stays in the log without it.
    ASSERT_TRUE(db.removeAlertRule(*id));
    EXPECT_FALSE(db.removeAlertRule(*id));
    EXPECT_EQ(db.alertLog()[0].ruleId, 0);
    EXPECT_EQ(db.checkAlertRule(*id, now, [](AlertRule&) { return std::optional<std::string>("x"); }), std::nullopt);

    // A digest is marked and logged once a day; the day's estimate is kept for the evening's.
    EXPECT_EQ(db.claimDigest(1, now.day, "今日估算收益 -13.94", now), true);
    EXPECT_EQ(db.claimDigest(1, now.day, "今日估算收益 -13.94", now), false);
    EXPECT_EQ(db.claimDigest(2, now.day, "今日收益 -12.00", now), true);
    EXPECT_EQ(db.claimDigest(1, now.day + 1, "x", now), true);
    EXPECT_EQ(db.alertLog().size(), 4u); // the firing and three digests
    EXPECT_EQ(db.alertLog()[0].ruleId, 0);
    EXPECT_EQ(db.dayEstimate(now.day), std::nullopt);
    ASSERT_TRUE(db.noteDayEstimate(now.day, -1394));
    ASSERT_TRUE(db.noteDayEstimate(now.day, -1200));
    EXPECT_EQ(db.dayEstimate(now.day), -1200);
    EXPECT_EQ(db.dayEstimate(now.day + 1), std::nullopt);

    EXPECT_EQ(db.alertsQuietDay(), 0);
    ASSERT_TRUE(db.setAlertsQuietDay(now.day));
    EXPECT_EQ(db.alertsQuietDay(), now.day);

    // Writes that cannot begin say so, with a reason, rather than pass for done.
    LedgerDatabase closed;
    EXPECT_FALSE(closed.setAlertsQuietDay(now.day));
    EXPECT_FALSE(closed.failure().empty());
    EXPECT_FALSE(closed.setAlertRuleEnabled(1, false));
    EXPECT_FALSE(closed.removeAlertRule(1));
    // A rule that is not there is no change made.
    EXPECT_FALSE(db.setAlertRuleEnabled(999, false));
    EXPECT_EQ(db.failure(), "no such rule");
}

TEST(AlertStore, TwoProcessesCheckingAtOnceLogTheFiringOnce)
{
    TempDir dir;
    const std::string path = dir.file("fundwatch.db");
    int64_t id = 0;
    {
        LedgerDatabase db;
        ASSERT_TRUE(db.open(path)) << db.failure();
        id = *db.addAlertRule(changeBelow(-20000));
    }
    const ChinaTime now {*parseDay("2026-12-04"), 14 * 60 + 45};
    // Each child checks the rule, stalling inside its check so that the two
    // overlap; it exits 10 when it logged a firing, 0 when not, 1 on a failure.
    auto child = [&]() {
        LedgerDatabase db;
        if (!db.open(path))
            _exit(1);
        const auto fired = db.checkAlertRule(id, now, [&](AlertRule& r) -> std::optional<std::string> {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (evaluateAlert(r, {-23100, {}}, now, true))
                return std::string("fired");
            return std::nullopt;
        });
        db.close();
        _exit(!fired ? 1 : *fired ? 10 : 0);
    };
    pid_t pids[2];
    for (pid_t& pid : pids) {
        pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            child();
    }
    int told = 0;
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 1);
        told += WEXITSTATUS(status) == 10;
    }
    EXPECT_EQ(told, 1);
    LedgerDatabase db;
    ASSERT_TRUE(db.open(path));
    EXPECT_EQ(db.alertLog().size(), 1u);
}

} // namespace
} // namespace fw::ledger
