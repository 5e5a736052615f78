// The profile figures: the cuts of the three archive pages, the fetch against
// the sample service, and the worker that fills one fund-grid row.
#include "funds/FundProfileFetch.h"
#include "funds/ProfileWorker.h"
#include "sample/Format.h"
#include "tests/funds/DetailsTestSupport.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace fw::testing {
namespace {

// ---- the cuts

struct CutCase {
    const char* what;
    Text page;
    Text (*cut)(std::string_view);
    const char* expected; // UTF-8
};

TEST(ProfileCuts, TakeEachFigureAsThePageShowsIt)
{
    const Text tsdata = gbk("<tr><td>标准差</td><td class='num'>25.88%</td><td class='num'>22.99%</td></tr>\r\n"
                            "<tr><td>夏普比率</td><td class='num'>2.64</td><td class='num'>1.75</td></tr>\r\n");
    const CutCase cases[] = {
        {"size from the table, not the header",
         gbk("<label>资产规模：<span>9.99亿元（截止至：09-30）</span></label>\n<tr><th>资产规模</th><td>560.44亿元"
             "（截止至：2026年09月30日）<th>份额规模</th><td>512.33亿份（截止至：2026年09月30日）</td></tr>"),
         cutAssetSize, "560.44"},
        {"size without its marker", storedPage("jbgk_no_size.html"), cutAssetSize, ""},
        {"tenure return of the first row, with its sign",
         gbk("<th>任职期间</th><th>任职回报</th></tr></thead><tbody><tr><td>2018-09-05</td><td>至今</td><td><a href=\"x\">"
             "张三</a>&nbsp;&nbsp;<a href=\"y\">李四</a> </td><td>7年又261天</td><td class='tor'>61.84%</td></tr><tr><td>"
             "2015-01-20</td><td>2018-09-04</td><td><a href=\"z\">王五</a> </td><td>3年</td><td class='tor'>-12.05%</td>"
             "</tr></tbody>"),
         cutTenureReturn, "61.84%"},
        {"tenure return shown as --", storedPage("jjjl_no_return.html"), cutTenureReturn, "--"},
        {"tenure return of a page without the table", gbk("<p>暂无数据</p>"), cutTenureReturn, ""},
        {"deviation without its %", tsdata, cutDeviation, "25.88"},
        {"sharpe as shown", tsdata, cutSharpe, "2.64"},
        // The one-year cell alone, even when it has no "%" to end a cut at.
        {"deviation shown as --", storedPage("tsdata_new_fund.html"), cutDeviation, "--"},
        {"sharpe shown as --", storedPage("tsdata_new_fund.html"), cutSharpe, "--"},
        {"deviation of a page without the row", gbk("<html></html>"), cutDeviation, ""},
    };
    for (const CutCase& c : cases)
        EXPECT_EQ(gbkToUtf8(c.cut(c.page)), c.expected) << c.what;
}

// ---- the fetch

class ProfileFetch : public SampleSuite {
protected:
    // A fund whose four figures are all published.
    static const sample::Fund& knownFund()
    {
        return fundWhere([](const sample::Fund& f) {
            return f.assetHundredths > 0 && market().risk(f).deviation[0].back() == '%'
                && market().tenures(f).front().result.back() == '%';
        });
    }
};

TEST_F(ProfileFetch, KnownFundGivesItsFourFigures)
{
    const sample::Fund& f = knownFund();
    std::vector<std::pair<int, Text>> told;
    const FundProfile p = FundProfileFetch(f.code, 5).run([&](int column, const Text& value) {
        told.emplace_back(column, value);
        return true;
    });

    const sample::RiskFigures risk = market().risk(f);
    const std::string deviation = risk.deviation[0].substr(0, risk.deviation[0].size() - 1);
    EXPECT_EQ(p.assetSize, sample::fixedHundredths(f.assetHundredths));
    EXPECT_EQ(p.tenureReturn, market().tenures(f).front().result); // with its "%"
    EXPECT_EQ(p.deviation, deviation);
    EXPECT_EQ(p.sharpe, risk.sharpe[0]);
    const std::vector<std::pair<int, Text>> expected {
        {13, p.assetSize}, {14, p.tenureReturn}, {15, p.deviation}, {16, p.sharpe}};
    EXPECT_EQ(told, expected);

    // One page after the other, two of them with the trailing blank.
    std::vector<std::string> pages;
    for (const auto& r : s_service->requests())
        pages.push_back(r.target);
    const std::vector<std::string> asked {"/jbgk_" + f.code + ".html%20", "/jjjl_" + f.code + ".html",
                                          "/tsdata_" + f.code + ".html%20"};
    EXPECT_EQ(pages, asked);
}

TEST_F(ProfileFetch, AFailedPageEmptiesOnlyItsFigure)
{
    const sample::Fund& f = knownFund();
    s_service->addFault({sample::Fault::HttpError, "/jbgk_", 500});
    const FundProfile p = FundProfileFetch(f.code, 5).run();
    EXPECT_EQ(p.assetSize, "");
    EXPECT_FALSE(p.tenureReturn.empty());
    EXPECT_FALSE(p.deviation.empty());
    EXPECT_FALSE(p.sharpe.empty());
}

TEST_F(ProfileFetch, ASinkSayingStopSkipsTheRemainingPages)
{
    const FundProfile p = FundProfileFetch(knownFund().code, 5).run([](int, const Text&) { return false; });
    EXPECT_FALSE(p.assetSize.empty());
    EXPECT_EQ(p.tenureReturn, "");
    EXPECT_EQ(s_service->requests().size(), 1u);
}

// ---- the worker

class ProfileRows : public ProfileFetch {
protected:
    void SetUp() override
    {
        ProfileFetch::SetUp();
        m_code = knownFund().code;
        for (int row = 1; row <= 3; ++row) {
            w.models.fundGrid.setCell(row, 1, m_code);
            w.models.fundGrid.setCell(row, kTenureReturnColumn, "old");
        }
        work.fundRowCount = 2;
        work.gridTicket = w.context.fundGridLoads.begin();
    }
    // Runs one worker for `row` as the whole-market load starts it.
    void runWorker(int row)
    {
        ++work.activeProfileWorkers;
        std::thread(ProfileWorker {w.context, work, row}).join();
    }

