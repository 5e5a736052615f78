// Script and JSON answers: holdings, stock quotes, theme sectors, comparison
// series and fund search.
#include "sample/Answers.h"

#include "sample/Format.h"
#include "sample/Market.h"
#include "text/NumberText.h"

#include <algorithm>
#include <cstdlib>

namespace fw::sample {

namespace {

const char* const kScript = "application/javascript";

std::vector<std::string> splitList(const std::string& text, char sep)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(sep, pos);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(trimBlanks(std::string_view(text).substr(pos, end - pos)));
        pos = end + 1;
    }
    return out;
}

// ---------------------------------------------------------------- holdings

std::string stockLink(const Stock& s)
{
    return "/unify/r/" + s.id();
}

// "sh600519", "sz000333", "hk00700": the older quote pages' spelling.
std::string prefixedCode(const Stock& s)
{
    return (s.market == 1 ? "sh" : s.market == 0 ? "sz" : "hk") + s.code;
}

// One row of a box; the layout follows Market::holdingsLayout.
std::string holdingRow(const Fund& f, const Stock& s, const Holding& h, size_t number, bool latest,
                       HoldingsLayout layout)
{
    const bool hiddenLink = layout == HoldingsLayout::HiddenLink;
    const bool hongKong = layout == HoldingsLayout::HongKongCells && s.market == 116;
    const bool shareOnly = layout == HoldingsLayout::ShareOnly;
    const std::string figureCell = hongKong ? "<td class='toc'>" : "<td class='tor'>";
    const std::string link = hiddenLink ? "/" + prefixedCode(s) + ".html" : stockLink(s);
    // The newer layouts put a blank before the closing bracket of their links.
    const std::string close = layout == HoldingsLayout::Classic || (layout == HoldingsLayout::HongKongCells && !hongKong)
        ? "'>"
        : "' >";

    std::string r = "<tr><td>" + std::to_string(number) + "</td><td><a href='" + link + "'>" + s.code
        + "</a></td><td class='tol'><a href='" + link + "'>" + s.name + "</a></td>";
    if (latest) {
        // Filled in by script in the browser from the quote service; Hong
        // Kong cells show "--" until then.
        const std::string cell = hongKong ? "<td class='toc' >" : "<td class='tor'>";
        const std::string empty = hongKong ? "--" : "";
        r += cell + "<span data-id='dq" + s.code + "'>" + empty + "</span></td>" + cell + "<span data-id='zd" + s.code
            + "'>" + empty + "</span></td>";
    }
    r += "<td class='xglj'>";
    if (!hongKong)
        r += "<a href='ccbdxq_" + f.code + "_" + s.code + ".html' class='red" + close + "变动详情</a>";
    r += "<a href='/interface/GetList.aspx?code=" + s.id() + close + "股吧</a><a href='" + link + close + "行情</a>";
    if (hiddenLink) {
        r += "<a href='/PC_HSF10/OperationsRequired/Index?type=web&code=" + prefixedCode(s)
            + "' style='display:none'>档案</a>";
    }
    r += "</td>" + figureCell + fixedText(h.share, 2) + "%</td>";
    if (!shareOnly)
        r += figureCell + groupedText(h.shares) + "</td>" + figureCell + groupedText(h.value) + "</td>";
    return r + "</tr>";
}

