// portfolio on the command line: set / remove / export / import change the
// stored holdings, the table and JSON show the window's figures.
#include "funds/Portfolio.h"
#include "tests/cli/CliTestSupport.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

TEST(CliPortfolio, SetShowRemoveAndTheCsvFiles)
{
    test::CliWorld world;
    const sample::Fund& a = world.market().funds()[0];
    const sample::Fund& b = world.market().funds()[1];
    const double navA = double(a.navTenThousandths) / 10000.0;
    const double navB = double(b.navTenThousandths) / 10000.0;

    EXPECT_EQ(world.run({"portfolio", "set", a.code, "--shares", "100", "--cost", "1"}).status, 0);
    // The amount held becomes shares at the last unit value.
    EXPECT_EQ(world.run({"portfolio", "set", b.code, "--amount", "1000", "--cost", "2"}).status, 0);
    test::CliRun bad = world.run({"portfolio", "set", a.code, "--shares", "1.234", "--cost", "1"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("份额"), std::string::npos);

    test::CliRun shown = world.run({"portfolio", "--json"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const auto doc = shown.json();
    ASSERT_EQ(doc["funds"].size(), 2u);
    EXPECT_EQ(doc["funds"][0]["name"], a.name);
    const double sharesB = doc["funds"][1]["shares"].get<double>();
    EXPECT_DOUBLE_EQ(sharesB, std::stod(formatMoney(1000 / navB)));
    EXPECT_DOUBLE_EQ(doc["totals"]["amount"].get<double>(), std::stod(formatMoney(100 * navA + sharesB * navB)));
    EXPECT_EQ(doc["totals"]["funds"], 2);

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

} // namespace
} // namespace fw
