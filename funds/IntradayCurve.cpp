#include "funds/IntradayCurve.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace fw {

std::vector<EstimateModel> modelsFor(const FundPositions& positions, std::string_view gbkFundName)
{
    std::vector<EstimateModel> models;
    if (!positions.targetCode.empty())
        models.push_back(EstimateModel::Feeder);
    if (indexForFundName(gbkFundName))
        models.push_back(EstimateModel::Index);
    if (!positions.stocks.empty())
        models.push_back(EstimateModel::Holdings);
    return models;
}

TextList curveQuoteIds(const FundPositions& positions, std::string_view gbkFundName, const ModelErrors& errors)
{
    TextList ids;
    auto add = [&ids](const Text& id) {
        if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    };
    const std::optional<EstimateModel> model = preferredModel(modelsFor(positions, gbkFundName), errors);
    if (!model)
        return ids;
    if (*model == EstimateModel::Index) {
        add(indexForFundName(gbkFundName)->quoteId);
        return ids;
    }
    if (*model == EstimateModel::Feeder)
        add(positions.targetQuoteId);
    for (const ListedHolding& h : positions.stocks)
        add(h.quoteId);
    return ids;
}

std::optional<ModelEstimate> estimateBy(EstimateModel model, const EstimateInputs& in)
{
    switch (model) {
    case EstimateModel::Feeder:
        return feederEstimate(in);
    case EstimateModel::Index:
        return indexEstimate(in);
    case EstimateModel::Holdings:
        return holdingsEstimate(in);
    }
    return std::nullopt;
}

std::optional<IntradayCurve> curveFromBars(const EstimateInputs& in, const BarsById& bars,
                                           std::optional<EstimateModel> model)
{
    // Each holding's bars in time order, the minutes of the curve, and the
    // changes of the last minute (which choose the model).
    struct Track {
        const Text* id;
        std::vector<std::pair<int, double>> changes; // minute, percent
        size_t next = 0;
        double last = 0;
    };
    std::vector<Track> tracks;
    std::set<int> minutes;
    EstimateInputs at = in;
    at.changes.clear();
    for (const auto& [id, series] : bars) {
        if (series.bars.empty() || !(series.preClose > 0))
            continue;
        Track t {&id, {}, 0, 0};
        for (size_t i = 0; i < series.bars.size(); ++i) {
            const double change = series.changeAt(i);
            if (std::isfinite(change))
                t.changes.emplace_back(series.bars[i].minute, change);
        }
        if (t.changes.empty())
            continue;
        std::stable_sort(t.changes.begin(), t.changes.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [minute, change] : t.changes)
            minutes.insert(std::max(minute, kCurveFirstMinute));
        at.changes[id] = t.changes.back().second;
        tracks.push_back(std::move(t));
    }
    const std::optional<ModelEstimate> final = model ? estimateBy(*model, at) : chooseEstimate(at);
    if (!final)
        return std::nullopt;

    IntradayCurve curve;
    curve.model = final->model;
    for (const int minute : minutes) {
        for (Track& t : tracks) {
            while (t.next < t.changes.size() && t.changes[t.next].first <= minute)
                t.last = t.changes[t.next++].second;
            at.changes[*t.id] = t.last;
        }
        if (const std::optional<ModelEstimate> e = estimateBy(curve.model, at))
            curve.points.push_back({minute, e->change});
    }
    return curve;
}

bool extendCurve(IntradayCurve& curve, int minute, double change)
{
    if (!std::isfinite(change))
        return false;
    if (curve.points.empty() || curve.points.back().minute < minute) {
        curve.points.push_back({minute, change});
        return true;
    }
    if (curve.points.back().minute == minute) {
        curve.points.back().change = change;
        return true;
    }
    return false;
}

namespace {
constexpr int kMorningEnd = 11 * 60 + 30, kHongKongMorningEnd = 12 * 60;
constexpr int kAfternoonStart = 13 * 60 + 1, kClose = 15 * 60, kHongKongClose = 16 * 60;
} // namespace

std::vector<int> tradingMinutes(bool hongKongHours)
{
    std::vector<int> out;
    for (int m = kCurveFirstMinute; m <= (hongKongHours ? kHongKongMorningEnd : kMorningEnd); ++m)
        out.push_back(m);
    for (int m = kAfternoonStart; m <= (hongKongHours ? kHongKongClose : kClose); ++m)
        out.push_back(m);
    return out;
}

bool needsHongKongHours(const std::vector<int>& minutes)
{
    return std::any_of(minutes.begin(), minutes.end(), [](int m) {
        return (m > kMorningEnd && m < kAfternoonStart) || m > kClose;
    });
}

Text minuteText(int minute)
{
    const int h = minute / 60, m = minute % 60;
    Text out;
    out += char('0' + h / 10 % 10);
    out += char('0' + h % 10);
    out += ':';
    out += char('0' + m / 10);
    out += char('0' + m % 10);
    return out;
}

std::vector<PortfolioPoint> portfolioCurve(const std::vector<PortfolioFund>& funds)
{
    std::set<int> minutes;
    for (const PortfolioFund& f : funds)
        for (const CurvePoint& p : f.curve.points)
            minutes.insert(p.minute);
    std::vector<size_t> next(funds.size(), 0);
    std::vector<double> last(funds.size(), 0.0);
    std::vector<PortfolioPoint> out;
    out.reserve(minutes.size());
    for (const int minute : minutes) {
        PortfolioPoint point {minute, 0.0, std::vector<double>(funds.size(), 0.0)};
        for (size_t i = 0; i < funds.size(); ++i) {
            const std::vector<CurvePoint>& points = funds[i].curve.points;
            while (next[i] < points.size() && points[next[i]].minute <= minute)
                last[i] = points[next[i]++].change;
            point.shares[i] = funds[i].amount * last[i] / 100.0;
            point.profit += point.shares[i];
        }
        out.push_back(std::move(point));
    }
    return out;
}

} // namespace fw
