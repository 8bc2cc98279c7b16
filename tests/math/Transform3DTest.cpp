// Vectors and three-dimensional transforms: normalising and frames at their
// degenerate inputs, exact right-angle rotations, NaN repair and ordering,
// orthonormality; and over random rotations, that the builders agree, the
// inverse forms undo the forward ones, the 4x4 product applies in order and
// Orthonormalize gives IsOrthonormal.
#include "MathTestSupport.h"

#include "math/Transform3D.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

using namespace KXMath;
using KXMathTest::kRandomCases;
using KXMathTest::Random;
using Three = std::array<double, 3>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Three Values(const Vector3& v)
{
    return {v.x, v.y, v.z};
}

double Distance(const Vector3& a, const Vector3& b)
{
    return Length(a - b);
}

Vector3 RandomVector(Random& random, double extent)
{
    return {random.Uniform(-extent, extent), random.Uniform(-extent, extent), random.Uniform(-extent, extent)};
}

TEST(Transform3DTest, NormalizeFramesAndColors)
{
    Vector3 tiny{0, 0, 1e-14};
    EXPECT_TRUE(Normalize(tiny));
    EXPECT_EQ(Values(tiny), (Three{0, 0, 1e-14}));
    for (double scale : {1.0, 1e200, 1e-100}) {
        Vector3 v{3 * scale, 0, 4 * scale};
        EXPECT_EQ(Normalize(v), scale < 1e-13) << scale;
        if (scale >= 1) {
            EXPECT_LE(Distance(v, {0.6, 0, 0.8}), 1e-15) << scale;
        }
    }

    Vector3 a{1, 0, 0}, b{1, 0.001, 0}, n{9, 9, 9};
    EXPECT_FALSE(MakeOrthogonalFrame(a, b, n, false)) << "nearly parallel";
    EXPECT_EQ(Values(n), (Three{9, 9, 9}));
    a = {2, 0, 0};
    Vector3 zero{0, 0, 1e-14};
    EXPECT_FALSE(MakeOrthogonalFrame(a, zero, n, false));
    EXPECT_EQ(Values(a), (Three{2, 0, 0})) << "left alone";
    const double r = std::sqrt(0.5);
    for (const auto& [keepSecond, expectedA, expectedB] :
         {std::tuple<bool, Vector3, Vector3>{false, {1, 0, 0}, {0, 1, 0}}, {true, {r, -r, 0}, {r, r, 0}}}) {
        a = {2, 0, 0};
        b = {1, 1, 0};
        EXPECT_TRUE(MakeOrthogonalFrame(a, b, n, keepSecond));
        EXPECT_LE(Distance(n, {0, 0, 1}) + Distance(a, expectedA) + Distance(b, expectedB), 1e-15) << keepSecond;
    }

    const RGBTriple c = VectorToRGBTriple({1.2, 0.5, -0.1});
    EXPECT_EQ((Three{double(c.red), double(c.green), double(c.blue)}), (Three{65535, 32767, 0}));
    EXPECT_EQ(VectorToRGBTriple({kNaN, 0, 0}).red, 0);
    EXPECT_LE(Distance(RGBTripleToVector(RGBTriple{65535, 0, 13107}), {1, 0, 0.2}), 1e-16);
}

TEST(Transform3DTest, AxisRotationsSnapRightAngles)
{
    Transform3D t;
    RotationAboutAxis(3, 90, t);
    EXPECT_EQ(Values(t.row[0]), (Three{0, 1, 0}));
    EXPECT_EQ(Values(t.row[1]), (Three{-1, 0, 0}));
    EXPECT_EQ(Values(TransformPoint({1, 0, 0}, t)), (Three{0, 1, 0}));
    // Every multiple of 90 degrees about every axis gives exact entries, and
    // a quarter turn takes y to z about x, z to x about y.
    for (int axis = 1; axis <= 3; ++axis) {
        for (double degrees : {-90.0, 90.0, 180.0, 270.0, 450.0}) {
            RotationAboutAxis(axis, degrees, t);
            for (const Vector3& row : t.row) {
                for (double entry : Values(row))
                    ASSERT_TRUE(entry == 0 || std::fabs(entry) == 1) << "axis " << axis << " by " << degrees;
            }
        }
    }
    RotationAboutAxis(1, 90, t);
    EXPECT_EQ(Values(RotateVector({0, 1, 0}, t)), (Three{0, 0, 1}));
    RotationAboutAxis(2, 90, t);
    EXPECT_EQ(Values(RotateVector({0, 0, 1}, t)), (Three{1, 0, 0}));

    RotationAboutAxis(4, 30, t);
    EXPECT_EQ(CompareTransforms(t, IdentityTransform3D()), 0);
    RotationAboutVector({3, 4, 5}, 0, t);
    EXPECT_EQ(CompareTransforms(t, IdentityTransform3D()), 0) << "angle 0 ignores the vector";

    Matrix4 m;
    RotationAboutAxisThrough(3, 90, {10, 0, 0}, m);
    EXPECT_EQ(Values(TransformPoint({10, 0, 0}, FromMatrix4(m))), (Three{10, 0, 0})) << "the center stays";
    EXPECT_EQ(Values(TransformPoint({11, 0, 0}, FromMatrix4(m))), (Three{10, 1, 0}));
    EXPECT_EQ(m.m[3][3], 1);
    EXPECT_EQ(m.m[0][3], 0);
}

