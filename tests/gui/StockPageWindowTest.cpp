// The stock page as a hostile page would work it: scripts, refreshes,
// redirects, forms and pop-ups never reach the user's browser; a link the
// user clicks does; closing the overlay ends the page's scripts. The market
// data host is a loopback server of pages written for this, "elsewhere" is
// the sample service, and a recorder stands in for the user's browser.
#include "app/gui/MainWindow.h"
#include "net/ServiceHosts.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/WindowWorld.h"

#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

using namespace fw;

namespace {

// Serves the pages below at /gdhs/detail/NAME.html; each page's script
// says in its title that it has run, the ticking page asks for /tick.
class HostilePages {
public:
    explicit HostilePages(const std::string& elsewhere)
    {
        const std::string full = "style='display:block;width:3000px;height:3000px'";
        m_pages = {
            {"script", "<script>location.href='" + elsewhere + "/away-script';document.title='ran'</script>"},
            {"refresh", "<meta http-equiv='refresh' content='0;url=" + elsewhere
                            + "/away-refresh'><script>document.title='ran'</script>"},
            {"popup", "<script>window.open('" + elsewhere + "/away-popup');document.title='ran'</script>"},
            {"popups", "<script>for (let i = 0; i < 20; ++i) window.open('');document.title='ran'</script>"},
            {"form", "<form action='" + elsewhere
                         + "/away-form'><input name=q value=1></form><script>document.forms[0].submit();"
                           "document.title='ran'</script>"},
            // A click, then a script that leaves well after it.
            {"late", "<div " + full + " onclick=\"setTimeout(() => { location.href='" + elsewhere
                         + "/away-late'; document.title='late' }, 1500)\">x</div><script>document.title='ran'</script>"},
            {"link", "<a href='" + elsewhere + "/clicked' " + full + ">x</a><script>document.title='ran'</script>"},
            {"blank", "<a target='_blank' href='" + elsewhere + "/clicked-blank' " + full
                          + ">x</a><script>document.title='ran'</script>"},
            {"opener", "<div " + full + " onclick=\"window.open('')\">x</div><script>document.title='ran'</script>"},
            {"ticks", "<script>setInterval(() => fetch('/tick'), 50);document.title='ran'</script>"},
        };
        m_server.Get(R"(/gdhs/detail/(\w+)\.html)", [this, elsewhere](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.matches[1];
            ++m_served;
            if (name == "redirect") {
                res.set_redirect(elsewhere + "/away-redirect");
                return;
            }
            const auto page = m_pages.find(name);
            res.set_content(page == m_pages.end() ? std::string("none") : page->second, "text/html");
        });
        m_server.Get("/tick", [this](const httplib::Request&, httplib::Response&) { ++m_ticks; });
        // No idle connection of the browser may hold one of the server's threads.
        m_server.set_keep_alive_max_count(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~HostilePages()
    {
        m_server.stop();
        m_thread.join();
    }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    std::atomic<int> m_served {0}, m_ticks {0};

private:
    std::map<std::string, std::string> m_pages;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace

struct StockPageWindowTest::Fixture : test::WindowWorld {
    Fixture() : WindowWorld(market(0)), pages(service.baseUrl())
    {
        ServiceHosts hosts = serviceHosts();
        hosts.setBaseUrl(HostRole::MarketData, pages.baseUrl());
        setServiceHosts(hosts);
        window.browserOpener = [this](const QUrl& url) { opened.push_back(url.toString()); };
    }

    // Opens the overlay on one page and waits until it was served and its
    // script has run (a redirect has none).
    QWebEngineView* open(const char* name)
    {
        const int served = pages.m_served;
        controller.details().openStockPage(name);
        const bool scripted = std::string(name) != "redirect";
        QWebEngineView* view = nullptr;
        const auto ready = [&] {
            view = find<QWebEngineView>(Control::StockBrowser);
            return view && pages.m_served > served && (!scripted || view->title() == QLatin1String("ran"));
        };
        if (!QTest::qWaitFor(ready, 10000))
            return nullptr;
        QTest::qWait(300); // a refresh or a script's navigation is on its way
        return view;
    }
    void close()
    {
        QTest::mouseClick(find(Control::StockClose), Qt::LeftButton);
        opened.clear();
    }
    // Requests that reached "elsewhere".
    int leftTheHost() const
    {
        int count = 0;
        for (const sample::LoggedRequest& r : service.requests())
            count += r.target.find("/away") != std::string::npos || r.target.find("/clicked") != std::string::npos;
        return count;
    }
    static int popups(QWebEngineView* view) { return int(view->page()->findChildren<QWebEnginePage*>().size()); }
    // A left click on the page, well inside what the frame shows of it.
    static void click(QWebEngineView* view)
    {
        QWidget* input = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(500, 600));
    }

    HostilePages pages;
    std::vector<QString> opened;
};

void StockPageWindowTest::initTestCase()
{
    resetTransferAbort();
    f = new Fixture;
    f->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->window));
}

void StockPageWindowTest::cleanupTestCase()
{
    delete f;
    f = nullptr;
}

void StockPageWindowTest::init() { f->service.clearLog(); }

void StockPageWindowTest::cleanup() { f->close(); }

void StockPageWindowTest::nothingButAClickLeavesTheHost_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("clicked");
    for (const char* page : {"script", "refresh", "redirect", "popup", "popups", "form"})
        QTest::newRow(page) << QString::fromLatin1(page) << false;
    QTest::newRow("late after a click") << QStringLiteral("late") << true;
}

