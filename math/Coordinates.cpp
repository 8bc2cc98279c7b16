// Conversions, rectangle operations and angles of the plane coordinate types.
#include "math/Coordinates.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace KXMath {

namespace {

// The bound of the 24-bit coordinate kind, either sign.
constexpr double kRange24Limit = 16777215.0;

// Which edge a rectangle coordinate is, for outward rounding.
enum class Edge { kLow, kHigh };

template <typename Int>
bool ToInteger(double x, Int& out, bool outward, Edge edge) noexcept
{
    if (!outward || !std::isfinite(x)) {
        if constexpr (sizeof(Int) == 2)
            return ToShort(x, out, outward);
        else
            return ToLong(x, out, outward);
    }
    constexpr double low = std::numeric_limits<Int>::min();
    constexpr double high = std::numeric_limits<Int>::max();
    const bool inRange = x >= low && x <= high;
    if constexpr (sizeof(Int) == 2)
        SaturateToShort(edge == Edge::kLow ? std::floor(x) : std::ceil(x), out);
    else
        SaturateToLong(edge == Edge::kLow ? std::floor(x) : std::ceil(x), out);
    return inRange;
}

template <typename Int, typename Rect>
bool DoubleRectToInteger(const DoubleRect& r, Rect& out, bool outward) noexcept
{
    // Every coordinate is converted, even after one failed: the caller gets
    // the saturated rectangle either way.
    bool fits = ToInteger<Int>(r.top, out.top, outward, Edge::kLow);
    fits &= ToInteger<Int>(r.left, out.left, outward, Edge::kLow);
    fits &= ToInteger<Int>(r.bottom, out.bottom, outward, Edge::kHigh);
    fits &= ToInteger<Int>(r.right, out.right, outward, Edge::kHigh);
    return fits;
}

std::int16_t Wrap16(std::int32_t x) noexcept
{
    return static_cast<std::int16_t>(x); // modular since C++20
}

std::int16_t SwapBytes(std::int16_t x) noexcept
{
    const auto bits = static_cast<std::uint16_t>(x);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((bits << 8) | (bits >> 8)));
}

template <typename Rect>
bool Overlap(const Rect& a, const Rect& b) noexcept
{
    return b.top < a.bottom && b.left < a.right && a.left < b.right && a.top < b.bottom;
}

template <typename Rect>
bool Intersect(const Rect& a, const Rect& b, Rect& out) noexcept
{
    if (!Overlap(a, b)) {
        out = Rect{};
        return false;
    }
    out = Rect{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
               std::min(a.right, b.right)};
    return true;
}

bool IsEmpty(const LongRect& r) noexcept
{
    return !(r.top < r.bottom && r.left < r.right);
}

bool ScaleCoordinate(std::int32_t& c, double factor, double center, IntRounding rounding) noexcept
{
    const double scaled = (static_cast<double>(c) - center) * factor + center;
    const double whole = rounding == IntRounding::kNearest ? std::floor(scaled + 0.5) : std::trunc(scaled);
    return SaturateToLong(whole, c);
}

bool InRange(double value, double lower, double upper) noexcept
{
    return value >= lower && value <= upper;
}

} // namespace

bool NearlyEqual(const DoublePoint& a, const DoublePoint& b) noexcept
{
    return NearlyEqual(a.v, b.v) && NearlyEqual(a.h, b.h);
}

bool NotNearlyEqual(const DoublePoint& a, const DoublePoint& b) noexcept
{
    return !NearlyEqual(a, b);
}

bool NearlyEqualProcessTolerance(const DoublePoint& a, const DoublePoint& b) noexcept
{
    const double tolerance = ProcessTolerance();
    return NearlyEqual(a.v, b.v, tolerance) && NearlyEqual(a.h, b.h, tolerance);
}

bool NearlyEqual(const DoubleRect& a, const DoubleRect& b) noexcept
{
    return NearlyEqual(a.top, b.top) && NearlyEqual(a.left, b.left) && NearlyEqual(a.bottom, b.bottom) &&
           NearlyEqual(a.right, b.right);
}

bool IsNearlyZero(const DoublePoint& p) noexcept
{
    return std::fabs(p.h) <= kTolerance && std::fabs(p.v) <= kTolerance;
}

bool ToShortPoint(const DoublePoint& p, ShortPoint& out, bool outward) noexcept
{
    const bool vFits = ToShort(p.v, out.v, outward);
    const bool hFits = ToShort(p.h, out.h, outward);
    return vFits && hFits;
}

bool ToLongPoint(const DoublePoint& p, LongPoint& out, bool outward) noexcept
{
    const bool hFits = ToLong(p.h, out.h, outward);
    const bool vFits = ToLong(p.v, out.v, outward);
    return hFits && vFits;
}

bool ToShortRect(const DoubleRect& r, ShortRect& out, bool outward) noexcept
{
    return DoubleRectToInteger<std::int16_t>(r, out, outward);
}

bool ToLongRect(const DoubleRect& r, LongRect& out, bool outward) noexcept
{
    return DoubleRectToInteger<std::int32_t>(r, out, outward);
}

