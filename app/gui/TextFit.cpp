#include "app/gui/TextFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QToolTip>
#include <QTreeView>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace fw {

namespace {

// The room the style leaves on each side of a cell's text.
int textMargin(const QWidget& view)
{
    return view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
}

const QHeaderView* headerOf(const QAbstractItemView& view)
{
    if (auto* table = qobject_cast<const QTableView*>(&view))
        return table->horizontalHeader();
    if (auto* tree = qobject_cast<const QTreeView*>(&view))
        return tree->header();
    return nullptr;
}

// The whole pixels a text takes in the view's font: its advance has fractions,
// and a cell one fraction short draws the text cut.
int textWidth(const QWidget& view, const QString& text)
{
    return int(std::ceil(QFontMetricsF(view.font()).horizontalAdvance(text)));
}

} // namespace

std::vector<int> fittedColumnWidths(const std::vector<int>& designed, const std::vector<int>& needed, int room,
                                    int giver, int giverMinimum)
{
    std::vector<int> widths(designed);
    for (size_t c = 0; c < widths.size() && c < needed.size(); ++c)
        widths[c] = std::max(widths[c], needed[c]);
    const int excess = std::accumulate(widths.begin(), widths.end(), 0) - room;
    if (excess > 0 && giver >= 0 && size_t(giver) < widths.size()) {
        int& given = widths[size_t(giver)];
        given = std::max(given - excess, std::min(given, giverMinimum));
    }
    return widths;
}

int cellWidthFor(const QAbstractItemView& view, const QString& text)
{
    auto* table = qobject_cast<const QTableView*>(&view);
    const int gridLine = table && table->showGrid() ? 1 : 0;
    return textWidth(view, text) + 2 * textMargin(view) + gridLine;
}

int headerWidthFor(const QAbstractItemView& view, const QString& text)
{
    const QHeaderView* header = headerOf(view);
    if (!header)
        return 0;
    QStyleOptionHeader option;
    option.initFrom(header);
    option.text = text;
    option.fontMetrics = header->fontMetrics();
    return header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header).width();
}

int roomInside(const QAbstractScrollArea& view, bool scrolls)
{
    const int bar = scrolls ? view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view.verticalScrollBar()) : 0;
    return view.width() - 2 * view.frameWidth() - bar;
}

std::vector<int> fitColumns(QAbstractItemView& view, const std::vector<int>& designed, const QStringList& widest,
                            int giver, bool scrolls)
{
    std::vector<int> needed;
    for (size_t c = 0; c < designed.size(); ++c) {
        const QString header = view.model()->headerData(int(c), Qt::Horizontal).toString();
        const QString text = int(c) < widest.size() ? widest[int(c)] : QString();
        needed.push_back(std::max(headerWidthFor(view, header), text.isEmpty() ? 0 : cellWidthFor(view, text)));
    }
    const std::vector<int> widths =
        fittedColumnWidths(designed, needed, roomInside(view, scrolls), giver, needed[size_t(giver)]);
    for (size_t c = 0; c < widths.size(); ++c) {
        if (auto* table = qobject_cast<QTableView*>(&view))
            table->setColumnWidth(int(c), widths[c]);
        else if (auto* tree = qobject_cast<QTreeView*>(&view); tree && !tree->isColumnHidden(int(c)))
            tree->setColumnWidth(int(c), widths[c]);
    }
    return widths;
}

void setElidedText(QLabel& label, const QString& text)
{
    const int room = label.contentsRect().width() - 2 * label.margin() - label.indent();
    const QString shown = label.fontMetrics().elidedText(text, Qt::ElideRight, std::max(room, 0));
    label.setText(shown);
    label.setToolTip(shown == text ? QString() : text);
}

int labelWidthFor(const QLabel& label, const QString& text)
{
    return label.fontMetrics().horizontalAdvance(text) + 2 * label.margin() + 2 * label.frameWidth();
}

QString firstFittingForm(const QLabel& label, const QStringList& forms, int width)
{
    for (const QString& form : forms) {
        if (labelWidthFor(label, form) <= width)
            return form;
    }
    return forms.isEmpty() ? QString() : forms.back();
}

QRect labelGeometryFor(const QLabel& label, const QRect& designed, const QString& text, const QRect& bounds)
{
    const int needed = labelWidthFor(label, text);
    if (needed <= designed.width())
        return designed;
    QRect r = designed;
    r.setWidth(std::min(needed, bounds.width()));
    if (label.alignment() & Qt::AlignHCenter)
        r.moveLeft(designed.center().x() - r.width() / 2);
    if (r.right() > bounds.right())
        r.moveRight(bounds.right());
    if (r.left() < bounds.left())
        r.moveLeft(bounds.left());
    return r;
}

bool WholeTextTips::isCut(const QAbstractItemView& view, const QModelIndex& index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const int room = view.visualRect(index).width() - 2 * textMargin(view);
    return textWidth(view, text) > room;
}

bool WholeTextTips::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                              const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (index.isValid() && isCut(*view, index))
        QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(), option.rect);
    else
        QToolTip::hideText();
    return true;
}

} // namespace fw
