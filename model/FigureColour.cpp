#include "model/FigureColour.h"

#include <cmath>

namespace fw {

namespace {

constexpr double kTolerance = 0.0000001;
constexpr double kHighReturn = 50;

} // namespace

FigureRole figureRole(FigureUse use, double value)
{
    const bool rising = value > kTolerance;
    const bool high = value > kHighReturn + kTolerance;
    switch (use) {
    case FigureUse::FundGridReturn:
        if (std::fabs(value) <= kTolerance)
            return FigureRole::Silver;
        return high ? FigureRole::Blue : rising ? FigureRole::Red : FigureRole::Green;
    case FigureUse::PageDailyChange:
    case FigureUse::SectorFigure:
        return rising ? FigureRole::Red : FigureRole::Green;
    case FigureUse::PagePeriodReturn:
        return high ? FigureRole::Blue : rising ? FigureRole::Red : FigureRole::Green;
    case FigureUse::SectorTile:
        return rising ? FigureRole::Red : FigureRole::LightGreen;
    case FigureUse::ShownChange:
        return rising ? FigureRole::Red : value < -kTolerance ? FigureRole::Green : FigureRole::Silver;
    }
    return FigureRole::Plain;
}

Colour roleColour(FigureRole role)
{
    switch (role) {
    case FigureRole::Plain: return kDefaultColour;
    case FigureRole::Red: return kRed;
    case FigureRole::Green: return kGreen;
    case FigureRole::Silver: return kSilver;
    case FigureRole::Blue: return kBlue;
    case FigureRole::LightGreen: return kLightGreen;
    }
    return kDefaultColour;
}

Colour figureColour(FigureUse use, double value) { return roleColour(figureRole(use, value)); }

} // namespace fw