std::string holdingsBox(const Market& m, const Fund& f, int quartersBack)
{
    static const char* const kQuarterNames[] = {"3季度", "2季度", "1季度"};
    static const char* const kQuarterEnds[] = {"-09-30", "-06-30", "-03-31"};
    const std::string year = std::to_string(m.figureYear());
    const std::string quarter = year + "年" + kQuarterNames[quartersBack];
    const bool latest = quartersBack == 0;
    const HoldingsLayout layout = Market::holdingsLayout(f);
    const std::vector<Holding> holdings = m.holdings(f, quartersBack);

    std::string b = "<div class='box'><div class='boxitem w790'><h4 class='t'><label class='left'><a title='" + f.name
        + "' href='/" + f.code + ".html'>" + f.name + "</a>&nbsp;&nbsp;" + quarter
        + "股票投资明细</label><label class='right lab2 xq505'>&nbsp;&nbsp;&nbsp;&nbsp;来源：" + quarter
        + "报告&nbsp;&nbsp;&nbsp;&nbsp;截止至：<font class='px12'>" + year + kQuarterEnds[quartersBack]
        + "</font></label></h4><div class='space0'></div><table class='w782 comm tzxq'><thead><tr><th class='first'>序号</th>"
          "<th>股票代码</th><th>股票名称</th>";
    if (latest)
        b += "<th class='tor'>最新价</th><th class='tor'>涨跌幅</th>";
    b += "<th>相关资讯</th><th class='tor'>占净值<br />比例</th>";
    if (layout != HoldingsLayout::ShareOnly)
        b += "<th class='tor'>持股数<br />（万股）</th><th class='tor'>持仓市值<br />（万元）</th>";
    b += "</tr></thead><tbody>";
    std::string ids;
    for (size_t i = 0; i < holdings.size(); ++i) {
        const Stock& s = m.stocks()[size_t(holdings[i].stock)];
        b += holdingRow(f, s, holdings[i], i + 1, latest, layout);
        ids += s.id() + ",";
    }
    b += "</tbody></table></div></div>";
    if (latest)
        b += "<div class='hide' id='gpdmList'>" + ids + "</div></div>";
    return b;
}

} // namespace

Answer holdingsAnswer(const Market& m, const Query& q)
{
    const std::string empty = "var apidata={ content:\"\",arryear:[],curyear:" + std::to_string(m.figureYear()) + "};";
    const Fund* f = m.fund(q.get("code"));
    const int quarters = f ? m.holdingQuarters(*f) : 0;
    if (lowerAscii(q.get("type")) != "jjcc" || quarters == 0)
        return {200, kScript, empty};

    std::string content;
    for (int k = 0; k < quarters; ++k)
        content += holdingsBox(m, *f, k);
    int startYear = 0;
    unsigned month = 0, day = 0;
    civilFromDays(m.civilDay(m.firstDayOf(*f)), startYear, month, day);
    std::string years;
    for (int y = m.figureYear(); y >= std::max(startYear, m.figureYear() - 6); --y)
        years += (years.empty() ? "" : ",") + std::to_string(y);
    return {200, kScript,
            "var apidata={ content:\"" + jsonEscape(content) + "\",arryear:[" + years
                + "],curyear:" + std::to_string(m.figureYear()) + "};"};
}

// ---------------------------------------------------------------- quotes

