// The trade ledger at scale: 200 funds with 10 years of NAV history each in
// navcache.db, 10,000 trades over them in fundwatch.db. From open connections
// with the files in the OS cache, each round adds one trade dated five years
// back, then reads every trade and every NAV row again (no result is kept
// between rounds) and computes the positions, XIRR, the time-weighted return
// and the daily history. Targets: a round under 200 ms; the NAV cache under 50 MB.
#include "funds/Ledger.h"
#include "store/LedgerDatabase.h"
#include "store/NavCache.h"
#include "text/NumberText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace fw::ledger;

namespace {

constexpr int kFunds = 200, kTrades = 10000, kYears = 10;

std::string codeOf(int i)
{
    std::string s = std::to_string(100000 + i * 37);
    return s;
}

// Weekdays of ten years up to `last`, a random walk of unit values, a cash
// dividend about once a year.
std::vector<NavRow> history(int fund, Day last, std::mt19937_64& random)
{
    std::vector<NavRow> rows;
    int64_t unit = 10000, accumulated = 10000;
    std::uniform_int_distribution<int> move(-150, 160);
    for (Day d = last - kYears * 365; d <= last; ++d) {
        if (weekdayOf(d) >= 5)
            continue;
        NavRow r;
        r.day = d;
        const int64_t before = unit;
        unit = std::max<int64_t>(1000, unit + unit * move(random) / 10000);
        r.changePercent = (unit - before) * 1000000 / before;
        if ((d + fund) % 365 == 0 && unit > 2000) {
            r.dividend = 100;
            unit -= 100;
        }
        accumulated += unit - before + r.dividend;
        r.unitValue = unit;
        r.accumulated = accumulated;
        rows.push_back(r);
    }
    return rows;
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::filesystem::path dir
        = std::filesystem::temp_directory_path() / ("fw-bench-ledger-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string dataDir = dir.string();
    const Day today = chinaTime(std::time(nullptr)).day;
    std::mt19937_64 random(20261208);

    // ---- the files
    auto start = std::chrono::steady_clock::now();
    NavCache cache;
    if (!cache.open(navCacheFilePath(dataDir))) {
        std::fprintf(stderr, "bench_ledger: navcache.db: %s\n", cache.failure().c_str());
        return 1;
    }
    size_t navRows = 0;
    std::vector<std::vector<NavRow>> all(kFunds);
    for (int f = 0; f < kFunds; ++f) {
        all[size_t(f)] = history(f, today - 1, random);
        navRows += all[size_t(f)].size();
        if (!cache.store(codeOf(f), all[size_t(f)])) {
            std::fprintf(stderr, "bench_ledger: storing NAV rows: %s\n", cache.failure().c_str());
            return 1;
        }
    }
    const double storeMs = msSince(start);

    LedgerDatabase db;
    if (!db.open(ledgerFilePath(dataDir))) {
        std::fprintf(stderr, "bench_ledger: fundwatch.db: %s\n", db.failure().c_str());
        return 1;
    }
    std::vector<Trade> trades;
    std::uniform_int_distribution<int> fundOf(0, kFunds - 1);
    std::uniform_int_distribution<int> dayOf(0, kYears * 365 - 30);
    for (int i = 0; i < kTrades; ++i) {
        const int f = fundOf(random);
        Trade t;
        t.account = i % 3 == 0 ? "券商" : "默认";
        t.code = codeOf(f);
        t.date = today - 1 - kYears * 365 + dayOf(random);
        t.minute = 600 + i % 400;
        if (i % 5 == 4) {
            t.kind = TradeKind::Sell;
            t.shares = 1000 + i % 500; // more than held refuses the sale: that is part of the work too
        } else {
            t.kind = TradeKind::Buy;
            t.amount = 100000 + (i % 17) * 5000;
            t.feeRate = 1500;
        }
        trades.push_back(t);
    }
    if (!db.addTrades(trades)) {
        std::fprintf(stderr, "bench_ledger: storing trades: %s\n", db.failure().c_str());
        return 1;
    }
    for (int f = 0; f < kFunds; f += 4)
        db.setFeeSchedule(codeOf(f), {{7, 15000}, {365, 5000}, {730, 2500}, {-1, 0}});

    // ---- the timed rounds
    std::vector<double> times;
    size_t rowsRead = 0, historyDays = 0;
    double twr = 0;
    std::optional<double> xirr;
    for (int round = 0; round <= rounds; ++round) { // round 0 brings the files into the cache
        const auto t0 = std::chrono::steady_clock::now();
        Trade late;
        late.account = "默认";
        late.code = codeOf(round % kFunds);
        late.kind = TradeKind::Buy;
        late.date = today - 5 * 365;
        late.amount = 100000;
        if (!db.addTrade(late)) {
            std::fprintf(stderr, "bench_ledger: adding a trade: %s\n", db.failure().c_str());
            return 1;
        }
        LedgerInput input;
        input.trades = db.trades();
        input.settings = db.settings();
        const double tradesMs = msSince(t0);
        rowsRead = 0;
        for (const Trade& t : input.trades)
            if (!input.nav.count(t.code)) {
                input.nav[t.code] = cache.rows(t.code);
                rowsRead += input.nav[t.code].size();
            }
        const double readMs = msSince(t0);
        const LedgerResult result = evaluate(input);
        if (std::getenv("BENCH_LEDGER_SPLIT"))
            std::fprintf(stderr, "trades %.1f ms, NAV rows %.1f ms, evaluate %.1f ms\n", tradesMs, readMs - tradesMs,
                         msSince(t0) - readMs);
        const auto& h = result.ledger.history;
        twr = h.empty() ? 0 : timeWeightedReturn(h, h.front().day, h.back().day);
        xirr = result.ledger.figures.xirr;
        historyDays = h.size();
        if (round > 0)
            times.push_back(msSince(t0));
    }
    std::sort(times.begin(), times.end());

    cache.close();
    db.close();
    uintmax_t navBytes = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code e;
        const auto size = std::filesystem::file_size(navCacheFilePath(dataDir) + suffix, e);
        if (!e)
            navBytes += size;
    }
    std::error_code e;
    const uintmax_t ledgerBytes = std::filesystem::file_size(ledgerFilePath(dataDir), e);

    const double median = times[times.size() / 2];
    std::printf("ledger: %d trades over %d funds, %zu NAV rows (%d years), stored in %.0f ms\n", kTrades + rounds + 1,
                kFunds, navRows, kYears, storeMs);
    std::printf("  add one trade 5 years back + read %zu NAV rows + positions, XIRR, TWR, %zu days of history:\n",
                rowsRead, historyDays);
    std::printf("  best %.1f ms, median %.1f ms, worst %.1f ms of %d rounds (target under 200 ms): %s\n", times.front(),
                median, times.back(), rounds, median < 200 ? "met" : "MISSED");
    const std::string xirrText = xirr ? fw::unitsText(fw::roundedUnits(*xirr * 100, 2), 2) + " %" : "--";
    std::printf("  ledger XIRR %s, time-weighted return %s %%\n", xirrText.c_str(),
                fw::unitsText(fw::roundedUnits(twr * 100, 2), 2).c_str());
    std::printf("  navcache.db %.1f MB for %d funds x %d years (target under 50 MB): %s; fundwatch.db %.1f MB\n",
                double(navBytes) / 1e6, kFunds, kYears, navBytes < 50'000'000 ? "met" : "MISSED",
                double(ledgerBytes) / 1e6);
    std::filesystem::remove_all(dir);
    return median < 200 && navBytes < 50'000'000 ? 0 : 1;
}
