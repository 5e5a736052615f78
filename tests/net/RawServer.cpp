#include "RawServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <strings.h>

namespace fw::test {

namespace {

// Small waits so that stop() is seen quickly by every thread.
constexpr int kSliceMs = 20;

bool waitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

size_t contentLength(std::string_view head)
{
    size_t pos = 0;
    while ((pos = head.find("\r\n", pos)) != std::string_view::npos) {
        pos += 2;
        if (head.size() - pos >= 15 && strncasecmp(head.data() + pos, "Content-Length:", 15) == 0)
            return std::strtoul(std::string(head.substr(pos + 15, 20)).c_str(), nullptr, 10);
    }
    return 0;
}

} // namespace

bool RawConnection::stopping() const { return m_server.m_stop.load(); }

bool RawConnection::readMore(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping() && std::chrono::steady_clock::now() < end) {
        if (!waitReadable(m_fd, kSliceMs))
            continue;
        char chunk[16384];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<size_t>(n));
        m_server.record(m_index, std::string_view(chunk, static_cast<size_t>(n)));
        return true;
    }
    return false;
}

std::string RawConnection::readRequest(int timeoutMs)
{
    size_t headEnd;
    while ((headEnd = m_buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore(timeoutMs))
            return {};
    }
    const size_t total = headEnd + 4 + contentLength(std::string_view(m_buffer).substr(0, headEnd + 2));
    while (m_buffer.size() < total) {
        if (!readMore(timeoutMs))
            break;
    }
    std::string request = m_buffer.substr(0, total);
    m_buffer.erase(0, std::min(total, m_buffer.size()));
    return request;
}

bool RawConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool RawConnection::waitForBytes(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping() && std::chrono::steady_clock::now() < end) {
        if (!m_buffer.empty() || waitReadable(m_fd, kSliceMs))
            return true;
    }
    return false;
}

void RawConnection::waitForPeerClose(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping() && std::chrono::steady_clock::now() < end) {
        if (!waitReadable(m_fd, kSliceMs))
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        m_server.record(m_index, std::string_view(chunk, static_cast<size_t>(n)));
    }
}

RawServer::RawServer(Handler handler) : m_handler(std::move(handler))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(m_listenFd, 16) == 0) {
        socklen_t len = sizeof addr;
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

RawServer::~RawServer() { stop(); }

void RawServer::stop()
{
    if (m_stop.exchange(true))
        return;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (std::thread& t : workers)
        t.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

std::string RawServer::url(std::string_view pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(pathAndQuery);
}

std::vector<std::string> RawServer::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::string> RawServer::requests() const
{
    std::vector<std::string> out;
    for (const std::string& bytes : received()) {
        size_t from = 0;
        while (from < bytes.size()) {
            const size_t headEnd = bytes.find("\r\n\r\n", from);
            if (headEnd == std::string::npos) {
                out.push_back(bytes.substr(from));
                break;
            }
            const size_t end = std::min(bytes.size(), headEnd + 4 + contentLength(std::string_view(bytes).substr(from, headEnd + 2 - from)));
            out.push_back(bytes.substr(from, end - from));
            from = end;
        }
    }
    return out;
}

void RawServer::record(size_t index, std::string_view bytes)
{
    std::lock_guard lock(m_mutex);
    m_received[index].append(bytes);
}

void RawServer::acceptLoop()
{
    while (!m_stop.load()) {
        if (!waitReadable(m_listenFd, kSliceMs))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        const size_t index = m_received.size();
        m_received.emplace_back();
        m_workers.emplace_back([this, fd, index] {
            RawConnection connection(*this, fd, index);
            m_handler(connection);
            ::close(fd);
        });
    }
}

std::string httpResponse(std::string_view statusLine, std::string_view body, std::string_view extraHeaders)
{
    std::string out(statusLine);
    out += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    out += extraHeaders;
    out += "\r\n";
    out += body;
    return out;
}

} // namespace fw::test
