// Linux comparison services: lstrcmpiW, StrCmpLogicalW, CompareStringEx and
// CompareStringW reproduced on top of ICU's collation weights.
//
// Windows sorts in levels (base letters, diacritics, case, then the "special"
// level of word sort), and in word sort it sets hyphen, apostrophe and the
// control characters aside: they count only on the last level, by position
// (a later position sorts first) and weight. ICU supplies the weights of each
// unit (its root collation, one sort key per unit, cached per 256-unit page);
// the symbols, special and ignorable units whose Windows order the generated
// WindowsTextTables.inc records are then put in that order. A comparison walks
// both texts level by level, comparing the weight bytes as two lazy streams:
// one engine for every text, so results are consistent (a strict weak order)
// whatever mix of ASCII and other text is sorted, and ASCII text never reaches
// ICU after the tables exist. Nothing here allocates after the first use of a
// 256-unit page.
//
// Digit runs (SORT_DIGITSASNUMBERS) compare by value in chunks of 19 digits,
// and among equal values the run with more leading zeros first, as Windows
// does. StrCmpLogicalW walks unit by unit: digit runs compare by value (leading
// zeros ignored) and sort before any other unit; other units compare like
// single-character case-insensitive strings.
#include "platform/Text.h"

#include "platform/posix/WindowsTextTables.inc"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/utf16.h>

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

constexpr char kCollationLocale[] = "en_US";

/// Largest digit run compared as one number; longer runs continue as further
/// numbers.
constexpr int kMaxNumberDigits = 19;

/// Lead byte of the primaries given to special units in string sort: below
/// every ICU primary (ICU keeps 0x00..0x02 for its own separators).
constexpr std::uint8_t kSpecialPrimaryLead = 0x01;
/// Lead byte of the primaries of surrogate units: above every ICU primary of
/// the Basic Multilingual Plane.
constexpr std::uint8_t kSurrogatePrimaryLead = 0xFE;
/// Second byte of the symbols ranked by Windows' table, after the lead byte of
/// ICU's first symbol: below every second byte ICU uses, so these symbols come
/// before all others.
constexpr std::uint8_t kSymbolPrimarySecond = 0x01;

constexpr std::size_t kMaxPrimaryBytes = 24;
constexpr std::size_t kMaxOtherBytes = 8;

/// The weights of one unit, level by level.
struct UnitKey {
    std::uint8_t primary[kMaxPrimaryBytes];
    std::uint8_t secondary[kMaxOtherBytes];
    std::uint8_t tertiary[kMaxOtherBytes];
    std::uint8_t primaryLength = 0;
    std::uint8_t secondaryLength = 0;
    std::uint8_t tertiaryLength = 0;
    std::uint8_t special = 0; ///< nonzero: set aside by word sort, with this weight
    bool symbol = false;      ///< dropped by NORM_IGNORESYMBOLS
};

/// The rank of a digit that starts a number: ranks cannot compare it.
constexpr std::uint16_t kRankNumber = 0xFFFF;

/// The levels of Windows' sorting, in the order they decide.
enum class Level { Primary, Secondary, Tertiary };

struct Options {
    bool ignoreCase = false;
    bool ignoreNonSpace = false;
    bool ignoreSymbols = false;
    bool digitsAsNumbers = false;
    bool stringSort = false;
};

/// Fills `key` from ICU's sort key of `units` (root collation, tertiary).
void KeyFromIcu(const UCollator* collator, const UChar* units, int32_t count, UnitKey& key)
{
    std::uint8_t sortKey[256];
    const int32_t length = ucol_getSortKey(collator, units, count, sortKey, sizeof sortKey);
    key = UnitKey{};
    if (length <= 0 || length > static_cast<int32_t>(sizeof sortKey))
        return;
    // Layout: primary bytes, 01, secondary bytes, 01, tertiary bytes, 00.
    int32_t i = 0;
    std::uint8_t* targets[] = {key.primary, key.secondary, key.tertiary};
    std::uint8_t* lengths[] = {&key.primaryLength, &key.secondaryLength, &key.tertiaryLength};
    const std::size_t capacities[] = {kMaxPrimaryBytes, kMaxOtherBytes, kMaxOtherBytes};
    for (int level = 0; level < 3 && i < length; ++level) {
        while (i < length && sortKey[i] > 0x01) {
            if (*lengths[level] < capacities[level])
                targets[level][(*lengths[level])++] = sortKey[i];
            ++i;
        }
        ++i; // the separator
    }
}

