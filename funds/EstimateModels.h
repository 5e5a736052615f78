#pragma once
// Today's change of a fund by the model that fits it, from its positions, its
// asset mix and the day's changes of what it holds. Pure functions: the
// answers are fetched and read elsewhere (funds/EstimateInputs.h).
//  - Feeder: a fund that invests through an exchange-traded fund (a feeder
//    must hold at least 90 % in it): the target's change × 95 %, plus the
//    stock share × the plain mean change of the stocks it lists itself.
//  - Index: a fund whose name holds an index name of the table below: the
//    index's change × the stock share (95 % when none is disclosed). A
//    feeder's stock share is only what it holds besides its target, so one
//    named for an index takes the target's 95 % instead.
//  - Holdings: the stock share × the share-weighted mean change of the quoted
//    holdings, normalised over the quoted ones; bonds and cash count as 0 %.
// The first model that gives an estimate, in that order, is the fund's.
// No network, no Qt.
#include "funds/EstimateInputs.h"
#include <map>
#include <optional>
#include <vector>

namespace fw {

enum class EstimateModel { Feeder, Index, Holdings };

// Percent changes of the day by quote identifier ("1.600519", "100.HSI");
// what has no quote (suspended, unknown) is absent.
using QuoteChanges = std::map<Text, double>;

struct EstimateInputs {
    Text fundName;                    // GBK
    FundPositions positions;
    std::optional<double> stockShare; // GP of the asset mix, percent of net assets
    QuoteChanges changes;
};

// One part of an estimate; the contributions sum to the estimate.
struct EstimateContributor {
    Text code;           // stock or fund code, or the index's quote identifier
    Text name;
    double weight = 0;   // percent of the fund applied to it
    double change = 0;   // its change, percent
    double contribution = 0; // weight × change / 100, percentage points
};

struct ModelEstimate {
    EstimateModel model = EstimateModel::Holdings;
    double change = 0;     // percent
    std::optional<double> coverage; // holdings model: Σ quoted share, percent of net assets
    bool lowCoverage = false; // holdings model: Σ quoted share < 70 % of Σ listed share
    double stockShare = 0; // the share applied (GP, or its stand-in), percent
    std::vector<EstimateContributor> contributors;
};

struct IndexEntry {
    Text name;    // GBK: "沪深300"
    Text quoteId; // "1.000300"
};
// The program's index table, longest names first.
const std::vector<IndexEntry>& indexTable();
// The entry whose name the fund's name holds (the longest such); none when none does.
const IndexEntry* indexForFundName(std::string_view gbkFundName);

// Each model on its own; none when it does not apply or has nothing to go on.
std::optional<ModelEstimate> feederEstimate(const EstimateInputs& in);
std::optional<ModelEstimate> indexEstimate(const EstimateInputs& in);
std::optional<ModelEstimate> holdingsEstimate(const EstimateInputs& in);

// Every model that gives an estimate, in the order feeder, index, holdings.
std::vector<ModelEstimate> applicableEstimates(const EstimateInputs& in);
// The first of them.
std::optional<ModelEstimate> chooseEstimate(const EstimateInputs& in);

} // namespace fw
