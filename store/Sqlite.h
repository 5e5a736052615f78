#pragma once
// A thin owner of an SQLite connection and its statements: closes what it
// opened, turns errors into results with SQLite's own words.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace fw {

class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool valid() const { return m_stmt != nullptr; }
    // Parameters count from 1.
    void bind(int index, int64_t value);
    void bind(int index, std::string_view text);
    void bind(int index, const std::optional<int64_t>& value);
    // True while a row is there; false at the end or on an error (see failed()).
    bool step();
    bool failed() const { return m_failed; }
    // Runs the statement to its end; false on an error.
    bool run();
    void reset();

    int64_t integer(int column) const;
    std::optional<int64_t> optionalInteger(int column) const;
    std::string text(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};

class SqliteConnection {
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Opens `path`; `create` allows making a new file. False with failure() set.
    bool open(const std::string& path, bool create, bool readOnly = false);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3* handle() const { return m_db; }

    // Runs statements without results; false with failure() set.
    bool exec(std::string_view sql);
    // The first column of the first row of a query ("" when none or failed).
    std::string queryText(std::string_view sql);
    // "ok" or what the check (quick_check or integrity_check) found, or the error.
    std::string check(bool full);

    // BEGIN IMMEDIATE (waits for the other writers up to the busy time-out) … COMMIT.
    bool begin();
    bool commit();
    void rollback();

    const std::string& failure() const { return m_failure; }
    void setFailure(std::string reason) { m_failure = std::move(reason); }
    // Records SQLite's message for the last call on this connection.
    bool fail();

private:
    sqlite3* m_db = nullptr;
    std::string m_failure;
};

// Commits at commit(); rolls back when left without.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteConnection& db) : m_db(db), m_open(db.begin()) {}
    ~SqliteTransaction()
    {
        if (m_open)
            m_db.rollback();
    }
    bool started() const { return m_open; }
    bool commit()
    {
        if (!m_open)
            return false;
        m_open = false;
        if (m_db.commit())
            return true;
        m_db.rollback();
        return false;
    }

private:
    SqliteConnection& m_db;
    bool m_open;
};

} // namespace fw
