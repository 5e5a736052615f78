#include "text/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>
#include <limits>

using namespace fw;

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

TEST(TextToNumber, ReadsTheLeadingDecimalNumber)
{
    EXPECT_DOUBLE_EQ(textValue("12.34%"), 12.34);
    EXPECT_DOUBLE_EQ(textValue("  -3.5e2x"), -350);
    EXPECT_DOUBLE_EQ(textValue("+7"), 7);
    EXPECT_DOUBLE_EQ(textValue(".5"), 0.5);
    EXPECT_DOUBLE_EQ(textValue("5."), 5);
    EXPECT_DOUBLE_EQ(textValue("2e"), 2);
    EXPECT_DOUBLE_EQ(textValue("2e+"), 2);
    EXPECT_DOUBLE_EQ(textValue("1,5"), 1);
    EXPECT_DOUBLE_EQ(textValue("0012"), 12);
}

TEST(TextToNumber, EveryDigitAndLeadingWhiteSpace)
{
    const std::pair<const char*, double> cases[] = {
        {"6", 6}, {"8", 8}, {"9", 9}, {"0123456789", 123456789}, {"9876.54321", 9876.54321},
        {"-0.0689", -0.0689}, {"5e9", 5e9}, {"7.5E-8", 7.5e-8}, {"1e06", 1e6},
        {"\t12", 12}, {"\t\t-3.5", -3.5}, {"\n7", 7}, {"\r\n8.25%", 8.25}, {" \t\r\n 9", 9},
        {"\v4", 4}, {"\f5", 5}, {"\t\n", 0}, {"\t+.9", 0.9},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(textValue(text), value) << text;
}

TEST(TextToNumber, NoLeadingNumberGivesZero)
{
    for (const char* t : {"", "-", "+", ".", "-.", "abc", "--1", "e5", "inf", "nan", "%1"})
        EXPECT_EQ(textValue(t), 0.0) << t;
    EXPECT_EQ(textValue("0x10"), 0.0); // no hexadecimal: reads the "0"
    EXPECT_EQ(textValue(std::string_view("12", 1)), 1.0);
}

// A locale with a decimal comma: an installed one, or one compiled for this
// test from the system's locale sources.
static const char* decimalCommaLocale()
{
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n))
            return n;
    char dir[] = "/tmp/fw-locale-XXXXXX";
    if (!mkdtemp(dir))
        return nullptr;
    const std::string cmd = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return nullptr;
    setenv("LOCPATH", dir, 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") ? "de_DE.UTF-8" : nullptr;
}

TEST(TextToNumber, IndependentOfProcessLocale)
{
    const char* set = decimalCommaLocale();
    ASSERT_NE(set, nullptr) << "no locale with a decimal comma could be set up (package locales)";
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    const double v = textValue("1.5");
    const Text t = doubleText(2.25);
    const Text f = floatText(0.5f);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(t, "2.25");
    EXPECT_EQ(f, "0.5");
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

// Rounded figures with a fixed count of decimals: halves away from zero, a
// decimal half that binary holds a hair short still rounds up, and zero is
// never signed.
TEST(RoundedUnits, FixedDecimalsHalvesAwayFromZero)
{
    const struct {
        double value;
        int decimals;
        long long units;
        const char* text;
    } cases[] = {
        {1.0, 1, 10, "1.0"},         {1.0, 0, 1, "1"},           {0.5, 0, 1, "1"},
        {-0.5, 0, -1, "-1"},         {2.5, 0, 3, "3"},           {1.005, 2, 101, "1.01"},
        {-1.005, 2, -101, "-1.01"},  {0.004, 2, 0, "0.00"},      {-0.004, 2, 0, "0.00"},
        {-0.04, 1, 0, "0.0"},        {-0.05, 1, -1, "-0.1"},     {0.05, 2, 5, "0.05"},
        {-2.2778, 1, -23, "-2.3"},   {12.0, 2, 1200, "12.00"},   {-0.0, 2, 0, "0.00"},
        {123456.789, 2, 12345679, "123456.79"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(roundedUnits(c.value, c.decimals), c.units);
        EXPECT_EQ(unitsText(c.units, c.decimals), c.text);
    }
    EXPECT_EQ(unitsText(std::numeric_limits<long long>::min(), 0), "-9223372036854775808");
    EXPECT_EQ(unitsText(-7, 3), "-0.007");
}
