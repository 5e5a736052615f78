#pragma once
// The tiles of the sector window as a plain model: one coloured label per
// theme sector at its place, and the window height and the top of the row of
// period buttons that go with them. Safe from any thread; listeners as for Grid.
#include "model/Grid.h"
#include "model/Listeners.h"
#include "text/Text.h"
#include <mutex>
#include <vector>

namespace fw {

struct SectorTile {
    Text caption;          // "\r\n" name "\r\n" figure "%"
    Colour background = 0; // 0x00BBGGRR
    int left = 0, top = 0;
};

struct SectorTilesChange {
    enum Kind { Rebuilt, TileChanged } kind = Rebuilt;
    int tile = -1;         // 0-based, for TileChanged
};

class SectorTiles {
public:
    void rebuild(std::vector<SectorTile> tiles, int windowHeight, int controlsTop);
    void setTile(int tile, std::string_view caption, Colour background); // 0-based; out of range ignored
    void clear();

    std::vector<SectorTile> tiles() const;
    int tileCount() const;
    SectorTile tile(int tile) const;   // empty tile out of range
    int windowHeight() const;          // 0 until built
    int controlsTop() const;

    using Listener = std::function<void(const SectorTilesChange&)>;
    int addListener(Listener listener) { return m_listeners.add(std::move(listener)); }
    void removeListener(int id) { m_listeners.remove(id); }

private:
    mutable std::mutex m_mutex;
    std::vector<SectorTile> m_tiles;
    int m_windowHeight = 0;
    int m_controlsTop = 0;
    Listeners<const SectorTilesChange&> m_listeners;
};

} // namespace fw
