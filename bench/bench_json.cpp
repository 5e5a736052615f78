// One page of the ranking answer (20 entries) parsed by JsonDocument and read
// entry by entry with getText("datas[i]"), against nlohmann::json parsing the
// same answer in strict UTF-8 form and reading the same entries. Prints the
// ratio after the runs.
#include "text/CodePage.h"
#include "text/JsonDocument.h"

#include "RecordingReporter.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <string>

namespace {

using fw::Text;

// The answer as the service sends it (UTF-8, quoted names, counts as strings).
const std::string& answerUtf8()
{
    static const std::string text = [] {
        static const char* const names[] = {
            "华夏成长混合", "招商中证白酒指数(LOF)A", "易方达蓝筹精选混合", "前海开源公用事业股票",
            "工银新能源汽车混合A", "中欧医疗健康混合A", "景顺长城新兴成长混合", "兴全合润混合",
            "汇添富消费行业混合", "富国天惠成长混合(LOF)A", "广发稳健增长混合A", "嘉实新兴产业股票",
            "南方中证500ETF联接A", "博时黄金ETF联接C", "银华富裕主题混合", "交银新成长混合",
            "诺安成长混合", "国泰中证全指证券公司ETF", "鹏华中证酒指数(LOF)A", "天弘沪深300ETF联接A",
        };
        static const char* const pinyin[] = {
            "HXCZHH", "ZSZZBJZSLOFA", "YFDLCJXHH", "QHKYGYSYGP", "GYXNYQCHHA", "ZOYLJKHHA", "JSCCXXCZHH",
            "XQHRHH", "HTFXFHYHH", "FGTHCZHHLOFA", "GFWJZZHHA", "JSXXCYGP", "NFZZ500ETFLJA", "BSHJETFLJC",
            "YHFYZTHH", "JYXCZHH", "NACZHH", "GTZZQZZQGSETF", "PHZZJZSLOFA", "THHS300ETFLJA",
        };
        static const char* const types[] = {"混合型-偏股", "指数型-股票", "股票型", "混合型-灵活", "指数型-其他"};
        std::string out = "{\"datas\":[";
        for (int i = 0; i < 20; ++i) {
            char code[8];
            std::snprintf(code, sizeof code, "%06d", 1 + i * 8123);
            char figures[256];
            const double b = (i % 7 - 3) * 1.37;
            std::snprintf(figures, sizeof figures,
                          "%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,,1,2026-12-04,%.4f,%.2f,1,0.15%%,100,1,1.50%%,0.15%%,%.2f",
                          b * 4, b / 3, b, b * 2.1, b * 3.3, b * 5.2, b * 7.7, i % 5 ? b * 9.1 : 0.0, b * 11.4,
                          1 + i * 0.0731, b / 10, b * 20.5);
            if (i) out += ',';
            out += '"';
            out += std::string(code) + "," + names[i] + "," + pinyin[i] + "," + types[i % 5] + "," + figures;
            out += '"';
        }
        out += "],\"allRecords\":\"8000\",\"pageIndex\":\"1\",\"pageNum\":\"20\",\"allPages\":\"400\",\"datacount\":\"8000\"}";
        return out;
    }();
    return text;
}

// The same answer as the program holds it: GBK.
const Text& answerGbk()
{
    static const Text text = fw::utf8ToGbk(answerUtf8());
    return text;
}

void BM_JsonDocument(benchmark::State& state)
{
    const Text& text = answerGbk();
    size_t bytes = 0;
    for (auto _ : state) {
        fw::JsonDocument doc;
        doc.parse(text);
        const int n = doc.memberCount("datas");
        for (int i = 0; i < n; ++i) {
            Text entry = doc.getText("datas[" + std::to_string(i) + "]");
            bytes += entry.size();
            benchmark::DoNotOptimize(entry);
        }
    }
    benchmark::DoNotOptimize(bytes);
}

void BM_NlohmannStrict(benchmark::State& state)
{
    const std::string& text = answerUtf8();
    size_t bytes = 0;
    for (auto _ : state) {
        const nlohmann::json doc = nlohmann::json::parse(text);
        const auto& datas = doc["datas"];
        const size_t n = datas.size();
        for (size_t i = 0; i < n; ++i) {
            std::string entry = datas[i].get<std::string>();
            bytes += entry.size();
            benchmark::DoNotOptimize(entry);
        }
    }
    benchmark::DoNotOptimize(bytes);
}

// Path evaluation alone: reading the 20 entries of an already parsed page.
void BM_JsonDocumentReadOnly(benchmark::State& state)
{
    fw::JsonDocument doc;
    doc.parse(answerGbk());
    for (auto _ : state) {
        const int n = doc.memberCount("datas");
        for (int i = 0; i < n; ++i) {
            Text entry = doc.getText("datas[" + std::to_string(i) + "]");
            benchmark::DoNotOptimize(entry);
        }
    }
}

BENCHMARK(BM_JsonDocument);
BENCHMARK(BM_NlohmannStrict);
BENCHMARK(BM_JsonDocumentReadOnly);

} // namespace

int main(int argc, char** argv)
{
    // Sanity: both readers must see the same page.
    fw::JsonDocument doc;
    const nlohmann::json strict = nlohmann::json::parse(answerUtf8());
    if (!doc.parse(answerGbk()) || doc.memberCount("datas") != 20 ||
        fw::gbkToUtf8(doc.getText("datas[19]")) != strict["datas"][19].get<std::string>()) {
        std::fprintf(stderr, "bench_json: the readers disagree\n");
        return 1;
    }
    std::printf("answer: %zu bytes GBK, %zu bytes UTF-8\n", answerGbk().size(), answerUtf8().size());

    RecordingReporter reporter;
    if (!runBenchmarks(argc, argv, reporter))
        return 1;

    const double ours = reporter.cpuTime("BM_JsonDocument");
    const double theirs = reporter.cpuTime("BM_NlohmannStrict");
    if (ours > 0 && theirs > 0) std::printf("JsonDocument/nlohmann ratio: %.2f (target <= 2)\n", ours / theirs);
    return 0;
}
