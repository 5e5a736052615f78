#pragma once
// The sample service's answers, one function per service operation, free of
// HTTP plumbing: each takes the parsed request and returns status, content
// type and body (UTF-8), laid out as the real service lays them out.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw::sample {

class Market;
struct Fund;

// Query parameters, percent-decoded ('+' is kept), in the order received.
struct Query {
    std::vector<std::pair<std::string, std::string>> items;

    bool has(std::string_view key) const;
    // The first value of key with surrounding blanks removed ("" when missing).
    std::string get(std::string_view key) const;
};
Query parseQuery(std::string_view rawQuery);

struct Incoming {
    std::string method;
    std::string path;   // percent-decoded, surrounding blanks removed
    Query query;
    std::string body;
    std::string referer; // the Referer header ("" when none was sent)
};
// Split a raw request target ("/jbgk_000001.html%20", "/x?a=1").
Incoming incomingOf(std::string method, std::string_view rawTarget, std::string body);

struct Answer {
    int status = 200;
    std::string contentType;
    std::string body;
};

struct ServiceSettings {
    bool legacyRankingForm = false;
    bool withdrawOldSectorRoute = false; // /ztjj/GetZTJJList answers 404
    bool quotesOutOfOrder = false;       // see quotesAnswer
    std::string stepAccount;
    std::string stepPassword;
};

// Route by path; unknown paths get notFound().
Answer answerRequest(const Market& market, const ServiceSettings& settings, const Incoming& in);
Answer notFound();

// Service operations.
Answer rankingAnswer(const Market& market, const Query& query, bool legacyForm);
Answer profilePage(const Market& market, const Fund& fund);   // /jbgk_
Answer managerPage(const Market& market, const Fund& fund);   // /jjjl_
Answer riskPage(const Market& market, const Fund& fund);      // /tsdata_
Answer fundPage(const Market& market, const Fund& fund);      // /{code}.html
Answer shareholderPage(const Market& market, std::string_view stockCode);
Answer holdingsAnswer(const Market& market, const Query& query);
// outOfOrder: the quotes come back reversed, and of two or more found the
// middle one in request order is left out.
Answer quotesAnswer(const Market& market, const Query& query, bool outOfOrder = false);
Answer sectorsAnswer(const Market& market, const Query& query);    // /ztjj/GetZTJJList
Answer newSectorsAnswer(const Market& market, const Query& query); // /ztjj/GetZTJJListNew
Answer comparisonAnswer(const Market& market, const Query& query);
Answer searchAnswer(const Market& market, const Query& query);
// /f10/lsjz: answers only a request that says it comes from the fund's NAV page.
Answer navHistoryAnswer(const Market& market, const Incoming& in);
Answer stepAnswer(const ServiceSettings& settings, const Incoming& in);

// "cb(json)" when a callback name was sent, else the bare JSON.
std::string jsonp(const std::string& callback, const std::string& json, const char* tail = ")");

} // namespace fw::sample
