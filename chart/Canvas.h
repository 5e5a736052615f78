#pragma once
// The drawing surface the chart is drawn through: an immediate-mode panel with
// one pen, one brush, one text colour and one font size at a time, plus one
// stored copy of the whole image (the chart without the pointer overlay).
// The Qt panel implements it over an image; tests record the calls.
#include "model/Colour.h"
#include "text/Text.h"
#include <optional>

namespace fw {

enum class PenStyle { Solid, Dotted };
// Invert: every pixel under the pen is inverted, so a line drawn twice leaves
// the image as it was.
enum class DrawMode { Copy, Invert };

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;

    // Width 0 and 1 both draw one pixel wide.
    virtual void setPen(Colour colour, int width, PenStyle style) = 0;
    virtual void setBrush(Colour colour) = 0;
    virtual void setTextColour(Colour colour) = 0;
    virtual void setFontSize(int points) = 0;
    virtual void setDrawMode(DrawMode mode) = 0;
    virtual DrawMode drawMode() const = 0;

    virtual void line(int x0, int y0, int x1, int y1) = 0;
    // Outline in the pen, corners (x0, y0) and (x1, y1).
    virtual void rectangle(int x0, int y0, int x1, int y1) = 0;
    // Filled with the brush, no outline.
    virtual void fillRectangle(int x0, int y0, int x1, int y1) = 0;
    // Outline in the pen of the ellipse inside the box.
    virtual void ellipse(int x0, int y0, int x1, int y1) = 0;
    // GBK text with its top left corner at (x, y), in the text colour.
    virtual void text(int x, int y, std::string_view gbkText) = 0;
    // The width in pixels the text takes at the current font size, when the
    // canvas knows its font; without one the chart estimates it.
    virtual std::optional<int> textWidth(std::string_view) const { return std::nullopt; }
    // How much of the canvas, from its left edge, the window shows (a panel
    // may reach past the window's edge).
    virtual int visibleWidth() const { return width(); }
    // The whole image to the background colour (white).
    virtual void clear() = 0;

    // The chart copy: snapshot() copies the whole image into it, restore()
    // copies it back, clearSnapshot() blanks it.
    virtual void snapshot() = 0;
    virtual void restore() = 0;
    virtual void clearSnapshot() = 0;

    // What was drawn may be shown now and pending window events may run.
    virtual void flush() {}
};

} // namespace fw
