#include "sample/SampleService.h"

#include "sample/Answers.h"
#include "sample/Market.h"
#include "sample/Prng.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace fw::sample {

namespace {

constexpr int kIoTimeoutMs = 5000;      // a silent client is given up after this
constexpr int kKeepAliveMs = 5000;
constexpr int kKeepAliveRequests = 100;
constexpr int kLastingKeepAliveMs = 60000; // with a connection cost: kept for any number of requests
constexpr int kSliceMs = 50;            // blocking waits look at the stop flag this often
constexpr size_t kLogLimit = 100000;
constexpr size_t kHeadLimit = 64 * 1024;
constexpr int kDefaultGarbageBytes = 512;
constexpr int kDefaultHugeBytes = 8 * 1024 * 1024;

// One accepted connection. Our own stream (instead of the library's) lets the
// service keep the request head as received, close a connection without an
// answer, and give up blocking waits as soon as the service stops.
class Connection final : public httplib::Stream {
public:
    Connection(int sock, const std::atomic<bool>& stopping) : m_sock(sock), m_stopping(stopping) {}

    bool is_readable() const override { return m_pos < m_buffer.size() || waitFor(POLLIN, kIoTimeoutMs); }
    bool is_writable() const override { return !m_dropped && waitFor(POLLOUT, kIoTimeoutMs); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (m_pos >= m_buffer.size()) {
            if (!waitFor(POLLIN, kIoTimeoutMs))
                return -1;
            m_buffer.resize(4096);
            ssize_t n;
            do {
                n = ::recv(m_sock, m_buffer.data(), m_buffer.size(), 0);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) {
                m_buffer.clear();
                m_pos = 0;
                return n;
            }
            m_buffer.resize(size_t(n));
            m_pos = 0;
        }
        const size_t n = std::min(size, m_buffer.size() - m_pos);
        std::memcpy(ptr, m_buffer.data() + m_pos, n);
        m_pos += n;
        capture(ptr, n);
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (m_dropped || !waitFor(POLLOUT, kIoTimeoutMs))
            return -1;
        ssize_t n;
        do {
            n = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(false, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(true, ip, port); }
    socket_t socket() const override { return m_sock; }

    bool waitForRequest(int ms) const { return m_pos < m_buffer.size() || waitFor(POLLIN, ms); }
    void beginRequest()
    {
        m_head.clear();
        m_headDone = false;
        ++m_requests;
    }
    bool firstRequest() const { return m_requests == 1; }
    const std::string& head() const { return m_head; }
    void drop() { m_dropped = true; }
    bool dropped() const { return m_dropped; }

private:
    // Waits in short slices so that a stop is noticed promptly.
    bool waitFor(short events, int ms) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            pollfd p{m_sock, events, 0};
            const int r = ::poll(&p, 1, kSliceMs);
            if (r > 0)
                return true;
            if (r < 0 && errno != EINTR)
                return false;
            if (m_stopping.load() || std::chrono::steady_clock::now() >= deadline)
                return false;
        }
    }

    void capture(const char* ptr, size_t n)
    {
        if (m_headDone)
            return;
        const size_t before = m_head.size();
        m_head.append(ptr, n);
        const size_t end = m_head.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
        if (end != std::string::npos) {
            m_head.resize(end + 2);
            m_headDone = true;
        } else if (m_head.size() > kHeadLimit) {
            m_headDone = true;
        }
    }

    void addressOf(bool local, std::string& ip, int& port) const
    {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        const int r = local ? ::getsockname(m_sock, reinterpret_cast<sockaddr*>(&addr), &len)
                            : ::getpeername(m_sock, reinterpret_cast<sockaddr*>(&addr), &len);
        if (r != 0)
            return;
        char text[INET6_ADDRSTRLEN] = {};
        if (addr.ss_family == AF_INET) {
            const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
            ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
            port = ntohs(a->sin_port);
        } else if (addr.ss_family == AF_INET6) {
            const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
            ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
            port = ntohs(a->sin6_port);
        }
        ip = text;
    }

