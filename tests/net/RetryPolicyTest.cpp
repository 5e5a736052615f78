// Another try after a transient failure: what counts as one, Retry-After in
// both forms, the back-off's growth and jitter, and the tries themselves
// against the sample service (a server that recovers, one that never does,
// one that is not there, and a stop in the middle of a wait).
#include "net/EventPump.h"
#include "net/RetryPolicy.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

namespace fw {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

HttpRequestOptions withStatus(const char* status)
{
    HttpRequestOptions o;
    o.status = status;
    return o;
}

TEST(RetryPolicy, TransientAreNoAnswerTooManyRequestsAndServerErrors)
{
    struct Case { const char* status; bool transient; bool succeeded; };
    const Case cases[] = {
        {"200 OK", false, true},           {"204 No Content", false, true},
        {"404 Not Found", false, false},   {"400 Bad Request", false, false},
        {"429 Too Many Requests", true, false},
        {"500 Internal Server Error", true, false},
        {"503 Service Unavailable", true, false},
        {"599 x", true, false},            {"600 x", false, false},
        {"711 send", true, false},         {"712 none", true, false},
        {"713 read", true, false},         {"701 url", false, false},
        {"705 x", false, false},           {"", false, false},
        {"50", false, false},              {"OK", false, false},
        {"50x Bad", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isTransientFailure(withStatus(c.status)), c.transient) << c.status;
        EXPECT_EQ(fetchSucceeded(withStatus(c.status)), c.succeeded) << c.status;
    }
    // The same 713 from a body cut at the size cap: final.
    HttpRequestOptions cut = withStatus("713 read");
    cut.bodyCut = true;
    EXPECT_FALSE(isTransientFailure(cut));
}

TEST(RetryPolicy, RetryAfterInSecondsOrAsAnHttpDate)
{
    // 2015-10-21 07:28:00 UTC
    const auto now = std::chrono::system_clock::from_time_t(1445412480);
    struct Case { const char* headers; std::optional<long long> ms; };
    const Case cases[] = {
        {"HTTP/1.1 503 x\r\nRetry-After: 7\r\n", 7000},
        {"HTTP/1.1 503 x\r\nretry-after:0\r\n", 0},
        {"HTTP/1.1 429 x\r\nContent-Type: text/html\r\nRETRY-AFTER:   12  \r\nX: 1\r\n", 12000},
        {"HTTP/1.1 503 x\r\nRetry-After: Wed, 21 Oct 2015 07:28:05 GMT\r\n", 5000},
        {"HTTP/1.1 503 x\r\nRetry-After: Wednesday, 21-Oct-15 07:28:30 GMT\r\n", 30000},
        {"HTTP/1.1 503 x\r\nRetry-After: Wed Oct 21 07:29:00 2015\r\n", 60000},
        {"HTTP/1.1 503 x\r\nRetry-After: Wed, 21 Oct 2015 07:27:00 GMT\r\n", 0}, // already past
        {"HTTP/1.1 503 x\r\nRetry-After: Fri, 01 Jan 2016 00:00:00 GMT\r\n", 6193920000LL},
        {"HTTP/1.1 503 x\r\nRetry-After: 99999999999999999999\r\n", 86400000},
        {"HTTP/1.1 503 x\r\nRetry-After: soon\r\n", std::nullopt},
        {"HTTP/1.1 503 x\r\nRetry-After: -3\r\n", std::nullopt},
        {"HTTP/1.1 503 x\r\nRetry-After: Wed, 32 Oct 2015 07:28:05 GMT\r\n", std::nullopt},
        {"HTTP/1.1 503 x\r\nX-Retry-After: 3\r\n", std::nullopt},
        {"HTTP/1.1 503 x\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto got = retryAfter(c.headers, now);
        ASSERT_EQ(got.has_value(), c.ms.has_value()) << c.headers;
        if (got) {
            EXPECT_EQ(got->count(), *c.ms) << c.headers;
        }
    }
}

TEST(RetryPolicy, BackoffDoublesWithJitterInItsUpperHalf)
{
    RetryPolicy policy;
    policy.baseDelay = 400ms;
    for (int retry = 1; retry <= 3; ++retry) {
        const long long whole = 400LL << (retry - 1);
        std::set<long long> seen;
        for (int i = 0; i < 200; ++i) {
            const long long d = backoffDelay(policy, retry).count();
            EXPECT_GE(d, whole / 2);
            EXPECT_LE(d, whole);
            seen.insert(d);
        }
        EXPECT_GT(seen.size(), 20u) << "no jitter at retry " << retry;
    }
    policy.baseDelay = 0ms;
    EXPECT_EQ(backoffDelay(policy, 3).count(), 0);
}

// The edges of the status classes and of the date and time fields.
TEST(RetryPolicy, StatusClassAndDateFieldEdges)
{
    struct StatusCase { const char* status; bool transient; bool succeeded; };
    const StatusCase statuses[] = {
        {"199 x", false, false}, {"299 x", false, true}, {"300 x", false, false},
        {"428 x", false, false}, {"430 x", false, false}, {"499 x", false, false},
        {"500", true, false},    {"710 x", false, false}, {"714 x", false, false},
    };
    for (const StatusCase& c : statuses) {
        EXPECT_EQ(isTransientFailure(withStatus(c.status)), c.transient) << c.status;
        EXPECT_EQ(fetchSucceeded(withStatus(c.status)), c.succeeded) << c.status;
    }
    EXPECT_EQ(fetchStatusNumber("503 x"), 503);
    EXPECT_EQ(fetchStatusNumber("20"), 0);

    const auto now = std::chrono::system_clock::from_time_t(1445412480); // 2015-10-21 07:28:00 UTC
    struct DateCase { const char* value; std::optional<long long> ms; };
    const DateCase dates[] = {
        {"Wed, 21 Oct 2015 23:59:60 GMT", 59520000},
        {"Wed, 21 Oct 2015 24:00:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 07:60:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 07:28:61 GMT", std::nullopt},
        {"Sat, 31 Oct 2015 07:28:00 GMT", 864000000},
        {"Wed, 00 Oct 2015 07:28:00 GMT", std::nullopt},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Wed, 31 Dec 1969 23:59:59 GMT", std::nullopt},
        {"Thursday, 01-Jan-70 00:00:00 GMT", 0},
        {"Monday, 21-Oct-69 07:28:00 GMT", 1704153600000LL},
        {"Wed, 21 Oct 12345 07:28:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 7:28:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 072:8:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 07:280:0 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 0a:28:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 07:2a:00 GMT", std::nullopt},
        {"Wed, 21 Oct 2015 07:28:0a GMT", std::nullopt},
        {"Wed, 21 Oct 2015 GMT", std::nullopt},
        {"Wed, 21 Foo 2015 07:28:00 GMT", std::nullopt},
        {"Wed, 22 dec 2015 07:28:00", 5356800000LL},
        {"Wed, 21 Oct 2015 07:28:10 GMT\t", 10000},
    };
    for (const DateCase& c : dates) {
        const std::string headers = std::string("HTTP/1.1 503 x\r\nRetry-After: ") + c.value + "\r\n";
        const auto got = retryAfter(headers, now);
        ASSERT_EQ(got.has_value(), c.ms.has_value()) << c.value;
        if (got) {
            EXPECT_EQ(got->count(), *c.ms) << c.value;
        }
    }
    struct SecondsCase { const char* headers; long long ms; };
    const SecondsCase seconds[] = {
        {"Retry-After: 86399", 86399000},
        {"Retry-After: 86401\r\n", 86400000},
        {"Retry-After: 1000000\r\n", 86400000},
        {"X: a:b\nRetry-After\t: 3\t\r\n", 3000},
        {"No colon here\r\nRetry-After: 4\r\n", 4000},
    };
    for (const SecondsCase& c : seconds) {
        const auto got = retryAfter(c.headers, now);
        ASSERT_TRUE(got.has_value()) << c.headers;
        EXPECT_EQ(got->count(), c.ms) << c.headers;
    }
}

TEST(RetryPolicy, BackoffEdges)
{
    RetryPolicy policy;
    policy.baseDelay = 1ms;
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(backoffDelay(policy, 1).count(), 1); // too short to halve: no jitter
    for (int i = 0; i < 50; ++i) {
        const long long d = backoffDelay(policy, 40).count(); // the doubling stops at 2^20
        EXPECT_GE(d, 1LL << 19);
        EXPECT_LE(d, 1LL << 20);
    }
    policy.baseDelay = 400ms;
    for (int i = 0; i < 50; ++i) {
        const long long d = backoffDelay(policy, 0).count();
        EXPECT_GE(d, 200);
        EXPECT_LE(d, 400);
    }
    policy.baseDelay = -5ms;
    EXPECT_EQ(backoffDelay(policy, 2).count(), 0);
}

class RetriedFetch : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sample::SampleOptions options;
        options.funds = 50;
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
        resetTransferAbort();
        s_service->clearFaults();
        s_service->clearLog();
        m_policy.baseDelay = 20ms;
        m_url = s_service->baseUrl() + "/jbgk_" + s_service->market().funds().front().code + ".html";
    }
    size_t requests() const { return s_service->requests().size(); }
    Text fetch(HttpRequestOptions& options) const
    {
        options.timeoutSeconds = 2;
        return fetchWithRetry(m_url, options, m_policy);
    }

