// Input: any bytes taken as a URL. Splitting never crashes, and a URL that
// splits gives a host and an object name that starts with "/" and holds no
// blank or control byte.
#include "net/UrlParts.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    fw::UrlParts parts;
    if (fw::parseUrl(url, parts) != 0)
        return 0;
    if (parts.host.empty() || parts.objectName.empty() || parts.objectName[0] != '/')
        std::abort();
    for (const char c : parts.objectName)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            std::abort();
    if (parts.port < 1 || parts.port > 65535)
        std::abort();
    (void)parts.curlUrl();
    return 0;
}
