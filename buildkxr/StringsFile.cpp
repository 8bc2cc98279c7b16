// The strings-file parser: one pass over the units with a state variable,
// compacting keys and values in place, and the table it fills.
//
// Speed comes from treating runs: between tokens the parser loops over blank
// space, and inside a quoted key or value it looks for the next unit that
// matters (the closing quote, a backslash, a line feed) four units at a time
// in a 64-bit word. A value is written where it stands, so until its first
// escape or second segment nothing moves at all; after that each run is moved
// down in one block. The table is an array filled in file order and ordered
// once at the end, by an 8-byte key prefix computed while the key is still in
// the cache (radix-sorted when the table is large), falling back to the rest
// of the key only where prefixes tie.
#include "buildkxr/StringsFile.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

static_assert(std::endian::native == std::endian::little,
              "strings files are little-endian and are parsed in place as native units");

namespace {

/// @name Units with a meaning in the format
/// @{
constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char16_t kQuote = u'"';
constexpr char16_t kBackslash = u'\\';
constexpr char16_t kSlash = u'/';
constexpr char16_t kEquals = u'=';
constexpr char16_t kSemicolon = u';';
constexpr char16_t kLineFeed = u'\n';
constexpr char16_t kCarriageReturn = u'\r';
constexpr char16_t kSpace = u' ';
constexpr char16_t kTab = u'\t';
/// @}

/// @name Escape letters and what they stand for
/// @{
constexpr char16_t kEscapeLineFeed = u'n';
constexpr char16_t kEscapeCarriageReturn = u'r';
constexpr char16_t kEscapeTab = u't';
constexpr char16_t kEscapeQuote = u'"';
constexpr char16_t kEscapeQuoteLetter = u'q';
constexpr char16_t kEscapeHex = u'x';
constexpr std::size_t kHexEscapeDigits = 4;
constexpr char kHexZero = '0';
/// @}

enum class State { ExpectKey, InKey, ExpectEquals, ExpectValue, InValue, AfterValue };

// Four units per 64-bit word. The classic "has a zero lane" test: a lane's
// top bit is set where the lane is zero; lanes above a true zero may be set
// spuriously by the borrow, but the lowest set lane is always exact, and the
// lowest is all the scanners use.
constexpr std::uint64_t kLaneOnes = 0x0001000100010001ULL;
constexpr std::uint64_t kLaneTops = 0x8000800080008000ULL;
constexpr std::size_t kUnitsPerWord = 4;
constexpr int kBitsPerUnit = 16;

inline std::uint64_t LanesEqual(std::uint64_t word, char16_t unit)
{
    const std::uint64_t x = word ^ (kLaneOnes * unit);
    return (x - kLaneOnes) & ~x & kLaneTops;
}

inline std::uint64_t LoadWord(const char16_t* at)
{
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

/// First unit in [in, end) equal to one of `stops`; `end` when there is none.
template <typename Pointer, typename... Units>
inline Pointer FindAny(Pointer in, Pointer end, Units... stops)
{
    while (static_cast<std::size_t>(end - in) >= kUnitsPerWord) {
        const std::uint64_t word = LoadWord(in);
        const std::uint64_t hits = (LanesEqual(word, stops) | ...);
        if (hits != 0)
            return in + std::countr_zero(hits) / kBitsPerUnit;
        in += kUnitsPerWord;
    }
    while (in != end && ((*in != stops) && ...))
        ++in;
    return in;
}

inline bool IsCSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r'); // \t \n \v \f \r
}

inline int HexDigitValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// The number written in the four characters of a `\x` escape, read as base
/// 16 the way the C library's strtol reads it (leading white space, a sign, an
/// optional 0x before a digit, digits up to the first non-digit, 0 when there
/// is none), cut to 16 bits.
char16_t HexEscapeValue(const unsigned char (&text)[kHexEscapeDigits])
{
    std::size_t i = 0;
    while (i < kHexEscapeDigits && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < kHexEscapeDigits && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i + 2 < kHexEscapeDigits && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigitValue(text[i + 2]) >= 0)
        i += 2;
    std::uint32_t value = 0;
    for (int digit; i < kHexEscapeDigits && (digit = HexDigitValue(text[i])) >= 0; ++i)
        value = value * 16 + static_cast<std::uint32_t>(digit);
    if (negative)
        value = 0u - value;
    return static_cast<char16_t>(value);
}

constexpr std::size_t kPrefixBytes = 8;
constexpr std::uint64_t kPrefixLastByte = 0xFF;

/// The first 8 bytes of a key as a big-endian number, zero-padded after a
/// shorter key's end, so that numbers order like the keys' starts.
std::uint64_t KeyPrefix(const char* key)
{
    std::uint64_t prefix = 0;
    std::size_t i = 0;
    for (; i < kPrefixBytes && key[i] != '\0'; ++i)
        prefix = prefix << 8 | static_cast<unsigned char>(key[i]);
    if (i == 0 || i == kPrefixBytes) // nothing to pad, or no room for padding
        return prefix;
    return prefix << (8 * (kPrefixBytes - i));
}

int SaturatedLine(std::uint64_t line)
{
    return line > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(line);
}

} // namespace

