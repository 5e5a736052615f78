// The main window keeps every text a user needs whole, at the screen's scale
// (QT_SCALE_FACTOR is set for the whole process) and with each CJK font the
// package recommends, both as the desktop's font and as the fallback behind
// a Latin one: codes, dates, figures, titles, captions and legends fit; names
// end in "…" and show whole in their tooltip.
#include "app/gui/ChartPanel.h"
#include "app/gui/TextFit.h"
#include "canvas/Gbk.h"
#include "canvas/QtCanvas.h"
#include "chart/ChartRenderer.h"
#include "funds/HoldingsEstimate.h"
#include "tests/gui/WindowWorld.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <memory>
#include <unistd.h>

using namespace fw;

namespace {

const QString kName = QStringLiteral("华夏中证新能源汽车交易型开放式指数证券投资基金"); // 23 characters
const QString kName20 = kName.left(20);

// Draws through the panel's canvas and notes where each text went.
class NotingCanvas : public Canvas {
public:
    explicit NotingCanvas(QtCanvas& canvas) : c(canvas) {}
    struct Noted { int x, y; QString text; };
    std::vector<Noted> texts;

    int width() const override { return c.width(); }
    int height() const override { return c.height(); }
    void setPen(Colour colour, int width, PenStyle style) override { c.setPen(colour, width, style); }
    void setBrush(Colour colour) override { c.setBrush(colour); }
    void setTextColour(Colour colour) override { c.setTextColour(colour); }
    void setFontSize(int points) override { c.setFontSize(points); }
    void setDrawMode(DrawMode mode) override { c.setDrawMode(mode); }
    DrawMode drawMode() const override { return c.drawMode(); }
    void line(int x0, int y0, int x1, int y1) override { c.line(x0, y0, x1, y1); }
    void rectangle(int x0, int y0, int x1, int y1) override { c.rectangle(x0, y0, x1, y1); }
    void fillRectangle(int x0, int y0, int x1, int y1) override { c.fillRectangle(x0, y0, x1, y1); }
    void ellipse(int x0, int y0, int x1, int y1) override { c.ellipse(x0, y0, x1, y1); }
    void text(int x, int y, std::string_view t) override
    {
        texts.push_back({x, y, gbkToQString(t)});
        c.text(x, y, t);
    }
    std::optional<int> textWidth(std::string_view t) const override { return c.textWidth(t); }
    int visibleWidth() const override { return c.visibleWidth(); }
    void clear() override { c.clear(); }
    void snapshot() override { c.snapshot(); }
    void restore() override { c.restore(); }
    void clearSnapshot() override { c.clearSnapshot(); }
    void flush() override { c.flush(); }

private:
    QtCanvas& c;
};

// The tooltip a cell shows when the pointer rests on it.
QString tooltipOf(QAbstractItemView* view, const QModelIndex& index)
{
    // Hidden at once, not after the tooltip's fade.
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel"))
            top->hide();
    const QPoint at = view->visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The room the style leaves for a cell's text.
int textRoom(QAbstractItemView* view, const QModelIndex& index)
{
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return view->visualRect(index).width() - 2 * margin;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<int>)

class TextFitTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void columnsGrowAndTheNamesGiveWay_data();
    void columnsGrowAndTheNamesGiveWay();
    void everyTextFitsOrIsElidedWithItsTooltip_data();
    void everyTextFitsOrIsElidedWithItsTooltip();
    void estimateLinesKeepTheirPlaceAndShowWhole_data();
    void estimateLinesKeepTheirPlaceAndShowWhole();
};

void TextFitTest::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QT_SCALE_FACTOR"), "run once per screen scale, with QT_SCALE_FACTOR set");
}

