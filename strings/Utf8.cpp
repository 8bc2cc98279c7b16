// The own UTF-8 decoder and the UTF-8 encoder of TXString (see Utf8.h for the
// exact rules). Written as portable C++ whose ASCII loops the compiler turns
// into vector code: eight or sixteen bytes are checked at once through 64-bit
// words, and widened or narrowed in fixed-size blocks.
#include "strings/Utf8.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace TXStringDetail {

namespace {

constexpr std::uint64_t kByteHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kUnitOnes = 0x0001000100010001ull;
constexpr std::uint64_t kUnitNonAscii = 0xFF80FF80FF80FF80ull;
constexpr std::uint64_t kUnitBeyondTwoBytes = 0xF800F800F800F800ull;
constexpr unsigned char kQuestionMark = '?';
/// How many units the encoder puts one at a time where a word of four
/// mixes scripts, before it tests words again.
constexpr std::ptrdiff_t kMixedStretch = 64;
/// U+FFFD in UTF-8, what a lone surrogate becomes.
constexpr unsigned char kReplacementBytes[3] = {0xEF, 0xBF, 0xBD};

template <typename T>
std::uint64_t LoadWord(const T* p) noexcept
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

/// How many of the word's bytes, in memory order, come before the first one
/// flagged in `mask` (which is not 0).
unsigned BytesBeforeFlag(std::uint64_t mask) noexcept
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<unsigned>(std::countr_zero(mask)) / 8;
    else
        return static_cast<unsigned>(std::countl_zero(mask)) / 8;
}

template <std::size_t N>
void Widen(const unsigned char* in, TXChar* out) noexcept
{
    for (std::size_t i = 0; i < N; ++i)
        out[i] = in[i];
}

template <std::size_t N>
void Narrow(const TXChar* in, unsigned char* out) noexcept
{
    for (std::size_t i = 0; i < N; ++i)
        out[i] = static_cast<unsigned char>(in[i]);
}

