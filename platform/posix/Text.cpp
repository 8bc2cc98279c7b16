// Linux text services: the Win32 text functions of Text.h reproduced with ICU
// (comparisons live in TextCollation.cpp).
//
// The goal is Windows' answers, not ICU's. Where the two disagree, this file
// implements what Windows does, as recorded in the reference table
// tests/data/TextReference.windows.txt: corrections on top of ICU's code-page
// tables, the best-fit mappings, character classes and cluster rule of
// WindowsTextTables.inc (generated from that table), Windows' way of replacing
// malformed UTF-8, and its refusal to normalize noncharacters. ASCII text,
// and normalization of text that is already normalized, never reach ICU's
// allocating paths.
#include "platform/Text.h"

#include "platform/posix/WindowsTextTables.inc"

#include <unicode/ucnv.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <locale.h>
#include <span>
#include <string>
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

constexpr char kIcuWindows1252[] = "windows-1252";
constexpr char kIcuMacRoman[] = "macos-0_2-10.2";

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

/// Collects converted output the Win32 way: with capacity 0 it only counts;
/// otherwise running past the capacity is a failure (the result is 0).
template <typename T> class Sink {
public:
    Sink(T* out, int capacity) : out_(out), capacity_(capacity) {}

    void Put(T value)
    {
        if (capacity_ != 0) {
            if (count_ >= capacity_) {
                overflow_ = true;
                return;
            }
            out_[count_] = value;
        }
        ++count_;
    }

    int Result() const { return overflow_ ? 0 : count_; }

private:
    T* out_;
    int capacity_;
    int count_ = 0;
    bool overflow_ = false;
};

// ---------------------------------------------------------------------------
// Single-byte code pages

/// A byte <-> UTF-16 table: bytes decode through ICU's table with Windows'
/// corrections; units encode through the exact reverse mapping, then
/// Windows' best-fit mappings.
class SingleByteCodePage {
public:
    struct Correction {
        unsigned char byte;
        WideChar unit;
    };

    SingleByteCodePage(const char* icuName, std::span<const Correction> corrections,
                       std::span<const WindowsTables::BestFitEntry> bestFits)
    {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(icuName, &status);
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            UChar unit = static_cast<UChar>(b);
            if (converter != nullptr) {
                UErrorCode convStatus = U_ZERO_ERROR;
                ucnv_reset(converter);
                if (ucnv_toUChars(converter, &unit, 1, &byte, 1, &convStatus) != 1)
                    unit = static_cast<UChar>(b);
            }
            toUnicode_[static_cast<std::size_t>(b)] = unit;
        }
        if (converter != nullptr)
            ucnv_close(converter);
        for (const Correction& c : corrections)
            toUnicode_[c.byte] = c.unit;

        latin1_.fill(kUnmapped);
        for (int b = 255; b >= 0; --b) { // the lowest byte wins a shared unit
            const WideChar unit = toUnicode_[static_cast<std::size_t>(b)];
            if (unit < 0x100)
                latin1_[unit] = static_cast<std::uint16_t>(b);
            else
                others_.push_back({unit, static_cast<unsigned char>(b)});
        }
        for (const auto& fit : bestFits) {
            if (fit.unit < 0x100) {
                if (latin1_[fit.unit] == kUnmapped)
                    latin1_[fit.unit] = fit.byte;
            } else if (std::none_of(others_.begin(), others_.end(),
                                    [&](const Entry& e) { return e.unit == fit.unit; })) {
                others_.push_back({fit.unit, fit.byte});
            }
        }
        std::sort(others_.begin(), others_.end(), [](const Entry& x, const Entry& y) { return x.unit < y.unit; });
    }

    WideChar Decode(unsigned char byte) const { return toUnicode_[byte]; }

    /// The byte for `unit` (exact or best fit), or -1 when there is none.
    int Encode(WideChar unit) const
    {
        if (unit < 0x100)
            return latin1_[unit] == kUnmapped ? -1 : latin1_[unit];
        const auto it = std::lower_bound(others_.begin(), others_.end(), unit,
                                         [](const Entry& e, WideChar u) { return e.unit < u; });
        return it != others_.end() && it->unit == unit ? it->byte : -1;
    }

