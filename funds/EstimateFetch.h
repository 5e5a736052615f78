#pragma once
// Fetching what today's estimate of a fund is made from: its positions and
// its asset mix as JSON from the mobile fund API (the two requests at the same
// time), then the day's changes of every quote identifier the models may ask
// for (its stocks, Hong Kong and US ones included, a feeder's target, the index
// its name holds) through the quote host, at most 100 identifiers a request.
// The bulk form fetches many funds on five workers and asks for each
// identifier once, whichever funds hold it. A fund that cannot be estimated
// says why; nothing here ever stands in a 0 % for a missing figure. No Qt.
#include "funds/EstimateLog.h"
#include "funds/EstimateModels.h"
#include "net/HttpClient.h"
#include "net/RetryPolicy.h"
#include "text/Text.h"
#include <optional>
#include <vector>

namespace fw {

struct EstimateFund {
    Text code; // "000001"
    Text name; // GBK; an index fund is known by the index its name holds
    // The error each model is known to make on the fund (loggedErrors()),
    // which choose the estimate shown; none known: the order of the models.
    ModelErrors errors = {};
};

struct FetchedEstimateInputs {
    Text fundCode;
    std::optional<EstimateInputs> inputs; // none when the fund's answers failed
    Text failure;                         // why there are no inputs (GBK, as a fetch status may be); "" with them
};

inline constexpr size_t kQuotesPerRequest = 100;
inline constexpr int kEstimateWorkers = 5;

// The request paths of the mobile fund API (the latest disclosure).
Text positionsPath(std::string_view fundCode);
Text assetMixPath(std::string_view fundCode);

// Every distinct quote identifier the models may ask for, in a fixed order:
// the feeder's target, the listed stocks that name a market, the index of
// the fund's name.
std::vector<Text> estimateQuoteIds(const FundPositions& positions, std::string_view gbkFundName);

// The identifiers cut into requests of at most kQuotesPerRequest each. The
// quote service answers a stock by its code without the market, so no request
// holds two identifiers of one code ("1.000001" the index, "0.000001" the
// stock): the second goes to another request.
std::vector<std::vector<Text>> quoteRequests(const std::vector<Text>& ids);

// The day's changes of the identifiers; what has no quote (suspended,
// unknown) is absent. The identifiers of a request that failed go into
// `failed` (when given) with the fetch's status.
struct QuoteFailure {
    Text id;
    Text status;
};
QuoteChanges fetchQuoteChanges(const std::vector<Text>& ids, const HttpRequestOptions& base,
                               const RetryPolicy* retry = nullptr, std::vector<QuoteFailure>* failed = nullptr);

// The first half of the one-fund fetch below: the two answers, read, the
// inputs without their changes (for a caller that fetches more beside the quotes).
FetchedEstimateInputs fetchEstimateAnswers(const EstimateFund& fund, const HttpRequestOptions& base,
                                           const RetryPolicy* retry = nullptr);

// One fund on the calling thread: its two answers fetched together, but one
// after the other on the UI thread (where each fetch keeps the window alive)
// and on a bulk row (which asks for one answer at a time).
FetchedEstimateInputs fetchEstimateInputs(const EstimateFund& fund, const HttpRequestOptions& base,
                                          const RetryPolicy* retry = nullptr);

// Many funds on kEstimateWorkers workers: first the two answers of every fund,
// then the quotes of every identifier any of them needs, each asked for once.
// The results are in the order of `funds`. Every request carries base.load:
// once it is cancelled nothing more is sent and the funds not done fail.
std::vector<FetchedEstimateInputs> fetchEstimateInputs(const std::vector<EstimateFund>& funds,
                                                       const HttpRequestOptions& base,
                                                       const RetryPolicy* retry = nullptr);

} // namespace fw
