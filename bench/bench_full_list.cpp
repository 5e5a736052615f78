// The whole-market export in the real window (offscreen) against a sample
// service in a process of its own, beside the same job as a plain Python
// script (bench/full_list.py: requests, openpyxl, five threads).
//
// For each market and latency L it reports the time from the click to the
// written workbook against the design's floor (1 + pages) x L + 3 x ceil(N / 5)
// x L (probe and pages one after another, three profile pages per fund over
// five workers), the longest time the window went without an event-loop turn
// (target under 50 ms) and the peak private memory (RssAnon, sampled; target
// under 150 MB for 12,000 funds).
//
// "close" times closing the portfolio window while each of its refresh
// workers waits on a fund page the service stalls for 10 s (in-process
// sample service): from close() to the window's end, target under 100 ms.
//
// With a connection cost C (FUNDS:LATENCY:C), each new connection to the
// service costs C ms more, as its handshakes do on a real network; the floor
// stays the same, since kept connections pay C once each, and the bench also
// prints how many connections the service saw opened (target at most 6).
//
//   bench_full_list [close] [FUNDS:LATENCY[:C][:py] ...]
//   default close 12000:0 2000:20:py 2000:20:40 2000:0:py
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PortfolioWindow.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace fw;

namespace {

long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// The longest stretch between two turns of the event loop, and the highest
// private memory seen at any turn (sampled every 20 ms).
class Watch {
public:
    Watch()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            if (now - m_lastSample > 20'000'000) {
                m_peakKb = std::max(m_peakKb, statusKb("RssAnon:"));
                m_lastSample = now;
            }
        });
    }
    void start()
    {
        m_longest = 0;
        m_last = m_lastSample = -1;
        m_peakKb = statusKb("RssAnon:");
        m_clock.start();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        m_longest = std::max(m_longest, m_clock.nsecsElapsed() - m_last);
        m_peakKb = std::max(m_peakKb, statusKb("RssAnon:"));
    }
    double longestMs() const { return double(m_longest) / 1e6; }
    double peakMb() const { return double(m_peakKb) / 1024; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1, m_lastSample = -1, m_longest = 0;
    long m_peakKb = 0;
};

struct Service {
    QProcess process;
    QString baseUrl;
    QByteArray m_log;

    bool start(int funds, int latencyMs, int connectCostMs)
    {
        process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/fundwatch-sample-service"));
        QStringList arguments {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--funds"),
                               QString::number(funds), QStringLiteral("--latency-ms"), QString::number(latencyMs)};
        if (connectCostMs > 0)
            arguments << QStringLiteral("--connect-cost-ms") << QString::number(connectCostMs) << QStringLiteral("--log");
        process.setArguments(arguments);
        process.start();
        while (process.waitForReadyRead(30000)) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(QStringLiteral("listening on "))) {
                baseUrl = line.mid(13);
                return true;
            }
        }
        return false;
    }
    // The connections the service has logged as opened so far.
    int connectionsOpened()
    {
        m_log += process.readAllStandardOutput();
        return int(m_log.count("\nconnection ")) + (m_log.startsWith("connection ") ? 1 : 0);
    }
    ~Service()
    {
        process.kill();
        process.waitForFinished();
    }
};

// The Python script's own time (probe to saved workbook), -1 when it failed.
double pythonSeconds(const QString& baseUrl, const QString& out)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(FULL_LIST_SCRIPT), baseUrl, out});
    if (!python.waitForFinished(600000) || python.exitCode() != 0) {
        std::fprintf(stderr, "python: %s\n", python.readAll().constData());
        return -1;
    }
    const QStringList words = QString::fromUtf8(python.readAll()).trimmed().split(u' ');
    return words.size() >= 6 ? words[5].toDouble() : -1;
}

