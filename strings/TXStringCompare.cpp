// TXString comparison, case and searching.
//
// The case-insensitive equality (EqualNoCase and ==) runs on an ASCII fast
// path first: it settles the common case of plain letters and digits without
// the platform's collation and hands everything else, whole, to the platform,
// so its answers are exactly the platform's.
#include "strings/TXString.h"

#include "platform/Text.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

enum class FastAnswer { Equal, Unequal, Undecided };

constexpr TXChar kHyphen = u'-';
constexpr TXChar kExclamation = u'!';
constexpr TXChar kFirstPrintable = u' ';

bool IsAsciiAlphanumeric(TXChar unit)
{
    return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
}

TXChar FoldAscii(TXChar unit)
{
    return unit >= u'A' && unit <= u'Z' ? static_cast<TXChar>(unit | 0x20) : unit;
}

/// Case-insensitive equality of two texts of `length` units where the answer
/// cannot depend on collation: identical units weigh the same, and ASCII
/// letters and digits differ from one another at the first level of every
/// collation (there are no contractions among them), so one such difference
/// makes the texts unequal. Anything else (other differing units, a unit
/// beyond ASCII, an embedded NUL that ends the platform's comparison) is left
/// to the platform.
/// Whether four units of each text agree as the loop below would let them
/// pass: all ASCII and not NUL, and equal once A-Z are lowered. Each 16-bit
/// lane is tested at once; a unit below 0x80 plus 0x3F (or 0x25) still fits
/// its lane, so the top bit of its low byte says whether it reached 'A' (or
/// passed 'Z').
bool FourFoldEqual(const TXChar* a, const TXChar* b)
{
    constexpr std::uint64_t kOnes = 0x0001000100010001ULL;
    constexpr std::uint64_t kAsciiTops = 0xFF80FF80FF80FF80ULL;
    constexpr std::uint64_t kLaneTops = 0x8000800080008000ULL;
    constexpr std::uint64_t kByteTops = 0x0080008000800080ULL;
    std::uint64_t x;
    std::uint64_t y;
    static_assert(sizeof x == 4 * sizeof(TXChar));
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    if ((x | y) & kAsciiTops)
        return false;
    if (((x - kOnes) & ~x & kLaneTops) || ((y - kOnes) & ~y & kLaneTops))
        return false; // a NUL unit ends the platform's comparison
    const auto lowered = [](std::uint64_t w) {
        const std::uint64_t upper = (w + kOnes * (0x80 - u'A')) & ~(w + kOnes * (0x80 - u'Z' - 1)) & kByteTops;
        return w | (upper >> 2);
    };
    return lowered(x) == lowered(y);
}

FastAnswer AsciiEqualNoCase(const TXChar* a, const TXChar* b, std::size_t length)
{
    std::size_t i = 0;
    while (i + 4 <= length && FourFoldEqual(a + i, b + i))
        i += 4;
    for (; i < length; ++i) {
        const TXChar x = a[i];
        const TXChar y = b[i];
        if (x == y) {
            if (x == 0 || x >= 0x80)
                return FastAnswer::Undecided;
            continue;
        }
        if (!IsAsciiAlphanumeric(x) || !IsAsciiAlphanumeric(y))
            return FastAnswer::Undecided;
        if (FoldAscii(x) != FoldAscii(y))
            return FastAnswer::Unequal;
    }
    return FastAnswer::Equal;
}

int CheckedInt(std::size_t value)
{
    if (value > static_cast<std::size_t>(INT_MAX))
        throw std::length_error(kStringTooLong);
    return static_cast<int>(value);
}

/// The copy CompareLogical compares when dashes count as punctuation.
TXInnerString DashesAsPunctuation(const TXInnerString& text)
{
    TXInnerString copy(text);
    for (TXChar& unit : copy) {
        if (unit == kHyphen || unit < kFirstPrintable)
            unit = kExclamation;
    }
    return copy;
}

