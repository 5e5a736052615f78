#pragma once
// The ten largest stock holdings of a fund: the holdings page of the fund
// archive host, the live names and codes of the quote host, and the worker
// thread that writes them into the holdings grid and its caption. No Qt.
#include "funds/FeatureContext.h"
#include "net/LoadToken.h"
#include "net/RetryPolicy.h"
#include "text/Text.h"
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace fw {

struct HoldingsResult; // HoldingsEstimate.h

// One row of the latest quarter's holdings table.
struct HoldingRow {
    Text code;  // as in the table's code cell ("600519", "01299")
    Text name;  // as in the table's name cell
    Text share; // the first percentage after the links cell ("9.87%"); "" when none
};

// Holdings page path with one of the two fixed "rt" values the program sends.
Text holdingsPagePath(std::string_view fundCode, std::string_view rt);
inline constexpr std::string_view kHoldingsFirstRt = "0.12776095035691926";
inline constexpr std::string_view kHoldingsSecondRt = "0.3101008041112001";

// The hidden stock list of the latest quarter ("1.600519,0.000858,116.00700"),
// without its trailing comma; "" when the page has none.
Text holdingsStockList(std::string_view page);
// The rows of the latest quarter's table, in the page's order. Each row is
// read on its own, whatever its layout (Hong Kong cells, extra links, rows
// ending right after the share), so no cell of one row reaches another.
std::vector<HoldingRow> holdingsTableRows(std::string_view page);

// The quote request path for a stock list (the answer is JSONP).
Text quotePath(std::string_view stockList, std::string_view token);

// One stock of a quote answer.
struct StockQuote {
    Text name;                    // f14 (GBK)
    std::optional<double> change; // f3, the day's change in percent; none when
                                  // it is no number ("-" for a suspended stock)
};
// The quotes of an answer by code (member f12). The JSON is the text between
// the first "(" and the last ")", so a ")" inside a name cannot cut it short;
// "data": null gives no entries.
std::map<Text, StockQuote> quotesByCode(std::string_view answer);
// The quotes of a stock list fetched from the quote host (every quote the
// program reads comes through here). `failure`, when given, receives the
// fetch's status when it failed and "" when it did not.
std::map<Text, StockQuote> fetchQuotes(std::string_view stockList, const HttpRequestOptions& base,
                                       const RetryPolicy* retry = nullptr, Text* failure = nullptr);

struct HoldingsRowText {
    Text name, code, share;
    std::optional<double> change; // the matched quote's f3; none without one
};
// At most ten rows in the holdings page's order: each holding with its quote's
// name, code and change when the quote service knows the stock (matched by the
// code after the market prefix, 116.01299 ↔ "01299"), else the table's own
// name and code and no change; the share from `shares` (a later copy of the
// page) by code, else the row's own.
std::vector<HoldingsRowText> holdingsRows(std::string_view stockList, const std::vector<HoldingRow>& table,
                                          const std::map<Text, StockQuote>& quotes,
                                          const std::vector<HoldingRow>& shares);

// Which holdings grid a worker fills: the picked fund's (高级表格3, its caption
// and the estimate under it) or the comparison base's (高级表格4 alone; its
// caption is the comparison set's).
enum class HoldingsTarget { Picked, Base };

// Thread entry: std::thread(HoldingsWorker{context, code, name, &loads, loads.begin()}).
// Writes all 30 cells of rows 1-10 of the holdings grid, then the fund's name
// as the grid's caption and today's estimate (HoldingsEstimate.h) under it.
// Every write goes through the token (when given) with the worker's ticket:
// a worker for a newer pick shuts an older one out.
struct HoldingsWorker {
    FeatureContext& context;
    Text fundCode;
    Text fundName;
    LoadToken* loads = nullptr;
    LoadTicket ticket {};
    HoldingsTarget target = HoldingsTarget::Picked;
    // Runs inside the last write, so only while the worker is still the
    // newest: the grid then holds this fund's holdings in full, those given.
    std::function<void(const HoldingsResult&)> finished {};

    void operator()() const;
};

} // namespace fw
