#pragma once
// Checks shared by the fuzz targets: a broken invariant names itself on
// stderr and aborts, which libFuzzer reports as a crash with the input.
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

// Every byte >= 0x81 leads a pair whose trail is 0x40-0x7E or 0x80-0xFE.
// The conversions write the euro sign as the single byte 0x80 (code page
// 936); the text searches take every byte >= 0x80 as part of a pair, so an
// input that should cut cleanly is asked to hold no 0x80 (allowEuro false).
inline bool isWellFormedGbk(std::string_view s, bool allowEuro = true)
{
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 || (c == 0x80 && allowEuro))
            continue;
        if (c == 0x80 || c == 0xFF || i + 1 == s.size())
            return false;
        const unsigned char t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF)
            return false;
    }
    return true;
}

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
