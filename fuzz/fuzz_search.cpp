// Input: a search answer as received (UTF-8). Every suggestion's name and
// code are well-formed GBK, and no suggestion comes from nothing.
#include "FuzzChecks.h"
#include "funds/FundSearch.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto suggestions = fw::FundSearch::parseAnswer(body);
    check(suggestions.size() <= size, "more suggestions than bytes");
    for (const auto& s : suggestions)
        check(isWellFormedGbk(s.name) && isWellFormedGbk(s.code), "suggestion is not GBK");
    return 0;
}
