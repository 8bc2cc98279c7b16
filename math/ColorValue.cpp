// ColorValue and the color functions: model conversions, comparison,
// blending, mixing, tinting and grey ramps.
#include "math/ColorValue.h"

#include <algorithm>
#include <cmath>

namespace KXMath {

namespace {

constexpr double kMax16 = 65535.0;
constexpr double kMax8 = 255.0;
constexpr float kFullCircle = 360.0f;
constexpr float kDegreesPerSixth = 60.0f;
constexpr int kMaxRampEntries = 256;
// The luminance weights of red, green and blue.
constexpr double kGreyRed = 0.299;
constexpr double kGreyGreen = 0.587;
constexpr double kGreyBlue = 0.114;

// A whole number of channel units, limited to [0, limit]; NaN gives 0 so no
// float ever reaches an integer conversion outside its range.
std::uint16_t SaturateChannel(double whole, double limit) noexcept
{
    if (!(whole > 0))
        return 0;
    return static_cast<std::uint16_t>(std::min(whole, limit));
}

std::uint16_t FloatTo16(float x) noexcept
{
    return SaturateChannel(std::floor(static_cast<double>(x) * kMax16 + 0.5), kMax16);
}

std::uint8_t FloatTo8(float x) noexcept
{
    return static_cast<std::uint8_t>(SaturateChannel(std::floor(static_cast<double>(x) * kMax8 + 0.5), kMax8));
}

// A channel given in the model's own units, as the constructor takes it.
std::uint16_t RoundChannel(float x, double limit) noexcept
{
    return SaturateChannel(std::floor(static_cast<double>(x) + 0.5), limit);
}

// The 8-bit level of entry `index` of an ascending ramp of `count` entries:
// floor(index * 255 / (count - 1) + 0.5), in integers so that no level is
// lost to a float that lands just below a half.
std::uint16_t RampLevel(std::size_t index, std::size_t count) noexcept
{
    if (count <= 1)
        return 0;
    const std::size_t span = count - 1;
    return static_cast<std::uint16_t>((2 * index * 255 + span) / (2 * span));
}

std::uint16_t RampEntry(std::size_t index, std::size_t count, bool ascending) noexcept
{
    const std::size_t k = ascending ? index : count - 1 - index;
    return static_cast<std::uint16_t>(RampLevel(k, count) * 257);
}

// The channels of a color in a float model, in comparison order.
struct FloatChannels {
    float values[4] = {};
    int count = 0;
};

bool FloatChannelsOf(const ColorValue& color, ColorModel model, FloatChannels& out) noexcept
{
    switch (model) {
    case kColorCMYK:
        color.GetCMYK(out.values[0], out.values[1], out.values[2], out.values[3]);
        out.count = 4;
        return true;
    case kColorRGB:
        color.GetRGB(out.values[0], out.values[1], out.values[2]);
        out.count = 3;
        return true;
    case kColorHSV:
        color.GetHSV(out.values[0], out.values[1], out.values[2]);
        out.count = 3;
        return true;
    default:
        return false;
    }
}

// The channels of a color in an integer model (RGB16 or RGB8), as ints.
bool IntChannelsOf(const ColorValue& color, ColorModel model, int (&out)[3]) noexcept
{
    if (model == kColorRGB16) {
        std::uint16_t r = 0, g = 0, b = 0;
        color.GetRGB16(r, g, b);
        out[0] = r, out[1] = g, out[2] = b;
        return true;
    }
    if (model == kColorRGB8) {
        std::uint8_t r = 0, g = 0, b = 0;
        color.GetRGB8(r, g, b);
        out[0] = r, out[1] = g, out[2] = b;
        return true;
    }
    return false;
}

double Square(double x) noexcept
{
    return x * x;
}

} // namespace

float Clamp01(float x) noexcept
{
    if (!(x > 0))
        return 0; // NaN too
    return x > 1 ? 1.0f : x;
}

float ClampSigned(float x) noexcept
{
    if (std::isnan(x))
        return 0;
    return std::clamp(x, -1.0f, 1.0f);
}

float NormalizeHue(float h) noexcept
{
    if (h == kNoHue || std::isnan(h))
        return kNoHue;
    if (h < 0 || h >= kFullCircle)
        return 0;
    return h;
}

std::uint16_t LimitToByte(std::uint16_t x) noexcept
{
    return std::min<std::uint16_t>(x, 255);
}

float TintChannel(float x, float amount) noexcept
{
    return Clamp01(amount > 0 ? x + amount * (1 - x) : x + amount * x);
}

void CMYKToRGB(float c, float m, float y, float k, float& r, float& g, float& b) noexcept
{
    const float white = 1 - Clamp01(k);
    r = (1 - Clamp01(c)) * white;
    g = (1 - Clamp01(m)) * white;
    b = (1 - Clamp01(y)) * white;
}

void CMYKToRGBAdditive(float c, float m, float y, float k, float& r, float& g, float& b) noexcept
{
    const float black = Clamp01(k);
    r = 1 - Clamp01(Clamp01(c) + black);
    g = 1 - Clamp01(Clamp01(m) + black);
    b = 1 - Clamp01(Clamp01(y) + black);
}

void RGBToCMYK(float r, float g, float b, float& c, float& m, float& y, float& k) noexcept
{
    const float cyan = 1 - Clamp01(r);
    const float magenta = 1 - Clamp01(g);
    const float yellow = 1 - Clamp01(b);
    k = std::min({cyan, magenta, yellow});
    if (k == 1) {
        c = m = y = 0;
        return;
    }
    const float rest = 1 - k;
    c = (cyan - k) / rest;
    m = (magenta - k) / rest;
    y = (yellow - k) / rest;
}

float RGBToCMYKPlain(float r, float g, float b, float& c, float& m, float& y, float& k) noexcept
{
    const float cyan = 1 - Clamp01(r);
    const float magenta = 1 - Clamp01(g);
    const float yellow = 1 - Clamp01(b);
    k = std::min({cyan, magenta, yellow});
    c = cyan - k;
    m = magenta - k;
    y = yellow - k;
    return y;
}

void HSVToRGB(float h, float s, float v, float& r, float& g, float& b) noexcept
{
    h = NormalizeHue(h);
    if (s == 0 || h == kNoHue) {
        r = g = b = v;
        return;
    }
    const float sixths = h / kDegreesPerSixth;
    // A hue just below 360 must stay in the last sixth even if the division
    // rounds up to 6.
    const int sector = std::min(static_cast<int>(sixths), 5);
    const float f = sixths - static_cast<float>(sector);
    const float p = v * (1 - s);
    const float q = v * (1 - f * s);
    const float t = v * (1 - (1 - f) * s);
    switch (sector) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
    }
}

