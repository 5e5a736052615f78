#include "model/SectorTiles.h"

namespace fw {

void SectorTiles::rebuild(std::vector<SectorTile> tiles, int windowHeight, int controlsTop)
{
    {
        std::lock_guard lock(m_mutex);
        m_tiles = std::move(tiles);
        m_windowHeight = windowHeight;
        m_controlsTop = controlsTop;
    }
    m_listeners.notify({SectorTilesChange::Rebuilt, -1});
}

void SectorTiles::setTile(int tile, std::string_view caption, Colour background)
{
    {
        std::lock_guard lock(m_mutex);
        if (tile < 0 || tile >= int(m_tiles.size()))
            return;
        m_tiles[size_t(tile)].caption.assign(caption);
        m_tiles[size_t(tile)].background = background;
    }
    m_listeners.notify({SectorTilesChange::TileChanged, tile});
}

void SectorTiles::clear() { rebuild({}, 0, 0); }

std::vector<SectorTile> SectorTiles::tiles() const
{
    std::lock_guard lock(m_mutex);
    return m_tiles;
}

int SectorTiles::tileCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_tiles.size());
}

SectorTile SectorTiles::tile(int tile) const
{
    std::lock_guard lock(m_mutex);
    return tile < 0 || tile >= int(m_tiles.size()) ? SectorTile{} : m_tiles[size_t(tile)];
}

int SectorTiles::windowHeight() const
{
    std::lock_guard lock(m_mutex);
    return m_windowHeight;
}

int SectorTiles::controlsTop() const
{
    std::lock_guard lock(m_mutex);
    return m_controlsTop;
}

} // namespace fw
