// CFormatString: fills a message template's percent conversions from a list
// of typed arguments, for messages built from translated resource strings.
//
// A template is read one unit at a time. "%" opens a conversion, which ends
// at the first of the letters "diuoxXfFeEgGaAcspn" (and takes the next
// argument), or is written as it stands when a NUL, a "%" or a space comes
// first ("%%" gives one "%"; the space is written too, so "50% off" stays
// as it is). Arguments are used in the order they were added:
// - numbers and pointers go through the C runtime's swprintf with the
//   conversion as written, each in a 1024-unit scratch buffer (longer output
//   is dropped); a conversion whose letter or size does not fit the argument
//   reads the argument's bits as the conversion's type, the way the Windows
//   runtime reads a 64-bit argument slot, so results are the same everywhere;
// - a character under exactly "%c" or "%s" (either case) is written as the
//   unit itself; under any other conversion it is a 32-bit integer;
// - a text is written whole under any conversion (flags, width and precision
//   are ignored).
//
// Templates come from translators, so no template can make the formatter
// read or write memory through an argument: %s, %S and %n with anything but
// a text (and a character under exactly %c or %s), and any conversion that
// the runtime would not read as one conversion of one argument (a "*" or
// "$", an unknown flag or size, a width or precision beyond 99999), are
// written as they stand and use up their argument. A conversion with no
// argument left is written as it stands too.
#pragma once

#include "strings/TXString.h"

#include <concepts>
#include <cstdint>
#include <vector>

/// A 16-bit character argument: the unit types of TXString except unsigned
/// short, which is a number here.
template <typename C>
concept CFormatUnitType = TXUnitType<C> && !std::same_as<std::remove_cv_t<C>, unsigned short>;

/// One argument of a CFormatString: a tagged value with one slot per kind.
class CFormatArg {
public:
    enum Kind : std::int32_t {
        kShort = 0,            ///< signed 16-bit
        kInt = 1,              ///< signed 32-bit
        kLong = 2,             ///< signed 32-bit
        kLongLong = 3,         ///< signed 64-bit
        kUnsignedShort = 4,    ///< unsigned 16-bit
        kUnsignedInt = 5,      ///< unsigned 32-bit
        kUnsignedLong = 6,     ///< unsigned 32-bit
        kUnsignedLongLong = 7, ///< unsigned 64-bit
        kDouble = 8,           ///< 64-bit real
        kChar = 9,             ///< one UTF-16 unit (an 8-bit character keeps its byte value)
        kPointer = 10,         ///< an address, never read through
        kText = 11,            ///< a TXString
    };

    explicit CFormatArg(short value) : kind(kShort), shortValue(value) {}
    explicit CFormatArg(int value) : kind(kInt), intValue(value) {}
    /// `long` is kind 2 where it has 32 bits (Windows) and kind 3 where it has
    /// 64, so that no value is cut on the way in.
    explicit CFormatArg(long value);
    explicit CFormatArg(long long value) : kind(kLongLong), longLongValue(value) {}
    explicit CFormatArg(unsigned short value) : kind(kUnsignedShort), unsignedShortValue(value) {}
    explicit CFormatArg(unsigned value) : kind(kUnsignedInt), unsignedIntValue(value) {}
    /// Kind 6 or 7, as for `long`.
    explicit CFormatArg(unsigned long value);
    explicit CFormatArg(unsigned long long value) : kind(kUnsignedLongLong), unsignedLongLongValue(value) {}
    explicit CFormatArg(double value) : kind(kDouble), doubleValue(value) {}
    explicit CFormatArg(TXChar unit) : kind(kChar), charValue(unit) {}
    explicit CFormatArg(const void* pointer) : kind(kPointer), pointerValue(pointer) {}
    explicit CFormatArg(const TXString& text) : kind(kText), textValue(text) {}

    Kind GetKind() const noexcept { return kind; }

