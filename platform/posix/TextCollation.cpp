// Linux comparison services: lstrcmpiW, StrCmpLogicalW, CompareStringEx and
// CompareStringW reproduced from Windows' own sort weights.
//
// Windows sorts in levels: base weights, diacritics, case, the kana marks,
// and in word sort a last "special" level for hyphen, apostrophe and the
// control characters, which word sort sets aside (they count only by
// position, a later position sorting first, then weight). The weights of every
// UTF-16 unit come from WindowsSortWeights.inc, generated from the sort keys
// Windows gives each unit (tests/data/WindowsSortKeys.txt); they are unpacked
// into one key per unit, the ASCII units at start-up and the others per
// 256-unit page on first use. A comparison walks both texts level by level,
// comparing the weight bytes as two lazy streams: one engine for every text,
// so results are consistent (a strict weak order) whatever mix of ASCII and
// other text is sorted. Nothing here allocates after the first use of a page.
//
// A unit may carry several weights (an expansion such as U+00E6, weighed as
// "ae"). A combining mark has no base weight: its diacritic weight is added
// to that of the weight before it, so "e" U+0301 sorts as U+00E9. Diacritic
// and case levels hold one byte per weight, 2 by default; a shorter level is
// compared as if padded with 2, as Windows' keys leave trailing 2s out.
//
// Digit runs (SORT_DIGITSASNUMBERS) compare by value in chunks of 19 digits,
// and among equal values the run with more leading zeros first, as Windows
// does. StrCmpLogicalW walks unit by unit: digit runs compare by value (leading
// zeros ignored) and sort before any other unit; other units compare like
// single-character case-insensitive strings.
#include "platform/Text.h"

