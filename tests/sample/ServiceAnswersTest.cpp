// The sample service's answers, fetched over loopback and cut with the
// markers and patterns the program itself uses.
#include "sample/Format.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "SampleTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <set>

using namespace fw::sample;
using namespace fw::sample::testing;
using nlohmann::json;

namespace {

class SampleAnswers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SampleOptions options;
        options.funds = 3000;
        options.stepAccount = "walker";
        options.stepPassword = "p@ss";
        s_service = new SampleService(options);
        s_port = s_service->start();
        ASSERT_GT(s_port, 0);
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }

    static const Market& market() { return s_service->market(); }
    static Reply fetch(const std::string& target) { return get(s_port, target); }

    static json ranking(const std::string& query)
    {
        const Reply r = fetch("/data/FundGuideapi.aspx?" + query);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body.rfind("var rankData ={\"datas\":[", 0), 0u) << r.body.substr(0, 80);
        return json::parse(textAfterLast(r.body, "var rankData ="), nullptr, false);
    }

    // Funds meeting a condition, at most n, spread over the market.
    template <class Pred>
    static std::vector<const Fund*> fundsWhere(Pred pred, size_t n)
    {
        std::vector<const Fund*> out;
        const auto& funds = market().funds();
        for (size_t i = 0; i < funds.size() && out.size() < n; i += 7) {
            if (pred(funds[i]))
                out.push_back(&funds[i]);
        }
        return out;
    }

    static SampleService* s_service;
    static int s_port;
};

SampleService* SampleAnswers::s_service = nullptr;
int SampleAnswers::s_port = -1;

// Every piece from `front` through the next `back`, both included.
std::vector<std::string> piecesOf(const std::string& text, const std::string& front, const std::string& back)
{
    std::vector<std::string> out;
    for (size_t a = text.find(front); a != std::string::npos; a = text.find(front, a + 1)) {
        const size_t b = text.find(back, a + front.size());
        if (b == std::string::npos)
            break;
        out.push_back(text.substr(a, b + back.size() - a));
        a = b;
    }
    return out;
}

std::string percentText(int32_t hundredths)
{
    return hundredths == kNoFigure ? std::string("--") : fixedHundredths(hundredths) + "%";
}

// ---------------------------------------------------------------- ranking

TEST_F(SampleAnswers, FiveStarPagesCoverEveryFiveStarFundOnce)
{
    size_t fiveStar = 0;
    for (const Fund& f : market().funds())
        fiveStar += f.stars == 5;
    ASSERT_GT(fiveStar, 20u);

    const std::string family = "dt=4&sd=&ed=&rt=sz,5&sc=jn&st=desc&pi=";
    const json probe = ranking(family + "1&pn=20&zf=diy&sh=list&rnd=0.01942454964583651");
    ASSERT_FALSE(probe.is_discarded());
    // Today's form: counts as strings.
    EXPECT_EQ(probe["datacount"], std::to_string(fiveStar));
    EXPECT_EQ(probe["allRecords"], std::to_string(fiveStar));
    EXPECT_EQ(probe["pageNum"], "20");
    const int pages = std::stoi(probe["allPages"].get<std::string>());
    EXPECT_EQ(pages, int((fiveStar + 19) / 20));

    std::set<std::string> seen;
    for (int p = 1; p <= pages; ++p) {
        const json page = ranking(family + std::to_string(p) + "&pn=20&zf=diy&sh=list&rnd=0.01942454964583651");
        EXPECT_EQ(page["pageIndex"], std::to_string(p));
        EXPECT_EQ(page["datas"].size(), p < pages ? 20u : fiveStar - 20u * size_t(pages - 1));
        for (const auto& entry : page["datas"]) {
            const auto fields = splitFields(entry.get<std::string>());
            ASSERT_EQ(fields.size(), 25u);
            const Fund* f = market().fund(fields[0]);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->stars, 5);
            EXPECT_EQ(fields[1], f->name);
            EXPECT_EQ(fields[15], market().figureDate());
            EXPECT_TRUE(seen.insert(fields[0]).second) << "listed twice: " << fields[0];
        }
    }
    EXPECT_EQ(seen.size(), fiveStar);

    const json past = ranking(family + std::to_string(pages + 1) + "&pn=20");
    EXPECT_TRUE(past["datas"].empty());
    EXPECT_EQ(past["allPages"], std::to_string(pages));
}

TEST_F(SampleAnswers, EachSortKeyOrdersByItsFieldWithEmptyFieldsLast)
{
    const std::pair<const char*, int> keys[] = {{"r", 17}, {"z", 5},  {"1y", 6}, {"3y", 7}, {"6y", 8},
                                                {"jn", 4}, {"1n", 9}, {"2n", 10}, {"3n", 11}};
    const size_t n = market().funds().size();
    for (const auto& [key, field] : keys) {
        for (const char* direction : {"desc", "asc"}) {
            const json all = ranking(std::string("dt=4&sd=&ed=&sc=") + key + "&st=" + direction + "&pi=1&pn="
                                     + std::to_string(n) + "&zf=diy&sh=list");
            ASSERT_EQ(all["datas"].size(), n) << key;
            bool inEmptyTail = false;
            double previous = 0;
            bool first = true;
            for (const auto& entry : all["datas"]) {
                const std::string value = splitFields(entry.get<std::string>())[size_t(field)];
                if (value.empty()) {
                    inEmptyTail = true;
                    continue;
                }
                ASSERT_FALSE(inEmptyTail) << key << " " << direction << ": a figure after an empty field";
                const double v = std::stod(value);
                if (!first) {
                    if (std::string(direction) == "desc")
                        ASSERT_LE(v, previous) << key;
                    else
                        ASSERT_GE(v, previous) << key;
                }
                previous = v;
                first = false;
            }
        }
    }
}

