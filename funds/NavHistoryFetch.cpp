#include "funds/NavHistoryFetch.h"

#include "funds/Ledger.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "store/NavCache.h"
#include "text/CodePage.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace fw::ledger {

namespace {

// A member the service sends as a string; "" when missing or null.
bool stringMember(const nlohmann::json& object, const char* name, std::string& out)
{
    const auto it = object.find(name);
    if (it == object.end() || it->is_null()) {
        out.clear();
        return true;
    }
    if (!it->is_string())
        return false;
    out = it->get<std::string>();
    return true;
}

// The figure between a fixed front and back of the words ("每份派现金" … "元").
std::optional<int64_t> figureBetween(std::string_view words, std::string_view front, std::string_view back,
                                     int decimals)
{
    if (words.size() <= front.size() + back.size() || words.substr(0, front.size()) != front
        || words.substr(words.size() - back.size()) != back)
        return std::nullopt;
    return parseUnits(words.substr(front.size(), words.size() - front.size() - back.size()), decimals);
}

} // namespace

bool readShareEvent(std::string_view words, NavRow& row)
{
    if (words.empty())
        return true;
    if (const auto cash = figureBetween(words, "每份派现金", "元", 4); cash && *cash > 0) {
        row.dividend = *cash;
        return true;
    }
    for (std::string_view front : {std::string_view("每份基金份额折算"), std::string_view("每份基金份额分拆")})
        if (const auto ratio = figureBetween(words, front, "份", 8); ratio && *ratio > 0) {
            row.splitRatio = *ratio;
            return true;
        }
    return false;
}

std::optional<NavPage> parseNavHistoryPage(std::string_view body, Text& why)
{
    // Plain JSON, or JSONP: the object between the first "(" and the last ")".
    const size_t start = body.find_first_not_of(" \t\r\n");
    if (start != std::string_view::npos && body[start] != '{') {
        const size_t open = body.find('(');
        const size_t close = body.rfind(')');
        if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
            why = gbk("净值历史的回答无法读取");
            return std::nullopt;
        }
        body = body.substr(open + 1, close - open - 1);
    }
    const nlohmann::json doc = nlohmann::json::parse(body, nullptr, false);
    if (!doc.is_object()) {
        why = gbk("净值历史的回答无法读取");
        return std::nullopt;
    }
    const auto err = doc.find("ErrCode");
    if (err == doc.end() || !err->is_number_integer() || err->get<int64_t>() != 0) {
        std::string message;
        if (const auto m = doc.find("ErrMsg"); m != doc.end() && m->is_string())
            message = m->get<std::string>();
        why = gbk("净值历史服务拒绝了请求") + (message.empty() ? Text() : gbk("：") + utf8ToGbk(message));
        return std::nullopt;
    }
    const auto total = doc.find("TotalCount");
    const auto data = doc.find("Data");
    if (total == doc.end() || !total->is_number_integer() || total->get<int64_t>() < 0 || data == doc.end()
        || !data->is_object() || !data->contains("LSJZList") || !(*data)["LSJZList"].is_array()) {
        why = gbk("净值历史的回答缺少数据");
        return std::nullopt;
    }

    NavPage page;
    page.totalCount = int(std::min<int64_t>(total->get<int64_t>(), 1 << 30));
    for (const nlohmann::json& item : (*data)["LSJZList"]) {
        std::string date, unit, accumulated, change, event;
        if (!item.is_object() || !stringMember(item, "FSRQ", date) || !stringMember(item, "DWJZ", unit)
            || !stringMember(item, "LJJZ", accumulated) || !stringMember(item, "JZZZL", change)
            || !stringMember(item, "FHSP", event)) {
            why = gbk("净值历史的一行无法读取");
            return std::nullopt;
        }
        const Text where = gbk("净值历史 ") + Text(date.size() <= 10 ? date : date.substr(0, 10)) + gbk(" 的");
        NavRow row;
        const auto day = parseDay(date);
        if (!day) {
            why = gbk("净值历史的一行日期无法读取");
            return std::nullopt;
        }
        row.day = *day;
        // Money funds publish no unit value: an empty figure is none.
        const auto unitValue = unit.empty() ? std::optional<int64_t>(0) : parseUnits(unit, 4);
        const auto accumulatedValue = accumulated.empty() ? std::optional<int64_t>(0) : parseUnits(accumulated, 4);
        if (!unitValue || *unitValue < 0) {
            why = where + gbk("单位净值无法读取");
            return std::nullopt;
        }
        if (!accumulatedValue || *accumulatedValue < 0) {
            why = where + gbk("累计净值无法读取");
            return std::nullopt;
        }
        row.unitValue = *unitValue;
        row.accumulated = *accumulatedValue;
        if (!change.empty()) {
            row.changePercent = parseUnits(change, 4);
            if (!row.changePercent) {
                why = where + gbk("日增长率无法读取");
                return std::nullopt;
            }
        }
        // FHSP says what happened in words; FHFCZ/FHFCBZ are not trusted.
        if (!readShareEvent(event, row)) {
            why = where + gbk("分红送配无法读取");
            return std::nullopt;
        }
        page.rows.push_back(row);
    }
    return page;
}

