#include "cli/CliOptions.h"

#include "model/MainModels.h"
#include "chart/Comparison.h"
#include "funds/Ranking.h"
#include "funds/SectorRanking.h"
#include "text/CodePage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace fw::cli {

namespace {

constexpr int kFirstReturnColumn = 4, kLastReturnColumn = 12;

enum Takes : unsigned {
    None = 0,
    All = 1,
    Sort = 2,
    Asc = 4,
    Period = 8,
    Plot = 16,
    Out = 32,
    Estimate = 64,
    Holding = 128,
    Booking = 256, // the ledger's options
    Alerts = 512,  // --window, --once
    Explain = 1024,
    Log = 2048,    // the estimate log's
    WholePortfolio = 4096,
};

struct CommandRule {
    const char* name;
    int minArguments, maxArguments;
    unsigned options;
    const char* synopsis;
    const char* description;
};

const CommandRule kCommands[] = {
    {"five-star", 0, 0, All | Sort | Asc | Estimate, "five-star [--all] [--sort KEY] [--asc] [--estimate]",
     "The five-star funds, by this year's return unless --sort names a column; --asc from the lowest.\n"
     "  --all        every page, not only the first 20 funds\n"
     "  --estimate   add today's change estimated from each fund's holdings\n"},
    {"board", 1, 1, Estimate, "board 1|2|3|4 [--estimate]",
     "A ranking board: 1 yesterday's gainers, 2 this month's gainers, 3 yesterday's losers,\n"
     "4 this month's losers.\n"
     "  --estimate   add today's change estimated from each fund's holdings\n"},
    {"sectors", 0, 0, Period, "sectors [--period W|M|Q|Y]",
     "The theme sectors with their return over a week (default), a month, a quarter or a year.\n"},
    {"sector", 1, 1, All | Estimate, "sector NAME-OR-CODE [--all] [--estimate]",
     "The funds of one theme sector, named as in `sectors` or by its code (BK0474).\n"
     "  --all        every page, not only the first 20 funds\n"
     "  --estimate   add today's change estimated from each fund's holdings\n"},
    {"fund", 1, 1, None, "fund CODE",
     "One fund: the figures of its own page, its profile and its ten largest holdings.\n"},
    {"compare", 1, 2, Period | Plot, "compare CODE [BASE] [--period P] [--plot FILE.png]",
     "Cumulative returns of a fund, and of a second one to compare it with.\n"
     "  --period P   week, month, threemonth, sixmonth, year (default), twoyear, threeyear\n"
     "  --plot FILE  also draw the chart into a PNG image\n"},
    {"intraday", 0, 1, Plot | WholePortfolio, "intraday CODE|--portfolio [--plot FILE.png]",
     "Today from 09:30, minute by minute: a fund's change estimated from its holdings' minute\n"
     "bars (the last minute from the quotes), or the held funds' estimated 当日收益 in yuan.\n"
     "  --portfolio  the held funds (the ledger's once it exists) instead of one fund\n"
     "  --plot FILE  also draw the chart into a PNG image\n"},
    {"search", 1, 1, None, "search TEXT", "Funds whose code, name or initials match TEXT.\n"},
    {"export", 0, 0, Out, "export [--out FILE]",
     "The whole market with the funds' profiles, as the window's workbook.\n"
     "  --out FILE   where to write it (default: the data directory)\n"},
    {"portfolio", 0, 2, Holding | Booking,
     "portfolio [--account A] [set CODE --shares S --cost C | set CODE --amount A --cost C |\n"
     "            remove CODE | export FILE.csv | import FILE.csv | history [--from D] [--to D] |\n"
     "            returns [--from D] [--to D] [--benchmark CODE]]",
     "The funds held: value, profit and today's estimate with totals; or a change of the holdings.\n"
     "  set CODE     adds or replaces a holding: shares (2 decimals) or the amount held (turned\n"
     "               into shares at the last unit value), and the cost per share (4 decimals)\n"
     "  remove CODE  removes a holding\n"
     "  export FILE  writes the holdings as CSV (UTF-8, header 基金代码,份额,成本价)\n"
     "  import FILE  adds or replaces the holdings of such a file; nothing when any line is bad\n"
     "Once the trade ledger exists (see `ledger`), the holdings are the ledger's: set, remove and\n"
     "import book 对账 trades, and the list shows each holding's figures from its trades.\n"
     "  --account A  one account only\n"
     "  history      市值, 累计收益 and 当日收益 of each NAV day (--from/--to YYYY-MM-DD)\n"
     "  returns      XIRR of each holding, account and the ledger; the time-weighted return\n"
     "               of the period beside a benchmark fund's (default 110020)\n"},
    {"ledger", 1, 3, Booking | Holding,
     "ledger add 买入|卖出|对账 CODE [--amount A] [--shares S] [--cost C] [--date D] [--time HH:MM]\n"
     "            [--fee-rate F] [--account NAME] [--note TEXT] | list [--code C] [--account A] |\n"
     "            remove ID | import FILE.csv | export FILE.csv | fees CODE SCHEDULE |\n"
     "            method CODE 分红|再投 | restore YYYY-MM-DD",
     "The trade ledger (fundwatch.db in the data directory). Dates and times are China time;\n"
     "--date without --time counts before 15:00, no --date is now.\n"
     "  add 买入 CODE --amount A       a buy of A yuan (alias buy)\n"
     "  add 卖出 CODE --shares S       a sale of S shares (alias sell)\n"
     "  add 对账 CODE --shares S --cost C  sets the shares held and the held cost (alias reconcile)\n"
     "  --fee-rate F  the trade's fee in percent; --account NAME (default 默认); --note TEXT\n"
     "  list          the trades with their state (--code, --account choose)\n"
     "  remove ID     removes one trade\n"
     "  import FILE   books every row of a CSV file, or none when any row is bad\n"
     "  export FILE   writes the trades as CSV (UTF-8, header 日期,时间,账户,基金代码,类型,金额,份额,费率%,备注)\n"
     "  fees CODE S   the redemption-fee schedule, e.g. 7:1.5,365:0.5,730:0.25,0\n"
     "  method CODE M dividends paid in cash (分红, the default) or reinvested (再投)\n"
     "  restore DATE  puts the daily copy of that date back\n"},
    {"estimate", 0, 1, Explain | Log, "estimate CODE [--explain] | --record | --accuracy",
     "Today's change of a fund, estimated by the model that fits it: a feeder fund by its\n"
     "exchange-traded fund, an index fund by its index, any other fund by its listed holdings.\n"
     "  --explain    each contributor (code, name, weight, change, contribution) and the\n"
     "               share of the fund applied\n"
     "The estimate log in fundwatch.db: each trading day's estimate of every watchlist and ledger fund\n"
     "by every model that applies, beside the change the fund then published.\n"
     "  --record     logs today's estimates; only on a trading day between 14:55 and 15:05 China\n"
     "               time (for a timer while the window is closed), else exit status 3. A second\n"
     "               record of a day adds nothing.\n"
     "  --accuracy   per fund: the model its estimate is taken from, the days measured (the newest\n"
     "               20 with a published change), the mean absolute error and the largest miss\n"},
    {"dca", 1, 2, Booking | Holding,
     "dca add CODE --amount A --cycle C [--date START] [--fee-rate F] [--account NAME] |\n"
     "            list | remove ID",
     "Regular investment plans (定投): each due date books one 买入 at 14:59 China time.\n"
     "  --cycle C    每个交易日, 每周一 … 每周五, 每两周一 … 每两周五, or 每月N日 (N 1-28)\n"
     "  --date D     the first day of the plan (default today)\n"},
    {"alerts", 1, 4, Alerts | Booking,
     "alerts add SUBJECT CONDITION VALUE [--window HH:MM-HH:MM] | list | remove ID | log |\n"
     "            check --once [--date D] [--time HH:MM]",
     "Alert rules kept in fundwatch.db, told on the desktop and kept in a log.\n"
     "  SUBJECT      fund:CODE, stock:MARKET.CODE (e.g. stock:1.600519), holding:CODE, portfolio\n"
     "  CONDITION    up/down: today's (estimated) change ≥/≤ VALUE %; cross-up/cross-down: the\n"
     "               estimate or price crosses VALUE; nav-up/nav-down: the unit value crosses VALUE;\n"
     "               rate-up/rate-down: a holding's 持有收益率 ≥/≤ VALUE %; profit-up/profit-down:\n"
     "               the portfolio's estimated 当日收益 ≥/≤ VALUE yuan; share-up/share-down: the same\n"
     "               in percent of 市值 at the previous close\n"
     "  --window W   check the rule only between these times of day (China time)\n"
     "  check --once refreshes, checks every rule once, tells what fired; exit 1 when the refresh\n"
     "               failed. --date and --time set the moment checked (default now).\n"},
};

const CommandRule* ruleOf(const std::string& name)
{
    for (const CommandRule& rule : kCommands)
        if (name == rule.name)
            return &rule;
    return nullptr;
}

const char* const kCommonOptions =
    "Options of every command:\n"
    "  --json              one JSON document instead of a table\n"
    "  --service BASEURL   send every request to BASEURL (also: FUNDWATCH_SERVICE)\n"
    "  --demo              use the built-in sample service, without network\n"
    "  --data-dir DIR      directory of the settings file (配置.ini)\n"
    "  --timeout SECONDS   time-out of each phase of a request (default 30)\n"
    "  --help              this help\n"
    "\n"
    "Output is a table on a terminal and tab-separated lines in a pipe. Exit status:\n"
    "0 done (also when the answer is empty), 1 the requests failed, 2 bad usage,\n"
    "130 interrupted.\n";

std::string sortKeyList()
{
    std::string out = "Sort keys:";
    const TextList header = fundGridHeader();
    for (int c = kFirstReturnColumn; c <= kLastReturnColumn; ++c)
        out += " " + sortKeyOfColumn(c) + " (" + gbkToUtf8(header[size_t(c)]) + ")";
    return out + "\n";
}

bool readSeconds(const std::string& text, int& out)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    out = std::atoi(text.c_str());
    return out >= 1 && out <= 3600;
}

} // namespace

