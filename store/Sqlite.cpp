#include "store/Sqlite.h"

#include <sqlite3.h>

namespace fw {

namespace {
constexpr int kBusyMilliseconds = 10000; // the window and the command line take turns
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql)
{
    if (!db || sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        m_stmt = nullptr;
        m_failed = true;
    }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(m_stmt); }

void SqliteStatement::bind(int index, int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }

void SqliteStatement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(m_stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, const std::optional<int64_t>& value)
{
    if (value)
        sqlite3_bind_int64(m_stmt, index, *value);
    else
        sqlite3_bind_null(m_stmt, index);
}

bool SqliteStatement::step()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_failed = true;
    return false;
}

bool SqliteStatement::run()
{
    while (step()) {
    }
    return !m_failed;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::optional<int64_t> SqliteStatement::optionalInteger(int column) const
{
    if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(m_stmt, column);
}

std::string SqliteStatement::text(int column) const
{
    const unsigned char* t = sqlite3_column_text(m_stmt, column);
    return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(m_stmt, column)))
             : std::string();
}

SqliteConnection::~SqliteConnection() { close(); }

bool SqliteConnection::open(const std::string& path, bool create, bool readOnly)
{
    close();
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE)
        | (create && !readOnly ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        m_failure = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyMilliseconds);
    m_failure.clear();
    return true;
}

void SqliteConnection::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqliteConnection::fail()
{
    m_failure = m_db ? sqlite3_errmsg(m_db) : "not open";
    return false;
}

bool SqliteConnection::exec(std::string_view sql)
{
    if (!m_db)
        return fail();
    const std::string copy(sql);
    return sqlite3_exec(m_db, copy.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK || fail();
}

std::string SqliteConnection::queryText(std::string_view sql)
{
    SqliteStatement s(m_db, sql);
    if (s.step())
        return s.text(0);
    if (s.failed())
        fail();
    return {};
}

std::string SqliteConnection::check(bool full)
{
    SqliteStatement s(m_db, full ? "PRAGMA integrity_check" : "PRAGMA quick_check");
    std::string found;
    while (s.step()) {
        if (!found.empty())
            found += "; ";
        found += s.text(0);
    }
    if (s.failed()) {
        fail();
        return m_failure.empty() ? std::string("unreadable") : m_failure;
    }
    return found;
}

bool SqliteConnection::begin() { return exec("BEGIN IMMEDIATE"); }

bool SqliteConnection::commit() { return exec("COMMIT"); }

void SqliteConnection::rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace fw
