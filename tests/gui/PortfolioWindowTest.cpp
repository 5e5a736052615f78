// The portfolio window against the sample service: a fund added from the
// boxes, its shares edited in place, the totals following; a refused edit
// changes nothing.
#include "app/ConfigFile.h"
#include "app/MainController.h"
#include "app/MainModels.h"
#include "app/gui/Gbk.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PortfolioWindow.h"
#include "funds/Portfolio.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "tests/gui/GuiTests.h"
#include "text/CodePage.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace fw;

namespace {

struct Fixture {
    sample::SampleService service {[] {
        sample::SampleOptions options;
        options.funds = 200;
        return options;
    }()};
    QTemporaryDir dir;
    ConfigFile config;
    MainModels models;
    MainController controller;
    MainWindow window;

    Fixture()
        : config(dir.filePath(QStringLiteral("配置.ini")).toStdString()),
          controller(models, config, ControllerEnvironment {[] { return 1; }, "", 5}),
          window(controller)
    {
        service.start();
        setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
        installEventPump([] { QCoreApplication::processEvents(); });
        window.messagePresenter = [](const QString&) {};
    }
    ~Fixture()
    {
        uninstallEventPump();
        setServiceHosts(ServiceHosts::defaults());
    }
};

QString cell(QTableView* table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

} // namespace

void PortfolioWindowTest::addEditAndTotals()
{
    Fixture f;
    auto* open = f.window.findChild<QAbstractButton*>(QStringLiteral("持仓钮"));
    QVERIFY(open);
    open->click();
    PortfolioWindow* w = f.window.portfolioWindow();
    QVERIFY(w && w->isVisible());

    const sample::Fund& fund = f.service.market().funds().front();
    const double nav = double(fund.navTenThousandths) / 10000.0;
    w->findChild<QLineEdit*>(QStringLiteral("持仓代码框"))->setText(QString::fromStdString(fund.code));
    w->findChild<QLineEdit*>(QStringLiteral("持仓份额框"))->setText(QStringLiteral("100"));
    w->findChild<QLineEdit*>(QStringLiteral("持仓成本价框"))->setText(QStringLiteral("1"));
    w->findChild<QAbstractButton*>(QStringLiteral("添加持仓钮"))->click();

    auto* table = w->findChild<QTableView*>(QStringLiteral("持仓表格"));
    QCOMPARE(table->model()->rowCount(), 2); // the fund and the totals
    QTRY_COMPARE(cell(table, 0, 0), QString::fromStdString(fund.name));
    QCOMPARE(cell(table, 1, 5), QString::fromStdString(formatMoney(100 * nav)));
    QCOMPARE(cell(table, 1, 6), QString::fromStdString(formatMoney(100 * (nav - 1))));

    // Shares edited in place: stored at once, the totals follow.
    QVERIFY(table->model()->setData(table->model()->index(0, 2), QStringLiteral("250.5"), Qt::EditRole));
    QCOMPARE(cell(table, 1, 5), QString::fromStdString(formatMoney(250.5 * nav)));
    QCOMPARE(f.config.read(gbk("持仓"), fund.code), "250.5|1");

    // A refused edit says why and changes nothing.
    QVERIFY(!table->model()->setData(table->model()->index(0, 3), QStringLiteral("1.23456"), Qt::EditRole));
    QVERIFY(w->note().contains(QStringLiteral("成本价")));
    QCOMPARE(f.config.read(gbk("持仓"), fund.code), "250.5|1");
    QCOMPARE(cell(table, 0, 3), QStringLiteral("1"));

    // 编辑持仓… in 菜单3 opens the same window.
    bool listed = false;
    for (QAction* action : f.window.findChild<QMenu*>(QStringLiteral("菜单3"))->actions())
        listed = listed || action->text() == QStringLiteral("编辑持仓…");
    QVERIFY(listed);
}