TXInnerString Lowered(const TXInnerString& text)
{
    TXInnerString copy(text);
    Platform::LowerBuffer(copy.data(), copy.size());
    return copy;
}

TXChar LoweredUnit(TXChar unit)
{
    // Lowered as a one-unit text, as the text it is sought in.
    Platform::LowerBuffer(&unit, 1);
    return unit;
}

std::int64_t Position(std::size_t found)
{
    return found == TXInnerString::npos ? TXString::kNotFound : static_cast<std::int64_t>(found);
}

/// The last position a backward search may look at: min(start, length - 1).
std::size_t BackwardStart(std::int64_t start, std::size_t length)
{
    return std::min(static_cast<std::size_t>(start), length - 1);
}

} // namespace

// ---------------------------------------------------------------------------
// Comparison

bool TXString::Equal(const TXString& other) const noexcept
{
    // Equal units are equal bytes, whatever the unit type's own ordering.
    return text.size() == other.text.size() &&
           std::memcmp(text.data(), other.text.data(), text.size() * sizeof(TXChar)) == 0;
}

bool TXString::EqualNoCase(const TXString& other) const
{
    if (text.size() != other.text.size())
        return false;
    switch (AsciiEqualNoCase(text.data(), other.text.data(), text.size())) {
    case FastAnswer::Equal:
        return true;
    case FastAnswer::Unequal:
        return false;
    case FastAnswer::Undecided:
        break;
    }
    return Platform::CompareNoCase(GetData(), other.GetData()) == 0;
}