void RGBToHSV(float r, float g, float b, float& h, float& s, float& v) noexcept
{
    r = Clamp01(r);
    g = Clamp01(g);
    b = Clamp01(b);
    const float max = std::max({r, g, b});
    const float min = std::min({r, g, b});
    const float delta = max - min;
    v = max;
    if (delta == 0) {
        s = 0;
        h = kNoHue;
        return;
    }
    s = delta / max;
    float sixths = 0;
    if (r == max)
        sixths = (g - b) / delta;
    else if (g == max)
        sixths = 2 + (b - r) / delta;
    else
        sixths = 4 + (r - g) / delta;
    h = sixths * kDegreesPerSixth;
    if (h < 0)
        h += kFullCircle;
    // A tiny negative hue of a red with a trace of blue rounds to 360 above.
    if (h >= kFullCircle)
        h = 0;
}

ColorValue::ColorValue(ColorModel model, float a, float b, float c, float d) noexcept
{
    switch (model) {
    case kColorCMYK:
        SetCMYK(a, b, c, d);
        break;
    case kColorRGB:
        SetRGB(a, b, c);
        break;
    case kColorHSV:
        SetHSV(a, b, c);
        break;
    case kColorRGB16:
        this->model = kColorRGB16;
        channels.rgb16 = Triple16{RoundChannel(a, kMax16), RoundChannel(b, kMax16), RoundChannel(c, kMax16)};
        break;
    case kColorRGB8:
        this->model = kColorRGB8;
        channels.rgb8 = Triple8{static_cast<std::uint8_t>(RoundChannel(a, kMax8)),
                                static_cast<std::uint8_t>(RoundChannel(b, kMax8)),
                                static_cast<std::uint8_t>(RoundChannel(c, kMax8))};
        break;
    default:
        break; // stays the default black
    }
}

