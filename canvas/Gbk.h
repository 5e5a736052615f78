#pragma once
// The one place where text crosses between the program's GBK text and QString.
#include "model/Controls.h"
#include "model/Grid.h"
#include "model/Theme.h"
#include "text/Text.h"
#include <QColor>
#include <QString>

namespace fw {

QString gbkToQString(std::string_view gbkText);
Text qStringToGbk(const QString& text);

// The Qt object name of a control: its designed name.
inline QString qtName(Control control) { return QString::fromUtf8(designedName(control)); }

// A 0x00BBGGRR designed colour as the window's theme shows it; kDefaultColour: an invalid
// QColor (the widget's own).
QColor toQColor(Colour colour, ColourUse use = ColourUse::Text);

} // namespace fw