private:
    struct Entry {
        WideChar unit;
        unsigned char byte;
    };
    static constexpr std::uint16_t kUnmapped = 0x100;

    std::array<WideChar, 256> toUnicode_{};
    std::array<std::uint16_t, 256> latin1_{};
    std::vector<Entry> others_;
};

// Windows' Mac Roman table (c_10000) keeps the OHM SIGN where Apple's later
// table, which ICU follows, has GREEK CAPITAL LETTER OMEGA.
constexpr SingleByteCodePage::Correction kMacRomanCorrections[] = {{0xBD, 0x2126}};

// The tables are built on first use and never destroyed, so that
// conversions made by other objects' destructors at exit still work.
const SingleByteCodePage& Windows1252()
{
    static const SingleByteCodePage* const table =
        new SingleByteCodePage(kIcuWindows1252, {}, WindowsTables::kWindows1252BestFit);
    return *table;
}

const SingleByteCodePage& MacRoman()
{
    static const SingleByteCodePage* const table =
        new SingleByteCodePage(kIcuMacRoman, kMacRomanCorrections, WindowsTables::kMacRomanBestFit);
    return *table;
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

const UNormalizer2* Nfc()
{
    UErrorCode status = U_ZERO_ERROR;
    return unorm2_getNFCInstance(&status);
}

int EncodeSingleByte(const SingleByteCodePage& table, unsigned flags, const WideChar* units, int count, char* out,
                     int outCapacity, char fallback)
{
    Sink<char> sink(out, outCapacity);
    for (int i = 0; i < count; ++i) {
        // Composite check: a base followed by a mark it composes with is
        // written as the composed character, if the code page has one for it
        // (exactly or by best fit); otherwise both go out separately.
        if ((flags & kCompositeCheck) != 0 && i + 1 < count) {
            const UChar32 composed = unorm2_composePair(Nfc(), units[i], units[i + 1]);
            const int byte = composed >= 0 && composed <= 0xFFFF ? table.Encode(static_cast<WideChar>(composed)) : -1;
            if (byte >= 0) {
                sink.Put(static_cast<char>(byte));
                ++i;
                continue;
            }
        }
        const int byte = table.Encode(units[i]);
        sink.Put(byte < 0 ? fallback : static_cast<char>(byte));
    }
    return sink.Result();
}

// ---------------------------------------------------------------------------
// Symbol code page: C0 controls as they are, every other byte in the
// private-use block U+F000..U+F0FF where symbol fonts put their glyphs.

constexpr WideChar kSymbolBase = 0xF000;
constexpr unsigned kSymbolFirstMapped = 0x20;

int DecodeSymbol(const unsigned char* bytes, int count, WideChar* out, int outCapacity)
{
    Sink<WideChar> sink(out, outCapacity);
    for (int i = 0; i < count; ++i)
        sink.Put(static_cast<WideChar>(bytes[i] < kSymbolFirstMapped ? bytes[i] : kSymbolBase + bytes[i]));
    return sink.Result();
}

int EncodeSymbol(const WideChar* units, int count, char* out, int outCapacity)
{
    Sink<char> sink(out, outCapacity);
    for (int i = 0; i < count; ++i) {
        const WideChar u = units[i];
        if (u < kSymbolFirstMapped)
            sink.Put(static_cast<char>(u));
        else if (u >= kSymbolBase + kSymbolFirstMapped && u <= kSymbolBase + 0xFF)
            sink.Put(static_cast<char>(u - kSymbolBase));
        else
            return 0; // the symbol code page has no default character
    }
    return sink.Result();
}

// ---------------------------------------------------------------------------
// UTF-8

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

/// Decodes UTF-8 replacing malformed input by U+FFFD as Windows does:
/// a lead byte whose sequence runs past the end takes all remaining bytes
/// into one replacement; a lead byte with a continuation byte outside its
/// allowed range takes that byte along; any other malformed byte is one
/// replacement. Returns -1 instead when `strict` and input is malformed.
int DecodeUtf8(const unsigned char* bytes, int count, bool strict, WideChar* out, int outCapacity)
{
    Sink<WideChar> sink(out, outCapacity);
    int i = 0;
    while (i < count) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            sink.Put(b);
            ++i;
            continue;
        }
        int need = 0;
        unsigned char low = 0x80, high = 0xBF; // the allowed second byte
        if (b >= 0xC2 && b <= 0xDF) {
            need = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 3;
            if (b == 0xE0)
                low = 0xA0; // no overlong forms
            else if (b == 0xED)
                high = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 4;
            if (b == 0xF0)
                low = 0x90;
            else if (b == 0xF4)
                high = 0x8F; // nothing above U+10FFFF
        }
        int consumed = 1;
        bool valid = false;
        if (need == 0) {
            consumed = 1;
        } else if (count - i < need) {
            consumed = count - i;
        } else if (!IsContinuation(bytes[i + 1])) {
            consumed = 1;
        } else if (bytes[i + 1] < low || bytes[i + 1] > high) {
            consumed = 2;
        } else {
            consumed = 2;
            while (consumed < need && IsContinuation(bytes[i + consumed]))
                ++consumed;
            valid = consumed == need;
        }
        if (!valid) {
            if (strict)
                return -1;
            sink.Put(kReplacementCharacter);
            i += consumed;
            continue;
        }
        std::uint32_t cp = b & (0xFF >> (need + 1));
        for (int k = 1; k < need; ++k)
            cp = (cp << 6) | (bytes[i + k] & 0x3F);
        if (cp > 0xFFFF) {
            sink.Put(static_cast<WideChar>(U16_LEAD(cp)));
            sink.Put(static_cast<WideChar>(U16_TRAIL(cp)));
        } else {
            sink.Put(static_cast<WideChar>(cp));
        }
        i += need;
    }
    return sink.Result();
}

