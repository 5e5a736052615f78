// The ledger's databases on real files: migrations, the carry-over of
// [持仓], damaged files left alone, two writers at once, the daily copies.
#include "funds/Ledger.h"
#include "funds/LedgerStart.h"
#include "store/LedgerDatabase.h"
#include "store/NavCache.h"
#include "store/Sqlite.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fw::ledger {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

Day day(const char* text) { return parseDay(text).value_or(0); }

Trade buyOf(const char* code, int64_t amount, const char* account = "默认")
{
    Trade t;
    t.account = account;
    t.code = code;
    t.kind = TradeKind::Buy;
    t.date = day("2026-03-02");
    t.minute = 600;
    t.amount = amount;
    return t;
}

TEST(LedgerStore, NewDatabaseIsMigratedOnceAndKeepsEveryField)
{
    TempDir dir;
    const std::string path = ledgerFilePath(dir.path());
    int seeded = 0;
    const LedgerDatabase::Seed seed = [&] {
        ++seeded;
        return std::vector<Trade> {buyOf("000001", 100)};
    };
    {
        LedgerDatabase db;
        ASSERT_TRUE(db.open(path, seed)) << db.failure();
        EXPECT_EQ(db.schemaVersion(), LedgerDatabase::kSchemaVersion);
        Trade t = buyOf("110022", 123456, "招行");
        t.minute = -1;
        t.feeRate = 1500;
        t.note = "第一笔";
        ASSERT_TRUE(db.addTrade(t));
    }
    LedgerDatabase db;
    ASSERT_TRUE(db.open(path, seed)) << db.failure();
    EXPECT_EQ(seeded, 1); // the seed belongs to the database's first start only
    const auto trades = db.trades();
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_EQ(trades[1].account, "招行");
    EXPECT_EQ(trades[1].code, "110022");
    EXPECT_EQ(trades[1].minute, -1);
    EXPECT_EQ(trades[1].amount, 123456);
    EXPECT_EQ(trades[1].feeRate, 1500);
    EXPECT_EQ(trades[1].note, "第一笔");
    EXPECT_EQ(trades[0].minute, 600);
    EXPECT_FALSE(trades[0].feeRate);
    EXPECT_EQ(db.accounts(), (std::vector<std::string> {"招行", "默认"})); // by the names' bytes
    // WAL: the log file stands beside the database while it is open.
    EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
}

TEST(LedgerStore, OlderSchemaIsUpgradedNewerIsRefusedUntouched)
{
    TempDir dir;
    const std::string older = dir.file("older.db");
    {
        SqliteConnection raw;
        ASSERT_TRUE(raw.open(older, true));
        ASSERT_TRUE(raw.exec("CREATE TABLE notes(x); INSERT INTO notes VALUES(1)"));
    }
    LedgerDatabase db;
    ASSERT_TRUE(db.open(older)) << db.failure();
    EXPECT_EQ(db.schemaVersion(), LedgerDatabase::kSchemaVersion);
    EXPECT_TRUE(db.addTrade(buyOf("000001", 1)));
    db.close();

    const std::string newer = dir.file("newer.db");
    {
        SqliteConnection raw;
        ASSERT_TRUE(raw.open(newer, true));
        ASSERT_TRUE(raw.exec("CREATE TABLE future(x); PRAGMA user_version=99"));
    }
    const std::string before = readBytes(newer);
    EXPECT_FALSE(db.open(newer));
    EXPECT_NE(db.failure().find("newer"), std::string::npos) << db.failure();
    EXPECT_TRUE(readBytes(newer) == before);
}

