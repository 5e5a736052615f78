#include "app/gui/MainWindow.h"
#include "app/gui/ChartPanel.h"
#include "canvas/Gbk.h"
#include "app/gui/GridTableModel.h"
#include "app/gui/ListTableModel.h"
#include "canvas/QtCanvas.h"
#include "app/gui/PortfolioWindow.h"
#include "app/gui/SectorWindow.h"
#include "funds/StockPage.h"
#include "app/gui/StepWindow.h"
#include "text/CodePage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>

namespace fw {

namespace {

constexpr int kClientWidth = 1390;
constexpr int kClientHeight = 857;
constexpr int kGridRowHeight = 24;
constexpr int kSuggestionRowHeight = 32;
const QColor kHintColour(192, 192, 192);

// The close picture of the stock page overlay, drawn once at run time.
QPixmap closePicture()
{
    QPixmap pixmap(64, 56);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 40, 40));
    painter.drawEllipse(QRectF(14, 8, 40, 40));
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(25, 19), QPointF(43, 37));
    painter.drawLine(QPointF(43, 19), QPointF(25, 37));
    return pixmap;
}

QRect toQRect(const OverlayRect& r) { return QRect(r.left, r.top, r.width, r.height); }

// How long after a button or key pressed on the stock page a link still
// counts as one the user clicked.
constexpr qint64 kUserActionMs = 1000;
// A pop-up the user asked for goes away when no navigation reaches it by then.
constexpr int kPopupGraceMs = 1000;

// Notes when the user last pressed a mouse button or a key on the stock page:
// a filter on the view's focus proxy, the widget that takes the page's input
// (made when the page first renders, so it is looked for as children come).
class UserActionWatch : public QObject {
public:
    UserActionWatch(QWebEngineView* view, QObject* parent) : QObject(parent), m_view(view)
    {
        view->installEventFilter(this);
        watchProxy();
    }

    bool actedJustBefore() const { return m_lastAction.isValid() && m_lastAction.elapsed() <= kUserActionMs; }

    void watchProxy()
    {
        QWidget* proxy = m_view ? m_view->focusProxy() : nullptr;
        if (!proxy || proxy == m_proxy)
            return;
        proxy->installEventFilter(this);
        m_proxy = proxy;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::TouchBegin:
            if (watched == m_proxy)
                m_lastAction.start();
            break;
        case QEvent::ChildAdded:
        case QEvent::ChildPolished:
        case QEvent::Show:
            if (watched == m_view)
                watchProxy();
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QWebEngineView> m_view;
    QPointer<QWidget> m_proxy;
    QElapsedTimer m_lastAction;
};

// The stock page. Main-frame navigations are routed by StockPage::navigation;
// only a link the user clicked reaches the user's browser. Scripts open no
// window; one the user asked for is honoured for its first navigation.
class StockWebPage : public QWebEnginePage {
public:
    StockWebPage(QWebEngineView* view, std::function<void(const QUrl&)> openOutside)
        : QWebEnginePage(view), m_actions(new UserActionWatch(view, this)), m_openOutside(std::move(openOutside))
    {
        settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        connect(this, &QWebEnginePage::newWindowRequested, this, &StockWebPage::onNewWindowRequested);
        // The focus proxy may change as pages load.
        connect(this, &QWebEnginePage::loadStarted, m_actions, &UserActionWatch::watchProxy);
    }

    // True when the navigation loads in the page that asked for it.
    bool route(const QUrl& url, bool linkClicked)
    {
        const std::string target = url.toString(QUrl::FullyEncoded).toStdString();
        switch (StockPage::navigation(target, linkClicked, m_actions->actedJustBefore())) {
        case StockNavigation::Load:
            return true;
        case StockNavigation::OpenOutside:
            m_openOutside(url);
            return false;
        case StockNavigation::Refuse:
            break;
        }
        return false;
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        return !isMainFrame || route(url, type == NavigationTypeLinkClicked);
    }
    // Every new window goes through newWindowRequested, which knows whether
    // the user asked for it.
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    void onNewWindowRequested(QWebEngineNewWindowRequest& request);

