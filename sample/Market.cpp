#include "sample/Market.h"

#include "sample/Format.h"
#include "sample/NameTables.h"
#include "sample/Prng.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_set>

namespace fw::sample {

namespace {

constexpr int kCalendarDays = 7000;  // trading days back from the date of the figures
constexpr int kPathDays = 1250;      // daily moves kept explicitly; older history is one base NAV
constexpr int kMinAge = 30;          // every fund has at least its week and month figures
constexpr int kMaxAge = 5800;
constexpr int64_t kSplitRatio = 10234567; // 1.0234567 shares for one, in 1e-7
constexpr int kFirstHoldingsAge = 70; // a younger fund has published no quarterly holdings yet
constexpr int kMaxFunds = 500000;
constexpr int kGeneratedStocks = 700;

// The date of the figures: a Friday.
constexpr int kFigureYear = 2026;
constexpr unsigned kFigureMonth = 12;
constexpr unsigned kFigureDay = 4;

struct KindInfo {
    const char* type;
    double weight;
    double beta, sigma, drift;
    const char* risk;
    const char* linkKey;
    const char* fee;      // discounted purchase fee
    const char* fullFee;  // original purchase fee
};

const KindInfo kKinds[] = {
    {"混合型-偏股", 25, 0.85, 0.0090, 0.00012, "中高风险", "HH", "0.15%", "1.50%"},
    {"混合型-灵活", 12, 0.60, 0.0080, 0.00010, "中高风险", "HH", "0.15%", "1.50%"},
    {"混合型-平衡", 5, 0.50, 0.0050, 0.00010, "中风险", "HH", "0.12%", "1.20%"},
    {"混合型-偏债", 6, 0.15, 0.0015, 0.00015, "中低风险", "HH", "0.08%", "0.80%"},
    {"股票型", 10, 0.95, 0.0100, 0.00012, "高风险", "GP", "0.15%", "1.50%"},
    {"指数型-股票", 17, 1.00, 0.0060, 0.00010, "中高风险", "ZS", "0.12%", "1.20%"},
    {"债券型-长债", 12, 0.01, 0.0006, 0.00014, "中低风险", "ZQ", "0.08%", "0.80%"},
    {"债券型-中短债", 5, 0.00, 0.00025, 0.00011, "低风险", "ZQ", "0.03%", "0.30%"},
    {"债券型-混合债", 5, 0.10, 0.0010, 0.00015, "中低风险", "ZQ", "0.08%", "0.80%"},
    {"QDII", 3, 0.20, 0.0060, 0.00010, "中高风险", "QDII", "0.15%", "1.50%"},
};
static_assert(std::size(kKinds) == size_t(FundKind::Count));

const KindInfo& infoOf(FundKind kind)
{
    return kKinds[size_t(kind)];
}

const NamePiece kOrdinals[] = {
    {"二号", "EH"}, {"三号", "SH"}, {"四号", "SH"}, {"五号", "WH"},
    {"六号", "LH"}, {"七号", "QH"}, {"八号", "BH"}, {"九号", "JH"},
};

const NamePiece& pickPiece(Prng& rng, PieceList list)
{
    return list.items[size_t(rng.below(int(list.size)))];
}

template <class T>
const T& pickOf(Prng& rng, const T* items, size_t count)
{
    return items[size_t(rng.below(int(count)))];
}

std::string sixDigits(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06d", n);
    return buf;
}

std::string figureText(int32_t hundredths)
{
    return hundredths == kNoFigure ? std::string() : trimmedHundredths(hundredths);
}

int pickWeighted(Prng& rng, const std::vector<double>& cumulative)
{
    const double x = rng.uniform() * cumulative.back();
    return int(std::upper_bound(cumulative.begin(), cumulative.end(), x) - cumulative.begin());
}

} // namespace

Market::Market(uint64_t seed, int fundCount, bool wholeMarketSector) : m_seed(seed)
{
    buildCalendar();
    buildStocks();
    buildFunds(std::clamp(fundCount, 0, kMaxFunds));
    buildOrders();
    buildSectors(wholeMarketSector);
    // The first index fund old enough converts its shares 100 trading days ago.
    for (size_t i = 0; i < m_funds.size() && m_splitFund < 0; ++i) {
        if (m_funds[i].kind == FundKind::Index && m_funds[i].ageDays >= 400) {
            m_splitFund = int(i);
            m_splitDay = lastDay() - 100;
        }
    }
}

// ---------------------------------------------------------------- calendar

void Market::buildCalendar()
{
    // Weekdays, except one week-long holiday (2025-10-01 to 10-08). The
    // Saturday worked to make up for it (2025-10-11) is no trading day either:
    // the exchanges stay closed on weekends.
    const int64_t last = daysFromCivil(kFigureYear, kFigureMonth, kFigureDay);
    const int64_t holidayFrom = daysFromCivil(2025, 10, 1), holidayTo = daysFromCivil(2025, 10, 8);
    m_calendar.reserve(kCalendarDays);
    for (int64_t d = last; int(m_calendar.size()) < kCalendarDays; --d) {
        const int wd = weekdayOf(d);
        if (wd != 0 && wd != 6 && (d < holidayFrom || d > holidayTo))
            m_calendar.push_back(d);
    }
    std::reverse(m_calendar.begin(), m_calendar.end());

    const int64_t yearStart = daysFromCivil(kFigureYear, 1, 1);
    int firstOfYear = lastDay();
    while (firstOfYear > 0 && m_calendar[size_t(firstOfYear - 1)] >= yearStart)
        --firstOfYear;
    m_yearStartLength = lastDay() - (firstOfYear - 1);

    Prng rng(hashOf(m_seed, 0x3A4B));
    m_marketMove.resize(m_calendar.size());
    m_overseasMove.resize(m_calendar.size());
    for (size_t t = 0; t < m_calendar.size(); ++t) {
        m_marketMove[t] = 0.0003 + 0.011 * rng.normal();
        m_overseasMove[t] = 0.0003 + 0.010 * rng.normal();
    }
}

std::string Market::figureDate() const
{
    return dateText(m_calendar.back(), '-');
}

int Market::figureYear() const
{
    return kFigureYear;
}

int Market::periodLength(Period period, int yearStartLength)
{
    switch (period) {
    case Day: return 1;
    case Week: return 5;
    case Month: return 22;
    case ThreeMonths: return 65;
    case SixMonths: return 125;
    case YearToDate: return yearStartLength;
    case OneYear: return 250;
    case TwoYears: return 500;
    case ThreeYears: return 750;
    case FiveYears: return 1250;
    default: return 0;
    }
}

// ---------------------------------------------------------------- kinds

const char* Market::typeName(FundKind kind) { return infoOf(kind).type; }
const char* Market::riskName(FundKind kind) { return infoOf(kind).risk; }
const char* Market::typeLinkKey(FundKind kind) { return infoOf(kind).linkKey; }

bool Market::holdsStocks(FundKind kind)
{
    return kind != FundKind::LongBond && kind != FundKind::ShortBond && kind != FundKind::MixedBond;
}

// ---------------------------------------------------------------- stocks

void Market::buildStocks()
{
    Prng rng(hashOf(m_seed, 0x570C));
    std::unordered_set<std::string> codes;
    std::unordered_set<std::string> names;

    auto finish = [&](Stock& s) {
        const bool hk = s.market == 116;
        const double logPrice = hk ? 2.4 + 1.2 * rng.normal() : 3.0 + 0.9 * rng.normal();
        s.price = std::clamp(std::round(std::exp(logPrice) * 100.0) / 100.0, 0.5, 2500.0);
        const bool wideLimit = s.code.rfind("688", 0) == 0 || s.code.rfind("30", 0) == 0;
        const double limit = hk ? 30.0 : wideLimit ? 20.0 : 10.0;
        s.change = std::round(std::clamp(2.2 * rng.normal(), -limit, limit) * 100.0) / 100.0;
        s.pe = std::round((5.0 + 70.0 * rng.uniform()) * 10.0) / 10.0;
        s.suspended = rng.chance(0.03);
        s.seed = hashOf(m_seed, std::hash<std::string>{}(s.code) ^ uint64_t(s.market));
    };

    size_t known = 0;
    const StockSeed* wellKnown = wellKnownStocks(known);
    for (size_t i = 0; i < known; ++i) {
        Stock s;
        s.market = wellKnown[i].market;
        s.code = wellKnown[i].code;
        s.name = wellKnown[i].name;
        codes.insert(s.code);
        names.insert(s.name);
        finish(s);
        m_stocks.push_back(std::move(s));
    }

    size_t headCount = 0, tailCount = 0;
    const char* const* heads = stockNameHeads(headCount);
    const char* const* tails = stockNameTails(tailCount);
    static const char* const kShanghai[] = {"600", "601", "603", "605", "688"};
    static const char* const kShenzhen[] = {"000", "001", "002", "003", "300", "301"};
    for (int i = 0; i < kGeneratedStocks; ++i) {
        Stock s;
        const double u = rng.uniform();
        s.market = u < 0.45 ? 1 : u < 0.85 ? 0 : 116;
        for (int attempt = 0; attempt < 50; ++attempt) {
            char buf[16];
            if (s.market == 1)
                std::snprintf(buf, sizeof buf, "%s%03d", pickOf(rng, kShanghai, 5), rng.below(1000));
            else if (s.market == 0)
                std::snprintf(buf, sizeof buf, "%s%03d", pickOf(rng, kShenzhen, 6), rng.below(1000));
            else
                std::snprintf(buf, sizeof buf, "%05d", rng.between(1, 9999));
            if (std::string(buf) == "000000" || codes.count(buf))
                continue;
            s.code = buf;
            break;
        }
        if (s.code.empty())
            continue;
        codes.insert(s.code);
        for (int attempt = 0; attempt < 6; ++attempt) {
            s.name = std::string(pickOf(rng, heads, headCount)) + pickOf(rng, tails, tailCount);
            if (names.insert(s.name).second)
                break;
        }
        finish(s);
        m_stocks.push_back(std::move(s));
    }

    m_stocksByCode.resize(m_stocks.size());
    std::iota(m_stocksByCode.begin(), m_stocksByCode.end(), 0);
    std::sort(m_stocksByCode.begin(), m_stocksByCode.end(),
              [&](int a, int b) { return m_stocks[size_t(a)].code < m_stocks[size_t(b)].code; });
    for (size_t i = 0; i < m_stocks.size(); ++i)
        (m_stocks[i].market == 116 ? m_hkShares : m_aShares).push_back(int(i));
}

const Stock* Market::stockByCode(std::string_view code) const
{
    auto it = std::lower_bound(m_stocksByCode.begin(), m_stocksByCode.end(), code,
                               [&](int i, std::string_view c) { return m_stocks[size_t(i)].code < c; });
    if (it == m_stocksByCode.end() || m_stocks[size_t(*it)].code != code)
        return nullptr;
    return &m_stocks[size_t(*it)];
}

const Stock* Market::stock(int market, std::string_view code) const
{
    const Stock* s = stockByCode(code);
    return s && s->market == market ? s : nullptr;
}

// ---------------------------------------------------------------- funds

namespace {

int pickCode(Prng& rng, FundKind kind, std::unordered_set<int>& used)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        const double u = rng.uniform();
        int code;
        if (kind == FundKind::Index && u < 0.25)
            code = 510000 + rng.below(10000);
        else if (kind == FundKind::Index && u < 0.40)
            code = 159000 + rng.below(1000);
        else if ((kind == FundKind::Index && u < 0.50) || (kind != FundKind::Index && u < 0.08))
            code = 160000 + rng.below(10000);
        else
            code = 1 + rng.below(29999);
        if (used.insert(code).second)
            return code;
    }
    // A crowded code space: take the next free code.
    for (int code = 1 + rng.below(999998), n = 0; n < 999999; ++n, code = code % 999999 + 1) {
        if (used.insert(code).second)
            return code;
    }
    return -1;
}