    static sample::SampleService* s_service;
    RetryPolicy m_policy;
    std::string m_url;
};
sample::SampleService* RetriedFetch::s_service = nullptr;

TEST_F(RetriedFetch, AServerThatRecoversWithinThreeRetriesGivesItsAnswer)
{
    const std::vector<sample::Fault> faults[] = {
        {{sample::Fault::HttpError, "jbgk_", 503, 3}},
        {{sample::Fault::HttpError, "jbgk_", 429, 1}, {sample::Fault::Drop, "jbgk_", 0, 1},
         {sample::Fault::Truncate, "jbgk_", 100, 1}},
        {{sample::Fault::Stall, "jbgk_", 5000, 1}},
    };
    for (const auto& set : faults) {
        SetUp();
        for (const sample::Fault& f : set)
            s_service->addFault(f);
        HttpRequestOptions options;
        const Text page = fetch(options);
        EXPECT_EQ(options.status, "200 OK");
        EXPECT_GT(page.size(), 500u); // the whole page, not an error page or a part
        EXPECT_EQ(requests(), set[0].kind == sample::Fault::Stall ? 2u : 4u);
    }
}

TEST_F(RetriedFetch, EveryTryFailingEndsAfterThreeRetriesWithTheLastAnswer)
{
    s_service->addFault({sample::Fault::HttpError, "jbgk_", 502});
    HttpRequestOptions options;
    const auto start = Clock::now();
    fetch(options);
    EXPECT_EQ(options.status.substr(0, 3), "502");
    EXPECT_EQ(requests(), 4u);
    // 20 + 40 + 80 ms at the most, each at least half of that
    EXPECT_GE(Clock::now() - start, 70ms);

    // Not transient: one request only.
    SetUp();
    s_service->addFault({sample::Fault::HttpError, "jbgk_", 404});
    fetch(options);
    EXPECT_EQ(requests(), 1u);

    // No retries asked for: one request.
    SetUp();
    s_service->addFault({sample::Fault::HttpError, "jbgk_", 503});
    m_policy.retries = 0;
    fetch(options);
    EXPECT_EQ(requests(), 1u);
}

