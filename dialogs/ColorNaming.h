// Color naming: sorts an RGB color into one of a few named families (red,
// green, blue, yellow, brown, purple, pink, grey, black, white), as dialogs
// do when they offer a color by name, and gives a sample color per name.
//
// How a color is named: by hue, saturation and value (ColorValue's GetHSV).
// - Saturation below the chroma threshold: a grey, named by its value.
// - Otherwise the hue picks the nearest of six anchor hues (0, 60, 120, 180,
//   240, 300 degrees; the plain difference, with no wrap-around at 360, so
//   hues from 270 up go to 300; a tie goes to the larger anchor), and the
//   anchor's saturation table picks the name (hue 0 is pink below
//   saturation 0.5 and red from it; 180 and 240 are both blue).
// - Last, the value adjusts the name: at most the darkness threshold makes
//   any color black; yellow at value 0.5 or less is brown; a grey is grey up
//   to 0.5 and white above.
// - Out-of-range readings (a saturation outside [0, 1], a hue outside
//   [0, 360)) name the color grey; a value outside [0, 1] leaves the name.
//
// The tables behind these rules are built once per process, on the first
// classification, safely even when threads race to it. They take the
// thresholds of that first call's settings and keep them: a later call with
// other settings uses its own chroma threshold for the grey test only. Code
// that classifies with settings of its own should make its first call with
// them, or keep to the defaults.
//
// Nothing here allocates or throws.
#pragma once

#include "math/ColorValue.h"

#include <cstdint>

/// @name Color name codes
/// @{
using ColorNameCode = std::int32_t;
inline constexpr ColorNameCode kColorNameRed = 200;
inline constexpr ColorNameCode kColorNameGreen = 201;
inline constexpr ColorNameCode kColorNameBlue = 203;
/// Orange has a sample but no rule leads to it.
inline constexpr ColorNameCode kColorNameOrange = 204;
inline constexpr ColorNameCode kColorNameYellow = 205;
inline constexpr ColorNameCode kColorNameBrown = 206;
inline constexpr ColorNameCode kColorNamePurple = 207;
inline constexpr ColorNameCode kColorNamePink = 208;
inline constexpr ColorNameCode kColorNameGrey = 209;
inline constexpr ColorNameCode kColorNameBlack = 210;
/// White has no sample.
inline constexpr ColorNameCode kColorNameWhite = 211;
/// @}

/// The thresholds of the rules, each on the 0 to 1 scale of GetHSV.
struct ColorNameSettings {
    /// Below this saturation a color is a grey.
    float chromaThreshold = 0.1f;
    /// At or below this value a color is black.
    float darknessThreshold = 0.2f;
};

/// Stores the default thresholds (chroma 0.1, darkness 0.2) in `settings`.
void InitColorNameSettings(ColorNameSettings& settings) noexcept;

/// The name code of the color with 8-bit channels rgb[0] (red), rgb[1]
/// (green) and rgb[2] (blue) under `settings`; kColorNameGrey for a null
/// `rgb`.
ColorNameCode ClassifyColor(const ColorNameSettings& settings, const std::uint8_t* rgb) noexcept;
/// ClassifyColor with the default settings.
ColorNameCode ClassifyColorRGB8(const std::uint8_t* rgb) noexcept;
/// ClassifyColor with the default settings of the 8-bit values held in the
/// low bytes of the triple's channels (the high bytes are ignored).
ColorNameCode ClassifyColorTriple(const KXMath::RGBTriple& triple) noexcept;

/// The sample color of `code`, red in bits 0-7, green in 8-15 and blue in
/// 16-23; 0 for white and for any value that is not a code with a sample.
std::uint32_t GetColorNameSample(ColorNameCode code) noexcept;