void ColorValue::SetCMYK(float c, float m, float y, float k) noexcept
{
    model = kColorCMYK;
    channels.cmyk = CMYK{Clamp01(c), Clamp01(m), Clamp01(y), Clamp01(k)};
}

void ColorValue::SetRGB(float r, float g, float b) noexcept
{
    model = kColorRGB;
    channels.floats = FloatTriple{Clamp01(r), Clamp01(g), Clamp01(b)};
}

void ColorValue::SetHSV(float h, float s, float v) noexcept
{
    model = kColorHSV;
    channels.floats = FloatTriple{NormalizeHue(h), Clamp01(s), Clamp01(v)};
}

void ColorValue::SetRGB8Triple(const RGBTriple& triple) noexcept
{
    model = kColorRGB8;
    channels.rgb8 = Triple8{static_cast<std::uint8_t>(LimitToByte(triple.red)),
                            static_cast<std::uint8_t>(LimitToByte(triple.green)),
                            static_cast<std::uint8_t>(LimitToByte(triple.blue))};
}

void ColorValue::GetRGB(float& r, float& g, float& b) const noexcept
{
    switch (model) {
    case kColorCMYK:
        CMYKToRGB(channels.cmyk.cyan, channels.cmyk.magenta, channels.cmyk.yellow, channels.cmyk.black, r, g, b);
        break;
    case kColorRGB:
        r = channels.floats.first;
        g = channels.floats.second;
        b = channels.floats.third;
        break;
    case kColorHSV:
        HSVToRGB(NormalizeHue(channels.floats.first), Clamp01(channels.floats.second), Clamp01(channels.floats.third),
                 r, g, b);
        break;
    case kColorRGB16:
        r = static_cast<float>(channels.rgb16.red / kMax16);
        g = static_cast<float>(channels.rgb16.green / kMax16);
        b = static_cast<float>(channels.rgb16.blue / kMax16);
        break;
    case kColorRGB8:
        r = static_cast<float>(channels.rgb8.red / kMax8);
        g = static_cast<float>(channels.rgb8.green / kMax8);
        b = static_cast<float>(channels.rgb8.blue / kMax8);
        break;
    default:
        break;
    }
}

void ColorValue::GetHSV(float& h, float& s, float& v) const noexcept
{
    if (model == kColorHSV) {
        h = channels.floats.first;
        s = channels.floats.second;
        v = channels.floats.third;
        return;
    }
    float r = 0, g = 0, b = 0;
    GetRGB(r, g, b);
    RGBToHSV(r, g, b, h, s, v);
}

void ColorValue::GetCMYK(float& c, float& m, float& y, float& k) const noexcept
{
    if (model == kColorCMYK) {
        c = channels.cmyk.cyan;
        m = channels.cmyk.magenta;
        y = channels.cmyk.yellow;
        k = channels.cmyk.black;
        return;
    }
    float r = 0, g = 0, b = 0;
    GetRGB(r, g, b);
    RGBToCMYK(r, g, b, c, m, y, k);
}

void ColorValue::GetRGB16(std::uint16_t& r, std::uint16_t& g, std::uint16_t& b) const noexcept
{
    switch (model) {
    case kColorRGB16:
        r = channels.rgb16.red;
        g = channels.rgb16.green;
        b = channels.rgb16.blue;
        break;
    case kColorRGB8:
        r = static_cast<std::uint16_t>(channels.rgb8.red * 257);
        g = static_cast<std::uint16_t>(channels.rgb8.green * 257);
        b = static_cast<std::uint16_t>(channels.rgb8.blue * 257);
        break;
    case kColorCMYK:
    case kColorRGB:
    case kColorHSV: {
        float fr = 0, fg = 0, fb = 0;
        GetRGB(fr, fg, fb);
        r = FloatTo16(fr);
        g = FloatTo16(fg);
        b = FloatTo16(fb);
        break;
    }
    default:
        break;
    }
}

