// TXString encodings: the own UTF-8 decoder (valid, cut-off, stray and
// overlong sequences, boundary code points, the word-at-a-time ASCII path),
// code-page decoding, UTF-8 and code-page encoding, the narrow buffer's reuse
// and growth, the length limit of the narrow capacity, copy-out bounds and
// normalization.
#include "TXStringTestSupport.h"

#include "platform/Text.h"
#include "strings/NormalizationQuickCheck.h"
#include "strings/StringUtilities.h"
#include "strings/Utf8.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <random>
#include <string>
#include <vector>

namespace {

using EncodingTest = StringTest;

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::u16string expected;
};

TEST_F(EncodingTest, OwnUtf8Decoder)
{
    const std::vector<DecodeCase> table = {
        // Valid sequences and the boundaries of each length.
        {"ASCII", "Az~", u"Az~"},
        {"DEL", "\x7F", u"\x7F"},
        {"first two-byte", "\xC2\x80", u"\u0080"},
        {"e acute", "\xC3\xA9", u"\u00E9"},
        {"last two-byte", "\xDF\xBF", u"\u07FF"},
        {"first three-byte", "\xE0\xA0\x80", u"\u0800"},
        {"euro", "\xE2\x82\xAC", u"\u20AC"},
        {"last BMP", "\xEF\xBF\xBF", u"\uFFFF"},
        {"first supplementary", "\xF0\x90\x80\x80", u"\U00010000"},
        {"emoji", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"embedded NUL decoded", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        // Beyond the code-point range.
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"?"},
        {"largest four-byte", "\xF7\xBF\xBF\xBF", u"?"},
        // Cut off by the end: every remaining byte is one "?".
        {"cut-off three-byte", "A\xE2\x82", u"A??"},
        {"cut-off two-byte", "\xC3", u"?"},
        {"cut-off four-byte", "ab\xF0\x9F\x98", u"ab???"},
        // Stray bytes.
        {"lone continuation", "\x80", u"?"},
        {"lone FF", "\xFF", u"?"},
        {"F8 lead and its tail", "\xF8\x88\x80\x80\x80", u"?????"},
        {"stray between ASCII", "a\xBFz", u"a?z"},
        // Overlong forms are accepted.
        {"overlong NUL", "\xC0\x80", std::u16string(1, u'\0')},
        {"overlong DEL", "\xC1\xBF", u"\x7F"},
        {"overlong three-byte slash", "\xE0\x80\xAF", u"/"},
        {"overlong four-byte BMP", "\xF0\x8F\xBF\xBF", u"\uFFFF"},
        // Continuation bytes are not checked.
        {"two-byte with ASCII tail", "\xC3\x41", u"\u00C1"},
        {"three-byte with ASCII tail", "\xE2\x41\x42", u"\x2042"},
        {"encoded surrogate kept", "\xED\xA0\x80", u"\xD800"},
    };
    for (const DecodeCase& c : table) {
        SCOPED_TRACE(c.name);
        TXString s;
        s.SetNarrow(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(Units(s), c.expected);
        EXPECT_LE(s.GetLength(), c.bytes.size());
        EXPECT_EQ(Units(TXString(c.bytes)), c.expected) << "constructor";
    }
}

TEST_F(EncodingTest, SetNarrowEmptyInputs)
{
    TXString s(u"old");
    EXPECT_TRUE(s.SetNarrow(nullptr, 5).IsEmpty());
    s = u"old";
    EXPECT_TRUE(s.SetNarrow("abc", 0).IsEmpty());
    s = u"old";
    EXPECT_TRUE(s.SetNarrow("\0abc", 4).IsEmpty()) << "a first byte of 0 gives the empty text";
    s = u"old";
    EXPECT_TRUE(s.SetNarrow("\0abc", 4, kSysEncoded).IsEmpty());
}

// The block loops of the decoder and the encoder handle 8 and 16 units at a
// time; a non-ASCII character at every offset across two blocks, with runs
// before and after it, must come out exactly as written.
TEST_F(EncodingTest, AsciiRunsAroundEveryOffset)
{
    const std::vector<std::pair<std::string, std::u16string>> inserts = {
        {"\xC3\xA9", u"\u00E9"}, {"\xE4\xB8\x80", u"\u4E00"}, {"\xF0\x9F\x98\x80", u"\U0001F600"}, {"\x80", u"?"}};
    for (std::size_t length = 30; length <= 41; length += 11) {
        for (std::size_t at = 0; at <= length; ++at) {
            for (const auto& [bytes, units] : inserts) {
                std::string input(length, 'x');
                std::u16string expected(length, u'x');
                input.insert(at, bytes);
                expected.insert(at, units);
                SCOPED_TRACE(testing::Message() << "length " << length << " at " << at);
                const TXString decoded(input);
                ASSERT_EQ(Units(decoded), expected);
                if (units != u"?") {
                    ASSERT_EQ(decoded.ToStdString(), input) << "round trip";
                }
            }
        }
    }
}

// Latin, Cyrillic and CJK text mix sequences of every length with short
// ASCII stretches, which the decoder and the encoder take in loops of their
// own: random mixes of whole sequences (lenient and stray ones among them)
// must decode as the concatenation of what each gives alone, and encode back
// to each one's well-formed bytes.
TEST_F(EncodingTest, MixedSequencesDecodeAndEncodeAsTheirPieces)
{
    const struct {
        std::string bytes;
        std::u16string units;
        std::string encoded;
    } pieces[] = {
        {"a", u"a", "a"},
        {" ", u" ", " "},
        {"xyz0123", u"xyz0123", "xyz0123"},
        {"\xC3\xA9", u"\u00E9", "\xC3\xA9"},
        {"\xD0\x96", u"\u0416", "\xD0\x96"},
        {"\xDF\xBF", u"\u07FF", "\xDF\xBF"},
        {"\xC3\x41", u"\u00C1", "\xC3\x81"},
        {"\xE4\xB8\x80", u"\u4E00", "\xE4\xB8\x80"},
        {"\xEF\xBF\xBF", u"\uFFFF", "\xEF\xBF\xBF"},
        {"\xE2\x41\x42", u"\x2042", "\xE2\x81\x82"},
        {"\xF0\x9F\x98\x80", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"\x80", u"?", "?"},
        {"\xFF", u"?", "?"},
    };
    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        std::u16string units;
        std::string encoded;
        const std::size_t count = random() % 40;
        for (std::size_t i = 0; i < count; ++i) {
            const auto& piece = pieces[random() % std::size(pieces)];
            input += piece.bytes;
            units += piece.units;
            encoded += piece.encoded;
        }
        const TXString decoded(input);
        ASSERT_EQ(Units(decoded), units) << testing::PrintToString(input);
        ASSERT_EQ(decoded.ToStdString(), encoded) << testing::PrintToString(input);
    }
}

