// The own UTF-8 decoder and the UTF-8 encoder of TXString (see Utf8.h for the
// exact rules). Written as portable C++ whose ASCII loops the compiler turns
// into vector code: eight or sixteen bytes are checked at once through 64-bit
// words, and widened or narrowed in fixed-size blocks. On x86-64 processors
// with SSSE3 (nearly all in use) the encoder runs a vector version instead,
// chosen once at run time, since the compiler cannot vectorize sequences of
// varying length itself.
#include "strings/Utf8.h"

#include "strings/Words.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define TX_UTF8_SSSE3 1
#endif

namespace TXStringDetail {

namespace {

constexpr std::uint64_t kByteHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kUnitNonAscii = 0xFF80FF80FF80FF80ull;
constexpr std::uint64_t kUnitBeyondTwoBytes = 0xF800F800F800F800ull;
constexpr unsigned char kQuestionMark = '?';
/// How many units the encoder puts one at a time where a word of four
/// mixes scripts, before it tests words again.
constexpr std::ptrdiff_t kMixedStretch = 64;
/// U+FFFD in UTF-8, what a lone surrogate becomes.
constexpr unsigned char kReplacementBytes[3] = {0xEF, 0xBF, 0xBD};

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

#ifdef TX_UTF8_SSSE3
/// Byte shuffles that pack sequences held in fixed-size lanes together, with
/// the bytes they leave. Keyed by which lanes hold a unit from 0x80 (bit i
/// for lane i) and, for the four 32-bit lanes, from 0x800 (bit 4 + i).
struct PackingTables {
    /// Eight 16-bit lanes of one or two bytes.
    alignas(16) unsigned char twoShuffle[256][16];
    unsigned char twoLength[256];
    /// Four 32-bit lanes of one to three bytes.
    alignas(16) unsigned char threeShuffle[256][16];
    unsigned char threeLength[256];
};

constexpr PackingTables MakePackingTables() noexcept
{
    PackingTables tables{};
    for (unsigned key = 0; key < 256; ++key) {
        unsigned length = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            tables.twoShuffle[key][length++] = static_cast<unsigned char>(2 * lane);
            if ((key & (1u << lane)) != 0)
                tables.twoShuffle[key][length++] = static_cast<unsigned char>(2 * lane + 1);
        }
        tables.twoLength[key] = static_cast<unsigned char>(length);
        while (length < 16)
            tables.twoShuffle[key][length++] = 0x80; // a zero byte past the end

        length = 0;
        for (unsigned lane = 0; lane < 4; ++lane) {
            const unsigned bytes = 1 + ((key >> lane) & 1) + ((key >> (4 + lane)) & 1);
            for (unsigned byte = 0; byte < bytes; ++byte)
                tables.threeShuffle[key][length++] = static_cast<unsigned char>(4 * lane + byte);
        }
        tables.threeLength[key] = static_cast<unsigned char>(length);
        while (length < 16)
            tables.threeShuffle[key][length++] = 0x80;
    }
    return tables;
}

constexpr PackingTables kPacking = MakePackingTables();

#define TX_SSSE3 [[gnu::target("ssse3")]]

TX_SSSE3 inline __m128i Splat(std::uint16_t value) noexcept
{
    return _mm_set1_epi16(static_cast<short>(value));
}

TX_SSSE3 inline __m128i LoadBlock(const TXChar* p) noexcept
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

/// All-ones lanes where the unit lies in 1 ... `last`.
TX_SSSE3 inline __m128i NonNulUpTo(__m128i block, std::uint16_t last) noexcept
{
    return _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(block, Splat(1)), Splat(last - 1)), _mm_setzero_si128());
}

TX_SSSE3 inline bool AllSet(__m128i lanes) noexcept
{
    return _mm_movemask_epi8(lanes) == 0xFFFF;
}

