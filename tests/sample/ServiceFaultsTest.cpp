// Faults on request, the request log and the server's life cycle.
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "SampleTestSupport.h"

#include <gtest/gtest.h>

#include <future>

using namespace fw::sample;
using namespace fw::sample::testing;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class SampleFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        SampleOptions options;
        options.funds = 120;
        m_service = std::make_unique<SampleService>(options);
        m_port = m_service->start();
        ASSERT_GT(m_port, 0);
        m_code = m_service->market().funds().front().code;
    }

    std::string jbgk() const { return "/jbgk_" + m_code + ".html%20"; }
    std::string request(const std::string& target) const
    {
        return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    }

    std::unique_ptr<SampleService> m_service;
    int m_port = -1;
    std::string m_code;
};

TEST_F(SampleFaults, LatencyDelaysOnlyMatchingRequests)
{
    m_service->addFault({Fault::Latency, "jbgk_", 300});
    auto t = Clock::now();
    EXPECT_EQ(get(m_port, jbgk()).status, 200);
    EXPECT_GE(msSince(t), 290.0);
    t = Clock::now();
    EXPECT_EQ(get(m_port, "/tsdata_" + m_code + ".html%20").status, 200);
    EXPECT_LT(msSince(t), 250.0);

    m_service->clearFaults();
    t = Clock::now();
    EXPECT_EQ(get(m_port, jbgk()).status, 200);
    EXPECT_LT(msSince(t), 250.0);
}

TEST_F(SampleFaults, ErrorGarbageAndHugeBodies)
{
    m_service->addFault({Fault::HttpError, "jbgk_", 503});
    m_service->addFault({Fault::Garbage, "jjjl_", 0});
    m_service->addFault({Fault::HugeBody, "tsdata_", 3 * 1024 * 1024 + 17});

    EXPECT_EQ(get(m_port, jbgk()).status, 503);

    const Reply garbage = get(m_port, "/jjjl_" + m_code + ".html");
    EXPECT_EQ(garbage.status, 200);
    EXPECT_EQ(garbage.body.size(), 512u);
    EXPECT_EQ(static_cast<unsigned char>(garbage.body[0]), 0xFF); // never valid UTF-8
    EXPECT_NE(garbage.body.find('\0'), std::string::npos);

    const Reply huge = get(m_port, "/tsdata_" + m_code + ".html%20", 20);
    EXPECT_EQ(huge.status, 200);
    EXPECT_EQ(huge.body.size(), size_t(3 * 1024 * 1024 + 17));
}

TEST_F(SampleFaults, CountedFaultsStopAfterTheirRequestsAndSendRetryAfter)
{
    // An earlier fault that applies leaves a counted one unspent.
    m_service->addFault({Fault::Drop, "jbgk_", 0, 1});
    m_service->addFault({Fault::HttpError, "jbgk_", 503, 2, "7"});
    m_service->addFault({Fault::Latency, "jbgk_", 200, 1});

    auto t = Clock::now();
    EXPECT_EQ(rawExchange(m_port, request(jbgk())), "");
    EXPECT_GE(msSince(t), 190.0);
    for (int i = 0; i < 2; ++i) {
        const std::string raw = rawExchange(m_port, request(jbgk()));
        EXPECT_EQ(raw.rfind("HTTP/1.1 503", 0), 0u) << raw;
        EXPECT_NE(raw.find("Retry-After: 7\r\n"), std::string::npos) << raw;
    }
    t = Clock::now();
    EXPECT_EQ(get(m_port, jbgk()).status, 200);
    EXPECT_LT(msSince(t), 150.0);

    m_service->clearFaults();
    m_service->addFault({Fault::HttpError, "jbgk_", 500, 1});
    EXPECT_EQ(rawExchange(m_port, request(jbgk())).find("Retry-After"), std::string::npos);
    EXPECT_EQ(get(m_port, jbgk()).status, 200);
}

TEST_F(SampleFaults, TruncatedBodyAnnouncesTheFullLength)
{
    const std::string full = get(m_port, jbgk()).body;
    ASSERT_GT(full.size(), 500u);
    m_service->addFault({Fault::Truncate, "jbgk_", 100});
    const std::string raw = rawExchange(m_port, request(jbgk()));
    const size_t headEnd = raw.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos) << raw;
    EXPECT_NE(raw.find("Content-Length: " + std::to_string(full.size()) + "\r\n"), std::string::npos);
    EXPECT_EQ(raw.substr(headEnd + 4), full.substr(0, 100));

    // An httplib client notices the short body.
    EXPECT_EQ(get(m_port, jbgk()).status, -1);
}

