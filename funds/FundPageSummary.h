#pragma once
// The summary figures of a fund's own page on the fund list host, cut from the
// page and written as one fund-grid row under the rankings' headers. No Qt.
#include "model/Grid.h"
#include "text/Text.h"
#include <array>

namespace fw {

struct FundPageSummary {
    Text name;        // the fund's short name in the page's title block
    Text type;        // 基金类型
    Text date;        // date of the figures
    Text unitValue;   // the unit value; no column shows it
    Text dailyChange; // 日增长率
    std::array<Text, 8> periods; // 近1周, 近1月, 近3月, 近6月, 今年来, 近1年, 近2年, 近3年

    // "/{code}.html?spm=search " (with its trailing blank).
    static Text path(std::string_view code);
    // Every piece from the page (GBK text as fetched); a missing marker leaves
    // its piece empty.
    static FundPageSummary cut(std::string_view page);
    // The page had its value block (a failed request or a page of another
    // kind has none).
    bool hasValues() const { return !date.empty() || !unitValue.empty(); }

    // Columns 0-12 of `row`: name, code, type, date, the daily change and the
    // eight periods, each coloured by its value as a fund page colours it;
    // column 13 is left empty for the asset size.
    void writeRow(Grid& grid, int row, std::string_view code, std::string_view name) const;
};

} // namespace fw
