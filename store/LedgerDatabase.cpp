#include "store/LedgerDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw::ledger {

namespace {

// Each entry takes the database from the version before it to its number.
// Never edit one that has shipped: add the next.
const char* const kMigrations[] = {
    // 1: the first schema.
    R"sql(
CREATE TABLE accounts(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE
);
CREATE TABLE plans(
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  code TEXT NOT NULL,
  amount INTEGER NOT NULL,
  fee_rate INTEGER,
  cycle INTEGER NOT NULL,
  cycle_day INTEGER NOT NULL,
  start_date TEXT NOT NULL
);
CREATE TABLE plan_bookings(
  plan_id INTEGER NOT NULL REFERENCES plans(id) ON DELETE CASCADE,
  date TEXT NOT NULL,
  PRIMARY KEY(plan_id, date)
) WITHOUT ROWID;
CREATE TABLE trades(
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  code TEXT NOT NULL,
  kind INTEGER NOT NULL CHECK(kind BETWEEN 1 AND 4),
  date TEXT NOT NULL,
  minute INTEGER,
  amount INTEGER NOT NULL,
  shares INTEGER NOT NULL,
  fee_rate INTEGER,
  dated INTEGER NOT NULL DEFAULT 1,
  plan_id INTEGER REFERENCES plans(id) ON DELETE SET NULL,
  note TEXT NOT NULL DEFAULT ''
);
CREATE INDEX trades_by_plan ON trades(plan_id);
CREATE TABLE holding_settings(
  code TEXT PRIMARY KEY,
  method INTEGER NOT NULL DEFAULT 0
) WITHOUT ROWID;
CREATE TABLE fee_steps(
  code TEXT NOT NULL,
  step INTEGER NOT NULL,
  days INTEGER NOT NULL,
  rate INTEGER NOT NULL,
  PRIMARY KEY(code, step)
) WITHOUT ROWID;
)sql",
    // 2: alert rules, their firings, and the day alerts were silenced.
    R"sql(
CREATE TABLE alert_rules(
  id INTEGER PRIMARY KEY,
  subject INTEGER NOT NULL CHECK(subject BETWEEN 1 AND 4),
  code TEXT NOT NULL DEFAULT '',
  condition INTEGER NOT NULL CHECK(condition BETWEEN 1 AND 6),
  above INTEGER NOT NULL,
  threshold INTEGER NOT NULL,
  window_start INTEGER,
  window_end INTEGER,
  enabled INTEGER NOT NULL DEFAULT 1,
  armed INTEGER NOT NULL DEFAULT 1,
  fired_day TEXT,
  last_value INTEGER,
  last_day TEXT
);
CREATE TABLE alert_log(
  id INTEGER PRIMARY KEY,
  rule_id INTEGER REFERENCES alert_rules(id) ON DELETE SET NULL,
  day TEXT NOT NULL,
  minute INTEGER NOT NULL,
  message TEXT NOT NULL
);
CREATE TABLE alert_quiet(
  id INTEGER PRIMARY KEY CHECK(id = 1),
  day TEXT NOT NULL
);
CREATE TABLE alert_digests(
  kind INTEGER NOT NULL,
  day TEXT NOT NULL,
  value INTEGER,
  PRIMARY KEY(kind, day)
) WITHOUT ROWID;
)sql",
    // 3: the estimate log. A US session date is the day of the US quotes an
    // estimate used; its NAV is the one dated so.
    R"sql(
CREATE TABLE estimate_log(
  day TEXT NOT NULL,
  code TEXT NOT NULL,
  model INTEGER NOT NULL,
  change INTEGER NOT NULL,
  us_session TEXT,
  nav_change INTEGER,
  PRIMARY KEY(code, model, day)
) WITHOUT ROWID;
)sql",
};
static_assert(std::size(kMigrations) == LedgerDatabase::kSchemaVersion);

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : path.substr(0, slash));
}

std::string baseNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Copies the whole of `from` into the new file `to` through the backup API,
// then makes it a standalone file (no WAL) and checks it whole.
bool copyDatabase(SqliteConnection& from, const std::string& to, std::string& failure)
{
    std::remove(to.c_str());
    SqliteConnection dest;
    if (!dest.open(to, true)) {
        failure = dest.failure();
        return false;
    }
    sqlite3_backup* backup = sqlite3_backup_init(dest.handle(), "main", from.handle(), "main");
    if (!backup) {
        failure = sqlite3_errmsg(dest.handle());
        dest.close();
        std::remove(to.c_str());
        return false;
    }
    int rc;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED)
        sqlite3_sleep(20);
    sqlite3_backup_finish(backup);
    std::string found = rc == SQLITE_DONE ? std::string() : std::string(sqlite3_errstr(rc));
    if (found.empty() && !dest.exec("PRAGMA journal_mode=DELETE"))
        found = dest.failure();
    if (found.empty() && (found = dest.check(true)) == "ok")
        found.clear();
    dest.close();
    if (!found.empty()) {
        failure = found;
        std::remove(to.c_str());
        return false;
    }
    return true;
}

