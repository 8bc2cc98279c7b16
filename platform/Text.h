// Text services: code-page conversion, Unicode normalization, per-unit casing,
// comparison and collation, character classes, and text-element boundaries.
//
// The string library is specified against the Win32 functions named beside
// each declaration; Windows calls exactly those. Linux gives the same results
// with ICU, as on a US-English Windows system: the system ANSI code page is
// Windows-1252 and code page 2 (the Mac code page) is Mac Roman as Windows
// maps it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Platform {

/// The 16-bit UTF-16 code unit: the platform's wide character on Windows.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif

/// @name Code pages and flags (Windows numbers)
/// @{
inline constexpr unsigned kCodePageAnsi = 0;      ///< CP_ACP: the system ANSI code page
inline constexpr unsigned kCodePageMac = 2;       ///< CP_MACCP: the Mac code page of the system locale
inline constexpr unsigned kCodePageSymbol = 42;   ///< CP_SYMBOL
inline constexpr unsigned kCodePageUtf8 = 65001;  ///< CP_UTF8
inline constexpr unsigned kPrecomposed = 0x1;     ///< MB_PRECOMPOSED
inline constexpr unsigned kCompositeCheck = 0x200; ///< WC_COMPOSITECHECK
/// @}

/// The number of the system ANSI code page (GetACP; 1252 on Linux).
unsigned SystemAnsiCodePage();

/// MultiByteToWideChar: converts `byteCount` bytes (-1: up to and including
/// the NUL) into at most `outCapacity` units. With `outCapacity` 0 returns the
/// units needed and writes nothing. Returns 0 on failure (also when the output
/// does not fit, for an empty or null input, an unknown code page, or flags
/// the code page refuses: the symbol code page takes none). For UTF-8,
/// `kPrecomposed` is accepted and changes nothing; malformed UTF-8 becomes
/// U+FFFD as Windows replaces it.
int MultiByteToWide(unsigned codePage, unsigned flags, const char* bytes, int byteCount, WideChar* out,
                    int outCapacity);

/// WideCharToMultiByte: converts `unitCount` units (-1: up to and including
/// the NUL) into at most `outCapacity` bytes. Characters a code page lacks go
/// out as Windows' best fit where it has one, else as `defaultChar` (null: the
/// code page's own, "?"; ignored for UTF-8 and the symbol code page, which
/// has none and fails instead). With `outCapacity` 0 returns the bytes needed.
/// Returns 0 on failure. For UTF-8, `kCompositeCheck` is accepted and changes
/// nothing; lone surrogates become U+FFFD.
int WideToMultiByte(unsigned codePage, unsigned flags, const WideChar* units, int unitCount, char* out,
                    int outCapacity, const char* defaultChar);

/// @name Normalization (IsNormalizedString, NormalizeString)
/// @{
enum class NormalForm { C, D };
/// IsNormalizedString (-1: NUL-terminated). False also for ill-formed UTF-16
/// and noncharacters, which Windows refuses to normalize.
bool IsNormalized(NormalForm form, const WideChar* text, int length);
/// NormalizeString. With `dstCapacity` 0 returns a size that is always enough
/// for the result (the system's own estimate can fall short, so Windows
/// answers at least the form's largest expansion: 3 units per unit for C, 4
/// for D); otherwise the units written. Not positive on failure: too small a
/// buffer, ill-formed UTF-16, or a noncharacter. A -1 length includes the NUL.
int Normalize(NormalForm form, const WideChar* src, int srcLength, WideChar* dst, int dstCapacity);
/// @}

/// @name Comparison (results as the Win32 functions give them)
/// @{
/// lstrcmpiW: negative, 0 or positive.
int CompareNoCase(const WideChar* a, const WideChar* b);
/// StrCmpLogicalW: -1, 0 or 1 (digit runs compare as numbers).
int CompareLogical(const WideChar* a, const WideChar* b);
/// CompareStringEx for the user's default locale with LINGUISTIC_IGNORECASE |
/// SORT_DIGITSASNUMBERS over exact lengths: 1 less, 2 equal, 3 greater, 0 error.
int CompareNatural(const WideChar* a, int aLength, const WideChar* b, int bLength);
/// CompareStringW for the user's default locale (0x400) with `flags`
/// (lengths -1: NUL-terminated): 1 less, 2 equal, 3 greater, 0 error.
int CompareLocale(unsigned flags, const WideChar* a, int aLength, const WideChar* b, int bLength);
/// @}

/// @name Case, per code unit
/// @{
void UpperBuffer(WideChar* text, std::size_t count); ///< CharUpperBuffW
void LowerBuffer(WideChar* text, std::size_t count); ///< CharLowerBuffW
WideChar UpperUnit(WideChar unit);                   ///< CharUpperW on one character
WideChar LowerUnit(WideChar unit);                   ///< CharLowerW on one character
/// LCMapStringA with LCMAP_UPPERCASE in place: for the user's default locale
/// when `userLocale`, the system default locale otherwise.
void UpperBytes(char* bytes, int count, bool userLocale);
/// @}

/// @name Character classes
/// @{
bool IsPunctuation(WideChar unit); ///< iswpunct
bool IsWhitespace(WideChar unit);  ///< iswspace
/// @}

/// The largest boundary between user-perceived characters (grapheme clusters)
/// that is at most `limit` units into `text` (itemizing and breaking as the
/// script processor does). Returns `limit` when `limit` >= `length`.
std::size_t ClusterBoundaryAtOrBefore(const WideChar* text, std::size_t length, std::size_t limit);

/// @name Numbers (the C runtime's wide formatting and scanning)
/// @{
/// swprintf of one conversion into `out` (at most `outCapacity` units, NUL
/// included) with one argument of exactly the type the conversion reads.
/// `format` is a NUL-terminated conversion of the form
/// %[-+#0]*[width][.precision][ll]letter with a letter of "diouxX" (int32 or,
/// with ll, int64), "fFeEgGaA" (double) or "c" (one UTF-16 unit); the caller
/// never passes a conversion that reads memory through its argument. Windows
/// calls the system C runtime's swprintf, Linux the C library's and gives the
/// Windows text where the two differ (infinities and NaNs, %c). Returns the
/// units written without the NUL, negative when the output does not fit.
int FormatInt32(const WideChar* format, std::int32_t value, WideChar* out, int outCapacity);
int FormatInt64(const WideChar* format, std::int64_t value, WideChar* out, int outCapacity);
int FormatReal(const WideChar* format, double value, WideChar* out, int outCapacity);
int FormatUnit(const WideChar* format, WideChar unit, WideChar* out, int outCapacity);

/// Scans `text` (NUL-terminated) with "%lf" under the user's default locale
/// (Windows: GetUserDefaultLocaleName and _wcreate_locale; Linux: the first
/// set of LC_ALL, LC_NUMERIC and LANG, else "C"). False, with `value`
/// unchanged, when the locale cannot be had or nothing converts.
bool ScanRealInUserLocale(const WideChar* text, double& value);
/// The same under the locale named `localeName` (a Windows locale name such
/// as "de-DE" on Windows, a POSIX one such as "de_DE.UTF-8" on Linux).
bool ScanRealInLocale(const char* localeName, const WideChar* text, double& value);
/// @}

} // namespace Platform
