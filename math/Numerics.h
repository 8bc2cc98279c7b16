// The numeric conventions every part of the math library shares: the
// tolerance for comparing doubles, rounding doubles to integer coordinates,
// saturation at the limits of the integer types, 16.16 and 2.30 fixed-point
// numbers, decimal magnitudes and the class of a double.
//
// Contracts that hold for the whole file:
// - Nothing allocates, throws or keeps state, except the one process-wide
//   tolerance (ProcessTolerance), which a module sets as it loads.
// - "The tolerance" (kTolerance, 1e-13) is both absolute (for values within it
//   of zero) and relative (for all others). The process-wide copy is read only
//   where a declaration says so.
// - NaN is never turned into an integer by an undefined conversion: wherever a
//   double becomes an integer, NaN gives 0 and counts as out of range.
#pragma once

#include <cstdint>
#include <limits>

namespace KXMath {

/// @name Constants
/// @{
inline constexpr double kTolerance = 1e-13;
/// Added before rounding down, so that values short of a half by less than
/// 1e-10 (the usual residue of a computed coordinate) still round away from
/// zero.
inline constexpr double kRoundBias = 0.5000000001;
inline constexpr double kDegreesPerRadian = 57.29577951308232;
inline constexpr double kRadiansPerDegree = 0.017453292519943295;
/// Relative tolerance of IsNearlyOne: the test of unit lengths.
inline constexpr double kUnitTolerance = 1e-6;
inline constexpr std::int32_t kShortMin = std::numeric_limits<std::int16_t>::min();
inline constexpr std::int32_t kShortMax = std::numeric_limits<std::int16_t>::max();
inline constexpr std::int32_t kLongMin = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kLongMax = std::numeric_limits<std::int32_t>::max();
/// @}

/// @name The process-wide tolerance
/// Holds kTolerance from the start (it is constant-initialised, so code that
/// runs before the module's load step already reads the right value); the
/// module sets it again as it loads. Not synchronised: set it only while no
/// other thread computes.
/// @{
double ProcessTolerance() noexcept;
void SetProcessTolerance(double tolerance) noexcept;
/// @}

/// @name Tolerance comparisons
/// @{

/// True when a and b agree within kTolerance: absolutely when either lies
/// within kTolerance of zero, relatively (against the larger magnitude)
/// otherwise. Equal values are always nearly equal, infinities included; NaN
/// is nearly equal to nothing, and an infinity only to itself.
bool NearlyEqual(double a, double b) noexcept;
/// The same test with another tolerance.
bool NearlyEqual(double a, double b, double tolerance) noexcept;

/// Whether |x - 1| <= max(|x|, 1) * kUnitTolerance (1e-6): the test that a
/// squared length is 1. False for 0 and NaN.
bool IsNearlyOne(double x) noexcept;
/// @}

/// @name Rounding
/// @{

/// The nearest whole number, halves away from zero, with kRoundBias: values
/// that fall short of a half by less than 1e-10 round away from zero too
/// (2.49999999995 gives 3). Infinities and NaN come back unchanged.
double RoundToInteger(double x) noexcept;

/// Away from zero: floor for negative x, ceiling otherwise (2.1 gives 3,
/// -2.1 gives -3). Used where an integer shape must cover a double one.
double RoundOutward(double x) noexcept;

/// How a double coordinate becomes an integer one.
enum class IntRounding {
    kTruncate, ///< towards zero
    kNearest,  ///< floor(x + 0.5): halves round up, no bias
};
/// @}

/// @name Saturation
/// Each takes a value that is already whole (or is rounded by the caller's
/// rule) and stores the nearest value of the target type: below the range the
/// minimum, above it the maximum, NaN 0. The result is true when x lay within
/// the range (NaN never does).
/// @{
bool SaturateToShort(double x, std::int16_t& out) noexcept;
bool SaturateToLong(double x, std::int32_t& out) noexcept;
/// a + b, limited to -32768..32767.
std::int16_t AddSaturated16(std::int16_t a, std::int16_t b) noexcept;
/// @}

/// @name Double to one integer coordinate
/// x rounded by RoundToInteger (or RoundOutward when outward is set), then
/// saturated. True when x itself lay within the target range before rounding
/// (so 32767.3 is out of range for 16 bits even though it rounds to 32767);
/// the saturated value is stored either way.
/// @{
bool ToShort(double x, std::int16_t& out, bool outward = false) noexcept;
bool ToLong(double x, std::int32_t& out, bool outward = false) noexcept;
/// @}

/// @name Fixed-point numbers
/// A 16.16 number (Fixed) holds value * 65536 in a signed 32-bit integer, a
/// 2.30 number (Fract) value * 2^30. Conversions from double truncate the
/// fraction towards negative infinity (the whole part is the floor, the
/// fraction below it is cut) and saturate to 0x7FFFFFFF and 0x80000000
/// outside the representable range; NaN gives 0.
/// @{
using Fixed = std::int32_t;
using Fract = std::int32_t;
inline constexpr Fixed kFixedMax = std::numeric_limits<std::int32_t>::max();
inline constexpr Fixed kFixedMin = std::numeric_limits<std::int32_t>::min();

double DoubleFromFixed(Fixed a) noexcept;
double DoubleFromFract(Fract a) noexcept;
/// Representable: -32768 up to 32767 + 65535/65536.
Fixed FixedFromDouble(double x) noexcept;
/// Representable: -2 up to 1 + (2^30 - 1)/2^30.
Fract FractFromDouble(double x) noexcept;
/// The product of two 2.30 numbers, saturated as FractFromDouble.
Fract MultiplyFract(Fract a, Fract b) noexcept;
/// a * 65536, saturated outside -32768..32767.
Fixed FixedFromLong(std::int32_t a) noexcept;
/// @}

/// @name Decimal magnitude
/// @{

/// The number of decimal digits of the whole part of |x|: 0 below 1, 1 below
/// 10, ..., 15 below 1e15, and 16 at or above 1e15 (infinity included). NaN
/// gives 0.
int DecimalDigits(double x) noexcept;
/// As DecimalDigits below 1e15; at or above it ceil(log10 |x|), plus 1 when
/// log10 |x| is whole, so it keeps counting (1e15 gives 16, 2e20 gives 21).
/// Infinity gives 310, one more than the largest finite double; NaN gives 0.
int DecimalDigitsUnbounded(double x) noexcept;
/// The smallest power of ten from 1 to 1e15 greater than |x| (1 below 1),
/// and 1e16 at or above 1e15 (infinity included). NaN gives 1.
double PowerOfTenAbove(double x) noexcept;
/// @}

/// @name The class of a double
/// @{
inline constexpr int kDoubleZero = 0;        ///< +0 or -0
inline constexpr int kDoubleNormal = -1;
inline constexpr int kDoubleDenormal = -2;
inline constexpr int kDoubleInfinite = 1;    ///< either sign
inline constexpr int kDoubleSignallingNaN = 3;
inline constexpr int kDoubleQuietNaN = 4;
/// One of the six codes above.
int ClassifyDouble(double x) noexcept;
/// @}

} // namespace KXMath
