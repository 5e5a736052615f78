#include "funds/Portfolio.h"
#include "export/Workbook.h"
#include "funds/HoldingsEstimate.h"
#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fw {

namespace {

std::string_view sectionName()
{
    static const Text name = gbk("持仓");
    return name;
}

std::string_view trimmedView(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A positive decimal number of at most `decimals` places and at most twelve
// integer digits (no sign, no exponent): what a holding can be.
bool isPositiveDecimal(std::string_view s, size_t decimals)
{
    size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    std::string_view frac = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    if (whole.empty() || whole.size() > 12 || frac.size() > decimals)
        return false;
    if (dot != std::string_view::npos && frac.empty())
        return false;
    bool nonZero = false;
    for (std::string_view part : {whole, frac})
        for (char c : part) {
            if (c < '0' || c > '9')
                return false;
            nonZero = nonZero || c != '0';
        }
    return nonZero;
}

// Money, rates and shares show two decimals. They are products and quotients
// computed in binary, a hair off their decimal (100.5 × 1.23 is 123.61499…):
// within a ten-thousandth of a cent of a half, they round as the half.
constexpr double kComputedHalfTolerance = 0.00005;

long long shownHundredths(double value) { return roundedUnits(value, 2, kComputedHalfTolerance); }

// The colour of a figure shown with shownHundredths.
Colour shownColour(double value) { return figureColour(FigureUse::ShownChange, unitsValue(shownHundredths(value), 2)); }

} // namespace

Text checkFundCode(std::string_view code)
{
    if (code.size() == 6 && code.find_first_not_of("0123456789") == std::string_view::npos)
        return {};
    return gbk("基金代码须为六位数字");
}

Text checkShares(std::string_view shares)
{
    return isPositiveDecimal(shares, 2) ? Text() : gbk("份额须为正数，最多两位小数");
}

Text checkCost(std::string_view cost)
{
    return isPositiveDecimal(cost, 4) ? Text() : gbk("成本价须为正数，最多四位小数");
}

Text sharesFromAmount(std::string_view amount, double unitValue, Text& error)
{
    error.clear();
    if (!isPositiveDecimal(amount, 2)) {
        error = gbk("持仓金额须为正数，最多两位小数");
        return {};
    }
    if (!(unitValue > 0)) {
        error = gbk("最新净值未知，请输入份额");
        return {};
    }
    const Text text = unitsText(shownHundredths(textValue(amount) / unitValue), 2);
    if (!checkShares(text).empty()) {
        error = gbk("持仓金额过小，折合份额不足0.01");
        return {};
    }
    return text;
}

HoldingFigures holdingFigures(const Holding& holding, const FundQuote& quote)
{
    HoldingFigures f;
    if (!(quote.unitValue > 0))
        return f;
    double shares = textValue(holding.shares);
    double cost = textValue(holding.cost);
    f.valued = true;
    f.amount = shares * quote.unitValue;
    f.profit = shares * (quote.unitValue - cost);
    f.profitRate = shares * cost > 0 ? f.profit / (shares * cost) : 0;
    if (quote.estimatePercent)
        f.todayProfit = f.amount * *quote.estimatePercent / 100.0;
    return f;
}

PortfolioTotals portfolioTotals(const std::vector<HoldingFigures>& rows)
{
    PortfolioTotals t;
    t.funds = int(rows.size());
    for (const HoldingFigures& f : rows) {
        if (!f.valued)
            continue;
        ++t.valuedFunds;
        t.amount += f.amount;
        t.profit += f.profit;
        t.cost += f.amount - f.profit;
        if (f.todayProfit) {
            t.todayProfit += *f.todayProfit;
            ++t.estimatedFunds;
        }
    }
    t.profitRate = t.cost > 0 ? t.profit / t.cost : 0;
    return t;
}

Text formatMoney(double yuan) { return unitsText(shownHundredths(yuan), 2); }

Text formatPercent(double fraction) { return unitsText(shownHundredths(fraction * 100), 2) + "%"; }

Text estimateCoverageNote(const PortfolioTotals& totals)
{
    return gbk("估算覆盖 ") + std::to_string(totals.estimatedFunds) + "/" + std::to_string(totals.funds)
        + gbk(" 只");
}

TextList portfolioHeader()
{
    static const TextList header = [] {
        TextList out;
        for (const char* name : {"基金名称", "基金代码", "份额", "成本价", "最新净值", "持仓金额", "持有收益",
                                 "持有收益率", "今日估算涨幅", "今日估算收益"})
            out.push_back(gbk(name));
        return out;
    }();
    return header;
}

namespace {

TextList rowTexts(const Holding& holding, const FundQuote& q, const HoldingFigures& f)
{
    const Text dashes = "--";
    return {q.name,
            holding.code,
            holding.shares,
            holding.cost,
            f.valued ? fixedText(q.unitValue, 4) + (q.valueDate.empty() ? "" : " (" + q.valueDate + ")") : dashes,
            f.valued ? formatMoney(f.amount) : dashes,
            f.valued ? formatMoney(f.profit) : dashes,
            f.valued ? formatPercent(f.profitRate) : dashes,
            q.estimatePercent ? estimateChangeText(*q.estimatePercent) + (q.coverage.empty() ? "" : " " + q.coverage)
                              : dashes,
            f.todayProfit ? formatMoney(*f.todayProfit) : dashes};
}

std::vector<Colour> rowColours(const FundQuote& q, const HoldingFigures& f)
{
    std::vector<Colour> colours(kPortfolioColumns, kDefaultColour);
    if (f.valued) {
        colours[6] = shownColour(f.profit);
        colours[7] = shownColour(f.profitRate * 100);
    }
    if (q.estimatePercent)
        colours[8] = estimateChangeColour(*q.estimatePercent);
    if (f.todayProfit)
        colours[9] = shownColour(*f.todayProfit);
    return colours;
}

} // namespace

TextList holdingRowTexts(const Holding& holding, const FundQuote* quote)
{
    const FundQuote none;
    const FundQuote& q = quote ? *quote : none;
    return rowTexts(holding, q, holdingFigures(holding, q));
}

Text valueCoverageNote(const PortfolioTotals& t)
{
    if (t.valuedFunds == 0 || t.valuedFunds == t.funds)
        return {};
    return gbk("净值覆盖 ") + std::to_string(t.valuedFunds) + "/" + std::to_string(t.funds) + gbk(" 只");
}

TextList totalsRowTexts(const PortfolioTotals& t)
{
    if (t.unknown()) {
        const Text dashes = "--";
        return {gbk("合计"), "", "", "", "", dashes, dashes, dashes, estimateCoverageNote(t), dashes};
    }
    return {gbk("合计"),           "", "", "", valueCoverageNote(t), formatMoney(t.amount), formatMoney(t.profit),
            formatPercent(t.profitRate), estimateCoverageNote(t), formatMoney(t.todayProfit)};
}

std::vector<Colour> holdingRowColours(const Holding& holding, const FundQuote* quote)
{
    const FundQuote none;
    const FundQuote& q = quote ? *quote : none;
    return rowColours(q, holdingFigures(holding, q));
}

std::vector<Colour> totalsRowColours(const PortfolioTotals& t)
{
    std::vector<Colour> colours(kPortfolioColumns, kDefaultColour);
    if (t.unknown())
        return colours; // "--": no figure to colour
    colours[6] = shownColour(t.profit);
    colours[7] = shownColour(t.profitRate * 100);
    colours[9] = shownColour(t.todayProfit);
    return colours;
}

PortfolioFigures portfolioFigures(const std::vector<Holding>& holdings, const std::map<Text, FundQuote>& quotes)
{
    PortfolioFigures out;
    std::vector<HoldingFigures> figures;
    const FundQuote none;
    for (const Holding& h : holdings) {
        PortfolioRow row;
        row.holding = h;
        if (const auto it = quotes.find(h.code); it != quotes.end())
            row.quote = it->second;
        const FundQuote& q = row.quote ? *row.quote : none;
        row.figures = holdingFigures(h, q);
        row.texts = rowTexts(h, q, row.figures);
        row.colours = rowColours(q, row.figures);
        figures.push_back(row.figures);
        out.rows.push_back(std::move(row));
    }
    out.totals = portfolioTotals(figures);
    out.totalsTexts = totalsRowTexts(out.totals);
    out.totalsColours = totalsRowColours(out.totals);
    return out;
}

bool isTradingTime(std::time_t utc)
{
    // China keeps UTC+8 all year, so the day and the minute follow from UTC alone.
    std::time_t china = utc + 8 * 3600;
    std::tm tm {};
    if (!gmtime_r(&china, &tm))
        return false;
    if (tm.tm_wday == 0 || tm.tm_wday == 6)
        return false;
    int minute = tm.tm_hour * 60 + tm.tm_min;
    bool atEnd = tm.tm_sec == 0;
    auto within = [&](int from, int to) { return minute >= from && (minute < to || (minute == to && atEnd)); };
    return within(9 * 60 + 30, 11 * 60 + 30) || within(13 * 60, 15 * 60);
}

Portfolio::Portfolio(FeatureContext& context)
    : m_context(context), m_clock([] { return std::time(nullptr); })
{
    load();
}

void Portfolio::load()
{
    m_entries = m_context.config.readSection(sectionName());
    holdEntries();
}

// The valid holdings of the stored entries; the others are kept aside, and in
// the file, as they stand.
std::vector<Holding> readHoldings(const ConfigFile::KeyValues& section, TextList* invalidLines)
{
    std::vector<Holding> holdings;
    for (const auto& [key, value] : section) {
        size_t bar = value.find('|');
        Holding h {key, Text(trimmedView(std::string_view(value).substr(0, bar))),
                   bar == Text::npos ? Text() : Text(trimmedView(std::string_view(value).substr(bar + 1)))};
        if (bar != Text::npos && checkFundCode(h.code).empty() && checkShares(h.shares).empty()
            && checkCost(h.cost).empty())
            holdings.push_back(std::move(h));
        else if (invalidLines)
            invalidLines->push_back(key + "=" + value);
    }
    return holdings;
}

std::string_view portfolioSectionName() { return sectionName(); }

void Portfolio::holdEntries()
{
    TextList invalid;
    m_holdings = readHoldings(m_entries, &invalid);
    m_invalidLines = std::move(invalid);
}

const Holding* Portfolio::find(std::string_view code) const
{
    for (const Holding& h : m_holdings)
        if (h.code == code)
            return &h;
    return nullptr;
}

bool Portfolio::change(const std::function<bool(ConfigFile::KeyValues&)>& edit)
{
    ConfigFile::KeyValues stored;
    bool changed = false;
    const bool saved = m_context.editSection(sectionName(), [&](ConfigFile::KeyValues& entries) {
        changed = edit(entries);
        stored = entries;
        return changed;
    });
    if (saved) {
        m_entries = std::move(stored);
    } else {
        // The user's change holds for this run even when the file cannot be
        // saved (editSection has told so).
        changed = edit(m_entries);
    }
    holdEntries();
    return changed;
}

namespace {

void setEntry(ConfigFile::KeyValues& entries, const Holding& h)
{
    const Text value = h.shares + "|" + h.cost;
    for (auto& [key, old] : entries)
        if (key == h.code) {
            old = value;
            return;
        }
    entries.emplace_back(h.code, value);
}

} // namespace

Text Portfolio::set(std::string_view code, std::string_view shares, std::string_view cost)
{
    code = trimmedView(code);
    shares = trimmedView(shares);
    cost = trimmedView(cost);
    for (const Text& error : {checkFundCode(code), checkShares(shares), checkCost(cost)})
        if (!error.empty())
            return error;
    const Holding h {Text(code), Text(shares), Text(cost)};
    change([&](ConfigFile::KeyValues& entries) {
        setEntry(entries, h);
        return true;
    });
    return {};
}

Text Portfolio::setAmount(std::string_view code, std::string_view amount, std::string_view cost,
                          double unitValue)
{
    Text error = checkFundCode(trimmedView(code));
    if (!error.empty())
        return error;
    Text shares = sharesFromAmount(trimmedView(amount), unitValue, error);
    if (!error.empty())
        return error;
    return set(code, shares, cost);
}

bool Portfolio::remove(std::string_view code)
{
    return change([&](ConfigFile::KeyValues& entries) {
        const auto held = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == code; });
        if (held == entries.end())
            return false;
        entries.erase(held);
        return true;
    });
}

