#include "funds/LedgerCsv.h"

#include "funds/Ledger.h"
#include "text/NumberText.h"

namespace fw::ledger {

namespace {

constexpr int kColumns = 9;

std::string field(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The records of the file: fields split at commas, quoted fields taken whole
// (a doubled quote inside is one quote). Each record with its first line.
struct Record {
    int line = 0;
    std::vector<std::string> fields;
};

bool splitRecords(std::string_view content, std::vector<Record>& records, std::string& error)
{
    int line = 1;
    size_t i = 0;
    while (i < content.size()) {
        Record record;
        record.line = line;
        std::string current;
        bool done = false;
        while (!done) {
            if (i < content.size() && content[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= content.size()) {
                        error = "第" + std::to_string(record.line) + "行：引号没有结束";
                        return false;
                    }
                    if (content[i] == '"') {
                        if (i + 1 < content.size() && content[i + 1] == '"') {
                            current += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (content[i] == '\n')
                        ++line;
                    current += content[i++];
                }
            }
            while (i < content.size() && content[i] != ',' && content[i] != '\n')
                current += content[i++];
            record.fields.push_back(current);
            current.clear();
            if (i < content.size() && content[i] == ',') {
                ++i;
                continue;
            }
            done = true;
            if (i < content.size()) { // the line's end
                ++i;
                ++line;
            }
        }
        std::string& last = record.fields.back();
        if (!last.empty() && last.back() == '\r')
            last.pop_back();
        const bool blank = record.fields.size() == 1 && record.fields[0].find_first_not_of(" \t") == std::string::npos;
        if (!blank)
            records.push_back(std::move(record));
    }
    return true;
}

std::string trimmed(const std::string& text)
{
    const size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos)
        return {};
    return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

bool isCode(std::string_view text)
{
    if (text.size() != 6)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

std::string tradeKindName(TradeKind kind)
{
    switch (kind) {
    case TradeKind::Buy: return "买入";
    case TradeKind::Sell: return "卖出";
    case TradeKind::Reconcile: return "对账";
    case TradeKind::Opening: return "期初";
    }
    return {};
}

std::optional<TradeKind> tradeKindOf(std::string_view name)
{
    if (name == "买入" || name == "buy")
        return TradeKind::Buy;
    if (name == "卖出" || name == "sell")
        return TradeKind::Sell;
    if (name == "对账" || name == "reconcile")
        return TradeKind::Reconcile;
    if (name == "期初")
        return TradeKind::Opening;
    return std::nullopt;
}

std::optional<int> parseMinute(std::string_view text)
{
    if (text.size() != 5 || text[2] != ':')
        return std::nullopt;
    const auto hours = parseUnits(text.substr(0, 2), 0);
    const auto minutes = parseUnits(text.substr(3, 2), 0);
    if (!hours || !minutes || *hours < 0 || *hours > 23 || *minutes < 0 || *minutes > 59)
        return std::nullopt;
    return int(*hours * 60 + *minutes);
}

std::string minuteText(int minute)
{
    const std::string h = std::to_string(minute / 60), m = std::to_string(minute % 60);
    return (h.size() < 2 ? "0" + h : h) + ":" + (m.size() < 2 ? "0" + m : m);
}

std::string ledgerCsv(const std::vector<Trade>& trades)
{
    std::string out = std::string(kLedgerCsvHeader) + "\n";
    for (const Trade& t : trades) {
        const bool amount = t.kind != TradeKind::Sell, shares = t.kind != TradeKind::Buy;
        // An 期初 the user never dated keeps its time empty.
        const bool time = t.minute >= 0 && !(t.kind == TradeKind::Opening && !t.dated);
        out += dayText(t.date) + "," + (time ? minuteText(t.minute) : std::string()) + "," + field(t.account) + ","
            + t.code + "," + tradeKindName(t.kind) + "," + (amount ? unitsText(t.amount, 2) : std::string()) + ","
            + (shares ? unitsText(t.shares, 2) : std::string()) + ","
            + (t.feeRate ? unitsText(*t.feeRate, 4) : std::string()) + "," + field(t.note) + "\n";
    }
    return out;
}

LedgerCsvRead readLedgerCsv(std::string_view content)
{
    LedgerCsvRead out;
    if (content.rfind("\xEF\xBB\xBF", 0) == 0)
        content.remove_prefix(3);
    std::vector<Record> records;
    if (!splitRecords(content, records, out.error))
        return out;
    auto fail = [&out](const Record& r, const char* column, const std::string& why) {
        out.trades.clear();
        out.error = "第" + std::to_string(r.line) + "行 " + column + "：" + why;
        return out;
    };
    if (records.empty()) {
        out.error = "文件是空的";
        return out;
    }
    std::string header;
    for (const std::string& f : records[0].fields)
        header += (header.empty() ? "" : ",") + trimmed(f);
    if (header != kLedgerCsvHeader) {
        out.error = "第" + std::to_string(records[0].line) + "行：表头须为 " + std::string(kLedgerCsvHeader);
        return out;
    }
    for (size_t i = 1; i < records.size(); ++i) {
        const Record& r = records[i];
        if (int(r.fields.size()) != kColumns) {
            out.trades.clear();
            out.error = "第" + std::to_string(r.line) + "行：须为九栏";
            return out;
        }
        std::vector<std::string> f;
        for (const std::string& value : r.fields)
            f.push_back(trimmed(value));
        Trade t;
        const auto date = parseDay(f[0]);
        if (!date)
            return fail(r, "日期", "须为 YYYY-MM-DD");
        t.date = *date;
        if (!f[1].empty()) {
            const auto minute = parseMinute(f[1]);
            if (!minute)
                return fail(r, "时间", "须为 HH:MM");
            t.minute = *minute;
        }
        t.account = f[2].empty() ? "默认" : f[2];
        if (!isCode(f[3]))
            return fail(r, "基金代码", "须为六位数字");
        t.code = f[3];
        const auto kind = tradeKindOf(f[4]);
        if (!kind || (f[4] != "买入" && f[4] != "卖出" && f[4] != "对账" && f[4] != "期初"))
            return fail(r, "类型", "须为 买入、卖出、对账 或 期初");
        t.kind = *kind;
        t.dated = !(t.kind == TradeKind::Opening && f[1].empty());
        const bool needsAmount = t.kind != TradeKind::Sell, needsShares = t.kind != TradeKind::Buy;
        if (needsAmount) {
            const auto amount = parseUnits(f[5], 2);
            const bool positive = amount && (*amount > 0 || (t.kind == TradeKind::Reconcile && *amount == 0));
            if (!positive)
                return fail(r, "金额", "须为最多两位小数的金额");
            t.amount = *amount;
        } else if (!f[5].empty()) {
            return fail(r, "金额", "卖出只填份额");
        }
        if (needsShares) {
            const auto shares = parseUnits(f[6], 2);
            const bool positive = shares && (*shares > 0 || (t.kind == TradeKind::Reconcile && *shares == 0));
            if (!positive)
                return fail(r, "份额", "须为最多两位小数的份额");
            t.shares = *shares;
        } else if (!f[6].empty()) {
            return fail(r, "份额", "买入只填金额");
        }
        if (!f[7].empty()) {
            const auto rate = parseUnits(f[7], 4);
            if (!rate || *rate < 0 || *rate >= 1000000)
                return fail(r, "费率%", "须为 0 到 100 之间、最多四位小数的百分数");
            t.feeRate = *rate;
        }
        t.note = f[8];
        out.trades.push_back(std::move(t));
    }
    return out;
}

} // namespace fw::ledger
