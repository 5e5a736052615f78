// ledger, dca, and the portfolio once the trade ledger exists: trades booked
// into fundwatch.db, NAV history fetched into navcache.db, the figures of each
// holding, account and the whole ledger computed from them.
#include "cli/Commands.h"

#include "funds/Ledger.h"
#include "funds/LedgerBook.h"
#include "funds/LedgerCsv.h"
#include "funds/LedgerStart.h"
#include "funds/NavHistoryFetch.h"
#include "funds/Portfolio.h"
#include "funds/HoldingsEstimate.h"
#include "model/FigureColour.h"
#include "store/LedgerDatabase.h"
#include "store/NavCache.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

namespace fw::cli {

using namespace fw::ledger;

namespace {

ChinaTime nowInChina() { return chinaTime(std::time(nullptr)); }

std::string accountOption(const CliSession& s) { return s.options.account.empty() ? "默认" : s.options.account; }

std::string money(int64_t cents) { return gbkToUtf8(unitsText(cents, 2)); }
// Hundredths of a percent as "12.34%".
std::string percent(const std::optional<int64_t>& hundredths)
{
    return hundredths ? gbkToUtf8(unitsText(*hundredths, 2)) + "%" : "--";
}
std::optional<int64_t> rateHundredths(const std::optional<double>& fraction)
{
    if (!fraction)
        return std::nullopt;
    return roundedUnits(*fraction * 100, 2);
}
Json jsonMoney(int64_t cents) { return Json(double(cents) / 100.0); }
Json jsonPercent(const std::optional<int64_t>& hundredths)
{
    return hundredths ? Json(double(*hundredths) / 100.0) : Json(nullptr);
}
TableCell gainCell(int64_t cents) { return {money(cents), figureColour(FigureUse::ShownChange, double(cents))}; }
TableCell gainRateCell(const std::optional<int64_t>& hundredths)
{
    return {percent(hundredths), hundredths ? figureColour(FigureUse::ShownChange, double(*hundredths)) : kDefaultColour};
}

// The ledger, its NAV cache and the figures of one command.
class LedgerWork {
public:
    explicit LedgerWork(CliSession& session) : m_session(session) {}

    bool open()
    {
        if (openLedger(db, m_session.dataDir, m_session.config, nowInChina().day)) {
            // The day's copy, once a day; a copy that failed leaves the ledger as it is.
            if (!db.dailyCopy(nowInChina().day))
                m_session.error("持仓数据库今日的副本没有做成：" + db.failure());
            return true;
        }
        m_session.errorGbk(ledgerOpenFailureText(db.failure()));
        return false;
    }

    bool openCache()
    {
        if (cache.isOpen() || cache.open(navCacheFilePath(m_session.dataDir)))
            return true;
        m_session.error("净值缓存无法打开：" + cache.failure());
        return false;
    }

    // Brings the NAV history of each fund up to date from the day its first
    // trade counts. False when no fund's history could be fetched.
    bool fetchNav(const std::map<std::string, Day>& firstDays)
    {
        if (!openCache())
            return false;
        int failed = 0;
        for (const auto& [code, first] : firstDays) {
            if (cancelRequested())
                return false;
            const NavFetchOutcome outcome = NavHistoryFetch(code, m_session.options.timeoutSeconds).run(cache, first);
            if (!outcome.ok) {
                ++failed;
                m_session.error(code + " 的净值历史没有更新：" + gbkToUtf8(outcome.failure));
            }
        }
        return firstDays.empty() || failed < int(firstDays.size());
    }

    // Books the 定投 orders that are due, then reads everything and computes
    // the figures. False (said why) when a write or the fetch failed.
    bool evaluateAll(const std::vector<std::string>& extraCodes = {}, Day extraFrom = 0)
    {
        const ChinaTime now = nowInChina();
        if (db.bookPlans([&now](const Plan& plan) { return ordersToBook(plan, now); }) < 0) {
            m_session.error("定投无法记账：" + db.failure());
            return false;
        }
        input.trades = db.trades();
        input.settings = db.settings();
        std::map<std::string, Day> firstDays;
        for (const Trade& t : input.trades) {
            const Day counts = countingDay(t.date, t.minute);
            auto [it, added] = firstDays.emplace(t.code, counts);
            if (!added)
                it->second = std::min(it->second, counts);
        }
        for (const std::string& code : extraCodes)
            if (!firstDays.count(code))
                firstDays.emplace(code, extraFrom);
        if (!fetchNav(firstDays))
            return false;
        for (const auto& entry : firstDays)
            input.nav[entry.first] = cache.rows(entry.first);
        result = evaluate(input);
        return true;
    }

