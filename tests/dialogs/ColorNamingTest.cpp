// Color naming: the colors the rules are known by, through every entry point;
// the sample of every code; settings of the caller's own; and a sweep
// of a 16-step grid over the whole RGB cube checked against the rules:
// darkness, greys split by value, the hue sectors of the anchors (ties to
// the larger anchor, no wrap-around at 360), red against pink by saturation
// and yellow against brown by value.
#include "dialogs/ColorNaming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>

namespace {

struct RGB {
    std::uint8_t red, green, blue;
};

ColorNameCode Classify(const RGB& color)
{
    const std::uint8_t rgb[3] = {color.red, color.green, color.blue};
    return ClassifyColorRGB8(rgb);
}

/// Every entry point with the default settings, which must agree.
ColorNameCode ClassifyEveryWay(const RGB& color)
{
    const std::uint8_t rgb[3] = {color.red, color.green, color.blue};
    ColorNameSettings settings{0.7f, 0.9f};
    InitColorNameSettings(settings);
    // The high bytes of a triple's channels are not part of the color.
    const KXMath::RGBTriple triple{static_cast<std::uint16_t>(0xAB00 | color.red),
                                   static_cast<std::uint16_t>(0x0100 | color.green),
                                   static_cast<std::uint16_t>(0xFF00 | color.blue)};
    const ColorNameCode code = ClassifyColorRGB8(rgb);
    EXPECT_EQ(ClassifyColor(settings, rgb), code);
    EXPECT_EQ(ClassifyColorTriple(triple), code);
    return code;
}

TEST(ColorNamingTest, KnownColors)
{
    const struct {
        RGB color;
        ColorNameCode code;
    } cases[] = {
        {{255, 0, 0}, kColorNameRed},
        {{255, 160, 160}, kColorNamePink}, // saturation below 0.5 at hue 0
        {{254, 127, 127}, kColorNameRed},  // saturation exactly 0.5
        {{40, 0, 0}, kColorNameBlack},     // value at most 0.2, whatever the hue
        {{255, 255, 255}, kColorNameWhite},
        {{127, 127, 127}, kColorNameGrey},  // value just below 0.5
        {{128, 128, 128}, kColorNameWhite}, // and just above
        {{0, 255, 255}, kColorNameBlue},    // hue 180 is blue
        {{255, 0, 43}, kColorNamePurple},   // hue about 350: no wrap-around to 0
        {{254, 127, 0}, kColorNameYellow},  // hue exactly 30: the tie goes to 60
        // The samples, named by the same rules.
        {{0, 255, 0}, kColorNameGreen},
        {{0, 0, 255}, kColorNameBlue},
        {{255, 160, 0}, kColorNameYellow}, // the orange sample: hue 38 is nearest 60
        {{255, 255, 0}, kColorNameYellow},
        {{96, 48, 0}, kColorNameBrown}, // hue 30, value below 0.5
        {{255, 0, 255}, kColorNamePurple},
        {{255, 160, 255}, kColorNamePurple}, // the pink sample: hue 300
        {{63, 63, 63}, kColorNameGrey},
        {{0, 0, 0}, kColorNameBlack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.color.red} << ", " << int{c.color.green} << ", " << int{c.color.blue});
        EXPECT_EQ(ClassifyEveryWay(c.color), c.code);
    }
    EXPECT_EQ(ClassifyColorRGB8(nullptr), kColorNameGrey);
}

TEST(ColorNamingTest, SamplesPackRedInTheLowestByte)
{
    const std::map<ColorNameCode, std::uint32_t> samples = {
        {199, 0},        {200, 0x0000FF}, {201, 0x00FF00}, {202, 0},        {203, 0xFF0000},
        {204, 0x00A0FF}, {205, 0x00FFFF}, {206, 0x003060}, {207, 0xFF00FF}, {208, 0xFFA0FF},
        {209, 0x3F3F3F}, {210, 0},        {211, 0},        {212, 0},        {-1, 0},
    };
    for (const auto& [code, sample] : samples)
        EXPECT_EQ(GetColorNameSample(code), sample) << code;
}

