// The ranking query: one page of the fund list, restricted by rating or
// theme sector, ordered by one period's figure.
#include "sample/Answers.h"

#include "sample/Format.h"
#include "sample/Market.h"

#include <algorithm>
#include <cstdlib>

namespace fw::sample {

namespace {

constexpr int kDefaultPageSize = 20;
constexpr int kMaxPageSize = 10000;

// sc value -> period; -1 for a key the service does not sort by.
int periodOfKey(const std::string& key)
{
    static const std::pair<const char*, Period> kKeys[] = {
        {"r", Day},         {"z", Week},         {"1y", Month},    {"3y", ThreeMonths},
        {"6y", SixMonths},  {"jn", YearToDate},  {"1n", OneYear},  {"2n", TwoYears},
        {"3n", ThreeYears}, {"5n", FiveYears},   {"ln", SinceStart},
    };
    const std::string lower = lowerAscii(key);
    for (const auto& [name, period] : kKeys) {
        if (lower == name)
            return period;
    }
    return -1;
}

int positiveNumber(const std::string& text, int fallback)
{
    if (!isDigits(text) || text.size() > 9)
        return fallback;
    const int n = std::atoi(text.c_str());
    return n > 0 ? n : fallback;
}

// Which funds a request keeps: all, a star rating, a theme sector.
std::vector<char> selection(const Market& market, const Query& query, bool& restricted)
{
    const size_t n = market.funds().size();
    restricted = false;
    std::vector<char> keep;

    const std::string rating = lowerAscii(query.get("rt"));
    if (rating.size() > 3 && rating.compare(0, 3, "sz,") == 0 && isDigits(rating.substr(3))) {
        const int stars = std::atoi(rating.c_str() + 3);
        restricted = true;
        keep.assign(n, 0);
        for (size_t i = 0; i < n; ++i)
            keep[i] = market.funds()[i].stars == stars;
    }

    const std::string sector = query.get("tp");
    if (!sector.empty()) {
        // The code is matched as text: BK0045, BK045 and BK000045 are three
        // different codes, and "BK00" (no sector chosen yet) matches none.
        std::vector<char> inSector(n, 0);
        if (const Sector* s = market.sectorByCode(sector)) {
            for (int i : s->funds)
                inSector[size_t(i)] = 1;
        }
        if (restricted) {
            for (size_t i = 0; i < n; ++i)
                keep[i] = keep[i] && inSector[i];
        } else {
            keep = std::move(inSector);
        }
        restricted = true;
    }
    return keep;
}

} // namespace

Answer rankingAnswer(const Market& market, const Query& query, bool legacyForm)
{
    bool restricted = false;
    const std::vector<char> keep = selection(market, query, restricted);
    auto kept = [&](int i) { return !restricted || keep[size_t(i)]; };
    const std::vector<Fund>& funds = market.funds();

    // The ordered list: funds with a figure for the period first (in the
    // asked direction), then those without, in code order, in both directions.
    std::vector<int> order;
    order.reserve(funds.size());
    const int period = periodOfKey(query.get("sc"));
    if (period < 0) {
        for (int i = 0; i < int(funds.size()); ++i) {
            if (kept(i))
                order.push_back(i);
        }
    } else {
        const std::vector<int>& ascending = market.ascending(Period(period));
        const bool descending = lowerAscii(query.get("st")) != "asc";
        if (descending) {
            for (auto it = ascending.rbegin(); it != ascending.rend(); ++it) {
                if (kept(*it))
                    order.push_back(*it);
            }
        } else {
            for (int i : ascending) {
                if (kept(i))
                    order.push_back(i);
            }
        }
        for (int i = 0; i < int(funds.size()); ++i) {
            if (kept(i) && funds[size_t(i)].returns[period] == kNoFigure)
                order.push_back(i);
        }
    }

    const int pageSize = std::min(positiveNumber(query.get("pn"), kDefaultPageSize), kMaxPageSize);
    const int pageIndex = positiveNumber(query.get("pi"), 1);
    const long long total = (long long)order.size();
    const long long pages = (total + pageSize - 1) / pageSize;
    const long long first = (long long)(pageIndex - 1) * pageSize;

    std::string datas;
    for (long long k = first; k < total && k < first + pageSize; ++k) {
        if (!datas.empty())
            datas += ',';
        datas += '"';
        datas += jsonEscape(funds[size_t(order[size_t(k)])].entry);
        datas += '"';
    }

    std::string body;
    body.reserve(datas.size() + 200);
    if (legacyForm) {
        body = "var rankData = {datas:[" + datas + "],allRecords:" + std::to_string(total) + ",pageIndex:"
            + std::to_string(pageIndex) + ",pageNum:" + std::to_string(pageSize) + ",allPages:"
            + std::to_string(pages) + ",datacount:" + std::to_string(total) + "}";
    } else {
        body = "var rankData ={\"datas\":[" + datas + "],\"allRecords\":\"" + std::to_string(total)
            + "\",\"pageIndex\":\"" + std::to_string(pageIndex) + "\",\"pageNum\":\"" + std::to_string(pageSize)
            + "\",\"allPages\":\"" + std::to_string(pages) + "\",\"datacount\":\"" + std::to_string(total) + "\"}";
    }
    return {200, "text/html; charset=utf-8", std::move(body)};
}

} // namespace fw::sample