void TextFitTest::columnsGrowAndTheNamesGiveWay_data()
{
    using Widths = std::vector<int>;
    QTest::addColumn<Widths>("designed");
    QTest::addColumn<Widths>("needed");
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("giver");
    QTest::addColumn<Widths>("expected");
    QTest::newRow("all fit") << Widths{190, 70, 75} << Widths{0, 52, 69} << 400 << 0 << Widths{190, 70, 75};
    QTest::newRow("date grows, room left") << Widths{190, 70, 75} << Widths{0, 52, 77} << 400 << 0
                                           << Widths{190, 70, 77};
    // 66 + 53 + 58 = 177 in 166: the name gives 11.
    QTest::newRow("name gives the excess") << Widths{66, 52, 48} << Widths{52, 53, 58} << 166 << 0
                                           << Widths{55, 53, 58};
    // 55 would cut the name's header of 60: the grid scrolls instead.
    QTest::newRow("name keeps its header") << Widths{66, 52, 48} << Widths{60, 53, 58} << 166 << 0
                                           << Widths{60, 53, 58};
    // 30 + 52 + 140 + 40 = 262: fits 264, gives 4 in 258.
    QTest::newRow("middle giver, room") << Widths{30, 50, 140, 40} << Widths{26, 52, 28, 30} << 264 << 2
                                        << Widths{30, 52, 140, 40};
    QTest::newRow("middle giver, short") << Widths{30, 50, 140, 40} << Widths{26, 52, 28, 30} << 258 << 2
                                         << Widths{30, 52, 136, 40};
    QTest::newRow("giver grown itself") << Widths{40, 70} << Widths{56, 0} << 100 << 0 << Widths{56, 70};
}

void TextFitTest::columnsGrowAndTheNamesGiveWay()
{
    using Widths = std::vector<int>;
    QFETCH(Widths, designed);
    QFETCH(Widths, needed);
    QFETCH(int, room);
    QFETCH(int, giver);
    QFETCH(Widths, expected);
    QCOMPARE(fittedColumnWidths(designed, needed, room, giver, needed[size_t(giver)]), expected);
}

void TextFitTest::everyTextFitsOrIsElidedWithItsTooltip_data()
{
    QTest::addColumn<QStringList>("families");
    QTest::newRow("Noto Sans CJK") << QStringList{QStringLiteral("Noto Sans CJK SC")};
    QTest::newRow("DejaVu Sans, then Noto Sans CJK")
        << QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")};
    QTest::newRow("WenQuanYi Micro Hei") << QStringList{QStringLiteral("WenQuanYi Micro Hei")};
    QTest::newRow("DejaVu Sans, then WenQuanYi Micro Hei")
        << QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")};
}

