// The workbook file: how texts become cells, the layout read back from the
// file, and the file replaced whole or not at all.
#include "export/Workbook.h"
#include "tests/store/TempDir.h"
#include "tests/export/SheetReader.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <sys/wait.h>
#include <random>
#include <csignal>

namespace fw::testing {
namespace {

using test::SheetReader;
using test::TempDir;

// ---- typing

struct TypedCase {
    const char* text;
    CellValue::Kind kind;
    double number;
    int fractionDigits;
};

TEST(CellTyping, TextsBecomeNumbersPercentagesOrStayText)
{
    const TypedCase cases[] = {
        {"000001", CellValue::Number, 1, 0},
        {"12.34", CellValue::Number, 12.34, 2},
        {"-3.5", CellValue::Number, -3.5, 1},
        {"+7", CellValue::Number, 7, 0},
        {"-0.00", CellValue::Number, 0, 2},
        {"12.34%", CellValue::Percent, 0.1234, 2},
        {"-0.5%", CellValue::Percent, -0.005, 1},
        {"5%", CellValue::Percent, 0.05, 0},
        {"", CellValue::Text, 0, 0},
        {"--", CellValue::Text, 0, 0},
        {"---", CellValue::Text, 0, 0},
        {"-", CellValue::Text, 0, 0},
        {"%", CellValue::Text, 0, 0},
        {"-%", CellValue::Text, 0, 0},
        {"2026-12-04", CellValue::Text, 0, 0},
        {"1e5", CellValue::Text, 0, 0},
        {"1.", CellValue::Text, 0, 0},
        {".5", CellValue::Text, 0, 0},
        {"1.2.3", CellValue::Text, 0, 0},
        {" 12", CellValue::Text, 0, 0},
        {"12 %", CellValue::Text, 0, 0},
        {"12%%", CellValue::Text, 0, 0},
        {"+-1", CellValue::Text, 0, 0},
        {"0x10", CellValue::Text, 0, 0},
        {"inf", CellValue::Text, 0, 0},
        {"nan", CellValue::Text, 0, 0},
    };
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(c.text);
        const CellValue v = typeCell(c.text);
        EXPECT_EQ(v.kind, c.kind);
        if (c.kind != CellValue::Text) {
            EXPECT_DOUBLE_EQ(v.number, c.number);
            EXPECT_EQ(v.fractionDigits, c.fractionDigits);
        }
    }
    // GBK text with bytes that look like digits in a trail byte stays text.
    EXPECT_EQ(typeCell(gbk("１２")).kind, CellValue::Text);
    EXPECT_EQ(typeCell(gbk("混合型")).kind, CellValue::Text);
}

// ---- layout read back

SheetCells fundSheet(int dataRows)
{
    SheetCells cells;
    cells.columns = 17;
    TextList header;
    for (const char* h : {"基金名称", "基金代码", "基金类型", "日期", "日增长率", "近1周", "近1月", "近3月", "近6月",
                          "今年来", "近一年", "近2年", "近3年", "规模(亿)", "任期回报", "标准差1年", "夏普比率1年"})
        header.push_back(gbk(h));
    cells.rows.push_back(header);
    for (int r = 1; r <= dataRows; ++r)
        cells.rows.push_back({gbk("华夏成长混合"), "00000" + std::to_string(r % 10), gbk("混合型"), "2026-12-04",
                              "1.25%", "-0.50%", "-", "3%", "12.5%", "0.00%", "", "--", "---", "560.44", "61.84%",
                              "25.88", "2.64"});
    return cells;
}

TEST(WorkbookFile, GridOf21RowsIsAFormattedSheetA1ToQ21)
{
    TempDir dir;
    const std::string path = dir.file("12月4日.xlsx");
    ASSERT_TRUE(writeWorkbook(fundSheet(20), path).ok);
    const SheetReader sheet(path);
    ASSERT_TRUE(sheet.readable);

    EXPECT_EQ(sheet.dimension, "A1:Q21");
    EXPECT_EQ(sheet.cellCount(), 21u * 17u); // every cell of the block, empty ones too (their borders)
    for (int r = 1; r <= 21; ++r) {
        EXPECT_EQ(sheet.rowHeights.at(r), "18") << r;
        for (int c = 1; c <= 17; ++c) {
            const test::SheetCell cell = sheet.cell(r, c);
            SCOPED_TRACE(SheetReader::ref(r, c));
            EXPECT_EQ(cell.bold, r == 1);
            EXPECT_EQ(cell.fontName, "宋体");
            EXPECT_EQ(cell.fontSize, "12");
            EXPECT_TRUE(cell.thinBorders);
            EXPECT_TRUE(cell.centred);
            if (c <= 2) {
                EXPECT_EQ(cell.numberFormat, "000000");
            }
        }
    }
    // Excel stores a width of 25 characters as 25.7109375, 11 as 11.7109375.
    EXPECT_NEAR(sheet.columnWidths.at(1), 25.71, 0.01);
    for (int c = 2; c <= 17; ++c)
        EXPECT_NEAR(sheet.columnWidths.at(c), 11.71, 0.01) << c;
    EXPECT_NE(sheet.pane.find("xSplit=\"1\""), std::string::npos) << sheet.pane;
    EXPECT_NE(sheet.pane.find("ySplit=\"1\""), std::string::npos) << sheet.pane;
    EXPECT_NE(sheet.pane.find("topLeftCell=\"B2\""), std::string::npos) << sheet.pane;
    EXPECT_NE(sheet.pane.find("state=\"frozen\""), std::string::npos) << sheet.pane;

    EXPECT_EQ(sheet.cell("A1").text, "基金名称");
    EXPECT_EQ(sheet.cell("Q1").text, "夏普比率1年");
    EXPECT_TRUE(sheet.cell("Q1").isText);
}

TEST(WorkbookFile, CellsAreNumbersPercentagesOrTextAsTheirTextsSay)
{
    TempDir dir;
    const std::string path = dir.file("out.xlsx");
    ASSERT_TRUE(writeWorkbook(fundSheet(2), path).ok);
    const SheetReader sheet(path);

    struct Expect {
        const char* ref;
        bool isText;
        const char* text;
        const char* format;
    };
    const Expect expected[] = {
        {"A2", true, "华夏成长混合", "000000"},
        {"B2", false, "1", "000000"}, // the code keeps six digits through its format
        {"C2", true, "混合型", "General"},
        {"D2", true, "2026-12-04", "General"},
        {"E2", false, "0.0125", "0.00%"},
        {"F2", false, "-0.005", "0.00%"},
        {"G2", true, "-", "General"},
        {"H2", false, "0.03", "0%"},
        {"I2", false, "0.125", "0.00%"},
        {"J2", false, "0", "0.00%"},
        {"K2", false, "", "General"}, // empty: a blank cell with its borders
        {"L2", true, "--", "General"},
        {"M2", true, "---", "General"},
        {"N2", false, "560.44", "General"},
        {"O2", false, "0.6184", "0.00%"},
        {"Q2", false, "2.64", "General"},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.ref);
        const test::SheetCell cell = sheet.cell(e.ref);
        EXPECT_TRUE(cell.present);
        EXPECT_EQ(cell.isText, e.isText);
        // Numbers are stored with 16 digits: 560.44 reads back as 560.4400000000001.
        if (e.isText || !*e.text)
            EXPECT_EQ(cell.text, e.text);
        else
            EXPECT_DOUBLE_EQ(std::stod(cell.text), std::stod(e.text));
        EXPECT_EQ(cell.numberFormat, e.format);
    }
}

