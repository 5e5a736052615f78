// Input: a holdings page, a zero byte, then a quote answer (both UTF-8 as
// received). The rows are at most ten, every cell is well-formed GBK without
// markup, a share is a bare percentage, and an estimate is finite with a
// positive coverage.
#include "FuzzChecks.h"
#include "funds/HoldingsEstimate.h"
#include "funds/HoldingsWorker.h"
#include "text/CodePage.h"

#include <cmath>
#include <cstdint>

namespace {

bool isShare(std::string_view s)
{
    if (s.size() < 2 || s.back() != '%')
        return false;
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (!((s[i] >= '0' && s[i] <= '9') || s[i] == '.'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const auto [pageBytes, answerBytes] = splitAt(std::string_view(reinterpret_cast<const char*>(data), size),
                                                  std::string_view("\0", 1));
    const fw::Text page = fw::utf8ToGbk(pageBytes);
    const fw::Text answer = fw::utf8ToGbk(answerBytes);

    const fw::Text stockList = fw::holdingsStockList(page);
    check(isWellFormedGbk(stockList), "stock list is not GBK");
    const std::vector<fw::HoldingRow> table = fw::holdingsTableRows(page);
    for (const fw::HoldingRow& row : table) {
        check(isWellFormedGbk(row.code) && isWellFormedGbk(row.name), "holding cell is not GBK");
        check(row.code.find('<') == fw::Text::npos && row.name.find('<') == fw::Text::npos, "markup in a cell");
        check(row.share.empty() || isShare(row.share), "share is no percentage");
    }
    const std::map<fw::Text, fw::StockQuote> quotes = fw::quotesByCode(answer);
    for (const auto& [code, quote] : quotes) {
        check(!code.empty(), "quote without code");
        check(isWellFormedGbk(quote.name), "quote name is not GBK");
        check(!quote.change || std::isfinite(*quote.change), "change is not finite");
    }

    // As the worker writes them: the first copy alone, then with the shares of a later one.
    for (const auto& rows : {fw::holdingsRows(stockList, table, quotes, {}),
                             fw::holdingsRows(stockList, table, quotes, table)}) {
        check(rows.size() <= 10, "more than ten holdings");
    }
    return 0;
}
