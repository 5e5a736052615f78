// Today's estimate of 200 funds at once against the sample service with
// added latency L, set against the time its requests must take on five
// workers: (2 per fund + ⌈distinct quote identifiers ÷ 100⌉) ÷ 5 × L.
#include "funds/HoldingsEstimate.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

using namespace fw;

int main(int argc, char** argv)
{
    const int latencyMs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int fundCount = argc > 2 ? std::atoi(argv[2]) : 200;

    sample::SampleOptions options;
    options.funds = 2000;
    options.latencyMs = latencyMs;
    sample::SampleService service(options);
    if (service.start() < 0) {
        std::fputs("bench_estimate: the sample service could not start\n", stderr);
        return 1;
    }
    setServiceHosts(ServiceHosts::allAt(service.baseUrl()));

    // The first funds of the market, of every kind.
    std::vector<EstimateFund> funds;
    for (const sample::Fund& f : service.market().funds()) {
        if (int(funds.size()) == fundCount)
            break;
        funds.push_back({f.code, utf8ToGbk(f.name)});
    }

    double best = 1e300;
    size_t estimated = 0, quoteRequests = 0;
    std::set<std::string> ids;
    for (int round = 0; round < 3; ++round) {
        service.clearLog();
        const auto start = std::chrono::steady_clock::now();
        const std::vector<EstimateOutcome> outcomes = fetchEstimates(funds, HttpRequestOptions {});
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms);
        estimated = size_t(std::count_if(outcomes.begin(), outcomes.end(), [](const EstimateOutcome& o) {
            return o.estimate.has_value();
        }));
        ids.clear();
        quoteRequests = 0;
        for (const sample::LoggedRequest& r : service.requests()) {
            const size_t at = r.target.find("&secids=");
            if (r.target.rfind("/api/qt/ulist.np/get", 0) != 0 || at == std::string::npos)
                continue;
            ++quoteRequests;
            const size_t end = r.target.find(",&", at);
            std::string list = r.target.substr(at + 8, end - at - 8);
            for (size_t from = 0; from <= list.size();) {
                const size_t comma = std::min(list.find(',', from), list.size());
                if (comma > from)
                    ids.insert(list.substr(from, comma - from));
                from = comma + 1;
            }
        }
    }
    const double requests = 2.0 * double(funds.size()) + std::ceil(double(ids.size()) / 100.0);
    const double floor = requests / 5.0 * latencyMs;
    std::printf("estimate of %zu funds (%zu estimated), %d ms latency: %zu distinct quote identifiers in %zu "
                "quote requests\n",
                funds.size(), estimated, latencyMs, ids.size(), quoteRequests);
    std::printf("  best of 3: %.1f ms; %.0f requests on 5 workers: %.1f ms; ratio %.3f (target within 1.15)\n", best,
                requests, floor, best / floor);
    return 0;
}
