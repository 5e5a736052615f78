// The program's entry: options, service hosts, models, controller and the main window.
#include "store/AppPaths.h"
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/AppTheme.h"
#include "app/gui/AlertTray.h"
#include "app/gui/MainWindow.h"
#include "export/Workbook.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <QApplication>
#include <QDate>
#include <QThread>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

const char* const kUsage =
    "Usage: fundwatch [options]\n"
    "\n"
    "  --data-dir DIR     directory of the settings file (配置.ini)\n"
    "  --service BASEURL  send every request of the data and step services to BASEURL\n"
    "                     (also: environment variable FUNDWATCH_SERVICE)\n"
    "                     FUNDWATCH_STEP_SERVICE sets the step service's base URL,\n"
    "                     FUNDWATCH_QUOTE_TOKEN the quote service's access token\n"
    "  --demo             run on built-in sample data, without network\n"
    "  --theme THEME      浅色 (light), 深色 (dark) or 跟随系统 (system: the desktop's);\n"
    "                     without it, [界面] 主题 in the settings file, else the desktop's\n"
    "  --help             show this help\n";

struct Options {
    std::string dataDir;
    std::string service;
    bool demo = false;
    std::optional<fw::ThemeChoice> theme;
};

// Options after Qt has taken its own; nullopt (with a message) on a bad one.
std::optional<Options> parseOptions(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        auto value = [&](const char* name, std::string& out) {
            const QString prefix = QString::fromLatin1(name) + u'=';
            if (arg.startsWith(prefix)) {
                out = arg.mid(prefix.size()).toStdString();
                return true;
            }
            if (arg != QLatin1String(name))
                return false;
            if (i + 1 >= arguments.size()) {
                out.clear();
                return true;
            }
            out = arguments[++i].toStdString();
            return true;
        };
        if (arg == QLatin1String("--demo")) {
            options.demo = true;
        } else if (value("--data-dir", options.dataDir)) {
            if (options.dataDir.empty()) {
                std::fputs("fundwatch: --data-dir needs a directory\n", stderr);
                return std::nullopt;
            }
        } else if (std::string theme; value("--theme", theme)) {
            options.theme = fw::themeOption(theme);
            if (!options.theme) {
                std::fputs("fundwatch: --theme takes 浅色, 深色, 跟随系统 (or light, dark, system)\n", stderr);
                return std::nullopt;
            }
        } else if (value("--service", options.service)) {
            if (options.service.empty()) {
                std::fputs("fundwatch: --service needs a base URL\n", stderr);
                return std::nullopt;
            }
        } else {
            std::fprintf(stderr, "fundwatch: unknown option %s\n%s", arg.toLocal8Bit().constData(), kUsage);
            return std::nullopt;
        }
    }
    return options;
}

// How deep the UI thread is inside a download's event pump.
int g_pumpDepth = 0;

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }

    // The browser engine refuses to start its sandbox as root.
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // Qt has just taken LC_NUMERIC from the environment; every figure the
    // program reads or writes has a decimal point whatever it says.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("fundwatch"));

    const std::optional<Options> options = parseOptions(QApplication::arguments());
    if (!options)
        return 2;

    std::unique_ptr<fw::sample::SampleService> sample;
    if (options->demo) {
        sample = std::make_unique<fw::sample::SampleService>();
        if (sample->start(0) < 0) {
            std::fputs("fundwatch: the sample service could not start\n", stderr);
            return 1;
        }
        fw::setServiceHosts(fw::ServiceHosts::allAt(sample->baseUrl()));
    } else if (!options->service.empty()) {
        fw::ServiceHosts hosts = fw::ServiceHosts::allAt(options->service);
        hosts.applyEnvironmentOverrides();
        fw::setServiceHosts(hosts);
    } else {
        fw::setServiceHosts(fw::ServiceHosts::fromEnvironment());
    }

    fw::installEventPump([] {
        ++g_pumpDepth;
        QCoreApplication::processEvents();
        --g_pumpDepth;
    });

    const std::string dataDir = fw::dataDirectory(options->dataDir);
    // Without a usable data directory no setting is saved anywhere (never in
    // the current folder): the settings file has no path.
    std::string unusableDir;
    if (dataDir.empty()) {
        unusableDir = fw::unusableDataDirectory(options->dataDir);
        std::fprintf(stderr, "fundwatch: 数据目录无法使用：%s，设置不会保存\n", unusableDir.c_str());
    }
    fw::ConfigFile config(dataDir.empty() ? std::string() : fw::configFilePath(dataDir));
    const fw::ThemeChoice themeChoice = options->theme.value_or(fw::storedThemeChoice(config));
    fw::applyTheme(app, fw::themeOf(themeChoice, fw::desktopIsDark()));
    fw::MainModels models;
    fw::ControllerEnvironment environment;
    environment.todayDayOfMonth = [] { return QDate::currentDate().day(); };
    environment.markerFilePath = fw::markerFilePath();
    environment.dataDirectory = dataDir;
    environment.demo = options->demo;
    fw::MainController controller(models, config, std::move(environment));

    fw::MainWindow window(controller, options->demo);
    window.onClosed = [&app] {
        fw::endWorkbookWrites(); // a workbook being written is dropped whole
        // Inside a download or a nested loop the way back to the main loop may
        // be long: end at once, as closing promises.
        if (g_pumpDepth > 0 || QThread::currentThread()->loopLevel() > 1)
            std::_Exit(0);
        app.quit();
    };
    // Alerts, the tray and 关闭到托盘; without a data directory there is nowhere to keep rules.
    fw::AlertTray alerts(window, controller, dataDir);
    window.closesToTray = [&alerts] { return alerts.closesToTray(); };
    if (!dataDir.empty())
        alerts.openSettings = [&window] { window.openAlerts(); };
    window.show();
    if (!unusableDir.empty())
        models.view.messageBox(fw::utf8ToGbk("数据目录无法使用：" + unusableDir + "，设置不会保存"));
    // The window's created event: the start-up sequence runs before user input.
    controller.onCreated();
    alerts.start();

    app.exec();
    // Nothing is saved at exit, and workers may still be running: end here.
    std::_Exit(0);
}
