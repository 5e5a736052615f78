// Input: a pattern, a line feed, then the subject (GBK or any bytes). The first
// byte picks the options. Nothing may crash or run unbounded.
#include "text/RegexMatcher.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    fw::RegexOptions options;
    options.caseSensitive = data[0] & 1;
    options.multiLine = data[0] & 2;
    options.global = data[0] & 4;
    options.quotePlaceholder = data[0] & 8;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t lf = input.find('\n');
    const std::string_view pattern = input.substr(0, lf);
    const std::string_view subject = lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);

    fw::RegexMatcher m;
    if (!m.search(pattern, subject, options)) return 0;
    int position = 0;
    for (int i = m.matchCount(); i >= 1 && i > m.matchCount() - 16; --i) {
        m.matchText(i, &position);
        for (int g = 1; g <= m.groupCount() && g <= 4; ++g) m.groupText(i, g, &position);
    }
    m.replace("<$1$&$`$'$$>");
    return 0;
}
