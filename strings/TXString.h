/// @file
/// TXString: the module's one string type.
///
/// A TXString holds UTF-16 text as TXChar code units in a standard basic string
/// whose allocator (TXStringAllocator) draws every buffer from the main
/// partition, plus a cached 8-bit copy (the narrow buffer) filled on demand by
/// the encoding operations. Texts of up to 7 units live inside the object.
///
/// Contracts that hold for the whole class:
/// - Lengths, positions and counts are in code units, never code points. Texts
///   may hold NUL units (sized constructors, SetLength); they are counted.
/// - 8-bit text is read as UTF-8 unless a TXEncoding says otherwise. UTF-8 goes
///   through the library's own decoder, which never fails: what it cannot read
///   becomes "?" units, and it never yields more units than bytes.
/// - Null pointers, null counted byte strings, zero counts and out-of-range
///   indices or positions are not errors: they give the empty text, no change,
///   a 0 unit or -1, as each declaration says.
/// - Constructing or assigning an empty text allocates nothing, so TXString
///   objects may be created before the main partition is set.
/// - The narrow buffer belongs to its object: copies and moves do not carry it,
///   assignments and swaps leave each object its own. A pointer obtained from
///   it stays valid until the next encoding request on the same object or its
///   destruction; editing the text leaves it stale, not dangling.
/// - Failures: std::bad_alloc when the partition cannot supply a block,
///   std::length_error("string too long") for texts beyond what a buffer can
///   hold. Nothing else throws.
/// - One thread at a time per object. The scratch unit handed out for
///   out-of-range references is shared by all strings.
///
/// Every operation that takes a 16-bit character or string accepts TXChar,
/// char16_t and unsigned short (TXUnitType); single 8-bit characters are taken
/// as char and unsigned char and stored as the unit with the byte's value.
#pragma once

#include "strings/TXChar.h"
#include "strings/TXStringAllocator.h"

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

/// The text storage of a TXString.
using TXInnerString = std::basic_string<TXChar, std::char_traits<TXChar>, TXStringAllocator<TXChar>>;
/// The standard wide string (standard allocator) of the platform's wide character.
using TXStdWString = std::basic_string<TXChar>;

/// The message of the length error raised for texts beyond the library's limit.
inline constexpr const char* kStringTooLong = "string too long";

/// Integer types that stream insertion writes as decimal text. The 16-bit
/// character types and the 8-bit characters are units, not numbers.
template <typename I>
concept TXDecimalInteger = std::integral<I> && !TXUnitType<I> && !std::same_as<I, bool> && !std::same_as<I, char> &&
                           !std::same_as<I, signed char> && !std::same_as<I, unsigned char> &&
                           !std::same_as<I, wchar_t> && !std::same_as<I, char8_t> && !std::same_as<I, char16_t> &&
                           !std::same_as<I, char32_t>;

class TXStringArray;

/// A UTF-16 text, the module's one string type. The contracts at the top of
/// this file hold for every member: counts in code units, null and
/// out-of-range input harmless, std::bad_alloc and std::length_error the only
/// failures.
class TXString {
public:
    /// Search results: the position of a match, or kNotFound.
    static constexpr std::int64_t kNotFound = -1;
    /// A reverse search start that means "from the end".
    static constexpr std::int64_t kEnd = std::numeric_limits<std::int64_t>::max();

    /// @name Construction
    /// Every constructor leaves the narrow buffer empty.
    /// @{

