// Vectors, affine transforms and rotations in three dimensions.
#include "math/Transform3D.h"

#include "math/Numerics.h"

#include <algorithm>
#include <cmath>

namespace KXMath {

namespace {

constexpr double kParallelLimit = 0.9999;

bool IsZeroVector(const Vector3& v) noexcept
{
    return std::fabs(v.x) <= kTolerance && std::fabs(v.y) <= kTolerance && std::fabs(v.z) <= kTolerance;
}

double Snap(double x) noexcept
{
    return std::fabs(x) <= kTolerance ? 0.0 : x;
}

// The twelve values of a transform in storage order.
void ValuesOf(const Transform3D& t, double (&out)[12]) noexcept
{
    const Vector3* parts[4] = {&t.row[0], &t.row[1], &t.row[2], &t.offset};
    for (int i = 0; i < 4; ++i) {
        out[3 * i] = parts[i]->x;
        out[3 * i + 1] = parts[i]->y;
        out[3 * i + 2] = parts[i]->z;
    }
}

Transform3D AxisRotation(int axis, double degrees) noexcept
{
    Transform3D t = IdentityTransform3D();
    const double radians = degrees * kRadiansPerDegree;
    const double s = Snap(std::sin(radians));
    const double c = Snap(std::cos(radians));
    switch (axis) {
    case 1:
        t.row[1] = {0, c, s};
        t.row[2] = {0, -s, c};
        break;
    case 2:
        t.row[0] = {c, 0, -s};
        t.row[2] = {s, 0, c};
        break;
    case 3:
        t.row[0] = {c, s, 0};
        t.row[1] = {-s, c, 0};
        break;
    default:
        break;
    }
    return t;
}

Transform3D VectorRotation(const Vector3& u, double degrees) noexcept
{
    Transform3D t = IdentityTransform3D();
    if (degrees == 0)
        return t;
    const double radians = degrees * kRadiansPerDegree;
    const double s = std::sin(radians);
    const double c = std::cos(radians);
    const double k = 1 - c;
    t.row[0] = {k * u.x * u.x + c, k * u.x * u.y + s * u.z, k * u.x * u.z - s * u.y};
    t.row[1] = {k * u.x * u.y - s * u.z, k * u.y * u.y + c, k * u.y * u.z + s * u.x};
    t.row[2] = {k * u.x * u.z + s * u.y, k * u.y * u.z - s * u.x, k * u.z * u.z + c};
    return t;
}

Transform3D AxisRotationThrough(int axis, double degrees, const Vector3& center) noexcept
{
    // Moving the center to the origin, turning and moving back is the same
    // 3x3 part with the offset center - center * R.
    Transform3D t = AxisRotation(axis, degrees);
    t.offset = center - RotateVector(center, t);
    return t;
}

} // namespace

Vector3 operator+(const Vector3& a, const Vector3& b) noexcept
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vector3 operator-(const Vector3& a, const Vector3& b) noexcept
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector3 operator*(const Vector3& v, double s) noexcept
{
    return {v.x * s, v.y * s, v.z * s};
}

double Dot(const Vector3& a, const Vector3& b) noexcept
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector3 Cross(const Vector3& a, const Vector3& b) noexcept
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Length(const Vector3& v) noexcept
{
    return std::hypot(v.x, v.y, v.z);
}

bool Normalize(Vector3& v) noexcept
{
    if (IsZeroVector(v))
        return true;
    v = DivideVector(v, Length(v));
    return false;
}

Vector3 NormalizedCopy(const Vector3& v) noexcept
{
    Vector3 copy = v;
    Normalize(copy);
    return copy;
}

Vector3 DivideVector(const Vector3& v, double s) noexcept
{
    return {v.x / s, v.y / s, v.z / s};
}

Vector3 AbsVector(const Vector3& v) noexcept
{
    return {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)};
}

Box3 BoxFromPoints(const Vector3& p1, const Vector3& p2) noexcept
{
    return Box3{{std::max(p1.x, p2.x), std::max(p1.y, p2.y), std::max(p1.z, p2.z)},
                {std::min(p1.x, p2.x), std::min(p1.y, p2.y), std::min(p1.z, p2.z)}};
}

bool MakeOrthogonalFrame(Vector3& a, Vector3& b, Vector3& n, bool keepSecond) noexcept
{
    if (IsZeroVector(a) || IsZeroVector(b))
        return false;
    Normalize(a);
    Normalize(b);
    if (std::fabs(Dot(a, b)) >= kParallelLimit)
        return false;
    n = NormalizedCopy(Cross(a, b));
    if (keepSecond)
        a = NormalizedCopy(Cross(b, n));
    else
        b = NormalizedCopy(Cross(n, a));
    return true;
}

RGBTriple VectorToRGBTriple(const Vector3& v) noexcept
{
    const auto channel = [](double x) -> std::uint16_t {
        const double scaled = x * 65535.0;
        if (!(scaled > 0))
            return 0; // NaN too
        return static_cast<std::uint16_t>(std::min(scaled, 65535.0));
    };
    return RGBTriple{channel(v.x), channel(v.y), channel(v.z)};
}

Vector3 RGBTripleToVector(const RGBTriple& c) noexcept
{
    return {c.red / 65535.0, c.green / 65535.0, c.blue / 65535.0};
}

Transform3D IdentityTransform3D() noexcept
{
    static const Transform3D identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}};
    return identity;
}

Matrix4 IdentityMatrix4() noexcept
{
    static const Matrix4 identity = ToMatrix4(IdentityTransform3D());
    return identity;
}

Vector3 TransformPoint(const Vector3& p, const Transform3D& t) noexcept
{
    return RotateVector(p, t) + t.offset;
}