struct NameParts {
    std::string name;
    std::string initials;
};

void append(NameParts& p, const NamePiece& piece)
{
    p.name += piece.text;
    p.initials += piece.initials;
}

PieceList themesOf(FundKind kind)
{
    switch (kind) {
    case FundKind::Balanced: return balancedThemePieces();
    case FundKind::BondMixed: return cautiousThemePieces();
    case FundKind::Index: return indexThemePieces();
    case FundKind::LongBond: return bondThemePieces();
    case FundKind::ShortBond: return shortBondThemePieces();
    case FundKind::MixedBond: return mixedBondThemePieces();
    case FundKind::Qdii: return overseasThemePieces();
    default: return activeThemePieces();
    }
}

// Whether the fund's suffix (and so how much randomness naming it takes) follows from its code.
bool codeShapesSuffix(FundKind kind, int code)
{
    return kind == FundKind::Index && ((code >= 510000 && code < 520000) || (code >= 159000 && code < 170000));
}

NamePiece suffixOf(Prng& rng, FundKind kind, int code)
{
    switch (kind) {
    case FundKind::Flexible: return {"灵活配置混合", "LHPZHH"};
    case FundKind::Stock: return {"股票", "GP"};
    case FundKind::LongBond:
    case FundKind::ShortBond:
    case FundKind::MixedBond: return {"债券", "ZQ"};
    case FundKind::Index: {
        if (code >= 510000 && code < 520000)
            return {"ETF", "ETF"};
        if (code >= 159000 && code < 160000)
            return {"ETF", "ETF"};
        if (code >= 160000 && code < 170000)
            return {"指数(LOF)", "ZSLOF"};
        static const NamePiece kIndexSuffixes[] = {
            {"指数", "ZS"}, {"ETF联接", "ETFLJ"}, {"指数增强", "ZSZQ"}};
        return pickOf(rng, kIndexSuffixes, 3);
    }
    case FundKind::Qdii: {
        static const NamePiece kOverseasSuffixes[] = {
            {"指数(QDII)", "ZSQDII"}, {"混合(QDII)", "HHQDII"}, {"股票(QDII)", "GPQDII"}};
        return pickOf(rng, kOverseasSuffixes, 3);
    }
    default: return {"混合", "HH"};
    }
}

} // namespace

