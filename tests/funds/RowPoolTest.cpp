// The row pool under the whole-market profiles and the portfolio refresh.
#include "funds/FullList.h"
#include "funds/PortfolioRefresh.h"
#include "funds/RowPool.h"
#include "tests/TimeBudget.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fw {
namespace {

using namespace std::chrono_literals;

// Lets held rows go when a test ends, also on a failed assertion. Declared
// after the pool, it goes first, so the pool's destructor never waits for ever.
struct ReleaseOnExit {
    std::atomic<bool>& release;
    ~ReleaseOnExit() { release.store(true); }
};

// Waits (bounded) until `done` holds.
template <class F>
bool eventually(F done)
{
    for (int i = 0; i < 500; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

TEST(RowPoolTest, EveryRowRunsOnceOnAtMostTheThreadsAsked)
{
    for (const auto& [rows, threads] : {std::pair {1, 5}, {7, 1}, {40, 5}, {3, 8}}) {
        SCOPED_TRACE(std::to_string(rows) + " rows on " + std::to_string(threads));
        std::mutex mutex;
        std::vector<int> seen;
        std::atomic<int> running {0}, mostRunning {0};
        RowPool pool;
        ASSERT_TRUE(pool.start(rows, threads, [&](int row) {
            const int now = running.fetch_add(1) + 1;
            int most = mostRunning.load();
            while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
            }
            std::this_thread::sleep_for(2ms);
            {
                std::lock_guard lock(mutex);
                seen.push_back(row);
            }
            running.fetch_sub(1);
        }));
        // The last row wakes the caller at once.
        const auto start = std::chrono::steady_clock::now();
        pool.waitFor(10s, [] { return false; });
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_TRUE(pool.finished());
        EXPECT_EQ(pool.rowsDone(), rows);
        pool.reap(true);
        std::sort(seen.begin(), seen.end());
        std::vector<int> expected;
        for (int r = 1; r <= rows; ++r)
            expected.push_back(r);
        EXPECT_EQ(seen, expected);
        EXPECT_LE(mostRunning.load(), threads);
    }
}

// The most of `running` seen, kept in `most`.
void countIn(std::atomic<int>& running, std::atomic<int>& most)
{
    const int now = running.fetch_add(1) + 1;
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
}

// Two pools of five threads at once: five rows run at a time between them,
// and the later pool's rows take their turn instead of waiting for every row
// of the earlier one.
TEST(RowPoolTest, PoolsRunningAtOnceShareFivePlacesInTurn)
{
    std::atomic<int> running {0}, most {0};
    auto job = [&](int) {
        countIn(running, most);
        std::this_thread::sleep_for(30ms);
        running.fetch_sub(1);
    };
    RowPool first, second;
    ASSERT_TRUE(first.start(30, 5, job));
    ASSERT_TRUE(eventually([&] { return running.load() == 5; }));
    ASSERT_TRUE(second.start(5, 5, job));
    second.waitFor(10s, [] { return false; });
    EXPECT_TRUE(second.finished());
    // In turn: the second pool's five rows came right after the first
    // pool's first rows, long before its 30th.
    EXPECT_LT(first.rowsDone(), 20);
    first.waitFor(10s, [] { return false; });
    EXPECT_TRUE(first.finished());
    EXPECT_EQ(most.load(), RowPool::kMostBulkRows);
}

// Two bulk loads at once against the service, the portfolio refresh begun
// while the whole-market load fetches its profiles: at most five requests
// are with the service at any time. Every request is held 40 ms at the
// service, so two loads of five workers each would be seen ten at a time.
TEST(RowPoolTest, TwoBulkLoadsAtOnceAskTheServiceForAtMostFiveAnswersAtATime)
{
    std::atomic<int> atService {0}, most {0};
    std::atomic<bool> profilesBegun {false};
    sample::SampleOptions options = test::smallMarket(60);
    options.onRequest = [&](const std::string&, const std::string& target) {
        if (target.find("/jbgk_") != std::string::npos)
            profilesBegun = true;
        countIn(atService, most);
        std::this_thread::sleep_for(40ms);
        atService.fetch_sub(1);
    };
    test::FeatureWorld w(options);
    std::vector<Text> codes;
    for (size_t i = 0; i < 15; ++i)
        codes.push_back(w.service->market().funds()[i].code);

    PortfolioRefresh refresh(w.context);
    std::promise<size_t> quotes;
    std::thread starter([&] {
        ASSERT_TRUE(eventually([&] { return profilesBegun.load(); }));
        refresh.start(codes, [&](std::map<Text, FundQuote> q) { quotes.set_value(q.size()); });
    });
    FullList list(w.context);
    list.loadFullList();
    starter.join();
    auto result = quotes.get_future();
    ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(result.get(), codes.size());
    refresh.wait();
    EXPECT_EQ(list.fundsWithoutProfile(), 0);

    // The loads overlapped: the refresh's first fund page came before the
    // last profile page.
    const auto requests = w.service->requests();
    size_t firstFundPage = requests.size(), lastProfile = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].target.rfind("/" + codes[0] + ".html", 0) == 0)
            firstFundPage = std::min(firstFundPage, i);
        if (requests[i].target.find("/tsdata_") != std::string::npos)
            lastProfile = i;
    }
    EXPECT_LT(firstFundPage, lastProfile);
    EXPECT_LE(most.load(), RowPool::kMostBulkRows);
    EXPECT_GE(most.load(), 3); // the loads did run side by side
}