const char16_t* StringTable::Find(std::string_view key) const
{
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), key,
                                     [](const Entry& e, std::string_view k) { return std::string_view(e.key) < k; });
    return at != entries_.end() && std::string_view(at->key) == key ? at->value : nullptr;
}

namespace {

/// Equal prefixes of keys shorter than the prefix are equal keys; longer ones
/// are told apart by the rest of the key.
int CompareKeys(std::uint64_t prefixA, const char* keyA, std::uint64_t prefixB, const char* keyB)
{
    if (prefixA != prefixB)
        return prefixA < prefixB ? -1 : 1;
    return (prefixA & kPrefixLastByte) == 0 ? 0 : std::strcmp(keyA + kPrefixBytes, keyB + kPrefixBytes);
}

// Large tables are ordered by their prefixes with a radix sort (six stable
// passes of 11 bits, none of them comparing), then each run of equal
// prefixes by the rest of its keys. Below the threshold a comparison sort
// is quicker than clearing the counters.
constexpr std::size_t kRadixSortThreshold = 4096;
constexpr unsigned kRadixBits = 11;
constexpr std::size_t kRadixBuckets = std::size_t{1} << kRadixBits;
constexpr unsigned kRadixPasses = (64 + kRadixBits - 1) / kRadixBits;

} // namespace

void StringTable::OrderPending()
{
    const std::size_t count = pending_.size();
    sortKeys_.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        sortKeys_[i] = {pending_[i].prefix, i};
    // File order breaks ties, so the last value given for a key ends its run.
    const auto less = [this](const SortKey& a, const SortKey& b) {
        const int keys = CompareKeys(a.prefix, pending_[a.index].key, b.prefix, pending_[b.index].key);
        return keys != 0 ? keys < 0 : a.index < b.index;
    };
    if (count < kRadixSortThreshold) {
        std::sort(sortKeys_.begin(), sortKeys_.end(), less);
        return;
    }

    std::vector<std::size_t> counts(kRadixPasses * kRadixBuckets);
    for (const SortKey& key : sortKeys_) {
        for (unsigned pass = 0; pass < kRadixPasses; ++pass)
            ++counts[pass * kRadixBuckets + ((key.prefix >> (pass * kRadixBits)) & (kRadixBuckets - 1))];
    }
    sortSpare_.resize(count);
    for (unsigned pass = 0; pass < kRadixPasses; ++pass) {
        std::size_t* bucket = &counts[pass * kRadixBuckets];
        if (std::find(bucket, bucket + kRadixBuckets, count) != bucket + kRadixBuckets)
            continue; // every prefix has the same digit here
        std::size_t start = 0;
        for (std::size_t b = 0; b < kRadixBuckets; ++b)
            start += std::exchange(bucket[b], start);
        for (const SortKey& key : sortKeys_)
            sortSpare_[bucket[(key.prefix >> (pass * kRadixBits)) & (kRadixBuckets - 1)]++] = key;
        sortKeys_.swap(sortSpare_);
    }
    // Runs of equal prefixes of long keys still need the rest of the keys.
    for (auto run = sortKeys_.begin(); run != sortKeys_.end();) {
        auto runEnd = run + 1;
        while (runEnd != sortKeys_.end() && runEnd->prefix == run->prefix)
            ++runEnd;
        if (runEnd - run > 1 && (run->prefix & kPrefixLastByte) != 0)
            std::sort(run, runEnd, less);
        run = runEnd;
    }
}

