#pragma once
// The one place where text crosses between the program's GBK text and QString.
#include "app/Grid.h"
#include "text/Text.h"
#include <QColor>
#include <QString>

namespace fw {

QString gbkToQString(std::string_view gbkText);
Text qStringToGbk(const QString& text);

// Designed control names are UTF-8 literals of the source.
inline QString controlName(const std::string& utf8Name) { return QString::fromStdString(utf8Name); }

// A 0x00BBGGRR colour as a QColor; kDefaultColour gives an invalid QColor.
QColor toQColor(Colour colour);

} // namespace fw
