#pragma once
// What the command line prints: a table of UTF-8 cells, laid out in aligned
// columns for a terminal (by display columns: a CJK character takes two) or
// as tab-separated lines for a pipe.
#include "model/Grid.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace fw::cli {

struct TableCell {
    std::string text;               // UTF-8
    Colour colour = kDefaultColour; // the grid's colour of the cell
};
using TableRow = std::vector<TableCell>;

struct TextTable {
    std::vector<std::string> header; // UTF-8
    std::vector<TableRow> rows;
    std::vector<bool> rightAligned;  // per column; missing = left
};

// Text that cannot act on a terminal: the C0 and C1 control characters
// (ESC, CSI, OSC …) and DEL are left out, tabs and line breaks become blanks
// (a cell stays one field of one line), and a byte that starts no valid UTF-8
// sequence becomes U+FFFD. Every cell, caption and message printed as a table
// or tab-separated text goes through it; JSON escapes them itself.
std::string printableText(std::string_view utf8);

// Columns a UTF-8 text takes on a terminal: two for the wide East Asian
// characters, none for combining marks and controls, one for the rest.
int displayWidth(std::string_view utf8);

// Aligned columns with a blank row of two spaces between them; `colours`
// adds the terminal's red, green, blue and grey for the cells that have them.
void writeAligned(std::ostream& out, const TextTable& table, bool colours);
// A header line, then one line per row; tabs and line breaks inside a cell
// become blanks so that every row stays one line of the same field count.
void writeTabSeparated(std::ostream& out, const TextTable& table);

} // namespace fw::cli
