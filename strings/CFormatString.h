/// @file
/// CFormatString: fills a message template's percent conversions from a list
/// of typed arguments, for messages built from translated resource strings.
///
/// A template is read one unit at a time. "%" opens a conversion, which ends
/// at the first of the letters "diuoxXfFeEgGaAcspn" (and takes the next
/// argument), or is written as it stands when a NUL, a "%" or a space comes
/// first ("%%" gives one "%"; the space is written too, so "50% off" stays
/// as it is). Arguments are used in the order they were added:
/// - numbers and pointers go through the C runtime's swprintf with the
///   conversion as written, each in a 1024-unit scratch buffer (longer output
///   is dropped); a conversion whose letter or size does not fit the argument
///   reads the argument's bits as the conversion's type, the way the Windows
///   runtime reads a 64-bit argument slot, so results are the same everywhere;
/// - a character under exactly "%c" or "%s" (either case) is written as the
///   unit itself; under any other conversion it is a 32-bit integer;
/// - a text is written whole under any conversion (flags, width and precision
///   are ignored).
///
/// Templates come from translators, so no template can make the formatter
/// read or write memory through an argument: \%s, \%S and \%n with anything
/// but a text (and a character under exactly \%c or \%s), and any conversion that
/// the runtime would not read as one conversion of one argument (a "*" or
/// "$", an unknown flag or size, a width or precision beyond 99999), are
/// written as they stand and use up their argument. A conversion with no
/// argument left is written as it stands too.
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
    /// The kind of value held; each constructor sets one.
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

    /// A signed 16-bit value (kShort).
    explicit CFormatArg(short value) : kind(kShort), shortValue(value) {}
    /// A signed 32-bit value (kInt).
    explicit CFormatArg(int value) : kind(kInt), intValue(value) {}
    /// `long` is kind 2 where it has 32 bits (Windows) and kind 3 where it has
    /// 64, so that no value is cut on the way in.
    explicit CFormatArg(long value);
    /// A signed 64-bit value (kLongLong).
    explicit CFormatArg(long long value) : kind(kLongLong), longLongValue(value) {}
    /// An unsigned 16-bit value (kUnsignedShort).
    explicit CFormatArg(unsigned short value) : kind(kUnsignedShort), unsignedShortValue(value) {}
    /// An unsigned 32-bit value (kUnsignedInt).
    explicit CFormatArg(unsigned value) : kind(kUnsignedInt), unsignedIntValue(value) {}
    /// Kind 6 or 7, as for `long`.
    explicit CFormatArg(unsigned long value);
    /// An unsigned 64-bit value (kUnsignedLongLong).
    explicit CFormatArg(unsigned long long value) : kind(kUnsignedLongLong), unsignedLongLongValue(value) {}
    /// A real (kDouble).
    explicit CFormatArg(double value) : kind(kDouble), doubleValue(value) {}
    /// One UTF-16 unit (kChar).
    explicit CFormatArg(TXChar unit) : kind(kChar), charValue(unit) {}
    /// An address (kPointer); it is kept, never read through.
    explicit CFormatArg(const void* pointer) : kind(kPointer), pointerValue(pointer) {}
    /// A copy of `text` (kText). Throws std::bad_alloc when the copy cannot be
    /// allocated.
    explicit CFormatArg(const TXString& text) : kind(kText), textValue(text) {}

    /// The kind of value held.
    Kind GetKind() const noexcept { return kind; }

    /// @name The value as another type
    /// Integers convert modulo the target's range, reals are truncated toward
    /// zero and saturate at the target's ends (NaN gives 0), a character is
    /// its unit value and a pointer its address. A text gives 0, except as a
    /// character, where it gives its first unit (0 when empty).
    /// @{

    /// The value as a signed 16-bit integer.
    std::int16_t AsInt16() const noexcept;
    /// The value as an unsigned 16-bit integer.
    std::uint16_t AsUInt16() const noexcept;
    /// The value as a signed 32-bit integer.
    std::int32_t AsInt32() const noexcept;
    /// The value as an unsigned 32-bit integer.
    std::uint32_t AsUInt32() const noexcept;
    /// The value as a signed 64-bit integer.
    std::int64_t AsInt64() const noexcept;
    /// The value as an unsigned 64-bit integer.
    std::uint64_t AsUInt64() const noexcept;
    /// The value as a double: a real as it is, an integer, character or
    /// address converted to the nearest double, a text 0.
    double AsReal() const noexcept;
    /// The value as one UTF-16 unit: as AsUInt16, except that a text gives
    /// its first unit (0 when empty).
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
    /// Each Add appends one argument (a CFormatArg of the kind named) and
    /// returns the object, so calls chain. Throws std::bad_alloc when the list
    /// or a text's copy cannot be allocated.
    /// @{

    /// kShort.
    CFormatString& Add(short value) { return Push(CFormatArg(value)); }
    /// kInt.
    CFormatString& Add(int value) { return Push(CFormatArg(value)); }
    /// kLong or kLongLong, as CFormatArg(long) decides.
    CFormatString& Add(long value) { return Push(CFormatArg(value)); }
    /// kLongLong.
    CFormatString& Add(long long value) { return Push(CFormatArg(value)); }
    /// kUnsignedShort: a number, not a character.
    CFormatString& Add(unsigned short value) { return Push(CFormatArg(value)); }
    /// kUnsignedInt.
    CFormatString& Add(unsigned value) { return Push(CFormatArg(value)); }
    /// kUnsignedLong or kUnsignedLongLong, as CFormatArg(unsigned long) decides.
    CFormatString& Add(unsigned long value) { return Push(CFormatArg(value)); }
    /// kUnsignedLongLong.
    CFormatString& Add(unsigned long long value) { return Push(CFormatArg(value)); }
    /// kDouble.
    CFormatString& Add(double value) { return Push(CFormatArg(value)); }
    /// A character (kChar): the unit with the byte's value.
    CFormatString& Add(char ch) { return Push(CFormatArg(static_cast<TXChar>(static_cast<unsigned char>(ch)))); }
    /// A character (kChar): the unit with the byte's value.
    CFormatString& Add(unsigned char ch) { return Push(CFormatArg(static_cast<TXChar>(ch))); }
    /// A 16-bit character (kChar): TXChar or char16_t.
    template <CFormatUnitType C>
    CFormatString& Add(C unit)
    {
        return Push(CFormatArg(static_cast<TXChar>(unit)));
    }
    /// An address (kPointer); it is only ever printed, never read through.
    CFormatString& Add(const void* pointer) { return Push(CFormatArg(pointer)); }
    /// A copy of `text` (kText).
    CFormatString& Add(const TXString& text) { return Push(CFormatArg(text)); }
    /// A text (kText) decoded from UTF-8; null is the empty text.
    CFormatString& Add(const char* text) { return Push(CFormatArg(TXString(text))); }
    /// A text (kText) copied from NUL-terminated 16-bit units; null is the
    /// empty text.
    template <TXUnitType C>
    CFormatString& Add(const C* text)
    {
        return Push(CFormatArg(TXString(text)));
    }
    /// @}

    /// Fills the template from the arguments (rules at the top of this file)
    /// and returns the result; the object keeps a copy until the next call.
    /// The template ends at its first NUL unit. Throws std::bad_alloc when
    /// the result cannot be allocated.
    TXString Format();

    /// The arguments added so far, in order.
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
