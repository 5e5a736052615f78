#pragma once
// The deterministic market behind the sample service: funds, theme sectors,
// stocks and a trading calendar, all derived from one seed. Immutable after
// construction, so every server thread may read it without locks. Texts are
// UTF-8. Per-fund pages (holdings, managers, risk figures, return series) are
// derived on demand from the fund's own seed.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw::sample {

// Return periods, in the order of a fund's figure table.
enum Period : int {
    Day,
    Week,
    Month,
    ThreeMonths,
    SixMonths,
    YearToDate,
    OneYear,
    TwoYears,
    ThreeYears,
    FiveYears,
    SinceStart,
    PeriodCount
};

// A figure the fund is too young to have.
constexpr int32_t kNoFigure = INT32_MIN;

enum class FundKind : uint8_t {
    EquityMixed,
    Flexible,
    Balanced,
    BondMixed,
    Stock,
    Index,
    LongBond,
    ShortBond,
    MixedBond,
    Qdii,
    Count
};

struct Fund {
    std::string code;      // six digits
    std::string name;
    std::string initials;  // pinyin initials, upper case
    std::string company;   // short name of the management company
    FundKind kind = FundKind::EquityMixed;
    uint8_t stars = 0;     // 0 (not rated) … 5
    int ageDays = 0;       // trading days since the fund started
    uint64_t seed = 0;
    int32_t returns[PeriodCount]; // hundredths of a percent, or kNoFigure
    int64_t navTenThousandths = 0;
    int64_t assetHundredths = -1; // asset size in 亿元 × 100; -1 = not published
    std::string entry;     // the ranking entry (comma-separated fields)

    // parameters of the daily moves
    double navBase = 1.0;
    double drift = 0, beta = 0, sigma = 0, lastDayBump = 0;
};

// Sector codes are text: "BK0474", "BK0045" (leading zeros are part of the
// code), the newer eight-character "BK000651", "BK000045" (a sector apart
// from BK0045), and "BK0999" for the optional whole-market sector.
struct Sector {
    std::string code;
    std::string name;
    std::string indexCode;
    std::vector<int> funds; // indexes into Market::funds(), ascending
    double figures[4] = {}; // SYL_W, SYL_M, SYL_Q, SYL_1N in percent
    uint8_t figureState[4] = {}; // 0 number, 1 "--", 2 null
    double newPrice = 0;
    double dayChange = 0;
};

struct Stock {
    std::string code;      // "600519", "00700"
    int market = 1;        // 1 Shanghai, 0 Shenzhen, 116 Hong Kong
    std::string name;
    double price = 0;      // two decimals
    double change = 0;     // percent, two decimals
    double pe = 0;
    bool suspended = false;
    uint64_t seed = 0;
    std::string id() const { return std::to_string(market) + "." + code; }
};

// How the holdings route lays out a fund's rows, by the last digit of the
// fund code mod 4:
//   0 (…0, …4, …8) Classic: the share follows 行情</a></td> directly.
//   1 (…1, …5, …9) HiddenLink: a hidden 档案 link follows 行情, quote links
//                  of the older /sz000333.html form.
//   2 (…2, …6)     HongKongCells: Hong Kong (116.) rows use class 'toc' and
//                  "--" in their quote cells; the fund's other rows are
//                  classic. Such a fund holds at least one Hong Kong stock.
//   3 (…3, …7)     ShareOnly: rows end right after the share, without the
//                  holding and value columns.
enum class HoldingsLayout : uint8_t { Classic, HiddenLink, HongKongCells, ShareOnly };

struct Holding {
    int stock = 0;         // index into Market::stocks()
    double share = 0;      // percent of net assets, two decimals
    double shares = 0;     // 万股
    double value = 0;      // 万元
};

struct Tenure {
    int64_t fromDay = 0;   // civil days
    int64_t toDay = 0;
    bool current = false;
    std::vector<std::pair<std::string, int>> managers; // name, id
    std::string result;    // "61.84%" or "--"
};

// One row of a fund's NAV history.
struct NavDay {
    int64_t civilDay = 0;
    int64_t unit = 0;        // unit value, 1e-4
    int64_t accumulated = 0; // unit value plus every cash dividend paid so far, 1e-4
    int32_t change = kNoFigure; // the day's change, hundredths of a percent
    int64_t dividend = 0;    // cash per share paid that day, 1e-4
    int64_t split = 0;       // each share became this many, 1e-7 (0: none)
};

struct RiskFigures {
    std::string deviation[3]; // 1, 2, 3 years: "25.88%" or "--"
    std::string sharpe[3];    // "2.64" or "--"
};

