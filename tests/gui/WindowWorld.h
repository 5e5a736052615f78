#pragma once
// The real main window over the controller and models, talking to an
// in-process sample service, with the event pump installed as the program
// installs it and message boxes recorded instead of shown.
#include "store/ConfigFile.h"
#include "app/MainController.h"
#include "model/MainModels.h"
#include "app/gui/MainWindow.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace fw::test {

struct WindowWorld {
    // With a clock, the ledger lives in the world's data directory and goes by it.
    explicit WindowWorld(sample::SampleOptions options, std::function<std::time_t()> ledgerClock = {})
        : service(options),
          config(dir.filePath(QStringLiteral("配置.ini")).toStdString()),
          controller(models, config,
                     ControllerEnvironment{[] { return 1; }, "", 5,
                                           ledgerClock ? dir.path().toStdString() : std::string(), false,
                                           ledgerClock}),
          window(controller)
    {
        service.start();
        setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
        installEventPump([] { QCoreApplication::processEvents(); });
        window.messagePresenter = [](const QString&) {};
    }
    ~WindowWorld()
    {
        controller.details().waitForHoldingsWorkers();
        uninstallEventPump();
        setServiceHosts(ServiceHosts::defaults());
    }

    static sample::SampleOptions market(int funds)
    {
        sample::SampleOptions options;
        options.funds = funds;
        return options;
    }

    template <class W = QWidget>
    W* find(Control control) { return window.findChild<W*>(QString::fromUtf8(designedName(control))); }

    sample::SampleService service;
    QTemporaryDir dir;
    ConfigFile config;
    MainModels models;
    MainController controller;
    MainWindow window;
};

} // namespace fw::test
