// Picking a fund with the sample service answering after L = 20 ms: the click
// runs the three profile pages one after the other on the window's thread (the
// holdings worker runs beside them; the chart's series is left out here), so
// the floor is 3 × L. Baselines: three plain fetches of the same pages in a row.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "funds/FeatureContext.h"
#include "funds/FundDetails.h"
#include "funds/FundProfileFetch.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kLatencyMs = 20;

struct Bench {
    fw::MainModels models;
    fw::ConfigFile config {"/nonexistent/fundwatch-bench.ini"};
    fw::FeatureContext context {models, config};
    fw::FundDetails details {context};
    std::string code;
    std::string name;
};

Bench* g_bench = nullptr;

void BM_ThreePagesInARow(benchmark::State& state)
{
    const fw::ServiceHosts& hosts = fw::serviceHosts();
    const std::string& code = g_bench->code;
    for (auto _ : state) {
        fw::HttpClient client;
        for (const fw::Text& path : {fw::FundProfileFetch::basicPath(code), fw::FundProfileFetch::managerPath(code),
                                     fw::FundProfileFetch::riskPath(code)})
            benchmark::DoNotOptimize(client.fetch(hosts.url(fw::HostRole::FundArchive, path)).size());
    }
}

// Click to profile figures written; the holdings worker it starts is waited
// for outside the timing, so workers do not pile up.
void BM_PickFund(benchmark::State& state)
{
    fw::Grid& grid = g_bench->models.fundGrid;
    for (auto _ : state) {
        state.PauseTiming();
        g_bench->details.waitForHoldingsWorkers();
        grid.reset();
        grid.setRow(1, 0, {g_bench->name, g_bench->code});
        grid.setCursorRow(1);
        state.ResumeTiming();
        g_bench->details.fundGridCellPicked();
    }
    g_bench->details.waitForHoldingsWorkers();
    if (grid.cell(1, fw::kSharpeColumn).empty())
        state.SkipWithError("no profile figures");
}

// Click to everything written, holdings included (three requests of their own
// beside the profile's three).
void BM_PickFundWithHoldings(benchmark::State& state)
{
    fw::Grid& grid = g_bench->models.fundGrid;
    for (auto _ : state) {
        state.PauseTiming();
        grid.reset();
        grid.setRow(1, 0, {g_bench->name, g_bench->code});
        grid.setCursorRow(1);
        g_bench->models.holdingsGrid.setCell(1, 0, "");
        state.ResumeTiming();
        g_bench->details.fundGridCellPicked();
        g_bench->details.waitForHoldingsWorkers();
    }
    if (g_bench->models.holdingsGrid.cell(1, 0).empty())
        state.SkipWithError("no holdings");
}

// A fund picked from the watchlist: its page, then the three profile pages.
void BM_WatchlistFund(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        g_bench->details.waitForHoldingsWorkers();
        state.ResumeTiming();
        g_bench->details.fundPageSummary(g_bench->code, g_bench->name, fw::FundDetails::PickSource::Watchlist);
    }
    g_bench->details.waitForHoldingsWorkers();
}

BENCHMARK(BM_ThreePagesInARow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);
BENCHMARK(BM_PickFund)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);
BENCHMARK(BM_PickFundWithHoldings)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);
BENCHMARK(BM_WatchlistFund)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);

} // namespace

int main(int argc, char** argv)
{
    fw::sample::SampleOptions options;
    options.funds = 2000;
    options.latencyMs = kLatencyMs;
    fw::sample::SampleService service(options);
    if (service.start() < 0) {
        std::fprintf(stderr, "the sample service could not listen\n");
        return 1;
    }
    fw::setServiceHosts(fw::ServiceHosts::allAt(service.baseUrl()));

    Bench bench;
    for (const fw::sample::Fund& f : service.market().funds()) {
        if (service.market().holdingQuarters(f) > 0 && f.assetHundredths > 0) {
            bench.code = f.code;
            bench.name = f.name;
            break;
        }
    }
    g_bench = &bench;

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;

    const double floor3 = 3.0 * kLatencyMs, floor4 = 4.0 * kLatencyMs;
    const double baseline = reporter.realTime("BM_ThreePagesInARow");
    const struct { const char* name; double floor; } rows[] = {
        {"BM_PickFund", floor3}, {"BM_PickFundWithHoldings", floor3}, {"BM_WatchlistFund", floor4}};
    for (const auto& r : rows) {
        const double t = reporter.realTime(r.name);
        if (t > 0)
            std::printf("%s: %.1f ms = %.3f x its floor of %.0f ms (%.0f x L)%s\n", r.name, t, t / r.floor, r.floor,
                        r.floor / kLatencyMs, baseline > 0 && r.floor == floor3
                            ? (" = " + std::to_string(t / baseline).substr(0, 5) + " x three plain fetches").c_str()
                            : "");
    }
    g_bench = nullptr;
    return 0;
}
