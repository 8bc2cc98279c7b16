// Transform2D, the plane affine transform: a 2x2 matrix and an offset applied
// to the library's point and rectangle types (Coordinates.h). Built from an
// angle with an optional mirror, decomposed back, composed, inverted with a
// relative singularity test, compared with the library tolerance, and applied
// forward and backward to double and 32-bit points, to rectangles (as their
// four corners) and to four-point shapes.
//
// Conventions shared by the whole file:
// - A point with horizontal x and vertical y maps to x' = x a + y c + tx and
//   y' = x b + y d + ty. For LongPoint and DoublePoint x is h and y is v,
//   whatever the field order.
// - Angles are in radians. Offsets are in the points' units.
// - The backward (ApplyInverse) forms subtract the offset and multiply by
//   the transposed matrix: they undo the forward forms only when the 2x2
//   part is orthonormal (a rotation, mirrored or not). For any other
//   transform invert it with Invert2D and apply the result.
// - Integer results: truncated towards zero or rounded by floor(x + 0.5) (no
//   bias), then saturated to 32 bits; a result is true only when no
//   coordinate saturated (NaN counts as saturated and gives 0).
// - Nothing allocates, throws or keeps state.
#pragma once

#include "math/Coordinates.h"

#include <array>

namespace KXMath {

struct Transform2D {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;
};

/// Four corners or the points of a four-point shape, in order.
using LongCorners = std::array<LongPoint, 4>;
using DoubleCorners = std::array<DoublePoint, 4>;

/// @name Building, decomposing and comparing
/// @{

/// (1, 0, 0, 1, 0, 0).
Transform2D IdentityTransform2D() noexcept;
Transform2D SetTransform2D(double a, double b, double c, double d, double tx, double ty) noexcept;
/// A rotation by `angle` radians, clockwise in mathematical axes (with s =
/// sin(-angle), k = cos(-angle): (k, s, -s, k)), or with `mirror` the
/// reflection (k, s, s, -k); offset (tx, ty). With the screen's downward v
/// the unmirrored rotation turns counter-clockwise on screen.
Transform2D Rotation2D(double angle, bool mirror, double tx, double ty) noexcept;
/// Mirrored when the determinant d a - b c is negative; angle = -atan2(c, a)
/// in radians (-pi to pi); the offset as stored. Undoes Rotation2D for
/// mirrored transforms; for unmirrored ones it gives the negated angle, the
/// two using opposite senses. Scale and shear are not reported.
void Decompose2D(const Transform2D& t, double& angle, bool& mirrored, double& tx, double& ty) noexcept;
/// All six values nearly equal by NearlyEqual (kTolerance), in storage order.
bool NearlyEqual(const Transform2D& t1, const Transform2D& t2) noexcept;
/// The transform that applies t1 first, then t2.
Transform2D Compose2D(const Transform2D& t1, const Transform2D& t2) noexcept;
/// The inverse of t in `out`, and true. False, with `out` unchanged, when t
/// is singular: when both terms of the determinant, a d and -(b c), are
/// zero, when the determinant is negligible against the size of its terms
/// (|det / (|a d| + |b c|)| <= 1e-13, a relative test, so tiny and huge
/// scales invert fine), or when any value is not finite.
bool Invert2D(const Transform2D& t, Transform2D& out) noexcept;
/// @}

/// @name Double points and rectangles
/// No rounding.
/// @{
void Apply(const Transform2D& t, double& x, double& y) noexcept;
DoublePoint Apply(const Transform2D& t, const DoublePoint& p) noexcept;
/// x' = dx a + dy b, y' = dx c + dy d with dx = x - tx, dy = y - ty.
void ApplyInverse(const Transform2D& t, double& x, double& y) noexcept;
DoublePoint ApplyInverse(const Transform2D& t, const DoublePoint& p) noexcept;
/// The corners (left, top), (right, top), (right, bottom), (left, bottom) of
/// r, in that order, each mapped.
DoubleCorners Apply(const Transform2D& t, const DoubleRect& r) noexcept;
DoubleCorners ApplyInverse(const Transform2D& t, const DoubleRect& r) noexcept;
/// A four-point shape in place, each point in order.
void Apply(const Transform2D& t, DoubleCorners& shape) noexcept;
void ApplyInverse(const Transform2D& t, DoubleCorners& shape) noexcept;
/// @}

/// @name 32-bit points and rectangles
/// Mapped in doubles, then made whole by `rounding` and saturated; true when
/// every coordinate fits. Every point is mapped even after one fails.
/// @{
bool Apply(const Transform2D& t, LongPoint& p, IntRounding rounding) noexcept;
bool ApplyInverse(const Transform2D& t, LongPoint& p, IntRounding rounding) noexcept;
/// The corners of r in the order of the double form.
bool Apply(const Transform2D& t, const LongRect& r, LongCorners& corners, IntRounding rounding) noexcept;
bool ApplyInverse(const Transform2D& t, const LongRect& r, LongCorners& corners, IntRounding rounding) noexcept;
/// A four-point shape in place.
bool Apply(const Transform2D& t, LongCorners& shape, IntRounding rounding) noexcept;
bool ApplyInverse(const Transform2D& t, LongCorners& shape, IntRounding rounding) noexcept;
/// @}

} // namespace KXMath
