// Number text in TXString: the decimal, padded and real constructors, the
// number forms of stream insertion and the assignment of a real.
//
// std::to_chars gives the same characters as a wide string stream in the
// classic locale (exact decimal expansion, printf's %f and %g rules) without a
// stream per call.
#include "strings/TXString.h"

#include <algorithm>
#include <charconv>
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

} // namespace

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