TEST_F(SampleAnswers, SectorFilterMatchesTheCodeAsText)
{
    const Sector* zeros = market().sectorByCode("BK0045");
    const Sector* eight = market().sectorByCode("BK000045");
    ASSERT_TRUE(zeros && eight);
    ASSERT_FALSE(zeros->funds.empty());
    ASSERT_FALSE(eight->funds.empty());
    const Sector* plain = &market().sectors().front();

    // Each code lists its own funds; other spellings of its digits list
    // none, and BK00 (what the program sends before a sector is chosen) too.
    const std::pair<std::string, const Sector*> cases[] = {
        {plain->code, plain}, {"BK0045", zeros}, {"BK000045", eight}, {"BK045", nullptr},
        {"BK45", nullptr},    {"bk0045", nullptr}, {"BK00", nullptr},   {"BK0", nullptr},
    };
    for (const auto& [code, sector] : cases) {
        SCOPED_TRACE(code);
        const json page = ranking("dt=4&sd=&ed=&tp=" + code + "&sc=3y&st=desc&pi=1&pn=500&zf=diy&sh=list");
        const size_t expected = sector ? sector->funds.size() : 0;
        EXPECT_EQ(page["datacount"], std::to_string(expected));
        EXPECT_EQ(page["allRecords"], std::to_string(expected));
        EXPECT_EQ(page["allPages"], std::to_string((expected + 499) / 500));
        EXPECT_EQ(page["datas"].size(), std::min<size_t>(expected, 500));
        for (const auto& entry : page["datas"]) {
            const int index = market().fundIndex(splitFields(entry.get<std::string>())[0]);
            ASSERT_TRUE(sector);
            EXPECT_TRUE(std::binary_search(sector->funds.begin(), sector->funds.end(), index));
        }
    }
}

TEST(SampleRankingForms, LegacyFormHasBareNamesAndNumbers)
{
    SampleOptions options;
    options.funds = 45;
    options.legacyRankingForm = true;
    SampleService service(options);
    const int port = service.start();
    const Reply r = get(port, "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=r&st=desc&pi=3&pn=20&zf=diy&sh=list");
    EXPECT_EQ(r.body.rfind("var rankData = {datas:[\"", 0), 0u) << r.body.substr(0, 60);
    EXPECT_NE(r.body.find("],allRecords:45,pageIndex:3,pageNum:20,allPages:3,datacount:45}"), std::string::npos)
        << r.body.substr(r.body.size() - 90);
}

TEST(SampleRankingForms, EmptyMarketAnswersEveryRouteWithoutFunds)
{
    SampleOptions options;
    options.funds = 0;
    SampleService service(options);
    const int port = service.start();
    EXPECT_EQ(get(port, "/data/FundGuideapi.aspx?dt=4&sc=r&st=desc&pi=1&pn=20").body,
              "var rankData ={\"datas\":[],\"allRecords\":\"0\",\"pageIndex\":\"1\",\"pageNum\":\"20\","
              "\"allPages\":\"0\",\"datacount\":\"0\"}");
    EXPECT_EQ(get(port, "/jbgk_000001.html%20").status, 404);
    EXPECT_NE(get(port, "/ztjj/GetZTJJList?callback=cb&st=SYL_W").body.find("\"TotalCount\":"), std::string::npos);
    EXPECT_EQ(get(port, "/FundSearch/api/FundSearchAPI.ashx?callback=cb&m=1&key=%E4%B8%AD%E8%AF%81").body,
              "cb({\"ErrCode\":0,\"ErrMsg\":\"fromes\",\"Datas\":[]})");
}

// ---------------------------------------------------------------- archive pages

