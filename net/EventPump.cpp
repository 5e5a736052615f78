#include "net/EventPump.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace fw {

namespace {

std::mutex g_pumpMutex;
std::function<void()> g_pump;             // guarded by g_pumpMutex
std::atomic<std::thread::id> g_uiThread{}; // default id = no UI thread
std::atomic<bool> g_aborted{false};

} // namespace

void installEventPump(std::function<void()> pump)
{
    std::lock_guard lock(g_pumpMutex);
    g_pump = std::move(pump);
    g_uiThread.store(std::this_thread::get_id());
}

void uninstallEventPump()
{
    std::lock_guard lock(g_pumpMutex);
    g_pump = nullptr;
    g_uiThread.store(std::thread::id{});
}

bool isUiThread()
{
    const std::thread::id ui = g_uiThread.load();
    return ui != std::thread::id{} && ui == std::this_thread::get_id();
}

void pumpEvents()
{
    if (!isUiThread())
        return;
    std::function<void()> pump;
    {
        // Copy out so the pump may start a nested fetch (which pumps again)
        // or even uninstall itself without dead-locking.
        std::lock_guard lock(g_pumpMutex);
        pump = g_pump;
    }
    if (pump)
        pump();
}

void abortAllTransfers() { g_aborted.store(true); }
bool transfersAborted() { return g_aborted.load(std::memory_order_relaxed); }
void resetTransferAbort() { g_aborted.store(false); }

} // namespace fw