bool runOne(int funds, int latencyMs, int connectCostMs, bool withPython)
{
    Service service;
    if (!service.start(funds, latencyMs, connectCostMs)) {
        std::fputs("bench_full_list: the sample service did not start\n", stderr);
        return false;
    }
    setServiceHosts(ServiceHosts::allAt(service.baseUrl.toStdString()));
    QTemporaryDir dir;
    ConfigFile config(dir.filePath(QStringLiteral("配置.ini")).toStdString());
    double ms = 0, profilesFromMs = -1, exportFromMs = -1;
    const int pages = (funds + 19) / 20;
    auto pagesDone = [funds](const View& view) { return view.progress().maximum == funds && funds > 0; };
    Watch watch;
    {
        MainModels models;
        MainController controller(models, config,
                                  ControllerEnvironment {[] { return 1; }, "", 30, dir.path().toStdString()});
        MainWindow window(controller);
        window.messagePresenter = [](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); };
        window.show();
        QCoreApplication::processEvents();

        QElapsedTimer clock;
        // When the profile phase and the export begin.
        models.view.addListener([&](const ViewChange& change) {
            if (change.kind == ViewChange::Progress && profilesFromMs < 0 && pagesDone(models.view))
                profilesFromMs = double(clock.nsecsElapsed()) / 1e6;
            if (change.kind == ViewChange::Caption && change.control == Control::Status && exportFromMs < 0
                && models.view.caption(Control::Status) == gbk("数据导出中"))
                exportFromMs = double(clock.nsecsElapsed()) / 1e6;
        });
        watch.start();
        clock.start();
        controller.onExportClicked();
        ms = double(clock.nsecsElapsed()) / 1e6;
        watch.stop();
        const QStringList books = QDir(dir.path()).entryList({QStringLiteral("*.xlsx")});
        if (books.size() != 1 || QFileInfo(dir.filePath(books[0])).size() < 1000) {
            std::fputs("bench_full_list: no workbook\n", stderr);
            return false;
        }
    }

    const double floorMs = (1.0 + pages) * latencyMs + 3.0 * std::ceil(funds / 5.0) * latencyMs;
    if (connectCostMs > 0)
        std::printf("%d funds, %d ms latency, %d ms for each new connection\n", funds, latencyMs, connectCostMs);
    else
        std::printf("%d funds, %d ms latency\n", funds, latencyMs);
    if (latencyMs > 0)
        std::printf("  fundwatch: %8.0f ms = %.3f x the floor of %.0f ms (target <= 1.10)\n", ms, ms / floorMs, floorMs);
    else
        std::printf("  fundwatch: %8.0f ms\n", ms);
    std::printf("  phases: probe and pages %.0f ms, profiles %.0f ms, workbook %.0f ms\n", profilesFromMs,
                exportFromMs - profilesFromMs, ms - exportFromMs);
    std::printf("  longest without an event-loop turn %.1f ms (target < 50); peak RssAnon %.1f MB, VmHWM %.1f MB\n",
                watch.longestMs(), watch.peakMb(), statusKb("VmHWM:") / 1024.0);
    if (connectCostMs > 0)
        std::printf("  connections opened to the service's one host: %d (target <= 6)\n", service.connectionsOpened());
    if (withPython) {
        const double py = pythonSeconds(service.baseUrl, dir.filePath(QStringLiteral("python.xlsx"))) * 1000;
        if (py > 0) {
            std::printf("  python:    %8.0f ms", py);
            if (latencyMs > 0)
                std::printf(" = %.3f x the floor", py / floorMs);
            std::printf("; fundwatch is %.2f x as fast\n", py / ms);
        }
    }
    std::fflush(stdout);
    return true;
}

bool runClose()
{
    sample::SampleOptions options;
    options.funds = 50;
    sample::SampleService service(options);
    if (service.start() <= 0) {
        std::fputs("bench_full_list: the sample service did not start\n", stderr);
        return false;
    }
    constexpr int kStallMs = 10000, kHeld = 10;
    service.addFault({sample::Fault::Stall, ".html", kStallMs});
    setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
    QTemporaryDir dir;
    ConfigFile config(dir.filePath(QStringLiteral("配置.ini")).toStdString());
    for (int i = 0; i < kHeld; ++i)
        config.write(gbk("持仓"), service.market().funds()[size_t(i)].code, "10|1");
    MainModels models;
    FeatureContext context(models, config, 30);
    QPointer<PortfolioWindow> window = new PortfolioWindow(context);
    window->show();
    // Every worker inside its stalled request.
    auto stalledPages = [&service] {
        int n = 0;
        for (const sample::LoggedRequest& r : service.requests())
            n += r.target.find(".html") != std::string::npos;
        return n;
    };
    QElapsedTimer waited;
    waited.start();
    while (stalledPages() < PortfolioRefresh::kMaxWorkers && waited.elapsed() < kStallMs / 2)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const bool stalled = stalledPages() == PortfolioRefresh::kMaxWorkers;

    QElapsedTimer clock;
    clock.start();
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    std::printf("closing the portfolio window, %d fund pages stalled %d s\n", stalledPages(), kStallMs / 1000);
    std::printf("  close: %.2f ms (target < 100)%s\n", ms, window ? ", the window is still there" : "");
    std::fflush(stdout);
    setServiceHosts(ServiceHosts::defaults());
    return stalled && !window;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    installEventPump([] { QCoreApplication::processEvents(); });

    QStringList runs;
    for (int i = 1; i < argc; ++i)
        runs << QString::fromLocal8Bit(argv[i]);
    if (runs.isEmpty())
        runs = {QStringLiteral("close"), QStringLiteral("12000:0"), QStringLiteral("2000:20:py"),
                QStringLiteral("2000:20:40"), QStringLiteral("2000:0:py")};
    bool ok = true;
    for (const QString& run : runs) {
        if (run == QLatin1String("close")) {
            ok = runClose() && ok;
            continue;
        }
        const QStringList parts = run.split(u':');
        bool costGiven = false;
        const int cost = parts.value(2).toInt(&costGiven);
        ok = runOne(parts.value(0).toInt(), parts.value(1).toInt(), costGiven ? cost : 0,
                    parts.last() == QLatin1String("py")) && ok;
    }
    uninstallEventPump();
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