TEST_F(SampleAnswers, ProfilePagesYieldTheFiguresAtTheProgramsMarkers)
{
    EXPECT_FALSE(fundsWhere([](const Fund& f) { return f.assetHundredths < 0; }, 1).empty());
    std::vector<const Fund*> checked = fundsWhere([](const Fund&) { return true; }, 40);
    for (const Fund* f : fundsWhere([](const Fund& f) { return f.assetHundredths < 0 || f.ageDays < 250; }, 6))
        checked.push_back(f);

    for (const Fund* f : checked) {
        SCOPED_TRACE(f->code);
        // The program asks with a trailing blank, which arrives as %20.
        const Reply profile = fetch("/jbgk_" + f->code + ".html%20");
        ASSERT_EQ(profile.status, 200);
        EXPECT_NE(profile.body.substr(0, 1024).find("charset=utf-8"), std::string::npos);
        EXPECT_EQ(cutBetween(profile.body, "<tr><th>资产规模</th><td>", "亿元（截止至"),
                  f->assetHundredths < 0 ? std::string("---") : fixedHundredths(f->assetHundredths));

        const Reply managers = fetch("/jjjl_" + f->code + ".html");
        const auto rows = matchesOf(managers.body, "<th>任职期间</th><th>任职回报</th></tr></thead><tbody><tr><td>.*?"
                                                   "</a> </td><td>.*?</td></tr>");
        ASSERT_EQ(rows.size(), 1u);
        const std::string tenure = cutBetween(cutBetween(rows[0], "</td><td class=", "</tr>"), ">", "</td>");
        EXPECT_EQ(tenure, market().tenures(*f).front().result);
        EXPECT_TRUE(tenure == "--" || tenure.back() == '%') << tenure;

        const Reply risk = fetch("/tsdata_" + f->code + ".html%20");
        const RiskFigures expected = market().risk(*f);
        const std::string deviation = cutBetween(risk.body, "标准差</td><td class='num'>", "%</td><td class='");
        // A missing one-year figure leaves no "%" cell to stop at: the cut comes back empty.
        EXPECT_EQ(deviation, expected.deviation[0] == "--" ? "" : expected.deviation[0].substr(0, expected.deviation[0].size() - 1));
        EXPECT_EQ(cutBetween(risk.body, "夏普比率</td><td class='num'>", "</td><td class='num'>"), expected.sharpe[0]);
        EXPECT_NE(risk.body.find("</tr>\r\n<tr><td>夏普比率"), std::string::npos);
    }
    EXPECT_EQ(fetch("/jbgk_999999.html%20").status, market().fund("999999") ? 200 : 404);
    EXPECT_EQ(fetch("/no/such/page").status, 404);
}

TEST_F(SampleAnswers, FundPageMarkersYieldTheSummary)
{
    const Period columns[] = {Week, Month, ThreeMonths, SixMonths, YearToDate, OneYear, TwoYears, ThreeYears};
    auto funds = fundsWhere([](const Fund&) { return true; }, 30);
    for (const Fund* f : fundsWhere([](const Fund& f) { return f.ageDays < 300; }, 5))
        funds.push_back(f);
    for (const Fund* f : funds) {
        SCOPED_TRACE(f->code);
        const Reply page = fetch("/" + f->code + ".html?spm=search%20");
        ASSERT_EQ(page.status, 200);
        EXPECT_NE(page.body.substr(0, 1024).find("charset=utf-8"), std::string::npos);

        const std::string row = cutBetween(page.body,
                                           "<div class=\"typeName\">阶段涨幅</div></td><td>  <div class=\"Rdata ui-color",
                                           "</td> </tr><tr><td>  <div class=\"typeName\">同类平均<div class=");
        const auto cells = matchesOf(row, "bold\">.*?</div>");
        ASSERT_EQ(cells.size(), 8u);
        for (size_t k = 0; k < 8; ++k) {
            const std::string text = cells[k].substr(6, cells[k].size() - 12);
            EXPECT_EQ(text, percentText(f->returns[columns[k]])) << k;
        }

        const std::string block = cutBetween(page.body, "单位净值</a></span> (</span>", "</span></dd><dd><span>近3月");
        EXPECT_EQ(block.substr(0, block.find(")</p></dt><dd class")), market().figureDate());
        EXPECT_EQ(cutBetween(block, "ui-num\">", "</span><span class="), fixedText(f->navTenThousandths / 10000.0, 4));
        EXPECT_EQ(textAfterLast(textAfterLast(block, "</span><span class="), "\">"),
                  fixedHundredths(f->returns[Day]) + "%");
        EXPECT_EQ(textAfterLast(cutBetween(page.body, "基金类型：<", "</a>&nbsp"), ">"), Market::typeName(f->kind));
    }
}

// ---------------------------------------------------------------- holdings and quotes

