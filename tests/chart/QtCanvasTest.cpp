// The Qt canvas over a real image (offscreen platform).
#include "canvas/QtCanvas.h"
#include "chart/Comparison.h"
#include "text/CodePage.h"

#include <QGuiApplication>
#include <QPainter>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace fw;

namespace {

QImage panelImage()
{
    QImage image(608, 320, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

int pixelsOf(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

ComparisonData storedTwoFunds()
{
    std::ifstream in(std::string(FW_CHART_DATA_DIR) + "/two_funds.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return parseComparison(utf8ToGbk(s.str()), "005669", "005939");
}

TEST(QtCanvas, InvertedLinesDrawnTwiceLeaveTheImage)
{
    QImage image = panelImage();
    QtCanvas canvas(image);
    canvas.setPen(rgb(255, 0, 0), 3, PenStyle::Solid);
    canvas.line(10, 10, 500, 300);
    canvas.setBrush(rgb(192, 192, 192));
    canvas.fillRectangle(100, 50, 300, 150);
    canvas.finish();
    const QImage before = image.copy();

    for (PenStyle style : {PenStyle::Dotted, PenStyle::Solid}) {
        canvas.setPen(rgb(96, 96, 96), 1, style);
        canvas.setDrawMode(DrawMode::Invert);
        canvas.line(40, 120, 528, 120);
        canvas.line(200, 290, 200, 30);
        canvas.finish();
        EXPECT_NE(image, before);
        EXPECT_GT(pixelsOf(image, qRgb(0, 0, 0)), 100); // white turned black
        canvas.line(40, 120, 528, 120);
        canvas.line(200, 290, 200, 30);
        canvas.setDrawMode(DrawMode::Copy);
        canvas.finish();
        EXPECT_EQ(image, before);
    }
}

// Boxes leave out the far corner's row and column; the box's fill sits one
// pixel inside its outline.
TEST(QtCanvas, BoxesCoverTheirPixels)
{
    QImage image = panelImage();
    QtCanvas canvas(image);
    canvas.setPen(rgb(96, 96, 96), 1, PenStyle::Solid);
    canvas.rectangle(50, 40, 176, 91);
    canvas.setBrush(rgb(192, 192, 192));
    canvas.fillRectangle(52, 42, 174, 89);
    canvas.setPen(rgb(255, 0, 0), 1, PenStyle::Solid);
    canvas.ellipse(300, 100, 305, 105);
    canvas.finish();
    const QRgb outline = qRgb(96, 96, 96), fill = qRgb(192, 192, 192), white = qRgb(255, 255, 255);
    const struct { int x, y; QRgb colour; } pixels[] = {
        {50, 40, outline}, {175, 90, outline}, {175, 40, outline}, {176, 40, white}, {50, 91, white},
        {51, 41, white},   {52, 42, fill},     {173, 88, fill},     {174, 88, white}, {173, 89, white},
        {300, 102, qRgb(255, 0, 0)}, {304, 102, qRgb(255, 0, 0)}, {305, 102, white},
    };
    for (const auto& p : pixels)
        EXPECT_EQ(image.pixel(p.x, p.y) & 0xFFFFFF, p.colour & 0xFFFFFF) << p.x << "," << p.y;
    EXPECT_EQ(pixelsOf(image, fill), 122 * 47);
}

TEST(QtCanvas, RestoreErasesTheOverlay)
{
    QImage image = panelImage();
    QtCanvas canvas(image);
    canvas.setPen(rgb(0, 0, 0), 1, PenStyle::Solid);
    canvas.rectangle(40, 60, 508, 290);
    canvas.snapshot();
    const QImage chart = image.copy();
    const uchar* buffer = image.constBits();

    canvas.setBrush(rgb(192, 192, 192));
    canvas.fillRectangle(50, 40, 176, 91);
    canvas.setTextColour(rgb(255, 0, 0));
    canvas.text(55, 45, gbk("时间：2026/12/04"));
    canvas.finish();
    EXPECT_NE(image, chart);

    canvas.restore();
    EXPECT_EQ(image, chart);
    EXPECT_EQ(image.constBits(), buffer); // the panel's image is written in place

    canvas.clearSnapshot();
    canvas.restore();
    EXPECT_EQ(pixelsOf(image, qRgb(255, 255, 255)), 608 * 320);
}

TEST(QtCanvas, DrawsAComparisonAndItsReadOut)
{
    QImage image = panelImage();
    int flushes = 0;
    QtCanvas canvas(image, [&] { ++flushes; });
    ChartRenderer renderer;
    ASSERT_TRUE(drawComparison(renderer, canvas, storedTwoFunds(), "005669", "005939"));
    canvas.finish();
    EXPECT_GT(pixelsOf(image, qRgb(255, 0, 0)), 200);  // the first fund's line
    EXPECT_GT(pixelsOf(image, qRgb(192, 96, 0)), 200); // the second fund's line, 24768
    EXPECT_GT(pixelsOf(image, qRgb(0, 0, 0)), 400);    // axes
    const QImage chart = image.copy();
    EXPECT_EQ(canvas.chartCopy(), chart);

    renderer.trackPointer(300, 100);
    canvas.finish();
    EXPECT_GT(pixelsOf(image, qRgb(192, 192, 192)) - pixelsOf(chart, qRgb(192, 192, 192)), 4000); // the box
    EXPECT_EQ(flushes, 1);

    renderer.trackPointer(600, 100); // off the chart
    canvas.finish();
    EXPECT_EQ(image, chart);

    // One point: the empty frame with its note.
    const ComparisonData onePoint = parseComparison(gbk("\\\"dataProvider\\\": [{ \"date\": \"2026/12/08\",\"005669\":1.00}]}\",\"ErrCode\""),
                               "005669", "");
    ASSERT_TRUE(drawComparison(renderer, canvas, onePoint, "005669", ""));
    canvas.finish();
    EXPECT_EQ(pixelsOf(image, qRgb(255, 0, 0)), 0);
    EXPECT_GT(pixelsOf(image, qRgb(255, 255, 255)), 0);
}

TEST(QtCanvas, ThinAxisLinesCoverThePaintersPixels)
{
    // Every kind of thin line along an axis, also far beyond the image and of
    // no length, against the painter's own drawing with the canvas's pen.
    std::mt19937 random(20261208);
    auto between = [&random](int low, int high) { return int(random() % unsigned(high - low + 1)) + low; };
    for (int n = 0; n < 3000; ++n) {
        const int reach = n % 3 == 0 ? 3000 : 70;
        const int x0 = between(-reach / 2, reach), y0 = between(-reach / 2, reach);
        const bool vertical = n % 2 == 0;
        const int x1 = vertical ? x0 : between(-reach / 2, reach), y1 = vertical ? between(-reach / 2, reach) : y0;
        const bool dotted = n % 4 < 2;
        const int width = int(random() % 2);

        QImage drawn(60, 50, QImage::Format_RGB32), expected(60, 50, QImage::Format_RGB32);
        drawn.fill(Qt::white);
        expected.fill(Qt::white);
        {
            QtCanvas canvas(drawn);
            canvas.setPen(rgb(224, 224, 224), width, dotted ? PenStyle::Dotted : PenStyle::Solid);
            canvas.line(x0, y0, x1, y1);
        }
        QPainter painter(&expected);
        QPen pen(QColor(224, 224, 224));
        pen.setWidth(0);
        pen.setStyle(dotted ? Qt::DotLine : Qt::SolidLine);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(x0, y0, x1, y1);
        painter.end();
        ASSERT_EQ(drawn, expected) << x0 << "," << y0 << " to " << x1 << "," << y1 << (dotted ? " dotted" : "");
    }
}

// On an image for a screen of pixel ratio 2 the canvas keeps the panel's
// coordinates, and each pixel of a thin line is a 2 x 2 block of the image.
TEST(QtCanvas, ImageOfPixelRatioTwoKeepsThePanelsCoordinates)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    {
        QtCanvas canvas(image);
        EXPECT_EQ(canvas.width(), 20);
        EXPECT_EQ(canvas.height(), 10);
        canvas.setPen(rgb(0, 0, 0), 1, PenStyle::Solid);
        canvas.line(2, 3, 6, 3); // pixels 2 .. 5 of row 3
        canvas.setPen(rgb(255, 0, 0), 0, PenStyle::Dotted);
        canvas.line(0, 7, 8, 7); // pixels 0, 3 and 6 of row 7
        canvas.line(15, 9, 15, 2); // pixels 8, 5 and 2 of column 15, from the lower end
    }
    auto blackAt = [&image](int x, int y) { return image.pixel(x, y) == qRgb(0, 0, 0); };
    auto redAt = [&image](int x, int y) { return image.pixel(x, y) == qRgb(255, 0, 0); };
    for (int x = 4; x < 12; ++x)
        EXPECT_TRUE(blackAt(x, 6) && blackAt(x, 7)) << x;
    EXPECT_FALSE(blackAt(3, 6) || blackAt(12, 6) || blackAt(4, 5) || blackAt(4, 8));
    for (int x : {0, 1, 6, 7, 12, 13})
        EXPECT_TRUE(redAt(x, 14) && redAt(x, 15)) << x;
    EXPECT_FALSE(redAt(2, 14) || redAt(5, 15) || redAt(14, 14) || redAt(0, 16));
    for (int y : {16, 17, 10, 11, 4, 5})
        EXPECT_TRUE(redAt(30, y) && redAt(31, y)) << y;
    EXPECT_FALSE(redAt(30, 18) || redAt(30, 12) || redAt(29, 16) || redAt(32, 16));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
