// The comparison chart as a user sees it: a fund picked from the five-star
// list draws its chart into the panel and fills its holdings; the pointer
// read-out appears over the chart and goes when the pointer leaves.
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/ChartPanel.h"
#include "chart/ChartRenderer.h"
#include "app/gui/MainWindow.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/WindowWorld.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace fw;

namespace {

int pixelsOf(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

// Counts the paint events a widget gets: what is drawn reaches the screen
// only through them.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

struct ChartWindowTest::Fixture : test::WindowWorld {
    Fixture() : WindowWorld(market(2000)) {}
};

void ChartWindowTest::init()
{
    resetTransferAbort();
    f = new Fixture;
    f->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->window));
}

void ChartWindowTest::cleanup()
{
    delete f;
    f = nullptr;
}

void ChartWindowTest::pickingAFundDrawsItsChartAndHoldings()
{
    ChartPanel* panel = f->window.chartPanel();
    const QImage cleared = panel->grab().toImage();
    PaintCounter paints(panel);

    QTest::mouseClick(f->find(Control::FiveStarButton), Qt::LeftButton);
    auto* grid = f->find<QTableView>(Control::FundGrid);
    QTRY_VERIFY(!grid->model()->index(0, 1).data().toString().isEmpty());
    const QRect cell = grid->visualRect(grid->model()->index(0, 0));
    int painted = paints.count;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_VERIFY(paints.count > painted);

    // The panel shows the fund's red line; the holdings are in their grid.
    QTRY_VERIFY(pixelsOf(panel->grab().toImage(), qRgb(255, 0, 0)) > 200);
    const QImage chart = panel->grab().toImage();
    QVERIFY(chart != cleared);
    QAbstractItemModel* holdings = f->find<QTableView>(Control::HoldingsGrid)->model();
    QTRY_VERIFY(!holdings->index(0, 0).data().toString().isEmpty());
    QTRY_VERIFY(!holdings->index(0, 2).data().toString().isEmpty());

    // The read-out appears over the chart and goes when the pointer leaves the panel.
    painted = paints.count;
    QTest::mouseMove(panel, QPoint(200, 150));
    QTest::mouseMove(panel, QPoint(210, 160));
    QTRY_VERIFY(paints.count > painted);
    QVERIFY(panel->grab().toImage() != chart);
    painted = paints.count;
    QTest::mouseMove(f->find(Control::FiveStarButton), QPoint(10, 10));
    QTRY_VERIFY(paints.count > painted);
    QCOMPARE(panel->grab().toImage(), chart);

    // A period button redraws with its title.
    QTest::mouseClick(f->find(periodControl(1)), Qt::LeftButton);
    QTRY_COMPARE(f->find<QLabel>(Control::ChartTitle)->text(), QStringLiteral("近1周收益率走势对比图"));
    QTRY_VERIFY(panel->grab().toImage() != chart);
}

void ChartWindowTest::pointerOverTheChartTitleKeepsTheReadOut()
{
    ChartPanel* panel = f->window.chartPanel();
    QTest::mouseClick(f->find(Control::FiveStarButton), Qt::LeftButton);
    auto* grid = f->find<QTableView>(Control::FundGrid);
    QTRY_VERIFY(!grid->model()->index(0, 1).data().toString().isEmpty());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 0)).center());
    const ChartRenderer& renderer = f->controller.chart().renderer();
    QTRY_VERIFY(renderer.hasChartCopy());
    QTest::mouseClick(f->find(periodControl(1)), Qt::LeftButton);
    auto* title = f->find<QLabel>(Control::ChartTitle);
    QTRY_COMPARE(title->text(), QStringLiteral("近1周收益率走势对比图"));

    // The title covers panel x 176-415, y 16-47; the plot's read-out reaches
    // up to y 40. A move over the title is a move over the panel.
    // Six points, five intervals over x 40-508: x 100 is at point 1, x 296 at point 3.
    const QPoint overTitle(120, 28); // panel (296, 44)
    QCOMPARE(panel->mapFromGlobal(title->mapToGlobal(overTitle)), QPoint(296, 44));
    QTest::mouseMove(panel, QPoint(100, 150));
    QTRY_COMPARE(renderer.lastIndex(), 1);
    QCOMPARE(renderer.boxLeft(), 372); // away from the pointer, on the right
    QTest::mouseMove(title, overTitle);
    QTRY_COMPARE(renderer.lastIndex(), 3);
    QCOMPARE(renderer.boxLeft(), 50);
}
