#include "funds/StockPage.h"

#include "net/ServiceHosts.h"
#include "net/UrlParts.h"

#include <algorithm>
#include <cctype>

namespace fw {

namespace {

// Host names are ASCII (the URL parser refuses others).
bool sameHost(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
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
    return samePort && sameHost(target.host, home.host);
}

StockNavigation StockPage::navigation(std::string_view url, bool linkClicked, bool userJustActed)
{
    if (url == "about:blank" || staysInOverlay(url))
        return StockNavigation::Load;
    UrlParts target;
    if (parseUrl(url, target) != 0)
        return StockNavigation::Refuse; // no web page: no other scheme leaves the program
    return linkClicked && userJustActed ? StockNavigation::OpenOutside : StockNavigation::Refuse;
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
