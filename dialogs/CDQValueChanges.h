// The plain value holders of dialog controls: one class per kind of value a
// control carries (texts, integers, ranges, colors, patterns, hatches,
// gradients, resources, line types, weights and ends, list items).
//
// Each holds its values by value in public fields, in the order its value
// constructor takes them; the constructor without arguments stores the zero
// of every field (empty texts). Copies and assignments copy every field; the
// host's dialog-data value follows the base's rules (CDQBaseDataContainer.h):
// asked for anew by every constructor, kept by assignment. The only exception
// is CDQPatternWithColorValueChange's value constructor, which takes over the
// values its parts were born with.
//
// Constructors that copy texts may throw std::bad_alloc; nothing else throws.
#pragma once

#include "dialogs/CDQBaseDataContainer.h"
#include "strings/TXString.h"

#include <array>
#include <cstddef>
#include <cstdint>

/// Two texts.
class CDQStringValueChange : public CDQBaseDataContainer {
public:
    CDQStringValueChange() = default;
    CDQStringValueChange(const TXString& first, const TXString& second) : firstText(first), secondText(second) {}

    TXString firstText;
    TXString secondText;
};

/// One integer.
class CDQIntValueChange : public CDQBaseDataContainer {
public:
    CDQIntValueChange() = default;
    explicit CDQIntValueChange(std::int32_t value) noexcept : value(value) {}

    std::int32_t value = 0;
};

/// The state of a control with more than two states.
class CDQMultiStateValueChange : public CDQBaseDataContainer {
public:
    CDQMultiStateValueChange() = default;
    explicit CDQMultiStateValueChange(std::int32_t state) noexcept : state(state) {}

    std::int32_t state = 0;
};

/// An integer with two bounds. The bounds are stored as given: nothing
/// orders them or limits the value to them.
class CDQRangedValueChange : public CDQIntValueChange {
public:
    CDQRangedValueChange() = default;
    CDQRangedValueChange(std::int32_t value, std::int32_t firstBound, std::int32_t secondBound) noexcept
        : CDQIntValueChange(value), firstBound(firstBound), secondBound(secondBound)
    {
    }

    std::int32_t firstBound = 0;
    std::int32_t secondBound = 0;
};

/// A color as the host's 16-bit color index, with two 8-bit values beside it.
class CDQColorValueChange : public CDQBaseDataContainer {
public:
    CDQColorValueChange() = default;
    CDQColorValueChange(std::uint16_t color, std::uint8_t firstByte, std::uint8_t secondByte) noexcept
        : color(color), firstByte(firstByte), secondByte(secondByte)
    {
    }

    std::uint16_t color = 0;
    std::uint8_t firstByte = 0;
    std::uint8_t secondByte = 0;
};

/// A fill pattern and a flag.
class CDQPatternValueChange : public CDQBaseDataContainer {
public:
    CDQPatternValueChange() = default;
    CDQPatternValueChange(std::int32_t pattern, bool flag) noexcept : pattern(pattern), flag(flag) {}

    std::int32_t pattern = 0;
    bool flag = false;
};

/// A pattern with its two colors.
class CDQPatternWithColorValueChange : public CDQBaseDataContainer {
public:
    CDQPatternWithColorValueChange() = default;
    /// Copies the parts whole, each with the host value it was born with:
    /// the parts were taken from controls as they were then, and stay so.
    CDQPatternWithColorValueChange(const CDQColorValueChange& first, const CDQColorValueChange& second,
                                   const CDQPatternValueChange& fill) noexcept
        : firstColor(first), secondColor(second), pattern(fill)
    {
        firstColor.hostValue = first.hostValue;
        secondColor.hostValue = second.hostValue;
        pattern.hostValue = fill.hostValue;
    }

    CDQColorValueChange firstColor;
    CDQColorValueChange secondColor;
    CDQPatternValueChange pattern;
};

/// A hatch style as two integers.
class CDQHatchStyleValueChange : public CDQBaseDataContainer {
public:
    CDQHatchStyleValueChange() = default;
    CDQHatchStyleValueChange(std::int32_t first, std::int32_t second) noexcept : first(first), second(second) {}

    std::int32_t first = 0;
    std::int32_t second = 0;
};

/// A gradient.
class CDQGradientValueChange : public CDQBaseDataContainer {
public:
    CDQGradientValueChange() = default;
    explicit CDQGradientValueChange(std::int32_t gradient) noexcept : gradient(gradient) {}

    std::int32_t gradient = 0;
};

/// An image resource.
class CDQImageResourceValueChange : public CDQBaseDataContainer {
public:
    CDQImageResourceValueChange() = default;
    explicit CDQImageResourceValueChange(std::int32_t resource) noexcept : resource(resource) {}

    std::int32_t resource = 0;
};

/// A tile resource.
class CDQTileResourceValueChange : public CDQBaseDataContainer {
public:
    CDQTileResourceValueChange() = default;
    explicit CDQTileResourceValueChange(std::int32_t resource) noexcept : resource(resource) {}

    std::int32_t resource = 0;
};

/// A resource change without a value of its own: only the host value.
class CDQResourceValueChange : public CDQBaseDataContainer {};

/// A line type.
class CDQLineTypeValueChange : public CDQBaseDataContainer {
public:
    CDQLineTypeValueChange() = default;
    explicit CDQLineTypeValueChange(std::int32_t lineType) noexcept : lineType(lineType) {}

    std::int32_t lineType = 0;
};

/// A line weight with two 8-bit values beside it.
class CDQLineWeightValueChange : public CDQBaseDataContainer {
public:
    CDQLineWeightValueChange() = default;
    CDQLineWeightValueChange(std::int16_t weight, std::uint8_t firstByte, std::uint8_t secondByte) noexcept
        : weight(weight), firstByte(firstByte), secondByte(secondByte)
    {
    }

    std::int16_t weight = 0;
    std::uint8_t firstByte = 0;
    std::uint8_t secondByte = 0;
};

/// The size of the host's line-end record.
inline constexpr std::size_t kLineEndRecordSize = 40;
/// The host's line-end record. Its layout is the host's: it is copied whole
/// and never read here.
using LineEndRecord = std::array<std::uint8_t, kLineEndRecordSize>;

/// A line end and a flag.
class CDQLineEndValueChange : public CDQBaseDataContainer {
public:
    CDQLineEndValueChange() = default;
    CDQLineEndValueChange(const LineEndRecord& record, bool flag) noexcept : record(record), flag(flag) {}

    LineEndRecord record{};
    bool flag = false;
};

/// An entry of a list control: two texts, two 64-bit values and an integer.
class CDQListItemValue : public CDQBaseDataContainer, public TDebugObject {
public:
    CDQListItemValue() = default;
    CDQListItemValue(const TXString& text, std::int64_t data, std::int32_t value) : text(text), data(data), value(value)
    {
    }
    CDQListItemValue(const TXString& text, const TXString& secondText, std::int32_t value)
        : text(text), secondText(secondText), value(value)
    {
    }
    CDQListItemValue(const TXString& text, std::int64_t data, const TXString& secondText, std::int32_t value)
        : text(text), data(data), secondText(secondText), value(value)
    {
    }
    CDQListItemValue(const TXString& text, std::int64_t data, const TXString& secondText, std::int64_t secondData,
                     std::int32_t value)
        : text(text), data(data), secondData(secondData), secondText(secondText), value(value)
    {
    }

    TXString text;
    std::int64_t data = 0;
    std::int64_t secondData = 0;
    TXString secondText;
    std::int32_t value = 0;
};
