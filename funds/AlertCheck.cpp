#include "funds/AlertCheck.h"

#include "funds/EstimateInputs.h"
#include "funds/HoldingsEstimate.h"
#include "funds/LedgerBook.h"
#include "funds/LedgerCsv.h"
#include "funds/LedgerStart.h"
#include "funds/NavHistoryFetch.h"
#include "funds/PortfolioRefresh.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace fw::ledger {

namespace {

constexpr int kNavLookBack = 20;  // days back to find the row before today's over holidays

bool answered(const HttpRequestOptions& options) { return options.status.rfind("200", 0) == 0; }

int64_t units(double value) { return roundedUnits(value, 4); }

// The minute bars of a quote id, only when they are of `day`.
std::optional<MinuteBars> fetchBars(const HttpRequestOptions& request, std::string_view quoteId, Day day, bool& failed)
{
    HttpRequestOptions options = request;
    const ServiceHosts& hosts = serviceHosts();
    // The answer is UTF-8 script text without a declared charset.
    const Text answer = utf8ToGbk(HttpClient().fetch(hosts.url(HostRole::QuoteHistory,
                                                               minuteBarsPath(quoteId, hosts.quoteToken())),
                                                     options));
    if (!answered(options)) {
        failed = true;
        return std::nullopt;
    }
    std::optional<MinuteBars> bars = readMinuteBars(answer);
    if (!bars || bars->bars.empty() || bars->bars.back().time.rfind(dayText(day), 0) != 0)
        return std::nullopt;
    return bars;
}

// Live rules are checked in trading hours only (the minute, as China time, of `now`).
bool inTradingHours(ChinaTime now)
{
    return isTradingTime(std::time_t(now.day) * 86400 + std::time_t(now.minute) * 60 - 8 * 3600);
}

} // namespace

Text minuteBarsPath(std::string_view quoteId, std::string_view token)
{
    return "/api/qt/stock/trends2/get?secid=" + Text(quoteId)
        + "&fields1=f1,f2,f3,f4,f5,f6,f7,f8,f9,f10,f11,f12,f13&fields2=f51,f52,f53,f54,f55,f56,f57,f58&ut="
        + Text(token) + "&ndays=1&iscr=0&iscca=0";
}

std::optional<bool> fetchTradingDay(const HttpRequestOptions& request, Day day)
{
    bool failed = false;
    const std::optional<MinuteBars> bars = fetchBars(request, "1.000001", day, failed);
    if (failed)
        return std::nullopt;
    return bars.has_value();
}

