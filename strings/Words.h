// Units and bytes read eight bytes at a time, for the loops of the string
// library that test a 64-bit word at once (four UTF-16 units, or eight
// bytes). Internal to strings/.
#pragma once

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

} // namespace TXStringDetail
