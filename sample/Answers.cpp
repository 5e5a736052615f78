#include "sample/Answers.h"

#include "sample/Format.h"
#include "sample/Market.h"

namespace fw::sample {

bool Query::has(std::string_view key) const
{
    for (const auto& [k, v] : items) {
        if (k == key)
            return true;
    }
    return false;
}

std::string Query::get(std::string_view key) const
{
    for (const auto& [k, v] : items) {
        if (k == key)
            return trimBlanks(v);
    }
    return {};
}

Query parseQuery(std::string_view raw)
{
    Query q;
    size_t pos = 0;
    while (pos <= raw.size()) {
        size_t end = raw.find('&', pos);
        if (end == std::string_view::npos)
            end = raw.size();
        const std::string_view item = raw.substr(pos, end - pos);
        if (!item.empty()) {
            const size_t eq = item.find('=');
            if (eq == std::string_view::npos)
                q.items.emplace_back(percentDecode(item), std::string());
            else
                q.items.emplace_back(percentDecode(item.substr(0, eq)), percentDecode(item.substr(eq + 1)));
        }
        pos = end + 1;
    }
    return q;
}

Incoming incomingOf(std::string method, std::string_view target, std::string body)
{
    Incoming in;
    in.method = std::move(method);
    in.body = std::move(body);
    const size_t question = target.find('?');
    // The program's own URLs end in a blank ("….html " reaches us as "%20").
    in.path = trimBlanks(percentDecode(target.substr(0, question)));
    if (question != std::string_view::npos)
        in.query = parseQuery(target.substr(question + 1));
    return in;
}

std::string jsonp(const std::string& callback, const std::string& json, const char* tail)
{
    if (callback.empty())
        return json;
    return callback + "(" + json + tail;
}

Answer notFound()
{
    return {404, "text/html; charset=utf-8",
            "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1>"
            "<p>The requested page does not exist.</p></body></html>"};
}

namespace {

// "/jbgk_000001.html" -> "000001" for prefix "/jbgk_"; "" when it does not fit.
std::string codeIn(std::string_view path, std::string_view prefix, size_t digits)
{
    if (path.size() != prefix.size() + digits + 5 || path.substr(0, prefix.size()) != prefix
        || path.substr(path.size() - 5) != ".html")
        return {};
    const std::string_view code = path.substr(prefix.size(), digits);
    return isDigits(code) ? std::string(code) : std::string();
}

Answer indexPage(const Market& market)
{
    std::string body =
        "<!DOCTYPE html><html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
        "<title>演示数据服务</title></head><body><h1>演示数据服务</h1><p>基金 "
        + std::to_string(market.funds().size()) + " 支，主题板块 " + std::to_string(market.sectors().size())
        + " 个，数据日期 " + market.figureDate() + "。</p><ul>";
    for (const char* path : {"/data/FundGuideapi.aspx?dt=4&sc=3y&st=desc&pi=1&pn=20",
                             "/ztjj/GetZTJJList?tt=0&dt=syl&st=SYL_W",
                             "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500",
                             "/FundSearch/api/FundSearchAPI.ashx?m=1&key=%E5%8D%8E%E5%A4%8F"}) {
        body += std::string("<li><a href=\"") + path + "\">" + path + "</a></li>";
    }
    if (!market.funds().empty()) {
        const std::string& code = market.funds().front().code;
        for (std::string path : {"/" + code + ".html", "/jbgk_" + code + ".html", "/jjjl_" + code + ".html",
                                 "/tsdata_" + code + ".html"})
            body += "<li><a href=\"" + path + "\">" + path + "</a></li>";
    }
    body += "</ul></body></html>";
    return {200, "text/html; charset=utf-8", body};
}

} // namespace

Answer answerRequest(const Market& market, const ServiceSettings& settings, const Incoming& in)
{
    // The service's pages are served by IIS and PHP, which ignore letter case in paths.
    const std::string path = lowerAscii(in.path);
    const Query& q = in.query;
    if (path == "/data/fundguideapi.aspx")
        return rankingAnswer(market, q, settings.legacyRankingForm);
    if (path == "/fundarchivesdatas.aspx")
        return holdingsAnswer(market, q);
    if (path == "/api/qt/ulist.np/get")
        return quotesAnswer(market, q, settings.quotesOutOfOrder);
    if (path == "/ztjj/getztjjlist")
        return settings.withdrawOldSectorRoute ? notFound() : sectorsAnswer(market, q);
    if (path == "/ztjj/getztjjlistnew")
        return newSectorsAnswer(market, q);
    if (path == "/fundcompare/ljsyl")
        return comparisonAnswer(market, q);
    if (path == "/f10/lsjz")
        return navHistoryAnswer(market, in);
    if (path == "/fundsearch/api/fundsearchapi.ashx")
        return searchAnswer(market, q);
    if (path == "/xm/app/ajax.php")
        return stepAnswer(settings, in);
    if (path == "/")
        return indexPage(market);

    const std::string_view detail = "/gdhs/detail/";
    if (path.size() > detail.size() + 5 && path.compare(0, detail.size(), detail) == 0
        && path.compare(path.size() - 5, 5, ".html") == 0)
        return shareholderPage(market, std::string_view(path).substr(detail.size(), path.size() - detail.size() - 5));

    struct Page {
        const char* prefix;
        Answer (*render)(const Market&, const Fund&);
    };
    static const Page kPages[] = {
        {"/jbgk_", profilePage}, {"/jjjl_", managerPage}, {"/tsdata_", riskPage}, {"/", fundPage}};
    for (const Page& page : kPages) {
        const std::string code = codeIn(path, page.prefix, 6);
        if (code.empty())
            continue;
        const Fund* fund = market.fund(code);
        return fund ? page.render(market, *fund) : notFound();
    }
    return notFound();
}

} // namespace fw::sample