class Market {
public:
    // wholeMarketSector adds the sector "BK0999" (全市场), last, holding every fund.
    Market(uint64_t seed, int fundCount, bool wholeMarketSector = false);

    const std::vector<Fund>& funds() const { return m_funds; }
    const Fund* fund(std::string_view code) const;
    int fundIndex(std::string_view code) const; // -1 when unknown

    // Theme sectors in the service's own order.
    const std::vector<Sector>& sectors() const { return m_sectors; }
    // The sector whose code is exactly `code` (no case folding, zeros count).
    const Sector* sectorByCode(std::string_view code) const;

    const std::vector<Stock>& stocks() const { return m_stocks; }
    const Stock* stock(int market, std::string_view code) const;
    const Stock* stockByCode(std::string_view code) const;

    // Funds that have a figure for the period, ascending by it (ties by code).
    const std::vector<int>& ascending(Period period) const { return m_ascending[period]; }

    // Trading calendar: day indexes 0 … lastDay(), lastDay() being the date of the figures.
    int lastDay() const { return int(m_calendar.size()) - 1; }
    int64_t civilDay(int day) const { return m_calendar[size_t(day)]; }
    std::string figureDate() const; // "2026-12-04"
    int figureYear() const;
    static int periodLength(Period period, int yearStartLength);
    int yearStartLength() const { return m_yearStartLength; }
    int firstDayOf(const Fund& fund) const { return lastDay() - fund.ageDays; }

    static const char* typeName(FundKind kind);
    static const char* riskName(FundKind kind);
    static const char* typeLinkKey(FundKind kind);
    static bool holdsStocks(FundKind kind);

    // Mean figure of the funds of one kind, kNoFigure when none has it.
    int32_t peerAverage(FundKind kind, Period period) const;
    // Place of the fund among the funds of its kind by the period's figure
    // (1 = best) and how many of them have the figure; {0, n} without one.
    std::pair<int, int> peerRank(const Fund& fund, Period period) const;
    // The broad market index over the period, hundredths of a percent.
    int32_t marketReturn(Period period) const;

    // Per-fund pages, derived from the fund's seed.
    int holdingQuarters(const Fund& fund) const; // 0 for a fund without stocks
    static HoldingsLayout holdingsLayout(const Fund& fund);
    std::vector<Holding> holdings(const Fund& fund, int quartersBack) const;
    std::vector<Tenure> tenures(const Fund& fund) const;
    RiskFigures risk(const Fund& fund) const;
    // NAV from `fromDay` to lastDay(), relative to the NAV of `fromDay`
    // (first value 1). fromDay is clamped to the fund's first day.
    std::vector<double> relativeNav(const Fund& fund, int fromDay) const;
    // Every published unit value from the fund's first day, oldest first. The
    // day's change is the fund's total return that day (dividends and splits
    // taken into account), so it chains to relativeNav; the last unit value is
    // the fund's NAV. Some funds pay a cash dividend about once a year, and one
    // index fund had its shares converted.
    std::vector<NavDay> navHistory(const Fund& fund) const;
    // A money-market fund outside the fund list: it publishes no unit value.
    std::string moneyFundCode() const;
    // The fund whose shares were converted, and on which trading day.
    int splitFund() const { return m_splitFund; }
    int splitDay() const { return m_splitDay; }
    static bool paysDividends(const Fund& fund);

private:
    void buildCalendar();
    void buildFunds(int count);
    void computeFigures(Fund& fund, std::vector<double>& nav) const;
    void buildEntry(Fund& fund) const;
    void buildOrders();
    void buildSectors(bool wholeMarketSector);
    void buildStocks();
    int navPath(const Fund& fund, std::vector<double>& nav) const; // returns the first day of the path
    double dailyMove(const Fund& fund, int day) const;
    // The total-return path over the fund's whole life, first value 1.
    std::vector<double> lifeNav(const Fund& fund) const;

    uint64_t m_seed;
    std::vector<int64_t> m_calendar;
    int m_yearStartLength = 0;
    std::vector<double> m_marketMove;
    std::vector<double> m_overseasMove;
    std::vector<Fund> m_funds;         // ascending by code
    std::vector<int> m_ascending[PeriodCount];
    std::vector<int32_t> m_peer;       // kind × period
    std::vector<Sector> m_sectors;
    std::vector<Stock> m_stocks;
    std::vector<int> m_stocksByCode;   // indexes into m_stocks sorted by code
    std::vector<int> m_aShares;
    std::vector<int> m_hkShares;
    int m_splitFund = -1;
    int m_splitDay = -1;
};

} // namespace fw::sample