Trade tradeFrom(const SqliteStatement& s)
{
    Trade t;
    t.id = s.integer(0);
    t.account = s.text(1);
    t.code = s.text(2);
    t.kind = TradeKind(s.integer(3));
    t.date = parseDay(s.text(4)).value_or(0);
    t.minute = int(s.optionalInteger(5).value_or(-1));
    t.amount = s.integer(6);
    t.shares = s.integer(7);
    t.feeRate = s.optionalInteger(8);
    t.dated = s.integer(9) != 0;
    t.planId = s.optionalInteger(10).value_or(0);
    t.note = s.text(11);
    return t;
}

} // namespace

std::string ledgerFilePath(const std::string& dataDir) { return dataDir + "/fundwatch.db"; }
std::string navCacheFilePath(const std::string& dataDir) { return dataDir + "/navcache.db"; }

bool LedgerDatabase::open(const std::string& path, const Seed& seed)
{
    m_path = path;
    // An existing file is opened without leave to create or replace it.
    if (!m_db.open(path, !fileExists(path)))
        return false;
    const std::string check = m_db.check(false);
    if (check != "ok") {
        m_db.close();
        m_db.setFailure(check);
        return false;
    }
    // A database of a newer program is left as it is, before anything is written.
    const int version = schemaVersion();
    if (version > kSchemaVersion) {
        m_db.close();
        m_db.setFailure("written by a newer version (schema " + std::to_string(version) + ")");
        return false;
    }
    if (m_db.queryText("PRAGMA journal_mode=WAL") != "wal" || !m_db.exec("PRAGMA foreign_keys=ON")
        || !migrate(seed)) {
        const std::string why = m_db.failure().empty() ? std::string("cannot be written") : m_db.failure();
        m_db.close();
        m_db.setFailure(why);
        return false;
    }
    return true;
}

bool LedgerDatabase::migrate(const Seed& seed)
{
    // Up to date: nothing to write, so no wait for the write lock another
    // writer holds (a command that only reads opens at once).
    if (m_db.queryText("PRAGMA user_version") == std::to_string(kSchemaVersion))
        return true;
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    const int version = std::stoi("0" + m_db.queryText("PRAGMA user_version"));
    if (version > kSchemaVersion) {
        m_db.setFailure("written by a newer version (schema " + std::to_string(version) + ")");
        return false;
    }
    if (version == kSchemaVersion)
        return true;
    for (int v = version; v < kSchemaVersion; ++v)
        if (!m_db.exec(kMigrations[v]))
            return false;
    if (version == 0 && seed)
        for (const Trade& t : seed())
            if (!insertTrade(t))
                return false;
    return m_db.exec("PRAGMA user_version=" + std::to_string(kSchemaVersion)) && tx.commit();
}

int LedgerDatabase::schemaVersion() { return std::stoi("0" + m_db.queryText("PRAGMA user_version")); }

std::optional<int64_t> LedgerDatabase::accountId(const std::string& name)
{
    SqliteStatement insert(m_db.handle(), "INSERT OR IGNORE INTO accounts(name) VALUES(?)");
    insert.bind(1, name);
    if (!insert.run()) {
        m_db.fail();
        return std::nullopt;
    }
    SqliteStatement find(m_db.handle(), "SELECT id FROM accounts WHERE name = ?");
    find.bind(1, name);
    if (!find.step()) {
        m_db.fail();
        return std::nullopt;
    }
    return find.integer(0);
}

