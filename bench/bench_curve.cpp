// A fund's curve of the day with the sample service answering after L = 20 ms:
// its positions and asset mix (and NAV history) together, then the minute bars
// of each of its n holdings five at a time with the quotes beside them, so the
// floor is (1 + ⌈n ÷ 5⌉) × L. Printed per kind of fund: the time, its ratio to
// the floor, and whether it is within 1.15 × of it.
#include "funds/EstimateFetch.h"
#include "funds/IntradayFetch.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kLatencyMs = 20;

struct Pick {
    const char* benchmark;
    std::string code;
    fw::Text name;
    size_t holdings = 0; // securities whose bars the curve needs
};

Pick g_picks[] = {{"BM_HoldingsFundCurve"}, {"BM_FeederFundCurve"}, {"BM_IndexFundCurve"}};

void curveOf(benchmark::State& state, const Pick& pick)
{
    for (auto _ : state) {
        const fw::FundCurve curve = fw::fetchFundCurve(pick.code, pick.name, fw::HttpRequestOptions());
        if (!curve.ok() || !curve.estimate) {
            state.SkipWithError("no curve");
            break;
        }
        benchmark::DoNotOptimize(curve.curve.points.size());
    }
}

// Baseline: one plain fetch of one answer (L and what a request costs beside it).
void BM_OneAnswer(benchmark::State& state)
{
    const fw::Text url = fw::serviceHosts().url(fw::HostRole::MobileFundApi, fw::positionsPath(g_picks[0].code));
    for (auto _ : state)
        benchmark::DoNotOptimize(fw::HttpClient().fetch(url).size());
}

void BM_HoldingsFundCurve(benchmark::State& state) { curveOf(state, g_picks[0]); }
void BM_FeederFundCurve(benchmark::State& state) { curveOf(state, g_picks[1]); }
void BM_IndexFundCurve(benchmark::State& state) { curveOf(state, g_picks[2]); }

BENCHMARK(BM_OneAnswer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_HoldingsFundCurve)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_FeederFundCurve)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_IndexFundCurve)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

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

    // The first fund of each kind; a holdings fund with its ten holdings.
    const fw::sample::Market& m = service.market();
    for (const fw::sample::Fund& f : m.funds()) {
        Pick& pick = f.target >= 0 ? g_picks[1] : m.trackedIndex(f) >= 0 ? g_picks[2] : g_picks[0];
        if (!pick.code.empty() || (f.target < 0 && m.holdings(f, 0).size() < (m.trackedIndex(f) >= 0 ? 1u : 10u)))
            continue;
        pick.code = f.code;
        pick.name = fw::utf8ToGbk(f.name);
    }
    for (Pick& pick : g_picks) {
        if (pick.code.empty()) {
            std::fprintf(stderr, "%s: no such fund in the sample market\n", pick.benchmark);
            return 1;
        }
        // The securities the curve asks bars for, as the fetch works them out.
        const fw::FetchedEstimateInputs answers = fw::fetchEstimateAnswers({pick.code, pick.name}, fw::HttpRequestOptions());
        if (!answers.inputs) {
            std::fprintf(stderr, "%s: no positions of %s\n", pick.benchmark, pick.code.c_str());
            return 1;
        }
        pick.holdings = fw::curveQuoteIds(answers.inputs->positions, pick.name).size();
    }

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;
    const double one = reporter.realTime("BM_OneAnswer");
    if (one > 0)
        std::printf("BM_OneAnswer: %.1f ms = %.3f x L\n", one, one / kLatencyMs);
    bool within = true;
    for (const Pick& pick : g_picks) {
        const double floor = double(1 + (pick.holdings + 4) / 5) * kLatencyMs;
        const double t = reporter.realTime(pick.benchmark);
        if (t <= 0)
            continue;
        const double ratio = t / floor;
        within = within && ratio <= 1.15;
        std::printf("%s (%s, %zu securities): %.1f ms = %.3f x its floor of %.0f ms ((1 + %zu) x L)%s\n",
                    pick.benchmark, pick.code.c_str(), pick.holdings, t, ratio, floor, (pick.holdings + 4) / 5,
                    ratio <= 1.15 ? "" : "  OVER 1.15 x");
    }
    return within ? 0 : 2;
}
