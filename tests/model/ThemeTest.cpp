// The themes' colours: the light theme as designed, the dark theme legible.
#include "model/Theme.h"

#include <gtest/gtest.h>

#include <string>

using namespace fw;

namespace {

constexpr Colour bgr(int r, int g, int b) { return Colour(r) | Colour(g) << 8 | Colour(b) << 16; }

TEST(Theme, ContrastOfKnownPairs)
{
    // (L1 + 0.05) / (L2 + 0.05) with the sRGB luminance:
    // white 1, black 0 -> 1.05 / 0.05 = 21;
    // #777777: 119/255 = 0.4667, ((0.4667 + 0.055) / 1.055)^2.4 = 0.1845 -> 1.05 / 0.2345 = 4.48;
    // pure red: 0.2126 -> against white 1.05 / 0.2626 = 4.00.
    struct Case { Colour a, b; double expected; };
    const Case cases[] = {
        {0xFFFFFF, 0x000000, 21.0},
        {0x000000, 0xFFFFFF, 21.0},
        {bgr(119, 119, 119), 0xFFFFFF, 4.48},
        {bgr(255, 0, 0), 0xFFFFFF, 4.00},
        {0x123456, 0x123456, 1.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(contrastRatio(c.a, c.b), c.expected, 0.01) << std::hex << c.a << " on " << c.b;
}

// Every colour the window is designed with: figure texts (red, green, the
// fund grid's blue, silver, the second series' brown), the chart's greys and
// the sector tiles' fills.
struct Designed { const char* what; Colour colour; ColourUse use; };
const Designed kDesigned[] = {
    {"red figure", bgr(255, 0, 0), ColourUse::Text},
    {"green figure", bgr(0, 128, 0), ColourUse::Text},
    {"blue figure", bgr(0, 96, 192), ColourUse::Text},
    {"silver figure", bgr(192, 192, 192), ColourUse::Text},
    {"black text", 0x000000, ColourUse::Text},
    {"axis text", bgr(128, 128, 128), ColourUse::Text},
    {"first series", bgr(255, 0, 0), ColourUse::Line},
    {"second series (brown)", bgr(192, 96, 0), ColourUse::Line},
    {"red tile", bgr(255, 0, 0), ColourUse::Fill},
    {"green tile", bgr(128, 224, 0), ColourUse::Fill},
    {"white background", 0xFFFFFF, ColourUse::Fill},
    {"read-out box", bgr(192, 192, 192), ColourUse::Fill},
};

TEST(Theme, TheLightThemeShowsEveryColourAsDesigned)
{
    for (const Designed& d : kDesigned)
        EXPECT_EQ(themed(d.colour, d.use, Theme::Light), d.colour) << d.what;
    EXPECT_EQ(themed(0xFFFFFFFFu, ColourUse::Text, Theme::Dark), 0xFFFFFFFFu); // "default" stays a marker
}

TEST(Theme, TheDarkThemeKeepsEveryTextLegibleAndEveryHue)
{
    const Colour text = themed(0x000000, ColourUse::Text, Theme::Dark);
    for (const Designed& d : kDesigned) {
        SCOPED_TRACE(d.what);
        const Colour shownColour = themed(d.colour, d.use, Theme::Dark);
        if (d.use == ColourUse::Fill)
            EXPECT_GE(contrastRatio(text, shownColour), kLeastContrast);
        else
            EXPECT_GE(contrastRatio(shownColour, kDarkBackground), kLeastContrast);
        // The strongest channel of a coloured design stays the strongest.
        const int r = int(d.colour & 0xFF), g = int((d.colour >> 8) & 0xFF), b = int(d.colour >> 16);
        const int sr = int(shownColour & 0xFF), sg = int((shownColour >> 8) & 0xFF), sb = int(shownColour >> 16);
        if (r > g && r > b) {
            EXPECT_TRUE(sr > sg && sr > sb);
        }
        if (g > r && g > b) {
            EXPECT_TRUE(sg > sr && sg > sb);
        }
        if (b > r && b > g) {
            EXPECT_TRUE(sb > sr && sb > sg);
        }
    }
    // Greys turn around: white is the background, black its text, and the
    // silver of a zero stays quieter than ordinary text.
    EXPECT_EQ(themed(0xFFFFFF, ColourUse::Fill, Theme::Dark), kDarkBackground);
    EXPECT_EQ(text, bgr(225, 225, 225));
    const Colour silver = themed(bgr(192, 192, 192), ColourUse::Text, Theme::Dark);
    EXPECT_LT(silver & 0xFF, text & 0xFF);
    // Fine grid lines stay faint: 224 of 255 sits 31 above white, so 24 above the background.
    EXPECT_EQ(themed(bgr(224, 224, 224), ColourUse::Fill, Theme::Dark), bgr(54, 54, 54));
}

TEST(Theme, SettingAndChoice)
{
    struct Case { const char* text; std::optional<ThemeChoice> choice; Theme onLight, onDark; };
    const Case cases[] = {
        {"浅色", ThemeChoice::Light, Theme::Light, Theme::Light},
        {"深色", ThemeChoice::Dark, Theme::Dark, Theme::Dark},
        {"跟随系统", ThemeChoice::System, Theme::Light, Theme::Dark},
        {"dark", std::nullopt, Theme::Light, Theme::Light},
        {"", std::nullopt, Theme::Light, Theme::Light},
        {"深色 ", std::nullopt, Theme::Light, Theme::Light},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(themeChoiceOf(c.text), c.choice);
        if (c.choice) {
            EXPECT_EQ(themeOf(*c.choice, false), c.onLight);
            EXPECT_EQ(themeOf(*c.choice, true), c.onDark);
        }
    }
}

} // namespace
