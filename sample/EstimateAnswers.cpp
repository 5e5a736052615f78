// The mobile fund API's holdings and asset mix as JSON, and the quote history
// service's minute bars of the day.
#include "sample/Answers.h"

#include "sample/Format.h"
#include "sample/Market.h"
#include "sample/Prng.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace fw::sample {

namespace {

const char* const kJson = "application/json; charset=utf-8";
const char* const kScript = "application/javascript";

const char* const kQuarterEnds[] = {"-09-30", "-06-30", "-03-31"};

// DATE= (the latest) or one of the quarter ends the fund has; -1 for any other date.
int quartersBackOf(const Market& m, std::string_view date)
{
    if (date.empty())
        return 0;
    for (int k = 0; k < 3; ++k) {
        if (date == std::to_string(m.figureYear()) + kQuarterEnds[k])
            return k;
    }
    return -1;
}

std::string listEnvelope(const std::string& datas, size_t count, const std::string& expansion)
{
    return "{\"Datas\":" + datas + ",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null,\"TotalCount\":"
        + std::to_string(count) + ",\"Expansion\":" + expansion + "}";
}

// The service's exchange number of the older TEXCH field.
const char* oldExchange(int market) { return market == 1 ? "1" : market == 0 ? "2" : "5"; }

} // namespace

Answer positionsAnswer(const Market& m, const Query& q)
{
    const Fund* f = m.fund(q.get("FCODE"));
    if (!f)
        return {200, kJson, "{\"Datas\":null,\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null,\"TotalCount\":0,\"Expansion\":null}"};
    const int back = quartersBackOf(m, q.get("DATE"));
    const std::vector<Holding> now = back < 0 ? std::vector<Holding>() : m.holdings(*f, back);
    const std::vector<Holding> before = back < 0 ? std::vector<Holding>() : m.holdings(*f, back + 1);
    std::string stocks;
    for (const Holding& h : now) {
        const Stock& s = m.stocks()[size_t(h.stock)];
        // The change of the share since the quarter before, when the fund held it then.
        std::string kind = "新增";
        std::string change;
        for (const Holding& b : before) {
            if (b.stock == h.stock) {
                kind = h.share >= b.share ? "增持" : "减持";
                change = fixedText(std::abs(h.share - b.share), 2);
            }
        }
        stocks += std::string(stocks.empty() ? "" : ",") + "{\"GPDM\":\"" + s.code + "\",\"GPJC\":\""
            + jsonEscape(s.name) + "\",\"JZBL\":\"" + fixedText(h.share, 2) + "\",\"TEXCH\":\"" + oldExchange(s.market)
            + "\",\"ISINVISBL\":\"0\",\"PCTNVCHGTYPE\":\"" + kind + "\",\"PCTNVCHG\":\"" + change
            + "\",\"NEWTEXCH\":\"" + std::to_string(s.market) + "\",\"INDEXCODE\":\"\",\"INDEXNAME\":\"\"}";
    }
    std::string etfCode = "null";
    std::string etfName = "null";
    if (f->target >= 0) {
        const Fund& t = m.funds()[size_t(f->target)];
        etfCode = "\"" + t.code + "\"";
        etfName = "\"" + jsonEscape(t.name) + "\"";
    }
    const std::string date = back < 0 ? "null" : "\"" + std::to_string(m.figureYear()) + kQuarterEnds[back] + "\"";
    const std::string datas = "{\"fundStocks\":[" + stocks + "],\"fundboods\":[],\"fundfofs\":[],\"ETFCODE\":" + etfCode
        + ",\"ETFSHORTNAME\":" + etfName + "}";
    return {200, kJson, listEnvelope(datas, now.size(), date)};
}

Answer assetMixAnswer(const Market& m, const Query& q)
{
    const Fund* f = m.fund(q.get("FCODE"));
    const int back = quartersBackOf(m, q.get("DATE"));
    if (!f || back < 0)
        return {200, kJson, listEnvelope("[]", 0, "null")};
    // The asked quarter and the one before it, newest first.
    std::string rows;
    int count = 0;
    for (int k = back; k < std::min(back + 2, 3); ++k, ++count) {
        const AssetMix mix = m.assetMix(*f, k);
        const std::string netAssets = f->assetHundredths > 0 ? fixedHundredths(f->assetHundredths) : std::string();
        rows += std::string(rows.empty() ? "" : ",") + "{\"FSRQ\":\"" + std::to_string(m.figureYear()) + kQuarterEnds[k]
            + "\",\"GP\":\"" + fixedText(mix.stocks, 2) + "\",\"ZQ\":\"" + fixedText(mix.bonds, 2) + "\",\"HB\":\""
            + fixedText(mix.cash, 2) + "\",\"JZC\":\"" + netAssets + "\",\"QT\":\"" + fixedText(mix.other, 2) + "\"}";
    }
    return {200, kJson, listEnvelope("[" + rows + "]", size_t(count), "null")};
}