int EncodeUtf8(const WideChar* units, int count, unsigned flags, char* out, int outCapacity)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    int32_t substitutions = 0;
    u_strToUTF8WithSub(outCapacity == 0 ? nullptr : out, outCapacity, &length, units, count,
                       kReplacementCharacter, &substitutions, &status);
    if ((flags & kWcErrInvalidChars) != 0 && substitutions > 0)
        return 0;
    if (status == U_BUFFER_OVERFLOW_ERROR && outCapacity == 0)
        return length;
    return U_FAILURE(status) ? 0 : length;
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
    case kCodePageUtf8: {
        // Windows takes (and ignores) the precomposed flag for UTF-8.
        if ((flags & ~(kMbErrInvalidChars | kPrecomposed)) != 0)
            return 0;
        const int n = DecodeUtf8(ubytes, count, (flags & kMbErrInvalidChars) != 0, out, outCapacity);
        return n < 0 ? 0 : n;
    }
    case kCodePageSymbol:
        return flags == 0 ? DecodeSymbol(ubytes, count, out, outCapacity) : 0;
    default:
        break;
    }
    const SingleByteCodePage* table = SingleByteFor(codePage);
    if (table == nullptr || (flags & ~(kPrecomposed | kMbErrInvalidChars)) != 0)
        return 0;
    // These tables hold only precomposed characters: the precomposed flag
    // changes nothing, and every byte is defined.
    Sink<WideChar> sink(out, outCapacity);
    for (int i = 0; i < count; ++i)
        sink.Put(table->Decode(ubytes[i]));
    return sink.Result();
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
        // Windows takes (and ignores) the composite check for UTF-8.
        if ((flags & ~(kWcErrInvalidChars | kCompositeCheck)) != 0)
            return 0;
        return EncodeUtf8(units, count, flags, out, outCapacity);
    case kCodePageSymbol:
        return flags == 0 ? EncodeSymbol(units, count, out, outCapacity) : 0;
    default:
        break;
    }
    const SingleByteCodePage* table = SingleByteFor(codePage);
    if (table == nullptr || (flags & ~kCompositeCheck) != 0)
        return 0;
    return EncodeSingleByte(*table, flags, units, count, out, outCapacity,
                            defaultChar != nullptr ? *defaultChar : kWindowsDefaultChar);
}

