// Runs every GUI test class in one application.
#include "tests/gui/GuiTests.h"
#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    int failures = 0;
    {
        ModelBindingTest bindings;
        failures += QTest::qExec(&bindings, argc, argv);
    }
    {
        MainWindowTest window;
        failures += QTest::qExec(&window, argc, argv);
    }
    {
        FundListsWindowTest lists;
        failures += QTest::qExec(&lists, argc, argv);
    }
    {
        StockPageWindowTest stockPage;
        failures += QTest::qExec(&stockPage, argc, argv);
    }
    {
        RoutingTest routing;
        failures += QTest::qExec(&routing, argc, argv);
    }
    {
        ChartWindowTest chart;
        failures += QTest::qExec(&chart, argc, argv);
    }
    {
        StepWindowTest steps;
        failures += QTest::qExec(&steps, argc, argv);
    }
    {
        PortfolioWindowTest portfolio;
        failures += QTest::qExec(&portfolio, argc, argv);
    }
    {
        LedgerWindowTest ledger;
        failures += QTest::qExec(&ledger, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
