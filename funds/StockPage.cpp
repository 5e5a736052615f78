#include "funds/StockPage.h"

#include "net/ServiceHosts.h"
#include "net/UrlParts.h"

#include <algorithm>

namespace fw {

namespace {

Text lowerAscii(std::string_view s)
{
    Text out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return out;
}

} // namespace

Text StockPage::url(std::string_view stockCode)
{
    return serviceHosts().url(HostRole::MarketData, "/gdhs/detail/" + Text(stockCode) + ".html");
}

bool StockPage::staysInOverlay(std::string_view url)
{
    UrlParts target, home;
    if (parseUrl(url, target) != 0 || parseUrl(serviceHosts().baseUrl(HostRole::MarketData), home) != 0)
        return false;
    // The host may move a page between http and https on their own ports.
    auto defaultPort = [](const UrlParts& u) { return u.port == (u.secure ? 443 : 80); };
    const bool samePort = target.port == home.port || (defaultPort(target) && defaultPort(home));
    return samePort && lowerAscii(target.host) == lowerAscii(home.host);
}

void StockPage::open(std::string_view stockCode)
{
    if (stockCode.empty())
        return;
    m_view.setVisible(Control::StockFrame, true);
    m_view.setVisible(Control::StockBrowser, true);
    m_view.openStockPage(url(stockCode));
}

void StockPage::close()
{
    m_view.closeStockPage();
    m_view.setVisible(Control::StockFrame, false);
    m_view.setVisible(Control::StockBrowser, false);
}

} // namespace fw
