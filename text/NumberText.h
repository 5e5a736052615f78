#pragma once
// The program's one set of number <-> text rules.
#include "text/Text.h"
#include <cstdint>

namespace fw {

Text doubleText(double v);     // printf "%.13g"
Text floatText(float v);       // printf "%.6g"
Text intText(long long v);     // decimal, no leading zeros or separators
// printf "%.*f": `decimals` places, the binary value rounded to the nearest.
Text fixedText(double v, int decimals);

// The leading decimal number of a text (optional blanks and sign, digits, a
// fraction, an exponent); 0 when the text does not begin with one.
double textValue(std::string_view text);

// Truncation toward zero, saturating at the limits of long long.
long long truncToInt(double v);

// The value in units of 10^-decimals, halves away from zero (saturating). A
// figure a binary hair short of a half (1.005 is 1.00499...) rounds as its
// decimal reading does.
long long roundedUnits(double value, int decimals);
// Such units written with exactly `decimals` decimals: "1.0", "-0.25", "3";
// zero is never signed ("0.00", not "-0.00").
Text unitsText(long long units, int decimals);

} // namespace fw