    /// The empty text; allocates nothing.
    TXString() noexcept = default;
    // Copying and destroying stay inline: short texts are copied as often as
    // the standard strings they stand in for, and cost the same.
    /// A copy of the text of `other`.
    TXString(const TXString& other) : text(other.text) {}
    /// Takes the source's text buffer; the source becomes empty and keeps its
    /// narrow buffer.
    TXString(TXString&& other) noexcept : text(std::move(other.text)) { other.text.clear(); }
    /// A copy of the units of `text`, NULs included.
    TXString(const TXInnerString& text);
    /// Takes the buffer of `text`, which is left empty.
    TXString(TXInnerString&& text) noexcept;
    /// Copies up to the first NUL unit.
    TXString(const TXStdWString& text);
    /// Decodes every byte in `encoding`; empty bytes, or a first byte of 0,
    /// give the empty text.
    TXString(const std::string& bytes, TXEncoding encoding = kUTF8);
    /// Decodes every byte in `encoding`, as the std::string form does.
    TXString(std::string_view bytes, TXEncoding encoding = kUTF8);
    /// `count` NUL units.
    explicit TXString(std::uint64_t count);
    /// A negative count gives the empty text.
    explicit TXString(std::int32_t count);
    /// Null gives the empty text; otherwise decodes strlen(bytes) bytes.
    TXString(const char* bytes, TXEncoding encoding = kUTF8);
    /// Null or a count of SIZE_MAX gives the empty text; else decodes `byteCount` bytes.
    TXString(const char* bytes, std::size_t byteCount, TXEncoding encoding = kUTF8);
    /// A counted byte string (length byte, then the bytes); null or length 0
    /// gives the empty text.
    TXString(const unsigned char* counted, TXEncoding encoding = kUTF8);
    /// Up to the first NUL; null gives the empty text.
    template <TXUnitType C>
    TXString(const C* units)
    {
        if (units != nullptr)
            AppendUnits(units, UnitLength(units));
    }
    /// `exact` 1: exactly `count` units, NULs included; 0: at most `count`,
    /// stopping at the first NUL; any other value, or null: the empty text.
    template <TXUnitType C>
    TXString(const C* units, std::size_t count, int exact)
    {
        if (units == nullptr || (exact != 0 && exact != 1))
            return;
        AppendUnits(units, exact == 1 ? count : UnitLength(units, count));
    }
    /// At most `count` units, stopping at the first NUL; null gives the empty text.
    template <TXUnitType C>
    TXString(const C* units, std::size_t count) : TXString(units, count, 0)
    {
    }
    /// `count` units with the byte value of `ch`.
    TXString(char ch, std::size_t count);
    /// `count` units with the byte value of `ch`.
    TXString(unsigned char ch, std::size_t count);
    /// `count` copies of `unit`.
    template <TXUnitType C>
    TXString(C unit, std::size_t count)
    {
        AssignFill(static_cast<TXChar>(unit), count);
    }
    /// Plain decimal text, a minus sign for negatives.
    explicit TXString(std::int64_t value);
    /// Decimal text right-aligned in a field of `width` units padded with
    /// `fill` (the fill goes before the sign: -42, width 5, fill 0 gives 00-42).
    template <TXUnitType C>
    TXString(std::int64_t value, int width, C fill)
    {
        AssignPadded(value, width, static_cast<TXChar>(fill));
    }
    /// Fixed notation with `precision` decimals when `fixed`, else the shortest
    /// general notation with `precision` significant digits (a negative
    /// precision means 6).
    TXString(double value, int precision, bool fixed);
    /// The string `key` of the module's strings file `fileName`, from the
    /// host's resource store (defined with ResourceText, in
    /// framework/ResourceText.cpp): "Name" is the module's
    /// Strings/Name.kxstrings, "Name*" its Strings/Name* (so "12000 *" names
    /// list 12000), a name ending in ".kxstrings" a location as it is. A null
    /// or empty name gives the empty text and asks nothing, and so does a
    /// module without the host's application interface.
    TXString(const char* fileName, const char* key, std::int32_t kind);

    /// Frees the narrow buffer, then the text buffer if it is on the heap.
    virtual ~TXString()
    {
        // Most texts never ask for 8-bit text: the release stays off the
        // straight path of short-lived copies.
        if (narrow != nullptr) [[unlikely]]
            TXStringDetail::DeallocateBlock(narrow);
    }
    /// @}

    /// @name Assignment
    /// Every assignment keeps the object's own narrow buffer.
    /// @{

    /// Copies the text of `other`; self-assignment changes nothing.
    TXString& operator=(const TXString& other)
    {
        if (this != &other)
            text = other.text;
        return *this;
    }
    /// Frees the own heap buffer, takes the source's, empties the source.
    TXString& operator=(TXString&& other) noexcept;
    /// Decodes `bytes` as UTF-8 (SetNarrow).
    TXString& operator=(const std::string& bytes);
    /// Decodes `bytes` as UTF-8 (SetNarrow).
    TXString& operator=(std::string_view bytes);
    /// Copies `text` up to its first NUL unit.
    TXString& operator=(const TXStdWString& text);
    /// Null gives the empty text.
    TXString& operator=(const char* bytes);
    /// Null or length 0 gives the empty text.
    TXString& operator=(const unsigned char* counted);
    /// Null gives the empty text.
    template <TXUnitType C>
    TXString& operator=(const C* units)
    {
        if (units == nullptr)
            text.clear();
        else
            AssignUnits(units, UnitLength(units));
        return *this;
    }
    /// The one unit with the byte value of `ch`.
    TXString& operator=(char ch);
    /// The one unit with the byte value of `ch`.
    TXString& operator=(unsigned char ch);
    /// The one unit `unit`, NUL included.
    template <TXUnitType C>
    TXString& operator=(C unit)
    {
        text.assign(1, static_cast<TXChar>(unit));
        return *this;
    }
    /// Above U+10FFFF: the empty text; above U+FFFF: its surrogate pair.
    TXString& operator=(std::uint32_t codePoint);
    /// Fixed notation with 6 decimals.
    TXString& operator=(double value);
    /// @}

