#include "funds/Watchlist.h"

#include "text/CodePage.h"
#include "text/TextOps.h"

namespace fw {

namespace {

const Text& section()
{
    static const Text s = gbk("自选数据");
    return s;
}

const Text& key()
{
    static const Text k = gbk("自选");
    return k;
}

const Text& fundType()
{
    static const Text t = gbk("基金");
    return t;
}

const Text& stockType()
{
    static const Text t = gbk("股票");
    return t;
}

// The field separators of the stored form cannot be escaped there.
Text storableField(std::string_view text)
{
    static const Text bar = gbk("｜"), slash = gbk("／");
    return replaceAll(replaceAll(text, "|", bar), "/", slash);
}

} // namespace

Watchlist::Watchlist(FeatureContext& context) : m_context(context) {}

bool WatchEntry::isFund() const { return type == fundType(); }

std::vector<WatchEntry> readWatchlist(std::string_view stored)
{
    std::vector<WatchEntry> out;
    if (stored.empty())
        return out;
    const TextList entries = splitText(stored, "|");
    const bool lastIsClosed = findLastText(stored, "|") == int(stored.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const TextList fields = splitText(entries[i], "/");
        if (fields.size() < 3)
            continue;
        // A value cut short (by an older copy of the program, or by hand) may
        // end inside the last entry's type.
        if (i + 1 == entries.size() && !lastIsClosed && fields[2] != fundType() && fields[2] != stockType())
            continue;
        out.push_back({fields[0], fields[1], fields[2]});
    }
    return out;
}

Text storedWatchlist(const ConfigFile& config) { return config.readWhole(section(), key()); }

void Watchlist::load()
{
    ListModel& list = m_context.models.watchlist;
    int number = 0;
    for (const WatchEntry& e : readWatchlist(storedWatchlist(m_context.config)))
        list.addRow({std::to_string(++number), e.code, e.name, e.type});
}

void Watchlist::addFund() { add(m_context.models.fundGrid, fundType()); }

void Watchlist::addStock()
{
    MainModels& models = m_context.models;
    const Grid& grid = stockMenuFromFirstGrid ? models.holdingsGrid : models.baseHoldingsGrid;
    stockMenuFromFirstGrid = false;
    add(grid, stockType());
}

void Watchlist::stockMenuOpened(int grid)
{
    if (grid == 3 || grid == 4)
        stockMenuFromFirstGrid = grid == 3;
}

void Watchlist::add(const Grid& grid, std::string_view type)
{
    static const Text pickFirst = gbk("请选择要加入的对象");
    const int row = grid.cursorRow();
    // Row 0 is the header row: no object either.
    if (row < 1 || grid.cell(row, 0).empty()) {
        m_context.models.view.messageBox(pickFirst);
    } else {
        ListModel& list = m_context.models.watchlist;
        list.addRow({std::to_string(list.rowCount() + 1), storableField(grid.cell(row, 1)),
                     storableField(grid.cell(row, 0)), Text(type)});
    }
    save();
}

void Watchlist::remove()
{
    ListModel& list = m_context.models.watchlist;
    list.removeRow(list.currentRow()); // no selection: nothing removed
    for (int i = 0; i < list.rowCount(); ++i)
        list.setText(i, 0, std::to_string(i + 1));
    save();
}

bool Watchlist::save() { return m_context.saveSection(section(), {{key(), storedText()}}); }

Text Watchlist::storedText() const
{
    Text stored;
    for (const TextList& row : m_context.models.watchlist.rows()) {
        auto field = [&row](size_t i) -> std::string_view { return i < row.size() ? row[i] : std::string_view(); };
        stored.append(field(1)).append("/").append(field(2)).append("/").append(field(3)).append("|");
    }
    return stored;
}

} // namespace fw