    LedgerDatabase db;
    NavCache cache;
    LedgerInput input;
    LedgerResult result;

private:
    CliSession& m_session;
};

// ---- portfolio over the ledger

Json figuresJson(const Figures& f)
{
    return {{"shares", double(f.shares) / 100.0},
            {"sellingShares", double(f.sellingShares) / 100.0},
            {"pendingBuys", jsonMoney(f.pendingBuys)},
            {"marketValue", jsonMoney(f.marketValue)},
            {"heldCost", jsonMoney(f.heldCost)},
            {"holdingProfit", jsonMoney(f.holdingProfit)},
            {"holdingProfitRate", jsonPercent(f.holdingRate)},
            {"totalProfit", jsonMoney(f.totalProfit)},
            {"totalProfitRate", jsonPercent(f.totalRate)},
            {"realisedProfit", jsonMoney(f.realisedProfit)},
            {"cashDividends", jsonMoney(f.cashDividends)},
            {"fees", jsonMoney(f.fees)},
            {"xirr", jsonPercent(rateHundredths(f.xirr))}};
}

TableRow figuresRow(const std::string& account, const std::string& code, const Figures& f,
                    const std::optional<int64_t>& todayGain)
{
    return {{account},
            {code},
            {money(f.shares)},
            {f.sellingShares ? money(f.sellingShares) : ""},
            {f.pendingBuys ? money(f.pendingBuys) : ""},
            {money(f.marketValue)},
            {money(f.heldCost)},
            gainCell(f.holdingProfit),
            gainRateCell(f.holdingRate),
            todayGain ? gainCell(*todayGain) : TableCell {"--"},
            gainCell(f.totalProfit),
            gainRateCell(f.totalRate),
            gainCell(f.realisedProfit),
            gainRateCell(rateHundredths(f.xirr))};
}

bool accountChosen(const CliSession& s, const std::string& account)
{
    return s.options.account.empty() || s.options.account == account;
}

const Aggregate* chosenAggregate(const CliSession& s, const LedgerResult& r)
{
    if (s.options.account.empty())
        return &r.ledger;
    for (const Aggregate& a : r.accounts)
        if (a.account == s.options.account)
            return &a;
    return nullptr;
}

int showLedgerPortfolio(CliSession& s, LedgerWork& work)
{
    const LedgerResult& r = work.result;
    const Aggregate* total = chosenAggregate(s, r);
    if (!total) {
        s.error("没有账户 " + s.options.account);
        return kExitFailed;
    }
    // Today's estimate of each held fund, chosen by its logged errors as everywhere.
    const TodayGains today = todayGains(r.positions, lookUpFund, s.context.requestOptions(), s.dataDir);
    if (cancelRequested())
        return kExitInterrupted;
    auto totalOf = [&today](const std::string& account) {
        const auto found = today.totals.find(account);
        return found == today.totals.end() ? std::nullopt : found->second;
    };
    const std::string chosen = s.options.account;
    if (outputFormat(s) == OutputFormat::Json) {
        auto todayJson = [](const std::optional<int64_t>& cents) { return cents ? jsonMoney(*cents) : Json(nullptr); };
        Json holdings = Json::array(), accounts = Json::array();
        for (size_t i = 0; i < r.positions.size(); ++i) {
            const Position& p = r.positions[i];
            if (accountChosen(s, p.account)) {
                Json h = {{"account", p.account},
                          {"code", p.code},
                          {"unitValue", p.latestUnitValue ? Json(double(p.latestUnitValue) / 10000.0) : Json(nullptr)},
                          {"valueDate", p.latestDay ? Json(dayText(p.latestDay)) : Json(nullptr)}};
                h.update(figuresJson(p.figures));
                h["todayGain"] = todayJson(today.byPosition[i]);
                holdings.push_back(std::move(h));
            }
        }
        for (const Aggregate& a : r.accounts)
            if (accountChosen(s, a.account)) {
                Json j = {{"account", a.account}};
                j.update(figuresJson(a.figures));
                j["todayGain"] = todayJson(totalOf(a.account));
                accounts.push_back(std::move(j));
            }
        Json totalJson = figuresJson(total->figures);
        totalJson["todayGain"] = todayJson(totalOf(chosen));
        s.io.out << Json({{"holdings", holdings}, {"accounts", accounts}, {"total", totalJson}}).dump(2) << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"账户", "基金代码", "份额", "卖出中", "待确认", "市值", "持有成本", "持有收益", "持有收益率",
                    "今日估算收益", "累计收益", "累计收益率", "已实现收益", "年化收益(XIRR)"};
    table.rightAligned = {false, false, true, true, true, true, true, true, true, true, true, true, true, true};
    for (size_t i = 0; i < r.positions.size(); ++i) {
        const Position& p = r.positions[i];
        if (accountChosen(s, p.account))
            table.rows.push_back(figuresRow(p.account, p.code, p.figures, today.byPosition[i]));
    }
    for (const Aggregate& a : r.accounts)
        if (accountChosen(s, a.account) && chosen.empty())
            table.rows.push_back(figuresRow(a.account, "合计", a.figures, totalOf(a.account)));
    table.rows.push_back(figuresRow(chosen.empty() ? "全部" : chosen, "合计", total->figures, totalOf(chosen)));
    writeTable(s, table, "持仓");
    return kExitDone;
}

std::optional<Day> dayOption(CliSession& s, const std::string& text, const char* name)
{
    const auto d = parseDay(text);
    if (!d)
        s.error(std::string(name) + " 须为 YYYY-MM-DD：" + text);
    return d;
}

// --from and --to where given, into `from` and `to`; false (said why) when one is no date.
bool dayRangeOptions(CliSession& s, Day& from, Day& to)
{
    for (auto [text, name, day] : {std::tuple {&s.options.from, "--from", &from}, std::tuple {&s.options.to, "--to", &to}})
        if (!text->empty()) {
            const auto d = dayOption(s, *text, name);
            if (!d)
                return false;
            *day = *d;
        }
    return true;
}

int showHistory(CliSession& s, LedgerWork& work)
{
    const Aggregate* total = chosenAggregate(s, work.result);
    if (!total) {
        s.error("没有账户 " + s.options.account);
        return kExitFailed;
    }
    Day from = INT32_MIN, to = INT32_MAX;
    if (!dayRangeOptions(s, from, to))
        return kExitUsage;
    Json days = Json::array();
    TextTable table;
    table.header = {"日期", "市值", "累计收益", "当日收益"};
    table.rightAligned = {false, true, true, true};
    for (const DayFigures& d : total->history) {
        if (d.day < from || d.day > to)
            continue;
        days.push_back({{"date", dayText(d.day)},
                        {"marketValue", jsonMoney(d.marketValue)},
                        {"totalProfit", jsonMoney(d.totalProfit)},
                        {"dayProfit", jsonMoney(d.dayProfit)}});
        table.rows.push_back({{dayText(d.day)}, {money(d.marketValue)}, gainCell(d.totalProfit), gainCell(d.dayProfit)});
    }
    if (outputFormat(s) == OutputFormat::Json)
        s.io.out << days.dump(2) << '\n';
    else
        writeTable(s, table, "每日收益");
    return kExitDone;
}

int showReturns(CliSession& s, LedgerWork& work)
{
    const LedgerResult& r = work.result;
    const Aggregate* total = chosenAggregate(s, r);
    if (!total) {
        s.error("没有账户 " + s.options.account);
        return kExitFailed;
    }
    const std::string benchmark = s.options.benchmark.empty() ? storedBenchmark(s.config) : s.options.benchmark;
    if (!total->history.empty() && !work.input.nav.count(benchmark)) {
        work.fetchNav({{benchmark, total->history.front().day}});
        work.input.nav[benchmark] = work.cache.rows(benchmark);
    }
    Day from = total->history.empty() ? 0 : total->history.front().day;
    Day to = total->history.empty() ? 0 : total->history.back().day;
    if (!dayRangeOptions(s, from, to))
        return kExitUsage;
    const bool someDays = !total->history.empty();
    const std::optional<int64_t> twr
        = someDays ? std::optional<int64_t>(roundedUnits(timeWeightedReturn(total->history, from, to) * 100, 2))
                   : std::nullopt;
    const std::vector<NavRow>& benchRows = work.input.nav[benchmark];
    const std::optional<int64_t> bench
        = someDays && !benchRows.empty()
        ? std::optional<int64_t>(roundedUnits(benchmarkReturn(benchRows, from, to) * 100, 2))
        : std::nullopt;

    if (outputFormat(s) == OutputFormat::Json) {
        Json holdings = Json::array(), accounts = Json::array();
        for (const Position& p : r.positions)
            if (accountChosen(s, p.account))
                holdings.push_back({{"account", p.account}, {"code", p.code},
                                    {"xirr", jsonPercent(rateHundredths(p.figures.xirr))}});
        for (const Aggregate& a : r.accounts)
            if (accountChosen(s, a.account))
                accounts.push_back({{"account", a.account}, {"xirr", jsonPercent(rateHundredths(a.figures.xirr))}});
        s.io.out << Json({{"holdings", holdings},
                          {"accounts", accounts},
                          {"total", {{"xirr", jsonPercent(rateHundredths(total->figures.xirr))}}},
                          {"from", someDays ? Json(dayText(from)) : Json(nullptr)},
                          {"to", someDays ? Json(dayText(to)) : Json(nullptr)},
                          {"timeWeightedReturn", jsonPercent(twr)},
                          {"benchmark", {{"code", benchmark}, {"return", jsonPercent(bench)}}}})
                        .dump(2)
                 << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"账户", "基金代码", "年化收益(XIRR)"};
    table.rightAligned = {false, false, true};
    for (const Position& p : r.positions)
        if (accountChosen(s, p.account))
            table.rows.push_back({{p.account}, {p.code}, gainRateCell(rateHundredths(p.figures.xirr))});
    for (const Aggregate& a : r.accounts)
        if (accountChosen(s, a.account) && s.options.account.empty())
            table.rows.push_back({{a.account}, {"合计"}, gainRateCell(rateHundredths(a.figures.xirr))});
    table.rows.push_back({{s.options.account.empty() ? "全部" : s.options.account}, {"合计"},
                          gainRateCell(rateHundredths(total->figures.xirr))});
    const std::string period = someDays ? dayText(from) + " 至 " + dayText(to) : "--";
    table.rows.push_back({{"时间加权收益"}, {period}, gainRateCell(twr)});
    table.rows.push_back({{"基准 " + benchmark}, {period}, gainRateCell(bench)});
    writeTable(s, table, "收益率");
    return kExitDone;
}

// ---- booking

Trade reconcileTrade(const std::string& account, const std::string& code, int64_t shares, int64_t heldCost)
{
    return ledger::reconcileTrade(account, code, shares, heldCost, nowInChina().day);
}

// The fund's history is fetched first: a fund without unit values (a money
// fund) is refused.
bool refusedFund(CliSession& s, LedgerWork& work, const std::string& code, Day from)
{
    work.fetchNav({{code, from}});
    if (!work.cache.isOpen())
        return false;
    const Text refusal = bookingRefusal(work.cache.rows(code));
    if (refusal.empty())
        return false;
    s.errorGbk(refusal);
    return true;
}

bool writeFile(CliSession& s, const std::string& path, const std::string& content)
{
    // Written beside the target and moved over it: a failed write leaves no half file.
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            s.error("无法写入文件：" + path);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        s.error("无法写入文件：" + path);
        return false;
    }
    return true;
}

std::optional<std::string> readFile(CliSession& s, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        s.error("无法读取文件：" + path);
        return std::nullopt;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::optional<int64_t> idArgument(CliSession& s, const std::string& text)
{
    const auto id = parseUnits(text, 0);
    if (!id || *id <= 0 || text.find_first_not_of("0123456789") != std::string::npos) {
        s.error("不是编号：" + text);
        return std::nullopt;
    }
    return id;
}

int addTrade(CliSession& s, LedgerWork& work, const std::string& kindName, const std::string& code)
{
    const CliOptions& o = s.options;
    const auto kind = tradeKindOf(kindName);
    if (!kind || *kind == TradeKind::Opening) {
        s.error("ledger add 的类型须为 买入、卖出 或 对账（buy、sell、reconcile）：" + kindName);
        return kExitUsage;
    }
    if (!isFundCode(code)) {
        s.error("not a fund code (six digits): " + code);
        return kExitUsage;
    }
    Trade t;
    t.kind = *kind;
    t.code = code;
    t.account = accountOption(s);
    t.note = o.note;
    const ChinaTime now = nowInChina();
    if (!o.date.empty()) {
        const auto d = dayOption(s, o.date, "--date");
        if (!d)
            return kExitUsage;
        t.date = *d;
    } else {
        t.date = now.day;
    }
    if (!o.time.empty()) {
        const auto m = parseMinute(o.time);
        if (!m) {
            s.error("--time 须为 HH:MM：" + o.time);
            return kExitUsage;
        }
        t.minute = *m;
    } else if (o.date.empty()) {
        t.minute = now.minute;
    }
    auto units = [&](const std::string& text, int decimals, const char* name, bool zeroAllowed) {
        const auto v = parseUnits(text, decimals);
        if (!v || *v < 0 || (*v == 0 && !zeroAllowed)) {
            s.error(std::string(name) + " 须为最多 " + std::to_string(decimals) + " 位小数的"
                    + (zeroAllowed ? "非负数：" : "正数：") + text);
            return std::optional<int64_t>();
        }
        return v;
    };
    if (t.kind == TradeKind::Buy) {
        if (o.amount.empty() || !o.shares.empty() || !o.cost.empty()) {
            s.error("买入须给 --amount（不给 --shares、--cost）");
            return kExitUsage;
        }
        const auto a = units(o.amount, 2, "--amount", false);
        if (!a)
            return kExitUsage;
        t.amount = *a;
    } else if (t.kind == TradeKind::Sell) {
        if (o.shares.empty() || !o.amount.empty() || !o.cost.empty()) {
            s.error("卖出须给 --shares（不给 --amount、--cost）");
            return kExitUsage;
        }
        const auto v = units(o.shares, 2, "--shares", false);
        if (!v)
            return kExitUsage;
        t.shares = *v;
    } else {
        if (o.shares.empty() || o.cost.empty() || !o.amount.empty()) {
            s.error("对账须给 --shares 和 --cost（持有成本）");
            return kExitUsage;
        }
        const auto v = units(o.shares, 2, "--shares", true);
        const auto c = v ? units(o.cost, 2, "--cost", true) : std::nullopt;
        if (!c)
            return kExitUsage;
        t.shares = *v;
        t.amount = *c;
    }
    if (!o.feeRate.empty()) {
        const auto f = units(o.feeRate, 4, "--fee-rate", true);
        if (!f || *f >= 1000000) {
            if (f)
                s.error("--fee-rate 须小于 100");
            return kExitUsage;
        }
        t.feeRate = *f;
    }
    if (!work.open())
        return kExitFailed;
    if (refusedFund(s, work, code, countingDay(t.date, t.minute)))
        return kExitFailed;
    const auto id = work.db.addTrade(t);
    if (!id) {
        s.error("交易无法保存：" + work.db.failure());
        return kExitFailed;
    }
    s.io.out << "已记账 #" << *id << "：" << dayText(t.date) << (t.minute >= 0 ? " " + minuteText(t.minute) : "")
             << " " << t.account << " " << t.code << " " << tradeKindName(t.kind) << '\n';
    return kExitDone;
}

std::string stateName(const Trade& t, const TradeOutcome& o)
{
    switch (o.state) {
    case TradeState::Confirmed: return "已确认";
    case TradeState::Pending: return t.kind == TradeKind::Sell ? "卖出中" : "待确认";
    case TradeState::Withdrawn: return "已撤回";
    case TradeState::Refused: return "份额不足";
    }
    return {};
}

int listTrades(CliSession& s, LedgerWork& work)
{
    if (!work.open() || !work.evaluateAll())
        return kExitFailed;
    const CliOptions& o = s.options;
    Json trades = Json::array();
    TextTable table;
    table.header = {"编号", "日期", "时间", "账户", "基金代码", "类型", "金额", "份额", "费率%", "状态", "确认日",
                    "净值", "手续费", "备注"};
    table.rightAligned = {true, false, false, false, false, false, true, true, true, false, false, true, true, false};
    for (size_t i = 0; i < work.input.trades.size(); ++i) {
        const Trade& t = work.input.trades[i];
        const TradeOutcome& out = work.result.trades[i];
        if ((!o.code.empty() && t.code != o.code) || !accountChosen(s, t.account))
            continue;
        const bool confirmed = out.state == TradeState::Confirmed;
        const bool hasAmount = t.kind != TradeKind::Sell || confirmed;
        const int64_t amount = t.kind == TradeKind::Sell ? out.proceeds : t.amount;
        const int64_t shares = t.kind == TradeKind::Buy ? out.shares : t.shares;
        const bool hasShares = t.kind != TradeKind::Buy || confirmed;
        trades.push_back({{"id", t.id},
                          {"date", dayText(t.date)},
                          {"time", t.minute >= 0 ? Json(minuteText(t.minute)) : Json(nullptr)},
                          {"account", t.account},
                          {"code", t.code},
                          {"kind", tradeKindName(t.kind)},
                          {"amount", hasAmount ? jsonMoney(amount) : Json(nullptr)},
                          {"shares", hasShares ? Json(double(shares) / 100.0) : Json(nullptr)},
                          {"feeRate", t.feeRate ? Json(double(*t.feeRate) / 10000.0) : Json(nullptr)},
                          {"state", stateName(t, out)},
                          {"confirmDate", confirmed ? Json(dayText(out.confirmDay)) : Json(nullptr)},
                          {"unitValue", confirmed ? Json(double(out.unitValue) / 10000.0) : Json(nullptr)},
                          {"fee", confirmed ? jsonMoney(out.fee) : Json(nullptr)},
                          {"planId", t.planId ? Json(t.planId) : Json(nullptr)},
                          {"note", t.note}});
        table.rows.push_back({{std::to_string(t.id)},
                              {dayText(t.date)},
                              {t.minute >= 0 ? minuteText(t.minute) : ""},
                              {t.account},
                              {t.code},
                              {tradeKindName(t.kind)},
                              {hasAmount ? money(amount) : ""},
                              {hasShares ? money(shares) : ""},
                              {t.feeRate ? gbkToUtf8(unitsText(*t.feeRate, 4)) : ""},
                              {stateName(t, out)},
                              {confirmed ? dayText(out.confirmDay) : ""},
                              {confirmed ? gbkToUtf8(unitsText(out.unitValue, 4)) : ""},
                              {confirmed ? money(out.fee) : ""},
                              {t.note}});
    }
    if (outputFormat(s) == OutputFormat::Json)
        s.io.out << trades.dump(2) << '\n';
    else
        writeTable(s, table, "交易");
    return kExitDone;
}

int importTrades(CliSession& s, LedgerWork& work, const std::string& file)
{
    const auto content = readFile(s, file);
    if (!content)
        return kExitFailed;
    const LedgerCsvRead read = readLedgerCsv(*content);
    if (!read.error.empty()) {
        s.error(file + "：" + read.error + "；没有导入任何交易");
        return kExitFailed;
    }
    if (!work.open())
        return kExitFailed;
    if (!work.db.addTrades(read.trades)) {
        s.error("交易无法保存：" + work.db.failure() + "；没有导入任何交易");
        return kExitFailed;
    }
    s.io.out << "已导入 " << read.trades.size() << " 笔交易\n";
    return kExitDone;
}

} // namespace

int runLedger(CliSession& s)
{
    const CliOptions& o = s.options;
    const std::string& action = o.arguments[0];
    const size_t count = o.arguments.size();
    auto needs = [&](size_t n, const char* what) {
        if (count == n)
            return true;
        s.error(std::string("ledger ") + action + " " + what);
        return false;
    };
    LedgerWork work(s);
    if (action == "add") {
        if (!needs(3, "需要类型和基金代码：ledger add 买入|卖出|对账 CODE"))
            return kExitUsage;
        return addTrade(s, work, o.arguments[1], o.arguments[2]);
    }
    if (action == "list") {
        if (!needs(1, "不带参数"))
            return kExitUsage;
        return listTrades(s, work);
    }
    if (action == "remove") {
        if (!needs(2, "需要交易编号"))
            return kExitUsage;
        const auto id = idArgument(s, o.arguments[1]);
        if (!id)
            return kExitUsage;
        if (!work.open())
            return kExitFailed;
        if (!work.db.removeTrade(*id)) {
            s.error("没有编号为 " + o.arguments[1] + " 的交易，或无法删除" + (work.db.failure().empty() ? "" : "：" + work.db.failure()));
            return kExitFailed;
        }
        s.io.out << "已删除 #" << *id << '\n';
        return kExitDone;
    }
    if (action == "import") {
        if (!needs(2, "需要一个 CSV 文件"))
            return kExitUsage;
        return importTrades(s, work, o.arguments[1]);
    }
    if (action == "export") {
        if (!needs(2, "需要一个 CSV 文件"))
            return kExitUsage;
        if (!work.open())
            return kExitFailed;
        return writeFile(s, o.arguments[1], ledgerCsv(work.db.trades())) ? kExitDone : kExitFailed;
    }
    if (action == "fees" || action == "method") {
        if (!needs(3, action == "fees" ? "需要基金代码和费率表，如 7:1.5,365:0.5,730:0.25,0" : "需要基金代码和 分红|再投"))
            return kExitUsage;
        const std::string& code = o.arguments[1];
        if (!isFundCode(code)) {
            s.error("not a fund code (six digits): " + code);
            return kExitUsage;
        }
        std::optional<std::vector<FeeStep>> schedule;
        std::optional<DividendMethod> method;
        if (action == "fees") {
            schedule = parseFeeSchedule(o.arguments[2]);
            if (!schedule) {
                s.error("赎回费率表无法读取（如 7:1.5,365:0.5,730:0.25,0）：" + o.arguments[2]);
                return kExitUsage;
            }
        } else {
            if (o.arguments[2] == "分红")
                method = DividendMethod::Cash;
            else if (o.arguments[2] == "再投")
                method = DividendMethod::Reinvest;
            else {
                s.error("分红方式须为 分红 或 再投：" + o.arguments[2]);
                return kExitUsage;
            }
        }
        if (!work.open())
            return kExitFailed;
        const bool saved = schedule ? work.db.setFeeSchedule(code, *schedule) : work.db.setDividendMethod(code, *method);
        if (!saved) {
            s.error("设置无法保存：" + work.db.failure());
            return kExitFailed;
        }
        return kExitDone;
    }
    if (action == "restore") {
        if (!needs(2, "需要一个日期 YYYY-MM-DD"))
            return kExitUsage;
        const auto d = dayOption(s, o.arguments[1], "日期");
        if (!d)
            return kExitUsage;
        std::string failure;
        const std::string path = ledgerFilePath(s.dataDir);
        if (!restoreLedgerCopy(path, *d, failure)) {
            std::string copies;
            for (Day c : ledgerCopies(path))
                copies += " " + dayText(c);
            s.error("无法恢复 " + o.arguments[1] + " 的副本：" + failure
                    + (copies.empty() ? "（没有副本）" : "（可用的副本：" + copies.substr(1) + "）"));
            return kExitFailed;
        }
        s.io.out << "已恢复 " << o.arguments[1] << " 的副本\n";
        return kExitDone;
    }
    s.error("unknown ledger action " + action + " (add, list, remove, import, export, fees, method, restore)");
    return kExitUsage;
}

bool ledgerInUse(const CliSession& s)
{
    std::error_code error;
    return std::filesystem::exists(ledgerFilePath(s.dataDir), error);
}

int runLedgerPortfolio(CliSession& s)
{
    const CliOptions& o = s.options;
    LedgerWork work(s);
    if (!work.open())
        return kExitFailed;
    const std::string action = o.arguments.empty() ? "" : o.arguments[0];
    const std::string argument = o.arguments.size() > 1 ? o.arguments[1] : "";
    const std::string account = accountOption(s);
    if (action == "set") {
        // Shares (or the amount held at the last unit value) and the cost per share.
        Text error = checkFundCode(argument);
        if (error.empty())
            error = checkCost(o.cost);
        if (error.empty() && o.amount.empty())
            error = checkShares(o.shares);
        if (!error.empty()) {
            s.errorGbk(error);
            return kExitFailed;
        }
        if (refusedFund(s, work, argument, nowInChina().day - 30))
            return kExitFailed;
        int64_t shares = 0;
        if (!o.amount.empty()) {
            const auto amount = parseUnits(o.amount, 2);
            const std::vector<NavRow> rows = work.cache.isOpen() ? work.cache.rows(argument) : std::vector<NavRow>();
            if (!amount || *amount <= 0 || rows.empty() || rows.back().unitValue <= 0) {
                s.error(!amount || *amount <= 0 ? "持有金额须为最多两位小数的正数" : "无法取得 " + argument + " 的净值");
                return kExitFailed;
            }
            shares = mulDivRound(*amount, 10000, rows.back().unitValue);
        } else {
            shares = *parseUnits(o.shares, 2);
        }
        const int64_t heldCost = mulDivRound(shares, *parseUnits(o.cost, 4), 10000);
        if (!work.db.addTrade(reconcileTrade(account, argument, shares, heldCost))) {
            s.error("交易无法保存：" + work.db.failure());
            return kExitFailed;
        }
        return kExitDone;
    }
    if (action == "import") {
        const auto content = readFile(s, argument);
        if (!content)
            return kExitFailed;
        const CsvHoldings read = readHoldingsCsv(*content);
        for (const Text& e : read.errors)
            s.errorGbk(e);
        if (!read.errors.empty())
            return kExitFailed;
        std::vector<Trade> trades;
        for (const Holding& h : read.rows) {
            const int64_t shares = *parseUnits(h.shares, 2);
            trades.push_back(reconcileTrade(account, h.code, shares, mulDivRound(shares, *parseUnits(h.cost, 4), 10000)));
        }
        if (!work.db.addTrades(trades)) {
            s.error("交易无法保存：" + work.db.failure() + "；没有导入任何持仓");
            return kExitFailed;
        }
        return kExitDone;
    }
    if (!work.evaluateAll())
        return kExitFailed;
    if (action == "remove") {
        // Held, or on its way in: any trade of the fund in the account.
        bool held = false;
        for (const Trade& t : work.input.trades)
            held |= t.account == account && t.code == argument;
        if (!held) {
            s.error("portfolio remove: " + argument + " is not held");
            return kExitFailed;
        }
        if (!work.db.addTrade(reconcileTrade(account, argument, 0, 0))) {
            s.error("交易无法保存：" + work.db.failure());
            return kExitFailed;
        }
        return kExitDone;
    }
    if (action == "export") {
        // 基金代码,份额,成本价 of each fund over the chosen accounts.
        std::map<std::string, std::pair<int64_t, int64_t>> byCode;
        for (const Position& p : work.result.positions)
            if (accountChosen(s, p.account) && p.figures.shares > 0) {
                byCode[p.code].first += p.figures.shares;
                byCode[p.code].second += p.figures.heldCost;
            }
        std::string csv = "基金代码,份额,成本价\n";
        for (const auto& [code, held] : byCode)
            csv += code + "," + money(held.first) + ","
                + gbkToUtf8(unitsText(mulDivRound(held.second, 10000, held.first), 4)) + "\n";
        return writeFile(s, argument, csv) ? kExitDone : kExitFailed;
    }
    if (action == "history")
        return showHistory(s, work);
    if (action == "returns")
        return showReturns(s, work);
    return showLedgerPortfolio(s, work);
}

std::optional<std::map<std::string, double>> ledgerSharesHeld(CliSession& s)
{
    LedgerWork work(s);
    if (!work.open() || !work.evaluateAll())
        return std::nullopt;
    std::map<std::string, double> shares;
    for (const Position& p : work.result.positions)
        if (p.figures.shares > 0)
            shares[p.code] += unitsValue(p.figures.shares, 2);
    return shares;
}

// ---- 定投

namespace {

std::optional<int> weekdayNamed(std::string_view name)
{
    static const char* const names[] = {"一", "二", "三", "四", "五", "六", "日"};
    for (int i = 0; i < 7; ++i)
        if (name == names[i])
            return i;
    return std::nullopt;
}

std::string cycleText(const Plan& p)
{
    static const char* const names[] = {"一", "二", "三", "四", "五", "六", "日"};
    switch (p.cycle) {
    case PlanCycle::EveryTradingDay: return "每个交易日";
    case PlanCycle::Weekly: return std::string("每周") + names[p.cycleDay % 7];
    case PlanCycle::Biweekly: return std::string("每两周") + names[p.cycleDay % 7];
    case PlanCycle::Monthly: return "每月" + std::to_string(p.cycleDay) + "日";
    }
    return {};
}

bool readCycle(std::string_view text, Plan& plan)
{
    if (text == "每个交易日") {
        plan.cycle = PlanCycle::EveryTradingDay;
        plan.cycleDay = 0;
        return true;
    }
    for (const auto& [front, cycle] : {std::pair<std::string_view, PlanCycle>("每两周", PlanCycle::Biweekly),
                                       std::pair<std::string_view, PlanCycle>("每周", PlanCycle::Weekly)})
        if (text.substr(0, front.size()) == front) {
            const auto day = weekdayNamed(text.substr(front.size()));
            if (!day)
                return false;
            plan.cycle = cycle;
            plan.cycleDay = *day;
            return true;
        }
    const std::string_view month = "每月", dayMark = "日";
    if (text.size() > month.size() + dayMark.size() && text.substr(0, month.size()) == month
        && text.substr(text.size() - dayMark.size()) == dayMark) {
        const std::string_view number = text.substr(month.size(), text.size() - month.size() - dayMark.size());
        const auto n = parseUnits(number, 0);
        if (!n || *n < 1 || *n > 28 || number.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        plan.cycle = PlanCycle::Monthly;
        plan.cycleDay = int(*n);
        return true;
    }
    return false;
}

} // namespace

int runDca(CliSession& s)
{
    const CliOptions& o = s.options;
    const std::string& action = o.arguments[0];
    LedgerWork work(s);
    if (action == "add") {
        if (o.arguments.size() != 2 || !isFundCode(o.arguments[1])) {
            s.error("dca add 需要一个基金代码");
            return kExitUsage;
        }
        Plan plan;
        plan.code = o.arguments[1];
        plan.account = accountOption(s);
        const auto amount = parseUnits(o.amount, 2);
        if (!amount || *amount <= 0) {
            s.error("dca add 须给 --amount（最多两位小数的正数）");
            return kExitUsage;
        }
        plan.amount = *amount;
        if (!readCycle(o.cycle, plan)) {
            s.error("--cycle 须为 每个交易日、每周X、每两周X（X 为 一 … 日）或 每月N日（N 为 1 … 28）：" + o.cycle);
            return kExitUsage;
        }
        if (!o.feeRate.empty()) {
            const auto f = parseUnits(o.feeRate, 4);
            if (!f || *f < 0 || *f >= 1000000) {
                s.error("--fee-rate 须为 0 到 100 之间、最多四位小数的百分数：" + o.feeRate);
                return kExitUsage;
            }
            plan.feeRate = *f;
        }
        plan.start = nowInChina().day;
        if (!o.date.empty()) {
            const auto d = dayOption(s, o.date, "--date");
            if (!d)
                return kExitUsage;
            plan.start = *d;
        }
        if (!work.open())
            return kExitFailed;
        if (refusedFund(s, work, plan.code, plan.start))
            return kExitFailed;
        const auto id = work.db.addPlan(plan);
        if (!id) {
            s.error("定投无法保存：" + work.db.failure());
            return kExitFailed;
        }
        s.io.out << "已添加定投 #" << *id << "：" << plan.code << " " << cycleText(plan) << " " << money(plan.amount)
                 << '\n';
        return kExitDone;
    }
    if (action == "list") {
        if (!work.open() || !work.evaluateAll())
            return kExitFailed;
        Json plans = Json::array();
        TextTable table;
        table.header = {"编号", "基金代码", "账户", "金额", "费率%", "周期", "开始", "已定投"};
        table.rightAligned = {true, false, false, true, true, false, false, true};
        for (const Plan& p : work.db.plans()) {
            plans.push_back({{"id", p.id},
                             {"code", p.code},
                             {"account", p.account},
                             {"amount", jsonMoney(p.amount)},
                             {"feeRate", p.feeRate ? Json(double(*p.feeRate) / 10000.0) : Json(nullptr)},
                             {"cycle", cycleText(p)},
                             {"start", dayText(p.start)},
                             {"booked", p.booked.size()}});
            table.rows.push_back({{std::to_string(p.id)},
                                  {p.code},
                                  {p.account},
                                  {money(p.amount)},
                                  {p.feeRate ? gbkToUtf8(unitsText(*p.feeRate, 4)) : ""},
                                  {cycleText(p)},
                                  {dayText(p.start)},
                                  {std::to_string(p.booked.size())}});
        }
        if (outputFormat(s) == OutputFormat::Json)
            s.io.out << plans.dump(2) << '\n';
        else
            writeTable(s, table, "定投");
        return kExitDone;
    }
    if (action == "remove") {
        const auto id = o.arguments.size() == 2 ? idArgument(s, o.arguments[1]) : std::nullopt;
        if (!id)
            return kExitUsage;
        if (!work.open())
            return kExitFailed;
        if (!work.db.removePlan(*id)) {
            s.error("没有编号为 " + o.arguments[1] + " 的定投，或无法删除");
            return kExitFailed;
        }
        return kExitDone;
    }
    s.error("unknown dca action " + action + " (add, list, remove)");
    return kExitUsage;
}

} // namespace fw::cli
