#include "store/AppPaths.h"
#include "app/MainController.h"
#include "tests/store/TempDir.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace fw;
using fw::test::readBytes;
using fw::test::writeBytes;

namespace {

class StartupTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string configPath = dir.file("配置.ini");
    std::string markerPath = dir.file("share/fundwatch/记录.txt");
    ConfigFile config{configPath};
    MainModels models;
    int today = 7;
    std::unique_ptr<MainController> controller;

    void SetUp() override
    {
        controller = std::make_unique<MainController>(
            models, config, ControllerEnvironment{[this] { return today; }, markerPath});
    }

    void writeConfig(const std::string& utf8) { writeBytes(configPath, gbk(utf8)); }
    int checkedBoard() const
    {
        int found = 0;
        for (int n = 1; n <= 4; ++n)
            if (models.view.isChecked(boardControl(n)))
                found = found ? -1 : n;
        return found;
    }
};

TEST_F(StartupTest, FirstRunWritesOnlyTheLoadAllSetting)
{
    controller->onCreated();
    EXPECT_TRUE(controller->fundLists().sectorListMode);
    EXPECT_EQ(readBytes(configPath), gbk("[加载数据]\r\n是否全部加载=假\r\n"));
    EXPECT_FALSE(models.view.isChecked(Control::LoadAllBox));
    EXPECT_FALSE(models.view.isChecked(Control::AutostartBox));
    EXPECT_EQ(checkedBoard(), 0);
    EXPECT_EQ(models.watchlist.rowCount(), 0);
    EXPECT_EQ(models.view.caption(Control::Status), ""); // no step submission
    EXPECT_EQ(readBytes(markerPath), gbk("10月30日0"));
}

TEST_F(StartupTest, StoredSettingsSelectBoxesWithoutRewritingTheFile)
{
    const std::string stored = gbk("[加载数据]\r\n是否全部加载=真\r\n[开机自启]\r\n自启=真\r\n");
    writeBytes(configPath, stored);
    controller->onCreated();
    EXPECT_TRUE(models.view.isChecked(Control::LoadAllBox));
    EXPECT_TRUE(models.view.isChecked(Control::AutostartBox));
    EXPECT_EQ(readBytes(configPath), stored);

    writeConfig("[加载数据]\r\n是否全部加载=真 \r\n[开机自启]\r\n自启=1\r\n");
    MainModels fresh;
    MainController again(fresh, config, ControllerEnvironment{[] { return 1; }, ""});
    again.onCreated();
    EXPECT_TRUE(fresh.view.isChecked(Control::LoadAllBox)); // the value is trimmed
    EXPECT_FALSE(fresh.view.isChecked(Control::AutostartBox)); // only "真" is true
}