AlertReadings readAlertValues(const HttpRequestOptions& request, const std::vector<AlertRule>& rules,
                              const AlertSources& sources, ChinaTime now)
{
    AlertReadings out;
    std::vector<const AlertRule*> due;
    const bool navTime = now.minute >= kNavFromMinute;
    const bool liveTime = inTradingHours(now);
    for (const AlertRule& r : rules)
        if (r.enabled && (isLiveCondition(r.condition) ? liveTime : navTime))
            due.push_back(&r);
    if (due.empty())
        return out;
    const std::optional<bool> trading = fetchTradingDay(request, now.day);
    if (!trading) {
        out.failed = true;
        return out;
    }
    out.tradingDay = *trading;
    if (!out.tradingDay)
        return out;

    // Every fund a rule or the portfolio needs, fetched once.
    std::set<std::string> funds;
    bool portfolio = false;
    for (const AlertRule* r : due) {
        if (r->subject == AlertSubject::Fund || r->subject == AlertSubject::Holding)
            funds.insert(r->code); // a holding's for its name
        if (r->subject == AlertSubject::Portfolio)
            portfolio = true;
    }
    if (portfolio)
        for (const AlertHolding& h : sources.portfolio)
            funds.insert(h.code);
    std::map<std::string, FundQuote> quotes;
    for (const std::string& code : funds) {
        FundQuote q = fetchFundQuote(request, code, sources.dataDir);
        if (q.unitValue <= 0 && q.name.empty())
            out.failed = true;
        quotes[code] = std::move(q);
    }

    if (portfolio) {
        std::vector<Holding> held;
        std::map<Text, FundQuote> byCode;
        for (const AlertHolding& h : sources.portfolio) {
            held.push_back({h.code, unitsText(h.shares, 2), "1"});
            byCode[h.code] = quotes[h.code];
        }
        const PortfolioTotals totals = portfolioFigures(held, byCode).totals;
        for (const auto& [code, quote] : byCode)
            if (quote.estimatePercent)
                out.movers.emplace_back(gbkToUtf8(quote.name.empty() ? code : quote.name), *quote.estimatePercent);
        if (totals.estimatedFunds > 0) {
            out.dayProfit = totals.todayProfit;
        }
        for (const AlertRule* r : due) {
            if (r->subject != AlertSubject::Portfolio || totals.estimatedFunds == 0)
                continue;
            AlertReading reading;
            if (r->condition == AlertCondition::DayProfit)
                reading.value = units(totals.todayProfit);
            else if (r->condition == AlertCondition::DayProfitShare && totals.amount > 0)
                reading.value = units(totals.todayProfit / totals.amount * 100.0);
            out.byRule[r->id] = reading;
        }
    }

    std::map<std::string, std::optional<MinuteBars>> stocks;
    for (const AlertRule* r : due) {
        AlertReading reading;
        std::string name;
        if (r->subject == AlertSubject::Fund) {
            const FundQuote& q = quotes[r->code];
            name = gbkToUtf8(q.name);
            if (r->condition == AlertCondition::Change && q.estimatePercent) {
                reading.value = units(*q.estimatePercent);
            } else if (r->condition == AlertCondition::Level && q.estimatePercent && q.unitValue > 0) {
                reading.value = units(q.unitValue * (1.0 + *q.estimatePercent / 100.0));
                reading.previousClose = units(q.unitValue);
            } else if (r->condition == AlertCondition::UnitValue) {
                // Today's row and the one before it, the previous close.
                NavFetchOutcome outcome;
                const auto rows = NavHistoryFetch(r->code, request.timeoutSeconds)
                                      .fetchRange(now.day - kNavLookBack, now.day, outcome);
                if (!rows)
                    out.failed = true;
                else if (!rows->empty() && rows->back().day == now.day && rows->back().unitValue > 0) {
                    reading.value = rows->back().unitValue;
                    if (rows->size() > 1 && (*rows)[rows->size() - 2].unitValue > 0)
                        reading.previousClose = (*rows)[rows->size() - 2].unitValue;
                }
            }
        } else if (r->subject == AlertSubject::Stock) {
            auto found = stocks.find(r->code);
            if (found == stocks.end())
                found = stocks.emplace(r->code, fetchBars(request, r->code, now.day, out.failed)).first;
            if (const auto& bars = found->second) {
                name = gbkToUtf8(bars->name.empty() ? bars->code : bars->name);
                const double close = bars->bars.back().close;
                if (r->condition == AlertCondition::Change) {
                    reading.value = units(bars->changeAt(bars->bars.size() - 1));
                } else if (r->condition == AlertCondition::Level) {
                    reading.value = units(close);
                    reading.previousClose = units(bars->preClose);
                }
            }
        } else if (r->subject == AlertSubject::Holding) {
            const FundQuote& q = quotes[r->code];
            name = q.name.empty() ? r->code : gbkToUtf8(q.name);
            const auto found = sources.holdingRates.find(r->code);
            if (r->condition == AlertCondition::HoldingRate && found != sources.holdingRates.end()
                && found->second.day == now.day && found->second.rate)
                reading.value = *found->second.rate;
        } else {
            continue; // the portfolio's, above
        }
        out.byRule[r->id] = reading;
        out.names[r->id] = name;
    }
    return out;
}

