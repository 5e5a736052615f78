#pragma once
// A fund's NAV history from the fund API host, into navcache.db: the first
// time from the fund's first trade date, afterwards only the rows newer than
// the newest stored one (and older ones when a trade now starts earlier than
// the stored history). Every figure is read as an exact decimal. The pages
// of one fetch are stored in one transaction, or, when any page is broken or
// missing, none of them. No Qt; safe on any thread.
#include "net/LoadToken.h"
#include "net/RetryPolicy.h"
#include "store/LedgerRecords.h"
#include "text/Text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw::ledger {

class NavCache;

// One answer of the history operation, rows newest first as sent.
struct NavPage {
    std::vector<NavRow> rows;
    int totalCount = 0; // every row of the asked date range, over all pages
};

// Reads one answer (plain JSON or JSONP, UTF-8). nullopt with `why` (GBK)
// when it is an error answer or any row has a figure that cannot be read.
std::optional<NavPage> parseNavHistoryPage(std::string_view utf8Body, Text& why);

// What happened to the shares on a row, from the service's words
// ("每份派现金0.0500元", "每份基金份额折算1.0234567份", "每份基金份额分拆1.5000份"):
// sets the row's dividend or split ratio; false when the words are unknown.
bool readShareEvent(std::string_view utf8Words, NavRow& row);

struct NavFetchOutcome {
    bool ok = false;
    int rowsStored = 0;
    int pages = 0;  // answers asked for
    Text failure;   // GBK, why nothing was stored
};

class NavHistoryFetch {
public:
    static constexpr int kPageSize = 20;

    // With `retry` a transient failure of a page is tried again; `load` ends
    // the fetch when it is cancelled.
    explicit NavHistoryFetch(std::string_view code, int timeoutSeconds = 0, const RetryPolicy* retry = nullptr,
                             LoadTicket load = {});

    // "/f10/lsjz?fundCode=…&pageIndex=…&pageSize=20&startDate=…&endDate=…"
    static Text pagePath(std::string_view code, int pageIndex, std::optional<Day> from, std::optional<Day> to);
    // The fund's NAV page on the fund archive host: the service answers only
    // requests that say they come from it.
    static Text refererUrl(std::string_view code);

    // Brings the cache up to date for a holding whose first trade counts
    // from `firstTrade`.
    NavFetchOutcome run(NavCache& cache, Day firstTrade) const;

    // The rows of the range (both ends optional), every page, oldest first;
    // nullopt with `outcome.failure` set when a page failed or was broken.
    std::optional<std::vector<NavRow>> fetchRange(std::optional<Day> from, std::optional<Day> to,
                                                  NavFetchOutcome& outcome) const;

    // The first page of the whole history: its newest rows, newest first.
    std::optional<NavPage> newestPage(NavFetchOutcome& outcome) const
    {
        return page(1, std::nullopt, std::nullopt, outcome);
    }

private:
    std::optional<NavPage> page(int pageIndex, std::optional<Day> from, std::optional<Day> to,
                                NavFetchOutcome& outcome) const;

    std::string m_code;
    int m_timeoutSeconds;
    const RetryPolicy* m_retry;
    LoadTicket m_load;
};

} // namespace fw::ledger