Answer quotesAnswer(const Market& m, const Query& q, bool outOfOrder)
{
    static const int kKnownFields[] = {2, 3, 4, 9, 12, 13, 14};
    std::vector<int> fields;
    for (const std::string& item : splitList(q.get("fields"), ',')) {
        if (item.size() < 2 || (item[0] != 'f' && item[0] != 'F') || !isDigits(item.substr(1)) || item.size() > 5)
            continue;
        const int n = std::atoi(item.c_str() + 1);
        if (std::find(std::begin(kKnownFields), std::end(kKnownFields), n) != std::end(kKnownFields))
            fields.push_back(n);
    }
    if (fields.empty())
        fields = {2, 3, 12, 14};
    // Members in field-number order, whatever the order asked for.
    std::sort(fields.begin(), fields.end());
    fields.erase(std::unique(fields.begin(), fields.end()), fields.end());

    std::vector<Security> found;
    for (const std::string& id : splitList(q.get("secids"), ',')) {
        const size_t dot = id.find('.');
        if (dot == std::string::npos || !isDigits(id.substr(0, dot)) || dot > 3)
            continue;
        if (Security s; m.security(std::atoi(id.c_str()), id.substr(dot + 1), s))
            found.push_back(std::move(s));
    }

    if (outOfOrder) {
        if (found.size() >= 2)
            found.erase(found.begin() + std::ptrdiff_t(found.size() / 2));
        std::reverse(found.begin(), found.end());
    }

    const std::string callback = q.get("cb");
    if (found.empty()) {
        return {200, kScript,
                jsonp(callback, "{\"rc\":102,\"rt\":4,\"svr\":175643880,\"lt\":1,\"full\":1,\"dlmkts\":\"\",\"data\":null}",
                      ");")};
    }
    std::string diff;
    for (const Security& s : found) {
        std::string item;
        for (int field : fields) {
            item += item.empty() ? "{" : ",";
            item += "\"f" + std::to_string(field) + "\":";
            switch (field) {
            case 2: item += s.suspended ? "\"-\"" : shortNumber(s.price, s.decimals); break;
            case 3: item += s.suspended ? "\"-\"" : shortNumber(s.change, 2); break;
            case 4: item += s.suspended ? "\"-\"" : shortNumber(s.price - s.preClose, s.decimals); break;
            case 9: item += shortNumber(s.pe, 2); break;
            case 12: item += "\"" + s.code + "\""; break;
            case 13: item += std::to_string(s.market); break;
            case 14: item += "\"" + jsonEscape(s.name) + "\""; break;
            default: break;
            }
        }
        diff += (diff.empty() ? "" : ",") + item + "}";
    }
    const std::string json = "{\"rc\":0,\"rt\":11,\"svr\":175643880,\"lt\":1,\"full\":1,\"dlmkts\":\"\",\"data\":{\"total\":"
        + std::to_string(found.size()) + ",\"diff\":[" + diff + "]}}";
    return {200, kScript, jsonp(callback, json, ");")};
}

// ---------------------------------------------------------------- theme sectors

namespace {

// A ranking: best first by the period (0 week … 3 one year), sectors without
// a figure last; the service's own order for no period (-1).
std::vector<int> sectorOrder(const std::vector<Sector>& sectors, int period)
{
    std::vector<int> order(sectors.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    if (period >= 0) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const Sector& x = sectors[size_t(a)];
            const Sector& y = sectors[size_t(b)];
            const bool xs = x.figureState[period] == 0;
            const bool ys = y.figureState[period] == 0;
            if (xs != ys)
                return xs;
            return xs && x.figures[period] > y.figures[period];
        });
    }
    return order;
}

std::string sectorFigure(const Sector& s, int period)
{
    return s.figureState[period] == 1 ? "\"--\"" : s.figureState[period] == 2 ? "null" : shortNumber(s.figures[period], 3);
}

} // namespace

Answer sectorsAnswer(const Market& m, const Query& q)
{
    static const char* const kKeys[] = {"SYL_W", "SYL_M", "SYL_Q", "SYL_1N"};
    const std::string key = lowerAscii(q.get("st"));
    int period = -1;
    for (int k = 0; k < 4; ++k) {
        if (key == lowerAscii(kKeys[k]))
            period = k;
    }
    const std::vector<Sector>& sectors = m.sectors();
    std::string data;
    for (int i : sectorOrder(sectors, period)) {
        const Sector& s = sectors[size_t(i)];
        data += data.empty() ? "{" : ",{";
        data += "\"IndexCode\":\"" + s.indexCode + "\",\"BKCode\":\"" + s.code + "\",\"BKName\":\"" + jsonEscape(s.name)
            + "\",\"TradeDate\":\"" + m.figureDate() + "\",\"NewPrice\":" + shortNumber(s.newPrice, 2)
            + ",\"ZDF\":" + shortNumber(s.dayChange, 2);
        for (int k = 0; k < 4; ++k)
            data += ",\"" + std::string(kKeys[k]) + "\":" + sectorFigure(s, k);
        data += "}";
    }
    const std::string json = "{\"Data\":[" + data + "],\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null,\"TotalCount\":"
        + std::to_string(sectors.size()) + "}";
    return {200, kScript, jsonp(q.get("callback"), json)};
}