std::vector<MinuteBarRow> minuteBars(const Market& m, const Security& s)
{
    std::vector<MinuteBarRow> bars;
    if (s.suspended || !(s.preClose > 0) || !(s.price > 0))
        return bars;
    // 09:30-11:30 and 13:01-15:00; Hong Kong 09:30-12:00 and 13:01-16:00.
    std::vector<int> minutes;
    for (int t = 9 * 60 + 30; t <= (s.hongKong ? 12 * 60 : 11 * 60 + 30); ++t)
        minutes.push_back(t);
    for (int t = 13 * 60 + 1; t <= (s.hongKong ? 16 * 60 : 15 * 60); ++t)
        minutes.push_back(t);
    // A random walk in the logarithm of the price, bent to end on the close.
    const size_t n = minutes.size();
    const double target = std::log(s.price / s.preClose);
    const bool index = m.index(s.market, s.code) != nullptr;
    const double step = index ? 0.0004 : 0.0007; // an index moves less than its stocks
    std::vector<double> walk(n, 0.0);
    walk[0] = 0.002 * normalOf(hashOf(s.seed, 0x3AFF)); // the opening gap
    for (size_t i = 1; i < n; ++i)
        walk[i] = walk[i - 1] + step * normalOf(hashOf(s.seed, 0x3B00 + i));
    const double scale = std::pow(10.0, s.decimals);
    auto rounded = [&](double v) { return std::max(1.0 / scale, std::round(v * scale) / scale); };
    double previous = s.preClose;
    double amount = 0;
    long long volume = 0;
    for (size_t i = 0; i < n; ++i) {
        const double along = double(i) / double(n - 1);
        const double x = walk[i] - along * walk[n - 1] + along * target;
        MinuteBarRow b;
        b.minute = minutes[i];
        b.open = previous;
        b.close = i + 1 == n ? s.price : rounded(s.preClose * std::exp(x));
        const double wiggle = std::abs(step * normalOf(hashOf(s.seed, 0x5B00 + i)));
        b.high = rounded(std::max(b.open, b.close) * (1.0 + wiggle));
        b.low = rounded(std::min(b.open, b.close) * (1.0 - wiggle));
        b.volume = 100 + long(hashOf(s.seed, 0x7B00 + i) % 5000);
        volume += b.volume;
        amount += double(b.volume) * b.close * 100.0;
        b.average = rounded(amount / double(volume) / 100.0);
        b.amount = double(b.volume) * b.close * 100.0;
        bars.push_back(b);
        previous = b.close;
    }
    return bars;
}

Answer minuteBarsAnswer(const Market& m, const Query& q)
{
    const std::string callback = q.get("cb");
    const std::string id = q.get("secid");
    const size_t dot = id.find('.');
    Security s;
    if (dot == std::string::npos || dot == 0 || !isDigits(id.substr(0, dot))
        || !m.security(std::atoi(id.c_str()), id.substr(dot + 1), s)) {
        return {200, kScript,
                jsonp(callback, "{\"rc\":0,\"rt\":10,\"svr\":181669437,\"lt\":1,\"full\":0,\"dlmkts\":\"\",\"data\":null}", ");")};
    }
    const std::string day = m.figureDate();
    std::string trends;
    for (const MinuteBarRow& b : minuteBars(m, s)) {
        char hhmm[16];
        std::snprintf(hhmm, sizeof hhmm, "%02d:%02d", b.minute / 60, b.minute % 60);
        trends += std::string(trends.empty() ? "" : ",") + "\"" + day + " " + hhmm + "," + fixedText(b.open, s.decimals)
            + "," + fixedText(b.close, s.decimals) + "," + fixedText(b.high, s.decimals) + ","
            + fixedText(b.low, s.decimals) + "," + std::to_string(b.volume) + "," + fixedText(b.amount, 2) + ","
            + fixedText(b.average, s.decimals + 1) + "\"";
    }
    const std::string preClose = fixedText(s.preClose, s.decimals);
    const std::string compactDay = day.substr(0, 4) + day.substr(5, 2) + day.substr(8, 2);
    const std::string json = "{\"rc\":0,\"rt\":10,\"svr\":181669437,\"lt\":1,\"full\":0,\"dlmkts\":\"\",\"data\":{\"code\":\""
        + s.code + "\",\"market\":" + std::to_string(s.market) + ",\"type\":2,\"status\":" + (s.suspended ? "1" : "0")
        + ",\"name\":\"" + jsonEscape(s.name) + "\",\"decimal\":" + std::to_string(s.decimals)
        + ",\"preSettlement\":0.0,\"preClose\":" + preClose + ",\"beticks\":\""
        + (s.hongKong ? "34200|34200|57600|34200|43200|46800|57600" : "33300|34200|54000|34200|41400|46800|54000")
        + "\",\"trendsTotal\":" + std::to_string(s.hongKong ? 331 : 241) + ",\"time\":1765094400,\"kind\":1,\"prePrice\":"
        + preClose + ",\"hisPrePrices\":[{\"date\":" + compactDay + ",\"prePrice\":" + preClose + "}],\"trends\":["
        + trends + "]}}";
    return {200, kScript, jsonp(callback, json, ");")};
}

} // namespace fw::sample