bool ToShortPoint(const LongPoint& p, ShortPoint& out) noexcept
{
    const bool vFits = SaturateToShort(p.v, out.v);
    const bool hFits = SaturateToShort(p.h, out.h);
    return vFits && hFits;
}

bool ToShortRect(const LongRect& r, ShortRect& out) noexcept
{
    bool fits = SaturateToShort(r.top, out.top);
    fits &= SaturateToShort(r.left, out.left);
    fits &= SaturateToShort(r.bottom, out.bottom);
    fits &= SaturateToShort(r.right, out.right);
    return fits;
}

DoublePoint ToDoublePoint(const LongPoint& p) noexcept
{
    return DoublePoint{static_cast<double>(p.v), static_cast<double>(p.h)};
}

DoubleRect ToDoubleRect(const LongRect& r) noexcept
{
    return DoubleRect{static_cast<double>(r.top), static_cast<double>(r.left), static_cast<double>(r.bottom),
                      static_cast<double>(r.right)};
}

void MakeRect(ShortRect& r, std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom) noexcept
{
    r = ShortRect{top, left, bottom, right};
}

ShortRect RectFromPoints(const ShortPoint& p1, const ShortPoint& p2) noexcept
{
    return ShortRect{std::min(p1.v, p2.v), std::min(p1.h, p2.h), std::max(p1.v, p2.v), std::max(p1.h, p2.h)};
}

std::int16_t RectWidth(const ShortRect& r) noexcept
{
    return Wrap16(r.right - r.left);
}

std::int16_t RectHeight(const ShortRect& r) noexcept
{
    return Wrap16(r.bottom - r.top);
}

ShortPoint RectCenter(const ShortRect& r) noexcept
{
    return ShortPoint{static_cast<std::int16_t>((r.top + r.bottom) / 2),
                      static_cast<std::int16_t>((r.left + r.right) / 2)};
}

void MoveRect(ShortRect& r, std::int16_t dh, std::int16_t dv) noexcept
{
    r.left = Wrap16(r.left + dh);
    r.right = Wrap16(r.right + dh);
    r.top = Wrap16(r.top + dv);
    r.bottom = Wrap16(r.bottom + dv);
}

void ShrinkRect(ShortRect& r, std::int16_t dh, std::int16_t dv) noexcept
{
    SaturateToShort(static_cast<double>(r.left) + dh, r.left);
    SaturateToShort(static_cast<double>(r.right) - dh, r.right);
    SaturateToShort(static_cast<double>(r.top) + dv, r.top);
    SaturateToShort(static_cast<double>(r.bottom) - dv, r.bottom);
}

bool RectsEqual(const ShortRect& a, const ShortRect& b) noexcept
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

bool IsRectEmpty(const ShortRect& r) noexcept
{
    return !(r.top < r.bottom && r.left < r.right);
}

bool IsPointInside(const ShortPoint& p, const ShortRect& r) noexcept
{
    return r.left < p.h && p.h < r.right && r.top < p.v && p.v < r.bottom;
}

bool IntersectRects(const ShortRect& a, const ShortRect& b, ShortRect& out) noexcept
{
    return Intersect(a, b, out);
}

void UniteRects(const ShortRect& a, const ShortRect& b, ShortRect& out) noexcept
{
    out = ShortRect{std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom),
                    std::max(a.right, b.right)};
}

std::int32_t PointLength(const ShortPoint& p) noexcept
{
    return static_cast<std::int32_t>(std::sqrt(static_cast<double>(p.v) * p.v + static_cast<double>(p.h) * p.h));
}

void SwapPointBytes(ShortPoint& p) noexcept
{
    p.v = SwapBytes(p.v);
    p.h = SwapBytes(p.h);
}

void SwapRectBytes(ShortRect& r) noexcept
{
    r.top = SwapBytes(r.top);
    r.left = SwapBytes(r.left);
    r.bottom = SwapBytes(r.bottom);
    r.right = SwapBytes(r.right);
}

bool IntersectRects(const LongRect& a, const LongRect& b, LongRect& out) noexcept
{
    if (IsEmpty(a) || IsEmpty(b)) {
        out = LongRect{};
        return false;
    }
    return Intersect(a, b, out);
}

bool IntersectRects(LongRect& a, const LongRect& b) noexcept
{
    return IntersectRects(a, b, a);
}

bool ScalePoint(LongPoint& p, double factor, IntRounding rounding) noexcept
{
    const bool hFits = ScaleCoordinate(p.h, factor, 0.0, rounding);
    const bool vFits = ScaleCoordinate(p.v, factor, 0.0, rounding);
    return hFits && vFits;
}

bool ScalePoint(LongPoint& p, double factor, const LongPoint& center, IntRounding rounding) noexcept
{
    const bool hFits = ScaleCoordinate(p.h, factor, center.h, rounding);
    const bool vFits = ScaleCoordinate(p.v, factor, center.v, rounding);
    return hFits && vFits;
}

