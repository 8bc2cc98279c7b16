// The string library's quick check for normalization, internal to strings/.
//
// Asking the platform whether a text is normalized costs a full pass through
// its normalizer. Most texts consist entirely of characters that are in both
// normalization forms whatever surrounds them: assigned characters with
// canonical combining class 0 whose quick-check property is Yes (they neither
// decompose in the form nor combine with a neighbour). A text of such
// characters only is normalized, and a text whose prefix is such characters
// is normalized exactly when the rest, from the last of them on, is. The
// ranges of those characters are tables here; everything not in them is left
// to the platform, so answers never differ from the platform's.
#pragma once

#include "strings/TXChar.h"

#include <cstddef>

namespace TXStringDetail {

/// True when `codePoint` is listed as stable in form C (`composed`) or D:
/// assigned, combining class 0 and quick-check Yes.
bool IsStableInForm(bool composed, char32_t codePoint) noexcept;

/// The length of the longest prefix of `text` made of stable characters only
/// (a supplementary character counts as its two units; a lone surrogate is
/// never stable).
std::size_t StablePrefixLength(bool composed, const TXChar* text, std::size_t length) noexcept;

} // namespace TXStringDetail
