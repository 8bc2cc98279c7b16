// CFormatString and CFormatArg: the template reader, the check that keeps
// every conversion to what swprintf reads as one conversion of one value, and
// the value-as queries of the argument records.
//
// Before a conversion reaches the platform's swprintf it is rewritten into a
// canonical form that both C runtimes read alike: the size is resolved here
// (h, hh and l narrow the value here; ll, I64, j, z, t and I read 64 bits),
// %p becomes the Windows runtime's 16 upper-case hex digits, and %a without a
// precision gets the Windows runtime's 13 hex digits. The value passed is
// then exactly of the type the rewritten conversion reads.
#include "strings/CFormatString.h"

#include "platform/Text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>

namespace {

/// @name Template syntax
/// @{
constexpr TXChar kPercent = u'%';
constexpr TXChar kSpace = u' ';
constexpr std::u16string_view kConversionLetters = u"diuoxXfFeEgGaAcspn";
constexpr std::u16string_view kFlags = u"-+#0";
constexpr std::u16string_view kRealLetters = u"fFeEgGaA";
/// Widths and precisions with more digits are refused: no output that long
/// fits the scratch buffer, and the runtimes disagree about huge ones.
constexpr int kMaxFieldDigits = 5;
/// The digits of a pointer under %p, as the Windows runtime prints it.
constexpr int kPointerDigits = 16;
/// The hex digits of %a without a precision, as the Windows runtime prints it.
constexpr int kHexRealDigits = 13;
/// @}

/// Each formatted argument goes through one scratch buffer of this size.
constexpr int kScratchUnits = 1024;
/// Room reserved per number while estimating the result's length.
constexpr std::size_t kNumberEstimate = 24;

/// One bit per ASCII unit of `units`, for tests in the template's inner loop.
struct AsciiSet {
    constexpr explicit AsciiSet(std::u16string_view units)
    {
        for (char16_t unit : units)
            bits[unit >> 6] |= std::uint64_t{1} << (unit & 63);
    }
    constexpr bool Has(TXChar unit) const { return unit < 0x80 && (bits[unit >> 6] >> (unit & 63) & 1) != 0; }