    int m_sock;
    const std::atomic<bool>& m_stopping;
    std::string m_buffer;
    size_t m_pos = 0;
    std::string m_head;
    bool m_headDone = false;
    bool m_dropped = false;
    int m_requests = 0;
};

thread_local Connection* t_connection = nullptr;

// One thread per connection instead of a fixed pool: stalled requests and
// silent keep-alive connections must never keep other clients waiting.
// shutdown() waits until every connection has ended (each notices a stop
// within a slice). The shared state outlives the queue for the threads.
class ConnectionThreads final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override
    {
        auto state = m_state;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            ++state->active;
        }
        auto run = [state](const std::function<void()>& job) {
            job();
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                --state->active;
            }
            state->done.notify_all();
        };
        try {
            std::thread([run, fn]() { run(fn); }).detach();
        } catch (const std::system_error&) {
            run(fn); // no thread to be had: serve it on the accepting thread
        }
    }

    void shutdown() override
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        m_state->done.wait(lock, [this] { return m_state->active == 0; });
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        int active = 0;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

std::vector<std::pair<std::string, std::string>> headersOf(const std::string& head)
{
    std::vector<std::pair<std::string, std::string>> out;
    size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos + 2 < head.size()) {
        const size_t start = pos + 2;
        const size_t end = head.find("\r\n", start);
        const std::string line = head.substr(start, (end == std::string::npos ? head.size() : end) - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t v = colon + 1;
            while (v < line.size() && (line[v] == ' ' || line[v] == '\t'))
                ++v;
            out.emplace_back(line.substr(0, colon), line.substr(v));
        }
        pos = end;
    }
    return out;
}

std::string garbageBytes(size_t n)
{
    // Never valid UTF-8: starts with 0xFF and mixes in NUL bytes and broken sequences.
    static const unsigned char kStart[] = {0xFF, 0xFE, 0x00, 0xC3, 0x28, 0xA0, 0xA1, 0xE2, 0x28, 0xA1};
    std::string out;
    out.reserve(n);
    Prng rng(n);
    for (size_t i = 0; i < n; ++i)
        out += char(i < sizeof kStart ? kStart[i] : (0x80 | (rng.next() & 0x7F)));
    return out;
}

} // namespace

struct SampleService::Impl {
    class Server;

    explicit Impl(SampleOptions o)
        : options(std::move(o)),
          market(std::make_unique<Market>(options.seed, options.funds, options.wholeMarketSector))
    {
        settings.legacyRankingForm = options.legacyRankingForm;
        settings.withdrawOldSectorRoute = options.withdrawOldSectorRoute;
        settings.quotesOutOfOrder = options.quotesOutOfOrder;
        settings.stepAccount = options.stepAccount;
        settings.stepPassword = options.stepPassword;
    }

    // Waits ms unless the service stops first; false when it stopped.
    bool pause(int ms)
    {
        std::unique_lock<std::mutex> lock(stopMutex);
        return !stopCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping.load(); });
    }

    void record(LoggedRequest entry)
    {
        std::lock_guard<std::mutex> lock(logMutex);
        log.push_back(std::move(entry));
        while (log.size() > kLogLimit)
            log.pop_front();
    }

    void handle(const httplib::Request& req, httplib::Response& res);

    SampleOptions options;
    std::unique_ptr<const Market> market;
    ServiceSettings settings;

    mutable std::mutex logMutex;
    std::deque<LoggedRequest> log;
    mutable std::mutex faultMutex;
    std::vector<Fault> faults;
    std::vector<int> faultUses; // requests each fault has applied to

    std::mutex stopMutex;
    std::condition_variable stopCv;
    std::atomic<bool> stopping{false};
    std::atomic<int> connectionsOpened{0};

    std::mutex lifeMutex; // start and stop
    std::unique_ptr<Server> server;
    std::thread thread;
    int port = -1;
    std::string host = "127.0.0.1";
};

