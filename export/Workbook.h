#pragma once
// Writing a block of cell texts into a formatted workbook file (Office Open
// XML, libxlsxwriter). Cells are typed as a spreadsheet application types the
// texts it is given; the file appears under its name only once it is whole.
#include "text/Text.h"
#include <string>
#include <vector>

namespace fw {

// How a cell text is stored: a text that is wholly a decimal number
// (optional sign, digits, optional fraction) is a number, such a number
// followed by "%" is that number / 100 shown as a percentage, everything else
// ("2026-12-04", "--", "", "1e5") stays text.
struct CellValue {
    enum Kind { Text, Number, Percent } kind = Text;
    double number = 0;
    int fractionDigits = 0; // of the text as given, for the percentage's format
};
CellValue typeCell(std::string_view text);

// The cells of a sheet, row by row, GBK texts; row 0 is the header row (bold).
struct SheetCells {
    int columns = 0;
    std::vector<TextList> rows; // each exactly `columns` long
};

struct WriteResult {
    bool ok = false;
    Text reason; // GBK, for the user: what failed and why ("" when ok)
};

// Writes `cells` as the one sheet of a new workbook at `path` (UTF-8 file
// name): thin borders, rows 18 high, column A 25 wide and the others 11,
// 宋体 12, centred, bold header row, columns A and B in the number format
// "000000", panes frozen below row 1 and right of column A. The workbook is
// written beside `path` into a file without a name (or, where the file system
// has none, under a temporary name) and renamed over it when complete, so an
// older file of the same name is replaced whole or not at all, and a process
// killed while writing leaves nothing behind.
WriteResult writeWorkbook(const SheetCells& cells, const std::string& path);

// Any other file replaced the same way: `content` written beside `path` and
// renamed over it once whole, so a full disk or a killed process never
// leaves a cut file under that name.
WriteResult replaceFileWhole(const std::string& path, std::string_view content);

// For the program's end, which follows at once: waits for a workbook that is
// taking its name and keeps every later one from taking one, so the end never
// falls between the two steps of the naming and leaves a copy beside the file.
void endWorkbookWrites();

} // namespace fw