#include "platform/posix/WindowsSortWeights.inc"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace Platform {
namespace {

/// @name CompareString flags
/// @{
constexpr unsigned kNormIgnoreCase = 0x1;
constexpr unsigned kNormIgnoreNonSpace = 0x2;
constexpr unsigned kNormIgnoreSymbols = 0x4;
constexpr unsigned kSortDigitsAsNumbers = 0x8;
constexpr unsigned kLinguisticIgnoreCase = 0x10;
constexpr unsigned kLinguisticIgnoreDiacritic = 0x20;
constexpr unsigned kSortStringSort = 0x1000;
constexpr unsigned kNormIgnoreKanaType = 0x10000;
constexpr unsigned kNormIgnoreWidth = 0x20000;
constexpr unsigned kNormLinguisticCasing = 0x8000000;
constexpr unsigned kKnownCompareFlags = kNormIgnoreCase | kNormIgnoreNonSpace | kNormIgnoreSymbols |
                                        kSortDigitsAsNumbers | kLinguisticIgnoreCase |
                                        kLinguisticIgnoreDiacritic | kSortStringSort | kNormIgnoreKanaType |
                                        kNormIgnoreWidth | kNormLinguisticCasing;
constexpr int kCstrLessThan = 1;
constexpr int kCstrEqual = 2;
constexpr int kCstrGreaterThan = 3;
/// @}

/// @name Weight bits of Windows' keys
/// @{
/// The default diacritic and case weight; keys leave it out at their end.
constexpr std::uint8_t kDefaultWeight = 0x02;
/// Case-weight bits NORM_IGNORECASE clears (upper case, and the case of
/// letter-like symbols) and the one NORM_IGNOREWIDTH clears.
constexpr std::uint8_t kCaseBits = 0x18;
constexpr std::uint8_t kWidthBit = 0x01;
/// Kana flags of the generated records (see WindowsSortWeights.inc).
constexpr std::uint8_t kKanaWidthFlag = 0x01;
constexpr std::uint8_t kKanaTypeFlag = 0x02;
/// Base weights whose first byte is below this belong to the punctuation and
/// symbol scripts, which NORM_IGNORESYMBOLS drops; digits start here.
constexpr std::uint8_t kDigitScript = 0x0D;
/// @}

/// Largest digit run compared as one number; longer runs continue as further
/// numbers.
constexpr int kMaxNumberDigits = 19;

constexpr std::size_t kMaxPrimaryBytes = 8;
constexpr std::size_t kMaxWeights = 6;
/// Record header: primary length, weight count, special weight, kana flags.
constexpr std::size_t kRecordHeader = 4;

/// The weights of one unit, level by level.
struct UnitKey {
    std::uint8_t primary[kMaxPrimaryBytes];
    std::uint8_t diacritic[kMaxWeights];
    std::uint8_t casing[kMaxWeights];
    std::uint8_t primaryLength = 0;
    std::uint8_t weights = 0;  ///< diacritic and case bytes
    std::uint8_t special = 0;  ///< nonzero: set aside by word sort, with this weight
    std::uint8_t kana = 0;     ///< nonzero: kana flags
    bool symbol = false;       ///< dropped by NORM_IGNORESYMBOLS
    bool mark = false;         ///< no base weight: its diacritic joins the weight before
    std::uint8_t digit = 0;    ///< nonzero: a digit of this value + 1 for SORT_DIGITSASNUMBERS
    std::uint8_t caseResidue = 0; ///< the bits of its case weights beyond the default, together
};

/// What the base and diacritic passes saw of the levels after them: whether
/// a unit has case weights that survive the options' mask, or kana marks.
/// When neither, those levels cannot decide and are not walked.
struct LaterLevels {
    bool casing = false;
    bool kana = false;
};

/// The rank of a digit that starts a number: ranks cannot compare it.
constexpr std::uint16_t kRankNumber = 0xFFFF;

/// The levels of Windows' sorting, in the order they decide.
enum class Level { Primary, Secondary, Tertiary, Kana };

struct Options {
    bool ignoreNonSpace = false;
    bool ignoreSymbols = false;
    bool digitsAsNumbers = false;
    bool stringSort = false;
    std::uint8_t caseMask = 0xFF;
    std::uint8_t kanaMask = 0xFF;
};

/// Unpacks the generated record of `unit` (no record: no weight at all).
UnitKey KeyFromTable(WideChar unit)
{
    UnitKey key{};
    const auto& runs = WindowsTables::kSortRuns;
    auto it = std::upper_bound(runs.begin(), runs.end(), unit,
                               [](WideChar u, const WindowsTables::SortRun& r) { return u < r.first; });
    if (it == runs.begin())
        return key;
    --it;
    if (unit >= it->first + it->count)
        return key;
    const std::uint8_t* record = WindowsTables::kSortRecords.data() + it->record;
    key.primaryLength = std::min<std::uint8_t>(record[0], kMaxPrimaryBytes);
    key.weights = std::min<std::uint8_t>(record[1], kMaxWeights);
    key.special = record[2];
    key.kana = record[3];
    const std::uint8_t* bytes = record + kRecordHeader;
    std::memcpy(key.primary, bytes, key.primaryLength);
    if (key.primaryLength > 0)
        key.primary[key.primaryLength - 1] = static_cast<std::uint8_t>(key.primary[key.primaryLength - 1] +
                                                                       (unit - it->first));
    bytes += record[0];
    std::memcpy(key.diacritic, bytes, key.weights);
    std::memcpy(key.casing, bytes + record[1], key.weights);
    key.mark = key.primaryLength == 0 && key.special == 0 && key.weights > 0;
    for (std::size_t i = 0; i < key.weights && !key.mark; ++i)
        key.caseResidue = static_cast<std::uint8_t>(key.caseResidue | (key.casing[i] ^ kDefaultWeight));
    key.symbol = key.special != 0 || (key.primaryLength > 0 && key.primary[0] < kDigitScript);
    const auto& digits = WindowsTables::kSortDigits;
    const auto digit = std::lower_bound(digits.begin(), digits.end(), unit,
                                        [](const WindowsTables::SortDigits& d, WideChar u) { return d.last < u; });
    if (digit != digits.end() && digit->first <= unit)
        key.digit = static_cast<std::uint8_t>(digit->value + (unit - digit->first) + 1);
    return key;
}

/// The collation tables: the keys of the ASCII units and their ranks, and
/// the lazily built pages of every other unit.
class Tables {
public:
    /// Built on first use and never destroyed, so that comparisons made by
    /// other objects' destructors at exit still work.
    static const Tables& Get()
    {
        static const Tables* const tables = new Tables;
        return *tables;
    }

