// The shared numeric conventions: tolerance comparisons, biased and outward
// rounding, saturation, fixed-point numbers, decimal magnitudes and the class
// of a double, at their boundaries; fixed-point round trips over random
// values; monotone saturation over random doubles.
#include "MathTestSupport.h"

#include "math/Numerics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace KXMath;
using KXMathTest::kRandomCases;
using KXMathTest::Random;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NumericsTest, NearlyEqualIsAbsoluteNearZeroAndRelativeElsewhere)
{
    struct Case {
        double a, b;
        bool expected;
    };
    const Case cases[] = {
        {1e-14, -5e-14, true}, {0, 1e-13, true},      {0, 2e-13, false},  {1e6, 1e6 + 1e-8, true},
        {1, 1 + 1e-12, false}, {1e20, 1e20 * (1 + 5e-14), true},          {kInf, kInf, true},
        {kInf, -kInf, false},  {kNaN, kNaN, false},   {kNaN, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NearlyEqual(c.a, c.b), c.expected) << c.a << " vs " << c.b;

    const double ones[][2] = {{0, 0}, {1 + 1e-7, 1}, {1 + 1e-5, 0}, {1e6, 0}, {kNaN, 0}, {-1, 0}};
    for (const auto& [x, expected] : ones)
        EXPECT_EQ(IsNearlyOne(x), expected != 0) << x;
}

TEST(NumericsTest, RoundingWithTheBiasAndOutward)
{
    const double rounded[][2] = {{2.5, 3},          {-2.5, -3}, {2.49999999995, 3}, {-2.49999999995, -3},
                                 {2.4999999, 2},    {0.4, 0},   {-0.4, 0},          {1e300, 1e300}};
    for (const auto& [x, expected] : rounded)
        EXPECT_EQ(RoundToInteger(x), expected) << x;
    EXPECT_TRUE(std::isnan(RoundToInteger(kNaN)));

    const double outward[][2] = {{2.1, 3}, {-2.1, -3}, {2.0, 2}, {-2.0, -2}, {0.0, 0}, {1e-300, 1}};
    for (const auto& [x, expected] : outward)
        EXPECT_EQ(RoundOutward(x), expected) << x;
}

TEST(NumericsTest, ConversionsToIntegersSaturateAndReportTheRange)
{
    struct Case {
        double x;
        bool outward;
        std::int32_t asShort;
        bool shortFits;
        std::int32_t asLong;
        bool longFits;
    };
    const Case cases[] = {
        {40000, false, 32767, false, 40000, true},
        {-40000, false, -32768, false, -40000, true},
        {32767.3, false, 32767, false, 32767, true}, // judged before rounding
        {32766.6, false, 32767, true, 32767, true},
        {-32768, false, -32768, true, -32768, true},
        {1.2, true, 2, true, 2, true},
        {-1.2, true, -2, true, -2, true},
        {3e9, false, 32767, false, kLongMax, false},
        {-2147483648.0, false, -32768, false, kLongMin, true},
        {-2147483648.4, true, -32768, false, kLongMin, false},
        {kInf, false, 32767, false, kLongMax, false},
        {kNaN, false, 0, false, 0, false},
    };
    for (const Case& c : cases) {
        std::int16_t s = 1;
        std::int32_t l = 1;
        SCOPED_TRACE(testing::Message() << c.x << (c.outward ? " outward" : ""));
        EXPECT_EQ(ToShort(c.x, s, c.outward), c.shortFits);
        EXPECT_EQ(s, c.asShort);
        EXPECT_EQ(ToLong(c.x, l, c.outward), c.longFits);
        EXPECT_EQ(l, c.asLong);
    }

    const std::int16_t sums[][3] = {{32000, 1000, 32767}, {-32000, -1000, -32768}, {-5, 7, 2}, {32767, -32768, -1}};
    for (const auto& [a, b, expected] : sums)
        EXPECT_EQ(AddSaturated16(a, b), expected) << a << " + " << b;
}

TEST(NumericsTest, SaturatingConversionsNeverWrap)
{
    // Sorted inputs across far more than the 32-bit range must give sorted
    // results: a wrapped value would break the order.
    Random random(21);
    std::vector<double> xs;
    for (int i = 0; i < kRandomCases; ++i)
        xs.push_back(std::ldexp(random.Uniform(-1, 1), static_cast<int>(random.Integer(0, 40))));
    std::sort(xs.begin(), xs.end());
    std::int16_t previousShort = kShortMin;
    std::int32_t previousLong = kLongMin;
    for (double x : xs) {
        std::int16_t s = 0;
        std::int32_t l = 0;
        ASSERT_EQ(ToShort(x, s), x >= kShortMin && x <= kShortMax) << x;
        ASSERT_EQ(ToLong(x, l, true), x >= kLongMin && x <= kLongMax) << x;
        ASSERT_GE(s, previousShort) << x;
        ASSERT_GE(l, previousLong) << x;
        previousShort = s;
        previousLong = l;
    }
}

TEST(NumericsTest, FixedPointValues)
{
    struct Case {
        double x;
        std::uint32_t fixed;
    };
    const Case fixedCases[] = {
        {1.5, 0x00018000},   {-0.5, 0xFFFF8000}, {-1, 0xFFFF0000},           {32767.99999, 0x7FFFFFFF},
        {40000, 0x7FFFFFFF}, {-32768, 0x80000000}, {-32768.5, 0x80000000},   {kNaN, 0},
        {1.0 / 131072, 0},   {-1.0 / 131072, 0xFFFFFFFF}, // the fraction is cut towards negative infinity
    };
    for (const Case& c : fixedCases)
        EXPECT_EQ(static_cast<std::uint32_t>(FixedFromDouble(c.x)), c.fixed) << c.x;
    EXPECT_EQ(DoubleFromFixed(static_cast<Fixed>(0xFFFF8000)), -0.5);
    EXPECT_EQ(DoubleFromFixed(0x00018000), 1.5);

    const Case fractCases[] = {
        {1.0, 0x40000000},  {-0.5, 0xE0000000}, {1.5, 0x60000000}, {-2, 0x80000000},
        {2.0, 0x7FFFFFFF},  {-2.1, 0x80000000}, {kNaN, 0},
    };
    for (const Case& c : fractCases)
        EXPECT_EQ(static_cast<std::uint32_t>(FractFromDouble(c.x)), c.fixed) << c.x;
    EXPECT_EQ(DoubleFromFract(0x40000000), 1.0);
    EXPECT_EQ(MultiplyFract(0x20000000, 0x20000000), 0x10000000) << "0.5 * 0.5";
    EXPECT_EQ(MultiplyFract(0x7FFFFFFF, 0x7FFFFFFF), kFixedMax) << "saturates";

    const std::int64_t longs[][2] = {{40000, 0x7FFFFFFF}, {-40000, kFixedMin}, {-1, -65536}, {32767, 0x7FFF0000}};
    for (const auto& [a, expected] : longs)
        EXPECT_EQ(FixedFromLong(static_cast<std::int32_t>(a)), expected) << a;
}

TEST(NumericsTest, FixedPointRoundTripsEveryValue)
{
    Random random(22);
    for (int i = 0; i < kRandomCases; ++i) {
        const auto a = static_cast<std::int32_t>(random.Integer(kLongMin, kLongMax));
        ASSERT_EQ(FixedFromDouble(DoubleFromFixed(a)), a);
        ASSERT_EQ(FractFromDouble(DoubleFromFract(a)), a);
    }
}

TEST(NumericsTest, DecimalMagnitude)
{
    struct Case {
        double x;
        int digits, unbounded;
        double powerAbove;
    };
    const Case cases[] = {
        {0, 0, 0, 1},          {0.99, 0, 0, 1},         {1, 1, 1, 10},          {-9.5, 1, 1, 10},
        {999.9, 3, 3, 1000},   {1000, 4, 4, 1e4},        {9.99e14, 15, 15, 1e15}, {1e15, 16, 16, 1e16},
        {2e20, 16, 21, 1e16},  {1e20, 16, 21, 1e16},     {kInf, 16, 310, 1e16},  {kNaN, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(DecimalDigits(c.x), c.digits);
        EXPECT_EQ(DecimalDigitsUnbounded(c.x), c.unbounded);
        EXPECT_EQ(PowerOfTenAbove(c.x), c.powerAbove);
    }
}

TEST(NumericsTest, ClassifyDouble)
{
    const std::pair<double, int> cases[] = {
        {0.0, kDoubleZero},
        {-0.0, kDoubleZero},
        {-1.5, kDoubleNormal},
        {std::numeric_limits<double>::denorm_min(), kDoubleDenormal},
        {-kInf, kDoubleInfinite},
        {std::numeric_limits<double>::quiet_NaN(), kDoubleQuietNaN},
        {std::numeric_limits<double>::signaling_NaN(), kDoubleSignallingNaN},
    };
    for (const auto& [x, expected] : cases)
        EXPECT_EQ(ClassifyDouble(x), expected) << x;
}

} // namespace
