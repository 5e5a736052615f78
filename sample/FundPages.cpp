// HTML pages of the fund archive (basic profile, managers, risk figures),
// the fund page and the stock shareholder page. The program cuts these pages
// at fixed markers, so the rows it reads keep the service's exact spelling:
// spacing, quote characters, full-width punctuation and unclosed cells.
#include "sample/Answers.h"

#include "sample/Format.h"
#include "sample/Market.h"
#include "sample/NameTables.h"
#include "sample/Prng.h"

#include <cmath>

namespace fw::sample {

namespace {

const char* const kHtml = "text/html; charset=utf-8";

// The charset declaration must stay within the first 1024 bytes.
std::string pageHead(const std::string& title)
{
    return "<!DOCTYPE html>\n<html>\n<head>\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n<title>"
        + title
        + "</title>\n<style type=\"text/css\">body{font:12px/1.6 sans-serif;color:#333}"
          "table{border-collapse:collapse}th,td{border:1px solid #e1e1e1;padding:3px 8px}"
          ".ui-color-red{color:#e4393c}.ui-color-green{color:#090}.tor{text-align:right}.hide{display:none}"
          "</style>\n</head>\n";
}

std::string colourOf(int64_t hundredths)
{
    if (hundredths == kNoFigure || hundredths == 0)
        return {};
    return hundredths > 0 ? "ui-color-red" : "ui-color-green";
}

std::string percentOrDashes(int32_t hundredths)
{
    return hundredths == kNoFigure ? std::string("--") : fixedHundredths(hundredths) + "%";
}

std::string assetText(const Fund& f)
{
    return f.assetHundredths < 0 ? std::string("---") : fixedHundredths(f.assetHundredths);
}

std::string shareText(const Fund& f)
{
    if (f.assetHundredths < 0 || f.navTenThousandths <= 0)
        return "---";
    return fixedText(double(f.assetHundredths) / 100.0 / (double(f.navTenThousandths) / 10000.0), 2);
}

std::string fullNameOf(const Fund& f)
{
    std::string base = f.name;
    if (!base.empty() && (base.back() == 'A' || base.back() == 'C'))
        base.pop_back();
    return base + "证券投资基金";
}

std::string managerLinks(const Tenure& t, const char* separator)
{
    std::string out;
    for (size_t i = 0; i < t.managers.size(); ++i) {
        if (i > 0)
            out += separator;
        out += "<a href=\"/manager/" + std::to_string(t.managers[i].second) + ".html\">" + t.managers[i].first
            + "</a>";
    }
    return out;
}

std::string tenureLength(const Tenure& t)
{
    const int64_t days = t.toDay - t.fromDay;
    const int64_t years = days / 365;
    return years > 0 ? std::to_string(years) + "年又" + std::to_string(days % 365) + "天"
                     : std::to_string(days) + "天";
}

// The quarter whose report the archive shows: the last one ended before the date of the figures.
std::string quarterEnd(const Market& m, bool chinese)
{
    const std::string year = std::to_string(m.figureYear());
    return chinese ? year + "年09月30日" : year + "-09-30";
}

} // namespace

Answer profilePage(const Market& m, const Fund& f)
{
    const std::vector<Tenure> tenures = m.tenures(f);
    const Tenure& current = tenures.front();
    const int64_t start = m.civilDay(m.firstDayOf(f));
    Prng rng(hashOf(f.seed, 0x6B67));
    const std::string dayClass = colourOf(f.returns[Day]);

    std::string b = pageHead(f.name + "(" + f.code + ")基金基本概况 _ 基金档案");
    b += "<body>\n<div class=\"r_cont right\">\n<div class=\"basic-new\"><div class=\"bs_jz\"><div class=\"col-left\">"
         "<h4 class=\"title\"><a href=\"/" + f.code + ".html\">" + f.name + "</a>&nbsp;&nbsp;<span>" + f.code
        + "</span></h4>\n";
    b += "<p class=\"row row1\"><label class=\"grey\">单位净值（" + m.figureDate() + "）：<b class=\"" + dayClass
        + " lar bold\">" + fixedText(double(f.navTenThousandths) / 10000.0, 4) + " ( "
        + fixedHundredths(f.returns[Day]) + "% )</b></label></p>\n";
    b += "<p class=\"row\"><label>资产规模：<span>" + assetText(f) + "亿元（截止至：09-30）</span></label>"
         "<label>成立日期：<span>" + dateText(start, '-') + "</span></label></p>\n";
    b += "<p class=\"row\"><label>基金经理：<span>" + managerLinks(current, "、") + "</span></label><label>类型：<span>"
        + Market::typeName(f.kind) + "</span></label><label>管理人：<span>" + f.company
        + "基金</span></label></p>\n</div></div></div>\n";

    size_t custodianCount = 0;
    const char* const* banks = custodians(custodianCount);
    const std::string custodian = banks[size_t(rng.below(int(custodianCount)))];
    const std::string initialShares = fixedText(2.0 + 60.0 * rng.uniform(), 2);
    b += "<div class=\"boxitem w790\"><h4 class=\"t\"><label class=\"left\">基本概况</label></h4>\n"
         "<table class=\"info w790\">";
    b += "<tr><th>基金全称</th><td>" + fullNameOf(f) + "</td><th>基金简称</th><td>" + f.name + "</td></tr>\n";
    b += "<tr><th>基金代码</th><td>" + f.code + "（前端）</td><th>基金类型</th><td>" + Market::typeName(f.kind)
        + "</td></tr>\n";
    b += "<tr><th>发行日期</th><td>" + chineseDateText(start - 21) + "</td><th>成立日期/规模</th><td>"
        + chineseDateText(start) + " / " + initialShares + "亿份</td></tr>\n";
    // The asset cell is left unclosed, as the service writes it.
    b += "<tr><th>资产规模</th><td>" + assetText(f) + "亿元（截止至：" + quarterEnd(m, true) + "）<th>份额规模</th><td>"
        + shareText(f) + "亿份（截止至：" + quarterEnd(m, true) + "）</td></tr>\n";
    b += "<tr><th>基金管理人</th><td><a href=\"/company/" + f.code.substr(0, 3) + ".html\">" + f.company
        + "基金</a></td><th>基金托管人</th><td>" + custodian + "</td></tr>\n";
    b += "<tr><th>基金经理人</th><td>" + managerLinks(current, "、") + "</td><th>成立来分红</th><td>每份累计"
        + fixedText(rng.uniform() * 0.8, 2) + "元（" + std::to_string(rng.below(12)) + "次）</td></tr>\n";
    b += "<tr><th>管理费率</th><td>" + std::string(Market::holdsStocks(f.kind) ? "1.20%" : "0.30%")
        + "（每年）</td><th>托管费率</th><td>" + (Market::holdsStocks(f.kind) ? "0.20%" : "0.10%")
        + "（每年）</td></tr>\n";
    b += "<tr><th>业绩比较基准</th><td>" + std::string(Market::holdsStocks(f.kind) ? "沪深300指数收益率×80%+中债综合指数收益率×20%"
                                                                                   : "中债综合全价指数收益率")
        + "</td><th>跟踪标的</th><td>该基金无跟踪标的</td></tr>\n";
    b += "</table></div>\n</div>\n</body>\n</html>\n";
    return {200, kHtml, std::move(b)};
}

Answer managerPage(const Market& m, const Fund& f)
{
    const std::vector<Tenure> tenures = m.tenures(f);
    std::string b = pageHead(f.name + "(" + f.code + ")基金经理 _ 基金档案");
    b += "<body>\n<div class=\"r_cont right\">\n<div class=\"box\"><div class=\"boxitem w790\"><h4 class=\"t\">"
         "<label class=\"left\">基金经理变动一览</label></h4><div class=\"space0\"></div>\n";
    // The whole table on one line: the program matches its first row with a
    // pattern whose "." does not cross line ends.
    b += "<table class=\"w782 comm  jloff\"><thead><tr><th>起始期</th><th>截止期</th><th>基金经理</th><th>任职期间</th>"
         "<th>任职回报</th></tr></thead><tbody>";
    for (const Tenure& t : tenures) {
        b += "<tr><td>" + dateText(t.fromDay, '-') + "</td><td>" + (t.current ? std::string("至今") : dateText(t.toDay, '-'))
            + "</td><td>" + managerLinks(t, "&nbsp;&nbsp;") + " </td><td>" + tenureLength(t) + "</td><td class='tor'>"
            + t.result + "</td></tr>";
    }
    b += "</tbody></table>\n</div></div>\n";
    b += "<div class=\"box\"><div class=\"boxitem w790\"><h4 class=\"t\"><label class=\"left\">现任基金经理简介</label></h4>\n";
    for (const auto& [name, id] : tenures.front().managers) {
        b += "<div class=\"jl_intro\"><div class=\"text\"><p><strong>姓名：</strong><a href=\"/manager/"
            + std::to_string(id) + ".html\">" + name + "</a></p><p><strong>上任日期：</strong>"
            + dateText(tenures.front().fromDay, '-') + "</p><p>" + name
            + "：经济学硕士。曾任研究员、基金经理助理，现任" + f.company + "基金基金经理。</p></div></div>\n";
    }
    b += "</div></div>\n</div>\n</body>\n</html>\n";
    return {200, kHtml, std::move(b)};
}

Answer riskPage(const Market& m, const Fund& f)
{
    const RiskFigures r = m.risk(f);
    std::string b = pageHead(f.name + "(" + f.code + ")特色数据 _ 基金档案");
    b += "<body>\n<div class=\"r_cont right\">\n<div class=\"box\"><div class=\"boxitem w790\"><h4 class=\"t\">"
         "<label class=\"left\">风险指标</label></h4>\n<table class=\"fxtb\">";
    // Rows separated by CR LF, as the service sends them.
    b += "<tr><th>基金风险指标</th><th>近1年</th><th>近2年</th><th>近3年</th></tr>\r\n";
    b += "<tr><td>标准差</td>";
    for (const std::string& v : r.deviation)
        b += "<td class='num'>" + v + "</td>";
    b += "</tr>\r\n<tr><td>夏普比率</td>";
    for (const std::string& v : r.sharpe)
        b += "<td class='num'>" + v + "</td>";
    b += "</tr>\r\n</table>\n<p class=\"tips\">标准差与夏普比率为年化值，依据基金过去一段时间的日收益率计算。</p>\n"
         "</div></div>\n</div>\n</body>\n</html>\n";
    return {200, kHtml, std::move(b)};
}

Answer fundPage(const Market& m, const Fund& f)
{
    const std::vector<Tenure> tenures = m.tenures(f);
    const Tenure& current = tenures.front();
    const int64_t start = m.civilDay(m.firstDayOf(f));
    const std::string date = m.figureDate();
    const std::string nav = fixedText(double(f.navTenThousandths) / 10000.0, 4);
    const std::string dayClass = colourOf(f.returns[Day]);
    Prng rng(hashOf(f.seed, 0xF9A6));
    const double accumulated = double(f.navTenThousandths) / 10000.0 + (f.ageDays > 500 ? rng.uniform() * 1.5 : 0.0);

    auto figureSpan = [](const char* size, int32_t h) {
        return std::string("<span class=\"ui-font-") + size + " " + colourOf(h) + " ui-num\">" + percentOrDashes(h)
            + "</span>";
    };

    std::string b = pageHead(f.name + "(" + f.code + ")基金净值_估值_行情走势");
    b += "<body>\n<div class=\"fundDetail-header\"><div class=\"fundDetail-tit\"><div style=\"float: left\">" + f.name
        + "<span>(</span><span class=\"ui-num\">" + f.code + "</span></div>)</div></div>\n";
    b += "<div class=\"fundDetail-main\"><div class=\"fundInfoItem\"><div class=\"dataOfFund\">\n";
    b += "<dl class=\"dataItem01\"><dt><p><span class=\"sp01\">净值估算</span><span class=\"sp02\">（" + date
        + " 15:00）</span></p></dt><dd class=\"dataNums\"><span class=\"ui-font-large  ui-num\">--</span></dd></dl>\n";
    // The class list without a colour keeps its double space.
    b += "<dl class=\"dataItem02\"><dt><p><span class=\"ui-color-blue\"><span class=\"sp01\"><a href=\"/jjjz_" + f.code
        + ".html\">单位净值</a></span> (</span>" + date + ")</p></dt><dd class=\"dataNums\"><span class=\"ui-font-large "
        + dayClass + " ui-num\">" + nav + "</span><span class=\"ui-font-middle " + dayClass + " ui-num\">"
        + fixedHundredths(f.returns[Day]) + "%</span></dd><dd><span>近3月：</span>"
        + figureSpan("middle", f.returns[ThreeMonths]) + "</dd><dd><span>近3年：</span>"
        + figureSpan("middle", f.returns[ThreeYears]) + "</dd></dl>\n";
    b += "<dl class=\"dataItem03\"><dt><p><span class=\"sp01\">累计净值</span></p></dt><dd class=\"dataNums\">"
         "<span class=\"ui-font-large  ui-num\">"
        + fixedText(accumulated, 4) + "</span></dd><dd><span>近6月：</span>" + figureSpan("middle", f.returns[SixMonths])
        + "</dd><dd><span>成立来：</span>" + figureSpan("middle", f.returns[SinceStart]) + "</dd></dl>\n";
    b += "</div>\n<div class=\"infoOfFund\"><table><tr><td>基金类型：<a href=\"/" + std::string(Market::typeLinkKey(f.kind))
        + "_jzzzl.html\">" + Market::typeName(f.kind) + "</a>&nbsp;&nbsp;|&nbsp;&nbsp;" + Market::riskName(f.kind)
        + "</td><td><a href=\"/gmbd_" + f.code + ".html\">基金规模</a>：" + assetText(f) + "亿元（" + quarterEnd(m, false)
        + "）</td><td>基金经理：<a href=\"/manager/" + std::to_string(current.managers.front().second) + ".html\">"
        + current.managers.front().first + "</a>" + (current.managers.size() > 1 ? "等" : "") + "</td></tr>";
    b += "<tr><td><span class=\"letterSpace01\">成 立 日</span>：" + dateText(start, '-')
        + "</td><td>管 理 人：<a href=\"/company/" + f.code.substr(0, 3) + ".html\">" + f.company
        + "基金</a></td><td>基金评级：<div class=\"jjpj" + std::to_string(f.stars) + "\"></div>"
        + (f.stars > 0 ? std::to_string(f.stars) + "星" : std::string("暂无评级")) + "</td></tr></table></div>\n";
    b += "</div></div>\n";

    static const Period kColumns[] = {Week, Month, ThreeMonths, SixMonths, YearToDate, OneYear, TwoYears, ThreeYears};
    b += "<div class=\"increaseAmount\"><table class=\"ui-table-hover\"><tr><th class=\"first\"></th><th>近1周</th>"
         "<th>近1月</th><th>近3月</th><th>近6月</th><th>今年来</th><th>近1年</th><th>近2年</th><th>近3年</th></tr>";
    auto cell = [](int32_t h, bool bold) {
        const std::string colour = colourOf(h);
        return "<td>  <div class=\"Rdata " + (colour.empty() ? std::string() : colour + " ") + "ui-font-middle"
            + (bold ? " bold" : "") + "\">" + percentOrDashes(h) + "</div></td>";
    };
    b += "<tr><td class=\"first\">  <div class=\"typeName\">阶段涨幅</div></td>";
    for (Period p : kColumns)
        b += cell(f.returns[p], true);
    b += " </tr><tr><td>  <div class=\"typeName\">同类平均<div class=\"typeTips\">同类基金的平均收益率</div></div></td>";
    for (Period p : kColumns)
        b += cell(m.peerAverage(f.kind, p), false);
    b += " </tr><tr><td>  <div class=\"typeName\">沪深300</div></td>";
    for (Period p : kColumns)
        b += cell(m.marketReturn(p), false);
    b += " </tr><tr><td>  <div class=\"typeName\">同类排名</div></td>";
    for (Period p : kColumns) {
        const auto [rank, count] = m.peerRank(f, p);
        b += "<td>  <div class=\"Rdata ui-font-middle\">"
            + (rank > 0 ? std::to_string(rank) + " | " + std::to_string(count) : std::string("--")) + "</div></td>";
    }
    b += " </tr></table></div>\n</body>\n</html>\n";
    return {200, kHtml, std::move(b)};
}

// Every five- or six-digit code has a page, known to the market or not. It
// holds exactly two links: one to this host and one to another host, so the
// program can tell links that stay from links that leave.
Answer shareholderPage(const Market& m, std::string_view code)
{
    if (!isDigits(code) || code.size() < 5 || code.size() > 6)
        return notFound();
    const std::string digits(code);
    const Stock* s = m.stockByCode(code);
    const std::string name = s ? s->name : digits;
    std::string b = pageHead(s ? name + "(" + digits + ")股东户数" : digits + " 股东户数");
    b += "<body style=\"margin:0\">\n"
         "<div class=\"top\" style=\"height:384px;background:#f3f6fb;border-bottom:1px solid #dde3ee\">"
         "<div style=\"padding:16px 24px;font-size:14px;color:#567\"><a id=\"home\" href=\"/\">数据中心</a> &gt; 股东户数 &gt; "
        + name + "</div></div>\n<div class=\"main\" style=\"margin-left:146px;padding:12px\">\n<h2>"
        + (s ? name + "（" + digits + "）" : digits + " ") + "股东户数</h2>\n";
    if (!s) {
        b += "<p>暂无该证券的股东户数数据。</p>\n";
    } else {
        Prng rng(hashOf(s->seed, 0x6D45));
        b += "<p>最新价：<b>" + (s->suspended ? std::string("-") : fixedText(s->price, 2)) + "</b>&nbsp;&nbsp;涨跌幅：<b>"
            + (s->suspended ? std::string("-") : fixedText(s->change, 2) + "%") + "</b>&nbsp;&nbsp;市盈率："
            + fixedText(s->pe, 1) + "</p>\n";
        b += "<table id=\"gdhs\"><thead><tr><th>截止日期</th><th>股东户数(户)</th><th>较上期变化(%)</th>"
             "<th>户均持股数量(股)</th><th>户均持股市值(元)</th><th>公告日期</th></tr></thead><tbody>\n";
        static const unsigned kMonths[] = {9, 6, 3, 12};
        static const unsigned kDays[] = {30, 30, 31, 31};
        double holders = std::round(20000.0 + 600000.0 * rng.uniform());
        const double floatShares = 2e8 + 8e9 * rng.uniform();
        for (int q = 0; q < 8; ++q) {
            const int year = m.figureYear() - (q + 1) / 4;
            const int64_t end = daysFromCivil(year, kMonths[q % 4], kDays[q % 4]);
            const double earlier = std::round(holders * (0.85 + 0.3 * rng.uniform()));
            const double change = (holders - earlier) / earlier * 100.0;
            b += "<tr><td>" + dateText(end, '-') + "</td><td>" + fixedText(holders, 0) + "</td><td class=\"chg\">"
                + fixedText(change, 2) + "</td><td>" + fixedText(floatShares / holders, 0) + "</td><td>"
                + fixedText(floatShares / holders * s->price, 0) + "</td><td>" + dateText(end + 25, '-') + "</td></tr>\n";
            holders = earlier;
        }
        b += "</tbody></table>\n";
    }
    b += "<p style=\"color:#888\">股东户数来源于上市公司定期报告及公告。更多资料见<a id=\"elsewhere\" "
         "href=\"http://example.invalid/gdhs/detail/"
        + digits + ".html\">其他网站</a>。</p>\n</div>\n"
         "<script>(function(){var c=document.querySelectorAll('#gdhs td.chg');for(var i=0;i<c.length;i++){"
         "var v=parseFloat(c[i].textContent);c[i].style.color=v>0?'#e4393c':(v<0?'#090':'');}})();</script>\n"
         "</body>\n</html>\n";
    return {200, kHtml, std::move(b)};
}

} // namespace fw::sample
