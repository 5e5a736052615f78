// The window's ledger writers killed at random moments: a child process runs
// what the 交易 tab (add, edit, delete), a 持仓 cell (对账), the 定投 tab (a
// plan) and the refresh (booking the plans' due orders) write, until SIGKILL.
// After every kill the database passes integrity_check and each trade, each
// edit and each plan's booking holds whole or not at all. Then the window's
// writer and fundwatch-cli write at the same time and every change of both stays.
#include "funds/LedgerBook.h"
#include "model/MainModels.h"
#include "store/ConfigFile.h"
#include "store/LedgerDatabase.h"
#include "store/Sqlite.h"
#include "tests/store/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fw {
namespace {

using namespace ledger;

constexpr int kKills = 60;
constexpr int kCliRows = 150;

// 2026-12-04 20:00 China time, a Friday.
std::time_t fridayEvening() { return 1796385600; }

// A trade the 交易 tab adds: its amount, fee rate and time all follow from n.
Trade formTrade(int n)
{
    Trade t;
    t.account = "默认";
    t.code = "000001";
    t.kind = TradeKind::Buy;
    t.date = *parseDay("2026-11-02");
    t.minute = n % 1000;
    t.amount = int64_t(n) * 100;
    t.feeRate = n;
    t.note = "w" + std::to_string(n);
    return t;
}

// The same trade as the 交易 tab edits it: every field changed at once.
Trade editedTrade(int64_t id, int n)
{
    Trade t = formTrade(n);
    t.id = id;
    t.account = "券商";
    t.amount = int64_t(n) * 300;
    t.feeRate = int64_t(n) * 3;
    t.minute = (n * 3) % 1000;
    t.note = "e" + std::to_string(n);
    return t;
}

// A weekly plan started nine Mondays back: the refresh after its adding books
// them all in one go.
Plan weeklyPlan(int n)
{
    Plan p;
    p.account = "默认";
    p.code = "000001";
    p.amount = int64_t(n) * 100;
    p.cycle = PlanCycle::Weekly;
    p.cycleDay = 0;
    p.start = *parseDay("2026-10-05");
    return p;
}

// The window's writes, one after another, until the process is killed.
[[noreturn]] void runWindowWriter(const std::string& dataDir)
{
    ConfigFile config(dataDir + "/配置.ini");
    MainModels models;
    FeatureContext context(models, config, 1);
    LedgerBook book(context, dataDir, fridayEvening);
    if (!book.start(config))
        ::_exit(3);
    RefreshJob refresh; // the refresh's own writes, with no service to ask
    refresh.dataDir = dataDir;
    refresh.now = book.now();
    for (int n = 1;; ++n) {
        const std::optional<int64_t> id = book.addTrade(formTrade(n));
        if (!id)
            ::_exit(4);
        if (n % 3 == 0)
            book.updateTrade(editedTrade(*id, n));
        if (n % 5 == 0)
            book.removeTrade(*id);
        if (n % 7 == 0)
            book.reconcile("默认", "000001", int64_t(n) * 100, int64_t(n) * 200);
        if (n % 11 == 0) {
            book.addPlan(weeklyPlan(n));
            computeLedger(refresh);
        }
    }
}

// What a check of the database found: a problem, or the counts of what it holds.
struct Seen {
    std::string problem;
    int trades = 0;
    int plans = 0;
};

Seen inspect(const std::string& dbPath)
{
    Seen seen;
    if (::access(dbPath.c_str(), F_OK) != 0)
        return seen; // killed before it made the file

    SqliteConnection check;
    if (!check.open(dbPath, false, true))
        return {"cannot open: " + check.failure()};
    if (const std::string result = check.check(true); result != "ok")
        return {"integrity_check: " + result};
    check.close();
    LedgerDatabase db;
    if (!db.open(dbPath))
        return {"ledger: " + db.failure()};
    const std::vector<Trade> trades = db.trades();
    std::map<int64_t, int> byPlan;
    for (const Trade& t : trades) {
        if (t.code == "000002")
            continue; // the command line's batches, counted by their test
        const int n = t.note.size() > 1 ? std::atoi(t.note.c_str() + 1) : 0;
        bool whole = true;
        if (t.planId != 0)
            ++byPlan[t.planId];
        else if (t.kind == TradeKind::Reconcile)
            whole = t.amount == 2 * t.shares && t.note.empty();
        else if (t.note.empty())
            whole = false;
        else if (t.note[0] == 'w')
            whole = t.amount == n * 100 && t.feeRate == n && t.minute == n % 1000 && t.account == "默认";
        else if (t.note[0] == 'e')
            whole = t.amount == n * 300 && t.feeRate == 3 * n && t.minute == (3 * n) % 1000 && t.account == "券商";
        else
            whole = false;
        if (!whole)
            return {"a trade not as written: " + t.note + " " + std::to_string(t.amount)};
    }
    for (const Plan& p : db.plans()) {
        // Booked in one transaction: each of the nine due Mondays (10-05 … 11-30)
        // with its order, or none of them.
        const int orders = byPlan.count(p.id) ? byPlan[p.id] : 0;
        if (int(p.booked.size()) != orders || (orders != 0 && orders != 9))
            return {"plan " + std::to_string(p.id) + " booked " + std::to_string(p.booked.size()) + " dates, "
                    + std::to_string(orders) + " orders"};
    }
    seen.trades = int(trades.size());
    seen.plans = int(db.plans().size());
    return seen;
}

TEST(LedgerWindowKill, KilledWindowWritesLeaveEachChangeWholeOrAbsent)
{
    test::TempDir dir;
    const std::string dbPath = ledgerFilePath(dir.path());
    // How long a writer takes to store its first trade on this machine now (a
    // loaded machine is slow to start one): the kills fall within a few times that.
    int64_t firstWriteUs = 0;
    {
        const auto started = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            runWindowWriter(dir.path());
        while (inspect(dbPath).trades == 0 && firstWriteUs < 20000000) {
            ::usleep(2000);
            firstWriteUs = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - started).count();
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::mt19937 random(40417);
    std::uniform_int_distribution<int> delayUs(0, int(std::max<int64_t>(firstWriteUs * 4, 20000)));
    int grew = 0, lastTrades = inspect(dbPath).trades;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            runWindowWriter(dir.path());
        ::usleep(useconds_t(delayUs(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own at kill " << kill << ": "
                                         << WEXITSTATUS(status);
        const Seen seen = inspect(dbPath);
        ASSERT_TRUE(seen.problem.empty()) << "after kill " << kill << ": " << seen.problem;
        grew += seen.trades > lastTrades;
        lastTrades = seen.trades;
    }
    std::printf("%d kills: the ledger grew after %d, holding %d trades\n", kKills, grew, lastTrades);
    for (Day day : ledgerCopies(dbPath)) {
        SqliteConnection copy;
        ASSERT_TRUE(copy.open(dbPath + "." + dayText(day), false, true));
        EXPECT_EQ(copy.check(true), "ok");
    }
    // The kills landed while the writer wrote, not only before it began.
    EXPECT_GT(grew, kKills / 4);
    EXPECT_GT(inspect(dbPath).plans, 0);
}

pid_t startCli(const std::vector<std::string>& args)
{
    std::vector<char*> argv {const_cast<char*>(CLI_PROGRAM)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        if (!std::getenv("LEDGER_KILL_CLI_STDERR"))
            ::dup2(null, 2);
        ::execv(CLI_PROGRAM, argv.data());
        ::_exit(127);
    }
    return pid;
}

TEST(LedgerWindowKill, WindowAndCliWritingAtOnceKeepBothChanges)
{
    test::TempDir dir;
    const std::string dbPath = ledgerFilePath(dir.path());
    ConfigFile config(dir.file("配置.ini"));
    MainModels models;
    FeatureContext context(models, config, 1);
    LedgerBook book(context, dir.path(), fridayEvening);
    ASSERT_TRUE(book.start(config)) << book.writeFailure();

    std::set<std::string> windowNotes;
    int n = 0;
    for (int round = 0; round < 4; ++round) {
        const std::string batch = "c" + std::to_string(round);
        std::string csv = "日期,时间,账户,基金代码,类型,金额,份额,费率%,备注\n";
        for (int i = 0; i < kCliRows; ++i)
            csv += "2025-09-26,10:00,默认,000002,买入," + std::to_string(i + 1) + ",,," + batch + "\n";
        const std::string file = dir.file(batch + ".csv");
        test::writeBytes(file, csv);
        const pid_t cli = startCli({"ledger", "import", file, "--data-dir", dir.path(), "--service",
                                    "http://127.0.0.1:9"});
        ASSERT_GT(pid_t(cli), 0);
        // The window writes until the command line has finished, and some more.
        int status = 0, after = 0;
        bool cliDone = false;
        while (!cliDone || after++ < 5) {
            ++n;
            const std::optional<int64_t> id = book.addTrade(formTrade(n));
            ASSERT_TRUE(id) << book.writeFailure();
            if (n % 3 == 0) {
                ASSERT_TRUE(book.updateTrade(editedTrade(*id, n))) << book.writeFailure();
                windowNotes.insert("e" + std::to_string(n));
            } else {
                windowNotes.insert("w" + std::to_string(n));
            }
            ASSERT_TRUE(book.reconcile("默认", "000003", int64_t(n) * 100, int64_t(n) * 200)) << book.writeFailure();
            ::usleep(1000); // a user's clicks come apart, however quick
            if (!cliDone && ::waitpid(cli, &status, WNOHANG) == cli) {
                cliDone = true;
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
            }
        }
    }
    ASSERT_TRUE(inspect(dbPath).problem.empty()) << inspect(dbPath).problem;
    LedgerDatabase db;
    ASSERT_TRUE(db.open(dbPath));
    std::map<std::string, int> cliRows;
    std::set<std::string> notes;
    int reconciles = 0;
    for (const Trade& t : db.trades()) {
        if (t.code == "000002")
            ++cliRows[t.note];
        else if (t.kind == TradeKind::Reconcile)
            ++reconciles;
        else
            notes.insert(t.note);
    }
    EXPECT_EQ(notes, windowNotes);
    EXPECT_EQ(reconciles, n);
    ASSERT_EQ(cliRows.size(), 4u);
    for (const auto& [batch, rows] : cliRows)
        EXPECT_EQ(rows, kCliRows) << batch;
}

} // namespace
} // namespace fw
