// The alert rules' part of the ledger database.
#include "store/LedgerDatabase.h"

#include <sqlite3.h>

namespace fw::ledger {

namespace {

constexpr const char* kRuleColumns =
    "id, subject, code, condition, above, threshold, window_start, window_end, enabled, armed, fired_day,"
    " last_value, last_day";

std::optional<int64_t> minuteOrNone(int minute) { return minute < 0 ? std::nullopt : std::optional<int64_t>(minute); }

AlertRule ruleFrom(const SqliteStatement& s)
{
    AlertRule r;
    r.id = s.integer(0);
    r.subject = AlertSubject(s.integer(1));
    r.code = s.text(2);
    r.condition = AlertCondition(s.integer(3));
    r.above = s.integer(4) != 0;
    r.threshold = s.integer(5);
    r.windowStart = int(s.optionalInteger(6).value_or(-1));
    r.windowEnd = int(s.optionalInteger(7).value_or(-1));
    r.enabled = s.integer(8) != 0;
    r.state.armed = s.integer(9) != 0;
    r.state.firedDay = parseDay(s.text(10)).value_or(0);
    r.state.lastValue = s.optionalInteger(11);
    r.state.lastDay = parseDay(s.text(12)).value_or(0);
    return r;
}

// "" for no day: a NULL would need its own bind.
std::string storedDay(Day day) { return day ? dayText(day) : std::string(); }

// A rule's columns, as the first eight parameters of an INSERT or UPDATE.
void bindRule(SqliteStatement& s, const AlertRule& r)
{
    s.bind(1, int64_t(r.subject));
    s.bind(2, r.code);
    s.bind(3, int64_t(r.condition));
    s.bind(4, int64_t(r.above ? 1 : 0));
    s.bind(5, r.threshold);
    s.bind(6, minuteOrNone(r.windowStart));
    s.bind(7, minuteOrNone(r.windowEnd));
    s.bind(8, int64_t(r.enabled ? 1 : 0));
}

} // namespace

std::optional<int64_t> LedgerDatabase::addAlertRule(const AlertRule& r)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return std::nullopt;
    SqliteStatement s(m_db.handle(),
                      "INSERT INTO alert_rules(subject, code, condition, above, threshold, window_start, window_end,"
                      " enabled) VALUES(?,?,?,?,?,?,?,?)");
    bindRule(s, r);
    if (!s.run()) {
        m_db.fail();
        return std::nullopt;
    }
    const int64_t id = sqlite3_last_insert_rowid(m_db.handle());
    if (!tx.commit())
        return std::nullopt;
    return id;
}

bool LedgerDatabase::updateAlertRule(const AlertRule& r)
{
    return changeOneRow("UPDATE alert_rules SET subject=?, code=?, condition=?, above=?, threshold=?, window_start=?,"
                        " window_end=?, enabled=? WHERE id=?",
                        [&r](SqliteStatement& s) {
                            bindRule(s, r);
                            s.bind(9, r.id);
                        },
                        "no such rule");
}

bool LedgerDatabase::setAlertRuleEnabled(int64_t id, bool enabled)
{
    // The switch alone: an edit of the rule made meanwhile elsewhere stays.
    return changeOneRow("UPDATE alert_rules SET enabled=? WHERE id=?",
                        [=](SqliteStatement& s) {
                            s.bind(1, int64_t(enabled ? 1 : 0));
                            s.bind(2, id);
                        },
                        "no such rule");
}

bool LedgerDatabase::removeAlertRule(int64_t id)
{
    return changeOneRow("DELETE FROM alert_rules WHERE id=?", [id](SqliteStatement& s) { s.bind(1, id); },
                        "no such rule");
}

std::vector<AlertRule> LedgerDatabase::alertRules()
{
    std::vector<AlertRule> out;
    SqliteStatement s(m_db.handle(), std::string("SELECT ") + kRuleColumns + " FROM alert_rules ORDER BY id");
    while (s.step())
        out.push_back(ruleFrom(s));
    if (s.failed())
        m_db.fail();
    return out;
}

std::optional<AlertRule> LedgerDatabase::alertRule(int64_t id)
{
    SqliteStatement s(m_db.handle(), std::string("SELECT ") + kRuleColumns + " FROM alert_rules WHERE id=?");
    s.bind(1, id);
    if (!s.step()) {
        if (s.failed())
            m_db.fail();
        return std::nullopt;
    }
    return ruleFrom(s);
}