void Market::buildFunds(int count)
{
    Prng rng(hashOf(m_seed, 0xF0AD));
    std::unordered_set<int> usedCodes;
    std::unordered_set<std::string> usedNames;
    std::vector<double> cumulativeWeights;
    double total = 0;
    for (const KindInfo& k : kKinds) {
        total += k.weight;
        cumulativeWeights.push_back(total);
    }

    std::vector<double> nav;
    nav.reserve(kPathDays + 1);
    m_funds.reserve(size_t(count));
    // Every non-empty market has a fund 000001, so examples can name one: the first stock
    // fund old enough to have published its holdings, so that it shows them and today's
    // estimate (any fund when a small market has none such). One drawn code trades places
    // with 1; the set of drawn codes and the draws themselves stay as they were, so every
    // other fund comes out the same as without the swap.
    int swappedCode = 0;
    for (int i = 0; i < count; ++i) {
        Fund f;
        f.kind = FundKind(pickWeighted(rng, cumulativeWeights));
        const int drawn = pickCode(rng, f.kind, usedCodes);
        if (drawn < 0)
            break;

        const NamePiece& company = pickPiece(rng, companyPieces());
        f.company = company.text;
        const NamePiece suffix = suffixOf(rng, f.kind, drawn);
        const bool exchangeTraded = std::string_view(suffix.text) == "ETF";
        NameParts parts;
        for (int attempt = 0; attempt < 14; ++attempt) {
            parts = {};
            append(parts, company);
            append(parts, pickPiece(rng, themesOf(f.kind)));
            if (attempt >= 6)
                append(parts, kOrdinals[size_t(attempt - 6)]);
            append(parts, suffix);
            if (!exchangeTraded) {
                const double u = rng.uniform();
                if (u < 0.45)
                    append(parts, {"A", "A"});
                else if (u < 0.80)
                    append(parts, {"C", "C"});
            }
            if (usedNames.insert(parts.name).second)
                break;
        }
        f.name = std::move(parts.name);
        f.initials = std::move(parts.initials);

        const double starRoll = rng.uniform();
        f.stars = starRoll < 0.125 ? 5 : starRoll < 0.33 ? 4 : starRoll < 0.58 ? 3 : starRoll < 0.73 ? 2
            : starRoll < 0.83 ? 1 : 0;
        f.ageDays = kMinAge + int(std::pow(rng.uniform(), 1.6) * (kMaxAge - kMinAge));
        // Decided once the age is known; the code takes no part in the draws above.
        if (swappedCode == 0 && drawn != 1 && !usedCodes.count(1)
            && ((!codeShapesSuffix(f.kind, drawn) && holdsStocks(f.kind) && f.ageDays >= kFirstHoldingsAge)
                || i == count - 1))
            swappedCode = drawn;
        const int code = swappedCode == 0 ? drawn : drawn == swappedCode ? 1 : drawn == 1 ? swappedCode : drawn;
        f.code = sixDigits(code);
        f.seed = hashOf(m_seed, uint64_t(code) * 0x9E37 + 0x5EED);

        const KindInfo& k = infoOf(f.kind);
        f.beta = k.beta * (0.8 + 0.4 * rng.uniform());
        f.sigma = k.sigma * (0.7 + 0.6 * rng.uniform());
        f.drift = k.drift + (rng.uniform() - 0.5) * k.sigma * 0.08;
        f.navBase = (holdsStocks(f.kind) && f.kind != FundKind::BondMixed) ? 0.6 + 2.6 * rng.uniform()
                                                                           : 1.0 + 0.4 * rng.uniform();
        if (rng.chance(0.04)) {
            f.assetHundredths = -1;
        } else {
            const double size = std::clamp(std::exp(1.2 + 1.5 * rng.normal()), 0.02, 1500.0);
            f.assetHundredths = std::max<int64_t>(1, toHundredths(size));
        }
        computeFigures(f, nav);
        buildEntry(f);
        m_funds.push_back(std::move(f));
    }
    std::sort(m_funds.begin(), m_funds.end(), [](const Fund& a, const Fund& b) { return a.code < b.code; });
}

