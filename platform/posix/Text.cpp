// Linux text services: the Win32 text functions of Text.h reproduced with ICU.
//
// The goal is Windows' answers, not ICU's: where the two disagree, the
// Windows behaviour (as recorded in tests/data/TextReference.windows.txt) is
// what this file implements, usually as a small correction applied on top of
// an ICU table. Every hot path (ASCII comparison and casing, already-normalized
// text) avoids ICU calls and allocation.
#include "platform/Text.h"

#include <unicode/ubrk.h>
#include <unicode/ucnv.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace Platform {
namespace {

/// @name Win32 constants this file emulates
/// @{
constexpr unsigned kCodePageWindows1252 = 1252;
constexpr unsigned kCodePageMacRoman = 10000;
constexpr unsigned kMbErrInvalidChars = 0x8;
constexpr unsigned kWcErrInvalidChars = 0x80;
constexpr char kWindowsDefaultChar = '?';
constexpr WideChar kReplacementCharacter = 0xFFFD;
/// @}

constexpr char kBreakLocale[] = "en_US";

bool IsHighSurrogate(WideChar u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(WideChar u) { return u >= 0xDC00 && u <= 0xDFFF; }

// ---------------------------------------------------------------------------
// Single-byte code pages

/// A byte <-> UTF-16 table. Bytes decode through `toUnicode`; units encode
/// through the reverse map (exact round trips first, then the best-fit
/// mappings Windows applies when no exact byte exists).
class SingleByteCodePage {
public:
    struct Correction {
        unsigned char byte;
        WideChar unit;
    };
    struct BestFit {
        WideChar unit;
        unsigned char byte;
    };

    SingleByteCodePage(const char* icuName, const Correction* corrections, std::size_t correctionCount,
                       const BestFit* bestFits, std::size_t bestFitCount)
    {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(icuName, &status);
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            UChar unit = static_cast<UChar>(b);
            UErrorCode convStatus = U_ZERO_ERROR;
            if (converter) {
                ucnv_reset(converter);
                if (ucnv_toUChars(converter, &unit, 1, &byte, 1, &convStatus) != 1)
                    unit = static_cast<UChar>(b);
            }
            toUnicode_[static_cast<std::size_t>(b)] = unit;
        }
        if (converter)
            ucnv_close(converter);
        for (std::size_t i = 0; i < correctionCount; ++i)
            toUnicode_[corrections[i].byte] = corrections[i].unit;

        // Exact mappings win over best fit; among exact ones the lowest byte.
        latin1_.fill(kUnmapped);
        for (int b = 255; b >= 0; --b) {
            const WideChar unit = toUnicode_[static_cast<std::size_t>(b)];
            if (unit < 0x100)
                latin1_[unit] = static_cast<std::uint16_t>(b);
            else
                Add(unit, static_cast<unsigned char>(b));
        }
        for (std::size_t i = 0; i < bestFitCount; ++i) {
            if (bestFits[i].unit < 0x100) {
                if (latin1_[bestFits[i].unit] == kUnmapped)
                    latin1_[bestFits[i].unit] = bestFits[i].byte;
            } else {
                Add(bestFits[i].unit, bestFits[i].byte);
            }
        }
        std::sort(others_.begin(), others_.end(),
                  [](const BestFit& x, const BestFit& y) { return x.unit < y.unit; });
    }

    WideChar Decode(unsigned char byte) const { return toUnicode_[byte]; }

    /// The byte for `unit`, or -1 when the code page has none.
    int Encode(WideChar unit) const
    {
        if (unit < 0x100)
            return latin1_[unit] == kUnmapped ? -1 : latin1_[unit];
        return Lookup(unit);
    }

private:
    static constexpr std::uint16_t kUnmapped = 0x100;

    void Add(WideChar unit, unsigned char byte)
    {
        // Built once, so a linear duplicate check is fine; later entries lose.
        for (const BestFit& e : others_)
            if (e.unit == unit)
                return;
        others_.push_back({unit, byte});
    }

    int Lookup(WideChar unit) const
    {
        auto it = std::lower_bound(others_.begin(), others_.end(), unit,
                                   [](const BestFit& e, WideChar u) { return e.unit < u; });
        return it != others_.end() && it->unit == unit ? it->byte : -1;
    }

    std::array<WideChar, 256> toUnicode_{};
    std::array<std::uint16_t, 256> latin1_{};
    std::vector<BestFit> others_;
};

// Windows' Mac Roman (c_10000) differs from ICU's Mac OS table where Apple
// revised its mapping after Windows took its copy.
constexpr SingleByteCodePage::Correction kMacRomanCorrections[] = {
    {0xBD, 0x2126}, // OHM SIGN where ICU has GREEK CAPITAL LETTER OMEGA
    {0xDB, 0x00A4}, // CURRENCY SIGN where ICU has EURO SIGN
};

const SingleByteCodePage& Windows1252()
{
    static const SingleByteCodePage table("windows-1252", nullptr, 0, nullptr, 0);
    return table;
}

const SingleByteCodePage& MacRoman()
{
    static const SingleByteCodePage table("macos-0_2-10.2", kMacRomanCorrections, std::size(kMacRomanCorrections),
                                          nullptr, 0);
    return table;
}

const SingleByteCodePage* SingleByteFor(unsigned codePage)
{
    switch (codePage) {
    case kCodePageAnsi:
    case kCodePageWindows1252:
        return &Windows1252();
    case kCodePageMac:
    case kCodePageMacRoman:
        return &MacRoman();
    default:
        return nullptr;
    }
}

/// Resolves a -1 count to the length including the NUL.
template <typename T> int ResolveCount(const T* text, int count)
{
    if (count >= 0)
        return count;
    int n = 0;
    while (text[n] != 0)
        ++n;
    return n + 1;
}

// Writes `n` units produced by `produce(i)` into out, Win32 style.
template <typename Out, typename Produce> int Emit(int n, Out* out, int outCapacity, Produce produce)
{
    if (outCapacity == 0)
        return n;
    if (n > outCapacity)
        return 0;
    for (int i = 0; i < n; ++i)
        out[i] = produce(i);
    return n;
}

int DecodeSymbol(const unsigned char* bytes, int count, WideChar* out, int outCapacity)
{
    // The symbol code page keeps the C0 controls and moves every other byte
    // into the private-use block U+F000..U+F0FF where symbol fonts live.
    return Emit(count, out, outCapacity, [&](int i) {
        const unsigned char b = bytes[i];
        return static_cast<WideChar>(b < 0x20 ? b : 0xF000 + b);
    });
}

int EncodeSymbol(const WideChar* units, int count, char* out, int outCapacity)
{
    for (int i = 0; i < count; ++i) {
        const WideChar u = units[i];
        if (!(u < 0x20 || (u >= 0xF020 && u <= 0xF0FF)))
            return 0;
    }
    return Emit(count, out, outCapacity, [&](int i) { return static_cast<char>(units[i] & 0xFF); });
}

int DecodeUtf8(const char* bytes, int count, unsigned flags, WideChar* out, int outCapacity)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    int32_t substitutions = 0;
    u_strFromUTF8WithSub(outCapacity == 0 ? nullptr : out, outCapacity, &length, bytes, count,
                         kReplacementCharacter, &substitutions, &status);
    if ((flags & kMbErrInvalidChars) && substitutions > 0)
        return 0;
    if (status == U_BUFFER_OVERFLOW_ERROR && outCapacity == 0)
        return length;
    if (U_FAILURE(status))
        return 0;
    return length;
}

