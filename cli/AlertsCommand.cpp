// fundwatch-cli alerts: the alert rules kept in fundwatch.db, their log, and
// one check of every rule for a timer that runs while the window is closed.
#include "app/DesktopNotifier.h"
#include "cli/Commands.h"
#include "funds/AlertCheck.h"
#include "funds/LedgerBook.h"
#include "funds/LedgerCsv.h"
#include "funds/LedgerStart.h"
#include "text/CodePage.h"

#include <QCoreApplication>

#include <charconv>
#include <ctime>
#include <memory>

namespace fw::cli {

using namespace fw::ledger;

namespace {

// The rule of `alerts add SUBJECT CONDITION VALUE`; "" when it is one, else why not.
std::string ruleFromArguments(const CliOptions& o, AlertRule& rule)
{
    const std::string& subject = o.arguments[1];
    const size_t colon = subject.find(':');
    const std::string kind = subject.substr(0, colon);
    rule.code = colon == std::string::npos ? std::string() : subject.substr(colon + 1);
    if (kind == "fund")
        rule.subject = AlertSubject::Fund;
    else if (kind == "holding")
        rule.subject = AlertSubject::Holding;
    else if (kind == "stock")
        rule.subject = AlertSubject::Stock;
    else if (subject == "portfolio")
        rule.subject = AlertSubject::Portfolio;
    else
        return "提醒对象须为 fund:代码、stock:市场.代码、holding:代码 或 portfolio：" + subject;
    const AlertConditionChoice* word = nullptr;
    for (const AlertConditionChoice& w : alertConditionChoices())
        if (o.arguments[2] == w.word)
            word = &w;
    if (!word)
        return "没有条件 " + o.arguments[2];
    rule.condition = word->condition;
    rule.above = word->above;
    if (const std::string problem = alertRuleProblem(rule); !problem.empty())
        return problem;
    const auto threshold = parseAlertFigure(o.arguments[3]);
    if (!threshold)
        return "阈值须为最多四位小数的数：" + o.arguments[3];
    rule.threshold = *threshold;
    if (!o.window.empty() && !parseAlertWindow(o.window, rule.windowStart, rule.windowEnd))
        return "--window 须为 HH:MM-HH:MM：" + o.window;
    return {};
}

// Now in China time, or the moment --date and --time give.
std::optional<ChinaTime> checkMoment(CliSession& s)
{
    ChinaTime now = chinaTime(std::time(nullptr));
    if (!s.options.date.empty()) {
        const auto d = parseDay(s.options.date);
        if (!d) {
            s.error("--date 须为 YYYY-MM-DD：" + s.options.date);
            return std::nullopt;
        }
        now.day = *d;
    }
    if (!s.options.time.empty()) {
        const auto m = parseMinute(s.options.time);
        if (!m) {
            s.error("--time 须为 HH:MM：" + s.options.time);
            return std::nullopt;
        }
        now.minute = *m;
    }
    return now;
}

std::string stateText(const AlertRule& r)
{
    if (!r.enabled)
        return "已关闭";
    return r.state.armed ? "待命" : "已触发，待回落";
}

int listRules(CliSession& s, LedgerDatabase& db)
{
    const std::vector<AlertRule> rules = db.alertRules();
    if (outputFormat(s) == OutputFormat::Json) {
        Json all = Json::array();
        for (const AlertRule& r : rules)
            all.push_back({{"id", r.id}, {"rule", alertRuleText(r)}, {"enabled", r.enabled}, {"armed", r.state.armed},
                           {"fired", r.state.firedDay ? Json(dayText(r.state.firedDay)) : Json()}});
        s.io.out << all.dump(2) << "\n";
        return kExitDone;
    }
    TextTable table;
    table.header = {"编号", "规则", "状态", "上次触发"};
    for (const AlertRule& r : rules)
        table.rows.push_back({{std::to_string(r.id)}, {alertRuleText(r)}, {stateText(r)},
                              {r.state.firedDay ? dayText(r.state.firedDay) : std::string("--")}});
    writeTable(s, table, "提醒规则");
    return kExitDone;
}

int showLog(CliSession& s, LedgerDatabase& db)
{
    const std::vector<AlertFiring> log = db.alertLog();
    if (outputFormat(s) == OutputFormat::Json) {
        Json all = Json::array();
        for (const AlertFiring& f : log)
            all.push_back({{"date", dayText(f.day)}, {"time", minuteText(f.minute)},
                           {"rule", f.ruleId ? Json(f.ruleId) : Json()}, {"message", f.message}});
        s.io.out << all.dump(2) << "\n";
        return kExitDone;
    }
    TextTable table;
    table.header = {"日期", "时间", "规则", "提醒"};
    for (const AlertFiring& f : log)
        table.rows.push_back({{dayText(f.day)}, {minuteText(f.minute)}, {f.ruleId ? std::to_string(f.ruleId) : "--"},
                              {f.message}});
    writeTable(s, table, "提醒记录");
    return kExitDone;
}

// Tells each firing on the desktop when a notification service is there and
// the user did not silence today.
void tell(const AlertRound& round)
{
    if (round.fired.empty() || round.quiet)
        return;
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "fundwatch-cli";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    DesktopNotifier notifier;
    for (const FiredAlert& f : round.fired)
        notifier.notify(QString::fromStdString(f.message));
}

int checkOnce(CliSession& s)
{
    const auto now = checkMoment(s);
    if (!now)
        return kExitUsage;
    const AlertRound round = runAlertRound(s.dataDir, s.config, s.context.requestOptions(), *now, false);
    if (round.writeFailed)
        s.error("提醒状态无法保存：" + round.failure);
    if (round.refreshFailed)
        s.error("行情刷新失败");
    tell(round);
    if (outputFormat(s) == OutputFormat::Json) {
        Json all = Json::array();
        for (const FiredAlert& f : round.fired)
            all.push_back({{"rule", f.ruleId}, {"message", f.message}});
        s.io.out << Json({{"tradingDay", round.tradingDay}, {"fired", all}}).dump(2) << "\n";
    } else {
        for (const FiredAlert& f : round.fired)
            s.io.out << printableText(minuteText(now->minute) + "  " + f.message) << "\n";
    }
    return round.writeFailed || round.refreshFailed ? kExitFailed : kExitDone;
}

} // namespace

int runAlerts(CliSession& s)
{
    const CliOptions& o = s.options;
    LedgerDatabase db;
    if (!openLedger(db, s.dataDir, s.config, chinaTime(std::time(nullptr)).day)) {
        s.errorGbk(ledgerOpenFailureText(db.failure()));
        return kExitFailed;
    }
    const std::string& action = o.arguments[0];
    if (action == "list")
        return listRules(s, db);
    if (action == "log")
        return showLog(s, db);
    if (action == "check") {
        db.close(); // the round opens its own
        return checkOnce(s);
    }
    if (action == "remove") {
        int64_t id = 0;
        const std::string& text = o.arguments[1];
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
        if (ec != std::errc() || end != text.data() + text.size() || !db.removeAlertRule(id)) {
            s.error("没有编号为 " + o.arguments[1] + " 的提醒规则");
            return kExitFailed;
        }
        return kExitDone;
    }
    AlertRule rule;
    if (const std::string why = ruleFromArguments(o, rule); !why.empty()) {
        s.error(why);
        return kExitUsage;
    }
    const auto id = db.addAlertRule(rule);
    if (!id) {
        s.error("提醒规则无法保存：" + db.failure());
        return kExitFailed;
    }
    s.io.out << *id << "\n";
    return kExitDone;
}

} // namespace fw::cli
