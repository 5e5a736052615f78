#include "app/gui/AlertTray.h"

#include "app/MainController.h"
#include "app/gui/MainWindow.h"
#include "model/FigureColour.h"
#include "store/LedgerDatabase.h"
#include "funds/LedgerStart.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace fw {

namespace {

constexpr int kTickMs = 60 * 1000;

// A round disc in the designed colour of today's estimated 当日收益.
QIcon discIcon(const std::optional<double>& dayProfit)
{
    const Colour c = dayProfit ? figureColour(FigureUse::ShownChange, unitsValue(roundedUnits(*dayProfit, 2), 2))
                               : kSilver;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)));
    painter.drawEllipse(2, 2, 28, 28);
    return QIcon(pixmap);
}

} // namespace

bool closeToTraySetting(const ConfigFile& config)
{
    return config.read(gbk("界面"), gbk("关闭到托盘")) == gbk("真");
}

AlertTray::AlertTray(MainWindow& window, MainController& controller, std::string dataDir, Clock clock,
                     QObject* parent)
    : QObject(parent), m_window(window), m_controller(controller), m_dataDir(std::move(dataDir)),
      m_clock(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      m_notifier(std::make_unique<DesktopNotifier>())
{
    m_tooltip = QString::fromStdString(ledger::trayTooltip(std::nullopt, std::nullopt, now().minute));
    m_menu = new QMenu(&m_window);
    connect(m_menu->addAction(QStringLiteral("显示窗口")), &QAction::triggered, this, &AlertTray::showWindow);
    connect(m_menu->addAction(QStringLiteral("刷新")), &QAction::triggered, this, &AlertTray::refresh);
    m_settingsAction = m_menu->addAction(QStringLiteral("提醒设置"));
    connect(m_settingsAction, &QAction::triggered, this, [this] {
        showWindow();
        if (openSettings)
            openSettings();
    });
    // 退出 ends the process as closing the window does when it does not go to the tray.
    connect(m_menu->addAction(QStringLiteral("退出")), &QAction::triggered, this, [this] {
        m_window.quitFromTray();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(discIcon(std::nullopt), this);
        m_tray->setContextMenu(m_menu);
        m_tray->setToolTip(m_tooltip);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                showWindow();
        });
        m_tray->show();
    }
    connect(m_notifier.get(), &DesktopNotifier::actionInvoked, this, &AlertTray::onAction);
    connect(&m_timer, &QTimer::timeout, this, &AlertTray::onTick);
}

AlertTray::~AlertTray() { m_pool.letGo(); }

void AlertTray::start()
{
    m_settingsAction->setEnabled(bool(openSettings));
    m_timer.start(kTickMs);
    refresh();
}

bool AlertTray::closesToTray() const { return m_tray && closeToTraySetting(m_controller.config()); }

ledger::ChinaTime AlertTray::now() const { return ledger::chinaTime(m_clock()); }

void AlertTray::onTick()
{
    const ledger::ChinaTime t = now();
    if (isTradingTime(m_clock())) {
        refresh();
        return;
    }
    // The day's unit values: every 30 minutes from 16:00 to 23:00.
    if (t.minute < ledger::kNavFromMinute || t.minute > ledger::kNavToMinute)
        return;
    if (m_lastNavDay == t.day && t.minute - m_lastNavPoll < ledger::kNavEveryMinutes)
        return;
    if (refresh()) {
        m_lastNavDay = t.day;
        m_lastNavPoll = t.minute;
    }
}

bool AlertTray::refresh()
{
    if (m_running || m_dataDir.empty())
        return false;
    m_running = true;
    const ledger::ChinaTime t = now();
    // The job holds copies only: it may outlive this object, which never waits for it.
    const std::string dataDir = m_dataDir;
    const std::string configPath = m_controller.config().path();
    const HttpRequestOptions request = m_controller.context().requestOptions();
    QPointer<AlertTray> self(this);
    m_pool.reap(false);
    const bool started = m_pool.start(1, 1, [=](int) {
        ConfigFile config(configPath);
        const ledger::AlertRound round = ledger::runAlertRound(dataDir, config, request, t, true);
        QMetaObject::invokeMethod(qApp, [self, round, t] {
            if (self)
                self->finish(round, t);
        }, Qt::QueuedConnection);
    });
    if (!started)
        m_running = false;
    return started;
}

void AlertTray::finish(const ledger::AlertRound& round, ledger::ChinaTime t)
{
    m_running = false;
    m_tooltip = QString::fromStdString(ledger::trayTooltip(round.dayProfit, round.holdingProfit, t.minute));
    if (m_tray) {
        m_tray->setToolTip(m_tooltip);
        m_tray->setIcon(discIcon(round.dayProfit));
    }
    m_told = 0;
    if (!round.quiet)
        for (const ledger::FiredAlert& alert : round.fired)
            tell(alert);
    emit roundFinished();
}

void AlertTray::tell(const ledger::FiredAlert& alert)
{
    const QString body = QString::fromStdString(alert.message);
    if (const uint id = m_notifier->notify(body)) {
        m_opens.insert(id, {alert.subject, alert.code});
        ++m_told;
    } else if (m_tray) {
        m_tray->showMessage(alertTitle(), body);
        ++m_told;
    }
}

void AlertTray::onAction(uint id, const QString& action)
{
    if (action == QLatin1String(DesktopNotifier::kQuietAction)) {
        ledger::LedgerDatabase db;
        if (!ledger::openLedger(db, m_dataDir, m_controller.config(), now().day) || !db.setAlertsQuietDay(now().day))
            m_controller.models().view.messageBox(utf8ToGbk("提醒设置无法保存：" + db.failure()));
        return;
    }
    if (action == QLatin1String(DesktopNotifier::kOpenAction)) {
        const auto opened = m_opens.constFind(id);
        if (opened == m_opens.constEnd())
            showWindow();
        else
            openSubject(opened->first, opened->second);
    }
}

void AlertTray::openSubject(ledger::AlertSubject subject, const std::string& code)
{
    showWindow();
    if (code.empty())
        return;
    if (subject == ledger::AlertSubject::Holding) {
        m_window.openPortfolio(Text(code));
    } else if (subject == ledger::AlertSubject::Fund) {
        FundDetails& details = m_controller.details();
        details.closeStockPage();
        details.fundPageSummary(Text(code), Text(), FundDetails::PickSource::Watchlist);
    }
}

void AlertTray::showWindow()
{
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

} // namespace fw
