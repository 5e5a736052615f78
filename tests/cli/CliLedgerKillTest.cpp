// The ledger's writers killed at random moments: fundwatch-cli processes
// importing a batch of trades get SIGKILL at any point of their run. After
// every kill the database passes integrity_check and holds each batch whole
// or not at all; two processes writing at once both keep their changes.
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
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fw {
namespace {

constexpr int kKills = 60;
constexpr int kRows = 150; // trades of one batch

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
        ::dup2(null, 2);
        ::execv(CLI_PROGRAM, argv.data());
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// A batch of trades whose notes name the batch; the amount of row i is i + 1 yuan.
std::string batchCsv(const std::string& batch)
{
    std::string csv = "日期,时间,账户,基金代码,类型,金额,份额,费率%,备注\n";
    for (int i = 0; i < kRows; ++i)
        csv += "2025-09-26,10:00,默认,000001,买入," + std::to_string(i + 1) + ",,," + batch + "\n";
    return csv;
}

// Trades per batch note; every trade of a batch must carry its own amount.
std::map<std::string, int> batches(const std::string& dbPath, std::string& problem)
{
    std::map<std::string, int> count;
    SqliteConnection db;
    if (!db.open(dbPath, false, true)) {
        problem = "cannot open: " + db.failure();
        return count;
    }
    const std::string check = db.check(true);
    if (check != "ok") {
        problem = "integrity_check: " + check;
        return count;
    }
    ledger::LedgerDatabase ledger;
    db.close();
    if (!ledger.open(dbPath)) {
        problem = "ledger: " + ledger.failure();
        return count;
    }
    std::map<std::string, std::vector<int64_t>> amounts;
    for (const ledger::Trade& t : ledger.trades())
        amounts[t.note].push_back(t.amount);
    for (auto& [note, list] : amounts) {
        std::sort(list.begin(), list.end());
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] != int64_t(i + 1) * 100)
                problem = note + ": a trade not as written";
        count[note] = int(list.size());
    }
    return count;
}

TEST(CliLedgerKill, KilledImportsLeaveEachBatchWholeOrAbsent)
{
    test::TempDir dir;
    const std::string dbPath = ledger::ledgerFilePath(dir.path());
    {
        ledger::LedgerDatabase db;
        ASSERT_TRUE(db.open(dbPath)) << db.failure();
    }
    // The service is never asked for: importing needs none.
    const std::vector<std::string> common {"--data-dir", dir.path(), "--service", "http://127.0.0.1:9"};

    // The kills spread over twice the time one whole import takes on this
    // machine now, so some land before the commit and some after it however
    // loaded the machine is.
    const auto started = std::chrono::steady_clock::now();
    {
        const std::string file = dir.file("timed.csv");
        test::writeBytes(file, batchCsv("timed"));
        std::vector<std::string> args {"ledger", "import", file};
        args.insert(args.end(), common.begin(), common.end());
        const pid_t pid = startCli(args);
        ASSERT_GT(pid, 0);
        const int status = waitFor(pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    std::mt19937 random(88172);
    std::uniform_int_distribution<int> delayUs(0, int(std::max<long long>(40000, 2 * took.count())));
    int whole = 0, absent = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const std::string batch = "batch" + std::to_string(kill);
        const std::string file = dir.file(batch + ".csv");
        test::writeBytes(file, batchCsv(batch));
        std::vector<std::string> args {"ledger", "import", file};
        args.insert(args.end(), common.begin(), common.end());
        const pid_t pid = startCli(args);
        ASSERT_GT(pid, 0);
        ::usleep(useconds_t(delayUs(random)));
        ::kill(pid, SIGKILL);
        waitFor(pid);

        std::string problem;
        const std::map<std::string, int> seen = batches(dbPath, problem);
        ASSERT_TRUE(problem.empty()) << "after kill " << kill << ": " << problem;
        for (const auto& [note, n] : seen)
            ASSERT_EQ(n, kRows) << "after kill " << kill << ": " << note << " holds " << n << " trades";
        seen.count(batch) ? ++whole : ++absent;
    }
    std::printf("%d kills: %d imports whole, %d absent\n", kKills, whole, absent);
    // A daily copy a killed writer made is whole too.
    for (ledger::Day day : ledger::ledgerCopies(dbPath)) {
        SqliteConnection copy;
        ASSERT_TRUE(copy.open(dbPath + "." + ledger::dayText(day), false, true));
        EXPECT_EQ(copy.check(true), "ok");
    }
    // The kills landed both before and after the commit.
    EXPECT_GT(whole, 0);
    EXPECT_GT(absent, 0);
}

TEST(CliLedgerKill, TwoWritersAtOnceKeepBothChanges)
{
    test::TempDir dir;
    const std::string dbPath = ledger::ledgerFilePath(dir.path());
    {
        ledger::LedgerDatabase db;
        ASSERT_TRUE(db.open(dbPath)) << db.failure();
    }
    const std::vector<std::string> common {"--data-dir", dir.path(), "--service", "http://127.0.0.1:9"};
    for (int round = 0; round < 5; ++round) {
        std::vector<pid_t> writers;
        for (const char* who : {"a", "b"}) {
            const std::string batch = std::string(who) + std::to_string(round);
            const std::string file = dir.file(batch + ".csv");
            test::writeBytes(file, batchCsv(batch));
            std::vector<std::string> args {"ledger", "import", file};
            args.insert(args.end(), common.begin(), common.end());
            writers.push_back(startCli(args));
        }
        // A third writer changes a holding's settings meanwhile.
        std::vector<std::string> fees {"ledger", "fees", "000001", "7:1.5," + std::to_string(30 + round) + ":0.5,0"};
        fees.insert(fees.end(), common.begin(), common.end());
        writers.push_back(startCli(fees));
        for (pid_t pid : writers) {
            const int status = waitFor(pid);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        std::string problem;
        const std::map<std::string, int> seen = batches(dbPath, problem);
        ASSERT_TRUE(problem.empty()) << problem;
        EXPECT_EQ(seen.size(), size_t(2 * (round + 1)));
        for (const auto& [note, n] : seen)
            EXPECT_EQ(n, kRows) << note;
        ledger::LedgerDatabase db;
        ASSERT_TRUE(db.open(dbPath));
        const auto settings = db.settings();
        ASSERT_TRUE(settings.count("000001"));
        ASSERT_EQ(settings.at("000001").feeSchedule.size(), 3u);
        EXPECT_EQ(settings.at("000001").feeSchedule[1].days, 30 + round);
    }
}

} // namespace
} // namespace fw
