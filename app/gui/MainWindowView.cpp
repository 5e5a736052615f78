// Binding of the main window to the View: the changes the models record are
// applied here, on the UI thread, with the secondary windows' open states.
#include "app/gui/MainWindow.h"
#include "app/gui/AlertDialog.h"
#include "app/gui/SectorWindow.h"
#include "app/gui/StepWindow.h"
#include "app/gui/TextFit.h"
#include "canvas/Gbk.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>

namespace fw {

void MainWindow::onViewChange(const ViewChange& change)
{
    // The sector and step windows apply their own controls.
    if (change.control != Control::Count && windowOf(change.control) != Window::Main)
        return;
    std::lock_guard lock(m_pendingMutex);
    // Later changes of the same control replace earlier ones; the state is
    // read back from the View when applied.
    auto same = [&change](const ViewChange& entry) {
        return entry.kind == change.kind && entry.control == change.control && entry.window == change.window;
    };
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(), same), m_pending.end());
    m_pending.push_back(change);
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(this, [this] { applyViewChanges(); }, Qt::QueuedConnection);
    }
}

void MainWindow::applyViewChanges()
{
    std::vector<ViewChange> pending;
    {
        std::lock_guard lock(m_pendingMutex);
        pending.swap(m_pending);
        m_posted = false;
    }
    for (const ViewChange& change : pending)
        applyViewChange(change);
}

void MainWindow::applyViewChange(const ViewChange& change)
{
    const View& view = m_models.view;
    const ViewChange::Kind kind = change.kind;
    const Control name = change.control;
    if (kind == ViewChange::Title) {
        setWindowTitle(gbkToQString(view.title()));
        return;
    }
    if (kind == ViewChange::StockPage) {
        applyStockPage();
        return;
    }
    if (kind == ViewChange::WindowOpen) {
        if (change.window == Window::Sector)
            applySectorWindowState();
        else if (change.window == Window::Step)
            applyStepWindowState();
        return;
    }
    if (kind == ViewChange::Progress) {
        const ProgressState progress = view.progress();
        m_loadProgress->setRange(0, std::max(progress.maximum, 1));
        m_loadProgress->setValue(std::clamp(progress.value, 0, std::max(progress.maximum, 1)));
        m_loadProgress->setVisible(progress.visible);
        return;
    }
    QWidget* widget = control(name);
    if (!widget)
        return;
    switch (kind) {
    case ViewChange::Caption: {
        const QString text = gbkToQString(view.caption(name));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QStringList forms;
            for (const Text& form : view.captionForms(name))
                forms << gbkToQString(form);
            showCaption(*label, forms);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
        else if (auto* edit = qobject_cast<QLineEdit*>(widget); edit && edit->text() != text)
            edit->setText(text);
        break;
    }
    case ViewChange::EditText:
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            const QString text = gbkToQString(view.editText(name));
            if (edit->text() != text) // keeps the caret where the user types
                edit->setText(text);
        }
        break;
    case ViewChange::Enabled:
        widget->setEnabled(view.isEnabled(name));
        break;
    case ViewChange::Visible:
        widget->setVisible(view.isVisible(name));
        if (widget == m_suggestions)
            fitSuggestionList();
        break;
    case ViewChange::Checked:
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const bool checked = view.isChecked(name);
            QButtonGroup* group = button->group();
            // An exclusive group refuses to clear its checked button.
            if (group && !checked)
                group->setExclusive(false);
            button->setChecked(checked);
            if (group && !checked)
                group->setExclusive(true);
        }
        break;
    case ViewChange::TextColour: {
        const QColor colour = toQColor(view.textColour(name));
        QPalette palette = widget->palette();
        const QPalette standard = QApplication::palette(widget);
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            palette.setColor(role, colour.isValid() ? colour : standard.color(role));
        widget->setPalette(palette);
        break;
    }
    case ViewChange::Tooltip: {
        const QString text = gbkToQString(view.lastTooltip(name));
        widget->setToolTip(text);
        if (widget->isVisible())
            QToolTip::showText(QCursor::pos(), text, widget);
        break;
    }
    default:
        break;
    }
}

// A label shows the first form of its caption that fits its designed width.
// When none does, a growing label takes the width the shortest needs within
// its bounds; any other label ends it in "…" and shows it whole in its tooltip.
void MainWindow::showCaption(QLabel& label, const QStringList& forms)
{
    const auto growing = m_growingLabels.constFind(&label);
    const QRect designed = growing == m_growingLabels.cend() ? label.geometry() : growing->first;
    const QString text = firstFittingForm(label, forms, designed.width());
    if (growing == m_growingLabels.cend()) {
        setElidedText(label, text);
        return;
    }
    label.setGeometry(labelGeometryFor(label, growing->first, text, growing->second));
    setElidedText(label, text); // still too wide for its bounds
}

void MainWindow::applySectorWindowState()
{
    if (m_closing)
        return;
    switch (m_models.view.windowState(Window::Sector)) {
    case WindowState::Shown:
        if (m_sectorWindow) {
            m_sectorWindow->show();
            m_sectorWindow->raise();
            return;
        }
        m_sectorWindow = new SectorWindow(m_controller);
        m_sectorWindow->show();
        // The window's created event: it fills itself (a download, events run).
        m_controller.onSectorWindowCreated();
        return;
    case WindowState::Hidden:
        if (m_sectorWindow)
            m_sectorWindow->hide();
        return;
    case WindowState::Closed:
        if (m_sectorWindow) {
            m_sectorWindow->hide();
            m_sectorWindow->deleteLater();
            m_sectorWindow = nullptr;
            m_controller.onSectorWindowDestroyed();
        }
        return;
    }
}

AlertDialog* MainWindow::alertDialog() const { return m_alertDialog; }

void MainWindow::openAlerts()
{
    if (m_controller.dataDirectory().empty())
        return;
    if (!m_alertDialog) {
        m_alertDialog = new AlertDialog(m_controller.dataDirectory(), m_controller.config(), this);
        m_alertDialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_alertDialog->show();
    m_alertDialog->raise();
    m_alertDialog->activateWindow();
}

void MainWindow::openPortfolio(const Text& code)
{
    if (!m_portfolioWindow)
        m_portfolioWindow = new PortfolioWindow(m_controller.context(), &m_controller.ledger(), this);
    m_portfolioWindow->show();
    m_portfolioWindow->raise();
    m_portfolioWindow->activateWindow();
    if (!code.empty())
        m_portfolioWindow->openOn(code);
}

void MainWindow::applyStepWindowState()
{
    if (m_closing)
        return;
    const WindowState state = m_models.view.windowState(Window::Step);
    if (m_stepWindow) {
        if (state == WindowState::Closed)
            m_stepWindow->done(QDialog::Accepted); // 保存配置 has done its work
        return;
    }
    // Start-up's hidden step window is the View's edit boxes alone.
    if (state != WindowState::Shown)
        return;
    StepWindow window(m_controller); // no owner, modal
    m_stepWindow = &window;
    m_controller.onStepWindowCreated();
    window.exec();
    m_stepWindow = nullptr;
    m_controller.onStepWindowClosed();
}

} // namespace fw
