#pragma once
// The window's side of the alerts: every 60 seconds in trading hours, and
// every 30 minutes from 16:00 to 23:00 for the day's unit values, one round
// of checks on a worker (whether or not the 持仓 window is open); the firings
// told on the desktop, or as the tray's message where no notification
// service runs; the tray icon coloured by today's estimated 当日收益 with its
// tooltip and menu; [界面] 关闭到托盘.
#include "app/DesktopNotifier.h"
#include "funds/AlertCheck.h"
#include "funds/RowPool.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <ctime>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace fw {

class MainController;
class MainWindow;

class AlertTray : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::time_t()>;

    // `dataDir` "" keeps the alerts off (no database to keep them in).
    AlertTray(MainWindow& window, MainController& controller, std::string dataDir, Clock clock = {},
              QObject* parent = nullptr);
    ~AlertTray() override; // a round under way is let go, never waited for

    // Starts the timer and the first round.
    void start();
    // One round now (the menu's 刷新), unless one is under way.
    bool refresh();
    bool running() const { return m_running; }

    // [界面] 关闭到托盘 is on and there is a tray to go to.
    bool closesToTray() const;
    // The tooltip of the last round (also without a tray).
    QString tooltip() const { return m_tooltip; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    QMenu* menu() const { return m_menu; }
    DesktopNotifier& notifier() { return *m_notifier; }
    // What the last round logged and told (tests).
    int told() const { return m_told; }

    // What a notification's 打开 does: shows the window with a fund's page
    // (its summary, holdings and estimate) or, for a holding, the 持仓 window
    // on it; the window alone for the portfolio and a stock.
    void openSubject(ledger::AlertSubject subject, const std::string& code);

    // Runs when 提醒设置 is chosen (the action is off without it).
    std::function<void()> openSettings;

signals:
    void roundFinished();

private:
    void onTick();
    void finish(const ledger::AlertRound& round, ledger::ChinaTime now);
    void tell(const ledger::FiredAlert& alert);
    void onAction(uint id, const QString& action);
    void showWindow();
    ledger::ChinaTime now() const;

    MainWindow& m_window;
    MainController& m_controller;
    std::string m_dataDir;
    Clock m_clock;
    QTimer m_timer;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_settingsAction = nullptr;
    std::unique_ptr<DesktopNotifier> m_notifier;
    QMap<uint, std::pair<ledger::AlertSubject, std::string>> m_opens; // notification id → what 打开 shows
    QString m_tooltip;
    bool m_running = false;
    int m_lastNavPoll = -1;          // the minute of the day's last unit-value poll
    ledger::Day m_lastNavDay = 0;
    int m_told = 0;
    RowPool m_pool;
};

// "关闭到托盘" under [界面]: "真" on, anything else off (the default).
bool closeToTraySetting(const ConfigFile& config);

} // namespace fw