bool ScaleRect(LongRect& r, double factor, IntRounding rounding) noexcept
{
    LongPoint topLeft{r.left, r.top};
    LongPoint bottomRight{r.right, r.bottom};
    // Both corners are scaled whatever the first one gives.
    const bool topLeftFits = ScalePoint(topLeft, factor, rounding);
    const bool fits = ScalePoint(bottomRight, factor, rounding) && topLeftFits;
    r = LongRect{topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
    return fits;
}

bool ScaleRect(LongRect& r, double factor, const LongPoint& center, IntRounding rounding) noexcept
{
    LongPoint topLeft{r.left, r.top};
    LongPoint bottomRight{r.right, r.bottom};
    const bool topLeftFits = ScalePoint(topLeft, factor, center, rounding);
    const bool fits = ScalePoint(bottomRight, factor, center, rounding) && topLeftFits;
    r = LongRect{topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
    return fits;
}

DoubleRect RectFromPoints(const DoublePoint& p1, const DoublePoint& p2) noexcept
{
    return DoubleRect{std::min(p1.v, p2.v), std::min(p1.h, p2.h), std::max(p1.v, p2.v), std::max(p1.h, p2.h)};
}

DoublePoint RectCenter(const DoubleRect& r) noexcept
{
    return DoublePoint{(r.top + r.bottom) * 0.5, (r.left + r.right) * 0.5};
}

bool IsPointInside(const DoublePoint& p, const DoubleRect& r) noexcept
{
    return r.left < p.h && p.h < r.right && r.top < p.v && p.v < r.bottom;
}

bool RectsOverlap(const DoubleRect& a, const DoubleRect& b) noexcept
{
    return Overlap(a, b);
}

bool IntersectRects(const DoubleRect& a, const DoubleRect& b, DoubleRect& out) noexcept
{
    return Intersect(a, b, out);
}

bool IntersectRects(DoubleRect& a, const DoubleRect& b) noexcept
{
    return Intersect(a, b, a);
}

void ScalePoint(DoublePoint& p, double factor) noexcept
{
    p.v *= factor;
    p.h *= factor;
}

void ScalePoint(DoublePoint& p, double factor, const DoublePoint& center) noexcept
{
    p.v = (p.v - center.v) * factor + center.v;
    p.h = (p.h - center.h) * factor + center.h;
}

void ScaleRect(DoubleRect& r, double factor) noexcept
{
    r = DoubleRect{r.top * factor, r.left * factor, r.bottom * factor, r.right * factor};
}

void ScaleRect(DoubleRect& r, double factor, const DoublePoint& center) noexcept
{
    DoublePoint topLeft{r.top, r.left};
    DoublePoint bottomRight{r.bottom, r.right};
    ScalePoint(topLeft, factor, center);
    ScalePoint(bottomRight, factor, center);
    r = DoubleRect{topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
}

double PointLength(const DoublePoint& p) noexcept
{
    return std::sqrt(p.v * p.v + p.h * p.h);
}

bool InRange(double value, int kind) noexcept
{
    if (kind == kRangeAny)
        return true;
    double upper = 0;
    double lower = 0;
    RangeBounds(kind, upper, lower);
    return InRange(value, lower, upper);
}

bool InRange(const DoublePoint& p, int kind) noexcept
{
    return InRange(p.v, kind) && InRange(p.h, kind);
}

bool InRange(const DoubleRect& r, int kind) noexcept
{
    return InRange(r.top, kind) && InRange(r.left, kind) && InRange(r.bottom, kind) && InRange(r.right, kind);
}

void RangeBounds(int kind, double& upper, double& lower) noexcept
{
    switch (kind) {
    case kRange16:
        upper = kShortMax;
        lower = kShortMin;
        break;
    case kRange24:
        upper = kRange24Limit;
        lower = -kRange24Limit;
        break;
    case kRange32:
        upper = kLongMax;
        lower = kLongMin;
        break;
    default:
        upper = 0;
        lower = 0;
        break;
    }
}

double VectorAngle(const DoublePoint& p) noexcept
{
    if (IsNearlyZero(p))
        return 0;
    // Negating v turns the screen's downward axis up; -0.0 keeps its sign, so
    // (v +0, h -1) lands on -180.
    return std::atan2(-p.v, p.h) * kDegreesPerRadian;
}

double VectorAngleRadians(const DoublePoint& p) noexcept
{
    if (IsNearlyZero(p))
        return 0;
    double angle = VectorAngle(p) * kRadiansPerDegree;
    if (angle < 0) {
        angle += 2 * std::numbers::pi;
        if (angle >= 2 * std::numbers::pi)
            angle = 0; // a negative angle too small to survive the addition
    }
    return angle;
}

double VectorAngleXY(const DoubleVector& d, bool isSigned) noexcept
{
    double angle = 0;
    if (std::fabs(d.x) <= kTolerance)
        angle = d.y > 0 ? 90.0 : -90.0;
    else
        angle = std::atan2(d.y, d.x) * kDegreesPerRadian;
    if (angle < 0 && !isSigned) {
        angle += 360.0;
        if (angle >= 360.0)
            angle = 0;
    }
    return angle;
}

} // namespace KXMath
