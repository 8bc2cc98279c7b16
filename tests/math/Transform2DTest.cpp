// Plane affine transforms: rotation and mirror senses, decomposition,
// singular and scaled inverses, integer application with rounding and
// saturation, corner order; and over random transforms, that one composed
// with its inverse is the identity and that the backward form undoes
// rotations.
#include "MathTestSupport.h"

#include "math/Transform2D.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

using namespace KXMath;
using KXMathTest::kRandomCases;
using KXMathTest::Random;
using Six = std::array<double, 6>;

Six Values(const Transform2D& t)
{
    return {t.a, t.b, t.c, t.d, t.tx, t.ty};
}

TEST(Transform2DTest, RotationMirrorAndDecomposition)
{
    // Where (x 0, y 1) goes; (x 1, y 0) goes to (0, -1) either way.
    for (const auto& [mirror, x, y] : {std::array<double, 3>{0, 1, 0}, {1, -1, 0}}) {
        const Transform2D t = Rotation2D(std::numbers::pi / 2, mirror != 0, 0, 0);
        EXPECT_TRUE(NearlyEqual(Apply(t, DoublePoint{0, 1}), DoublePoint{-1, 0}));
        EXPECT_TRUE(NearlyEqual(Apply(t, DoublePoint{1, 0}), DoublePoint{y, x})) << "mirror " << mirror;
    }
    const DoublePoint p = Apply(SetTransform2D(1, 0, 0, 1, 5, 7), DoublePoint{1, 2});
    EXPECT_EQ(p.h, 7) << "h is x";
    EXPECT_EQ(p.v, 8) << "v is y";

    for (const auto& [angle, mirror, expected] : {std::array<double, 3>{0.5, 1, 0.5}, {0.5, 0, -0.5}, {-2, 1, -2}}) {
        double decomposed = 0, tx = 0, ty = 0;
        bool mirrored = mirror == 0;
        Decompose2D(Rotation2D(angle, mirror != 0, 3, 4), decomposed, mirrored, tx, ty);
        EXPECT_NEAR(decomposed, expected, 1e-15);
        EXPECT_EQ(mirrored, mirror != 0);
        EXPECT_EQ(tx, 3);
        EXPECT_EQ(ty, 4);
    }
}

TEST(Transform2DTest, ComposeInOrder)
{
    const Transform2D t = SetTransform2D(2, 3, -1, 0.5, 7, -8);
    EXPECT_TRUE(NearlyEqual(Compose2D(t, IdentityTransform2D()), t));
    EXPECT_TRUE(NearlyEqual(Compose2D(IdentityTransform2D(), t), t));
    EXPECT_FALSE(NearlyEqual(t, SetTransform2D(2, 3, -1, 0.5, 7, -8.001)));
    // Scaling by 2 and then moving by (1, 0) is not moving and then scaling.
    double x = 1, y = 1;
    Apply(Compose2D(SetTransform2D(2, 0, 0, 2, 0, 0), SetTransform2D(1, 0, 0, 1, 1, 0)), x, y);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 2);
}

TEST(Transform2DTest, InverseAndSingularity)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Transform2D t;
        bool invertible;
        Six inverse;
    };
    const Case cases[] = {
        {{2, 0, 0, 4, 2, 8}, true, {0.5, 0, 0, 0.25, -1, -2}},
        {{1e-20, 0, 0, 1e20, 0, 0}, true, {1e20, 0, 0, 1e-20, 0, 0}},
        {{1, 1, 1, 1 + 1e-9, 0, 0}, true, {1 + 1e9, -1e9, -1e9, 1e9, 0, 0}},
        {{1, 2, 2, 4, 0, 0}, false, {}},         // terms 4 and -4
        {{0, 0, 0, 0, 1, 1}, false, {}},         // no terms at all
        {{1, 1, 1, 1 + 1e-14, 0, 0}, false, {}}, // negligible against its terms
        {{nan, 0, 0, 1, 0, 0}, false, {}},
    };
    const Transform2D untouched = SetTransform2D(9, 9, 9, 9, 9, 9);
    for (const Case& c : cases) {
        Transform2D out = untouched;
        ASSERT_EQ(Invert2D(c.t, out), c.invertible) << c.t.a << ' ' << c.t.d;
        const Six actual = Values(out);
        for (int i = 0; i < 6; ++i) {
            const double expected = c.invertible ? c.inverse[i] : 9;
            EXPECT_NEAR(actual[i], expected, std::fabs(expected) * 1e-6) << c.t.a << ' ' << c.t.d << " value " << i;
        }
    }
}