// ---------------------------------------------------------------------------
// Normalization

namespace {

const UNormalizer2* NormalizerFor(NormalForm form)
{
    UErrorCode status = U_ZERO_ERROR;
    return form == NormalForm::C ? unorm2_getNFCInstance(&status) : unorm2_getNFDInstance(&status);
}

bool IsNoncharacter(UChar32 cp)
{
    return (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

/// Windows normalizes only well-formed UTF-16 without noncharacters; for
/// anything else both functions fail.
bool IsNormalizable(const WideChar* text, int length)
{
    // Surrogates and noncharacters all lie at U+D800 and above: a branch-free
    // pass (which the compiler vectorizes) settles the common case.
    WideChar high = 0;
    for (int i = 0; i < length; ++i)
        high = static_cast<WideChar>(high | (text[i] >= 0xD800 ? 1 : 0));
    if (high == 0)
        return true;
    for (int i = 0; i < length; ++i) {
        const WideChar u = text[i];
        if (u < 0xD800)
            continue;
        UChar32 cp = u;
        if (U16_IS_LEAD(u)) {
            if (i + 1 >= length || !U16_IS_TRAIL(text[i + 1]))
                return false;
            cp = U16_GET_SUPPLEMENTARY(u, text[i + 1]);
            ++i;
        } else if (U16_IS_TRAIL(u)) {
            return false;
        }
        if (IsNoncharacter(cp))
            return false;
    }
    return true;
}

} // namespace

bool IsNormalized(NormalForm form, const WideChar* text, int length)
{
    if (text == nullptr || length < -1)
        return false;
    const int count = ResolveCount(text, length);
    // One OR over all units (vectorized by the compiler) tells whether the
    // text is ASCII, which every form leaves alone, and whether any unit
    // reaches U+8000: only then can it hold the surrogates and noncharacters
    // (all at U+D800 and above) that Windows refuses.
    WideChar all = 0;
    for (int i = 0; i < count; ++i)
        all = static_cast<WideChar>(all | text[i]);
    if (all < 0x80)
        return true;
    if ((all & 0x8000) != 0 && !IsNormalizable(text, count))
        return false;
    // The quick check settles almost every text; only a "maybe" (a mark that
    // might compose with what precedes it) needs the full check.
    const UNormalizer2* normalizer = NormalizerFor(form);
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizationCheckResult quick = unorm2_quickCheck(normalizer, text, count, &status);
    if (U_FAILURE(status))
        return false;
    if (quick != UNORM_MAYBE)
        return quick == UNORM_YES;
    const UBool result = unorm2_isNormalized(normalizer, text, count, &status);
    return U_SUCCESS(status) && result;
}

int Normalize(NormalForm form, const WideChar* src, int srcLength, WideChar* dst, int dstCapacity)
{
    if (src == nullptr || srcLength < -1 || dstCapacity < 0 || (dstCapacity > 0 && dst == nullptr))
        return 0;
    const int count = ResolveCount(src, srcLength);
    if (count == 0 || !IsNormalizable(src, count))
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
// Casing: Windows maps a unit only where the simple mapping is a pair that
// maps back (A <-> a), so the micro sign, dotless i, long s, final sigma, the
// title-case digraphs, the Kelvin and Angstrom signs and the like stay as they
// are. Surrogates are left alone, except that the buffer forms map whole
// supplementary characters (Deseret and the like) by the same rule.

WideChar UpperUnit(WideChar unit)
{
    if (unit < 0x80)
        return unit >= 'a' && unit <= 'z' ? static_cast<WideChar>(unit - ('a' - 'A')) : unit;
    if (U16_IS_SURROGATE(unit))
        return unit;
    const UChar32 upper = u_toupper(unit);
    return upper != unit && upper <= 0xFFFF && u_tolower(upper) == unit ? static_cast<WideChar>(upper) : unit;
}

WideChar LowerUnit(WideChar unit)
{
    if (unit < 0x80)
        return unit >= 'A' && unit <= 'Z' ? static_cast<WideChar>(unit + ('a' - 'A')) : unit;
    if (U16_IS_SURROGATE(unit))
        return unit;
    const UChar32 lower = u_tolower(unit);
    return lower != unit && lower <= 0xFFFF && u_toupper(lower) == unit ? static_cast<WideChar>(lower) : unit;
}

namespace {

/// Maps a supplementary character in a buffer when its simple mapping pairs
/// up the same way; the result is again a surrogate pair, so lengths and
/// positions never change.
template <typename Map, typename Inverse>
bool MapPair(WideChar* pair, Map map, Inverse inverse)
{
    const UChar32 cp = U16_GET_SUPPLEMENTARY(pair[0], pair[1]);
    const UChar32 mapped = map(cp);
    if (mapped == cp || mapped <= 0xFFFF || inverse(mapped) != cp)
        return false;
    pair[0] = static_cast<WideChar>(U16_LEAD(mapped));
    pair[1] = static_cast<WideChar>(U16_TRAIL(mapped));
    return true;
}

template <typename Unit, typename Map, typename Inverse>
void MapBuffer(WideChar* text, std::size_t count, WideChar asciiFirst, int asciiShift, Unit unit, Map map,
               Inverse inverse)
{
    if (text == nullptr)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const WideChar u = text[i];
        if (u < 0x80) {
            if (static_cast<unsigned>(u - asciiFirst) < 26u)
                text[i] = static_cast<WideChar>(u + asciiShift);
        } else if (U16_IS_LEAD(u) && i + 1 < count && U16_IS_TRAIL(text[i + 1])) {
            // Buffers, unlike single units, also map supplementary characters.
            MapPair(text + i, map, inverse);
            ++i;
        } else {
            text[i] = unit(u);
        }
    }
}

} // namespace

void UpperBuffer(WideChar* text, std::size_t count)
{
    MapBuffer(
        text, count, 'a', 'A' - 'a', [](WideChar u) { return UpperUnit(u); },
        [](UChar32 c) { return u_toupper(c); }, [](UChar32 c) { return u_tolower(c); });
}

void LowerBuffer(WideChar* text, std::size_t count)
{
    MapBuffer(
        text, count, 'A', 'a' - 'A', [](WideChar u) { return LowerUnit(u); },
        [](UChar32 c) { return u_tolower(c); }, [](UChar32 c) { return u_toupper(c); });
}

void UpperBytes(char* bytes, int count, bool /*userLocale*/)
{
    // The user and the system locale are the same US-English locale here:
    // Windows-1252 bytes, upper-cased as units, written back when the code
    // page has the upper-case character.
    if (bytes == nullptr || count <= 0)
        return;
    const SingleByteCodePage& table = Windows1252();
    for (int i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            if (b >= 'a' && b <= 'z')
                bytes[i] = static_cast<char>(b - ('a' - 'A'));
            continue;
        }
        const WideChar unit = table.Decode(b);
        const WideChar upper = UpperUnit(unit);
        if (upper == unit)
            continue;
        const int mapped = table.Encode(upper);
        if (mapped >= 0 && table.Decode(static_cast<unsigned char>(mapped)) == upper)
            bytes[i] = static_cast<char>(mapped);
    }
}

// ---------------------------------------------------------------------------
// Character classes, from Windows' own ranges

namespace {

template <std::size_t N> bool InRanges(const std::array<WindowsTables::UnitRange, N>& ranges, WideChar unit)
{
    const auto it = std::upper_bound(ranges.begin(), ranges.end(), unit,
                                     [](WideChar u, const WindowsTables::UnitRange& r) { return u < r.first; });
    return it != ranges.begin() && unit <= std::prev(it)->last;
}

} // namespace

bool IsPunctuation(WideChar unit)
{
    if (unit < 0x80)
        return unit > 0x20 && unit < 0x7F && !((unit >= '0' && unit <= '9') || (unit >= 'A' && unit <= 'Z') ||
                                               (unit >= 'a' && unit <= 'z'));
    return InRanges(WindowsTables::kPunctuation, unit);
}

bool IsWhitespace(WideChar unit)
{
    if (unit < 0x80)
        return unit == ' ' || (unit >= '\t' && unit <= '\r');
    return InRanges(WindowsTables::kWhitespace, unit);
}

// ---------------------------------------------------------------------------
// Text-element boundaries

std::size_t ClusterBoundaryAtOrBefore(const WideChar* text, std::size_t length, std::size_t limit)
{
    if (limit >= length)
        return limit;
    if (text == nullptr || limit == 0)
        return 0;
    // Windows' script processor keeps a unit with the one before it only when
    // it completes a surrogate pair or is one of the units that extend a
    // character (combining marks, controls, most format characters); it has
    // no rules for Hangul syllables, emoji or regional-indicator sequences.
    std::size_t boundary = limit;
    while (boundary > 0 && ((U16_IS_TRAIL(text[boundary]) && U16_IS_LEAD(text[boundary - 1])) ||
                            InRanges(WindowsTables::kClusterExtend, text[boundary])))
        --boundary;
    return boundary;
}

// ---------------------------------------------------------------------------
// Numbers. wchar_t is 32 bits here: conversions are widened on the way into
// the C library's swprintf and narrowed on the way out (number text is ASCII).
// Where glibc's text differs from the Windows C runtime's, Windows' is made
// here: infinities and NaNs ("inf", "nan", "-nan(ind)" for the indeterminate
// value, "nan(snan)"), and %c, which Windows pads with zeros under the 0 flag
// and which glibc would read as a narrow character.

namespace {

/// Longer conversions than this are not of the form FormatInt32 takes.
constexpr std::size_t kMaxFormatUnits = 64;
/// Output up to this size is formatted on the stack.
constexpr int kStackOutputUnits = 1024;

struct FormatLayout {
    bool left = false;
    bool zero = false;
    bool plus = false;
    int width = 0;
    wchar_t letter = 0;
};

/// Widens `format` into `wide`; false when it is too long to be a conversion.
bool WidenFormat(const WideChar* format, wchar_t (&wide)[kMaxFormatUnits])
{
    std::size_t n = 0;
    for (; format[n] != 0; ++n) {
        if (n + 1 >= kMaxFormatUnits)
            return false;
        wide[n] = static_cast<wchar_t>(format[n]);
    }
    wide[n] = 0;
    return n > 1;
}

FormatLayout ReadLayout(const wchar_t* format)
{
    FormatLayout layout;
    const wchar_t* p = format + 1;
    for (;; ++p) {
        if (*p == L'-')
            layout.left = true;
        else if (*p == L'0')
            layout.zero = true;
        else if (*p == L'+')
            layout.plus = true;
        else if (*p != L'#')
            break;
    }
    for (; *p >= L'0' && *p <= L'9'; ++p)
        layout.width = std::min(layout.width * 10 + (*p - L'0'), kStackOutputUnits * 64);
    while (*p != 0 && p[1] != 0)
        ++p;
    layout.letter = *p;
    return layout;
}

/// Writes `body` padded to the layout's width the way the Windows runtime
/// pads: spaces in front, or behind with '-'; zeros in front when `zeroPad`.
int WritePadded(const std::u16string& body, const FormatLayout& layout, bool zeroPad, WideChar* out, int outCapacity)
{
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t pad = width > body.size() ? width - body.size() : 0;
    const std::size_t total = body.size() + pad;
    if (out == nullptr || total >= static_cast<std::size_t>(outCapacity))
        return -1;
    std::u16string text;
    if (layout.left)
        text = body + std::u16string(pad, u' ');
    else
        text = std::u16string(pad, zeroPad ? u'0' : u' ') + body;
    std::copy(text.begin(), text.end(), out);
    out[total] = 0;
    return static_cast<int>(total);
}

template <typename T> int WidePrintf(const WideChar* format, T value, WideChar* out, int outCapacity)
{
    wchar_t wideFormat[kMaxFormatUnits];
    if (out == nullptr || outCapacity <= 0 || !WidenFormat(format, wideFormat))
        return -1;
    wchar_t stackOutput[kStackOutputUnits];
    std::vector<wchar_t> heapOutput;
    wchar_t* wide = stackOutput;
    if (outCapacity > kStackOutputUnits) {
        heapOutput.resize(static_cast<std::size_t>(outCapacity));
        wide = heapOutput.data();
    }
    const int n = std::swprintf(wide, static_cast<std::size_t>(outCapacity), wideFormat, value);
    if (n < 0)
        return n;
    for (int i = 0; i <= n; ++i)
        out[i] = static_cast<WideChar>(wide[i]);
    return n;
}

/// The Windows runtime's text for an infinity or a NaN, sign included.
std::u16string NonFiniteText(double value, bool upper, bool plus)
{
    constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;
    constexpr std::uint64_t kPayload = kQuietBit - 1;
    const auto bits = std::bit_cast<std::uint64_t>(value);
    std::u16string text = std::signbit(value) ? u"-" : plus ? u"+" : u"";
    if (std::isinf(value))
        text += u"inf";
    else if ((bits & kQuietBit) == 0)
        text += u"nan(snan)";
    else if (std::signbit(value) && (bits & kPayload) == 0)
        text += u"nan(ind)";
    else
        text += u"nan";
    if (upper)
        for (char16_t& c : text)
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

std::string Utf8Of(const WideChar* text)
{
    const int bytes = WideToMultiByte(kCodePageUtf8, 0, text, -1, nullptr, 0, nullptr);
    if (bytes <= 0)
        return {};
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideToMultiByte(kCodePageUtf8, 0, text, -1, narrow.data(), bytes, nullptr);
    narrow.resize(static_cast<std::size_t>(bytes - 1));
    return narrow;
}

} // namespace

int FormatInt32(const WideChar* format, std::int32_t value, WideChar* out, int outCapacity)
{
    return WidePrintf(format, value, out, outCapacity);
}

int FormatInt64(const WideChar* format, std::int64_t value, WideChar* out, int outCapacity)
{
    return WidePrintf(format, static_cast<long long>(value), out, outCapacity);
}

int FormatReal(const WideChar* format, double value, WideChar* out, int outCapacity)
{
    if (std::isfinite(value))
        return WidePrintf(format, value, out, outCapacity);
    wchar_t wideFormat[kMaxFormatUnits];
    if (!WidenFormat(format, wideFormat))
        return -1;
    const FormatLayout layout = ReadLayout(wideFormat);
    const bool upper = layout.letter >= L'A' && layout.letter <= L'Z';
    // The runtime pads infinities and NaNs with spaces whatever the flags say.
    return WritePadded(NonFiniteText(value, upper, layout.plus), layout, false, out, outCapacity);
}

int FormatUnit(const WideChar* format, WideChar unit, WideChar* out, int outCapacity)
{
    wchar_t wideFormat[kMaxFormatUnits];
    if (!WidenFormat(format, wideFormat))
        return -1;
    const FormatLayout layout = ReadLayout(wideFormat);
    return WritePadded(std::u16string(1, unit), layout, layout.zero && !layout.left, out, outCapacity);
}

bool ScanRealInLocale(const char* localeName, const WideChar* text, double& value)
{
    if (localeName == nullptr || text == nullptr)
        return false;
    const locale_t locale = newlocale(LC_NUMERIC_MASK, localeName, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return false;
    const std::string bytes = Utf8Of(text);
    char* end = nullptr;
    const double scanned = strtod_l(bytes.c_str(), &end, locale);
    freelocale(locale);
    if (end == bytes.c_str())
        return false;
    value = scanned;
    return true;
}

bool ScanRealInUserLocale(const WideChar* text, double& value)
{
    // The POSIX order of precedence for the numeric category.
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* name = std::getenv(variable);
        if (name != nullptr && *name != 0)
            return ScanRealInLocale(name, text, value);
    }
    return ScanRealInLocale("C", text, value);
}

} // namespace Platform
