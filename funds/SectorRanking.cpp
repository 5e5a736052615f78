#include "funds/SectorRanking.h"

#include "funds/FundLists.h"
#include "model/FigureColour.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

namespace fw {

namespace {

constexpr const char* kCallback = "jQuery18304518781773802629_1629802165289";
constexpr int kTilesPerRow = 12;

HttpRequestOptions sectorRequest(int timeoutSeconds)
{
    HttpRequestOptions options;
    options.timeoutSeconds = timeoutSeconds;
    options.extraHeaders = "Referer: " + serviceHosts().baseUrl(HostRole::FundList) + "/ztjj/";
    return options;
}

// Each Data entry through the member names of one operation.
SectorList readSectors(const JsonDocument& doc, std::string_view codeName, std::string_view nameName,
                       std::string_view valueName)
{
    SectorList list;
    if (doc.typeOf("Data") != JsonType::Array)
        return list;
    const int n = doc.memberCount("Data");
    for (int i = 0; i < n; ++i) {
        const Text entry = "Data[" + intText(i) + "]";
        Text name = doc.getText(entry + "." + Text(nameName));
        Text code = doc.getText(entry + "." + Text(codeName));
        if (name.empty() && code.empty())
            continue;
        list.names.push_back(std::move(name));
        list.codes.push_back(std::move(code));
        list.values.push_back(doc.getText(entry + "['" + Text(valueName) + "']"));
    }
    return list;
}

} // namespace

const SectorPeriod& sectorPeriod(int button)
{
    static const SectorPeriod periods[] = {
        {"SYL_W", "W", gbk("近1周板块涨跌幅排行")},
        {"SYL_M", "M", gbk("近1月板块涨跌幅排行")},
        {"SYL_Q", "Q", gbk("近3月板块涨跌幅排行")},
        {"SYL_1N", "Y", gbk("近1年板块涨跌幅排行")},
    };
    return periods[(button < 1 || button > 4) ? 0 : button - 1];
}

Text classicSectorPath(std::string_view key)
{
    return "/ztjj/GetZTJJList?callback=" + Text(kCallback) + "&tt=0&dt=syl&st=" + Text(key) + "&_=1629802165339";
}

Text newSectorPath(std::string_view newKey)
{
    return "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=" + Text(newKey) + "&pn=500";
}

SectorList parseClassicSectorAnswer(std::string_view utf8Body, std::string_view key)
{
    // The back marker swallows the object's closing brace: it is put back.
    const Text cut = cutBetween(utf8ToGbk(utf8Body), Text(kCallback) + "(", "})");
    if (cut.empty())
        return {};
    JsonDocument doc;
    doc.parse(cut + "}");
    return readSectors(doc, "BKCode", "BKName", key);
}

SectorList parseNewSectorAnswer(std::string_view utf8Body, std::string_view newKey)
{
    Text text = utf8ToGbk(utf8Body);
    // Plain JSON, or JSONP when a callback was named: the object between the
    // first "(" and the last ")".
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start != Text::npos && text[start] != '{') {
        const size_t open = text.find('(');
        const size_t close = text.rfind(')');
        if (open == Text::npos || close == Text::npos || close < open)
            return {};
        text = text.substr(open + 1, close - open - 1);
    }
    JsonDocument doc;
    if (!doc.parse(text))
        return {};
    return readSectors(doc, "INDEXCODE", "INDEXNAME", newKey);
}

SectorList fetchSectorList(const SectorPeriod& period, int timeoutSeconds)
{
    const HttpClient http;
    HttpRequestOptions classic = sectorRequest(timeoutSeconds);
    http.fetch(serviceHosts().url(HostRole::FundApi, classicSectorPath(period.key)), classic);
    SectorList list = parseClassicSectorAnswer(classic.responseBytes, period.key);
    if (!list.empty())
        return list;
    // The service is replacing the classic operation with this one.
    HttpRequestOptions newer = sectorRequest(timeoutSeconds);
    http.fetch(serviceHosts().url(HostRole::FundApi, newSectorPath(period.newKey)), newer);
    return parseNewSectorAnswer(newer.responseBytes, period.newKey);
}

