// The three-dimensional layer of the math library: a double vector, an affine
// transform made of a 3x3 matrix and an offset (Transform3D), the same
// transform widened to a 4x4 matrix (Matrix4), and the operations that
// normalise vectors, build rotations, transform points and directions forward
// and backward, keep matrices orthonormal and repair matrices holding NaN.
//
// Conventions shared by the whole file:
// - Points are row vectors multiplied from the left: p' = x * row 0 + y *
//   row 1 + z * row 2 + offset. For a rotation the rows are the images of the
//   unit axes.
// - Angles are in degrees. Lengths are in the caller's units.
// - "Zero vector" means every component within kTolerance (1e-13) of zero.
//   Unit lengths are tested by IsNearlyOne (relative 1e-6).
// - Arithmetic follows IEEE doubles: NaN and infinities pass through unless a
//   declaration says otherwise (RepairNaN removes them from transforms).
// - Nothing allocates or throws. The identity constants are built once, on
//   first use (thread-safe), and handed out as copies.
#pragma once

#include "math/ColorValue.h"

#include <span>

namespace KXMath {

/// @name Types
/// @{
struct Vector3 {
    double x = 0;
    double y = 0;
    double z = 0;
};

/// Twelve doubles: rows 0 to 2 of the 3x3 part, then the offset.
struct Transform3D {
    Vector3 row[3];
    Vector3 offset;
};

/// Row-major. Only affine matrices are built here: rows 0 to 2 hold the 3x3
/// rows followed by 0, row 3 the offset followed by 1.
struct Matrix4 {
    double m[4][4] = {};
};

/// An axis-aligned box: the largest coordinates, then the smallest.
struct Box3 {
    Vector3 maximum;
    Vector3 minimum;
};
/// @}

/// @name Vector arithmetic
/// @{
Vector3 operator+(const Vector3& a, const Vector3& b) noexcept;
Vector3 operator-(const Vector3& a, const Vector3& b) noexcept;
Vector3 operator*(const Vector3& v, double s) noexcept;
double Dot(const Vector3& a, const Vector3& b) noexcept;
Vector3 Cross(const Vector3& a, const Vector3& b) noexcept;
/// The Euclidean length, computed without overflow or underflow on the way.
double Length(const Vector3& v) noexcept;
/// @}

/// @name Vectors
/// @{

/// Divides v by its length and returns false; for a zero vector (every
/// component within kTolerance of zero) leaves v unchanged and returns true.
/// A vector holding NaN becomes all NaN.
bool Normalize(Vector3& v) noexcept;
/// A copy of v normalised as by Normalize (a zero vector comes back as is).
Vector3 NormalizedCopy(const Vector3& v) noexcept;
/// Each component divided by s; s = 0 gives infinities (and NaN for zero
/// components), as IEEE division does.
Vector3 DivideVector(const Vector3& v, double s) noexcept;
Vector3 AbsVector(const Vector3& v) noexcept;
/// The per-axis maxima and minima of two points.
Box3 BoxFromPoints(const Vector3& p1, const Vector3& p2) noexcept;
/// Builds an orthonormal frame from a and b: normalises both, sets n to the
/// normalised a x b, then makes a = normalised b x n when keepSecond is set
/// (b keeps its direction) or b = normalised n x a when not (a keeps it).
/// False, with nothing changed, when a or b is a zero vector; false, with a
/// and b normalised and n unchanged, when |a . b| >= 0.9999 (nearly
/// parallel).
bool MakeOrthogonalFrame(Vector3& a, Vector3& b, Vector3& n, bool keepSecond) noexcept;
/// x red, y green, z blue: each component * 65535, limited to 0 to 65535,
/// truncated (0.5 gives 32767); NaN gives 0.
RGBTriple VectorToRGBTriple(const Vector3& v) noexcept;
/// Each 16-bit channel / 65535, so 0 to 1.
Vector3 RGBTripleToVector(const RGBTriple& c) noexcept;
/// @}

/// @name Identities
/// @{
Transform3D IdentityTransform3D() noexcept;
Matrix4 IdentityMatrix4() noexcept;
/// @}

/// @name Applying transforms
/// The inverse forms multiply by the transpose: they undo the forward forms
/// only when the 3x3 part is orthonormal (see IsOrthonormal).
/// @{
Vector3 TransformPoint(const Vector3& p, const Transform3D& t) noexcept;
/// The 3x3 part only, for directions.
Vector3 RotateVector(const Vector3& v, const Transform3D& t) noexcept;
/// (d . row 0, d . row 1, d . row 2) with d = p - offset.
Vector3 InverseTransformPoint(const Vector3& p, const Transform3D& t) noexcept;
Vector3 InverseRotateVector(const Vector3& v, const Transform3D& t) noexcept;
/// In place: ray[0] as a point, ray[1] as a direction.
void TransformRay(std::span<Vector3, 2> ray, const Transform3D& t) noexcept;
void InverseTransformRay(std::span<Vector3, 2> ray, const Transform3D& t) noexcept;
/// In place: eight points, a box's corners.
void TransformCorners(std::span<Vector3, 8> corners, const Transform3D& t) noexcept;
/// @}

/// @name Inspecting and repairing transforms
/// @{

/// Whether the 3x3 part is exactly the identity (the offset is ignored).
bool IsIdentityRotation(const Transform3D& t) noexcept;
/// -1, 0 or 1 by the first pair of the twelve values, in storage order, of
/// which one is smaller (-1 when a's is). A NaN is neither smaller nor
/// greater, so its pair never decides: repair NaN first for a strict order.
int CompareTransforms(const Transform3D& a, const Transform3D& b) noexcept;
/// When any of the nine matrix values is NaN the 3x3 part becomes the
/// identity; each NaN offset component becomes 0. True when anything was
/// replaced. Infinities are left alone.
bool RepairNaN(Transform3D& t) noexcept;
/// Rows 0 and 1 of squared length nearly 1 (IsNearlyOne); unless
/// twoRowsOnly, also row 2, and |det| = |row 2 . (row 0 x row 1)| nearly 1.
/// Orthogonality is not tested apart from the determinant.
bool IsOrthonormal(const Transform3D& t, bool twoRowsOnly) noexcept;
/// Gram-Schmidt on the rows in order (row 0 normalised; row 1 minus its part
/// along row 0, normalised; row 2 minus its parts along rows 1 and 0,
/// normalised); a row that becomes a zero vector stays as it is, so a
/// degenerate matrix does not become orthonormal. The offset is unchanged.
void Orthonormalize(Transform3D& t) noexcept;
/// @}

/// @name 4x4 matrices
/// @{
Matrix4 ToMatrix4(const Transform3D& t) noexcept;
/// Drops the fourth column; it is not checked.
Transform3D FromMatrix4(const Matrix4& m) noexcept;
/// The product a * b: with row vectors, a applies first, then b.
Matrix4 MultiplyMatrix4(const Matrix4& a, const Matrix4& b) noexcept;
/// @}

/// @name Rotations
/// Each replaces `out` with the rotation; a positive angle turns x towards y
/// about z, y towards z about x, and z towards x about y.
/// @{

/// About a coordinate axis: 1 x, 2 y, 3 z; any other code gives the
/// identity. Sine and cosine within kTolerance of zero are snapped to 0, so
/// multiples of 90 degrees give exact matrices. About z the rows are (c, s,
/// 0) and (-s, c, 0).
void RotationAboutAxis(int axis, double degrees, Transform3D& out) noexcept;
void RotationAboutAxis(int axis, double degrees, Matrix4& out) noexcept;
/// About the unit vector u (not normalised here: a non-unit u scales and
/// shears). An angle of exactly 0 gives the identity whatever u is. No
/// snapping.
void RotationAboutVector(const Vector3& u, double degrees, Transform3D& out) noexcept;
void RotationAboutVector(const Vector3& u, double degrees, Matrix4& out) noexcept;
/// About a coordinate axis through `center`: the center stays fixed.
void RotationAboutAxisThrough(int axis, double degrees, const Vector3& center, Transform3D& out) noexcept;
void RotationAboutAxisThrough(int axis, double degrees, const Vector3& center, Matrix4& out) noexcept;
/// @}

} // namespace KXMath
