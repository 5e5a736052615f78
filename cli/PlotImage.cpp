#include "cli/PlotImage.h"

#include "canvas/QtCanvas.h"
#include "chart/ChartRenderer.h"

#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace fw::cli {

namespace {

// Qt's own notes (a missing runtime directory, font fallbacks) are not the
// command's to report: standard error carries its messages only.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "fundwatch-cli: %s\n", message.toLocal8Bit().constData());
}

// Text drawing needs a GUI application (its fonts); without a display the
// offscreen platform serves, unless the caller chose another one.
std::unique_ptr<QGuiApplication> guiApplication()
{
    if (QGuiApplication::instance())
        return nullptr;
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quietQtMessages);
    static int argc = 1;
    static char name[] = "fundwatch-cli";
    static char* argv[] = {name, nullptr};
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    // Qt has just taken LC_NUMERIC from the environment; figures are written
    // with a point whatever it says.
    std::setlocale(LC_NUMERIC, "C");
    return app;
}

} // namespace

namespace {

// Draws on an image of the panel's size and writes it as PNG, whole or not at all.
bool writePlot(const std::string& path, const std::function<void(ChartRenderer&, Canvas&)>& draw, std::string& error)
{
    const std::unique_ptr<QGuiApplication> app = guiApplication();
    QImage image(kPlotWidth, kPlotHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QtCanvas canvas(image);
        ChartRenderer renderer;
        draw(renderer, canvas);
        canvas.finish();
    }
    // Written beside the target and renamed into place on commit.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString().toStdString();
        return false;
    }
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        error = "the image could not be encoded";
        return false;
    }
    if (!file.commit()) {
        error = file.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

bool writeComparisonPlot(const std::string& path, const ComparisonData& data, std::string_view codeA,
                         std::string_view codeB, std::string& error)
{
    return writePlot(
        path, [&](ChartRenderer& renderer, Canvas& canvas) { drawComparison(renderer, canvas, data, codeA, codeB); },
        error);
}

bool writeIntradayPlot(const std::string& path, const IntradayChartData& data, std::string& error)
{
    return writePlot(path, [&](ChartRenderer& renderer, Canvas& canvas) { drawIntraday(renderer, canvas, data); },
                     error);
}

} // namespace fw::cli
