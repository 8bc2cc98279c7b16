// Windows text services: each function of Text.h is the Win32 call it names,
// with the argument adaptation Text.h promises and nothing else, so that the
// string library sees exactly the system's behaviour.
#include "platform/Text.h"

#include <windows.h>

#include <shlwapi.h>
#include <usp10.h>

#include <climits>
#include <cwctype>
#include <string>
#include <vector>

namespace Platform {
namespace {

/// CompareStringEx flags the SDK headers of older toolchains do not name.
constexpr DWORD kLinguisticIgnoreCase = 0x10;
constexpr DWORD kSortDigitsAsNumbers = 0x8;

/// The largest growth, in UTF-16 units per unit, of canonical composition and
/// decomposition.
constexpr int kMaxExpansionComposed = 3;
constexpr int kMaxExpansionDecomposed = 4;

NORM_FORM Win32Form(NormalForm form)
{
    return form == NormalForm::C ? NormalizationC : NormalizationD;
}

/// Win32 casing takes 32-bit counts: longer texts go through in slices,
/// which is safe because the mapping is per unit.
template <typename Map> void PerSlice(WideChar* text, std::size_t count, Map map)
{
    constexpr std::size_t kSlice = 1u << 30;
    while (count > 0) {
        const std::size_t n = count < kSlice ? count : kSlice;
        map(text, static_cast<DWORD>(n));
        text += n;
        count -= n;
    }
}

} // namespace

unsigned SystemAnsiCodePage()
{
    return GetACP();
}

int MultiByteToWide(unsigned codePage, unsigned flags, const char* bytes, int byteCount, WideChar* out,
                    int outCapacity)
{
    // Some Windows versions refuse MB_PRECOMPOSED for UTF-8, others ignore
    // it: ignore it everywhere.
    if (codePage == kCodePageUtf8)
        flags &= ~kPrecomposed;
    return MultiByteToWideChar(codePage, flags, bytes, byteCount, out, outCapacity);
}

int WideToMultiByte(unsigned codePage, unsigned flags, const WideChar* units, int unitCount, char* out,
                    int outCapacity, const char* defaultChar)
{
    // UTF-8 and the symbol code page reject any default character, and UTF-8
    // may reject the composite check, which means nothing for it.
    if (codePage == kCodePageUtf8 || codePage == kCodePageSymbol)
        defaultChar = nullptr;
    if (codePage == kCodePageUtf8)
        flags &= ~kCompositeCheck;
    return WideCharToMultiByte(codePage, flags, units, unitCount, out, outCapacity, defaultChar, nullptr);
}

bool IsNormalized(NormalForm form, const WideChar* text, int length)
{
    return IsNormalizedString(Win32Form(form), text, length) != FALSE;
}

int Normalize(NormalForm form, const WideChar* src, int srcLength, WideChar* dst, int dstCapacity)
{
    const int result = NormalizeString(Win32Form(form), src, srcLength, dst, dstCapacity);
    if (dstCapacity != 0 || result <= 0)
        return result;
    // The system's estimate can fall short (three units per unit, while a
    // single unit can decompose into four), so that one normalization into a
    // buffer of that size fails. Answer at least the largest expansion the
    // form allows, which is always enough.
    const int length = srcLength < 0 ? lstrlenW(src) + 1 : srcLength;
    const int factor = form == NormalForm::C ? kMaxExpansionComposed : kMaxExpansionDecomposed;
    const int bound = length > INT_MAX / factor ? INT_MAX : length * factor;
    return result > bound ? result : bound;
}

int CompareNoCase(const WideChar* a, const WideChar* b)
{
    return lstrcmpiW(a, b);
}

int CompareLogical(const WideChar* a, const WideChar* b)
{
    return StrCmpLogicalW(a, b);
}

int CompareNatural(const WideChar* a, int aLength, const WideChar* b, int bLength)
{
    return CompareStringEx(LOCALE_NAME_USER_DEFAULT, kLinguisticIgnoreCase | kSortDigitsAsNumbers, a, aLength, b,
                           bLength, nullptr, nullptr, 0);
}

int CompareLocale(unsigned flags, const WideChar* a, int aLength, const WideChar* b, int bLength)
{
    return CompareStringW(LOCALE_USER_DEFAULT, flags, a, aLength, b, bLength);
}

void UpperBuffer(WideChar* text, std::size_t count)
{
    if (text != nullptr)
        PerSlice(text, count, [](WideChar* p, DWORD n) { CharUpperBuffW(p, n); });
}

void LowerBuffer(WideChar* text, std::size_t count)
{
    if (text != nullptr)
        PerSlice(text, count, [](WideChar* p, DWORD n) { CharLowerBuffW(p, n); });
}

// CharUpperW and CharLowerW map a single character when the pointer's high
// bits are zero and its low word holds the character.
WideChar UpperUnit(WideChar unit)
{
    return static_cast<WideChar>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(
        static_cast<ULONG_PTR>(unit)))));
}

WideChar LowerUnit(WideChar unit)
{
    return static_cast<WideChar>(reinterpret_cast<ULONG_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(
        static_cast<ULONG_PTR>(unit)))));
}

void UpperBytes(char* bytes, int count, bool userLocale)
{
    if (bytes == nullptr || count <= 0)
        return;
    // LCMapStringA wants distinct source and destination buffers.
    const std::string source(bytes, static_cast<std::size_t>(count));
    LCMapStringA(userLocale ? LOCALE_USER_DEFAULT : LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, source.data(), count,
                 bytes, count);
}

bool IsPunctuation(WideChar unit)
{
    return std::iswpunct(unit) != 0;
}

bool IsWhitespace(WideChar unit)
{
    return std::iswspace(unit) != 0;
}

std::size_t ClusterBoundaryAtOrBefore(const WideChar* text, std::size_t length, std::size_t limit)
{
    if (limit >= length)
        return limit;
    if (text == nullptr || limit == 0)
        return 0;
    // Whether `limit` is a boundary depends on the units after it too; a few
    // are enough for every cluster rule the script processor applies.
    constexpr std::size_t kLookahead = 8;
    const std::size_t span = length - limit > kLookahead ? limit + kLookahead : length;
    if (span > static_cast<std::size_t>(INT_MAX))
        return limit;
    const int n = static_cast<int>(span);

    std::vector<SCRIPT_ITEM> items(16);
    int itemCount = 0;
    for (;;) {
        const HRESULT hr = ScriptItemize(text, n, static_cast<int>(items.size()) - 1, nullptr, nullptr,
                                         items.data(), &itemCount);
        if (hr == E_OUTOFMEMORY && items.size() < span + 2) {
            items.resize(items.size() * 2);
            continue;
        }
        if (FAILED(hr))
            return limit;
        break;
    }
    std::vector<SCRIPT_LOGATTR> attributes(span);
    for (int i = 0; i < itemCount; ++i) {
        const int start = items[static_cast<std::size_t>(i)].iCharPos;
        const int end = items[static_cast<std::size_t>(i) + 1].iCharPos;
        if (FAILED(ScriptBreak(text + start, end - start, &items[static_cast<std::size_t>(i)].a,
                               attributes.data() + start)))
            return limit;
    }
    // A character never starts between the two halves of a surrogate pair,
    // whatever a script processor reports there (Wine's does).
    const auto insidePair = [text](std::size_t i) {
        return IS_LOW_SURROGATE(text[i]) && IS_HIGH_SURROGATE(text[i - 1]);
    };
    for (std::size_t i = limit; i > 0; --i)
        if (attributes[i].fCharStop && !insidePair(i))
            return i;
    return 0;
}

} // namespace Platform
