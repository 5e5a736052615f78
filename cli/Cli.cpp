#include "cli/Cli.h"

#include "store/AppPaths.h"
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/TextTable.h"
#include "net/EventPump.h"

#include <atomic>
#include <mutex>

namespace fw::cli {

namespace {

std::atomic<bool> g_cancel {false};
static_assert(std::atomic<bool>::is_always_lock_free, "the cancel flag is set from a signal handler");

using Command = int (*)(CliSession&);

// estimate CODE reads today's estimate; estimate --record/--accuracy the log.
int runEstimateOrLog(CliSession& session)
{
    return session.options.record || session.options.accuracy ? runEstimateLog(session) : runEstimate(session);
}

std::mutex g_clockMutex;
std::function<std::time_t()> g_clock;

Command commandOf(const std::string& name)
{
    static const std::pair<const char*, Command> commands[] = {
        {"five-star", runFiveStar}, {"board", runBoard},     {"sectors", runSectors},
        {"sector", runSector},      {"fund", runFund},       {"compare", runCompare},
        {"search", runSearch},      {"export", runExport},
        {"portfolio", runPortfolio}, {"ledger", runLedger},   {"dca", runDca},
        {"alerts", runAlerts},
        {"estimate", runEstimateOrLog},
        {"intraday", runIntraday},
    };
    for (const auto& [commandName, run] : commands)
        if (name == commandName)
            return run;
    return nullptr;
}

} // namespace

void requestCancel()
{
    g_cancel.store(true);
    abortAllTransfers();
}

bool cancelRequested() { return g_cancel.load(); }

std::time_t cliNow()
{
    std::lock_guard lock(g_clockMutex);
    return g_clock ? g_clock() : std::time(nullptr);
}

void setCliClock(std::function<std::time_t()> clock)
{
    std::lock_guard lock(g_clockMutex);
    g_clock = std::move(clock);
}

void resetCancel()
{
    g_cancel.store(false);
    resetTransferAbort();
}

int runCli(const std::vector<std::string>& args, CliIo& io)
{
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (!parsed.options) {
        io.err << "fundwatch-cli: " << printableText(parsed.error) << "\n(`fundwatch-cli --help` lists the commands)\n";
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        io.out << usageText(options.command);
        return kExitDone;
    }
    const Command command = commandOf(options.command);
    if (!command) {
        io.err << "fundwatch-cli: " << printableText(options.command) << " is not available in this build\n";
        return kExitUsage;
    }

    CliSession session(options, io);
    // Settings never go to some other folder (such as the current one).
    if (session.dataDir.empty()) {
        session.error("数据目录无法使用：" + unusableDataDirectory(options.dataDir));
        return kExitUsage;
    }
    if (!session.start())
        return kExitFailed;
    const int status = command(session);
    if (cancelRequested()) {
        io.err << "fundwatch-cli: interrupted\n";
        return kExitInterrupted;
    }
    // A change that was not saved is no success, whichever command made it.
    if (const std::string failure = session.context.saveFailure(); !failure.empty()) {
        session.error("配置文件无法保存：" + failure + "（" + session.config.path() + "）");
        return status == kExitDone ? kExitFailed : status;
    }
    return status;
}

} // namespace fw::cli
