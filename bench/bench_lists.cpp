// The paged five-star list against the sample service with added latency: all
// pages of a list of about 3,000 funds (a market of about 24,000), set against
// the time the requests themselves must take, (pages + 1) × latency.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "funds/FeatureContext.h"
#include "funds/FundLists.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace fw;

int main(int argc, char** argv)
{
    const int latencyMs = argc > 1 ? std::atoi(argv[1]) : 10;
    const int funds = argc > 2 ? std::atoi(argv[2]) : 24000;

    sample::SampleOptions options;
    options.funds = funds;
    options.latencyMs = latencyMs;
    sample::SampleService service(options);
    if (service.start() < 0) {
        std::fputs("bench_lists: the sample service could not start\n", stderr);
        return 1;
    }
    setServiceHosts(ServiceHosts::allAt(service.baseUrl()));

    const std::string dir = std::filesystem::temp_directory_path() / ("fw-bench-lists-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ConfigFile config(dir + "/配置.ini");
    config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("真"));
    MainModels models;
    FeatureContext context(models, config);
    FundLists lists(context);

    double best = 1e300;
    int loaded = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const LoadResult result = lists.loadFiveStarList({}, {});
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms);
        loaded = result.funds;
    }
    const int pages = (loaded + 19) / 20;
    const double floor = (pages + 1) * double(latencyMs);
    std::printf("five-star list, all pages: %d funds, %d pages + probe, %d ms latency\n", loaded, pages, latencyMs);
    std::printf("  best of 3: %.1f ms; requests alone: %.1f ms; ratio %.3f (target within 1.15)\n", best, floor,
                best / floor);
    std::filesystem::remove_all(dir);
    return 0;
}
