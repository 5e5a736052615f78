#include "funds/LedgerBook.h"
#include "funds/HoldingsEstimate.h"
#include "funds/LedgerStart.h"
#include "funds/NavHistoryFetch.h"
#include "funds/PortfolioRefresh.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include "model/FigureColour.h"
#include "model/Grid.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace fw::ledger {

Text fetchNavHistory(const HttpRequestOptions& request, NavCache& cache, const std::string& code, Day from)
{
    const NavFetchOutcome outcome = NavHistoryFetch(code, request.timeoutSeconds, nullptr, request.load).run(cache, from);
    return outcome.ok ? Text() : Text(code) + ": " + outcome.failure;
}

FundQuote lookUpFund(const HttpRequestOptions& request, const std::string& code, const std::string& dataDir)
{
    return fetchFundQuote(request, code, dataDir);
}

int64_t todayGain(int64_t marketValue, double changePercent)
{
    // One rounding of the product; std::llround takes halves away from zero.
    return std::llround(double(marketValue) * changePercent / 100.0);
}

TodayGains todayGains(const std::vector<Position>& positions, const FundLookup& lookup,
                      const HttpRequestOptions& request, const std::string& dataDir)
{
    TodayGains out;
    out.byPosition.assign(positions.size(), std::nullopt);
    if (!lookup)
        return out;
    for (const Position& p : positions)
        if ((p.figures.shares != 0 || p.figures.pendingBuys != 0) && !out.funds.count(p.code)
            && !request.load.cancelled())
            out.funds[p.code] = lookup(request, p.code, dataDir);
    for (size_t i = 0; i < positions.size(); ++i) {
        const Position& p = positions[i];
        auto it = out.funds.find(p.code);
        if (p.figures.shares == 0 || it == out.funds.end() || !it->second.estimatePercent
            || !std::isfinite(*it->second.estimatePercent))
            continue;
        const int64_t gain = todayGain(p.figures.marketValue, *it->second.estimatePercent);
        out.byPosition[i] = gain;
        for (const std::string& key : {std::string(), p.account}) {
            std::optional<int64_t>& total = out.totals[key];
            total = total.value_or(0) + gain;
        }
    }
    return out;
}

namespace {

void addTodayGains(LedgerSnapshot& snap, const RefreshJob& job)
{
    TodayGains gains = todayGains(snap.result.positions, job.fundLookup, job.request, job.dataDir);
    snap.funds = std::move(gains.funds);
    snap.todayGains = std::move(gains.byPosition);
    snap.todayTotals = std::move(gains.totals);
}

} // namespace

LedgerSnapshot computeLedger(const RefreshJob& job)
{
    LedgerSnapshot snap;
    snap.today = job.now.day;
    snap.benchmarkCode = job.benchmarkCode;
    LedgerDatabase db;
    if (!db.open(ledgerFilePath(job.dataDir))) {
        snap.failure = db.failure();
        return snap;
    }
    // Each plan's due orders, booked under the write lock so that the window
    // and the command line never book one date twice.
    if (db.bookPlans([&](const Plan& plan) { return ordersToBook(plan, job.now); }) < 0)
        snap.failure = db.failure();
    LedgerInput input;
    input.trades = db.trades();
    input.settings = db.settings();
    snap.plans = db.plans();
    db.close();

    // From each fund's first trade on: older rows take no part in any figure.
    std::map<std::string, Day> firstDay;
    for (const Trade& t : input.trades) {
        auto [it, added] = firstDay.emplace(t.code, t.date);
        if (!added && t.date < it->second)
            it->second = t.date;
    }
    NavCache cache;
    if (cache.open(navCacheFilePath(job.dataDir))) {
        auto read = [&](const std::string& code, Day from, bool held) {
            if (job.navUpdate && !job.request.load.cancelled()) {
                // What is stored still counts when an update fails.
                const Text failure = job.navUpdate(job.request, cache, code, from);
                // The benchmark's own failure shows as its empty line.
                if (held && !failure.empty() && snap.navFailure.empty())
                    snap.navFailure = failure;
            }
            return cache.rows(code);
        };
        for (const auto& [code, from] : firstDay)
            input.nav[code] = read(code, from, true);
        if (!job.benchmarkCode.empty()) {
            const Day from = firstDay.empty() ? job.now.day - 365 : std::min_element(firstDay.begin(), firstDay.end(),
                [](const auto& a, const auto& b) { return a.second < b.second; })->second;
            auto it = input.nav.find(job.benchmarkCode);
            snap.benchmark = it != input.nav.end() ? it->second : read(job.benchmarkCode, from, false);
        }
    } else if (snap.failure.empty()) {
        snap.failure = cache.failure();
    }
    snap.result = evaluate(input);
    addTodayGains(snap, job);
    snap.trades = std::move(input.trades);
    const auto& outcomes = snap.result.trades;
    snap.trends[""] = trendOf(snap.result.ledger.history, snap.benchmark, snap.trades, outcomes, "");
    for (const Aggregate& a : snap.result.accounts)
        snap.trends[a.account] = trendOf(a.history, snap.benchmark, snap.trades, outcomes, a.account);
    return snap;
}

