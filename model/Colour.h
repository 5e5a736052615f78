#pragma once
// Colour values as the controls and the chart keep them: Windows 0x00BBGGRR
// (red in the low byte), the one place that packs and unpacks them.
#include <cstdint>

namespace fw {

using Colour = std::uint32_t;
// The control's own colour (a grid cell or label not coloured by the program).
inline constexpr Colour kDefaultColour = 0xFFFFFFFFu;

constexpr Colour rgb(int red, int green, int blue)
{
    return Colour(red & 0xFF) | Colour(green & 0xFF) << 8 | Colour(blue & 0xFF) << 16;
}
constexpr int redOf(Colour c) { return int(c & 0xFF); }
constexpr int greenOf(Colour c) { return int((c >> 8) & 0xFF); }
constexpr int blueOf(Colour c) { return int((c >> 16) & 0xFF); }

} // namespace fw
