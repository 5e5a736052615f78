#pragma once
// The colour of a figure, from its value: rising red, falling green, each use
// with its own rule for zero and for the figures it singles out. A rule gives
// a role and one function gives the role's designed colour; the models keep
// designed colours, and the theme (model/Theme.h) shows them on the screen.
// No Qt.
#include "model/Colour.h"

namespace fw {

// The designed colours, 0x00BBGGRR.
inline constexpr Colour kRed = 0x0000FF, kGreen = 0x008000, kSilver = 0xC0C0C0, kBlue = 0xC06000;
inline constexpr Colour kLightGreen = 0x00E080; // a falling sector's tile

enum class FigureRole {
    Plain,      // the control's own colour
    Red,        // rising
    Green,      // falling
    Silver,     // unchanged
    Blue,       // a period return above 50 percent
    LightGreen, // the background of a sector tile that did not rise
};

// Where a figure is shown; each use keeps its own rule.
enum class FigureUse {
    FundGridReturn,   // the fund grid's returns: zero silver, above 50 blue
    PageDailyChange,  // a fund page's daily change: above zero red, else green
    PagePeriodReturn, // a fund page's period returns: above 50 blue, above zero red, else green
    SectorFigure,     // a sector's return as shown (two decimals): above zero red, else green
    SectorTile,       // the tile behind it: red above zero, else light green
    ShownChange,      // a change or a gain as shown (estimate, portfolio): zero silver
};

// The values are read as the user sees them: a use that shows a rounded figure
// is given the rounded value. Within 0.0000001 of zero (or of 50) is zero (50).
FigureRole figureRole(FigureUse use, double value);

// The designed colour of a role.
Colour roleColour(FigureRole role);

// roleColour of figureRole.
Colour figureColour(FigureUse use, double value);

} // namespace fw