TEST(LedgerStore, HoldingsOfTheSettingsBecomeOpeningTradesAndStayAsTheyWere)
{
    TempDir dir;
    ConfigFile config(dir.file("配置.ini"));
    const std::string ini = gbk("[持仓]\r\n000001=100.5|1.2345\r\n000002=abc|1\r\n110022= 1000 | 2.5 \r\n[其他]\r\nx=1\r\n");
    writeBytes(config.path(), ini);
    LedgerDatabase db;
    const Day today = day("2026-03-04");
    ASSERT_TRUE(openLedger(db, dir.path(), config, today)) << db.failure();
    const auto trades = db.trades();
    ASSERT_EQ(trades.size(), 2u);
    // 100.50 shares × 1.2345 = 124.06725 → 124.07; 1000 × 2.5 = 2500.00.
    EXPECT_EQ(trades[0].code, "000001");
    EXPECT_EQ(trades[0].kind, TradeKind::Opening);
    EXPECT_EQ(trades[0].shares, 10050);
    EXPECT_EQ(trades[0].amount, 12407);
    EXPECT_EQ(trades[0].date, today);
    EXPECT_EQ(trades[0].account, "默认");
    EXPECT_FALSE(trades[0].dated);
    EXPECT_EQ(trades[1].code, "110022");
    EXPECT_EQ(trades[1].amount, 250000);
    EXPECT_TRUE(readBytes(config.path()) == ini);
    db.close();

    // A second start carries nothing in again, even after [持仓] changed.
    writeBytes(config.path(), gbk("[持仓]\r\n000003=1|1\r\n"));
    ASSERT_TRUE(openLedger(db, dir.path(), config, today + 1));
    EXPECT_EQ(db.trades().size(), 2u);
}

TEST(LedgerStore, DamagedFilesAreNeverOverwritten)
{
    TempDir dir;
    // A file that is no database at all.
    const std::string garbage = dir.file("garbage.db");
    std::string bytes;
    for (int i = 0; i < 200; ++i)
        bytes += "not a database, but the user's file ";
    writeBytes(garbage, bytes);
    // A real database with a page trampled on.
    const std::string trampled = dir.file("trampled.db");
    {
        LedgerDatabase db;
        ASSERT_TRUE(db.open(trampled));
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(db.addTrade(buyOf("000001", i + 1)));
    }
    {
        std::string image = readBytes(trampled);
        ASSERT_GT(image.size(), 3 * 4096u);
        for (size_t i = 2 * 4096; i < 3 * 4096; ++i)
            image[i] = char(0xA5);
        writeBytes(trampled, image);
    }
    for (const std::string& path : {garbage, trampled}) {
        const std::string before = readBytes(path);
        LedgerDatabase db;
        EXPECT_FALSE(db.open(path)) << path;
        EXPECT_FALSE(db.failure().empty());
        EXPECT_FALSE(db.isOpen());
        EXPECT_TRUE(readBytes(path) == before) << path;
        EXPECT_FALSE(std::filesystem::exists(path + "-wal")) << path;
        EXPECT_EQ(ledgerOpenFailureText(db.failure()), gbk("持仓数据库无法打开：") + db.failure());
    }
}

