#pragma once
// The estimate log at work: the day's estimates of every watchlist and ledger
// fund recorded into fundwatch.db, the NAV changes they wait for brought in,
// and each fund's measured errors. Runs on the calling thread (a worker in
// the window); no Qt.
#include "funds/EstimateFetch.h"
#include "funds/EstimateLog.h"
#include "funds/LedgerBook.h"
#include "store/LedgerDatabase.h"
#include "store/NavCache.h"
#include "funds/Watchlist.h"

#include <ctime>

#include <string>
#include <vector>

namespace fw {

// The funds whose estimates are logged: the watchlist's funds with their
// names, then the ledger's others, each once, in that order.
std::vector<EstimateFund> loggedFunds(const std::vector<WatchEntry>& watchlist,
                                      const std::vector<ledger::Trade>& trades);

// Estimates every fund with every model that applies to it and logs each as
// the estimate of `now`'s China day (those that used US quotes beside the US
// session they came from). A fund without a name has it read from its fund
// page first (the index model goes by the name). Whether `now` is in the
// recording window is the caller's to decide.
struct RecordOutcome {
    int funds = 0;      // funds asked for
    int estimated = 0;  // of them, those estimated by at least one model
    int stored = 0;     // estimates newly logged; 0 when the day was logged already
    bool writeFailed = false;
    std::vector<Text> failures; // GBK, one line per fund or write that failed
};
RecordOutcome recordEstimates(ledger::LedgerDatabase& db, std::vector<EstimateFund> funds, std::time_t now,
                              const HttpRequestOptions& request);

// Brings in the NAV changes the logged estimates wait for: each fund with
// such estimates has its NAV history in navcache.db brought up to date from
// the oldest day one waits for, and the changes of its rows are stored beside
// them. The number of estimates given a change, and why a fund's history or a
// write failed (GBK, one line each).
struct NavMatchOutcome {
    int matched = 0;
    int funds = 0;       // funds that waited
    int failedFunds = 0; // of them, those whose history could not be fetched
    bool writeFailed = false;
    std::vector<Text> failures;
};
NavMatchOutcome matchLoggedNavs(ledger::LedgerDatabase& db, ledger::NavCache& cache,
                                const HttpRequestOptions& request,
                                const ledger::NavUpdate& update = ledger::fetchNavHistory);

// One fund's measured errors and the model its estimate is taken from.
struct FundAccuracy {
    std::string code;
    ModelErrors errors;
    EstimateModel chosen = EstimateModel::Holdings;
    // The chosen model's figures; days 0 while none is measured.
    ModelAccuracy shown() const;
};
// Per fund of the log, in code order. The models a fund has logged stand for
// those that apply to it.
std::vector<FundAccuracy> fundAccuracies(const std::vector<ledger::LoggedEstimate>& log);

} // namespace fw
