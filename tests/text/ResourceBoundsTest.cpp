// Memory and time taken by the text layer on answers far larger than the
// service ever sends: 64 MiB to cut and to parse, and nesting or backtracking
// built to exhaust the stack or the clock.
#include "tests/text/PeakMemory.h"
#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/RegexMatcher.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>

using namespace fw;
using namespace fw::testing;

namespace {

constexpr bool kSanitized = kSanitizedBuild;

constexpr size_t kAnswerBytes = 64 * kMiB;

// A ranking answer of about `bytes`: entries of the service's shape, with
// Chinese names so that the conversions have work to do.
std::string rankingAnswer(size_t bytes)
{
    const std::string entry = "\"000001,华夏成长混合,HXCZHH,混合型-偏股,1.23,0.5,-0.62,2.1,3.3,4.4,5.5,6.6,7.7,,1,"
                              "2026-12-04,1.0301,1.05,1,0.15%,10,1,1.50%,0.15%,3.01\",";
    std::string answer = "var rankData ={\"datas\":[";
    answer.reserve(bytes + entry.size() + 64);
    while (answer.size() < bytes)
        answer += entry;
    answer.back() = ']';
    answer += ",\"allRecords\":1,\"pageIndex\":1,\"pageNum\":20,\"allPages\":1}";
    return answer;
}

} // namespace

TEST(ResourceBounds, CuttingABigAnswerNeedsAtMostFourTimesItsSize)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' shadow memory and quarantine distort resident sizes";
    const std::string answer = rankingAnswer(kAnswerBytes);
    // As a reader does: the whole answer to GBK, then the text after its marker
    // and a cut between two markers that spans almost all of it.
    const PeakUse use = measurePeak([&answer] {
        const Text gbkAnswer = utf8ToGbk(answer);
        const Text after = textAfterLast(gbkAnswer, "var rankData =");
        const Text between = cutBetween(after, "\"datas\":[", "],\"allRecords\"");
        if (between.size() < kAnswerBytes / 2)
            std::abort();
    });
    ASSERT_TRUE(use.ran);
    std::printf("cutting a %lld MiB answer: peak +%lld MiB, %.2f s\n", (long long)(answer.size() / kMiB),
                use.bytes / kMiB, use.seconds);
    EXPECT_LE(use.bytes, 4 * (long long)answer.size());
}

TEST(ResourceBounds, ParsingABigAnswerStaysUnderOneAndAHalfGiB)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' shadow memory and quarantine distort resident sizes";
    const long long limit = 1536 * kMiB;
    // The service's shape, and the shapes that cost the most per byte: a
    // value node for every two or three bytes.
    std::string numbers = "{\"datas\":[";
    while (numbers.size() < kAnswerBytes)
        numbers += "1,";
    numbers.back() = ']';
    numbers += "}";
    std::string empties = "{\"datas\":[";
    while (empties.size() < kAnswerBytes)
        empties += "{},";
    empties.back() = ']';
    empties += "}";
    const std::string answer = rankingAnswer(kAnswerBytes);
    const std::string* texts[] = {&answer, &numbers, &empties};
    for (const std::string* text : texts) {
        // Read whole, and cut short by one byte: refused only once the whole
        // tree is built, which is then dropped.
        for (const bool whole : {true, false}) {
            if (!whole && text != &empties)
                continue; // the costliest shape stands for the others
            std::string_view json = std::string_view(*text).substr(text->find('{'));
            if (!whole)
                json.remove_suffix(1);
            const PeakUse use = measurePeak([json, whole] {
                JsonDocument doc;
                if (doc.parse(json) != whole || (whole && doc.memberCount("datas") < 1000))
                    std::abort();
                doc.clear();
            });
            ASSERT_TRUE(use.ran);
            std::printf("parsing a %lld MiB answer (%.12s…, %s): peak +%lld MiB, %.2f s\n",
                        (long long)(text->size() / kMiB), text->c_str() + text->find('[') + 1,
                        whole ? "read" : "refused", use.bytes / kMiB, use.seconds);
            EXPECT_LT(use.bytes, limit);
        }
    }
}

TEST(ResourceBounds, DeepNestingEndsQuicklyWithoutAStackOverflow)
{
    // In one parse, not only at the top level: a member deep inside an answer.
    for (const std::string& open : {std::string("["), std::string("{a:"), std::string("{\"a\":[")}) {
        std::string text = "{\"datas\":";
        for (int i = 0; i < 100000; ++i)
            text += open;
        const auto start = std::chrono::steady_clock::now();
        JsonDocument doc;
        EXPECT_FALSE(doc.parse(text)) << open;
        EXPECT_EQ(doc.getText("datas"), "") << open;
        EXPECT_EQ(doc.memberCount("datas"), 0) << open;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << open;
    }
}

TEST(ResourceBounds, BacktrackingSubjectsEndWithinTheTimeOut)
{
    // The lazy "anything up to a marker" patterns of the readers, over a long
    // line full of their opening marker and without their closing one: every
    // start tries the whole rest of the line.
    struct Case {
        const char* pattern;
        std::string unit;
    };
    const Case cases[] = {
        {"bold\">.*?</div>", "bold\">"},
        {"{ \"date\": \".*?}", "{ \"date\": \""},
        {"<td>.*?</a> </td><td>.*?</td></tr>", "<td></a> </td><td>"},
        {"(a+)+$", "a"},
    };
    for (const Case& c : cases) {
        std::string subject;
        while (subject.size() < 4 * kMiB)
            subject += c.unit;
        subject += "!";
        const auto start = std::chrono::steady_clock::now();
        RegexMatcher m;
        ASSERT_TRUE(m.search(c.pattern, subject)) << c.pattern;
        EXPECT_EQ(m.matchText(1), "") << c.pattern;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-40s over %lld MiB: %.2f s\n", c.pattern, (long long)(subject.size() / kMiB), seconds);
        EXPECT_LT(seconds, 5.0) << c.pattern;
    }
}
