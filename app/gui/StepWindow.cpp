#include "app/gui/StepWindow.h"
#include "canvas/Gbk.h"

#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolTip>
#include <algorithm>

namespace fw {

namespace {

// 目标步数框 takes at most five typed characters.
constexpr int kTypedStepsLimit = 5;

// Shows `text` in the box. A box with a typing limit shows a longer stored
// value whole (what is saved and sent is what the user sees); typing never
// makes the text longer than the limit or than the text already is.
void showText(QLineEdit* box, const QString& text, int typedLimit)
{
    if (typedLimit > 0)
        box->setMaxLength(std::max(typedLimit, int(text.size())));
    box->setText(text);
}

} // namespace

StepWindow::StepWindow(MainController& controller)
    : QDialog(nullptr), m_controller(controller), m_models(controller.models())
{
    setObjectName(QStringLiteral("StepWindow"));
    setFixedSize(250, 255);
    move(50, 50);

    // The group box first, so that the controls placed over it lie above it.
    auto* group = new QGroupBox(QStringLiteral("微信/支付宝/QQ刷步"), this);
    group->setObjectName(qtName(Control::StepGroup));
    group->setGeometry(8, 8, 232, 216);

    auto label = [this](Control control, const QString& text, const QRect& geometry) {
        auto* widget = new QLabel(text, this);
        widget->setObjectName(qtName(control));
        widget->setTextFormat(Qt::PlainText);
        widget->setGeometry(geometry);
        return widget;
    };
    auto edit = [this](Control control, const QRect& geometry) {
        auto* box = new QLineEdit(this);
        box->setObjectName(qtName(control));
        box->setGeometry(geometry);
        const int limit = typedLimit(control);
        showText(box, gbkToQString(m_models.view.editText(control)), limit);
        connect(box, &QLineEdit::textEdited, this, [this, box, control, limit](const QString& text) {
            if (limit > 0) // a stored value longer than the limit only shrinks
                box->setMaxLength(std::max(limit, int(text.size())));
            m_models.view.setEditText(control, qStringToGbk(text));
        });
        return box;
    };
    label(Control::StepAccountLabel, QStringLiteral("小米账号："), {8, 24, 56, 32});
    edit(Control::StepAccount, {72, 24, 112, 32});
    label(Control::StepPasswordLabel, QStringLiteral("小米密码："), {8, 64, 56, 32});
    edit(Control::StepPassword, {72, 64, 112, 32})->setEchoMode(QLineEdit::Password);
    label(Control::StepTargetLabel, QStringLiteral("目标步数："), {8, 104, 56, 32});
    edit(Control::StepTarget, {72, 104, 112, 32});
    m_usage = label(Control::StepUsage, QStringLiteral("使用方法"), {24, 152, 48, 16});
    m_usage->setMouseTracking(true); // moves without a pressed button
    m_usage->installEventFilter(this);
    auto* save = new QPushButton(QStringLiteral("保存配置"), this);
    save->setObjectName(qtName(Control::StepSave));
    save->setGeometry(112, 152, 80, 32);
    connect(save, &QPushButton::clicked, this, [this] { m_controller.onStepSaveClicked(); });
    label(Control::StepNote, QStringLiteral("以上功能配置好后，软件启动自动执行"), {16, 192, 208, 24});

    // The View may change from any thread: applied on this window's thread.
    m_viewListener = m_models.view.addListener([this](const ViewChange& change) {
        if (change.control == Control::Count || windowOf(change.control) != Window::Step)
            return;
        QMetaObject::invokeMethod(this, [this, change] { applyChange(change); }, Qt::QueuedConnection);
    });
}

StepWindow::~StepWindow() { m_models.view.removeListener(m_viewListener); }

int StepWindow::typedLimit(Control control) { return control == Control::StepTarget ? kTypedStepsLimit : 0; }

QWidget* StepWindow::control(Control control) const
{
    return findChild<QWidget*>(qtName(control), Qt::FindDirectChildrenOnly);
}

void StepWindow::applyChange(const ViewChange& change)
{
    const View& view = m_models.view;
    if (change.kind == ViewChange::EditText) {
        auto* box = qobject_cast<QLineEdit*>(control(change.control));
        const QString text = gbkToQString(view.editText(change.control));
        if (box && box->text() != text) // keeps the caret where the user types
            showText(box, text, typedLimit(change.control));
    } else if (change.kind == ViewChange::Tooltip && change.control == Control::StepUsage) {
        // The text separates its lines with CR LF; a tooltip breaks at LF.
        const QString text = gbkToQString(view.lastTooltip(Control::StepUsage)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        m_usage->setToolTip(text);
        if (m_usage->isVisible())
            QToolTip::showText(QCursor::pos(), text, m_usage);
    }
}

bool StepWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_usage && event->type() == QEvent::MouseMove)
        m_controller.onStepUsageHover();
    return QDialog::eventFilter(watched, event);
}

} // namespace fw
