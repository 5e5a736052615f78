#include "funds/FundPageSummary.h"

#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"
#include "text/RegexMatcher.h"
#include "text/TextOps.h"

namespace fw {

namespace {

struct Markers {
    // The period row from its label on: the label cell is the same for every
    // fund, whereas the first figure cell has no colour class when it is "--".
    Text periodsFront = gbk("<div class=\"typeName\">阶段涨幅</div></td>");
    Text valueFront = gbk("单位净值</a></span> (</span>");
    Text valueBack = gbk("</span></dd><dd><span>近3月");
    Text typeFront = gbk("基金类型：<");
    Text nameFront = "<div class=\"fundDetail-tit\"><div style=\"float: left\">";
};

const Markers& markers()
{
    static const Markers m;
    return m;
}

} // namespace

Text FundPageSummary::path(std::string_view code) { return "/" + Text(code) + ".html?spm=search "; }

FundPageSummary FundPageSummary::cut(std::string_view page)
{
    const Markers& m = markers();
    FundPageSummary s;

    const Text values = cutBetween(page, m.valueFront, m.valueBack);
    s.date = textBeforeFirst(values, ")</p></dt><dd class");
    s.unitValue = cutBetween(values, "ui-num\">", "</span><span class=");
    s.dailyChange = textAfterLast(textAfterLast(values, "</span><span class="), "\">");
    s.type = textAfterLast(cutBetween(page, m.typeFront, "</a>&nbsp"), ">");
    s.name = cutBetween(page, m.nameFront, "<span>(</span>");

    const Text periods = cutBetween(page, m.periodsFront, "</tr>");
    RegexMatcher matcher;
    matcher.search("bold\">.*?</div>", periods);
    for (size_t n = 0; n < s.periods.size(); ++n)
        s.periods[n] = replaceAll(replaceAll(matcher.matchText(int(n) + 1), "bold\">", ""), "</div>", "");
    return s;
}

void FundPageSummary::writeRow(Grid& grid, int row, std::string_view code, std::string_view name) const
{
    TextList cells {Text(name), Text(code), type, date, dailyChange};
    std::vector<Colour> colours {figureColour(FigureUse::PageDailyChange, textValue(dailyChange))};
    for (const Text& p : periods) {
        cells.push_back(p);
        colours.push_back(figureColour(FigureUse::PagePeriodReturn, textValue(p)));
    }
    cells.emplace_back(); // 规模(亿): the profile's asset size follows
    grid.setRow(row, 0, cells);
    grid.setRowColours(row, 4, colours);
}

} // namespace fw