Vector3 RotateVector(const Vector3& v, const Transform3D& t) noexcept
{
    return t.row[0] * v.x + t.row[1] * v.y + t.row[2] * v.z;
}

Vector3 InverseTransformPoint(const Vector3& p, const Transform3D& t) noexcept
{
    return InverseRotateVector(p - t.offset, t);
}

Vector3 InverseRotateVector(const Vector3& v, const Transform3D& t) noexcept
{
    return {Dot(v, t.row[0]), Dot(v, t.row[1]), Dot(v, t.row[2])};
}

void TransformRay(std::span<Vector3, 2> ray, const Transform3D& t) noexcept
{
    ray[0] = TransformPoint(ray[0], t);
    ray[1] = RotateVector(ray[1], t);
}

void InverseTransformRay(std::span<Vector3, 2> ray, const Transform3D& t) noexcept
{
    ray[0] = InverseTransformPoint(ray[0], t);
    ray[1] = InverseRotateVector(ray[1], t);
}

void TransformCorners(std::span<Vector3, 8> corners, const Transform3D& t) noexcept
{
    for (Vector3& corner : corners)
        corner = TransformPoint(corner, t);
}

bool IsIdentityRotation(const Transform3D& t) noexcept
{
    const Transform3D identity = IdentityTransform3D();
    for (int i = 0; i < 3; ++i) {
        if (t.row[i].x != identity.row[i].x || t.row[i].y != identity.row[i].y || t.row[i].z != identity.row[i].z)
            return false;
    }
    return true;
}

int CompareTransforms(const Transform3D& a, const Transform3D& b) noexcept
{
    double valuesA[12];
    double valuesB[12];
    ValuesOf(a, valuesA);
    ValuesOf(b, valuesB);
    for (int i = 0; i < 12; ++i) {
        if (valuesA[i] < valuesB[i])
            return -1;
        if (valuesB[i] < valuesA[i])
            return 1;
    }
    return 0;
}

bool RepairNaN(Transform3D& t) noexcept
{
    bool repaired = false;
    for (const Vector3& row : t.row) {
        if (std::isnan(row.x) || std::isnan(row.y) || std::isnan(row.z))
            repaired = true;
    }
    if (repaired) {
        const Transform3D identity = IdentityTransform3D();
        std::copy(std::begin(identity.row), std::end(identity.row), std::begin(t.row));
    }
    for (double* component : {&t.offset.x, &t.offset.y, &t.offset.z}) {
        if (std::isnan(*component)) {
            *component = 0;
            repaired = true;
        }
    }
    return repaired;
}

bool IsOrthonormal(const Transform3D& t, bool twoRowsOnly) noexcept
{
    if (!IsNearlyOne(Dot(t.row[0], t.row[0])) || !IsNearlyOne(Dot(t.row[1], t.row[1])))
        return false;
    if (twoRowsOnly)
        return true;
    const double determinant = Dot(t.row[2], Cross(t.row[0], t.row[1]));
    return IsNearlyOne(Dot(t.row[2], t.row[2])) && IsNearlyOne(std::fabs(determinant));
}

void Orthonormalize(Transform3D& t) noexcept
{
    Normalize(t.row[0]);
    t.row[1] = t.row[1] - t.row[0] * Dot(t.row[1], t.row[0]);
    Normalize(t.row[1]);
    t.row[2] = t.row[2] - t.row[1] * Dot(t.row[2], t.row[1]) - t.row[0] * Dot(t.row[2], t.row[0]);
    Normalize(t.row[2]);
}

Matrix4 ToMatrix4(const Transform3D& t) noexcept
{
    Matrix4 m;
    const Vector3* parts[4] = {&t.row[0], &t.row[1], &t.row[2], &t.offset};
    for (int i = 0; i < 4; ++i) {
        m.m[i][0] = parts[i]->x;
        m.m[i][1] = parts[i]->y;
        m.m[i][2] = parts[i]->z;
        m.m[i][3] = i == 3 ? 1.0 : 0.0;
    }
    return m;
}

Transform3D FromMatrix4(const Matrix4& m) noexcept
{
    Transform3D t;
    Vector3* parts[4] = {&t.row[0], &t.row[1], &t.row[2], &t.offset};
    for (int i = 0; i < 4; ++i)
        *parts[i] = {m.m[i][0], m.m[i][1], m.m[i][2]};
    return t;
}

Matrix4 MultiplyMatrix4(const Matrix4& a, const Matrix4& b) noexcept
{
    Matrix4 product;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[i][k] * b.m[k][j];
            product.m[i][j] = sum;
        }
    }
    return product;
}

void RotationAboutAxis(int axis, double degrees, Transform3D& out) noexcept
{
    out = AxisRotation(axis, degrees);
}

void RotationAboutAxis(int axis, double degrees, Matrix4& out) noexcept
{
    out = ToMatrix4(AxisRotation(axis, degrees));
}

void RotationAboutVector(const Vector3& u, double degrees, Transform3D& out) noexcept
{
    out = VectorRotation(u, degrees);
}

void RotationAboutVector(const Vector3& u, double degrees, Matrix4& out) noexcept
{
    out = ToMatrix4(VectorRotation(u, degrees));
}

void RotationAboutAxisThrough(int axis, double degrees, const Vector3& center, Transform3D& out) noexcept
{
    out = AxisRotationThrough(axis, degrees, center);
}

void RotationAboutAxisThrough(int axis, double degrees, const Vector3& center, Matrix4& out) noexcept
{
    out = ToMatrix4(AxisRotationThrough(axis, degrees, center));
}

} // namespace KXMath
