// The error each estimate model makes on the whole sample market. Every fund
// is fetched through the program's own estimate fetch; each estimate of every
// model that applies is set against the fund's NAV change of the same day
// (JZZZL of its newest NAV row, through the program's own NAV history reader).
// Per model: the funds, the mean absolute error and the largest miss, in
// percentage points; for the feeder and the index models also the plain
// holdings mean over the same funds, which each must beat (the index model on
// the index funds and on the feeders named for an index, each on its own).
// The exit status is 1 when one does not, or when a model has no fund to be
// measured on.
//
// A feeder lists no stocks of its own: the stocks it really holds are those of
// the exchange-traded fund it invests through, so its holdings mean is the
// holdings estimate of that fund, taken as the feeder's.
//
//   bench_accuracy [FUNDS]      the market's size (default: the whole market)
#include "funds/EstimateFetch.h"
#include "funds/EstimateLog.h"
#include "funds/NavHistoryFetch.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace fw;

namespace {

// The newest NAV row of each fund, fetched on five threads; none where the
// history could not be read or is empty.
std::vector<std::optional<ledger::NavRow>> newestNavRows(const std::vector<Text>& codes)
{
    std::vector<std::optional<ledger::NavRow>> rows(codes.size());
    std::atomic<size_t> next {0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kEstimateWorkers; ++w) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < codes.size(); i = next++) {
                ledger::NavFetchOutcome outcome;
                const std::optional<ledger::NavPage> page = ledger::NavHistoryFetch(codes[i]).newestPage(outcome);
                if (page && !page->rows.empty())
                    rows[i] = page->rows.front();
            }
        });
    }
    for (std::thread& t : workers)
        t.join();
    return rows;
}

Text figures(const ModelAccuracy& a)
{
    return intText(a.days) + " funds, mean absolute error " + roundedText(a.meanError, 3) + ", largest miss "
        + roundedText(a.largestMiss, 3);
}

// One model's measured estimates, and beside those of the feeder and the index
// models the holdings mean of the same fund (none where it has none).
struct Measured {
    std::deque<ledger::LoggedEstimate> estimates;
    std::deque<std::optional<ledger::LoggedEstimate>> holdingsMean;
};

// Prints a model's figures over funds the holdings mean estimates too, and
// the holdings mean's beside them; whether the model's mean error is smaller.
bool beatsHoldingsMean(const char* funds, EstimateModel model, const std::vector<const ledger::LoggedEstimate*>& estimates,
                       const std::vector<const ledger::LoggedEstimate*>& holdingsMean)
{
    const ModelAccuracy mine = accuracyOf(model, estimates);
    const ModelAccuracy plain = accuracyOf(EstimateModel::Holdings, holdingsMean);
    const bool beats = mine.days > 0 && mine.meanError < plain.meanError;
    std::printf("  %-12s where the holdings mean estimates too: %s\n", funds, figures(mine).c_str());
    std::printf("  %-12s the holdings mean there:               %s  %s\n", "", figures(plain).c_str(),
                beats ? "(beaten)" : "(NOT BEATEN)");
    return beats;
}

} // namespace

