#include "net/ResponseDecoder.h"

#include "text/CodePage.h"
#include "text/RegexMatcher.h"

namespace fw {

namespace {

constexpr size_t kHeadBytes = 1024;

// The declaration is pure ASCII, so the head is searched with every GBK
// character (or stray high byte) replaced by one "?". The pattern then sees the
// same number of characters as in the page, and a page that is not valid GBK
// (a UTF-8 page read as GBK usually is not) cannot hide its declaration.
Text asciiHead(std::string_view undecoded)
{
    const std::string_view head = undecoded.substr(0, kHeadBytes);
    Text out;
    out.reserve(head.size());
    for (size_t i = 0; i < head.size();) {
        const unsigned char c = static_cast<unsigned char>(head[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        out.push_back('?');
        const bool pair = c >= 0x81 && c <= 0xFE && i + 1 < head.size() &&
                          static_cast<unsigned char>(head[i + 1]) >= 0x40 &&
                          static_cast<unsigned char>(head[i + 1]) != 0x7F &&
                          static_cast<unsigned char>(head[i + 1]) != 0xFF;
        i += pair ? 2 : 1;
    }
    return out;
}

} // namespace

Text declaredCharset(std::string_view head)
{
    RegexMatcher matcher;
    if (!matcher.search("<meta.+?charset=[^\\w]?([-\\w]+)", head))
        return Text();
    return matcher.groupText(1, 1);
}

Text decodeResponse(std::string_view bodyBytes, std::string_view undecoded)
{
    const Text charset = declaredCharset(asciiHead(undecoded));
    if (charset.empty() || charset == "gbk" || charset == "gb2312")
        return Text(undecoded);

    Text decoded;
    if (!charsetToGbk(bodyBytes, charset, decoded))
        return Text(undecoded); // a charset the converter does not know
    return decoded;
}

} // namespace fw
