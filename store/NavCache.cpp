#include "store/NavCache.h"

#include <cstdio>

namespace fw::ledger {

bool NavCache::open(const std::string& path)
{
    if (m_db.open(path, true) && m_db.check(false) == "ok" && prepare())
        return true;
    // Whatever is there can be fetched again: start the cache afresh.
    m_db.close();
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    return m_db.open(path, true) && prepare();
}

bool NavCache::prepare()
{
    if (m_db.queryText("PRAGMA journal_mode=WAL") != "wal")
        return m_db.fail();
    SqliteTransaction tx(m_db);
    return tx.started()
        && m_db.exec("CREATE TABLE IF NOT EXISTS nav("
                     " code TEXT NOT NULL, day INTEGER NOT NULL, unit INTEGER NOT NULL, accumulated INTEGER NOT NULL,"
                     " change INTEGER, dividend INTEGER NOT NULL, split INTEGER NOT NULL,"
                     " PRIMARY KEY(code, day)) WITHOUT ROWID")
        && tx.commit();
}

bool NavCache::store(const std::string& code, const std::vector<NavRow>& rows)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    SqliteStatement s(m_db.handle(),
                      "INSERT OR REPLACE INTO nav(code, day, unit, accumulated, change, dividend, split)"
                      " VALUES(?,?,?,?,?,?,?)");
    for (const NavRow& r : rows) {
        s.reset();
        s.bind(1, code);
        s.bind(2, int64_t(r.day));
        s.bind(3, r.unitValue);
        s.bind(4, r.accumulated);
        s.bind(5, r.changePercent);
        s.bind(6, r.dividend);
        s.bind(7, r.splitRatio);
        if (!s.run())
            return m_db.fail();
    }
    return tx.commit();
}

std::vector<NavRow> NavCache::rows(const std::string& code)
{
    std::vector<NavRow> out;
    SqliteStatement s(m_db.handle(),
                      "SELECT day, unit, accumulated, change, dividend, split FROM nav WHERE code = ? ORDER BY day");
    s.bind(1, code);
    while (s.step())
        out.push_back({Day(s.integer(0)), s.integer(1), s.integer(2), s.optionalInteger(3), s.integer(4),
                       s.integer(5)});
    if (s.failed())
        m_db.fail();
    return out;
}

std::optional<Day> NavCache::newestDay(const std::string& code) { return boundDay(code, true); }
std::optional<Day> NavCache::oldestDay(const std::string& code) { return boundDay(code, false); }

std::optional<Day> NavCache::boundDay(const std::string& code, bool newest)
{
    SqliteStatement s(m_db.handle(), newest ? "SELECT max(day) FROM nav WHERE code = ?" : "SELECT min(day) FROM nav WHERE code = ?");
    s.bind(1, code);
    if (s.step())
        if (const auto d = s.optionalInteger(0))
            return Day(*d);
    return std::nullopt;
}

} // namespace fw::ledger
