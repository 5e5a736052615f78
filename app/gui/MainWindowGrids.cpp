// The main window's grids, lists, search box and pop-up menus.
#include "app/gui/MainWindow.h"
#include "app/gui/GridTableModel.h"
#include "app/gui/ListTableModel.h"
#include "app/gui/MakeControl.h"
#include "app/gui/TextFit.h"
#include "canvas/Gbk.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTreeView>
#include <algorithm>

namespace fw {

namespace {

constexpr int kGridRowHeight = 24;
constexpr int kSuggestionRowHeight = 32;

// The widest texts the service sends, by kind of column.
const QString kWidestCode = QStringLiteral("000000");
const QString kWidestDate = QStringLiteral("2026-12-04");
const QString kWidestFigure = QStringLiteral("-100.00%");
const QString kWidestKind = QStringLiteral("债券型-中短债");
const QString kWidestShare = QStringLiteral("99.99%"); // a holding's share of the fund
const QString kWidestType = QStringLiteral("股票");     // a watchlist entry's kind
const QString kWidestIndex = QStringLiteral("999");

// The fund grid's columns: name, code, kind, date, then figures.
QStringList fundGridWidest()
{
    QStringList widest{QString(), kWidestCode, kWidestKind, kWidestDate};
    while (widest.size() < 17)
        widest << kWidestFigure;
    return widest;
}

} // namespace

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
    view->setTextElideMode(Qt::ElideRight);
    view->setItemDelegate(new WholeTextTips(view));
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
    view->setTextElideMode(Qt::ElideRight);
    view->setItemDelegate(new WholeTextTips(view));
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    const auto& columns = list.columns();
    // A tall font raises the header's smallest section above a designed width.
    for (const auto& column : columns)
        if (column.width > 0)
            view->header()->setMinimumSectionSize(std::min(view->header()->minimumSectionSize(), column.width));
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

void MainWindow::buildGrids()
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
    QLabel* estimate = makeLabel(Control::HoldingsEstimate, QString(), {8, 828, 336, 24}, m_client);
    // A longer line may take the strip up to the portfolio button.
    m_growingLabels.insert(estimate, {estimate->geometry(), QRect(8, 828, 632, 24)});
    m_fundGrid->horizontalHeader()->setSectionsClickable(true);
    // Codes, dates and figures show whole; the names' column gives up the width.
    const std::vector<int> fundFit = fitColumns(*m_fundGrid, fundWidths, fundGridWidest(), 0, true);
    for (size_t c = 0; c < fundFit.size(); ++c)
        m_compareGrid->setColumnWidth(int(c), fundFit[c]);
    for (QTableView* grid : {m_holdingsGrid, m_baseHoldingsGrid}) {
        // Ten rows under the header fill the grid: no scroll bar takes a column's room.
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        fitColumns(*grid, holdingsWidths, {QString(), kWidestCode, kWidestShare}, 0, false);
    }

    auto* group = new QGroupBox(QStringLiteral("自选"), m_client);
    group->setObjectName(qtName(Control::WatchFrame));
    group->setGeometry(344, 512, 296, 312);
    m_watchlist = makeList(Control::Watchlist, m_models.watchlist, group, {8, 16, 280, 288});
    std::vector<int> watchWidths;
    for (const auto& column : m_models.watchlist.columns())
        watchWidths.push_back(column.width);
    fitColumns(*m_watchlist, watchWidths, {kWidestIndex, kWidestCode, QString(), kWidestType}, 2, true);

    auto* search = new QLineEdit(QStringLiteral("输入基金代码或名称"), m_client);
    search->setObjectName(qtName(Control::SearchBox));
    search->setGeometry(640, 512, 168, 40);
    QPalette hint = search->palette();
    hint.setColor(QPalette::Text, toQColor(kSilver));
    search->setPalette(hint);
    search->installEventFilter(this);
}

void MainWindow::buildSuggestionList()
{
    // Drops down over the controls below the search box when it is shown.
    m_suggestions = makeList(Control::Suggestions, m_models.suggestions, m_client, {640, 552, 168, 16});
    m_suggestions->hide();
    // A name wider than the list ends in "…" where the list shows it.
    m_suggestions->setColumnWidth(0, std::min(m_suggestions->columnWidth(0), roomInside(*m_suggestions, false)));
}

void MainWindow::buildMenus()
{
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

void MainWindow::wireGridEvents()
{
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

} // namespace fw
