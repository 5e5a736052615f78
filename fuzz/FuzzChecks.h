#pragma once
// Checks shared by the fuzz targets: a broken invariant names itself on
// stderr and aborts, which libFuzzer reports as a crash with the input.
#include "text/CodePage.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace fw::fuzz {

inline void check(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

using fw::isWellFormedGbk;

// Splits the input at the first occurrence of `mark`: (before, after); all
// of it is `before` when the mark is missing.
inline std::pair<std::string_view, std::string_view> splitAt(std::string_view input, std::string_view mark)
{
    const size_t at = input.find(mark);
    if (at == std::string_view::npos)
        return {input, {}};
    return {input.substr(0, at), input.substr(at + mark.size())};
}

} // namespace fw::fuzz
