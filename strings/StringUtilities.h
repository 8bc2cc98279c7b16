/// @file
/// Free-standing string utilities of the library (namespace TXStrings):
/// conversions between 8-bit and 16-bit text in caller buffers, the counted
/// and NUL-terminated byte-string helpers, the free comparison functions, the
/// comparators for sorting TXString values, the character classes, and
/// truncation at a character-cluster boundary.
///
/// Shared contracts:
/// - Nothing here allocates except what makes or compares TXString values
///   (Int32ToString, TruncateAtCluster, the comparators), and nothing writes
///   past the capacity it is given.
/// - A counted byte string is a length byte (0-255) followed by that many
///   bytes; its capacity counts the length byte. A NUL-terminated capacity
///   counts the terminator.
/// - Null pointers and zero capacities are not errors: the byte-string helpers
///   then do nothing, the conversions report failure.
/// - Code pages are Windows code page numbers (0 the system ANSI code page,
///   2 the Mac code page, 42 symbol, 65001 UTF-8).
/// - Wherever 16-bit text is taken or written, each 16-bit type of TXChar.h
///   is accepted (TXUnitType) and behaves alike: TXChar through the functions
///   themselves, the other two through constrained templates that hand the
///   same units on.
#pragma once

#include "strings/TXString.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

/// The free-standing string utilities of the library.
namespace TXStrings {

namespace Detail {

/// Another 16-bit unit type than TXChar: the templates below take these and
/// leave TXChar to the plain functions.
template <typename C>
concept OtherUnitType = TXUnitType<C> && !std::same_as<std::remove_cv_t<C>, TXChar>;

/// The units of any 16-bit type as TXChar units. The three types have one
/// size, alignment and value representation, and the units are only read and
/// written by the conversions and comparisons of the platform, which take
/// them whole: no unit changes its value or position on the way.
template <TXUnitType C>
auto AsTXChars(C* units) noexcept
{
    static_assert(sizeof(C) == sizeof(TXChar) && alignof(C) == alignof(TXChar));
    using Target = std::conditional_t<std::is_const_v<C>, const TXChar, TXChar>;
    return reinterpret_cast<Target*>(units);
}

} // namespace Detail

/// The byte capacity the 8-bit form of any 16-bit text of `units` units
/// needs: three bytes per unit at most, plus the terminator, with room to
/// spare as the narrow buffer has always been sized.
constexpr std::size_t NarrowCapacityFor(std::size_t units)
{
    return 4 * units + 1;
}

/// @name Conversions in caller buffers
/// 8 to 16 bits: code pages 42 and 65001 convert with flags 0, all others
/// precomposed. 16 to 8 bits: always with the composite check (0x200) and no
/// default character, as the platform defines those flags (a platform that
/// refuses the flag for a code page makes the conversion fail).
/// @{

/// What a conversion in a caller buffer reports.
struct ConversionResult {
    bool ok = false;       ///< whether it succeeded (false also when the output does not fit)
    std::size_t count = 0; ///< units or bytes written; 0 on failure
};

/// `byteCount` bytes into `dest` (`destUnits` units), not terminated. A count
/// of 0 writes nothing and succeeds; a null or zero-capacity destination, a
/// null source or a failed conversion fail.
ConversionResult NarrowToWide(unsigned codePage, const char* bytes, std::size_t byteCount, TXChar* dest,
                              std::size_t destUnits);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
ConversionResult NarrowToWide(unsigned codePage, const char* bytes, std::size_t byteCount, C* dest,
                              std::size_t destUnits)
{
    return NarrowToWide(codePage, bytes, byteCount, Detail::AsTXChars(dest), destUnits);
}
/// Bytes up to the NUL into at most destUnits - 1 units and a terminator.
/// Fails (leaving an empty text where there is room) for a capacity below 2,
/// a null source or text that does not fit.
bool CStringToWide(unsigned codePage, const char* text, TXChar* dest, std::size_t destUnits);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
bool CStringToWide(unsigned codePage, const char* text, C* dest, std::size_t destUnits)
{
    return CStringToWide(codePage, text, Detail::AsTXChars(dest), destUnits);
}
/// As CStringToWide for a counted byte string.
bool CountedToWide(unsigned codePage, const unsigned char* counted, TXChar* dest, std::size_t destUnits);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
bool CountedToWide(unsigned codePage, const unsigned char* counted, C* dest, std::size_t destUnits)
{
    return CountedToWide(codePage, counted, Detail::AsTXChars(dest), destUnits);
}
/// `unitCount` units into `dest` (`destSize` bytes), not terminated. A count
/// of 0 succeeds; a zero-size or null destination fails.
ConversionResult WideToNarrow(unsigned codePage, const TXChar* units, std::size_t unitCount, char* dest,
                              std::size_t destSize);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
ConversionResult WideToNarrow(unsigned codePage, const C* units, std::size_t unitCount, char* dest,
                              std::size_t destSize)
{
    return WideToNarrow(codePage, Detail::AsTXChars(units), unitCount, dest, destSize);
}
/// Units up to the NUL into at most destSize - 1 bytes and a terminator.
/// Fails (leaving an empty text where there is room) for a null source or
/// text that does not fit or convert; an empty text always succeeds.
bool WideCStringToNarrow(unsigned codePage, const TXChar* text, char* dest, std::size_t destSize);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
bool WideCStringToNarrow(unsigned codePage, const C* text, char* dest, std::size_t destSize)
{
    return WideCStringToNarrow(codePage, Detail::AsTXChars(text), dest, destSize);
}
/// Units up to the NUL into a counted byte string of at most
/// min(destSize - 1, 255) bytes. Fails, leaving the empty string, for a null
/// source, a failed conversion or converted text over 255 bytes.
bool WideToCounted(unsigned codePage, const TXChar* text, unsigned char* dest, std::size_t destSize);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
bool WideToCounted(unsigned codePage, const C* text, unsigned char* dest, std::size_t destSize)
{
    return WideToCounted(codePage, Detail::AsTXChars(text), dest, destSize);
}
/// @}

/// @name Counted and NUL-terminated byte strings
/// Sources may overlap destinations. Results are cut to the capacity (and to
/// 255 bytes for counted strings); NUL-terminated results are always terminated.
/// A null destination, a zero `destSize` or a null source changes nothing
/// (BytesToCounted and BytesToCString take null `bytes` with a `count` of 0
/// as the empty source).
/// An append finds the current length in the destination's length byte
/// (capped at what the capacity holds) or up to its NUL (capped at
/// destSize - 1).
/// @{

/// Copies the counted `source` into the counted `dest`.
void CopyCounted(unsigned char* dest, std::size_t destSize, const unsigned char* source);
/// Copies the NUL-terminated `source` into `dest`.
void CopyCString(char* dest, std::size_t destSize, const char* source);
/// Writes the counted `source` as a NUL-terminated string.
void CountedToCString(char* dest, std::size_t destSize, const unsigned char* source);
/// Writes the NUL-terminated `source` as a counted string.
void CStringToCounted(unsigned char* dest, std::size_t destSize, const char* source);
/// Writes `count` bytes as a counted string.
void BytesToCounted(unsigned char* dest, std::size_t destSize, const char* bytes, std::size_t count);
/// Writes `count` bytes as a NUL-terminated string.
void BytesToCString(char* dest, std::size_t destSize, const char* bytes, std::size_t count);
/// Appends the counted `source` to the counted `dest`.
void AppendCounted(unsigned char* dest, std::size_t destSize, const unsigned char* source);
/// Appends the NUL-terminated `source` to the counted `dest`.
void AppendCStringToCounted(unsigned char* dest, std::size_t destSize, const char* source);
/// Appends `count` bytes to the counted `dest`.
void AppendBytesToCounted(unsigned char* dest, std::size_t destSize, const char* bytes, std::size_t count);
/// Appends the counted `source` to the NUL-terminated `dest`.
void AppendCountedToCString(char* dest, std::size_t destSize, const unsigned char* source);
/// Appends the NUL-terminated `source` to the NUL-terminated `dest`.
void AppendCString(char* dest, std::size_t destSize, const char* source);
/// Appends `count` bytes to the NUL-terminated `dest`.
void AppendBytesToCString(char* dest, std::size_t destSize, const char* bytes, std::size_t count);
/// Inserts `source` before byte `position` (0-based; at or past the end
/// appends); the result is cut at min(destSize - 1, 255).
void InsertCounted(unsigned char* dest, std::size_t destSize, std::size_t position, const unsigned char* source);
/// Removes min(count, length - position) bytes of the counted `dest`;
/// nothing when `position` is not below the length or `dest` is null.
void DeleteFromCounted(unsigned char* dest, std::size_t position, std::size_t count);
/// The same for the NUL-terminated `dest`.
void DeleteFromCString(char* dest, std::size_t position, std::size_t count);
/// @}

/// @name Free comparison functions
/// @{

/// Flags below 0x100 that the caller may add to the locale comparison (the
/// Windows NORM_* and LINGUISTIC_* bits).
inline constexpr unsigned kCallerCompareFlagsMask = 0xFF;
/// Always added: ignore width, string sort.
inline constexpr unsigned kLocaleCompareFlags = 0x21000;
/// The locale selector of UpperCaseBytes that means the user's default locale.
inline constexpr int kUserDefaultLocaleSelector = -2;

/// Equality in the user's default locale with the caller's flags (low 8 bits)
/// plus kLocaleCompareFlags; NUL-terminated (null counts as empty). When
/// either text is empty, equal only when both are.
bool EqualInUserLocale(const TXChar* a, const TXChar* b, unsigned flags);
/// Any mix of 16-bit types; a null pointer needs the type of its text.
template <TXUnitType A, TXUnitType B>
    requires Detail::OtherUnitType<A> || Detail::OtherUnitType<B>
bool EqualInUserLocale(const A* a, const B* b, unsigned flags)
{
    return EqualInUserLocale(Detail::AsTXChars(a), Detail::AsTXChars(b), flags);
}
/// As above over explicit lengths (NULs included); false for a length beyond
/// INT_MAX or when the platform fails.
bool EqualInUserLocale(const TXChar* a, std::size_t aLength, const TXChar* b, std::size_t bLength, unsigned flags);
/// Any mix of 16-bit types, over explicit lengths.
template <TXUnitType A, TXUnitType B>
    requires Detail::OtherUnitType<A> || Detail::OtherUnitType<B>
bool EqualInUserLocale(const A* a, std::size_t aLength, const B* b, std::size_t bLength, unsigned flags)
{
    return EqualInUserLocale(Detail::AsTXChars(a), aLength, Detail::AsTXChars(b), bLength, flags);
}
/// Upper-cases `count` bytes in place: in the user's default locale when
/// `localeSelector` is kUserDefaultLocaleSelector, the system default otherwise.
void UpperCaseBytes(char* bytes, int count, int localeSelector);
/// @}

/// @name Comparators for sorting and de-duplicating TXString values
/// @{

/// Orders by CompareLogical (empty texts last).
struct LogicalLess {
    /// Passed on to CompareLogical: hyphens and control units compare as "!".
    bool dashesAsPunctuation = false;
    /// Whether `a` sorts before `b`.
    bool operator()(const TXString& a, const TXString& b) const { return a.CompareLogical(b, dashesAsPunctuation) < 0; }
};
/// Equality ignoring case (EqualNoCase).
struct NoCaseEqual {
    /// Whether `a` and `b` are equal ignoring case.
    bool operator()(const TXString& a, const TXString& b) const { return a.EqualNoCase(b); }
};
/// Orders by CompareNoCase.
struct NoCaseLess {
    /// Whether `a` sorts before `b`.
    bool operator()(const TXString& a, const TXString& b) const { return a.CompareNoCase(b) < 0; }
};
/// @}

/// @name Character classes (the system's iswpunct and iswspace)
/// @{

/// Whether `unit` is punctuation.
template <TXUnitType C>
bool IsPunctuation(C unit)
{
    return Platform::IsPunctuation(static_cast<TXChar>(unit));
}
/// Whether `unit` is white space.
template <TXUnitType C>
bool IsWhitespace(C unit)
{
    return Platform::IsWhitespace(static_cast<TXChar>(unit));
}
/// @}

/// @name Truncation that keeps characters whole
/// @{

/// The length of the longest prefix of at most `maxUnits` units that ends on
/// a boundary between user-perceived characters (so never inside a
/// surrogate pair or between a base and its combining marks). `length` when
/// it is at most `maxUnits`; 0 for a null `text`.
std::size_t ClusterPrefixLength(const TXChar* text, std::size_t length, std::size_t maxUnits);
/// The same for the other 16-bit unit types (TXUnitType).
template <Detail::OtherUnitType C>
std::size_t ClusterPrefixLength(const C* text, std::size_t length, std::size_t maxUnits)
{
    return ClusterPrefixLength(Detail::AsTXChars(text), length, maxUnits);
}
/// `text` cut to ClusterPrefixLength units.
TXString TruncateAtCluster(const TXString& text, std::size_t maxUnits);
/// The byte count of `bytes` without a lead byte left dangling at the end by
/// a truncation, for the double-byte code pages 932 and 936 (any other code
/// page gives `count`).
std::size_t WithoutDanglingLeadByte(const char* bytes, std::size_t count, unsigned codePage);
/// As above for the system ANSI code page.
std::size_t WithoutDanglingLeadByte(const char* bytes, std::size_t count);
/// @}

/// @name Numbers
/// @{

/// The decimal text of `value` as a counted byte string of at most
/// min(destSize - 1, 255) bytes; nothing for a null `dest` or a zero size.
void Int32ToCounted(std::int32_t value, unsigned char* dest, std::size_t destSize);
/// Replaces `out` with the decimal text of `value`.
void Int32ToString(std::int32_t value, TXString& out);
/// The counted byte string (UTF-8) read as TXString::ToInt32 reads text; a
/// null string gives 0, a null `out` does nothing.
void CountedToInt32(const unsigned char* counted, std::int32_t* out);
/// @}

} // namespace TXStrings