class SampleService::Impl::Server final : public httplib::Server {
public:
    explicit Server(Impl& impl) : m_impl(impl) {}

private:
    // Replaces the library's connection loop with one over our own stream.
    bool process_and_close_socket(socket_t sock) override
    {
        // An answer goes out in more than one write: held back until the
        // previous one is acknowledged, a kept connection's next answer would
        // wait for the client's delayed acknowledgement.
        const int noDelay = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        Connection connection(sock, m_impl.stopping);
        bool ok = false;
        const bool lasting = m_impl.options.connectCostMs > 0;
        for (int left = kKeepAliveRequests; left > 0 && !m_impl.stopping.load(); left -= lasting ? 0 : 1) {
            if (!connection.waitForRequest(lasting ? kLastingKeepAliveMs : kKeepAliveMs))
                break;
            connection.beginRequest();
            bool closed = false;
            t_connection = &connection;
            ok = process_request(connection, !lasting && left == 1, closed, nullptr);
            t_connection = nullptr;
            if (!ok || closed || connection.dropped())
                break;
        }
        if (!connection.dropped())
            ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    Impl& m_impl;
};

namespace {

Incoming incomingOf(const httplib::Request& req)
{
    Incoming in = fw::sample::incomingOf(req.method, req.target, req.body);
    in.referer = req.get_header_value("Referer");
    return in;
}

} // namespace

void SampleService::Impl::handle(const httplib::Request& req, httplib::Response& res)
{
    LoggedRequest entry;
    entry.method = req.method;
    entry.target = req.target;
    if (t_connection) {
        entry.headers = headersOf(t_connection->head());
    } else {
        for (const auto& [name, value] : req.headers) {
            if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT")
                entry.headers.emplace_back(name, value);
        }
    }
    entry.body = req.body;
    int delay = options.latencyMs;
    if (t_connection && t_connection->firstRequest()) {
        const int opened = ++connectionsOpened;
        if (options.onConnection)
            options.onConnection(opened, req.remote_addr + ":" + std::to_string(req.remote_port));
        delay += std::max(0, options.connectCostMs);
    }
    if (options.onRequest)
        options.onRequest(entry.method, entry.target);
    record(std::move(entry));

    bool hasTerminal = false;
    Fault terminal{Fault::Latency, {}, 0};
    {
        std::lock_guard<std::mutex> lock(faultMutex);
        for (size_t i = 0; i < faults.size(); ++i) {
            const Fault& f = faults[i];
            if (req.target.find(f.pathContains) == std::string::npos)
                continue;
            if (f.times > 0 && faultUses[i] >= f.times)
                continue; // spent: this fault no longer applies
            if (f.kind == Fault::Latency) {
                delay += std::max(0, f.value);
                ++faultUses[i];
            } else if (!hasTerminal) {
                terminal = f;
                hasTerminal = true;
                ++faultUses[i]; // counted only where it applies
            }
        }
    }

    auto dropConnection = [&] {
        if (t_connection)
            t_connection->drop();
        res.status = 500;
    };
    if (delay > 0 && !pause(delay)) {
        dropConnection();
        return;
    }

    if (hasTerminal) {
        switch (terminal.kind) {
        case Fault::Stall:
            pause(std::max(0, terminal.value));
            dropConnection();
            return;
        case Fault::Drop:
            dropConnection();
            return;
        case Fault::HttpError: {
            const int status = terminal.value >= 100 && terminal.value <= 599 ? terminal.value : 500;
            res.status = status;
            if (!terminal.retryAfter.empty())
                res.set_header("Retry-After", terminal.retryAfter);
            res.set_content("<html><head><title>" + std::to_string(status) + "</title></head><body><h1>"
                                + std::to_string(status) + "</h1></body></html>",
                            "text/html");
            return;
        }
        case Fault::Garbage:
            res.status = 200;
            res.set_content(garbageBytes(size_t(terminal.value > 0 ? terminal.value : kDefaultGarbageBytes)),
                            "text/html");
            return;
        case Fault::HugeBody: {
            const size_t total = size_t(terminal.value > 0 ? terminal.value : kDefaultHugeBytes);
            res.status = 200;
            res.set_content_provider(total, "text/html", [this](size_t, size_t length, httplib::DataSink& sink) {
                static const std::string kBlock = [] {
                    std::string block;
                    while (block.size() < 64 * 1024)
                        block += "<p>0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ</p>\n";
                    return block;
                }();
                if (stopping.load())
                    return false;
                return sink.write(kBlock.data(), std::min(length, kBlock.size()));
            });
            return;
        }
        case Fault::Truncate: {
            Answer a = answerRequest(*market, settings, incomingOf(req));
            auto body = std::make_shared<std::string>(std::move(a.body));
            const size_t announced = std::max<size_t>(body->size(), 1);
            const size_t sent = std::min(size_t(std::max(0, terminal.value)), announced - 1);
            res.status = a.status;
            res.set_content_provider(announced, a.contentType,
                                     [body, sent](size_t offset, size_t length, httplib::DataSink& sink) {
                                         if (offset >= sent)
                                             return false; // close with the body unfinished
                                         return sink.write(body->data() + offset, std::min(length, sent - offset));
                                     });
            return;
        }
        case Fault::Latency: break;
        }
    }

    Answer a = answerRequest(*market, settings, incomingOf(req));
    res.status = a.status;
    res.set_content(a.body, a.contentType);
}

SampleService::SampleService(SampleOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

SampleService::~SampleService()
{
    stop();
}

int SampleService::start(int port, const std::string& host)
{
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.lifeMutex);
    if (d.server)
        return d.port;
    d.stopping = false;
    d.connectionsOpened = 0;
    auto server = std::make_unique<Impl::Server>(d);
    server->new_task_queue = [] { return new ConnectionThreads; };
    server->set_payload_max_length(16 * 1024 * 1024);
    // SO_REUSEADDR only: the library's default SO_REUSEPORT would let a second
    // service bind the same port and silently take half of its connections.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    const httplib::Server::Handler handler = [&d](const httplib::Request& req, httplib::Response& res) {
        d.handle(req, res);
    };
    const std::string any = "[\\s\\S]*";
    server->Get(any, handler);
    server->Post(any, handler);
    server->Put(any, handler);
    server->Delete(any, handler);
    server->Patch(any, handler);
    server->Options(any, handler);

