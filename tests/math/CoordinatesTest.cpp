// The coordinate types: conversions with rounding, outward rounding and
// saturation; rectangle operations at their edges (touching, empty, wrapping,
// saturating); ranges; vector angles; and, over random rectangles, that
// outward rounding covers the double rectangle.
#include "MathTestSupport.h"

#include "math/Coordinates.h"

#include <gtest/gtest.h>

#include <array>
#include <numbers>

namespace {

using namespace KXMath;
using KXMathTest::kRandomCases;
using KXMathTest::Random;
using Four = std::array<double, 4>;

template <typename Rect>
Four Fields(const Rect& r)
{
    return {double(r.top), double(r.left), double(r.bottom), double(r.right)};
}

TEST(CoordinatesTest, Conversions)
{
    const DoubleRect r{-0.4, -0.4, 10.6, 10.6};
    ShortRect s;
    LongRect l;
    EXPECT_TRUE(ToShortRect(r, s));
    EXPECT_EQ(Fields(s), (Four{0, 0, 11, 11}));
    EXPECT_TRUE(ToLongRect(r, l, true));
    EXPECT_EQ(Fields(l), (Four{-1, -1, 11, 11}));
    EXPECT_FALSE(ToShortRect(LongRect{-40000, 5, 70000, 32767}, s));
    EXPECT_EQ(Fields(s), (Four{-32768, 5, 32767, 32767}));

    ShortPoint sp;
    EXPECT_FALSE(ToShortPoint(DoublePoint{40000, 2.5}, sp));
    EXPECT_EQ(sp.v, 32767);
    EXPECT_EQ(sp.h, 3) << "converted even after v failed";
    LongPoint lp;
    EXPECT_TRUE(ToLongPoint(DoublePoint{-1.5, 1.2}, lp, true));
    EXPECT_EQ(lp.h, 2);
    EXPECT_EQ(lp.v, -2);
    const DoublePoint dp = ToDoublePoint(LongPoint{kLongMax, kLongMin});
    EXPECT_EQ(dp.h, kLongMax);
    EXPECT_EQ(dp.v, kLongMin);
}

TEST(CoordinatesTest, OutwardRoundingCoversTheDoubleRectangle)
{
    Random random(31);
    for (int i = 0; i < kRandomCases; ++i) {
        const auto coordinate = [&random] { return random.Uniform(-30000, 30000); };
        const DoubleRect r = RectFromPoints(DoublePoint{coordinate(), coordinate()}, {coordinate(), coordinate()});
        ShortRect s;
        LongRect l;
        ASSERT_TRUE(ToShortRect(r, s, true));
        ASSERT_TRUE(ToLongRect(r, l, true));
        for (const Four& f : {Fields(s), Fields(l)}) {
            ASSERT_TRUE(f[0] <= r.top && f[1] <= r.left && f[2] >= r.bottom && f[3] >= r.right);
            ASSERT_TRUE(r.top - f[0] < 1 && r.left - f[1] < 1 && f[2] - r.bottom < 1 && f[3] - r.right < 1);
        }
    }
}

TEST(CoordinatesTest, IntersectionsNeedAPositiveArea)
{
    struct Case {
        Four b;
        bool shortOverlap, longOverlap;
        Four intersection;
    };
    const Case cases[] = {
        {{10, 0, 20, 10}, false, false, {}}, // shares the bottom edge
        {{0, 10, 10, 20}, false, false, {}}, // shares the right edge
        {{5, -5, 15, 5}, true, true, {5, 0, 10, 5}},
        {{5, 5, 3, 20}, true, false, {5, 5, 3, 10}}, // an empty operand counts for 16 bits only
    };
    for (const Case& c : cases) {
        const auto& [t, l, b, r] = c.b;
        ShortRect s{1, 1, 1, 1};
        LongRect lr{1, 1, 1, 1};
        DoubleRect d{0, 0, 10, 10};
        EXPECT_EQ(IntersectRects(ShortRect{0, 0, 10, 10}, ShortRect{short(t), short(l), short(b), short(r)}, s),
                  c.shortOverlap);
        EXPECT_EQ(Fields(s), c.intersection);
        EXPECT_EQ(IntersectRects(LongRect{0, 0, 10, 10}, LongRect{int(t), int(l), int(b), int(r)}, lr), c.longOverlap);
        EXPECT_EQ(Fields(lr), c.longOverlap ? c.intersection : Four{});
        EXPECT_EQ(IntersectRects(d, DoubleRect{t, l, b, r}), c.shortOverlap);
        EXPECT_EQ(Fields(d), c.intersection);
    }
}

TEST(CoordinatesTest, ShortRectangleEdges)
{
    const ShortRect a{0, 0, 10, 10};
    for (const auto& [v, h, inside] : {std::array<int, 3>{0, 0, 0}, {5, 10, 0}, {1, 1, 1}, {9, 9, 1}})
        EXPECT_EQ(IsPointInside(ShortPoint{short(v), short(h)}, a), inside != 0) << v << ", " << h;
    EXPECT_FALSE(IsPointInside(DoublePoint{0, 5}, DoubleRect{0, 0, 10, 10}));

    ShortRect r;
    MakeRect(r, 32760, -5, 32767, 30);
    EXPECT_EQ(Fields(r), (Four{-5, 32760, 30, 32767}));
    ShrinkRect(r, 100, -32767);
    EXPECT_EQ(Fields(r), (Four{-32768, 32767, 32767, 32667})) << "saturates";
    ShortRect moved{0, 32767, 10, -32768};
    MoveRect(moved, 1, -1);
    EXPECT_EQ(Fields(moved), (Four{-1, -32768, 9, -32767})) << "wraps";
    EXPECT_EQ(RectWidth(ShortRect{0, -32768, 0, 32767}), -1);
    const ShortPoint center = RectCenter(ShortRect{-3, 32767, 0, 32767});
    EXPECT_EQ(center.v, -1) << "towards zero";
    EXPECT_EQ(center.h, 32767) << "no overflow";
    UniteRects(a, ShortRect{5, -5, 20, 3}, r);
    EXPECT_EQ(Fields(r), (Four{0, -5, 20, 10}));
    EXPECT_EQ(Fields(RectFromPoints(ShortPoint{7, -1}, ShortPoint{-2, 4})), (Four{-2, -1, 7, 4}));
    EXPECT_EQ(PointLength(ShortPoint{-32768, -32768}), 46340);
    ShortRect swapped{0x1234, -2, 0, 0x00FF};
    SwapRectBytes(swapped);
    EXPECT_EQ(Fields(swapped), (Four{0x3412, -257, 0, -256}));
}

TEST(CoordinatesTest, ScalingPointsAndRectangles)
{
    struct Case {
        LongPoint p;
        double factor;
        bool centered;
        IntRounding rounding;
        LongPoint expected;
        bool fits;
    };
    const Case cases[] = {
        {{5, -5}, 0.5, false, IntRounding::kNearest, {3, -2}, true}, // halves round up
        {{5, -5}, 0.5, false, IntRounding::kTruncate, {2, -2}, true},
        {{15, 5}, 0.5, true, IntRounding::kNearest, {13, 8}, true}, // about (h 10, v 10)
        {{kLongMax, 1}, 2, false, IntRounding::kNearest, {kLongMax, 2}, false},
        {{-2, 3}, 2e9, false, IntRounding::kTruncate, {kLongMin, kLongMax}, false},
    };
    for (const Case& c : cases) {
        LongPoint p = c.p;
        EXPECT_EQ(c.centered ? ScalePoint(p, c.factor, LongPoint{10, 10}, c.rounding) : ScalePoint(p, c.factor, c.rounding),
                  c.fits);
        EXPECT_EQ(p.h, c.expected.h) << c.p.h;
        EXPECT_EQ(p.v, c.expected.v) << c.p.v;
    }
    LongRect huge{0, -4, 10, kLongMax};
    EXPECT_FALSE(ScaleRect(huge, 2, LongPoint{0, 0}));
    EXPECT_EQ(Fields(huge), (Four{0, -8, 20, kLongMax}));
    DoubleRect d{0, 0, 10, 10};
    ScaleRect(d, 2, DoublePoint{10, 10});
    EXPECT_EQ(Fields(d), (Four{-10, -10, 10, 10}));
}

TEST(CoordinatesTest, RangesAndTolerances)
{
    const std::array<double, 3> ranges[] = {
        {1e300, 0, 1}, {32767, 1, 1},  {32767.5, 1, 0},       {-32768, 1, 1},        {16777215, 2, 1},
        {-16777216, 2, 0}, {2147483647, 3, 1}, {-2147483649.0, 3, 0}, {0, 7, 1}, {1e-300, 7, 0},
    };
    for (const auto& [value, kind, inRange] : ranges)
        EXPECT_EQ(InRange(value, int(kind)), inRange != 0) << value << " kind " << kind;
    EXPECT_FALSE(InRange(DoubleRect{0, 0, 0, 16777216}, 2));
    double upper = 1, lower = 1;
    RangeBounds(2, upper, lower);
    EXPECT_EQ(upper, 16777215);
    EXPECT_EQ(lower, -16777215);
    RangeBounds(0, upper, lower);
    EXPECT_EQ(upper, 0);

    const DoublePoint p{1, 1e-14};
    EXPECT_TRUE(NearlyEqual(p, DoublePoint{1 + 1e-14, -5e-14}));
    EXPECT_TRUE(NotNearlyEqual(p, DoublePoint{1, 1e-12}));
    EXPECT_TRUE(NearlyEqual(DoubleRect{0, 0, 1, 1}, DoubleRect{1e-14, 0, 1, 1}));
    EXPECT_FALSE(NearlyEqual(DoubleRect{0, 0, 1, 1}, DoubleRect{0, 0, 1, 1.001}));
    EXPECT_FALSE(IsNearlyZero(DoublePoint{0, 2e-13}));
    EXPECT_EQ(ProcessTolerance(), kTolerance) << "before any module sets it";
    SetProcessTolerance(1e-3);
    EXPECT_TRUE(NearlyEqualProcessTolerance(p, DoublePoint{1.0001, 0}));
    SetProcessTolerance(kTolerance);
    EXPECT_FALSE(NearlyEqualProcessTolerance(p, DoublePoint{1.0001, 0}));
}

TEST(CoordinatesTest, VectorAngles)
{
    constexpr double pi = std::numbers::pi;
    const std::array<double, 4> cases[] = {
        // v, h, degrees, radians
        {-1, 0, 90, pi / 2}, {1, 0, -90, 3 * pi / 2}, {0, 0, 0, 0}, {0.0, -1, -180, pi},
        {-0.0, -1, 180, pi}, {-1, 1, 45, pi / 4},     {1e-14, 1e-14, 0, 0},
    };
    for (const auto& [v, h, degrees, radians] : cases) {
        EXPECT_DOUBLE_EQ(VectorAngle(DoublePoint{v, h}), degrees) << v << ", " << h;
        EXPECT_NEAR(VectorAngleRadians(DoublePoint{v, h}), radians, 1e-14) << v << ", " << h;
    }
    EXPECT_LT(VectorAngleRadians(DoublePoint{1e-300, 1}), 2 * pi) << "a tiny negative angle wraps to 0";

    const std::array<double, 4> xy[] = {
        // x, y, signed, unsigned
        {0, 1, 90, 90}, {1e-14, -1, -90, 270}, {0, 0, -90, 270}, {-1, -1, -135, 225}, {-1, 0, 180, 180},
    };
    for (const auto& [x, y, isSigned, notSigned] : xy) {
        EXPECT_DOUBLE_EQ(VectorAngleXY(DoubleVector{x, y}, true), isSigned) << x << ", " << y;
        EXPECT_DOUBLE_EQ(VectorAngleXY(DoubleVector{x, y}, false), notSigned) << x << ", " << y;
    }
}

} // namespace
