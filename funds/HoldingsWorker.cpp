#include "funds/HoldingsWorker.h"

#include "funds/EstimateRecord.h"
#include "funds/HoldingsEstimate.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <cmath>
#include <thread>

namespace fw {

namespace {

constexpr int kHoldingRows = 10;

// The markers below all begin with an ASCII byte under 0x40 ("<", "(", ")"),
// which is never the second byte of a GBK character, so a plain byte search
// cannot land inside one.
struct Cell {
    std::string_view tag;   // the opening tag, "<td class='tor'>"
    std::string_view inner; // what lies between it and its end
};

// The next place of a marker at or after a position. Asked with positions
// that only grow, it searches again only once the position has passed the
// place last found, so a page of many rows or cells and few end tags is
// scanned once rather than once per row or cell.
class NextMarker {
public:
    NextMarker(std::string_view text, std::string_view marker) : m_text(text), m_marker(marker) {}

    size_t from(size_t pos)
    {
        // The first place at or after m_searchedFrom is also the first at or
        // after any later position up to it (and none is none).
        const bool known = m_searched && pos >= m_searchedFrom && (m_found == std::string_view::npos || pos <= m_found);
        if (!known) {
            m_found = m_text.find(m_marker, pos);
            m_searchedFrom = pos;
            m_searched = true;
        }
        return m_found;
    }

private:
    std::string_view m_text, m_marker;
    bool m_searched = false;
    size_t m_searchedFrom = 0;
    size_t m_found = std::string_view::npos;
};

// The cells of one row. A cell left unclosed ends where the next one begins.
std::vector<Cell> cellsOf(std::string_view row)
{
    std::vector<Cell> cells;
    NextMarker cellEnd(row, "</td>");
    size_t pos = 0;
    for (;;) {
        size_t start = row.find("<td", pos);
        // "<td>" or "<td " only: not "<tdx".
        while (start != std::string_view::npos && start + 3 < row.size() && row[start + 3] != '>'
               && row[start + 3] != ' ')
            start = row.find("<td", start + 3);
        if (start == std::string_view::npos)
            return cells;
        const size_t open = row.find('>', start);
        if (open == std::string_view::npos)
            return cells;
        const size_t end = cellEnd.from(open);
        const size_t next = row.find("<td", open);
        const size_t stop = std::min({end, next, row.size()});
        cells.push_back({row.substr(start, open + 1 - start), row.substr(open + 1, stop - open - 1)});
        pos = stop;
    }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text a cell shows: markup dropped, the common entities read, blanks trimmed.
Text shownText(std::string_view html)
{
    Text out;
    bool inTag = false;
    for (char c : html) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag)
            out += c;
    }
    out = replaceAll(replaceAll(out, "&nbsp;", " "), "&amp;", "&");
    size_t a = 0, b = out.size();
    while (a < b && isBlank(out[a]))
        ++a;
    while (b > a && isBlank(out[b - 1]))
        --b;
    return out.substr(a, b - a);
}

// "9.87%": a number with a percent sign and nothing else (a share is never negative).
bool isPercentage(std::string_view text)
{
    size_t i = 0;
    size_t digits = 0;
    while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
        digits += text[i] != '.';
        ++i;
    }
    return digits > 0 && i + 1 == text.size() && text[i] == '%';
}

Text afterMarketPrefix(std::string_view id)
{
    const size_t dot = id.find('.');
    return Text(dot == std::string_view::npos ? id : id.substr(dot + 1));
}

const Text& linksMark()
{
    static const Text mark = gbk("行情</a>");
    return mark;
}

Text fetchUtf8(std::string_view url, const HttpRequestOptions& base, const RetryPolicy* retry = nullptr)
{
    HttpRequestOptions options = base;
    // The answers are script text in UTF-8 without a declared charset.
    return utf8ToGbk(fetchMaybeRetrying(url, options, retry));
}

} // namespace

