// Number text in TXString: the decimal, padded and real constructors, the
// number forms of stream insertion and the assignment of a real; text to
// number (ToInt32, ToInt64, ToReal, ParseReal); and the free-standing number
// helpers of StringUtilities.h.
//
// std::to_chars gives the same characters as a wide string stream in the
// classic locale (exact decimal expansion, printf's %f and %g rules) without a
// stream per call.
#include "strings/TXString.h"

#include "platform/Text.h"
#include "strings/StringUtilities.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

constexpr int kDefaultPrecision = 6;
/// Enough for any 64-bit integer with its sign.
constexpr std::size_t kIntegerDigits = 24;
/// Enough for the integer part of the largest double in fixed notation,
/// its sign and point.
constexpr std::size_t kRealDigits = 330;

template <typename T>
std::string IntegerText(T value)
{
    char buffer[kIntegerDigits];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string RealText(double value, int precision, bool fixed)
{
    if (precision < 0)
        precision = kDefaultPrecision;
    std::string buffer(kRealDigits + static_cast<std::size_t>(precision), '\0');
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      fixed ? std::chars_format::fixed : std::chars_format::general, precision);
    buffer.resize(static_cast<std::size_t>(result.ptr - buffer.data()));
    return buffer;
}

/// Number text is ASCII: each byte is its own unit.
void AppendAscii(TXInnerString& text, const std::string& digits)
{
    const std::size_t old = text.size();
    text.resize(old + digits.size());
    std::copy(digits.begin(), digits.end(), text.begin() + static_cast<std::ptrdiff_t>(old));
}

/// Decimal text as atoi reads it, saturating at [`least`, `most`]: the
/// Windows runtime's atoi saturates, and so the result is the same on every
/// platform (glibc's would wrap).
std::int64_t ReadDecimal(const char* p, std::int64_t least, std::int64_t most)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    const std::uint64_t limit =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(least) : static_cast<std::uint64_t>(most);
    std::uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const auto digit = static_cast<std::uint64_t>(*p - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    // Modular conversion (C++20): 0 - 2^63 is the least 64-bit value.
    return negative ? static_cast<std::int64_t>(std::uint64_t{0} - magnitude) : static_cast<std::int64_t>(magnitude);
}

std::int32_t ReadInt32(const char* text)
{
    return static_cast<std::int32_t>(ReadDecimal(text, std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::int32_t TXString::ToInt32() const
{
    return ReadInt32(ToNarrow(kUTF8));
}

std::int64_t TXString::ToInt64() const
{
    return ReadDecimal(ToNarrow(kUTF8), std::numeric_limits<std::int64_t>::min(),
                       std::numeric_limits<std::int64_t>::max());
}

double TXString::ToReal() const
{
    return std::atof(ToNarrow(kUTF8));
}

bool TXString::ParseReal(double& out, bool useUserLocale) const
{
    if (useUserLocale && Platform::ScanRealInUserLocale(GetData(), out))
        return true;
    const char* bytes = ToNarrow(kUTF8);
    char* end = nullptr;
    const int savedErrno = errno;
    errno = 0;
    const double value = std::strtod(bytes, &end);
    // Nothing converted, or the value is out of range (an overflow, or an
    // underflow to a denormal or zero): both are failures, as for std::stod.
    const bool ok = end != bytes && errno != ERANGE;
    errno = savedErrno;
    if (ok)
        out = value;
    return ok;
}

TXString& TXString::SetReal(double value, int precision)
{
    text.clear();
    AppendFixed(value, precision);
    return *this;
}

TXString::TXString(std::int64_t value)
{
    AppendSigned(value);
}

TXString::TXString(double value, int precision, bool fixed)
{
    AppendAscii(text, RealText(value, precision, fixed));
}

void TXString::AssignPadded(std::int64_t value, int width, TXChar fill)
{
    const std::string digits = IntegerText(value);
    // Right alignment pads in front of everything, the sign included.
    if (width > 0 && static_cast<std::size_t>(width) > digits.size())
        text.assign(static_cast<std::size_t>(width) - digits.size(), fill);
    AppendAscii(text, digits);
}

void TXString::AppendSigned(std::int64_t value)
{
    AppendAscii(text, IntegerText(value));
}

void TXString::AppendUnsigned(std::uint64_t value)
{
    AppendAscii(text, IntegerText(value));
}

void TXString::AppendFixed(double value, int precision)
{
    AppendAscii(text, RealText(value, precision, true));
}

TXString& TXString::operator<<(double value)
{
    AppendFixed(value, kDefaultPrecision);
    return *this;
}

TXString& TXString::operator=(double value)
{
    text.clear();
    AppendFixed(value, kDefaultPrecision);
    return *this;
}

namespace TXStrings {

void Int32ToCounted(std::int32_t value, unsigned char* dest, std::size_t destSize)
{
    if (dest == nullptr || destSize == 0)
        return;
    const std::string digits = IntegerText(value);
    const std::size_t n = std::min({digits.size(), destSize - 1, std::size_t{255}});
    dest[0] = static_cast<unsigned char>(n);
    std::copy_n(digits.data(), n, dest + 1);
}

void Int32ToString(std::int32_t value, TXString& out)
{
    out = TXString(static_cast<std::int64_t>(value));
}

void CountedToInt32(const unsigned char* counted, std::int32_t* out)
{
    if (out == nullptr)
        return;
    if (counted == nullptr) {
        *out = 0;
        return;
    }
    const std::string bytes(reinterpret_cast<const char*>(counted + 1), counted[0]);
    *out = ReadInt32(bytes.c_str());
}

} // namespace TXStrings
