#pragma once
// A Canvas that records every drawing call with the state it was drawn in.
#include "chart/Canvas.h"

#include <algorithm>
#include <string>
#include <vector>

namespace fw {

struct CanvasOp {
    enum Kind { Line, Rectangle, Fill, Ellipse, Text, Clear, Snapshot, Restore, ClearSnapshot, Flush } kind;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::string text;
    Colour pen = 0;
    int penWidth = 0;
    PenStyle style = PenStyle::Solid;
    DrawMode mode = DrawMode::Copy;
    Colour textColour = 0;
    Colour brush = 0;
};

class RecordingCanvas : public Canvas {
public:
    RecordingCanvas(int width = 608, int height = 320) : m_width(width), m_height(height) {}

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    void setPen(Colour colour, int width, PenStyle style) override
    {
        m_pen = colour;
        m_penWidth = width;
        m_style = style;
    }
    void setBrush(Colour colour) override { m_brush = colour; }
    void setTextColour(Colour colour) override { m_textColour = colour; }
    void setFontSize(int points) override { m_fontSize = points; }
    void setDrawMode(DrawMode mode) override { m_mode = mode; }
    DrawMode drawMode() const override { return m_mode; }

    void line(int x0, int y0, int x1, int y1) override { add(CanvasOp::Line, x0, y0, x1, y1); }
    void rectangle(int x0, int y0, int x1, int y1) override { add(CanvasOp::Rectangle, x0, y0, x1, y1); }
    void fillRectangle(int x0, int y0, int x1, int y1) override { add(CanvasOp::Fill, x0, y0, x1, y1); }
    void ellipse(int x0, int y0, int x1, int y1) override { add(CanvasOp::Ellipse, x0, y0, x1, y1); }
    void text(int x, int y, std::string_view t) override { add(CanvasOp::Text, x, y, 0, 0, std::string(t)); }
    void clear() override { add(CanvasOp::Clear); }
    void snapshot() override { add(CanvasOp::Snapshot); }
    void restore() override { add(CanvasOp::Restore); }
    void clearSnapshot() override { add(CanvasOp::ClearSnapshot); }
    void flush() override { add(CanvasOp::Flush); }
    // A canvas that knows its font: `bytePixels` per byte of text; and one
    // the window shows only `shown` pixels of (negative: all).
    std::optional<int> textWidth(std::string_view t) const override
    {
        return bytePixels > 0 ? std::optional<int>(bytePixels * int(t.size())) : std::nullopt;
    }
    int visibleWidth() const override { return shown >= 0 ? shown : m_width; }
    int bytePixels = 0;
    int shown = -1;

    std::vector<CanvasOp> ops;

    std::vector<CanvasOp> of(CanvasOp::Kind kind) const
    {
        std::vector<CanvasOp> out;
        std::copy_if(ops.begin(), ops.end(), std::back_inserter(out), [&](const CanvasOp& o) { return o.kind == kind; });
        return out;
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const CanvasOp& o : of(CanvasOp::Text))
            out.push_back(o.text);
        return out;
    }
    const CanvasOp* findText(const std::string& t) const
    {
        for (const CanvasOp& o : ops)
            if (o.kind == CanvasOp::Text && o.text == t)
                return &o;
        return nullptr;
    }
    size_t count(CanvasOp::Kind kind) const { return of(kind).size(); }

private:
    void add(CanvasOp::Kind kind, int x0 = 0, int y0 = 0, int x1 = 0, int y1 = 0, std::string t = {})
    {
        ops.push_back({kind, x0, y0, x1, y1, std::move(t), m_pen, m_penWidth, m_style, m_mode, m_textColour, m_brush});
    }
    int m_width, m_height;
    Colour m_pen = 0, m_textColour = 0, m_brush = 0;
    int m_penWidth = 1, m_fontSize = 9;
    PenStyle m_style = PenStyle::Solid;
    DrawMode m_mode = DrawMode::Copy;
};

} // namespace fw
