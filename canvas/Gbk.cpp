#include "canvas/Gbk.h"
#include "text/CodePage.h"

namespace fw {

QString gbkToQString(std::string_view gbkText)
{
    // Most grid cells are figures: plain ASCII needs no code-page conversion.
    bool ascii = true;
    for (unsigned char c : gbkText) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(gbkText.data(), qsizetype(gbkText.size()));
    return QString::fromStdString(gbkToUtf8(gbkText));
}

Text qStringToGbk(const QString& text)
{
    return utf8ToGbk(text.toStdString());
}

QColor toQColor(Colour colour, ColourUse use)
{
    if (colour == kDefaultColour)
        return {};
    const Colour c = shown(colour, use);
    return QColor(redOf(c), greenOf(c), blueOf(c));
}

} // namespace fw
