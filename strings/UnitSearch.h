// Exact substring search over 16-bit code units, internal to strings/: the
// forward and backward searches behind TXString's Find, ReverseFind and
// Replace.
//
// Both run in time linear in the searched length plus the needle's length,
// whatever the text and needle (a periodic needle in a text made of its
// period is the classic trap of the straightforward search). Ordinary text is
// searched the straightforward way, a scan for the needle's first unit and a
// comparison at each candidate; when those comparisons cost more than the
// distance scanned can pay for, the rest of the search switches to the
// Two-Way algorithm (Crochemore and Perrin), which needs no table and no
// allocation. Nothing here allocates or throws.
#pragma once

#include "strings/TXChar.h"

#include <cstddef>

namespace TXStringDetail {

/// What the searches answer when the needle does not occur.
inline constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

/// The first position at or after `from` where the `needleLength` units of
/// `needle` occur in the `length` units of `text`; kNoMatch when there is
/// none, when the needle is empty or when `from` leaves no room for it.
std::size_t FindUnits(const TXChar* text, std::size_t length, const TXChar* needle, std::size_t needleLength,
                      std::size_t from = 0) noexcept;

/// The last position at or before `last` (clipped to length - needleLength)
/// where the needle begins in the text; kNoMatch when there is none or the
/// needle is empty.
std::size_t ReverseFindUnits(const TXChar* text, std::size_t length, const TXChar* needle, std::size_t needleLength,
                             std::size_t last) noexcept;

} // namespace TXStringDetail
