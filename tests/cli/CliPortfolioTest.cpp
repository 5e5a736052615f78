// portfolio on the command line: set / remove / export / import change the
// stored holdings, the table and JSON show the window's figures.
#include "funds/Portfolio.h"
#include "tests/cli/CliTestSupport.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fw {
namespace {

TEST(CliPortfolio, SetShowRemoveAndTheCsvFiles)
{
    test::CliWorld world;
    // The sample market's first two funds and their last unit values.
    const sample::Fund& a = world.market().funds()[0];
    const sample::Fund& b = world.market().funds()[1];
    ASSERT_EQ(a.code + " " + std::to_string(a.navTenThousandths), "000001 9121");  // 0.9121
    ASSERT_EQ(b.code + " " + std::to_string(b.navTenThousandths), "000091 41741"); // 4.1741

    EXPECT_EQ(world.run({"portfolio", "set", a.code, "--shares", "100", "--cost", "1"}).status, 0);
    // The amount held becomes shares at the last unit value.
    EXPECT_EQ(world.run({"portfolio", "set", b.code, "--amount", "1000", "--cost", "2"}).status, 0);
    test::CliRun bad = world.run({"portfolio", "set", a.code, "--shares", "1.234", "--cost", "1"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("份额"), std::string::npos);

    test::CliRun shown = world.run({"portfolio", "--json"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.err, "");
    const auto doc = shown.json();
    ASSERT_EQ(doc["funds"].size(), 2u);
    EXPECT_EQ(doc["funds"][0]["name"], a.name);
    // A: 100 shares at 0.9121 = 91.21, cost 100, profit -8.79, rate -8.79%.
    // B: 1000 / 4.1741 = 239.5726… → 239.57 shares; 239.57 × 4.1741 = 999.989137,
    //    cost 239.57 × 2 = 479.14, profit 239.57 × 2.1741 = 520.849137, rate 2.1741 / 2 = 108.705 → 108.71%.
    // Totals: 1091.199137 → 1091.20; profit 512.059137 → 512.06;
    //    rate 512.059137 / 579.14 = 0.884171… → 88.42%.
    const struct {
        const char* key;
        double a, b, total;
    } figures[] = {{"amount", 91.21, 999.99, 1091.20}, {"profit", -8.79, 520.85, 512.06}, {"profitRate", -8.79, 108.71, 88.42}};
    EXPECT_EQ(doc["funds"][1]["shares"].get<double>(), 239.57);
    for (const auto& f : figures) {
        EXPECT_DOUBLE_EQ(doc["funds"][0][f.key].get<double>(), f.a) << f.key;
        EXPECT_DOUBLE_EQ(doc["funds"][1][f.key].get<double>(), f.b) << f.key;
        EXPECT_DOUBLE_EQ(doc["totals"][f.key].get<double>(), f.total) << f.key;
    }
    EXPECT_EQ(doc["totals"]["funds"], 2);
    EXPECT_EQ(doc["totals"]["valuedFunds"], 2);

    const std::string csv = world.dir.file("h.csv");
    EXPECT_EQ(world.run({"portfolio", "export", csv}).status, 0);
    EXPECT_EQ(world.run({"portfolio", "remove", a.code}).status, 0);
    EXPECT_EQ(world.run({"portfolio", "remove", a.code}).status, 1);
    EXPECT_EQ(world.run({"portfolio", "import", csv}).status, 0);
    EXPECT_EQ(world.run({"portfolio", "--json"}).json()["funds"].size(), 2u);

    // Usage errors before anything runs.
    EXPECT_EQ(world.run({"portfolio", "set", a.code, "--shares", "1"}).status, 2);
    EXPECT_EQ(world.run({"portfolio", "drop", a.code}).status, 2);
    EXPECT_EQ(world.run({"portfolio", "remove", "12345"}).status, 2);
}

TEST(CliPortfolio, ProfitCellsAreColouredOnATerminal)
{
    test::CliWorld world;
    const sample::Fund& gain = world.market().funds()[0];
    const sample::Fund& loss = world.market().funds()[1];
    ASSERT_EQ(world.run({"portfolio", "set", gain.code, "--shares", "100", "--cost", "0.0001"}).status, 0);
    ASSERT_EQ(world.run({"portfolio", "set", loss.code, "--shares", "100", "--cost", "9999"}).status, 0);

    const auto piped = world.run({"portfolio"}).lines();
    const auto table = world.run({"portfolio"}, test::Shown::Coloured).lines();
    ASSERT_EQ(piped.size(), 4u); // header, two funds, totals
    ASSERT_EQ(table.size(), 5u); // a title line first
    // 持有收益 and 持有收益率: red for a gain, green for a loss; name, code,
    // shares, cost, value and amount stay plain.
    for (const auto& [line, ansi] : {std::pair {size_t(1), "\x1b[31m"}, {size_t(2), "\x1b[32m"}}) {
        const auto fields = test::fields(piped[line]);
        const std::string& shown = table[line + 1];
        ASSERT_GE(fields.size(), 8u);
        for (size_t c : {size_t(6), size_t(7)})
            EXPECT_NE(shown.find(ansi + fields[c] + "\x1b[0m"), std::string::npos) << shown;
        EXPECT_EQ(shown.substr(0, shown.find(ansi)).find('\x1b'), std::string::npos) << shown;
    }
}


// Files may grow to `bytes` at most for the scope: as root, where permission
// bits stop no write, this is how a full disk is had.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit small = m_old;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old {};
    void (*m_handler)(int);
};

// A change of the holdings fails, saying why, when 配置.ini cannot be
// written: a folder in its place, or no room for it. (The other commands
// change no setting; the check after each command covers any that will.)
TEST(CliPortfolio, AChangeThatWasNotSavedExitsWithOne)
{
    test::CliWorld world;
    const std::string a = world.market().funds()[0].code, b = world.market().funds()[1].code;
    const std::string csv = world.dir.file("h.csv");
    test::writeBytes(csv, "基金代码,份额,成本价\n" + b + ",5,2\n");
    const std::string config = world.dir.file("配置.ini");

    const struct Case {
        const char* what;
        bool folderInItsPlace; // else: no room to write it
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {"set, folder", true, {"portfolio", "set", a, "--shares", "100", "--cost", "1"}, "Is a directory"},
        {"import, folder", true, {"portfolio", "import", csv}, "Is a directory"},
        {"set, full", false, {"portfolio", "set", b, "--shares", "100", "--cost", "1"}, "File too large"},
        {"remove, full", false, {"portfolio", "remove", a}, "File too large"},
        {"import, full", false, {"portfolio", "import", csv}, "File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(config);
        test::CliRun run;
        if (c.folderInItsPlace) {
            ASSERT_EQ(::mkdir(config.c_str(), 0700), 0);
            run = world.run(c.args);
        } else {
            ASSERT_EQ(world.run({"portfolio", "set", a, "--shares", "1", "--cost", "1"}).status, 0);
            ASSERT_EQ(world.run({"portfolio", "set", "000002", "--shares", "1", "--cost", "1"}).status, 0);
            const std::string before = test::readBytes(config);
            {
                FileSizeLimit limit(8);
                run = world.run(c.args);
            }
            EXPECT_EQ(test::readBytes(config), before);
        }
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find(std::string("fundwatch-cli: 配置文件无法保存：") + c.why), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    std::filesystem::remove_all(config);
}

// A data directory that cannot be used is a mistake of the command line: the
// settings never go to some other folder instead.
TEST(CliPortfolio, ADataDirectoryThatCannotBeUsedExitsWithTwo)
{
    test::CliWorld world;
    const std::string plain = world.dir.file("plain");
    test::writeBytes(plain, "a file, not a folder");
    const bool strayBefore = std::filesystem::exists("配置.ini");
    for (const std::string& dir : {plain, plain + "/sub"}) {
        SCOPED_TRACE(dir);
        const test::CliRun run = world.run({"portfolio", "set", "000001", "--shares", "1", "--cost", "1"},
                                           test::Shown::Piped, dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "fundwatch-cli: 数据目录无法使用：" + dir + "\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(test::readBytes(plain), "a file, not a folder");
    EXPECT_EQ(std::filesystem::exists("配置.ini"), strayBefore);
}

// An outage is no portfolio worth 0: without any unit value the totals are
// no figures and the command fails; with some, they cover those and say so.
TEST(CliPortfolio, TotalsOnlyOverTheFundsThatCouldBeValued)
{
    test::CliWorld world;
    const sample::Fund& a = world.market().funds()[0];
    const sample::Fund& b = world.market().funds()[1];
    // Nothing held is no outage: totals of nothing are 0.
    const test::CliRun empty = world.run({"portfolio", "--json"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "");
    EXPECT_EQ(empty.json()["totals"]["amount"], 0.0);
    ASSERT_EQ(world.run({"portfolio", "set", a.code, "--shares", "100", "--cost", "1"}).status, 0);
    ASSERT_EQ(world.run({"portfolio", "set", b.code, "--shares", "200", "--cost", "1"}).status, 0);

    // No fund page at all.
    world.service->addFault(sample::Fault(sample::Fault::HttpError, ".html", 404));
    test::CliRun none = world.run({"portfolio", "--json"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "fundwatch-cli: 无法取得任何持仓基金的净值\n");
    auto totals = none.json()["totals"];
    for (const char* key : {"amount", "profit", "profitRate", "todayProfit"})
        EXPECT_TRUE(totals[key].is_null()) << key;
    EXPECT_EQ(totals["valuedFunds"], 0);
    EXPECT_EQ(totals["funds"], 2);
    none = world.run({"portfolio"});
    EXPECT_EQ(none.status, 1);
    const auto lines = none.lines();
    ASSERT_EQ(lines.size(), 4u);
    const auto total = test::fields(lines[3]);
    ASSERT_EQ(total.size(), 10u);
    for (size_t c : {size_t(5), size_t(6), size_t(7), size_t(9)})
        EXPECT_EQ(total[c], "--") << c;

    // Only the second fund's page fails.
    world.service->clearFaults();
    world.service->addFault(sample::Fault(sample::Fault::HttpError, "/" + b.code + ".html", 404));
    const test::CliRun some = world.run({"portfolio", "--json"});
    EXPECT_EQ(some.status, 0);
    EXPECT_EQ(some.err, "fundwatch-cli: 部分持仓基金无法取得净值，合计仅含其中 1/2 只\n");
    totals = some.json()["totals"];
    EXPECT_EQ(totals["valuedFunds"], 1);
    EXPECT_EQ(totals["amount"], some.json()["funds"][0]["amount"]);
    EXPECT_EQ(test::fields(world.run({"portfolio"}).lines()[3])[4], "净值覆盖 1/2 只");
}

// A [持仓] line that fails the checks stays in the file through a change and
// is reported on standard error once per command.
TEST(CliPortfolio, ABadStoredLineIsKeptAndReported)
{
    test::CliWorld world;
    test::writeBytes(world.dir.file("配置.ini"), gbk("[持仓]\r\n000001=abc|1\r\n"));
    const test::CliRun set = world.run({"portfolio", "set", "000002", "--shares", "1", "--cost", "1"});
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.err, "fundwatch-cli: [持仓] 中无法读取的行已原样保留：000001=abc|1\n");
    EXPECT_EQ(test::readBytes(world.dir.file("配置.ini")), gbk("[持仓]\r\n000001=abc|1\r\n000002=1|1\r\n"));
}

} // namespace
} // namespace fw