int main(int argc, char** argv)
{
    sample::SampleOptions options; // the whole market, no added latency
    if (argc > 1)
        options.funds = std::atoi(argv[1]);
    sample::SampleService service(options);
    if (service.start() < 0) {
        std::fputs("bench_accuracy: the sample service could not start\n", stderr);
        return 1;
    }
    setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
    const auto started = std::chrono::steady_clock::now();

    std::vector<EstimateFund> funds;
    for (const sample::Fund& f : service.market().funds())
        funds.push_back({f.code, utf8ToGbk(f.name)});
    const std::vector<FetchedEstimateInputs> fetched = fetchEstimateInputs(funds, HttpRequestOptions {});
    std::map<Text, const EstimateInputs*> inputsByCode;
    std::set<std::string> isFeeder;
    std::vector<size_t> estimated; // funds some model applies to
    std::map<Text, int> failures;  // why the others have no inputs
    for (size_t i = 0; i < fetched.size(); ++i) {
        if (!fetched[i].inputs) {
            ++failures[fetched[i].failure];
            continue;
        }
        inputsByCode[fetched[i].fundCode] = &*fetched[i].inputs;
        if (!fetched[i].inputs->positions.targetCode.empty())
            isFeeder.insert(fetched[i].fundCode);
        if (!applicableEstimates(*fetched[i].inputs).empty())
            estimated.push_back(i);
    }
    std::vector<Text> codes;
    for (size_t i : estimated)
        codes.push_back(fetched[i].fundCode);
    const std::vector<std::optional<ledger::NavRow>> navRows = newestNavRows(codes);

    // The quotes are of the market's last trading day; so must the NAV row be.
    const std::string day = service.market().figureDate();
    int noNav = 0, otherDay = 0, usQuotes = 0;
    std::map<EstimateModel, Measured> measured;
    for (size_t k = 0; k < estimated.size(); ++k) {
        const FetchedEstimateInputs& fund = fetched[estimated[k]];
        const std::optional<ledger::NavRow>& row = navRows[k];
        if (!row || !row->changePercent) {
            ++noNav;
            continue;
        }
        if (ledger::dayText(row->day) != day) {
            ++otherDay;
            continue;
        }
        const EstimateInputs& in = *fund.inputs;
        std::vector<ledger::LoggedEstimate> logged = estimatesToLog(fund.fundCode, in, row->day, row->day);
        // The holdings mean of the fund: its own, or a feeder's target's.
        std::optional<ledger::LoggedEstimate> holdings;
        for (const ledger::LoggedEstimate& e : logged) {
            if (EstimateModel(e.model) == EstimateModel::Holdings && !e.usSession)
                holdings = e;
        }
        const auto target = inputsByCode.find(in.positions.targetCode);
        if (!in.positions.targetCode.empty() && target != inputsByCode.end()) {
            const std::optional<ModelEstimate> h = holdingsEstimate(*target->second);
            if (h && !usesUsQuotes(*target->second, *h)) {
                holdings = ledger::LoggedEstimate {};
                holdings->code = fund.fundCode;
                holdings->model = int(EstimateModel::Holdings);
                holdings->change = roundedUnits(h->change, 4);
            }
        }
        if (holdings)
            holdings->navChange = row->changePercent;
        for (ledger::LoggedEstimate& e : logged) {
            // Such an estimate belongs to the NAV of another date.
            if (e.usSession) {
                ++usQuotes;
                continue;
            }
            e.navChange = row->changePercent;
            Measured& m = measured[EstimateModel(e.model)];
            m.estimates.push_back(e);
            m.holdingsMean.push_back(EstimateModel(e.model) == EstimateModel::Holdings ? std::nullopt : holdings);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::printf("estimate accuracy on the sample market of %zu funds, %s (percentage points)\n", funds.size(),
                day.c_str());
    std::printf("  %zu funds estimated; left out: %d without a NAV change, %d with the NAV of another day, "
                "%d estimates of US quotes\n",
                estimated.size(), noNav, otherDay, usQuotes);
    for (const auto& [why, count] : failures)
        std::printf("  %d funds not estimated: %s\n", count, why.c_str());
    int status = 0;
    for (EstimateModel model : {EstimateModel::Feeder, EstimateModel::Index, EstimateModel::Holdings}) {
        const Measured& m = measured[model];
        std::vector<const ledger::LoggedEstimate*> all, paired, baseline;
        for (size_t i = 0; i < m.estimates.size(); ++i) {
            all.push_back(&m.estimates[i]);
            if (m.holdingsMean[i]) {
                paired.push_back(&m.estimates[i]);
                baseline.push_back(&*m.holdingsMean[i]);
            }
        }
        const ModelAccuracy own = accuracyOf(model, all);
        std::printf("%s %s\n", gbkToUtf8(modelShortName(model)).c_str(), figures(own).c_str());
        if (own.days == 0)
            status = 1;
        if (model == EstimateModel::Holdings)
            continue;
        if (!beatsHoldingsMean("all", model, paired, baseline))
            status = 1;
        // The index model also applies to feeders named for an index, whose
        // own stock share says nothing of it: on each kind of fund on its own.
        if (model == EstimateModel::Index) {
            for (const bool feeders : {false, true}) {
                std::vector<const ledger::LoggedEstimate*> kind, kindBaseline;
                for (size_t i = 0; i < paired.size(); ++i) {
                    if (isFeeder.count(paired[i]->code) == size_t(feeders)) {
                        kind.push_back(paired[i]);
                        kindBaseline.push_back(baseline[i]);
                    }
                }
                if (!beatsHoldingsMean(feeders ? "feeders" : "index funds", model, kind, kindBaseline))
                    status = 1;
            }
        }
    }
    std::printf("  %s s\n", roundedText(seconds, 1).c_str());
    return status;
}
