// Windows text services: each function of Text.h is the Win32 call it names,
// with the argument adaptation Text.h promises and nothing else, so that the
// string library sees exactly the system's behaviour.
#include "platform/Text.h"
#include "platform/win32/Utf16.h"

#include <windows.h>

#include <shlwapi.h>
#include <usp10.h>

#include <climits>
#include <cstdarg>
#include <cwchar>
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

// ---------------------------------------------------------------------------
// Numbers: the Universal C Runtime's swprintf and _swscanf_l. The toolchain's
// own runtime may be the older one (three exponent digits, no %a), so the
// functions that the UCRT's inline swprintf and _swscanf_l call are taken
// from ucrtbase.dll, part of every Windows since 10.

namespace {

/// The runtime's option bits that its own swprintf and _swscanf_l pass: %c and
/// %s in wide formats take wide characters.
constexpr unsigned long long kPrintfLegacyWideSpecifiers = 4;
constexpr unsigned long long kScanfLegacyWideSpecifiers = 2;
/// LC_ALL for _wcreate_locale.
constexpr int kLocaleAllCategories = 0;

using CommonPrintf = int(__cdecl*)(unsigned long long, wchar_t*, std::size_t, const wchar_t*, void*, va_list);
using CommonScanf = int(__cdecl*)(unsigned long long, const wchar_t*, std::size_t, const wchar_t*, void*, va_list);
using CreateLocale = void*(__cdecl*)(int, const wchar_t*);
using FreeLocale = void(__cdecl*)(void*);

struct Ucrt {
    CommonPrintf printf = nullptr;
    CommonScanf scanf = nullptr;
    CreateLocale createLocale = nullptr;
    FreeLocale freeLocale = nullptr;
};

const Ucrt& Runtime()
{
    static const Ucrt ucrt = [] {
        Ucrt found;
        if (HMODULE module = LoadLibraryW(L"ucrtbase.dll")) {
            found.printf = reinterpret_cast<CommonPrintf>(
                reinterpret_cast<void*>(GetProcAddress(module, "__stdio_common_vswprintf")));
            found.scanf = reinterpret_cast<CommonScanf>(
                reinterpret_cast<void*>(GetProcAddress(module, "__stdio_common_vswscanf")));
            found.createLocale =
                reinterpret_cast<CreateLocale>(reinterpret_cast<void*>(GetProcAddress(module, "_wcreate_locale")));
            found.freeLocale =
                reinterpret_cast<FreeLocale>(reinterpret_cast<void*>(GetProcAddress(module, "_free_locale")));
        }
        return found;
    }();
    return ucrt;
}

int WidePrintf(WideChar* out, int outCapacity, const WideChar* format, ...)
{
    if (out == nullptr || outCapacity <= 0)
        return -1;
    va_list arguments;
    va_start(arguments, format);
    const CommonPrintf common = Runtime().printf;
    const int n = common != nullptr
                      ? common(kPrintfLegacyWideSpecifiers, out, static_cast<std::size_t>(outCapacity), format, nullptr,
                               arguments)
                      : std::vswprintf(out, static_cast<std::size_t>(outCapacity), format, arguments);
    va_end(arguments);
    return n;
}

/// _swscanf_l(text, L"%lf", locale, ...): the number of values converted.
int ScanReal(void* locale, const WideChar* text, ...)
{
    va_list arguments;
    va_start(arguments, text);
    const int n = Runtime().scanf(kScanfLegacyWideSpecifiers, text, static_cast<std::size_t>(-1), L"%lf", locale,
                                  arguments);
    va_end(arguments);
    return n;
}

} // namespace

int FormatInt32(const WideChar* format, std::int32_t value, WideChar* out, int outCapacity)
{
    return WidePrintf(out, outCapacity, format, value);
}

int FormatInt64(const WideChar* format, std::int64_t value, WideChar* out, int outCapacity)
{
    return WidePrintf(out, outCapacity, format, static_cast<long long>(value));
}

int FormatReal(const WideChar* format, double value, WideChar* out, int outCapacity)
{
    return WidePrintf(out, outCapacity, format, value);
}

int FormatUnit(const WideChar* format, WideChar unit, WideChar* out, int outCapacity)
{
    // A wide character travels as an int through the variable arguments.
    return WidePrintf(out, outCapacity, format, static_cast<int>(unit));
}

bool ScanRealInLocale(const char* localeName, const WideChar* text, double& value)
{
    const Ucrt& ucrt = Runtime();
    if (localeName == nullptr || text == nullptr || ucrt.scanf == nullptr || ucrt.createLocale == nullptr ||
        ucrt.freeLocale == nullptr)
        return false;
    const std::wstring name = Widen(localeName);
    void* locale = ucrt.createLocale(kLocaleAllCategories, name.c_str());
    if (locale == nullptr)
        return false;
    double scanned = 0;
    const int converted = ScanReal(locale, text, &scanned);
    ucrt.freeLocale(locale);
    if (converted != 1)
        return false;
    value = scanned;
    return true;
}

bool ScanRealInUserLocale(const WideChar* text, double& value)
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0)
        return false;
    return ScanRealInLocale(Narrow(name, lstrlenW(name)).c_str(), text, value);
}

} // namespace Platform
