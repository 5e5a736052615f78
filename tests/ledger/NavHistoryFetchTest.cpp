// The NAV history fetcher: reading the service's pages to exact figures, and
// bringing navcache.db up to date against the sample service over real HTTP.
#include "funds/Ledger.h"
#include "funds/NavHistoryFetch.h"
#include "net/LoadToken.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "store/NavCache.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fw::ledger {
namespace {

std::string stored(const std::string& name)
{
    std::ifstream in(std::string(LEDGER_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    EXPECT_FALSE(out.str().empty()) << name;
    return out.str();
}

Day day(const char* text) { return parseDay(text).value_or(0); }

// ---- reading a page

TEST(NavHistoryPage, ReadsEveryFigureExactlyAndTrustsTheWords)
{
    Text why;
    const auto page = parseNavHistoryPage(stored("nav_events.js"), why);
    ASSERT_TRUE(page) << gbkToUtf8(why);
    EXPECT_EQ(page->totalCount, 1834);
    struct Expected {
        const char* date;
        int64_t unit, accumulated;
        std::optional<int64_t> change;
        int64_t dividend, split;
    };
    // Units: values 1e-4, change 1e-4 %, split 1e-8. FHFCZ says 9.9 and 1.5
    // on the last two rows; the words are what count.
    const Expected expected[] = {
        {"2026-12-04", 12345, 24345, -5200, 0, 0},
        {"2026-12-03", 12410, 24410, 8100, 500, 0},
        {"2026-12-02", 12311, 23811, std::nullopt, 0, 102345670},
        {"2026-12-01", 12600, 24100, std::nullopt, 0, 150000000},
    };
    ASSERT_EQ(page->rows.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const NavRow& r = page->rows[i];
        const Expected& e = expected[i];
        EXPECT_EQ(r.day, day(e.date)) << e.date;
        EXPECT_EQ(r.unitValue, e.unit) << e.date;
        EXPECT_EQ(r.accumulated, e.accumulated) << e.date;
        EXPECT_EQ(r.changePercent, e.change) << e.date;
        EXPECT_EQ(r.dividend, e.dividend) << e.date;
        EXPECT_EQ(r.splitRatio, e.split) << e.date;
    }
}

TEST(NavHistoryPage, MoneyFundRowHasNoUnitValueAndIsRefusedForBooking)
{
    Text why;
    const auto page = parseNavHistoryPage(stored("nav_money.json"), why);
    ASSERT_TRUE(page) << gbkToUtf8(why);
    ASSERT_EQ(page->rows.size(), 1u);
    EXPECT_EQ(page->rows[0].unitValue, 0);
    EXPECT_FALSE(page->rows[0].changePercent);
    EXPECT_EQ(gbkToUtf8(bookingRefusal(page->rows)), "货币基金暂不支持记账");
}

TEST(NavHistoryPage, BrokenAnswersAreRefusedWithTheReason)
{
    const struct {
        const char* file;
        const char* reason; // UTF-8, a part of the reason given
    } cases[] = {
        {"nav_refused.js", "无访问权限"},
        {"nav_bad_unit.js", "2026-12-04 的单位净值无法读取"},
        // Five places would have to be cut: not exact, so not taken.
        {"nav_five_places.js", "单位净值无法读取"},
        {"nav_unknown_event.js", "分红送配无法读取"},
        {"nav_empty_cash.js", "分红送配无法读取"},
        {"nav_bad_date.js", "日期无法读取"},
    };
    for (const auto& c : cases) {
        Text why;
        EXPECT_FALSE(parseNavHistoryPage(stored(c.file), why)) << c.file;
        EXPECT_NE(gbkToUtf8(why).find(c.reason), std::string::npos) << c.file << ": " << gbkToUtf8(why);
    }
    Text why;
    EXPECT_FALSE(parseNavHistoryPage("<html>busy</html>", why));
    EXPECT_FALSE(why.empty());
}

// ---- fetching against the sample service

class NavFetch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sample::SampleOptions options;
        options.funds = 300;
        s_service = new sample::SampleService(options);
        ASSERT_GT(s_service->start(), 0);
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }
    void SetUp() override
    {
        s_service->clearFaults();
        s_service->clearLog();
        setServiceHosts(ServiceHosts::allAt(s_service->baseUrl()));
        ASSERT_TRUE(cache.open(dir.file("navcache.db")));
    }
    void TearDown() override { setServiceHosts(ServiceHosts::defaults()); }

    static const sample::Market& market() { return s_service->market(); }
    static std::vector<std::string> historyRequests()
    {
        std::vector<std::string> out;
        for (const auto& r : s_service->requests())
            if (r.target.rfind("/f10/lsjz", 0) == 0)
                out.push_back(r.target);
        return out;
    }
    // The service's rows of the fund from `from` on, in the cache's units.
    static std::vector<NavRow> serviceRows(const sample::Fund& f, Day from)
    {
        std::vector<NavRow> out;
        for (const sample::NavDay& d : market().navHistory(f))
            if (d.civilDay >= from)
                out.push_back({Day(d.civilDay), d.unit, d.accumulated,
                               d.change == sample::kNoFigure ? std::optional<int64_t>() : int64_t(d.change) * 100,
                               d.dividend, d.split * 10});
        return out;
    }
    static void expectSameRows(const std::vector<NavRow>& got, const std::vector<NavRow>& want)
    {
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].day, want[i].day) << i;
            EXPECT_EQ(got[i].unitValue, want[i].unitValue) << dayText(want[i].day);
            EXPECT_EQ(got[i].accumulated, want[i].accumulated) << dayText(want[i].day);
            EXPECT_EQ(got[i].changePercent, want[i].changePercent) << dayText(want[i].day);
            EXPECT_EQ(got[i].dividend, want[i].dividend) << dayText(want[i].day);
            EXPECT_EQ(got[i].splitRatio, want[i].splitRatio) << dayText(want[i].day);
        }
    }

    static sample::SampleService* s_service;
    test::TempDir dir;
    NavCache cache;
};
sample::SampleService* NavFetch::s_service = nullptr;