    UserActionWatch* m_actions;
    std::function<void(const QUrl&)> m_openOutside;
};

// Stands in for a window the user asked for (a link with a target): its first
// navigation is routed as a link of the overlay, then it goes away; so does a
// pop-up that no navigation reaches.
class PopupPage : public QWebEnginePage {
public:
    explicit PopupPage(StockWebPage* overlay) : QWebEnginePage(overlay->profile(), overlay), m_overlay(overlay)
    {
        QTimer::singleShot(kPopupGraceMs, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        if (!isMainFrame)
            return false;
        if (m_overlay->route(url, true) && StockPage::staysInOverlay(url.toString(QUrl::FullyEncoded).toStdString()))
            m_overlay->load(url);
        deleteLater();
        return false;
    }

private:
    StockWebPage* m_overlay;
};

void StockWebPage::onNewWindowRequested(QWebEngineNewWindowRequest& request)
{
    if (!request.isUserInitiated())
        return; // unanswered: the script gets no window
    request.openIn(new PopupPage(this));
}

QLabel* makeLabel(Control control, const QString& text, const QRect& geometry, QWidget* parent)
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
        mark->setStyleSheet(QStringLiteral("color: #c00000; padding: 0 8px;"));
        statusBar()->setSizeGripEnabled(false);
        statusBar()->addPermanentWidget(mark);
    }
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(50, 50);

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

QTableView* MainWindow::makeGrid(Control control, Grid& grid, const QRect& geometry, const std::vector<int>& widths)
{
    auto* view = new QTableView(m_client);
    view->setObjectName(qtName(control));
    view->setGeometry(geometry);
    auto* model = new GridTableModel(grid, view);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->setCornerButtonEnabled(false);
    view->verticalHeader()->hide();
    // Fixed row heights keep a grid of tens of thousands of rows fast.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(false);
    for (size_t c = 0; c < widths.size() && int(c) < model->columnCount(); ++c)
        view->setColumnWidth(int(c), widths[c]);

    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, view, model](const QModelIndex& current) {
                // Removed rows move the view's current row elsewhere, and a
                // view gaining the focus without a current cell makes its first
                // cell current: only a move made by the user is a pick.
                if (model->isApplyingChanges() || m_focusArriving == view)
                    return;
                model->grid().setCursorRow(current.isValid() ? current.row() + 1 : -1);
            });
    // The grid's cursor row is the truth (a reset clears it): follow it after every change.
    connect(model, &GridTableModel::changesApplied, view, [view, model] {
        const int cursor = model->grid().cursorRow();
        const QModelIndex current = view->currentIndex();
        if (cursor < 1 || cursor > model->rowCount()) {
            if (current.isValid())
                view->selectionModel()->clear();
        } else if (!current.isValid() || current.row() != cursor - 1) {
            view->setCurrentIndex(model->index(cursor - 1, std::max(0, current.column())));
        }
    });
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
    // A press on the header row lands on the header's own viewport.
    view->horizontalHeader()->viewport()->installEventFilter(this);
    return view;
}

QTreeView* MainWindow::makeList(Control control, ListModel& list, QWidget* parent, const QRect& geometry)
{
    auto* view = new QTreeView(parent);
    view->setObjectName(qtName(control));
    view->setGeometry(geometry);
    auto* model = new ListTableModel(list, view);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    const auto& columns = list.columns();
    for (size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].width <= 0)
            view->setColumnHidden(int(c), true);
        else
            view->setColumnWidth(int(c), columns[c].width);
    }

    // The list's current row and the view's selection follow each other.
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [model](const QModelIndex& current) {
        const int row = current.isValid() ? current.row() : -1;
        if (model->list().currentRow() != row)
            model->list().setCurrentRow(row);
    });
    connect(model, &ListTableModel::changesApplied, view, [view, model] {
        const int row = model->list().currentRow();
        if (row >= 0 && row < model->rowCount())
            view->setCurrentIndex(model->index(row, 0));
    });
    view->viewport()->installEventFilter(this);
    return view;
}

QMenu* MainWindow::makeMenu(Control control, const std::vector<std::pair<const char*, void (MainController::*)()>>& items)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(qtName(control));
    for (const auto& [text, handler] : items) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        connect(action, &QAction::triggered, this, [this, handler = handler] { (m_controller.*handler)(); });
    }
    return menu;
}