void TextFitTest::everyTextFitsOrIsElidedWithItsTooltip()
{
    QFETCH(QStringList, families);
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families)
        QVERIFY2(installed.contains(family), qPrintable(family + QStringLiteral(" is not installed")));
    QFont font(families.front(), 9);
    font.setFamilies(families);
    QApplication::setFont(font);

    test::WindowWorld w(test::WindowWorld::market(20));
    MainModels& m = w.models;
    const double scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();

    // The widest texts the service sends, in every grid and list.
    const Text name = qStringToGbk(kName20);
    const TextList figures(9, gbk("-100.00%"));
    for (Grid* grid : {&m.fundGrid, &m.compareGrid}) {
        for (int row = 1; row < grid->rowCount(); ++row) {
            TextList cells{name, row % 2 ? "000001" : "110022", gbk("债券型-中短债"), "2026-12-04"};
            cells.insert(cells.end(), figures.begin(), figures.end());
            cells.insert(cells.end(), {"-100.00%", "-100.00%", "-100.00%", "-100.00%"});
            grid->setRow(row, 0, cells);
        }
    }
    for (Grid* grid : {&m.holdingsGrid, &m.baseHoldingsGrid})
        for (int row = 1; row < grid->rowCount(); ++row)
            grid->setRow(row, 0, {name, row % 2 ? "600519" : "00700", "99.99%"});
    for (int i = 1; i <= 30; ++i)
        m.watchlist.addRow({std::to_string(i), i % 2 ? "000001" : "00700", name, gbk(i % 2 ? "基金" : "股票")});
    for (int i = 0; i < 5; ++i)
        m.suggestions.addRow({name, "000001"});
    View& view = m.view;
    view.setVisible(Control::Suggestions, true);
    view.setCaption(Control::HoldingsCaption, name);
    view.setCaption(Control::BaseHoldingsCaption, name);
    const Text title = gbk("近3年月收益率走势对比图（数据点过多，仅显示前2000个）");
    view.setCaption(Control::ChartTitle, title);
    const Text estimate = gbk("持仓估算 -100.00%（覆盖 100.0%）");
    view.setCaption(Control::HoldingsEstimate, estimate);

    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QTRY_COMPARE(w.find<QTreeView>(Control::Suggestions)->model()->rowCount(), 5);
    QCoreApplication::processEvents();
    w.window.applyViewChanges();

    QWidget* client = w.window.centralWidget();
    int elided = 0;
    for (QAbstractItemView* view : client->findChildren<QAbstractItemView*>()) {
        if (qobject_cast<QHeaderView*>(view))
            continue; // checked with its view
        const QString where = view->objectName();
        QAbstractItemModel* model = view->model();
        QVERIFY2(model->rowCount() > 0, qPrintable(where));
        const QFontMetrics fm = view->fontMetrics();
        auto* header = qobject_cast<QTableView*>(view) ? static_cast<QTableView*>(view)->horizontalHeader()
                                                        : static_cast<QTreeView*>(view)->header();
        const int headerMargin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        int right = 0;
        for (int c = 0; c < model->columnCount(); ++c) {
            if (header->isSectionHidden(c))
                continue;
            right = std::max(right, header->sectionViewportPosition(c) + header->sectionSize(c));
            const QString title = model->headerData(c, Qt::Horizontal).toString();
            QVERIFY2(fm.horizontalAdvance(title) + 2 * headerMargin <= header->sectionSize(c),
                     qPrintable(where + QStringLiteral(" header ") + title));
            for (int r = 0; r < model->rowCount(); ++r) {
                const QModelIndex index = model->index(r, c);
                const QString text = index.data().toString();
                if (fm.horizontalAdvance(text) <= textRoom(view, index))
                    continue;
                // Only names may be cut, and they show whole in their tooltip.
                QVERIFY2(text == kName20, qPrintable(where + QStringLiteral(": ") + text + QStringLiteral(" is cut")));
                QCOMPARE(view->textElideMode(), Qt::ElideRight);
                if (r == 0)
                    QCOMPARE(tooltipOf(view, index), text);
                ++elided;
            }
        }
        // The columns end inside the view: an elided name's "…" shows.
        QVERIFY2(right <= view->viewport()->width(), qPrintable(where + QStringLiteral(" columns end at %1, viewport %2, view %3").arg(right).arg(view->viewport()->width()).arg(view->width())));
        // A cell that fits shows no tooltip.
        if (model->columnCount() > 1 && !header->isSectionHidden(1))
            QCOMPARE(tooltipOf(view, model->index(0, 1)), QString());
    }
    QVERIFY(elided > 0);

    // Captions: names end in "…" with the whole name as tooltip; titles and
    // figures show whole.
    for (Control control : {Control::HoldingsCaption, Control::BaseHoldingsCaption}) {
        auto* label = w.find<QLabel>(control);
        QVERIFY(label->text().endsWith(QChar(0x2026)));
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        QCOMPARE(label->toolTip(), kName20);
    }
    auto* chart = w.window.chartPanel();
    const QRect shownChart = chart->geometry().intersected(client->rect());
    for (auto [control, text] : {std::pair{Control::ChartTitle, title}, std::pair{Control::HoldingsEstimate, estimate}}) {
        auto* label = w.find<QLabel>(control);
        QCOMPARE(label->text(), gbkToQString(text));
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
        QVERIFY(client->rect().contains(label->geometry()));
    }
    QVERIFY(shownChart.contains(w.find<QLabel>(Control::ChartTitle)->geometry()));

    // Button and box captions fit the room their style leaves them, and no
    // control covers another.
    for (QAbstractButton* button : client->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QStyle::SubElement contents = qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                            : qobject_cast<QCheckBox*>(button)  ? QStyle::SE_CheckBoxContents
                                                                                : QStyle::SE_PushButtonContents;
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text())
                     <= button->style()->subElementRect(contents, &option, button).width(),
                 qPrintable(button->text()));
        for (QAbstractButton* other : client->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(other == button || !other->geometry().intersects(button->geometry()),
                     qPrintable(button->text() + QStringLiteral(" and ") + other->text()));
    }

    // The chart: legends, captions and axis labels inside the part of the
    // panel the window shows, the x-axis labels above the period buttons.
    auto& canvas = chart->canvas();
    QCOMPARE(canvas.visibleWidth(), shownChart.width());
    NotingCanvas noting(canvas);
    ChartRenderer renderer;
    renderer.drawChartFrame(noting, "10|12-01||12-02||12-03||12-04||12-05|", "4|-100|100", 0, 0, 0, 0, 2, 0,
                            gbk("时间|收益率(%)"), TextList{"12-01", "12-02", "12-03", "12-04", "12-05"});
    renderer.drawSeries({-100, -50, 0, 50, 100}, 3, 255, "000001");
    renderer.drawSeries({100, 50, 0, -50, -100}, 3, 24768, "110022");
    QVERIFY(noting.texts.size() > 8);
    const QFontMetrics chartFont(QFont(QApplication::font().families(), -1));
    int periodTop = client->height();
    for (int i = 1; i <= 7; ++i)
        periodTop = std::min(periodTop, w.find(periodControl(i))->y());
    for (const auto& noted : noting.texts) {
        const int width = *canvas.textWidth(qStringToGbk(noted.text));
        QVERIFY2(noted.x >= 0 && noted.x + width <= canvas.visibleWidth(), qPrintable(noted.text));
        if (noted.y == ChartRenderer::xLabelTop(renderer.plotRect()))
            QVERIFY2(chart->y() + noted.y + canvas.lineHeight() <= periodTop, qPrintable(noted.text));
    }
    QVERIFY(std::any_of(noting.texts.begin(), noting.texts.end(), [](const auto& n) { return n.text == "110022"; }));

    // The chart image has the screen's pixel density.
    QCOMPARE(chart->image().devicePixelRatio(), scale);
    QCOMPARE(chart->image().width(), qRound(chart->width() * scale));
    w.window.close();
}

