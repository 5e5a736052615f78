#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fw {
namespace {

TEST(ServiceHosts, DefaultsAndOneBaseForAll)
{
    const ServiceHosts hosts = ServiceHosts::defaults();
    EXPECT_EQ(hosts.url(HostRole::FundArchive, "/jbgk_000001.html "), "http://fundf10.eastmoney.com/jbgk_000001.html ");
    EXPECT_EQ(hosts.baseUrl(HostRole::Quote), "https://push2.eastmoney.com");
    EXPECT_EQ(hosts.quoteToken(), "267f9ad526dbe6b0262ab19316f5a25b");
    EXPECT_EQ(hosts.baseUrl(HostRole::MobileFundApi), "https://fundmobapi.eastmoney.com");
    EXPECT_EQ(hosts.url(HostRole::QuoteHistory, "/api/qt/stock/trends2/get?secid=1.000300"),
              "https://push2his.eastmoney.com/api/qt/stock/trends2/get?secid=1.000300");

    const ServiceHosts local = ServiceHosts::allAt("http://127.0.0.1:8080//");
    for (HostRole role : {HostRole::FundList, HostRole::FundSearch, HostRole::StepService, HostRole::MobileFundApi,
                          HostRole::QuoteHistory})
        EXPECT_EQ(local.url(role, "/x?y=1"), "http://127.0.0.1:8080/x?y=1");
}

TEST(ServiceHosts, StepServiceWithoutBaseFailsCleanly)
{
    const ServiceHosts hosts = ServiceHosts::defaults();
    EXPECT_EQ(hosts.url(HostRole::StepService, "/step"), "");
    HttpRequestOptions options;
    EXPECT_EQ(HttpClient().fetch(hosts.url(HostRole::StepService, "/step"), options), "");
    EXPECT_EQ(options.status, gbk("701 解析URL地址失败!"));
}

TEST(ServiceHosts, EnvironmentSendsEveryRoleToOneBase)
{
    ::setenv("FUNDWATCH_SERVICE", "http://127.0.0.1:9/", 1);
    const ServiceHosts fromEnv = ServiceHosts::fromEnvironment();
    ::unsetenv("FUNDWATCH_SERVICE");
    EXPECT_EQ(fromEnv.baseUrl(HostRole::Quote), "http://127.0.0.1:9");
    EXPECT_EQ(fromEnv.baseUrl(HostRole::MobileFundApi), "http://127.0.0.1:9");
    EXPECT_EQ(fromEnv.baseUrl(HostRole::QuoteHistory), "http://127.0.0.1:9");
    EXPECT_EQ(ServiceHosts::fromEnvironment().baseUrl(HostRole::Quote), "https://push2.eastmoney.com");

    const ServiceHosts saved = serviceHosts();
    setServiceHosts(fromEnv);
    EXPECT_EQ(serviceHosts().baseUrl(HostRole::FundList), "http://127.0.0.1:9");
    setServiceHosts(saved);
}

} // namespace
} // namespace fw

namespace fw {
namespace {

TEST(ServiceHosts, StepServiceAndTokenFromTheEnvironment)
{
    ::setenv("FUNDWATCH_STEP_SERVICE", "http://127.0.0.1:7/", 1);
    ::setenv("FUNDWATCH_QUOTE_TOKEN", "0123abcd", 1);
    const ServiceHosts hosts = ServiceHosts::fromEnvironment();
    ServiceHosts one = ServiceHosts::allAt("http://127.0.0.1:9");
    one.applyEnvironmentOverrides();
    ::unsetenv("FUNDWATCH_STEP_SERVICE");
    ::unsetenv("FUNDWATCH_QUOTE_TOKEN");
    EXPECT_EQ(hosts.url(HostRole::StepService, "/xm/app/ajax.php?c=add "), "http://127.0.0.1:7/xm/app/ajax.php?c=add ");
    EXPECT_EQ(hosts.baseUrl(HostRole::FundList), "http://fund.eastmoney.com");
    EXPECT_EQ(hosts.quoteToken(), "0123abcd");
    EXPECT_EQ(one.baseUrl(HostRole::StepService), "http://127.0.0.1:7");
    EXPECT_EQ(one.baseUrl(HostRole::Quote), "http://127.0.0.1:9");
    EXPECT_EQ(ServiceHosts::fromEnvironment().quoteToken(), "267f9ad526dbe6b0262ab19316f5a25b");
}

} // namespace
} // namespace fw