namespace {
// The tiles round their figures to two decimals, a half a hair short in
// binary still rounding up.
constexpr double kTileHalfTolerance = 0.000000000001;

// The figure as the tile shows it: two decimals, halves away from zero.
long long shownHundredths(std::string_view value) { return roundedUnits(textValue(value), 2, kTileHalfTolerance); }
} // namespace

Text sectorFigure(std::string_view value) { return shortestText(unitsText(shownHundredths(value), 2)); }

Text sectorTileCaption(std::string_view name, std::string_view value)
{
    return "\r\n" + Text(name) + "\r\n" + sectorFigure(value) + "%";
}

Colour sectorTileColour(std::string_view value)
{
    return figureColour(FigureUse::SectorTile, unitsValue(shownHundredths(value), 2));
}

Colour sectorFigureColour(std::string_view value)
{
    return figureColour(FigureUse::SectorFigure, unitsValue(shownHundredths(value), 2));
}

SectorTileLayout layoutSectorTiles(int count)
{
    SectorTileLayout layout;
    const int rows = std::max(count, 0) / kTilesPerRow;
    layout.windowHeight = (rows + 2) * 65 + 10;
    layout.controlsTop = layout.windowHeight - 65;
    for (int k = 0; k < count; ++k)
        layout.places.emplace_back((k % kTilesPerRow) * 110 + 10, (k / kTilesPerRow) * 65 + 10);
    return layout;
}

SectorChooser::SectorChooser(FeatureContext& context, FundLists& lists) : m_context(context), m_lists(lists) {}

bool SectorChooser::fetch(const SectorPeriod& period)
{
    m_list = fetchSectorList(period, m_context.timeoutSeconds);
    m_failure.clear();
    if (!m_list.empty())
        return true;
    static const Text failed = gbk("板块信息加载失败，请重试");
    m_failure = failed;
    m_context.models.view.messageBox(m_failure);
    m_context.models.view.setWindowState(Window::Sector, WindowState::Closed);
    return false;
}

void SectorChooser::windowCreated()
{
    const SectorPeriod& week = sectorPeriod(1);
    if (!fetch(week))
        return;
    m_context.models.view.setCaption(Control::SectorCaption, week.captionLine);
    const SectorTileLayout layout = layoutSectorTiles(m_list.size());
    std::vector<SectorTile> tiles;
    tiles.reserve(layout.places.size());
    for (int k = 0; k < m_list.size(); ++k) {
        const auto [left, top] = layout.places[size_t(k)];
        tiles.push_back({sectorTileCaption(m_list.names[size_t(k)], m_list.values[size_t(k)]),
                         sectorTileColour(m_list.values[size_t(k)]), left, top});
    }
    m_context.models.sectorTiles.rebuild(std::move(tiles), layout.windowHeight, layout.controlsTop);
}

void SectorChooser::periodClicked(int button)
{
    const SectorPeriod& period = sectorPeriod(button);
    if (!fetch(period))
        return;
    SectorTiles& tiles = m_context.models.sectorTiles;
    // The tiles stay where they are; a longer list shows only as many sectors.
    const int count = std::min(m_list.size(), tiles.tileCount());
    for (int k = 0; k < count; ++k)
        tiles.setTile(k, sectorTileCaption(m_list.names[size_t(k)], m_list.values[size_t(k)]),
                      sectorTileColour(m_list.values[size_t(k)]));
    m_context.models.view.setCaption(Control::SectorCaption, period.captionLine);
}

void SectorChooser::tileClicked(int tile)
{
    const TextList pieces = splitText(m_context.models.sectorTiles.tile(tile).caption, "\r\n");
    if (pieces.size() < 2)
        return;
    for (int i = 0; i < m_list.size(); ++i) {
        if (m_list.names[size_t(i)] == pieces[1]) {
            m_lists.chooseSector(m_list, i);
            return;
        }
    }
}

void SectorChooser::windowDestroyed()
{
    m_context.models.sectorTiles.clear();
    m_lists.sectorWindowDestroyed();
}

} // namespace fw