double Market::dailyMove(const Fund& f, int day) const
{
    double r = f.drift + f.sigma * normalOf(hashOf(f.seed, uint64_t(day)));
    r += f.beta * m_marketMove[size_t(day)];
    if (f.kind == FundKind::Qdii)
        r += 0.9 * m_overseasMove[size_t(day)];
    if (day == lastDay())
        r += f.lastDayBump;
    return std::clamp(r, -0.2, 0.2);
}

int Market::navPath(const Fund& f, std::vector<double>& nav) const
{
    const int steps = std::min(f.ageDays, kPathDays);
    const int start = lastDay() - steps;
    nav.resize(size_t(steps) + 1);
    nav[0] = f.ageDays > kPathDays ? f.navBase : 1.0;
    for (int j = 1; j <= steps; ++j)
        nav[size_t(j)] = nav[size_t(j - 1)] * (1.0 + dailyMove(f, start + j));
    return start;
}

void Market::computeFigures(Fund& f, std::vector<double>& nav) const
{
    // A week figure of exactly zero would have no colour on the fund page;
    // nudge the last day instead (deterministically).
    for (int attempt = 0; attempt < 6; ++attempt) {
        navPath(f, nav);
        const size_t k = nav.size() - 1;
        for (int p = 0; p < PeriodCount; ++p) {
            double ratio;
            if (p == SinceStart) {
                ratio = f.ageDays > kPathDays ? nav[k] : nav[k] / nav[0];
            } else {
                const int length = periodLength(Period(p), m_yearStartLength);
                if (length > f.ageDays) {
                    f.returns[p] = kNoFigure;
                    continue;
                }
                ratio = nav[k] / nav[k - size_t(length)];
            }
            f.returns[p] = int32_t(toHundredths((ratio - 1.0) * 100.0));
        }
        f.navTenThousandths = std::llround(nav[k] * 10000.0);
        if (f.returns[Week] != 0)
            break;
        f.lastDayBump += 0.0003;
    }
}

