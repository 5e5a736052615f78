#pragma once
// fundwatch-cli as a function: the command line in, the output on the given
// streams, the exit status out (0 done, 1 the requests failed, 2 bad usage,
// 130 interrupted). The executable adds the terminal checks and Ctrl-C.
#include <ctime>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace fw::cli {

struct CliIo {
    std::ostream& out;
    std::ostream& err;
    bool outIsTerminal = false; // aligned table instead of tab-separated lines
    bool errIsTerminal = false; // progress bars
    bool colours = false;       // terminal colours in the table
};

inline constexpr int kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130;
// estimate --record outside the minutes it records in: nothing was done.
inline constexpr int kExitNotNow = 3;

int runCli(const std::vector<std::string>& args, CliIo& io);

// Ctrl-C: every transfer ends at once and the command stops without writing
// a file. Safe to call from a signal handler.
void requestCancel();
bool cancelRequested();
void resetCancel(); // for tests

// The moment the commands take as now: the system clock unless one is set
// (tests; an empty one puts the system clock back).
std::time_t cliNow();
void setCliClock(std::function<std::time_t()> clock);

} // namespace fw::cli