void ColorValue::GetRGB8(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const noexcept
{
    switch (model) {
    case kColorRGB8:
        r = channels.rgb8.red;
        g = channels.rgb8.green;
        b = channels.rgb8.blue;
        break;
    case kColorRGB16:
        r = static_cast<std::uint8_t>(channels.rgb16.red >> 8);
        g = static_cast<std::uint8_t>(channels.rgb16.green >> 8);
        b = static_cast<std::uint8_t>(channels.rgb16.blue >> 8);
        break;
    case kColorCMYK:
    case kColorRGB:
    case kColorHSV: {
        float fr = 0, fg = 0, fb = 0;
        GetRGB(fr, fg, fb);
        r = FloatTo8(fr);
        g = FloatTo8(fg);
        b = FloatTo8(fb);
        break;
    }
    default:
        break;
    }
}

void ColorValue::GetRGB8Triple(RGBTriple& triple) const noexcept
{
    std::uint8_t r = 0, g = 0, b = 0;
    GetRGB8(r, g, b);
    triple = RGBTriple{r, g, b};
}

void ColorValue::GetGrey(double& grey) const noexcept
{
    float r = 0, g = 0, b = 0;
    GetRGB(r, g, b);
    grey = std::clamp(kGreyRed * r + kGreyGreen * g + kGreyBlue * b, 0.0, 1.0);
}

bool ColorValue::IsLess(const ColorValue& other) const noexcept
{
    return KXMath::IsLess(*this, other, model, 0);
}

bool ColorValue::IsEqual(const ColorValue& other) const noexcept
{
    return KXMath::IsEqual(*this, other, model, 0);
}

void ColorValue::BlendPercent(ColorValue& other, std::uint8_t percent) noexcept
{
    ConvertTo(*this, kColorRGB16, *this);
    ConvertTo(other, kColorRGB16, other);
    const double x = percent / 100.0;
    const auto blend = [x](std::uint16_t self, std::uint16_t with) {
        return SaturateChannel(std::floor((self / kMax16 * x + with / kMax16 * (1 - x)) * kMax16 + 0.5), kMax16);
    };
    channels.rgb16 = Triple16{blend(channels.rgb16.red, other.channels.rgb16.red),
                              blend(channels.rgb16.green, other.channels.rgb16.green),
                              blend(channels.rgb16.blue, other.channels.rgb16.blue)};
}

void ColorValue::NormalizeCMYK() noexcept
{
    if (model != kColorCMYK)
        return;
    float r = 0, g = 0, b = 0;
    CMYKToRGBAdditive(channels.cmyk.cyan, channels.cmyk.magenta, channels.cmyk.yellow, channels.cmyk.black, r, g, b);
    CMYK folded{};
    RGBToCMYK(r, g, b, folded.cyan, folded.magenta, folded.yellow, folded.black);
    channels.cmyk = folded;
}

void ConvertTo(ColorValue& result, ColorModel model, const ColorValue& color) noexcept
{
    switch (model) {
    case kColorCMYK: {
        float c = 0, m = 0, y = 0, k = 0;
        color.GetCMYK(c, m, y, k);
        result.SetCMYK(c, m, y, k);
        break;
    }
    case kColorRGB: {
        float r = 0, g = 0, b = 0;
        color.GetRGB(r, g, b);
        result.SetRGB(r, g, b);
        break;
    }
    case kColorHSV: {
        float h = 0, s = 0, v = 0;
        color.GetHSV(h, s, v);
        result.SetHSV(h, s, v);
        break;
    }
    case kColorRGB16: {
        std::uint16_t r = 0, g = 0, b = 0;
        color.GetRGB16(r, g, b);
        result = ColorValue(kColorRGB16, r, g, b);
        break;
    }
    case kColorRGB8: {
        std::uint8_t r = 0, g = 0, b = 0;
        color.GetRGB8(r, g, b);
        result = ColorValue(kColorRGB8, r, g, b);
        break;
    }
    default:
        break;
    }
}

float CompareColors(const ColorValue& a, const ColorValue& b, ColorModel model, float tolerance) noexcept
{
    int intA[3] = {};
    int intB[3] = {};
    if (IntChannelsOf(a, model, intA) && IntChannelsOf(b, model, intB)) {
        for (int i = 0; i < 3; ++i) {
            if (intA[i] != intB[i])
                return static_cast<float>(intA[i] - intB[i]);
        }
        return 0;
    }
    FloatChannels channelsA;
    FloatChannels channelsB;
    if (!FloatChannelsOf(a, model, channelsA) || !FloatChannelsOf(b, model, channelsB))
        return 0;
    for (int i = 0; i < channelsA.count; ++i) {
        const float difference = channelsA.values[i] - channelsB.values[i];
        const bool equal = tolerance > 0 ? tolerance > std::fabs(difference) : difference == 0;
        if (!equal)
            return difference;
    }
    return 0;
}

bool IsLess(const ColorValue& a, const ColorValue& b, ColorModel model, float tolerance) noexcept
{
    return CompareColors(a, b, model, tolerance) < 0;
}

bool IsEqual(const ColorValue& a, const ColorValue& b, ColorModel model, float tolerance) noexcept
{
    return CompareColors(a, b, model, tolerance) == 0;
}

double DistanceSquared(const ColorValue& a, const ColorValue& b, ColorModel model) noexcept
{
    int intA[3] = {};
    int intB[3] = {};
    if (IntChannelsOf(a, model, intA) && IntChannelsOf(b, model, intB))
        return Square(intA[0] - intB[0]) + Square(intA[1] - intB[1]) + Square(intA[2] - intB[2]);
    FloatChannels channelsA;
    FloatChannels channelsB;
    if (!FloatChannelsOf(a, model, channelsA) || !FloatChannelsOf(b, model, channelsB))
        return 0;
    // Hue is the first HSV channel, and counts only when both colors have one.
    const bool skipHue =
        model == kColorHSV && (channelsA.values[0] == kNoHue || channelsB.values[0] == kNoHue);
    double sum = 0;
    for (int i = skipHue ? 1 : 0; i < channelsA.count; ++i)
        sum += Square(static_cast<double>(channelsA.values[i]) - channelsB.values[i]);
    return sum;
}

void Mix(const ColorValue& a, const ColorValue& b, float weight, ColorValue& result) noexcept
{
    const float w = Clamp01(weight);
    std::uint8_t rgbA[3] = {};
    std::uint8_t rgbB[3] = {};
    a.GetRGB8(rgbA[0], rgbA[1], rgbA[2]);
    b.GetRGB8(rgbB[0], rgbB[1], rgbB[2]);
    // b + (a - b) * w is a * w + b * (1 - w) rearranged so that the result
    // never leaves the range between the two channels, whatever the rounding:
    // the truncation cannot then drop a channel below both operands.
    float mixed[3] = {};
    for (int i = 0; i < 3; ++i)
        mixed[i] = std::trunc(static_cast<float>(rgbB[i]) + static_cast<float>(rgbA[i] - rgbB[i]) * w);
    result = ColorValue(kColorRGB8, mixed[0], mixed[1], mixed[2]);
}

void Tint(const ColorValue& color, float amount, ColorValue& result) noexcept
{
    const float a = ClampSigned(amount);
    float r = 0, g = 0, b = 0;
    color.GetRGB(r, g, b);
    result.SetRGB(TintChannel(Clamp01(r), a), TintChannel(Clamp01(g), a), TintChannel(Clamp01(b), a));
}

void MakeGreyRamp(RGBTriple* table, std::size_t count, bool ascending) noexcept
{
    if (table == nullptr)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t level = RampEntry(i, count, ascending);
        table[i] = RGBTriple{level, level, level};
    }
}

bool IsGreyRamp(const RGBTriple* table, std::size_t count) noexcept
{
    if (table == nullptr || count == 0 || count > kMaxRampEntries)
        return false;
    const bool ascending = table[0].red == 0 && table[0].green == 0 && table[0].blue == 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t level = RampEntry(i, count, ascending);
        if (table[i].red != level || table[i].green != level || table[i].blue != level)
            return false;
    }
    return true;
}

} // namespace KXMath
