// Input: a sector answer as received (UTF-8), read by both routes' readers
// for every period. The three lists stay parallel, every name and code is
// well-formed GBK, and the tiles laid out are exactly as many as the sectors.
#include "FuzzChecks.h"
#include "funds/SectorRanking.h"

#include <cstdint>

namespace {

void checkList(const fw::SectorList& list)
{
    using namespace fw::fuzz;
    check(list.codes.size() == list.names.size() && list.values.size() == list.names.size(),
          "sector lists of different lengths");
    for (int k = 0; k < list.size() && k < 100; ++k) {
        check(isWellFormedGbk(list.names[size_t(k)]) && isWellFormedGbk(list.codes[size_t(k)])
                  && isWellFormedGbk(list.values[size_t(k)]),
              "sector text is not GBK");
        check(!list.names[size_t(k)].empty() || !list.codes[size_t(k)].empty(), "sector without name and code");
        const fw::Text figure = fw::sectorFigure(list.values[size_t(k)]);
        check(!figure.empty() && figure.size() < 40, "sector figure");
        fw::sectorTileCaption(list.names[size_t(k)], list.values[size_t(k)]);
        fw::sectorTileColour(list.values[size_t(k)]);
    }
    if (list.size() <= 1000) {
        const fw::SectorTileLayout layout = fw::layoutSectorTiles(list.size());
        check(layout.places.size() == size_t(list.size()), "one place per tile");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    // The period only picks the member that holds the figure.
    const fw::SectorPeriod& period = fw::sectorPeriod(size % 4 + 1);
    checkList(fw::parseClassicSectorAnswer(body, period.key));
    checkList(fw::parseNewSectorAnswer(body, period.newKey));
    return 0;
}
