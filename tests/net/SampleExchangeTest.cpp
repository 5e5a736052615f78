// The engine against the sample service: the requests the program makes reach
// the service as the real one would see them, and what comes back can be cut
// with the program's own markers once it is GBK text.
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>

#include <chrono>

namespace fw {
namespace {

class SampleExchange : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sample::SampleOptions options;
        options.funds = 600;
        s_service = new sample::SampleService(options);
        ASSERT_GT(s_service->start(), 0);
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }
    void SetUp() override
    {
        s_service->clearFaults();
        s_service->clearLog();
        m_hosts = ServiceHosts::allAt(s_service->baseUrl());
    }

    std::string header(const sample::LoggedRequest& r, const std::string& name) const
    {
        for (const auto& [key, value] : r.headers)
            if (key == name)
                return value;
        return "<none>";
    }

    static sample::SampleService* s_service;
    ServiceHosts m_hosts;
    HttpClient m_client;
};

sample::SampleService* SampleExchange::s_service = nullptr;

TEST_F(SampleExchange, RankingPageReadsThroughTheJsonDocument)
{
    const Text url = m_hosts.url(HostRole::FundList, "/data/FundGuideapi.aspx?dt=4&sd=&ed=&rt=sz,5&sc=jn&st=desc"
                                                     "&pi=1&pn=20&zf=diy&sh=list&rnd=0.01942454964583651");
    const Text answer = utf8ToGbk(m_client.fetch(url));
    JsonDocument doc;
    ASSERT_TRUE(doc.parse(textAfterLast(answer, "var rankData =")));
    const int count = doc.memberCount("datas");
    ASSERT_GT(count, 0);
    EXPECT_LE(count, 20);
    EXPECT_GE(textValue(doc.getText("allPages")), 1);
    const TextList fields = splitText(doc.getText("datas[0]"), ",");
    ASSERT_GE(fields.size(), 18u);
    EXPECT_EQ(fields[0].size(), 6u);
    EXPECT_NE(s_service->market().fund(fields[0]), nullptr);
    EXPECT_EQ(utf8ToGbk(s_service->market().fund(fields[0])->name), fields[1]);

    // The comma of "rt=sz,5" goes out as it stands, and the default headers with it.
    const auto log = s_service->requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].target.find("rt=sz,5&"), std::string::npos);
    EXPECT_EQ(header(log[0], "Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(header(log[0], "Accept-Language"), "zh-cn");
}

TEST_F(SampleExchange, ArchivePageDeclaringUtf8ArrivesAsGbkAndCuts)
{
    const auto& fund = s_service->market().funds().front();
    HttpRequestOptions options;
    // The program asks with one trailing blank; it reaches the server as %20.
    const Text page = m_client.fetch(m_hosts.url(HostRole::FundArchive, "/jbgk_" + fund.code + ".html "), options);
    EXPECT_EQ(options.status, "200 OK");
    const Text size = cutBetween(page, gbk("<tr><th>资产规模</th><td>"), gbk("亿元（截止至"));
    EXPECT_FALSE(size.empty());
    EXPECT_TRUE(size == "---" || textValue(size) > 0) << size;
    EXPECT_NE(findText(page, gbk("资产规模")), -1);
    const auto log = s_service->requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].target, "/jbgk_" + fund.code + ".html%20");
}

TEST_F(SampleExchange, JsonpAnswersUnwrapAndRead)
{
    const Text answer = utf8ToGbk(m_client.fetch(m_hosts.url(
        HostRole::FundApi, "/ztjj/GetZTJJList?callback=jQuery18304518781773802629_1629802165289&tt=0&dt=syl"
                           "&st=SYL_W&_=1629802165339")));
    JsonDocument doc;
    doc.parse(cutBetween(answer, "jQuery18304518781773802629_1629802165289(", "})") + "}");
    ASSERT_GT(doc.memberCount("Data"), 0);
    EXPECT_EQ(doc.getText("Data[0].BKCode").substr(0, 3), "BK0");
    EXPECT_FALSE(doc.getText("Data[0].BKName").empty());
}

TEST_F(SampleExchange, StepSubmissionIsAFormPost)
{
    HttpRequestOptions options;
    options.method = 1;
    options.body = "usr=demo&psw=demo&bs=12345";
    const Text reply = m_client.fetch(m_hosts.url(HostRole::FundList, "/xm/app/ajax.php?c=add "), options);
    EXPECT_EQ(options.status, "200 OK");
    JsonDocument doc;
    ASSERT_TRUE(doc.parse(reply));
    EXPECT_NE(findText(doc.getText("message"), gbk("成功")), -1);
    const auto log = s_service->requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].body, "usr=demo&psw=demo&bs=12345");

    options = {};
    options.method = 1;
    options.body = "usr=demo&psw=wrong&bs=1";
    doc.parse(m_client.fetch(m_hosts.url(HostRole::FundList, "/xm/app/ajax.php?c=add "), options));
    EXPECT_EQ(findText(doc.getText("message"), gbk("成功")), -1);
}

TEST_F(SampleExchange, ServiceFaultsBecomeTheEngineResults)
{
    const Text page = m_hosts.url(HostRole::FundArchive, "/jjjl_" + s_service->market().funds().front().code +
                                                             ".html");
    s_service->addFault({sample::Fault::HttpError, "jjjl_", 503});
    HttpRequestOptions options;
    m_client.fetch(page, options);
    EXPECT_EQ(options.status.substr(0, 4), "503 ");

    s_service->clearFaults();
    s_service->addFault({sample::Fault::Truncate, "jjjl_", 100});
    options = {};
    m_client.fetch(page, options);
    EXPECT_EQ(options.status, gbk("713 读取数据失败!"));
    EXPECT_EQ(options.responseBytes.size(), 100u);

    s_service->clearFaults();
    s_service->addFault({sample::Fault::Drop, "jjjl_", 0});
    options = {};
    EXPECT_EQ(m_client.fetch(page, options), "");
    EXPECT_EQ(options.status, gbk("712 服务器未响应!"));

    s_service->clearFaults();
    s_service->addFault({sample::Fault::Stall, "jjjl_", 5000});
    options = {};
    options.timeoutSeconds = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_client.fetch(page, options), "");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(options.status, gbk("712 服务器未响应!"));
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
}

} // namespace
} // namespace fw
