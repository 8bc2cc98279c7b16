// TXString comparison, case and searching.
//
// The case-insensitive equality (EqualNoCase and ==) runs on an ASCII fast
// path first: it settles the common case of plain letters and digits without
// the platform's collation and hands everything else, whole, to the platform,
// so its answers are exactly the platform's.
//
// Searches run through the linear-time searches of UnitSearch.h; ignoring
// case, they lower only the windows of the text they scan.
#include "strings/TXString.h"

#include "platform/Text.h"
#include "strings/UnitSearch.h"
#include "strings/Words.h"

#include <algorithm>
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
    constexpr std::uint64_t kAsciiTops = 0xFF80FF80FF80FF80ULL;
    constexpr std::uint64_t kLaneTops = 0x8000800080008000ULL;
    constexpr std::uint64_t kByteTops = 0x0080008000800080ULL;
    using TXStringDetail::kUnitOnes;
    static_assert(sizeof(std::uint64_t) == 4 * sizeof(TXChar));
    const std::uint64_t x = TXStringDetail::LoadWord(a);
    const std::uint64_t y = TXStringDetail::LoadWord(b);
    if ((x | y) & kAsciiTops)
        return false;
    if (((x - kUnitOnes) & ~x & kLaneTops) || ((y - kUnitOnes) & ~y & kLaneTops))
        return false; // a NUL unit ends the platform's comparison
    const auto lowered = [](std::uint64_t w) {
        const std::uint64_t upper = (w + kUnitOnes * (0x80 - u'A')) & ~(w + kUnitOnes * (0x80 - u'Z' - 1)) & kByteTops;
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

std::int64_t Position(std::size_t found)
{
    return found == TXStringDetail::kNoMatch ? TXString::kNotFound : static_cast<std::int64_t>(found);
}

/// @name Case-insensitive searching
/// A case-insensitive search looks for the lowered needle in the lowered
/// text. Lowering the whole text on every call would make a loop over all
/// matches quadratic, so only windows of the text are lowered, beginning
/// where the search begins: a few candidate positions first (the next match
/// is often close), then windows twice as large up to a limit, so a call
/// costs about what it scans.
/// @{
constexpr std::size_t kFirstWindowStarts = 2;
constexpr std::size_t kLargestWindowStarts = 1024;
/// Unit comparisons up to which a window is searched by comparing at each
/// position.
constexpr std::size_t kSmallWindowWork = 64;
/// Units kept on the stack; longer needles and the windows they need take
/// their scratch from the partition.
constexpr std::size_t kStackUnits = kLargestWindowStarts + 256;

/// Copies `count` units. A search ignoring case copies a few units per call,
/// where calling the library's block copy costs more than the copying.
void CopyUnits(const TXChar* in, std::size_t count, TXChar* out)
{
    if (count > 16) {
        std::copy_n(in, count, out);
        return;
    }
    for (; count >= 4; count -= 4, in += 4, out += 4)
        std::memcpy(out, in, 4 * sizeof(TXChar));
    if (count & 2) {
        std::memcpy(out, in, 2 * sizeof(TXChar));
        in += 2;
        out += 2;
    }
    if (count & 1)
        *out = *in;
}

/// Lowers the `count` units at `p` when all of them are ASCII, where every
/// system lowers A to Z and nothing else; false, with nothing changed, when
/// one is not. The few units a search lowers per call cost less so than a
/// call into the platform.
bool LowerIfAscii(TXChar* p, std::size_t count) noexcept
{
    unsigned any = 0;
    for (std::size_t i = 0; i < count; ++i)
        any |= p[i];
    if (any >= 0x80)
        return false;
    for (std::size_t i = 0; i < count; ++i)
        p[i] = FoldAscii(p[i]);
    return true;
}

/// @name Near matches of short ASCII needles
/// Most searches ignoring case look for a short ASCII needle and find it
/// close by. Those first look at a few starts directly, lowering each ASCII
/// unit as they go, and hand over to the search by windows at the first
/// start they cannot decide: one whose units are not all ASCII (what those
/// lower to is the platform's to say), or the first beyond their few.
/// @{
constexpr std::size_t kNearStarts = 16;
constexpr std::size_t kNearNeedleUnits = 8;

/// The needle lowered into `out`, when it is short and all ASCII.
bool NearNeedle(const TXChar* needle, std::size_t m, TXChar (&out)[kNearNeedleUnits]) noexcept
{
    if (m > kNearNeedleUnits)
        return false;
    std::copy_n(needle, m, out);
    return LowerIfAscii(out, m);
}

/// Whether the lowered ASCII `needle` stands at `at`: 1 yes, 0 no, -1 when a
/// unit beyond ASCII stands in the way of deciding.
int NearMatchAt(const TXChar* at, const TXChar* needle, std::size_t m) noexcept
{
    for (std::size_t i = 0; i < m; ++i) {
        const TXChar u = at[i];
        if (u >= 0x80)
            return -1;
        if (FoldAscii(u) != needle[i])
            return 0;
    }
    return 1;
}

/// The first match at or after `from` among the near starts; otherwise
/// kNoMatch with `rest` the first start left undecided (past the last
/// possible one when none is).
std::size_t FindNear(const TXInnerString& text, const TXChar* needle, std::size_t m, std::size_t from,
                     std::size_t& rest) noexcept
{
    const std::size_t stop = std::min(text.size() - m + 1, from + kNearStarts);
    for (rest = from; rest < stop; ++rest) {
        const int match = NearMatchAt(text.data() + rest, needle, m);
        if (match < 0)
            return TXStringDetail::kNoMatch;
        if (match > 0)
            return rest;
    }
    return TXStringDetail::kNoMatch;
}

/// The last match that begins at or before `last` among the near starts;
/// otherwise kNoMatch with `end` the start after the last one left
/// undecided (0 when none is).
std::size_t ReverseFindNear(const TXInnerString& text, const TXChar* needle, std::size_t m, std::size_t last,
                            std::size_t& end) noexcept
{
    end = std::min(last, text.size() - m) + 1;
    const std::size_t stop = end > kNearStarts ? end - kNearStarts : 0;
    for (; end > stop; --end) {
        const int match = NearMatchAt(text.data() + end - 1, needle, m);
        if (match < 0)
            return TXStringDetail::kNoMatch;
        if (match > 0)
            return end - 1;
    }
    return TXStringDetail::kNoMatch;
}
/// @}

/// One search ignoring case of a needle of at least one unit: the needle
/// lowered once, the text lowered window by window as far as the search goes.
class NoCaseSearch {
public:
    /// Searches `text` for the `length` units of `needle` ignoring case.
    NoCaseSearch(const TXInnerString& text, const TXChar* needle, std::size_t length)
        : units(text.data()), n(text.size()), m(length), largest(std::max(kLargestWindowStarts, length))
    {
        // The needle, then the window (with a unit to spare at either end),
        // lowered together in one call the first time. Only a needle that
        // ends in a high surrogate could pair up with the window's first
        // unit; a NUL between them keeps each a text of its own.
        const std::size_t needed = m + 1 + largest + m + 1;
        if (needed > kStackUnits) {
            scratch = TXStringAllocator<TXChar>().allocate(needed);
            heapUnits = needed;
        }
        CopyUnits(needle, m, scratch);
        slot = scratch + m;
        if (IsHighSurrogate(needle[m - 1]))
            *slot++ = 0;
    }
    ~NoCaseSearch()
    {
        if (heapUnits != 0)
            TXStringAllocator<TXChar>().deallocate(scratch, heapUnits);
    }
    NoCaseSearch(const NoCaseSearch&) = delete;
    NoCaseSearch& operator=(const NoCaseSearch&) = delete;

    /// The first match at or after `from`.
    std::size_t Find(std::size_t from)
    {
        if (m > n || from > n - m)
            return TXStringDetail::kNoMatch;
        const std::size_t lastStart = n - m;
        for (std::size_t starts = FirstWindow();; starts = std::min(2 * starts, largest)) {
            starts = std::min(starts, lastStart - from + 1);
            const std::size_t span = starts + m - 1;
            const TXChar* window = Lowered(from, from + span);
            const std::size_t found = starts * m <= kSmallWindowWork ? FindInSmallWindow(window, starts)
                                                                    : TXStringDetail::FindUnits(window, span, scratch, m);
            if (found != TXStringDetail::kNoMatch)
                return from + found;
            if (lastStart - from < starts)
                return TXStringDetail::kNoMatch;
            from += starts;
        }
    }

    /// The last match that begins at or before `last`.
    std::size_t ReverseFind(std::size_t last)
    {
        if (m > n)
            return TXStringDetail::kNoMatch;
        // Candidate starts below `end` are still to be searched.
        std::size_t end = std::min(last, n - m) + 1;
        for (std::size_t starts = FirstWindow(); end > 0; starts = std::min(2 * starts, largest)) {
            starts = std::min(starts, end);
            const std::size_t first = end - starts;
            const std::size_t span = starts + m - 1;
            const TXChar* window = Lowered(first, first + span);
            const std::size_t found = starts * m <= kSmallWindowWork
                                          ? ReverseFindInSmallWindow(window, starts)
                                          : TXStringDetail::ReverseFindUnits(window, span, scratch, m, starts - 1);
            if (found != TXStringDetail::kNoMatch)
                return first + found;
            end = first;
        }
        return TXStringDetail::kNoMatch;
    }

private:
    /// The first of the `starts` positions of `window` where the needle
    /// begins. Comparing costs less than the general search in the small
    /// windows a search begins with.
    std::size_t FindInSmallWindow(const TXChar* window, std::size_t starts) const noexcept
    {
        for (std::size_t j = 0; j < starts; ++j) {
            if (NeedleAt(window + j))
                return j;
        }
        return TXStringDetail::kNoMatch;
    }

    /// The last of them.
    std::size_t ReverseFindInSmallWindow(const TXChar* window, std::size_t starts) const noexcept
    {
        for (std::size_t j = starts; j-- > 0;) {
            if (NeedleAt(window + j))
                return j;
        }
        return TXStringDetail::kNoMatch;
    }

    /// Whether the lowered needle stands at `at`.
    bool NeedleAt(const TXChar* at) const noexcept
    {
        std::size_t i = 0;
        while (i < m && at[i] == scratch[i])
            ++i;
        return i == m;
    }

    /// Never fewer starts than needle units, so that the overlap lowered
    /// twice stays below the window.
    std::size_t FirstWindow() const noexcept { return std::max(kFirstWindowStarts, m); }

    /// text[first, last) lowered, each unit as it comes out in a lowered copy
    /// of the whole text: the platform maps a surrogate pair as one
    /// character, so an edge that splits a pair takes the pair's other half
    /// along. The first call lowers the needle too.
    const TXChar* Lowered(std::size_t first, std::size_t last)
    {
        const std::size_t from =
            first > 0 && IsLowSurrogate(units[first]) && IsHighSurrogate(units[first - 1]) ? first - 1 : first;
        const std::size_t to =
            last < n && IsHighSurrogate(units[last - 1]) && IsLowSurrogate(units[last]) ? last + 1 : last;
        CopyUnits(units + from, to - from, slot);
        TXChar* const begin = needleLowered ? slot : scratch;
        const std::size_t count = static_cast<std::size_t>(slot - begin) + (to - from);
        if (!LowerIfAscii(begin, count))
            Platform::LowerBuffer(begin, count);
        needleLowered = true;
        return slot + (first - from);
    }

    const TXChar* const units;
    const std::size_t n;
    const std::size_t m;
    const std::size_t largest;
    bool needleLowered = false;
    TXChar local[kStackUnits];
    /// The needle, then the window at `slot`; `local` unless it is too small.
    TXChar* scratch = local;
    std::size_t heapUnits = 0;
    TXChar* slot = nullptr;
};
/// @}

/// The last position a backward search may look at: min(start, length - 1).
std::size_t BackwardStart(std::int64_t start, std::size_t length)
{
    return std::min(static_cast<std::size_t>(start), length - 1);
}

/// The first match ignoring case of the `m` units of `needle` at or after
/// `from`.
std::size_t FindIgnoringCase(const TXInnerString& text, const TXChar* needle, std::size_t m, std::size_t from)
{
    TXChar near[kNearNeedleUnits];
    if (m <= text.size() && from <= text.size() - m && NearNeedle(needle, m, near)) {
        const std::size_t found = FindNear(text, near, m, from, from);
        if (found != TXStringDetail::kNoMatch || from > text.size() - m)
            return found;
    }
    return NoCaseSearch(text, needle, m).Find(from);
}

/// The last match ignoring case that begins at or before `last`.
std::size_t ReverseFindIgnoringCase(const TXInnerString& text, const TXChar* needle, std::size_t m,
                                    std::size_t last)
{
    TXChar near[kNearNeedleUnits];
    if (m <= text.size() && NearNeedle(needle, m, near)) {
        std::size_t end = 0;
        const std::size_t found = ReverseFindNear(text, near, m, last, end);
        if (found != TXStringDetail::kNoMatch || end == 0)
            return found;
        last = end - 1;
    }
    return NoCaseSearch(text, needle, m).ReverseFind(last);
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
        return Position(TXStringDetail::FindUnits(text.data(), text.size(), sub.text.data(), sub.text.size(), from));
    return Position(FindIgnoringCase(text, sub.text.data(), sub.text.size(), from));
}

std::int64_t TXString::FindUnit(TXChar unit, std::int64_t start, bool ignoreCase) const
{
    if (start >= static_cast<std::int64_t>(text.size()))
        return kNotFound;
    const auto from = static_cast<std::size_t>(std::max<std::int64_t>(start, 0));
    if (!ignoreCase)
        return Position(text.find(unit, from));
    // Lowered as a one-unit text, as the text it is sought in.
    return Position(FindIgnoringCase(text, &unit, 1, from));
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
    // The searches clip a start beyond the last possible beginning.
    const auto from = static_cast<std::size_t>(start);
    if (!ignoreCase)
        return Position(
            TXStringDetail::ReverseFindUnits(text.data(), text.size(), sub.text.data(), sub.text.size(), from));
    return Position(ReverseFindIgnoringCase(text, sub.text.data(), sub.text.size(), from));
}

std::int64_t TXString::ReverseFindUnit(TXChar unit, std::int64_t start, bool ignoreCase) const
{
    if (text.empty() || start < 0)
        return kNotFound;
    const std::size_t from = BackwardStart(start, text.size());
    if (!ignoreCase)
        return Position(text.rfind(unit, from));
    // Lowered as a one-unit text, as the text it is sought in.
    return Position(ReverseFindIgnoringCase(text, &unit, 1, from));
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
