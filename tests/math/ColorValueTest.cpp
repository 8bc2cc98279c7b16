// ColorValue and the color functions: stored and converted channels at their
// exact values (rounding, saturation, widening, high bytes), hue and tie
// rules, comparison and distance, blending, mixing, tinting, grey ramps; and
// round trips and extrapolation over many random colors.
#include "MathTestSupport.h"

#include "math/ColorValue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using namespace KXMath;
using KXMathTest::kRandomCases;
using KXMathTest::Random;
using Ints = std::array<int, 3>;
using Floats = std::array<float, 3>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Ints RGB16Of(const ColorValue& color)
{
    std::uint16_t r = 1, g = 1, b = 1;
    color.GetRGB16(r, g, b);
    return {r, g, b};
}

Ints RGB8Of(const ColorValue& color)
{
    std::uint8_t r = 1, g = 1, b = 1;
    color.GetRGB8(r, g, b);
    return {r, g, b};
}

Floats HSVOf(const ColorValue& color)
{
    Floats f{};
    color.GetHSV(f[0], f[1], f[2]);
    return f;
}

void ExpectNear(const Floats& actual, const Floats& expected, float tolerance)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "channel " << i;
}

TEST(ColorValueTest, IntegerChannelsRoundSaturateWidenAndTakeHighBytes)
{
    ColorValue limited;
    limited.SetRGB8Triple(RGBTriple{300, 255, 7});
    struct Case {
        ColorValue color;
        Ints rgb16, rgb8;
    };
    const Case cases[] = {
        {ColorValue(kColorRGB, 1.5f, -0.2f, 0.3f), {65535, 0, 19661}, {255, 0, 77}},
        {ColorValue(kColorRGB, 0.5f, 1, kNaN), {32768, 65535, 0}, {128, 255, 0}},
        {ColorValue(kColorRGB16, 1000.5f, 1000.49f, 65534.6f), {1001, 1000, 65535}, {3, 3, 255}},
        {ColorValue(kColorRGB16, 70000, -5, kNaN), {65535, 0, 0}, {255, 0, 0}},
        {ColorValue(kColorRGB16, kInf, -kInf, 0x12FF), {65535, 0, 0x12FF}, {255, 0, 0x12}},
        {ColorValue(kColorRGB8, 300, -1, 0x80), {65535, 0, 0x8080}, {255, 0, 0x80}},
        {limited, {65535, 65535, 7 * 257}, {255, 255, 7}},
        {ColorValue(7, 0.5f, 0.5f, 0.5f), {0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RGB16Of(c.color), c.rgb16) << "model " << c.color.Model();
        EXPECT_EQ(RGB8Of(c.color), c.rgb8) << "model " << c.color.Model();
    }
    EXPECT_EQ(ColorValue(7, 1, 1, 1).Model(), kColorRGB) << "no unsupported model is stored";
}

TEST(ColorValueTest, EveryIntegerChannelSurvivesTheFloatModel)
{
    for (int x = 0; x <= 65535; ++x) {
        float r = 0, g = 0, b = 0;
        ColorValue(kColorRGB16, static_cast<float>(x), 0, 0).GetRGB(r, g, b);
        ASSERT_EQ(RGB16Of(ColorValue(kColorRGB, r, g, b))[0], x);
        if (x <= 255) {
            ColorValue(kColorRGB8, static_cast<float>(x), 0, 0).GetRGB(r, g, b);
            ASSERT_EQ(RGB8Of(ColorValue(kColorRGB, r, g, b))[0], x);
        }
    }
}

TEST(ColorValueTest, HueRules)
{
    struct Case {
        ColorValue color;
        Floats hsv;
    };
    const Case cases[] = {
        {ColorValue(kColorHSV, 360, 0.5f, 0.5f), {0, 0.5f, 0.5f}},
        {ColorValue(kColorHSV, -1, 0.5f, 0.5f), {-1, 0.5f, 0.5f}},
        {ColorValue(kColorHSV, -5, 1.5f, -2), {0, 1, 0}},
        {ColorValue(kColorHSV, kNaN, 0.5f, kNaN), {-1, 0.5f, 0}},
        {ColorValue(kColorRGB, 0.3f, 0.3f, 0.3f), {-1, 0, 0.3f}},
        {ColorValue(kColorRGB, 1, 0, 0), {0, 1, 1}},
        {ColorValue(kColorRGB, 0, 1, 0), {120, 1, 1}},
        {ColorValue(kColorRGB, 0, 0, 1), {240, 1, 1}},
        {ColorValue(kColorRGB, 1, 0, 0.5f), {330, 1, 1}},
        {ColorValue(kColorRGB, 1, 1, 0), {60, 1, 1}},  // red and green tie
        {ColorValue(kColorRGB, 0, 1, 1), {180, 1, 1}}, // green and blue tie
        {ColorValue(kColorRGB, 1, 0, 1), {300, 1, 1}}, // red and blue tie
        {ColorValue(kColorRGB, 0.5f, 0.25f, 0.25f), {0, 0.5f, 0.5f}},
    };
    for (const Case& c : cases)
        ExpectNear(HSVOf(c.color), c.hsv, 1e-5f);

    struct Direct {
        Floats hsv, rgb;
    };
    const Direct direct[] = {
        {{-1, 0.7f, 0.4f}, {0.4f, 0.4f, 0.4f}}, {{200, 0, 0.6f}, {0.6f, 0.6f, 0.6f}}, {{360, 1, 1}, {1, 0, 0}},
        {{480, 1, 1}, {1, 0, 0}},               {{120, 1, 0.5f}, {0, 0.5f, 0}},       {{359.99997f, 1, 1}, {1, 0, 0}},
    };
    for (const Direct& c : direct) {
        Floats rgb{};
        HSVToRGB(c.hsv[0], c.hsv[1], c.hsv[2], rgb[0], rgb[1], rgb[2]);
        ExpectNear(rgb, c.rgb, 1e-6f);
    }
}

TEST(ColorValueTest, CMYKAndGrey)
{
    using Four = std::array<float, 4>;
    const std::pair<Floats, Four> cases[] = {
        {{0, 0, 0}, {0, 0, 0, 1}}, {{1, 1, 1}, {0, 0, 0, 0}}, {{1, 0, 0}, {0, 1, 1, 0}},
        {{0.5f, 0.5f, 0.25f}, {0, 0, 0.5f, 0.5f}},
    };
    Four cmyk{};
    for (const auto& [rgb, expected] : cases) {
        ColorValue(kColorRGB, rgb[0], rgb[1], rgb[2]).GetCMYK(cmyk[0], cmyk[1], cmyk[2], cmyk[3]);
        EXPECT_EQ(cmyk, expected);
    }
    EXPECT_FLOAT_EQ(RGBToCMYKPlain(0.5f, 0.5f, 0.25f, cmyk[0], cmyk[1], cmyk[2], cmyk[3]), 0.25f) << "unscaled";

    Floats rgb{};
    CMYKToRGBAdditive(0.7f, 0.2f, 0, 0.5f, rgb[0], rgb[1], rgb[2]);
    ExpectNear(rgb, {0, 0.3f, 0.5f}, 1e-6f);
    ColorValue shared(kColorCMYK, 0.5f, 0.5f, 0.5f, 0);
    shared.NormalizeCMYK();
    shared.GetCMYK(cmyk[0], cmyk[1], cmyk[2], cmyk[3]);
    EXPECT_EQ(cmyk, (Four{0, 0, 0, 0.5f})) << "the ink all three share moves to black";

    double grey = 0;
    ColorValue(kColorRGB, 0, 1, 0).GetGrey(grey);
    EXPECT_DOUBLE_EQ(grey, 0.587);
    ColorValue(kColorCMYK, 0, 0, 0, 1).GetGrey(grey);
    EXPECT_EQ(grey, 0);
}

TEST(ColorValueTest, CompareAndDistance)
{
    const ColorValue a(kColorRGB, 0.5f, 0.2f, 0.1f);
    const ColorValue b(kColorRGB, 0.505f, 0.3f, 0.1f);
    const ColorValue grey(kColorRGB, 0.3f, 0.3f, 0.3f);
    const ColorValue green(kColorRGB, 0, 1, 0);
    struct Case {
        ColorValue x, y;
        ColorModel model;
        float tolerance, difference;
        double distance;
    };
    const Case cases[] = {
        {a, b, kColorRGB, 0.01f, -0.1f, 0.005 * 0.005 + 0.01},
        {a, b, kColorRGB, 0, -0.005f, 0.005 * 0.005 + 0.01},
        {a, b, kColorRGB, -0.01f, -0.005f, 0.005 * 0.005 + 0.01}, // a negative tolerance counts as 0
        {a, b, kColorRGB16, 1000, -327, 327.0 * 327 + 6554.0 * 6554}, // exact integers, in channel units
        {grey, green, kColorHSV, 0, -121, 1 + 0.7 * 0.7},             // hue -1 subtracted, but not distanced
        {ColorValue(kColorHSV, 359, 1, 1), ColorValue(kColorHSV, 1, 1, 1), kColorHSV, 0, 358, 358.0 * 358},
        {ColorValue(kColorRGB, 1, 1, 1), ColorValue(kColorRGB, 0, 0, 0), kColorCMYK, 0, -1, 1},
        {a, b, 9, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << " tolerance " << c.tolerance);
        EXPECT_NEAR(CompareColors(c.x, c.y, c.model, c.tolerance), c.difference, 1e-5);
        EXPECT_EQ(IsLess(c.x, c.y, c.model, c.tolerance), c.difference < 0);
        EXPECT_EQ(IsEqual(c.x, c.y, c.model, c.tolerance), c.difference == 0);
        EXPECT_NEAR(DistanceSquared(c.x, c.y, c.model), c.distance, 1e-5);
    }
    EXPECT_TRUE(a.IsLess(b));
    EXPECT_FALSE(b.IsLess(a));
    EXPECT_TRUE(a.IsEqual(ColorValue(kColorRGB, 0.5f, 0.2f, 0.1f)));
}

TEST(ColorValueTest, BlendMixAndTint)
{
    ColorValue black(kColorRGB, 0, 0, 0);
    ColorValue white(kColorRGB, 1, 1, 1);
    black.BlendPercent(white, 50);
    EXPECT_EQ(RGB16Of(black), (Ints{32768, 32768, 32768}));
    EXPECT_EQ(white.Model(), kColorRGB16) << "the other operand is converted too";
    for (const auto& [percent, expected] :
         {std::pair<int, Ints>{100, {1000, 30000, 65000}}, {0, {2000, 10, 7}}, {255, {0, 65535, 65535}}}) {
        ColorValue self(kColorRGB16, 1000, 30000, 65000);
        ColorValue other(kColorRGB16, 2000, 10, 7);
        self.BlendPercent(other, static_cast<std::uint8_t>(percent));
        EXPECT_EQ(RGB16Of(self), expected) << percent;
    }

    ColorValue result;
    for (const auto& [weight, red] : {std::pair<float, int>{0.5f, 127}, {2.0f, 255}, {-1.0f, 0}, {kNaN, 0}}) {
        Mix(ColorValue(kColorRGB8, 255, 0, 0), ColorValue(kColorRGB8, 0, 0, 0), weight, result);
        EXPECT_EQ(result.Model(), kColorRGB8);
        EXPECT_EQ(RGB8Of(result)[0], red) << "weight " << weight;
    }
    const Floats tints[] = {{0, 1, 1}, {0.6f, -1, 0}, {0.5f, 0, 0.5f}, {0.5f, -0.5f, 0.25f}, {0.2f, 3, 1}};
    for (const auto& [channel, amount, expected] : tints) {
        Tint(ColorValue(kColorRGB, channel, channel, channel), amount, result);
        float r = 0, g = 0, b = 0;
        result.GetRGB(r, g, b);
        EXPECT_FLOAT_EQ(r, expected) << channel << " by " << amount;
    }
}

TEST(ColorValueTest, GreyRamps)
{
    struct Case {
        std::size_t count;
        bool ascending;
        std::vector<int> levels;
    };
    const Case cases[] = {
        {1, true, {0}},          {1, false, {0}}, {2, true, {0, 255}}, {3, true, {0, 128, 255}},
        {3, false, {255, 128, 0}}, {5, true, {0, 64, 128, 191, 255}},
    };
    for (const Case& c : cases) {
        std::vector<RGBTriple> table(c.count);
        MakeGreyRamp(table.data(), c.count, c.ascending);
        for (std::size_t i = 0; i < c.count; ++i)
            EXPECT_EQ((Ints{table[i].red, table[i].green, table[i].blue}),
                      (Ints{c.levels[i] * 257, c.levels[i] * 257, c.levels[i] * 257}))
                << c.count << " entry " << i;
        EXPECT_TRUE(IsGreyRamp(table.data(), c.count));
        std::reverse(table.begin(), table.end());
        EXPECT_TRUE(IsGreyRamp(table.data(), c.count)) << "reversed";
        table[0].blue ^= 1;
        EXPECT_FALSE(IsGreyRamp(table.data(), c.count)) << "broken";
    }
    std::vector<RGBTriple> full(257);
    MakeGreyRamp(full.data(), 256, false);
    EXPECT_EQ(full[0].green, 65535);
    EXPECT_EQ(full[254].green, 257);
    EXPECT_TRUE(IsGreyRamp(full.data(), 256));
    MakeGreyRamp(full.data(), 257, true);
    EXPECT_FALSE(IsGreyRamp(full.data(), 257)) << "too many entries";
    EXPECT_FALSE(IsGreyRamp(full.data(), 0));
    EXPECT_FALSE(IsGreyRamp(nullptr, 3));
}

TEST(ColorValueTest, RandomColorsRoundTripAndBlendWithoutWrapping)
{
    // Float channels pass a handful of single-precision operations each way:
    // the colors come back within 1e-5 per channel.
    constexpr float kRoundTrip = 1e-5f;
    Random random(11);
    for (int i = 0; i < kRandomCases; ++i) {
        const ColorValue color(kColorRGB, random.Unit(), random.Unit(), random.Unit());
        for (ColorModel model : {kColorHSV, kColorCMYK}) {
            ColorValue converted, back;
            ConvertTo(converted, model, color);
            ConvertTo(back, kColorRGB, converted);
            ASSERT_EQ(converted.Model(), model);
            ASSERT_TRUE(IsEqual(back, color, kColorRGB, kRoundTrip)) << CompareColors(back, color, kColorRGB, 0);
        }

        // Above 100 percent each channel moves away from the other color's,
        // up to the channel's limit: a wrapped channel would jump back.
        const auto channel = [&random] { return static_cast<float>(random.Integer(0, 65535)); };
        ColorValue self(kColorRGB16, channel(), channel(), channel());
        ColorValue other(kColorRGB16, channel(), channel(), channel());
        const Ints before = RGB16Of(self), with = RGB16Of(other);
        self.BlendPercent(other, static_cast<std::uint8_t>(random.Integer(101, 255)));
        const Ints after = RGB16Of(self);
        for (int c = 0; c < 3; ++c)
            ASSERT_GE(std::int64_t{after[c] - before[c]} * (before[c] - with[c]), 0) << before[c] << " from " << with[c];
    }
}

} // namespace