TEST(Transform2DTest, RandomTransformsInvertAndRotationsGoBack)
{
    // Entries within 10 and determinants of at least 0.1 keep the products
    // within 1e-9 of the identity.
    Random random(51);
    for (int checked = 0; checked < kRandomCases;) {
        const auto entry = [&random] { return random.Uniform(-10, 10); };
        const Transform2D t = SetTransform2D(entry(), entry(), entry(), entry(), entry() * 100, entry() * 100);
        if (std::fabs(t.a * t.d - t.b * t.c) < 0.1)
            continue;
        Transform2D inverse;
        ASSERT_TRUE(Invert2D(t, inverse));
        for (const Transform2D& product : {Compose2D(t, inverse), Compose2D(inverse, t)}) {
            const Six values = Values(product);
            const Six identity = Values(IdentityTransform2D());
            for (int i = 0; i < 6; ++i)
                ASSERT_NEAR(values[i], identity[i], 1e-9) << "value " << i;
        }

        const Transform2D rotation = Rotation2D(entry(), random.Integer(0, 1) == 1, entry(), entry());
        const DoublePoint p{entry() * 1000, entry() * 1000};
        const DoublePoint back = ApplyInverse(rotation, Apply(rotation, p));
        ASSERT_NEAR(back.v, p.v, 1e-9);
        ASSERT_NEAR(back.h, p.h, 1e-9);
        ++checked;
    }
}

TEST(Transform2DTest, LongPointsRoundTruncateAndSaturate)
{
    struct Case {
        Transform2D t;
        LongPoint p;
        IntRounding rounding;
        LongPoint expected;
        bool fits;
    };
    const Case cases[] = {
        {{1, 0, 0, 1, 0.5, 0.5}, {1, 1}, IntRounding::kNearest, {2, 2}, true},
        {{1, 0, 0, 1, 0.5, 0.5}, {1, 1}, IntRounding::kTruncate, {1, 1}, true},
        {{1, 0, 0, 1, -0.5, -0.5}, {-1, 1}, IntRounding::kNearest, {-1, 1}, true}, // -1.5 rounds up
        {{1, 0, 0, 1, -0.5, -0.5}, {-1, 1}, IntRounding::kTruncate, {-1, 0}, true},
        {{1, 0, 0, 1, 10, 0}, {kLongMax, 5}, IntRounding::kNearest, {kLongMax, 5}, false},
        {{-1, 0, 0, 1, 0, 0}, {kLongMin, 0}, IntRounding::kTruncate, {kLongMax, 0}, false},
    };
    for (const Case& c : cases) {
        LongPoint p = c.p;
        EXPECT_EQ(Apply(c.t, p, c.rounding), c.fits) << c.p.h << ", " << c.p.v;
        EXPECT_EQ(p.h, c.expected.h) << c.p.h << ", " << c.p.v;
        EXPECT_EQ(p.v, c.expected.v) << c.p.h << ", " << c.p.v;
    }
}

TEST(Transform2DTest, RectanglesMapTheirCornersInOrder)
{
    const DoubleCorners corners = Apply(SetTransform2D(1, 0, 0, 1, 10, 20), DoubleRect{1, 2, 3, 4});
    const std::array<double, 2> expected[4] = {{12, 21}, {14, 21}, {14, 23}, {12, 23}}; // (h, v)
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((std::array<double, 2>{corners[i].h, corners[i].v}), expected[i]) << i;

    // An offset that pushes h past the 32-bit limit saturates those corners;
    // every corner is still mapped, and the saturated ones come back short.
    const Transform2D far = SetTransform2D(1, 0, 0, 1, 2147483000.0, 1);
    LongCorners longCorners;
    EXPECT_FALSE(Apply(far, LongRect{0, 0, 10, 1000}, longCorners, IntRounding::kTruncate));
    const std::array<std::int32_t, 2> mapped[4] = {{2147483000, 1}, {kLongMax, 1}, {kLongMax, 11}, {2147483000, 11}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((std::array<std::int32_t, 2>{longCorners[i].h, longCorners[i].v}), mapped[i]) << i;
    EXPECT_TRUE(ApplyInverse(far, longCorners, IntRounding::kNearest));
    EXPECT_EQ(longCorners[1].h, 647);
    EXPECT_EQ(longCorners[3].v, 10);
}

} // namespace
