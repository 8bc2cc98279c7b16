/// @file
/// The basic vocabulary of the string library: the UTF-16 code unit `TXChar`,
/// the other 16-bit character types accepted wherever a unit or a 16-bit text
/// is taken, the 8-bit encodings (`TXEncoding`), and the surrogate ranges.
///
/// `TXChar` is the platform's wide character (wchar_t on Windows, char16_t
/// elsewhere). The string operations also accept char16_t and unsigned short;
/// where two of those are the same type (char16_t on Linux) the constrained
/// templates of TXString give one overload, never a duplicate.
#pragma once

#include "platform/Text.h"

#include <concepts>
#include <cstdint>
#include <type_traits>

/// One UTF-16 code unit, the element of every TXString.
using TXChar = Platform::WideChar;

static_assert(sizeof(TXChar) == 2, "TXChar must be a 16-bit code unit");

/// The 16-bit character types a string operation accepts: TXChar, char16_t
/// and unsigned short. All three behave identically.
template <typename C>
concept TXUnitType = std::same_as<std::remove_cv_t<C>, TXChar> || std::same_as<std::remove_cv_t<C>, char16_t> ||
                     std::same_as<std::remove_cv_t<C>, unsigned short>;

/// How 8-bit text is read and written. Every operation that takes 8-bit text
/// without an encoding reads it as UTF-8.
enum TXEncoding : int {
    kMacEncoded = 0,    ///< Windows code page 2 (the Mac code page), precomposed
    kSysEncoded = 1,    ///< the system ANSI code page
    kSysEncodedAlt = 2, ///< as kSysEncoded
    kUTF8 = 3,          ///< UTF-8 through the library's own decoder
    kUTF16 = 4,         ///< length queries count 16-bit units; encoding writes UTF-8
};

/// @name Surrogate ranges and code-point limits
/// @{

/// The first unit of the high (leading) surrogate range.
inline constexpr TXChar kHighSurrogateFirst = 0xD800;
/// The last unit of the high surrogate range.
inline constexpr TXChar kHighSurrogateLast = 0xDBFF;
/// The first unit of the low (trailing) surrogate range.
inline constexpr TXChar kLowSurrogateFirst = 0xDC00;
/// The last unit of the low surrogate range.
inline constexpr TXChar kLowSurrogateLast = 0xDFFF;
/// The first unit of a pair is this base plus (code point >> 10).
inline constexpr std::uint32_t kHighSurrogateBase = 0xD7C0;
/// The last code point that is one unit (the end of the Basic Multilingual Plane).
inline constexpr std::uint32_t kLastBmpCodePoint = 0xFFFF;
/// The last code point of Unicode; larger values are no characters.
inline constexpr std::uint32_t kLastCodePoint = 0x10FFFF;
/// What an unrepresentable character becomes when decoding or inserting.
inline constexpr TXChar kReplacementUnit = u'?';
/// @}

/// Whether `unit` is a high (leading) surrogate.
constexpr bool IsHighSurrogate(std::uint32_t unit)
{
    return unit >= kHighSurrogateFirst && unit <= kHighSurrogateLast;
}

/// Whether `unit` is a low (trailing) surrogate.
constexpr bool IsLowSurrogate(std::uint32_t unit)
{
    return unit >= kLowSurrogateFirst && unit <= kLowSurrogateLast;
}

/// Either half of a pair (one comparison: the halves are adjacent ranges).
constexpr bool IsSurrogate(std::uint32_t unit)
{
    return unit - kHighSurrogateFirst <= kLowSurrogateLast - kHighSurrogateFirst;
}

/// The high surrogate of the pair for `codePoint`, which must lie above
/// U+FFFF and at most at U+10FFFF (other values give no valid unit).
constexpr TXChar HighSurrogateOf(std::uint32_t codePoint)
{
    return static_cast<TXChar>(kHighSurrogateBase + (codePoint >> 10));
}

/// The low surrogate of the pair for `codePoint`, under the same condition.
constexpr TXChar LowSurrogateOf(std::uint32_t codePoint)
{
    return static_cast<TXChar>(kLowSurrogateFirst | (codePoint & 0x3FF));
}
