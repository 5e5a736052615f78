#pragma once
// Every control that feature code reads or writes, named once by window and
// role. The designed names (the Qt object names, which tests and the windows
// use to find a widget) are spelt only in Controls.cpp, so a misspelt control
// is a compile error rather than a write that reaches nothing.
#include <cstdint>

namespace fw {

enum class Window : uint8_t { Main, Sector, Step, Portfolio };

enum class Control : uint8_t {
    // --- main window
    FundGrid,            // the fund list
    CompareGrid,         // comparison base (row 1) and picked fund (row 2)
    HoldingsCaption,     // caption over the picked fund's holdings
    BaseHoldingsCaption, // caption over the comparison base's holdings
    HoldingsGrid,
    BaseHoldingsGrid,
    WatchFrame,          // group box around the watchlist
    Watchlist,
    SearchBox,
    Suggestions,         // search suggestions, hidden until there are some
    Chart,               // the drawing panel
    ChartTitle,
    Progress,            // status line 1: fund count, profile progress
    Status,              // status line 2: step message, page count, export state
    StockFrame,          // frame of the stock page overlay
    StockBrowser,        // the embedded browser inside it
    StockClose,          // the close picture of the overlay
    FiveStarButton,
    SectorButton,
    StepButton,
    ExportButton,
    BoardDayGain,        // the four ranking board radio boxes
    BoardMonthGain,
    BoardDayLoss,
    BoardMonthLoss,
    LoadAllBox,
    AutostartBox,
    Period1,             // the seven chart period buttons, one week … three years
    Period2,
    Period3,
    Period4,
    Period5,
    Period6,
    Period7,
    FundMenu,            // pop-up menus
    CompareMenu,
    StockMenu,
    WatchMenu,
    HoldingsEstimate,    // today's estimate from the holdings, under 高级表格3 (added, not designed)
    PortfolioButton,     // opens the portfolio window, in the free strip along the bottom (added)
    AlertsButton,        // opens the alert rules beside it (added)

    // --- sector window
    SectorCaption,       // the caption line naming the ranking shown
    SectorWeek,          // the four period buttons
    SectorMonth,
    SectorQuarter,
    SectorYear,
    SectorTileTemplate,  // hidden label the tiles are cloned from

    // --- step window
    StepGroup,
    StepAccountLabel,
    StepAccount,
    StepPasswordLabel,
    StepPassword,
    StepTargetLabel,
    StepTarget,
    StepUsage,           // "使用方法": shows the usage tooltip
    StepSave,
    StepNote,

    // --- portfolio window (added, not designed)
    PortfolioTable,
    PortfolioCode,       // the boxes of a fund to add
    PortfolioShares,
    PortfolioCost,
    PortfolioAdd,
    PortfolioRefresh,
    PortfolioNote,       // why an edit was refused

    // --- the ledger's tabs of the portfolio window (added, not designed)
    LedgerTabs,  // the tabs 持仓 交易 收益日历 走势 定投
    LedgerAccount,  // 全部 or one account
    LedgerHoldings,
    LedgerRefresh,
    LedgerNote,  // why a write was refused
    LedgerFailure,  // 持仓数据库无法打开：…
    LedgerCopies,  // the daily copies
    LedgerRestore,
    LedgerTrades,
    TradeKind,  // 买入 卖出 对账
    TradeCode,
    TradeAmount,
    TradeShares,
    TradeDate,
    TradeTime,
    TradeFeeRate,
    TradeAccount,
    TradeNote,
    TradeAdd,
    TradeEdit,
    TradeRemove,
    LedgerCalendar,  // a month of 当日收益
    CalendarMonth,  // the month shown
    CalendarSums,  // month and year sums
    LedgerTrend,
    BenchmarkCode,
    LedgerPlans,
    PlanCode,
    PlanAmount,
    PlanFeeRate,
    PlanAccount,
    PlanCycle,
    PlanDay,
    PlanStart,
    PlanAdd,
    PlanRemove,
    EstimateAccuracy,  // 准确度: each fund's measured error
    EstimateAccuracyNote,
    TodayPick,   // 组合 or one held fund
    TodayChart,  // the day's curve
    TodayNote,   // its figures, or why there is none

    Count
};

inline constexpr int kControlCount = static_cast<int>(Control::Count);

struct ControlInfo {
    Window window;
    const char* designedName; // UTF-8: the Qt object name of the control
};

const ControlInfo& controlInfo(Control control);
inline const char* designedName(Control control) { return controlInfo(control).designedName; }
inline Window windowOf(Control control) { return controlInfo(control).window; }

// Board n (1..4) and period button n (1..7) as controls.
Control boardControl(int board);
Control periodControl(int button);

} // namespace fw
