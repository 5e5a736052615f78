#pragma once
// The program's one set of number <-> text rules: figures read from the
// service's text, rounded for display and written back, all independent of the
// process locale.
#include "text/Text.h"
#include <cstdint>
#include <optional>

namespace fw {

Text doubleText(double v);     // printf "%.13g"
Text floatText(float v);       // printf "%.6g"
Text intText(long long v);     // decimal, no leading zeros or separators
// printf "%.*f": `decimals` places, the binary value rounded to the nearest;
// zero is never signed ("0.00", not "-0.00").
Text fixedText(double v, int decimals);

// --- reading a figure
// The leading decimal number of a text (optional blanks and sign, digits, a
// fraction, an exponent with digits): "12.34%" gives 12.34, ".5" 0.5; none
// when the text does not begin with one ("-", "--", "abc", "").
std::optional<double> leadingFigure(std::string_view text);
// The leading figure, 0 when there is none.
double textValue(std::string_view text);
// The whole text as a plain decimal: an optional sign, digits, and a point
// followed by digits; nothing else (no blanks, no exponent). `fractionDigits`,
// when given, receives the count of digits after the point.
std::optional<double> plainDecimal(std::string_view text, int* fractionDigits = nullptr);
// An unsigned decimal text already checked to be digits with an optional
// point and an optional exponent ("12", ".5", "5.", "1.5e3"): its value, a
// text beyond the range of double reading as infinity or 0.
double decimalValue(std::string_view number);

// Truncation toward zero, saturating at the limits of long long.
long long truncToInt(double v);

// --- rounding for display
// How far short of a half (in units of the last decimal shown) a figure may
// fall and still round up: a figure computed in binary is a hair off its
// decimal reading (1.005 is 1.00499999999999989…).
inline constexpr double kHalfTolerance = 0.000000001;

// The value in units of 10^-decimals, halves away from zero (saturating).
long long roundedUnits(double value, int decimals, double tolerance = kHalfTolerance);
// Such units as a value again (101 units at two decimals: 1.01).
double unitsValue(long long units, int decimals);
// Such units written with exactly `decimals` decimals: "1.0", "-0.25", "3";
// zero is never signed ("0.00", not "-0.00").
Text unitsText(long long units, int decimals);
// unitsText of the rounded value.
Text roundedText(double value, int decimals, double tolerance = kHalfTolerance);
// A fixed-decimals text in its shortest form: trailing zeros and a bare point
// dropped ("2.50" -> "2.5", "3.00" -> "3", "-0.00" -> "0").
Text shortestText(std::string_view fixed);

} // namespace fw