TEST_F(RetriedFetch, RetryAfterIsWaitedUpToTheCap)
{
    s_service->addFault({sample::Fault::HttpError, "jbgk_", 429, 1, "1"});
    HttpRequestOptions options;
    auto start = Clock::now();
    fetch(options);
    EXPECT_EQ(options.status, "200 OK");
    EXPECT_GE(Clock::now() - start, 950ms);
    EXPECT_EQ(requests(), 2u);

    // A far-off Retry-After is cut to the policy's cap.
    SetUp();
    s_service->addFault({sample::Fault::HttpError, "jbgk_", 503, 2, "3600"});
    m_policy.maxRetryAfter = 150ms;
    start = Clock::now();
    fetch(options);
    EXPECT_EQ(options.status, "200 OK");
    EXPECT_GE(Clock::now() - start, 290ms);
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(RetriedFetch, ARefusedConnectionIsTriedAgain)
{
    // A port that was just free and listens no more.
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ::close(sock);
    m_url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";

    int tries = 0;
    m_policy.stop = [&] {
        ++tries; // asked once per wait slice: at least once per retry
        return false;
    };
    HttpRequestOptions options;
    const auto start = Clock::now();
    fetch(options);
    EXPECT_EQ(options.status.substr(0, 3), "711");
    EXPECT_GE(tries, 3);
    EXPECT_GE(Clock::now() - start, 70ms); // three back-offs were waited
}

TEST_F(RetriedFetch, AStopAnAbortOrTheLoadsCancelEndsTheWaitAtOnce)
{
    enum How { Stop, Abort, CancelLoad };
    for (How how : {Stop, Abort, CancelLoad}) {
        SetUp();
        s_service->addFault({sample::Fault::HttpError, "jbgk_", 503, 0, "30"});
        std::atomic<bool> stop {false};
        m_policy.stop = [&] { return stop.load(); };
        LoadToken load;
        m_policy.load = load.begin();
        std::thread stopper([&] {
            std::this_thread::sleep_for(200ms);
            if (how == Abort)
                abortAllTransfers();
            else if (how == Stop)
                stop = true;
            else
                load.cancel();
        });
        HttpRequestOptions options;
        const auto start = Clock::now();
        fetch(options);
        stopper.join();
        EXPECT_LT(Clock::now() - start, 1s) << "how " << how;
        EXPECT_EQ(requests(), 1u);
        resetTransferAbort();
    }
}

// A body cut at the size cap comes the same way again: one request, however
// many retries the policy allows. A body broken off short is tried again.
TEST_F(RetriedFetch, ABodyCutAtTheSizeCapIsFinalABodyBrokenOffIsNot)
{
    const struct {
        sample::Fault fault;
        size_t requests;
        bool cut;
    } cases[] = {
        {{sample::Fault::HugeBody, "jbgk_", int(HttpClient::kMaxBodyBytes + 4096)}, 1, true},
        {{sample::Fault::Truncate, "jbgk_", 100}, 4, false}, // 1 + 3 retries
    };
    for (const auto& c : cases) {
        SetUp();
        m_policy.baseDelay = 1ms;
        s_service->addFault(c.fault);
        HttpRequestOptions options;
        fetch(options);
        EXPECT_EQ(options.status, gbk("713 读取数据失败!")) << c.fault.kind;
        EXPECT_EQ(options.bodyCut, c.cut) << c.fault.kind;
        EXPECT_EQ(requests(), c.requests) << c.fault.kind;
    }
}

} // namespace
} // namespace fw
