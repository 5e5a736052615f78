#pragma once
// Opening the user's ledger: the database beside 配置.ini and, on its first
// start, the holdings of [持仓] carried in as 期初 trades. [持仓] is only read:
// it stays exactly as it was, as a backup.
#include "store/ConfigFile.h"
#include "store/LedgerDatabase.h"
#include "text/Text.h"

#include <string>
#include <vector>

namespace fw::ledger {

// One 期初 trade per valid [持仓] line (GBK keys and values): its shares at
// its cost price (held cost = shares × cost price, to 0.01), dated `today`,
// account 默认, without a buying date of its own (so no redemption fee).
std::vector<Trade> openingTrades(const ConfigFile::KeyValues& section, Day today);

// Opens <dataDir>/fundwatch.db; a new one starts with openingTrades of the
// settings' [持仓]. False with db.failure() set as LedgerDatabase::open says.
bool openLedger(LedgerDatabase& db, const std::string& dataDir, const ConfigFile& config, Day today);

// "持仓数据库无法打开：<reason>" (GBK), what the window says when open fails.
Text ledgerOpenFailureText(const std::string& reason);

} // namespace fw::ledger
