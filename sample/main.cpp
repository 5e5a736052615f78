// fundwatch-sample-service: the sample service as a program of its own.
#include "sample/FaultOption.h"
#include "sample/SampleService.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: fundwatch-sample-service [--port P] [--host H] [--funds N] [--latency-ms L] [--connect-cost-ms C]\n"
                 "                                [--seed S] [--legacy] [--step-account A] [--step-password P]\n"
                 "                                [--withdraw-old-sectors] [--whole-market-sector]\n"
                 "                                [--quotes-out-of-order] [--log]\n"
                 "                                [--fault PATH-PART:KIND[:N][:times=K][:retry-after=S]]...\n"
                 "  --withdraw-old-sectors  /ztjj/GetZTJJList answers 404; GetZTJJListNew stays\n"
                 "  --whole-market-sector   adds sector BK0999 (全市场) holding every fund\n"
                 "  --connect-cost-ms C     the first request on each new connection waits C ms more;\n"
                 "                          connections are then kept for any number of requests, 60 s idle,\n"
                 "                          and --log also prints a line for each connection opened\n"
                 "  --quotes-out-of-order   quotes come back reversed, one requested stock left out\n"
                 "  --log                   print each request (method and raw target) on standard output\n"
                 "  --fault                 a fault on every request whose target contains PATH-PART (may be\n"
                 "                          empty); KIND: stall, latency (N ms), truncated (N bytes sent),\n"
                 "                          garbage, huge (N body bytes), http503, http429, drop; times=K: the\n"
                 "                          first K such requests only; retry-after=S: header of http503/http429\n");
}

// One whole line per call, even with many connections at once.
void printLine(const std::string& line)
{
    static std::mutex printing;
    std::lock_guard<std::mutex> lock(printing);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

bool readNumber(const char* text, long min, long max, long& out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    fw::sample::SampleOptions options;
    int port = 8765;
    std::string host = "127.0.0.1";
    std::vector<fw::sample::Fault> faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long n = 0;
        if (arg == "--legacy") {
            options.legacyRankingForm = true;
        } else if (arg == "--withdraw-old-sectors") {
            options.withdrawOldSectorRoute = true;
        } else if (arg == "--whole-market-sector") {
            options.wholeMarketSector = true;
        } else if (arg == "--quotes-out-of-order") {
            options.quotesOutOfOrder = true;
        } else if (arg == "--log") {
            // One whole line per request, even with many connections at once.
            options.onRequest = [](const std::string& method, const std::string& target) {
                printLine(method + " " + target + "\n");
            };
        } else if (arg == "--port" && hasValue && readNumber(argv[++i], 0, 65535, n)) {
            port = int(n);
        } else if (arg == "--funds" && hasValue && readNumber(argv[++i], 0, 500000, n)) {
            options.funds = int(n);
        } else if (arg == "--latency-ms" && hasValue && readNumber(argv[++i], 0, 600000, n)) {
            options.latencyMs = int(n);
        } else if (arg == "--connect-cost-ms" && hasValue && readNumber(argv[++i], 0, 600000, n)) {
            options.connectCostMs = int(n);
        } else if (arg == "--seed" && hasValue && readNumber(argv[++i], 0, 4294967295L, n)) {
            options.seed = uint32_t(n);
        } else if (arg == "--host" && hasValue) {
            host = argv[++i];
        } else if (arg == "--step-account" && hasValue) {
            options.stepAccount = argv[++i];
        } else if (arg == "--step-password" && hasValue) {
            options.stepPassword = argv[++i];
        } else if (arg == "--fault" && hasValue) {
            fw::sample::Fault fault(fw::sample::Fault::Drop, "");
            if (!fw::sample::parseFault(argv[++i], fault)) {
                std::fprintf(stderr, "fundwatch-sample-service: bad fault '%s'\n", argv[i]);
                usage();
                return 2;
            }
            faults.push_back(std::move(fault));
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "fundwatch-sample-service: bad argument '%s'\n", arg.c_str());
            usage();
            return 2;
        }
    }

    // With a connection cost, the log also counts the connections opened.
    if (options.onRequest && options.connectCostMs > 0) {
        options.onConnection = [](int opened, const std::string& peer) {
            printLine("connection " + std::to_string(opened) + " from " + peer + "\n");
        };
    }

    // Block the stop signals before any thread starts, then wait for one here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    fw::sample::SampleService service(options);
    for (fw::sample::Fault& fault : faults)
        service.addFault(std::move(fault));
    const int bound = service.start(port, host);
    if (bound < 0) {
        std::fprintf(stderr, "fundwatch-sample-service: cannot listen on %s:%d\n", host.c_str(), port);
        return 1;
    }
    std::printf("listening on %s\n", service.baseUrl().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    service.stop();
    return 0;
}