void Market::buildEntry(Fund& f) const
{
    const KindInfo& k = infoOf(f.kind);
    const bool classC = !f.name.empty() && f.name.back() == 'C';
    const char* fee = classC ? "0.00%" : k.fee;
    const char* fullFee = classC ? "0.00%" : k.fullFee;
    const std::string sep = ",";
    std::string e;
    e.reserve(200);
    e += f.code + sep + f.name + sep + f.initials + sep + k.type;
    for (Period p : {YearToDate, Week, Month, ThreeMonths, SixMonths, OneYear, TwoYears, ThreeYears, FiveYears})
        e += sep + figureText(f.returns[p]);
    e += sep;          // 13: unused
    e += sep + "1";    // 14: status
    e += sep + figureDate();
    e += sep + fixedText(double(f.navTenThousandths) / 10000.0, 4);
    e += sep + figureText(f.returns[Day]);
    e += sep + "1";    // 18: open for purchase
    e += sep + fee;
    e += sep + (f.kind == FundKind::ShortBond ? "1" : "10");
    e += sep + "1";    // 21: discount flag
    e += sep + fullFee;
    e += sep + fee;
    e += sep + figureText(f.returns[SinceStart]);
    f.entry = std::move(e);
}

void Market::buildOrders()
{
    for (int p = 0; p < PeriodCount; ++p) {
        std::vector<int>& order = m_ascending[p];
        for (size_t i = 0; i < m_funds.size(); ++i) {
            if (m_funds[i].returns[p] != kNoFigure)
                order.push_back(int(i));
        }
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return m_funds[size_t(a)].returns[p] < m_funds[size_t(b)].returns[p];
        });
    }

    const int kinds = int(FundKind::Count);
    std::vector<int64_t> sum(size_t(kinds * PeriodCount), 0);
    std::vector<int64_t> n(size_t(kinds * PeriodCount), 0);
    for (const Fund& f : m_funds) {
        for (int p = 0; p < PeriodCount; ++p) {
            if (f.returns[p] == kNoFigure)
                continue;
            const size_t slot = size_t(int(f.kind) * PeriodCount + p);
            sum[slot] += f.returns[p];
            ++n[slot];
        }
    }
    m_peer.assign(sum.size(), kNoFigure);
    for (size_t i = 0; i < sum.size(); ++i) {
        if (n[i] > 0)
            m_peer[i] = int32_t(std::llround(double(sum[i]) / double(n[i])));
    }
}

int32_t Market::peerAverage(FundKind kind, Period period) const
{
    return m_peer[size_t(int(kind) * PeriodCount + int(period))];
}

std::pair<int, int> Market::peerRank(const Fund& fund, Period period) const
{
    int better = 0;
    int count = 0;
    for (const Fund& other : m_funds) {
        if (other.kind != fund.kind || other.returns[period] == kNoFigure)
            continue;
        ++count;
        if (fund.returns[period] != kNoFigure && other.returns[period] > fund.returns[period])
            ++better;
    }
    return {fund.returns[period] == kNoFigure ? 0 : better + 1, count};
}

int32_t Market::marketReturn(Period period) const
{
    const int length = period == SinceStart ? 0 : periodLength(period, m_yearStartLength);
    double ratio = 1.0;
    for (int day = lastDay() - length + 1; day <= lastDay(); ++day)
        ratio *= 1.0 + m_marketMove[size_t(day)];
    return int32_t(toHundredths((ratio - 1.0) * 100.0));
}

