#pragma once
// The host roles of the data service are configuration: each maps to a base
// URL (scheme, host, optional port, no trailing slash). Feature code builds
// URLs from a role and a path, never from a literal host.
#include "text/Text.h"

namespace fw {

enum class HostRole {
    FundList,
    FundArchive,
    FundApi,
    Quote,
    MarketData,
    FundSearch,
    StepService,
    MobileFundApi, // holdings and asset mix as JSON
    QuoteHistory,  // minute bars
};

class ServiceHosts {
public:
    // The public service's hosts; the step service has no default.
    static ServiceHosts defaults();
    // Every role sent to one base URL (tests, the demo, benchmarks).
    static ServiceHosts allAt(std::string_view baseUrl);
    // defaults(), or allAt($FUNDWATCH_SERVICE) when that variable is set; then
    // the overrides below.
    static ServiceHosts fromEnvironment();
    // $FUNDWATCH_STEP_SERVICE: the step service's base URL (it has no default);
    // $FUNDWATCH_QUOTE_TOKEN: the quote service's access token.
    void applyEnvironmentOverrides();

    Text baseUrl(HostRole role) const;
    void setBaseUrl(HostRole role, std::string_view baseUrl);
    // base URL + path ("/jbgk_000001.html "): path taken as it stands.
    Text url(HostRole role, std::string_view path) const;

    Text quoteToken() const { return m_quoteToken; }
    void setQuoteToken(std::string_view token) { m_quoteToken = Text(token); }

private:
    Text m_bases[9];
    Text m_quoteToken;
};

// The process-wide hosts, set once at start-up (before any worker runs).
const ServiceHosts& serviceHosts();
void setServiceHosts(const ServiceHosts& hosts);

} // namespace fw
