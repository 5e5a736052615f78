// Reading the holdings and asset mix as JSON and the minute bars: figures,
// identifiers, the newest row, and broken answers.
#include "funds/EstimateInputs.h"
#include "tests/CommaDecimalLocale.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fw::testing {
namespace {

// A stored answer as fetch gives it: GBK.
Text storedAnswer(const char* name)
{
    std::ifstream in(std::string(ESTIMATE_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << name;
    return utf8ToGbk(bytes.str());
}

TEST(EstimateInputs, ReadsTheListedStocksWithTheirQuoteIdentifiers)
{
    test::CommaDecimalLocale comma; // figures never depend on the locale
    const auto p = readFundPositions(storedAnswer("positions_stocks.json"));
    ASSERT_TRUE(p);
    struct Row {
        const char* code;
        const char* name;
        double share;
        const char* quoteId;
    };
    // The row without a code is left out; "--" is no share; no market, no identifier.
    const Row expected[] = {
        {"600519", "贵州茅台", 9.85, "1.600519"}, {"00700", "腾讯控股", 6.10, "116.00700"},
        {"AAPL", "苹果", 2.5, "105.AAPL"},        {"300750", "宁德时代", 0, ""},
        {"000858", "五粮液", 3.2, "0.000858"},
    };
    ASSERT_EQ(p->stocks.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].code);
        EXPECT_EQ(p->stocks[i].code, expected[i].code);
        EXPECT_EQ(p->stocks[i].name, gbk(expected[i].name));
        EXPECT_DOUBLE_EQ(p->stocks[i].share, expected[i].share);
        EXPECT_EQ(p->stocks[i].quoteId, expected[i].quoteId);
    }
    EXPECT_EQ(p->targetCode, "");
    EXPECT_EQ(p->targetQuoteId, "");
    EXPECT_EQ(p->disclosureDate, "2026-09-30");
}

TEST(EstimateInputs, AFeederNamesItsTargetOnTheExchangeItsCodeBelongsTo)
{
    struct Case {
        const char* file;
        const char* code;
        const char* name;
        const char* quoteId;
        const char* date;
    };
    const Case cases[] = {
        {"positions_feeder.json", "510300", "沪深300ETF", "1.510300", "2026-09-30"},
        {"positions_feeder_shenzhen.json", "159915", "创业板ETF", "0.159915", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto p = readFundPositions(storedAnswer(c.file));
        ASSERT_TRUE(p);
        EXPECT_TRUE(p->stocks.empty());
        EXPECT_EQ(p->targetCode, c.code);
        EXPECT_EQ(p->targetName, gbk(c.name));
        EXPECT_EQ(p->targetQuoteId, c.quoteId);
        EXPECT_EQ(p->disclosureDate, c.date);
    }
}

TEST(EstimateInputs, TheAssetMixIsTheNewestRow)
{
    test::CommaDecimalLocale comma;
    const auto mix = readAssetMix(storedAnswer("asset_mix.json"));
    ASSERT_TRUE(mix);
    EXPECT_EQ(mix->date, "2026-09-30");
    EXPECT_DOUBLE_EQ(*mix->stocks, 88.91);
    EXPECT_DOUBLE_EQ(*mix->bonds, 4.10);
    EXPECT_DOUBLE_EQ(*mix->cash, 6.02);
    EXPECT_DOUBLE_EQ(*mix->other, 0.97);
    EXPECT_DOUBLE_EQ(*mix->netAssets, 56.31);

    // Oldest first in this answer; empty, "--" and null figures are none.
    const auto later = readAssetMix(storedAnswer("asset_mix_unordered.json"));
    ASSERT_TRUE(later);
    EXPECT_EQ(later->date, "2026-06-30");
    EXPECT_FALSE(later->stocks);
    EXPECT_DOUBLE_EQ(*later->bonds, 12.5);
    EXPECT_FALSE(later->cash);
    EXPECT_FALSE(later->other);
    EXPECT_DOUBLE_EQ(*later->netAssets, 41.0);
}

TEST(EstimateInputs, MinuteBarsGiveTimeCloseAndTheChangeAgainstThePreviousClose)
{
    test::CommaDecimalLocale comma;
    const auto bars = readMinuteBars(storedAnswer("bars_stock.js"));
    ASSERT_TRUE(bars);
    EXPECT_EQ(bars->code, "600519");
    EXPECT_DOUBLE_EQ(bars->preClose, 1650.50);
    // The rows with an unreadable time, close or too few fields are left out.
    ASSERT_EQ(bars->bars.size(), 3u);
    EXPECT_EQ(bars->bars[0].time, "2026-12-07 09:30");
    EXPECT_EQ(bars->bars[0].minute, 9 * 60 + 30);
    EXPECT_EQ(bars->bars[1].minute, 9 * 60 + 31);
    EXPECT_DOUBLE_EQ(bars->bars[1].close, 1649.80);
    EXPECT_EQ(bars->bars[2].minute, 15 * 60);
    // 1652.00 / 1650.50 - 1 = +0.0909 %; 1683.51 / 1650.50 - 1 = +2.0000 %
    EXPECT_NEAR(bars->changeAt(0), 0.0909, 0.0001);
    EXPECT_NEAR(bars->changeAt(2), 2.0000, 0.0001);

    // Bare JSON, the previous close as text.
    const auto plain = readMinuteBars(storedAnswer("bars_plain.json"));
    ASSERT_TRUE(plain);
    EXPECT_DOUBLE_EQ(plain->preClose, 20000);
    ASSERT_EQ(plain->bars.size(), 1u);
    EXPECT_NEAR(plain->changeAt(0), 0.5, 1e-9);
}

TEST(EstimateInputs, BrokenAnswersGiveNothing)
{
    struct Case {
        const char* file;
        bool positions, mix, bars;
    };
    const Case cases[] = {
        {"positions_error.json", false, false, false},   // ErrCode, Datas null
        {"positions_truncated.json", false, false, false},
        {"not_json.html", false, false, false},
        {"asset_mix_empty.json", false, false, false},   // no row at all
        {"bars_unknown.js", false, false, false},        // data null: unknown identifier
        {"bars_no_preclose.js", false, false, false},    // no change can be worked out
        {"asset_mix.json", false, true, false},          // each reader only its own answer
        {"bars_stock.js", false, false, true},
        {"positions_feeder.json", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Text answer = storedAnswer(c.file);
        EXPECT_EQ(readFundPositions(answer).has_value(), c.positions);
        EXPECT_EQ(readAssetMix(answer).has_value(), c.mix);
        EXPECT_EQ(readMinuteBars(answer).has_value(), c.bars);
    }
    EXPECT_FALSE(readFundPositions(""));
    EXPECT_FALSE(readMinuteBars("cb("));
}

} // namespace
} // namespace fw::testing