std::vector<FiredAlert> applyAlertChecks(LedgerDatabase& db, const AlertReadings& readings, ChinaTime now,
                                         bool& failed)
{
    std::vector<FiredAlert> fired;
    for (const auto& entry : readings.byRule) {
        // Named, not bound: a lambda cannot capture a structured binding in every compiler.
        const auto id = entry.first;
        const auto& reading = entry.second;
        FiredAlert alert;
        const auto name = readings.names.find(id);
        const std::optional<bool> logged = db.checkAlertRule(id, now, [&](AlertRule& rule) -> std::optional<std::string> {
            alert.subject = rule.subject;
            alert.code = rule.code;
            if (!evaluateAlert(rule, reading, now, readings.tradingDay))
                return std::nullopt;
            alert.message = alertMessage(rule, name == readings.names.end() ? std::string() : name->second,
                                         *reading.value);
            return alert.message;
        });
        if (!logged) {
            failed = true;
            continue;
        }
        if (*logged) {
            alert.ruleId = id;
            fired.push_back(std::move(alert));
        }
    }
    return fired;
}

AlertSources alertSources(const std::string& dataDir, const HttpRequestOptions& request, ChinaTime now)
{
    AlertSources sources;
    RefreshJob job {dataDir, LedgerBook::kDefaultBenchmark, now, request, fetchNavHistory, {}};
    const LedgerSnapshot snap = computeLedger(job);
    if (!snap.failure.empty())
        return sources;
    sources.holdingProfit = snap.result.ledger.figures.holdingProfit;
    if (!snap.result.ledger.history.empty())
        sources.lastClose = snap.result.ledger.history.back();
    std::map<std::string, std::pair<int64_t, int64_t>> sums; // code → held cost, 持有收益
    std::map<std::string, int64_t> shares;
    for (const Position& p : snap.result.positions) {
        if (p.figures.shares <= 0)
            continue;
        shares[p.code] += p.figures.shares;
        sums[p.code].first += p.figures.heldCost;
        sums[p.code].second += p.figures.holdingProfit;
        sources.navsThrough = sources.navsThrough ? std::min(sources.navsThrough, p.latestDay) : p.latestDay;
        HoldingRate& rate = sources.holdingRates[p.code];
        rate.day = rate.day ? std::min(rate.day, p.latestDay) : p.latestDay;
    }
    for (const auto& [code, held] : shares)
        sources.portfolio.push_back({code, held});
    for (auto& [code, rate] : sources.holdingRates) {
        const auto& [cost, profit] = sums[code];
        if (cost > 0)
            rate.rate = mulDivRound(profit, 1000000, cost); // 1e-4 percent
    }
    return sources;
}

AlertRound runAlertRound(const std::string& dataDir, const ConfigFile& config, const HttpRequestOptions& request,
                         ChinaTime now, bool allFigures)
{
    AlertRound round;
    LedgerDatabase db;
    if (!openLedger(db, dataDir, config, now.day)) {
        round.failure = db.failure();
        round.writeFailed = true;
        return round;
    }
    const DigestSettings digests = digestSettings(config);
    std::vector<AlertRule> rules = db.alertRules();
    const bool figures = allFigures || digests.midday || digests.evening;
    bool needed = figures;
    for (const AlertRule& r : rules)
        needed = needed || (r.enabled && (r.subject == AlertSubject::Holding || r.subject == AlertSubject::Portfolio));
    AlertSources sources = needed ? alertSources(dataDir, request, now) : AlertSources();
    sources.dataDir = dataDir;
    round.holdingProfit = sources.holdingProfit;
    if (figures) {
        // The portfolio's figures come with a rule of the whole portfolio that is never stored.
        AlertRule portfolio;
        portfolio.id = 0;
        portfolio.subject = AlertSubject::Portfolio;
        portfolio.condition = AlertCondition::DayProfit;
        rules.push_back(portfolio);
    }
    const AlertReadings readings = readAlertValues(request, rules, sources, now);
    round.refreshFailed = readings.failed;
    round.tradingDay = readings.tradingDay;
    round.dayProfit = readings.dayProfit;
    AlertReadings stored = readings;
    stored.byRule.erase(0);
    round.fired = applyAlertChecks(db, stored, now, round.writeFailed);

    // The digests, each told once a day by whichever process marks it first.
    auto claim = [&](int kind, const std::string& message) {
        const std::optional<bool> claimed = db.claimDigest(kind, now.day, message, now);
        if (!claimed)
            round.writeFailed = true;
        else if (*claimed)
            round.fired.push_back({0, AlertSubject::Portfolio, std::string(), message});
    };
    if (readings.tradingDay && readings.dayProfit) {
        const int64_t cents = roundedUnits(*readings.dayProfit, 2);
        if (!db.noteDayEstimate(now.day, cents))
            round.writeFailed = true;
        if (digests.midday && now.minute >= digests.middayMinute)
            claim(1, middayDigestText(*readings.dayProfit, readings.movers));
    }
    if (eveningDigestDue(digests, sources, now))
        claim(2, eveningDigestText(sources.lastClose->dayProfit, db.dayEstimate(now.day)));
    if (round.writeFailed)
        round.failure = db.failure();
    round.quiet = db.alertsQuietDay() == now.day;
    return round;
}

