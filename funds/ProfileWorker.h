#pragma once
// The worker thread that fills one fund-grid row's profile figures, and the
// counters it shares with the load that starts it (the whole-market load owns
// a ProfileWork and starts one worker per row, a few at a time).
#include "funds/FeatureContext.h"
#include "net/RetryPolicy.h"
#include <atomic>
#include <optional>

namespace fw {

struct ProfileWork {
    std::atomic<int> fundRowCount {0};         // data rows of the list the workers fill
    std::atomic<int> activeProfileWorkers {0}; // counted up by the starter before each start
    // The fund-grid load the rows belong to (FeatureContext::fundGridLoads),
    // set before the first worker starts. Workers write only while it is
    // current, through the token: once a newer load has begun, nothing more.
    LoadTicket gridTicket;
    // Set before the first worker starts: how a page that fails for a moment
    // is tried again (none: once). Its `stop` is the worker's own; workers
    // stop waiting as soon as `cancelled` is set or the grid is not theirs.
    std::optional<RetryPolicy> retry;
    std::atomic<bool> cancelled {false};
    // Rows whose fund still lacks a page after every try.
    std::atomic<int> fundsWithoutProfile {0};
};

// Thread entry: std::thread(ProfileWorker{context, work, row}). Reads the code
// in (row, 1), fetches the profile and writes columns 13-16 of that row and
// the progress caption "row/fundRowCount". A row beyond fundRowCount fetches
// and writes nothing. Every worker gives back the count it was started with.
struct ProfileWorker {
    FeatureContext& context;
    ProfileWork& work;
    int row = 0;

    void operator()() const;
};

} // namespace fw
