// The color-naming rules as tables, built once from the first caller's
// thresholds, and the walk of a color through them.
#include "dialogs/ColorNaming.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace {

using KXMath::ColorValue;

constexpr float kDefaultChromaThreshold = 0.1f;
constexpr float kDefaultDarknessThreshold = 0.2f;
/// Hue 0 turns from pink to red at this saturation.
constexpr float kRedSaturation = 0.5f;
/// Yellow turns brown, and a grey turns white, above this value.
constexpr float kMidValue = 0.5f;
constexpr float kFullValue = 1.0f;
constexpr float kFullCircle = 360.0f;

/// One row of a table: from (saturation tables) or up to (value tables)
/// `threshold`, the name is `code`.
struct Step {
    float threshold;
    ColorNameCode code;
};

struct Anchor {
    float hue;
    std::array<Step, 2> saturationSteps;
    std::size_t stepCount;
};

struct ValueTable {
    ColorNameCode code;
    std::array<Step, 3> steps;
    std::size_t stepCount;
};

constexpr std::size_t kAnchorCount = 6;
constexpr std::size_t kValueTableCount = 11;

struct Tables {
    /// In ascending order of hue.
    std::array<Anchor, kAnchorCount> anchors;
    std::array<ValueTable, kValueTableCount> valueTables;
};

Tables BuildTables(const ColorNameSettings& settings) noexcept
{
    const float chroma = settings.chromaThreshold;
    const float dark = settings.darknessThreshold;
    return Tables{
        {{
            {0, {{{chroma, kColorNamePink}, {kRedSaturation, kColorNameRed}}}, 2},
            {60, {{{chroma, kColorNameYellow}}}, 1},
            {120, {{{chroma, kColorNameGreen}}}, 1},
            {180, {{{chroma, kColorNameBlue}}}, 1},
            {240, {{{chroma, kColorNameBlue}}}, 1},
            {300, {{{chroma, kColorNamePurple}}}, 1},
        }},
        {{
            {kColorNameRed, {{{dark, kColorNameBlack}, {kFullValue, kColorNameRed}}}, 2},
            {kColorNameGreen, {{{dark, kColorNameBlack}, {kFullValue, kColorNameGreen}}}, 2},
            {kColorNameBlue, {{{dark, kColorNameBlack}, {kFullValue, kColorNameBlue}}}, 2},
            {kColorNameOrange,
             {{{dark, kColorNameBlack}, {kMidValue, kColorNameBrown}, {kFullValue, kColorNameOrange}}},
             3},
            {kColorNameYellow,
             {{{dark, kColorNameBlack}, {kMidValue, kColorNameBrown}, {kFullValue, kColorNameYellow}}},
             3},
            {kColorNameBrown,
             {{{dark, kColorNameBlack}, {kMidValue, kColorNameBrown}, {kFullValue, kColorNameOrange}}},
             3},
            {kColorNamePurple, {{{dark, kColorNameBlack}, {kFullValue, kColorNamePurple}}}, 2},
            {kColorNamePink, {{{dark, kColorNameBlack}}}, 1},
            {kColorNameGrey, {{{dark, kColorNameBlack}, {kMidValue, kColorNameGrey}, {kFullValue, kColorNameWhite}}}, 3},
            {kColorNameBlack,
             {{{dark, kColorNameBlack}, {kMidValue, kColorNameGrey}, {kFullValue, kColorNameWhite}}},
             3},
            {kColorNameWhite,
             {{{dark, kColorNameBlack}, {kMidValue, kColorNameGrey}, {kFullValue, kColorNameWhite}}},
             3},
        }},
    };
}

/// The tables, built on the first call with that call's settings.
const Tables& TablesFor(const ColorNameSettings& firstSettings) noexcept
{
    static const Tables tables = BuildTables(firstSettings);
    return tables;
}

struct Sample {
    ColorNameCode code;
    std::uint32_t color;
};

constexpr std::uint32_t PackRGB(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    return red | green << 8 | blue << 16;
}