    std::uint64_t bits[2] = {0, 0};
};

constexpr AsciiSet kConversionLetterSet(kConversionLetters);
constexpr AsciiSet kRealLetterSet(kRealLetters);

bool IsConversionLetter(TXChar unit)
{
    return kConversionLetterSet.Has(unit);
}

bool IsDigit(TXChar unit)
{
    return unit >= u'0' && unit <= u'9';
}

/// What a conversion reads from its argument.
enum class Reads { Int8, Int16, Int32, Int64, Real, Unit8, Unit16, Pointer };

/// A conversion split into its parts; `valid` is false for anything the
/// runtime would not read as one conversion of one value, or that would read
/// memory through the value.
struct Conversion {
    bool valid = false;
    unsigned flags = 0; ///< bit n: kFlags[n] was given (repeats count once)
    int width = -1;
    int precision = -1;
    TXChar letter = 0;
    Reads reads = Reads::Int32;
};

/// Reads up to kMaxFieldDigits digits at `at`; -1 for more.
int ReadField(const TXChar*& at)
{
    int value = 0;
    int digits = 0;
    for (; IsDigit(*at); ++at) {
        if (++digits > kMaxFieldDigits)
            return -1;
        value = value * 10 + (*at - u'0');
    }
    return value;
}

/// The size prefixes the formatter accepts, longest first where one begins
/// another.
constexpr std::u16string_view kSizes[] = {u"I64", u"I32", u"hh", u"ll", u"h", u"l", u"L", u"j", u"z", u"t", u"I", u"w"};

Reads IntegerReads(std::u16string_view size)
{
    if (size.empty() || size == u"l" || size == u"I32")
        return Reads::Int32;
    if (size == u"h")
        return Reads::Int16;
    if (size == u"hh")
        return Reads::Int8;
    return Reads::Int64; // ll, I64, j, z, t, I: 64 bits on a 64-bit Windows
}

/// Parses `format` (from "%" to its letter, `length` units).
Conversion Parse(const TXChar* format, std::size_t length)
{
    Conversion c;
    const TXChar* at = format + 1;
    const TXChar* last = format + length - 1;
    if (at == last && *last != u's' && *last != u'n') {
        // The common "%d": nothing between the percent sign and the letter.
        c.letter = *last;
        c.reads = c.letter == u'c' ? Reads::Unit16
                  : c.letter == u'p' ? Reads::Pointer
                  : kRealLetterSet.Has(c.letter) ? Reads::Real
                                                 : Reads::Int32;
        c.valid = true;
        return c;
    }
    for (; at < last && *at < 0x80; ++at) {
        const std::size_t flag = kFlags.find(static_cast<char16_t>(*at));
        if (flag == std::u16string_view::npos)
            break;
        c.flags |= 1u << flag;
    }
    if (IsDigit(*at) && (c.width = ReadField(at)) < 0)
        return c;
    if (*at == u'.') {
        ++at;
        if ((c.precision = ReadField(at)) < 0)
            return c;
    }
    std::u16string_view size;
    for (std::u16string_view candidate : kSizes) {
        if (static_cast<std::size_t>(last - at) >= candidate.size() &&
            std::equal(candidate.begin(), candidate.end(), at)) {
            size = candidate;
            at += candidate.size();
            break;
        }
    }
    if (at != last)
        return c;
    c.letter = *last;
    switch (c.letter) {
    case u'd': case u'i': case u'o': case u'u': case u'x': case u'X':
        if (size == u"L" || size == u"w")
            return c;
        c.reads = IntegerReads(size);
        break;
    case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': case u'a': case u'A':
        if (!size.empty() && size != u"l" && size != u"L")
            return c;
        c.reads = Reads::Real;
        break;
    case u'c':
        if (!size.empty() && size != u"h" && size != u"l" && size != u"w")
            return c;
        c.reads = size == u"h" ? Reads::Unit8 : Reads::Unit16;
        break;
    case u'p':
        if (!size.empty())
            return c;
        c.reads = Reads::Pointer;
        break;
    default: // s and n read or write through the argument
        return c;
    }
    c.valid = true;
    return c;
}

/// A conversion in canonical form: "%", each flag once, width, precision,
/// size, letter, NUL; at most 1 + 4 + 5 + 6 + 2 + 1 + 1 units.
class CanonicalFormat {
public:
    CanonicalFormat(const Conversion& c, int precision, std::u16string_view size, char16_t letter)
    {
        Put(kPercent);
        for (std::size_t flag = 0; flag < kFlags.size(); ++flag)
            if (c.flags & (1u << flag))
                Put(kFlags[flag]);
        if (c.width >= 0)
            PutNumber(c.width);
        if (precision >= 0) {
            Put(u'.');
            PutNumber(precision);
        }
        for (char16_t unit : size)
            Put(unit);
        Put(letter);
        units[length] = 0;
    }

    const TXChar* Get() const noexcept { return units; }

private:
    void Put(char16_t unit) { units[length++] = static_cast<TXChar>(unit); }
    void PutNumber(int value)
    {
        char digits[16];
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        for (const char* p = digits; p != end; ++p)
            Put(static_cast<char16_t>(*p));
    }