TEST_F(SampleAnswers, HoldingsListTheStocksTheQuoteServiceNames)
{
    auto funds = fundsWhere([&](const Fund& f) { return market().holdingQuarters(f) > 0; }, 6);
    for (const Fund* f : fundsWhere([&](const Fund& f) { return f.kind == FundKind::Qdii && market().holdingQuarters(f) > 0; }, 2))
        funds.push_back(f);
    ASSERT_GE(funds.size(), 4u);
    bool sawHongKong = false;
    for (const Fund* f : funds) {
        SCOPED_TRACE(f->code);
        const std::string path = "/FundArchivesDatas.aspx?type=jjcc&code=" + f->code + "&topline=10&year=&month=&rt=";
        const Reply first = fetch(path + "0.12776095035691926");
        ASSERT_EQ(first.body.rfind("var apidata={ content:\"<div class='box'>", 0), 0u);
        EXPECT_EQ(matchesOf(first.body, "<div class='box'>").size(), size_t(market().holdingQuarters(*f)));
        const std::string ids = cutBetween(first.body, "<div class='hide' id='gpdmList'>", ",</div>");
        const auto idList = splitFields(ids);
        ASSERT_EQ(idList.size(), 10u);

        const Reply quotes = fetch("/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb="
                                   "jQuery18306105309008007134_1628074711632&ut=9c41e07d5b2a4f8e63d1a7b0c5e9f214&secids="
                                   + ids + ",&_=1628074711810");
        EXPECT_EQ(quotes.body.rfind("jQuery18306105309008007134_1628074711632({\"rc\":0,", 0), 0u);
        const json q = json::parse(cutBetween(quotes.body, "(", ")"), nullptr, false);
        ASSERT_FALSE(q.is_discarded()) << quotes.body;
        ASSERT_EQ(q["data"]["diff"].size(), 10u);
        for (size_t k = 0; k < 10; ++k) {
            const auto& item = q["data"]["diff"][k];
            const std::string code = idList[k].substr(idList[k].find('.') + 1);
            EXPECT_EQ(item["f12"], code);
            sawHongKong = sawHongKong || idList[k].rfind("116.", 0) == 0;
            if (idList[k].rfind("116.", 0) == 0) {
                EXPECT_EQ(code.size(), 5u);
            }
            std::vector<std::string> keys;
            for (auto it = item.begin(); it != item.end(); ++it)
                keys.push_back(it.key());
            EXPECT_EQ(keys, (std::vector<std::string>{"f12", "f14", "f2", "f3", "f9"})); // json sorts keys
        }
        const std::string firstItem = cutBetween(quotes.body, "\"diff\":[", "}");
        EXPECT_EQ(firstItem.rfind("{\"f2\":", 0), 0u);
        EXPECT_LT(firstItem.find("\"f9\":"), firstItem.find("\"f12\":"));

    }
    EXPECT_TRUE(sawHongKong);

    const auto bond = fundsWhere([](const Fund& f) { return f.kind == FundKind::LongBond; }, 1);
    ASSERT_EQ(bond.size(), 1u);
    EXPECT_EQ(fetch("/FundArchivesDatas.aspx?type=jjcc&code=" + bond[0]->code + "&topline=10&year=&month=&rt=0.1").body,
              "var apidata={ content:\"\",arryear:[],curyear:2026};");
}

TEST_F(SampleAnswers, HoldingsRowsTakeTheLayoutOfTheirFund)
{
    // The end of a row from 行情 on, per layout; group 1 is the share.
    const std::string number = "[0-9][0-9,]*\\.[0-9]{2}";
    const std::string share = "([0-9]+\\.[0-9]{2}%)";
    auto tail = [&](const char* links, const char* cls, bool full) {
        std::string t = std::string(links) + "</td><td class='" + cls + "'>" + share + "</td>";
        if (full)
            t += std::string("<td class='") + cls + "'>" + number + "</td><td class='" + cls + "'>" + number + "</td>";
        return t + "</tr>$";
    };
    const std::string classic = tail("'>行情</a>", "tor", true);
    const std::string hidden = tail("' >行情</a><a href='/PC_HSF10/OperationsRequired/Index\\?type=web&code=(?:sh|sz|hk)\\d+' "
                                    "style='display:none'>档案</a>", "tor", true);
    const std::string hongKong = tail("' >行情</a>", "toc", true);
    const std::string shareOnly = tail("' >行情</a>", "tor", false);
    struct Case {
        HoldingsLayout layout;
        std::string aShareRow, hongKongRow;
        bool fullHeader;
    };
    const Case cases[] = {
        {HoldingsLayout::Classic, classic, classic, true},
        {HoldingsLayout::HiddenLink, hidden, hidden, true},
        {HoldingsLayout::HongKongCells, classic, hongKong, true},
        {HoldingsLayout::ShareOnly, shareOnly, shareOnly, false},
    };
    for (const Case& c : cases) {
        const auto funds = fundsWhere(
            [&](const Fund& f) { return Market::holdingsLayout(f) == c.layout && market().holdingQuarters(f) > 0; }, 3);
        ASSERT_EQ(funds.size(), 3u);
        size_t hongKongRows = 0;
        for (const Fund* f : funds) {
            SCOPED_TRACE(f->code);
            const std::string body = fetch("/FundArchivesDatas.aspx?type=jjcc&code=" + f->code
                                           + "&topline=10&year=&month=&rt=0.3101008041112001")
                                         .body;
            const auto boxes = piecesOf(body, "<div class='box'>", "</tbody></table>");
            ASSERT_EQ(boxes.size(), size_t(market().holdingQuarters(*f)));
            for (size_t q = 0; q < boxes.size(); ++q) {
                EXPECT_EQ(boxes[q].find("持仓市值") != std::string::npos, c.fullHeader);
                const auto rows = piecesOf(textAfterLast(boxes[q], "<tbody>"), "<tr><td>", "</tr>");
                const auto holdings = market().holdings(*f, int(q));
                ASSERT_EQ(rows.size(), holdings.size());
                for (size_t k = 0; k < rows.size(); ++k) {
                    const Stock& stock = market().stocks()[size_t(holdings[k].stock)];
                    const bool hk = stock.market == 116;
                    hongKongRows += hk;
                    std::smatch m;
                    ASSERT_TRUE(std::regex_search(rows[k], m, std::regex(hk ? c.hongKongRow : c.aShareRow))) << rows[k];
                    EXPECT_EQ(m[1].str(), fixedText(holdings[k].share, 2) + "%");
                    EXPECT_NE(rows[k].find(">" + stock.code + "</a></td><td class='tol'><a "), std::string::npos);
                    if (c.layout == HoldingsLayout::HiddenLink) {
                        const std::string prefixed = (stock.market == 1 ? "sh" : stock.market == 0 ? "sz" : "hk") + stock.code;
                        EXPECT_NE(rows[k].find("<a href='/" + prefixed + ".html' >行情</a><a href='/PC_HSF10/OperationsRequired/"
                                               "Index?type=web&code=" + prefixed + "' style"),
                                  std::string::npos) << rows[k];
                    }
                    // Only the latest quarter has quote cells; Hong Kong cells show "--".
                    const bool tocCells = c.layout == HoldingsLayout::HongKongCells && hk;
                    if (tocCells) {
                        EXPECT_NE(rows[k].find("<td class='xglj'><a href='/interface/GetList.aspx?code=116." + stock.code
                                               + "' >股吧</a>"),
                                  std::string::npos);
                    }
                    const std::string quoteCell = tocCells
                        ? "<td class='toc' ><span data-id='zd" + stock.code + "'>--</span></td><td class='xglj'>"
                        : "<td class='tor'><span data-id='zd" + stock.code + "'></span></td><td class='xglj'>";
                    EXPECT_EQ(rows[k].find(quoteCell) != std::string::npos, q == 0) << rows[k];
                }
            }
        }
        if (c.layout == HoldingsLayout::HongKongCells) {
            EXPECT_GE(hongKongRows, 3u);
        }
    }
}

