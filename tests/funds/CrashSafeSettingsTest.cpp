// A writer killed at any moment leaves 配置.ini whole: the watchlist and every
// setting read back as they were before its last save or as they were after
// it, never a mixture, never nothing; and whatever the killed writer left
// behind (a temporary file, a lock) never stops the next start.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "funds/FeatureContext.h"
#include "funds/Watchlist.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <csignal>
#include <dirent.h>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fw {
namespace {

constexpr int kKills = 240;
constexpr int kListed = 40;

Text fundCode(int i)
{
    char code[8];
    std::snprintf(code, sizeof code, "%06d", 100 + i);
    return code;
}

// The list before and after the writer's add: kListed funds, then one more.
Text storedList(int funds)
{
    Text out;
    for (int i = 0; i < funds; ++i)
        out += fundCode(i) + "/" + gbk("基金") + fundCode(i) + "/" + gbk("基金") + "|";
    return out;
}

// The writer: adds a fund to the watchlist or takes it off again (a killed
// writer may have left either list), storing a counter setting after each
// change, until it is killed.
[[noreturn]] void runWriter(const std::string& path)
{
    ConfigFile config(path);
    MainModels models;
    FeatureContext context(models, config, 2);
    Watchlist watchlist(context);
    watchlist.load();
    for (unsigned long n = 1;; ++n) {
        if (models.watchlist.rowCount() > kListed) {
            models.watchlist.setCurrentRow(models.watchlist.rowCount() - 1);
            watchlist.remove();
        } else {
            models.fundGrid.setCell(1, 0, gbk("基金") + fundCode(kListed));
            models.fundGrid.setCell(1, 1, fundCode(kListed));
            models.fundGrid.setCursorRow(1);
            watchlist.addFund();
        }
        context.saveSetting(gbk("加载数据"), gbk("计数"), std::to_string(n));
    }
}

// Every line of the file is a section header, a key=value line or empty,
// each section comes once, and every line ends in CR LF.
::testing::AssertionResult wellFormed(const std::string& bytes)
{
    if (bytes.empty())
        return ::testing::AssertionFailure() << "the file is empty";
    if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0)
        return ::testing::AssertionFailure() << "the last line is unfinished";
    std::set<std::string> sections;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos)
            return ::testing::AssertionFailure() << "a line without CR LF at " << at;
        std::string line = bytes.substr(at, end - at);
        at = end + 2;
        if (line.empty())
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || !sections.insert(line).second)
                return ::testing::AssertionFailure() << "bad or repeated section line " << line;
        } else if (line.find('=') == std::string::npos || line.find('\n') != std::string::npos) {
            return ::testing::AssertionFailure() << "bad line " << line;
        }
    }
    return ::testing::AssertionSuccess();
}

int leftoverFiles(const std::string& dir, const std::string& keep, bool report = true)
{
    int count = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != ".." && name != keep) {
                ++count;
                if (report)
                    ADD_FAILURE() << "left beside the settings: " << name;
            }
        }
        ::closedir(d);
    }
    return count;
}

TEST(CrashSafeSettings, KilledWriterLeavesTheOldOrTheNewWatchlist)
{
    test::TempDir dir;
    const std::string path = dir.file("配置.ini");
    {
        ConfigFile config(path);
        ASSERT_TRUE(config.write(gbk("自选数据"), gbk("自选"), storedList(kListed)));
        ASSERT_TRUE(config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("真")));
    }
    const Text before = storedList(kListed);
    const Text after = storedList(kListed + 1);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    unsigned long lastCount = 0;
    int newSeen = 0;
    int copiesLeft = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            runWriter(path);
        ::usleep(useconds_t(delayUs(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own at kill " << kill;

        const std::string bytes = test::readBytes(path);
        ASSERT_TRUE(wellFormed(bytes)) << "after kill " << kill;
        ConfigFile config(path);
        const Text list = config.readWhole(gbk("自选数据"), gbk("自选"));
        ASSERT_TRUE(list == before || list == after) << "after kill " << kill << ": " << list.size() << " bytes";
        newSeen += list == after;
        copiesLeft += leftoverFiles(dir.path(), "配置.ini", false);
        EXPECT_EQ(config.read(gbk("加载数据"), gbk("是否全部加载")), gbk("真")) << "after kill " << kill;
        // The counter restarts with every writer; it is a whole number, never cut.
        const Text count = config.read(gbk("加载数据"), gbk("计数"));
        if (!count.empty()) {
            ASSERT_EQ(count.find_first_not_of("0123456789"), Text::npos) << count;
            lastCount = std::stoul(count);
        }
    }
    // The kills landed both between saves and in the middle of the loop.
    EXPECT_GT(newSeen, 0);
    EXPECT_GT(lastCount, 0u);
    std::printf("%d kills: %d left the list before the add, %d after it; %d left a copy behind\n", kKills,
                kKills - newSeen, newSeen, copiesLeft);

    // The next start: loads the list, saves at once, and finds no file of the
    // killed writers left beside the settings.
    ConfigFile config(path);
    MainModels models;
    FeatureContext context(models, config, 2);
    Watchlist watchlist(context);
    watchlist.load();
    EXPECT_GE(models.watchlist.rowCount(), kListed);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(watchlist.save());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(leftoverFiles(dir.path(), "配置.ini"), 0);
}

} // namespace
} // namespace fw