std::vector<AlertFiring> LedgerDatabase::alertLog(int limit)
{
    std::vector<AlertFiring> out;
    SqliteStatement s(m_db.handle(),
                      "SELECT id, rule_id, day, minute, message FROM alert_log ORDER BY id DESC LIMIT ?");
    s.bind(1, int64_t(limit));
    while (s.step()) {
        AlertFiring f;
        f.id = s.integer(0);
        f.ruleId = s.optionalInteger(1).value_or(0);
        f.day = parseDay(s.text(2)).value_or(0);
        f.minute = int(s.integer(3));
        f.message = s.text(4);
        out.push_back(std::move(f));
    }
    if (s.failed())
        m_db.fail();
    return out;
}

std::optional<bool> LedgerDatabase::checkAlertRule(int64_t id, ChinaTime now, const AlertCheck& check)
{
    // BEGIN IMMEDIATE: the rule is read under the write lock, so a second
    // process waits and then sees this one's fired mark.
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return std::nullopt;
    auto rule = alertRule(id);
    if (!rule)
        return std::nullopt;
    const std::optional<std::string> message = check(*rule);
    SqliteStatement s(m_db.handle(),
                      "UPDATE alert_rules SET armed=?, fired_day=NULLIF(?, ''), last_value=?, last_day=NULLIF(?, '')"
                      " WHERE id=?");
    s.bind(1, int64_t(rule->state.armed ? 1 : 0));
    s.bind(2, storedDay(rule->state.firedDay));
    s.bind(3, rule->state.lastValue);
    s.bind(4, storedDay(rule->state.lastDay));
    s.bind(5, id);
    if (!s.run()) {
        m_db.fail();
        return std::nullopt;
    }
    if (message) {
        SqliteStatement log(m_db.handle(), "INSERT INTO alert_log(rule_id, day, minute, message) VALUES(?,?,?,?)");
        log.bind(1, id);
        log.bind(2, dayText(now.day));
        log.bind(3, int64_t(now.minute));
        log.bind(4, *message);
        if (!log.run()) {
            m_db.fail();
            return std::nullopt;
        }
    }
    if (!tx.commit())
        return std::nullopt;
    return message.has_value();
}

bool LedgerDatabase::setAlertsQuietDay(Day day)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    SqliteStatement s(m_db.handle(), "INSERT OR REPLACE INTO alert_quiet(id, day) VALUES(1, ?)");
    s.bind(1, dayText(day));
    if (!s.run())
        return m_db.fail();
    return tx.commit();
}

Day LedgerDatabase::alertsQuietDay()
{
    return parseDay(m_db.queryText("SELECT day FROM alert_quiet WHERE id = 1")).value_or(0);
}

namespace {
constexpr int64_t kEstimateKind = 0; // the day's estimate, beside the digests' marks
}

bool LedgerDatabase::noteDayEstimate(Day day, int64_t cents)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return false;
    SqliteStatement s(m_db.handle(), "INSERT OR REPLACE INTO alert_digests(kind, day, value) VALUES(?,?,?)");
    s.bind(1, kEstimateKind);
    s.bind(2, dayText(day));
    s.bind(3, cents);
    if (!s.run())
        return m_db.fail();
    return tx.commit();
}

std::optional<int64_t> LedgerDatabase::dayEstimate(Day day)
{
    SqliteStatement s(m_db.handle(), "SELECT value FROM alert_digests WHERE kind=? AND day=?");
    s.bind(1, kEstimateKind);
    s.bind(2, dayText(day));
    if (!s.step())
        return std::nullopt;
    return s.optionalInteger(0);
}

std::optional<bool> LedgerDatabase::claimDigest(int kind, Day day, const std::string& message, ChinaTime now)
{
    SqliteTransaction tx(m_db);
    if (!tx.started())
        return std::nullopt;
    SqliteStatement s(m_db.handle(), "INSERT OR IGNORE INTO alert_digests(kind, day) VALUES(?,?)");
    s.bind(1, int64_t(kind));
    s.bind(2, dayText(day));
    if (!s.run()) {
        m_db.fail();
        return std::nullopt;
    }
    if (sqlite3_changes(m_db.handle()) == 0)
        return false;
    SqliteStatement log(m_db.handle(), "INSERT INTO alert_log(rule_id, day, minute, message) VALUES(NULL,?,?,?)");
    log.bind(1, dayText(now.day));
    log.bind(2, int64_t(now.minute));
    log.bind(3, message);
    if (!log.run()) {
        m_db.fail();
        return std::nullopt;
    }
    if (!tx.commit())
        return std::nullopt;
    return true;
}

} // namespace fw::ledger