TEST_F(StartupTest, OnlyTheFourExactBoardCodesSelectABoard)
{
    // The saved board is loaded from the service before the user acts.
    sample::SampleOptions options;
    options.funds = 300;
    sample::SampleService service(options);
    ASSERT_GT(service.start(), 0);
    setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
    struct Case { std::string code; int board; const char* order; const char* title; };
    const Case cases[] = {
        {"1000", 1, "sc=r&st=desc", "昨日涨幅榜"}, {"0100", 2, "sc=1y&st=desc", "本月涨幅榜"},
        {"0010", 3, "sc=r&st=asc", "昨日跌幅榜"},  {"0001", 4, "sc=1y&st=asc", "本月跌幅榜"},
        {"10000", 0, "", ""}, {"1", 0, "", ""}, {"", 0, "", ""}, {"0000", 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("code " + c.code);
        service.clearLog();
        writeConfig("[启动加载数据]\r\n加载=" + c.code + "\r\n");
        MainModels fresh;
        MainController controller(fresh, config, ControllerEnvironment{[] { return 1; }, ""});
        controller.onCreated();
        int selected = 0;
        for (int n = 1; n <= 4; ++n)
            if (fresh.view.isChecked(boardControl(n)))
                selected = selected ? -1 : n;
        EXPECT_EQ(selected, c.board);
        EXPECT_EQ(config.read(gbk("启动加载数据"), gbk("加载")), c.code);
        const auto requests = service.requests();
        if (c.board == 0) {
            EXPECT_TRUE(requests.empty());
            EXPECT_EQ(fresh.fundGrid.cell(1, 1), "");
            continue;
        }
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_NE(requests[0].target.find(std::string("&") + c.order + "&pi=1&"), std::string::npos);
        EXPECT_NE(fresh.fundGrid.cell(20, 1), "");
        EXPECT_EQ(fresh.view.title(), gbk(c.title));
    }
    setServiceHosts(ServiceHosts::defaults());
}

TEST_F(StartupTest, TheDemoOpensOnYesterdaysGainersWhenNoBoardIsSaved)
{
    sample::SampleOptions options;
    options.funds = 300;
    sample::SampleService service(options);
    ASSERT_GT(service.start(), 0);
    setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
    // stored: the whole file before start ("-": no file, a first run).
    // board: the radio box checked afterwards (0: none, and no request).
    struct Case { const char* stored; bool demo; int board; };
    const Case cases[] = {
        {"-", true, 1},
        {"-", false, 0},
        {"[启动加载数据]\r\n加载=\r\n", true, 1},
        {"[启动加载数据]\r\n加载=  \r\n", true, 1},
        {"[加载数据]\r\n是否全部加载=假\r\n", true, 1},
        {"[启动加载数据]\r\n加载=\r\n", false, 0},
        {"[启动加载数据]\r\n加载=0100\r\n", true, 2}, // the user's own choice holds
        {"[启动加载数据]\r\n加载=0000\r\n", true, 0}, // a value, though no board's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + (c.demo ? " demo" : ""));
        std::filesystem::remove(configPath);
        if (std::string(c.stored) != "-")
            writeConfig(c.stored);
        service.clearLog();
        MainModels fresh;
        ControllerEnvironment env{[] { return 1; }, ""};
        env.demo = c.demo;
        MainController controller(fresh, config, env);
        controller.onCreated();
        const std::string after = readBytes(configPath);
        int selected = 0;
        for (int n = 1; n <= 4; ++n)
            if (fresh.view.isChecked(boardControl(n)))
                selected = selected ? -1 : n;
        EXPECT_EQ(selected, c.board);
        if (c.board == 0) {
            EXPECT_TRUE(service.requests().empty());
            continue;
        }
        EXPECT_EQ(service.requests().size(), 1u);
        EXPECT_NE(fresh.fundGrid.cell(20, 1), "");
        EXPECT_EQ(fresh.view.title(), gbk(c.board == 1 ? "昨日涨幅榜" : "本月涨幅榜"));
        // Nothing about the board is written on the demo's behalf.
        const std::string expected = std::string(c.stored) == "-" ? gbk("[加载数据]\r\n是否全部加载=假\r\n")
                                                                  : gbk(c.stored);
        EXPECT_EQ(after, expected);
    }
    setServiceHosts(ServiceHosts::defaults());
}

TEST_F(StartupTest, WatchlistRowsAreNumberedInStoredOrder)
{
    // Entries without code, name and type are skipped (the last one is what a
    // value cut at the read limit leaves behind); fields after the third are ignored.
    writeConfig("[自选数据]\r\n自选=000001/华夏成长/基金|bad/entry||600519/贵州茅台/股票/x|000002/华夏\r\n");
    controller->onCreated();
    ASSERT_EQ(models.watchlist.rowCount(), 2);
    EXPECT_EQ(models.watchlist.rows()[0], (TextList{"1", "000001", gbk("华夏成长"), gbk("基金")}));
    EXPECT_EQ(models.watchlist.rows()[1], (TextList{"2", "600519", gbk("贵州茅台"), gbk("股票")}));
}

TEST_F(StartupTest, MarkerFileIsWrittenOnceAndNeverOverwritten)
{
    controller->onCreated();
    const Text expected = gbk("10月30日0");
    EXPECT_EQ(readBytes(markerPath), expected);
    writeBytes(markerPath, "changed by hand");
    controller->onCreated();
    EXPECT_EQ(readBytes(markerPath), "changed by hand");

    // A marker that cannot be written is not reported, and start-up goes on.
    writeBytes(dir.file("blocker"), "x");
    writeConfig("[自选数据]\r\n自选=000001/华夏成长/基金|\r\n");
    MainModels fresh;
    MainController c(fresh, config, ControllerEnvironment{[] { return 1; }, dir.file("blocker/sub/记录.txt")});
    c.onCreated();
    EXPECT_EQ(readBytes(dir.file("blocker")), "x");
    EXPECT_FALSE(std::filesystem::exists(dir.file("blocker/sub")));
    EXPECT_TRUE(fresh.view.messages().empty());
    EXPECT_EQ(fresh.watchlist.rowCount(), 1);

    // Started without standard input, the marker may take descriptor 0.
    const std::string late = dir.file("late/记录.txt");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(0);
        MainModels childModels;
        MainController cc(childModels, config, ControllerEnvironment{[] { return 1; }, late});
        cc.onCreated();
        ::_exit(readBytes(late) == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(StartupTest, ShellHandlers)
{
    controller->onCreated();
    View& view = models.view;

    view.setEditText(Control::SearchBox, "000001"); // any text, not only the hint
    controller->onSearchFocused();
    EXPECT_EQ(view.editText(Control::SearchBox), "");
    EXPECT_EQ(view.textColour(Control::SearchBox), 0u);

    controller->onLoadAllClicked(true);
    EXPECT_EQ(config.read(gbk("加载数据"), gbk("是否全部加载")), gbk("真"));
    controller->onLoadAllClicked(false);
    EXPECT_EQ(config.read(gbk("加载数据"), gbk("是否全部加载")), gbk("假"));

    controller->onBoardClicked(3);
    EXPECT_EQ(config.read(gbk("启动加载数据"), gbk("加载")), "0010");
    EXPECT_EQ(checkedBoard(), 3);
    controller->onBoardClicked(2);
    EXPECT_EQ(checkedBoard(), 2);

    view.openStockPage("http://example.invalid/");
    view.setVisible(Control::StockFrame, true);
    controller->onClosePicturePressed();
    EXPECT_EQ(view.stockPageUrl(), "");
    EXPECT_FALSE(view.isVisible(Control::StockFrame));
    EXPECT_FALSE(view.isVisible(Control::StockBrowser));

    controller->onClosing();
    EXPECT_TRUE(transfersAborted());
    resetTransferAbort();
}

TEST_F(StartupTest, ASettingThatCannotBeSavedIsToldOncePerRun)
{
    writeConfig("[加载数据]\r\n是否全部加载=假\r\n");
    std::filesystem::permissions(configPath, std::filesystem::perms::owner_read);
    controller->onLoadAllClicked(true);
    controller->onLoadAllClicked(false);
    EXPECT_EQ(readBytes(configPath), gbk("[加载数据]\r\n是否全部加载=假\r\n"));
    const std::vector<Text> messages = models.view.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], gbk("配置文件无法保存，更改不会保留"));
    EXPECT_FALSE(models.view.isChecked(Control::LoadAllBox)); // the box keeps what the user gave it
}

TEST(AppPathsTest, InstalledProgramFoldersAreNeverTheDataDirectory)
{
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin", "/sbin", "/opt/fundwatch/bin", "/snap/bin"})
        EXPECT_TRUE(isSystemProgramDirectory(dir)) << dir;
    for (const char* dir : {"/home/user/fundwatch/build/bin", "/tmp/x", "/work/main/build-test/bin", "/binary", "/usrx"})
        EXPECT_FALSE(isSystemProgramDirectory(dir)) << dir;
}

TEST(AppPathsTest, OverrideAndXdgDirectories)
{
    test::TempDir dir;
    const std::string over = dir.file("a/b");
    EXPECT_EQ(dataDirectory(over), over); // created on the way
    EXPECT_TRUE(std::filesystem::is_directory(over));
    EXPECT_TRUE(std::filesystem::exists(executableDirectory() + "/test_app"));

    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(markerFilePath(), dir.path() + "/fundwatch/记录.txt");
    setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(markerFilePath().find("relative"), std::string::npos);
    old ? setenv("XDG_DATA_HOME", saved.c_str(), 1) : unsetenv("XDG_DATA_HOME");
}

} // namespace