void StringTable::Seal()
{
    if (pending_.empty())
        return;
    const std::size_t orderedCount = entries_.size();
    entries_.reserve(orderedCount + pending_.size());

    // Files are often written in key order; then there is nothing to sort.
    bool ordered = true;
    for (std::size_t i = 1; i < pending_.size() && ordered; ++i)
        ordered = CompareKeys(pending_[i - 1].prefix, pending_[i - 1].key, pending_[i].prefix, pending_[i].key) < 0;
    if (ordered) {
        for (const PendingEntry& entry : pending_)
            entries_.push_back({entry.key, entry.value});
    } else {
        OrderPending();
        // Of each run of equal keys the last, the value given last, stays.
        for (std::size_t i = 0; i < sortKeys_.size(); ++i) {
            const PendingEntry& entry = pending_[sortKeys_[i].index];
            if (i + 1 < sortKeys_.size()) {
                const PendingEntry& next = pending_[sortKeys_[i + 1].index];
                if (CompareKeys(entry.prefix, entry.key, next.prefix, next.key) == 0)
                    continue;
            }
            entries_.push_back({entry.key, entry.value});
        }
        sortKeys_.clear();
        sortSpare_.clear();
    }
    pending_.clear();

    const auto keyLess = [](const Entry& a, const Entry& b) { return std::strcmp(a.key, b.key) < 0; };
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(orderedCount);
    if (orderedCount == 0 || keyLess(*(first - 1), *first))
        return;

    // Merge the new entries into the earlier ones; the new one wins a tie.
    std::vector<Entry> merged;
    merged.reserve(entries_.size());
    auto a = entries_.begin();
    auto b = first;
    while (a != first && b != entries_.end()) {
        if (keyLess(*a, *b)) {
            merged.push_back(*a++);
        } else {
            if (!keyLess(*b, *a))
                ++a;
            merged.push_back(*b++);
        }
    }
    merged.insert(merged.end(), a, first);
    merged.insert(merged.end(), b, entries_.end());
    entries_ = std::move(merged);
}

/// The one parser behind ParseStringsBuffer and CheckStringsBuffer. With
/// kFill it compacts keys and values in place and enters them in the table;
/// without, it only reads, so every fault and line number is the same by
/// construction.
class StringsParser {
public:
    template <bool kFill>
    static bool Run(std::conditional_t<kFill, char16_t*, const char16_t*> buffer, std::size_t byteLength,
                    StringTable* table, StringsParseError* error);
};