Text Portfolio::exportCsv(const std::string& path) const
{
    std::string out = "基金代码,份额,成本价\r\n";
    for (const Holding& h : m_holdings)
        out += h.code + "," + h.shares + "," + h.cost + "\r\n";
    // Written beside the file and renamed over it, as the workbooks are.
    const WriteResult written = replaceFileWhole(path, out);
    return written.ok ? Text() : written.reason;
}

CsvHoldings readHoldingsCsv(std::string_view content)
{
    if (content.rfind("\xEF\xBB\xBF", 0) == 0)
        content.remove_prefix(3);

    CsvHoldings out;
    TextList& errors = out.errors;
    std::vector<Holding>& rows = out.rows;
    std::set<std::string_view> codes; // a long file stays linear
    int number = 0;
    bool headerSeen = false;
    for (size_t from = 0; from < content.size();) {
        const size_t lf = std::min(content.find('\n', from), content.size());
        const std::string_view line = content.substr(from, lf - from);
        from = lf + 1;
        ++number;
        std::string_view l = trimmedView(line);
        if (l.empty())
            continue;
        auto where = [number] { return gbk("第") + std::to_string(number) + gbk("行："); };
        if (!headerSeen) {
            headerSeen = true;
            if (l != "基金代码,份额,成本价")
                errors.push_back(where() + gbk("表头须为 基金代码,份额,成本价"));
            continue;
        }
        std::vector<std::string_view> fields;
        size_t start = 0;
        for (size_t comma; (comma = l.find(',', start)) != std::string_view::npos; start = comma + 1)
            fields.push_back(trimmedView(l.substr(start, comma - start)));
        fields.push_back(trimmedView(l.substr(start)));
        if (fields.size() != 3) {
            errors.push_back(where() + gbk("须为三栏：基金代码,份额,成本价"));
            continue;
        }
        Text error = checkFundCode(fields[0]);
        if (error.empty())
            error = checkShares(fields[1]);
        if (error.empty())
            error = checkCost(fields[2]);
        if (error.empty() && !codes.insert(fields[0]).second)
            error = gbk("基金代码重复");
        if (!error.empty()) {
            errors.push_back(where() + error);
            continue;
        }
        rows.push_back({Text(fields[0]), Text(fields[1]), Text(fields[2])});
    }
    if (!headerSeen)
        errors.push_back(gbk("文件为空"));
    if (!errors.empty())
        rows.clear();
    return out;
}

TextList Portfolio::importCsv(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {gbk("无法读取文件：") + utf8ToGbk(path)};
    std::stringstream buffer;
    buffer << file.rdbuf();
    CsvHoldings read = readHoldingsCsv(buffer.str());
    if (!read.errors.empty())
        return read.errors;

    change([&](ConfigFile::KeyValues& entries) {
        for (const Holding& row : read.rows)
            setEntry(entries, row);
        return true;
    });
    return {};
}

} // namespace fw