    /// @name Appending
    /// @{

    /// Appends the text of `other` (which may be this string).
    TXString& operator+=(const TXString& other);
    /// Null: no change.
    TXString& operator+=(const char* bytes);
    /// Null or length 0: no change.
    TXString& operator+=(const unsigned char* counted);
    /// Appends `units` up to the first NUL; null: no change.
    template <TXUnitType C>
    TXString& operator+=(const C* units)
    {
        if (units != nullptr)
            AppendUnits(units, UnitLength(units));
        return *this;
    }
    /// Appends the unit with the byte value of `ch`, NUL included.
    TXString& operator+=(char ch);
    /// Appends the unit with the byte value of `ch`, NUL included.
    TXString& operator+=(unsigned char ch);
    /// Any unit, NUL included.
    template <TXUnitType C>
    TXString& operator+=(C unit)
    {
        text.push_back(static_cast<TXChar>(unit));
        return *this;
    }
    /// Above U+10FFFF: no change; above U+FFFF: its surrogate pair.
    TXString& operator+=(std::uint32_t codePoint);

    /// Stream-style appending; insertions chain. As operator+=.
    TXString& operator<<(const TXString& other) { return *this += other; }
    /// As operator+= (UTF-8; null: no change).
    TXString& operator<<(const char* bytes) { return *this += bytes; }
    /// As operator+= (counted UTF-8; null: no change).
    TXString& operator<<(const unsigned char* counted) { return *this += counted; }
    /// As operator+= (up to the first NUL; null: no change).
    template <TXUnitType C>
    TXString& operator<<(const C* units)
    {
        return *this += units;
    }
    /// As operator+= (the unit with the byte value).
    TXString& operator<<(char ch) { return *this += ch; }
    /// As operator+= (the unit with the byte value).
    TXString& operator<<(unsigned char ch) { return *this += ch; }
    /// As operator+= (the unit, NUL included).
    template <TXUnitType C>
    TXString& operator<<(C unit)
    {
        return *this += unit;
    }
    /// Integers as plain decimal text, a minus sign for negatives.
    template <TXDecimalInteger I>
    TXString& operator<<(I value)
    {
        if constexpr (std::is_signed_v<I>)
            AppendSigned(static_cast<std::int64_t>(value));
        else
            AppendUnsigned(static_cast<std::uint64_t>(value));
        return *this;
    }
    /// Fixed notation with 6 decimals.
    TXString& operator<<(double value);
    /// @}

    /// @name Concatenation
    /// Each returns a new text; the operands are unchanged.
    /// @{

    /// The text of `left`, then that of `right`.
    friend TXString operator+(const TXString& left, const TXString& right);
    /// A NUL unit adds nothing: the result is a copy of the string.
    template <TXUnitType C>
    friend TXString operator+(const TXString& left, C unit)
    {
        TXString result(left);
        if (unit != 0)
            result.text.push_back(static_cast<TXChar>(unit));
        return result;
    }
    /// `unit`, then the text of `right`; a NUL unit adds nothing.
    template <TXUnitType C>
    friend TXString operator+(C unit, const TXString& right)
    {
        TXString result;
        if (unit == 0)
            return TXString(right);
        CheckGrowth(right.text, 1);
        result.text.reserve(right.GetLength() + 1);
        result.text.push_back(static_cast<TXChar>(unit));
        result.text.append(right.text);
        return result;
    }
    /// A null pointer adds nothing.
    template <TXUnitType C>
    friend TXString operator+(const TXString& left, const C* units)
    {
        TXString result(left);
        result += units;
        return result;
    }
    /// `units` up to the first NUL, then the text of `right`; a null pointer
    /// adds nothing.
    template <TXUnitType C>
    friend TXString operator+(const C* units, const TXString& right)
    {
        TXString result(units);
        result += right;
        return result;
    }
    /// @}

