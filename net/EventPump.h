#pragma once
// A download on the UI thread lets pending window events run while it waits.
// The app installs the pump (and names its UI thread); workers never pump.
// abortAllTransfers() ends every transfer in flight on every thread (used when
// the main window closes); nothing can be fetched afterwards.
#include <functional>

namespace fw {

void installEventPump(std::function<void()> pump); // call on the UI thread
void uninstallEventPump();
bool isUiThread();
// Runs the pump when called on the UI thread with a pump installed.
void pumpEvents();

void abortAllTransfers();
bool transfersAborted();
void resetTransferAbort(); // for tests

} // namespace fw