    const int bound = port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
    if (bound <= 0)
        return -1;
    httplib::Server* raw = server.get();
    d.thread = std::thread([raw] { raw->listen_after_bind(); });
    // The listening socket accepts already; wait for the accept loop so that
    // an early stop() cannot miss it.
    for (int i = 0; i < 5000 && !raw->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    d.server = std::move(server);
    d.port = bound;
    d.host = host;
    return bound;
}

void SampleService::stop()
{
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.lifeMutex);
    if (!d.server)
        return;
    {
        std::lock_guard<std::mutex> stopLock(d.stopMutex);
        d.stopping = true;
    }
    d.stopCv.notify_all();
    d.server->stop();
    if (d.thread.joinable())
        d.thread.join();
    d.server.reset();
    d.port = -1;
}

int SampleService::port() const
{
    return m_impl->port;
}

std::string SampleService::baseUrl() const
{
    const std::string& h = m_impl->host;
    const std::string host = (h.empty() || h == "0.0.0.0") ? "127.0.0.1"
        : h == "::"                                         ? "[::1]"
        : h.find(':') != std::string::npos                  ? "[" + h + "]"
                                                            : h;
    return "http://" + host + ":" + std::to_string(m_impl->port);
}

void SampleService::addFault(Fault fault)
{
    std::lock_guard<std::mutex> lock(m_impl->faultMutex);
    m_impl->faults.push_back(std::move(fault));
    m_impl->faultUses.push_back(0);
}

void SampleService::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_impl->faultMutex);
    m_impl->faults.clear();
    m_impl->faultUses.clear();
}

std::vector<LoggedRequest> SampleService::requests() const
{
    std::lock_guard<std::mutex> lock(m_impl->logMutex);
    return {m_impl->log.begin(), m_impl->log.end()};
}

void SampleService::clearLog()
{
    std::lock_guard<std::mutex> lock(m_impl->logMutex);
    m_impl->log.clear();
}

int SampleService::connectionsOpened() const
{
    return m_impl->connectionsOpened.load();
}

const SampleOptions& SampleService::options() const
{
    return m_impl->options;
}

const Market& SampleService::market() const
{
    return *m_impl->market;
}

} // namespace fw::sample