    /// @name Insertion
    /// A position at or beyond the length appends instead.
    /// @{

    /// Inserts the text of `other` before unit `position`.
    TXString& Insert(std::size_t position, const TXString& other);
    /// UTF-8; null: no change.
    TXString& Insert(std::size_t position, const char* bytes);
    /// UTF-8; null or length 0: no change.
    TXString& Insert(std::size_t position, const unsigned char* counted);
    /// Null: no change.
    template <TXUnitType C>
    TXString& Insert(std::size_t position, const C* units)
    {
        if (units != nullptr)
            InsertUnits(position, units, UnitLength(units));
        return *this;
    }
    /// Inserts the unit with the byte value of `ch`.
    TXString& Insert(std::size_t position, char ch);
    /// Inserts the unit with the byte value of `ch`.
    TXString& Insert(std::size_t position, unsigned char ch);
    /// Inserts `unit`, NUL included.
    template <TXUnitType C>
    TXString& Insert(std::size_t position, C unit)
    {
        return InsertFill(position, 1, static_cast<TXChar>(unit));
    }
    /// Above U+10FFFF inserts "?"; above U+FFFF its surrogate pair.
    TXString& Insert(std::size_t position, std::uint32_t codePoint);
    /// @}

    /// @name Length and access
    /// @{

    /// The length in code units, NULs included.
    std::size_t GetLength() const noexcept { return text.size(); }
    /// 2 x GetLength().
    std::size_t GetByteSize() const noexcept { return text.size() * sizeof(TXChar); }
    /// Whether the length is 0.
    bool IsEmpty() const noexcept { return text.empty(); }
    /// The NUL-terminated text; valid until the next change.
    const TXChar* GetData() const noexcept { return text.c_str(); }
    /// The unit at `index`; out of range (negative or not below the length):
    /// the shared scratch unit, set to 0 on every such access, so writes
    /// through it change no string.
    template <std::integral I>
    TXChar& operator[](I index)
    {
        return InRange(index) ? text[static_cast<std::size_t>(index)] : ScratchUnit();
    }
    /// The unit at `index`, 0 when out of range.
    template <std::integral I>
    TXChar operator[](I index) const noexcept
    {
        return GetAt(index);
    }
    /// The unit at `index`, 0 when out of range.
    template <std::integral I>
    TXChar GetAt(I index) const noexcept
    {
        return InRange(index) ? text[static_cast<std::size_t>(index)] : TXChar(0);
    }
    /// The last unit, 0 when empty.
    TXChar GetLast() const noexcept { return text.empty() ? TXChar(0) : text.back(); }
    /// A reference to the last unit; the scratch unit when empty.
    TXChar& GetLast() { return text.empty() ? ScratchUnit() : text.back(); }
    /// Stores `unit`; no change when `index` is out of range.
    template <std::integral I, TXUnitType C>
    TXString& SetAt(I index, C unit)
    {
        if (InRange(index))
            text[static_cast<std::size_t>(index)] = static_cast<TXChar>(unit);
        return *this;
    }
    /// Grows with NUL units or shortens to `length`, then drops a trailing
    /// high surrogate.
    TXString& SetLength(std::size_t length);
    /// Grows with `fill` units or shortens to `length`, then drops a trailing
    /// high surrogate.
    template <TXUnitType C>
    TXString& SetLength(std::size_t length, C fill)
    {
        return SetLengthFilled(length, static_cast<TXChar>(fill));
    }
    /// Only when `length` is below the current length: shortens and drops a
    /// trailing high surrogate.
    TXString& Truncate(std::size_t length);
    /// Empties the text; the buffers stay allocated.
    TXString& Clear() noexcept;
    /// @}

    /// @name Editing
    /// @{

