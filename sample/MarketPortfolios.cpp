// The parts of the market behind today's estimate: the quote service's
// indexes, the funds that follow an index or invest through an exchange-traded
// fund, asset mixes, and what each fund really holds on the last day. The
// last day's NAV change is worked out here from positions the fund never
// discloses in full, so an estimate from the disclosed figures has a real,
// measurable error.
#include "sample/Market.h"

#include "sample/NameTables.h"
#include "sample/Prng.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace fw::sample {

namespace {

double roundedTo(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

double uniformOf(uint64_t h) { return double(h >> 11) * (1.0 / 9007199254740992.0); }

struct IndexSeed {
    int market;
    const char* code;
    const char* name;
    double level;
    bool hongKong;
};

const IndexSeed kIndexSeeds[] = {
    {1, "000001", "上证指数", 3300, false},  {1, "000300", "沪深300", 3900, false},
    {1, "000905", "中证500", 5800, false},   {1, "000852", "中证1000", 6200, false},
    {1, "000906", "中证800", 4300, false},   {1, "000016", "上证50", 2700, false},
    {1, "000688", "科创50", 1000, false},    {1, "000922", "中证红利", 5400, false},
    {0, "399001", "深证成指", 10500, false}, {0, "399330", "深证100", 6000, false},
    {0, "399006", "创业板指", 2200, false},  {0, "399673", "创业板50", 2300, false},
    {100, "HSI", "恒生指数", 20000, true},   {124, "HSTECH", "恒生科技", 4500, true},
};

// How fund names spell the indexes they follow, longest first where one
// spelling holds another: "创业板50" before "创业板".
struct NameForm {
    const char* text;
    const char* initials;
    const char* indexCode;
};
const NameForm kNameForms[] = {
    {"上证指数", "SZZS", "000001"}, {"沪深300", "HS300", "000300"},   {"中证500", "ZZ500", "000905"},
    {"中证1000", "ZZ1000", "000852"}, {"中证800", "ZZ800", "000906"}, {"上证50", "SZ50", "000016"},
    {"科创50", "KC50", "000688"},   {"中证红利", "ZZHL", "000922"},   {"深证成指", "SZCZ", "399001"},
    {"深证100", "SZ100", "399330"}, {"创业板50", "CYB50", "399673"},  {"创业板指", "CYBZ", "399006"},
    {"创业板", "CYB", "399006"},    {"恒生指数", "HSZS", "HSI"},      {"恒生科技", "HSKJ", "HSTECH"},
};

bool isExchangeTraded(const Fund& f)
{
    const bool code = f.code.rfind("51", 0) == 0 || f.code.rfind("159", 0) == 0;
    return f.kind == FundKind::Index && code && f.name.find("ETF") != std::string::npos
        && f.name.find("联接") == std::string::npos;
}

bool isFeederName(const Fund& f)
{
    return f.kind == FundKind::Index && f.name.find("ETF联接") != std::string::npos;
}

// Stock share of a fund of each kind: the low and high end of the range.
void stockShareRange(FundKind kind, double& low, double& high)
{
    switch (kind) {
    case FundKind::Flexible: low = 55, high = 90; break;
    case FundKind::Balanced: low = 45, high = 65; break;
    case FundKind::BondMixed: low = 12, high = 28; break;
    case FundKind::Stock: low = 85, high = 94; break;
    case FundKind::Index: low = 90, high = 97; break;
    case FundKind::Qdii: low = 80, high = 95; break;
    default: low = 78, high = 93; break;
    }
}

} // namespace

void Market::buildIndexes()
{
    Prng rng(hashOf(m_seed, 0x1DE7));
    const size_t last = m_marketMove.size() - 1;
    for (const IndexSeed& seed : kIndexSeeds) {
        MarketIndex x;
        x.market = seed.market;
        x.code = seed.code;
        x.name = seed.name;
        x.hongKong = seed.hongKong;
        const double base = seed.hongKong ? m_overseasMove[last] : m_marketMove[last];
        const double move = std::clamp(base * (0.8 + 0.5 * rng.uniform()) + 0.004 * rng.normal(), -0.09, 0.09);
        x.price = roundedTo(seed.level * (1.0 + 0.05 * rng.normal()), 2);
        x.preClose = roundedTo(x.price / (1.0 + move), 2);
        x.change = roundedTo((x.price / x.preClose - 1.0) * 100.0, 2);
        m_indexes.push_back(std::move(x));
    }
}

const MarketIndex* Market::index(int market, std::string_view code) const
{
    for (const MarketIndex& x : m_indexes) {
        if (x.market == market && x.code == code)
            return &x;
    }
    return nullptr;
}

int Market::trackedIndex(const Fund& f) const
{
    if (!holdsStocks(f.kind) || f.target >= 0)
        return -1;
    for (const NameForm& form : kNameForms) {
        if (f.name.find(form.text) == std::string::npos)
            continue;
        for (size_t i = 0; i < m_indexes.size(); ++i) {
            if (m_indexes[i].code == form.indexCode)
                return int(i);
        }
    }
    return -1;
}

void Market::renameTheme(Fund& f, const char* theme, const char* initials)
{
    const PieceList companies = companyPieces();
    const PieceList themes = indexThemePieces();
    size_t companyInitials = 0;
    for (size_t i = 0; i < companies.size; ++i) {
        if (f.company == companies.items[i].text)
            companyInitials = std::string_view(companies.items[i].initials).size();
    }
    const NamePiece* old = nullptr;
    for (size_t i = 0; i < themes.size; ++i) {
        const std::string_view text = themes.items[i].text;
        if (f.name.compare(f.company.size(), text.size(), text) == 0
            && (!old || text.size() > std::string_view(old->text).size()))
            old = &themes.items[i];
    }
    if (!old)
        return;
    f.name = f.company + theme + f.name.substr(f.company.size() + std::string_view(old->text).size());
    f.initials = f.initials.substr(0, companyInitials) + initials
        + f.initials.substr(std::min(f.initials.size(), companyInitials + std::string_view(old->initials).size()));
}

void Market::designateFunds()
{
    std::unordered_set<std::string> names;
    for (const Fund& f : m_funds)
        names.insert(f.name);
    // An index fund for every index the quote service has: where the market
    // drew none, an index fund of a theme without an index takes it on.
    for (size_t x = 0; x < m_indexes.size(); ++x) {
        // A feeder fund follows its exchange-traded fund instead.
        const bool followed = std::any_of(m_funds.begin(), m_funds.end(), [&](const Fund& f) {
            return !isFeederName(f) && trackedIndex(f) == int(x);
        });
        // The last spelling of the index: fund names say 创业板 for 创业板指.
        const NameForm* form = nullptr;
        for (const NameForm& candidate : kNameForms) {
            if (m_indexes[x].code == candidate.indexCode)
                form = &candidate;
        }
        if (followed || !form)
            continue;
        for (Fund& f : m_funds) {
            if (f.kind != FundKind::Index || f.code == "000001" || isFeederName(f) || trackedIndex(f) >= 0)
                continue;
            Fund renamed = f;
            renameTheme(renamed, form->text, form->initials);
            if (renamed.name == f.name || names.count(renamed.name) || trackedIndex(renamed) != int(x))
                continue;
            names.erase(f.name);
            names.insert(renamed.name);
            f.name = renamed.name;
            f.initials = renamed.initials;
            break;
        }
    }
    // Feeder funds invest through an exchange-traded fund of their index, or
    // any one when the market has none of it.
    std::vector<int> traded;
    for (size_t i = 0; i < m_funds.size(); ++i) {
        if (isExchangeTraded(m_funds[i]))
            traded.push_back(int(i));
    }
    if (traded.empty())
        return;
    for (Fund& f : m_funds) {
        if (!isFeederName(f) || f.code == "000001")
            continue;
        const int own = trackedIndex(f);
        int target = -1;
        for (int t : traded) {
            if (target < 0 && own >= 0 && trackedIndex(m_funds[size_t(t)]) == own)
                target = t;
        }
        if (target < 0)
            target = traded[size_t(hashOf(f.seed, 0xFEED) % traded.size())];
        f.target = target;
    }
}

AssetMix Market::assetMix(const Fund& f, int quartersBack) const
{
    Prng rng(hashOf(f.seed, 0xA55E7 + uint64_t(std::max(0, quartersBack))));
    AssetMix mix;
    if (f.target >= 0) {
        // The exchange-traded fund is "other"; feeders keep a little cash.
        mix.stocks = roundedTo(0.6 * rng.uniform(), 2);
        mix.cash = roundedTo(3.0 + 4.0 * rng.uniform(), 2);
        mix.other = roundedTo(100.0 - mix.stocks - mix.cash, 2);
        return mix;
    }
    if (!holdsStocks(f.kind)) {
        mix.bonds = roundedTo(88.0 + 10.0 * rng.uniform(), 2);
        mix.cash = roundedTo(std::min(2.0 + 5.0 * rng.uniform(), 100.0 - mix.bonds), 2);
        mix.other = roundedTo(100.0 - mix.bonds - mix.cash, 2);
        return mix;
    }
    double low = 0, high = 0;
    stockShareRange(f.kind, low, high);
    double stocks = low + (high - low) * rng.uniform();
    double listed = 0;
    for (const Holding& h : holdings(f, quartersBack))
        listed += h.share;
    // Room for the holdings the fund does not list.
    stocks = std::max(stocks, std::min(98.0, listed + 8.0 + 4.0 * rng.uniform()));
    mix.stocks = roundedTo(stocks, 2);
    mix.cash = roundedTo(std::min(2.0 + 6.0 * rng.uniform(), 100.0 - mix.stocks), 2);
    mix.other = roundedTo(std::min(0.3 + 1.5 * rng.uniform(), 100.0 - mix.stocks - mix.cash), 2);
    mix.bonds = roundedTo(std::max(0.0, 100.0 - mix.stocks - mix.cash - mix.other), 2);
    return mix;
}

std::vector<Holding> Market::wholePortfolio(const Fund& f) const
{
    if (f.target >= 0 || !holdsStocks(f.kind) || m_aShares.empty())
        return {};
    std::vector<Holding> out = holdings(f, 0);
    Prng rng(hashOf(f.seed, 0x3401E));
    // Since the disclosure the stock share and every holding have moved.
    const double stocks = assetMix(f, 0).stocks * (1.0 + 0.03 * rng.normal());
    double listed = 0;
    double smallest = 100;
    for (Holding& h : out) {
        h.share = std::max(0.05, h.share * (1.0 + 0.12 * rng.normal()));
        listed += h.share;
        smallest = std::min(smallest, h.share);
    }
    const int more = 20 + rng.below(16);
    const double hkShare = f.kind == FundKind::Qdii ? 0.6 : holdingsLayout(f) == HoldingsLayout::HongKongCells ? 0.3 : 0.05;
    std::vector<int> picked;
    for (int attempt = 0; int(picked.size()) < more && attempt < 400; ++attempt) {
        const std::vector<int>& from = (rng.chance(hkShare) && !m_hkShares.empty()) ? m_hkShares : m_aShares;
        const int s = from[size_t(rng.below(int(from.size())))];
        const bool listedAlready = std::any_of(out.begin(), out.end(), [&](const Holding& h) { return h.stock == s; });
        if (!listedAlready && std::find(picked.begin(), picked.end(), s) == picked.end())
            picked.push_back(s);
    }
    std::vector<double> weights;
    double total = 0;
    for (size_t i = 0; i < picked.size(); ++i) {
        weights.push_back(0.5 + rng.uniform());
        total += weights.back();
    }
    // The rest of the stock share, each smaller than the smallest listed
    // holding; what does not fit is cash.
    const double rest = std::max(2.0, stocks - listed);
    for (size_t i = 0; i < picked.size(); ++i) {
        Holding h;
        h.stock = picked[i];
        h.share = std::min(rest * weights[i] / total, 0.95 * smallest);
        out.push_back(h);
    }
    return out;
}

double Market::lastDayMove(const Fund& f) const
{
    const double fee = (f.target >= 0 ? 0.006 : f.kind == FundKind::Index ? 0.007 : 0.015) / 250.0;
    if (f.target >= 0) {
        // At least 90 % in the exchange-traded fund; the tracking error of its own.
        const double inTarget = 0.90 + 0.06 * uniformOf(hashOf(f.seed, 0xE5E1));
        const double tracking = 0.0004 * normalOf(hashOf(f.seed, 0xE5E2));
        return inTarget * dailyMove(m_funds[size_t(f.target)], lastDay()) + tracking - fee;
    }
    auto stockMove = [&](int s) {
        const Stock& stock = m_stocks[size_t(s)];
        return stock.suspended ? 0.0 : stock.change / 100.0;
    };
    const AssetMix mix = assetMix(f, 0);
    const double bonds = 0.0001 + 0.0004 * normalOf(hashOf(m_seed, 0xB0DD)) + 0.0002 * normalOf(hashOf(f.seed, 0xB0DE));
    double r = mix.bonds / 100.0 * bonds - fee + 0.0002 * normalOf(hashOf(f.seed, 0xE5E3));
    const std::vector<Holding> whole = wholePortfolio(f);
    const int followed = trackedIndex(f);
    if (followed >= 0) {
        // The index, and 5 to 8 % of net assets in the last holdings, which are off the index.
        const double off = 0.05 + 0.03 * uniformOf(hashOf(f.seed, 0xE5E4));
        double offMean = 0;
        const size_t count = std::min<size_t>(5, whole.size());
        for (size_t i = whole.size() - count; i < whole.size(); ++i)
            offMean += stockMove(whole[i].stock) / double(count);
        const double stocks = mix.stocks / 100.0 * (1.0 + 0.01 * normalOf(hashOf(f.seed, 0xE5E5)));
        r += std::max(0.0, stocks - off) * m_indexes[size_t(followed)].change / 100.0 + off * offMean;
    } else {
        for (const Holding& h : whole)
            r += h.share / 100.0 * stockMove(h.stock);
    }
    return r;
}

bool Market::security(int market, std::string_view code, Security& out) const
{
    if (const MarketIndex* x = index(market, code)) {
        out = Security{x->market, x->code, x->name, x->price, x->preClose, x->change, 0, 2, false, x->hongKong,
                       hashOf(m_seed, std::hash<std::string>{}(x->id()))};
        return true;
    }
    const bool tradedCode = (market == 1 && code.substr(0, 1) == "5") || (market == 0 && code.substr(0, 3) == "159");
    if (const Fund* f = tradedCode ? fund(code) : nullptr; f && isExchangeTraded(*f)) {
        // Traded near its unit value, to three decimals.
        const std::vector<double> nav = relativeNav(*f, lastDay() - 1);
        const double ratio = nav.size() == 2 ? nav[1] : 1.0;
        const double unit = double(f->navTenThousandths) / 10000.0;
        Security s;
        s.market = market;
        s.code = f->code;
        s.name = f->name;
        s.preClose = std::max(0.001, roundedTo(unit / ratio, 3));
        s.price = std::max(0.001, roundedTo(s.preClose * ratio, 3));
        s.change = roundedTo((s.price / s.preClose - 1.0) * 100.0, 2);
        s.pe = 0;
        s.decimals = 3;
        s.seed = hashOf(f->seed, 0x7AADE);
        out = s;
        return true;
    }
    if (const Stock* st = stock(market, code)) {
        out = Security{st->market, st->code, st->name, st->price, st->preClose, st->change, st->pe, 2, st->suspended,
                       st->market == 116, st->seed};
        return true;
    }
    return false;
}

} // namespace fw::sample