/// Lanes of `ifSet` where `mask` is set, else of `ifClear`.
TX_SSSE3 inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) noexcept
{
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

TX_SSSE3 inline __m128i Pack(__m128i lanes, const unsigned char (&shuffle)[16]) noexcept
{
    return _mm_shuffle_epi8(lanes, _mm_load_si128(reinterpret_cast<const __m128i*>(shuffle)));
}

/// A continuation byte in each lane: 80 | the lane's low six bits.
TX_SSSE3 inline __m128i Trail(__m128i bits) noexcept
{
    return _mm_or_si128(_mm_and_si128(bits, Splat(0x3F)), Splat(0x80));
}

/// All-ones lanes where the unit is below 0x80 (NUL included).
TX_SSSE3 inline __m128i AsciiLanes(__m128i block) noexcept
{
    return _mm_cmpeq_epi16(_mm_and_si128(block, Splat(0xFF80)), _mm_setzero_si128());
}

/// Each lane's two-byte sequence, in memory order.
TX_SSSE3 inline __m128i TwoByteLanes(__m128i block, __m128i lastTrail) noexcept
{
    return _mm_or_si128(_mm_or_si128(_mm_srli_epi16(block, 6), Splat(0xC0)), _mm_slli_epi16(lastTrail, 8));
}

/// Stores a block of units from 1 to U+07FF, whose lanes from 0x80 are
/// `twoByteLanes` (bit i for lane i), as 16 bytes at most; returns the
/// bytes it put.
TX_SSSE3 inline unsigned PutOneOrTwoByteBlock(__m128i block, __m128i ascii, unsigned twoByteLanes,
                                              unsigned char* o) noexcept
{
    const __m128i sequences = Select(ascii, block, TwoByteLanes(block, Trail(block)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), Pack(sequences, kPacking.twoShuffle[twoByteLanes]));
    return kPacking.twoLength[twoByteLanes];
}

/// The encoder for processors with SSSE3. Eight units at a time: every lane
/// becomes its sequence at once, and byte shuffles pack the sequences
/// together, so script changes inside a block cost no branch. Runs of ASCII
/// and of one- and two-byte units (Latin, Cyrillic) stay in loops of their
/// own with lighter tests. Only a NUL or a lone surrogate ends the block's
/// bytes at its lane; the surrogate is then put on its own.
TX_SSSE3 std::size_t EncodeUtf8Ssse3(const TXChar* units, std::size_t unitCount, char* out) noexcept
{
    const TXChar* p = units;
    const TXChar* const end = units + unitCount;
    auto* o = reinterpret_cast<unsigned char*>(out);
    const __m128i zero = _mm_setzero_si128();
    // Ten units left give the output room for the two 16-byte stores of a
    // block of three-byte sequences, the second at most 12 bytes in.
    while (end - p >= 10) {
        const __m128i block = LoadBlock(p);
        const __m128i top5 = _mm_and_si128(block, Splat(0xF800));
        const __m128i ascii = AsciiLanes(block);
        const __m128i belowThreeBytes = _mm_cmpeq_epi16(top5, zero);
        const __m128i surrogates = _mm_cmpeq_epi16(top5, Splat(0xD800));
        // Masks of _mm_movemask_epi8 over 16-bit lanes: two bits per lane.
        unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, zero)));
        const unsigned surrogateLanes = static_cast<unsigned>(_mm_movemask_epi8(surrogates));
        // One bit per lane. Bits 0-7: a second byte, from 0x80 (surrogates
        // included: each half of a pair puts two of its four bytes); bits
        // 8-15: a third byte, from 0x800 but no surrogate.
        const unsigned longer = ~static_cast<unsigned>(_mm_movemask_epi8(
                                    _mm_packs_epi16(ascii, _mm_or_si128(belowThreeBytes, surrogates)))) &
                                0xFFFF;
        if ((longer | stops) == 0) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(block, block));
            p += 8;
            o += 8;
            while (end - p >= 16) {
                const __m128i first = LoadBlock(p);
                const __m128i second = LoadBlock(p + 8);
                if (!AllSet(_mm_and_si128(NonNulUpTo(first, 0x7F), NonNulUpTo(second, 0x7F))))
                    break;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(first, second));
                p += 16;
                o += 16;
            }
            continue;
        }
        if ((stops | (longer >> 8) | surrogateLanes) == 0) {
            o += PutOneOrTwoByteBlock(block, ascii, longer, o);
            p += 8;
            while (end - p >= 10) {
                const __m128i next = LoadBlock(p);
                if (!AllSet(NonNulUpTo(next, 0x7FF)))
                    break;
                const __m128i nextAscii = AsciiLanes(next);
                const unsigned twoByteLanes =
                    ~static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(nextAscii, zero))) & 0xFF;
                o += PutOneOrTwoByteBlock(next, nextAscii, twoByteLanes, o);
                p += 8;
            }
            continue;
        }
        // The first two bytes of each sequence in one vector, the third
        // (kept by three-byte lanes only) in another, interleaved into
        // 32-bit lanes.
        const __m128i lastTrail = Trail(block);
        const __m128i three = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(block, 12), Splat(0xE0)),
                                           _mm_slli_epi16(Trail(_mm_srli_epi16(block, 6)), 8));
        __m128i firstTwo = Select(ascii, block, Select(belowThreeBytes, TwoByteLanes(block, lastTrail), three));
        if (surrogateLanes != 0) {
            const __m128i highs = _mm_cmpeq_epi16(_mm_and_si128(block, Splat(0xFC00)), Splat(0xD800));
            const unsigned highLanes = static_cast<unsigned>(_mm_movemask_epi8(highs));
            const unsigned lowLanes = surrogateLanes & ~highLanes;
            // A half without its partner right beside it stops the block.
            stops |= (lowLanes & ~(highLanes << 2)) | (highLanes & ~(lowLanes >> 2));
            // With `plane` = the high half's ten bits + 0x40 (bits 20-10 of
            // the code point), the high half puts F0 | plane >> 8 and
            // 80 | (plane >> 2 & 3F); the low half 80 | (plane & 3) << 4 |
            // its bits 9-6, and 80 | its bits 5-0.
            const __m128i plane = _mm_add_epi16(_mm_and_si128(block, Splat(0x3FF)), Splat(0x40));
            const __m128i highBytes = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(plane, 8), Splat(0xF0)),
                                                   _mm_slli_epi16(Trail(_mm_srli_epi16(plane, 2)), 8));
            const __m128i previous = _mm_slli_si128(block, 2);
            const __m128i lowBytes =
                _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(previous, Splat(3)), 4),
                                                       _mm_and_si128(_mm_srli_epi16(block, 6), Splat(0xF))),
                                          Splat(0x80)),
                             _mm_slli_epi16(lastTrail, 8));
            firstTwo = Select(surrogates, Select(highs, highBytes, lowBytes), firstTwo);
        }
        const unsigned lowKey = (longer & 0x0F) | ((longer >> 4) & 0xF0);
        const unsigned highKey = ((longer >> 4) & 0x0F) | ((longer >> 8) & 0xF0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o),
                         Pack(_mm_unpacklo_epi16(firstTwo, lastTrail), kPacking.threeShuffle[lowKey]));
        const unsigned length = kPacking.threeLength[lowKey];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + length),
                         Pack(_mm_unpackhi_epi16(firstTwo, lastTrail), kPacking.threeShuffle[highKey]));
        if (stops == 0) {
            p += 8;
            o += length + kPacking.threeLength[highKey];
            continue;
        }
        // Keep the sequences of the lanes before the stop: one byte each,
        // and one more for each second and third byte.
        const unsigned lanes = static_cast<unsigned>(std::countr_zero(stops)) / 2;
        const unsigned before = (1u << lanes) - 1;
        p += lanes;
        o += lanes + static_cast<unsigned>(std::popcount(longer & (before | before << 8)));
        if (*p == 0)
            break;
        // A pair cut by the end of the block starts the next one.
        if (lanes == 0 || !IsHighSurrogate(*p))
            p += PutSequence(p, end, o);
    }
    while (p < end && *p != 0)
        p += PutSequence(p, end, o);
    *o = 0;
    return static_cast<std::size_t>(o - reinterpret_cast<unsigned char*>(out));
}

#undef TX_SSSE3

bool HasSsse3() noexcept
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}
#endif

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
                    const unsigned ascii = ElementsBeforeFlag<8>(high);
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
                const unsigned ascii = ElementsBeforeFlag<8>(high);
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

std::size_t EncodeUtf8Portable(const TXChar* units, std::size_t unitCount, char* out) noexcept
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

std::size_t EncodeUtf8(const TXChar* units, std::size_t unitCount, char* out) noexcept
{
#ifdef TX_UTF8_SSSE3
    if (HasSsse3())
        return EncodeUtf8Ssse3(units, unitCount, out);
#endif
    return EncodeUtf8Portable(units, unitCount, out);
}

} // namespace TXStringDetail