std::optional<int64_t> LedgerDatabase::insertTrade(const Trade& t)
{
    const auto account = accountId(t.account);
    if (!account)
        return std::nullopt;
    SqliteStatement s(m_db.handle(),
                      "INSERT INTO trades(account_id, code, kind, date, minute, amount, shares, fee_rate, dated,"
                      " plan_id, note) VALUES(?,?,?,?,?,?,?,?,?,?,?)");
    s.bind(1, *account);
    s.bind(2, t.code);
    s.bind(3, int64_t(t.kind));
    s.bind(4, dayText(t.date));
    s.bind(5, t.minute < 0 ? std::nullopt : std::optional<int64_t>(t.minute));
    s.bind(6, t.amount);
    s.bind(7, t.shares);
    s.bind(8, t.feeRate);
    s.bind(9, int64_t(t.dated ? 1 : 0));
    s.bind(10, t.planId ? std::optional<int64_t>(t.planId) : std::nullopt);
    s.bind(11, t.note);
    if (!s.run()) {
        m_db.fail();
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(m_db.handle());
}

std::optional<int64_t> LedgerDatabase::addTrade(const Trade& trade)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return std::nullopt;
    const auto id = insertTrade(trade);
    if (!id || !tx.commit())
        return std::nullopt;
    return id;
}

bool LedgerDatabase::addTrades(const std::vector<Trade>& trades)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    for (const Trade& t : trades)
        if (!insertTrade(t))
            return false;
    return tx.commit();
}

bool LedgerDatabase::updateTrade(const Trade& t)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    const auto account = accountId(t.account);
    if (!account)
        return false;
    SqliteStatement s(m_db.handle(),
                      "UPDATE trades SET account_id=?, code=?, kind=?, date=?, minute=?, amount=?, shares=?,"
                      " fee_rate=?, dated=?, note=? WHERE id=?");
    s.bind(1, *account);
    s.bind(2, t.code);
    s.bind(3, int64_t(t.kind));
    s.bind(4, dayText(t.date));
    s.bind(5, t.minute < 0 ? std::nullopt : std::optional<int64_t>(t.minute));
    s.bind(6, t.amount);
    s.bind(7, t.shares);
    s.bind(8, t.feeRate);
    s.bind(9, int64_t(t.dated ? 1 : 0));
    s.bind(10, t.note);
    s.bind(11, t.id);
    if (!s.run())
        return m_db.fail();
    if (sqlite3_changes(m_db.handle()) == 0) {
        m_db.setFailure("no such trade");
        return false;
    }
    return tx.commit();
}

bool LedgerDatabase::changeOneRow(std::string_view sql, const std::function<void(SqliteStatement&)>& bind,
                                  const char* missing)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    SqliteStatement s(m_db.handle(), sql);
    bind(s);
    if (!s.run())
        return m_db.fail();
    if (sqlite3_changes(m_db.handle()) == 0) {
        m_db.setFailure(missing);
        return false;
    }
    return tx.commit();
}

bool LedgerDatabase::removeTrade(int64_t id)
{
    return changeOneRow("DELETE FROM trades WHERE id=?", [id](SqliteStatement& s) { s.bind(1, id); }, "no such trade");
}

std::vector<Trade> LedgerDatabase::trades()
{
    std::vector<Trade> out;
    SqliteStatement s(m_db.handle(),
                      "SELECT t.id, a.name, t.code, t.kind, t.date, t.minute, t.amount, t.shares, t.fee_rate,"
                      " t.dated, t.plan_id, t.note FROM trades t JOIN accounts a ON a.id = t.account_id"
                      " ORDER BY t.id");
    while (s.step())
        out.push_back(tradeFrom(s));
    if (s.failed())
        m_db.fail();
    return out;
}

std::vector<std::string> LedgerDatabase::accounts()
{
    std::vector<std::string> out;
    SqliteStatement s(m_db.handle(), "SELECT name FROM accounts ORDER BY name");
    while (s.step())
        out.push_back(s.text(0));
    return out;
}

bool LedgerDatabase::setDividendMethod(const std::string& code, DividendMethod method)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    SqliteStatement s(m_db.handle(),
                      "INSERT INTO holding_settings(code, method) VALUES(?, ?)"
                      " ON CONFLICT(code) DO UPDATE SET method = excluded.method");
    s.bind(1, code);
    s.bind(2, int64_t(method));
    if (!s.run())
        return m_db.fail();
    return tx.commit();
}

bool LedgerDatabase::setFeeSchedule(const std::string& code, const std::vector<FeeStep>& schedule)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    SqliteStatement clear(m_db.handle(), "DELETE FROM fee_steps WHERE code = ?");
    clear.bind(1, code);
    if (!clear.run())
        return m_db.fail();
    SqliteStatement s(m_db.handle(), "INSERT INTO fee_steps(code, step, days, rate) VALUES(?,?,?,?)");
    for (size_t i = 0; i < schedule.size(); ++i) {
        s.reset();
        s.bind(1, code);
        s.bind(2, int64_t(i));
        s.bind(3, int64_t(schedule[i].days));
        s.bind(4, schedule[i].rate);
        if (!s.run())
            return m_db.fail();
    }
    return tx.commit();
}