Answer newSectorsAnswer(const Market& m, const Query& q)
{
    // The value key is st itself, so only the exact keys are known.
    static const char* const kKeys[] = {"W", "M", "Q", "Y"};
    const std::string key = q.get("st");
    int period = -1;
    for (int k = 0; k < 4; ++k) {
        if (key == kKeys[k])
            period = k;
    }
    const std::vector<Sector>& sectors = m.sectors();
    // pn caps the count (pn=500 takes every sector); without a usable pn, all.
    const std::string pn = q.get("pn");
    size_t cap = sectors.size();
    if (isDigits(pn) && pn.size() <= 6)
        cap = std::min(cap, size_t(std::atoi(pn.c_str())));

    std::string data;
    size_t total = 0;
    if (period >= 0) {
        total = sectors.size();
        const std::vector<int> order = sectorOrder(sectors, period);
        for (size_t n = 0; n < order.size() && n < cap; ++n) {
            const Sector& s = sectors[size_t(order[n])];
            data += data.empty() ? "{" : ",{";
            data += "\"INDEXCODE\":\"" + s.code + "\",\"INDEXNAME\":\"" + jsonEscape(s.name) + "\",\"" + key
                + "\":" + sectorFigure(s, period) + "}";
        }
    }
    const std::string json = "{\"Data\":[" + data + "],\"ErrCode\":0,\"Success\":true,\"TotalCount\":"
        + std::to_string(total) + "}";
    return {200, kScript, jsonp(q.get("callback"), json)};
}

// ---------------------------------------------------------------- comparison series

Answer comparisonAnswer(const Market& m, const Query& q)
{
    static const std::pair<const char*, int> kPeriods[] = {
        {"week", 5},    {"month", 22},   {"threemonth", 65}, {"sixmonth", 125},
        {"year", 250},  {"twoyear", 500}, {"threeyear", 750},
    };
    const std::string callback = q.get("callback");
    auto failure = [&](const char* message) {
        return Answer{200, kScript,
                      jsonp(callback, std::string("{\"Data\":null,\"ErrCode\":-1,\"Success\":false,\"ErrMsg\":\"") + message
                                          + "\"}")};
    };

    int length = 0;
    const std::string period = lowerAscii(q.get("c"));
    for (const auto& [name, days] : kPeriods) {
        if (period == name)
            length = days;
    }
    if (length == 0)
        return failure("参数错误");

    std::vector<const Fund*> funds;
    for (const std::string& code : splitList(q.get("bzdm"), ',')) {
        const Fund* f = m.fund(code);
        if (!f)
            return failure("基金代码不存在");
        funds.push_back(f);
    }
    if (funds.empty())
        return failure("基金代码不存在");

    // Every series starts on the same day: the period's start, or the
    // youngest fund's first day.
    int from = m.lastDay() - length;
    for (const Fund* f : funds)
        from = std::max(from, m.firstDayOf(*f));
    std::vector<std::vector<double>> series;
    for (const Fund* f : funds)
        series.push_back(m.relativeNav(*f, from));

    std::string inner = "{\"graph\":[";
    for (size_t k = 0; k < funds.size(); ++k) {
        inner += (k ? ",{" : "{") + std::string("\"valueField\":\"") + funds[k]->code + "\",\"name\":\""
            + jsonEscape(funds[k]->name) + "\"}";
    }
    inner += "],\"dataProvider\": [";
    for (size_t i = 0; i < series.front().size(); ++i) {
        inner += (i ? ",{ \"date\": \"" : "{ \"date\": \"") + dateText(m.civilDay(from + int(i)), '/') + "\"";
        for (size_t k = 0; k < funds.size(); ++k) {
            inner += ",\"" + funds[k]->code + "\":"
                + fixedHundredths(toHundredths((series[k][i] - 1.0) * 100.0));
        }
        inner += "}";
    }
    inner += "]}";
    return {200, kScript,
            jsonp(callback, "{\"Data\":\"" + jsonEscape(inner) + "\",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null}")};
}

// ---------------------------------------------------------------- search