void MainWindow::buildControls()
{
    const std::vector<int> fundWidths = fundGridColumnWidths();
    const std::vector<int> holdingsWidths{66, 52, 48};
    m_fundGrid = makeGrid(Control::FundGrid, m_models.fundGrid, {8, 8, 1368, 408}, fundWidths);
    m_compareGrid = makeGrid(Control::CompareGrid, m_models.compareGrid, {8, 416, 1368, 96}, fundWidths);
    makeLabel(Control::HoldingsCaption, QStringLiteral("十大重仓股票"), {8, 512, 168, 32}, m_client);
    makeLabel(Control::BaseHoldingsCaption, QStringLiteral("十大重仓股票"), {176, 512, 168, 32}, m_client);
    m_holdingsGrid = makeGrid(Control::HoldingsGrid, m_models.holdingsGrid, {8, 544, 168, 280}, holdingsWidths);
    m_baseHoldingsGrid = makeGrid(Control::BaseHoldingsGrid, m_models.baseHoldingsGrid, {176, 544, 168, 280}, holdingsWidths);
    // Not a designed control: today's estimate in the free strip along the bottom
    // edge, from under 高级表格3 on (the line is wider than the grid).
    makeLabel(Control::HoldingsEstimate, QString(), {8, 828, 336, 24}, m_client);
    m_fundGrid->horizontalHeader()->setSectionsClickable(true);

    auto* group = new QGroupBox(QStringLiteral("自选"), m_client);
    group->setObjectName(qtName(Control::WatchFrame));
    group->setGeometry(344, 512, 296, 312);
    m_watchlist = makeList(Control::Watchlist, m_models.watchlist, group, {8, 16, 280, 288});

    auto* search = new QLineEdit(QStringLiteral("输入基金代码或名称"), m_client);
    search->setObjectName(qtName(Control::SearchBox));
    search->setGeometry(640, 512, 168, 40);
    QPalette hint = search->palette();
    hint.setColor(QPalette::Text, kHintColour);
    search->setPalette(hint);
    search->installEventFilter(this);

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

    makeLabel(Control::Progress, QString(), {640, 760, 168, 24}, m_client);
    makeLabel(Control::Status, QString(), {640, 792, 168, 24}, m_client);

    makeButton<QPushButton>(Control::FiveStarButton, "五星基金", {728, 576, 80, 40}, m_client);
    auto* sector = makeButton<QPushButton>(Control::SectorButton, "基金板块", {648, 576, 72, 40}, m_client);
    makeButton<QPushButton>(Control::StepButton, "刷步", {648, 624, 72, 40}, m_client);
    makeButton<QPushButton>(Control::ExportButton, "导出所有数据", {728, 624, 80, 40}, m_client);
    // In the free strip along the bottom edge, between the estimate label and the progress bar.
    makeButton<QPushButton>(Control::PortfolioButton, "持仓", {640, 828, 80, 24}, m_client);
    m_boards = new QButtonGroup(this);
    m_boards->setExclusive(true);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardDayGain, "昨日涨幅", {648, 672, 72, 16}, m_client), 1);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardMonthGain, "本月涨幅", {736, 672, 72, 16}, m_client), 2);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardDayLoss, "昨日跌幅", {648, 696, 72, 16}, m_client), 3);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardMonthLoss, "本月跌幅", {736, 696, 72, 16}, m_client), 4);
    auto* loadAll = makeButton<QCheckBox>(Control::LoadAllBox, "加载所有", {648, 720, 72, 24}, m_client);
    makeButton<QCheckBox>(Control::AutostartBox, "开机自启", {736, 720, 72, 24}, m_client);
    static const char* const periodCaptions[] = {"近1周", "近1月", "近3月", "近6月", "近1年", "近2年", "近3年"};
    static const int periodLefts[] = {840, 912, 984, 1064, 1136, 1216, 1288};
    for (int i = 0; i < 7; ++i)
        makeButton<QPushButton>(periodControl(i + 1), periodCaptions[i], {periodLefts[i], 792, 60, 35}, m_client);
    // A thin bar in the free strip under the period buttons: the whole-market
    // load's pages, then its profiles.
    m_loadProgress = new QProgressBar(m_client);
    m_loadProgress->setObjectName(QStringLiteral("加载进度"));
    m_loadProgress->setGeometry(840, 836, 508, 8);
    m_loadProgress->setTextVisible(false);
    m_loadProgress->hide();
    // Hover read-outs need mouse moves without a pressed button.
    for (QWidget* hover : {static_cast<QWidget*>(sector), static_cast<QWidget*>(loadAll)}) {
        hover->setMouseTracking(true);
        hover->installEventFilter(this);
    }

    // Drops down over the controls below the search box when it is shown.
    m_suggestions = makeList(Control::Suggestions, m_models.suggestions, m_client, {640, 552, 168, 16});
    m_suggestions->hide();

    // The stock page overlay, above everything else; hidden until a page opens.
    m_stockFrame = new QFrame(m_client);
    m_stockFrame->setObjectName(qtName(Control::StockFrame));
    m_stockFrame->setGeometry(toQRect(kStockFrameRect));
    m_stockFrame->setAutoFillBackground(true);
    m_browser = new QWidget(m_stockFrame);
    m_browser->setObjectName(qtName(Control::StockBrowser));
    m_browser->setGeometry(toQRect(kStockViewerRect));
    m_browser->hide();
    m_closePicture = new QLabel(m_stockFrame);
    m_closePicture->setObjectName(qtName(Control::StockClose));
    m_closePicture->setGeometry(toQRect(kStockCloseRect));
    m_closePicture->setPixmap(closePicture());
    m_closePicture->setCursor(Qt::PointingHandCursor);
    m_closePicture->installEventFilter(this);
    m_closePicture->raise();
    m_stockFrame->hide();
    m_stockFrame->raise();

    m_fundMenu = makeMenu(Control::FundMenu, {{"加入对比", &MainController::onMenuAddComparison},
                                   {"加入自选基金", &MainController::onMenuAddWatchFund}});
    m_compareMenu = makeMenu(Control::CompareMenu, {{"删除对比", &MainController::onMenuRemoveComparison}});
    m_stockMenu = makeMenu(Control::StockMenu, {{"加入自选股票", &MainController::onMenuAddWatchStock}});
    m_watchMenu = makeMenu(Control::WatchMenu, {{"删除自选", &MainController::onMenuRemoveWatch}});
    // The portfolio, opened on the watchlist row's fund (a stock opens it with the code to add).
    connect(m_watchMenu->addAction(QStringLiteral("编辑持仓…")), &QAction::triggered, this, [this] {
        const ListModel& list = m_models.watchlist;
        const int row = list.currentRow();
        const auto rows = list.rows();
        openPortfolio(row >= 0 && size_t(row) < rows.size() && rows[size_t(row)].size() > 1 ? rows[size_t(row)][1]
                                                                                          : Text());
    });
}

