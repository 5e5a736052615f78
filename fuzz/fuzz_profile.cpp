// Input: one archive page as fetched (GBK), read as the basic, manager and
// risk pages alike. Each figure of a well-formed page is well-formed and no
// longer than the page.
#include "FuzzChecks.h"
#include "funds/FundProfileFetch.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const fw::Text asset = fw::cutAssetSize(page);
    const fw::Text tenure = fw::cutTenureReturn(page);
    const fw::Text deviation = fw::cutDeviation(page);
    const fw::Text sharpe = fw::cutSharpe(page);
    const bool clean = isWellFormedGbk(page, false);
    for (const fw::Text* figure : {&asset, &tenure, &deviation, &sharpe}) {
        check(figure->size() <= size, "figure longer than the page");
        if (clean)
            check(isWellFormedGbk(*figure, false), "figure splits a character");
    }
    // The tenure return comes through the regex, which converts: GBK always.
    check(isWellFormedGbk(tenure), "tenure return is not GBK");
    return 0;
}
