#include "funds/FundProfileFetch.h"

#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/RegexMatcher.h"
#include "text/TextOps.h"

namespace fw {

namespace {

struct Markers {
    Text assetFront = gbk("<tr><th>资产规模</th><td>");
    Text assetBack = gbk("亿元（截止至");
    Text managerRow = gbk("<th>任职期间</th><th>任职回报</th></tr></thead><tbody><tr><td>.*?</a> </td><td>.*?</td></tr>");
    Text deviationFront = gbk("标准差</td><td class='num'>");
    Text sharpeFront = gbk("夏普比率</td><td class='num'>");
};

const Markers& markers()
{
    static const Markers m;
    return m;
}

// The first figure cell after a row label: its text up to the cell's end.
Text firstFigureCell(std::string_view page, const Text& front)
{
    return cutBetween(page, front, "</td>");
}

} // namespace

Text cutAssetSize(std::string_view basicPage)
{
    return cutBetween(basicPage, markers().assetFront, markers().assetBack);
}

Text cutTenureReturn(std::string_view managerPage)
{
    // The first row of the manager table; in it the first cell with a class.
    RegexMatcher matcher;
    if (!matcher.search(markers().managerRow, managerPage))
        return {};
    const Text row = matcher.matchText(1);
    return cutBetween(cutBetween(row, "</td><td class=", "</tr>"), ">", "</td>");
}

Text cutDeviation(std::string_view riskPage)
{
    // Only this one cell: a "--" has no "%" to end a cut at.
    Text value = firstFigureCell(riskPage, markers().deviationFront);
    if (!value.empty() && value.back() == '%')
        value.pop_back();
    return value;
}

Text cutSharpe(std::string_view riskPage) { return firstFigureCell(riskPage, markers().sharpeFront); }

FundProfileFetch::FundProfileFetch(std::string_view code, int timeoutSeconds, const RetryPolicy* retry)
    : m_code(code), m_timeoutSeconds(timeoutSeconds), m_retry(retry)
{
}

Text FundProfileFetch::basicPath(std::string_view code) { return "/jbgk_" + Text(code) + ".html "; }
Text FundProfileFetch::managerPath(std::string_view code) { return "/jjjl_" + Text(code) + ".html"; }
Text FundProfileFetch::riskPath(std::string_view code) { return "/tsdata_" + Text(code) + ".html "; }

Text FundProfileFetch::page(const Text& path, int& failedPages) const
{
    HttpRequestOptions options;
    options.timeoutSeconds = m_timeoutSeconds;
    // The pages declare their charset: fetch hands them over as GBK.
    Text text = fetchMaybeRetrying(serviceHosts().url(HostRole::FundArchive, path), options, m_retry);
    if (!fetchSucceeded(options))
        ++failedPages;
    return text;
}

FundProfile FundProfileFetch::run(const FigureSink& sink) const
{
    FundProfile profile;
    auto tell = [&sink](int column, const Text& value) { return !sink || sink(column, value); };

    profile.assetSize = cutAssetSize(page(basicPath(m_code), profile.failedPages));
    if (!tell(kAssetSizeColumn, profile.assetSize))
        return profile;
    profile.tenureReturn = cutTenureReturn(page(managerPath(m_code), profile.failedPages));
    if (!tell(kTenureReturnColumn, profile.tenureReturn))
        return profile;
    const Text risk = page(riskPath(m_code), profile.failedPages);
    profile.deviation = cutDeviation(risk);
    if (!tell(kDeviationColumn, profile.deviation))
        return profile;
    profile.sharpe = cutSharpe(risk);
    tell(kSharpeColumn, profile.sharpe);
    return profile;
}

} // namespace fw
