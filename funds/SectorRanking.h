#pragma once
// The theme sectors: their list from the fund API host (the classic operation
// and, when it fails or holds nothing, its newer replacement), the sector
// window's tiles, and a tile pick handed to the fund lists. UI thread only.
#include "funds/FeatureContext.h"
#include "text/Text.h"

namespace fw {

class FundLists;

// Parallel lists: entry k of each belongs to one sector, in the service's order.
struct SectorList {
    TextList names;
    TextList codes;   // "BK0474", "BK000651"
    TextList values;  // return over the period in percent, as sent ("1.234", "--", "")
    int size() const { return int(names.size()); }
    bool empty() const { return names.empty(); }
    void clear() { names.clear(), codes.clear(), values.clear(); }
};

// The four periods of the sector window's buttons 1..4.
struct SectorPeriod {
    const char* key;        // classic operation: "SYL_W" …, also the member read
    const char* newKey;     // newer operation: "W", "M", "Q", "Y"
    Text captionLine;       // "近1周板块涨跌幅排行" …
};
const SectorPeriod& sectorPeriod(int button);

// Request paths (query included) of the two operations.
Text classicSectorPath(std::string_view key);
Text newSectorPath(std::string_view newKey);

// Readers of the two answers (UTF-8 bodies as received); an empty list when
// the answer is not what they expect.
SectorList parseClassicSectorAnswer(std::string_view utf8Body, std::string_view key);
SectorList parseNewSectorAnswer(std::string_view utf8Body, std::string_view newKey);

// The classic operation, then the newer one when that failed or gave nothing.
SectorList fetchSectorList(const SectorPeriod& period, int timeoutSeconds = 0);

// A figure rounded to two decimals, halves away from zero, in its shortest
// form ("1.01", "2.5", "3", "0"); a text that is no number reads as 0.
Text sectorFigure(std::string_view value);
Text sectorTileCaption(std::string_view name, std::string_view value);
// The tile's background, and the text colour of the figure shown elsewhere:
// by the figure as shown, rising red, else (light) green.
Colour sectorTileColour(std::string_view value);
Colour sectorFigureColour(std::string_view value);

// Where the tiles go: twelve to a row, and the window height that fits them.
struct SectorTileLayout {
    int windowHeight = 0;
    int controlsTop = 0;    // top of the period buttons and the caption line
    std::vector<std::pair<int, int>> places; // left, top of tile k
};
SectorTileLayout layoutSectorTiles(int count);

class SectorChooser {
public:
    SectorChooser(FeatureContext& context, FundLists& lists);

    void windowCreated();           // the one-week ranking, tiles built
    void periodClicked(int button); // 1..4: the tiles rewritten for that period
    void tileClicked(int tile);     // 0-based tile index
    void windowDestroyed();

    const SectorList& list() const { return m_list; }
    // Why the last list could not be had, as the user is told (GBK); "" when it came.
    const Text& failure() const { return m_failure; }

private:
    // Fetches the period's list; on failure tells the user and closes the window.
    bool fetch(const SectorPeriod& period);

    FeatureContext& m_context;
    FundLists& m_lists;
    SectorList m_list;
    Text m_failure;
};

} // namespace fw
