#pragma once
// The ranking query of the fund list host, which every fund list comes from:
// request URLs, the answer, the fund grid's rows and colours, and the paged
// loading loop.
#include "model/Grid.h"
#include "funds/FeatureContext.h"
#include "net/RetryPolicy.h"
#include "text/JsonDocument.h"
#include "text/Text.h"
#include <functional>

namespace fw {

// The request families; each sends its own fixed "rnd" value.
enum class RankingFamily { FiveStar, Sector, Board, FullListProbe, FullListPage };

struct RankingQuery {
    RankingFamily family = RankingFamily::FiveStar;
    Text sortKey;     // sc; empty = the family's default order
    Text direction;   // st: "desc" or "asc"; empty = the family's default order
    int page = 1;     // pi
    Text sectorDigits; // sector family: the digits after "BK0", kept as text ("045", "00651")

    // The query text after "?", values as they stand (no encoding: "rt=sz,5").
    Text queryText() const;
    // http URL on the fund list host.
    Text url() const;
};

// Sort key of a fund grid column (4 … 12), "" for the other columns.
Text sortKeyOfColumn(int column);

// One answer of the ranking query: fetch, UTF-8 to GBK, the text after the last
// "var rankData =", parsed. A failed download or an unparsable answer gives a
// document in which every member reads as empty and every count as 0.
// `status`, when given, receives the fetch status ("200 OK" or the failure).
// With `retry` (bulk loads only) a transient failure is tried again.
JsonDocument fetchRankingPage(std::string_view url, int timeoutSeconds = 0, Text* status = nullptr,
                              const RetryPolicy* retry = nullptr);
// The same cut and parse of an answer already in hand (UTF-8 body).
JsonDocument parseRankingAnswer(std::string_view utf8Body);

// Entries of "datas" (0 unless it is an array) and entry i (0-based) as text.
int rankingEntryCount(const JsonDocument& page);
Text rankingEntry(const JsonDocument& page, int index);

// Columns 0-12 of one fund grid row from one comma-separated entry.
void writeFundRow(Grid& grid, int row, std::string_view entry);
// Text colours of columns 4-12 of rows first … last by their values.
void colourReturnCells(Grid& grid, int firstRow, int lastRow);

// Grid rows for a list of `allPages` full pages: pages × 20 + 1 (the header
// row), the page count bounded by what the grid holds before it is multiplied.
int rankingRowCount(double allPages);

// A window title with a number in it: before + N + after.
struct NumberedTitle {
    Text before, after;
    Text with(long long n) const;
};

struct PagedListParams {
    Text probeUrl;                          // page 1 in the list's probe order
    std::function<Text(int page)> pageUrl;
    std::function<int(double allPages)> rowCountFor;
    NumberedTitle progress;                 // N = funds written so far
    Text failureTitle;
    NumberedTitle done;                     // N = funds written
};

enum class LoadOutcome { Done, Failed, Superseded };

struct LoadResult {
    LoadOutcome outcome = LoadOutcome::Failed;
    int funds = 0;                          // rows written
    Text title;                             // the window title it ended with (done or failed); "" for none
};

// The paged loop shared by the five-star and sector lists. `ticket` comes from
// FeatureContext::fundGridLoads.begin(); once a newer load has begun this one
// writes nothing more and ends as Superseded.
LoadResult loadPagedRanking(FeatureContext& context, const PagedListParams& params, const LoadTicket& ticket);

} // namespace fw
