#pragma once
// Text inside the program is GBK: a byte string whose positions are 1-based
// byte positions and whose searches never start on the second byte of a
// two-byte character. Conversion to UTF-8 / QString happens only at the widget
// boundary (canvas/Gbk.h).
#include <string>
#include <string_view>
#include <vector>

namespace fw {

using Text = std::string;
using TextList = std::vector<Text>;

// A byte of 0x80 or more leads a two-byte GBK character.
inline bool isGbkLeadByte(unsigned char c) { return c >= 0x80; }

} // namespace fw
