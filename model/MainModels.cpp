#include "model/MainModels.h"

#include "text/CodePage.h"

namespace fw {

namespace {
TextList gbkList(std::initializer_list<std::string_view> utf8)
{
    TextList out;
    out.reserve(utf8.size());
    for (std::string_view s : utf8)
        out.push_back(gbk(s));
    return out;
}
} // namespace

TextList fundGridHeader()
{
    static const TextList header = gbkList({"基金名称", "基金代码", "基金类型", "日期", "日增长率", "近1周",
                                            "近1月", "近3月", "近6月", "今年来", "近一年", "近2年", "近3年",
                                            "规模(亿)", "任期回报", "标准差1年", "夏普比率1年"});
    return header;
}

std::vector<int> fundGridColumnWidths()
{
    return {190, 70, 80, 75, 70, 70, 70, 70, 70, 70, 70, 70, 70, 70, 70, 80, 80};
}

TextList holdingsGridHeader()
{
    static const TextList header = gbkList({"股票名称", "代码", "占比"});
    return header;
}

MainModels::MainModels()
    : fundGrid(21, fundGridHeader()),
      compareGrid(3, fundGridHeader()),
      holdingsGrid(11, holdingsGridHeader()),
      baseHoldingsGrid(11, holdingsGridHeader()),
      watchlist({{gbk("序"), 30}, {gbk("代码"), 50}, {gbk("名称"), 140}, {gbk("类型"), 40}}),
      suggestions({{gbk("名称"), 180}, {gbk("ID"), 0}})
{
    // Designed state of the main window's controls that the models carry.
    const Text holdingsCaption = gbk("十大重仓股票");
    view.setCaption(Control::HoldingsCaption, holdingsCaption);
    view.setCaption(Control::BaseHoldingsCaption, holdingsCaption);
    view.setEditText(Control::SearchBox, gbk("输入基金代码或名称"));
    view.setVisible(Control::StockFrame, false);
    view.setVisible(Control::StockBrowser, false);
    view.setVisible(Control::Suggestions, false);
}

} // namespace fw