    Window w;
    ProfileWork work;
    std::string m_code;
};

TEST_F(ProfileRows, WorkerFillsItsRowAndCountsItselfOut)
{
    work.activeProfileWorkers = 1; // another worker still running
    runWorker(2);
    const FundProfile p = FundProfileFetch(m_code, 5).run();
    const Grid& grid = w.models.fundGrid;
    EXPECT_EQ((TextList {grid.cell(2, 13), grid.cell(2, 14), grid.cell(2, 15), grid.cell(2, 16)}),
              (TextList {p.assetSize, p.tenureReturn, p.deviation, p.sharpe}));
    EXPECT_EQ(grid.cell(1, kTenureReturnColumn), "old");
    EXPECT_EQ(w.models.view.caption(Control::Progress), "2/2");
    EXPECT_EQ(work.activeProfileWorkers, 1);
}

TEST_F(ProfileRows, RowBeyondTheListFetchesAndWritesNothing)
{
    runWorker(3);
    EXPECT_TRUE(s_service->requests().empty());
    EXPECT_EQ(w.models.fundGrid.cell(3, kTenureReturnColumn), "old");
    EXPECT_EQ(w.models.view.caption(Control::Progress), "");
    // The count it was started with comes back, or a loader waiting for the
    // workers to end would wait for ever.
    EXPECT_EQ(work.activeProfileWorkers, 0);
}

TEST_F(ProfileRows, RowsOfAListReplacedMeanwhileAreLeftAlone)
{
    w.context.fundGridLoads.begin(); // a newer list took the grid
    runWorker(1);
    EXPECT_EQ(w.models.fundGrid.cell(1, kTenureReturnColumn), "old");
    EXPECT_EQ(work.activeProfileWorkers, 0);
}

// A newer list takes the grid while a worker of the older one is writing its
// row: once the newer load has begun, nothing of the older worker lands (its
// progress caption would stand over the newer load's). The worker is held
// inside its write by a grid listener, which runs on the writing thread.
TEST_F(ProfileRows, WorkerWritingWhenANewerListBeginsWritesNothingAfter)
{
    using namespace std::chrono_literals;
    const std::thread::id testThread = std::this_thread::get_id();
    std::promise<void> writing;
    std::atomic<bool> held {false};
    const int listener = w.models.fundGrid.addListener([&](const GridChange&) {
        if (std::this_thread::get_id() == testThread || held.exchange(true))
            return;
        writing.set_value();
        std::this_thread::sleep_for(300ms); // the newer list begins meanwhile
    });
    ++work.activeProfileWorkers;
    std::thread worker(ProfileWorker {w.context, work, 1});
    writing.get_future().wait();
    w.context.fundGridLoads.begin();
    w.models.view.setCaption(Control::Progress, "newer");
    worker.join();
    w.models.fundGrid.removeListener(listener);
    EXPECT_EQ(w.models.view.caption(Control::Progress), "newer");
    EXPECT_EQ(work.activeProfileWorkers, 0);
}

} // namespace
} // namespace fw::testing
