#include "funds/LedgerStart.h"
#include "funds/Ledger.h"
#include "funds/Portfolio.h"
#include "text/CodePage.h"

namespace fw::ledger {

std::vector<Trade> openingTrades(const ConfigFile::KeyValues& section, Day today)
{
    std::vector<Trade> out;
    for (const Holding& h : readHoldings(section)) {
        const auto shares = parseUnits(h.shares, 2);
        const auto price = parseUnits(h.cost, 4);
        if (!shares || !price)
            continue;
        Trade t;
        t.account = "默认";
        t.code = h.code;
        t.kind = TradeKind::Opening;
        t.date = today;
        t.shares = *shares;
        t.amount = mulDivRound(*shares, *price, 10000); // 1e-2 share × 1e-4 yuan = 1e-6 yuan, to cents
        t.dated = false;
        out.push_back(std::move(t));
    }
    return out;
}

bool openLedger(LedgerDatabase& db, const std::string& dataDir, const ConfigFile& config, Day today)
{
    return db.open(ledgerFilePath(dataDir),
                   [&] { return openingTrades(config.readSection(portfolioSectionName()), today); });
}

Text ledgerOpenFailureText(const std::string& reason) { return gbk("持仓数据库无法打开：") + utf8ToGbk(reason); }

} // namespace fw::ledger