    const UnitKey& Key(WideChar unit) const
    {
        if (unit < 0x80)
            return ascii_[unit];
        const std::size_t page = unit >> 8;
        const Page* p = pages_[page].load(std::memory_order_acquire);
        if (p == nullptr)
            p = BuildPage(page);
        return p->keys[unit & 0xFF];
    }

    std::uint8_t DigitLead() const { return ascii_['0'].primary[0]; }

    /// The rank of each ASCII unit's weights on `level` under `options`
    /// (0: it adds nothing there; kRankNumber: a digit that starts a number),
    /// or null when ranks cannot stand in for the weight bytes.
    const std::uint16_t* AsciiRanks(Level level, const Options& options) const
    {
        const std::size_t l = static_cast<std::size_t>(level);
        const std::size_t variant = (options.stringSort ? 1u : 0u) | (options.ignoreSymbols ? 2u : 0u) |
                                    (options.digitsAsNumbers && level == Level::Primary ? 4u : 0u) |
                                    (options.caseMask & kCaseBits ? 0u : 8u);
        return rankable_[l] ? ranks_[variant][l].data() : nullptr;
    }

private:
    struct Page {
        UnitKey keys[256];
    };

    Tables()
    {
        for (unsigned u = 0; u < 0x80; ++u)
            ascii_[u] = KeyFromTable(static_cast<WideChar>(u));
        RankAscii();
    }

    /// Ranks the ASCII weights of each level. Comparing ranks unit by unit
    /// equals comparing the weight bytes when every ASCII unit has at most
    /// one weight there, and no unit's bytes are a proper prefix of another's;
    /// otherwise that level has no ranks.
    void RankAscii()
    {
        rankable_.fill(true);
        struct Bytes {
            const std::uint8_t* data;
            std::size_t size;
            bool operator<(const Bytes& o) const
            {
                return std::lexicographical_compare(data, data + size, o.data, o.data + o.size);
            }
            bool operator==(const Bytes& o) const
            {
                return size == o.size && std::equal(data, data + size, o.data);
            }
        };
        for (std::size_t variant = 0; variant < kRankVariants; ++variant) {
            const bool stringSort = (variant & 1) != 0;
            const bool ignoreSymbols = (variant & 2) != 0;
            const bool numbers = (variant & 4) != 0;
            const bool ignoreCase = (variant & 8) != 0;
            std::array<std::array<std::uint8_t, 0x80>, kRankedLevels> caseBytes{};
            for (std::size_t l = 0; l < kRankedLevels; ++l) {
                std::array<Bytes, 0x80> bytes{};
                for (unsigned u = 0; u < 0x80; ++u) {
                    const UnitKey& k = ascii_[u];
                    caseBytes[l][u] = static_cast<std::uint8_t>(k.casing[0] & (ignoreCase ? ~kCaseBits : 0xFF));
                    const std::size_t weights = std::min<std::size_t>(k.weights, 1);
                    bytes[u] = l == 0 ? Bytes{k.primary, k.primaryLength}
                               : l == 1 ? Bytes{k.diacritic, weights}
                                        : Bytes{&caseBytes[l][u], weights};
                    if (l > 0 && k.weights > 1)
                        rankable_[l] = false;
                }
                std::array<Bytes, 0x80> sorted = bytes;
                std::sort(sorted.begin(), sorted.end());
                const auto end = std::unique(sorted.begin(), sorted.end());
                for (auto x = sorted.begin(); x != end; ++x)
                    for (auto y = x + 1; y != end; ++y)
                        if (x->size > 0 && x->size < y->size && std::equal(x->data, x->data + x->size, y->data))
                            rankable_[l] = false;
                for (unsigned u = 0; u < 0x80; ++u) {
                    const auto rank = static_cast<std::uint16_t>(std::lower_bound(sorted.begin(), end, bytes[u]) -
                                                                 sorted.begin());
                    // An empty weight ranks first among the distinct ones:
                    // shift so that 0 means "adds nothing".
                    std::uint16_t v = bytes[u].size == 0 ? 0 : static_cast<std::uint16_t>(rank + 1);
                    if ((!stringSort && ascii_[u].special != 0) || (ignoreSymbols && ascii_[u].symbol))
                        v = 0; // set aside by word sort, or dropped
                    else if (numbers && l == 0 && u >= '0' && u <= '9')
                        v = kRankNumber;
                    ranks_[variant][l][u] = v;
                }
            }
        }
    }

