#pragma once
// Makes a label or a button of the main window at its designed place, named
// by its control.
#include "canvas/Gbk.h"
#include <QLabel>
#include <QRect>

namespace fw {

inline QLabel* makeLabel(Control control, const QString& text, const QRect& geometry, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(qtName(control));
    label->setTextFormat(Qt::PlainText); // fund names come from the network: never rich text
    label->setGeometry(geometry);
    return label;
}

template <class Button>
Button* makeButton(Control control, const char* caption, const QRect& geometry, QWidget* parent)
{
    auto* button = new Button(QString::fromUtf8(caption), parent);
    button->setObjectName(qtName(control));
    button->setGeometry(geometry);
    return button;
}

} // namespace fw