Answer searchAnswer(const Market& m, const Query& q)
{
    constexpr size_t kLimit = 10;
    const std::string key = q.get("key");
    std::string upperKey = key;
    bool ascii = true;
    for (char& c : upperKey) {
        if ((unsigned char)c >= 0x80)
            ascii = false;
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    const bool digits = isDigits(key);

    // Code matches first, then names, then pinyin initials (leading ones first).
    std::vector<const Fund*> buckets[4];
    if (!key.empty()) {
        const std::string lowerKey = lowerAscii(key);
        for (const Fund& f : m.funds()) {
            int bucket = -1;
            if (digits && f.code.compare(0, key.size(), key) == 0)
                bucket = 0;
            else if (lowerAscii(f.name).find(lowerKey) != std::string::npos)
                bucket = 1;
            else if (ascii && f.initials.compare(0, upperKey.size(), upperKey) == 0)
                bucket = 2;
            else if (ascii && f.initials.find(upperKey) != std::string::npos)
                bucket = 3;
            if (bucket >= 0 && buckets[bucket].size() < kLimit)
                buckets[bucket].push_back(&f);
            if (buckets[0].size() >= kLimit)
                break;
        }
    }
    // Listed stocks whose code starts with the key or whose name holds it
    // come first (a few at most), as on the service; the program keeps only
    // the entries whose CATEGORYDESC is 基金.
    constexpr size_t kStockLimit = 3;
    std::vector<const Stock*> stocks;
    if (!key.empty()) {
        for (const Stock& s : m.stocks()) {
            if (stocks.size() >= kStockLimit)
                break;
            if (s.market == 116)
                continue;
            if ((digits && s.code.compare(0, key.size(), key) == 0) || s.name.find(key) != std::string::npos)
                stocks.push_back(&s);
        }
    }

    std::vector<const Fund*> hits;
    for (const auto& bucket : buckets) {
        for (const Fund* f : bucket) {
            if (hits.size() + stocks.size() < kLimit)
                hits.push_back(f);
        }
    }

    std::string datas;
    for (const Stock* s : stocks) {
        datas += datas.empty() ? "{" : ",{";
        datas += "\"_id\":\"" + s->code + "\",\"CODE\":\"" + s->code + "\",\"NAME\":\"" + jsonEscape(s->name)
            + "\",\"JP\":\"\",\"CATEGORY\":14,\"CATEGORYDESC\":\"A股\"}";
    }
    for (const Fund* f : hits) {
        const std::string name = jsonEscape(f->name);
        datas += datas.empty() ? "{" : ",{";
        datas += "\"_id\":\"" + f->code + "\",\"CODE\":\"" + f->code + "\",\"NAME\":\"" + name + "\",\"JP\":\""
            + f->initials + "\",\"CATEGORY\":700,\"CATEGORYDESC\":\"基金\",\"FundBaseInfo\":{\"FCODE\":\"" + f->code
            + "\",\"SHORTNAME\":\"" + name + "\",\"FTYPE\":\"" + Market::typeName(f->kind) + "\",\"FSRQ\":\""
            + m.figureDate() + "\",\"DWJZ\":" + fixedText(double(f->navTenThousandths) / 10000.0, 4) + "}}";
    }
    // Datas is the last member.
    const std::string json = "{\"ErrCode\":0,\"ErrMsg\":\"fromes\",\"Datas\":[" + datas + "]}";
    return {200, kScript, jsonp(q.get("callback"), json)};
}

} // namespace fw::sample

