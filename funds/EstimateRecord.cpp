#include "funds/EstimateRecord.h"

#include <algorithm>

namespace fw {

using namespace ledger;

NavMatchOutcome matchLoggedNavs(LedgerDatabase& db, NavCache& cache, const HttpRequestOptions& request,
                                const NavUpdate& update)
{
    NavMatchOutcome out;
    for (const auto& [code, from] : db.pendingNavDays()) {
        if (request.load.cancelled())
            break;
        ++out.funds;
        if (update) {
            const Text why = update(request, cache, code, from);
            if (!why.empty()) {
                ++out.failedFunds;
                out.failures.push_back(why);
                continue;
            }
        }
        const int matched = db.storeNavChanges(code, cache.rows(code));
        if (matched < 0) {
            out.writeFailed = true;
            out.failures.push_back(Text(code) + ": " + db.failure());
            break;
        }
        out.matched += matched;
    }
    return out;
}

ModelAccuracy FundAccuracy::shown() const
{
    const auto it = errors.find(chosen);
    if (it != errors.end())
        return it->second;
    ModelAccuracy none;
    none.model = chosen;
    return none;
}

std::vector<FundAccuracy> fundAccuracies(const std::vector<LoggedEstimate>& log)
{
    std::vector<FundAccuracy> out;
    // The log comes by fund, model and day.
    for (size_t i = 0; i < log.size();) {
        size_t end = i;
        std::vector<EstimateModel> models;
        while (end < log.size() && log[end].code == log[i].code) {
            const EstimateModel m = EstimateModel(log[end].model);
            if (std::find(models.begin(), models.end(), m) == models.end())
                models.push_back(m);
            ++end;
        }
        std::sort(models.begin(), models.end());
        FundAccuracy fund;
        fund.code = log[i].code;
        fund.errors = accuracyByModel(std::vector<LoggedEstimate>(log.begin() + long(i), log.begin() + long(end)));
        fund.chosen = preferredModel(models, fund.errors).value_or(EstimateModel::Holdings);
        out.push_back(std::move(fund));
        i = end;
    }
    return out;
}

} // namespace fw