TEST(RowPoolTest, ReapingReleasesEndedThreadsAndKeepsRunningOnes)
{
    RowPool pool;
    std::atomic<bool> release {false};
    const ReleaseOnExit held {release};
    ASSERT_TRUE(pool.start(2, 2, [&](int row) {
        while (row == 2 && !release.load())
            std::this_thread::sleep_for(1ms);
    }));
    ASSERT_EQ(pool.threadCount(), 2);
    // The thread that ran row 1 ends; the one holding row 2 does not.
    EXPECT_TRUE(eventually([&] {
        pool.reap(false);
        return pool.threadCount() == 1;
    }));
    EXPECT_FALSE(pool.finished());
    release.store(true);
    EXPECT_TRUE(eventually([&] {
        pool.reap(false);
        return pool.threadCount() == 0;
    }));
    EXPECT_TRUE(pool.finished());
}

TEST(RowPoolTest, AClosedRunTakesNoMoreRowsAndNeverCountsInTheNext)
{
    RowPool pool;
    std::atomic<int> firstRun {0};
    std::atomic<bool> release {false};
    const ReleaseOnExit held {release};
    ASSERT_TRUE(pool.start(100, 2, [&](int) {
        firstRun.fetch_add(1);
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    }));
    ASSERT_TRUE(eventually([&] { return firstRun.load() == 2; }));
    pool.close();

    std::atomic<int> secondRun {0};
    ASSERT_TRUE(pool.start(3, 2, [&](int) { secondRun.fetch_add(1); }));
    pool.waitFor(5s, [] { return false; });
    EXPECT_EQ(secondRun.load(), 3);
    EXPECT_EQ(pool.rows(), 3);
    EXPECT_EQ(pool.rowsDone(), 3);

    // The closed run's two rows finish; it takes none of its other 98.
    release.store(true);
    pool.reap(true);
    EXPECT_EQ(firstRun.load(), 2);
    EXPECT_EQ(pool.threadCount(), 0);
}

TEST(RowPoolTest, WaitingEndsWhenTheCallerStopsIt)
{
    RowPool pool;
    std::atomic<bool> release {false};
    const ReleaseOnExit held {release};
    ASSERT_TRUE(pool.start(1, 1, [&](int) {
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    }));
    std::atomic<bool> stop {false};
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        stop.store(true);
        pool.wake();
    });
    const auto start = std::chrono::steady_clock::now();
    pool.waitFor(10s, [&] { return stop.load(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(pool.finished());
    waker.join();
    release.store(true);
}

TEST(RowPoolTest, WithNoThreadToBeHadNoRowRunsAndStartSaysSo)
{
#ifdef FW_TEST_INSTRUMENTED
    GTEST_SKIP() << "the sanitizers reserve address space far beyond the limit set here";
#else
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Room for small allocations, none for a thread's stack.
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t size = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (2u << 20);
        const rlimit limit {size, size};
        ::setrlimit(RLIMIT_AS, &limit);
        std::atomic<int> ran {0};
        RowPool pool;
        const bool started = pool.start(3, 2, [&](int) { ran.fetch_add(1); });
        pool.reap(true);
        ::_exit(started ? 1 : ran.load() != 0 ? 2 : pool.finished() ? 3 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: started, 2: rows ran, 3: reported finished";
#endif
}

} // namespace
} // namespace fw
