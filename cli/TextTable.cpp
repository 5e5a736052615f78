#include "cli/TextTable.h"

#include <algorithm>
#include <cstdint>

namespace fw::cli {

namespace {

// The next code point of a UTF-8 text; a byte that starts no valid sequence
// counts as one character of its own.
char32_t nextCodePoint(std::string_view s, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + size_t(length) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = length == 1 ? c : c & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
        if ((byte(i + size_t(k)) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(i + size_t(k)) & 0x3F);
    }
    i += size_t(length);
    return cp;
}

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
        || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE10 && c <= 0xFE19)
        || (c >= 0xFE30 && c <= 0xFE6F)
        || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F)
        || (c >= 0x20000 && c <= 0x3FFFD);
}

bool isZeroWidth(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x300 && c <= 0x36F) || c == 0x200B
        || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F);
}

const char* ansiOf(Colour colour)
{
    switch (colour) {
    case kRed: return "\x1b[31m";
    case kGreen: return "\x1b[32m";
    case kBlue: return "\x1b[34m";
    case kSilver: return "\x1b[90m";
    default: return nullptr;
    }
}

} // namespace

std::string printableText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        const char32_t c = nextCodePoint(utf8, i);
        if (c == '\t' || c == '\n' || c == '\r')
            out += ' ';
        else if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            continue;
        else if (i - start == 1 && static_cast<unsigned char>(utf8[start]) >= 0x80)
            out += "\xEF\xBF\xBD"; // a stray byte (0x9B alone is CSI to some terminals)
        else
            out.append(utf8.substr(start, i - start));
    }
    return out;
}

int displayWidth(std::string_view utf8)
{
    int width = 0;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, i);
        width += isZeroWidth(c) ? 0 : isWide(c) ? 2 : 1;
    }
    return width;
}

void writeAligned(std::ostream& out, const TextTable& table, bool colours)
{
    size_t columns = table.header.size();
    for (const TableRow& row : table.rows)
        columns = std::max(columns, row.size());
    std::vector<int> widths(columns, 0);
    for (size_t c = 0; c < table.header.size(); ++c)
        widths[c] = displayWidth(printableText(table.header[c]));
    for (const TableRow& row : table.rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(printableText(row[c].text)));

    auto writeLine = [&](auto cellAt) {
        std::string line;
        for (size_t c = 0; c < columns; ++c) {
            const TableCell cell = cellAt(c);
            const std::string text = printableText(cell.text);
            const std::string pad(size_t(widths[c] - displayWidth(text)), ' ');
            const bool right = c < table.rightAligned.size() && table.rightAligned[c];
            const char* ansi = colours ? ansiOf(cell.colour) : nullptr;
            if (c > 0)
                line += "  ";
            if (right)
                line += pad;
            line += ansi ? ansi + text + "\x1b[0m" : text;
            if (!right && c + 1 < columns)
                line += pad;
        }
        // No blanks at the end of a line whose last cells are empty.
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    };
    if (!table.header.empty())
        writeLine([&](size_t c) { return TableCell {c < table.header.size() ? table.header[c] : std::string()}; });
    for (const TableRow& row : table.rows)
        writeLine([&](size_t c) { return c < row.size() ? row[c] : TableCell {}; });
}

void writeTabSeparated(std::ostream& out, const TextTable& table)
{
    auto writeLine = [&](size_t count, auto textAt) {
        for (size_t c = 0; c < count; ++c)
            out << (c > 0 ? "\t" : "") << printableText(textAt(c));
        out << '\n';
    };
    if (!table.header.empty())
        writeLine(table.header.size(), [&](size_t c) -> const std::string& { return table.header[c]; });
    for (const TableRow& row : table.rows)
        writeLine(std::max(row.size(), table.header.size()), [&](size_t c) {
            return c < row.size() ? row[c].text : std::string();
        });
}

} // namespace fw::cli