NavHistoryFetch::NavHistoryFetch(std::string_view code, int timeoutSeconds, const RetryPolicy* retry, LoadTicket load)
    : m_code(code), m_timeoutSeconds(timeoutSeconds), m_retry(retry), m_load(std::move(load))
{
}

Text NavHistoryFetch::pagePath(std::string_view code, int pageIndex, std::optional<Day> from, std::optional<Day> to)
{
    return "/f10/lsjz?fundCode=" + Text(code) + "&pageIndex=" + std::to_string(pageIndex)
        + "&pageSize=" + std::to_string(kPageSize) + "&startDate=" + (from ? dayText(*from) : std::string())
        + "&endDate=" + (to ? dayText(*to) : std::string());
}

Text NavHistoryFetch::refererUrl(std::string_view code)
{
    return serviceHosts().url(HostRole::FundArchive, "/jjjz_" + Text(code) + ".html");
}

std::optional<NavPage> NavHistoryFetch::page(int pageIndex, std::optional<Day> from, std::optional<Day> to,
                                             NavFetchOutcome& outcome) const
{
    if (m_load.cancelled()) {
        outcome.failure = gbk("净值历史的读取已取消");
        return std::nullopt;
    }
    HttpRequestOptions options;
    options.timeoutSeconds = m_timeoutSeconds;
    options.load = m_load;
    options.extraHeaders = "Referer: " + refererUrl(m_code);
    RetryPolicy retry;
    if (m_retry) {
        retry = *m_retry;
        retry.load = m_load;
    }
    ++outcome.pages;
    fetchMaybeRetrying(serviceHosts().url(HostRole::FundApi, pagePath(m_code, pageIndex, from, to)), options,
                       m_retry ? &retry : nullptr);
    if (m_load.cancelled()) {
        outcome.failure = gbk("净值历史的读取已取消");
        return std::nullopt;
    }
    if (!fetchSucceeded(options)) {
        outcome.failure = gbk("净值历史第") + std::to_string(pageIndex) + gbk("页没有取到：") + options.status;
        return std::nullopt;
    }
    Text why;
    auto parsed = parseNavHistoryPage(options.responseBytes, why);
    if (!parsed)
        outcome.failure = gbk("净值历史第") + std::to_string(pageIndex) + gbk("页：") + why;
    return parsed;
}

std::optional<std::vector<NavRow>> NavHistoryFetch::fetchRange(std::optional<Day> from, std::optional<Day> to,
                                                               NavFetchOutcome& outcome) const
{
    std::vector<NavRow> rows;
    int total = 0;
    for (int index = 1;; ++index) {
        auto answer = page(index, from, to, outcome);
        if (!answer)
            return std::nullopt;
        if (index == 1)
            total = answer->totalCount;
        rows.insert(rows.end(), answer->rows.begin(), answer->rows.end());
        if (int64_t(index) * kPageSize >= total)
            break;
        if (answer->rows.empty()) {
            // Fewer rows than the count promised: a page went missing.
            outcome.failure = gbk("净值历史第") + std::to_string(index) + gbk("页是空的");
            return std::nullopt;
        }
    }
    // Newest first as sent (a row published between two pages may come twice).
    std::sort(rows.begin(), rows.end(), [](const NavRow& a, const NavRow& b) { return a.day < b.day; });
    rows.erase(std::unique(rows.begin(), rows.end(), [](const NavRow& a, const NavRow& b) { return a.day == b.day; }),
               rows.end());
    if (int(rows.size()) < total) {
        outcome.failure = gbk("净值历史少于服务所说的行数");
        return std::nullopt;
    }
    return rows;
}

NavFetchOutcome NavHistoryFetch::run(NavCache& cache, Day firstTrade) const
{
    NavFetchOutcome outcome;
    std::vector<NavRow> rows;
    const std::optional<Day> oldest = cache.oldestDay(m_code);
    const std::optional<Day> newest = cache.newestDay(m_code);
    if (!oldest || !newest) {
        auto all = fetchRange(firstTrade, std::nullopt, outcome);
        if (!all)
            return outcome;
        rows = std::move(*all);
    } else {
        if (firstTrade < *oldest) {
            // A trade now starts before the stored history: the rows before it.
            auto older = fetchRange(firstTrade, *oldest - 1, outcome);
            if (!older)
                return outcome;
            rows = std::move(*older);
        }
        auto newer = fetchRange(*newest + 1, std::nullopt, outcome);
        if (!newer)
            return outcome;
        rows.insert(rows.end(), newer->begin(), newer->end());
    }
    if (!rows.empty() && !cache.store(m_code, rows)) {
        outcome.failure = gbk("净值历史无法保存：") + utf8ToGbk(cache.failure());
        return outcome;
    }
    outcome.ok = true;
    outcome.rowsStored = int(rows.size());
    return outcome;
}

} // namespace fw::ledger
