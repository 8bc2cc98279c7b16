// ColorValue, the plug-in's value type for a color, and the color functions
// around it: the raw conversions between the models, comparison with a
// tolerance, distance, blending, mixing, tinting and grey-ramp color tables.
//
// A ColorValue stores a color in exactly one of five models and converts on
// demand: every getter delivers the asked-for model whatever the stored one
// is, and leaves the stored one alone.
//
// Units and ranges, shared by everything here:
// - Float channels (CMYK, RGB, saturation and value of HSV) run from 0 to 1.
// - Hue is in degrees, 0 <= hue < 360, or exactly -1 (kNoHue) for a color
//   without hue (a grey).
// - RGB16 channels run from 0 to 65535, RGB8 channels from 0 to 255.
// - Float to 16-bit channel: floor(x * 65535 + 0.5); to 8-bit: floor(x * 255
//   + 0.5); back: x / 65535 and x / 255. 8-bit to 16-bit: x * 257 (255 gives
//   65535); 16-bit to 8-bit: the high byte (0x12FF gives 0x12, not rounded).
// Edge rules:
// - Out-of-range input never reaches storage: float channels are clamped to
//   [0, 1] (NaN becomes 0), hues are normalised (NormalizeHue), and integer
//   channels built from floats saturate at the channel's limits (NaN gives 0).
// - Every conversion from floats to integer channels saturates, so nothing
//   here wraps or converts out of range.
// - Nothing allocates or throws; all values live on the caller's stack.
#pragma once

#include <cstddef>
#include <cstdint>

namespace KXMath {

/// @name Color models
/// The model codes are stored and exchanged as signed 32-bit integers.
/// @{
using ColorModel = std::int32_t;
inline constexpr ColorModel kColorCMYK = 0;
inline constexpr ColorModel kColorRGB = 1;
inline constexpr ColorModel kColorHSV = 2;
inline constexpr ColorModel kColorRGB16 = 3;
inline constexpr ColorModel kColorRGB8 = 4;
/// The hue of a color without one.
inline constexpr float kNoHue = -1.0f;
/// @}

/// Three 16-bit channels: a color-table entry (full 16-bit values) or, for
/// GetRGB8Triple and SetRGB8Triple, 8-bit values widened.
struct RGBTriple {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
};

class ColorValue {
public:
    /// Black in model RGB.
    ColorValue() noexcept = default;
    /// A color of `model` from up to four channel values:
    /// - kColorCMYK: cyan a, magenta b, yellow c, black d, each clamped.
    /// - kColorRGB: red a, green b, blue c, clamped; d unused.
    /// - kColorHSV: hue a normalised, saturation b and value c clamped.
    /// - kColorRGB16, kColorRGB8: each channel floor(x + 0.5) of a, b, c in
    ///   the model's own units (0 to 65535, 0 to 255), saturated at the
    ///   channel's limits.
    /// - any other code: black in model RGB, as default-constructed, since no
    ///   other model is ever stored.
    ColorValue(ColorModel model, float a, float b, float c, float d = 0) noexcept;

    /// The model the channels are stored in; always one of the five codes.
    ColorModel Model() const noexcept { return model; }

    /// @name Setters
    /// Each replaces the stored model and channels.
    /// @{
    void SetCMYK(float c, float m, float y, float k) noexcept; ///< each clamped
    void SetRGB(float r, float g, float b) noexcept;           ///< each clamped
    /// Hue normalised, s and v clamped.
    void SetHSV(float h, float s, float v) noexcept;
    /// Model RGB8; each channel of the triple limited to at most 255.
    void SetRGB8Triple(const RGBTriple& triple) noexcept;
    /// @}

    /// @name Getters
    /// The color in the asked-for model; the stored model is unchanged.
    /// @{

