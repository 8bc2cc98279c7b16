// The shared tolerance, rounding, saturation, fixed-point and magnitude rules.
#include "math/Numerics.h"

#include <bit>
#include <cmath>

namespace KXMath {

namespace {

// Constant-initialised, so it holds the library's tolerance before any
// dynamic initialiser of the module runs.
constinit double processTolerance = kTolerance;

constexpr double kFixedUpper = 32767.0 + 65535.0 / 65536.0;
constexpr double kFractScale = 1073741824.0; // 2^30
constexpr double kFractUpper = 1.0 + (kFractScale - 1.0) / kFractScale;

// The powers of ten the magnitude functions compare with, 1 to 1e15: all exact
// doubles.
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

template <typename Int>
bool Saturate(double x, Int& out) noexcept
{
    constexpr double low = std::numeric_limits<Int>::min();
    constexpr double high = std::numeric_limits<Int>::max();
    if (std::isnan(x)) {
        out = 0;
        return false;
    }
    if (x < low) {
        out = std::numeric_limits<Int>::min();
        return false;
    }
    if (x > high) {
        out = std::numeric_limits<Int>::max();
        return false;
    }
    out = static_cast<Int>(x);
    return true;
}

template <typename Int>
bool RoundAndSaturate(double x, Int& out, bool outward) noexcept
{
    constexpr double low = std::numeric_limits<Int>::min();
    constexpr double high = std::numeric_limits<Int>::max();
    // The range is judged on the value before rounding, so a coordinate that
    // only rounds into range is still reported.
    const bool inRange = x >= low && x <= high;
    Saturate(outward ? RoundOutward(x) : RoundToInteger(x), out);
    return inRange;
}

} // namespace

double ProcessTolerance() noexcept
{
    return processTolerance;
}

void SetProcessTolerance(double tolerance) noexcept
{
    processTolerance = tolerance;
}

bool NearlyEqual(double a, double b) noexcept
{
    return NearlyEqual(a, b, kTolerance);
}

bool NearlyEqual(double a, double b, double tolerance) noexcept
{
    if (a == b)
        return true; // equal infinities too, whose difference is NaN
    const double difference = std::fabs(a - b);
    // An infinite difference would pass the relative test against an
    // infinite magnitude.
    if (!std::isfinite(difference))
        return false;
    const double magA = std::fabs(a);
    const double magB = std::fabs(b);
    if (magA <= tolerance || magB <= tolerance)
        return difference <= tolerance;
    return difference <= std::fmax(magA, magB) * tolerance;
}

bool IsNearlyOne(double x) noexcept
{
    return std::fabs(x - 1.0) <= std::fmax(std::fabs(x), 1.0) * kUnitTolerance;
}

double RoundToInteger(double x) noexcept
{
    return x < 0 ? std::ceil(x - kRoundBias) : std::floor(x + kRoundBias);
}

double RoundOutward(double x) noexcept
{
    return x < 0 ? std::floor(x) : std::ceil(x);
}

bool SaturateToShort(double x, std::int16_t& out) noexcept
{
    return Saturate(x, out);
}

bool SaturateToLong(double x, std::int32_t& out) noexcept
{
    return Saturate(x, out);
}

std::int16_t AddSaturated16(std::int16_t a, std::int16_t b) noexcept
{
    std::int16_t sum = 0;
    Saturate(static_cast<double>(a) + b, sum);
    return sum;
}

bool ToShort(double x, std::int16_t& out, bool outward) noexcept
{
    return RoundAndSaturate(x, out, outward);
}

bool ToLong(double x, std::int32_t& out, bool outward) noexcept
{
    return RoundAndSaturate(x, out, outward);
}

double DoubleFromFixed(Fixed a) noexcept
{
    return static_cast<double>(a >> 16) + static_cast<double>(a & 0xFFFF) / 65536.0;
}

double DoubleFromFract(Fract a) noexcept
{
    return static_cast<double>(a >> 30) + static_cast<double>(a & 0x3FFFFFFF) / kFractScale;
}

Fixed FixedFromDouble(double x) noexcept
{
    if (std::isnan(x))
        return 0;
    if (x > kFixedUpper)
        return kFixedMax;
    if (x < -32768.0)
        return kFixedMin;
    const double whole = std::floor(x);
    const auto fraction = static_cast<std::int64_t>((x - whole) * 65536.0) & 0xFFFF;
    return static_cast<Fixed>(static_cast<std::int64_t>(whole) * 65536 + fraction);
}

Fract FractFromDouble(double x) noexcept
{
    if (std::isnan(x))
        return 0;
    if (x > kFractUpper)
        return kFixedMax;
    if (x < -2.0)
        return kFixedMin;
    const double whole = std::floor(x);
    const auto fraction = static_cast<std::int64_t>((x - whole) * kFractScale) & 0x3FFFFFFF;
    return static_cast<Fract>(static_cast<std::int64_t>(whole) * 1073741824 + fraction);
}

Fract MultiplyFract(Fract a, Fract b) noexcept
{
    return FractFromDouble(DoubleFromFract(a) * DoubleFromFract(b));
}

Fixed FixedFromLong(std::int32_t a) noexcept
{
    if (a > kShortMax)
        return kFixedMax;
    if (a < kShortMin)
        return kFixedMin;
    return static_cast<Fixed>(static_cast<std::uint32_t>(a) << 16);
}

int DecimalDigits(double x) noexcept
{
    const double magnitude = std::fabs(x);
    int digits = 0;
    // Written so that NaN, which fails every comparison, stops at 0.
    while (digits < 16 && magnitude >= kPowersOfTen[digits])
        ++digits;
    return digits;
}

int DecimalDigitsUnbounded(double x) noexcept
{
    const double magnitude = std::fabs(x);
    if (!(magnitude >= 1e15))
        return DecimalDigits(x);
    if (std::isinf(magnitude))
        return 310;
    const double exponent = std::log10(magnitude);
    const double digits = std::ceil(exponent);
    return static_cast<int>(digits) + (digits == exponent ? 1 : 0);
}

double PowerOfTenAbove(double x) noexcept
{
    const double magnitude = std::fabs(x);
    for (double power : kPowersOfTen) {
        if (!(magnitude >= power))
            return power;
    }
    return 1e16;
}

int ClassifyDouble(double x) noexcept
{
    switch (std::fpclassify(x)) {
    case FP_ZERO:
        return kDoubleZero;
    case FP_SUBNORMAL:
        return kDoubleDenormal;
    case FP_INFINITE:
        return kDoubleInfinite;
    case FP_NAN: {
        // IEEE 754 binary64: the leading bit of the significand marks a quiet NaN.
        constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;
        return (std::bit_cast<std::uint64_t>(x) & kQuietBit) != 0 ? kDoubleQuietNaN : kDoubleSignallingNaN;
    }
    default:
        return kDoubleNormal;
    }
}

} // namespace KXMath
