#pragma once
// A stand-in of the public fund-data service and of the step service on
// loopback (cpp-httplib), answering in the service's own formats with a
// deterministic market generated from a seed. Used by the tests (in-process,
// ephemeral port), by `fundwatch --demo` and by the benchmarks.
// Bodies are UTF-8, as the real service sends them. No Qt here.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fw::sample {

class Market;

// Theme sectors: codes are text ("BK0474"; "BK0045" with its zero; the newer
// eight-character "BK000651" and "BK000045"). Holdings rows take one of four
// layouts by the last digit of the fund code mod 4 (0 classic, 1 hidden link
// after 行情, 2 Hong Kong 'toc' cells, 3 rows ending after the share); see
// HoldingsLayout in Market.h.
struct SampleOptions {
    uint32_t seed = 20261207;
    int funds = 12000;                 // any number from 0
    int latencyMs = 0;                 // added to every answer
    bool legacyRankingForm = false;    // bare member names and numbers in ranking answers
    std::string stepAccount = "demo";  // the step service accepts this account …
    std::string stepPassword = "demo"; // … with this password
    bool withdrawOldSectorRoute = false; // /ztjj/GetZTJJList answers 404 (GetZTJJListNew stays)
    bool wholeMarketSector = false;    // one more sector, "BK0999" 全市场, holding every fund
    bool quotesOutOfOrder = false;     // quotes reversed, and the middle one of two or more left out
    // Called for every request as it arrives (method, raw target), from the
    // connection's thread, before any fault applies.
    std::function<void(const std::string& method, const std::string& target)> onRequest;
    // What a new connection costs on a real network (its handshakes): the
    // first request on each connection is answered this much later. With a
    // cost, a connection is kept for any number of requests and 60 s idle.
    int connectCostMs = 0;
    // Called at the first request of each connection, before onRequest: the
    // connections opened so far (this one counted) and the peer "address:port".
    std::function<void(int opened, const std::string& peer)> onConnection;
};

// A fault applied to every request whose path (query included) contains
// `pathContains` ("" = every request), matched against the raw target.
// Latency: answer after `value` ms more. Stall: send nothing for `value` ms,
// then close without an answer. HttpError: answer with status `value`.
// Truncate: announce the full Content-Length, send `value` bytes of the body
// and close. Garbage: a body of `value` (default 512) non-UTF-8 bytes.
// HugeBody: a streamed body of `value` bytes (default 8 MiB). Drop: close
// at once without an answer. Latency adds up with the others; of the rest,
// the first matching fault applies. A fault with `times` > 0 applies to the
// first `times` matching requests only (a server that recovers); an
// HttpError with `retryAfter` sends it as its Retry-After header.
struct Fault {
    enum Kind { Latency, Stall, HttpError, Truncate, Garbage, HugeBody, Drop };
    Fault(Kind kind, std::string pathContains, int value = 0, int times = 0, std::string retryAfter = {})
        : kind(kind), pathContains(std::move(pathContains)), value(value), times(times), retryAfter(std::move(retryAfter))
    {
    }
    Kind kind;
    std::string pathContains;
    int value = 0;                     // ms for Latency/Stall, status for HttpError, bytes for Truncate/HugeBody
    int times = 0;                     // 0 = every matching request
    std::string retryAfter;            // HttpError: "2" or an HTTP date; "" = no header
};

struct LoggedRequest {
    std::string method;
    std::string target;                // path and query exactly as received (still percent-encoded)
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

class SampleService {
public:
    explicit SampleService(SampleOptions options = {});
    ~SampleService();                  // stops the server
    SampleService(const SampleService&) = delete;
    SampleService& operator=(const SampleService&) = delete;

    // Listen on host:port (0 = an ephemeral port) in a background thread.
    // Returns the port, or -1 when the server could not listen.
    int start(int port = 0, const std::string& host = "127.0.0.1");
    void stop();
    int port() const;
    std::string baseUrl() const;       // "http://127.0.0.1:PORT"

    void addFault(Fault fault);
    void clearFaults();

    // The most recent requests (at most 100,000), oldest first.
    std::vector<LoggedRequest> requests() const;
    void clearLog();

    // Connections that have brought a request, since start.
    int connectionsOpened() const;

    const SampleOptions& options() const;
    // The generated market behind the answers (immutable).
    const Market& market() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace fw::sample
