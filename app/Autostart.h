#pragma once
// Start at login as a per-user XDG autostart entry: a desktop entry file in
// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart) that the desktop
// session runs when the user logs in. File-system names are UTF-8.
#include <string>

namespace fw {

// Where the entry lives: <config home>/autostart/fundwatch.desktop ("" without a home).
std::string autostartEntryPath();

// The Exec= value that starts `programPath` without arguments: the path as one
// quoted argument, escaped by the desktop entry rules (quoting, then the string
// escapes, then "%" doubled since it would start a field code).
std::string desktopExecValue(const std::string& programPath);

// Writes the entry for the program at `programPath` (an existing file, absolute
// path), replacing an entry already there. False when nothing was written.
bool enableStartAtLogin(const std::string& programPath);
// Removes the entry; false when there was none to remove or it could not be removed.
bool disableStartAtLogin();

} // namespace fw