/// The collation tables: ICU's collator, the keys of the ASCII units and
/// their ranks, and the lazily built pages of every other unit.
class Tables {
public:
    /// Built on first use and never destroyed, so that comparisons made by
    /// other objects' destructors at exit still work.
    static const Tables& Get()
    {
        static const Tables* const tables = new Tables;
        return *tables;
    }

    bool Valid() const { return collator_ != nullptr; }

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

    std::uint8_t DigitLead() const { return digitLead_; }

    /// The rank of each ASCII unit's weights on `level` under `options`
    /// (0: it adds nothing there; kRankNumber: a digit that starts a number),
    /// or null when ranks cannot stand in for the weight bytes.
    const std::uint16_t* AsciiRanks(Level level, const Options& options) const
    {
        const std::size_t l = static_cast<std::size_t>(level);
        const std::size_t variant = (options.stringSort ? 1u : 0u) | (options.ignoreSymbols ? 2u : 0u) |
                                    (options.digitsAsNumbers && level == Level::Primary ? 4u : 0u);
        return rankable_[l] ? ranks_[variant][l].data() : nullptr;
    }

private:
    struct Page {
        UnitKey keys[256];
    };

    Tables()
    {
        UErrorCode status = U_ZERO_ERROR;
        collator_ = ucol_open(kCollationLocale, &status);
        if (U_FAILURE(status)) {
            collator_ = nullptr;
            return;
        }
        ucol_setStrength(collator_, UCOL_TERTIARY);
        for (unsigned u = 0; u < 0x80; ++u) {
            const UChar unit = static_cast<UChar>(u);
            KeyFromIcu(collator_, &unit, 1, ascii_[u]);
        }
        digitLead_ = ascii_['0'].primary[0];
        symbolLead_ = ascii_['\t'].primary[0];
        for (unsigned u = 0; u < 0x80; ++u) {
            ascii_[u].symbol = IsSymbolPrimary(ascii_[u]);
            ApplyWindowsOrder(static_cast<WideChar>(u), ascii_[u]);
        }
        RankAscii();
    }

    bool IsSymbolPrimary(const UnitKey& key) const
    {
        return key.primaryLength > 0 && key.primary[0] < digitLead_;
    }

    /// Puts a unit where Windows sorts it, for the units whose place the
    /// generated tables record: ignorable units lose every weight; special
    /// units are set aside by word sort and sort below everything else in
    /// string sort; symbols take their Windows rank, all of them before any
    /// other symbol ICU knows.
    void ApplyWindowsOrder(WideChar unit, UnitKey& key) const
    {
        if (std::binary_search(WindowsTables::kSortIgnorable.begin(), WindowsTables::kSortIgnorable.end(), unit) ||
            (unit >= 0x80 && !U16_IS_SURROGATE(unit) &&
             (u_charType(unit) == U_UNASSIGNED || (unit >= 0xFDD0 && unit <= 0xFDEF) || (unit & 0xFFFE) == 0xFFFE))) {
            // Windows gives what its table does not know no weight at all.
            key = UnitKey{};
            return;
        }
        if (U16_IS_SURROGATE(unit)) {
            // Windows weighs surrogates one unit at a time, after all other
            // text and without case.
            key = UnitKey{};
            key.primary[0] = kSurrogatePrimaryLead;
            key.primary[1] = static_cast<std::uint8_t>(unit >> 8);
            key.primary[2] = static_cast<std::uint8_t>(unit & 0xFF);
            key.primaryLength = 3;
            key.secondary[0] = ascii_['a'].secondary[0];
            key.secondaryLength = 1;
            key.tertiary[0] = ascii_['a'].tertiary[0];
            key.tertiaryLength = 1;
            return;
        }
        const auto find = [unit](const auto& table) -> const WindowsTables::WeightEntry* {
            const auto it = std::lower_bound(table.begin(), table.end(), unit,
                                             [](const WindowsTables::WeightEntry& e, WideChar u) { return e.unit < u; });
            return it != table.end() && it->unit == unit ? &*it : nullptr;
        };
        if (const auto* special = find(WindowsTables::kSortSpecials)) {
            key.special = static_cast<std::uint8_t>(special->weight);
            key.primary[0] = kSpecialPrimaryLead;
            key.primary[1] = key.special;
            key.primaryLength = 2;
        } else if (const auto* symbol = find(WindowsTables::kSortSymbols)) {
            key.primary[0] = symbolLead_;
            key.primary[1] = kSymbolPrimarySecond;
            key.primary[2] = static_cast<std::uint8_t>(symbol->weight >> 8);
            key.primary[3] = static_cast<std::uint8_t>(symbol->weight & 0xFF);
            key.primaryLength = 4;
        } else {
            return;
        }
        key.symbol = true;
        if (key.secondaryLength == 0) {
            // ICU ignores controls completely; Windows weighs them like any
            // other unit.
            key.secondary[0] = ascii_['a'].secondary[0];
            key.secondaryLength = 1;
            key.tertiary[0] = ascii_['a'].tertiary[0];
            key.tertiaryLength = 1;
        }
    }

