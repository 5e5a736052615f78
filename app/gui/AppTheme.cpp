#include "app/gui/AppTheme.h"

#include "canvas/Gbk.h"
#include "store/ConfigFile.h"
#include "text/CodePage.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace fw {

std::optional<ThemeChoice> themeOption(std::string_view utf8)
{
    if (utf8 == "light")
        return ThemeChoice::Light;
    if (utf8 == "dark")
        return ThemeChoice::Dark;
    if (utf8 == "system")
        return ThemeChoice::System;
    return themeChoiceOf(utf8);
}

ThemeChoice storedThemeChoice(const ConfigFile& config)
{
    static const Text section = gbk("界面"), key = gbk("主题");
    return themeChoiceOf(gbkToUtf8(config.read(section, key))).value_or(ThemeChoice::System);
}

bool desktopIsDark()
{
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

void applyTheme(QApplication& app, Theme theme)
{
    setDisplayTheme(theme);
    if (theme == Theme::Light)
        return;
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    auto designed = [](Colour colour, ColourUse use) { return toQColor(colour, use); };
    const QColor text = designed(0x000000, ColourUse::Text);
    const QColor base = designed(0xFFFFFF, ColourUse::Fill);
    const QColor window = designed(0xF0F0F0, ColourUse::Fill);  // the dialog grey of the light design
    const QColor button = designed(0xE1E1E1, ColourUse::Fill);
    const QColor quiet = designed(0x808080, ColourUse::Text);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, quiet);
    p.setColor(QPalette::Highlight, QColor(38, 79, 120));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, designed(0xFF0000, ColourUse::Text));
    p.setColor(QPalette::Light, button.lighter(130));
    p.setColor(QPalette::Midlight, button.lighter(115));
    p.setColor(QPalette::Mid, button.darker(130));
    p.setColor(QPalette::Dark, button.darker(160));
    p.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, quiet);
    app.setPalette(p);
}

} // namespace fw