/// Writes a unit from 1 to U+07FF as one or two bytes without branching on
/// which: both bytes are always stored (the output has room for three per
/// unit) and the position moves by the length. Returns the new position.
unsigned char* PutUpToTwoBytes(std::uint32_t u, unsigned char* o) noexcept
{
    const bool two = u >= 0x80;
    o[0] = static_cast<unsigned char>(two ? 0xC0 | (u >> 6) : u);
    o[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    return o + 1 + (two ? 1 : 0);
}

/// A unit from U+0800 that is no surrogate as its three bytes in the low
/// bytes of a little-endian word.
constexpr std::uint64_t ThreeByteWord(std::uint64_t u) noexcept
{
    return (0xE0 | (u >> 12)) | ((0x80 | ((u >> 6) & 0x3F)) << 8) | ((0x80 | (u & 0x3F)) << 16);
}

/// A unit from U+0800 that is no surrogate as three bytes, stored as one
/// 32-bit word (the output has room for four bytes there).
unsigned char* PutThreeBytes(std::uint32_t u, unsigned char* o) noexcept
{
    if constexpr (std::endian::native != std::endian::little) {
        o[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
        o[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    } else {
        const std::uint32_t sequence = (0xE0 | (u >> 12)) | ((0x80 | ((u >> 6) & 0x3F)) << 8) | ((0x80 | (u & 0x3F)) << 16);
        std::memcpy(o, &sequence, sizeof sequence);
    }
    return o + 3;
}

/// A supplementary code point as four bytes, stored as one 32-bit word.
unsigned char* PutFourBytes(std::uint32_t cp, unsigned char* o) noexcept
{
    if constexpr (std::endian::native != std::endian::little) {
        o[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        o[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        o[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
        const std::uint32_t sequence = (0xF0 | (cp >> 18)) | ((0x80 | ((cp >> 12) & 0x3F)) << 8) |
                                       ((0x80 | ((cp >> 6) & 0x3F)) << 16) | ((0x80 | (cp & 0x3F)) << 24);
        std::memcpy(o, &sequence, sizeof sequence);
    }
    return o + 4;
}

/// Four units from 1 to U+07FF, gathered into one 64-bit word of one- and
/// two-byte sequences and stored at once (the output has room for eight
/// bytes there); nothing branches on which length each unit takes.
unsigned char* PutFourUpToTwoBytes(const TXChar* p, unsigned char* o) noexcept
{
    if constexpr (std::endian::native != std::endian::little) {
        for (int i = 0; i < 4; ++i)
            o = PutUpToTwoBytes(p[i], o);
        return o;
    } else {
        std::uint64_t packed = 0;
        unsigned shift = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint64_t u = p[i];
            const bool two = u >= 0x80;
            const std::uint64_t sequence = two ? (0xC0 | (u >> 6)) | ((0x80 | (u & 0x3F)) << 8) : u;
            packed |= sequence << shift;
            shift += two ? 16 : 8;
        }
        std::memcpy(o, &packed, sizeof packed);
        return o + shift / 8;
    }
}

/// Puts the sequence of the unit at `p`, which is not NUL, and moves `o` past
/// it. Returns the units it took: two for a surrogate pair, else one (a lone
/// surrogate becomes U+FFFD). Always inlined: as a call, with `o` kept in
/// memory, mixed text encodes at half the speed.
[[gnu::always_inline]] inline std::size_t PutSequence(const TXChar* p, const TXChar* end, unsigned char*& o) noexcept
{
    const std::uint32_t u = *p;
    if (u < 0x80) {
        *o++ = static_cast<unsigned char>(u);
    } else if (u < 0x800) {
        o = PutUpToTwoBytes(u, o);
    } else if (!IsSurrogate(u)) {
        o = PutThreeBytes(u, o);
    } else if (IsHighSurrogate(u) && end - p >= 2 && IsLowSurrogate(p[1])) {
        o = PutFourBytes(0x10000 + ((u - kHighSurrogateFirst) << 10) + (p[1] - kLowSurrogateFirst), o);
        return 2;
    } else {
        std::memcpy(o, kReplacementBytes, sizeof kReplacementBytes);
        o += 3;
    }
    return 1;
}

/// Non-zero when some unit of the four in `word` is 0 or at least 0x80. A NUL
/// lane borrows from its neighbour, which only ever adds flags, and the
/// caller rescans flagged words one unit at a time.
std::uint64_t NonAsciiOrNul(std::uint64_t word) noexcept
{
    return ((word - kUnitOnes) | word) & kUnitNonAscii;
}

} // namespace

std::size_t DecodeUtf8(const unsigned char* bytes, std::size_t byteCount, TXChar* out) noexcept
{
    const unsigned char* p = bytes;
    const unsigned char* const end = bytes + byteCount;
    TXChar* o = out;

    // Fewer units than bytes come out of every step, so `o` never passes the
    // output position of `p`; the block writes below may run ahead of what
    // the block consumes but stay inside the byteCount units of `out`.
    while (p < end) {
        if (*p < 0x80) {
            while (end - p >= 16) {
                if (((LoadWord(p) | LoadWord(p + 8)) & kByteHighBits) != 0)
                    break;
                Widen<16>(p, o);
                p += 16;
                o += 16;
            }
            while (end - p >= 8) {
                const std::uint64_t high = LoadWord(p) & kByteHighBits;
                Widen<8>(p, o);
                if (high != 0) {
                    const unsigned ascii = BytesBeforeFlag(high);
                    p += ascii;
                    o += ascii;
                    break;
                }
                p += 8;
                o += 8;
            }
            while (p < end && *p < 0x80)
                *o++ = *p++;
            if (p == end)
                break;
        }

        const unsigned b = *p;
        const std::size_t left = static_cast<std::size_t>(end - p);
        // Latin, Greek and Cyrillic text mixes two-byte sequences with short
        // ASCII stretches: such text stays in a loop of its own, each step
        // the ASCII bytes before the next sequence (eight widened at once)
        // and then that sequence, until a longer sequence or eight ASCII
        // bytes in a row (the block loops above take those). Runs of
        // three-byte sequences (CJK) have a loop of their own too.
        if ((b & 0xE0) == 0xC0) {
            if (left < 2)
                break;
            const auto twoByteRun = [&] {
                do {
                    if constexpr (std::endian::native == std::endian::little) {
                        // Two well-formed sequences at once.
                        std::uint32_t pair = 0;
                        while (end - p >= 4 && (std::memcpy(&pair, p, 4), (pair & 0xC0E0C0E0u) == 0x80C080C0u)) {
                            o[0] = static_cast<TXChar>(((pair & 0x1Fu) << 6) | ((pair >> 8) & 0x3Fu));
                            o[1] = static_cast<TXChar>((((pair >> 16) & 0x1Fu) << 6) | ((pair >> 24) & 0x3Fu));
                            o += 2;
                            p += 4;
                        }
                        if (end - p < 2 || (*p & 0xE0) != 0xC0)
                            return;
                    }
                    *o++ = static_cast<TXChar>(((p[0] << 6) & 0x7FF) | (p[1] & 0x3Fu));
                    p += 2;
                } while (end - p >= 2 && (*p & 0xE0) == 0xC0);
            };
            twoByteRun();
            std::uint64_t high = 0;
            while (end - p >= 8 && (high = LoadWord(p) & kByteHighBits) != 0) {
                Widen<8>(p, o);
                const unsigned ascii = BytesBeforeFlag(high);
                p += ascii;
                o += ascii;
                if ((*p & 0xE0) != 0xC0)
                    break;
                twoByteRun();
            }
        } else if ((b & 0xF0) == 0xE0) {
            if (left < 3)
                break;
            do {
                *o++ = static_cast<TXChar>(((p[1] << 6) & 0xFFFu) | (p[2] & 0x3Fu) | (p[0] << 12));
                p += 3;
            } while (end - p >= 3 && (*p & 0xF0) == 0xE0);
        } else if ((b & 0xF8) == 0xF0) {
            if (left < 4)
                break;
            const std::uint32_t cp = ((p[2] << 6) & 0xFFFu) | (p[3] & 0x3Fu) | ((p[1] << 12) & 0x3FFFFu) |
                                     ((b << 18) & 0x1FFFFFu);
            if (cp <= kLastBmpCodePoint) {
                *o++ = static_cast<TXChar>(cp);
            } else if (cp > kLastCodePoint) {
                *o++ = kQuestionMark;
            } else {
                *o++ = HighSurrogateOf(cp);
                *o++ = LowSurrogateOf(cp);
            }
            p += 4;
        } else {
            *o++ = kQuestionMark;
            ++p;
        }
    }

    // Only a sequence cut off by the end leaves bytes behind.
    while (p < end) {
        *o++ = kQuestionMark;
        ++p;
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t EncodeUtf8(const TXChar* units, std::size_t unitCount, char* out) noexcept
{
    const TXChar* p = units;
    const TXChar* const end = units + unitCount;
    auto* o = reinterpret_cast<unsigned char*>(out);

    // One sequence at a time, dispatched on its first unit, as mixed text
    // needs. Where a unit below U+0800 starts, four units are tested at once:
    // all ASCII, or all of one or two bytes (encoded without a branch per
    // unit, since Latin and Cyrillic text mix the two lengths
    // unpredictably), and such runs stay in their own loops. A word that
    // mixes in a longer sequence starts a stretch encoded one sequence at a
    // time. A run of three-byte units stays in its own loop too.
    while (p < end) {
        std::uint32_t u = *p;
        if (u < 0x800) {
            if (end - p >= 4) {
                const std::uint64_t word = LoadWord(p);
                const std::uint64_t flags = (word - kUnitOnes) | word;
                if ((flags & kUnitNonAscii) == 0) {
                    Narrow<4>(p, o);
                    p += 4;
                    o += 4;
                    while (end - p >= 16 && (NonAsciiOrNul(LoadWord(p)) | NonAsciiOrNul(LoadWord(p + 4)) |
                                             NonAsciiOrNul(LoadWord(p + 8)) | NonAsciiOrNul(LoadWord(p + 12))) == 0) {
                        Narrow<16>(p, o);
                        p += 16;
                        o += 16;
                    }
                    continue;
                }
                if ((flags & kUnitBeyondTwoBytes) == 0) {
                    std::uint64_t next;
                    do {
                        o = PutFourUpToTwoBytes(p, o);
                        p += 4;
                        if (end - p < 4)
                            break;
                        const std::uint64_t nextWord = LoadWord(p);
                        next = (nextWord - kUnitOnes) | nextWord;
                    } while ((next & kUnitBeyondTwoBytes) == 0);
                    continue;
                }
                // Text that changes script within four units: testing words
                // would cost more than it saves for the next few units, so
                // they go one sequence at a time.
                if (u != 0) {
                    const TXChar* const stop = p + std::min<std::ptrdiff_t>(end - p, kMixedStretch);
                    while (p < stop && *p != 0)
                        p += PutSequence(p, end, o);
                    continue;
                }
            }
            if (u == 0)
                break;
            o = PutUpToTwoBytes(u, o);
            ++p;
        } else if (!IsSurrogate(u)) {
            const auto threeBytes = [](std::uint32_t unit) { return unit >= 0x800 && !IsSurrogate(unit); };
            if constexpr (std::endian::native == std::endian::little) {
                // Four units at once, as two 64-bit words of six bytes
                // each, the second written over the first's two spare bytes
                // (the output has room for sixteen there).
                while (end - p >= 4 && threeBytes(p[0]) && threeBytes(p[1]) && threeBytes(p[2]) &&
                       threeBytes(p[3])) {
                    const std::uint64_t low = ThreeByteWord(p[0]) | (ThreeByteWord(p[1]) << 24);
                    const std::uint64_t high = ThreeByteWord(p[2]) | (ThreeByteWord(p[3]) << 24);
                    std::memcpy(o, &low, sizeof low);
                    std::memcpy(o + 6, &high, sizeof high);
                    o += 12;
                    p += 4;
                }
            }
            while (p < end && threeBytes(*p)) {
                o = PutThreeBytes(*p, o);
                ++p;
            }
        } else {
            p += PutSequence(p, end, o);
        }
    }
    *o = 0;
    return static_cast<std::size_t>(o - reinterpret_cast<unsigned char*>(out));
}

} // namespace TXStringDetail
