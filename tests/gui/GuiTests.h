#pragma once
#include <QObject>


// The Qt models over Grid and ListModel, driven from worker threads.
class ModelBindingTest : public QObject {
    Q_OBJECT
private slots:
    void workerWritesReachTheView();
    void manyWritesCoalesceIntoOneNotification();
    void rowCountChangesFollowTheGrid();
    void listModelFollowsItsListAndSelection();
};

// The main window: designed controls, bindings to the View and event routing.
class MainWindowTest : public QObject {
    Q_OBJECT
    struct Fixture;
    Fixture* f = nullptr;
private slots:
    void init();
    void cleanup();

    void controlsHaveTheirDesignedKindCaptionAndPlace_data();
    void controlsHaveTheirDesignedKindCaptionAndPlace();
    void clientAreaIsFixed();
    void demoMarkIsShownOutsideTheTitle();
    void gridsShowDesignedHeadersAndWidths();
    void listViewsHaveTheirColumns();
    void menusHoldTheirItems();
    void radioBoxesFormOneGroup();

    void focusingTheSearchBoxEmptiesItAndTurnsItBlack();
    void clickingLoadAllWritesTheSetting();
    void gridCursorFollowsClicksNotRightPresses();
    void watchlistSelectionFollowsClicksAndRightPresses();
    void hoverShowsTheTooltip();
    void viewChangesFromAWorkerReachTheControls();
    void messageFromAWorkerIsShownOnTheUiThread();
    void stockPageOpensAndCloses();
    void closingEndsEveryTransfer();
};

// The fund lists through the window, against the sample service.
class FundListsWindowTest : public QObject {
    Q_OBJECT
    struct Fixture;
    Fixture* f = nullptr;
private slots:
    void init();
    void cleanup();
    void fiveStarButtonFillsAndColoursTheGrid();
    void sectorWindowTilesLoadASector();
    void searchSuggestsAndAPickShowsTheFund();
    void pickingAFundShowsItsHoldingsEstimate();
    void stockPageOverlayOpensAndClosesOnAFailingPage();
    void theGridIsTheSameUnderACommaDecimalLocale();
};

// The stock page overlay against hostile pages: only the user's click opens
// the user's browser.
class StockPageWindowTest : public QObject {
    Q_OBJECT
    struct Fixture;
    Fixture* f = nullptr;
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void nothingButAClickLeavesTheHost_data();
    void nothingButAClickLeavesTheHost();
    void aClickedLinkOpensTheBrowser_data();
    void aClickedLinkOpensTheBrowser();
    void closingEndsThePagesScripts();
};

// Which controller handler each event of the main window reaches.
class RoutingTest : public QObject {
    Q_OBJECT
    struct Fixture;
    Fixture* f = nullptr;
private slots:
    void init();
    void cleanup();

    void gridClicksPickCells_data();
    void gridClicksPickCells();
    void rightPressesPopTheirMenus_data();
    void rightPressesPopTheirMenus();
    void listClicksReachTheirHandlers_data();
    void listClicksReachTheirHandlers();
    void buttonClicksReachTheirHandlers_data();
    void buttonClicksReachTheirHandlers();
    void menuItemsReachTheirHandlers_data();
    void menuItemsReachTheirHandlers();
    void pointerMovesReachTheHoverHandlers_data();
    void pointerMovesReachTheHoverHandlers();
    void searchBoxReportsFocusAndEveryChange();
    void focusAlonePicksNoGridRow();
};

// The comparison chart through the window, against the sample service.
class ChartWindowTest : public QObject {
    Q_OBJECT
    struct Fixture;
    Fixture* f = nullptr;
private slots:
    void init();
    void cleanup();
    void pickingAFundDrawsItsChartAndHoldings();
    void pointerOverTheChartTitleKeepsTheReadOut();
};

// The step window opened by 刷步, against the sample step service.
class StepWindowTest : public QObject {
    Q_OBJECT
    struct Fixture;
    Fixture* f = nullptr;
private slots:
    void init();
    void cleanup();
    void stepButtonOpensAModalWindowThatSavesAndSubmits();
    void aStoredStepCountLongerThanTheBoxIsShownSavedAndSentWhole();
};

// The portfolio window against the sample service.
class PortfolioWindowTest : public QObject {
    Q_OBJECT
private slots:
    void addEditAndTotals();
    void refusedEditNamesTheFieldAndChangesNothing();
    void refreshesByItselfDuringTradingHoursOnly();
    void closingMidRefreshWaitsOnlyForTheRequestsUnderWay();
    void closingDuringAStalledRefreshWaitsForNoWorker();
    void watchlistMenuOpensTheWindowOnTheFund();
};

// The ledger's tabs of the portfolio window against the sample service.
class LedgerWindowTest : public QObject {
    Q_OBJECT
private slots:
    void tabsShowHandWorkedFigures();
    void startUpCarriesHoldingsInAndCellEditsReconcile();
    void databaseThatCannotBeOpenedIsKeptAndACopyRestores();
    void onlyTheNewestRefreshIsShown();
    void tradeFormRefusesEachBadFieldAndBooksNothing();
    void aPlanBooksItsDueOrdersOnce();
    void theUserPicksTheBenchmark();
    void accuracyTabShowsTheLoggedErrors();
    void pickedFundShowsTheModelItsLoggedErrorsChose();
    void todayTabDrawsThePortfolioAndAFundWithItsDot();
    void todayTabOfAnEmptyLedgerSaysWhy();
    void todayTabShowsOnlyTheNewestLoadAndClosesDuringAStall();
};
