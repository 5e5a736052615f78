#pragma once
// The fund grid (or a list view) written to a workbook in the data directory,
// named after today's month and day ("12月4日.xlsx"). The file is written on a
// worker thread while the window goes on handling its events.
#include "model/Grid.h"
#include "model/ListModel.h"
#include "model/MainModels.h"
#include "model/View.h"
#include <ctime>
#include <functional>
#include <string>

namespace fw {

// What an export ended with: the file written, or the message the user was shown.
struct ExportResult {
    bool written = false;
    Text failure; // GBK; "" when written (or refused without a message)
    explicit operator bool() const { return written; }
};

// Exactly one source must be chosen: neither or both is refused with a message
// box. The grid's cells (header row included) or the list's column titles and
// rows become the sheet. A workbook that cannot be written is reported by the
// message box "数据导出失败：" and the reason.
ExportResult exportGridToWorkbook(View& view, const ListModel* list, bool useList, const Grid* grid, bool useGrid,
                                  const std::string& path);

class WorkbookExport {
public:
    // `dataDir` "" means the current directory.
    WorkbookExport(MainModels& models, std::string dataDir);

    // The export step of the whole-market load: "数据导出中" in the status
    // line, the fund grid to today's workbook, then "导出时间" S "秒" whatever
    // the outcome. True when the file was written.
    bool exportFundGrid();

    // <data directory>/<month>月<day>日.xlsx for the local date now() gives.
    std::string outputPath() const;

    // The local date and time; replaceable for tests.
    std::function<std::tm()> now;

private:
    MainModels& m_models;
    std::string m_dataDir;
};

} // namespace fw
