// The exact searches of UnitSearch.h. One implementation serves both
// directions: a backward search is a forward search of the reversed needle in
// the reversed text, read through a view that indexes from the end.
#include "strings/UnitSearch.h"

#include "strings/Words.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace TXStringDetail {

namespace {

/// Units the straightforward search may compare beyond what the scanned
/// distance and twice the needle pay for before it hands over to Two-Way.
/// Ordinary text never comes near it; a text built to trap the search
/// reaches it within a few candidates.
constexpr std::ptrdiff_t kComparisonAllowance = 64;

/// The text front to back.
struct Forward {
    const TXChar* start;
    TXChar operator[](std::ptrdiff_t i) const noexcept { return start[i]; }
    Forward From(std::ptrdiff_t i) const noexcept { return {start + i}; }
};

/// The text back to front: index 0 is the unit just before `end`.
struct Backward {
    const TXChar* end;
    TXChar operator[](std::ptrdiff_t i) const noexcept { return end[-1 - i]; }
    Backward From(std::ptrdiff_t i) const noexcept { return {end - i}; }
};

/// A factorization of the needle into x[0..last] and x[last+1..m), with the
/// period of the right part.
struct Factorization {
    std::ptrdiff_t last;
    std::ptrdiff_t period;
};

/// The maximal suffix of the needle in the unit order (or in the reversed
/// order) and its period.
template <typename View>
Factorization MaximalSuffix(View x, std::ptrdiff_t m, bool reversedOrder) noexcept
{
    std::ptrdiff_t suffix = -1; // the suffix starts at suffix + 1
    std::ptrdiff_t j = 0;
    std::ptrdiff_t k = 1;
    std::ptrdiff_t period = 1;
    while (j + k < m) {
        const auto a = static_cast<std::uint16_t>(x[j + k]);
        const auto b = static_cast<std::uint16_t>(x[suffix + k]);
        if (reversedOrder ? a > b : a < b) {
            j += k;
            k = 1;
            period = j - suffix;
        } else if (a == b) {
            if (k != period) {
                ++k;
            } else {
                j += period;
                k = 1;
            }
        } else {
            suffix = j;
            j = suffix + 1;
            k = 1;
            period = 1;
        }
    }
    return {suffix, period};
}

/// Two-Way: the first occurrence of x (m units, m >= 1) in y (n units), or
/// -1. The later of the two maximal suffixes is a critical factorization; the
/// right part is matched first, left to right, then the left part right to
/// left. For a periodic needle the units already known to match after a
/// shift by the period are not compared again, which keeps the search linear.
template <typename View>
std::ptrdiff_t TwoWay(View y, std::ptrdiff_t n, View x, std::ptrdiff_t m) noexcept
{
    const Factorization natural = MaximalSuffix(x, m, false);
    const Factorization reversed = MaximalSuffix(x, m, true);
    const Factorization critical = natural.last > reversed.last ? natural : reversed;
    const std::ptrdiff_t ell = critical.last;
    std::ptrdiff_t period = critical.period;

    bool periodic = ell + 1 + period <= m;
    for (std::ptrdiff_t i = 0; periodic && i <= ell; ++i)
        periodic = x[i] == x[i + period];

    if (periodic) {
        std::ptrdiff_t memory = -1; // x[0..memory] is known to match at j
        for (std::ptrdiff_t j = 0; j <= n - m;) {
            std::ptrdiff_t i = std::max(ell, memory) + 1;
            while (i < m && x[i] == y[i + j])
                ++i;
            if (i < m) {
                j += i - ell;
                memory = -1;
                continue;
            }
            i = ell;
            while (i > memory && x[i] == y[i + j])
                --i;
            if (i <= memory)
                return j;
            j += period;
            memory = m - period - 1;
        }
        return -1;
    }

    // The two parts differ: any mismatch allows a shift past the longer one.
    period = std::max(ell + 1, m - ell - 1) + 1;
    for (std::ptrdiff_t j = 0; j <= n - m;) {
        std::ptrdiff_t i = ell + 1;
        while (i < m && x[i] == y[i + j])
            ++i;
        if (i < m) {
            j += i - ell;
            continue;
        }
        i = ell;
        while (i >= 0 && x[i] == y[i + j])
            --i;
        if (i < 0)
            return j;
        j += period;
    }
    return -1;
}

constexpr std::uint64_t kUnitLow15 = 0x7FFF7FFF7FFF7FFFull;

/// Bit 15 of each 16-bit lane of `word` that is 0, and no other bit. Exact:
/// no borrow runs from one lane into the next, so the flags can be read from
/// either end.
std::uint64_t ZeroLanes(std::uint64_t word) noexcept
{
    return ~(((word & kUnitLow15) + kUnitLow15) | word | kUnitLow15);
}

/// The position of the first `unit` among the first `count` units of the
/// view, or `count`. Eight units per test, through two 64-bit words: in
/// ordinary text the first unit of a needle comes every few dozen units,
/// and a test per unit would cost a branch per unit.
template <typename View>
std::ptrdiff_t ScanFor(View y, std::ptrdiff_t count, TXChar unit) noexcept
{
    const std::uint64_t pattern = kUnitOnes * static_cast<std::uint16_t>(unit);
    std::ptrdiff_t j = 0;
    for (; count - j >= 8; j += 8) {
        if constexpr (std::is_same_v<View, Forward>) {
            const std::uint64_t first = ZeroLanes(LoadWord(y.start + j) ^ pattern);
            const std::uint64_t second = ZeroLanes(LoadWord(y.start + j + 4) ^ pattern);
            if ((first | second) != 0)
                return j + (first != 0 ? ElementsBeforeFlag<16>(first) : 4 + ElementsBeforeFlag<16>(second));
        } else {
            const std::uint64_t first = ZeroLanes(LoadWord(y.end - j - 4) ^ pattern);
            const std::uint64_t second = ZeroLanes(LoadWord(y.end - j - 8) ^ pattern);
            if ((first | second) != 0)
                return j + (first != 0 ? ElementsAfterFlag<16>(first) : 4 + ElementsAfterFlag<16>(second));
        }
    }
    while (j < count && y[j] != unit)
        ++j;
    return j;
}

/// The first occurrence of x (m >= 1 units) in y (n >= m units), or -1.
template <typename View>
std::ptrdiff_t Search(View y, std::ptrdiff_t n, View x, std::ptrdiff_t m) noexcept
{
    const TXChar first = x[0];
    const std::ptrdiff_t starts = n - m + 1;
    std::ptrdiff_t compared = 0;
    for (std::ptrdiff_t j = 0;; ++j) {
        j += ScanFor(y.From(j), starts - j, first);
        if (j >= starts)
            return -1;
        std::ptrdiff_t i = 1;
        while (i < m && y[j + i] == x[i])
            ++i;
        if (i == m)
            return j;
        // Every start before j + 1 is settled; Two-Way takes over from there
        // once the comparisons outgrow the distance covered.
        compared += i;
        if (compared > j + 2 * m + kComparisonAllowance) {
            const std::ptrdiff_t found = TwoWay(y.From(j + 1), n - j - 1, x, m);
            return found < 0 ? -1 : j + 1 + found;
        }
    }
}

} // namespace

std::size_t FindUnits(const TXChar* text, std::size_t length, const TXChar* needle, std::size_t needleLength,
                      std::size_t from) noexcept
{
    if (needleLength == 0 || from > length || needleLength > length - from)
        return kNoMatch;
    const std::ptrdiff_t found = Search(Forward{text + from}, static_cast<std::ptrdiff_t>(length - from),
                                        Forward{needle}, static_cast<std::ptrdiff_t>(needleLength));
    return found < 0 ? kNoMatch : from + static_cast<std::size_t>(found);
}

std::size_t ReverseFindUnits(const TXChar* text, std::size_t length, const TXChar* needle, std::size_t needleLength,
                             std::size_t last) noexcept
{
    if (needleLength == 0 || needleLength > length)
        return kNoMatch;
    // Only the units up to the end of a match that begins at `last` matter.
    const std::size_t span = std::min(last, length - needleLength) + needleLength;
    const std::ptrdiff_t found = Search(Backward{text + span}, static_cast<std::ptrdiff_t>(span),
                                        Backward{needle + needleLength}, static_cast<std::ptrdiff_t>(needleLength));
    return found < 0 ? kNoMatch : span - static_cast<std::size_t>(found) - needleLength;
}

} // namespace TXStringDetail