void TextFitTest::estimateLinesKeepTheirPlaceAndShowWhole_data() { everyTextFitsOrIsElidedWithItsTooltip_data(); }

// Every line of today's estimate shows whole in the 336 pixels under the
// holdings grid: where the line itself is too wide its words are shortened,
// and the label neither moves nor grows.
void TextFitTest::estimateLinesKeepTheirPlaceAndShowWhole()
{
    QFETCH(QStringList, families);
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families)
        QVERIFY2(installed.contains(family), qPrintable(family + QStringLiteral(" is not installed")));
    QFont font(families.front(), 9);
    font.setFamilies(families);
    QApplication::setFont(font);

    test::WindowWorld w(test::WindowWorld::market(20));
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    auto* label = w.find<QLabel>(Control::HoldingsEstimate);
    const QRect designed = label->geometry();
    QCOMPARE(designed.width(), 336);

    struct Case {
        const char* what;
        EstimateModel model;
        double change;
        std::optional<double> coverage;
        bool low;
        std::optional<double> error;
    };
    // The widest figures each part takes: a fall of 10%, full coverage, a 10% error.
    const Case cases[] = {
        {"holdings", EstimateModel::Holdings, -10, 100, false, std::nullopt},
        {"holdings, error", EstimateModel::Holdings, -10, 100, false, 10},
        {"holdings, low coverage", EstimateModel::Holdings, -10, 69.95, true, std::nullopt},
        {"holdings, low coverage, error", EstimateModel::Holdings, -10, 69.95, true, 10},
        {"feeder, error", EstimateModel::Feeder, -10, std::nullopt, false, 10},
        {"index, error", EstimateModel::Index, -10, std::nullopt, false, 10},
    };
    bool shortened = false;
    for (const Case& c : cases) {
        HoldingsEstimate e;
        e.model = c.model;
        e.change = c.change;
        e.coverage = c.coverage;
        e.lowCoverage = c.low;
        e.error = c.error;
        showHoldingsEstimate(w.models.view, e);
        w.window.applyViewChanges();
        QStringList forms;
        for (const Text& form : estimateLineForms(e))
            forms << gbkToQString(form);
        const QString shown = label->text();
        QVERIFY2(forms.contains(shown), qPrintable(QString::fromUtf8(c.what) + QStringLiteral(": ") + shown));
        QCOMPARE(label->geometry(), designed);
        QVERIFY2(labelWidthFor(*label, shown) <= designed.width(), qPrintable(shown));
        QVERIFY2(label->toolTip().isEmpty(), qPrintable(shown)); // not cut
        // Shortened only where the line itself does not fit.
        if (shown != forms.front())
            QVERIFY2(labelWidthFor(*label, forms.front()) > designed.width(), qPrintable(forms.front()));
        shortened = shortened || shown != forms.front();
    }
    qInfo("estimate lines shortened to fit: %s", shortened ? "some" : "none");
    w.window.close();
}

int main(int argc, char* argv[])
{
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TextFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TextFitTest.moc"