TEST(WorkbookFile, OneColumnKeepsTheWidthOfColumnA)
{
    TempDir dir;
    const std::string path = dir.file("out.xlsx");
    SheetCells one;
    one.columns = 1;
    one.rows = {{"x"}};
    ASSERT_TRUE(writeWorkbook(one, path).ok);
    const SheetReader sheet(path);
    EXPECT_NEAR(sheet.columnWidths.at(1), 25.71, 0.01);
    EXPECT_EQ(sheet.columnWidths.count(2), 0u);
}

TEST(WorkbookFile, OverlongTextIsCutOnACharacterAndControlBytesSurvive)
{
    TempDir dir;
    const std::string path = dir.file("out.xlsx");
    SheetCells cells;
    cells.columns = 2;
    Text longName;
    for (int i = 0; i < 20000; ++i)
        longName += gbk("基"); // 60,000 bytes of UTF-8
    cells.rows = {{"a", "b"}, {longName, "x\x01y"}};
    ASSERT_TRUE(writeWorkbook(cells, path).ok);
    const SheetReader sheet(path);
    EXPECT_EQ(sheet.cell("A2").text.size(), 32766u); // 10,922 whole characters of three bytes
    EXPECT_EQ(sheet.cell("B2").text, "x_x0001_y");
}

