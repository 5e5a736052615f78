// The output pieces the commands share.
#include "cli/Commands.h"

#include "text/CodePage.h"
#include "text/NumberText.h"

namespace fw::cli {

namespace {
constexpr int kFirstReturnColumn = 4, kLastListColumn = 12;
}

OutputFormat outputFormat(const CliSession& session)
{
    if (session.options.json)
        return OutputFormat::Json;
    return session.io.outIsTerminal ? OutputFormat::Table : OutputFormat::TabSeparated;
}

void writeTable(CliSession& session, const TextTable& table, const std::string& caption)
{
    if (outputFormat(session) == OutputFormat::Table) {
        if (!caption.empty())
            session.io.out << printableText(caption) << '\n';
        writeAligned(session.io.out, table, session.io.colours);
    } else {
        writeTabSeparated(session.io.out, table);
    }
}

Json jsonFigure(std::string_view text)
{
    const std::optional<double> value = leadingFigure(text);
    return value ? Json(*value) : Json(nullptr);
}

TableRow gridRow(const Grid& grid, int row, int firstColumn, int lastColumn)
{
    TableRow cells;
    for (int c = firstColumn; c <= lastColumn; ++c)
        cells.push_back({gbkToUtf8(grid.cell(row, c)), grid.cellColour(row, c)});
    return cells;
}

std::vector<std::string> gridHeader(const Grid& grid, int firstColumn, int lastColumn)
{
    std::vector<std::string> header;
    for (int c = firstColumn; c <= lastColumn; ++c)
        header.push_back(gbkToUtf8(grid.cell(0, c)));
    return header;
}

const std::vector<std::string>& fundColumnKeys()
{
    static const std::vector<std::string> keys {
        "name",     "code",    "type",       "date",     "day",          "week",      "month",
        "threeMonths", "sixMonths", "thisYear", "oneYear", "twoYears", "threeYears", "assetSize",
        "tenureReturn", "deviation", "sharpe"};
    return keys;
}

TextTable fundListTable(const Grid& grid, int count)
{
    TextTable table;
    table.header = gridHeader(grid, 0, kLastListColumn);
    for (int c = 0; c <= kLastListColumn; ++c)
        table.rightAligned.push_back(c >= kFirstReturnColumn);
    for (int row = 1; row <= count; ++row)
        table.rows.push_back(gridRow(grid, row, 0, kLastListColumn));
    return table;
}

Json fundListJson(const Grid& grid, int count)
{
    Json funds = Json::array();
    const std::vector<std::string>& keys = fundColumnKeys();
    for (int row = 1; row <= count; ++row) {
        Json fund = Json::object();
        // Code first: it is what a script looks for.
        fund["code"] = gbkToUtf8(grid.cell(row, 1));
        fund["name"] = gbkToUtf8(grid.cell(row, 0));
        fund["type"] = gbkToUtf8(grid.cell(row, 2));
        fund["date"] = gbkToUtf8(grid.cell(row, 3));
        for (int c = kFirstReturnColumn; c <= kLastListColumn; ++c)
            fund[keys[size_t(c)]] = jsonFigure(grid.cell(row, c));
        funds.push_back(std::move(fund));
    }
    return funds;
}

} // namespace fw::cli