// Constant, so it needs no building and is safe from any thread at any time.
constexpr std::array<Sample, 10> kSamples{{
    {kColorNameRed, PackRGB(255, 0, 0)},
    {kColorNameGreen, PackRGB(0, 255, 0)},
    {kColorNameBlue, PackRGB(0, 0, 255)},
    {kColorNameOrange, PackRGB(255, 160, 0)},
    {kColorNameYellow, PackRGB(255, 255, 0)},
    {kColorNameBrown, PackRGB(96, 48, 0)},
    {kColorNamePurple, PackRGB(255, 0, 255)},
    {kColorNamePink, PackRGB(255, 160, 255)},
    {kColorNameGrey, PackRGB(63, 63, 63)},
    {kColorNameBlack, PackRGB(0, 0, 0)},
}};

ColorNameCode CodeOfHue(const Tables& tables, float hue, float saturation) noexcept
{
    const float reduced = std::fmod(hue, kFullCircle);
    const Anchor* nearest = &tables.anchors[0];
    float nearestDifference = kFullCircle;
    // From the largest anchor down, replacing only on a strictly smaller
    // difference: a hue halfway between two anchors goes to the larger.
    for (std::size_t i = kAnchorCount; i-- > 0;) {
        const float difference = std::fabs(reduced - tables.anchors[i].hue);
        if (difference < nearestDifference) {
            nearest = &tables.anchors[i];
            nearestDifference = difference;
        }
    }
    const Step* chosen = nullptr;
    for (std::size_t i = 0; i < nearest->stepCount; ++i) {
        const Step& step = nearest->saturationSteps[i];
        if (step.threshold <= saturation && (chosen == nullptr || step.threshold > chosen->threshold))
            chosen = &step;
    }
    return chosen != nullptr ? chosen->code : kColorNameGrey;
}

ColorNameCode AdjustByValue(const Tables& tables, ColorNameCode code, float value) noexcept
{
    if (!(value >= 0 && value <= 1))
        return code;
    for (const ValueTable& table : tables.valueTables) {
        if (table.code != code)
            continue;
        for (std::size_t i = 0; i < table.stepCount; ++i) {
            if (!(table.steps[i].threshold < value))
                return table.steps[i].code;
        }
        return code;
    }
    return code;
}

ColorNameSettings DefaultSettings() noexcept
{
    ColorNameSettings settings;
    InitColorNameSettings(settings);
    return settings;
}

} // namespace

void InitColorNameSettings(ColorNameSettings& settings) noexcept
{
    settings.chromaThreshold = kDefaultChromaThreshold;
    settings.darknessThreshold = kDefaultDarknessThreshold;
}

ColorNameCode ClassifyColor(const ColorNameSettings& settings, const std::uint8_t* rgb) noexcept
{
    const Tables& tables = TablesFor(settings);
    if (rgb == nullptr)
        return kColorNameGrey;
    const ColorValue color(KXMath::kColorRGB8, rgb[0], rgb[1], rgb[2]);
    float hue = KXMath::kNoHue;
    float saturation = 0;
    float value = 0;
    color.GetHSV(hue, saturation, value);
    // The negated tests also catch NaN.
    if (!(saturation >= 0 && saturation <= 1))
        return kColorNameGrey;
    ColorNameCode code = kColorNameGrey;
    if (!(saturation < settings.chromaThreshold)) {
        if (!(hue >= 0 && hue < kFullCircle))
            return kColorNameGrey;
        code = CodeOfHue(tables, hue, saturation);
    }
    return AdjustByValue(tables, code, value);
}

ColorNameCode ClassifyColorRGB8(const std::uint8_t* rgb) noexcept
{
    return ClassifyColor(DefaultSettings(), rgb);
}

ColorNameCode ClassifyColorTriple(const KXMath::RGBTriple& triple) noexcept
{
    const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(triple.red & 0xFF),
                                 static_cast<std::uint8_t>(triple.green & 0xFF),
                                 static_cast<std::uint8_t>(triple.blue & 0xFF)};
    return ClassifyColor(DefaultSettings(), rgb);
}

std::uint32_t GetColorNameSample(ColorNameCode code) noexcept
{
    for (const Sample& sample : kSamples) {
        if (sample.code == code)
            return sample.color;
    }
    return 0;
}