    /// Ranks the ASCII weights of the three weighted levels. Comparing ranks
    /// unit by unit equals comparing the weight bytes when no unit's weights
    /// are a proper prefix of another's; otherwise that level has no ranks.
    void RankAscii()
    {
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
        for (std::size_t l = 0; l < kRankedLevels; ++l) {
            std::array<Bytes, 0x80> bytes{};
            for (unsigned u = 0; u < 0x80; ++u) {
                const UnitKey& k = ascii_[u];
                bytes[u] = l == 0 ? Bytes{k.primary, k.primaryLength}
                                  : (l == 1 ? Bytes{k.secondary, k.secondaryLength} : Bytes{k.tertiary, k.tertiaryLength});
            }
            std::array<Bytes, 0x80> sorted = bytes;
            std::sort(sorted.begin(), sorted.end());
            const auto end = std::unique(sorted.begin(), sorted.end());
            rankable_[l] = true;
            for (auto x = sorted.begin(); x != end; ++x)
                for (auto y = x + 1; y != end; ++y)
                    if (x->size > 0 && x->size < y->size && std::equal(x->data, x->data + x->size, y->data))
                        rankable_[l] = false;
            for (unsigned u = 0; u < 0x80; ++u) {
                const auto rank = static_cast<std::uint16_t>(std::lower_bound(sorted.begin(), end, bytes[u]) -
                                                             sorted.begin());
                // An empty weight ranks first among the distinct ones: shift
                // so that 0 means "adds nothing".
                const bool empty = bytes[u].size == 0;
                const std::uint16_t value = empty ? 0 : static_cast<std::uint16_t>(rank + 1);
                for (std::size_t variant = 0; variant < kRankVariants; ++variant) {
                    const bool stringSort = (variant & 1) != 0;
                    const bool ignoreSymbols = (variant & 2) != 0;
                    const bool numbers = (variant & 4) != 0 && l == 0;
                    std::uint16_t v = value;
                    if ((!stringSort && ascii_[u].special != 0) || (ignoreSymbols && ascii_[u].symbol))
                        v = 0; // set aside by word sort, or dropped
                    else if (numbers && u >= '0' && u <= '9')
                        v = kRankNumber;
                    ranks_[variant][l][u] = v;
                }
            }
        }
    }

    const Page* BuildPage(std::size_t page) const
    {
        auto* built = new Page;
        for (unsigned i = 0; i < 256; ++i) {
            const UChar unit = static_cast<UChar>((page << 8) | i);
            KeyFromIcu(collator_, &unit, 1, built->keys[i]);
            built->keys[i].symbol = IsSymbolPrimary(built->keys[i]);
            ApplyWindowsOrder(unit, built->keys[i]);
        }
        const Page* expected = nullptr;
        if (!pages_[page].compare_exchange_strong(expected, built, std::memory_order_acq_rel)) {
            delete built; // another thread won the race; both built the same
            return expected;
        }
        return built;
    }

    static constexpr std::size_t kRankedLevels = 3;
    static constexpr std::size_t kRankVariants = 8; // string sort, ignore symbols, numbers

