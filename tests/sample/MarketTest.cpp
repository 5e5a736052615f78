// The generated market: determinism, realistic shape, speed.
#include "sample/Answers.h"
#include "sample/Format.h"
#include "sample/Market.h"
#include "tests/TimeBudget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>

using namespace fw::sample;

namespace {

TEST(SampleMarket, SameSeedSameMarketOtherSeedOtherMarket)
{
    const Market a(7, 800);
    const Market b(7, 800);
    const Market c(8, 800);
    ASSERT_EQ(a.funds().size(), 800u);
    ASSERT_EQ(a.funds().size(), b.funds().size());
    size_t differ = 0;
    for (size_t i = 0; i < a.funds().size(); ++i) {
        EXPECT_EQ(a.funds()[i].entry, b.funds()[i].entry);
        differ += a.funds()[i].entry != c.funds()[i].entry;
    }
    EXPECT_GT(differ, 700u);
    // Pages derived on demand are as stable as the stored figures.
    const Fund& f = a.funds()[123];
    EXPECT_EQ(a.tenures(f).front().result, b.tenures(b.funds()[123]).front().result);
    EXPECT_EQ(a.relativeNav(f, 0), b.relativeNav(b.funds()[123], 0));
    for (size_t s = 0; s < a.sectors().size(); ++s)
        EXPECT_EQ(a.sectors()[s].funds, b.sectors()[s].funds);
}

TEST(SampleMarket, DefaultSizeIsQuickAndShapedLikeTheRealMarket)
{
    const auto started = std::chrono::steady_clock::now();
    const Market m(20261207, 12000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("[ timing ] 12,000 funds generated in %.3f s\n", seconds);
    EXPECT_LT(seconds, 2.0 * fw::test::kCpuSlowdown);

    ASSERT_EQ(m.funds().size(), 12000u);
    std::set<std::string> types;
    size_t fiveStar = 0, missingAsset = 0, leadingZero = 0, tooYoungForThreeYears = 0;
    std::string previous;
    for (const Fund& f : m.funds()) {
        ASSERT_EQ(f.code.size(), 6u);
        ASSERT_TRUE(f.code.find_first_not_of("0123456789") == std::string::npos);
        ASSERT_LT(previous, f.code); // unique, ascending
        previous = f.code;
        leadingZero += f.code[0] == '0';
        ASSERT_FALSE(f.initials.empty());
        ASSERT_TRUE(f.initials.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") == std::string::npos)
            << f.initials;
        // Names travel inside comma-separated entries and JSON strings.
        ASSERT_TRUE(f.name.find_first_of(",\"\\") == std::string::npos) << f.name;
        EXPECT_NE(f.returns[Week], 0) << f.code; // the fund page colours the week figure
        types.insert(Market::typeName(f.kind));
        fiveStar += f.stars == 5;
        missingAsset += f.assetHundredths < 0;
        tooYoungForThreeYears += f.returns[ThreeYears] == kNoFigure;
    }
    EXPECT_GT(leadingZero, 6000u);
    EXPECT_NEAR(double(fiveStar) / 12000.0, 0.125, 0.02);
    EXPECT_GT(missingAsset, 100u);
    EXPECT_GT(tooYoungForThreeYears, 1000u);
    for (const char* t : {"混合型-偏股", "股票型", "指数型-股票", "债券型-长债", "QDII"})
        EXPECT_EQ(types.count(t), 1u) << t;

    EXPECT_GE(m.sectors().size(), 55u);
    EXPECT_LE(m.sectors().size(), 70u);
    std::set<std::string> codes;
    size_t small = 0, eightCharacters = 0;
    for (const Sector& s : m.sectors()) {
        EXPECT_EQ(s.code.rfind("BK0", 0), 0u);
        EXPECT_TRUE(s.code.find_first_not_of("0123456789", 2) == std::string::npos) << s.code;
        EXPECT_TRUE(codes.insert(s.code).second) << s.code;
        EXPECT_EQ(m.sectorByCode(s.code), &s);
        small += s.funds.size() < 20;
        eightCharacters += s.code.size() == 8 && !s.funds.empty();
    }
    EXPECT_GE(small, 1u); // a one-page sector
    EXPECT_GE(eightCharacters, 2u);
    // Leading zeros are part of the code: these are two sectors, and the
    // spellings without the zeros are none.
    ASSERT_TRUE(m.sectorByCode("BK0045") && m.sectorByCode("BK000045"));
    EXPECT_NE(m.sectorByCode("BK0045"), m.sectorByCode("BK000045"));
    EXPECT_FALSE(m.sectorByCode("BK0045")->funds.empty());
    EXPECT_FALSE(m.sectorByCode("BK000045")->funds.empty());
    for (const char* none : {"BK045", "BK45", "bk0045", "BK00", "BK0", "", "BK0999"})
        EXPECT_EQ(m.sectorByCode(none), nullptr) << none;
}

TEST(SampleMarket, OlderSectorsKeepTheirMembersAndFigures)
{
    // Values of the market before the eight-character sectors joined it:
    // scenarios written against it still find the same sectors.
    const Market m(20261207, 3000);
    const struct {
        const char* code;
        size_t funds;
        double weekFigure;
    } pinned[] = {
        {"BK0474", 83, 1.625}, {"BK0896", 114, 3.581}, {"BK01032", 1, 2.733}, {"BK0045", 41, -2.215},
    };
    for (const auto& p : pinned) {
        const Sector* s = m.sectorByCode(p.code);
        ASSERT_TRUE(s) << p.code;
        EXPECT_EQ(s->funds.size(), p.funds) << p.code;
        EXPECT_DOUBLE_EQ(s->figures[0], p.weekFigure) << p.code;
    }
}

TEST(SampleMarket, WholeMarketSectorHoldsEveryFundAndLeavesTheOthersAlone)
{
    const Market plain(11, 900);
    const Market whole(11, 900, true);
    ASSERT_EQ(whole.sectors().size(), plain.sectors().size() + 1);
    const Sector& last = whole.sectors().back();
    EXPECT_EQ(last.code, "BK0999");
    EXPECT_EQ(last.name, "全市场");
    EXPECT_EQ(whole.sectorByCode("BK0999"), &last);
    ASSERT_EQ(last.funds.size(), 900u);
    for (size_t i = 0; i < last.funds.size(); ++i)
        EXPECT_EQ(last.funds[i], int(i));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(last.figureState[k], 0); // the benchmark sorts it by any period
    for (size_t s = 0; s < plain.sectors().size(); ++s) {
        EXPECT_EQ(whole.sectors()[s].code, plain.sectors()[s].code);
        EXPECT_EQ(whole.sectors()[s].funds, plain.sectors()[s].funds);
        EXPECT_EQ(whole.sectors()[s].figures[2], plain.sectors()[s].figures[2]);
    }
}

TEST(SampleMarket, HoldingsLayoutFollowsTheLastDigitOfTheCode)
{
    const Market m(20261207, 3000);
    const std::pair<const char*, HoldingsLayout> rule[] = {
        {"000010", HoldingsLayout::Classic},     {"000014", HoldingsLayout::Classic},
        {"000018", HoldingsLayout::Classic},     {"000011", HoldingsLayout::HiddenLink},
        {"000015", HoldingsLayout::HiddenLink},  {"000019", HoldingsLayout::HiddenLink},
        {"000012", HoldingsLayout::HongKongCells}, {"000016", HoldingsLayout::HongKongCells},
        {"000013", HoldingsLayout::ShareOnly},   {"000017", HoldingsLayout::ShareOnly},
    };
    for (const auto& [code, layout] : rule) {
        Fund f;
        f.code = code;
        EXPECT_EQ(Market::holdingsLayout(f), layout) << code;
    }
    // A fund laid out with Hong Kong cells has Hong Kong rows to show, in every quarter.
    size_t checked = 0;
    for (const Fund& f : m.funds()) {
        if (Market::holdingsLayout(f) != HoldingsLayout::HongKongCells)
            continue;
        for (int q = 0; q < m.holdingQuarters(f); ++q) {
            const auto rows = m.holdings(f, q);
            ASSERT_EQ(rows.size(), 10u);
            EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                                    [&](const Holding& h) { return m.stocks()[size_t(h.stock)].market == 116; }))
                << f.code << " quarter " << q;
            ++checked;
        }
    }
    EXPECT_GT(checked, 200u);
    // Elsewhere Hong Kong stocks stay the exception.
    size_t withoutHongKong = 0;
    for (const Fund& f : m.funds()) {
        const auto rows = m.holdings(f, 0);
        withoutHongKong += Market::holdingsLayout(f) == HoldingsLayout::Classic && !rows.empty()
            && std::none_of(rows.begin(), rows.end(),
                            [&](const Holding& h) { return m.stocks()[size_t(h.stock)].market == 116; });
    }
    EXPECT_GT(withoutHongKong, 100u);
}

TEST(SampleMarket, SeriesEndOnTheRankingFigures)
{
    const Market m(3, 300);
    const std::pair<Period, int> periods[] = {{Week, 5}, {Month, 22}, {OneYear, 250}, {ThreeYears, 750}};
    for (const Fund& f : m.funds()) {
        for (const auto& [period, length] : periods) {
            if (f.returns[period] == kNoFigure)
                continue;
            const auto nav = m.relativeNav(f, m.lastDay() - length);
            ASSERT_EQ(nav.size(), size_t(length) + 1);
            EXPECT_EQ(std::llround((nav.back() - 1.0) * 10000.0), f.returns[period]) << f.code;
        }
    }
}

TEST(SampleMarket, NavHistoryChainsDividendsAndSplitsToTheFigures)
{
    const Market m(3, 300);
    const int64_t holidayFrom = daysFromCivil(2025, 10, 1), holidayTo = daysFromCivil(2025, 10, 8);
    int dividendFunds = 0, recentDividends = 0, splits = 0;
    for (const Fund& f : m.funds()) {
        SCOPED_TRACE(f.code);
        const std::vector<NavDay> rows = m.navHistory(f);
        ASSERT_EQ(rows.size(), size_t(f.ageDays) + 1);
        EXPECT_EQ(rows.front().civilDay, m.civilDay(m.firstDayOf(f)));
        EXPECT_EQ(rows.front().change, kNoFigure);
        EXPECT_EQ(rows.back().unit, f.navTenThousandths);  // the fund page's NAV
        EXPECT_EQ(rows.back().change, f.returns[Day]);      // and its day's change
        int64_t paid = 0;
        bool pays = false;
        for (size_t j = 0; j < rows.size(); ++j) {
            const NavDay& r = rows[j];
            const int wd = weekdayOf(r.civilDay);
            ASSERT_TRUE(wd != 0 && wd != 6 && (r.civilDay < holidayFrom || r.civilDay > holidayTo));
            paid += r.dividend;
            EXPECT_EQ(r.accumulated, r.unit + paid);
            if (j == 0)
                continue;
            // A holder's day: what one share became (cash paid included),
            // against the day's change, both rounded to 1e-4.
            const double grown = (double(r.unit) + double(r.dividend)) * (r.split ? double(r.split) / 1e7 : 1.0);
            const double ratio = grown / double(rows[j - 1].unit);
            EXPECT_NEAR(ratio - 1.0, r.change / 10000.0, 0.00005 + 1.0 / double(rows[j - 1].unit))
                << dateText(r.civilDay, '-');
            pays = pays || r.dividend > 0;
            if (r.dividend > 0 && int(j) > int(rows.size()) - 250)
                ++recentDividends;
            if (r.split)
                ++splits;
        }
        dividendFunds += pays;
    }
    EXPECT_GE(dividendFunds, 10);
    EXPECT_GE(recentDividends, 10);
    EXPECT_EQ(splits, 1);
    ASSERT_GE(m.splitFund(), 0);
    EXPECT_EQ(m.funds()[size_t(m.splitFund())].kind, FundKind::Index);
    EXPECT_EQ(m.fund(m.moneyFundCode()), nullptr);
}

TEST(SampleMarket, EveryNonEmptyMarketHasFund000001)
{
    // Small markets too: a lone first fund may be an exchange-traded one.
    for (const int count : {1, 2, 5, 300}) {
        for (uint64_t seed = 1; seed <= 40; ++seed) {
            const Market m(seed, count);
            ASSERT_EQ(int(m.funds().size()), count);
            const Fund* f = m.fund("000001");
            ASSERT_NE(f, nullptr) << "seed " << seed << ", " << count << " funds";
            EXPECT_FALSE(f->name.empty());
            // Where the market has a fund with holdings, 000001 is one, so examples show an estimate.
            if (count >= 300) {
                EXPECT_GT(m.holdingQuarters(*f), 0) << "seed " << seed;
            }
        }
    }
}

TEST(SampleMarket, EmptyMarketStillHasSectorsAndStocks)
{
    const Market m(1, 0);
    EXPECT_TRUE(m.funds().empty());
    EXPECT_FALSE(m.sectors().empty());
    EXPECT_FALSE(m.stocks().empty());
    for (const Sector& s : m.sectors())
        EXPECT_TRUE(s.funds.empty());
    EXPECT_EQ(m.peerAverage(FundKind::Stock, Week), kNoFigure);
}

TEST(SampleQuery, DecodesPercentEscapesButNotPlus)
{
    const Incoming in = incomingOf("GET", "/jbgk_000001.html%20", "");
    EXPECT_EQ(in.path, "/jbgk_000001.html");
    const Query q = parseQuery("key=%E7%99%BD%E9%85%92&spm=search%20&x=a+b&bad=%zz&&flag");
    EXPECT_EQ(q.get("key"), "白酒");
    EXPECT_EQ(q.get("spm"), "search");
    EXPECT_EQ(q.get("x"), "a+b");
    EXPECT_EQ(q.get("bad"), "%zz");
    EXPECT_TRUE(q.has("flag"));
    EXPECT_FALSE(q.has("missing"));
}

} // namespace
