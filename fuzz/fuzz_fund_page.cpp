// Input: a fund page as fetched (GBK). The summary's pieces of a well-formed
// page are well-formed (no cut splits a character), the periods are at most
// eight, and the portfolio's reading of the same page gives a unit value
// that is a positive finite number or unknown (0).
#include "FuzzChecks.h"
#include "model/Grid.h"
#include "funds/FundPageSummary.h"
#include "funds/PortfolioRefresh.h"

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const fw::FundPageSummary s = fw::FundPageSummary::cut(page);
    if (isWellFormedGbk(page, false)) {
        for (const fw::Text* piece : {&s.name, &s.type, &s.date, &s.unitValue, &s.dailyChange})
            check(isWellFormedGbk(*piece, false), "summary piece splits a character");
    }
    for (const fw::Text& p : s.periods) {
        check(isWellFormedGbk(p), "period is not GBK");
        check(p.size() <= size, "period longer than the page");
    }
    fw::Grid grid(2, fw::TextList(17)); // the header row and one fund
    s.writeRow(grid, 1, "000001", s.name);
    check(grid.cell(1, 13).empty(), "asset size column written");

    const fw::FundQuote quote = fw::fundQuoteFromPage(page);
    check(quote.unitValue == 0 || (quote.unitValue > 0 && std::isfinite(quote.unitValue)), "unit value");
    check(quote.valueDate == s.date, "value date differs from the summary's");
    check(quote.name == fw::fundPageName(page), "name differs");
    check(quote.name.find('<') == fw::Text::npos, "name holds markup");
    return 0;
}