const Fund* Market::fund(std::string_view code) const
{
    const int i = fundIndex(code);
    return i < 0 ? nullptr : &m_funds[size_t(i)];
}

int Market::fundIndex(std::string_view code) const
{
    auto it = std::lower_bound(m_funds.begin(), m_funds.end(), code,
                               [](const Fund& f, std::string_view c) { return f.code < c; });
    if (it == m_funds.end() || it->code != code)
        return -1;
    return int(it - m_funds.begin());
}

// ---------------------------------------------------------------- sectors

namespace {

constexpr size_t kNewerCodeLength = 8; // "BK000651"

void drawSectorFigures(Sector& s, Prng& rng)
{
    char buf[16];
    if (rng.chance(0.6))
        std::snprintf(buf, sizeof buf, "930%03d", rng.below(1000));
    else
        std::snprintf(buf, sizeof buf, "399%03d", rng.below(1000));
    s.indexCode = buf;
    const double spread[4] = {2.5, 6.0, 10.0, 20.0};
    const double centre[4] = {0.2, 0.5, 1.0, 3.0};
    for (int k = 0; k < 4; ++k) {
        s.figures[k] = std::round((centre[k] + spread[k] * rng.normal()) * 1000.0) / 1000.0;
        const double u = rng.uniform();
        s.figureState[k] = u < 0.05 ? 1 : u < 0.08 ? 2 : 0;
    }
    s.newPrice = std::round((800.0 + 6000.0 * rng.uniform()) * 100.0) / 100.0;
    s.dayChange = std::round(1.2 * rng.normal() * 100.0) / 100.0;
}

} // namespace

void Market::buildSectors(bool wholeMarketSector)
{
    Prng rng(hashOf(m_seed, 0x5EC7));
    size_t count = 0;
    const SectorSeed* seeds = sectorSeeds(count);
    // The older sectors (codes shorter than eight characters) come first in
    // the table; the newer ones get their members from a stream of their own,
    // so that adding them left the older sectors' members as they were.
    std::vector<double> cumulative;
    std::vector<double> newerCumulative;
    double total = 0;
    double newerTotal = 0;
    size_t older = 0;
    for (size_t i = 0; i < count; ++i) {
        Sector s;
        s.code = seeds[i].code;
        s.name = seeds[i].name;
        drawSectorFigures(s, rng);
        // New themes hold only a handful of funds.
        const bool young = s.name == "第三代半导体" || s.name == "元宇宙";
        const double weight = young ? 0.03 : std::exp(rng.normal());
        if (s.code.size() < kNewerCodeLength) {
            total += weight;
            cumulative.push_back(total);
            ++older;
        } else {
            newerTotal += weight;
            newerCumulative.push_back(newerTotal);
        }
        m_sectors.push_back(std::move(s));
    }

    Prng members(hashOf(m_seed, 0x5EC8));
    for (size_t i = 0; i < m_funds.size() && older > 0; ++i) {
        if (!holdsStocks(m_funds[i].kind))
            continue;
        const int picks = 1 + (members.chance(0.35) ? 1 : 0) + (members.chance(0.10) ? 1 : 0);
        int chosen[3] = {-1, -1, -1};
        for (int k = 0; k < picks; ++k) {
            const int s = pickWeighted(members, cumulative);
            if (s == chosen[0] || s == chosen[1])
                continue;
            chosen[k] = s;
            m_sectors[size_t(s)].funds.push_back(int(i));
        }
    }
    Prng newerMembers(hashOf(m_seed, 0x5EC9));
    for (size_t i = 0; i < m_funds.size() && !newerCumulative.empty(); ++i) {
        if (holdsStocks(m_funds[i].kind) && newerMembers.chance(0.06))
            m_sectors[older + size_t(pickWeighted(newerMembers, newerCumulative))].funds.push_back(int(i));
    }

    if (wholeMarketSector) {
        Sector s;
        s.code = "BK0999";
        s.name = "全市场";
        Prng own(hashOf(m_seed, 0x5ECA));
        drawSectorFigures(s, own);
        s.figureState[0] = s.figureState[1] = s.figureState[2] = s.figureState[3] = 0;
        s.funds.resize(m_funds.size());
        std::iota(s.funds.begin(), s.funds.end(), 0);
        m_sectors.push_back(std::move(s));
    }
}

const Sector* Market::sectorByCode(std::string_view code) const
{
    for (const Sector& s : m_sectors) {
        if (s.code == code)
            return &s;
    }
    return nullptr;
}

// ---------------------------------------------------------------- per-fund pages

