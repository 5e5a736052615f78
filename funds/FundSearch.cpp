#include "funds/FundSearch.h"

#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/TextOps.h"
#include "text/UrlCodec.h"

namespace fw {

namespace {

constexpr const char* kCallback = "jQuery18304481644478480933_1628571546744";

} // namespace

FundSearch::FundSearch(FeatureContext& context, FundDetails& details) : m_context(context), m_details(details) {}

Text FundSearch::searchPath(std::string_view text)
{
    return "/FundSearch/api/FundSearchAPI.ashx?callback=" + Text(kCallback) + "&m=1&key="
        + urlEncode(text, true, true) + "&_=1628571587137";
}

std::vector<FundSearch::Suggestion> FundSearch::parseAnswer(std::string_view utf8Body)
{
    static const Text fund = gbk("基金");
    // The back marker swallows the end of the array and of the object: they
    // are put back.
    const Text cut = cutBetween(utf8ToGbk(utf8Body), Text(kCallback) + "(", "]})");
    JsonDocument doc;
    if (cut.empty() || !doc.parse(cut + "]}"))
        return {};
    std::vector<Suggestion> out;
    const int n = doc.memberCount("Datas");
    for (int i = 0; i < n; ++i) {
        const Text item = "Datas[" + std::to_string(i) + "]";
        // Only an entry the service marks as something else is a stock.
        const Text category = doc.getText(item + ".CATEGORYDESC");
        out.push_back({doc.getText(item + ".NAME"), doc.getText(item + "['_id']"),
                       !category.empty() && category != fund});
    }
    return out;
}

void FundSearch::clearSearchBox()
{
    View& view = m_context.models.view;
    m_hintShown = false;
    view.setEditText(Control::SearchBox, "");
    view.setTextColour(Control::SearchBox, 0x000000);
}

bool FundSearch::showSearchSuggestions(std::string_view text)
{
    static const Text hint = gbk("输入基金代码或名称");
    if (m_hintShown && text == hint)
        return true; // the designed hint is no search
    MainModels& models = m_context.models;
    const LoadTicket search = m_searches.begin();
    models.suggestions.clear();
    m_isStock.clear();
    if (text.empty()) {
        models.view.setVisible(Control::Suggestions, false);
        return true;
    }

    HttpRequestOptions options = m_context.requestOptions();
    HttpClient().fetch(serviceHosts().url(HostRole::FundSearch, searchPath(text)), options);
    if (!m_searches.isCurrent(search))
        return true; // the text changed meanwhile: a newer answer owns the list

    for (const Suggestion& s : parseAnswer(options.responseBytes)) {
        models.suggestions.addRow({s.name, s.code});
        m_isStock.push_back(s.isStock);
    }
    // The window sizes the list to (n + 1) rows of 32 pixels and lays it over
    // the controls below; an empty answer shows it one row high.
    models.view.setVisible(Control::Suggestions, true);
    // "200 OK"; a failed transfer's status is a numbered message (7xx).
    return !options.status.empty() && options.status[0] == '2';
}

void FundSearch::suggestionDoubleClicked()
{
    const ListModel& list = m_context.models.suggestions;
    const int row = list.currentRow();
    if (row < 0)
        return;
    const Text code = list.text(row, 1), name = list.text(row, 0);
    if (suggestionIsStock(row)) {
        m_details.openStockPage(code);
        m_details.clearSearch();
        return;
    }
    m_details.fundPageSummary(code, name, FundDetails::PickSource::Suggestion);
}

} // namespace fw
