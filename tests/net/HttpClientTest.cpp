#include "RawServer.h"

#include "net/EventPump.h"
#include "net/HttpClient.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <netdb.h>
#include <thread>

// The system resolver, with one reserved name whose look-up hangs for a while
// before failing, the way a lost DNS answer does. Every other name goes to the
// real resolver.
namespace {
constexpr const char* kHangingName = "hanging-lookup.test";
std::atomic<int> g_hangingLookups{0};
} // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** res)
{
    if (node && std::strcmp(node, kHangingName) == 0) {
        ++g_hangingLookups;
        std::this_thread::sleep_for(std::chrono::seconds(5));
        return EAI_AGAIN;
    }
    using Fn = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, res);
}

namespace fw {
namespace {

using test::httpResponse;
using test::RawConnection;
using test::RawServer;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Answers every request of a connection from a table keyed by request target.
RawServer::Handler routes(std::map<std::string, std::string> table)
{
    return [table](RawConnection& c) {
        for (std::string request = c.readRequest(); !request.empty(); request = c.readRequest()) {
            const size_t a = request.find(' ') + 1;
            const std::string target = request.substr(a, request.find(' ', a) - a);
            const auto it = table.find(target);
            c.send(it != table.end() ? it->second : httpResponse("HTTP/1.1 404 Not Found", "no such page"));
        }
    };
}

// Answers the first request of each connection with `response`.
RawServer::Handler answer(std::string response)
{
    return [response](RawConnection& c) {
        if (!c.readRequest().empty())
            c.send(response);
        c.waitForPeerClose(5000);
    };
}

std::string requestLine(const std::string& raw) { return raw.substr(0, raw.find("\r\n")); }
std::string requestBody(const std::string& raw) { return raw.substr(raw.find("\r\n\r\n") + 4); }

// The header lines after the request line, Host left out.
std::vector<std::string> headerLines(const std::string& raw)
{
    std::vector<std::string> lines;
    const std::string head = raw.substr(0, raw.find("\r\n\r\n"));
    size_t pos = head.find("\r\n");
    while (pos != std::string::npos) {
        const size_t next = head.find("\r\n", pos + 2);
        std::string line = head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
        if (!line.starts_with("Host:"))
            lines.push_back(line);
        pos = next;
    }
    return lines;
}

// An httplib server listening on a loopback port for the life of the object.
template <class Server>
class Listening {
public:
    explicit Listening(Server& server) : m_server(server), m_port(server.bind_to_any_port("127.0.0.1"))
    {
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Listening()
    {
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    Server& m_server;
    int m_port;
    std::thread m_thread;
};

class HttpClientTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        uninstallEventPump();
        resetTransferAbort();
        HttpClient::setCaFileForTests("");
    }
    HttpClient client;
};

// --- What goes on the wire ---------------------------------------------------

TEST_F(HttpClientTest, DefaultHeadersGoOutInTheirOrder)
{
    RawServer server(answer(httpResponse("HTTP/1.1 200 OK", "ok")));
    EXPECT_EQ(client.fetch(server.url("/page")), "ok");
    const std::string raw = server.received().at(0);
    EXPECT_EQ(requestLine(raw), "GET /page HTTP/1.1");
    const std::vector<std::string> expected = {
        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
        "Accept: text/html, application/xhtml+xml, */*",
        "Accept-Encoding: gbk, GB2312",
        "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded",
        "Cache-Control: no-cache",
    };
    EXPECT_EQ(headerLines(raw), expected);
}

TEST_F(HttpClientTest, CallerHeadersAndTheLetterCaseOfTheDefaultSearch)
{
    RawServer server(answer(httpResponse("HTTP/1.1 200 OK", "ok")));
    HttpRequestOptions options;
    options.extraHeaders = "Referer: http://a.test/\r\nuser-agent: mine\r\ncontent-type: text/plain";
    client.fetch(server.url(), options);
    const std::vector<std::string> lines = headerLines(server.received().at(0));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Referer: http://a.test/");
    EXPECT_EQ(lines[1], "user-agent: mine");
    EXPECT_EQ(lines[2], "content-type: text/plain");
    int userAgents = 0, contentTypes = 0;
    for (const std::string& line : lines) {
        userAgents += line.starts_with("User-Agent") || line.starts_with("user-agent");
        contentTypes += line.starts_with("Content-Type") || line.starts_with("content-type");
    }
    EXPECT_EQ(userAgents, 1); // the lower-case line suppresses the default one
    EXPECT_EQ(contentTypes, 2); // the exact-case search does not see "content-type:"
}

// The lines of a request head, split at every CR and every LF: what a server
// that takes a bare line break as a line end would see.
std::vector<std::string> looseHeadLines(const std::string& raw)
{
    std::vector<std::string> lines;
    const std::string head = raw.substr(0, raw.find("\r\n\r\n"));
    size_t from = 0;
    for (size_t at; (at = head.find_first_of("\r\n", from)) != std::string::npos; from = at + 1)
        lines.push_back(head.substr(from, at - from));
    lines.push_back(head.substr(from));
    return lines;
}

TEST_F(HttpClientTest, LineBreaksInsideACallerLineStartNoHeader)
{
    RawServer server(answer(httpResponse("HTTP/1.1 200 OK", "ok")));
    HttpRequestOptions options;
    options.extraHeaders = "X-A: 1\nX-Injected: lf\r\nX-B: 2\rX-Injected: cr\r\nX-C: 3\n\r\n";
    options.cookies = "c=1\r\nX-Injected: cookie\nX-Injected: cookie-lf";
    EXPECT_EQ(client.fetch(server.url(), options), "ok");
    const std::string raw = server.received().at(0);
    for (const std::string& line : looseHeadLines(raw))
        EXPECT_FALSE(line.starts_with("X-Injected")) << raw;
    const std::vector<std::string> lines = headerLines(raw);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "X-A: 1X-Injected: lf");
    EXPECT_EQ(lines[1], "X-B: 2X-Injected: cr");
    EXPECT_EQ(lines[2], "X-C: 3");
    EXPECT_NE(raw.find("\r\nCookie: c=1X-Injected: cookieX-Injected: cookie-lf\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, VerbsAndBodies)
{
    RawServer server(routes({{"/v", httpResponse("HTTP/1.1 200 OK", "ok")}}));
    struct Case {
        int method;
        const char* verb;
    };
    for (const Case& c : {Case{0, "GET"}, Case{1, "POST"}, Case{3, "PUT"}, Case{7, "GET"}, Case{-1, "GET"}}) {
        HttpRequestOptions options;
        options.method = c.method;
        options.body = "k=v&n=" + std::to_string(c.method);
        EXPECT_EQ(client.fetch(server.url("/v"), options), "ok") << c.method;
        const std::string raw = server.requests().back();
        EXPECT_EQ(requestLine(raw), std::string(c.verb) + " /v HTTP/1.1") << c.method;
        EXPECT_EQ(requestBody(raw), options.body) << c.method;
    }
}

TEST_F(HttpClientTest, LargeBodyGoesOutWithoutWaitingForContinue)
{
    RawServer server(routes({{"/big", httpResponse("HTTP/1.1 200 OK", "ok")}}));
    HttpRequestOptions options;
    options.method = 1;
    options.body = std::string(2 * 1024 * 1024, 'x');
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch(server.url("/big"), options), "ok");
    EXPECT_LT(secondsSince(start), 0.9);
    const std::string raw = server.received().at(0);
    EXPECT_EQ(raw.find("Expect"), std::string::npos);
    EXPECT_EQ(requestBody(raw).size(), options.body.size());
}

TEST_F(HttpClientTest, HeadSendsItsBodyAndReadsNoResponseBody)
{
    RawServer server(answer("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n"));
    HttpRequestOptions options;
    options.method = 2;
    options.body = "q=1";
    options.timeoutSeconds = 5;
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch(server.url("/h"), options), "");
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(options.status, "200 OK");
    const std::string raw = server.received().at(0);
    EXPECT_EQ(requestLine(raw), "HEAD /h HTTP/1.1");
    EXPECT_EQ(requestBody(raw), "q=1");
}

TEST_F(HttpClientTest, UrlTextReachesTheServerAsThePlatformSendsIt)
{
    RawServer server(routes({}));
    const std::pair<std::string, std::string> cases[] = {
        {"/jbgk_000001.html ", "GET /jbgk_000001.html%20 HTTP/1.1"}, // trailing blank is part of the path
        {"?a=1&b=2", "GET / HTTP/1.1"},                              // a query without a path is dropped
        {"/p?a=1#top", "GET /p?a=1 HTTP/1.1"},
        {"/a/../b", "GET /a/../b HTTP/1.1"},
        {"/" + gbk("基金"), "GET /%E5%9F%BA%E9%87%91 HTTP/1.1"},
    };
    for (const auto& [path, line] : cases) {
        client.fetch(server.url(path));
        EXPECT_EQ(requestLine(server.requests().back()), line) << path;
    }
}

// The bounds of what a URL may name: the highest port, a bracketed IPv6
// address, a host name of 253 characters are used; one beyond is refused.
TEST_F(HttpClientTest, UrlBoundsOfPortAndHost)
{
    // Through a proxy, the host and port the URL gives show in the request line.
    RawServer proxy([](RawConnection& c) {
        for (std::string request = c.readRequest(); !request.empty(); request = c.readRequest())
            c.send(httpResponse("HTTP/1.1 200 OK", "ok"));
    });
    const std::string viaProxy = "127.0.0.1:" + std::to_string(proxy.port());
    std::string longest;
    for (int label = 0; label < 4; ++label)
        longest += std::string(62, 'a') + ".";
    longest += "b";
    ASSERT_EQ(longest.size(), 253u);
    for (const std::string& url : std::vector<std::string>{"http://fund.example.invalid:65535/x",
                                                           "http://[::1]:8080/x", "http://" + longest + "/x"}) {
        HttpRequestOptions options;
        options.proxy = viaProxy;
        EXPECT_EQ(client.fetch(url, options), "ok") << url;
        EXPECT_EQ(options.status, "200 OK") << url;
        EXPECT_EQ(requestLine(proxy.received().back()), "GET " + url + " HTTP/1.1");
    }
    const size_t used = proxy.received().size();

    const std::pair<std::string, const char*> refused[] = {
        {"http://fund.example.invalid:65536/x", "701 解析URL地址失败!"},
        {"http://fund.example.invalid:0/x", "701 解析URL地址失败!"},
        {"http://" + longest + "c/x", "703 创建WinHttp连接失败!"},
    };
    for (const auto& [url, status] : refused) {
        HttpRequestOptions options;
        options.proxy = viaProxy;
        EXPECT_EQ(client.fetch(url, options), "") << url;
        EXPECT_EQ(options.status, gbk(status)) << url;
    }
    EXPECT_EQ(proxy.received().size(), used);
}

TEST_F(HttpClientTest, BasicCredentialsOnlyWithUserAndPassword)
{
    RawServer server(routes({{"/", httpResponse("HTTP/1.1 200 OK", "ok")}}));
    HttpRequestOptions options;
    options.serverUser = "user";
    options.serverPassword = "pass";
    client.fetch(server.url(), options);
    options.serverPassword.clear();
    client.fetch(server.url(), options);
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 2u); // the connection may be kept between calls, the credentials are not
    EXPECT_NE(received[0].find("\r\nAuthorization: Basic dXNlcjpwYXNz\r\n"), std::string::npos);
    EXPECT_EQ(received[1].find("Authorization:"), std::string::npos);
}

TEST_F(HttpClientTest, ProxyIsUsedOnlyWhenGiven)
{
    RawServer proxy(answer(httpResponse("HTTP/1.1 200 OK", "via proxy")));
    RawServer direct(answer(httpResponse("HTTP/1.1 200 OK", "direct")));

    HttpRequestOptions options;
    options.proxy = "127.0.0.1:" + std::to_string(proxy.port());
    options.proxyUser = "pu";
    options.proxyPassword = "pp";
    EXPECT_EQ(client.fetch("http://fund.example.invalid/x", options), "via proxy");
    const std::string raw = proxy.received().at(0);
    EXPECT_EQ(requestLine(raw), "GET http://fund.example.invalid/x HTTP/1.1");
    EXPECT_NE(raw.find("\r\nProxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos);

    // An empty proxy means a direct connection, whatever the environment says.
    ::setenv("http_proxy", proxy.url().c_str(), 1);
    const Text body = client.fetch(direct.url());
    ::unsetenv("http_proxy");
    EXPECT_EQ(body, "direct");
    EXPECT_EQ(proxy.received().size(), 1u);
}

// --- What comes back -----------------------------------------------------------

TEST_F(HttpClientTest, CookiesAreCollectedMergedAndSent)
{
    RawServer server(answer(httpResponse("HTTP/1.1 200 OK", "ok",
                                         "Set-Cookie: a=1; path=/; HttpOnly\r\n"
                                         "set-cookie: b=2\r\n"
                                         "SET-COOKIE:  c=3 ;expires=never\r\n")));
    HttpRequestOptions options;
    options.cookies = "b=0; d=4";
    EXPECT_EQ(client.fetch(server.url(), options), "ok");
    EXPECT_EQ(options.receivedCookies, "a=1; b=2; c=3");
    EXPECT_EQ(options.cookies, "a=1; b=2; c=3; d=4");
    EXPECT_NE(options.responseHeaders.find("\r\nSet-Cookie: b=2\r\n"), std::string::npos);
    EXPECT_NE(options.responseHeaders.find("\r\nSet-Cookie:  c=3"), std::string::npos);
    EXPECT_NE(server.received().at(0).find("\r\nCookie: b=0; d=4\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, NoCookieHeaderWithoutCookiesAndCallerTextKept)
{
    RawServer server(answer(httpResponse("HTTP/1.1 200 OK", "ok")));
    HttpRequestOptions options;
    options.cookies = "";
    options.receivedCookies = "x=1; y=2"; // appended to, never cut
    client.fetch(server.url(), options);
    EXPECT_EQ(server.received().at(0).find("Cookie"), std::string::npos);
    EXPECT_EQ(options.receivedCookies, "x=1; y=2");
    EXPECT_EQ(options.cookies, "x=1; y=2");
}

TEST_F(HttpClientTest, RedirectsAndErrorStatusesAreAnswers)
{
    RawServer server(routes({
        {"/old", httpResponse("HTTP/1.1 302 Found", "moved", "Location: /new\r\nSet-Cookie: s=1\r\n")},
        {"/new", httpResponse("HTTP/1.1 200 OK", "target page")},
    }));
    HttpRequestOptions stay;
    stay.noRedirect = true;
    EXPECT_EQ(client.fetch(server.url("/old"), stay), "moved");
    EXPECT_EQ(stay.status, "302 Found");
    EXPECT_EQ(stay.location, "/new");

    HttpRequestOptions follow;
    follow.cookies = "";
    EXPECT_EQ(client.fetch(server.url("/old"), follow), "target page");
    EXPECT_EQ(follow.status, "200 OK");
    EXPECT_TRUE(follow.responseHeaders.starts_with("HTTP/1.1 200 OK"));
    // The cookie set by the redirect travels to its target within the call.
    EXPECT_NE(server.received().back().find("Cookie: s=1"), std::string::npos);

    HttpRequestOptions missing;
    EXPECT_EQ(client.fetch(server.url("/missing"), missing), "no such page");
    EXPECT_EQ(missing.status, "404 Not Found");
    EXPECT_TRUE(missing.responseHeaders.starts_with("HTTP/1.1 404 Not Found\r\n"));
}

TEST_F(HttpClientTest, HeaderLinesEndingInALineFeedAloneAreLines)
{
    RawServer server(routes({
        {"/lf", "HTTP/1.1 302 Found\nLocation: /next\nSet-Cookie: a=1; path=/\nset-cookie: b=2\n"
                "Content-Length: 5\n\nmoved"},
        {"/next", "HTTP/1.1 200 OK\nContent-Length: 4\n\nnext"},
    }));
    HttpRequestOptions stay;
    stay.noRedirect = true;
    EXPECT_EQ(client.fetch(server.url("/lf"), stay), "moved");
    EXPECT_EQ(stay.status, "302 Found");
    EXPECT_EQ(stay.location, "/next");
    EXPECT_EQ(stay.receivedCookies, "a=1; b=2");
    EXPECT_EQ(stay.responseHeaders, "HTTP/1.1 302 Found\r\nLocation: /next\r\nSet-Cookie: a=1; path=/\r\n"
                                    "Set-Cookie: b=2\r\nContent-Length: 5\r\n\r\n");

    HttpRequestOptions follow;
    EXPECT_EQ(client.fetch(server.url("/lf"), follow), "next");
    EXPECT_EQ(follow.status, "200 OK");
    EXPECT_EQ(follow.receivedCookies, "");
}

// Pages labelled GB2312 are GBK: 堃 is outside GB2312 and must arrive whole
// whatever the letter case of the label.
TEST_F(HttpClientTest, PagesLabelledGb2312ArriveAsGbk)
{
    const Text body = gbk("<p>堃 五星基金 €</p>");
    std::map<std::string, std::string> pages;
    const std::vector<std::string> labels = {"gb2312", "GB2312", "Gb2312", "EUC-CN", "x-gbk", "windows-936"};
    for (const std::string& label : labels)
        pages["/" + label] = httpResponse("HTTP/1.1 200 OK", "<meta charset=\"" + label + "\">" + body);
    RawServer server(routes(pages));
    for (const std::string& label : labels) {
        HttpRequestOptions options;
        EXPECT_EQ(client.fetch(server.url("/" + label), options), "<meta charset=\"" + label + "\">" + body) << label;
        EXPECT_EQ(options.status, "200 OK") << label;
    }
}

TEST_F(HttpClientTest, BrokenOffBodyKeepsWhatArrivedAndSaysSo)
{
    RawServer server([](RawConnection& c) {
        c.readRequest();
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nX-A: 1\r\n\r\nhello");
    });
    HttpRequestOptions options;
    EXPECT_EQ(client.fetch(server.url(), options), "hello");
    EXPECT_EQ(options.status, gbk("713 读取数据失败!"));
    EXPECT_EQ(options.responseBytes, "hello");
    EXPECT_NE(options.responseHeaders.find("X-A: 1"), std::string::npos);
}

TEST_F(HttpClientTest, HugeBodyIsCutAtTheBound)
{
    constexpr size_t kHuge = 70u * 1024u * 1024u;
    RawServer server([](RawConnection& c) {
        c.readRequest();
        c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kHuge) + "\r\n\r\n");
        const std::string chunk(1 << 20, 'x');
        for (size_t sent = 0; sent < kHuge && c.send(chunk); sent += chunk.size()) {
        }
    });
    HttpRequestOptions options;
    const Text body = client.fetch(server.url(), options);
    EXPECT_EQ(body.size(), HttpClient::kMaxBodyBytes);
    EXPECT_EQ(options.responseBytes.size(), HttpClient::kMaxBodyBytes);
    EXPECT_EQ(options.status, gbk("713 读取数据失败!"));
}

TEST_F(HttpClientTest, UtfEightPageIsDecodedToGbk)
{
    httplib::Server server;
    const std::string page = "<html><head><meta charset=\"utf-8\"></head><body>五星基金</body></html>";
    server.Get("/p", [&](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HttpRequestOptions options;
    const Text text = client.fetch("http://127.0.0.1:" + std::to_string(port) + "/p", options);
    server.stop();
    thread.join();
    EXPECT_EQ(text, gbk(page));
    EXPECT_EQ(options.responseBytes, page);
    EXPECT_EQ(options.status, "200 OK");
}

// --- Failures -------------------------------------------------------------------

TEST_F(HttpClientTest, UntrustedCertificateIsRefused)
{
    httplib::SSLServer server(NET_TEST_DIR "/loopback-selfsigned.crt", NET_TEST_DIR "/loopback-selfsigned.key");
    ASSERT_TRUE(server.is_valid());
    server.Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_content("secret", "text/plain"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HttpRequestOptions options;
    const Text text = client.fetch("https://127.0.0.1:" + std::to_string(port) + "/", options);
    server.stop();
    thread.join();
    EXPECT_EQ(text, "");
    EXPECT_EQ(options.status, gbk("711 发送请求失败!"));
}

// tests/net/test-ca.crt is an authority made for these tests only; it signed
// loopback-ca-signed.crt for 127.0.0.1 and localhost. Both are valid for 100
// years; made with OpenSSL 3 (the authority's key was not kept):
//   openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out test-ca.crt -days 36500
//       -subj "/CN=fundwatch test authority" -addext "basicConstraints=critical,CA:TRUE"
//       -addext "keyUsage=critical,keyCertSign,cRLSign"
//   openssl req -newkey rsa:2048 -nodes -keyout loopback-ca-signed.key -out server.csr -subj "/CN=127.0.0.1"
//   ext holds four lines: subjectAltName=IP:127.0.0.1,DNS:localhost  basicConstraints=CA:FALSE
//       keyUsage=critical,digitalSignature,keyEncipherment  extendedKeyUsage=serverAuth
//   openssl x509 -req -in server.csr -CA test-ca.crt -CAkey ca.key -CAcreateserial
//       -out loopback-ca-signed.crt -days 36500 -extfile ext
TEST_F(HttpClientTest, RedirectFromHttpsDownToHttpIsNotFollowed)
{
    RawServer plain(answer(httpResponse("HTTP/1.1 200 OK", "plain page")));
    httplib::SSLServer server(NET_TEST_DIR "/loopback-ca-signed.crt", NET_TEST_DIR "/loopback-ca-signed.key");
    ASSERT_TRUE(server.is_valid());
    int port = 0;
    server.Get("/down", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(plain.url("/x"), 302);
        res.set_content("moved", "text/plain");
    });
    server.Get("/across", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("https://localhost:" + std::to_string(port) + "/secure", 302);
    });
    server.Get("/secure", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("secure page", "text/plain");
    });
    Listening listening(server);
    port = listening.port();
    const std::string base = "https://127.0.0.1:" + std::to_string(port);
    HttpClient::setCaFileForTests(NET_TEST_DIR "/test-ca.crt");

    // The authority is trusted, and a redirect that stays on HTTPS is followed.
    HttpRequestOptions across;
    EXPECT_EQ(client.fetch(base + "/across", across), "secure page");
    EXPECT_EQ(across.status, "200 OK");

    // The redirect itself is the answer; the plain server hears nothing.
    HttpRequestOptions down;
    client.fetch(base + "/down", down);
    EXPECT_EQ(down.status, "302 Found");
    EXPECT_EQ(down.location, plain.url("/x"));
    EXPECT_TRUE(plain.received().empty());
}

TEST_F(HttpClientTest, UnusableUrlsFailBeforeAnyTraffic)
{
    const Text parse = gbk("701 解析URL地址失败!");
    for (const char* url : {"", "fund.eastmoney.com/x", "ftp://host/x", "http://", "http:///path", "http://:80/",
                            "http://host:99999/", "http://host:8x/", "http://[::1/"}) {
        HttpRequestOptions options;
        options.responseHeaders = "before";
        EXPECT_EQ(client.fetch(url, options), "") << url;
        EXPECT_EQ(options.status, parse) << url;
        EXPECT_EQ(options.responseHeaders, "before") << url;
    }
    HttpRequestOptions options;
    client.fetch("http://bad host/x", options);
    EXPECT_EQ(options.status, gbk("703 创建WinHttp连接失败!"));
}

TEST_F(HttpClientTest, RefusedConnectionAndPeerClosingWithoutAnswer)
{
    auto closed = std::make_unique<RawServer>([](RawConnection&) {});
    const std::string url = closed->url();
    closed.reset();
    HttpRequestOptions options;
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch(url, options), "");
    EXPECT_EQ(options.status, gbk("711 发送请求失败!"));
    EXPECT_LT(secondsSince(start), 1.0);

    RawServer hangsUp([](RawConnection& c) { c.readRequest(); });
    HttpRequestOptions nothing;
    EXPECT_EQ(client.fetch(hangsUp.url(), nothing), "");
    EXPECT_EQ(nothing.status, gbk("712 服务器未响应!"));
}

TEST_F(HttpClientTest, SilentPeerIsAbandonedAfterTheTimeoutOfItsPhase)
{
    // Silent before any answer.
    RawServer silent([](RawConnection& c) {
        c.readRequest();
        c.waitForPeerClose(20000);
    });
    HttpRequestOptions options;
    options.timeoutSeconds = 1;
    auto start = Clock::now();
    EXPECT_EQ(client.fetch(silent.url(), options), "");
    double took = secondsSince(start);
    EXPECT_EQ(options.status, gbk("712 服务器未响应!"));
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 2.5);

    // Silent in the middle of the body: what arrived is kept.
    RawServer stalls([](RawConnection& c) {
        c.readRequest();
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\npart");
        c.waitForPeerClose(20000);
    });
    HttpRequestOptions midway;
    midway.timeoutSeconds = 1;
    start = Clock::now();
    EXPECT_EQ(client.fetch(stalls.url(), midway), "part");
    took = secondsSince(start);
    EXPECT_EQ(midway.status, gbk("713 读取数据失败!"));
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 2.5);
}

TEST_F(HttpClientTest, PeerTricklingItsAnswerIsNotSilent)
{
    // Each byte of a long header line comes well within the time-out, the
    // whole line does not.
    RawServer trickles([](RawConnection& c) {
        c.readRequest();
        c.send("HTTP/1.1 200 OK\r\nX-Slow: ");
        for (int i = 0; i < 8 && !c.stopping(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            c.send("a");
        }
        c.send("\r\nContent-Length: 2\r\n\r\nok");
        c.waitForPeerClose(5000);
    });
    HttpRequestOptions options;
    options.timeoutSeconds = 1;
    EXPECT_EQ(client.fetch(trickles.url(), options), "ok");
    EXPECT_EQ(options.status, "200 OK");
}

// A peer that is never silent for the time-out still cannot hold a fetch: the
// whole exchange ends at its deadline, four times the time-out unless given.
// Each server gives up after 12 s, so an engine without a deadline fails the
// times below instead of hanging.
TEST_F(HttpClientTest, OneFetchEndsAtItsDeadlineHoweverLivelyThePeer)
{
    auto every300ms = [](RawConnection& c, const std::string& bytes) {
        for (int i = 0; i < 40 && !c.stopping() && c.send(bytes); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    const struct {
        const char* name;
        RawServer::Handler handler;
        int deadlineSeconds;
        double from, to; // seconds
        const char* status;
    } cases[] = {
        {"a body byte now and then, the default deadline",
         [&](RawConnection& c) {
             c.readRequest();
             c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
             every300ms(c, "x");
         },
         0, 3.8, 5.5, "713 读取数据失败!"},
        {"interim answers without end",
         [&](RawConnection& c) {
             c.readRequest();
             every300ms(c, "HTTP/1.1 100 Continue\r\n\r\n");
         },
         2, 1.8, 3.5, "712 服务器未响应!"},
        {"header lines without end",
         [&](RawConnection& c) {
             c.readRequest();
             c.send("HTTP/1.1 200 OK\r\n");
             every300ms(c, "X-More: 1\r\n");
         },
         2, 1.8, 3.5, "712 服务器未响应!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawServer server(c.handler);
        HttpRequestOptions options;
        options.timeoutSeconds = 1;
        options.deadlineSeconds = c.deadlineSeconds;
        const auto start = Clock::now();
        client.fetch(server.url(), options);
        const double took = secondsSince(start);
        EXPECT_GT(took, c.from);
        EXPECT_LT(took, c.to);
        EXPECT_EQ(options.status, gbk(c.status));
    }
}

// A load's cancel ends its own transfers, at once and on any thread, and
// leaves another load's alone; a fetch of a load already cancelled (or
// overtaken by a newer load of its token) sends nothing.
TEST_F(HttpClientTest, ALoadsCancelEndsItsOwnTransfersOnly)
{
    RawServer server([](RawConnection& c) {
        const std::string request = c.readRequest();
        if (request.starts_with("GET /slow ")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            c.send(httpResponse("HTTP/1.1 200 OK", "ok"));
        }
        c.waitForPeerClose(20000); // /stall: silent
    });
    LoadToken stalled, other;
    HttpRequestOptions inFlight, untouched;
    inFlight.load = stalled.begin();
    untouched.load = other.begin();
    const auto start = Clock::now();
    double inFlightTook = 0;
    std::thread worker([&] {
        client.fetch(server.url("/stall"), inFlight);
        inFlightTook = secondsSince(start);
    });
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stalled.cancel();
    });
    EXPECT_EQ(client.fetch(server.url("/slow"), untouched), "ok");
    worker.join();
    canceller.join();
    EXPECT_LT(inFlightTook, 1.0);
    EXPECT_EQ(inFlight.status, gbk("712 服务器未响应!"));
    EXPECT_EQ(untouched.status, "200 OK");
    EXPECT_FALSE(transfersAborted()); // no other transfer of the process was touched
    EXPECT_EQ(server.received().size(), 2u);

    // Tickets that are no longer current (overtaken, cancelled, finished):
    // nothing goes out. Which ticket is current is LoadTokenTest's.
    LoadToken token;
    const LoadTicket first = token.begin();
    const LoadTicket second = token.begin();
    token.cancel();
    const LoadTicket third = token.tryBegin();
    token.finish(third);
    for (const LoadTicket& ticket : {first, second, third}) {
        HttpRequestOptions options;
        options.load = ticket;
        EXPECT_EQ(client.fetch(server.url("/slow"), options), "");
        EXPECT_EQ(options.status, gbk("711 发送请求失败!"));
    }
    EXPECT_EQ(server.received().size(), 2u);
}

TEST_F(HttpClientTest, HangingNameLookupEndsAtTheTimeoutAndOnAbort)
{
    const std::string url = std::string("http://") + kHangingName + "/x";
    HttpRequestOptions options;
    options.timeoutSeconds = 1;
    auto start = Clock::now();
    EXPECT_EQ(client.fetch(url, options), "");
    EXPECT_LT(secondsSince(start), 2.5);
    EXPECT_EQ(options.status, gbk("711 发送请求失败!"));

    std::thread aborter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        abortAllTransfers();
    });
    HttpRequestOptions aborted;
    start = Clock::now();
    EXPECT_EQ(client.fetch(url, aborted), "");
    aborter.join();
    EXPECT_LT(secondsSince(start), 1.0);
    EXPECT_EQ(aborted.status, gbk("711 发送请求失败!"));
    EXPECT_GE(g_hangingLookups.load(), 2); // the look-ups really went to the resolver
}

TEST_F(HttpClientTest, AbortEndsTransfersOnEveryThreadAndRefusesNewOnes)
{
    RawServer silent([](RawConnection& c) {
        c.readRequest();
        c.waitForPeerClose(20000);
    });
    HttpRequestOptions onWorker, onMain;
    std::thread worker([&] { client.fetch(silent.url(), onWorker); });
    std::thread aborter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        abortAllTransfers();
    });
    const auto start = Clock::now();
    client.fetch(silent.url(), onMain);
    worker.join();
    aborter.join();
    EXPECT_LT(secondsSince(start), 1.0);
    EXPECT_EQ(onMain.status, gbk("712 服务器未响应!"));
    EXPECT_EQ(onWorker.status, gbk("712 服务器未响应!"));

    HttpRequestOptions after;
    EXPECT_EQ(client.fetch(silent.url(), after), "");
    EXPECT_EQ(after.status, gbk("711 发送请求失败!"));
}

// --- The event pump ---------------------------------------------------------------

TEST_F(HttpClientTest, PumpRunsOnTheUiThreadOnlyAndMayFetchAgain)
{
    RawServer server([](RawConnection& c) {
        const std::string request = c.readRequest();
        if (request.starts_with("GET /slow"))
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        c.send(httpResponse("HTTP/1.1 200 OK", request.starts_with("GET /slow") ? "outer" : "inner"));
    });
    int pumps = 0;
    Text nested;
    installEventPump([&] {
        ++pumps;
        if (nested.empty()) {
            nested = "running";
            nested = client.fetch(server.url("/quick"));
        }
    });
    EXPECT_EQ(client.fetch(server.url("/slow")), "outer");
    EXPECT_EQ(nested, "inner");
    EXPECT_GT(pumps, 3);

    const int before = pumps;
    Text onWorker;
    std::thread worker([&] { onWorker = client.fetch(server.url("/slow")); });
    worker.join();
    EXPECT_EQ(onWorker, "outer");
    EXPECT_EQ(pumps, before);
}

} // namespace
} // namespace fw