    /// Removes min(count, length - position) units; no change when
    /// `position` is not below the length.
    TXString& Delete(std::size_t position, std::size_t count);
    /// Removes the last unit (a pair's low half alone); no change when empty.
    TXString& DeleteLast();
    /// Replaces every non-overlapping occurrence of `find`, left to right. An
    /// empty `find` changes nothing. Ignoring case, matches are found in
    /// lower-cased copies (per unit, so positions coincide).
    TXString& Replace(const TXString& find, const TXString& with, bool ignoreCase = false);
    /// Removes the leading blanks: space (U+0020) and tab (U+0009) are the
    /// only ones.
    TXString& TrimLeft();
    /// Removes the trailing blanks (space and tab).
    TXString& TrimRight();
    /// Removes the leading and trailing blanks (space and tab).
    TXString& Trim();
    /// Exchanges the texts only; the narrow buffers stay. Self-swap does nothing.
    void Swap(TXString& other) noexcept;
    /// @}

    /// @name Substrings
    /// @{

    /// Empty when `start` is not below the length; else from `start`, the
    /// count clipped to the end, without a leading low or trailing high surrogate.
    TXString Mid(std::size_t start, std::size_t count = static_cast<std::size_t>(-1)) const;
    /// The first min(count, length) units without a trailing high surrogate.
    TXString Left(std::size_t count) const;
    /// The last `count` units without a leading low surrogate; the whole text
    /// when `count` is not below the length.
    TXString Right(std::size_t count) const;
    /// @}

    /// @name Surrogates
    /// @{

    /// A high surrogate at `index` followed by a low one; false at or past the
    /// last position.
    bool IsSurrogatePairAt(std::size_t index) const noexcept;
    /// Whether a high surrogate followed by a low one occurs anywhere.
    bool HasSurrogatePair() const noexcept;
    /// Removes a low surrogate at the start, if there is one.
    TXString& DropLeadingLowSurrogate();
    /// Removes a high surrogate at the end, if there is one.
    TXString& DropTrailingHighSurrogate();
    /// Both of the above.
    TXString& DropLoneSurrogates();
    /// @}

    /// @name Decoding and encoding
    /// @{

    /// Replaces the text with `byteCount` bytes read in `encoding`. Null, a
    /// count of 0 or a first byte of 0 give the empty text. kMacEncoded reads
    /// code page 2, kUTF8 the own decoder, every other value the system ANSI
    /// code page; a failed code-page conversion leaves the text empty.
    TXString& SetNarrow(const char* bytes, std::size_t byteCount, TXEncoding encoding = kUTF8);
    /// Encodes the text up to its first NUL unit into the narrow buffer and
    /// returns it (NUL-terminated). kMacEncoded writes code page 2 and
    /// kSysEncoded/kSysEncodedAlt the system ANSI code page, with "?" for what
    /// they lack; every other value writes UTF-8 (a lone surrogate as U+FFFD).
    /// The buffer holds 4 x length + 1 bytes, grows only, and is reused while
    /// it is large enough. Throws std::length_error when that size does not
    /// fit the 32-bit narrow capacity.
    const char* ToNarrow(TXEncoding encoding = kUTF8) const;
    /// UTF-8 rewritten in place as a counted byte string of min(bytes, 255)
    /// bytes.
    const unsigned char* GetCountedNarrow() const;
    /// Fills the narrow buffer as ToNarrow(encoding) does, then answers: for
    /// kUTF16 the length in units, else the encoded byte length (to the first
    /// NUL). Throws std::length_error as ToNarrow does.
    std::size_t GetEncodedLength(TXEncoding encoding = kUTF8) const;
    /// The text encoded as ToNarrow(encoding) encodes it (up to the first NUL
    /// unit), as a std::string. Throws as ToNarrow does.
    std::string ToStdString(TXEncoding encoding = kUTF8) const;
    /// The text up to its first NUL unit, with the standard allocator.
    TXStdWString ToStdWString() const;
    /// Copies min(bytes, destSize - 1) encoded bytes and a terminator; nothing
    /// for a null `dest` or a zero size. May cut a multi-byte sequence.
    void CopyToBuffer(char* dest, std::size_t destSize, TXEncoding encoding = kUTF8) const;
    /// Writes n = min(destSize - 1, bytes, 255), then n bytes; nothing for a
    /// null `dest` or a zero size.
    void CopyToCountedBuffer(unsigned char* dest, std::size_t destSize, TXEncoding encoding = kUTF8) const;
    /// Copies min(length, destUnits - 1) units and a NUL (no surrogate care);
    /// nothing for a null `dest` or zero units.
    template <TXUnitType C>
    void CopyToBuffer16(C* dest, std::size_t destUnits) const
    {
        if (dest == nullptr || destUnits == 0)
            return;
        const std::size_t n = std::min(text.size(), destUnits - 1);
        std::copy_n(text.data(), n, dest);
        dest[n] = 0;
    }
    /// The byte capacity of the narrow buffer (0 while there is none).
    std::int32_t GetNarrowCapacity() const noexcept { return narrowCapacity; }
    /// @}