int TXString::Compare(const TXString& other) const noexcept
{
    const std::size_t common = std::min(text.size(), other.text.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<std::uint16_t>(text[i]);
        const auto y = static_cast<std::uint16_t>(other.text[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (text.size() == other.text.size())
        return 0;
    return text.size() < other.text.size() ? -1 : 1;
}

int TXString::CompareNoCase(const TXString& other) const
{
    return Platform::CompareNoCase(GetData(), other.GetData());
}

std::int16_t TXString::CompareLogical(const TXString& other, bool dashesAsPunctuation) const
{
    if (text.empty() || other.text.empty()) {
        if (text.empty() && other.text.empty())
            return 0;
        return text.empty() ? 1 : -1;
    }
    if (!dashesAsPunctuation)
        return static_cast<std::int16_t>(Platform::CompareLogical(GetData(), other.GetData()));
    const TXInnerString left = DashesAsPunctuation(text);
    const TXInnerString right = DashesAsPunctuation(other.text);
    return static_cast<std::int16_t>(Platform::CompareLogical(left.c_str(), right.c_str()));
}

int TXString::CompareNatural(const TXString& other) const
{
    constexpr int kLess = 1;
    constexpr int kGreater = 3;
    switch (Platform::CompareNatural(text.data(), CheckedInt(text.size()), other.text.data(),
                                     CheckedInt(other.text.size()))) {
    case kLess:
        return -1;
    case kGreater:
        return 1;
    default:
        return 0;
    }
}

bool operator==(const TXString& left, const char* right)
{
    if (right == nullptr)
        return left.IsEmpty();
    return left.EqualNoCase(TXString(right));
}

// ---------------------------------------------------------------------------
// Case

TXString& TXString::MakeUpper()
{
    Platform::UpperBuffer(text.data(), text.size());
    return *this;
}

TXString& TXString::MakeLower()
{
    Platform::LowerBuffer(text.data(), text.size());
    return *this;
}

TXString& TXString::TitleCase(TXChar previous)
{
    bool capitalize = previous == 0 || Platform::IsWhitespace(previous) || Platform::IsPunctuation(previous);
    for (TXChar& unit : text) {
        if (Platform::IsWhitespace(unit) || Platform::IsPunctuation(unit)) {
            capitalize = true;
        } else if (capitalize) {
            unit = Platform::UpperUnit(unit);
            capitalize = false;
        } else {
            unit = Platform::LowerUnit(unit);
        }
    }
    return *this;
}

TXString& TXString::Reverse()
{
    std::reverse(text.begin(), text.end());
    return *this;
}

// ---------------------------------------------------------------------------
// Searching

std::int64_t TXString::Find(const TXString& sub, std::int64_t start, bool ignoreCase) const
{
    if (sub.text.empty() || start >= static_cast<std::int64_t>(text.size()))
        return kNotFound;
    const auto from = static_cast<std::size_t>(std::max<std::int64_t>(start, 0));
    if (!ignoreCase)
        return Position(text.find(sub.text, from));
    return Position(Lowered(text).find(Lowered(sub.text), from));
}

std::int64_t TXString::FindUnit(TXChar unit, std::int64_t start, bool ignoreCase) const
{
    if (start >= static_cast<std::int64_t>(text.size()))
        return kNotFound;
    const auto from = static_cast<std::size_t>(std::max<std::int64_t>(start, 0));
    if (!ignoreCase)
        return Position(text.find(unit, from));
    return Position(Lowered(text).find(LoweredUnit(unit), from));
}

std::int64_t TXString::Find(char ch, std::int64_t start, bool ignoreCase) const
{
    return FindUnit(static_cast<unsigned char>(ch), start, ignoreCase);
}

std::int64_t TXString::Find(unsigned char ch, std::int64_t start, bool ignoreCase) const
{
    return FindUnit(ch, start, ignoreCase);
}

std::int64_t TXString::ReverseFind(const TXString& sub, std::int64_t start, bool ignoreCase) const
{
    if (sub.text.empty() || start < 0)
        return kNotFound;
    // rfind clips a start beyond the last possible beginning by itself.
    const auto from = static_cast<std::size_t>(start);
    if (!ignoreCase)
        return Position(text.rfind(sub.text, from));
    return Position(Lowered(text).rfind(Lowered(sub.text), from));
}

std::int64_t TXString::ReverseFindUnit(TXChar unit, std::int64_t start, bool ignoreCase) const
{
    if (text.empty() || start < 0)
        return kNotFound;
    const std::size_t from = BackwardStart(start, text.size());
    if (!ignoreCase)
        return Position(text.rfind(unit, from));
    return Position(Lowered(text).rfind(LoweredUnit(unit), from));
}

std::int64_t TXString::ReverseFind(char ch, std::int64_t start, bool ignoreCase) const
{
    return ReverseFindUnit(static_cast<unsigned char>(ch), start, ignoreCase);
}

std::int64_t TXString::ReverseFind(unsigned char ch, std::int64_t start, bool ignoreCase) const
{
    return ReverseFindUnit(ch, start, ignoreCase);
}

std::int64_t TXString::FindOneOf(const TXString& set, std::int64_t start) const
{
    if (set.text.empty() || start >= static_cast<std::int64_t>(text.size()))
        return kNotFound;
    return Position(text.find_first_of(set.text, static_cast<std::size_t>(std::max<std::int64_t>(start, 0))));
}

std::int64_t TXString::ReverseFindOneOf(const TXString& set, std::int64_t start) const
{
    if (set.text.empty() || text.empty() || start < 0)
        return kNotFound;
    return Position(text.find_last_of(set.text, BackwardStart(start, text.size())));
}

std::int64_t TXString::FindNotOneOf(const TXString& set, std::int64_t start) const
{
    if (start >= static_cast<std::int64_t>(text.size()))
        return kNotFound;
    return Position(text.find_first_not_of(set.text, static_cast<std::size_t>(std::max<std::int64_t>(start, 0))));
}

std::int64_t TXString::ReverseFindNotOneOf(const TXString& set, std::int64_t start) const
{
    if (text.empty() || start < 0)
        return kNotFound;
    return Position(text.find_last_not_of(set.text, BackwardStart(start, text.size())));
}
