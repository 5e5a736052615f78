#include "text/NumberText.h"

#include "tests/CommaDecimalLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

using namespace fw;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::nullopt_t none = std::nullopt;

// What the program reads as a figure. Leading: the number a text begins with
// (textValue gives 0 where there is none). Plain: the whole text as a plain
// decimal, with the count of its decimals.
enum class Reading { Leading, Plain };
struct ReadCase {
    Reading reading;
    std::string text;
    std::optional<double> value;
    int decimals = 0; // Plain only
};
const ReadCase kReadCases[] = {
    {Reading::Leading, "12.34%", 12.34},      {Reading::Leading, "  -3.5e2x", -350},
    {Reading::Leading, "+7", 7},              {Reading::Leading, ".5", 0.5},
    {Reading::Leading, "5.", 5},              {Reading::Leading, "2e", 2},
    {Reading::Leading, "2e+", 2},             {Reading::Leading, "1,5", 1},
    {Reading::Leading, "0012", 12},           {Reading::Leading, "6", 6},
    {Reading::Leading, "8", 8},               {Reading::Leading, "9", 9},
    {Reading::Leading, "0123456789", 123456789}, {Reading::Leading, "9876.54321", 9876.54321},
    {Reading::Leading, "-0.0689", -0.0689},   {Reading::Leading, "5e9", 5e9},
    {Reading::Leading, "7.5E-8", 7.5e-8},     {Reading::Leading, "1e06", 1e6},
    {Reading::Leading, "\t12", 12},           {Reading::Leading, "\t\t-3.5", -3.5},
    {Reading::Leading, "\n7", 7},             {Reading::Leading, "\r\n8.25%", 8.25},
    {Reading::Leading, " \t\r\n 9", 9},       {Reading::Leading, "\v4", 4},
    {Reading::Leading, "\f5", 5},             {Reading::Leading, "\t+.9", 0.9},
    {Reading::Leading, "1.23%", 1.23},        {Reading::Leading, "560.44", 560.44},
    {Reading::Leading, "-0.5", -0.5},         {Reading::Leading, "+2", 2},
    {Reading::Leading, "  7", 7},             {Reading::Leading, "0", 0},
    {Reading::Leading, "0x10", 0},            {Reading::Leading, "5.e3", 5000},
    // Past the range of double: infinite or zero, as the digits say.
    {Reading::Leading, "1e999", kInf},        {Reading::Leading, "-1e999", -kInf},
    {Reading::Leading, "1e-999", 0},          {Reading::Leading, std::string(400, '9') + "%", kInf},
    {Reading::Leading, "0." + std::string(400, '0') + "1", 0},
    // No figure at all.
    {Reading::Leading, "", none},             {Reading::Leading, "-", none},
    {Reading::Leading, "--", none},           {Reading::Leading, "---", none},
    {Reading::Leading, "+", none},            {Reading::Leading, ".", none},
    {Reading::Leading, "-.", none},           {Reading::Leading, "abc", none},
    {Reading::Leading, "--1", none},          {Reading::Leading, "e5", none},
    {Reading::Leading, "inf", none},          {Reading::Leading, "nan", none},
    {Reading::Leading, "%1", none},           {Reading::Leading, "-%", none},
    {Reading::Leading, "   ", none},          {Reading::Leading, "\t\n", none},

    {Reading::Plain, "1.2345", 1.2345, 4},    {Reading::Plain, "1.5000", 1.5, 4},
    {Reading::Plain, "-1.5", -1.5, 1},        {Reading::Plain, "+2", 2, 0},
    {Reading::Plain, "0", 0, 0},              {Reading::Plain, "-0.00", 0, 2},
    {Reading::Plain, "0012", 12, 0},
    {Reading::Plain, "", none},               {Reading::Plain, "-", none},
    {Reading::Plain, "1.", none},             {Reading::Plain, ".5", none},
    {Reading::Plain, "1e5", none},            {Reading::Plain, "1e999", none},
    {Reading::Plain, "inf", none},            {Reading::Plain, "nan", none},
    {Reading::Plain, "1.2x", none},           {Reading::Plain, "1.2.3", none},
    {Reading::Plain, " 12", none},            {Reading::Plain, "12 ", none},
    {Reading::Plain, "+-1", none},            {Reading::Plain, "12%", none},
    {Reading::Plain, "0x10", none},
};