void MainWindow::wireEvents()
{
    auto button = [this](Control control) { return findChild<QAbstractButton*>(qtName(control)); };
    MainController& c = m_controller;
    Grid& fundGrid = m_models.fundGrid;

    connect(m_fundGrid->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [&c](int column) { c.onFundGridHeaderClicked(0, column); });
    // `clicked` is a single click: Qt does not raise it for the second click of a double-click.
    connect(m_fundGrid, &QAbstractItemView::clicked, this, [&c, &fundGrid](const QModelIndex& index) {
        fundGrid.setCursorRow(index.row() + 1);
        c.onFundGridCellPicked(index.row() + 1, index.column());
    });
    const std::pair<QTableView*, int> holdings[] = {{m_holdingsGrid, 3}, {m_baseHoldingsGrid, 4}};
    for (auto [view, number] : holdings) {
        Grid& grid = number == 3 ? m_models.holdingsGrid : m_models.baseHoldingsGrid;
        connect(view, &QAbstractItemView::clicked, this, [&c, &grid, number = number](const QModelIndex& index) {
            grid.setCursorRow(index.row() + 1);
            c.onHoldingsGridCellPicked(number, index.row() + 1, index.column());
        });
    }

    ListModel& watchlist = m_models.watchlist;
    connect(m_watchlist, &QAbstractItemView::clicked, this, [&c, &watchlist](const QModelIndex& index) {
        watchlist.setCurrentRow(index.row());
        c.onWatchlistItem();
    });
    ListModel& suggestions = m_models.suggestions;
    connect(m_suggestions, &QAbstractItemView::doubleClicked, this, [&c, &suggestions](const QModelIndex& index) {
        suggestions.setCurrentRow(index.row());
        c.onSuggestionDoubleClicked();
    });
    connect(static_cast<ListTableModel*>(m_suggestions->model()), &ListTableModel::changesApplied, this,
            [this] { fitSuggestionList(); });

    auto* search = findChild<QLineEdit*>(qtName(Control::SearchBox));
    // Every change of the text searches, the program's own (the clear on
    // focus) included; the hint was set before this connection, so showing it
    // starts none.
    connect(search, &QLineEdit::textChanged, this, [this](const QString& text) {
        const Text gbkText = qStringToGbk(text);
        m_models.view.setEditText(Control::SearchBox, gbkText);
        m_controller.onSearchChanged(gbkText);
    });

    connect(button(Control::FiveStarButton), &QAbstractButton::clicked, this, [&c] { c.onFiveStarClicked(); });
    // The sector window arrives with the secondary windows; it opens here.
    connect(button(Control::SectorButton), &QAbstractButton::clicked, this, [&c] { c.onSectorButtonClicked(); });
    connect(button(Control::StepButton), &QAbstractButton::clicked, this, [&c] { c.onStepButtonClicked(); });
    connect(button(Control::PortfolioButton), &QAbstractButton::clicked, this, [this] { openPortfolio(); });
    connect(button(Control::ExportButton), &QAbstractButton::clicked, this, [&c] { c.onExportClicked(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [&c] { c.onEscapePressed(); });

    // The controller records the states after the click in the View.
    connect(m_boards, &QButtonGroup::idClicked, this, [&c](int id) { c.onBoardClicked(id); });
    connect(button(Control::LoadAllBox), &QAbstractButton::clicked, this, [&c](bool checked) { c.onLoadAllClicked(checked); });
    connect(button(Control::AutostartBox), &QAbstractButton::clicked, this, [&c](bool checked) { c.onAutostartClicked(checked); });
    for (int i = 1; i <= 7; ++i)
        connect(button(periodControl(i)), &QAbstractButton::clicked, this,
                [&c, i] { c.onChartPeriodClicked(i); });
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

void MainWindow::closeEvent(QCloseEvent* event)
{
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

// --- View binding --------------------------------------------------------

void MainWindow::onViewChange(const ViewChange& change)
{
    // The sector and step windows apply their own controls.
    if (change.control != Control::Count && windowOf(change.control) != Window::Main)
        return;
    std::lock_guard lock(m_pendingMutex);
    // Later changes of the same control replace earlier ones; the state is
    // read back from the View when applied.
    auto same = [&change](const ViewChange& entry) {
        return entry.kind == change.kind && entry.control == change.control && entry.window == change.window;
    };
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(), same), m_pending.end());
    m_pending.push_back(change);
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(this, [this] { applyViewChanges(); }, Qt::QueuedConnection);
    }
}

void MainWindow::applyViewChanges()
{
    std::vector<ViewChange> pending;
    {
        std::lock_guard lock(m_pendingMutex);
        pending.swap(m_pending);
        m_posted = false;
    }
    for (const ViewChange& change : pending)
        applyViewChange(change);
}

void MainWindow::applyViewChange(const ViewChange& change)
{
    const View& view = m_models.view;
    const ViewChange::Kind kind = change.kind;
    const Control name = change.control;
    if (kind == ViewChange::Title) {
        setWindowTitle(gbkToQString(view.title()));
        return;
    }
    if (kind == ViewChange::StockPage) {
        applyStockPage();
        return;
    }
    if (kind == ViewChange::WindowOpen) {
        if (change.window == Window::Sector)
            applySectorWindowState();
        else if (change.window == Window::Step)
            applyStepWindowState();
        return;
    }
    if (kind == ViewChange::Progress) {
        const ProgressState progress = view.progress();
        m_loadProgress->setRange(0, std::max(progress.maximum, 1));
        m_loadProgress->setValue(std::clamp(progress.value, 0, std::max(progress.maximum, 1)));
        m_loadProgress->setVisible(progress.visible);
        return;
    }
    QWidget* widget = control(name);
    if (!widget)
        return;
    switch (kind) {
    case ViewChange::Caption: {
        const QString text = gbkToQString(view.caption(name));
        if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
        else if (auto* edit = qobject_cast<QLineEdit*>(widget); edit && edit->text() != text)
            edit->setText(text);
        break;
    }
    case ViewChange::EditText:
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            const QString text = gbkToQString(view.editText(name));
            if (edit->text() != text) // keeps the caret where the user types
                edit->setText(text);
        }
        break;
    case ViewChange::Enabled:
        widget->setEnabled(view.isEnabled(name));
        break;
    case ViewChange::Visible:
        widget->setVisible(view.isVisible(name));
        if (widget == m_suggestions)
            fitSuggestionList();
        break;
    case ViewChange::Checked:
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const bool checked = view.isChecked(name);
            QButtonGroup* group = button->group();
            // An exclusive group refuses to clear its checked button.
            if (group && !checked)
                group->setExclusive(false);
            button->setChecked(checked);
            if (group && !checked)
                group->setExclusive(true);
        }
        break;
    case ViewChange::TextColour: {
        const QColor colour = toQColor(view.textColour(name));
        QPalette palette = widget->palette();
        const QPalette standard = QApplication::palette(widget);
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            palette.setColor(role, colour.isValid() ? colour : standard.color(role));
        widget->setPalette(palette);
        break;
    }
    case ViewChange::Tooltip: {
        const QString text = gbkToQString(view.lastTooltip(name));
        widget->setToolTip(text);
        if (widget->isVisible())
            QToolTip::showText(QCursor::pos(), text, widget);
        break;
    }
    default:
        break;
    }
}