TEST_F(EncodingTest, CodePageDecoding)
{
    EXPECT_EQ(Units(TXString("\x8E", kMacEncoded)), u"\u00E9");
    EXPECT_EQ(Units(TXString("\xBD", kMacEncoded)), u"\u2126") << "the Windows table's Ohm sign";
    EXPECT_EQ(Units(TXString("\x80", kSysEncoded)), u"\u20AC");
    EXPECT_EQ(Units(TXString("\x80", kSysEncodedAlt)), u"\u20AC");
    EXPECT_EQ(Units(TXString("\x80", kUTF16)), u"\u20AC") << "other values read the system code page";
    EXPECT_EQ(Units(TXString("a\0b", 3, kSysEncoded)), std::u16string(u"a\0b", 3));
    TXString appended(u"x");
    appended += "\xC3\xA9";
    EXPECT_EQ(Units(appended), u"x\u00E9") << "appending always reads UTF-8";
}

struct EncodeCase {
    const char* name;
    std::u16string units;
    std::string utf8;
};

TEST_F(EncodingTest, Utf8EncodingMatchesThePlatform)
{
    const std::vector<EncodeCase> table = {
        {"ASCII", u"abc", "abc"},
        {"U+0080", u"\u0080", "\xC2\x80"},
        {"e acute", u"\u00E9", "\xC3\xA9"},
        {"U+07FF", u"\u07FF", "\xDF\xBF"},
        {"U+0800", u"\u0800", "\xE0\xA0\x80"},
        {"U+FFFF", u"\uFFFF", "\xEF\xBF\xBF"},
        {"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"last code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {"lone high at end", u"a\xD800", "a\xEF\xBF\xBD"},
        {"lone low", u"\xDC00" u"b", "\xEF\xBF\xBD" "b"},
        {"high before ASCII", u"\xD83D" u"A", "\xEF\xBF\xBD" "A"},
        {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"stops at NUL", std::u16string(u"a\0b", 3), "a"},
    };
    for (const EncodeCase& c : table) {
        SCOPED_TRACE(c.name);
        const TXString s = Text(c.units);
        EXPECT_EQ(std::string(s.ToNarrow(kUTF8)), c.utf8);
        EXPECT_EQ(std::string(s.ToNarrow(kUTF16)), c.utf8) << "kUTF16 writes UTF-8";

        char platform[64] = {};
        const int n = Platform::WideToMultiByte(Platform::kCodePageUtf8, 0, s.GetData(), -1, platform,
                                                sizeof platform, nullptr);
        ASSERT_GT(n, 0);
        EXPECT_EQ(std::string(platform), c.utf8) << "the platform's UTF-8";
    }
}

// Both encoders, the vector one that ToNarrow picks on this processor and the
// word-at-a-time one other processors run, work through blocks and runs of
// one kind: random mixes of every kind of unit, lone surrogates and a NUL
// among them, must encode as the platform does up to the first NUL.
TEST_F(EncodingTest, Utf8EncodingOfRandomMixesMatchesThePlatform)
{
    // Each round draws from a random subset of the kinds, so runs of one
    // kind (ASCII, Latin, CJK, pairs) fill whole blocks as often as scripts
    // change inside one, and pairs, lone halves and NULs land on every lane.
    const std::u16string kinds[] = {u"a",      u"Z",      u"\x7F",       u"\u0080", u"\u00E9",
                                    u"\u0416", u"\u07FF", u"\u0800",     u"\u4E00\u4E01\u4E02\u4E03\u4E04",
                                    u"\uFFFF", u"\uE000", u"\U0001F600", u"\U00010000\U0010FFFF",
                                    u"\xD800", u"\xDBFF", u"\xDC00",     u"\xDFFF",
                                    std::u16string(1, u'\0')};
    std::mt19937 random(99);
    for (int round = 0; round < 4000; ++round) {
        const auto subset = static_cast<std::uint32_t>(random()) | 1u;
        std::u16string units;
        for (std::size_t i = 0, count = random() % 160; i < count; ++i) {
            const std::size_t kind = random() % std::size(kinds);
            // The NUL comes rarely, so most mixes are long enough for the
            // blocks and the runs to take turns.
            if ((subset >> kind & 1) != 0 && (kinds[kind][0] != u'\0' || random() % 8 == 0))
                units += kinds[kind];
        }
        const auto* wide = reinterpret_cast<const TXChar*>(units.c_str());
        std::string platform(4 * units.size() + 1, '\0');
        Platform::WideToMultiByte(Platform::kCodePageUtf8, 0, wide, -1,
                                  platform.data(), static_cast<int>(platform.size()), nullptr);
        platform.resize(std::strlen(platform.c_str()));
        std::string portable(3 * units.size() + 1, '\x55');
        portable.resize(TXStringDetail::EncodeUtf8Portable(wide, units.size(), portable.data()));
        ASSERT_EQ(portable, platform) << round;
        ASSERT_EQ(std::string(Text(units).ToNarrow(kUTF8)), platform) << round;
    }
}

TEST_F(EncodingTest, CodePageEncoding)
{
    EXPECT_STREQ(TXString(u"\u20AC").ToNarrow(kSysEncoded), "\x80");
    EXPECT_STREQ(TXString(u"a\u4E00").ToNarrow(kSysEncoded), "a?");
    EXPECT_STREQ(TXString(u"\u00E9").ToNarrow(kMacEncoded), "\x8E");
    EXPECT_STREQ(TXString(u"\u2126").ToNarrow(kMacEncoded), "\xBD");
    EXPECT_STREQ(Text(std::u16string(u"a\0b", 3)).ToNarrow(kSysEncodedAlt), "a");
}

TEST_F(EncodingTest, NarrowBufferReuseAndGrowth)
{
    TXString s(u"\u00E9");
    const char* first = s.ToNarrow();
    EXPECT_STREQ(first, "\xC3\xA9");
    EXPECT_EQ(s.GetNarrowCapacity(), 5);

    s = u"z";
    EXPECT_EQ(s.ToNarrow(), first) << "a text that fits reuses the buffer";
    EXPECT_EQ(s.GetNarrowCapacity(), 5);

    s = u"abc";
    EXPECT_STREQ(s.ToNarrow(), "abc");
    EXPECT_EQ(s.GetNarrowCapacity(), 13);
    const char* grown = s.ToNarrow();

    s = u"";
    EXPECT_EQ(s.ToNarrow(), grown) << "the buffer never shrinks";
    EXPECT_STREQ(s.ToNarrow(), "");
    EXPECT_EQ(s.GetNarrowCapacity(), 13);

    TXString empty;
    EXPECT_STREQ(empty.ToNarrow(), "");
    EXPECT_EQ(empty.GetNarrowCapacity(), 1);

    TXString edited(u"abc");
    const char* stale = edited.ToNarrow();
    edited += u"def";
    EXPECT_STREQ(stale, "abc") << "editing leaves the buffer stale, not freed";
}

TEST_F(EncodingTest, NarrowCapacityOverflowIsALengthError)
{
    // 4 x 536870912 + 1 bytes no longer fit the 32-bit capacity; a wrapped
    // size would buy a short buffer.
    TXString huge(std::uint64_t{536870912});
    try {
        huge.ToNarrow();
        FAIL() << "no length error";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), kStringTooLong);
    }
    EXPECT_EQ(huge.GetNarrowCapacity(), 0) << "nothing was allocated";
    EXPECT_THROW(huge.GetCountedNarrow(), std::length_error);
    EXPECT_THROW(huge.GetEncodedLength(kUTF16), std::length_error) << "a length in units fills the buffer too";
}