    /// @name Numbers
    /// Text to number reads the UTF-8 form of the text, through the narrow
    /// buffer; it never throws for any text.
    /// @{

    /// As atoi: leading blanks (space, tab, line feed, vertical tab, form
    /// feed, return) skipped, an optional sign, then decimal digits up to the
    /// first other unit; 0 when there are none. Values beyond the 32-bit range
    /// saturate, as the Windows runtime's atoi does.
    std::int32_t ToInt32() const;
    /// The same over the full 64-bit range (saturating at its ends).
    std::int64_t ToInt64() const;
    /// As atof (in the C runtime's current locale, the classic one unless
    /// the process changed it): 0 for text that is no number.
    double ToReal() const;
    /// With `useUserLocale`, first a "%lf" scan under the user's default
    /// locale (so "1,5" is 1.5 where the comma is the decimal separator); when
    /// that locale is unavailable or the scan converts nothing, and without
    /// `useUserLocale`, the standard string-to-double rules: leading blanks
    /// skipped, trailing text ignored. True and `out` set on success; false
    /// with `out` unchanged when nothing converts or the value is out of range.
    bool ParseReal(double& out, bool useUserLocale) const;
    /// Replaces the text with the fixed notation of `value` at `precision`
    /// decimals (a negative precision means 6).
    TXString& SetReal(double value, int precision);
    /// @}

    /// Appends to `array` (not cleared) the parts of the text between
    /// hyphens, at most 4, keeping a hyphen that starts a part as a minus
    /// sign ("-1--2" gives "-1" and "-2"; "a-b-c-d-e" gives a, b, c and
    /// "d-e"); a text without a separating hyphen is appended whole.
    /// `outCount` receives the number of parts appended.
    void SplitAtHyphens(std::int32_t& outCount, TXStringArray& array) const;

    /// @name Normalization (in place)
    /// Text already in the form is left untouched and costs no allocation; a
    /// text the platform refuses to normalize (a lone surrogate) is left as it was.
    /// @{

    /// Puts the text into Unicode normalization form C (composed).
    TXString& NormalizeComposed();
    /// Puts the text into Unicode normalization form D (decomposed).
    TXString& NormalizeDecomposed();
    /// @}

    /// @name Comparison
    /// @{

    /// Same length and the same units.
    bool Equal(const TXString& other) const noexcept;
    /// Same length and equal ignoring case (the system's case-insensitive
    /// comparison; embedded NULs end the compared text).
    bool EqualNoCase(const TXString& other) const;
    /// Code-unit order, unsigned; a prefix is less. -1, 0 or 1.
    int Compare(const TXString& other) const noexcept;
    /// The system's case-insensitive comparison, its result unchanged.
    int CompareNoCase(const TXString& other) const;
    /// Digits as numbers; empty texts sort after all others. With
    /// `dashesAsPunctuation`, hyphens and control units compare as "!".
    std::int16_t CompareLogical(const TXString& other, bool dashesAsPunctuation = false) const;
    /// The user locale's linguistic order ignoring case, digits as numbers,
    /// over the exact lengths: -1, 0 or 1 (0 also when the platform fails).
    int CompareNatural(const TXString& other) const;

    /// Case-insensitive: unequal when the lengths differ. A null pointer
    /// equals exactly the empty text; 8-bit text is read as UTF-8.
    friend bool operator==(const TXString& left, const TXString& right) { return left.EqualNoCase(right); }
    /// `left` against the UTF-8 text `right`, as above.
    friend bool operator==(const TXString& left, const char* right);
    /// `left` against `right` up to its first NUL, as above.
    template <TXUnitType C>
    friend bool operator==(const TXString& left, const C* right)
    {
        if (right == nullptr)
            return left.IsEmpty();
        return left.EqualNoCase(TXString(right));
    }
    /// The sign of CompareNoCase.
    friend bool operator<(const TXString& left, const TXString& right) { return left.CompareNoCase(right) < 0; }
    /// The sign of CompareNoCase.
    friend bool operator<=(const TXString& left, const TXString& right) { return left.CompareNoCase(right) <= 0; }
    /// The sign of CompareNoCase.
    friend bool operator>(const TXString& left, const TXString& right) { return left.CompareNoCase(right) > 0; }
    /// The sign of CompareNoCase.
    friend bool operator>=(const TXString& left, const TXString& right) { return left.CompareNoCase(right) >= 0; }
    /// @}