    const Page* BuildPage(std::size_t page) const
    {
        auto* built = new Page;
        for (unsigned i = 0; i < 256; ++i)
            built->keys[i] = KeyFromTable(static_cast<WideChar>((page << 8) | i));
        const Page* expected = nullptr;
        if (!pages_[page].compare_exchange_strong(expected, built, std::memory_order_acq_rel)) {
            delete built; // another thread won the race; both built the same
            return expected;
        }
        return built;
    }

    static constexpr std::size_t kRankedLevels = 3;
    static constexpr std::size_t kRankVariants = 16; // string sort, ignore symbols, numbers, ignore case

    std::array<std::array<std::array<std::uint16_t, 0x80>, kRankedLevels>, kRankVariants> ranks_{};
    std::array<bool, kRankedLevels> rankable_{};
    std::array<UnitKey, 0x80> ascii_{};
    mutable std::array<std::atomic<const Page*>, 256> pages_{};
};

bool IsAsciiDigit(WideChar u)
{
    return u >= '0' && u <= '9';
}

/// The weight bytes of one text on one level, produced unit by unit.
class KeyStream {
public:
    KeyStream(const Tables& tables, const Options& options, Level level, const WideChar* text,
              std::size_t length, LaterLevels* later)
        : tables_(tables), options_(options), level_(level), text_(text), length_(length), later_(later)
    {
    }

    /// The next byte; false at the end of the text.
    bool Next(std::uint8_t& byte)
    {
        while (position_ == size_) {
            if (index_ >= length_)
                return false;
            Fill();
        }
        byte = buffer_[position_++];
        return true;
    }

private:
    void Fill()
    {
        position_ = size_ = 0;
        const std::size_t at = index_;
        if (options_.digitsAsNumbers && level_ == Level::Primary && tables_.Key(text_[at]).digit != 0) {
            FillNumber();
            return;
        }
        const UnitKey* key = at == peekedAt_ ? peeked_ : &tables_.Key(text_[at]);
        index_ = at + 1;
        if (options_.ignoreSymbols && key->symbol)
            return;
        if (key->special != 0 && !options_.stringSort)
            return; // word sort weighs it on the special level only
        Note(*key);
        switch (level_) {
        case Level::Primary:
            Append(key->primary, key->primaryLength);
            break;
        case Level::Secondary:
            Append(key->diacritic, key->weights);
            // Combining marks add their weight to the last one before them.
            while (size_ > 0 && index_ < length_) {
                const UnitKey& next = tables_.Key(text_[index_]);
                if (!next.mark || (options_.ignoreSymbols && next.symbol)) {
                    peeked_ = &next; // the next fill starts with it
                    peekedAt_ = index_;
                    break;
                }
                buffer_[size_ - 1] = static_cast<std::uint8_t>(buffer_[size_ - 1] + next.diacritic[0]);
                ++index_;
            }
            break;
        case Level::Tertiary:
            if (!key->mark)
                for (std::size_t i = 0; i < key->weights; ++i)
                    buffer_[size_++] = static_cast<std::uint8_t>(key->casing[i] & options_.caseMask);
            break;
        case Level::Kana:
            if (key->kana != 0)
                buffer_[size_++] = static_cast<std::uint8_t>(key->kana | ~options_.kanaMask);
            break;
        }
    }

