// Input: two cookie texts split at the first line feed, also read as a page.
// The merge never crashes and never grows past its inputs and separators;
// the decoder never crashes on any page head.
#include "net/Cookies.h"
#include "net/ResponseDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lf = input.find('\n');
    const std::string_view oldCookies = lf == std::string_view::npos ? input : input.substr(0, lf);
    const std::string_view newCookies = lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);

    const fw::Text merged = fw::mergeCookies(oldCookies, newCookies);
    // Entries are joined by "; ", so the result can outgrow its inputs by that separator only.
    if (merged.size() > 2 * (oldCookies.size() + newCookies.size()) + 2)
        std::abort();
    (void)fw::decodeResponse(input, input.substr(0, input.find('\0')));
    return 0;
}
