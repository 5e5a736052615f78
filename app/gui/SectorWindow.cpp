#include "app/gui/SectorWindow.h"
#include "canvas/Gbk.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace fw {

namespace {

constexpr int kWidth = 1340;
constexpr int kDesignedHeight = 758;

QString tileText(const Text& caption)
{
    // Captions separate their lines with CR LF; a label breaks at LF.
    return gbkToQString(caption).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void paintTile(QLabel* tile, Colour background)
{
    QPalette palette = tile->palette();
    palette.setColor(QPalette::Window, toQColor(background, ColourUse::Fill));
    palette.setColor(QPalette::WindowText, toQColor(0x000000));
    tile->setPalette(palette);
}

} // namespace

SectorWindow::SectorWindow(MainController& controller)
    : QWidget(nullptr, Qt::Window), m_controller(controller), m_models(controller.models())
{
    setObjectName(QStringLiteral("SectorWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false); // the main window decides when it goes
    setFixedSize(kWidth, kDesignedHeight);
    move(50, 50);

    m_caption = new QLabel(this);
    m_caption->setObjectName(qtName(Control::SectorCaption));
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setGeometry(984, 696, 336, 48);
    m_caption->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);

    const struct { Control control; const char* caption; int left; } buttons[] = {
        {Control::SectorWeek, "近1周", 400},
        {Control::SectorMonth, "近1月", 536},
        {Control::SectorQuarter, "近3月", 672},
        {Control::SectorYear, "近1年", 808},
    };
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(QString::fromUtf8(buttons[i].caption), this);
        button->setObjectName(qtName(buttons[i].control));
        button->setGeometry(buttons[i].left, 696, 104, 50);
        connect(button, &QPushButton::clicked, this, [this, i] { m_controller.onSectorPeriodClicked(i + 1); });
        m_buttons.push_back(button);
    }

    m_template = new QLabel(QStringLiteral("\n第三代半导体\n14.88%"), this);
    m_template->setObjectName(qtName(Control::SectorTileTemplate));
    m_template->setTextFormat(Qt::PlainText);
    m_template->setAlignment(Qt::AlignCenter);
    m_template->setAutoFillBackground(true);
    m_template->setGeometry(1032, 560, 104, 56);
    m_template->hide();

    // Both models are written on the UI thread, but the changes are applied
    // queued, as the main window does, so a change never lands mid-build.
    m_tilesListener = m_models.sectorTiles.addListener([this](const SectorTilesChange& change) {
        QMetaObject::invokeMethod(
            this,
            [this, change] {
                if (change.kind == SectorTilesChange::Rebuilt)
                    rebuildTiles();
                else
                    applyTile(change.tile);
            },
            Qt::QueuedConnection);
    });
    m_viewListener = m_models.view.addListener([this](const ViewChange& change) {
        if (change.kind == ViewChange::Caption && change.control == Control::SectorCaption)
            QMetaObject::invokeMethod(this, [this] { applyCaption(); }, Qt::QueuedConnection);
    });
    applyCaption();
    rebuildTiles();
}

SectorWindow::~SectorWindow()
{
    m_models.sectorTiles.removeListener(m_tilesListener);
    m_models.view.removeListener(m_viewListener);
}

QWidget* SectorWindow::control(Control control) const
{
    return findChild<QWidget*>(qtName(control), Qt::FindDirectChildrenOnly);
}

void SectorWindow::applyCaption() { m_caption->setText(gbkToQString(m_models.view.caption(Control::SectorCaption))); }

void SectorWindow::rebuildTiles()
{
    for (QLabel* tile : m_tiles)
        delete tile;
    m_tiles.clear();
    const std::vector<SectorTile> tiles = m_models.sectorTiles.tiles();
    for (size_t k = 0; k < tiles.size(); ++k) {
        // A clone of the template: same size, font and alignment.
        auto* tile = new QLabel(this);
        tile->setTextFormat(Qt::PlainText);
        tile->setAlignment(m_template->alignment());
        tile->setFont(m_template->font());
        tile->setAutoFillBackground(true);
        tile->setCursor(Qt::PointingHandCursor);
        tile->setGeometry(tiles[k].left, tiles[k].top, m_template->width(), m_template->height());
        tile->setText(tileText(tiles[k].caption));
        paintTile(tile, tiles[k].background);
        tile->installEventFilter(this);
        tile->show();
        m_tiles.push_back(tile);
    }
    const int height = m_models.sectorTiles.windowHeight();
    if (height > 0) {
        const int top = m_models.sectorTiles.controlsTop();
        for (QPushButton* button : m_buttons)
            button->move(button->x(), top);
        m_caption->move(m_caption->x(), top);
        setFixedSize(kWidth, height);
    }
}

void SectorWindow::applyTile(int tile)
{
    if (tile < 0 || tile >= int(m_tiles.size()))
        return;
    const SectorTile model = m_models.sectorTiles.tile(tile);
    m_tiles[size_t(tile)]->setText(tileText(model.caption));
    paintTile(m_tiles[size_t(tile)], model.background);
}

bool SectorWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (size_t k = 0; k < m_tiles.size(); ++k) {
            if (m_tiles[k] == watched) {
                m_controller.onSectorTileClicked(int(k));
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SectorWindow::closeEvent(QCloseEvent* event)
{
    // The user closed it: the main window destroys it and tells the controller.
    event->accept();
    m_models.view.setWindowState(Window::Sector, WindowState::Closed);
}

} // namespace fw