void StockPageWindowTest::nothingButAClickLeavesTheHost()
{
    QFETCH(QString, page);
    QFETCH(bool, clicked);
    QWebEngineView* view = f->open(page.toLatin1().constData());
    QVERIFY(view);
    if (clicked) {
        Fixture::click(view);
        QTRY_COMPARE(view->title(), QStringLiteral("late"));
        QTest::qWait(300);
    }
    QCOMPARE(f->opened, std::vector<QString>());
    QCOMPARE(f->leftTheHost(), 0);
    QCOMPARE(Fixture::popups(view), 0);
    QCOMPARE(view->url().port(), int(QUrl(QString::fromStdString(f->pages.baseUrl())).port()));
}

void StockPageWindowTest::aClickedLinkOpensTheBrowser_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("opens");
    const QString elsewhere = QString::fromStdString(f->service.baseUrl());
    QTest::newRow("link") << QStringLiteral("link") << elsewhere + QStringLiteral("/clicked");
    QTest::newRow("link to a new window") << QStringLiteral("blank") << elsewhere + QStringLiteral("/clicked-blank");
    // The window the click asked for gets no page: it goes away.
    QTest::newRow("empty pop-up") << QStringLiteral("opener") << QString();
}

void StockPageWindowTest::aClickedLinkOpensTheBrowser()
{
    QFETCH(QString, page);
    QFETCH(QString, opens);
    QWebEngineView* view = f->open(page.toLatin1().constData());
    QVERIFY(view);
    Fixture::click(view);
    const std::vector<QString> expected = opens.isEmpty() ? std::vector<QString>() : std::vector<QString>{opens};
    if (!opens.isEmpty())
        QTRY_COMPARE(f->opened, expected);
    else
        QTRY_COMPARE(Fixture::popups(view), 1);
    QTRY_COMPARE(Fixture::popups(view), 0);
    QCOMPARE(f->opened, expected);
    QCOMPARE(f->leftTheHost(), 0); // the browser, not the overlay, goes there
}

void StockPageWindowTest::closingEndsThePagesScripts()
{
    QWebEngineView* view = f->open("ticks");
    QVERIFY(view);
    QTRY_VERIFY(f->pages.m_ticks >= 3);
    QTest::mouseClick(f->find(Control::StockClose), Qt::LeftButton);
    QTRY_COMPARE(view->url(), QUrl(QStringLiteral("about:blank")));
    QTest::qWait(200);
    const int ticks = f->pages.m_ticks;
    QTest::qWait(1500); // a hidden page's timers are slowed to one a second, not stopped
    QCOMPARE(int(f->pages.m_ticks), ticks);
}