    /// @name Case (per code unit, the system's casing)
    /// @{

    /// Upper-cases every unit.
    TXString& MakeUpper();
    /// Lower-cases every unit.
    TXString& MakeLower();
    /// Upper-cases the first unit after whitespace or punctuation and
    /// lower-cases the rest; starts capitalizing when `previous` is 0,
    /// whitespace or punctuation.
    template <TXUnitType C = TXChar>
    TXString& MakeTitleCase(C previous = 0)
    {
        return TitleCase(static_cast<TXChar>(previous));
    }
    /// Reverses the units (a surrogate pair comes out reversed too).
    TXString& Reverse();
    /// @}

    /// @name Searching
    /// Positions are code units; results are a position or kNotFound. A
    /// negative `start` searches forwards from 0 and backwards from nowhere.
    /// Ignoring case searches lower-cased copies.
    /// @{

    /// An empty `sub` is never found.
    std::int64_t Find(const TXString& sub, std::int64_t start = 0, bool ignoreCase = false) const;
    /// The first `unit` at or after `start`.
    template <TXUnitType C>
    std::int64_t Find(C unit, std::int64_t start = 0, bool ignoreCase = false) const
    {
        return FindUnit(static_cast<TXChar>(unit), start, ignoreCase);
    }
    /// The first unit with the byte value of `ch` at or after `start`.
    std::int64_t Find(char ch, std::int64_t start = 0, bool ignoreCase = false) const;
    /// The first unit with the byte value of `ch` at or after `start`.
    std::int64_t Find(unsigned char ch, std::int64_t start = 0, bool ignoreCase = false) const;
    /// The last occurrence beginning at or before `start` (clipped to the last
    /// possible beginning); an empty `sub` is never found.
    std::int64_t ReverseFind(const TXString& sub, std::int64_t start = kEnd, bool ignoreCase = false) const;
    /// The last `unit` at or before min(start, length - 1).
    template <TXUnitType C>
    std::int64_t ReverseFind(C unit, std::int64_t start = kEnd, bool ignoreCase = false) const
    {
        return ReverseFindUnit(static_cast<TXChar>(unit), start, ignoreCase);
    }
    /// The last unit with the byte value of `ch` at or before min(start,
    /// length - 1).
    std::int64_t ReverseFind(char ch, std::int64_t start = kEnd, bool ignoreCase = false) const;
    /// The last unit with the byte value of `ch` at or before min(start,
    /// length - 1).
    std::int64_t ReverseFind(unsigned char ch, std::int64_t start = kEnd, bool ignoreCase = false) const;
    /// First unit at or after `start` that is in `set`; an empty set finds nothing.
    std::int64_t FindOneOf(const TXString& set, std::int64_t start = 0) const;
    /// Last unit at or before min(start, length - 1) that is in `set`.
    std::int64_t ReverseFindOneOf(const TXString& set, std::int64_t start = kEnd) const;
    /// First unit at or after `start` that is not in `set`.
    std::int64_t FindNotOneOf(const TXString& set, std::int64_t start = 0) const;
    /// Last unit at or before min(start, length - 1) that is not in `set`.
    std::int64_t ReverseFindNotOneOf(const TXString& set, std::int64_t start = kEnd) const;
    /// @}

private:
    template <TXUnitType C>
    static std::size_t UnitLength(const C* units, std::size_t limit = static_cast<std::size_t>(-1)) noexcept
    {
        std::size_t n = 0;
        while (n < limit && units[n] != 0)
            ++n;
        return n;
    }

    template <std::integral I>
    bool InRange(I index) const noexcept
    {
        if constexpr (std::is_signed_v<I>) {
            if (index < 0)
                return false;
        }
        return static_cast<std::make_unsigned_t<I>>(index) < text.size();
    }

    /// Raises the length error unless `added` more units fit behind the
    /// units of `target`.
    static void CheckGrowth(const TXInnerString& target, std::size_t added)
    {
        if (added > target.max_size() - target.size())
            ThrowTooLong();
    }
    /// Raises the length error unless a text of `length` units can exist.
    void CheckLength(std::size_t length) const
    {
        if (length > text.max_size())
            ThrowTooLong();
    }
    /// std::length_error(kStringTooLong): the one length error of the class,
    /// never the standard string's own message.
    [[noreturn]] static void ThrowTooLong();

