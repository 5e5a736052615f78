#include "funds/HoldingsEstimate.h"

#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <cmath>

namespace fw {

namespace {

constexpr int kChangeDecimals = 2, kCoverageDecimals = 1;

// "+0.53%": a percent figure with its decimals, the sign shown on request.
Text percentText(long long units, int decimals, bool withSign)
{
    return (withSign && units > 0 ? "+" : "") + unitsText(units, decimals) + "%";
}

double shown(double value, int decimals) { return unitsValue(roundedUnits(value, decimals), decimals); }

// How much a form of the line is shortened.
struct Shortening {
    bool lowInside = false; // （覆盖 …，低覆盖） rather than （覆盖 …）（低覆盖）
    bool shortModel = false; // 持仓 rather than 持仓估算
    bool noSpaces = false;  // 覆盖62.0% rather than 覆盖 62.0%
};

Text lineForm(const HoldingsEstimate& e, bool withModel, const Shortening& how)
{
    const Text space = how.noSpaces ? "" : " ";
    TextList items;
    if (e.model == EstimateModel::Holdings && e.coverage)
        items.push_back(gbk("覆盖") + space + estimateCoverageText(*e.coverage));
    if (e.error)
        items.push_back(gbk("误差") + space + estimateErrorText(*e.error));
    const Text low = gbk("低覆盖");
    const bool lowInside = e.lowCoverage && how.lowInside && !items.empty();
    if (lowInside)
        items.push_back(low);
    Text out;
    if (withModel) {
        const Text name = estimateModelName(e.model);
        // The model's name without its last two characters (估算), two bytes each.
        out = (how.shortModel ? name.substr(0, name.size() - 4) : name) + space;
    }
    out += estimateChangeText(e.change);
    if (!items.empty()) {
        out += gbk("（");
        for (size_t i = 0; i < items.size(); ++i)
            out += (i ? gbk("，") : Text()) + items[i];
        out += gbk("）");
    }
    if (e.lowCoverage && !lowInside)
        out += gbk("（") + low + gbk("）");
    return out;
}

} // namespace

double HoldingsEstimate::shownChange() const { return shown(change, kChangeDecimals); }

std::optional<double> HoldingsEstimate::shownCoverage() const
{
    return coverage ? std::optional<double>(shown(*coverage, kCoverageDecimals)) : std::nullopt;
}

std::optional<HoldingsEstimate> shownEstimate(std::vector<ModelEstimate> applicable, const ModelErrors& errors)
{
    std::optional<ModelEstimate> chosen = preferredEstimate(applicable, errors);
    if (!chosen)
        return std::nullopt;
    std::vector<EstimateModel> models;
    for (const ModelEstimate& e : applicable)
        models.push_back(e.model);
    HoldingsEstimate out;
    static_cast<ModelEstimate&>(out) = std::move(*chosen);
    out.error = shownError(errors, out.model);
    out.chosenByError = errorsDecide(models, errors);
    return out;
}

EstimateOutcome estimateFrom(const FetchedEstimateInputs& fetched, const ModelErrors& errors)
{
    EstimateOutcome out;
    if (!fetched.inputs) {
        out.failure = fetched.failure;
        return out;
    }
    out.applicable = applicableEstimates(*fetched.inputs);
    out.estimate = shownEstimate(out.applicable, errors);
    if (!out.estimate)
        out.failure = "no quote for anything the fund holds or follows";
    return out;
}

EstimateOutcome fetchEstimate(const EstimateFund& fund, const HttpRequestOptions& base, const RetryPolicy* retry)
{
    return estimateFrom(fetchEstimateInputs(fund, base, retry), fund.errors);
}

std::vector<EstimateOutcome> fetchEstimates(const std::vector<EstimateFund>& funds, const HttpRequestOptions& base,
                                            const RetryPolicy* retry)
{
    const std::vector<FetchedEstimateInputs> fetched = fetchEstimateInputs(funds, base, retry);
    std::vector<EstimateOutcome> out;
    for (size_t k = 0; k < fetched.size(); ++k)
        out.push_back(estimateFrom(fetched[k], funds[k].errors));
    return out;
}

std::optional<HoldingsEstimate> fetchHoldingsEstimate(const FeatureContext& context, const EstimateFund& fund,
                                                      const RetryPolicy* retry)
{
    return fetchHoldingsEstimate(context.requestOptions(), fund, retry);
}

std::optional<HoldingsEstimate> fetchHoldingsEstimate(const HttpRequestOptions& base, const EstimateFund& fund,
                                                      const RetryPolicy* retry)
{
    return fetchEstimate(fund, base, retry).estimate;
}

Text estimateChangeText(double change)
{
    return percentText(roundedUnits(change, kChangeDecimals), kChangeDecimals, true);
}

Text estimateCoverageText(double coverage)
{
    return percentText(roundedUnits(coverage, kCoverageDecimals), kCoverageDecimals, false);
}

Text estimateErrorText(double error)
{
    return gbk("±") + percentText(roundedUnits(std::abs(error), kChangeDecimals), kChangeDecimals, false);
}

Text estimateBasis(const HoldingsEstimate& estimate)
{
    Text out = estimate.model == EstimateModel::Holdings && estimate.coverage
        ? gbk("覆盖 ") + estimateCoverageText(*estimate.coverage)
        : estimateModelName(estimate.model);
    if (estimate.error)
        out += gbk("，误差 ") + estimateErrorText(*estimate.error);
    return out;
}

Text estimateModelName(EstimateModel model)
{
    switch (model) {
    case EstimateModel::Feeder: return gbk("联接估算");
    case EstimateModel::Index: return gbk("指数估算");
    case EstimateModel::Holdings: break;
    }
    return gbk("持仓估算");
}

Text estimateFigures(const std::optional<HoldingsEstimate>& estimate)
{
    return estimate ? lineForm(*estimate, false, {}) : Text();
}

Text estimateLine(const std::optional<HoldingsEstimate>& estimate)
{
    return estimate ? lineForm(*estimate, true, {}) : Text();
}

std::vector<Text> estimateLineForms(const std::optional<HoldingsEstimate>& estimate)
{
    std::vector<Text> forms;
    if (!estimate)
        return forms;
    for (const Shortening& how : {Shortening {}, Shortening {true}, Shortening {true, true}, Shortening {true, true, true}}) {
        Text form = lineForm(*estimate, true, how);
        if (forms.empty() || forms.back() != form)
            forms.push_back(std::move(form));
    }
    return forms;
}

Colour estimateChangeColour(double change)
{
    // Coloured as shown: a change that shows as 0.00% is silver.
    return figureColour(FigureUse::ShownChange, shown(change, kChangeDecimals));
}

Colour estimateColour(const std::optional<HoldingsEstimate>& estimate)
{
    return estimate ? estimateChangeColour(estimate->change) : kDefaultColour;
}

void showHoldingsEstimate(View& view, const std::optional<HoldingsEstimate>& estimate)
{
    view.setTextColour(Control::HoldingsEstimate, estimateColour(estimate));
    view.setCaptionForms(Control::HoldingsEstimate, estimateLineForms(estimate));
}

} // namespace fw
