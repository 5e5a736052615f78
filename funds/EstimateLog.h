#pragma once
// The estimate log's rules: when the day's estimates are recorded, which US
// session an estimate's US quotes belong to, what is logged of a fund, the
// error each model makes over its last days, and the model a fund's estimate
// is taken from once the errors are known. Pure functions; no network, no Qt.
#include "funds/EstimateModels.h"
#include "store/LedgerRecords.h"

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw {

// The errors are measured over this many of a model's newest days with a NAV,
// and a model is compared with another only once it has that many.
inline constexpr int kAccuracyDays = 20;

// A trading day (Monday to Friday) between 14:55 and 15:05 China time, just
// before the close, whatever the machine's zone.
bool inRecordWindow(ledger::ChinaTime now);

// The New York date of the last US session that had closed (16:00 New York
// time, daylight saving as the US keeps it) at `utc`, on a weekday.
ledger::Day lastUsSession(std::time_t utc);

// The estimate took a US quote (a listed 105./106. holding that had one).
bool usesUsQuotes(const EstimateInputs& in, const ModelEstimate& estimate);

// What is logged of a fund on `today`: every model that applies, each
// estimate in 1e-4 %, and `usSession` beside those that used US quotes.
std::vector<ledger::LoggedEstimate> estimatesToLog(const std::string& code, const EstimateInputs& in,
                                                   ledger::Day today, ledger::Day usSession);

struct ModelAccuracy {
    EstimateModel model = EstimateModel::Holdings;
    int days = 0;            // days with a NAV counted, at most kAccuracyDays
    double meanError = 0;    // mean absolute error, percentage points
    double largestMiss = 0;  // the largest absolute error among them
};
using ModelErrors = std::map<EstimateModel, ModelAccuracy>;

// One model's figures over the given estimates, each against the NAV change
// it was matched with; an estimate still without its NAV change is not counted.
ModelAccuracy accuracyOf(EstimateModel model, const std::vector<const ledger::LoggedEstimate*>& estimates);

// Per model of one fund's log: over the model's newest kAccuracyDays days
// whose NAV change is known. A model without such a day is absent.
ModelErrors accuracyByModel(const std::vector<ledger::LoggedEstimate>& fundLog);

// Whether the errors choose among the models that apply: at least two of
// them have kAccuracyDays days measured.
bool errorsDecide(const std::vector<EstimateModel>& applicable, const ModelErrors& errors);
// The model a fund's estimate is taken from among those that apply (in the
// order feeder, index, holdings): the first, until the errors decide; then
// the one of those measured over kAccuracyDays days with the smaller error.
std::optional<EstimateModel> preferredModel(const std::vector<EstimateModel>& applicable, const ModelErrors& errors);
// The same over the estimates of applicableEstimates().
std::optional<ModelEstimate> preferredEstimate(const std::vector<ModelEstimate>& applicable,
                                               const ModelErrors& errors);
// The error shown beside an estimate of `model`: its mean absolute error,
// once it has a day measured.
std::optional<double> shownError(const ModelErrors& errors, EstimateModel model);

// "联接", "指数", "持仓".
Text modelShortName(EstimateModel model); // GBK

} // namespace fw