void MainWindow::applySectorWindowState()
{
    if (m_closing)
        return;
    switch (m_models.view.windowState(Window::Sector)) {
    case WindowState::Shown:
        if (m_sectorWindow) {
            m_sectorWindow->show();
            m_sectorWindow->raise();
            return;
        }
        m_sectorWindow = new SectorWindow(m_controller);
        m_sectorWindow->show();
        // The window's created event: it fills itself (a download, events run).
        m_controller.onSectorWindowCreated();
        return;
    case WindowState::Hidden:
        if (m_sectorWindow)
            m_sectorWindow->hide();
        return;
    case WindowState::Closed:
        if (m_sectorWindow) {
            m_sectorWindow->hide();
            m_sectorWindow->deleteLater();
            m_sectorWindow = nullptr;
            m_controller.onSectorWindowDestroyed();
        }
        return;
    }
}

void MainWindow::openPortfolio(const Text& code)
{
    if (!m_portfolioWindow)
        m_portfolioWindow = new PortfolioWindow(m_controller.context(), this);
    m_portfolioWindow->show();
    m_portfolioWindow->raise();
    m_portfolioWindow->activateWindow();
    if (!code.empty())
        m_portfolioWindow->openOn(code);
}

void MainWindow::applyStepWindowState()
{
    if (m_closing)
        return;
    const WindowState state = m_models.view.windowState(Window::Step);
    if (m_stepWindow) {
        if (state == WindowState::Closed)
            m_stepWindow->done(QDialog::Accepted); // 保存配置 has done its work
        return;
    }
    // Start-up's hidden step window is the View's edit boxes alone.
    if (state != WindowState::Shown)
        return;
    StepWindow window(m_controller); // no owner, modal
    m_stepWindow = &window;
    m_controller.onStepWindowCreated();
    window.exec();
    m_stepWindow = nullptr;
    m_controller.onStepWindowClosed();
}

