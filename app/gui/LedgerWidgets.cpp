#include "app/gui/LedgerWidgets.h"
#include "canvas/Gbk.h"
#include "text/NumberText.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace fw {

TextTableModel::TextTableModel(std::vector<Text> header, QObject* parent)
    : QAbstractTableModel(parent), m_header(std::move(header))
{
}

void TextTableModel::setRows(std::vector<std::vector<Text>> rows, std::vector<std::vector<Colour>> colours)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_colours = std::move(colours);
    endResetModel();
}

void TextTableModel::setEdit(Editable editable, Edit edit)
{
    m_editable = std::move(editable);
    m_edit = std::move(edit);
}

int TextTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int TextTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_header.size());
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < int(m_header.size()))
        return gbkToQString(m_header[size_t(section)]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const
{
    const size_t r = size_t(index.row()), c = size_t(index.column());
    if (r >= m_rows.size() || c >= m_rows[r].size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return gbkToQString(m_rows[r][c]);
    if (role == Qt::ForegroundRole && r < m_colours.size() && c < m_colours[r].size()
        && m_colours[r][c] != kDefaultColour)
        return toQColor(m_colours[r][c]);
    return {};
}

Qt::ItemFlags TextTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_editable && m_editable(index.row(), index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool TextTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    return role == Qt::EditRole && m_edit && m_edit(index.row(), index.column(), value.toString());
}

// ---- 走势

namespace {

constexpr Colour kMarketValueLine = 0xC06000; // blue
constexpr Colour kProfitLine = 0x0080FF;      // orange
constexpr Colour kWeightedLine = 0x0000FF;    // red
constexpr Colour kBenchmarkLine = 0x808080;   // grey
constexpr Colour kAxis = 0x000000;

struct Plot {
    QRectF area;
    double low = 0, high = 1;
    int count = 0;
    double x(int i) const { return count <= 1 ? area.left() : area.left() + area.width() * i / (count - 1); }
    double y(double v) const { return area.bottom() - (v - low) / (high - low) * area.height(); }
};

void drawSeries(QPainter& p, const Plot& plot, const std::vector<double>& values, Colour colour)
{
    QPainterPath path;
    for (size_t i = 0; i < values.size(); ++i) {
        const QPointF at(plot.x(int(i)), plot.y(values[i]));
        i == 0 ? path.moveTo(at) : path.lineTo(at);
    }
    p.setPen(QPen(toQColor(colour, ColourUse::Line), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// Draws one chart's frame, its value labels and its thinned dates; the plot to draw in.
Plot drawFrame(QPainter& p, const QRectF& box, const std::vector<ledger::Day>& days,
               std::initializer_list<const std::vector<double>*> series, bool percent, int& step)
{
    const QFontMetrics fm = p.fontMetrics();
    Plot plot;
    plot.count = int(days.size());
    double low = 0, high = 0;
    for (const auto* s : series)
        for (double v : *s) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (high - low < 1e-9)
        high = low + 1;
    plot.low = low;
    plot.high = high;
    auto valueText = [&](double v) {
        return percent ? gbkToQString(unitsText(roundedUnits(v * 100, 2), 2) + "%")
                       : gbkToQString(unitsText(roundedUnits(v, 2), 2));
    };
    const int leftWidth = std::max(fm.horizontalAdvance(valueText(low)), fm.horizontalAdvance(valueText(high))) + 8;
    plot.area = QRectF(box.left() + leftWidth, box.top() + fm.height(), box.width() - leftWidth - 8,
                       box.height() - 2.5 * fm.height());
    const QColor axis = toQColor(kAxis, ColourUse::Line);
    p.setPen(axis);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.area);
    for (double v : {low, high, 0.0}) {
        // Zero only where it stands clear of the ends' labels.
        if (v == 0.0 && (plot.y(v) > plot.y(low) - fm.height() || plot.y(v) < plot.y(high) + fm.height()))
            continue;
        const QString t = valueText(v);
        // Inside the plot's height, clear of the dates below it.
        const double y = std::clamp(plot.y(v) + fm.ascent() / 2.0, plot.area.top() + fm.ascent(), plot.area.bottom());
        p.drawText(QPointF(plot.area.left() - 4 - fm.horizontalAdvance(t), y), t);
    }
    // Dates thinned until each shows whole beside the next.
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("2026-12-31")) + fm.horizontalAdvance(QChar(' ')) * 2;
    step = ledger::labelStep(plot.count, labelWidth, int(plot.area.width()));
    for (int i = 0; i < plot.count; i += step) {
        const QString t = QString::fromStdString(ledger::dayText(days[size_t(i)]));
        const double w = fm.horizontalAdvance(t);
        const double x = std::clamp(plot.x(i) - w / 2, box.left(), box.right() - w);
        p.drawText(QPointF(x, plot.area.bottom() + fm.height()), t);
    }
    return plot;
}

std::vector<double> yuan(const std::vector<int64_t>& cents)
{
    std::vector<double> out;
    for (int64_t c : cents)
        out.push_back(double(c) / 100.0);
    return out;
}

} // namespace

LedgerTrendView::LedgerTrendView(QWidget* parent) : QWidget(parent) { setMinimumSize(480, 360); }

void LedgerTrendView::setTrend(ledger::Trend trend, QString benchmarkName)
{
    m_trend = std::move(trend);
    m_benchmarkName = std::move(benchmarkName);
    update();
}

void LedgerTrendView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), toQColor(0xFFFFFF, ColourUse::Fill));
    const QFontMetrics fm = p.fontMetrics();
    if (m_trend.days.empty()) {
        p.setPen(toQColor(kAxis));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("暂无收益走势"));
        return;
    }
    const double half = height() / 2.0;
    const QRectF top(4, fm.height() + 2, width() - 8, half - fm.height() - 4);
    const QRectF bottom(4, half + fm.height() + 2, width() - 8, half - fm.height() - 4);

    const auto value = yuan(m_trend.marketValue), profit = yuan(m_trend.totalProfit);
    int step = 1;
    const Plot money = drawFrame(p, top, m_trend.days, {&value, &profit}, false, step);
    drawSeries(p, money, value, kMarketValueLine);
    drawSeries(p, money, profit, kProfitLine);
    // Buys and sales marked on the 市值 line.
    for (const ledger::TradeMark& mark : m_trend.marks) {
        const auto it = std::lower_bound(m_trend.days.begin(), m_trend.days.end(), mark.day);
        if (it == m_trend.days.end())
            continue;
        const int i = int(it - m_trend.days.begin());
        const QPointF at(money.x(i), money.y(value[size_t(i)]));
        QPolygonF tri;
        const double s = 5, dir = mark.buy ? 1 : -1;
        tri << QPointF(at.x(), at.y() + dir * 2) << QPointF(at.x() - s, at.y() + dir * (2 + 1.6 * s))
            << QPointF(at.x() + s, at.y() + dir * (2 + 1.6 * s));
        const QColor c = toQColor(mark.buy ? kRed : kGreen, ColourUse::Line);
        p.setPen(c);
        p.setBrush(c);
        p.drawPolygon(tri);
    }
    const Plot rates = drawFrame(p, bottom, m_trend.days, {&m_trend.weighted, &m_trend.benchmark}, true, step);
    drawSeries(p, rates, m_trend.benchmark, kBenchmarkLine);
    drawSeries(p, rates, m_trend.weighted, kWeightedLine);
    m_labelStep = step;

    // Legends above each chart, each text whole.
    auto legend = [&](double y, std::initializer_list<std::pair<QString, Colour>> items) {
        double x = money.area.left();
        for (const auto& [text, colour] : items) {
            p.fillRect(QRectF(x, y - fm.ascent() / 2.0 - 2, 12, 4), toQColor(colour, ColourUse::Line));
            p.setPen(toQColor(kAxis));
            p.drawText(QPointF(x + 16, y), text);
            x += 16 + fm.horizontalAdvance(text) + 16;
        }
    };
    legend(top.top() - 2, {{QStringLiteral("市值"), kMarketValueLine}, {QStringLiteral("累计收益"), kProfitLine}});
    legend(bottom.top() - 2,
           {{QStringLiteral("时间加权收益率"), kWeightedLine}, {QStringLiteral("基准 ") + m_benchmarkName + (m_trend.hasBenchmark ? QString() : QStringLiteral("（暂无净值）")),
             kBenchmarkLine}});
}

} // namespace fw
