// The string library's own UTF-8 codec, internal to strings/.
//
// The decoder is deliberately lenient and must stay exactly so, because texts
// the host stored with it have to read back the same: continuation bytes are
// not checked, overlong forms are accepted, a stray byte (0x80-0xBF, 0xF8-0xFF)
// becomes one "?", a four-byte form above U+10FFFF becomes one "?", and a
// sequence cut off by the end of the input turns every remaining byte into
// "?". It never produces more units than it reads bytes.
//
// The encoder writes what the platform's UTF-8 conversion writes for
// NUL-terminated text: it stops at the first NUL unit and turns a lone
// surrogate into U+FFFD (EF BF BD).
//
// The decoder runs a word-at-a-time ASCII loop while the high bits stay clear,
// and falls back to one sequence at a time at the first other byte. The
// encoder works through blocks of units, vector ones where the processor has
// SSSE3.
#pragma once

#include "strings/TXChar.h"

#include <cstddef>

namespace TXStringDetail {

/// Decodes `byteCount` bytes into `out`, which must hold `byteCount` units;
/// returns the units written (at most `byteCount`).
std::size_t DecodeUtf8(const unsigned char* bytes, std::size_t byteCount, TXChar* out) noexcept;

/// Encodes `units` up to `unitCount` or the first NUL, whichever comes first,
/// into `out`, which must hold 3 x unitCount + 1 bytes; writes the terminating
/// NUL and returns the bytes before it.
std::size_t EncodeUtf8(const TXChar* units, std::size_t unitCount, char* out) noexcept;

/// The same encoder without vector instructions, which EncodeUtf8 runs where
/// the processor lacks SSSE3 (and the tests run everywhere).
std::size_t EncodeUtf8Portable(const TXChar* units, std::size_t unitCount, char* out) noexcept;

} // namespace TXStringDetail
