// The free-standing utilities of StringUtilities.h: caller-buffer
// conversions through the platform, byte-string helpers, free comparisons and
// cluster truncation.
#include "strings/StringUtilities.h"

#include "platform/Text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace TXStrings {

namespace {

constexpr std::size_t kMaxCounted = 255;
constexpr unsigned kCodePageJapanese = 932;
constexpr unsigned kCodePageSimplifiedChinese = 936;
/// CSTR_EQUAL.
constexpr int kCompareEqual = 2;

unsigned DecodeFlags(unsigned codePage)
{
    return codePage == Platform::kCodePageSymbol || codePage == Platform::kCodePageUtf8 ? 0u : Platform::kPrecomposed;
}

int ClampToInt(std::size_t value)
{
    return static_cast<int>(std::min(value, static_cast<std::size_t>(INT_MAX)));
}

/// The most bytes a counted destination of `destSize` bytes can hold.
std::size_t CountedRoom(std::size_t destSize)
{
    return std::min(destSize - 1, kMaxCounted);
}

/// The current length of a counted destination, never beyond its room.
std::size_t CountedLength(const unsigned char* dest, std::size_t destSize)
{
    return std::min<std::size_t>(dest[0], CountedRoom(destSize));
}

void WriteCounted(unsigned char* dest, std::size_t destSize, const void* bytes, std::size_t count)
{
    const std::size_t n = std::min(count, CountedRoom(destSize));
    std::memmove(dest + 1, bytes, n);
    dest[0] = static_cast<unsigned char>(n);
}

void AppendToCounted(unsigned char* dest, std::size_t destSize, const void* bytes, std::size_t count)
{
    const std::size_t length = CountedLength(dest, destSize);
    const std::size_t n = std::min(count, CountedRoom(destSize) - length);
    std::memmove(dest + 1 + length, bytes, n);
    dest[0] = static_cast<unsigned char>(length + n);
}

void WriteCString(char* dest, std::size_t destSize, const void* bytes, std::size_t count)
{
    const std::size_t n = std::min(count, destSize - 1);
    std::memmove(dest, bytes, n);
    dest[n] = 0;
}

void AppendToCString(char* dest, std::size_t destSize, const void* bytes, std::size_t count)
{
    // A destination without a terminator inside its capacity is cut at it.
    const std::size_t length = static_cast<std::size_t>(std::find(dest, dest + destSize - 1, '\0') - dest);
    const std::size_t n = std::min(count, destSize - 1 - length);
    std::memmove(dest + length, bytes, n);
    dest[length + n] = 0;
}

std::size_t UnitLength(const TXChar* text)
{
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

bool IsLeadByte(unsigned codePage, unsigned char b)
{
    if (codePage == kCodePageJapanese)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return b >= 0x81 && b <= 0xFE;
}

} // namespace

// ---------------------------------------------------------------------------
// Conversions

ConversionResult NarrowToWide(unsigned codePage, const char* bytes, std::size_t byteCount, TXChar* dest,
                              std::size_t destUnits)
{
    if (dest == nullptr || destUnits == 0)
        return {};
    if (byteCount == 0)
        return {true, 0};
    if (bytes == nullptr || byteCount > static_cast<std::size_t>(INT_MAX))
        return {};
    const int units = Platform::MultiByteToWide(codePage, DecodeFlags(codePage), bytes, static_cast<int>(byteCount),
                                                dest, ClampToInt(destUnits));
    if (units <= 0)
        return {};
    return {true, static_cast<std::size_t>(units)};
}

bool CStringToWide(unsigned codePage, const char* text, TXChar* dest, std::size_t destUnits)
{
    if (dest == nullptr || destUnits == 0)
        return false;
    dest[0] = 0;
    if (destUnits < 2 || text == nullptr)
        return false;
    const std::size_t length = std::strlen(text);
    if (length == 0)
        return true;
    const ConversionResult r = NarrowToWide(codePage, text, length, dest, destUnits - 1);
    dest[r.ok ? r.count : 0] = 0;
    return r.ok;
}

bool CountedToWide(unsigned codePage, const unsigned char* counted, TXChar* dest, std::size_t destUnits)
{
    if (dest == nullptr || destUnits == 0)
        return false;
    dest[0] = 0;
    if (destUnits < 2 || counted == nullptr)
        return false;
    if (counted[0] == 0)
        return true;
    const ConversionResult r =
        NarrowToWide(codePage, reinterpret_cast<const char*>(counted + 1), counted[0], dest, destUnits - 1);
    dest[r.ok ? r.count : 0] = 0;
    return r.ok;
}

ConversionResult WideToNarrow(unsigned codePage, const TXChar* units, std::size_t unitCount, char* dest,
                              std::size_t destSize)
{
    if (dest == nullptr || destSize == 0)
        return {};
    if (unitCount == 0)
        return {true, 0};
    if (units == nullptr || unitCount > static_cast<std::size_t>(INT_MAX))
        return {};
    const int bytes = Platform::WideToMultiByte(codePage, Platform::kCompositeCheck, units,
                                                static_cast<int>(unitCount), dest, ClampToInt(destSize), nullptr);
    if (bytes <= 0)
        return {};
    return {true, static_cast<std::size_t>(bytes)};
}

bool WideCStringToNarrow(unsigned codePage, const TXChar* text, char* dest, std::size_t destSize)
{
    if (dest == nullptr || destSize == 0)
        return false;
    dest[0] = 0;
    if (text == nullptr)
        return false;
    const std::size_t length = UnitLength(text);
    if (length == 0)
        return true;
    // With no room left the platform would answer a size query instead.
    if (destSize < 2)
        return false;
    const ConversionResult r = WideToNarrow(codePage, text, length, dest, destSize - 1);
    dest[r.ok ? r.count : 0] = 0;
    return r.ok;
}

bool WideToCounted(unsigned codePage, const TXChar* text, unsigned char* dest, std::size_t destSize)
{
    if (dest == nullptr || destSize == 0)
        return false;
    dest[0] = 0;
    if (text == nullptr)
        return false;
    const std::size_t length = UnitLength(text);
    if (length == 0)
        return true;
    char scratch[kMaxCounted];
    const ConversionResult r = WideToNarrow(codePage, text, length, scratch, sizeof scratch);
    if (!r.ok)
        return false;
    WriteCounted(dest, destSize, scratch, r.count);
    return true;
}

// ---------------------------------------------------------------------------
// Byte strings

void CopyCounted(unsigned char* dest, std::size_t destSize, const unsigned char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    WriteCounted(dest, destSize, source + 1, source[0]);
}

void CopyCString(char* dest, std::size_t destSize, const char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    WriteCString(dest, destSize, source, std::strlen(source));
}

void CountedToCString(char* dest, std::size_t destSize, const unsigned char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    WriteCString(dest, destSize, source + 1, source[0]);
}

void CStringToCounted(unsigned char* dest, std::size_t destSize, const char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    WriteCounted(dest, destSize, source, std::strlen(source));
}

void BytesToCounted(unsigned char* dest, std::size_t destSize, const char* bytes, std::size_t count)
{
    if (dest == nullptr || destSize == 0 || (bytes == nullptr && count != 0))
        return;
    WriteCounted(dest, destSize, bytes, count);
}

void BytesToCString(char* dest, std::size_t destSize, const char* bytes, std::size_t count)
{
    if (dest == nullptr || destSize == 0 || (bytes == nullptr && count != 0))
        return;
    WriteCString(dest, destSize, bytes, count);
}

void AppendCounted(unsigned char* dest, std::size_t destSize, const unsigned char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    AppendToCounted(dest, destSize, source + 1, source[0]);
}

void AppendCStringToCounted(unsigned char* dest, std::size_t destSize, const char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    AppendToCounted(dest, destSize, source, std::strlen(source));
}

void AppendBytesToCounted(unsigned char* dest, std::size_t destSize, const char* bytes, std::size_t count)
{
    if (dest == nullptr || destSize == 0 || bytes == nullptr)
        return;
    AppendToCounted(dest, destSize, bytes, count);
}

void AppendCountedToCString(char* dest, std::size_t destSize, const unsigned char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    AppendToCString(dest, destSize, source + 1, source[0]);
}

void AppendCString(char* dest, std::size_t destSize, const char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    AppendToCString(dest, destSize, source, std::strlen(source));
}

void AppendBytesToCString(char* dest, std::size_t destSize, const char* bytes, std::size_t count)
{
    if (dest == nullptr || destSize == 0 || bytes == nullptr)
        return;
    AppendToCString(dest, destSize, bytes, count);
}

void InsertCounted(unsigned char* dest, std::size_t destSize, std::size_t position, const unsigned char* source)
{
    if (dest == nullptr || destSize == 0 || source == nullptr)
        return;
    // Built in a scratch buffer: the source may lie inside the destination.
    unsigned char built[2 * kMaxCounted];
    const std::size_t length = CountedLength(dest, destSize);
    const std::size_t at = std::min(position, length);
    std::memcpy(built, dest + 1, at);
    std::memcpy(built + at, source + 1, source[0]);
    std::memcpy(built + at + source[0], dest + 1 + at, length - at);
    WriteCounted(dest, destSize, built, length + source[0]);
}

void DeleteFromCounted(unsigned char* dest, std::size_t position, std::size_t count)
{
    if (dest == nullptr || position >= dest[0])
        return;
    const std::size_t length = dest[0];
    const std::size_t n = std::min(count, length - position);
    std::memmove(dest + 1 + position, dest + 1 + position + n, length - position - n);
    dest[0] = static_cast<unsigned char>(length - n);
}

void DeleteFromCString(char* dest, std::size_t position, std::size_t count)
{
    if (dest == nullptr)
        return;
    const std::size_t length = std::strlen(dest);
    if (position >= length)
        return;
    const std::size_t n = std::min(count, length - position);
    std::memmove(dest + position, dest + position + n, length - position - n + 1);
}

// ---------------------------------------------------------------------------
// Free comparisons

bool EqualInUserLocale(const TXChar* a, const TXChar* b, unsigned flags)
{
    return EqualInUserLocale(a, a == nullptr ? 0 : UnitLength(a), b, b == nullptr ? 0 : UnitLength(b), flags);
}

bool EqualInUserLocale(const TXChar* a, std::size_t aLength, const TXChar* b, std::size_t bLength, unsigned flags)
{
    if (aLength == 0 || bLength == 0)
        return aLength == bLength;
    if (aLength > static_cast<std::size_t>(INT_MAX) || bLength > static_cast<std::size_t>(INT_MAX))
        return false;
    return Platform::CompareLocale((flags & kCallerCompareFlagsMask) | kLocaleCompareFlags, a,
                                   static_cast<int>(aLength), b, static_cast<int>(bLength)) == kCompareEqual;
}

void UpperCaseBytes(char* bytes, int count, int localeSelector)
{
    if (bytes == nullptr || count <= 0)
        return;
    Platform::UpperBytes(bytes, count, localeSelector == kUserDefaultLocaleSelector);
}

// ---------------------------------------------------------------------------
// Truncation

std::size_t ClusterPrefixLength(const TXChar* text, std::size_t length, std::size_t maxUnits)
{
    if (text == nullptr)
        return 0;
    if (maxUnits >= length)
        return length;
    // The platform is only asked at the start of a character: break finders
    // differ in what they make of a position inside a surrogate pair.
    std::size_t limit = maxUnits;
    if (limit > 0 && IsHighSurrogate(text[limit - 1]) && IsLowSurrogate(text[limit]))
        --limit;
    std::size_t boundary = std::min(Platform::ClusterBoundaryAtOrBefore(text, length, limit), limit);
    // Whatever the platform's break rules, a pair never comes apart.
    if (boundary > 0 && IsHighSurrogate(text[boundary - 1]) && IsLowSurrogate(text[boundary]))
        --boundary;
    return boundary;
}

TXString TruncateAtCluster(const TXString& text, std::size_t maxUnits)
{
    return TXString(text.GetData(), ClusterPrefixLength(text.GetData(), text.GetLength(), maxUnits), 1);
}

std::size_t WithoutDanglingLeadByte(const char* bytes, std::size_t count, unsigned codePage)
{
    if (bytes == nullptr || (codePage != kCodePageJapanese && codePage != kCodePageSimplifiedChinese))
        return count;
    // Trail bytes share the lead-byte range, so only a walk from the start
    // can tell whether the last byte opens a pair.
    std::size_t i = 0;
    while (i < count) {
        if (!IsLeadByte(codePage, static_cast<unsigned char>(bytes[i]))) {
            ++i;
        } else if (i + 1 < count) {
            i += 2;
        } else {
            return count - 1;
        }
    }
    return count;
}

std::size_t WithoutDanglingLeadByte(const char* bytes, std::size_t count)
{
    return WithoutDanglingLeadByte(bytes, count, Platform::SystemAnsiCodePage());
}

} // namespace TXStrings
