// Input: a CSV file to import (any bytes). Either every line is good and the
// rows are distinct valid holdings, or there is no row and at least one
// message; never more messages than lines, plus the empty file's one.
#include "FuzzChecks.h"
#include "funds/Portfolio.h"

#include <algorithm>
#include <cstdint>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const fw::CsvHoldings read = fw::readHoldingsCsv(content);
    const size_t lines = size_t(std::count(content.begin(), content.end(), '\n')) + 1;
    check(read.errors.size() <= lines + 1, "more messages than lines");
    check(read.rows.empty() || read.errors.empty(), "rows beside messages");
    std::set<fw::Text> codes;
    for (const fw::Holding& h : read.rows) {
        check(fw::checkFundCode(h.code).empty() && fw::checkShares(h.shares).empty() && fw::checkCost(h.cost).empty(),
              "imported an invalid holding");
        check(codes.insert(h.code).second, "imported a code twice");
    }
    for (const fw::Text& e : read.errors)
        check(isWellFormedGbk(e), "message is not GBK");
    return 0;
}
