#pragma once
// How the window shows its designed colours: as designed (the light theme), or
// on a dark background (the dark theme). Every designed colour reaches the
// screen through themed(), so a theme is chosen in this one place. No Qt.
#include "model/Colour.h"
#include <optional>
#include <string_view>

namespace fw {

enum class Theme { Light, Dark };
// The setting: a theme, or the desktop's.
enum class ThemeChoice { Light, Dark, System };

// What a colour paints: text and lines are drawn on a background, a fill is one.
enum class ColourUse { Text, Line, Fill };

// The dark theme's background of grids, lists and the chart.
inline constexpr Colour kDarkBackground = 0x1E1E1E;
// The least contrast of a dark theme's text against its background (the
// common legibility threshold for body text).
inline constexpr double kLeastContrast = 4.5;

// The colour a designed colour shows as. The light theme shows every colour as
// designed. The dark theme turns greys around (white becomes the background,
// black its text), keeps the hue of other colours and lightens text and lines
// until they stand at least kLeastContrast from the background; a coloured fill
// is darkened until the theme's text stands that far from it.
Colour themed(Colour designed, ColourUse use, Theme theme);

// Contrast of two colours by their relative luminance: 1 (same) … 21.
double contrastRatio(Colour a, Colour b);

// The theme the window draws with; light until set (the command line's
// images are always light).
void setDisplayTheme(Theme theme);
Theme displayTheme();
inline Colour shown(Colour designed, ColourUse use) { return themed(designed, use, displayTheme()); }

// "浅色", "深色", "跟随系统" (UTF-8); nothing for any other text.
std::optional<ThemeChoice> themeChoiceOf(std::string_view utf8);
// The theme a choice comes to, given whether the desktop is dark.
Theme themeOf(ThemeChoice choice, bool desktopIsDark);

} // namespace fw
