// Sequential fetches of a 20 KB UTF-8 page from a loopback server: the engine
// (new handle per call, default headers, charset decoding to GBK) against a
// bare libcurl loop with a new easy handle per request on the same URL.
#include "net/HttpClient.h"
#include "net/ResponseDecoder.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>

namespace {

std::string g_url;       // a UTF-8 page declaring its charset: fetched and converted to GBK
std::string g_plainUrl;  // the same page without a declaration: returned as it came

std::string makePage()
{
    std::string page = "<!DOCTYPE html><html><head>"
                       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                       "<title>基金档案</title></head><body><table>";
    for (int row = 0; page.size() < 20 * 1024 - 64; ++row)
        page += "<tr><td>基金" + std::to_string(row) + "</td><td>资产规模</td><td>12.34亿元</td></tr>";
    page += "</table></body></html>";
    return page;
}

void fetchLoop(benchmark::State& state, const std::string& url)
{
    fw::HttpClient client;
    size_t bytes = 0;
    for (auto _ : state) {
        fw::HttpRequestOptions options;
        const fw::Text text = client.fetch(url, options);
        if (options.status != "200 OK") {
            state.SkipWithError("fetch failed");
            break;
        }
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_Fetch(benchmark::State& state) { fetchLoop(state, g_url); }
void BM_FetchUndeclared(benchmark::State& state) { fetchLoop(state, g_plainUrl); }

size_t collect(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_BareCurl(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state) {
        std::string body;
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, g_url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        const CURLcode rc = curl_easy_perform(easy);
        curl_easy_cleanup(easy);
        if (rc != CURLE_OK) {
            state.SkipWithError("curl failed");
            break;
        }
        bytes += body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// The share of a fetch spent turning the page into GBK text.
void BM_DecodeOnly(benchmark::State& state)
{
    const std::string page = makePage();
    for (auto _ : state) {
        const fw::Text text = fw::decodeResponse(page, page);
        benchmark::DoNotOptimize(text.data());
    }
}

BENCHMARK(BM_Fetch)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FetchUndeclared)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BareCurl)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMicrosecond);

// Keeps the per-iteration times so the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> perRequest;
    std::set<std::string> m_median;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // With --benchmark_repetitions the median stands for the benchmark.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !m_median.count(run.run_name.str()))
                perRequest[run.run_name.str()] = run.GetAdjustedRealTime();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_median.insert(run.run_name.str());
                perRequest[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::string page = makePage();
    std::string plainPage = page;
    plainPage.replace(plainPage.find("charset=utf-8"), 13, "lang=zh-CN");
    httplib::Server server;
    server.Get("/jbgk_000001.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(page, "text/html; charset=utf-8");
    });
    server.Get("/plain.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(plainPage, "text/html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_url = "http://127.0.0.1:" + std::to_string(port) + "/jbgk_000001.html";
    g_plainUrl = "http://127.0.0.1:" + std::to_string(port) + "/plain.html";

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto bare = reporter.perRequest.find("BM_BareCurl/real_time");
    for (const char* name : {"BM_Fetch/real_time", "BM_FetchUndeclared/real_time"}) {
        const auto fetch = reporter.perRequest.find(name);
        if (fetch != reporter.perRequest.end() && bare != reporter.perRequest.end() && bare->second > 0)
            std::printf("page %zu bytes; %s / bare libcurl per request: %.2fx (target <= 1.5x)\n", page.size(),
                        name, fetch->second / bare->second);
    }

    server.stop();
    thread.join();
    curl_global_cleanup();
    return 0;
}