DigestSettings digestSettings(const ConfigFile& config)
{
    DigestSettings out;
    const Text section = gbk("提醒");
    out.midday = config.read(section, gbk("盘中摘要")) == gbk("真");
    out.evening = config.read(section, gbk("净值摘要")) == gbk("真");
    if (const auto minute = parseMinute(config.read(section, gbk("摘要时间"))))
        out.middayMinute = *minute;
    return out;
}

bool eveningDigestDue(const DigestSettings& digests, const AlertSources& sources, ChinaTime now)
{
    if (!digests.evening || now.minute < kNavFromMinute || !sources.lastClose || sources.lastClose->day != now.day)
        return false;
    return sources.navsThrough == now.day || now.minute >= kNavToMinute;
}

std::string middayDigestText(double dayProfit, std::vector<std::pair<std::string, double>> movers)
{
    std::stable_sort(movers.begin(), movers.end(),
                     [](const auto& a, const auto& b) { return std::abs(a.second) > std::abs(b.second); });
    std::string text = "今日估算收益 " + groupedMoney(roundedUnits(dayProfit, 2));
    for (size_t i = 0; i < movers.size() && i < 3; ++i)
        text += (i == 0 ? "　变动最大：" : "，") + movers[i].first + " " + gbkToUtf8(estimateChangeText(movers[i].second));
    return text;
}

std::string eveningDigestText(int64_t realCents, const std::optional<int64_t>& estimateCents)
{
    std::string text = "今日收益 " + groupedMoney(realCents);
    if (estimateCents)
        text += "　估算 " + groupedMoney(*estimateCents) + "，偏差 " + groupedMoney(realCents - *estimateCents);
    return text;
}

std::string groupedMoney(int64_t cents)
{
    const std::string plain = unitsText(cents < 0 ? -cents : cents, 2); // "4567.89"
    const size_t point = plain.find('.');
    std::string whole = plain.substr(0, point);
    for (int at = int(whole.size()) - 3; at > 0; at -= 3)
        whole.insert(size_t(at), ",");
    return (cents > 0 ? "+" : cents < 0 ? "-" : "") + whole + plain.substr(point);
}

std::string trayTooltip(const std::optional<double>& dayProfit, const std::optional<int64_t>& holdingProfitCents,
                        int minute)
{
    const std::string today = dayProfit ? groupedMoney(roundedUnits(*dayProfit, 2)) : std::string("--");
    const std::string held = holdingProfitCents ? groupedMoney(*holdingProfitCents) : std::string("--");
    return "今日估算收益 " + today + "　持有收益 " + held + "　" + minuteText(minute) + " 更新";
}

} // namespace fw::ledger
