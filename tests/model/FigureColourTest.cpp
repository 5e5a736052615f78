#include "model/FigureColour.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fw {
namespace {

// Each use keeps its own rule. A use that shows a rounded figure is given the
// value as shown (the callers round; their own tests hold that part).
TEST(FigureColour, EachUseKeepsItsRule)
{
    using U = FigureUse;
    using R = FigureRole;
    const struct {
        FigureUse use;
        double value;
        FigureRole role;
    } cases[] = {
        // The fund grid: zero (within 1e-7) silver, above 50 blue.
        {U::FundGridReturn, -0.01, R::Green},      {U::FundGridReturn, 0, R::Silver},
        {U::FundGridReturn, -0.0, R::Silver},      {U::FundGridReturn, 0.00000005, R::Silver},
        {U::FundGridReturn, -0.00000005, R::Silver}, {U::FundGridReturn, 0.01, R::Red},
        {U::FundGridReturn, 50, R::Red},           {U::FundGridReturn, 50.00000005, R::Red},
        {U::FundGridReturn, 50.01, R::Blue},       {U::FundGridReturn, -60, R::Green},
        {U::FundGridReturn, 50.0000001, R::Red},
        // A fund page's daily change: zero is green.
        {U::PageDailyChange, 1.2345, R::Red},      {U::PageDailyChange, 0.53, R::Red},
        {U::PageDailyChange, 0.0000002, R::Red},   {U::PageDailyChange, -0.5, R::Green},
        {U::PageDailyChange, 0, R::Green},         {U::PageDailyChange, 0.0000001, R::Green},
        {U::PageDailyChange, 60, R::Red},
        // A fund page's period returns: zero green, above 50 blue.
        {U::PagePeriodReturn, 65.2, R::Blue},      {U::PagePeriodReturn, 50.01, R::Blue},
        {U::PagePeriodReturn, 50, R::Red},         {U::PagePeriodReturn, 12, R::Red},
        {U::PagePeriodReturn, 50.0000001, R::Red}, {U::PagePeriodReturn, 0.0000001, R::Green},
        {U::PagePeriodReturn, 0, R::Green},        {U::PagePeriodReturn, -0.52, R::Green},
        // A sector's figure and its tile, by the figure at two decimals.
        {U::SectorFigure, 0.01, R::Red},           {U::SectorFigure, 0, R::Green},
        {U::SectorFigure, -1.23, R::Green},        {U::SectorFigure, 60, R::Red},
        {U::SectorTile, 0.01, R::Red},             {U::SectorTile, 14.88, R::Red},
        {U::SectorTile, 0, R::LightGreen},         {U::SectorTile, -1.01, R::LightGreen},
        // A change or a gain as shown: zero silver, never blue.
        {U::ShownChange, 0.01, R::Red},            {U::ShownChange, 0, R::Silver},
        {U::ShownChange, -0.0, R::Silver},         {U::ShownChange, -0.01, R::Green},
        {U::ShownChange, 125, R::Red},             {U::ShownChange, 0.0000001, R::Silver},
        {U::ShownChange, -0.0000001, R::Silver},   {U::ShownChange, -0.0000002, R::Green},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "use " << int(c.use) << ", value " << c.value);
        EXPECT_EQ(figureRole(c.use, c.value), c.role);
    }
}

// Each role has its designed colour (0x00BBGGRR), and the colour of a figure
// is its role's.
TEST(FigureColour, RolesHaveTheDesignedColours)
{
    const struct {
        FigureRole role;
        Colour colour;
    } cases[] = {
        {FigureRole::Red, 0x0000FF},    {FigureRole::Green, 0x008000},      {FigureRole::Silver, 0xC0C0C0},
        {FigureRole::Blue, 0xC06000},   {FigureRole::LightGreen, 57472},    {FigureRole::Plain, kDefaultColour},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roleColour(c.role), c.colour) << int(c.role);
    EXPECT_EQ(figureColour(FigureUse::FundGridReturn, 50.01), 0xC06000u);
    EXPECT_EQ(figureColour(FigureUse::SectorTile, 0.01), 255u);
    EXPECT_EQ(figureColour(FigureUse::PageDailyChange, 0), 0x008000u);
}

// One packing of 0x00BBGGRR: red in the low byte.
TEST(Colour, PacksRedInTheLowByte)
{
    const struct {
        int red, green, blue;
        Colour packed;
    } cases[] = {{255, 0, 0, 0x0000FF}, {0, 128, 0, 0x008000}, {0, 96, 192, 0xC06000}, {128, 224, 0, 57472},
                 {192, 192, 192, 0xC0C0C0}, {1, 2, 3, 0x030201}};
    for (const auto& c : cases) {
        EXPECT_EQ(rgb(c.red, c.green, c.blue), c.packed);
        EXPECT_EQ(redOf(c.packed), c.red);
        EXPECT_EQ(greenOf(c.packed), c.green);
        EXPECT_EQ(blueOf(c.packed), c.blue);
    }
}

} // namespace
} // namespace fw