    /// A source that lies inside the own text (its terminator included), as
    /// the TXChar units it is whichever 16-bit type the caller reads them as;
    /// null for any other source. Growing or shifting the text moves or frees
    /// such a source, so every unit type has to take the path that copes.
    template <TXUnitType C>
    const TXChar* OwnUnits(const C* units) const noexcept
    {
        const auto* at = reinterpret_cast<const unsigned char*>(units);
        const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
        const std::less<const unsigned char*> before;
        if (before(at, begin) || !before(at, begin + (text.size() + 1) * sizeof(TXChar)))
            return nullptr;
        return text.data() + (at - begin) / static_cast<std::ptrdiff_t>(sizeof(TXChar));
    }

    template <TXUnitType C>
    void AppendUnits(const C* units, std::size_t count)
    {
        CheckGrowth(text, count);
        if (const TXChar* own = OwnUnits(units)) {
            // The standard string copes with its own text as the source.
            text.append(own, count);
        } else if constexpr (std::same_as<std::remove_cv_t<C>, TXChar>) {
            text.append(units, count);
        } else {
            const std::size_t old = text.size();
            text.resize(old + count);
            std::copy_n(units, count, text.data() + old);
        }
    }

    template <TXUnitType C>
    void AssignUnits(const C* units, std::size_t count)
    {
        CheckLength(count);
        if (const TXChar* own = OwnUnits(units)) {
            text.assign(own, count);
        } else if constexpr (std::same_as<std::remove_cv_t<C>, TXChar>) {
            text.assign(units, count);
        } else {
            text.resize(count);
            std::copy_n(units, count, text.data());
        }
    }

    template <TXUnitType C>
    void InsertUnits(std::size_t position, const C* units, std::size_t count)
    {
        CheckGrowth(text, count);
        // Units from inside the own text are copied out first; then a gap is
        // opened and filled, which also keeps the compiler's overlap analysis
        // of the pointer form of insert quiet.
        if (const TXChar* own = OwnUnits(units)) {
            const TXInnerString copy(own, count);
            InsertUnits(position, copy.data(), count);
            return;
        }
        position = std::min(position, text.size());
        text.insert(position, count, TXChar(0));
        std::copy_n(units, count, text.data() + position);
    }

    static TXChar& ScratchUnit() noexcept;
    /// Inserts `count` copies of `unit` (clipping the position to the end).
    TXString& InsertFill(std::size_t position, std::size_t count, TXChar unit);
    void AssignFill(TXChar unit, std::size_t count);
    void AssignPadded(std::int64_t value, int width, TXChar fill);
    void AppendSigned(std::int64_t value);
    void AppendUnsigned(std::uint64_t value);
    void AppendFixed(double value, int precision);
    /// Decodes `byteCount` bytes at the end of `target` (after the rules for
    /// empty input of SetNarrow).
    static void DecodeAppend(TXInnerString& target, const char* bytes, std::size_t byteCount, TXEncoding encoding);
    TXString& SetLengthFilled(std::size_t length, TXChar fill);
    /// Replaces, in the own text, every non-overlapping match of `find` in
    /// `searched` (the text itself or a copy of the same length), left to
    /// right, by `with`; no change without a match.
    void ReplaceMatches(const TXInnerString& searched, const TXChar* find, std::size_t findLength,
                        const TXInnerString& with);
    TXString& TitleCase(TXChar previous);
    TXString& Normalize(bool composed);
    std::int64_t FindUnit(TXChar unit, std::int64_t start, bool ignoreCase) const;
    std::int64_t ReverseFindUnit(TXChar unit, std::int64_t start, bool ignoreCase) const;
    /// Makes sure the narrow buffer holds at least `bytes` bytes (growing only).
    void ReserveNarrow(std::size_t bytes) const;

    TXInnerString text;
    /// The cached 8-bit text; null until the first encoding request.
    mutable char* narrow = nullptr;
    /// Bytes allocated for `narrow`; 0 while there is none.
    mutable std::int32_t narrowCapacity = 0;
};

// The host's value records hold a TXString at offset 40 of 96 bytes.
static_assert(sizeof(TXString) <= 56, "TXString must fit the host's value record");
