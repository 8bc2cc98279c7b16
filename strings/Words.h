// Units and bytes read eight bytes at a time, for the loops of the string
// library that test a 64-bit word at once (four UTF-16 units, or eight
// bytes). Internal to strings/.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace TXStringDetail {

/// 1 in each 16-bit lane of a word of four units.
inline constexpr std::uint64_t kUnitOnes = 0x0001000100010001ull;

/// The eight bytes from `p` as one word, in the machine's byte order; `p`
/// need not be aligned.
template <typename T>
std::uint64_t LoadWord(const T* p) noexcept
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

/// How many elements of `Bits` bits (8: bytes, 16: units) of a loaded word
/// come, in memory order, before the first one flagged in `mask` (not 0).
template <unsigned Bits>
unsigned ElementsBeforeFlag(std::uint64_t mask) noexcept
{
    const int bit = std::endian::native == std::endian::little ? std::countr_zero(mask) : std::countl_zero(mask);
    return static_cast<unsigned>(bit) / Bits;
}

/// The same counted from the end of the word: how many come after the last
/// flagged one.
template <unsigned Bits>
unsigned ElementsAfterFlag(std::uint64_t mask) noexcept
{
    const int bit = std::endian::native == std::endian::little ? std::countl_zero(mask) : std::countr_zero(mask);
    return static_cast<unsigned>(bit) / Bits;
}

} // namespace TXStringDetail
