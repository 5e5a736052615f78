// search TEXT: the suggestions the window lists under its search box.
#include "cli/Commands.h"

#include "funds/FundDetails.h"
#include "funds/FundSearch.h"
#include "text/CodePage.h"

namespace fw::cli {

int runSearch(CliSession& session)
{
    FundDetails details(session.context);
    FundSearch search(session.context, details);
    // The box as the user types into it: focused (the hint gone), then the text.
    search.clearSearchBox();
    const bool answered = search.showSearchSuggestions(utf8ToGbk(session.options.arguments[0]));
    if (cancelRequested())
        return kExitInterrupted;
    if (!answered) {
        session.error("the search got no answer from the service");
        return kExitFailed;
    }

    const ListModel& list = session.models.suggestions;
    if (outputFormat(session) == OutputFormat::Json) {
        Json results = Json::array();
        for (int row = 0; row < list.rowCount(); ++row)
            results.push_back({{"code", gbkToUtf8(list.text(row, 1))},
                               {"name", gbkToUtf8(list.text(row, 0))},
                               {"kind", search.suggestionIsStock(row) ? "stock" : "fund"}});
        Json doc = {{"text", session.options.arguments[0]}, {"results", std::move(results)}};
        session.io.out << doc.dump(2) << '\n';
        return kExitDone;
    }
    TextTable table;
    table.header = {"名称", "代码", "类型"};
    for (int row = 0; row < list.rowCount(); ++row)
        table.rows.push_back({{gbkToUtf8(list.text(row, 0))},
                              {gbkToUtf8(list.text(row, 1))},
                              {search.suggestionIsStock(row) ? "股票" : "基金"}});
    writeTable(session, table);
    return kExitDone;
}

} // namespace fw::cli