    /// Floats 0 to 1. From CMYK by CMYKToRGB, from HSV (hue normalised, s and
    /// v clamped) by HSVToRGB, from the integer models by division.
    void GetRGB(float& r, float& g, float& b) const noexcept;
    /// The stored triple for HSV, else RGBToHSV of GetRGB (a grey has hue -1).
    void GetHSV(float& h, float& s, float& v) const noexcept;
    /// The stored four for CMYK, else RGBToCMYK of GetRGB (black is 0, 0, 0,
    /// 1; white all 0).
    void GetCMYK(float& c, float& m, float& y, float& k) const noexcept;
    /// 0 to 65535: stored, widened from 8 bits (x * 257) or from the floats.
    void GetRGB16(std::uint16_t& r, std::uint16_t& g, std::uint16_t& b) const noexcept;
    /// 0 to 255: stored, the high bytes of 16 bits or from the floats.
    void GetRGB8(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const noexcept;
    /// GetRGB8 with each channel in 16 bits (still 0 to 255).
    void GetRGB8Triple(RGBTriple& triple) const noexcept;
    /// The luminance 0.299 r + 0.587 g + 0.114 b of GetRGB, in double
    /// precision, clamped to [0, 1].
    void GetGrey(double& grey) const noexcept;
    /// @}

    /// @name Comparison in the stored model, tolerance 0
    /// See CompareColors.
    /// @{
    bool IsLess(const ColorValue& other) const noexcept;
    bool IsEqual(const ColorValue& other) const noexcept;
    /// @}

    /// Blends `other` into this color in 16-bit RGB with weight percent / 100
    /// on this color: 100 keeps this, 0 takes other. Both colors are first
    /// converted in place to model RGB16 (so `other` changes model too, while
    /// staying the same color). Above 100 the blend extrapolates away from
    /// other, each channel saturating at 0 and 65535.
    void BlendPercent(ColorValue& other, std::uint8_t percent) noexcept;

    /// For a CMYK color: folds the stored four into the plain three-ink form
    /// (CMYKToRGBAdditive, then RGBToCMYK), so the black ink carries the part
    /// the three inks share. Colors of other models are left alone.
    void NormalizeCMYK() noexcept;

private:
    struct CMYK {
        float cyan, magenta, yellow, black;
    };
    struct FloatTriple {
        float first, second, third;
    };
    struct Triple16 {
        std::uint16_t red, green, blue;
    };
    struct Triple8 {
        std::uint8_t red, green, blue;
    };

    ColorModel model = kColorRGB;
    // One storage for all models; only the member of `model` is ever read.
    union {
        CMYK cmyk;
        FloatTriple floats; // RGB: red, green, blue; HSV: hue, saturation, value
        Triple16 rgb16;
        Triple8 rgb8;
    } channels{.floats = {0, 0, 0}};
};

/// @name Conversion and comparison
/// @{

/// `result` becomes the color of `color` in `model`, by that model's getter.
/// An unsupported model code leaves `result` unchanged.
void ConvertTo(ColorValue& result, ColorModel model, const ColorValue& color) noexcept;

/// The signed difference (a minus b) of the first channel that differs, both
/// taken in `model`, or 0 when all agree. Channel order: CMYK cyan, magenta,
/// yellow, black; RGB red, green, blue; HSV hue, saturation, value; RGB16 and
/// RGB8 red, green, blue. Float models: with tolerance 0 (or a negative one)
/// only exact equality counts; otherwise a pair is equal when tolerance >
/// |difference| (strictly). The hue -1 is subtracted like any number. RGB16
/// and RGB8: exact integer comparison, tolerance ignored, the difference in
/// channel units. An unsupported model code gives 0.
float CompareColors(const ColorValue& a, const ColorValue& b, ColorModel model, float tolerance) noexcept;
bool IsLess(const ColorValue& a, const ColorValue& b, ColorModel model, float tolerance) noexcept;
bool IsEqual(const ColorValue& a, const ColorValue& b, ColorModel model, float tolerance) noexcept;

/// The sum of squared channel differences in `model`, in its own units (the
/// integer models in channel units). HSV: saturation and value, plus the hue
/// difference in degrees only when neither hue is -1; the hue difference is
/// plain, not around the circle (359 and 1 are 358 apart). An unsupported
/// model code gives 0.
double DistanceSquared(const ColorValue& a, const ColorValue& b, ColorModel model) noexcept;
/// @}

/// @name Mixing
/// @{

/// Model RGB8: each channel a * weight + b * (1 - weight) of the 8-bit
/// channels, truncated; weight clamped to [0, 1] (NaN as 0). Mixing a color
/// with itself gives its own 8-bit channels.
void Mix(const ColorValue& a, const ColorValue& b, float weight, ColorValue& result) noexcept;
/// Model RGB: each channel of GetRGB moved towards white by a positive
/// amount or towards black by a negative one (TintChannel); amount clamped
/// to [-1, 1], so 1 gives white and -1 black.
void Tint(const ColorValue& color, float amount, ColorValue& result) noexcept;
/// One channel of Tint: x + amount * (1 - x) for amount > 0, x + amount * x
/// otherwise, clamped to [0, 1]. x and amount are used as given.
float TintChannel(float x, float amount) noexcept;
/// @}

/// @name Raw conversions
/// On separate floats, channels 0 to 1 and hue in degrees.
/// @{

/// (1 - c')(1 - k') and likewise for green (m) and blue (y), the primes
/// clamped to [0, 1].
void CMYKToRGB(float c, float m, float y, float k, float& r, float& g, float& b) noexcept;
/// 1 - clamp(clamp(c) + clamp(k)) and likewise: inks add up, saturating.
void CMYKToRGBAdditive(float c, float m, float y, float k, float& r, float& g, float& b) noexcept;
/// Inputs clamped; k is the smallest of 1 - r, 1 - g, 1 - b; the inks are
/// the rest, scaled by 1 / (1 - k). Black (k = 1) gives inks 0.
void RGBToCMYK(float r, float g, float b, float& c, float& m, float& y, float& k) noexcept;
/// As RGBToCMYK without the scaling (ink = 1 - channel - k). Returns the
/// yellow ink as well.
float RGBToCMYKPlain(float r, float g, float b, float& c, float& m, float& y, float& k) noexcept;
/// Hue normalised first (so 360 and more give 0, and NaN counts as no hue).
/// s = 0 or hue -1 gives the grey v, v, v. s and v are used as given: values
/// outside [0, 1] give channels outside it.
void HSVToRGB(float h, float s, float v, float& r, float& g, float& b) noexcept;
/// Inputs clamped. A grey (all equal) gives saturation 0 and hue -1. Ties
/// for the largest channel are resolved towards red, then green.
void RGBToHSV(float r, float g, float b, float& h, float& s, float& v) noexcept;
/// @}

/// @name Channel helpers
/// @{
/// [0, 1]; NaN gives 0.
float Clamp01(float x) noexcept;
/// [-1, 1]; NaN gives 0.
float ClampSigned(float x) noexcept;
/// -1 stays -1 (no hue), negative hues and 360 or more give 0, NaN gives
/// -1; any other hue is kept.
float NormalizeHue(float h) noexcept;
/// x limited to at most 255.
std::uint16_t LimitToByte(std::uint16_t x) noexcept;
/// @}

/// @name Grey ramps
/// A ramp of n entries holds at index i the 8-bit level floor(k * 255 / (n -
/// 1) + 0.5), k = i ascending or n - 1 - i descending, in both bytes of every
/// channel (level * 257). A ramp of one entry holds level 0.
/// @{

/// Fills table[0..count) with a ramp; nothing for a null table or count 0.
/// Counts above 256 are filled as well (levels then repeat), though
/// IsGreyRamp does not recognise such tables.
void MakeGreyRamp(RGBTriple* table, std::size_t count, bool ascending) noexcept;
/// Whether table[0..count) is a ramp, ascending when the first entry is
/// black and descending otherwise. False for a null table and for a count of
/// 0 or more than 256.
bool IsGreyRamp(const RGBTriple* table, std::size_t count) noexcept;
/// @}

} // namespace KXMath
