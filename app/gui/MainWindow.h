#pragma once
// The main window: every designed control at its designed place, bound to the
// models of MainModels. It shows the models and forwards each event to the
// MainController; it holds no logic of its own.
#include "app/MainController.h"
#include <QMainWindow>
#include <QHash>
#include <QPointer>
#include "app/gui/PortfolioWindow.h"
#include <QRect>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class QAbstractItemView;
class QButtonGroup;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QTableView;
class QTreeView;
class QUrl;

namespace fw {

class AlertDialog;
class ChartPanel;
class SectorWindow;
class StepWindow;

class GridTableModel;
class ListTableModel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `demo`: show the permanent "演示数据" mark below the client area.
    explicit MainWindow(MainController& controller, bool demo = false, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs once the window has closed and the controller has ended its work
    // (the program quits there).
    std::function<void()> onClosed;
    // Asked on each close: true hides the window instead (the tray's
    // 关闭到托盘); unset or false, closing ends the program.
    std::function<bool()> closesToTray;
    // The tray's 退出: closes the window as closing does when it does not go to the tray.
    void quitFromTray();
    // Shows a message box; replaceable so that tests need not click one away.
    std::function<void(const QString&)> messagePresenter;
    // Opens a link of the stock page in the user's own browser; replaceable
    // so that tests record instead.
    std::function<void(const QUrl&)> browserOpener;

    QWidget* control(Control control) const;
    ChartPanel* chartPanel() const { return m_chart; }
    SectorWindow* sectorWindow() const { return m_sectorWindow; }
    StepWindow* stepWindow() const { return m_stepWindow; } // while the modal dialog runs
    PortfolioWindow* portfolioWindow() const { return m_portfolioWindow; }
    AlertDialog* alertDialog() const; // while it is open
    // Opens (or raises) the portfolio window, on `code` when given.
    void openPortfolio(const Text& code = {});
    // Opens (or raises) the 提醒 dialog of the rules and their log; nothing
    // without a data directory.
    void openAlerts();

    // Applies the View changes collected so far (UI thread).
    void applyViewChanges();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* makeGrid(Control control, Grid& grid, const QRect& geometry, const std::vector<int>& widths);
    QTreeView* makeList(Control control, ListModel& list, QWidget* parent, const QRect& geometry);
    QMenu* makeMenu(Control control, const std::vector<std::pair<const char*, void (MainController::*)()>>& items);
    void buildControls();
    void buildGrids();          // with the watchlist and the search box
    void buildChartPanel();
    void buildSideControls();
    void buildPeriodButtons();
    void buildSuggestionList();
    void buildStockOverlay();
    void buildMenus();
    void wireEvents();
    void wireGridEvents();
    void wireSideControls();
    void wirePeriodButtons();
    void seedView();

    void onViewChange(const ViewChange& change); // any thread
    void applyViewChange(const ViewChange& change);
    void applyStockPage();
    void applySectorWindowState();
    void applyStepWindowState();
    void fitSuggestionList();
    void fitButtons();
    void showCaption(QLabel& label, const QStringList& forms);
    void showMessage(const QString& text);
    void popUp(QMenu* menu, const QPoint& globalPos);

    MainController& m_controller;
    MainModels& m_models;
    int m_viewListenerId = 0;
    bool m_closing = false;
    bool m_quitting = false; // the tray's 退出: close whatever 关闭到托盘 says

    QWidget* m_client = nullptr;
    QTableView* m_fundGrid = nullptr;
    QTableView* m_compareGrid = nullptr;
    QTableView* m_holdingsGrid = nullptr;
    QTableView* m_baseHoldingsGrid = nullptr;
    QTreeView* m_watchlist = nullptr;
    QTreeView* m_suggestions = nullptr;
    ChartPanel* m_chart = nullptr;
    QFrame* m_stockFrame = nullptr;
    QWidget* m_browser = nullptr;      // placeholder until the first stock page opens
    bool m_browserCreated = false;
    QLabel* m_closePicture = nullptr;
    QButtonGroup* m_boards = nullptr;
    QMenu* m_fundMenu = nullptr;       // 菜单
    QMenu* m_compareMenu = nullptr;    // 菜单1
    QMenu* m_stockMenu = nullptr;      // 菜单2
    QMenu* m_watchMenu = nullptr;      // 菜单3
    SectorWindow* m_sectorWindow = nullptr;
    QTableView* m_focusArriving = nullptr; // a grid inside its focus-in handling
    StepWindow* m_stepWindow = nullptr;
    QPointer<PortfolioWindow> m_portfolioWindow; // deletes itself on close
    QPointer<AlertDialog> m_alertDialog;         // deletes itself on close
    QProgressBar* m_loadProgress = nullptr; // the whole-market load's bar, hidden when idle
    // Labels whose width follows their text: the designed geometry and the
    // bounds they may grow into. Other labels end a text that does not fit in "…".
    QHash<const QLabel*, std::pair<QRect, QRect>> m_growingLabels;

    std::mutex m_pendingMutex;
    std::vector<ViewChange> m_pending;
    bool m_posted = false;
};

} // namespace fw
