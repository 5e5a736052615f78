#include "net/ResponseDecoder.h"

#include "text/CodePage.h"

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

bool isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool isNameChar(char c) { return isWordChar(c) || c == '-'; }

bool hasAtIgnoreCase(std::string_view text, size_t at, std::string_view lowerLiteral)
{
    if (at > text.size() || text.size() - at < lowerLiteral.size())
        return false;
    for (size_t i = 0; i < lowerLiteral.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerLiteral[i])
            return false;
    }
    return true;
}

} // namespace

Text declaredCharset(std::string_view head)
{
    // The first match of <meta.+?charset=[^\w]?([-\w]+), letter case ignored,
    // "." not crossing a line feed, found the way a backtracking matcher finds it.
    const size_t n = head.size();
    for (size_t start = 0; start + 5 <= n; ++start) {
        if (!hasAtIgnoreCase(head, start, "<meta"))
            continue;
        // ".+?": the shortest run of at least one character within the line.
        for (size_t at = start + 6; at <= n && head[at - 1] != '\n'; ++at) {
            if (!hasAtIgnoreCase(head, at, "charset="))
                continue;
            const size_t r = at + 8;
            size_t begin;
            if (r + 1 < n && !isWordChar(head[r]) && isNameChar(head[r + 1]))
                begin = r + 1; // "[^\w]?" takes one character when it can
            else if (r < n && isNameChar(head[r]))
                begin = r;
            else
                continue;
            size_t end = begin;
            while (end < n && isNameChar(head[end]))
                ++end;
            return Text(head.substr(begin, end - begin));
        }
    }
    return Text();
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