int EncodeUtf8(const WideChar* units, int count, unsigned flags, char* out, int outCapacity)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    int32_t substitutions = 0;
    u_strToUTF8WithSub(outCapacity == 0 ? nullptr : out, outCapacity, &length, units, count,
                       kReplacementCharacter, &substitutions, &status);
    if ((flags & kWcErrInvalidChars) && substitutions > 0)
        return 0;
    if (status == U_BUFFER_OVERFLOW_ERROR && outCapacity == 0)
        return length;
    if (U_FAILURE(status))
        return 0;
    return length;
}

} // namespace

unsigned SystemAnsiCodePage()
{
    return kCodePageWindows1252;
}

int MultiByteToWide(unsigned codePage, unsigned flags, const char* bytes, int byteCount, WideChar* out,
                    int outCapacity)
{
    if (bytes == nullptr || byteCount == 0 || byteCount < -1 || outCapacity < 0 ||
        (outCapacity > 0 && out == nullptr))
        return 0;
    const int count = ResolveCount(bytes, byteCount);
    const auto* ubytes = reinterpret_cast<const unsigned char*>(bytes);
    switch (codePage) {
    case kCodePageUtf8:
        if (flags & ~kMbErrInvalidChars)
            return 0;
        return DecodeUtf8(bytes, count, flags, out, outCapacity);
    case kCodePageSymbol:
        if (flags != 0)
            return 0;
        return DecodeSymbol(ubytes, count, out, outCapacity);
    default:
        break;
    }
    const SingleByteCodePage* table = SingleByteFor(codePage);
    if (table == nullptr || (flags & ~(kPrecomposed | kMbErrInvalidChars)) != 0)
        return 0;
    // Single-byte tables hold only precomposed characters, so the flag that
    // chooses precomposed output changes nothing.
    return Emit(count, out, outCapacity, [&](int i) { return table->Decode(ubytes[i]); });
}

