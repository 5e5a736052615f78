#pragma once
// Event routing of the main window as plain C++: every event of every control
// arrives at one named method here. The Qt window forwards events and shows
// the models; it holds no logic of its own.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "chart/ComparisonChart.h"
#include "export/GridExport.h"
#include "funds/FeatureContext.h"
#include "funds/FundDetails.h"
#include "funds/FundLists.h"
#include "funds/FundSearch.h"
#include "funds/EstimateRecord.h"
#include "funds/LedgerBook.h"
#include "funds/FullList.h"
#include "funds/SectorRanking.h"
#include "funds/Watchlist.h"
#include "steps/StepSubmission.h"
#include <ctime>
#include <functional>
#include <string>

namespace fw {

// Things the controller needs from outside that tests replace.
struct ControllerEnvironment {
    std::function<int()> todayDayOfMonth;      // local date's day of month
    Text markerFilePath;                       // the start-up marker file ("" = skip)
    int timeoutSeconds = 0;                    // per fetch phase; 0 = the engine's default
    std::string dataDirectory {};              // workbooks, the ledger, the estimate log ("" = workbooks
                                               // in the current directory, no ledger, no errors known)
    bool demo = false;                         // on the built-in sample service
    std::function<std::time_t()> clock {};     // the ledger's now (none: the system's)
};

class MainController {
public:
    MainController(MainModels& models, ConfigFile& config, ControllerEnvironment env);
    virtual ~MainController() = default; // handlers are virtual: window tests record them

    MainModels& models() { return m_models; }
    FeatureContext& context() { return m_context; }
    ConfigFile& config() { return m_config; }
    // Where 配置.ini and the databases live; "" when there is none to use.
    const std::string& dataDirectory() const { return m_env.dataDirectory; }
    FundLists& fundLists() { return m_fundLists; }
    SectorChooser& sectors() { return m_sectors; }
    FundDetails& details() { return m_details; }
    Watchlist& watchlist() { return m_watchlist; }
    FundSearch& search() { return m_search; }
    ComparisonChart& chart() { return m_chart; }
    StepSubmission& steps() { return m_steps; }
    FullList& fullList() { return m_fullList; }
    WorkbookExport& workbookExport() { return m_export; }
    ledger::LedgerBook& ledger() { return m_ledger; }
    EstimateRecorder& estimateRecorder() { return m_estimateRecorder; }

    // --- window
    virtual void onCreated();            // the start-up sequence
    virtual void onClosing();            // ends every transfer; the app then quits
    // The window's timer, every kEstimateRecordTickMs: the day's estimates
    // logged once, in the minutes before the close.
    virtual void onEstimateRecordTick();
    static constexpr int kEstimateRecordTickMs = 30 * 1000;

    // --- grids
    virtual void onFundGridHeaderClicked(int row, int column);   // sortByColumn
    virtual void onFundGridCellPicked(int row, int column);      // SelectedFundRefresh
    virtual void onHoldingsGridCellPicked(int grid, int row, int column); // grid 3 or 4: stock page
    virtual void onHoldingsGridRightButton(int grid);            // remembers which grid opened 菜单2

    // --- lists and search
    virtual void onWatchlistItem();
    virtual void onSearchFocused();
    virtual void onSearchChanged(std::string_view gbkText);
    virtual void onSuggestionDoubleClicked();

    // --- menus
    virtual void onMenuAddComparison();      // 菜单 加入对比
    virtual void onMenuAddWatchFund();       // 菜单 加入自选基金
    virtual void onMenuRemoveComparison();   // 菜单1 删除对比
    virtual void onMenuAddWatchStock();      // 菜单2 加入自选股票
    virtual void onMenuRemoveWatch();        // 菜单3 删除自选

    // --- buttons and options
    virtual void onFiveStarClicked();
    virtual void onSectorButtonClicked();    // asks for the sector window
    virtual void onSectorButtonHover();
    virtual void onStepButtonClicked();      // asks for the modal step window
    virtual void onStepWindowClosed();       // after the modal step window has closed
    virtual void onExportClicked();
    virtual void onEscapePressed();          // stops the whole-market load
    virtual void onBoardClicked(int board);  // 1..4: 单选框1..单选框4
    virtual void onLoadAllClicked(bool checkedAfterClick);
    virtual void onLoadAllHover();
    virtual void onAutostartClicked(bool checkedAfterClick);
    virtual void onChartPeriodClicked(int button); // 1..7: 按钮1..按钮7
    virtual void onChartMouseMoved(int x, int y);
    virtual void onClosePicturePressed();

    // --- sector window
    virtual void onSectorWindowCreated();
    virtual void onSectorPeriodClicked(int button); // 1..4: 按钮1..按钮4 of the sector window
    virtual void onSectorTileClicked(int tile);     // 0-based, in creation order
    virtual void onSectorWindowDestroyed();

    // --- step window
    virtual void onStepWindowCreated();      // fills its edit boxes from the settings
    virtual void onStepSaveClicked();        // 保存配置
    virtual void onStepUsageHover();         // the usage tooltip over 使用方法

private:
    void writeMarkerFile();

    MainModels& m_models;
    ConfigFile& m_config;
    ControllerEnvironment m_env;
    FeatureContext m_context;
    FundLists m_fundLists;
    SectorChooser m_sectors;
    FundDetails m_details;
    Watchlist m_watchlist;
    FundSearch m_search;
    ComparisonChart m_chart;
    StepSubmission m_steps;
    WorkbookExport m_export;
    FullList m_fullList;
    ledger::LedgerBook m_ledger; // fundwatch.db beside the settings
    EstimateRecorder m_estimateRecorder; // after the ledger: it logs into the ledger's database
};

} // namespace fw
