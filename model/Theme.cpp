#include "model/Theme.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace fw {

namespace {

struct Rgb {
    double r, g, b; // 0 … 255
};

Rgb channels(Colour c) { return {double(redOf(c)), double(greenOf(c)), double(blueOf(c))}; }

Colour colourOf(Rgb v)
{
    auto byte = [](double x) { return int(std::lround(std::clamp(x, 0.0, 255.0))); };
    return rgb(byte(v.r), byte(v.g), byte(v.b));
}

double linear(double channel)
{
    const double s = channel / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

double luminance(Colour c)
{
    const Rgb v = channels(c);
    return 0.2126 * linear(v.r) + 0.7152 * linear(v.g) + 0.0722 * linear(v.b);
}

// A grey (v, v, v) of the light design turned around onto the dark background:
// white becomes the background, black the text, the steps between in order.
double darkGrey(double v)
{
    const double background = double(redOf(kDarkBackground));
    return background + (255.0 - v) * (225.0 - background) / 255.0;
}

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

std::atomic<Theme> g_theme {Theme::Light};

} // namespace

double contrastRatio(Colour a, Colour b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Colour themed(Colour designed, ColourUse use, Theme theme)
{
    if (theme == Theme::Light || designed > 0xFFFFFF)
        return designed; // as designed; a "default" marker is left for the caller
    const Rgb v = channels(designed);
    const bool grey = v.r == v.g && v.g == v.b;
    if (use == ColourUse::Fill) {
        if (grey)
            return colourOf({darkGrey(v.r), darkGrey(v.r), darkGrey(v.r)});
        // A coloured fill keeps its hue, darkened until light text reads on it.
        const Colour text = themed(0x000000, ColourUse::Text, theme);
        Rgb fill = v;
        for (int step = 0; step < 40 && contrastRatio(colourOf(fill), text) < kLeastContrast; ++step)
            fill = mix(fill, {0, 0, 0}, 0.08);
        return colourOf(fill);
    }
    Rgb ink = grey ? Rgb{darkGrey(v.r), darkGrey(v.r), darkGrey(v.r)} : v;
    for (int step = 0; step < 40 && contrastRatio(colourOf(ink), kDarkBackground) < kLeastContrast; ++step)
        ink = mix(ink, {255, 255, 255}, 0.08);
    return colourOf(ink);
}

void setDisplayTheme(Theme theme) { g_theme.store(theme); }
Theme displayTheme() { return g_theme.load(); }

std::optional<ThemeChoice> themeChoiceOf(std::string_view utf8)
{
    if (utf8 == "浅色")
        return ThemeChoice::Light;
    if (utf8 == "深色")
        return ThemeChoice::Dark;
    if (utf8 == "跟随系统")
        return ThemeChoice::System;
    return std::nullopt;
}

Theme themeOf(ThemeChoice choice, bool desktopIsDark)
{
    switch (choice) {
    case ThemeChoice::Light: return Theme::Light;
    case ThemeChoice::Dark: return Theme::Dark;
    case ThemeChoice::System: break;
    }
    return desktopIsDark ? Theme::Dark : Theme::Light;
}

} // namespace fw
