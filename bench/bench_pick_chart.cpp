// From the click on a fund row to its chart drawn in the window's panel, with
// the sample service answering after L = 20 ms: three profile pages and the
// comparison series one after the other on the window's thread (the holdings
// worker runs beside them), so the floor is 4 × L and the target 1.15 × 4 × L.
// Baseline: the same four requests as plain fetches in a row.
//
// Each new connection costs C = 40 ms more (the handshakes of a real network):
// the first pick opens its connection and pays it once (target 1.15 × (4 × L
// + C)); the picks after it, within the minute, find the connection open.
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/MainWindow.h"
#include "chart/Comparison.h"
#include "funds/FundProfileFetch.h"
#include "net/ConnectionPool.h"
#include "net/EventPump.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"

#include "RecordingReporter.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kLatencyMs = 20;
constexpr int kConnectCostMs = 40;

struct Bench {
    fw::MainModels models;
    fw::ConfigFile config {"/nonexistent/fundwatch-bench.ini"};
    fw::MainController controller {models, config, fw::ControllerEnvironment {[] { return 1; }, "", 0}};
    std::unique_ptr<fw::MainWindow> window;
    std::string code, name;
};

Bench* g_bench = nullptr;

void BM_FourFetchesInARow(benchmark::State& state)
{
    const fw::ServiceHosts& hosts = fw::serviceHosts();
    const std::string& code = g_bench->code;
    for (auto _ : state) {
        fw::HttpClient client;
        for (const fw::Text& path : {fw::FundProfileFetch::basicPath(code), fw::FundProfileFetch::managerPath(code),
                                     fw::FundProfileFetch::riskPath(code)})
            benchmark::DoNotOptimize(client.fetch(hosts.url(fw::HostRole::FundArchive, path)).size());
        fw::HttpRequestOptions options;
        options.extraHeaders = fw::comparisonReferer(hosts.baseUrl(fw::HostRole::FundList));
        benchmark::DoNotOptimize(
            client.fetch(hosts.url(fw::HostRole::FundApi, fw::comparisonUrlPath(code, "year")), options).size());
    }
}

void pickReady()
{
    fw::Grid& grid = g_bench->models.fundGrid;
    g_bench->controller.details().waitForHoldingsWorkers();
    QCoreApplication::processEvents();
    grid.reset();
    grid.setRow(1, 0, {g_bench->name, g_bench->code});
    grid.setCursorRow(1);
}

// The click's handler, as the window calls it, until the chart is drawn in
// the panel's image and its repaint is asked for.
void BM_ClickToChart(benchmark::State& state)
{
    fw::MainController& controller = g_bench->controller;
    for (auto _ : state) {
        state.PauseTiming();
        pickReady();
        state.ResumeTiming();
        controller.onFundGridCellPicked(1, 0);
    }
    controller.details().waitForHoldingsWorkers();
    if (controller.chart().lastData().pointCount() < 2 || !controller.chart().renderer().hasChartCopy())
        state.SkipWithError("no chart drawn");
}

BENCHMARK(BM_FourFetchesInARow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);
BENCHMARK(BM_ClickToChart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(25);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    fw::sample::SampleOptions options;
    options.funds = 2000;
    options.latencyMs = kLatencyMs;
    options.connectCostMs = kConnectCostMs;
    fw::sample::SampleService service(options);
    if (service.start() < 0) {
        std::fprintf(stderr, "the sample service could not listen\n");
        return 1;
    }
    fw::setServiceHosts(fw::ServiceHosts::allAt(service.baseUrl()));
    fw::installEventPump([] { QCoreApplication::processEvents(); });

    Bench bench;
    bench.window = std::make_unique<fw::MainWindow>(bench.controller);
    bench.window->messagePresenter = [](const QString&) {};
    for (const fw::sample::Fund& f : service.market().funds()) {
        if (service.market().holdingQuarters(f) > 0 && f.ageDays > 300) {
            bench.code = f.code;
            bench.name = f.name;
            break;
        }
    }
    g_bench = &bench;

    // The first pick, with no connection open yet.
    fw::net::closeIdleConnections();
    pickReady();
    const auto firstStart = std::chrono::steady_clock::now();
    bench.controller.onFundGridCellPicked(1, 0);
    const double first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - firstStart).count();

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;

    const double floor = 4.0 * kLatencyMs;
    const double coldFloor = floor + kConnectCostMs;
    std::printf("first pick: %.1f ms = %.3f x (4 x L + C) (target under 1.15)\n", first, first / coldFloor);
    const double baseline = reporter.realTime("BM_FourFetchesInARow");
    const double t = reporter.realTime("BM_ClickToChart");
    if (t > 0)
        std::printf("BM_ClickToChart (picks after the first): %.1f ms = %.3f x 4 x L (target under 1.15)%s\n", t, t / floor,
                    baseline > 0 ? (", " + std::to_string(t / baseline).substr(0, 5) + " x four plain fetches").c_str()
                                 : "");
    fw::uninstallEventPump();
    bench.window.reset();
    g_bench = nullptr;
    return 0;
}
