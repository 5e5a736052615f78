#pragma once
// The funds the user holds: shares and cost per share, stored in 配置.ini
// section [持仓] as "份额|成本价" under the fund code; the figures of each
// holding and of the whole; the trading hours during which the estimate moves;
// CSV export and import.
#include "model/Grid.h"
#include "funds/FeatureContext.h"
#include "text/Text.h"
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw {

struct Holding {
    Text code;   // six digits
    Text shares; // decimal text as entered, at most 2 decimals
    Text cost;   // decimal text as entered, at most 4 decimals
};

// What a refresh learns of one fund.
struct FundQuote {
    Text name;
    double unitValue = 0;      // the last published unit value; 0 = unknown
    Text valueDate;            // its date, as the fund page shows it
    std::optional<double> estimatePercent; // today's estimated change in percent
    Text coverage;             // what the estimate stands on: "覆盖 62.4%" (holdings) or its model, "联接估算",
                               // then "，误差 ±0.42%" once its error is known (estimateBasis)
    std::optional<double> estimateError; // the estimate's mean absolute error, percent; none until known
};

// The figures of one holding, unrounded.
struct HoldingFigures {
    bool valued = false;       // a unit value is known
    double amount = 0;         // 持仓金额 = shares × unit value
    double profit = 0;         // 持有收益 = shares × (unit value − cost)
    double profitRate = 0;     // 持有收益率 = profit / (shares × cost), a fraction
    std::optional<double> todayProfit; // 今日估算收益 = amount × estimated change
};

struct PortfolioTotals {
    double amount = 0;
    double profit = 0;
    double cost = 0;           // Σ shares × cost of the valued holdings
    double profitRate = 0;     // profit / cost
    double todayProfit = 0;    // funds without an estimate count 0
    int estimatedFunds = 0;    // how many funds the estimated total covers
    int valuedFunds = 0;       // how many funds the other totals cover
    int funds = 0;
    // Funds are held and none has a unit value: no total is a figure (an
    // outage is not a portfolio worth 0).
    bool unknown() const { return funds > 0 && valuedFunds == 0; }
};

// Field checks: "" when acceptable, else a message naming the field.
Text checkFundCode(std::string_view code);
Text checkShares(std::string_view shares);
Text checkCost(std::string_view cost);
// An amount held turned into shares at the unit value, rounded to 0.01 share;
// "" with `error` set when the amount or the unit value is unusable.
Text sharesFromAmount(std::string_view amount, double unitValue, Text& error);

// The valid holdings of the stored section [持仓] (its keys and values, GBK);
// each other line, as "key=value", goes to `invalidLines` when given.
std::vector<Holding> readHoldings(const ConfigFile::KeyValues& section, TextList* invalidLines = nullptr);
// "持仓" in GBK: the section's name.
std::string_view portfolioSectionName();

HoldingFigures holdingFigures(const Holding& holding, const FundQuote& quote);
PortfolioTotals portfolioTotals(const std::vector<HoldingFigures>& rows);

// Money to 0.01, halves away from zero ("1234.57", "-0.01"); percents as
// "12.34%". Rounding happens here only, never in the sums.
Text formatMoney(double yuan);
Text formatPercent(double fraction);
// "估算覆盖 2/3 只": the coverage note of the estimated total.
Text estimateCoverageNote(const PortfolioTotals& totals);
// "净值覆盖 2/3 只" when only some held funds have a unit value; "" when all
// have, or none.
Text valueCoverageNote(const PortfolioTotals& totals);

// The table of the window and the CLI: 基金名称, 基金代码, 份额, 成本价,
// 最新净值 (日期), 持仓金额, 持有收益, 持有收益率, 今日估算涨幅, 今日估算收益; GBK.
inline constexpr int kPortfolioColumns = 10;
TextList portfolioHeader();
// "--" where a figure is not known (no unit value, no estimate).
TextList holdingRowTexts(const Holding& holding, const FundQuote* quote);
// The totals over the funds with a unit value, the value coverage note under
// 最新净值; every figure "--" when funds are held and none has a unit value
// (an outage is not a portfolio worth 0).
TextList totalsRowTexts(const PortfolioTotals& totals);
// The text colours of the same cells, from the figures as shown (a figure
// shown as zero is silver): 持有收益,
// 持有收益率, 今日估算涨幅 and 今日估算收益; the table's own for the other
// cells, for "--" and for the totals row's coverage note.
std::vector<Colour> holdingRowColours(const Holding& holding, const FundQuote* quote);
std::vector<Colour> totalsRowColours(const PortfolioTotals& totals);

// One held fund as the table shows it: its quote (none before the first
// refresh that reached it), its figures, and the texts and colours of its row.
struct PortfolioRow {
    Holding holding;
    std::optional<FundQuote> quote;
    HoldingFigures figures;
    TextList texts;              // kPortfolioColumns cells, GBK
    std::vector<Colour> colours; // the same cells' text colours
};
// The whole table, each figure computed once: a row per holding in the
// holdings' order, then the totals over them with the totals row's texts and colours.
struct PortfolioFigures {
    std::vector<PortfolioRow> rows;
    PortfolioTotals totals;
    TextList totalsTexts;
    std::vector<Colour> totalsColours;
};
PortfolioFigures portfolioFigures(const std::vector<Holding>& holdings, const std::map<Text, FundQuote>& quotes);

// Monday to Friday, 09:30–11:30 and 13:00–15:00 China time (UTC+8, no
// daylight saving), both ends included; the machine's time zone plays no part.
bool isTradingTime(std::time_t utc);
// The holdings of an imported CSV file (UTF-8, the header 基金代码,份额,成本价,
// one holding a line): every line checked, each bad line reported by its
// number; no rows at all when any line is bad.
struct CsvHoldings {
    std::vector<Holding> rows;
    TextList errors;
};
CsvHoldings readHoldingsCsv(std::string_view content);

using Clock = std::function<std::time_t()>;

class Portfolio {
public:
    explicit Portfolio(FeatureContext& context);

    // Reads [持仓] again. Lines that do not hold a valid holding are left out
    // of holdings() and listed by invalidLines() ("key=value", GBK); every
    // change keeps them in the file as they stand.
    void load();
    const std::vector<Holding>& holdings() const { return m_holdings; }
    const TextList& invalidLines() const { return m_invalidLines; }
    const Holding* find(std::string_view code) const;

    // Each change re-reads [持仓] under the settings file's lock and applies
    // just itself, so holdings another window or the command line stored
    // meanwhile stay. A change the file would not take holds for this run
    // (the context tells the user, and saveFailure() says why).
    //
    // Adds or replaces a holding. "" on success; else the message, and nothing
    // stored or held changes.
    Text set(std::string_view code, std::string_view shares, std::string_view cost);
    Text setAmount(std::string_view code, std::string_view amount, std::string_view cost,
                   double unitValue);
    // False when the code is not held.
    bool remove(std::string_view code);

    // UTF-8 file with the header 基金代码,份额,成本价. "" on success, else the message.
    Text exportCsv(const std::string& path) const;
    // Adds or replaces the listed holdings; when any line is bad nothing is
    // imported and each bad line is reported by its number.
    TextList importCsv(const std::string& path);

    void setClock(Clock clock) { m_clock = std::move(clock); }
    bool isTradingNow() const { return isTradingTime(m_clock()); }

private:
    // Applies `edit` to the section as stored now; false when it changed nothing.
    bool change(const std::function<bool(ConfigFile::KeyValues&)>& edit);
    void holdEntries();

    FeatureContext& m_context;
    ConfigFile::KeyValues m_entries; // [持仓] as last read or written
    std::vector<Holding> m_holdings;
    TextList m_invalidLines;
    Clock m_clock;
};

} // namespace fw