    UCollator* collator_ = nullptr;
    std::array<std::array<std::array<std::uint16_t, 0x80>, kRankedLevels>, kRankVariants> ranks_{};
    std::array<bool, kRankedLevels> rankable_{};
    std::uint8_t digitLead_ = 0;
    std::uint8_t symbolLead_ = 0;
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
              std::size_t length)
        : tables_(tables), options_(options), level_(level), text_(text), length_(length)
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
        if (options_.digitsAsNumbers && level_ == Level::Primary && IsAsciiDigit(text_[at])) {
            FillNumber();
            return;
        }
        const UnitKey* key = &tables_.Key(text_[at]);
        index_ = at + 1;
        if (options_.ignoreSymbols && key->symbol)
            return;
        if (key->special != 0 && !options_.stringSort)
            return; // word sort weighs it on the special level only
        switch (level_) {
        case Level::Primary:
            Append(key->primary, key->primaryLength);
            break;
        case Level::Secondary:
            Append(key->secondary, key->secondaryLength);
            break;
        case Level::Tertiary:
            Append(key->tertiary, key->tertiaryLength);
            break;
        }
    }

    /// One number of at most kMaxNumberDigits digits: the digit lead byte,
    /// the count of significant digits, the significant digits, and the
    /// complement of the digit count (more leading zeros sort first).
    void FillNumber()
    {
        std::size_t end = index_;
        while (end < length_ && end - index_ < static_cast<std::size_t>(kMaxNumberDigits) && IsAsciiDigit(text_[end]))
            ++end;
        std::size_t first = index_;
        while (first < end && text_[first] == '0')
            ++first;
        buffer_[size_++] = tables_.DigitLead();
        buffer_[size_++] = static_cast<std::uint8_t>(end - first);
        for (std::size_t i = first; i < end; ++i)
            buffer_[size_++] = static_cast<std::uint8_t>(text_[i]);
        buffer_[size_++] = static_cast<std::uint8_t>(0xFF - (end - index_));
        index_ = end;
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
    std::size_t index_ = 0;
    std::uint8_t buffer_[kMaxPrimaryBytes + kMaxNumberDigits + 8];
    std::size_t size_ = 0;
    std::size_t position_ = 0;
};

bool DropsUnit(const Options& options, const UnitKey& key)
{
    return options.ignoreSymbols && key.symbol;
}

int CompareLevel(const Tables& tables, const Options& options, Level level, const WideChar* a,
                 std::size_t aLength, const WideChar* b, std::size_t bLength)
{
    // Runs of ASCII compare by rank, unit by unit; the first unit that needs
    // more (another script, a number) hands the rest to the byte streams,
    // which start where the ranks left off.
    std::size_t i = 0, j = 0;
    if (const std::uint16_t* rank = tables.AsciiRanks(level, options)) {
        while (i < aLength && j < bLength) {
            const WideChar ua = a[i], ub = b[j];
            if ((ua | ub) >= 0x80)
                break;
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
    KeyStream sa(tables, options, level, a + i, aLength - i);
    KeyStream sb(tables, options, level, b + j, bLength - j);
    for (;;) {
        std::uint8_t x = 0, y = 0;
        const bool hasA = sa.Next(x);
        const bool hasB = sb.Next(y);
        if (!hasA || !hasB)
            return hasA == hasB ? 0 : (hasA ? 1 : -1);
        if (x != y)
            return x < y ? -1 : 1;
    }
}

/// The special level of word sort: the set-aside units in order, compared
/// by position (a later position sorts first), then weight; fewer first.
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
    std::size_t i = 0, j = 0;
    for (;; ++i, ++j) {
        const UnitKey* ka = next(a, aLength, i);
        const UnitKey* kb = next(b, bLength, j);
        if (ka == nullptr || kb == nullptr)
            return ka == kb ? 0 : (ka == nullptr ? -1 : 1);
        if (i != j)
            return i > j ? -1 : 1;
        if (ka->special != kb->special)
            return ka->special < kb->special ? -1 : 1;
    }
}

/// -1, 0 or 1, as the levels of Windows' sorting decide.
int Collate(const Options& options, const WideChar* a, std::size_t aLength, const WideChar* b,
            std::size_t bLength)
{
    const Tables& tables = Tables::Get();
    if (!tables.Valid())
        return 0;
    // Equal units weigh the same on every level and sit at the same
    // positions, so a common start decides nothing; only a number running
    // across its end must be read from its first digit.
    std::size_t common = 0;
    const std::size_t shorter = std::min(aLength, bLength);
    while (common < shorter && a[common] == b[common])
        ++common;
    if (options.digitsAsNumbers)
        while (common > 0 && IsAsciiDigit(a[common - 1]))
            --common;
    a += common;
    b += common;
    aLength -= common;
    bLength -= common;
    int r = CompareLevel(tables, options, Level::Primary, a, aLength, b, bLength);
    if (r == 0 && !options.ignoreNonSpace)
        r = CompareLevel(tables, options, Level::Secondary, a, aLength, b, bLength);
    if (r == 0 && !options.ignoreCase)
        r = CompareLevel(tables, options, Level::Tertiary, a, aLength, b, bLength);
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
    o.ignoreCase = (flags & (kNormIgnoreCase | kLinguisticIgnoreCase)) != 0;
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
    Options o;
    o.ignoreCase = true;
    return Collate(o, a, Length(a), b, Length(b));
}

int CompareLogical(const WideChar* a, const WideChar* b)
{
    if (a == nullptr || b == nullptr)
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    Options o;
    o.ignoreCase = true;
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
    Options o;
    o.ignoreCase = true;
    o.digitsAsNumbers = true;
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
