// A fund grid of 20,000 rows in the real window (offscreen): a whole-market
// sector loaded page by page, scrolled end to end, then re-sorted by a header
// click. Reports the longest time the window went without an event-loop turn
// in each phase (target under 50 ms) and the private resident memory of the
// process (RssAnon; target under 100 MB).
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/MainWindow.h"
#include "funds/SectorRanking.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace fw;

namespace {

long rssAnonKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("RssAnon:", 0) == 0)
            return std::atol(line.c_str() + 8);
    return -1;
}

// The longest stretch between two turns of the event loop while it runs.
class TurnWatch {
public:
    TurnWatch()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_last = -1;
        m_clock.start();
        m_timer.start();
    }
    double stopMs()
    {
        m_timer.stop();
        return double(std::max(m_longest, m_clock.nsecsElapsed() - m_last)) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longest = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int funds = argc > 1 ? std::atoi(argv[1]) : 20000;

    // The sample service runs as a process of its own, so that the memory
    // measured is the program's alone.
    QProcess service;
    service.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/fundwatch-sample-service"));
    service.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--funds"),
                          QString::number(funds), QStringLiteral("--whole-market-sector")});
    service.start();
    QString baseUrl;
    while (service.waitForReadyRead(30000)) {
        const QString line = QString::fromUtf8(service.readLine()).trimmed();
        if (line.startsWith(QStringLiteral("listening on "))) {
            baseUrl = line.mid(13);
            break;
        }
    }
    if (baseUrl.isEmpty()) {
        std::fputs("bench_big_list: the sample service did not start\n", stderr);
        return 1;
    }
    setServiceHosts(ServiceHosts::allAt(baseUrl.toStdString()));
    installEventPump([] { QCoreApplication::processEvents(); });

    QTemporaryDir dir;
    ConfigFile config(dir.filePath(QStringLiteral("配置.ini")).toStdString());
    config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("真"));
    MainModels models;
    MainController controller(models, config, ControllerEnvironment{[] { return 1; }, ""});
    MainWindow window(controller);
    window.show();
    app.processEvents();
    const long rssAtStart = rssAnonKb();

    TurnWatch watch;
    QElapsedTimer clock;
    SectorList market;
    market.names = {gbk("全市场")};
    market.codes = {"BK0999"};
    market.values = {"0"};

    watch.start();
    clock.start();
    controller.fundLists().chooseSector(market, 0);
    app.processEvents();
    const double fillMs = double(clock.elapsed());
    const double fillGap = watch.stopMs();
    const int rows = models.fundGrid.rowCount() - 1;

    auto* grid = window.findChild<QTableView*>(QString::fromUtf8(designedName(Control::FundGrid)));
    QScrollBar* bar = grid->verticalScrollBar();
    watch.start();
    clock.start();
    for (int value = 0; value <= bar->maximum(); value += 17) {
        bar->setValue(value);
        grid->viewport()->repaint();
        app.processEvents();
    }
    const double scrollMs = double(clock.elapsed());
    const double scrollGap = watch.stopMs();

    watch.start();
    clock.start();
    controller.onFundGridHeaderClicked(0, 7); // 近3月: the sector again, in the asked order
    app.processEvents();
    const double sortMs = double(clock.elapsed());
    const double sortGap = watch.stopMs();
    const long rssAtEnd = rssAnonKb();

    std::printf("fund grid of %d rows (%s)\n", rows, gbkToUtf8(models.view.title()).c_str());
    std::printf("  fill:   %7.0f ms, longest without an event-loop turn %5.1f ms (target < 50)\n", fillMs, fillGap);
    std::printf("  scroll: %7.0f ms, longest without an event-loop turn %5.1f ms (target < 50)\n", scrollMs, scrollGap);
    std::printf("  resort: %7.0f ms, longest without an event-loop turn %5.1f ms (target < 50)\n", sortMs, sortGap);
    std::printf("  RssAnon: %.1f MB at start, %.1f MB after (target < 100 MB)\n", rssAtStart / 1024.0,
                rssAtEnd / 1024.0);
    uninstallEventPump();
    service.kill();
    service.waitForFinished();
    std::fflush(stdout);
    std::_Exit(0);
}