TEST(ColorNamingTest, CallerSettingsDecideTheGreyTestAndTheFirstCallsThresholdsStay)
{
    // The tables keep the thresholds of the process's first call; make sure
    // that was a call with the defaults, as in the rest of this program.
    EXPECT_EQ(Classify({255, 0, 0}), kColorNameRed);

    const std::uint8_t palePink[3] = {255, 160, 160}; // saturation 0.37
    EXPECT_EQ(ClassifyColor({0.5f, 0.2f}, palePink), kColorNameWhite) << "a grey of value 1";

    // With no chroma threshold even a grey passes on to the hue test, where
    // having no hue names it grey at once, without the value step.
    const std::uint8_t white[3] = {255, 255, 255};
    EXPECT_EQ(ClassifyColor({0.0f, 0.2f}, white), kColorNameGrey);

    const std::uint8_t darkRed[3] = {100, 0, 0}; // value 0.39
    EXPECT_EQ(ClassifyColor({0.1f, 0.5f}, darkRed), kColorNameRed) << "the darkness threshold of the tables is 0.2";
}

// The families the rules give a chromatic color by its hue: the nearest
// anchor by plain difference, a tie to the larger anchor.
enum class Family { RedOrPink, YellowOrBrown, Green, Blue, Purple };

Family FamilyOfHue(double hue)
{
    if (hue < 30)
        return Family::RedOrPink;
    if (hue < 90)
        return Family::YellowOrBrown;
    if (hue < 150)
        return Family::Green;
    if (hue < 270)
        return Family::Blue; // anchors 180 and 240
    return Family::Purple;   // from 270 on, up to 360: no wrap-around to 0
}

TEST(ColorNamingTest, GridSweepFollowsTheRules)
{
    const std::map<ColorNameCode, Family> familyOf = {
        {kColorNameRed, Family::RedOrPink}, {kColorNamePink, Family::RedOrPink},
        {kColorNameYellow, Family::YellowOrBrown}, {kColorNameBrown, Family::YellowOrBrown},
        {kColorNameGreen, Family::Green},  {kColorNameBlue, Family::Blue}, {kColorNamePurple, Family::Purple},
    };
    std::set<ColorNameCode> seen;
    constexpr int kStep = 17; // 0, 17, ..., 255: sixteen levels per channel
    for (int r = 0; r <= 255; r += kStep) {
        for (int g = 0; g <= 255; g += kStep) {
            for (int b = 0; b <= 255; b += kStep) {
                SCOPED_TRACE(testing::Message() << r << ", " << g << ", " << b);
                const ColorNameCode code =
                    Classify({static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)});
                seen.insert(code);
                const int max = std::max({r, g, b});
                const int spread = max - std::min({r, g, b});
                const bool bright = max > 127; // value above 0.5

                // Value (max / 255) at most 0.2, and only then, is black.
                ASSERT_EQ(code == kColorNameBlack, max <= 51);
                // Saturation (spread / max) below 0.1: a grey, by value.
                // Exactly on a threshold, either side may win in floats.
                if (max <= 51 || 10 * spread == max)
                    continue;
                if (10 * spread < max) {
                    ASSERT_EQ(code, bright ? kColorNameWhite : kColorNameGrey);
                    continue;
                }
                double hue = r == max   ? 60.0 * (g - b) / spread
                             : g == max ? 120 + 60.0 * (b - r) / spread
                                        : 240 + 60.0 * (r - g) / spread;
                hue += hue < 0 ? 360 : 0;
                std::set<Family> families = {FamilyOfHue(hue)};
                for (double boundary : {30.0, 90.0, 150.0, 270.0})
                    if (std::fabs(hue - boundary) < 1e-9)
                        families.insert(FamilyOfHue(boundary - 1));

                const auto family = familyOf.find(code);
                ASSERT_NE(family, familyOf.end()) << "a chromatic color named " << code;
                ASSERT_TRUE(families.contains(family->second)) << "hue " << hue;
                // Red from saturation 0.5 on, pink below; yellow above value
                // 0.5, brown up to it.
                if (family->second == Family::RedOrPink && 2 * spread != max) {
                    ASSERT_EQ(code == kColorNameRed, 2 * spread > max);
                }
                if (family->second == Family::YellowOrBrown) {
                    ASSERT_EQ(code == kColorNameYellow, bright);
                }
            }
        }
    }
    // Every name a rule can give is given somewhere on the grid; orange is
    // not: no anchor leads to it.
    EXPECT_EQ(seen, (std::set<ColorNameCode>{kColorNameRed, kColorNameGreen, kColorNameBlue, kColorNameYellow,
                                             kColorNameBrown, kColorNamePurple, kColorNamePink, kColorNameGrey,
                                             kColorNameBlack, kColorNameWhite}));
}

} // namespace
