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

#include "funds/RowPool.h"
#include "net/LoadToken.h"

#include <ctime>
#include <functional>
#include <memory>

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

// A fund's measured errors by model from the log in `dataDir` (none while
// there is no database, or one that cannot be read): with shownEstimate(),
// the estimate a fund shows and the ± error beside it. Reads the file: never
// on the window's thread.
ModelErrors loggedErrors(const std::string& dataDir, const std::string& code);
// The same of many funds from one reading of the database, in the order given.
std::vector<ModelErrors> loggedErrors(const std::string& dataDir, const std::vector<std::string>& codes);

// The columns of the accuracy table and one fund's texts (GBK): its code, the
// model chosen, the days measured, the mean absolute error and the largest
// miss ("0.34%"; "--" before a day is measured).
const std::vector<Text>& accuracyHeader();
std::vector<Text> accuracyTexts(const FundAccuracy& fund);

// What the 准确度 tab shows, read on a worker: the log of the database in
// `dataDir` (none while there is no database) after the NAV changes it waits
// for were brought in. `failure` (GBK) says why the database could not be
// read or a fund's changes are not up to date.
std::vector<FundAccuracy> loadAccuracies(const std::string& dataDir, const HttpRequestOptions& request,
                                         Text& failure);

// The window's record: at the first tick inside the recording window of a
// trading day, the day's estimates are recorded on a worker into the
// fundwatch.db the window's ledger opened (and the NAV changes the log waits
// for brought in); a record that failed is tried again at the next tick of
// the window. A tick never waits for the worker, and the end of the recorder
// cancels its requests and waits for no thread.
class EstimateRecorder {
public:
    using Clock = std::function<std::time_t()>;
    // `dataDir` "" keeps it off.
    explicit EstimateRecorder(std::string dataDir, Clock clock = {});
    ~EstimateRecorder();
    EstimateRecorder(const EstimateRecorder&) = delete;
    EstimateRecorder& operator=(const EstimateRecorder&) = delete;

    // True when a record started: the watchlist's stored value as it stands now.
    bool tick(const Text& storedWatchlist, const HttpRequestOptions& request);
    bool running() const;
    // The China day of the last record that succeeded; 0 before one.
    ledger::Day recordedDay() const;
    // The requests of a record under way are abandoned.
    void cancel();
    // Waits for the worker (never on the UI thread; tests).
    void wait() { m_pool.reap(true); }

private:
    struct Run {
        std::atomic<bool> finished {false};
        std::atomic<ledger::Day> succeeded {0};
    };
    std::string m_dataDir;
    Clock m_clock;
    ledger::Day m_recordedDay = 0;
    std::shared_ptr<Run> m_run;
    LoadToken m_load;
    RowPool m_pool;
};

} // namespace fw