TEST_F(SampleFaults, DropAndStallSendNothing)
{
    m_service->addFault({Fault::Drop, "jbgk_", 0});
    m_service->addFault({Fault::Stall, "tsdata_", 600});
    auto t = Clock::now();
    EXPECT_EQ(rawExchange(m_port, request(jbgk())), "");
    EXPECT_LT(msSince(t), 1000.0);

    t = Clock::now();
    EXPECT_EQ(rawExchange(m_port, request("/tsdata_" + m_code + ".html%20"), 3000), "");
    EXPECT_GE(msSince(t), 550.0);

    // The stalled request is still logged.
    EXPECT_EQ(m_service->requests().back().target, "/tsdata_" + m_code + ".html%20");
}

TEST_F(SampleFaults, StopReturnsPromptlyDuringAStall)
{
    m_service->addFault({Fault::Stall, "", 60000});
    auto pending = std::async(std::launch::async, [&] { return get(m_port, jbgk(), 30); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto t = Clock::now();
    m_service->stop();
    EXPECT_LT(msSince(t), 1000.0);
    EXPECT_EQ(pending.get().status, -1);
    m_service->stop(); // idempotent
    EXPECT_EQ(get(m_port, jbgk(), 1).status, -1);
}

TEST_F(SampleFaults, StalledAndIdleConnectionsDoNotHoldUpOthers)
{
    // Many stalled requests and silent connections at once (a benchmark's
    // injected stalls, a browser's spare connections): a plain request is
    // still answered at once, and stop() still returns promptly.
    m_service->addFault({Fault::Stall, "tsdata_", 60000});
    std::vector<std::future<Reply>> stalled;
    for (int i = 0; i < 20; ++i) {
        stalled.push_back(std::async(std::launch::async, [&] { return get(m_port, "/tsdata_" + m_code + ".html", 30); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // within the listen backlog
    }
    std::vector<int> idle;
    for (int i = 0; i < 20; ++i) {
        const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(uint16_t(m_port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        idle.push_back(sock);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    auto t = Clock::now();
    EXPECT_EQ(get(m_port, jbgk(), 10).status, 200);
    EXPECT_LT(msSince(t), 1000.0);

    t = Clock::now();
    m_service->stop();
    EXPECT_LT(msSince(t), 1000.0);
    for (auto& reply : stalled)
        EXPECT_EQ(reply.get().status, -1);
    for (int sock : idle)
        ::close(sock);
}

TEST_F(SampleFaults, LogKeepsRawTargetHeaderOrderAndBody)
{
    m_service->clearLog();
    const std::string target = "/" + m_code + ".html?spm=search%20";
    rawExchange(m_port,
                "GET " + target + " HTTP/1.1\r\nUser-Agent: Mozilla/5.0 (compatible; MSIE 9.0)\r\n"
                "Accept: text/html, application/xhtml+xml, */*\r\nZeta: last-alphabetically\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    post(m_port, "/xm/app/ajax.php?c=add%20", "usr=a&psw=b&bs=1");

    const auto log = m_service->requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, target);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"User-Agent", "Mozilla/5.0 (compatible; MSIE 9.0)"},
        {"Accept", "text/html, application/xhtml+xml, */*"},
        {"Zeta", "last-alphabetically"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Host", "127.0.0.1"},
        {"Connection", "close"}};
    EXPECT_EQ(log[0].headers, expected);
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[1].target, "/xm/app/ajax.php?c=add%20");
    EXPECT_EQ(log[1].body, "usr=a&psw=b&bs=1");

    m_service->clearLog();
    EXPECT_TRUE(m_service->requests().empty());
}

TEST(SampleLifecycle, EphemeralPortsBusyPortsAndRestart)
{
    SampleOptions options;
    options.funds = 10;
    SampleService a(options);
    SampleService b(options);
    const int portA = a.start();
    const int portB = b.start();
    ASSERT_GT(portA, 0);
    ASSERT_GT(portB, 0);
    EXPECT_NE(portA, portB);
    EXPECT_EQ(a.start(), portA); // already running
    EXPECT_EQ(a.baseUrl(), "http://127.0.0.1:" + std::to_string(portA));

    SampleService c(options);
    EXPECT_EQ(c.start(portA), -1);

    b.stop();
    EXPECT_EQ(get(portB, "/", 1).status, -1);
    const int again = b.start();
    ASSERT_GT(again, 0);
    EXPECT_EQ(get(again, "/").status, 200);
}

} // namespace