TEST_F(NavFetch, FirstFromTheTradeDateThenOnlyNewerPages)
{
    // A fund with a cash dividend: start 25 rows before its latest one.
    const sample::Fund* fund = nullptr;
    size_t dividendRow = 0;
    std::vector<sample::NavDay> history;
    for (const sample::Fund& f : market().funds()) {
        history = market().navHistory(f);
        for (size_t j = history.size(); j-- > 30;)
            if (history[j].dividend > 0) {
                fund = &f;
                dividendRow = j;
                break;
            }
        if (fund)
            break;
    }
    ASSERT_TRUE(fund);
    const Day first = Day(history[dividendRow - 25].civilDay);
    const size_t count = history.size() - (dividendRow - 25);

    const NavFetchOutcome outcome = NavHistoryFetch(fund->code, 5).run(cache, first);
    ASSERT_TRUE(outcome.ok) << gbkToUtf8(outcome.failure);
    EXPECT_EQ(outcome.rowsStored, int(count));
    EXPECT_EQ(outcome.pages, int((count + 19) / 20));
    const auto requests = historyRequests();
    ASSERT_EQ(requests.size(), (count + 19) / 20);
    EXPECT_NE(requests[0].find("startDate=" + dayText(first) + "&"), std::string::npos) << requests[0];
    EXPECT_NE(requests.back().find("pageIndex=" + std::to_string(requests.size()) + "&"), std::string::npos);
    expectSameRows(cache.rows(fund->code), serviceRows(*fund, first));

    // Up to date: one page asked, from the day after the newest row, nothing stored.
    s_service->clearLog();
    const Day newest = cache.newestDay(fund->code).value_or(0);
    const NavFetchOutcome again = NavHistoryFetch(fund->code, 5).run(cache, first);
    ASSERT_TRUE(again.ok) << gbkToUtf8(again.failure);
    EXPECT_EQ(again.rowsStored, 0);
    ASSERT_EQ(historyRequests().size(), 1u);
    EXPECT_NE(historyRequests()[0].find("startDate=" + dayText(newest + 1) + "&"), std::string::npos);

    // A trade dated earlier: only the rows before the stored ones are added.
    s_service->clearLog();
    const Day earlier = Day(history[dividendRow - 30].civilDay);
    const NavFetchOutcome older = NavHistoryFetch(fund->code, 5).run(cache, earlier);
    ASSERT_TRUE(older.ok) << gbkToUtf8(older.failure);
    EXPECT_EQ(older.rowsStored, 5);
    EXPECT_NE(historyRequests()[0].find("endDate=" + dayText(first - 1)), std::string::npos) << historyRequests()[0];
    expectSameRows(cache.rows(fund->code), serviceRows(*fund, earlier));
}

