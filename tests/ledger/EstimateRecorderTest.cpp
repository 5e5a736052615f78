// The window's record against the sample service: once a trading day at the
// first tick between 14:55 and 15:05 China time, on a worker; a tick never
// waits, and a record stalled by the service neither blocks a tick nor the
// recorder's end.
#include "funds/EstimateRecord.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace fw {
namespace {

using namespace ledger;
using Clock = std::chrono::steady_clock;

Day day(const char* text) { return parseDay(text).value_or(0); }
std::time_t utcAt(const char* date, int hour, int minute)
{
    return std::time_t(day(date)) * 86400 + hour * 3600 + minute * 60;
}

class Recorder : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The window's ledger made the database; one fund held, one watched.
        LedgerDatabase db;
        ASSERT_TRUE(db.open(ledgerFilePath(world.dir.path())));
        const sample::Market& m = world.service->market();
        for (const sample::Fund& f : m.funds())
            if (f.target < 0 && !m.holdings(f, 0).empty())
                (held.empty() ? held : watched.empty() ? watched : spare) = f.code;
        Trade t;
        t.account = "默认";
        t.code = held;
        t.date = day("2026-12-01");
        t.amount = 100000;
        ASSERT_TRUE(db.addTrade(t));
        watchlist = watched + "/" + gbk("某基金") + "/" + gbk("基金") + "|";
    }
    size_t loggedOn(const char* date)
    {
        LedgerDatabase db;
        EXPECT_TRUE(db.open(ledgerFilePath(world.dir.path())));
        size_t n = 0;
        for (const LoggedEstimate& e : db.estimateLog())
            n += e.day == day(date);
        return n;
    }

    test::FeatureWorld world;
    std::string held, watched, spare;
    Text watchlist;
    std::atomic<std::time_t> now {utcAt("2026-12-08", 6, 54)};
};

TEST_F(Recorder, OnceADayAtTheFirstTickInsideTheWindow)
{
    EstimateRecorder recorder(world.dir.path(), [this] { return now.load(); });
    const HttpRequestOptions request = world.context.requestOptions();
    EXPECT_FALSE(recorder.tick(watchlist, request)); // 14:54
    now = utcAt("2026-12-08", 6, 55);
    ASSERT_TRUE(recorder.tick(watchlist, request));
    recorder.wait();
    EXPECT_EQ(recorder.recordedDay(), day("2026-12-08"));
    const size_t first = loggedOn("2026-12-08");
    EXPECT_GE(first, 2u); // both funds, each by its holdings at least
    now = utcAt("2026-12-08", 7, 5);
    EXPECT_FALSE(recorder.tick(watchlist, request));
    // The next trading day records again, the watchlist as it stands then.
    now = utcAt("2026-12-09", 7, 0);
    ASSERT_TRUE(recorder.tick(watchlist + Text(spare) + "/" + gbk("某基金") + "/" + gbk("基金") + "|", request));
    recorder.wait();
    EXPECT_EQ(loggedOn("2026-12-08"), first);
    EXPECT_GT(loggedOn("2026-12-09"), first);
    // Without a data directory nothing runs.
    EstimateRecorder off("", [this] { return now.load(); });
    EXPECT_FALSE(off.tick(watchlist, request));
}

TEST_F(Recorder, AStalledRecordBlocksNoTickNorTheEndAndIsTriedAgain)
{
    world.service->addFault({sample::Fault::Stall, "FundMNInverstPosition", 30000});
    now = utcAt("2026-12-08", 7, 0);
    const HttpRequestOptions request = world.context.requestOptions(); // a 5 s time-out per phase
    // Until `count` requests for positions have reached the service.
    auto stalledAt = [this](size_t count) {
        for (int i = 0; i < 500 && world.targets("/FundMNewApi/FundMNInverstPosition").size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return world.targets("/FundMNewApi/FundMNInverstPosition").size() >= count;
    };
    {
        EstimateRecorder recorder(world.dir.path(), [this] { return now.load(); });
        auto start = Clock::now();
        ASSERT_TRUE(recorder.tick(watchlist, request));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(300));
        ASSERT_TRUE(stalledAt(2));
        start = Clock::now();
        EXPECT_FALSE(recorder.tick(watchlist, request)); // still under way
        EXPECT_TRUE(recorder.running());
        // A recorder goes while its worker waits on the service.
        {
            EstimateRecorder gone(world.dir.path(), [this] { return now.load(); });
            ASSERT_TRUE(gone.tick(watchlist, request));
            ASSERT_TRUE(stalledAt(4));
            start = Clock::now();
        }
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(300));
        recorder.cancel();
        recorder.wait();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
        EXPECT_EQ(recorder.recordedDay(), 0);
        EXPECT_EQ(loggedOn("2026-12-08"), 0u);
        // The service answers again: the next tick of the window records.
        world.service->clearFaults();
        now = utcAt("2026-12-08", 7, 2);
        ASSERT_TRUE(recorder.tick(watchlist, request));
        recorder.wait();
        EXPECT_EQ(recorder.recordedDay(), day("2026-12-08"));
        EXPECT_GE(loggedOn("2026-12-08"), 2u);
    }
    RowPool::joinLetGo();
}

} // namespace
} // namespace fw