TEST_F(SampleAnswers, QuotesForNoValidStockOrASuspendedOne)
{
    const std::string base = "/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb=cb&secids=";
    for (const std::string& ids : {std::string(","), std::string("9.600519,1.ABC,"), std::string("")}) {
        const Reply r = fetch(base + ids + "&_=1");
        EXPECT_EQ(r.body.rfind("cb({\"rc\":102,", 0), 0u) << ids;
        EXPECT_NE(r.body.find("\"data\":null"), std::string::npos);
    }
    const Stock* suspended = nullptr;
    for (const Stock& s : market().stocks())
        suspended = s.suspended && !suspended ? &s : suspended;
    ASSERT_NE(suspended, nullptr);
    const Reply r = fetch(base + suspended->id() + ",&_=1");
    EXPECT_NE(r.body.find("{\"f2\":\"-\",\"f3\":\"-\","), std::string::npos) << r.body;
}

// ---------------------------------------------------------------- sectors, comparison, search

TEST_F(SampleAnswers, SectorsAreRankedByTheAskedPeriod)
{
    const std::string callback = "jQuery18304518781773802629_1629802165289";
    std::set<std::string> codesFirstTime;
    for (const char* key : {"SYL_W", "SYL_M", "SYL_Q", "SYL_1N"}) {
        const Reply r = fetch("/ztjj/GetZTJJList?callback=" + callback + "&tt=0&dt=syl&st=" + key + "&_=1629802165339");
        const json doc = json::parse(cutBetween(r.body, callback + "(", "})") + "}", nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << r.body.substr(0, 200);
        ASSERT_EQ(doc["Data"].size(), market().sectors().size());
        EXPECT_EQ(doc["TotalCount"], market().sectors().size());
        std::set<std::string> codes;
        bool inMissingTail = false;
        double previous = 1e9;
        for (const auto& s : doc["Data"]) {
            const std::string code = s["BKCode"];
            EXPECT_EQ(code.rfind("BK0", 0), 0u);
            codes.insert(code);
            if (!s[key].is_number()) {
                EXPECT_TRUE(s[key].is_null() || s[key] == "--");
                inMissingTail = true;
                continue;
            }
            EXPECT_FALSE(inMissingTail) << key;
            EXPECT_LE(s[key].get<double>(), previous) << key;
            previous = s[key].get<double>();
        }
        if (codesFirstTime.empty())
            codesFirstTime = codes;
        EXPECT_EQ(codes, codesFirstTime);
    }
}

TEST_F(SampleAnswers, ComparisonSeriesHoldAPointPerTradingDay)
{
    const auto old = fundsWhere([](const Fund& f) { return f.ageDays > 800; }, 2);
    ASSERT_EQ(old.size(), 2u);
    const std::string a = old[0]->code;
    const std::string b = old[1]->code;
    const std::pair<const char*, size_t> periods[] = {{"week", 6},   {"month", 23},   {"threemonth", 66},
                                                      {"sixmonth", 126}, {"year", 251}, {"twoyear", 501},
                                                      {"threeyear", 751}};
    for (const auto& [period, points] : periods) {
        SCOPED_TRACE(period);
        const Reply r = fetch("/FundCompare/LJSYL?bzdm=" + a + "," + b + "&c=" + period
                              + "&callback=jQuery18307015471687350752&_=1628388758953");
        EXPECT_EQ(r.body.rfind("jQuery18307015471687350752({\"Data\":\"{\\\"graph\\\":[", 0), 0u);
        std::string section = cutBetween(r.body, "\\\"dataProvider\\\": [", "]}\",\"ErrCode\"");
        section.erase(std::remove(section.begin(), section.end(), '\\'), section.end());
        const auto matches = matchesOf(section, "\\{ \"date\": \".*?\\}");
        ASSERT_EQ(matches.size(), points);
        EXPECT_EQ(matches.front().find("\",\"" + a + "\":0.00,\"" + b + "\":0.00}") != std::string::npos, true)
            << matches.front();
        EXPECT_EQ(cutBetween(matches.back(), "{ \"date\": \"", "\",\""),
                  dateText(market().civilDay(market().lastDay()), '/'));
        if (std::string(period) == "week") {
            EXPECT_EQ(cutBetween(matches.back(), a + "\":", ",\""), fixedHundredths(old[0]->returns[Week]));
            EXPECT_EQ(cutBetween(matches.back(), b + "\":", "}"), fixedHundredths(old[1]->returns[Week]));
        }
    }

    const Reply unknown = fetch("/FundCompare/LJSYL?bzdm=" + a + ",99999x&c=year&callback=cb&_=1");
    const json err = json::parse(cutBetween(unknown.body, "cb(", ")"), nullptr, false);
    ASSERT_FALSE(err.is_discarded());
    EXPECT_NE(err["ErrCode"], 0);
    EXPECT_EQ(unknown.body.find("dataProvider"), std::string::npos);
}

TEST_F(SampleAnswers, NavHistoryPagesNewestFirstForItsOwnPageOnly)
{
    const auto old = fundsWhere([](const Fund& f) { return f.ageDays > 600 && !Market::paysDividends(f); }, 1);
    ASSERT_EQ(old.size(), 1u);
    const std::string code = old[0]->code;
    const httplib::Headers fromNavPage = {{"Referer", "http://fund.example/jjjz_" + code + ".html"}};
    auto history = [&](const std::string& query, const httplib::Headers& headers) {
        const Reply r = get(s_port, "/f10/lsjz?callback=jQuery1830_1&fundCode=" + code + "&" + query + "&_=1", 5,
                            headers);
        EXPECT_EQ(r.body.rfind("jQuery1830_1(", 0), 0u) << r.body.substr(0, 60);
        return json::parse(cutBetween(r.body, "jQuery1830_1(", ")"), nullptr, false);
    };

    // Without the NAV page as referrer the service refuses.
    const json refused = history("pageIndex=1&pageSize=20&startDate=&endDate=", {});
    EXPECT_EQ(refused["ErrCode"], -999);
    EXPECT_EQ(refused["Data"], "");

    // Around the October holiday: Mon 29 and Tue 30 September, then Thursday
    // 9 and Friday 10 October; Saturday the 11th was worked, but not by funds.
    const json around = history("pageIndex=1&pageSize=20&startDate=2025-09-29&endDate=2025-10-12", fromNavPage);
    EXPECT_EQ(around["TotalCount"], 4);
    std::vector<std::string> dates;
    for (const json& row : around["Data"]["LSJZList"])
        dates.push_back(row["FSRQ"]);
    EXPECT_EQ(dates, (std::vector<std::string>{"2025-10-10", "2025-10-09", "2025-09-30", "2025-09-29"}));

    // Whole history: 20 to a page, newest first, the last page partly full.
    const json first = history("pageIndex=1&pageSize=20&startDate=&endDate=", fromNavPage);
    const int total = first["TotalCount"];
    EXPECT_EQ(total, old[0]->ageDays + 1);
    ASSERT_EQ(first["Data"]["LSJZList"].size(), 20u);
    const json& newest = first["Data"]["LSJZList"][0];
    EXPECT_EQ(newest["FSRQ"], "2026-12-04");
    EXPECT_EQ(newest["DWJZ"], fixedText(double(old[0]->navTenThousandths) / 10000.0, 4));
    EXPECT_EQ(newest["JZZZL"], fixedHundredths(old[0]->returns[Day]));
    EXPECT_EQ(newest["FHSP"], "");
    const int lastPage = (total + 19) / 20;
    const json last = history("pageIndex=" + std::to_string(lastPage) + "&pageSize=20&startDate=&endDate=",
                              fromNavPage);
    ASSERT_EQ(last["Data"]["LSJZList"].size(), size_t(total - (lastPage - 1) * 20));
    EXPECT_EQ(last["Data"]["LSJZList"].back()["JZZZL"], ""); // the first day has no change
}

TEST_F(SampleAnswers, NavHistorySpellsDividendsSplitsAndMoneyFunds)
{
    auto rowsOf = [](const std::string& code) {
        const Reply r = get(s_port, "/f10/lsjz?fundCode=" + code + "&pageIndex=1&pageSize=20&startDate=&endDate=", 5,
                            {{"Referer", "http://fund.example/jjjz_" + code + ".html"}});
        const json page = json::parse(r.body, nullptr, false);
        std::vector<json> rows;
        const int pages = (int(page["TotalCount"]) + 19) / 20;
        for (int p = 1; p <= pages; ++p) {
            const Reply rp = get(s_port, "/f10/lsjz?fundCode=" + code + "&pageIndex=" + std::to_string(p)
                                     + "&pageSize=20&startDate=&endDate=", 5,
                                 {{"Referer", "http://fund.example/jjjz_" + code + ".html"}});
            const json part = json::parse(rp.body);
            for (const json& row : part["Data"]["LSJZList"])
                rows.push_back(row);
        }
        return rows;
    };
    const auto payers = fundsWhere([](const Fund& f) { return Market::paysDividends(f) && f.ageDays > 400; }, 1);
    ASSERT_EQ(payers.size(), 1u);
    int dividends = 0;
    for (const json& row : rowsOf(payers[0]->code)) {
        const std::string event = row["FHSP"];
        if (event.empty())
            continue;
        ++dividends;
        // "每份派现金0.0350元" with FHFCZ "0.035" and kind "0".
        const std::string cash = cutBetween(event, "每份派现金", "元");
        ASSERT_EQ(event, "每份派现金" + cash + "元");
        ASSERT_EQ(cash.size(), 6u) << event;
        std::string alone = cash;
        while (alone.back() == '0')
            alone.pop_back();
        EXPECT_EQ(row["FHFCZ"], alone);
        EXPECT_EQ(row["FHFCBZ"], "0");
    }
    EXPECT_GE(dividends, 1);

    const Fund& splitter = market().funds()[size_t(market().splitFund())];
    int splits = 0;
    for (const json& row : rowsOf(splitter.code)) {
        if (row["FHSP"] == "")
            continue;
        ++splits;
        EXPECT_EQ(row["FHSP"], "每份基金份额折算1.0234567份");
        EXPECT_EQ(row["FHFCZ"], "1.0234567");
        EXPECT_EQ(row["FHFCBZ"], "1");
        EXPECT_EQ(row["FSRQ"], dateText(market().civilDay(market().splitDay()), '-'));
    }
    EXPECT_EQ(splits, 1);

    const std::vector<json> money = rowsOf(market().moneyFundCode());
    ASSERT_GT(money.size(), 250u);
    for (const json& row : money) {
        EXPECT_EQ(row["DWJZ"], "");
        EXPECT_EQ(row["JZZZL"], "");
    }
}

TEST_F(SampleAnswers, SearchMatchesCodeNameAndInitials)
{
    const std::string callback = "jQuery18304481644478480933_1628571546744";
    auto search = [&](const std::string& key) {
        const Reply r = fetch("/FundSearch/api/FundSearchAPI.ashx?callback=" + callback + "&m=1&key=" + key
                              + "&_=1628571587137");
        const json doc = json::parse(cutBetween(r.body, callback + "(", "]})") + "]}", nullptr, false);
        EXPECT_FALSE(doc.is_discarded()) << r.body.substr(0, 200);
        EXPECT_LE(doc["Datas"].size(), 10u);
        return doc["Datas"];
    };

    const Fund& sample = market().funds()[market().funds().size() / 2];
    const json byCode = search(sample.code.substr(0, 3));
    ASSERT_FALSE(byCode.empty());
    size_t fundsByCode = 0;
    for (const auto& d : byCode) {
        EXPECT_EQ(d["_id"].get<std::string>().rfind(sample.code.substr(0, 3), 0), 0u);
        const bool fund = d["CATEGORYDESC"] == "基金";
        EXPECT_EQ(d["CATEGORY"], fund ? 700 : 14);
        fundsByCode += fund;
    }
    EXPECT_GE(fundsByCode, 7u);

    // 中证 as the program sends it: UTF-8, percent-encoded.
    const json byName = search("%E4%B8%AD%E8%AF%81");
    ASSERT_FALSE(byName.empty());
    for (const auto& d : byName)
        EXPECT_NE(d["NAME"].get<std::string>().find("中证"), std::string::npos);

    std::string lower = sample.initials;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const json byInitials = search(lower);
    ASSERT_FALSE(byInitials.empty());
    EXPECT_EQ(byInitials[0]["JP"].get<std::string>().rfind(sample.initials, 0), 0u);

    EXPECT_TRUE(search("").empty());
}

// ---------------------------------------------------------------- step service, shareholder page

TEST_F(SampleAnswers, SearchAnswersStocksBeforeFunds)
{
    auto search = [&](const std::string& key) {
        const Reply r = fetch("/FundSearch/api/FundSearchAPI.ashx?callback=cb&m=1&key=" + key + "&_=1628571587137");
        const json doc = json::parse(cutBetween(r.body, "cb(", "]})") + "]}", nullptr, false);
        EXPECT_FALSE(doc.is_discarded()) << r.body.substr(0, 200);
        return doc["Datas"];
    };
    // key, the stocks expected first, whether funds follow
    const struct {
        std::string key;
        std::vector<std::string> stocks;
        bool funds;
    } cases[] = {
        {"%E8%B4%B5%E5%B7%9E%E8%8C%85%E5%8F%B0", {"600519"}, false}, // 贵州茅台
        {"600519", {"600519"}, false},
        {"600", {"600519", "600036", "600809"}, false}, // a few stocks at most
        {"%E6%8B%9B%E5%95%86", {"600036"}, true}, // 招商: a bank and a fund company
        {"%E4%B8%AD%E8%AF%81", {}, true},         // 中证: funds only
        {"%E8%85%BE%E8%AE%AF%E6%8E%A7%E8%82%A1", {}, false}, // 腾讯控股: Hong Kong stocks are not listed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const json datas = search(c.key);
        ASSERT_GE(datas.size(), c.stocks.size());
        EXPECT_LE(datas.size(), 10u);
        for (size_t k = 0; k < c.stocks.size(); ++k) {
            EXPECT_EQ(datas[k]["CODE"], c.stocks[k]);
            EXPECT_EQ(datas[k]["_id"], c.stocks[k]);
            EXPECT_EQ(datas[k]["CATEGORY"], 14);
            EXPECT_EQ(datas[k]["CATEGORYDESC"], "A股");
            EXPECT_EQ(datas[k]["NAME"], market().stockByCode(c.stocks[k])->name);
        }
        size_t funds = 0;
        for (size_t k = c.stocks.size(); k < datas.size(); ++k) {
            EXPECT_EQ(datas[k]["CATEGORYDESC"], "基金");
            EXPECT_TRUE(market().fund(datas[k]["CODE"].get<std::string>()));
            ++funds;
        }
        EXPECT_EQ(funds > 0, c.funds);
    }
}

// ---------------------------------------------------------------- step service, shareholder page

TEST_F(SampleAnswers, StepServiceAcceptsOnlyTheConfiguredAccount)
{
    const std::string accepted = "{\"code\":1,\"message\":\"\\u4fee\\u6539\\u6210\\u529f\\uff0c\\u6b65\\u6570\\uff1a20000\"}";
    const std::string refused = "{\"code\":0,\"message\":\"账号或密码错误\"}";
    const std::string badSteps = "{\"code\":0,\"message\":\"步数错误\"}";
    const std::pair<const char*, const std::string*> cases[] = {
        {"usr=walker&psw=p@ss&bs=20000", &accepted},         // plain values
        {"usr=walker&psw=p%40ss&bs=20000", &accepted},       // percent-encoded
        {"usr=%77%61%6c%6b%65%72&psw=p%40ss&bs=20000", &accepted}, // lower-case hex
        {"usr=walker&psw=p%40ss&bs=%32%30%30%30%30", &accepted},
        {"usr=walker&psw=p%40ss&bs=2x", &badSteps},
        {"usr=walker&psw=p%40ss&bs=1234567", &badSteps},
        {"usr=walker&psw=p%40sx&bs=20000", &refused},
        {"usr=walker&psw=p@sx&bs=20000", &refused},
        {"usr=&psw=&bs=", &refused},
        {"usr=walker", &refused},
        {"garbage", &refused},
    };
    for (const auto& [body, expected] : cases)
        EXPECT_EQ(post(s_port, "/xm/app/ajax.php?c=add%20", body).body, *expected) << body;
}

TEST(SampleStepService, DecodesGbkBytesAndBlanks)
{
    SampleOptions options;
    options.funds = 0;
    options.stepAccount = "张三";
    options.stepPassword = "my pass+1";
    SampleService service(options);
    const int port = service.start();
    ASSERT_GT(port, 0);
    const std::pair<const char*, int> cases[] = {
        {"usr=%D5%C5%C8%FD&psw=my+pass%2B1&bs=100", 1},   // 张三 in GBK, '+' for the blank
        {"usr=%d5%c5%c8%fd&psw=my%20pass%2b1&bs=100", 1}, // lower-case hex, %20
        {"usr=张三&psw=my pass+1&bs=100", 1},              // as typed
        {"usr=%E5%BC%A0%E4%B8%89&psw=my+pass%2B1&bs=100", 1}, // UTF-8 bytes
        {"usr=%D5%C5%C8%FD&psw=my+pass+1&bs=100", 0},     // '+' is a blank, not a plus
        {"usr=%D5%C5&psw=my+pass%2B1&bs=100", 0},
    };
    for (const auto& [body, code] : cases) {
        const json reply = json::parse(post(port, "/xm/app/ajax.php?c=add%20", body).body, nullptr, false);
        ASSERT_FALSE(reply.is_discarded()) << body;
        EXPECT_EQ(reply["code"], code) << body;
    }
}

TEST_F(SampleAnswers, ShareholderPageForEveryCodeLinksHereAndElsewhere)
{
    const Stock& known = market().stocks().front();
    const std::string codes[] = {known.code, "00700", "777777", "000001"};
    for (const std::string& code : codes) {
        SCOPED_TRACE(code);
        const Reply r = fetch("/gdhs/detail/" + code + ".html");
        ASSERT_EQ(r.status, 200);
        EXPECT_NE(r.body.substr(0, 1024).find("charset=utf-8"), std::string::npos);
        EXPECT_NE(r.body.find(code), std::string::npos);
        if (const Stock* s = market().stockByCode(code)) {
            EXPECT_NE(r.body.find(s->name), std::string::npos);
            EXPECT_NE(r.body.find("<table id=\"gdhs\">"), std::string::npos);
        }
        // Exactly two links: one on this host, one leaving it; nothing loaded from outside.
        const auto links = matchesOf(r.body, "<a [^>]*href=\"[^\"]*\"");
        ASSERT_EQ(links.size(), 2u);
        EXPECT_NE(links[0].find("href=\"/\""), std::string::npos) << links[0];
        EXPECT_NE(links[1].find("href=\"http://example.invalid/"), std::string::npos) << links[1];
        EXPECT_EQ(r.body.find("src="), std::string::npos);
        EXPECT_EQ(r.body.find("https:"), std::string::npos);
    }
    EXPECT_EQ(fetch("/").status, 200); // where the link on this host leads
    for (const char* path : {"/gdhs/detail/abc.html", "/gdhs/detail/1234.html", "/gdhs/detail/6005190.html"})
        EXPECT_EQ(fetch(path).status, 404) << path;
}

} // namespace
