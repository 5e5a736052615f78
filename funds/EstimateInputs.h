#pragma once
// Readers of the three answers today's estimate is made from: a fund's
// holdings as JSON (its stocks, or the exchange-traded fund a feeder fund
// invests through), its asset mix, and a stock's or an index's minute bars.
// Each takes the answer as fetched (GBK text; JSONP or bare JSON) and gives
// none when the answer is no such answer. Figures are read without the locale.
// No network, no Qt.
#include "text/Text.h"
#include <optional>
#include <vector>

namespace fw {

struct ListedHolding {
    Text code;     // "600519", "00700"
    Text name;
    double share = 0; // percent of net assets; 0 when the service gave none
    Text quoteId;  // "116.00700"; "" when the service names no market for it
};

struct FundPositions {
    std::vector<ListedHolding> stocks;
    Text targetCode;    // the exchange-traded fund of a feeder fund, "" for any other fund
    Text targetName;
    Text targetQuoteId; // "1.510300" for codes starting with 5, else "0.159915"; "" without a target
    Text disclosureDate; // "2026-09-30", "" when not given
};

// `/FundMNewApi/FundMNInverstPosition`. A row without a stock code is left out.
std::optional<FundPositions> readFundPositions(std::string_view answer);

// The quote identifier of a feeder fund's target: Shanghai for codes starting with 5.
Text targetQuoteId(std::string_view etfCode);

// The newest row of `/FundMNewApi/FundMNAssetAllocationNew`; each share in
// percent of net assets, net assets in 亿. A figure the row leaves empty is none.
struct AssetMix {
    Text date;
    std::optional<double> stocks; // GP
    std::optional<double> bonds;  // ZQ
    std::optional<double> cash;   // HB
    std::optional<double> other;  // QT
    std::optional<double> netAssets; // JZC
};
std::optional<AssetMix> readAssetMix(std::string_view answer);

struct MinuteBar {
    Text time;        // "2026-12-07 09:31"
    int minute = 0;   // minutes since midnight: 571
    double close = 0;
};

// `/api/qt/stock/trends2/get`: the bars in the order sent and the previous
// close; none without a positive previous close. A row whose time or close
// cannot be read is left out.
struct MinuteBars {
    Text code;
    Text name;        // data.name, "" when not given
    double preClose = 0;
    std::vector<MinuteBar> bars;

    // Percent change of a close against the previous close.
    double changeAt(size_t index) const { return (bars[index].close / preClose - 1.0) * 100.0; }
};
std::optional<MinuteBars> readMinuteBars(std::string_view answer);

} // namespace fw