    /// One number of at most kMaxNumberDigits digits: the digit lead byte,
    /// the count of significant digits, the significant digits, and the
    /// complement of the digit count (more leading zeros sort first).
    void FillNumber()
    {
        std::size_t end = index_;
        while (end < length_ && end - index_ < static_cast<std::size_t>(kMaxNumberDigits) &&
               tables_.Key(text_[end]).digit != 0)
            ++end;
        std::size_t first = index_;
        while (first < end && tables_.Key(text_[first]).digit == 1)
            ++first;
        buffer_[size_++] = tables_.DigitLead();
        buffer_[size_++] = static_cast<std::uint8_t>(end - first);
        for (std::size_t i = index_; i < end; ++i)
            Note(tables_.Key(text_[i]));
        for (std::size_t i = first; i < end; ++i)
            buffer_[size_++] = tables_.Key(text_[i]).digit;
        buffer_[size_++] = static_cast<std::uint8_t>(0xFF - (end - index_));
        index_ = end;
    }

    void Note(const UnitKey& key)
    {
        if (later_ == nullptr)
            return;
        later_->casing |= (key.caseResidue & options_.caseMask) != 0;
        later_->kana |= key.kana != 0;
    }

    void Append(const std::uint8_t* bytes, std::size_t count)
    {
        std::memcpy(buffer_ + size_, bytes, count);
        size_ += count;
    }