int Market::holdingQuarters(const Fund& f) const
{
    if (!holdsStocks(f.kind) || f.ageDays < kFirstHoldingsAge)
        return 0;
    return 2 + int(hashOf(f.seed, 0x9A27) & 1);
}

HoldingsLayout Market::holdingsLayout(const Fund& f)
{
    const int digit = f.code.empty() ? 0 : f.code.back() - '0';
    return HoldingsLayout(((digit % 10) + 10) % 10 % 4);
}

std::vector<Holding> Market::holdings(const Fund& f, int quartersBack) const
{
    std::vector<Holding> out;
    if (quartersBack < 0 || quartersBack >= holdingQuarters(f) || m_stocks.empty())
        return out;
    Prng rng(hashOf(f.seed, 0x401D));
    const bool hongKongLayout = holdingsLayout(f) == HoldingsLayout::HongKongCells;
    const double hkShare = f.kind == FundKind::Qdii ? 0.6 : hongKongLayout ? 0.4 : 0.08;
    std::vector<int> pool;
    for (int attempt = 0; pool.size() < 16 && attempt < 200; ++attempt) {
        const std::vector<int>& from = (rng.chance(hkShare) && !m_hkShares.empty()) ? m_hkShares : m_aShares;
        if (from.empty())
            continue;
        const int s = from[size_t(rng.below(int(from.size())))];
        if (std::find(pool.begin(), pool.end(), s) == pool.end())
            pool.push_back(s);
    }
    std::vector<int> picked(pool.begin(), pool.begin() + std::min<size_t>(10, pool.size()));
    // Each quarter back swaps two of the smaller holdings.
    for (int k = 0; k < 2 * quartersBack && 10 + size_t(k) < pool.size() && size_t(k) < picked.size(); ++k)
        picked[picked.size() - 1 - size_t(k)] = pool[10 + size_t(k)];
    // A fund laid out with Hong Kong cells shows at least one such row.
    auto isHongKong = [&](int s) { return m_stocks[size_t(s)].market == 116; };
    if (hongKongLayout && !m_hkShares.empty() && !picked.empty()
        && std::none_of(picked.begin(), picked.end(), isHongKong)) {
        picked.back() = m_hkShares[size_t(rng.below(int(m_hkShares.size())))];
    }

    Prng shares(hashOf(f.seed, 0x5A4E + uint64_t(quartersBack)));
    const double assetWan = (f.assetHundredths > 0 ? double(f.assetHundredths) / 100.0 : 5.0) * 10000.0;
    double share = 4.0 + 6.0 * shares.uniform();
    for (int s : picked) {
        Holding h;
        h.stock = s;
        h.share = std::round(share * 100.0) / 100.0;
        h.value = std::round(assetWan * h.share / 100.0 * 100.0) / 100.0;
        const double price = m_stocks[size_t(s)].price;
        h.shares = std::round(h.value / std::max(price, 0.01) * 100.0) / 100.0;
        out.push_back(h);
        share *= 0.80 + 0.17 * shares.uniform();
    }
    return out;
}

std::vector<Tenure> Market::tenures(const Fund& f) const
{
    Prng rng(hashOf(f.seed, 0x3A7A));
    size_t surnameCount = 0, givenCount = 0;
    const char* const* family = surnames(surnameCount);
    const char* const* given = givenNames(givenCount);
    auto person = [&]() {
        std::string name = std::string(pickOf(rng, family, surnameCount)) + pickOf(rng, given, givenCount);
        return std::make_pair(name, 30000000 + rng.below(9000000));
    };

    const int first = firstDayOf(f);
    const int rows = 1 + (f.ageDays > 500 ? rng.below(3) : f.ageDays > 200 ? rng.below(2) : 0);
    std::vector<int> starts{first};
    for (int r = 1; r < rows; ++r)
        starts.push_back(first + 1 + rng.below(std::max(1, f.ageDays - 2)));
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    std::vector<Tenure> out;
    for (size_t r = 0; r < starts.size(); ++r) {
        Tenure t;
        t.fromDay = civilDay(starts[r]);
        t.current = r + 1 == starts.size();
        t.toDay = t.current ? civilDay(lastDay()) : civilDay(starts[r + 1]) - 1;
        const int people = t.current ? 1 + (rng.chance(0.35) ? 1 : 0) : 1;
        for (int p = 0; p < people; ++p)
            t.managers.push_back(person());
        const double years = double(t.toDay - t.fromDay) / 365.0;
        if (rng.chance(0.06))
            t.result = "--";
        else
            t.result = fixedText(std::round((years * 6.0 + 22.0 * rng.normal()) * 100.0) / 100.0, 2) + "%";
        out.push_back(std::move(t));
    }
    std::reverse(out.begin(), out.end()); // current manager first
    return out;
}