    TXChar units[24];
    std::size_t length = 0;
};

/// Appends the units of a conversion's output: up to `count` and the first NUL.
void AppendOutput(TXInnerString& out, const TXChar* units, int count)
{
    if (count <= 0)
        return;
    const auto n = static_cast<std::size_t>(count);
    out.append(units, std::find(units, units + n, TXChar(0)));
}

/// %d, %x and their kin without flags, width or precision: the digits alone,
/// which is all swprintf would write, without a call into the runtime.
template <typename Signed>
bool AppendPlainInteger(TXInnerString& out, const Conversion& c, Signed value)
{
    if (c.flags != 0 || c.width >= 0 || c.precision >= 0)
        return false;
    using Unsigned = std::make_unsigned_t<Signed>;
    char digits[32];
    std::to_chars_result r{};
    switch (c.letter) {
    case u'd': case u'i': r = std::to_chars(digits, digits + sizeof digits, value); break;
    case u'u': r = std::to_chars(digits, digits + sizeof digits, static_cast<Unsigned>(value)); break;
    case u'o': r = std::to_chars(digits, digits + sizeof digits, static_cast<Unsigned>(value), 8); break;
    case u'x': case u'X': r = std::to_chars(digits, digits + sizeof digits, static_cast<Unsigned>(value), 16); break;
    default: return false;
    }
    for (const char* p = digits; p != r.ptr; ++p)
        out.push_back(static_cast<TXChar>(c.letter == u'X' && *p >= 'a' ? *p - 'a' + 'A' : *p));
    return true;
}

/// One conversion of a non-text argument through the platform's swprintf.
void AppendConverted(TXInnerString& out, const Conversion& c, std::uint64_t bits)
{
    TXChar scratch[kScratchUnits];
    int count = -1;
    const char16_t letter = static_cast<char16_t>(c.letter);
    const bool isSigned = letter == u'd' || letter == u'i';
    switch (c.reads) {
    case Reads::Int8:
    case Reads::Int16:
    case Reads::Int32: {
        // The runtime reads the low half of the slot and narrows it to the
        // conversion's size, with sign for d and i.
        auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
        if (c.reads == Reads::Int16)
            value = isSigned ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(static_cast<std::uint16_t>(value));
        else if (c.reads == Reads::Int8)
            value = isSigned ? static_cast<std::int8_t>(value) : static_cast<std::int32_t>(static_cast<std::uint8_t>(value));
        if (AppendPlainInteger(out, c, value))
            return;
        const CanonicalFormat format(c, c.precision, u"", letter);
        count = Platform::FormatInt32(format.Get(), value, scratch, kScratchUnits);
        break;
    }
    case Reads::Int64: {
        const auto value = static_cast<std::int64_t>(bits);
        if (AppendPlainInteger(out, c, value))
            return;
        const CanonicalFormat format(c, c.precision, u"ll", letter);
        count = Platform::FormatInt64(format.Get(), value, scratch, kScratchUnits);
        break;
    }
    case Reads::Pointer: {
        // The Windows runtime's %p: the precision is always 16 digits.
        const CanonicalFormat format(c, kPointerDigits, u"ll", u'X');
        count = Platform::FormatInt64(format.Get(), static_cast<std::int64_t>(bits), scratch, kScratchUnits);
        break;
    }
    case Reads::Real: {
        const bool hex = letter == u'a' || letter == u'A';
        const CanonicalFormat format(c, hex && c.precision < 0 ? kHexRealDigits : c.precision, u"", letter);
        count = Platform::FormatReal(format.Get(), std::bit_cast<double>(bits), scratch, kScratchUnits);
        break;
    }
    case Reads::Unit8:
    case Reads::Unit16: {
        const auto unit = static_cast<TXChar>(c.reads == Reads::Unit8 ? bits & 0xFF : bits & 0xFFFF);
        const CanonicalFormat format(c, -1, u"", u'c');
        count = Platform::FormatUnit(format.Get(), unit, scratch, kScratchUnits);
        break;
    }
    }
    AppendOutput(out, scratch, count);
}

/// Exactly "%c" or "%s", either case.
bool IsPlainCharConversion(const TXChar* format, std::size_t length)
{
    return length == 2 && (format[1] == u'c' || format[1] == u'C' || format[1] == u's' || format[1] == u'S');
}

template <typename T>
T SaturatingTruncation(double value)
{
    if (std::isnan(value))
        return 0;
    const double truncated = std::trunc(value);
    if (truncated <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    // 2^N as a double is exact; every value below it converts.
    if (truncated >= std::ldexp(1.0, std::numeric_limits<T>::digits))
        return std::numeric_limits<T>::max();
    return static_cast<T>(truncated);
}

} // namespace

// ---------------------------------------------------------------------------
// CFormatArg

CFormatArg::CFormatArg(long value)
{
    if constexpr (sizeof(long) == sizeof(std::int32_t)) {
        kind = kLong;
        longValue = static_cast<std::int32_t>(value);
    } else {
        kind = kLongLong;
        longLongValue = value;
    }
}

CFormatArg::CFormatArg(unsigned long value)
{
    if constexpr (sizeof(unsigned long) == sizeof(std::uint32_t)) {
        kind = kUnsignedLong;
        unsignedLongValue = static_cast<std::uint32_t>(value);
    } else {
        kind = kUnsignedLongLong;
        unsignedLongLongValue = value;
    }
}

template <typename T>
T CFormatArg::AsInteger() const noexcept
{
    switch (kind) {
    case kShort: return static_cast<T>(shortValue);
    case kInt: return static_cast<T>(intValue);
    case kLong: return static_cast<T>(longValue);
    case kLongLong: return static_cast<T>(longLongValue);
    case kUnsignedShort: return static_cast<T>(unsignedShortValue);
    case kUnsignedInt: return static_cast<T>(unsignedIntValue);
    case kUnsignedLong: return static_cast<T>(unsignedLongValue);
    case kUnsignedLongLong: return static_cast<T>(unsignedLongLongValue);
    case kDouble: return SaturatingTruncation<T>(doubleValue);
    case kChar: return static_cast<T>(charValue);
    case kPointer: return static_cast<T>(reinterpret_cast<std::uintptr_t>(pointerValue));
    case kText: break;
    }
    return 0;
}

std::int16_t CFormatArg::AsInt16() const noexcept
{
    return AsInteger<std::int16_t>();
}

std::uint16_t CFormatArg::AsUInt16() const noexcept
{
    return AsInteger<std::uint16_t>();
}

std::int32_t CFormatArg::AsInt32() const noexcept
{
    return AsInteger<std::int32_t>();
}

std::uint32_t CFormatArg::AsUInt32() const noexcept
{
    return AsInteger<std::uint32_t>();
}

std::int64_t CFormatArg::AsInt64() const noexcept
{
    return AsInteger<std::int64_t>();
}

std::uint64_t CFormatArg::AsUInt64() const noexcept
{
    return AsInteger<std::uint64_t>();
}

double CFormatArg::AsReal() const noexcept
{
    switch (kind) {
    case kDouble: return doubleValue;
    case kUnsignedInt:
    case kUnsignedShort:
    case kUnsignedLong:
    case kUnsignedLongLong:
    case kChar:
    case kPointer: return static_cast<double>(AsUInt64());
    case kText: return 0;
    default: return static_cast<double>(AsInt64());
    }
}

TXChar CFormatArg::AsChar() const noexcept
{
    if (kind == kText)
        return textValue.GetAt(0);
    return static_cast<TXChar>(AsInteger<std::uint16_t>());
}

const void* CFormatArg::AsPointer() const noexcept
{
    return kind == kPointer ? pointerValue : nullptr;
}

const TXString& CFormatArg::AsText() const noexcept
{
    static const TXString empty;
    return kind == kText ? textValue : empty;
}

std::uint64_t CFormatArg::SlotBits() const noexcept
{
    switch (kind) {
    case kLongLong:
    case kUnsignedLongLong:
    case kPointer: return AsUInt64();
    case kDouble: return std::bit_cast<std::uint64_t>(doubleValue);
    case kText: return 0;
    default: return AsUInt32(); // widened to 32 bits, the upper half zero
    }
}

// ---------------------------------------------------------------------------
// CFormatString

CFormatString::CFormatString(const TXString& templ) : templ(templ) {}

TXString CFormatString::Format()
{
    std::size_t estimate = templ.GetLength();
    for (const CFormatArg& argument : arguments)
        estimate += argument.GetKind() == CFormatArg::kText ? argument.AsText().GetLength() : kNumberEstimate;
    TXInnerString out;
    out.reserve(estimate);

    auto next = arguments.begin();
    const TXChar* t = templ.GetData(); // a NUL unit ends the template
    std::size_t i = 0;
    while (t[i] != 0) {
        if (t[i] != kPercent) {
            const std::size_t start = i;
            while (t[i] != 0 && t[i] != kPercent)
                ++i;
            out.append(t + start, i - start);
            continue;
        }
        const std::size_t start = i++;
        while (t[i] != 0 && t[i] != kPercent && t[i] != kSpace && !IsConversionLetter(t[i]))
            ++i;
        if (!IsConversionLetter(t[i])) {
            // Ended before a letter: written as it stands. The space that ends
            // it is written too; a "%" is consumed (so "%%" gives one).
            out.append(t + start, i - start);
            if (t[i] == kSpace)
                out.push_back(kSpace);
            if (t[i] != 0)
                ++i;
            continue;
        }
        const TXChar* pending = t + start;
        const std::size_t length = ++i - start;
        if (next == arguments.end()) {
            out.append(pending, length);
            continue;
        }
        const CFormatArg& argument = *next++;
        if (argument.GetKind() == CFormatArg::kText) {
            const TXString& text = argument.AsText();
            out.append(text.GetData(), text.GetLength());
            continue;
        }
        if (argument.GetKind() == CFormatArg::kChar && IsPlainCharConversion(pending, length)) {
            out.push_back(argument.AsChar());
            continue;
        }
        const Conversion conversion = Parse(pending, length);
        if (!conversion.valid) {
            out.append(pending, length);
            continue;
        }
        AppendConverted(out, conversion, argument.SlotBits());
    }
    result = TXString(std::move(out));
    return result;
}