// A figure shown with a fixed count of decimals: halves away from zero, a half
// short by less than the tolerance (in units of the last decimal) rounding up,
// zero never signed; and the same in its shortest form.
struct ShowCase {
    double value;
    int decimals;
    double tolerance;
    long long units;
    const char* text;
    const char* shortest;
};
constexpr double kGeneral = kHalfTolerance, kTile = 0.000000000001, kComputed = 0.00005;
const ShowCase kShowCases[] = {
    {1.0, 1, kGeneral, 10, "1.0", "1"},                {1.0, 0, kGeneral, 1, "1", "1"},
    {0.5, 0, kGeneral, 1, "1", "1"},                   {-0.5, 0, kGeneral, -1, "-1", "-1"},
    {2.5, 0, kGeneral, 3, "3", "3"},                   {1.005, 2, kGeneral, 101, "1.01", "1.01"},
    {-1.005, 2, kGeneral, -101, "-1.01", "-1.01"},     {0.004, 2, kGeneral, 0, "0.00", "0"},
    {-0.004, 2, kGeneral, 0, "0.00", "0"},             {-0.04, 1, kGeneral, 0, "0.0", "0"},
    {-0.05, 1, kGeneral, -1, "-0.1", "-0.1"},          {0.05, 2, kGeneral, 5, "0.05", "0.05"},
    {-2.2778, 1, kGeneral, -23, "-2.3", "-2.3"},       {12.0, 2, kGeneral, 1200, "12.00", "12"},
    {-0.0, 2, kGeneral, 0, "0.00", "0"},               {123456.789, 2, kGeneral, 12345679, "123456.79", "123456.79"},
    {0.125, 2, kGeneral, 13, "0.13", "0.13"},          {62.45, 1, kGeneral, 625, "62.5", "62.5"},
    // A sector tile's figure: a half must be nearer than 1e-12.
    {-1.234, 2, kTile, -123, "-1.23", "-1.23"},        {0.005, 2, kTile, 1, "0.01", "0.01"},
    {-0.005, 2, kTile, -1, "-0.01", "-0.01"},          {2.5, 2, kTile, 250, "2.50", "2.5"},
    {14.88, 2, kTile, 1488, "14.88", "14.88"},         {1.005, 2, kTile, 101, "1.01", "1.01"},
    {0.004999999999, 2, kTile, 0, "0.00", "0"},        {0.004999999999, 2, kGeneral, 1, "0.01", "0.01"},
    // Money computed in binary: a half nearer than a ten-thousandth of a cent.
    {100.5 * 1.23, 2, kComputed, 12362, "123.62", "123.62"}, {2.675, 2, kComputed, 268, "2.68", "2.68"},
    {0.0049, 2, kComputed, 0, "0.00", "0"},            {-1234.565, 2, kComputed, -123457, "-1234.57", "-1234.57"},
    {0.0049996, 2, kComputed, 1, "0.01", "0.01"},      {0.0049996, 2, kGeneral, 0, "0.00", "0"},
};