TEST_F(EncodingTest, EveryEncodingRequestFillsTheNarrowBuffer)
{
    const std::vector<std::pair<const char*, std::function<void(const TXString&)>>> requests = {
        {"ToNarrow", [](const TXString& s) { s.ToNarrow(kMacEncoded); }},
        {"GetCountedNarrow", [](const TXString& s) { s.GetCountedNarrow(); }},
        {"GetEncodedLength UTF-16", [](const TXString& s) { EXPECT_EQ(s.GetEncodedLength(kUTF16), 4u); }},
        {"GetEncodedLength UTF-8", [](const TXString& s) { EXPECT_EQ(s.GetEncodedLength(kUTF8), 5u); }},
        {"GetEncodedLength system", [](const TXString& s) { EXPECT_EQ(s.GetEncodedLength(kSysEncoded), 4u); }},
        {"ToStdString", [](const TXString& s) { s.ToStdString(kSysEncodedAlt); }},
        {"CopyToBuffer", [](const TXString& s) { char out[2]; s.CopyToBuffer(out, sizeof out); }},
        {"CopyToCountedBuffer",
         [](const TXString& s) { unsigned char out[2]; s.CopyToCountedBuffer(out, sizeof out, kUTF16); }},
    };
    for (const auto& [name, request] : requests) {
        SCOPED_TRACE(name);
        const TXString s(u"caf\u00E9");
        request(s);
        EXPECT_EQ(s.GetNarrowCapacity(), 17) << "4 x 4 units + 1";
    }
}