template <bool kFill>
bool StringsParser::Run(std::conditional_t<kFill, char16_t*, const char16_t*> buffer, std::size_t byteLength,
                        StringTable* table, StringsParseError* error)
{
    using Pointer = decltype(buffer);
    Pointer in = buffer;
    Pointer const end = buffer == nullptr ? nullptr : buffer + byteLength / sizeof(char16_t);
    if (in != end && *in == kByteOrderMark)
        ++in;

    std::uint64_t line = 1;
    State state = State::ExpectKey;
    // Only used with kFill: the key whose value is being read, where the next
    // key byte and the next value unit go.
    const char* key = nullptr;
    std::uint64_t keyPrefix = 0;
    char* keyOut = nullptr;
    char16_t* valueOut = nullptr;
    if constexpr (kFill)
        table->pending_.clear();

    const auto seal = [&] {
        if constexpr (kFill)
            table->Seal();
    };
    const auto fail = [&](const char* message, std::uint64_t atLine) {
        seal();
        if (error != nullptr) {
            error->message = message;
            error->line = SaturatedLine(atLine);
        }
        return false;
    };

    for (;;) {
        switch (state) {
        case State::ExpectKey:
        case State::ExpectEquals:
        case State::ExpectValue:
        case State::AfterValue: {
            // Blank space and comments may stand before any token.
            while (in != end) {
                const char16_t unit = *in;
                if (unit == kSpace || unit == kTab || unit == kCarriageReturn) {
                    ++in;
                } else if (unit == kLineFeed) {
                    ++line;
                    ++in;
                } else if (unit == kSlash && end - in >= 2 && in[1] == kSlash) {
                    // The line feed that ends the comment is read as blank.
                    in = FindAny(in + 2, end, kLineFeed);
                } else {
                    break;
                }
            }
            if (in == end) {
                if (state != State::ExpectKey)
                    return fail(kStringsErrorEndOfFile, line);
                seal();
                return true;
            }
            const char16_t unit = *in;
            switch (state) {
            case State::ExpectKey:
                if (unit != kQuote)
                    return fail(kStringsErrorKeyOpenQuote, line);
                ++in;
                if constexpr (kFill)
                    key = keyOut = reinterpret_cast<char*>(in);
                state = State::InKey;
                break;
            case State::ExpectEquals:
                if (unit != kEquals)
                    return fail(kStringsErrorEquals, line);
                ++in;
                state = State::ExpectValue;
                break;
            case State::ExpectValue:
                if (unit != kQuote)
                    return fail(kStringsErrorValueOpenQuote, line);
                ++in;
                if (in == end)
                    return fail(kStringsErrorEndOfFile, line);
                // A value is entered in the table as soon as it has a unit.
                if constexpr (kFill) {
                    table->pending_.push_back({keyPrefix, key, in});
                    valueOut = in;
                }
                state = State::InValue;
                break;
            default: // State::AfterValue
                if (unit == kSemicolon) {
                    if constexpr (kFill)
                        *valueOut = 0;
                    ++in;
                    state = State::ExpectKey;
                } else if (unit == kQuote) {
                    ++in;
                    state = State::InValue;
                } else {
                    return fail(kStringsErrorSemicolon, line);
                }
                break;
            }
            break;
        }

        case State::InKey: {
            const Pointer stop = FindAny(in, end, kQuote, kLineFeed);
            if constexpr (kFill) {
                // Narrowing to one byte per unit keeps the write behind the read.
                for (; in != stop; ++in)
                    *keyOut++ = static_cast<char>(*in & 0xFF);
            }
            in = stop;
            if (in == end)
                return fail(kStringsErrorEndOfFile, line);
            if (*in == kLineFeed)
                return fail(kStringsErrorKeyEndOfLine, line);
            if constexpr (kFill) {
                *keyOut = '\0';
                keyPrefix = KeyPrefix(key); // while the key is still in the cache
            }
            ++in;
            state = State::ExpectEquals;
            break;
        }

        case State::InValue: {
            const Pointer stop = FindAny(in, end, kQuote, kBackslash, kLineFeed);
            if constexpr (kFill) {
                if (valueOut != in) // compaction has begun: move the run down
                    std::memmove(valueOut, in, static_cast<std::size_t>(stop - in) * sizeof(char16_t));
                valueOut += stop - in;
            }
            in = stop;
            if (in == end)
                return fail(kStringsErrorEndOfFile, line);
            const char16_t unit = *in;
            if (unit == kQuote) {
                ++in;
                state = State::AfterValue;
                break;
            }
            if (unit == kLineFeed)
                return fail(kStringsErrorValueEndOfLine, line);
            // A backslash: an escape, unless it is the buffer's last unit.
            if (end - in < 2) {
                if constexpr (kFill)
                    *valueOut++ = unit;
                ++in;
                break;
            }
            const char16_t letter = in[1];
            in += 2;
            char16_t appended = letter;
            switch (letter) {
            case kEscapeLineFeed:
                appended = kLineFeed;
                break;
            case kEscapeCarriageReturn:
                appended = kCarriageReturn;
                break;
            case kEscapeTab:
                appended = kTab;
                break;
            case kEscapeQuote:
            case kEscapeQuoteLetter:
                appended = kQuote;
                break;
            case kEscapeHex: {
                if (static_cast<std::size_t>(end - in) < kHexEscapeDigits)
                    return fail(kStringsErrorHexAtEnd, line);
                unsigned char text[kHexEscapeDigits];
                bool allZero = true;
                for (std::size_t i = 0; i < kHexEscapeDigits; ++i) {
                    text[i] = static_cast<unsigned char>(in[i] & 0xFF);
                    allZero = allZero && text[i] == kHexZero;
                }
                appended = HexEscapeValue(text);
                if (appended == 0 && !allZero)
                    return fail(kStringsErrorHexValue, line);
                // The four units are consumed whatever they are; line feeds
                // among them still count, so later lines keep true numbers.
                for (std::size_t i = 0; i < kHexEscapeDigits; ++i)
                    line += in[i] == kLineFeed;
                in += kHexEscapeDigits;
                break;
            }
            case kLineFeed: // a backslash continues the value on the next line
                ++line;
                break;
            default:
                break;
            }
            if constexpr (kFill)
                *valueOut++ = appended;
            break;
        }
        }
    }
}

bool ParseStringsBuffer(char16_t* buffer, std::size_t byteLength, StringTable& table, StringsParseError* error)
{
    return StringsParser::Run<true>(buffer, byteLength, &table, error);
}

bool CheckStringsBuffer(const char16_t* buffer, std::size_t byteLength, StringsParseError* error)
{
    return StringsParser::Run<false>(buffer, byteLength, nullptr, error);
}

bool ParseStringsBuffer(char16_t* buffer, std::size_t byteLength, StringTable& table, const char** message,
                        int* line)
{
    StringsParseError error;
    const bool ok = ParseStringsBuffer(buffer, byteLength, table, &error);
    if (!ok) {
        if (message != nullptr)
            *message = error.message;
        if (line != nullptr)
            *line = error.line;
    }
    return ok;
}