std::map<std::string, HoldingSettings> LedgerDatabase::settings()
{
    std::map<std::string, HoldingSettings> out;
    SqliteStatement methods(m_db.handle(), "SELECT code, method FROM holding_settings");
    while (methods.step())
        out[methods.text(0)].method = DividendMethod(methods.integer(1));
    SqliteStatement steps(m_db.handle(), "SELECT code, days, rate FROM fee_steps ORDER BY code, step");
    while (steps.step())
        out[steps.text(0)].feeSchedule.push_back({int(steps.integer(1)), steps.integer(2)});
    return out;
}

std::optional<int64_t> LedgerDatabase::addPlan(const Plan& p)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return std::nullopt;
    const auto account = accountId(p.account);
    if (!account)
        return std::nullopt;
    SqliteStatement s(m_db.handle(),
                      "INSERT INTO plans(account_id, code, amount, fee_rate, cycle, cycle_day, start_date)"
                      " VALUES(?,?,?,?,?,?,?)");
    s.bind(1, *account);
    s.bind(2, p.code);
    s.bind(3, p.amount);
    s.bind(4, p.feeRate);
    s.bind(5, int64_t(p.cycle));
    s.bind(6, int64_t(p.cycleDay));
    s.bind(7, dayText(p.start));
    if (!s.run())
        return m_db.fail(), std::nullopt;
    const int64_t id = sqlite3_last_insert_rowid(m_db.handle());
    if (!tx.commit())
        return std::nullopt;
    return id;
}

bool LedgerDatabase::removePlan(int64_t id)
{
    return changeOneRow("DELETE FROM plans WHERE id=?", [id](SqliteStatement& s) { s.bind(1, id); }, "no such plan");
}

std::vector<Plan> LedgerDatabase::readPlans()
{
    std::vector<Plan> out;
    SqliteStatement s(m_db.handle(),
                      "SELECT p.id, a.name, p.code, p.amount, p.fee_rate, p.cycle, p.cycle_day, p.start_date"
                      " FROM plans p JOIN accounts a ON a.id = p.account_id ORDER BY p.id");
    while (s.step()) {
        Plan p;
        p.id = s.integer(0);
        p.account = s.text(1);
        p.code = s.text(2);
        p.amount = s.integer(3);
        p.feeRate = s.optionalInteger(4);
        p.cycle = PlanCycle(s.integer(5));
        p.cycleDay = int(s.integer(6));
        p.start = parseDay(s.text(7)).value_or(0);
        out.push_back(std::move(p));
    }
    SqliteStatement booked(m_db.handle(), "SELECT date FROM plan_bookings WHERE plan_id = ? ORDER BY date");
    for (Plan& p : out) {
        booked.reset();
        booked.bind(1, p.id);
        while (booked.step())
            if (const auto d = parseDay(booked.text(0)))
                p.booked.push_back(*d);
    }
    return out;
}

std::vector<Plan> LedgerDatabase::plans() { return readPlans(); }

int LedgerDatabase::bookPlans(const std::function<std::vector<Trade>(const Plan&)>& due)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return -1;
    int booked = 0;
    SqliteStatement mark(m_db.handle(), "INSERT INTO plan_bookings(plan_id, date) VALUES(?, ?)");
    for (const Plan& plan : readPlans()) // as they stand under the write lock
        for (Trade order : due(plan)) {
            order.planId = plan.id;
            mark.reset();
            mark.bind(1, plan.id);
            mark.bind(2, dayText(order.date));
            if (!insertTrade(order) || !mark.run())
                return m_db.fail(), -1;
            ++booked;
        }
    if (!tx.commit())
        return -1;
    return booked;
}

int LedgerDatabase::logEstimates(const std::vector<LoggedEstimate>& estimates)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return -1;
    SqliteStatement s(m_db.handle(),
                      "INSERT OR IGNORE INTO estimate_log(day, code, model, change, us_session) VALUES(?,?,?,?,?)");
    int stored = 0;
    for (const LoggedEstimate& e : estimates) {
        s.reset();
        s.bind(1, dayText(e.day));
        s.bind(2, e.code);
        s.bind(3, int64_t(e.model));
        s.bind(4, e.change);
        if (e.usSession)
            s.bind(5, dayText(*e.usSession));
        else
            s.bind(5, std::optional<int64_t>());
        if (!s.run())
            return m_db.fail(), -1;
        stored += sqlite3_changes(m_db.handle());
    }
    if (!tx.commit())
        return -1;
    return stored;
}