LedgerBook::LedgerBook(FeatureContext& context, std::string dataDir, Clock clock)
    : m_context(context), m_dataDir(std::move(dataDir)), m_clock(std::move(clock))
{
}

LedgerBook::~LedgerBook()
{
    cancel();
    m_pool.letGo();
}

namespace {

// Where the benchmark pick is kept: a section of its own in 配置.ini.
const Text& benchmarkSection()
{
    static const Text name = gbk("持仓走势");
    return name;
}
const Text& benchmarkKey()
{
    static const Text name = gbk("基准基金");
    return name;
}

bool isFundCode(const std::string& code)
{
    return code.size() == 6 && code.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

std::string storedBenchmark(const ConfigFile& config)
{
    const std::string picked = config.read(benchmarkSection(), benchmarkKey());
    return isFundCode(picked) ? picked : LedgerBook::kDefaultBenchmark;
}

bool LedgerBook::setBenchmarkCode(std::string code)
{
    m_benchmark = std::move(code);
    return m_context.saveSetting(benchmarkSection(), benchmarkKey(), m_benchmark);
}

ChinaTime LedgerBook::now() const { return chinaTime(m_clock ? m_clock() : std::time(nullptr)); }

bool LedgerBook::start(const ConfigFile& config)
{
    if (m_dataDir.empty())
        return false;
    m_started = true;
    m_failureText.clear();
    m_benchmark = storedBenchmark(config);
    const Day today = now().day;
    if (!openLedger(m_db, m_dataDir, config, today)) {
        m_failureText = ledgerOpenFailureText(m_db.failure());
        return false;
    }
    // A copy that failed leaves the ledger usable: tomorrow's start tries again.
    m_db.dailyCopy(today);
    return true;
}

std::vector<Day> LedgerBook::copies() const
{
    return m_dataDir.empty() ? std::vector<Day> {} : ledgerCopies(ledgerFilePath(m_dataDir));
}

bool LedgerBook::restore(Day date, std::string& failure)
{
    cancel();
    m_db.close();
    if (!restoreLedgerCopy(ledgerFilePath(m_dataDir), date, failure))
        return false;
    if (!m_db.open(ledgerFilePath(m_dataDir))) {
        failure = m_db.failure();
        m_failureText = ledgerOpenFailureText(failure);
        return false;
    }
    m_failureText.clear();
    return true;
}

std::optional<int64_t> LedgerBook::addTrade(const Trade& trade)
{
    return m_db.isOpen() ? m_db.addTrade(trade) : std::nullopt;
}
bool LedgerBook::updateTrade(const Trade& trade) { return m_db.isOpen() && m_db.updateTrade(trade); }
bool LedgerBook::removeTrade(int64_t id) { return m_db.isOpen() && m_db.removeTrade(id); }
std::optional<int64_t> LedgerBook::addPlan(const Plan& plan)
{
    return m_db.isOpen() ? m_db.addPlan(plan) : std::nullopt;
}
bool LedgerBook::removePlan(int64_t id) { return m_db.isOpen() && m_db.removePlan(id); }

bool LedgerBook::reconcile(const std::string& account, const std::string& code, int64_t shares, int64_t heldCost)
{
    return addTrade(reconcileTrade(account, code, shares, heldCost, now().day)).has_value();
}

void LedgerBook::cancel()
{
    if (!m_run)
        return;
    {
        // A `done` under way has returned once the lock is had.
        std::lock_guard lock(m_run->doneMutex);
        m_load.cancel();
    }
    m_pool.close();
}

void LedgerBook::refresh(Done done)
{
    if (!m_db.isOpen())
        return;
    m_pool.reap(false);
    auto run = std::make_shared<Run>();
    run->done = std::move(done);
    run->job.dataDir = m_dataDir;
    run->job.benchmarkCode = m_benchmark;
    run->job.now = now();
    run->job.navUpdate = m_navUpdate;
    run->job.fundLookup = m_fundLookup;
    {
        std::lock_guard lock(m_run ? m_run->doneMutex : run->doneMutex);
        run->ticket = m_load.begin(); // the older refresh, if any, is cancelled
    }
    run->job.request = m_context.requestOptions();
    run->job.request.load = run->ticket;
    m_run = run;
    // The job holds the run alone: it may outlive this object.
    m_pool.start(1, 1, [run](int) {
        if (run->ticket.cancelled())
            return;
        auto snap = std::make_shared<const LedgerSnapshot>(computeLedger(run->job));
        std::lock_guard lock(run->doneMutex);
        if (!run->ticket.cancelled() && run->done)
            run->done(std::move(snap), run->ticket);
    });
}

// ---- texts

Text moneyText(int64_t cents) { return unitsText(cents, 2); }
Text sharesText(int64_t hundredths) { return unitsText(hundredths, 2); }
Text unitValueText(int64_t tenThousandths) { return unitsText(tenThousandths, 4); }

Text rateText(const std::optional<int64_t>& rate) { return rate ? unitsText(*rate, 2) + "%" : Text("--"); }

Text xirrText(const std::optional<double>& rate)
{
    if (!rate || !std::isfinite(*rate))
        return "--";
    return unitsText(roundedUnits(*rate * 100, 2), 2) + "%";
}

// Whole cents: zero is silver, as in the portfolio.
Colour profitColour(int64_t cents) { return figureColour(FigureUse::ShownChange, double(cents)); }

const std::vector<Text>& holdingHeader()
{
    static const std::vector<Text> header = {gbk("账户"), gbk("基金代码"), gbk("基金名称"), gbk("份额"),
                                             gbk("持有成本"), gbk("最新净值"), gbk("市值"), gbk("持有收益"),
                                             gbk("持有收益率"), gbk("今日估算收益"), gbk("累计收益"), gbk("累计收益率"), gbk("已实现收益"),
                                             gbk("年化收益率"), gbk("状态")};
    return header;
}

Text pendingText(const Figures& f)
{
    Text out;
    if (f.pendingBuys != 0)
        out += gbk("待确认 ") + moneyText(f.pendingBuys) + gbk("元");
    if (f.sellingShares != 0)
        out += Text(out.empty() ? "" : " ") + gbk("卖出中 ") + sharesText(f.sellingShares) + gbk("份");
    return out;
}

namespace {

void fillFigures(std::vector<Text>& row, const Figures& f, const std::optional<int64_t>& todayGain)
{
    row[HTodayGain] = todayGain ? moneyText(*todayGain) : Text("--");
    row[HShares] = sharesText(f.shares);
    row[HHeldCost] = moneyText(f.heldCost);
    row[HMarketValue] = moneyText(f.marketValue);
    row[HHoldingProfit] = moneyText(f.holdingProfit);
    row[HHoldingRate] = rateText(f.holdingRate);
    row[HTotalProfit] = moneyText(f.totalProfit);
    row[HTotalRate] = rateText(f.totalRate);
    row[HRealised] = moneyText(f.realisedProfit);
    row[HXirr] = xirrText(f.xirr);
    row[HState] = pendingText(f);
}

} // namespace

std::vector<Text> positionTexts(const Position& p, const Text& name, const std::optional<int64_t>& todayGain)
{
    std::vector<Text> row(kHoldingColumns);
    row[HAccount] = utf8ToGbk(p.account);
    row[HCode] = p.code;
    row[HName] = name;
    fillFigures(row, p.figures, todayGain);
    row[HUnitValue] = p.latestDay ? unitValueText(p.latestUnitValue) + " (" + dayText(p.latestDay).substr(5) + ")"
                                  : Text("--");
    return row;
}

std::vector<Text> aggregateTexts(const Aggregate& a, const std::optional<int64_t>& todayGain)
{
    std::vector<Text> row(kHoldingColumns);
    row[HAccount] = a.account.empty() ? gbk("合计") : utf8ToGbk(a.account);
    fillFigures(row, a.figures, todayGain);
    // Shares of different funds do not add up.
    row[HShares].clear();
    return row;
}

std::vector<Colour> figureColours(const Figures& f, const std::optional<int64_t>& todayGain)
{
    std::vector<Colour> colours(kHoldingColumns, kDefaultColour);
    if (todayGain)
        colours[HTodayGain] = profitColour(*todayGain);
    colours[HHoldingProfit] = colours[HHoldingRate] = profitColour(f.holdingProfit);
    colours[HTotalProfit] = colours[HTotalRate] = profitColour(f.totalProfit);
    colours[HRealised] = profitColour(f.realisedProfit);
    if (f.xirr)
        colours[HXirr] = figureColour(FigureUse::ShownChange, unitsValue(roundedUnits(*f.xirr * 100, 2), 2));
    return colours;
}

const std::vector<Text>& tradeHeader()
{
    static const std::vector<Text> header = {gbk("编号"), gbk("日期"), gbk("时间"), gbk("账户"), gbk("基金代码"),
                                             gbk("类型"), gbk("金额"), gbk("份额"), gbk("费率%"), gbk("状态"),
                                             gbk("确认日"), gbk("确认净值"), gbk("手续费"), gbk("备注")};
    return header;
}

Text kindText(TradeKind kind)
{
    switch (kind) {
    case TradeKind::Buy: return gbk("买入");
    case TradeKind::Sell: return gbk("卖出");
    case TradeKind::Reconcile: return gbk("对账");
    case TradeKind::Opening: return gbk("期初");
    }
    return {};
}

std::optional<TradeKind> kindOf(const Text& text)
{
    for (TradeKind k : {TradeKind::Buy, TradeKind::Sell, TradeKind::Reconcile, TradeKind::Opening})
        if (kindText(k) == text)
            return k;
    return std::nullopt;
}

namespace {

Text minuteText(int minute)
{
    if (minute < 0)
        return {};
    Text hh = intText(minute / 60), mm = intText(minute % 60);
    return (hh.size() < 2 ? "0" + hh : hh) + ":" + (mm.size() < 2 ? "0" + mm : mm);
}

Text stateText(const Trade& t, const TradeOutcome* o)
{
    if (!o)
        return {};
    switch (o->state) {
    case TradeState::Confirmed: return gbk("已确认");
    case TradeState::Pending: return gbk(t.kind == TradeKind::Sell ? "卖出中" : "待确认");
    case TradeState::Withdrawn: return gbk("已撤回");
    case TradeState::Refused: return gbk("份额不足");
    }
    return {};
}

} // namespace

std::vector<Text> tradeTexts(const Trade& t, const TradeOutcome* o)
{
    std::vector<Text> row(kTradeColumns);
    row[TId] = intText(t.id);
    row[TDate] = dayText(t.date);
    row[TTime] = minuteText(t.minute);
    row[TAccount] = utf8ToGbk(t.account);
    row[TCode] = t.code;
    row[TKind] = kindText(t.kind);
    const bool hasAmount = t.kind != TradeKind::Sell;
    const bool hasShares = t.kind != TradeKind::Buy;
    row[TAmount] = hasAmount ? moneyText(t.amount) : Text();
    row[TShares] = hasShares ? sharesText(t.shares) : Text();
    row[TFeeRate] = t.feeRate ? unitsText(*t.feeRate, 4) : Text();
    row[TState] = stateText(t, o);
    if (o && o->state == TradeState::Confirmed) {
        row[TConfirmDay] = dayText(o->confirmDay);
        row[TUnitValue] = unitValueText(o->unitValue);
        if (t.kind == TradeKind::Buy || t.kind == TradeKind::Sell)
            row[TFee] = moneyText(o->fee);
        if (t.kind == TradeKind::Buy)
            row[TShares] = sharesText(o->shares); // the shares the buy came to
        if (t.kind == TradeKind::Sell)
            row[TAmount] = moneyText(o->proceeds);
    }
    row[TNote] = utf8ToGbk(t.note);
    return row;
}

namespace {

bool sixDigits(const Text& code)
{
    return code.size() == 6 && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int> parseMinute(const Text& text)
{
    if (text.size() != 5 || text[2] != ':')
        return std::nullopt;
    for (int i : {0, 1, 3, 4})
        if (text[size_t(i)] < '0' || text[size_t(i)] > '9')
            return std::nullopt;
    const int h = (text[0] - '0') * 10 + (text[1] - '0'), m = (text[3] - '0') * 10 + (text[4] - '0');
    if (h > 23 || m > 59)
        return std::nullopt;
    return h * 60 + m;
}

} // namespace

Text tradeFromForm(const TradeForm& form, ChinaTime now, Trade& out)
{
    Trade t = out; // an edit keeps its id and its plan
    const auto kind = kindOf(form.kind);
    if (!kind || *kind == TradeKind::Opening)
        return gbk("类型应为买入、卖出或对账");
    t.kind = *kind;
    if (!sixDigits(form.code))
        return gbk("基金代码应为6位数字");
    t.code = form.code;
    t.amount = 0;
    t.shares = 0;
    if (t.kind != TradeKind::Sell) {
        const auto amount = parseUnits(form.amount, 2);
        if (!amount || *amount < 0 || (t.kind == TradeKind::Buy && *amount == 0))
            return gbk("金额应为正数，至多两位小数");
        t.amount = *amount;
    }
    if (t.kind != TradeKind::Buy) {
        const auto shares = parseUnits(form.shares, 2);
        if (!shares || *shares < 0 || (t.kind == TradeKind::Sell && *shares == 0))
            return gbk("份额应为正数，至多两位小数");
        t.shares = *shares;
    }
    t.date = now.day;
    t.minute = now.minute;
    if (!form.date.empty()) {
        const auto day = parseDay(form.date);
        if (!day)
            return gbk("日期应为YYYY-MM-DD");
        t.date = *day;
        t.minute = -1; // a date without a time counts before 15:00
    }
    if (!form.time.empty()) {
        const auto minute = parseMinute(form.time);
        if (!minute)
            return gbk("时间应为HH:MM");
        t.minute = *minute;
    }
    t.feeRate.reset();
    if (!form.feeRate.empty()) {
        const auto rate = parseUnits(form.feeRate, 4);
        if (!rate || *rate < 0 || *rate >= 100 * 10000)
            return gbk("费率应为0到100之间的百分数");
        t.feeRate = *rate;
    }
    t.account = form.account.empty() ? std::string("默认") : gbkToUtf8(form.account);
    t.note = gbkToUtf8(form.note);
    out = std::move(t);
    return {};
}

const std::vector<Text>& planHeader()
{
    static const std::vector<Text> header = {gbk("编号"), gbk("账户"), gbk("基金代码"), gbk("金额"), gbk("费率%"),
                                             gbk("周期"), gbk("开始"), gbk("已定投")};
    return header;
}

const std::vector<Text>& cycleNames()
{
    static const std::vector<Text> names = {gbk("每个交易日"), gbk("每周"), gbk("每两周"), gbk("每月")};
    return names;
}

std::vector<Text> planTexts(const Plan& p)
{
    static const char* const weekdays[] = {"一", "二", "三", "四", "五", "六", "日"};
    Text cycle = cycleNames()[size_t(p.cycle)];
    if (p.cycle == PlanCycle::Weekly || p.cycle == PlanCycle::Biweekly)
        cycle += gbk(weekdays[std::clamp(p.cycleDay, 0, 6)]);
    else if (p.cycle == PlanCycle::Monthly)
        cycle += intText(p.cycleDay) + gbk("日");
    return {intText(p.id), utf8ToGbk(p.account), p.code, moneyText(p.amount),
            p.feeRate ? unitsText(*p.feeRate, 4) : Text(), cycle, dayText(p.start),
            intText((long long)p.booked.size()) + gbk("次")};
}

Text planFromForm(const PlanForm& form, Day today, Plan& out)
{
    Plan p;
    if (!sixDigits(form.code))
        return gbk("基金代码应为6位数字");
    p.code = form.code;
    const auto amount = parseUnits(form.amount, 2);
    if (!amount || *amount <= 0)
        return gbk("金额应为正数，至多两位小数");
    p.amount = *amount;
    if (!form.feeRate.empty()) {
        const auto rate = parseUnits(form.feeRate, 4);
        if (!rate || *rate < 0 || *rate >= 100 * 10000)
            return gbk("费率应为0到100之间的百分数");
        p.feeRate = *rate;
    }
    if (form.cycle < 0 || form.cycle > 3)
        return gbk("周期不对");
    p.cycle = PlanCycle(form.cycle);
    const auto day = parseUnits(form.day, 0);
    if (p.cycle == PlanCycle::Weekly || p.cycle == PlanCycle::Biweekly) {
        if (!day || *day < 1 || *day > 5)
            return gbk("定投日应为周一到周五（1到5）");
        p.cycleDay = int(*day) - 1;
    } else if (p.cycle == PlanCycle::Monthly) {
        if (!day || *day < 1 || *day > 28)
            return gbk("定投日应为每月1到28日");
        p.cycleDay = int(*day);
    }
    p.start = today;
    if (!form.start.empty()) {
        const auto start = parseDay(form.start);
        if (!start)
            return gbk("日期应为YYYY-MM-DD");
        p.start = *start;
    }
    p.account = form.account.empty() ? std::string("默认") : gbkToUtf8(form.account);
    out = std::move(p);
    return {};
}

} // namespace fw::ledger