bool isSortKey(const std::string& key)
{
    for (int c = kFirstReturnColumn; c <= kLastReturnColumn; ++c)
        if (sortKeyOfColumn(c) == key)
            return true;
    return false;
}

bool isFundCode(const std::string& text)
{
    return text.size() == 6 && std::all_of(text.begin(), text.end(), ::isdigit);
}

int comparePeriodButton(const std::string& period)
{
    for (int button = 1; button <= 7; ++button)
        if (periodCode(button) == period)
            return button;
    return 0;
}

int sectorPeriodButton(const std::string& period)
{
    std::string upper = period;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (int button = 1; button <= 4; ++button)
        if (upper == sectorPeriod(button).newKey)
            return button;
    return 0;
}

std::string usageText(const std::string& command)
{
    if (const CommandRule* rule = ruleOf(command)) {
        std::string out = std::string("Usage: fundwatch-cli ") + rule->synopsis + " [options]\n\n" + rule->description;
        if (rule->options & Sort)
            out += sortKeyList();
        return out + "\n" + kCommonOptions;
    }
    std::string out = "Usage: fundwatch-cli COMMAND [ARGUMENTS] [options]\n\nCommands:\n";
    for (const CommandRule& rule : kCommands)
        out += std::string("  ") + rule.synopsis + "\n";
    return out + "\n`fundwatch-cli COMMAND --help` describes one command.\n\n" + kCommonOptions;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CliOptions o;
    auto fail = [](std::string message) { return ParsedCommandLine {std::nullopt, std::move(message)}; };
    struct Valued { const char* name; std::string* target; unsigned needs; };
    const Valued valued[] = {
        {"--service", &o.service, None}, {"--data-dir", &o.dataDir, None}, {"--sort", &o.sortKey, Sort},
        {"--period", &o.period, Period}, {"--plot", &o.plotFile, Plot},    {"--out", &o.outFile, Out},
        {"--shares", &o.shares, Holding},  {"--cost", &o.cost, Holding},    {"--amount", &o.amount, Holding},
        {"--date", &o.date, Booking},      {"--time", &o.time, Booking},    {"--fee-rate", &o.feeRate, Booking},
        {"--account", &o.account, Booking}, {"--note", &o.note, Booking},   {"--code", &o.code, Booking},
        {"--from", &o.from, Booking},      {"--to", &o.to, Booking},        {"--cycle", &o.cycle, Booking},
        {"--benchmark", &o.benchmark, Booking}, {"--window", &o.window, Alerts},
    };
    std::string timeout;
    unsigned used = None;
    bool afterDashes = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A negative figure ("-0.5", an alert's threshold) is an argument, not an option.
        if (afterDashes || arg.size() < 2 || arg[0] != '-' || std::isdigit(static_cast<unsigned char>(arg[1]))) {
            (o.command.empty() ? o.command : o.arguments.emplace_back()) = arg;
            continue;
        }
        if (arg == "--") {
            afterDashes = true;
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        auto valueOf = [&](std::string& out) {
            if (eq != std::string::npos)
                out = arg.substr(eq + 1);
            else if (i + 1 < args.size())
                out = args[++i];
            else
                return false;
            return !out.empty();
        };
        auto flag = [&](bool& target, unsigned needs) {
            if (eq != std::string::npos)
                return false;
            target = true;
            used |= needs;
            return true;
        };
        if (name == "--help" || name == "-h") {
            if (!flag(o.help, None))
                return fail(name + " takes no value");
        } else if (name == "--demo" || name == "--json" || name == "--all" || name == "--asc"
                   || name == "--estimate" || name == "--once" || name == "--explain") {
            bool& target = name == "--demo" ? o.demo : name == "--json" ? o.json : name == "--all" ? o.all
                : name == "--estimate"       ? o.estimate
                : name == "--once"           ? o.once
                : name == "--explain"        ? o.explain
                                             : o.ascending;
            const unsigned needs = name == "--all" ? All : name == "--asc" ? Asc : name == "--estimate" ? Estimate
                : name == "--once"                   ? Alerts
                : name == "--explain"                ? Explain
                                                     : None;
            if (!flag(target, needs))
                return fail(name + " takes no value");
        } else if (name == "--record" || name == "--accuracy") {
            if (!flag(name == "--record" ? o.record : o.accuracy, Log))
                return fail(name + " takes no value");
        } else if (name == "--portfolio") {
            if (!flag(o.portfolio, WholePortfolio))
                return fail(name + " takes no value");
        } else if (name == "--timeout") {
            if (!valueOf(timeout) || !readSeconds(timeout, o.timeoutSeconds))
                return fail("--timeout needs a number of seconds from 1 to 3600");
        } else {
            const Valued* match = nullptr;
            for (const Valued& v : valued)
                if (name == v.name)
                    match = &v;
            if (!match)
                return fail("unknown option " + name);
            if (!valueOf(*match->target))
                return fail(name + " needs a value");
            used |= match->needs;
        }
    }

    if (o.help)
        return {o, {}};
    if (o.command.empty())
        return fail("no command given");
    const CommandRule* rule = ruleOf(o.command);
    if (!rule)
        return fail("unknown command " + o.command);
    const int count = int(o.arguments.size());
    if (count < rule->minArguments)
        return fail(o.command + " needs " + (rule->minArguments == 1 ? "an argument" : "more arguments"));
    if (count > rule->maxArguments)
        return fail("too many arguments for " + o.command + ": " + o.arguments[size_t(rule->maxArguments)]);
    const unsigned foreign = used & ~rule->options;
    static const std::pair<unsigned, const char*> names[] = {{All, "--all"},       {Sort, "--sort"},
                                                             {Asc, "--asc"},       {Period, "--period"},
                                                             {Plot, "--plot"},     {Out, "--out"},
                                                             {Estimate, "--estimate"},
                                                             {Explain, "--explain"},
                                                             {WholePortfolio, "--portfolio"},
                                                             {Holding, "--shares/--cost/--amount"},
                                                             {Booking, "the ledger's options"},
                                                             {Alerts, "--window/--once"},
                                                             {Log, "--record/--accuracy"}};
    for (const auto& [bit, optionName] : names)
        if (foreign & bit)
            return fail(std::string(optionName) + " does not apply to " + o.command);

    if (o.command == "board" && (o.arguments[0].size() != 1 || o.arguments[0][0] < '1' || o.arguments[0][0] > '4'))
        return fail("board takes a number from 1 to 4");
    if (o.command == "fund" || o.command == "compare" || o.command == "estimate")
        for (const std::string& code : o.arguments)
            if (!isFundCode(code))
                return fail("not a fund code (six digits): " + code);
    if (o.command == "intraday") {
        if (o.portfolio == !o.arguments.empty())
            return fail("intraday takes a fund code or --portfolio");
        if (!o.portfolio && !isFundCode(o.arguments[0]))
            return fail("not a fund code (six digits): " + o.arguments[0]);
    }
    if (o.command == "portfolio") {
        const std::string action = o.arguments.empty() ? "" : o.arguments[0];
        const bool set = action == "set";
        const bool figures = action == "history" || action == "returns";
        if (!action.empty() && !set && !figures && action != "remove" && action != "export" && action != "import")
            return fail("unknown portfolio action " + action + " (set, remove, export, import, history, returns)");
        if (figures && o.arguments.size() != 1)
            return fail("too many arguments for portfolio " + action);
        if (!figures && (!o.from.empty() || !o.to.empty() || !o.benchmark.empty()))
            return fail("--from, --to and --benchmark apply to portfolio history and returns only");
        if (!action.empty() && !figures && o.arguments.size() != 2)
            return fail("portfolio " + action + " needs " + (set || action == "remove" ? "a fund code" : "a file"));
        if ((set || action == "remove") && !isFundCode(o.arguments[1]))
            return fail("not a fund code (six digits): " + o.arguments[1]);
        if (!set && (used & Holding))
            return fail("--shares, --cost and --amount apply to portfolio set only");
        if (set && (o.cost.empty() || o.shares.empty() == o.amount.empty()))
            return fail("portfolio set needs --cost and either --shares or --amount");
    }
    if (o.command == "alerts") {
        const std::string& action = o.arguments[0];
        const size_t count = o.arguments.size();
        const bool known = (action == "add" && count == 4) || (action == "remove" && count == 2)
            || ((action == "list" || action == "log" || action == "check") && count == 1);
        if (!known)
            return fail("alerts takes add SUBJECT CONDITION VALUE, list, remove ID, log or check --once");
        if (!o.window.empty() && action != "add")
            return fail("--window applies to alerts add only");
        if (action == "check" && !o.once)
            return fail("alerts check needs --once");
        if (o.once && action != "check")
            return fail("--once applies to alerts check only");
        if (action != "check" && (used & Booking))
            return fail("the ledger's options do not apply to alerts " + action);
    }
    if (o.command == "estimate") {
        if (o.record && o.accuracy)
            return fail("estimate takes one of --record and --accuracy");
        if ((o.record || o.accuracy) && (!o.arguments.empty() || o.explain))
            return fail("estimate --record and --accuracy take no fund code and no --explain");
        if (!o.record && !o.accuracy && o.arguments.size() != 1)
            return fail("estimate takes a fund code, --record or --accuracy");
    }
    if (!o.sortKey.empty() && !isSortKey(o.sortKey))
        return fail("unknown sort key " + o.sortKey);
    if (!o.period.empty()) {
        const bool known = o.command == "sectors" ? sectorPeriodButton(o.period) != 0 : comparePeriodButton(o.period) != 0;
        if (!known)
            return fail("unknown period " + o.period);
    }
    return {o, {}};
}

} // namespace fw::cli