RiskFigures Market::risk(const Fund& f) const
{
    Prng rng(hashOf(f.seed, 0x7155));
    RiskFigures r;
    const bool unpublished = rng.chance(0.03);
    const double daily = std::sqrt(f.sigma * f.sigma + std::pow(f.beta * 0.011, 2));
    const double annual = daily * std::sqrt(250.0) * 100.0;
    for (int y = 0; y < 3; ++y) {
        if (unpublished || f.ageDays < 250 * (y + 1)) {
            r.deviation[y] = "--";
            r.sharpe[y] = "--";
            continue;
        }
        r.deviation[y] = fixedText(annual * (0.85 + 0.3 * rng.uniform()), 2) + "%";
        r.sharpe[y] = fixedText(0.3 + 0.8 * rng.normal(), 2);
    }
    return r;
}

std::vector<double> Market::lifeNav(const Fund& f) const
{
    std::vector<double> path;
    const int start = navPath(f, path);
    const int first = firstDayOf(f);
    const int older = start - first; // days before the explicit moves
    if (older <= 0)
        return path;
    // The older history rises from 1 to the path's base NAV with the fund's
    // own daily noise, evened out so that it ends exactly there.
    std::vector<double> nav(size_t(older) + 1);
    nav[0] = 1.0;
    for (int j = 1; j <= older; ++j)
        nav[size_t(j)] = nav[size_t(j - 1)] * (1.0 + dailyMove(f, first + j));
    const double step = std::pow(path[0] / nav[size_t(older)], 1.0 / older);
    double scale = 1.0;
    for (int j = 1; j <= older; ++j) {
        scale *= step;
        nav[size_t(j)] *= scale;
    }
    nav[size_t(older)] = path[0];
    nav.insert(nav.end(), path.begin() + 1, path.end());
    return nav;
}

bool Market::paysDividends(const Fund& f)
{
    return f.kind != FundKind::Index && hashOf(f.seed, 0xD1D) % 5 == 0;
}

std::vector<NavDay> Market::navHistory(const Fund& f) const
{
    const std::vector<double> nav = lifeNav(f);
    const int first = firstDayOf(f);
    const int n = int(nav.size());
    const bool splits = m_splitFund >= 0 && &m_funds[size_t(m_splitFund)] == &f;
    std::vector<int64_t> dividend(static_cast<size_t>(n), 0);
    if (paysDividends(f)) {
        // About once a year, 0.0100 to 0.0499 per share.
        const int offset = 120 + int(hashOf(f.seed, 0xD1E) % 100);
        for (int j = offset, k = 0; j < n; j += 245, ++k)
            dividend[size_t(j)] = 100 + int64_t(hashOf(f.seed, 0xD1F + uint64_t(k)) % 400);
    }
    const int splitAt = splits ? m_splitDay - first : -1;

    // From the last unit value (the fund's NAV) back: a holder's growth over
    // a day is the total-return ratio, whatever was paid or converted.
    std::vector<double> unit(static_cast<size_t>(n));
    unit[size_t(n - 1)] = double(f.navTenThousandths) / 10000.0;
    for (int j = n - 1; j > 0; --j) {
        double value = unit[size_t(j)] + double(dividend[size_t(j)]) / 10000.0;
        if (j == splitAt)
            value *= double(kSplitRatio) / 1e7;
        unit[size_t(j - 1)] = value * nav[size_t(j - 1)] / nav[size_t(j)];
    }

    std::vector<NavDay> rows(static_cast<size_t>(n));
    int64_t paid = 0;
    for (int j = 0; j < n; ++j) {
        NavDay& r = rows[size_t(j)];
        r.civilDay = civilDay(first + j);
        r.unit = std::llround(unit[size_t(j)] * 10000.0);
        paid += dividend[size_t(j)];
        r.accumulated = r.unit + paid;
        r.dividend = dividend[size_t(j)];
        r.split = j == splitAt ? kSplitRatio : 0;
        if (j > 0)
            r.change = int32_t(toHundredths((nav[size_t(j)] / nav[size_t(j - 1)] - 1.0) * 100.0));
    }
    return rows;
}

std::string Market::moneyFundCode() const
{
    for (int code = 9;; ++code) {
        const std::string text = sixDigits(code);
        if (!fund(text))
            return text;
    }
}

std::vector<double> Market::relativeNav(const Fund& f, int fromDay) const
{
    std::vector<double> nav;
    const int start = navPath(f, nav);
    const int from = std::clamp(std::max(fromDay, firstDayOf(f)), start, lastDay());
    const size_t offset = size_t(from - start);
    std::vector<double> out;
    out.reserve(nav.size() - offset);
    for (size_t i = offset; i < nav.size(); ++i)
        out.push_back(nav[i] / nav[offset]);
    return out;
}

} // namespace fw::sample