namespace fw::sample {

namespace {

// The empty date ("") means no bound; an unreadable one is no bound either.
int64_t dateBound(const std::string& text, int64_t none)
{
    int y = 0;
    unsigned m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !isDigits(text.substr(0, 4))
        || !isDigits(text.substr(5, 2)) || !isDigits(text.substr(8, 2)))
        return none;
    y = std::atoi(text.substr(0, 4).c_str());
    m = unsigned(std::atoi(text.substr(5, 2).c_str()));
    d = unsigned(std::atoi(text.substr(8, 2).c_str()));
    if (m < 1 || m > 12 || d < 1 || d > 31)
        return none;
    return daysFromCivil(y, m, d);
}

std::string navRowJson(const NavDay& r, bool money)
{
    std::string event, figure, kind;
    if (r.dividend > 0) {
        event = "每份派现金" + fixedTenThousandths(r.dividend) + "元";
        figure = shortestText(fixedTenThousandths(r.dividend)); // alone, without its trailing zeros ("0.05")
        kind = "0";
    } else if (r.split > 0) {
        event = "每份基金份额折算" + fixedTenMillionths(r.split) + "份";
        figure = fixedTenMillionths(r.split);
        kind = "1";
    }
    return "{\"FSRQ\":\"" + dateText(r.civilDay, '-') + "\",\"DWJZ\":\"" + (money ? "" : fixedTenThousandths(r.unit))
        + "\",\"LJJZ\":\"" + (money ? "" : fixedTenThousandths(r.accumulated))
        + "\",\"SDATE\":null,\"ACTUALSYI\":\"\",\"NAVTYPE\":\"" + (money ? "0" : "1") + "\",\"JZZZL\":\""
        + (money || r.change == kNoFigure ? "" : fixedHundredths(r.change))
        + "\",\"SGZT\":\"开放申购\",\"SHZT\":\"开放赎回\",\"FHFCZ\":\"" + figure + "\",\"FHFCBZ\":\"" + kind
        + "\",\"DTYPE\":null,\"FHSP\":\"" + event + "\"}";
}

} // namespace

Answer navHistoryAnswer(const Market& m, const Incoming& in)
{
    const Query& q = in.query;
    const std::string callback = q.get("callback");
    const std::string code = q.get("fundCode");
    // The service answers only its own NAV page.
    if (in.referer.find("jjjz_" + code) == std::string::npos || code.empty())
        return {200, kScript,
                jsonp(callback, "{\"Data\":\"\",\"ErrCode\":-999,\"ErrMsg\":\"无访问权限\",\"TotalCount\":0,"
                                "\"Expansion\":null,\"PageSize\":0,\"PageIndex\":0}")};

    std::vector<NavDay> rows;
    const bool money = code == m.moneyFundCode();
    if (money) {
        // Two years of days, without unit values.
        for (int day = std::max(0, m.lastDay() - 500); day <= m.lastDay(); ++day)
            rows.push_back(NavDay{m.civilDay(day), 10000, 10000, kNoFigure, 0, 0});
    } else if (const Fund* f = m.fund(code)) {
        rows = m.navHistory(*f);
    }
    const int64_t from = dateBound(q.get("startDate"), INT64_MIN);
    const int64_t to = dateBound(q.get("endDate"), INT64_MAX);
    std::vector<const NavDay*> chosen; // newest first
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (it->civilDay >= from && it->civilDay <= to)
            chosen.push_back(&*it);

    const int pageSize = std::clamp(std::atoi(q.get("pageSize").c_str()), 1, 20);
    const int pageIndex = std::max(1, std::atoi(q.get("pageIndex").c_str()));
    std::string list;
    const size_t begin = size_t(pageIndex - 1) * size_t(pageSize);
    for (size_t i = begin; i < chosen.size() && i < begin + size_t(pageSize); ++i)
        list += (list.empty() ? "" : ",") + navRowJson(*chosen[i], money);
    const std::string json = "{\"Data\":{\"LSJZList\":[" + list
        + "],\"FundType\":\"" + (money ? "002" : "001")
        + "\",\"SYType\":null,\"isNewType\":false,\"Feature\":\"010,050,054\"},\"ErrCode\":0,\"ErrMsg\":null,"
          "\"TotalCount\":"
        + std::to_string(chosen.size()) + ",\"Expansion\":null,\"PageSize\":" + std::to_string(pageSize)
        + ",\"PageIndex\":" + std::to_string(pageIndex) + "}";
    return {200, kScript, jsonp(callback, json)};
}

} // namespace fw::sample
