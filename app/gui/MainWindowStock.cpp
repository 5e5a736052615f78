// The stock page overlay: a browser view over the upper grids with its close
// picture, and the rules for where its links may go.
#include "app/gui/MainWindow.h"
#include "canvas/Gbk.h"
#include "funds/StockPage.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace fw {

namespace {

// The close picture of the stock page overlay, drawn once at run time.
QPixmap closePicture()
{
    QPixmap pixmap(64, 56);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 40, 40));
    painter.drawEllipse(QRectF(14, 8, 40, 40));
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(25, 19), QPointF(43, 37));
    painter.drawLine(QPointF(43, 19), QPointF(25, 37));
    return pixmap;
}

QRect toQRect(const OverlayRect& r) { return QRect(r.left, r.top, r.width, r.height); }

// How long after a button or key pressed on the stock page a link still
// counts as one the user clicked.
constexpr qint64 kUserActionMs = 1000;
// A pop-up the user asked for goes away when no navigation reaches it by then.
constexpr int kPopupGraceMs = 1000;

// Notes when the user last pressed a mouse button or a key on the stock page:
// a filter on the view's focus proxy, the widget that takes the page's input
// (made when the page first renders, so it is looked for as children come).
class UserActionWatch : public QObject {
public:
    UserActionWatch(QWebEngineView* view, QObject* parent) : QObject(parent), m_view(view)
    {
        view->installEventFilter(this);
        watchProxy();
    }

    bool actedJustBefore() const { return m_lastAction.isValid() && m_lastAction.elapsed() <= kUserActionMs; }

    void watchProxy()
    {
        QWidget* proxy = m_view ? m_view->focusProxy() : nullptr;
        if (!proxy || proxy == m_proxy)
            return;
        proxy->installEventFilter(this);
        m_proxy = proxy;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::TouchBegin:
            if (watched == m_proxy)
                m_lastAction.start();
            break;
        case QEvent::ChildAdded:
        case QEvent::ChildPolished:
        case QEvent::Show:
            if (watched == m_view)
                watchProxy();
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QWebEngineView> m_view;
    QPointer<QWidget> m_proxy;
    QElapsedTimer m_lastAction;
};

// The stock page. Main-frame navigations are routed by StockPage::navigation;
// only a link the user clicked reaches the user's browser. Scripts open no
// window; one the user asked for is honoured for its first navigation.
class StockWebPage : public QWebEnginePage {
public:
    StockWebPage(QWebEngineView* view, std::function<void(const QUrl&)> openOutside)
        : QWebEnginePage(view), m_actions(new UserActionWatch(view, this)), m_openOutside(std::move(openOutside))
    {
        settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        connect(this, &QWebEnginePage::newWindowRequested, this, &StockWebPage::onNewWindowRequested);
        // The focus proxy may change as pages load.
        connect(this, &QWebEnginePage::loadStarted, m_actions, &UserActionWatch::watchProxy);
    }

    // True when the navigation loads in the page that asked for it.
    bool route(const QUrl& url, bool linkClicked)
    {
        const std::string target = url.toString(QUrl::FullyEncoded).toStdString();
        switch (StockPage::navigation(target, linkClicked, m_actions->actedJustBefore())) {
        case StockNavigation::Load:
            return true;
        case StockNavigation::OpenOutside:
            m_openOutside(url);
            return false;
        case StockNavigation::Refuse:
            break;
        }
        return false;
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        return !isMainFrame || route(url, type == NavigationTypeLinkClicked);
    }
    // Every new window goes through newWindowRequested, which knows whether
    // the user asked for it.
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    void onNewWindowRequested(QWebEngineNewWindowRequest& request);

    UserActionWatch* m_actions;
    std::function<void(const QUrl&)> m_openOutside;
};

// Stands in for a window the user asked for (a link with a target): its first
// navigation is routed as a link of the overlay, then it goes away; so does a
// pop-up that no navigation reaches.
class PopupPage : public QWebEnginePage {
public:
    explicit PopupPage(StockWebPage* overlay) : QWebEnginePage(overlay->profile(), overlay), m_overlay(overlay)
    {
        QTimer::singleShot(kPopupGraceMs, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        if (!isMainFrame)
            return false;
        if (m_overlay->route(url, true) && StockPage::staysInOverlay(url.toString(QUrl::FullyEncoded).toStdString()))
            m_overlay->load(url);
        deleteLater();
        return false;
    }

private:
    StockWebPage* m_overlay;
};

void StockWebPage::onNewWindowRequested(QWebEngineNewWindowRequest& request)
{
    if (!request.isUserInitiated())
        return; // unanswered: the script gets no window
    request.openIn(new PopupPage(this));
}

} // namespace

void MainWindow::buildStockOverlay()
{
    // The stock page overlay, above everything else; hidden until a page opens.
    m_stockFrame = new QFrame(m_client);
    m_stockFrame->setObjectName(qtName(Control::StockFrame));
    m_stockFrame->setGeometry(toQRect(kStockFrameRect));
    m_stockFrame->setAutoFillBackground(true);
    m_browser = new QWidget(m_stockFrame);
    m_browser->setObjectName(qtName(Control::StockBrowser));
    m_browser->setGeometry(toQRect(kStockViewerRect));
    m_browser->hide();
    m_closePicture = new QLabel(m_stockFrame);
    m_closePicture->setObjectName(qtName(Control::StockClose));
    m_closePicture->setGeometry(toQRect(kStockCloseRect));
    m_closePicture->setPixmap(closePicture());
    m_closePicture->setCursor(Qt::PointingHandCursor);
    m_closePicture->installEventFilter(this);
    m_closePicture->raise();
    m_stockFrame->hide();
    m_stockFrame->raise();
}

void MainWindow::applyStockPage()
{
    const Text url = m_models.view.stockPageUrl();
    if (url.empty()) {
        m_stockFrame->hide();
        m_browser->hide();
        // A hidden page would run on: its scripts end with it.
        if (m_browserCreated)
            static_cast<QWebEngineView*>(m_browser)->load(QUrl(QStringLiteral("about:blank")));
        return;
    }
    if (!m_browserCreated) {
        // The browser engine starts only when the first stock page opens.
        auto* browser = new QWebEngineView(m_stockFrame);
        browser->setPage(new StockWebPage(browser, [this](const QUrl& link) {
            if (browserOpener)
                browserOpener(link);
            else
                QDesktopServices::openUrl(link);
        }));
        browser->setObjectName(m_browser->objectName());
        browser->setGeometry(m_browser->geometry());
        delete m_browser;
        m_browser = browser;
        m_browserCreated = true;
    }
    m_stockFrame->resize(m_stockFrame->width(), kStockFrameOpenHeight);
    m_browser->resize(m_browser->width(), kStockViewerOpenHeight);
    m_stockFrame->show();
    m_browser->show();
    m_closePicture->raise();
    m_stockFrame->raise();
    static_cast<QWebEngineView*>(m_browser)->load(QUrl(gbkToQString(url)));
}

} // namespace fw