Text holdingsPagePath(std::string_view fundCode, std::string_view rt)
{
    return "/FundArchivesDatas.aspx?type=jjcc&code=" + Text(fundCode) + "&topline=10&year=&month=&rt=" + Text(rt);
}

Text holdingsStockList(std::string_view page) { return cutBetween(page, "<div class='hide' id='gpdmList'>", ",</div>"); }

std::vector<HoldingRow> holdingsTableRows(std::string_view page)
{
    // The latest quarter's box comes first: its table ends at the first "</table>".
    // Its header row has th cells only and is passed over below.
    const std::string_view table = page.substr(0, std::min(page.find("</table>"), page.size()));

    std::vector<HoldingRow> rows;
    NextMarker rowEnd(table, "</tr>");
    size_t pos = 0;
    while ((pos = table.find("<tr", pos)) != std::string_view::npos) {
        const size_t end = std::min({rowEnd.from(pos + 3), table.find("<tr", pos + 3), table.size()});
        const std::vector<Cell> cells = cellsOf(table.substr(pos, end - pos));
        pos = end;
        if (cells.size() < 3)
            continue; // a header row (th cells) or no holding
        HoldingRow row;
        row.code = shownText(cells[1].inner);
        row.name = shownText(cells[2].inner);
        size_t links = 2;
        for (size_t i = 3; i < cells.size(); ++i) {
            if (containsText(cells[i].tag, "xglj") || containsText(cells[i].inner, linksMark())) {
                links = i;
                break;
            }
        }
        for (size_t i = links + 1; i < cells.size(); ++i) {
            Text shown = shownText(cells[i].inner);
            if (isPercentage(shown)) {
                row.share = std::move(shown);
                break;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

Text quotePath(std::string_view stockList, std::string_view token)
{
    return "/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb=jQuery18306105309008007134_1628074711632&ut="
        + Text(token) + "&secids=" + Text(stockList) + ",&_=1628074711810";
}

std::map<Text, StockQuote> quotesByCode(std::string_view answer)
{
    std::map<Text, StockQuote> quotes;
    const size_t open = answer.find('(');
    const size_t close = answer.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close <= open)
        return quotes;
    JsonDocument doc;
    if (!doc.parse(answer.substr(open + 1, close - open - 1)))
        return quotes;
    const int count = doc.memberCount("data.diff");
    for (int i = 0; i < count; ++i) {
        const Text entry = "data.diff[" + intText(i) + "].";
        Text code = doc.getText(entry + "f12");
        if (code.empty())
            continue;
        StockQuote quote {doc.getText(entry + "f14"), std::nullopt};
        // A suspended stock's change is "-": it has none, which is not 0%.
        if (doc.typeOf(entry + "f3") == JsonType::Number) {
            const double change = doc.getNumber(entry + "f3");
            if (std::isfinite(change))
                quote.change = change;
        }
        quotes.emplace(std::move(code), std::move(quote));
    }
    return quotes;
}

std::map<Text, StockQuote> fetchQuotes(std::string_view stockList, const HttpRequestOptions& base,
                                       const RetryPolicy* retry, Text* failure)
{
    const ServiceHosts& hosts = serviceHosts();
    HttpRequestOptions options = base;
    // The answers are script text in UTF-8 without a declared charset.
    const Text answer =
        utf8ToGbk(fetchMaybeRetrying(hosts.url(HostRole::Quote, quotePath(stockList, hosts.quoteToken())), options, retry));
    if (failure)
        *failure = fetchSucceeded(options) ? Text() : options.status;
    return quotesByCode(answer);
}

std::vector<HoldingsRowText> holdingsRows(std::string_view stockList, const std::vector<HoldingRow>& table,
                                          const std::map<Text, StockQuote>& quotes, const std::vector<HoldingRow>& shares)
{
    const TextList ids = splitText(stockList, ",");
    const size_t count = std::min<size_t>(kHoldingRows, std::max(table.size(), ids.size()));
    std::vector<HoldingsRowText> rows;
    for (size_t i = 0; i < count; ++i) {
        const HoldingRow own = i < table.size() ? table[i] : HoldingRow {};
        // The row's own code; the stock list's when the table has none.
        const Text code = !own.code.empty() ? own.code : i < ids.size() ? afterMarketPrefix(ids[i]) : Text();
        HoldingsRowText out {own.name, code, own.share, std::nullopt};
        if (const auto quote = quotes.find(code); !code.empty() && quote != quotes.end()) {
            out.name = quote->second.name;
            out.change = quote->second.change;
        }
        for (const HoldingRow& later : shares) {
            if (!code.empty() && later.code == code && !later.share.empty()) {
                out.share = later.share;
                break;
            }
        }
        rows.push_back(std::move(out));
    }
    return rows;
}

void HoldingsWorker::operator()() const
{
    auto write = [this](auto&& change) {
        if (!loads) {
            change();
            return true;
        }
        return loads->write(ticket, change);
    };
    auto live = [this] { return !loads || loads->isCurrent(ticket); };
    const bool picked = target == HoldingsTarget::Picked;
    Grid& grid = picked ? context.models.holdingsGrid : context.models.baseHoldingsGrid;
    auto writeRows = [&grid](const std::vector<HoldingsRowText>& rows, bool withShares) {
        for (int n = 1; n <= kHoldingRows; ++n) {
            const HoldingsRowText empty;
            const HoldingsRowText& row = size_t(n) <= rows.size() ? rows[size_t(n - 1)] : empty;
            grid.setRow(n, 0, withShares ? TextList {row.name, row.code, row.share} : TextList {row.name, row.code});
        }
    };
    const ServiceHosts& hosts = serviceHosts();

    // Today's estimate comes from answers of its own, fetched meanwhile, and
    // is chosen by the errors logged of the fund.
    std::optional<HoldingsEstimate> estimate;
    std::thread estimating;
    if (picked)
        estimating = std::thread([&] {
            const EstimateFund fund {fundCode, fundName, loggedErrors(context.dataDir, fundCode)};
            estimate = fetchEstimate(fund, context.requestOptions()).estimate;
        });
    struct Joined {
        std::thread& thread;
        ~Joined()
        {
            if (thread.joinable())
                thread.join();
        }
    } joined {estimating};

    // First copy: the stock list and the rows in the page's order.
    const Text first = fetchUtf8(hosts.url(HostRole::FundArchive, holdingsPagePath(fundCode, kHoldingsFirstRt)), context.requestOptions());
    const Text stockList = holdingsStockList(first);
    const std::vector<HoldingRow> table = holdingsTableRows(first);
    if (!live())
        return;

    // Live names and changes; a stock the quote service does not know keeps
    // the page's name and has no change.
    const std::map<Text, StockQuote> quotes = fetchQuotes(stockList, context.requestOptions());
    if (!write([&] { writeRows(holdingsRows(stockList, table, quotes, {}), false); }))
        return;

    // Second copy: the shares.
    const Text second = fetchUtf8(hosts.url(HostRole::FundArchive, holdingsPagePath(fundCode, kHoldingsSecondRt)), context.requestOptions());
    const std::vector<HoldingRow> later = holdingsTableRows(second);
    const std::vector<HoldingsRowText> rows = table.empty()
        ? holdingsRows(holdingsStockList(second), later, quotes, later)
        : holdingsRows(stockList, table, quotes, later);
    if (estimating.joinable())
        estimating.join();
    write([&] {
        writeRows(rows, true);
        if (picked) {
            context.models.view.setCaption(Control::HoldingsCaption, fundName);
            showHoldingsEstimate(context.models.view, estimate);
        }
        if (finished)
            finished(HoldingsResult {fundCode, rows, estimate});
    });
}

} // namespace fw