    const Tables& tables_;
    const Options& options_;
    Level level_;
    const WideChar* text_;
    std::size_t length_;
    LaterLevels* later_;
    const UnitKey* peeked_ = nullptr;
    std::size_t peekedAt_ = SIZE_MAX;
    std::size_t index_ = 0;
    std::uint8_t buffer_[kMaxPrimaryBytes + kMaxWeights + kMaxNumberDigits + 8];
    std::size_t size_ = 0;
    std::size_t position_ = 0;
};

bool DropsUnit(const Options& options, const UnitKey& key)
{
    return options.ignoreSymbols && key.symbol;
}

int CompareLevel(const Tables& tables, const Options& options, Level level, const WideChar* a,
                 std::size_t aLength, const WideChar* b, std::size_t bLength, LaterLevels* later = nullptr)
{
    // Runs of ASCII compare by rank, unit by unit; the first unit that needs
    // more (another script, a number) hands the rest to the byte streams,
    // which start where the ranks left off.
    std::size_t i = 0, j = 0;
    if (const std::uint16_t* rank = tables.AsciiRanks(level, options)) {
        while (i < aLength && j < bLength) {
            const WideChar ua = a[i], ub = b[j];
            if ((ua | ub) >= 0x80) {
                // A combining mark changes the diacritic weight of the unit
                // before it: the streams start at the last compared pair.
                const auto lastCompared = [rank](const WideChar* text, std::size_t at) {
                    while (at > 0 && rank[text[at - 1]] == 0)
                        --at;
                    return at > 0 ? at - 1 : 0;
                };
                i = lastCompared(a, i);
                j = lastCompared(b, j);
                break;
            }
            const std::uint16_t ra = rank[ua], rb = rank[ub];
            if (ra == 0 || rb == 0) {
                i += ra == 0;
                j += rb == 0;
                continue;
            }
            if (ra == kRankNumber || rb == kRankNumber)
                break; // numbers compare in the streams
            if (ra != rb)
                return ra < rb ? -1 : 1;
            ++i;
            ++j;
        }
        if (i == aLength && j == bLength)
            return 0;
    }
    // Past the end of a text, the diacritic and case levels read as default
    // weights: Windows' keys leave them out at the end.
    const bool padded = level == Level::Secondary || level == Level::Tertiary;
    KeyStream sa(tables, options, level, a + i, aLength - i, later);
    KeyStream sb(tables, options, level, b + j, bLength - j, later);
    for (;;) {
        std::uint8_t x = kDefaultWeight, y = kDefaultWeight;
        const bool hasA = sa.Next(x);
        const bool hasB = sb.Next(y);
        if (!hasA && !hasB)
            return 0;
        if (!padded && (!hasA || !hasB))
            return hasA ? 1 : -1;
        if (x != y)
            return x < y ? -1 : 1;
    }
}

/// The special level of word sort: the set-aside units in order, compared
/// by position (how many weights come before them; a later position sorts
/// first), then weight; fewer first.
int CompareSpecials(const Tables& tables, const Options& options, const WideChar* a, std::size_t aLength,
                    const WideChar* b, std::size_t bLength)
{
    const auto next = [&](const WideChar* text, std::size_t length, std::size_t& at) -> const UnitKey* {
        for (; at < length; ++at) {
            const UnitKey& key = tables.Key(text[at]);
            if (key.special != 0 && !DropsUnit(options, key))
                return &key;
        }
        return nullptr;
    };
    // Positions are counted only once both texts have a special unit, so
    // texts without any pay for no more than the search.
    const auto count = [&](const WideChar* text, std::size_t& from, std::size_t to, std::size_t& position) {
        for (; from < to; ++from) {
            const UnitKey& key = tables.Key(text[from]);
            if (key.primaryLength > 0 && key.special == 0 && !DropsUnit(options, key))
                position += key.weights;
        }
    };
    std::size_t i = 0, j = 0, countedA = 0, countedB = 0, positionA = 0, positionB = 0;
    for (;; ++i, ++j) {
        const UnitKey* ka = next(a, aLength, i);
        const UnitKey* kb = next(b, bLength, j);
        if (ka == nullptr || kb == nullptr)
            return ka == kb ? 0 : (ka == nullptr ? -1 : 1);
        count(a, countedA, i, positionA);
        count(b, countedB, j, positionB);
        if (positionA != positionB)
            return positionA > positionB ? -1 : 1;
        if (ka->special != kb->special)
            return ka->special < kb->special ? -1 : 1;
    }
}

/// -1, 0 or 1, as the levels of Windows' sorting decide.
int Collate(const Options& options, const WideChar* a, std::size_t aLength, const WideChar* b,
            std::size_t bLength)
{
    const Tables& tables = Tables::Get();
    // Equal units weigh the same on every level and sit at the same
    // positions, so a common start decides nothing; only the last unit, whose
    // diacritic weight a combining mark after it changes, and a number
    // running across its end must be read again.
    std::size_t common = 0;
    const std::size_t shorter = std::min(aLength, bLength);
    while (common < shorter && a[common] == b[common])
        ++common;
    if (common > 0 && common < shorter)
        --common;
    if (options.digitsAsNumbers)
        while (common > 0 && tables.Key(a[common - 1]).digit != 0)
            --common;
    a += common;
    b += common;
    aLength -= common;
    bLength -= common;
    // The ASCII units the rank loops compare have no kana, and no case
    // weights once case is ignored; the streams note what the others have.
    LaterLevels later;
    later.casing = (options.caseMask & kCaseBits) != 0;
    int r = CompareLevel(tables, options, Level::Primary, a, aLength, b, bLength, &later);
    if (r == 0 && !options.ignoreNonSpace)
        r = CompareLevel(tables, options, Level::Secondary, a, aLength, b, bLength, &later);
    if (r == 0 && later.casing)
        r = CompareLevel(tables, options, Level::Tertiary, a, aLength, b, bLength);
    if (r == 0 && later.kana)
        r = CompareLevel(tables, options, Level::Kana, a, aLength, b, bLength);
    if (r == 0 && !options.stringSort)
        r = CompareSpecials(tables, options, a, aLength, b, bLength);
    return r;
}

std::size_t Length(const WideChar* text)
{
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

Options FromFlags(unsigned flags)
{
    Options o;
    if ((flags & (kNormIgnoreCase | kLinguisticIgnoreCase)) != 0)
        o.caseMask &= static_cast<std::uint8_t>(~kCaseBits);
    if ((flags & kNormIgnoreWidth) != 0) {
        o.caseMask &= static_cast<std::uint8_t>(~kWidthBit);
        o.kanaMask &= static_cast<std::uint8_t>(~kKanaWidthFlag);
    }
    if ((flags & kNormIgnoreKanaType) != 0)
        o.kanaMask &= static_cast<std::uint8_t>(~kKanaTypeFlag);
    o.ignoreNonSpace = (flags & (kNormIgnoreNonSpace | kLinguisticIgnoreDiacritic)) != 0;
    o.ignoreSymbols = (flags & kNormIgnoreSymbols) != 0;
    o.digitsAsNumbers = (flags & kSortDigitsAsNumbers) != 0;
    o.stringSort = (flags & kSortStringSort) != 0;
    return o;
}

int ToCompareStringResult(int sign)
{
    return sign < 0 ? kCstrLessThan : (sign > 0 ? kCstrGreaterThan : kCstrEqual);
}

/// Compares two digit runs by value, ignoring leading zeros.
int CompareDigitRuns(const WideChar* a, std::size_t aLength, const WideChar* b, std::size_t bLength)
{
    while (aLength > 0 && *a == '0') {
        ++a;
        --aLength;
    }
    while (bLength > 0 && *b == '0') {
        ++b;
        --bLength;
    }
    if (aLength != bLength)
        return aLength < bLength ? -1 : 1;
    for (std::size_t i = 0; i < aLength; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

} // namespace

int CompareNoCase(const WideChar* a, const WideChar* b)
{
    if (a == nullptr || b == nullptr)
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    Options o = FromFlags(kNormIgnoreCase);
    return Collate(o, a, Length(a), b, Length(b));
}

int CompareLogical(const WideChar* a, const WideChar* b)
{
    if (a == nullptr || b == nullptr)
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    Options o = FromFlags(kNormIgnoreCase);
    // Single ASCII units compare by their place in the case-blind order of
    // all 128, worked out once with the general comparison.
    static const std::array<std::uint8_t, 0x80> asciiOrder = [&o] {
        std::array<WideChar, 0x80> units{};
        for (unsigned u = 0; u < 0x80; ++u)
            units[u] = static_cast<WideChar>(u);
        std::sort(units.begin(), units.end(), [&o](WideChar x, WideChar y) {
            const int r = Collate(o, &x, 1, &y, 1);
            return r < 0 || (r == 0 && x < y);
        });
        std::array<std::uint8_t, 0x80> order{};
        std::uint8_t rank = 0;
        for (std::size_t i = 0; i < units.size(); ++i) {
            if (i > 0 && Collate(o, &units[i - 1], 1, &units[i], 1) != 0)
                ++rank;
            order[units[i]] = rank;
        }
        return order;
    }();
    for (;;) {
        if (*a == 0 || *b == 0)
            return *a == *b ? 0 : (*a == 0 ? -1 : 1);
        const bool digitA = IsAsciiDigit(*a);
        const bool digitB = IsAsciiDigit(*b);
        if (digitA && digitB) {
            std::size_t na = 0, nb = 0;
            while (IsAsciiDigit(a[na]))
                ++na;
            while (IsAsciiDigit(b[nb]))
                ++nb;
            if (const int r = CompareDigitRuns(a, na, b, nb))
                return r;
            a += na;
            b += nb;
            continue;
        }
        if (digitA != digitB)
            return digitA ? -1 : 1;
        if (*a < 0x80 && *b < 0x80) {
            if (asciiOrder[*a] != asciiOrder[*b])
                return asciiOrder[*a] < asciiOrder[*b] ? -1 : 1;
        } else if (const int r = Collate(o, a, 1, b, 1)) {
            return r;
        }
        ++a;
        ++b;
    }
}

int CompareNatural(const WideChar* a, int aLength, const WideChar* b, int bLength)
{
    if (a == nullptr || b == nullptr || aLength < 0 || bLength < 0)
        return 0;
    const Options o = FromFlags(kLinguisticIgnoreCase | kSortDigitsAsNumbers);
    return ToCompareStringResult(
        Collate(o, a, static_cast<std::size_t>(aLength), b, static_cast<std::size_t>(bLength)));
}

int CompareLocale(unsigned flags, const WideChar* a, int aLength, const WideChar* b, int bLength)
{
    if (a == nullptr || b == nullptr || aLength < -1 || bLength < -1 || (flags & ~kKnownCompareFlags) != 0)
        return 0;
    const std::size_t na = aLength < 0 ? Length(a) : static_cast<std::size_t>(aLength);
    const std::size_t nb = bLength < 0 ? Length(b) : static_cast<std::size_t>(bLength);
    return ToCompareStringResult(Collate(FromFlags(flags), a, na, b, nb));
}

} // namespace Platform
