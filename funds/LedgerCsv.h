#pragma once
// The ledger's trades as a CSV file: UTF-8 with the header
// 日期,时间,账户,基金代码,类型,金额,份额,费率%,备注, one trade a line. A 买入 row
// has 金额, a 卖出 row 份额, 对账 and 期初 both (金额 = the held cost). An 期初
// row without 时间 is one whose buying date the user never gave (it pays no
// redemption fee). Dividends and splits come from the NAV history and are
// no rows; holding settings and plans are not in the file.
#include "store/LedgerRecords.h"

#include <string>
#include <string_view>
#include <vector>

namespace fw::ledger {

inline constexpr std::string_view kLedgerCsvHeader = "日期,时间,账户,基金代码,类型,金额,份额,费率%,备注";

// "买入", "卖出", "对账", "期初".
std::string tradeKindName(TradeKind kind);
// Those names, and buy / sell / reconcile for the first three.
std::optional<TradeKind> tradeKindOf(std::string_view name);
// "HH:MM" ↔ minutes after midnight; nullopt when not a time of day.
std::optional<int> parseMinute(std::string_view text);
std::string minuteText(int minute);

std::string ledgerCsv(const std::vector<Trade>& trades);

struct LedgerCsvRead {
    std::vector<Trade> trades;
    std::string error; // UTF-8, "第3行 金额：…"; trades is empty when set
};
// Every row checked; the first bad one named by its line and field.
LedgerCsvRead readLedgerCsv(std::string_view content);

} // namespace fw::ledger
