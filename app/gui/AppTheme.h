#pragma once
// The window's theme: chosen by --theme, else by [界面] 主题 in the settings,
// else by the desktop, and applied to the whole application once at start.
#include "model/Theme.h"

#include <optional>
#include <string_view>

class QApplication;

namespace fw {

class ConfigFile;

// The option's value: 浅色, 深色, 跟随系统, or light, dark, system.
std::optional<ThemeChoice> themeOption(std::string_view utf8);
// The stored choice; 跟随系统 when the setting is missing or says anything else.
ThemeChoice storedThemeChoice(const ConfigFile& config);
// Whether the desktop's own palette is dark (Qt tells it through the platform
// palette: its window colour is darker than its text).
bool desktopIsDark();
// The dark theme takes the Fusion style with a dark palette and turns every
// designed colour the window draws; the light theme leaves the desktop's look.
void applyTheme(QApplication& app, Theme theme);

} // namespace fw
