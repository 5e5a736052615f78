#include "funds/EstimateLog.h"

#include "text/CodePage.h"
#include "text/NumberText.h"

#include <algorithm>
#include <cstdlib>

namespace fw {

using ledger::Day;

namespace {

constexpr int kRecordFrom = 14 * 60 + 55, kRecordUntil = 15 * 60 + 5;
constexpr int kUsClose = 16 * 60;

// The moment daylight saving starts or ends in New York: the n-th Sunday of
// the month at 02:00 local time, in UTC seconds.
std::time_t nthSundayAt(int year, int month, int n, int utcHour)
{
    const Day first = ledger::dayFromCivil(year, month, 1);
    const Day sunday = first + (6 - ledger::weekdayOf(first)) + 7 * (n - 1);
    return std::time_t(sunday) * 86400 + utcHour * 3600;
}

// New York's offset from UTC in seconds at `utc`: -4 h from the second Sunday
// of March to the first Sunday of November, -5 h otherwise.
long long newYorkOffset(std::time_t utc)
{
    int year, month, day;
    ledger::civilFromDay(Day((utc - 5 * 3600) / 86400), year, month, day);
    const std::time_t start = nthSundayAt(year, 3, 2, 7); // 02:00 EST
    const std::time_t end = nthSundayAt(year, 11, 1, 6);  // 02:00 EDT
    return utc >= start && utc < end ? -4 * 3600 : -5 * 3600;
}

bool isUsQuoteId(std::string_view id) { return id.rfind("105.", 0) == 0 || id.rfind("106.", 0) == 0; }

} // namespace

bool inRecordWindow(ledger::ChinaTime now)
{
    return ledger::weekdayOf(now.day) < 5 && now.minute >= kRecordFrom && now.minute <= kRecordUntil;
}

Day lastUsSession(std::time_t utc)
{
    long long local = (long long)utc + newYorkOffset(utc);
    long long day = local / 86400, rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --day;
    }
    if (rest / 60 < kUsClose)
        --day;
    while (ledger::weekdayOf(Day(day)) >= 5)
        --day;
    return Day(day);
}

bool usesUsQuotes(const EstimateInputs& in, const ModelEstimate& estimate)
{
    // The index model quotes only its index.
    if (estimate.model == EstimateModel::Index)
        return false;
    for (const ListedHolding& h : in.positions.stocks)
        if (isUsQuoteId(h.quoteId) && in.changes.count(h.quoteId))
            return true;
    return isUsQuoteId(in.positions.targetQuoteId) && estimate.model == EstimateModel::Feeder;
}

std::vector<ledger::LoggedEstimate> estimatesToLog(const std::string& code, const EstimateInputs& in, Day today,
                                                   Day usSession)
{
    std::vector<ledger::LoggedEstimate> out;
    for (const ModelEstimate& e : applicableEstimates(in)) {
        ledger::LoggedEstimate logged;
        logged.day = today;
        logged.code = code;
        logged.model = int(e.model);
        logged.change = roundedUnits(e.change, 4);
        if (usesUsQuotes(in, e))
            logged.usSession = usSession;
        out.push_back(std::move(logged));
    }
    return out;
}

ModelAccuracy accuracyOf(EstimateModel model, const std::vector<const ledger::LoggedEstimate*>& estimates)
{
    // Both figures are exact 1e-4 %, so the misses add up without a rounding.
    long long sum = 0, largest = 0;
    ModelAccuracy a;
    a.model = model;
    for (const ledger::LoggedEstimate* e : estimates) {
        if (!e->navChange)
            continue;
        const long long miss = std::llabs(e->change - *e->navChange);
        sum += miss;
        largest = std::max(largest, miss);
        ++a.days;
    }
    if (a.days > 0) {
        a.meanError = unitsValue(sum, 4) / double(a.days);
        a.largestMiss = unitsValue(largest, 4);
    }
    return a;
}

ModelErrors accuracyByModel(const std::vector<ledger::LoggedEstimate>& fundLog)
{
    // Each model's measured days, newest first.
    std::map<int, std::vector<const ledger::LoggedEstimate*>> byModel;
    for (const ledger::LoggedEstimate& e : fundLog)
        if (e.navChange)
            byModel[e.model].push_back(&e);
    ModelErrors out;
    for (auto& [model, days] : byModel) {
        if (model < int(EstimateModel::Feeder) || model > int(EstimateModel::Holdings))
            continue;
        std::sort(days.begin(), days.end(), [](auto* a, auto* b) { return a->day > b->day; });
        if (days.size() > size_t(kAccuracyDays))
            days.resize(size_t(kAccuracyDays));
        out[EstimateModel(model)] = accuracyOf(EstimateModel(model), days);
    }
    return out;
}

namespace {

bool measuredInFull(const ModelErrors& errors, EstimateModel model)
{
    const auto it = errors.find(model);
    return it != errors.end() && it->second.days >= kAccuracyDays;
}

} // namespace

bool errorsDecide(const std::vector<EstimateModel>& applicable, const ModelErrors& errors)
{
    return std::count_if(applicable.begin(), applicable.end(),
                         [&errors](EstimateModel m) { return measuredInFull(errors, m); })
        >= 2;
}

std::optional<EstimateModel> preferredModel(const std::vector<EstimateModel>& applicable, const ModelErrors& errors)
{
    if (applicable.empty())
        return std::nullopt;
    if (!errorsDecide(applicable, errors))
        return applicable.front();
    std::optional<EstimateModel> best;
    for (EstimateModel m : applicable)
        if (measuredInFull(errors, m) && (!best || errors.at(m).meanError < errors.at(*best).meanError))
            best = m;
    return best;
}

std::optional<ModelEstimate> preferredEstimate(const std::vector<ModelEstimate>& applicable,
                                               const ModelErrors& errors)
{
    std::vector<EstimateModel> models;
    for (const ModelEstimate& e : applicable)
        models.push_back(e.model);
    const std::optional<EstimateModel> chosen = preferredModel(models, errors);
    for (const ModelEstimate& e : applicable)
        if (chosen && e.model == *chosen)
            return e;
    return std::nullopt;
}

std::optional<double> shownError(const ModelErrors& errors, EstimateModel model)
{
    const auto it = errors.find(model);
    if (it == errors.end() || it->second.days < 1)
        return std::nullopt;
    return it->second.meanError;
}

Text modelShortName(EstimateModel model)
{
    switch (model) {
    case EstimateModel::Feeder: return gbk("联接");
    case EstimateModel::Index: return gbk("指数");
    case EstimateModel::Holdings: break;
    }
    return gbk("持仓");
}

} // namespace fw
