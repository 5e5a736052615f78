// Input: a holdings, asset mix or minute bars answer as fetched (GBK). Every
// figure read is finite, every previous close positive, and no reader finds
// more rows than the answer has bytes.
#include "FuzzChecks.h"
#include "funds/EstimateInputs.h"

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    if (const auto p = fw::readFundPositions(body)) {
        check(p->stocks.size() <= size, "more holdings than bytes");
        for (const auto& h : p->stocks)
            check(std::isfinite(h.share) && !h.code.empty(), "holding without code or with no figure");
    }
    if (const auto mix = fw::readAssetMix(body)) {
        for (const auto& figure : {mix->stocks, mix->bonds, mix->cash, mix->other, mix->netAssets})
            check(!figure || std::isfinite(*figure), "asset mix figure is not finite");
    }
    if (const auto bars = fw::readMinuteBars(body)) {
        check(bars->preClose > 0 && std::isfinite(bars->preClose), "previous close is not positive");
        check(bars->bars.size() <= size, "more bars than bytes");
        for (const auto& bar : bars->bars)
            check(bar.close > 0 && bar.minute >= 0 && bar.minute < 24 * 60, "bar without a close or a minute");
    }
    return 0;
}