TEST(LedgerStore, TwoWritersAtOnceKeepBothChanges)
{
    TempDir dir;
    const std::string path = ledgerFilePath(dir.path());
    LedgerDatabase window, cli;
    ASSERT_TRUE(window.open(path));
    ASSERT_TRUE(cli.open(path));

    // A stall: another process holds the write lock for 600 ms; the writer
    // waits its turn instead of failing, and both changes stay.
    SqliteConnection holder;
    ASSERT_TRUE(holder.open(path, false));
    ASSERT_TRUE(holder.begin());
    ASSERT_TRUE(holder.exec("INSERT INTO accounts(name) VALUES('持锁者')"));
    std::optional<int64_t> stalled;
    std::thread waiting([&] { stalled = cli.addTrade(buyOf("000009", 9)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_TRUE(holder.commit());
    waiting.join();
    EXPECT_TRUE(stalled) << cli.failure();

    // Then both write at once, 100 changes each.
    auto writer = [](LedgerDatabase& db, const char* code, int& stored) {
        for (int i = 0; i < 100; ++i)
            stored += db.addTrade(buyOf(code, i + 1)) ? 1 : 0;
    };
    int a = 0, b = 0;
    std::thread one(writer, std::ref(window), "000001", std::ref(a));
    std::thread two(writer, std::ref(cli), "000002", std::ref(b));
    one.join();
    two.join();
    EXPECT_EQ(a, 100);
    EXPECT_EQ(b, 100);
    LedgerDatabase reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.trades().size(), 201u);
    EXPECT_EQ(reader.accounts().size(), 2u);
}

TEST(LedgerStore, ImportIsAllOrNothingAndEditsReplaceATrade)
{
    TempDir dir;
    LedgerDatabase db;
    ASSERT_TRUE(db.open(ledgerFilePath(dir.path())));
    Trade bad = buyOf("000003", 3);
    bad.kind = TradeKind(9); // the table refuses a kind it does not know
    EXPECT_FALSE(db.addTrades({buyOf("000001", 1), buyOf("000002", 2), bad}));
    EXPECT_FALSE(db.failure().empty());
    EXPECT_TRUE(db.trades().empty());
    EXPECT_TRUE(db.accounts().empty());
    ASSERT_TRUE(db.addTrades({buyOf("000001", 1), buyOf("000002", 2)}));

    Trade edited = db.trades()[1];
    edited.kind = TradeKind::Sell;
    edited.shares = 4321;
    edited.account = "新账户";
    edited.minute = 15 * 60;
    ASSERT_TRUE(db.updateTrade(edited)) << db.failure();
    const auto trades = db.trades();
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_EQ(trades[1].kind, TradeKind::Sell);
    EXPECT_EQ(trades[1].shares, 4321);
    EXPECT_EQ(trades[1].account, "新账户");
    EXPECT_EQ(trades[1].minute, 15 * 60);
    EXPECT_EQ(trades[0].amount, 1);
    edited.id = 999;
    EXPECT_FALSE(db.updateTrade(edited));
}

TEST(LedgerStore, SettingsAndPlansRoundTrip)
{
    TempDir dir;
    LedgerDatabase db;
    ASSERT_TRUE(db.open(ledgerFilePath(dir.path())));
    ASSERT_TRUE(db.setFeeSchedule("000001", *parseFeeSchedule("7:1.5,365:0.5,0")));
    ASSERT_TRUE(db.setDividendMethod("000001", DividendMethod::Reinvest));
    ASSERT_TRUE(db.setDividendMethod("000002", DividendMethod::Cash));
    ASSERT_TRUE(db.setFeeSchedule("000001", *parseFeeSchedule("7:1.5,0"))); // replaces the first
    auto s = db.settings();
    EXPECT_EQ(s["000001"].method, DividendMethod::Reinvest);
    EXPECT_EQ(feeScheduleText(s["000001"].feeSchedule), "7:1.5,0");
    EXPECT_TRUE(s["000002"].feeSchedule.empty());
}

TEST(LedgerStore, PlansBookEachDueDateOnceEvenAfterTheUserDeletesIt)
{
    TempDir dir;
    const std::string path = ledgerFilePath(dir.path());
    LedgerDatabase db, other;
    ASSERT_TRUE(db.open(path));
    ASSERT_TRUE(other.open(path));
    Plan p;
    p.account = "默认";
    p.code = "000001";
    p.amount = 10000;
    p.cycle = PlanCycle::Weekly;
    p.cycleDay = 2; // Wednesdays: 03-04, 03-11, 03-18
    p.start = day("2026-03-01");
    const auto id = db.addPlan(p);
    ASSERT_TRUE(id);
    const ChinaTime now {day("2026-03-18"), 15 * 60};
    const auto due = [&](const Plan& plan) { return ordersToBook(plan, now); };

    // Two writers book at once: each date once.
    int first = 0, second = 0;
    std::thread t1([&] { first = db.bookPlans(due); });
    std::thread t2([&] { second = other.bookPlans(due); });
    t1.join();
    t2.join();
    EXPECT_EQ(first + second, 3);
    auto trades = db.trades();
    ASSERT_EQ(trades.size(), 3u);
    EXPECT_EQ(trades[0].planId, *id);
    EXPECT_EQ(trades[0].minute, 14 * 60 + 59);

    ASSERT_TRUE(db.removeTrade(trades[0].id));
    EXPECT_EQ(db.bookPlans(due), 0);
    EXPECT_EQ(db.trades().size(), 2u);
    const auto plans = db.plans();
    ASSERT_EQ(plans.size(), 1u);
    EXPECT_EQ(plans[0].booked.size(), 3u);

    // Removing the plan keeps its trades, no longer tied to it (foreign keys on).
    ASSERT_TRUE(db.removePlan(*id));
    for (const Trade& t : db.trades())
        EXPECT_EQ(t.planId, 0);
    EXPECT_FALSE(db.removeTrade(9999));
}

TEST(LedgerStore, DailyCopiesAndRestore)
{
    TempDir dir;
    const std::string path = ledgerFilePath(dir.path());
    {
        LedgerDatabase db;
        ASSERT_TRUE(db.open(path));
        ASSERT_TRUE(db.addTrade(buyOf("000001", 111)));
        ASSERT_TRUE(db.dailyCopy(day("2026-03-01"))) << db.failure();
        ASSERT_TRUE(db.addTrade(buyOf("000002", 222)));
        ASSERT_TRUE(db.dailyCopy(day("2026-03-01"))); // today's copy exists: kept as it is
        // Nine more days: the seven newest copies stay.
        for (Day d = day("2026-03-02"); d <= day("2026-03-10"); ++d)
            ASSERT_TRUE(db.dailyCopy(d));
    }
    const auto copies = ledgerCopies(path);
    ASSERT_EQ(copies.size(), 7u);
    EXPECT_EQ(dayText(copies.front()), "2026-03-10");
    EXPECT_EQ(dayText(copies.back()), "2026-03-04");

    // A copy that is not there, or is damaged, changes nothing.
    std::string failure;
    const std::string live = readBytes(path);
    EXPECT_FALSE(restoreLedgerCopy(path, day("2026-03-01"), failure));
    EXPECT_FALSE(failure.empty());
    writeBytes(path + ".2026-03-09", "garbage garbage garbage");
    failure.clear();
    EXPECT_FALSE(restoreLedgerCopy(path, day("2026-03-09"), failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_TRUE(readBytes(path) == live);

    // Restoring 03-04 (both trades), after a third trade.
    {
        LedgerDatabase db;
        ASSERT_TRUE(db.open(path));
        ASSERT_TRUE(db.addTrade(buyOf("000003", 333)));
    }
    ASSERT_TRUE(restoreLedgerCopy(path, day("2026-03-04"), failure)) << failure;
    LedgerDatabase db;
    ASSERT_TRUE(db.open(path)) << db.failure();
    EXPECT_EQ(db.trades().size(), 2u);
    LedgerDatabase kept;
    ASSERT_TRUE(kept.open(path + ".before-restore")) << kept.failure();
    EXPECT_EQ(kept.trades().size(), 3u);
}

TEST(LedgerStore, DailyCopyIsCheckedWhole)
{
    TempDir dir;
    const std::string path = ledgerFilePath(dir.path());
    LedgerDatabase db;
    ASSERT_TRUE(db.open(path));
    ASSERT_TRUE(db.addTrade(buyOf("000001", 111)));
    ASSERT_TRUE(db.dailyCopy(day("2026-03-01")));
    SqliteConnection copy;
    ASSERT_TRUE(copy.open(path + ".2026-03-01", false, true));
    EXPECT_EQ(copy.check(true), "ok");
    EXPECT_EQ(copy.queryText("PRAGMA journal_mode"), "delete"); // a file that stands alone
    EXPECT_EQ(copy.queryText("SELECT count(*) FROM trades"), "1");
}

TEST(NavCacheStore, RowsRoundTripAndADamagedCacheStartsAfresh)
{
    TempDir dir;
    const std::string path = navCacheFilePath(dir.path());
    NavRow a {day("2026-03-02"), 12345, 22345, std::nullopt, 0, 0};
    NavRow b {day("2026-03-03"), 12410, 22410, 5265, 500, 0};
    NavRow c {day("2026-03-04"), 10000, 22410, -1200, 0, 123456789};
    {
        NavCache cache;
        ASSERT_TRUE(cache.open(path));
        EXPECT_FALSE(cache.newestDay("000001"));
        ASSERT_TRUE(cache.store("000001", {b, a}));
        ASSERT_TRUE(cache.store("000001", {c}));
        NavRow b2 = b;
        b2.unitValue = 12411;
        ASSERT_TRUE(cache.store("000001", {b2})); // a day fetched again replaces its row
        ASSERT_TRUE(cache.store("000002", {a}));
        const auto rows = cache.rows("000001");
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0].day, a.day);
        EXPECT_FALSE(rows[0].changePercent);
        EXPECT_EQ(rows[1].unitValue, 12411);
        EXPECT_EQ(rows[1].changePercent, 5265);
        EXPECT_EQ(rows[1].dividend, 500);
        EXPECT_EQ(rows[2].splitRatio, 123456789);
        EXPECT_EQ(rows[2].changePercent, -1200);
        EXPECT_EQ(cache.newestDay("000001"), c.day);
    }
    writeBytes(path, std::string(8192, 'x'));
    std::filesystem::remove(path + "-wal");
    NavCache cache;
    ASSERT_TRUE(cache.open(path)) << cache.failure();
    EXPECT_TRUE(cache.rows("000001").empty());
    EXPECT_TRUE(cache.store("000001", {a}));
}

} // namespace
} // namespace fw::ledger
