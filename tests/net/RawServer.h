#pragma once
// A loopback TCP server for the tests, for what a well-behaved HTTP server
// never does (stay silent, cut a body short, send odd header spellings). Each
// accepted connection runs the scripted handler in its own thread; the raw
// request bytes of every connection are recorded.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fw::test {

class RawServer;

class RawConnection {
public:
    RawConnection(RawServer& server, int fd, size_t index) : m_server(server), m_fd(fd), m_index(index) {}
    // Reads one request: the head up to the blank line and a Content-Length body.
    std::string readRequest(int timeoutMs = 5000);
    bool send(std::string_view bytes);
    // Waits until bytes arrive without reading them (a handler that then
    // returns closes the connection with them unread: a reset).
    bool waitForBytes(int timeoutMs);
    // Waits until the peer closes, the server stops or the time is up.
    void waitForPeerClose(int timeoutMs);
    bool stopping() const;

private:
    bool readMore(int timeoutMs);
    RawServer& m_server;
    int m_fd;
    size_t m_index;
    std::string m_buffer;
};

class RawServer {
public:
    using Handler = std::function<void(RawConnection&)>;
    explicit RawServer(Handler handler);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int port() const { return m_port; }
    std::string url(std::string_view pathAndQuery = "/") const;
    // The raw bytes received on each connection, in order of connection.
    std::vector<std::string> received() const;
    // Every request received, split at its end (head and Content-Length
    // body), those of the first connection first.
    std::vector<std::string> requests() const;
    void stop();

private:
    friend class RawConnection;
    void acceptLoop();
    void record(size_t index, std::string_view bytes);

    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<std::string> m_received;
};

// A complete response with a Content-Length header.
std::string httpResponse(std::string_view statusLine, std::string_view body, std::string_view extraHeaders = "");

} // namespace fw::test
