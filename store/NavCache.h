#pragma once
// navcache.db: the NAV history of each fund, kept apart from the user's ledger
// because it can always be fetched again. A cache file that is damaged is made
// anew rather than trusted.
#include "store/LedgerRecords.h"
#include "store/Sqlite.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fw::ledger {

class NavCache {
public:
    bool open(const std::string& path);
    bool isOpen() const { return m_db.isOpen(); }
    void close() { m_db.close(); }
    const std::string& failure() const { return m_db.failure(); }

    // Adds the rows (a row of a day already stored replaces it), in one transaction.
    bool store(const std::string& code, const std::vector<NavRow>& rows);
    // The fund's rows, oldest first.
    std::vector<NavRow> rows(const std::string& code);
    // The newest stored row's day: the next fetch asks only for newer pages.
    std::optional<Day> newestDay(const std::string& code);
    // The oldest stored row's day: a trade dated before it needs the older rows.
    std::optional<Day> oldestDay(const std::string& code);

private:
    bool prepare();
    std::optional<Day> boundDay(const std::string& code, bool newest);
    SqliteConnection m_db;
};

} // namespace fw::ledger
