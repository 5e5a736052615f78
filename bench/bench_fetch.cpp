// Sequential fetches of a 20 KB page from the sample service on loopback: the
// engine (new handle per call, default headers, response decoding) against a
// bare libcurl loop with a new easy handle per request on the same URL. A
// second pair does the same with an HTML page that declares its charset, which
// the engine converts to GBK.
#include "net/HttpClient.h"
#include "net/ResponseDecoder.h"
#include "sample/Market.h"
#include "sample/SampleService.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <string>

namespace {

std::string g_url;        // a 20 KB ranking answer (UTF-8 JSON text, no declaration)
std::string g_declaredUrl; // an HTML page declaring charset=utf-8: converted to GBK

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
void BM_FetchDeclared(benchmark::State& state) { fetchLoop(state, g_declaredUrl); }

size_t collect(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void bareCurlLoop(benchmark::State& state, const std::string& url)
{
    size_t bytes = 0;
    for (auto _ : state) {
        std::string body;
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
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

void BM_BareCurl(benchmark::State& state) { bareCurlLoop(state, g_url); }
// libcurl takes no raw blank in a URL: the bare loop sends it as the engine does, %20.
void BM_BareCurlDeclared(benchmark::State& state) { bareCurlLoop(state, g_declaredUrl.substr(0, g_declaredUrl.size() - 1) + "%20"); }

// The share of a fetch spent turning a UTF-8 page into GBK text.
void BM_DecodeOnly(benchmark::State& state)
{
    const std::string page = makePage();
    for (auto _ : state) {
        const fw::Text text = fw::decodeResponse(page, page);
        benchmark::DoNotOptimize(text.data());
    }
}

BENCHMARK(BM_Fetch)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BareCurl)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FetchDeclared)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BareCurlDeclared)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    fw::sample::SampleService service;
    if (service.start() < 0) {
        std::fprintf(stderr, "the sample service could not listen\n");
        return 1;
    }
    // 125 entries of the whole-market ranking make a page of about 20 KB.
    g_url = service.baseUrl() + "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=3y&st=desc&pi=1&pn=125&zf=diy&sh=list";
    const std::string code = service.market().funds().empty() ? std::string("000001") : service.market().funds().front().code;
    g_declaredUrl = service.baseUrl() + "/" + code + ".html?spm=search ";

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;

    fw::HttpClient client;
    const size_t pageBytes = client.fetch(g_url).size();
    const size_t declaredBytes = client.fetch(g_declaredUrl).size();
    const struct { const char* ours; const char* bare; size_t bytes; } pairs[] = {
        {"BM_Fetch", "BM_BareCurl", pageBytes},
        {"BM_FetchDeclared", "BM_BareCurlDeclared", declaredBytes},
    };
    for (const auto& p : pairs) {
        const double ours = reporter.realTime(p.ours), bare = reporter.realTime(p.bare);
        if (ours > 0 && bare > 0)
            std::printf("%s (%zu bytes) / bare libcurl per request: %.2fx (target <= 1.5x)\n", p.ours, p.bytes,
                        ours / bare);
    }
    service.stop();
    curl_global_cleanup();
    return 0;
}
