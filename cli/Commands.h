#pragma once
// The commands, each over the features of funds/ and chart/, and the output
// pieces they share. Each returns the exit status.
#include "cli/CliSession.h"
#include "cli/TextTable.h"
#include "funds/HoldingsEstimate.h"
#include "text/Text.h"

#include <nlohmann/json.hpp>
#include <map>
#include <optional>

namespace fw::cli {

using Json = nlohmann::ordered_json;

int runFiveStar(CliSession& session);
int runBoard(CliSession& session);
int runSectors(CliSession& session);
int runSector(CliSession& session);
int runFund(CliSession& session);
int runCompare(CliSession& session);
int runSearch(CliSession& session);
int runExport(CliSession& session);
int runPortfolio(CliSession& session);
int runLedger(CliSession& session);
int runDca(CliSession& session);
int runAlerts(CliSession& session);
int runEstimate(CliSession& session);
int runEstimateLog(CliSession& session);
// The trade ledger exists in the data directory: the portfolio is its holdings.
bool ledgerInUse(const CliSession& session);
int runLedgerPortfolio(CliSession& session);
// The shares of each fund the ledger holds over every account; none (said why) when it cannot be read.
std::optional<std::map<std::string, double>> ledgerSharesHeld(CliSession& session);
int runIntraday(CliSession& session);

// --- output
enum class OutputFormat { Table, TabSeparated, Json };
OutputFormat outputFormat(const CliSession& session);

// One table in the session's format: the caption line (UTF-8) above an
// aligned table only, tab-separated lines without it. JSON is the command's own.
void writeTable(CliSession& session, const TextTable& table, const std::string& caption = {});

// The figure a cell begins with ("1.23%", "560.44", "-0.5") as a JSON
// number; null for "-", "--", "---" and other texts that are no figure.
Json jsonFigure(std::string_view text);

// An estimate as the commands give it: the figures as the texts round them
// (change, coverage of the holdings model, error once known), the model and
// whether few of the holdings were quoted; null without one.
Json estimateJson(const std::optional<HoldingsEstimate>& estimate);

// UTF-8 cells of one grid row, columns first … last, with their colours.
TableRow gridRow(const Grid& grid, int row, int firstColumn, int lastColumn);
// UTF-8 header of the columns.
std::vector<std::string> gridHeader(const Grid& grid, int firstColumn, int lastColumn);

// The ranking columns of the fund grid (0-12) for rows 1 … count: the table
// and the JSON array of funds.
TextTable fundListTable(const Grid& grid, int count);
Json fundListJson(const Grid& grid, int count);
// JSON member names of the fund grid's columns 0-16.
const std::vector<std::string>& fundColumnKeys();

} // namespace fw::cli
