// Input: a ranking answer as received (UTF-8 script text). Every entry reads
// as well-formed GBK and writes one fund grid row of thirteen cells, with
// "-" or a figure ending in "%" in each return column.
#include "FuzzChecks.h"
#include "model/Grid.h"
#include "funds/Ranking.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const fw::JsonDocument page = fw::parseRankingAnswer(body);
    const int n = fw::rankingEntryCount(page);
    check(n >= 0 && size_t(n) <= size, "more entries than bytes");
    fw::Grid grid(2, fw::TextList(17)); // the header row and one fund
    for (int i = 0; i < n && i < 200; ++i) {
        const fw::Text entry = fw::rankingEntry(page, i);
        check(isWellFormedGbk(entry), "entry is not GBK");
        fw::writeFundRow(grid, 1, entry);
        for (int column = 4; column <= 12; ++column) {
            const fw::Text cell = grid.cell(1, column);
            check(cell == "-" || (!cell.empty() && cell.back() == '%'), "return cell without figure");
        }
        fw::colourReturnCells(grid, 1, 1);
    }
    fw::rankingEntry(page, n); // one past the end reads as empty
    check(fw::rankingEntry(page, n).empty(), "entry past the end");
    return 0;
}
