// The column of buttons, boards and boxes between the grids and the chart,
// with the progress and status lines and the bottom strip's portfolio button.
#include "app/gui/MainWindow.h"
#include "app/gui/MakeControl.h"
#include "canvas/Gbk.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyleOptionButton>

namespace fw {

void MainWindow::buildSideControls()
{
    makeLabel(Control::Progress, QString(), {640, 760, 168, 24}, m_client);
    makeLabel(Control::Status, QString(), {640, 792, 168, 24}, m_client);

    makeButton<QPushButton>(Control::FiveStarButton, "五星基金", {728, 576, 80, 40}, m_client);
    auto* sector = makeButton<QPushButton>(Control::SectorButton, "基金板块", {648, 576, 72, 40}, m_client);
    makeButton<QPushButton>(Control::StepButton, "刷步", {648, 624, 72, 40}, m_client);
    makeButton<QPushButton>(Control::ExportButton, "导出所有数据", {728, 624, 80, 40}, m_client);
    // In the free strip along the bottom edge, between the estimate label and the progress bar.
    makeButton<QPushButton>(Control::PortfolioButton, "持仓", {640, 828, 80, 24}, m_client);
    makeButton<QPushButton>(Control::AlertsButton, "提醒", {728, 828, 80, 24}, m_client);
    m_boards = new QButtonGroup(this);
    m_boards->setExclusive(true);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardDayGain, "昨日涨幅", {648, 672, 72, 16}, m_client), 1);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardMonthGain, "本月涨幅", {736, 672, 72, 16}, m_client), 2);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardDayLoss, "昨日跌幅", {648, 696, 72, 16}, m_client), 3);
    m_boards->addButton(makeButton<QRadioButton>(Control::BoardMonthLoss, "本月跌幅", {736, 696, 72, 16}, m_client), 4);
    auto* loadAll = makeButton<QCheckBox>(Control::LoadAllBox, "加载所有", {648, 720, 72, 24}, m_client);
    makeButton<QCheckBox>(Control::AutostartBox, "开机自启", {736, 720, 72, 24}, m_client);
    // Hover read-outs need mouse moves without a pressed button.
    for (QWidget* hover : {static_cast<QWidget*>(sector), static_cast<QWidget*>(loadAll)}) {
        hover->setMouseTracking(true);
        hover->installEventFilter(this);
    }
}

// Buttons and boxes whose caption does not fit the room their style leaves it
// grow to the right by the pixels it lacks.
void MainWindow::fitButtons()
{
    for (QAbstractButton* button : m_client->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QStyle::SubElement contents = qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                            : qobject_cast<QCheckBox*>(button)  ? QStyle::SE_CheckBoxContents
                                                                                : QStyle::SE_PushButtonContents;
        const int room = button->style()->subElementRect(contents, &option, button).width();
        const int lacking = button->fontMetrics().horizontalAdvance(button->text()) - room;
        if (lacking > 0)
            button->resize(button->width() + lacking, button->height());
    }
}

void MainWindow::wireSideControls()
{
    auto button = [this](Control control) { return findChild<QAbstractButton*>(qtName(control)); };
    MainController& c = m_controller;

    connect(button(Control::FiveStarButton), &QAbstractButton::clicked, this, [&c] { c.onFiveStarClicked(); });
    // The sector window arrives with the secondary windows; it opens here.
    connect(button(Control::SectorButton), &QAbstractButton::clicked, this, [&c] { c.onSectorButtonClicked(); });
    connect(button(Control::StepButton), &QAbstractButton::clicked, this, [&c] { c.onStepButtonClicked(); });
    connect(button(Control::PortfolioButton), &QAbstractButton::clicked, this, [this] { openPortfolio(); });
    // Without a data directory there is nowhere to keep rules.
    button(Control::AlertsButton)->setEnabled(!c.dataDirectory().empty());
    connect(button(Control::AlertsButton), &QAbstractButton::clicked, this, [this] { openAlerts(); });
    connect(button(Control::ExportButton), &QAbstractButton::clicked, this, [&c] { c.onExportClicked(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [&c] { c.onEscapePressed(); });

    // The controller records the states after the click in the View.
    connect(m_boards, &QButtonGroup::idClicked, this, [&c](int id) { c.onBoardClicked(id); });
    connect(button(Control::LoadAllBox), &QAbstractButton::clicked, this, [&c](bool checked) { c.onLoadAllClicked(checked); });
    connect(button(Control::AutostartBox), &QAbstractButton::clicked, this, [&c](bool checked) { c.onAutostartClicked(checked); });
}

} // namespace fw
