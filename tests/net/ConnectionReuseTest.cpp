// Connections kept between fetches: reused while they serve, closed when a
// transfer ends early, replaced when the server closes them, and never a
// carrier of one call's cookies into another.
#include "RawServer.h"

#include "net/ConnectionPool.h"
#include "net/EventPump.h"
#include "net/HttpClient.h"
#include "net/LoadToken.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace fw {
namespace {

using test::httpResponse;
using test::RawConnection;
using test::RawServer;
using Clock = std::chrono::steady_clock;

std::string targetOf(const std::string& request)
{
    const size_t a = request.find(' ') + 1;
    return request.substr(a, request.find(' ', a) - a);
}

// Sleeps in short steps so that a stopping server is not held up.
void pause(RawConnection& c, int ms)
{
    for (int i = 0; i < ms / 20 && !c.stopping(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

class ConnectionReuseTest : public ::testing::Test {
protected:
    void SetUp() override { net::closeIdleConnections(); }
    void TearDown() override
    {
        uninstallEventPump();
        net::closeIdleConnections();
    }
    HttpClient client;
};

TEST_F(ConnectionReuseTest, FetchesInARowShareOneConnectionAndPayItsCostOnce)
{
    sample::SampleOptions options;
    options.funds = 20;
    options.connectCostMs = 300;
    std::vector<std::string> peers;
    options.onConnection = [&peers](int opened, const std::string& peer) {
        peers.push_back(std::to_string(opened) + " " + peer);
    };
    sample::SampleService service(options);
    ASSERT_GT(service.start(), 0);
    const std::string url = service.baseUrl() + "/";
    std::vector<double> took;
    for (int i = 0; i < 4; ++i) {
        HttpRequestOptions request;
        const auto start = Clock::now();
        EXPECT_FALSE(client.fetch(url, request).empty()) << i;
        EXPECT_EQ(request.status, "200 OK") << i;
        took.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    EXPECT_EQ(service.connectionsOpened(), 1);
    ASSERT_EQ(peers.size(), 1u);
    EXPECT_TRUE(peers[0].starts_with("1 127.0.0.1:")) << peers[0];
    EXPECT_GE(took[0], 0.3);
    for (int i = 1; i < 4; ++i)
        EXPECT_LT(took[i], 0.2) << i;
}

// The cookie store is the call's own: a cookie a redirect set reaches its
// target in that call, and no later call on the same connection sends it.
TEST_F(ConnectionReuseTest, NoCookiePassesBetweenCallsOnAKeptConnection)
{
    RawServer server([](RawConnection& c) {
        for (std::string request = c.readRequest(); !request.empty(); request = c.readRequest()) {
            if (targetOf(request) == "/jump")
                c.send(httpResponse("HTTP/1.1 302 Found", "", "Location: /look\r\nSet-Cookie: s=1; path=/\r\n"));
            else
                c.send(httpResponse("HTTP/1.1 200 OK", "ok", "Set-Cookie: t=2\r\n"));
        }
    });
    HttpRequestOptions first;
    first.cookies = Text();
    EXPECT_EQ(client.fetch(server.url("/jump"), first), "ok");
    HttpRequestOptions second;
    second.cookies = Text();
    EXPECT_EQ(client.fetch(server.url("/look"), second), "ok");
    HttpRequestOptions third; // no cookie handling at all
    EXPECT_EQ(client.fetch(server.url("/look"), third), "ok");
    EXPECT_EQ(*second.cookies, "t=2");

    EXPECT_EQ(server.received().size(), 1u);
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_NE(requests[1].find("\r\nCookie: s=1\r\n"), std::string::npos) << requests[1];
    EXPECT_EQ(requests[2].find("Cookie"), std::string::npos) << requests[2];
    EXPECT_EQ(requests[3].find("Cookie"), std::string::npos) << requests[3];
}

// A transfer that ends before its answer is whole leaves the rest of that
// answer on its connection, which is closed: the next request goes out on a
// connection of its own and gets its own answer, not the leftovers.
TEST_F(ConnectionReuseTest, ATransferEndedEarlyClosesItsConnection)
{
    struct Case {
        const char* name;
        int method;
        int timeoutSeconds, deadlineSeconds;
        bool cancel;
        const char* status;
    };
    const Case cases[] = {
        {"silent past the time-out", 0, 1, 0, false, "712 服务器未响应!"},
        {"HEAD with a body, its answer's body coming slowly", 2, 5, 0, false, "200 OK"},
        {"cancelled load", 0, 5, 0, true, "713 读取数据失败!"},
        {"trickling past the deadline", 0, 1, 1, false, "713 读取数据失败!"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string kind = k.name;
        RawServer server([kind](RawConnection& c) {
            for (std::string request = c.readRequest(); !request.empty(); request = c.readRequest()) {
                if (targetOf(request) != "/early") {
                    c.send(httpResponse("HTTP/1.1 200 OK", "next"));
                } else if (kind.starts_with("silent")) {
                    pause(c, 1500);
                    c.send(httpResponse("HTTP/1.1 200 OK", "stale"));
                } else {
                    c.send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nst");
                    for (const char* byte : {"a", "l", "e", "!", "!", "!"}) {
                        pause(c, 300);
                        c.send(byte);
                    }
                }
            }
        });
        LoadToken token;
        HttpRequestOptions early;
        early.method = k.method;
        early.body = k.method == 2 ? "q=1" : "";
        early.timeoutSeconds = k.timeoutSeconds;
        early.deadlineSeconds = k.deadlineSeconds;
        early.load = token.begin();
        std::thread canceller;
        if (k.cancel) {
            canceller = std::thread([&token] {
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                token.cancel();
            });
        }
        client.fetch(server.url("/early"), early);
        if (canceller.joinable())
            canceller.join();
        EXPECT_EQ(early.status, gbk(k.status));

        HttpRequestOptions next;
        next.timeoutSeconds = 5;
        EXPECT_EQ(client.fetch(server.url("/next"), next), "next");
        EXPECT_EQ(next.status, "200 OK");
        const std::vector<std::string> connections = server.received();
        ASSERT_EQ(connections.size(), 2u);
        EXPECT_TRUE(connections[1].starts_with("GET /next ")) << connections[1];
    }
}

// The server ends a kept connection: after saying so, by a reset when the
// next request arrives, or in order after reading it. Only a request that
// never reached the server is sent once more, on a new connection.
TEST_F(ConnectionReuseTest, AConnectionTheServerClosedIsReplaced)
{
    struct Case {
        const char* name;
        RawServer::Handler handler;
        const char* secondBody;
        const char* secondStatus;
        size_t connections, requests;
    };
    const Case cases[] = {
        {"Connection: close",
         [](RawConnection& c) {
             const std::string request = c.readRequest();
             if (!request.empty())
                 c.send(httpResponse("HTTP/1.1 200 OK", targetOf(request).substr(1), "Connection: close\r\n"));
         },
         "second", "200 OK", 2, 2},
        {"reset when the next request arrives",
         [](RawConnection& c) {
             const std::string request = c.readRequest();
             if (request.empty())
                 return;
             c.send(httpResponse("HTTP/1.1 200 OK", targetOf(request).substr(1)));
             if (targetOf(request) == "/first")
                 c.waitForBytes(5000); // and closed unread
             else
                 c.waitForPeerClose(5000);
         },
         "second", "200 OK", 2, 2},
        {"closed in order after reading the next request",
         [](RawConnection& c) {
             const std::string request = c.readRequest();
             if (request.empty())
                 return;
             c.send(httpResponse("HTTP/1.1 200 OK", targetOf(request).substr(1)));
             if (targetOf(request) == "/first")
                 c.readRequest(); // then closed without an answer
             else
                 c.waitForPeerClose(5000);
         },
         "", "712 服务器未响应!", 1, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        RawServer server(k.handler);
        HttpRequestOptions first;
        EXPECT_EQ(client.fetch(server.url("/first"), first), "first");
        HttpRequestOptions second;
        second.timeoutSeconds = 5;
        EXPECT_EQ(client.fetch(server.url("/second"), second), k.secondBody);
        EXPECT_EQ(second.status, gbk(k.secondStatus));
        server.stop();
        EXPECT_EQ(server.received().size(), k.connections);
        const std::vector<std::string> requests = server.requests();
        ASSERT_EQ(requests.size(), k.requests);
        EXPECT_TRUE(requests.back().starts_with("GET /second ")) << requests.back();
    }
}

// A fetch run by events pumped while another fetch waits on the same thread
// opens a second connection instead of waiting for the first; of the two, one
// stays idle for the thread.
TEST_F(ConnectionReuseTest, AFetchInsideAFetchOpensASecondConnection)
{
    RawServer server([](RawConnection& c) {
        for (std::string request = c.readRequest(); !request.empty(); request = c.readRequest()) {
            pause(c, 300);
            c.send(httpResponse("HTTP/1.1 200 OK", targetOf(request).substr(1)));
        }
    });
    Text inner;
    double innerDoneAt = -1;
    const auto start = Clock::now();
    bool nested = false;
    installEventPump([&] {
        if (nested)
            return;
        nested = true;
        inner = client.fetch(server.url("/inner"));
        innerDoneAt = std::chrono::duration<double>(Clock::now() - start).count();
    });
    EXPECT_EQ(client.fetch(server.url("/outer")), "outer");
    const double outerDoneAt = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(inner, "inner");
    EXPECT_LT(innerDoneAt, outerDoneAt);
    EXPECT_LT(outerDoneAt, 0.9); // the inner fetch waited for no connection
    EXPECT_EQ(server.received().size(), 2u);

    EXPECT_EQ(client.fetch(server.url("/again")), "again");
    EXPECT_EQ(server.received().size(), 2u);
    EXPECT_EQ(net::closeIdleConnections(), 1u);
}

// Five workers fetching at once, twice over with new threads, and the
// calling thread beside them: no more connections than ever ran at once.
TEST_F(ConnectionReuseTest, ABulkLoadOpensNoMoreThanSixConnectionsToAHost)
{
    sample::SampleOptions options;
    options.funds = 20;
    options.connectCostMs = 20;
    sample::SampleService service(options);
    ASSERT_GT(service.start(), 0);
    const std::string url = service.baseUrl() + "/";
    std::atomic<int> failed{0};
    for (int run = 0; run < 2; ++run) {
        std::vector<std::thread> rows;
        for (int row = 0; row < 5; ++row) {
            rows.emplace_back([&] {
                for (int i = 0; i < 8; ++i) {
                    HttpRequestOptions request;
                    if (HttpClient().fetch(url, request).empty())
                        ++failed;
                }
            });
        }
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE(client.fetch(url).empty());
        for (std::thread& t : rows)
            t.join();
    }
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(service.requests().size(), 88u);
    EXPECT_LE(service.connectionsOpened(), 6);
    EXPECT_GE(service.connectionsOpened(), 2);
}

// More connections ran at once than are kept: six idle ones stay.
TEST_F(ConnectionReuseTest, AtMostSixIdleConnectionsToAHostAreKept)
{
    RawServer server([](RawConnection& c) {
        for (std::string request = c.readRequest(); !request.empty(); request = c.readRequest()) {
            pause(c, 400);
            c.send(httpResponse("HTTP/1.1 200 OK", "ok"));
        }
    });
    std::vector<std::thread> threads;
    std::atomic<int> answered{0};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] { answered += HttpClient().fetch(server.url()) == "ok"; });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(answered.load(), 8);
    EXPECT_EQ(server.received().size(), 8u);
    EXPECT_EQ(net::closeIdleConnections(), net::kMaxIdlePerOrigin);
}

// A new connection to a host resumes the TLS session of an earlier one, even
// from another call: the server here closes each connection after one answer.
TEST_F(ConnectionReuseTest, ANewConnectionResumesTheTlsSession)
{
    httplib::SSLServer server(NET_TEST_DIR "/loopback-ca-signed.crt", NET_TEST_DIR "/loopback-ca-signed.key");
    ASSERT_TRUE(server.is_valid());
    server.set_keep_alive_max_count(1);
    std::vector<bool> resumed;
    server.Get("/", [&resumed](const httplib::Request& req, httplib::Response& res) {
        resumed.push_back(req.ssl && SSL_session_reused(const_cast<SSL*>(req.ssl)) == 1);
        res.set_content("secure page", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HttpClient::setCaFileForTests(NET_TEST_DIR "/test-ca.crt");
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/";
    std::vector<Text> pages;
    for (int i = 0; i < 3; ++i)
        pages.push_back(client.fetch(url));
    HttpClient::setCaFileForTests("");
    server.stop();
    thread.join();
    EXPECT_EQ(pages, std::vector<Text>(3, "secure page"));
    EXPECT_EQ(resumed, (std::vector<bool>{false, true, true}));
}

} // namespace
} // namespace fw