int LedgerDatabase::storeNavChanges(const std::string& code, const std::vector<NavRow>& rows)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return -1;
    SqliteStatement s(m_db.handle(),
                      "UPDATE estimate_log SET nav_change = ? WHERE code = ? AND nav_change IS NULL"
                      " AND COALESCE(us_session, day) = ?");
    int matched = 0;
    for (const NavRow& row : rows) {
        if (!row.changePercent)
            continue;
        s.reset();
        s.bind(1, *row.changePercent);
        s.bind(2, code);
        s.bind(3, dayText(row.day));
        if (!s.run())
            return m_db.fail(), -1;
        matched += sqlite3_changes(m_db.handle());
    }
    if (!tx.commit())
        return -1;
    return matched;
}

std::vector<LoggedEstimate> LedgerDatabase::estimateLog(const std::string& code)
{
    std::vector<LoggedEstimate> out;
    SqliteStatement s(m_db.handle(),
                      "SELECT day, code, model, change, us_session, nav_change FROM estimate_log"
                      " WHERE ?1 = '' OR code = ?1 ORDER BY code, model, day");
    s.bind(1, code);
    while (s.step()) {
        LoggedEstimate e;
        e.day = parseDay(s.text(0)).value_or(0);
        e.code = s.text(1);
        e.model = int(s.integer(2));
        e.change = s.integer(3);
        e.usSession = parseDay(s.text(4));
        e.navChange = s.optionalInteger(5);
        out.push_back(std::move(e));
    }
    if (s.failed())
        m_db.fail();
    return out;
}

std::map<std::string, Day> LedgerDatabase::pendingNavDays()
{
    std::map<std::string, Day> out;
    SqliteStatement s(m_db.handle(),
                      "SELECT code, MIN(COALESCE(us_session, day)) FROM estimate_log WHERE nav_change IS NULL"
                      " GROUP BY code");
    while (s.step())
        if (const auto d = parseDay(s.text(1)))
            out[s.text(0)] = *d;
    if (s.failed())
        m_db.fail();
    return out;
}

bool LedgerDatabase::dailyCopy(Day today)
{
    const std::string target = m_path + "." + dayText(today);
    if (!fileExists(target)) {
        std::string failure;
        // A name of this process's own: the window and the command line may copy at once.
        const std::string part = target + ".part-" + std::to_string(::getpid());
        if (!copyDatabase(m_db, part, failure)) {
            m_db.setFailure(failure);
            return false;
        }
        if (std::rename(part.c_str(), target.c_str()) != 0) {
            std::remove(part.c_str());
            m_db.setFailure("the copy cannot be put in place");
            return false;
        }
    }
    const std::vector<Day> copies = ledgerCopies(m_path);
    for (size_t i = 7; i < copies.size(); ++i)
        std::remove((m_path + "." + dayText(copies[i])).c_str());
    return true;
}

std::vector<Day> ledgerCopies(const std::string& path)
{
    std::vector<Day> out;
    const std::string prefix = baseNameOf(path) + ".";
    DIR* dir = ::opendir(directoryOf(path).c_str());
    if (!dir)
        return out;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 10 && name.compare(0, prefix.size(), prefix) == 0)
            if (const auto d = parseDay(std::string_view(name).substr(prefix.size())))
                out.push_back(*d);
    }
    ::closedir(dir);
    std::sort(out.rbegin(), out.rend());
    return out;
}

bool restoreLedgerCopy(const std::string& path, Day date, std::string& failure)
{
    const std::string copy = path + "." + dayText(date);
    if (!fileExists(copy)) {
        failure = "no copy of " + dayText(date);
        return false;
    }
    SqliteConnection source;
    if (!source.open(copy, false, true)) {
        failure = source.failure();
        return false;
    }
    const std::string part = path + ".restoring";
    if (!copyDatabase(source, part, failure))
        return false;
    source.close();
    const std::string kept = path + ".before-restore";
    if (fileExists(path)) {
        // The replaced file keeps its write-ahead log beside it under its new name.
        std::remove((kept + "-wal").c_str());
        std::remove((kept + "-shm").c_str());
        if (std::rename(path.c_str(), kept.c_str()) != 0
            || (fileExists(path + "-wal") && std::rename((path + "-wal").c_str(), (kept + "-wal").c_str()) != 0)) {
            failure = "the database cannot be moved aside";
            std::remove(part.c_str());
            return false;
        }
        std::remove((path + "-shm").c_str());
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        failure = "the copy cannot be put in place";
        return false;
    }
    return true;
}

} // namespace fw::ledger