TEST_F(EncodingTest, CopyOutBounds)
{
    const TXString abcdef(u"abcdef");
    char buffer[8];
    auto copied = [&](const TXString& s, std::size_t size, TXEncoding encoding = kUTF8) {
        std::fill(std::begin(buffer), std::end(buffer), '#');
        s.CopyToBuffer(buffer, size, encoding);
        return std::string(buffer, sizeof buffer);
    };
    EXPECT_EQ(copied(abcdef, 4), std::string("abc\0####", 8));
    EXPECT_EQ(copied(abcdef, 8), std::string("abcdef\0#", 8));
    EXPECT_EQ(copied(abcdef, 1), std::string("\0#######", 8));
    EXPECT_EQ(copied(abcdef, 0), "########");
    EXPECT_EQ(copied(TXString(u"\u00E9"), 2), std::string("\xC3\0######", 8)) << "may cut a sequence";
    EXPECT_EQ(copied(TXString(u"\u20AC"), 3, kSysEncoded), std::string("\x80\0######", 8));
    abcdef.CopyToBuffer(nullptr, 10);

    unsigned char counted[8];
    auto countedCopy = [&](const TXString& s, std::size_t size) {
        std::fill(std::begin(counted), std::end(counted), '#');
        s.CopyToCountedBuffer(counted, size);
        return std::string(reinterpret_cast<char*>(counted), sizeof counted);
    };
    EXPECT_EQ(countedCopy(abcdef, 4), std::string("\x03" "abc####", 8));
    EXPECT_EQ(countedCopy(abcdef, 8), std::string("\x06" "abcdef#", 8));
    EXPECT_EQ(countedCopy(abcdef, 1), std::string("\0#######", 8));
    EXPECT_EQ(countedCopy(abcdef, 0), "########");

    std::vector<unsigned char> large(400, '#');
    const TXString threeHundred(std::string(300, 'x'));
    threeHundred.CopyToCountedBuffer(large.data(), large.size());
    EXPECT_EQ(large[0], 255);
    EXPECT_EQ(large[255], 'x');
    EXPECT_EQ(large[256], '#');
    EXPECT_EQ(threeHundred.GetCountedNarrow()[0], 255);

    char16_t units[5];
    std::fill(std::begin(units), std::end(units), u'#');
    abcdef.CopyToBuffer16(units, 4);
    EXPECT_EQ(std::u16string(units, 5), std::u16string(u"abc\0#", 5));
    abcdef.CopyToBuffer16(units, 0);
    EXPECT_EQ(units[0], u'a');
    unsigned short shortUnits[2] = {7, 7};
    TXString(u"\U0001F600").CopyToBuffer16(shortUnits, 2);
    EXPECT_EQ(shortUnits[0], 0xD83D) << "no surrogate care";
    EXPECT_EQ(shortUnits[1], 0);
}

