#include "funds/EstimateModels.h"

#include "text/CodePage.h"
#include "text/TextOps.h"

#include <algorithm>
#include <cmath>

namespace fw {

namespace {

// A feeder fund must hold at least 90 % of its assets in its target.
constexpr double kFeederTargetShare = 95.0;
// An index fund that discloses no stock share.
constexpr double kIndexDefaultShare = 95.0;
// Below this part of the listed shares quoted, the estimate is marked low-coverage.
constexpr double kLowCoverageRatio = 0.70;

std::optional<double> changeOf(const QuoteChanges& changes, std::string_view id)
{
    if (id.empty())
        return std::nullopt;
    const auto it = changes.find(Text(id));
    if (it == changes.end() || !std::isfinite(it->second))
        return std::nullopt;
    return it->second;
}

EstimateContributor contributor(Text code, Text name, double weight, double change)
{
    return {std::move(code), std::move(name), weight, change, weight * change / 100.0};
}

double sumOf(const std::vector<EstimateContributor>& parts)
{
    double sum = 0;
    for (const EstimateContributor& c : parts)
        sum += c.contribution;
    return sum;
}

std::optional<ModelEstimate> finished(ModelEstimate estimate)
{
    estimate.change = sumOf(estimate.contributors);
    // Absurd figures from the service overflow rather than show as a number.
    if (!std::isfinite(estimate.change))
        return std::nullopt;
    return estimate;
}

} // namespace

const std::vector<IndexEntry>& indexTable()
{
    static const std::vector<IndexEntry> table = [] {
        // Names as fund names spell them; an alias ("创业板") maps to its index.
        static const char* const kEntries[][2] = {
            {"沪深300", "1.000300"},  {"中证500", "1.000905"},  {"中证1000", "1.000852"},
            {"中证800", "1.000906"},  {"上证50", "1.000016"},   {"上证指数", "1.000001"},
            {"科创50", "1.000688"},   {"深证成指", "0.399001"}, {"深证100", "0.399330"},  {"创业板指", "0.399006"},
            {"创业板50", "0.399673"}, {"创业板", "0.399006"},   {"中证红利", "1.000922"},
            {"恒生指数", "100.HSI"},  {"恒生科技", "124.HSTECH"},
        };
        std::vector<IndexEntry> out;
        for (const auto& e : kEntries)
            out.push_back({utf8ToGbk(e[0]), e[1]});
        std::stable_sort(out.begin(), out.end(),
                         [](const IndexEntry& a, const IndexEntry& b) { return a.name.size() > b.name.size(); });
        return out;
    }();
    return table;
}

const IndexEntry* indexForFundName(std::string_view gbkFundName)
{
    for (const IndexEntry& entry : indexTable()) {
        if (containsText(gbkFundName, entry.name))
            return &entry;
    }
    return nullptr;
}

std::optional<ModelEstimate> feederEstimate(const EstimateInputs& in)
{
    const FundPositions& p = in.positions;
    const std::optional<double> target = changeOf(in.changes, p.targetQuoteId);
    if (p.targetCode.empty() || !target)
        return std::nullopt;
    ModelEstimate e;
    e.model = EstimateModel::Feeder;
    e.contributors.push_back(contributor(p.targetCode, p.targetName, kFeederTargetShare, *target));
    // The stocks it holds itself, each an equal part of its stock share.
    std::vector<std::pair<const ListedHolding*, double>> quoted;
    for (const ListedHolding& h : p.stocks) {
        if (const std::optional<double> c = changeOf(in.changes, h.quoteId))
            quoted.emplace_back(&h, *c);
    }
    e.stockShare = in.stockShare.value_or(0);
    for (const auto& [h, change] : quoted)
        e.contributors.push_back(contributor(h->code, h->name, e.stockShare / double(quoted.size()), change));
    return finished(std::move(e));
}

std::optional<ModelEstimate> indexEstimate(const EstimateInputs& in)
{
    const IndexEntry* entry = indexForFundName(in.fundName);
    const std::optional<double> change = entry ? changeOf(in.changes, entry->quoteId) : std::nullopt;
    if (!change)
        return std::nullopt;
    ModelEstimate e;
    e.model = EstimateModel::Index;
    // A feeder's stock share counts only the stocks it holds itself (its
    // target fund is "other"): the index reaches it through the target.
    e.stockShare = in.positions.targetCode.empty() ? in.stockShare.value_or(kIndexDefaultShare) : kFeederTargetShare;
    e.contributors.push_back(contributor(entry->quoteId, entry->name, e.stockShare, *change));
    return finished(std::move(e));
}

std::optional<ModelEstimate> holdingsEstimate(const EstimateInputs& in)
{
    double listed = 0;
    double quotedShare = 0;
    std::vector<std::pair<const ListedHolding*, double>> quoted;
    for (const ListedHolding& h : in.positions.stocks) {
        listed += h.share;
        const std::optional<double> c = changeOf(in.changes, h.quoteId);
        if (!c || !(h.share > 0))
            continue;
        quoted.emplace_back(&h, *c);
        quotedShare += h.share;
    }
    if (!(quotedShare > 0))
        return std::nullopt;
    ModelEstimate e;
    e.model = EstimateModel::Holdings;
    // Without an asset mix the quoted holdings stand for the whole fund, as
    // the estimate from the holdings page does.
    e.stockShare = in.stockShare.value_or(100.0);
    e.coverage = quotedShare;
    e.lowCoverage = quotedShare < kLowCoverageRatio * listed;
    for (const auto& [h, change] : quoted)
        e.contributors.push_back(contributor(h->code, h->name, e.stockShare * h->share / quotedShare, change));
    return finished(std::move(e));
}

std::vector<ModelEstimate> applicableEstimates(const EstimateInputs& in)
{
    std::vector<ModelEstimate> out;
    for (auto model : {feederEstimate, indexEstimate, holdingsEstimate}) {
        if (std::optional<ModelEstimate> e = model(in))
            out.push_back(std::move(*e));
    }
    return out;
}

std::optional<ModelEstimate> chooseEstimate(const EstimateInputs& in)
{
    std::vector<ModelEstimate> all = applicableEstimates(in);
    if (all.empty())
        return std::nullopt;
    return std::move(all.front());
}

} // namespace fw
