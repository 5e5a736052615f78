#include "net/UrlParts.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace fw {
namespace {

TEST(UrlParts, SplitsWhatTheEngineConnectsTo)
{
    const struct {
        std::string url;
        bool secure;
        const char* host;
        int port;
        std::string object;
    } cases[] = {
        {"http://a.b/x", false, "a.b", 80, "/x"},
        {"HTTPS://Host:8443/p?q=1#frag", true, "Host", 8443, "/p?q=1"},
        {"hTtPs://h", true, "h", 443, "/"},
        {"http://user:pw@h:81/", false, "h", 81, "/"},
        {"http://a@b@h/", false, "h", 80, "/"},
        {"http://h:/", false, "h", 80, "/"},
        {"http://h:1/", false, "h", 1, "/"},
        {"http://h:65535/", false, "h", 65535, "/"},
        {"http://h:00080/", false, "h", 80, "/"},
        {"http://[::1]:8080/a", false, "::1", 8080, "/a"},
        {"http://[fe80::A:f]/", false, "fe80::A:f", 80, "/"},
        {"http://[::ffff:1.2.3.4]", false, "::ffff:1.2.3.4", 80, "/"},
        {"http://AZaz09-._/", false, "AZaz09-._", 80, "/"},
        // An empty path asks for "/" and drops the query; a fragment never goes out.
        {"http://h?x=1", false, "h", 80, "/"},
        {"http://h#f", false, "h", 80, "/"},
        {"http://h/?x=1", false, "h", 80, "/?x=1"},
        {"http://h/a#b?c", false, "h", 80, "/a"},
        // Blanks, controls and non-ASCII are percent-encoded; other ASCII is sent as given.
        {"http://h/a b ", false, "h", 80, "/a%20b%20"},
        {"http://h/\x01\x1f!~\x7f", false, "h", 80, "/%01%1F!~%7F"},
        {"http://h/" + gbk("中") + "?k=" + gbk("基"), false, "h", 80, "/%E4%B8%AD?k=%E5%9F%BA"},
        {std::string("http://h/a\0b", 12), false, "h", 80, "/a"},
    };
    for (const auto& c : cases) {
        UrlParts parts;
        ASSERT_EQ(parseUrl(c.url, parts), 0) << c.url;
        EXPECT_EQ(parts.secure, c.secure) << c.url;
        EXPECT_EQ(parts.host, c.host) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
        EXPECT_EQ(parts.objectName, c.object) << c.url;
    }
}

TEST(UrlParts, RefusesWhatCannotBeSplitOrReached)
{
    const std::string longest(253, 'a');
    const struct { std::string url; int code; } cases[] = {
        {"", 701}, {"h/x", 701}, {"ftp://h/", 701}, {"httpx://h/", 701}, {"htt://h/", 701},
        {"http:///x", 701}, {"http://:80/", 701}, {"http://u@/", 701},
        {"http://[::1/", 701}, {"http://[::1]x/", 701}, {"http://[]/", 701},
        {"http://h:0/", 701}, {"http://h:65536/", 701}, {"http://h:123456/", 701}, {"http://h:8a/", 701},
        {"http://h:-1/", 701},
        {"http://a b/", 703}, {"http://a!b/", 703}, {"http://[::g]/", 703}, {"http://[1::1%25]/", 703},
        {"http://" + longest + "a/", 703}, {"http://" + gbk("中") + "/", 703},
    };
    for (const auto& c : cases) {
        UrlParts parts;
        EXPECT_EQ(parseUrl(c.url, parts), c.code) << c.url;
    }
    UrlParts parts;
    EXPECT_EQ(parseUrl("http://" + longest + "/", parts), 0);
}

TEST(UrlParts, CurlUrlBracketsIpv6)
{
    UrlParts parts;
    ASSERT_EQ(parseUrl("https://[::1]/q?a=1", parts), 0);
    EXPECT_EQ(parts.curlUrl(), "https://[::1]:443/q?a=1");
    ASSERT_EQ(parseUrl("http://127.0.0.1:9/", parts), 0);
    EXPECT_EQ(parts.curlUrl(), "http://127.0.0.1:9/");
}

} // namespace
} // namespace fw