int WideToMultiByte(unsigned codePage, unsigned flags, const WideChar* units, int unitCount, char* out,
                    int outCapacity, const char* defaultChar)
{
    if (units == nullptr || unitCount == 0 || unitCount < -1 || outCapacity < 0 ||
        (outCapacity > 0 && out == nullptr))
        return 0;
    const int count = ResolveCount(units, unitCount);
    switch (codePage) {
    case kCodePageUtf8:
        if (flags & ~kWcErrInvalidChars)
            return 0;
        return EncodeUtf8(units, count, flags, out, outCapacity);
    case kCodePageSymbol:
        if (flags != 0)
            return 0;
        return EncodeSymbol(units, count, out, outCapacity);
    default:
        break;
    }
    const SingleByteCodePage* table = SingleByteFor(codePage);
    if (table == nullptr || (flags & ~kCompositeCheck) != 0)
        return 0;
    const char fallback = defaultChar ? *defaultChar : kWindowsDefaultChar;
    return Emit(count, out, outCapacity, [&](int i) {
        const int b = table->Encode(units[i]);
        return b < 0 ? fallback : static_cast<char>(b);
    });
}

// ---------------------------------------------------------------------------
// Normalization

namespace {

const UNormalizer2* NormalizerFor(NormalForm form)
{
    UErrorCode status = U_ZERO_ERROR;
    return form == NormalForm::C ? unorm2_getNFCInstance(&status) : unorm2_getNFDInstance(&status);
}

/// Windows refuses text that is not well-formed UTF-16.
bool HasLoneSurrogate(const WideChar* text, int length)
{
    for (int i = 0; i < length; ++i) {
        const WideChar u = text[i];
        if (IsHighSurrogate(u)) {
            if (i + 1 >= length || !IsLowSurrogate(text[i + 1]))
                return true;
            ++i;
        } else if (IsLowSurrogate(u)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool IsNormalized(NormalForm form, const WideChar* text, int length)
{
    if (text == nullptr || length < -1)
        return false;
    const int count = ResolveCount(text, length);
    // ASCII is invariant under every normalization form, but the last ASCII
    // character may still compose with a mark that follows it.
    int i = 0;
    while (i < count && text[i] < 0x80)
        ++i;
    if (i == count)
        return true;
    if (i > 0)
        --i;
    if (HasLoneSurrogate(text + i, count - i))
        return false;
    UErrorCode status = U_ZERO_ERROR;
    const UBool result = unorm2_isNormalized(NormalizerFor(form), text + i, count - i, &status);
    return U_SUCCESS(status) && result;
}

int Normalize(NormalForm form, const WideChar* src, int srcLength, WideChar* dst, int dstCapacity)
{
    if (src == nullptr || srcLength < -1 || dstCapacity < 0 || (dstCapacity > 0 && dst == nullptr))
        return 0;
    const int count = ResolveCount(src, srcLength);
    if (count == 0)
        return 0;
    if (HasLoneSurrogate(src, count))
        return 0;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        unorm2_normalize(NormalizerFor(form), src, count, dstCapacity == 0 ? nullptr : dst, dstCapacity, &status);
    if (dstCapacity == 0)
        return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status) ? length : 0;
    if (U_FAILURE(status))
        return status == U_BUFFER_OVERFLOW_ERROR ? -length : 0;
    return length;
}

// ---------------------------------------------------------------------------
// Casing

WideChar UpperUnit(WideChar unit)
{
    if (unit < 0x80)
        return unit >= 'a' && unit <= 'z' ? static_cast<WideChar>(unit - 0x20) : unit;
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
        return unit;
    const UChar32 mapped = u_toupper(unit);
    return mapped > 0xFFFF ? unit : static_cast<WideChar>(mapped);
}

WideChar LowerUnit(WideChar unit)
{
    if (unit < 0x80)
        return unit >= 'A' && unit <= 'Z' ? static_cast<WideChar>(unit + 0x20) : unit;
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
        return unit;
    const UChar32 mapped = u_tolower(unit);
    return mapped > 0xFFFF ? unit : static_cast<WideChar>(mapped);
}

void UpperBuffer(WideChar* text, std::size_t count)
{
    if (text == nullptr)
        return;
    for (std::size_t i = 0; i < count; ++i)
        text[i] = UpperUnit(text[i]);
}

void LowerBuffer(WideChar* text, std::size_t count)
{
    if (text == nullptr)
        return;
    for (std::size_t i = 0; i < count; ++i)
        text[i] = LowerUnit(text[i]);
}

void UpperBytes(char* bytes, int count, bool /*userLocale*/)
{
    // User and system locale are the same US-English locale here.
    if (bytes == nullptr || count <= 0)
        return;
    const SingleByteCodePage& table = Windows1252();
    for (int i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            if (b >= 'a' && b <= 'z')
                bytes[i] = static_cast<char>(b - 0x20);
            continue;
        }
        const int upper = table.Encode(UpperUnit(table.Decode(b)));
        if (upper >= 0)
            bytes[i] = static_cast<char>(upper);
    }
}

// ---------------------------------------------------------------------------
// Character classes

bool IsPunctuation(WideChar unit)
{
    if (unit < 0x80)
        return unit > 0x20 && unit < 0x7F && !((unit >= '0' && unit <= '9') || ((unit | 0x20) >= 'a' && (unit | 0x20) <= 'z'));
    return u_ispunct(unit) || (u_charType(unit) >= U_MATH_SYMBOL && u_charType(unit) <= U_OTHER_SYMBOL);
}

bool IsWhitespace(WideChar unit)
{
    if (unit < 0x80)
        return unit == ' ' || (unit >= 0x09 && unit <= 0x0D);
    return u_isspace(unit);
}

// ---------------------------------------------------------------------------
// Text-element boundaries

std::size_t ClusterBoundaryAtOrBefore(const WideChar* text, std::size_t length, std::size_t limit)
{
    if (limit >= length)
        return limit;
    if (text == nullptr || limit == 0)
        return 0;
    UErrorCode status = U_ZERO_ERROR;
    // The iterator searches backwards from the limit only as far as the rules
    // need, so the cost does not grow with the text.
    UBreakIterator* it = ubrk_open(UBRK_CHARACTER, kBreakLocale, text, static_cast<int32_t>(length), &status);
    if (U_FAILURE(status))
        return limit;
    int32_t boundary = ubrk_preceding(it, static_cast<int32_t>(limit) + 1);
    ubrk_close(it);
    if (boundary == UBRK_DONE)
        return 0;
    return static_cast<std::size_t>(boundary);
}

} // namespace Platform