// ---- the file on disk

std::vector<std::string> namesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(WorkbookFile, SameNameIsReplacedWhole)
{
    TempDir dir;
    const std::string path = dir.file("12月4日.xlsx");
    test::writeBytes(path, "an older export");
    ASSERT_TRUE(writeWorkbook(fundSheet(3), path).ok);
    EXPECT_EQ(SheetReader(path).dimension, "A1:Q4");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string> {"12月4日.xlsx"}); // no temporary left behind
}

TEST(WorkbookFile, FailedWriteLeavesTheOlderFileAlone)
{
    TempDir dir;
    // A directory where the file should go: the rename cannot replace it.
    const std::string path = dir.file("12月4日.xlsx");
    std::filesystem::create_directory(path);
    test::writeBytes(path + "/inside", "kept");
    const WriteResult result = writeWorkbook(fundSheet(3), path);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(test::readBytes(path + "/inside"), "kept");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string> {"12月4日.xlsx"});
}

// The window closed mid-export ends the process at once: whenever the writer
// dies, the folder holds the complete older workbook or the complete new one,
// and nothing half-written beside it.
TEST(WorkbookFile, WriterKilledAtAnyMomentLeavesNoPartialFile)
{
    TempDir dir;
    const std::string path = dir.file("12月4日.xlsx");
    ASSERT_TRUE(writeWorkbook(fundSheet(3), path).ok);
    const SheetCells big = fundSheet(4000);
    // Kills spread over about three writes, however fast this machine writes.
    TempDir scratch;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(writeWorkbook(big, scratch.file("timing.xlsx")).ok);
    const auto oneWriteUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    std::mt19937 random(7);
    std::uniform_int_distribution<long> delayUs(oneWriteUs / 5, oneWriteUs * 3);
    int replaced = 0;
    for (int kill = 0; kill < 16; ++kill) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (;;)
                writeWorkbook(big, path);
        }
        ::usleep(useconds_t(delayUs(random)));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
        ASSERT_EQ(namesIn(dir.path()), std::vector<std::string> {"12月4日.xlsx"}) << "after kill " << kill;
        const std::string dimension = SheetReader(path).dimension;
        ASSERT_TRUE(dimension == "A1:Q4" || dimension == "A1:Q4001") << dimension;
        replaced += dimension == "A1:Q4001";
    }
    EXPECT_GT(replaced, 0);
}

// The program's end drops a workbook that has not taken its name yet, and
// leaves the older file as it was. (In a child: the end is for good.)
TEST(WorkbookFile, NoWorkbookTakesItsNameAfterTheEnd)
{
    TempDir dir;
    const std::string path = dir.file("12月4日.xlsx");
    test::writeBytes(path, "an older export");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        endWorkbookWrites();
        std::_Exit(writeWorkbook(fundSheet(3), path).ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::readBytes(path), "an older export");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string> {"12月4日.xlsx"});
}

} // namespace
} // namespace fw::testing