TEST_F(EncodingTest, LengthsAndStandardStrings)
{
    const TXString s(u"a\u00E9\U0001F600");
    EXPECT_EQ(s.GetEncodedLength(kUTF16), 4u);
    EXPECT_EQ(s.GetEncodedLength(kUTF8), 7u);
    const TXString cjk(u"a\u00E9\u4E00");
    EXPECT_EQ(cjk.GetEncodedLength(kSysEncoded), 3u);
    EXPECT_EQ(Text(std::u16string(u"ab\0cd", 5)).GetEncodedLength(), 2u) << "up to the first NUL";
    EXPECT_EQ(s.ToStdString(), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(cjk.ToStdString(kSysEncoded), "a\xE9?");
    const TXString acute(u"\u00E9");
    const unsigned char* counted = acute.GetCountedNarrow();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(counted), 3), "\x02\xC3\xA9");
}

TEST_F(EncodingTest, Normalization)
{
    struct Case {
        const char* name;
        std::u16string input;
        std::u16string composed;
        std::u16string decomposed;
    };
    const std::vector<Case> table = {
        {"ASCII", u"plain", u"plain", u"plain"},
        {"e and acute", u"e\u0301", u"\u00E9", u"e\u0301"},
        {"precomposed", u"\u00E9t\u00E9", u"\u00E9t\u00E9", u"e\u0301te\u0301"},
        {"mark order", u"a\u0301\u0323", u"\u1EA1\u0301", u"a\u0323\u0301"},
        {"Hangul", u"\uAC00", u"\uAC00", u"\u1100\u1161"},
        {"empty", u"", u"", u""},
        {"lone surrogate left alone", u"e\u0301\xD800", u"e\u0301\xD800", u"e\u0301\xD800"},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Units(Text(c.input).NormalizeComposed()), c.composed);
        EXPECT_EQ(Units(Text(c.input).NormalizeDecomposed()), c.decomposed);
    }

    TXString normalized(u"d\u00E9j\u00E0 vu, long enough to live on the heap");
    const TXChar* buffer = normalized.GetData();
    const AllocationWindow window;
    normalized.NormalizeComposed();
    EXPECT_EQ(window.News(), 0u) << "normalized text allocates nothing";
    EXPECT_EQ(normalized.GetData(), buffer);
}