void MainWindow::fitSuggestionList()
{
    // One row of 32 pixels per suggestion plus one; the list lies over the
    // controls below the search box.
    if (!m_suggestions->isVisibleTo(m_client))
        return;
    const int rows = m_suggestions->model()->rowCount();
    m_suggestions->resize(m_suggestions->width(), (rows + 1) * kSuggestionRowHeight);
    m_suggestions->raise();
}

void MainWindow::applyStockPage()
{
    const Text url = m_models.view.stockPageUrl();
    if (url.empty()) {
        m_stockFrame->hide();
        m_browser->hide();
        // A hidden page would run on: its scripts end with it.
        if (m_browserCreated)
            static_cast<QWebEngineView*>(m_browser)->load(QUrl(QStringLiteral("about:blank")));
        return;
    }
    if (!m_browserCreated) {
        // The browser engine starts only when the first stock page opens.
        auto* browser = new QWebEngineView(m_stockFrame);
        browser->setPage(new StockWebPage(browser, [this](const QUrl& link) {
            if (browserOpener)
                browserOpener(link);
            else
                QDesktopServices::openUrl(link);
        }));
        browser->setObjectName(m_browser->objectName());
        browser->setGeometry(m_browser->geometry());
        delete m_browser;
        m_browser = browser;
        m_browserCreated = true;
    }
    m_stockFrame->resize(m_stockFrame->width(), kStockFrameOpenHeight);
    m_browser->resize(m_browser->width(), kStockViewerOpenHeight);
    m_stockFrame->show();
    m_browser->show();
    m_closePicture->raise();
    m_stockFrame->raise();
    static_cast<QWebEngineView*>(m_browser)->load(QUrl(gbkToQString(url)));
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
