#pragma once
// Search suggestions: every change of the search box's text asks the fund
// search host for matches and lists them in 超级列表框1 below the box; a
// double-click on one shows that fund alone in the fund grid (or, for a stock,
// its shareholder page) and clears the search. UI thread only.
#include "funds/FeatureContext.h"
#include "funds/FundDetails.h"
#include "net/LoadToken.h"
#include "text/Text.h"
#include <vector>

namespace fw {

class FundSearch {
public:
    FundSearch(FeatureContext& context, FundDetails& details);

    // ClearSearchBox (the box gains the focus): empty text in black. The text
    // change it makes reaches showSearchSuggestions like any other.
    void clearSearchBox();
    // ShowSearchSuggestions for the box's new text. The window runs events
    // during the download, so a newer change may finish inside this one: the
    // older answer is then dropped. False when the request got no answer
    // (the list is then empty, as for an answer without matches).
    bool showSearchSuggestions(std::string_view text);
    // Row `row` of the list shown is a stock rather than a fund.
    bool suggestionIsStock(int row) const { return row >= 0 && size_t(row) < m_isStock.size() && m_isStock[size_t(row)]; }
    // The current suggestion double-clicked.
    void suggestionDoubleClicked();

    // The request path for a search text (GBK).
    static Text searchPath(std::string_view text);
    // The suggestions (name, code, whether the service marks it a stock) of
    // an answer as fetched (UTF-8); none when it cannot be read.
    struct Suggestion {
        Text name, code;
        bool isStock = false;
    };
    static std::vector<Suggestion> parseAnswer(std::string_view utf8Body);

private:
    FeatureContext& m_context;
    FundDetails& m_details;
    LoadToken m_searches;         // only the newest search writes the list
    bool m_hintShown = true;      // the designed hint is in the box until the first clear
    std::vector<bool> m_isStock;  // per row of the list shown
};

} // namespace fw
