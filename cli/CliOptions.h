#pragma once
// The command line of fundwatch-cli: a command, its arguments and options,
// and the usage texts. Options may stand before or after the command and take
// their value as the next argument or after "=".
#include <optional>
#include <string>
#include <vector>

namespace fw::cli {

struct CliOptions {
    std::string command;                // "" with --help alone: the general usage
    std::vector<std::string> arguments; // after the command
    // every command
    std::string service;                // --service BASEURL
    std::string dataDir;                // --data-dir DIR
    bool demo = false;                  // --demo
    bool json = false;                  // --json
    bool help = false;                  // --help
    int timeoutSeconds = 0;             // --timeout SECONDS; 0 = the engine's default
    // per command
    bool all = false;                   // five-star, sector: every page
    bool estimate = false;              // five-star, board, sector: today's estimate per fund
    bool ascending = false;             // five-star --asc
    std::string sortKey;                // five-star --sort
    std::string period;                 // sectors W|M|Q|Y, compare week … threeyear
    std::string plotFile;               // compare, intraday --plot
    bool portfolio = false;             // intraday --portfolio: the held funds
    std::string outFile;                // export --out
    std::string shares;                 // portfolio set --shares
    std::string cost;                   // portfolio set --cost
    std::string amount;                 // portfolio set --amount (instead of --shares); ledger add, dca add
    // the ledger (ledger, portfolio, dca)
    std::string date;                   // --date YYYY-MM-DD (China date)
    std::string time;                   // --time HH:MM (China time)
    std::string feeRate;                // --fee-rate F (percent)
    std::string account;                // --account NAME
    std::string note;                   // --note TEXT
    std::string code;                   // ledger list --code
    std::string from, to;               // portfolio history/returns --from/--to
    std::string cycle;                  // dca add --cycle
    std::string benchmark;              // portfolio returns --benchmark CODE
    // alerts
    std::string window;                 // alerts add --window HH:MM-HH:MM
    bool once = false;                  // alerts check --once
    bool explain = false;               // estimate --explain: each contributor
    // the estimate log
    bool record = false;                // estimate --record
    bool accuracy = false;              // estimate --accuracy
};

struct ParsedCommandLine {
    std::optional<CliOptions> options;  // none: `error` says why (a usage error)
    std::string error;
};

// argv without the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// The general usage, or one command's ("" or an unknown name: the general one).
std::string usageText(const std::string& command);

// The period buttons of the comparison chart: "week" → 1 … "threeyear" → 7; 0 otherwise.
int comparePeriodButton(const std::string& period);
// The sector window's period buttons: "W" → 1 … "Y" → 4; 0 otherwise.
int sectorPeriodButton(const std::string& period);
// The sort keys of the fund lists' return columns ("r", "z", "1y" … "3n").
bool isSortKey(const std::string& key);
// Six digits.
bool isFundCode(const std::string& text);

} // namespace fw::cli
