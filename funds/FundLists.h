#pragma once
// The fund lists of the fund grid: the five-star list, the four ranking
// boards, the funds of a theme sector, and the header click that reloads the
// current list ordered by a period. Runs on the UI thread.
#include "funds/FeatureContext.h"
#include "funds/Ranking.h"

namespace fw {

struct SectorList;

class FundLists {
public:
    explicit FundLists(FeatureContext& context);

    // --- handlers
    void fiveStarClicked();               // 五星基金 button
    // Radio boxes 1..4: stores the board (unless `saveChoice` is false), loads it.
    void boardClicked(int board, bool saveChoice = true);
    void sortByColumn(int row, int column); // header click
    void sectorButtonClicked();           // opens the sector window
    // A tile of the sector window was picked: entry `index` (0-based) of `list`.
    // An index outside the list, or a pick refused while the whole market
    // loads, loads nothing and reads as Failed.
    LoadResult chooseSector(const SectorList& list, int index);
    void sectorWindowDestroyed();

    // --- loads
    LoadResult loadFiveStarList(const Text& key, const Text& direction);
    LoadResult loadBoard(const Text& key, const Text& direction);
    // `digits`: what follows "BK0" in the sector's code ("474", "045", "00651").
    LoadResult loadSectorList(const Text& digits, const Text& key, const Text& direction);
    void resortCurrentList(const Text& key);

    // --- state
    bool fiveStarListShown = false;
    bool nextSortAscending = false;
    bool sectorListMode = false;          // set true at start-up
    Text currentSectorCode = "0";         // digits after "BK0" of the last sector load
    Text currentSectorName;

    // Board n (1..4): sort key, direction, stored code and title.
    struct Board { const char* key; const char* direction; const char* code; Text title; };
    static const Board& board(int n);

private:
    // The sector button comes back when the newest list load ends, if a
    // five-star or sector load asked for it (a superseded load leaves it alone).
    void endOfLoad(const LoadResult& result);

    FeatureContext& m_context;
    bool m_sectorButtonOwed = false;
};

} // namespace fw