// Texts whose stable prefix ends right before a mark that combines with the
// last stable character, or that holds characters the quick check leaves to
// the platform.
TEST_F(EncodingTest, NormalizationAcrossTheStablePrefix)
{
    struct Case {
        const char* name;
        std::u16string input;
        std::u16string composed;
        std::u16string decomposed;
    };
    const std::vector<Case> table = {
        {"Cyrillic then breve", u"\u041F\u0440\u0438\u0432\u0435\u0442 \u0438\u0306",
         u"\u041F\u0440\u0438\u0432\u0435\u0442 \u0439", u"\u041F\u0440\u0438\u0432\u0435\u0442 \u0438\u0306"},
        {"CJK then e acute", u"\u6771\u4EACe\u0301", u"\u6771\u4EAC\u00E9", u"\u6771\u4EACe\u0301"},
        {"kana and voicing mark", u"\u304B\u3099", u"\u304C", u"\u304B\u3099"},
        {"emoji then mark", u"\U0001F600\u0301", u"\U0001F600\u0301", u"\U0001F600\u0301"},
        {"Hangul syllable and final", u"\uAC00\u11A8", u"\uAC01", u"\u1100\u1161\u11A8"},
        {"singleton", u"ab\u2126", u"ab\u03A9", u"ab\u03A9"},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Units(Text(c.input).NormalizeComposed()), c.composed);
        EXPECT_EQ(Units(Text(c.input).NormalizeDecomposed()), c.decomposed);
    }
}

/// The Unicode Character Database files that the quick check's tables come
/// from, as Debian's unicode-data package installs them.
constexpr char kNormalizationProps[] = "/usr/share/unicode/DerivedNormalizationProps.txt";
constexpr char kUnicodeData[] = "/usr/share/unicode/UnicodeData.txt";

/// Code points listed with `property` (any value) in DerivedNormalizationProps.
std::set<char32_t> ListedWith(const std::string& property)
{
    std::set<char32_t> listed;
    std::ifstream in(kNormalizationProps);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string range;
        std::string name;
        std::getline(fields, range, ';');
        std::getline(fields, name, ';');
        if (name.find(property) == std::string::npos || name.find_first_not_of(' ') == std::string::npos)
            continue;
        const std::size_t dots = range.find("..");
        const char32_t first = static_cast<char32_t>(std::stoul(range, nullptr, 16));
        const char32_t last =
            dots == std::string::npos ? first : static_cast<char32_t>(std::stoul(range.substr(dots + 2), nullptr, 16));
        for (char32_t c = first; c <= last; ++c)
            listed.insert(c);
    }
    return listed;
}

TEST_F(EncodingTest, QuickCheckTablesAgreeWithTheCharacterDatabase)
{
    // Assigned code points with combining class 0 (ranges given as First/Last pairs).
    std::set<char32_t> starters;
    std::ifstream data(kUnicodeData);
    ASSERT_TRUE(data) << kUnicodeData << " (Debian package unicode-data)";
    std::string line;
    char32_t rangeFirst = 0;
    while (std::getline(data, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, ';');)
            fields.push_back(field);
        ASSERT_GE(fields.size(), 4u);
        const char32_t cp = static_cast<char32_t>(std::stoul(fields[0], nullptr, 16));
        if (fields[1].find(", First>") != std::string::npos) {
            rangeFirst = cp;
            continue;
        }
        const char32_t first = fields[1].find(", Last>") != std::string::npos ? rangeFirst : cp;
        if (fields[3] == "0") {
            for (char32_t c = first; c <= cp; ++c)
                starters.insert(c);
        }
    }
    const std::set<char32_t> notYesC = ListedWith("NFC_QC");
    const std::set<char32_t> notYesD = ListedWith("NFD_QC");
    ASSERT_FALSE(notYesC.empty()) << kNormalizationProps;

    std::size_t stableC = 0;
    std::size_t stableD = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const bool composed = TXStringDetail::IsStableInForm(true, c);
        const bool decomposed = TXStringDetail::IsStableInForm(false, c);
        if (!composed && !decomposed)
            continue;
        ASSERT_TRUE(starters.count(c)) << std::hex << "U+" << static_cast<unsigned long>(c);
        ASSERT_FALSE(composed && notYesC.count(c)) << std::hex << "U+" << static_cast<unsigned long>(c);
        ASSERT_FALSE(decomposed && notYesD.count(c)) << std::hex << "U+" << static_cast<unsigned long>(c);
        stableC += composed;
        stableD += decomposed;
    }
    EXPECT_GT(stableC, 50000u) << "the common scripts are covered";
    EXPECT_GT(stableD, 35000u);
}

} // namespace
