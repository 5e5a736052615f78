// The comparison chart on the Qt canvas (a 608 x 320 image, offscreen) with a
// three-year answer of two funds (750 points): the pointer read-out per mouse
// move across the chart, the worst case of a box that changes sides on every
// move, the full drawing of the chart, and the reading of the answer.
// Target: a mouse move well under 5 ms, drawn over the chart copy.
#include "canvas/QtCanvas.h"
#include "chart/Comparison.h"

#include "RecordingReporter.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <time.h>
#include <vector>

namespace {

using namespace fw;

constexpr int kPoints = 750;
constexpr int kLongPoints = 10000; // the longest series the chart is tried with

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// An answer in the service's layout: two cumulative-return walks.
Text answerOf(int points)
{
    std::string provider;
    double a = 0, b = 0;
    for (int i = 0; i < points; ++i) {
        char point[128];
        std::snprintf(point, sizeof point,
                      "%s{ \\\"date\\\": \\\"%04d/%02d/%02d\\\",\\\"005669\\\":%.2f,\\\"005939\\\":%.2f}",
                      i ? "," : "", 2023 + i / 250, 1 + i / 21 % 12, 1 + i % 21 + i % 7, a, b);
        provider += point;
        a += std::sin(i * 0.05) * 1.3 + 0.08;
        b += std::cos(i * 0.031) * 0.9 - 0.02;
    }
    return "jQuery18307015471687350752({\"Data\":\"{\\\"graph\\\":[{\\\"valueField\\\":\\\"005669\\\"},"
           "{\\\"valueField\\\":\\\"005939\\\"}],\\\"dataProvider\\\": [" +
           provider + "]}\",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null})";
}

const Text& threeYearAnswer()
{
    static const Text text = answerOf(kPoints);
    return text;
}

const ComparisonData& threeYear()
{
    static const ComparisonData data = parseComparison(threeYearAnswer(), "005669", "005939");
    return data;
}

struct DrawnChart {
    QImage image{608, 320, QImage::Format_RGB32};
    QtCanvas canvas{image};
    ChartRenderer renderer;
    DrawnChart()
    {
        image.fill(Qt::white);
        drawComparison(renderer, canvas, threeYear(), "005669", "005939");
        canvas.finish();
    }
};

// Every pixel column from just left of the plot to just right of it, the
// pointer drifting up and down as a hand does.
struct Sweep {
    int step = 0;
    std::pair<int, int> next()
    {
        const int x = 30 + step % 499;
        const int y = 60 + (step * 7) % 230;
        ++step;
        return {x, y};
    }
};

void BM_TrackPointerSweep(benchmark::State& state)
{
    DrawnChart chart;
    Sweep sweep;
    for (auto _ : state) {
        const auto [x, y] = sweep.next();
        chart.renderer.trackPointer(x, y);
        chart.canvas.finish(); // the image is ready for the panel to show
    }
    benchmark::DoNotOptimize(chart.image.constBits());
}
BENCHMARK(BM_TrackPointerSweep)->Unit(benchmark::kMicrosecond);

// Worst case: every move crosses the middle, so the box changes sides and the
// clean chart is copied back each time.
void BM_TrackPointerBoxMoves(benchmark::State& state)
{
    DrawnChart chart;
    bool left = false;
    for (auto _ : state) {
        chart.renderer.trackPointer(left ? 60 : 480, 150);
        chart.canvas.finish();
        left = !left;
    }
}
BENCHMARK(BM_TrackPointerBoxMoves)->Unit(benchmark::kMicrosecond);

void BM_DrawComparison750(benchmark::State& state)
{
    DrawnChart chart;
    for (auto _ : state) {
        drawComparison(chart.renderer, chart.canvas, threeYear(), "005669", "005939");
        chart.canvas.finish();
    }
}
BENCHMARK(BM_DrawComparison750)->Unit(benchmark::kMillisecond);

void BM_DrawComparison10000(benchmark::State& state)
{
    static const ComparisonData data = parseComparison(answerOf(kLongPoints), "005669", "005939");
    DrawnChart chart;
    for (auto _ : state) {
        drawComparison(chart.renderer, chart.canvas, data, "005669", "005939");
        chart.canvas.finish();
    }
}
BENCHMARK(BM_DrawComparison10000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ParseComparison750(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(parseComparison(threeYearAnswer(), "005669", "005939"));
}
BENCHMARK(BM_ParseComparison750)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    if (threeYear().pointCount() != kPoints || !threeYear().enoughPoints) {
        std::fprintf(stderr, "bench_chart: the answer did not read back\n");
        return 1;
    }

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;

    // One pass over the sweep, move by move, for the slowest single move. The
    // thread's CPU time leaves out the time other processes held the core.
    DrawnChart chart;
    Sweep sweep;
    std::vector<double> wall, cpu;
    const int moves = 2000;
    for (int i = 0; i < moves; ++i) {
        const auto [x, y] = sweep.next();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        chart.renderer.trackPointer(x, y);
        chart.canvas.finish();
        cpu.push_back(threadCpuMs() - cpuStart);
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    for (auto* times : {&wall, &cpu}) {
        const double mean = std::accumulate(times->begin(), times->end(), 0.0) / moves;
        std::sort(times->begin(), times->end());
        std::printf("pointer read-out, %s time over %d moves: mean %.3f ms, 99th percentile %.3f ms, slowest %.3f ms "
                    "(target < 5 ms per move)\n",
                    times == &wall ? "wall" : "CPU", moves, mean, (*times)[size_t(moves * 99 / 100)], times->back());
    }
    if (const double draw = reporter.realTime("BM_DrawComparison750"); draw > 0)
        std::printf("full chart of %d points: %.2f ms\n", kPoints, draw);
    return 0;
}
