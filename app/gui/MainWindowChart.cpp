// The main window's chart panel, its title, the period buttons under it and
// the whole-market load's bar below them.
#include "app/gui/MainWindow.h"
#include "app/gui/ChartPanel.h"
#include "app/gui/MakeControl.h"
#include "app/gui/TextFit.h"
#include "chart/ChartRenderer.h"
#include "canvas/Gbk.h"
#include "canvas/QtCanvas.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace fw {

void MainWindow::buildChartPanel()
{
    m_chart = new ChartPanel(QSize(608, 320), m_client);
    m_chart->setObjectName(qtName(Control::Chart));
    m_chart->setGeometry(816, 496, 608, 320);
    m_chart->onMouseMoved = [this](int x, int y) { m_controller.onChartMouseMoved(x, y); };
    m_controller.chart().setCanvas(&m_chart->canvas());
    // The chart title lies over the top edge of the panel; pointer moves pass
    // through it to the panel, so the read-out follows the pointer there too.
    QLabel* chartTitle = makeLabel(Control::ChartTitle, QString(), {992, 512, 240, 32}, m_client);
    chartTitle->setAlignment(Qt::AlignCenter);
    chartTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    // The panel reaches past the client area's right edge: its texts keep to
    // the part shown, and so does a title wider than its label.
    const QRect shown = m_chart->geometry().intersected(m_client->rect());
    m_chart->canvas().setVisibleWidth(shown.width());
    m_growingLabels.insert(chartTitle, {chartTitle->geometry(), shown});
}

void MainWindow::buildPeriodButtons()
{
    static const char* const periodCaptions[] = {"近1周", "近1月", "近3月", "近6月", "近1年", "近2年", "近3年"};
    static const int periodLefts[] = {840, 912, 984, 1064, 1136, 1216, 1288};
    // The buttons lie over the panel's bottom edge: they move down as far as
    // the chart's x-axis labels need, at the chart's font.
    QtCanvas& canvas = m_chart->canvas();
    const int labelsBottom = m_chart->y()
                             + ChartRenderer::xLabelTop(ChartRenderer::plotRectFor(canvas.width(), canvas.height()))
                             + canvas.lineHeight();
    const int top = std::max(792, labelsBottom);
    for (int i = 0; i < 7; ++i)
        makeButton<QPushButton>(periodControl(i + 1), periodCaptions[i], {periodLefts[i], top, 60, 35}, m_client);
    // A thin bar in the free strip under the period buttons: the whole-market
    // load's pages, then its profiles.
    m_loadProgress = new QProgressBar(m_client);
    m_loadProgress->setObjectName(QStringLiteral("加载进度"));
    m_loadProgress->setGeometry(840, std::min(std::max(836, top + 35 + 1), m_client->height() - 8), 508, 8);
    m_loadProgress->setTextVisible(false);
    m_loadProgress->hide();
}

void MainWindow::wirePeriodButtons()
{
    MainController& c = m_controller;
    for (int i = 1; i <= 7; ++i)
        connect(findChild<QAbstractButton*>(qtName(periodControl(i))), &QAbstractButton::clicked, this,
                [&c, i] { c.onChartPeriodClicked(i); });
}

} // namespace fw
