#include "text/UrlCodec.h"

#include "text/CodePage.h"

namespace fw {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isUnreserved(unsigned char c)
{
    return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

Text urlEncode(std::string_view text, bool keepUnreserved, bool asUtf8)
{
    if (text.empty())
        return {};
    std::string utf8;
    if (asUtf8) {
        utf8 = gbkToUtf8(text);
        text = utf8;
    }
    Text out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (keepUnreserved && isUnreserved(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0x0F]);
        }
    }
    return out;
}

Text urlDecode(std::string_view text, bool fromUtf8)
{
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return fromUtf8 ? utf8ToGbk(out) : out;
}

Text unescapeText(std::string_view text)
{
    auto hexAt = [&text](size_t i, size_t digits) {
        int value = 0;
        for (size_t k = 0; k < digits; ++k) {
            const int digit = i + k < text.size() ? hexValue(text[i + k]) : -1;
            if (digit < 0)
                return -1;
            value = value * 16 + digit;
        }
        return value;
    };
    Text out;
    out.reserve(text.size());
    // Consecutive %u units are converted together, so that a surrogate pair
    // becomes one character.
    std::string units;
    auto flush = [&] {
        if (!units.empty())
            out += utf16ToGbk(units);
        units.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const int unit = text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'u' ? hexAt(i + 2, 4) : -1;
        if (unit > 0) {
            units.push_back(static_cast<char>(unit & 0xFF));
            units.push_back(static_cast<char>(unit >> 8));
            i += 5;
            continue;
        }
        flush();
        if (unit == 0) { // the zero character, which would end a converted run
            out.push_back('\0');
            i += 5;
            continue;
        }
        if (const int byte = text[i] == '%' ? hexAt(i + 1, 2) : -1; byte >= 0) {
            out.push_back(static_cast<char>(byte));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    flush();
    return out;
}

} // namespace fw