void expectEveryFigureRule()
{
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(testing::Message() << (c.reading == Reading::Leading ? "leading" : "plain") << " \"" << c.text
                                        << '"');
        if (c.reading == Reading::Leading) {
            EXPECT_EQ(leadingFigure(c.text), c.value);
            EXPECT_EQ(textValue(c.text), c.value.value_or(0.0));
        } else {
            int decimals = -1;
            EXPECT_EQ(plainDecimal(c.text, &decimals), c.value);
            if (c.value) {
                EXPECT_EQ(decimals, c.decimals);
            }
        }
    }
    for (const ShowCase& c : kShowCases) {
        SCOPED_TRACE(testing::Message() << c.value << " to " << c.decimals << " within " << c.tolerance);
        EXPECT_EQ(roundedUnits(c.value, c.decimals, c.tolerance), c.units);
        EXPECT_EQ(roundedText(c.value, c.decimals, c.tolerance), c.text);
        EXPECT_EQ(unitsText(c.units, c.decimals), c.text);
        EXPECT_EQ(shortestText(c.text), c.shortest);
        EXPECT_DOUBLE_EQ(unitsValue(c.units, c.decimals), plainDecimal(c.text).value_or(-1));
    }
    EXPECT_EQ(unitsText(std::numeric_limits<long long>::min(), 0), "-9223372036854775808");
    EXPECT_EQ(unitsText(-7, 3), "-0.007");
    // The nearest binary value, as printf writes it (2.675 is 2.67499…), zero unsigned.
    EXPECT_EQ(fixedText(2.675, 2), "2.67");
    EXPECT_EQ(fixedText(1.5, 4), "1.5000");
    EXPECT_EQ(fixedText(-0.001, 2), "0.00");
    EXPECT_EQ(fixedText(-1.25, 1), "-1.2");
    EXPECT_EQ(shortestText("-0.00"), "0");
    EXPECT_EQ(doubleText(2.25), "2.25");
    EXPECT_EQ(floatText(0.5f), "0.5");
}

} // namespace

TEST(Figures, ReadRoundAndWriteByOneSetOfRules) { expectEveryFigureRule(); }

// The toolkit leaves the desktop's locale behind: a decimal comma changes nothing.
TEST(Figures, SameUnderACommaDecimalLocale)
{
    test::CommaDecimalLocale comma;
    if (!comma.active())
        GTEST_SKIP() << test::CommaDecimalLocale::missing();
    expectEveryFigureRule();
}

TEST(Figures, NothingPastTheTextIsRead)
{
    EXPECT_EQ(textValue(std::string_view("12", 1)), 1.0);
    EXPECT_EQ(plainDecimal(std::string_view("1.25", 3)), 1.2);
    EXPECT_EQ(leadingFigure(std::string_view("  ", 2)), none);
}

TEST(NumberToText, PrintfStyleFormats)
{
    EXPECT_EQ(doubleText(3.0), "3");
    EXPECT_EQ(doubleText(0.1), "0.1");
    EXPECT_EQ(doubleText(-2.5), "-2.5");
    EXPECT_EQ(doubleText(1.0 / 3), "0.3333333333333");
    EXPECT_EQ(doubleText(12.34 + 0.01), "12.35");
    EXPECT_EQ(doubleText(123456789012345.0), "1.234567890123e+14");
    EXPECT_EQ(doubleText(0.00001234), "1.234e-05");
    EXPECT_EQ(floatText(0.1f), "0.1");
    EXPECT_EQ(floatText(3.14159265f), "3.14159");
    EXPECT_EQ(floatText(1234567.0f), "1.23457e+06");
    EXPECT_EQ(intText(0), "0");
    EXPECT_EQ(intText(-42), "-42");
    EXPECT_EQ(intText(std::numeric_limits<long long>::min()), "-9223372036854775808");
}

TEST(TruncToInt, TowardZeroAndSaturating)
{
    EXPECT_EQ(truncToInt(2.9), 2);
    EXPECT_EQ(truncToInt(-2.9), -2);
    EXPECT_EQ(truncToInt(-0.5), 0);
    EXPECT_EQ(truncToInt(std::nan("")), 0);
    EXPECT_EQ(truncToInt(1e300), std::numeric_limits<long long>::max());
    EXPECT_EQ(truncToInt(-1e300), std::numeric_limits<long long>::min());
    EXPECT_EQ(truncToInt(INFINITY), std::numeric_limits<long long>::max());
    EXPECT_EQ(truncToInt(9223372036854775808.0), std::numeric_limits<long long>::max());
    EXPECT_EQ(truncToInt(-9223372036854775808.0), std::numeric_limits<long long>::min());
}
