#pragma once
// Keeping texts whole in the designed layout, whatever the font: a column or
// a control keeps its designed size where its widest text fits and grows by
// the fewest pixels where it does not; names that do not fit end in "…" and
// show whole in their tooltip.
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <vector>

class QAbstractButton;
class QAbstractItemView;
class QAbstractScrollArea;
class QLabel;
class QRect;

namespace fw {

// The widths of a row of columns. Each column keeps its designed width where
// the width its widest text needs is no more, else takes that width. When the
// columns then need more than `room`, the giving column (whose texts are names
// that may end in "…") gives up the excess, down to `giverMinimum`.
std::vector<int> fittedColumnWidths(const std::vector<int>& designed, const std::vector<int>& needed, int room,
                                    int giver, int giverMinimum);

// The column width that shows `text` whole in a cell of `view` (its font and
// its style's text margins, and the grid line of a table).
int cellWidthFor(const QAbstractItemView& view, const QString& text);
// The same for a header section of `view`.
int headerWidthFor(const QAbstractItemView& view, const QString& text);

// The width inside a view's frame, less the vertical scroll bar when it may show.
int roomInside(const QAbstractScrollArea& view, bool scrolls);

// Sets the widths of a view's columns by fittedColumnWidths: each column
// needs its header and its widest text (none for the names' column `giver`),
// within roomInside(view, scrolls). Hidden columns stay hidden. Returns the widths.
std::vector<int> fitColumns(QAbstractItemView& view, const std::vector<int>& designed, const QStringList& widest,
                            int giver, bool scrolls);

// Shows `text` in the label, ending in "…" with the whole text as its tooltip
// when it is wider than the label.
void setElidedText(QLabel& label, const QString& text);

// A label's designed geometry grown to show `text` whole: wider about its
// middle (a centred title) or to the right, never past the edges of `bounds`.
QRect labelGeometryFor(const QLabel& label, const QRect& designed, const QString& text, const QRect& bounds);

// The width a label needs to show `text` whole: the text, its margins and frame.
int labelWidthFor(const QLabel& label, const QString& text);
// The first of the forms of a text (longest first) that a label of `width`
// shows whole; the last, the shortest, when none does. "" without forms.
QString firstFittingForm(const QLabel& label, const QStringList& forms, int width);

// The item delegate of the grids and lists: a cell whose text ends in "…"
// shows it whole in its tooltip; other cells show none.
class WholeTextTips : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // True when the cell's text does not fit its cell.
    static bool isCut(const QAbstractItemView& view, const QModelIndex& index);
};

} // namespace fw
