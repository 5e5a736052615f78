#include "net/Cookies.h"

#include "text/TextOps.h"

#include <unordered_set>

namespace fw {

namespace {

// Blanks are the ASCII space and the full-width space of GBK (A1 A1). The
// scan steps over two-byte characters so that A1 A1 is only taken where it
// really is one character, not a trailing byte followed by a lead byte.
Text removeBlanks(std::string_view text)
{
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (isGbkLeadByte(c) && i + 1 < text.size()) {
            if (!(c == 0xA1 && static_cast<unsigned char>(text[i + 1]) == 0xA1))
                out.append(text.substr(i, 2));
            i += 2;
        } else {
            if (c != ' ')
                out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
}

} // namespace

Text trimBlanks(std::string_view text)
{
    // Leading blanks: walk forward character by character.
    size_t begin = 0;
    while (begin < text.size()) {
        if (text[begin] == ' ') {
            ++begin;
        } else if (begin + 1 < text.size() && text.substr(begin, 2) == "\xA1\xA1") {
            begin += 2;
        } else {
            break;
        }
    }
    // Trailing blanks: find where the last non-blank character ends, walking
    // forward so a full-width space is recognised on character boundaries.
    size_t end = begin;
    for (size_t i = begin; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t width = (isGbkLeadByte(c) && i + 1 < text.size()) ? 2 : 1;
        const bool blank = (width == 1 && c == ' ') || (width == 2 && text.substr(i, 2) == "\xA1\xA1");
        i += width;
        if (!blank)
            end = i;
    }
    return Text(text.substr(begin, end - begin));
}

namespace {

bool endsWithDeleted(std::string_view entry)
{
    constexpr std::string_view kDeleted = "=deleted";
    return entry.size() >= kDeleted.size() && entry.substr(entry.size() - kDeleted.size()) == kDeleted;
}

} // namespace

Text cookieName(std::string_view entry)
{
    const size_t eq = entry.find('=');
    return trimBlanks(eq == std::string_view::npos ? entry : entry.substr(0, eq));
}

Text dedupeJoined(std::string_view text, std::string_view separator)
{
    Text out;
    std::unordered_set<std::string> seen;
    bool first = true;
    for (Text& piece : splitText(text, separator)) {
        if (!seen.insert(piece).second)
            continue;
        if (!first)
            out.append(separator);
        out.append(piece);
        first = false;
    }
    return out;
}

Text mergeCookies(std::string_view oldCookies, std::string_view newCookies)
{
    const TextList oldEntries = splitText(removeBlanks(oldCookies), ";");
    TextList merged = splitText(removeBlanks(newCookies), ";");

    // The response's cookies come first; an old cookie survives only when the
    // response did not set one of the same name.
    std::unordered_set<std::string> newNames;
    for (const Text& entry : merged)
        newNames.insert(cookieName(entry));
    for (const Text& entry : oldEntries) {
        if (!newNames.count(cookieName(entry)))
            merged.push_back(entry);
    }

    Text joined;
    for (const Text& entry : merged) {
        if (endsWithDeleted(entry))
            continue;
        joined.append(entry);
        joined.append("; ");
    }
    if (joined.size() >= 2)
        joined.resize(joined.size() - 2);
    return dedupeJoined(joined, "; ");
}

} // namespace fw