    /// @name The value as another type
    /// Integers convert modulo the target's range, reals are truncated toward
    /// zero and saturate at the target's ends (NaN gives 0), a character is
    /// its unit value and a pointer its address. A text gives 0, except as a
    /// character, where it gives its first unit (0 when empty).
    /// @{
    std::int16_t AsInt16() const noexcept;
    std::uint16_t AsUInt16() const noexcept;
    std::int32_t AsInt32() const noexcept;
    std::uint32_t AsUInt32() const noexcept;
    std::int64_t AsInt64() const noexcept;
    std::uint64_t AsUInt64() const noexcept;
    double AsReal() const noexcept;
    TXChar AsChar() const noexcept;
    /// The pointer of kind 10, null for every other kind.
    const void* AsPointer() const noexcept;
    /// The text of kind 11, empty for every other kind.
    const TXString& AsText() const noexcept;
    /// @}

    /// The 64 bits the Windows runtime finds in the argument's slot: 16- and
    /// 32-bit integers sign- or zero-widened to 32 bits and zero above, a
    /// character as its unit, a real as its bit pattern.
    std::uint64_t SlotBits() const noexcept;

private:
    template <typename T>
    T AsInteger() const noexcept;

    Kind kind;
    std::int16_t shortValue = 0;
    std::int32_t intValue = 0;
    std::int32_t longValue = 0;
    std::int64_t longLongValue = 0;
    std::uint16_t unsignedShortValue = 0;
    std::uint32_t unsignedIntValue = 0;
    std::uint32_t unsignedLongValue = 0;
    std::uint64_t unsignedLongLongValue = 0;
    double doubleValue = 0;
    TXChar charValue = 0;
    const void* pointerValue = nullptr;
    TXString textValue;
};

/// A message template and its arguments. Add() chains; Format() may be called
/// again after more arguments were added.
class CFormatString {
public:
    /// Copies the template.
    explicit CFormatString(const TXString& templ);
    virtual ~CFormatString() = default;

    /// @name Arguments, appended in order
    /// @{
    CFormatString& Add(short value) { return Push(CFormatArg(value)); }
    CFormatString& Add(int value) { return Push(CFormatArg(value)); }
    CFormatString& Add(long value) { return Push(CFormatArg(value)); }
    CFormatString& Add(long long value) { return Push(CFormatArg(value)); }
    CFormatString& Add(unsigned short value) { return Push(CFormatArg(value)); }
    CFormatString& Add(unsigned value) { return Push(CFormatArg(value)); }
    CFormatString& Add(unsigned long value) { return Push(CFormatArg(value)); }
    CFormatString& Add(unsigned long long value) { return Push(CFormatArg(value)); }
    CFormatString& Add(double value) { return Push(CFormatArg(value)); }
    /// A character: the unit with the byte's value.
    CFormatString& Add(char ch) { return Push(CFormatArg(static_cast<TXChar>(static_cast<unsigned char>(ch)))); }
    CFormatString& Add(unsigned char ch) { return Push(CFormatArg(static_cast<TXChar>(ch))); }
    template <CFormatUnitType C>
    CFormatString& Add(C unit)
    {
        return Push(CFormatArg(static_cast<TXChar>(unit)));
    }
    /// An address; it is only ever printed, never read through.
    CFormatString& Add(const void* pointer) { return Push(CFormatArg(pointer)); }
    CFormatString& Add(const TXString& text) { return Push(CFormatArg(text)); }
    /// UTF-8; null is the empty text.
    CFormatString& Add(const char* text) { return Push(CFormatArg(TXString(text))); }
    /// NUL-terminated 16-bit text; null is the empty text.
    template <TXUnitType C>
    CFormatString& Add(const C* text)
    {
        return Push(CFormatArg(TXString(text)));
    }
    /// @}

    /// Fills the template from the arguments (rules above) and returns the
    /// result; the object keeps a copy until the next call.
    TXString Format();

    const std::vector<CFormatArg>& GetArguments() const noexcept { return arguments; }

private:
    CFormatString& Push(CFormatArg&& argument)
    {
        arguments.push_back(std::move(argument));
        return *this;
    }

    TXString templ;
    TXString result;
    std::vector<CFormatArg> arguments;
};
