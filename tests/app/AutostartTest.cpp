// Start at login: the autostart entry written and removed under a private
// XDG_CONFIG_HOME, its Exec= quoting, and the check box handler.
#include "store/AppPaths.h"
#include "app/Autostart.h"
#include "app/MainController.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fw;
using fw::test::readBytes;

namespace {

class AutostartTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::optional<std::string> savedConfigHome;

    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            savedConfigHome = old;
        ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    }
    void TearDown() override
    {
        if (savedConfigHome)
            ::setenv("XDG_CONFIG_HOME", savedConfigHome->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    std::vector<std::string> autostartFiles() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir.file("config/autostart"), ec))
            names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(AutostartTest, TurnedOnTwiceLeavesOneEntryAndOffRemovesIt)
{
    const std::string program = executablePath();
    ASSERT_EQ(autostartEntryPath(), dir.file("config/autostart/fundwatch.desktop"));
    EXPECT_TRUE(enableStartAtLogin(program));
    EXPECT_TRUE(enableStartAtLogin(program));
    EXPECT_EQ(autostartFiles(), std::vector<std::string>{"fundwatch.desktop"});
    EXPECT_EQ(readBytes(autostartEntryPath()), "[Desktop Entry]\nType=Application\nName=fundwatch\nExec=\"" + program +
                                                   "\"\nTerminal=false\n");

    EXPECT_TRUE(disableStartAtLogin());
    EXPECT_TRUE(autostartFiles().empty());
    EXPECT_FALSE(disableStartAtLogin()); // nothing left to remove

    // A program that is not there, or not named by its absolute path, gets no entry.
    EXPECT_FALSE(enableStartAtLogin(dir.file("gone")));
    EXPECT_FALSE(enableStartAtLogin("fundwatch"));
    EXPECT_FALSE(enableStartAtLogin(dir.path())); // a folder is no program
    EXPECT_TRUE(autostartFiles().empty());
}

TEST_F(AutostartTest, ChildProcessLimitsDecideTheOutcomeAndLeaveNoCopies)
{
    const std::string program = executablePath();
    ASSERT_TRUE(enableStartAtLogin(program)); // makes the folder; the entry goes before each case
    const struct { const char* name; void (*limit)(); bool written; } cases[] = {
        // Files that may not grow past a few bytes: the write fails part way.
        {"file size limit", [] {
             ::signal(SIGXFSZ, SIG_IGN);
             const rlimit small{8, 8};
             ::setrlimit(RLIMIT_FSIZE, &small);
         }, false},
        // Started without standard input, the entry may land on descriptor 0.
        {"no standard input", [] { ::close(0); }, true},
    };
    for (const auto& c : cases) {
        disableStartAtLogin();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            c.limit();
            ::_exit(enableStartAtLogin(program) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << c.name;
        EXPECT_EQ(WEXITSTATUS(status) == 1, c.written) << c.name;
        EXPECT_EQ(autostartFiles(), c.written ? std::vector<std::string>{"fundwatch.desktop"}
                                              : std::vector<std::string>{})
            << c.name;
    }
}

TEST(DesktopExecValue, QuotesThePathByTheDesktopEntryRules)
{
    const struct {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/opt/fundwatch/fundwatch", R"("/opt/fundwatch/fundwatch")"},
        {"/home/me/基金 工具/fw", R"("/home/me/基金 工具/fw")"},
        {"/a$b", R"("/a\\$b")"},
        {"/a\\b", R"("/a\\\\b")"},
        {"/a\"b`c", R"("/a\\"b\\`c")"},
        {"/100%/fw", R"("/100%%/fw")"},
        {"/a\nb", R"("/a\nb")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desktopExecValue(c.path), c.exec) << c.path;
}

TEST_F(AutostartTest, CheckBoxWritesTheSettingWhateverTheOutcome)
{
    ConfigFile config(dir.file("配置.ini"));
    MainModels models;
    MainController controller(models, config, ControllerEnvironment{[] { return 1; }, ""});
    const Text section = gbk("开机自启"), key = gbk("自启");

    controller.onAutostartClicked(true);
    EXPECT_EQ(config.read(section, key), gbk("真"));
    EXPECT_TRUE(models.view.isChecked(Control::AutostartBox));
    EXPECT_EQ(autostartFiles(), std::vector<std::string>{"fundwatch.desktop"});

    controller.onAutostartClicked(false);
    controller.onAutostartClicked(false); // no entry to remove: still written, nothing told
    EXPECT_EQ(config.read(section, key), gbk("假"));
    EXPECT_TRUE(autostartFiles().empty());
    EXPECT_TRUE(models.view.messages().empty());

    // No entry can be written (a file where the directory should be): the
    // setting is still written and the box keeps the user's state.
    std::filesystem::remove_all(dir.file("config"));
    test::writeBytes(dir.file("config"), "x");
    controller.onAutostartClicked(true);
    EXPECT_EQ(readBytes(dir.file("config")), "x");
    EXPECT_EQ(config.read(section, key), gbk("真"));
    EXPECT_TRUE(models.view.isChecked(Control::AutostartBox));
    EXPECT_TRUE(models.view.messages().empty());
}

} // namespace
