#pragma once
// One complete HTTP/HTTPS exchange per call (libcurl); the body comes back as
// GBK text (pages declaring a foreign charset are converted). Failures are an
// empty result and a numbered message in `status`, never an exception.
// No cookie or credential survives a call; connections are kept open and
// reused by later calls (see ConnectionPool.h), which changes nothing a
// caller sees but the time taken.
#include "net/LoadToken.h"
#include "text/Text.h"
#include <optional>
#include <string>

namespace fw {

struct HttpRequestOptions {
    int method = 0;                       // 0 GET, 1 POST, 2 HEAD, 3 PUT, else GET
    Text body;                            // sent with every method
    std::optional<Text> cookies;          // in/out; merged with the response's cookies when given
    Text receivedCookies;                 // out (appended to)
    Text extraHeaders;                    // "\r\n"-separated lines, no final line end
    Text responseHeaders;                 // out
    bool noRedirect = false;
    Text serverUser, serverPassword;
    Text proxy;                           // "host:port"; empty = direct
    Text proxyUser, proxyPassword;
    int timeoutSeconds = 0;               // per phase; <= 0 means 30
    // The whole exchange, from the first connect to the last byte, however
    // lively the peer: <= 0 means four times the per-phase time-out.
    int deadlineSeconds = 0;
    // The load the fetch belongs to: once it is cancelled the fetch sends
    // nothing, or abandons its transfer at once (a failure by phase).
    LoadTicket load;
    Text location;                        // out
    Text status;                          // out: "200 OK" or a numbered failure message
    std::string responseBytes;            // out: raw body
    bool bodyCut = false;                 // out: the body reached kMaxBodyBytes and was cut there (713)
};

class HttpClient {
public:
    // Response bodies are cut at this size; `status` then says so.
    static constexpr size_t kMaxBodyBytes = 64u * 1024u * 1024u;

    Text fetch(std::string_view url, HttpRequestOptions& options) const;
    Text fetch(std::string_view url) const; // all options at their defaults

    // For tests only, so that a loopback HTTPS server can be trusted: every
    // later fetch of the process checks certificates against the authorities
    // in this PEM file instead of the system's CA bundle. Empty restores the
    // system's. The program itself never calls it.
    static void setCaFileForTests(std::string path);
};

} // namespace fw