TEST(Transform3DTest, RandomRotationsAgreeInvertAndCompose)
{
    Random random(41);
    for (int i = 0; i < kRandomCases; ++i) {
        const double degrees = random.Uniform(-720, 720);
        Transform3D aboutAxis, aboutVector;
        RotationAboutAxis(2, degrees, aboutAxis);
        RotationAboutVector({0, 1, 0}, degrees, aboutVector);
        for (int row = 0; row < 3; ++row)
            ASSERT_LE(Distance(aboutAxis.row[row], aboutVector.row[row]), 1e-12) << degrees;

        Transform3D t, second;
        RotationAboutVector(NormalizedCopy(RandomVector(random, 1)), degrees, t);
        RotationAboutAxisThrough(int(random.Integer(1, 3)), random.Uniform(-360, 360), RandomVector(random, 10), second);
        t.offset = RandomVector(random, 100);
        const Vector3 p = RandomVector(random, 1000);
        ASSERT_LE(Distance(InverseTransformPoint(TransformPoint(p, t), t), p), 1e-9);
        ASSERT_LE(Distance(InverseRotateVector(RotateVector(p, t), t), p), 1e-9);
        Vector3 ray[2] = {p, p};
        TransformRay(ray, t);
        ASSERT_LE(Distance(ray[0] - ray[1], t.offset), 1e-9) << "only the point moves by the offset";
        InverseTransformRay(ray, t);
        ASSERT_LE(Distance(ray[0], p) + Distance(ray[1], p), 2e-9);

        const Transform3D both = FromMatrix4(MultiplyMatrix4(ToMatrix4(t), ToMatrix4(second)));
        ASSERT_LE(Distance(TransformPoint(p, both), TransformPoint(TransformPoint(p, t), second)), 1e-9);
    }
    const Matrix4 identity = IdentityMatrix4();
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(identity.m[r][c], r == c ? 1.0 : 0.0);
    }
}

TEST(Transform3DTest, OrthonormalizeGivesOrthonormalRows)
{
    Random random(42);
    for (int i = 0; i < kRandomCases; ++i) {
        Transform3D t{{RandomVector(random, 5), RandomVector(random, 5), RandomVector(random, 5)},
                      RandomVector(random, 5)};
        const Vector3 offset = t.offset;
        Orthonormalize(t);
        ASSERT_TRUE(IsOrthonormal(t, false));
        ASSERT_LE(std::fabs(Dot(t.row[0], t.row[1])) + std::fabs(Dot(t.row[0], t.row[2])) +
                      std::fabs(Dot(t.row[1], t.row[2])),
                  1e-9);
        ASSERT_EQ(Values(t.offset), Values(offset));
    }
    Transform3D degenerate{{{1, 0, 0}, {2, 0, 0}, {0, 0, 3}}, {}};
    Orthonormalize(degenerate);
    EXPECT_EQ(Values(degenerate.row[1]), (Three{0, 0, 0})) << "a row that vanishes stays zero";
    EXPECT_FALSE(IsOrthonormal(degenerate, true));

    struct Case {
        Three row0, row1, row2;
        bool twoRows, full;
    };
    const Case cases[] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 2}, true, false},
        {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}, true, true},       // a mirror: |det| is 1
        {{1, 0, 0}, {1, 0, 0}, {0, 0, 1}, true, false},       // rows 0 and 1 coincide
        {{1 + 1e-7, 0, 0}, {0, 1, 0}, {0, 0, 1}, true, true}, // within 1e-6
        {{1.001, 0, 0}, {0, 1, 0}, {0, 0, 1}, false, false},
    };
    for (const Case& c : cases) {
        const auto vector = [](const Three& v) { return Vector3{v[0], v[1], v[2]}; };
        const Transform3D t{{vector(c.row0), vector(c.row1), vector(c.row2)}, {}};
        EXPECT_EQ(IsOrthonormal(t, true), c.twoRows) << c.row0[0] << ' ' << c.row1[0] << ' ' << c.row2[2];
        EXPECT_EQ(IsOrthonormal(t, false), c.full) << c.row0[0] << ' ' << c.row1[0] << ' ' << c.row2[2];
    }
}

TEST(Transform3DTest, RepairNaNAndCompare)
{
    Transform3D t;
    RotationAboutAxis(1, 30, t);
    t.offset = {1, kNaN, 3};
    t.row[1].z = kNaN;
    EXPECT_TRUE(RepairNaN(t));
    EXPECT_TRUE(IsIdentityRotation(t));
    EXPECT_EQ(Values(t.offset), (Three{1, 0, 3}));
    EXPECT_FALSE(RepairNaN(t)) << "nothing left to repair";
    Transform3D offsetOnly = IdentityTransform3D();
    offsetOnly.row[0].x = 2;
    offsetOnly.offset.z = kNaN;
    EXPECT_TRUE(RepairNaN(offsetOnly));
    EXPECT_EQ(offsetOnly.row[0].x, 2) << "a finite matrix is kept";

    const Transform3D base = IdentityTransform3D();
    Transform3D later = base;
    later.offset.x = 5;
    Transform3D earlier = later;
    earlier.row[0].y = -1;
    EXPECT_EQ(CompareTransforms(base, base), 0);
    EXPECT_EQ(CompareTransforms(base, later), -1);
    EXPECT_EQ(CompareTransforms(later, base), 1);
    EXPECT_EQ(CompareTransforms(later, earlier), 1) << "the first difference decides";
    EXPECT_TRUE(IsIdentityRotation(later));
    EXPECT_FALSE(IsIdentityRotation(earlier));
}

} // namespace