TEST_F(NavFetch, SplitRowAndMoneyFund)
{
    ASSERT_GE(market().splitFund(), 0);
    const sample::Fund& f = market().funds()[size_t(market().splitFund())];
    const Day first = Day(market().civilDay(market().splitDay() - 3));
    ASSERT_TRUE(NavHistoryFetch(f.code, 5).run(cache, first).ok);
    const auto rows = cache.rows(f.code);
    int splits = 0;
    for (const NavRow& r : rows)
        splits += r.splitRatio > 0;
    EXPECT_EQ(splits, 1);
    expectSameRows(rows, serviceRows(f, first));

    const std::string money = market().moneyFundCode();
    const Day twoWeeks = Day(market().civilDay(market().lastDay() - 9));
    const NavFetchOutcome outcome = NavHistoryFetch(money, 5).run(cache, twoWeeks);
    ASSERT_TRUE(outcome.ok) << gbkToUtf8(outcome.failure);
    EXPECT_EQ(outcome.rowsStored, 10);
    EXPECT_EQ(gbkToUtf8(bookingRefusal(cache.rows(money))), "货币基金暂不支持记账");
}

TEST_F(NavFetch, AFailedPageStoresNothingAndSaysWhich)
{
    const sample::Fund& f = market().funds()[3];
    const Day first = Day(market().civilDay(market().lastDay() - 59)); // 60 rows: three pages
    const struct {
        const char* what;
        sample::Fault fault;
    } cases[] = {
        {"stalled", sample::Fault(sample::Fault::Stall, "pageIndex=3&", 4000)},
        {"server error", sample::Fault(sample::Fault::HttpError, "pageIndex=2&", 500)},
        {"garbage", sample::Fault(sample::Fault::Garbage, "pageIndex=2&")},
        {"cut short", sample::Fault(sample::Fault::Truncate, "pageIndex=3&", 100)},
    };
    for (const auto& c : cases) {
        s_service->clearFaults();
        s_service->addFault(c.fault);
        const NavFetchOutcome outcome = NavHistoryFetch(f.code, 1).run(cache, first);
        EXPECT_FALSE(outcome.ok) << c.what;
        const std::string page = c.fault.pathContains.substr(10, 1);
        EXPECT_NE(gbkToUtf8(outcome.failure).find("第" + page + "页"), std::string::npos)
            << c.what << ": " << gbkToUtf8(outcome.failure);
        EXPECT_FALSE(cache.newestDay(f.code)) << c.what;
    }

    // A server that recovers: the retry brings the page, all 60 rows stored.
    s_service->clearFaults();
    s_service->addFault(sample::Fault(sample::Fault::HttpError, "pageIndex=2&", 503, 1));
    RetryPolicy retry;
    retry.baseDelay = std::chrono::milliseconds(10);
    const NavFetchOutcome outcome = NavHistoryFetch(f.code, 5, &retry).run(cache, first);
    ASSERT_TRUE(outcome.ok) << gbkToUtf8(outcome.failure);
    EXPECT_EQ(outcome.rowsStored, 60);
}

TEST_F(NavFetch, ACancelledLoadSendsNothingAndStoresNothing)
{
    LoadToken token;
    const LoadTicket ticket = token.begin();
    token.cancel();
    const NavFetchOutcome outcome = NavHistoryFetch(market().funds()[0].code, 5, nullptr, ticket)
                                        .run(cache, Day(market().civilDay(market().lastDay() - 30)));
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(historyRequests().empty());
    EXPECT_FALSE(cache.newestDay(market().funds()[0].code));
}

} // namespace
} // namespace fw::ledger
