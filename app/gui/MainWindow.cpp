#include "app/gui/MainWindow.h"
#include "app/gui/ChartPanel.h"
#include "app/gui/MakeControl.h"
#include "canvas/Gbk.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QTreeView>

namespace fw {

namespace {

constexpr int kClientWidth = 1390;
constexpr int kClientHeight = 857;

} // namespace

MainWindow::MainWindow(MainController& controller, bool demo, QWidget* parent)
    : QMainWindow(parent), m_controller(controller), m_models(controller.models())
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("clientArea"));
    m_client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(m_client);
    buildControls();
    wireEvents();

    if (demo) {
        auto* mark = new QLabel(QStringLiteral("演示数据"), this);
        mark->setObjectName(QStringLiteral("演示数据"));
        QFont font = mark->font();
        font.setBold(true);
        mark->setFont(font);
        // Dark red, shown through the theme so it stays legible on a dark window.
        QPalette palette = mark->palette();
        palette.setColor(QPalette::WindowText, toQColor(rgb(0xC0, 0x00, 0x00)));
        mark->setPalette(palette);
        mark->setContentsMargins(8, 0, 8, 0);
        statusBar()->setSizeGripEnabled(false);
        statusBar()->addPermanentWidget(mark);
    }
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(50, 50);

    // The day's estimates are logged while the window runs.
    auto* recordTimer = new QTimer(this);
    connect(recordTimer, &QTimer::timeout, this, [this] { m_controller.onEstimateRecordTick(); });
    recordTimer->start(MainController::kEstimateRecordTickMs);

    m_viewListenerId = m_models.view.addListener([this](const ViewChange& change) { onViewChange(change); });
    m_models.view.setMessageHandler([this](const Text& text) {
        const QString message = gbkToQString(text);
        if (QThread::currentThread() == thread())
            showMessage(message);
        else
            QMetaObject::invokeMethod(this, [this, message] { showMessage(message); }, Qt::QueuedConnection);
    });
    seedView();
    m_fundGrid->setFocus();
}

MainWindow::~MainWindow()
{
    m_controller.chart().setCanvas(nullptr); // the panel goes with the window
    m_models.view.setMessageHandler({});
    m_models.view.removeListener(m_viewListenerId);
}

QWidget* MainWindow::control(Control control) const
{
    return findChild<QWidget*>(qtName(control));
}

// The controls are made area by area, in the order that is their tab order
// and their stacking order.
void MainWindow::buildControls()
{
    buildGrids();
    buildChartPanel();
    buildSideControls();
    buildPeriodButtons();
    buildSuggestionList();
    buildStockOverlay();
    buildMenus();
    fitButtons();
}

void MainWindow::wireEvents()
{
    wireGridEvents();
    wireSideControls();
    wirePeriodButtons();
}

// The View knows the designed hint colour of the search box, as it knows
// the designed texts.
void MainWindow::seedView()
{
    View& view = m_models.view;
    if (view.textColour(Control::SearchBox) == kDefaultColour)
        view.setTextColour(Control::SearchBox, kSilver);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        m_focusArriving = nullptr; // the user moves on
        break;
    case QEvent::MouseButtonPress: {
        m_focusArriving = nullptr;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint global = mouse->globalPosition().toPoint();
        if (watched == m_closePicture && mouse->button() == Qt::LeftButton) {
            m_controller.onClosePicturePressed();
            return true;
        }
        if (mouse->button() != Qt::RightButton)
            break;
        auto over = [watched](QAbstractItemView* view) {
            return watched == view->viewport() || (qobject_cast<QTableView*>(view)
                       && watched == static_cast<QTableView*>(view)->horizontalHeader()->viewport());
        };
        // A right press on a grid pops its menu without moving the cursor row:
        // the menu items act on the row picked before.
        if (over(m_fundGrid)) {
            popUp(m_fundMenu, global);
            return true;
        }
        if (over(m_compareGrid)) {
            popUp(m_compareMenu, global);
            return true;
        }
        if (over(m_holdingsGrid) || over(m_baseHoldingsGrid)) {
            m_controller.onHoldingsGridRightButton(over(m_holdingsGrid) ? 3 : 4);
            popUp(m_stockMenu, global);
            return true;
        }
        if (watched == m_watchlist->viewport()) {
            // The list view selects the entry under the pointer first, as a
            // report list does; the menu follows.
            QMetaObject::invokeMethod(this, [this, global] { popUp(m_watchMenu, global); }, Qt::QueuedConnection);
            return false;
        }
        break;
    }
    case QEvent::MouseMove:
        if (watched == control(Control::SectorButton))
            m_controller.onSectorButtonHover();
        else if (watched == control(Control::LoadAllBox))
            m_controller.onLoadAllHover();
        break;
    case QEvent::FocusIn:
        // A grid without a current cell that gains the focus other than by
        // a click makes its first cell current while it handles this event.
        if (auto* grid = qobject_cast<QTableView*>(watched); grid && !grid->currentIndex().isValid()
            && static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason) {
            m_focusArriving = grid;
            QTimer::singleShot(0, this, [this] { m_focusArriving = nullptr; });
        }
        // A pop-up menu handing the focus back is no new focus for the box.
        if (watched == control(Control::SearchBox)
            && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            m_controller.onSearchFocused();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::popUp(QMenu* menu, const QPoint& globalPos)
{
    if (!m_closing)
        menu->popup(globalPos);
}

void MainWindow::quitFromTray()
{
    m_quitting = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closing && !m_quitting && closesToTray && closesToTray()) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
    if (m_closing)
        return;
    m_closing = true;
    // Ends every transfer at once, whatever is running; nothing is saved.
    m_controller.onClosing();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
    if (onClosed)
        onClosed();
}

void MainWindow::showMessage(const QString& text)
{
    if (messagePresenter) {
        messagePresenter(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("信息"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace fw
