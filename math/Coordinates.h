// The plane coordinate types of the library in three precisions (16-bit,
// 32-bit and double points and rectangles), the conversions between them, the
// rectangle operations of each family, and angles of vectors.
//
// Contracts that hold for the whole file:
// - All types are plain values without invariants. A rectangle whose bottom
//   is not below its top, or whose right is not right of its left, is empty
//   but legal; operations take it as it is unless they say otherwise.
// - The screen's vertical axis points down: v (and top/bottom) grows
//   downwards, h (and left/right) to the right.
// - Field order differs between the families and is part of the types:
//   ShortPoint and DoublePoint store v then h, LongPoint h then v.
// - 16-bit arithmetic wraps unless a declaration says it saturates; nothing
//   else here wraps. Conversions from doubles round by RoundToInteger (or
//   outward on request), saturate, and map NaN to 0 (Numerics.h).
// - Units: coordinates are whatever the caller's space is (usually pixels or
//   document units); angles are in degrees unless the name says radians.
// - Nothing allocates, throws or keeps state.
#pragma once

#include "math/Numerics.h"

#include <cstdint>

namespace KXMath {

/// @name The coordinate types
/// @{
struct ShortPoint {
    std::int16_t v = 0;
    std::int16_t h = 0;
};
struct ShortRect {
    std::int16_t top = 0;
    std::int16_t left = 0;
    std::int16_t bottom = 0;
    std::int16_t right = 0;
};
struct LongPoint {
    std::int32_t h = 0;
    std::int32_t v = 0;
};
struct LongRect {
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t bottom = 0;
    std::int32_t right = 0;
};
struct DoublePoint {
    double v = 0;
    double h = 0;
};
struct DoubleRect {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
};
/// A direction in mathematical axes (y up), for VectorAngleXY.
struct DoubleVector {
    double x = 0;
    double y = 0;
};
/// @}

/// @name Tolerance comparisons of double shapes
/// Each coordinate by NearlyEqual(double, double) with kTolerance.
/// @{
bool NearlyEqual(const DoublePoint& a, const DoublePoint& b) noexcept;
/// The negation of NearlyEqual: true when the points differ.
bool NotNearlyEqual(const DoublePoint& a, const DoublePoint& b) noexcept;
/// NearlyEqual with the process-wide tolerance (ProcessTolerance) in place of
/// kTolerance; the same answer while that holds its load-time value.
bool NearlyEqualProcessTolerance(const DoublePoint& a, const DoublePoint& b) noexcept;
bool NearlyEqual(const DoubleRect& a, const DoubleRect& b) noexcept;
/// |h| <= kTolerance and |v| <= kTolerance.
bool IsNearlyZero(const DoublePoint& p) noexcept;
/// @}

/// @name Conversions
/// From doubles: each coordinate is rounded by RoundToInteger, or with
/// `outward` set, outward: a point's coordinates away from zero, a
/// rectangle's top and left down (floor) and its bottom and right up
/// (ceiling), so the integer rectangle covers the double one. Then saturated.
/// The result is true when every source coordinate lay within the target
/// range before rounding; the saturated values are stored either way.
/// Between integer types: narrowing saturates (true when nothing did),
/// widening is exact.
/// @{
bool ToShortPoint(const DoublePoint& p, ShortPoint& out, bool outward = false) noexcept;
bool ToLongPoint(const DoublePoint& p, LongPoint& out, bool outward = false) noexcept;
bool ToShortRect(const DoubleRect& r, ShortRect& out, bool outward = false) noexcept;
bool ToLongRect(const DoubleRect& r, LongRect& out, bool outward = false) noexcept;
bool ToShortPoint(const LongPoint& p, ShortPoint& out) noexcept;
bool ToShortRect(const LongRect& r, ShortRect& out) noexcept;
DoublePoint ToDoublePoint(const LongPoint& p) noexcept;
DoubleRect ToDoubleRect(const LongRect& r) noexcept;
/// @}

/// @name 16-bit points and rectangles
/// @{

/// Sets r from the arguments, given in the order left, top, right, bottom.
void MakeRect(ShortRect& r, std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom) noexcept;
/// The smallest rectangle with both points as corners (never reordered
/// inside out: top <= bottom, left <= right).
ShortRect RectFromPoints(const ShortPoint& p1, const ShortPoint& p2) noexcept;
/// right - left and bottom - top, wrapping to 16 bits (a rectangle wider than
/// 32767 gives a negative width).
std::int16_t RectWidth(const ShortRect& r) noexcept;
std::int16_t RectHeight(const ShortRect& r) noexcept;
/// The midpoint, each coordinate's sum halved by integer division (towards
/// zero); computed without overflow.
ShortPoint RectCenter(const ShortRect& r) noexcept;
/// Offsets the rectangle by dh and dv, wrapping at the 16-bit limits.
void MoveRect(ShortRect& r, std::int16_t dh, std::int16_t dv) noexcept;
/// Moves left and top in by dh and dv and right and bottom in by the same
/// (negative values grow the rectangle); each field saturates.
void ShrinkRect(ShortRect& r, std::int16_t dh, std::int16_t dv) noexcept;
bool RectsEqual(const ShortRect& a, const ShortRect& b) noexcept;
/// True unless top < bottom and left < right.
bool IsRectEmpty(const ShortRect& r) noexcept;
/// Strictly inside: a point on an edge or corner is outside.
bool IsPointInside(const ShortPoint& p, const ShortRect& r) noexcept;
/// The overlap of a and b when it has a positive area (touching edges do not
/// count): out = the overlap, true. Otherwise out is all zero and false.
/// Empty operands are taken as they are. out may alias a or b.
bool IntersectRects(const ShortRect& a, const ShortRect& b, ShortRect& out) noexcept;
/// The smallest rectangle holding both, empty operands included as they are.
/// out may alias a or b.
void UniteRects(const ShortRect& a, const ShortRect& b, ShortRect& out) noexcept;
/// sqrt(v^2 + h^2), truncated; up to 46340, so it is returned in 32 bits.
std::int32_t PointLength(const ShortPoint& p) noexcept;
/// Exchanges the two bytes of each field (byte-order conversion).
void SwapPointBytes(ShortPoint& p) noexcept;
void SwapRectBytes(ShortRect& r) noexcept;
/// @}

/// @name 32-bit points and rectangles
/// @{

/// As for 16-bit rectangles, but both must also be non-empty for the
/// overlap to count. out may alias a or b.
bool IntersectRects(const LongRect& a, const LongRect& b, LongRect& out) noexcept;
/// In place: a becomes the overlap, or all zero when there is none.
bool IntersectRects(LongRect& a, const LongRect& b) noexcept;
/// Scales p about the origin: each coordinate c becomes c * factor, rounded
/// (floor(x + 0.5), no bias) or truncated towards zero, then saturated to 32
/// bits. True when both fit without saturation (NaN never fits and gives 0).
bool ScalePoint(LongPoint& p, double factor, IntRounding rounding = IntRounding::kNearest) noexcept;
/// As above about center: c becomes (c - center) * factor + center.
bool ScalePoint(LongPoint& p, double factor, const LongPoint& center,
                IntRounding rounding = IntRounding::kNearest) noexcept;
/// Scales the corners (left, top) and (right, bottom) as points; true when
/// all four coordinates fit.
bool ScaleRect(LongRect& r, double factor, IntRounding rounding = IntRounding::kNearest) noexcept;
bool ScaleRect(LongRect& r, double factor, const LongPoint& center,
               IntRounding rounding = IntRounding::kNearest) noexcept;
/// @}

/// @name Double points and rectangles
/// No rounding and no tolerance: these compare exactly.
/// @{
DoubleRect RectFromPoints(const DoublePoint& p1, const DoublePoint& p2) noexcept;
DoublePoint RectCenter(const DoubleRect& r) noexcept;
/// Strictly inside: a point on an edge is outside.
bool IsPointInside(const DoublePoint& p, const DoubleRect& r) noexcept;
/// Whether a and b overlap with a positive area.
bool RectsOverlap(const DoubleRect& a, const DoubleRect& b) noexcept;
/// As for 16-bit rectangles; out may alias a or b.
bool IntersectRects(const DoubleRect& a, const DoubleRect& b, DoubleRect& out) noexcept;
/// In place: a becomes the overlap, or all zero when there is none.
bool IntersectRects(DoubleRect& a, const DoubleRect& b) noexcept;
/// c becomes c * factor (about the origin) or (c - center) * factor + center.
void ScalePoint(DoublePoint& p, double factor) noexcept;
void ScalePoint(DoublePoint& p, double factor, const DoublePoint& center) noexcept;
void ScaleRect(DoubleRect& r, double factor) noexcept;
void ScaleRect(DoubleRect& r, double factor, const DoublePoint& center) noexcept;
/// sqrt(v^2 + h^2).
double PointLength(const DoublePoint& p) noexcept;
/// @}

/// @name Ranges of integer coordinate kinds
/// The kinds: 0 unbounded; 1 16-bit (-32768 to 32767); 2 24-bit magnitude
/// (-16777215 to 16777215); 3 32-bit (-2147483648 to 2147483647). Any other
/// kind admits 0 only. Bounds are inclusive; NaN is in range of kind 0 only.
/// @{
enum RangeKind : int { kRangeAny = 0, kRange16 = 1, kRange24 = 2, kRange32 = 3 };
bool InRange(double value, int kind) noexcept;
bool InRange(const DoublePoint& p, int kind) noexcept;
bool InRange(const DoubleRect& r, int kind) noexcept;
/// The bounds of kinds 1 to 3; (0, 0) for any other kind, kind 0 included.
void RangeBounds(int kind, double& upper, double& lower) noexcept;
/// @}

/// @name Angles
/// @{

/// The direction of p in degrees, -180 to 180 inclusive, counter-clockwise
/// from the positive h axis as seen on screen (up the screen, negative v, is
/// +90). 0 for a nearly zero p (IsNearlyZero). The sign of a zero v decides
/// between -180 and 180: (v +0, h -1) gives -180.
double VectorAngle(const DoublePoint& p) noexcept;
/// The same direction in radians, in [0, 2*pi); 0 for a nearly zero p.
double VectorAngleRadians(const DoublePoint& p) noexcept;
/// The direction of d in degrees in mathematical axes (y up), -180 to 180
/// when `isSigned` is set, else 0 to 360 (360 excluded: a negative angle has
/// 360 added). With |x| <= kTolerance the direction is taken as vertical:
/// 90 for y > 0, -90 (or 270) otherwise, so a zero vector points down.
double VectorAngleXY(const DoubleVector& d, bool isSigned) noexcept;
/// @}

} // namespace KXMath
