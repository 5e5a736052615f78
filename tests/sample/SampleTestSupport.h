#pragma once
// Helpers for the sample service tests: a plain HTTP client that sends
// targets exactly as written, a raw socket exchange, and the two cutting
// operations the program applies to the answers.
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

namespace fw::sample::testing {

struct Reply {
    int status = -1;  // -1: no answer
    std::string body;
    std::string contentType;
};

inline Reply get(int port, const std::string& target, int timeoutSeconds = 5, const httplib::Headers& headers = {})
{
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    client.set_read_timeout(timeoutSeconds, 0);
    client.set_connection_timeout(2, 0);
    Reply r;
    if (auto res = client.Get(target.c_str(), headers)) {
        r.status = res->status;
        r.body = res->body;
        r.contentType = res->get_header_value("Content-Type");
    }
    return r;
}

inline Reply post(int port, const std::string& target, const std::string& body)
{
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    Reply r;
    if (auto res = client.Post(target.c_str(), body, "application/x-www-form-urlencoded")) {
        r.status = res->status;
        r.body = res->body;
    }
    return r;
}

// Sends `request` as it stands and reads until the server closes or
// `timeoutMs` passes. Returns every byte received.
inline std::string rawExchange(int port, const std::string& request, int timeoutMs = 3000)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string out;
    if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        ::send(sock, request.data(), request.size(), MSG_NOSIGNAL);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buf[8192];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{sock, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(sock, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            out.append(buf, size_t(n));
        }
    }
    ::close(sock);
    return out;
}

// The text after the first `front` up to the next `back`; "" when either is missing.
inline std::string cutBetween(const std::string& text, const std::string& front, const std::string& back)
{
    const size_t a = text.find(front);
    if (a == std::string::npos)
        return {};
    const size_t b = text.find(back, a + front.size());
    if (b == std::string::npos)
        return {};
    return text.substr(a + front.size(), b - a - front.size());
}

inline std::string textAfterLast(const std::string& text, const std::string& marker)
{
    const size_t a = text.rfind(marker);
    return a == std::string::npos ? std::string() : text.substr(a + marker.size());
}

// Every match of pattern (ECMAScript; "." stops at line ends, as in the program's matcher).
inline std::vector<std::string> matchesOf(const std::string& text, const std::string& pattern)
{
    std::vector<std::string> out;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        out.push_back(it->str());
    return out;
}

inline std::vector<std::string> splitFields(const std::string& entry)
{
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        const size_t comma = entry.find(',', pos);
        out.push_back(entry.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (comma == std::string::npos)
            return out;
        pos = comma + 1;
    }
}

} // namespace fw::sample::testing
