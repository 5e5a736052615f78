#include "net/ServiceHosts.h"

#include <cstdlib>

namespace fw {

namespace {

constexpr int kRoleCount = 9;
constexpr const char* kDefaultQuoteToken = "267f9ad526dbe6b0262ab19316f5a25b";

int roleIndex(HostRole role)
{
    const int i = static_cast<int>(role);
    return (i >= 0 && i < kRoleCount) ? i : -1;
}

Text withoutTrailingSlashes(std::string_view base)
{
    while (!base.empty() && base.back() == '/')
        base.remove_suffix(1);
    return Text(base);
}

} // namespace

ServiceHosts ServiceHosts::defaults()
{
    ServiceHosts hosts;
    hosts.setBaseUrl(HostRole::FundList, "http://fund.eastmoney.com");
    hosts.setBaseUrl(HostRole::FundArchive, "http://fundf10.eastmoney.com");
    hosts.setBaseUrl(HostRole::FundApi, "http://api.fund.eastmoney.com");
    hosts.setBaseUrl(HostRole::Quote, "https://push2.eastmoney.com");
    hosts.setBaseUrl(HostRole::MarketData, "http://data.eastmoney.com");
    hosts.setBaseUrl(HostRole::FundSearch, "http://fundsuggest.eastmoney.com");
    hosts.setBaseUrl(HostRole::MobileFundApi, "https://fundmobapi.eastmoney.com");
    hosts.setBaseUrl(HostRole::QuoteHistory, "https://push2his.eastmoney.com");
    // The step service is the user's own; it has no default.
    hosts.m_quoteToken = kDefaultQuoteToken;
    return hosts;
}

ServiceHosts ServiceHosts::allAt(std::string_view baseUrl)
{
    ServiceHosts hosts;
    for (int i = 0; i < kRoleCount; ++i)
        hosts.setBaseUrl(static_cast<HostRole>(i), baseUrl);
    hosts.m_quoteToken = kDefaultQuoteToken;
    return hosts;
}

ServiceHosts ServiceHosts::fromEnvironment()
{
    const char* base = std::getenv("FUNDWATCH_SERVICE");
    ServiceHosts hosts = base && *base ? allAt(base) : defaults();
    hosts.applyEnvironmentOverrides();
    return hosts;
}

void ServiceHosts::applyEnvironmentOverrides()
{
    if (const char* step = std::getenv("FUNDWATCH_STEP_SERVICE"); step && *step)
        setBaseUrl(HostRole::StepService, step);
    if (const char* token = std::getenv("FUNDWATCH_QUOTE_TOKEN"); token && *token)
        m_quoteToken = token;
}

Text ServiceHosts::baseUrl(HostRole role) const
{
    const int i = roleIndex(role);
    return i < 0 ? Text() : m_bases[i];
}

void ServiceHosts::setBaseUrl(HostRole role, std::string_view baseUrl)
{
    const int i = roleIndex(role);
    if (i >= 0)
        m_bases[i] = withoutTrailingSlashes(baseUrl);
}

Text ServiceHosts::url(HostRole role, std::string_view path) const
{
    const int i = roleIndex(role);
    // No base: an empty URL, which fetch refuses as unparsable.
    if (i < 0 || m_bases[i].empty())
        return Text();
    Text result = m_bases[i];
    result.append(path);
    return result;
}

namespace {

ServiceHosts& processHosts()
{
    static ServiceHosts hosts = ServiceHosts::fromEnvironment();
    return hosts;
}

} // namespace

const ServiceHosts& serviceHosts() { return processHosts(); }

void setServiceHosts(const ServiceHosts& hosts) { processHosts() = hosts; }

} // namespace fw
