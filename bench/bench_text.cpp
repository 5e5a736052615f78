// findText and cutBetween over a ~500 KB GBK fund page, each next to the plain
// byte search (memmem, std::string::find) that does the same work without
// caring for character boundaries. Prints the ratios after the runs.
#include "text/CodePage.h"
#include "text/TextOps.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

using fw::gbk;
using fw::Text;

// A fund ranking page: a head, ~2,500 table rows of Chinese fund names and
// figures, commentary paragraphs, and the net-asset-value block near the end.
const Text& page()
{
    static const Text text = [] {
        const char* names[] = {"华夏成长混合", "易方达蓝筹精选混合", "招商中证白酒指数(LOF)A", "中欧医疗健康混合A",
                               "富国天惠成长混合A", "兴全合润混合", "景顺长城新兴成长混合", "广发稳健增长混合A"};
        const char* kinds[] = {"混合型", "股票型", "指数型", "债券型"};
        Text p = "<!DOCTYPE html><html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                 "<title>" + gbk("基金排行_基金净值_天天更新") + "</title></head><body><div id=\"main\"><table class=\"rank\">";
        p += "<tr><th>" + gbk("序号") + "</th><th>" + gbk("基金代码") + "</th><th>" + gbk("基金简称") + "</th><th>" +
             gbk("日增长率") + "</th><th>" + gbk("近1年") + "</th></tr>\n";
        int row = 0;
        while (p.size() < 480 * 1024) {
            char code[16];
            std::snprintf(code, sizeof code, "%06d", 100000 + row * 7);
            char figures[96];
            std::snprintf(figures, sizeof figures, "<td class=\"%s\">%.2f%%</td><td>%.4f</td>", row % 3 ? "red" : "grn",
                          (row % 17) * 0.37 - 2.5, 1 + (row % 89) * 0.0131);
            p += "<tr><td>" + std::to_string(row + 1) + "</td><td><a href=\"/fund/" + code + ".html\">" + code +
                 "</a></td><td><a href=\"/fund/" + code + ".html\" title=\"" + gbk(names[row % 8]) + "\">" +
                 gbk(names[row % 8]) + "</a></td><td>" + gbk(kinds[row % 4]) + "</td>" + figures + "</tr>\n";
            if (row % 50 == 49)
                p += "<tr><td colspan=\"6\"><p>" +
                     gbk("市场回顾：本周沪深两市震荡上行，消费、医药板块领涨，债券市场整体平稳，"
                         "基金经理普遍维持中性偏积极的仓位判断。投资有风险，过往业绩不代表未来表现。") +
                     "</p></td></tr>\n";
            ++row;
        }
        p += "</table></div><div class=\"dataOfFund\"><dl><dt>" + gbk("单位净值（2024-06-07）") +
             "</dt><dd class=\"dataNums\"><span class=\"ui-font-large ui-color-red\">2.3456</span>"
             "<span class=\"ui-font-middle ui-color-red\">1.23%</span></dd></dl><dl><dt>" +
             gbk("累计净值") + "</dt><dd><span class=\"ui-font-large\">4.5678</span></dd></dl></div>"
                               "<div class=\"footer\">" + gbk("基金销售服务由本公司提供") + "</div></body></html>\n";
        return p;
    }();
    return text;
}

const Text& findMarker()
{
    static const Text m = gbk("累计净值") + "</dt>";
    return m;
}

// The cut markers as the loaders write them, with the quote placeholder.
const Text& cutFront() { static const Text m = gbk("单位净值（2024-06-07）</dt><dd class=#引号dataNums#引号><span class=#引号ui-font-large ui-color-red#引号>"); return m; }
const Text& cutFrontPlain() { static const Text m = gbk("单位净值（2024-06-07）</dt><dd class=\"dataNums\"><span class=\"ui-font-large ui-color-red\">"); return m; }
const Text kCutBack = "</span>";

void BM_findText(benchmark::State& state)
{
    const Text& p = page();
    for (auto _ : state)
        benchmark::DoNotOptimize(fw::findText(p, findMarker()));
}

void BM_memmem(benchmark::State& state)
{
    const Text& p = page();
    const Text& m = findMarker();
    for (auto _ : state)
        benchmark::DoNotOptimize(memmem(p.data(), p.size(), m.data(), m.size()));
}

void BM_stringFind(benchmark::State& state)
{
    const Text& p = page();
    for (auto _ : state)
        benchmark::DoNotOptimize(p.find(findMarker()));
}

void BM_cutBetween(benchmark::State& state)
{
    const Text& p = page();
    for (auto _ : state) {
        Text v = fw::cutBetween(p, cutFront(), kCutBack);
        benchmark::DoNotOptimize(v);
    }
}

// The same cut with two memmem calls and the copy of the result.
void BM_memmemCut(benchmark::State& state)
{
    const Text& p = page();
    const Text& f = cutFrontPlain();
    for (auto _ : state) {
        Text v;
        if (const void* a = memmem(p.data(), p.size(), f.data(), f.size())) {
            const char* s = static_cast<const char*>(a) + f.size();
            if (const void* b = memmem(s, p.data() + p.size() - s, kCutBack.data(), kCutBack.size()))
                v.assign(s, static_cast<const char*>(b));
        }
        benchmark::DoNotOptimize(v);
    }
}

void BM_lastText(benchmark::State& state)
{
    const Text& p = page();
    const Text m = "<table";
    for (auto _ : state)
        benchmark::DoNotOptimize(fw::textAfterLast(p, m).size());
}

// The page as a UTF-8 answer arrives, converted back to GBK.
void BM_utf8ToGbk(benchmark::State& state)
{
    const std::string utf8 = fw::gbkToUtf8(page());
    for (auto _ : state)
        benchmark::DoNotOptimize(fw::utf8ToGbk(utf8).size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(utf8.size()));
}

BENCHMARK(BM_findText);
BENCHMARK(BM_memmem);
BENCHMARK(BM_stringFind);
BENCHMARK(BM_cutBetween);
BENCHMARK(BM_memmemCut);
BENCHMARK(BM_lastText);
BENCHMARK(BM_utf8ToGbk);

} // namespace

int main(int argc, char** argv)
{
    // Sanity: the fast paths must find what the plain search finds.
    const Text& p = page();
    const void* hit = memmem(p.data(), p.size(), findMarker().data(), findMarker().size());
    if (!hit || fw::findText(p, findMarker()) != static_cast<const char*>(hit) - p.data() + 1 ||
        fw::cutBetween(p, cutFront(), kCutBack) != "2.3456") {
        std::fprintf(stderr, "bench_text: searches disagree\n");
        return 1;
    }
    std::printf("page: %zu bytes\n", p.size());

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;

    auto ratio = [&](const char* a, const char* b) {
        const double tb = reporter.cpuTime(b);
        return tb > 0 ? reporter.cpuTime(a) / tb : 0.0;
    };
    if (reporter.cpuTime("BM_findText") > 0 && reporter.cpuTime("BM_memmem") > 0)
        std::printf("findText/memmem ratio: %.2f\nfindText/std::string::find ratio: %.2f\n",
                    ratio("BM_findText", "BM_memmem"), ratio("BM_findText", "BM_stringFind"));
    if (reporter.cpuTime("BM_cutBetween") > 0 && reporter.cpuTime("BM_memmemCut") > 0)
        std::printf("cutBetween/memmem ratio: %.2f\n", ratio("BM_cutBetween", "BM_memmemCut"));
    return 0;
}
