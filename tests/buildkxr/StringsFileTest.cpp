// Tests of the strings-file parser: one table of inputs with the expected
// table or the expected message and line, grouped by the parser state the
// input exercises, plus the in-place layout, the ordering and merging of the
// table, and scans that straddle word boundaries.
#include "buildkxr/StringsFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::u16string>>;

struct ParseCase {
    const char* name;
    std::u16string input;
    Entries entries;               // expected table when `message` is null
    const char* message = nullptr; // expected failure
    int line = 0;
    bool alsoCrLf = true;          // the same result with every LF written as CR LF
};

// Failure output names the case rather than dumping its bytes.
void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<char16_t> BufferOf(const std::u16string& units)
{
    return std::vector<char16_t>(units.begin(), units.end());
}

std::u16string WithCrLf(const std::u16string& text)
{
    std::u16string out;
    for (char16_t unit : text) {
        if (unit == u'\n')
            out += u'\r';
        out += unit;
    }
    return out;
}

Entries Contents(const StringTable& table)
{
    Entries out;
    for (const StringTable::Entry& entry : table)
        out.emplace_back(entry.key, std::u16string(entry.value));
    return out;
}

struct Outcome {
    bool ok;
    Entries entries;
    StringsParseError error;
};

Outcome Parse(std::vector<char16_t> buffer, std::size_t byteLength)
{
    // The check-only parse must reach the same verdict and leave the buffer
    // as it was.
    const std::vector<char16_t> original = buffer;
    StringsParseError checkError;
    const bool checked = CheckStringsBuffer(buffer.empty() ? nullptr : buffer.data(), byteLength, &checkError);
    EXPECT_EQ(buffer, original);

    StringTable table;
    StringsParseError error;
    const bool ok = ParseStringsBuffer(buffer.empty() ? nullptr : buffer.data(), byteLength, table, &error);
    EXPECT_EQ(checked, ok);
    if (!ok && !checked) {
        EXPECT_EQ(checkError.message, error.message);
        EXPECT_EQ(checkError.line, error.line);
    }
    return {ok, ok ? Contents(table) : Entries{}, error};
}

Outcome Parse(const std::u16string& units)
{
    return Parse(BufferOf(units), units.size() * sizeof(char16_t));
}

void Expect(const ParseCase& c, const Outcome& got, const char* variant)
{
    SCOPED_TRACE(std::string(c.name) + " (" + variant + ")");
    if (c.message == nullptr) {
        EXPECT_TRUE(got.ok) << "failed with " << (got.error.message ? got.error.message : "?") << " at line "
                            << got.error.line;
        EXPECT_EQ(got.entries, c.entries);
    } else {
        ASSERT_FALSE(got.ok);
        EXPECT_STREQ(got.error.message, c.message);
        EXPECT_EQ(got.error.line, c.line);
    }
}

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, GivesExpectedTableOrFault)
{
    const ParseCase& c = GetParam();
    Expect(c, Parse(c.input), "LF");
    if (c.alsoCrLf)
        Expect(c, Parse(WithCrLf(c.input)), "CR LF");
    // The byte-order mark changes nothing.
    Expect(c, Parse(u"\uFEFF" + c.input), "BOM");
}

std::string CaseName(const ::testing::TestParamInfo<ParseCase>& info)
{
    return info.param.name;
}

// --- Between entries: ExpectKey -----------------------------------------
const ParseCase kExpectKeyCases[] = {
    {"Empty", u"", {}},
    {"OnlyBlankAndComments", u"\n \t\r\n// dialog titles\n//\n  // more\n", {}},
    {"CommentRunsToEndOfFile", u"\"a\" = \"b\"; // no line feed after me", {{"a", u"b"}}},
    {"CommentSlashesInsideIgnoreQuotes", u"// \"x\" = \"y\";\n", {}},
    {"Letter", u"title = \"x\";", {}, kStringsErrorKeyOpenQuote, 1},
    {"LoneSlash", u"/ \"a\" = \"b\";", {}, kStringsErrorKeyOpenQuote, 1},
    {"SlashAtEnd", u"\n\n/", {}, kStringsErrorKeyOpenQuote, 3},
    {"ByteOrderMarkLaterIsACharacter", u" \uFEFF", {}, kStringsErrorKeyOpenQuote, 1},
    {"VerticalTabIsNotBlank", u"\v\"a\" = \"b\";", {}, kStringsErrorKeyOpenQuote, 1},
    {"NoBreakSpaceIsNotBlank", u"\u00A0\"a\" = \"b\";", {}, kStringsErrorKeyOpenQuote, 1},
    {"FaultAfterEntriesReportsItsLine", u"\"a\" = \"b\";\n\"c\" = \"d\";\n\n  x", {}, kStringsErrorKeyOpenQuote, 4},
};
INSTANTIATE_TEST_SUITE_P(ExpectKey, ParseTable, ::testing::ValuesIn(kExpectKeyCases), CaseName);

// --- Inside a key: InKey ---------------------------------------------------
const ParseCase kInKeyCases[] = {
    {"BackslashIsLiteral", u"\"a\\n\" = \"v\";", {{"a\\n", u"v"}}},
    {"NoEscapeForQuote", u"\"a\\\" = \"v\";", {{"a\\", u"v"}}},
    {"SlashesAreKeyText", u"\"a//b\" = \"v\";", {{"a//b", u"v"}}},
    {"CarriageReturnIsKeyText", u"\"a\rb\" = \"v\";", {{"a\rb", u"v"}}},
    {"EmptyKey", u"\"\" = \"v\";", {{"", u"v"}}},
    {"KeyKeepsLow8Bits", u"\"\u0141\u00E9\" = \"v\";", {{"A\xE9", u"v"}}},
    {"LineFeedInKey", u"\n\"ab\ncd\" = \"v\";", {}, kStringsErrorKeyEndOfLine, 2},
    {"EndInKey", u"\n\"abc", {}, kStringsErrorEndOfFile, 2},
};
INSTANTIATE_TEST_SUITE_P(InKey, ParseTable, ::testing::ValuesIn(kInKeyCases), CaseName);

// --- Between key and equal sign: ExpectEquals ---------------------------
const ParseCase kExpectEqualsCases[] = {
    {"NoBlankAnywhere", u"\"a\"=\"b\";", {{"a", u"b"}}},
    {"CommentsBetweenEveryToken",
     u"// head\n\"a\" // k\n = // e\n \"b\" // v\n ; // end\n",
     {{"a", u"b"}}},
    {"MissingEquals", u"\"k\" \"v\";", {}, kStringsErrorEquals, 1},
    {"LoneSlash", u"\"k\" / = \"v\";", {}, kStringsErrorEquals, 1},
    {"Colon", u"\"k\"\n:\n\"v\";", {}, kStringsErrorEquals, 2},
    {"EndAfterKey", u"\"k\"\n", {}, kStringsErrorEndOfFile, 2},
    {"EndInComment", u"\"k\" // c", {}, kStringsErrorEndOfFile, 1},
};
INSTANTIATE_TEST_SUITE_P(ExpectEquals, ParseTable, ::testing::ValuesIn(kExpectEqualsCases), CaseName);

// --- Between equal sign and value: ExpectValue --------------------------
const ParseCase kExpectValueCases[] = {
    {"CommentBeforeValue", u"\"k\" = // c\n\"v\";", {{"k", u"v"}}},
    {"UnquotedValue", u"\"k\" = v;", {}, kStringsErrorValueOpenQuote, 1},
    {"LoneSlash", u"\"k\" = /\"v\";", {}, kStringsErrorValueOpenQuote, 1},
    {"EndAfterEquals", u"\"k\" =\n\n", {}, kStringsErrorEndOfFile, 3},
    {"EndInComment", u"\"k\" = // c", {}, kStringsErrorEndOfFile, 1},
    {"EndAfterOpenQuote", u"\"k\" = \"", {}, kStringsErrorEndOfFile, 1},
};
INSTANTIATE_TEST_SUITE_P(ExpectValue, ParseTable, ::testing::ValuesIn(kExpectValueCases), CaseName);

// --- Inside a value segment: InValue ------------------------------------
const ParseCase kInValueCases[] = {
    {"TwoEntries",
     u"// dialog titles\n\"title\" = \"Encrypt Plug-ins\";\n\"hint\" = \"Choose a folder\\n\" \"of plug-ins\";\n",
     {{"hint", u"Choose a folder\nof plug-ins"}, {"title", u"Encrypt Plug-ins"}}},
    {"EmptyValue", u"\"k\" = \"\";", {{"k", u""}}},
    {"SlashesAreValueText", u"\"k\" = \"http://x\";", {{"k", u"http://x"}}},
    {"NamedEscapes", u"\"k\" = \"a\\nb\\rc\\td\";", {{"k", u"a\nb\rc\td"}}},
    {"QuoteEscapes", u"\"k\" = \"a\\qb\\\"c\";", {{"k", u"a\"b\"c"}}},
    {"OtherEscapesGiveTheLetter", u"\"k\" = \"\\z\\\\\\/\\a\";", {{"k", u"z\\/a"}}},
    {"BackslashLineFeedContinues", u"\"k\" = \"a\\\nb\";\nx", {}, kStringsErrorKeyOpenQuote, 3, false},
    {"BackslashLineFeedValue", u"\"k\" = \"a\\\nb\";", {{"k", u"a\nb"}}, nullptr, 0, false},
    {"BackslashCarriageReturnThenLineFeed", u"\"k\" = \"a\\\r\nb\";", {}, kStringsErrorValueEndOfLine, 1, false},
    {"BackslashLastUnit", u"\"k\" = \"a\\", {}, kStringsErrorEndOfFile, 1},
    {"LineFeedInValueReportsOpeningLine", u"\n\"k\" = \"ab\ncd\";", {}, kStringsErrorValueEndOfLine, 2},
    {"EndInValue", u"\"k\" = \"abc", {}, kStringsErrorEndOfFile, 1},
    {"LastValueWins", u"\"k\" = \"v\";\n\"j\" = \"x\";\n\"k\" = \"w\";", {{"j", u"x"}, {"k", u"w"}}},
};
INSTANTIATE_TEST_SUITE_P(InValue, ParseTable, ::testing::ValuesIn(kInValueCases), CaseName);

// --- The \x escape ---------------------------------------------------------
const ParseCase kHexCases[] = {
    {"Letter", u"\"k\" = \"\\x0041\";", {{"k", u"A"}}},
    {"LowerCaseDigits", u"\"k\" = \"\\x00e9\\xffff\";", {{"k", u"\u00E9\uFFFF"}}},
    {"StopsAtNonDigit", u"\"k\" = \"\\x12zz\";", {{"k", u"\u0012"}}},
    {"LeadingBlankAndSign", u"\"k\" = \"\\x  41\\x+041\";", {{"k", u"AA"}}},
    {"MinusNegates", u"\"k\" = \"\\x-001\";", {{"k", u"\uFFFF"}}},
    {"HexPrefixBeforeDigit", u"\"k\" = \"\\x0x41\";", {{"k", u"A"}}},
    {"HexPrefixWithoutDigit", u"\"k\" = \"\\x0xzz\";", {}, kStringsErrorHexValue, 1},
    {"NoDigits", u"\n\"k\" = \"\\xzzzz\";", {}, kStringsErrorHexValue, 2},
    {"ZeroFromOtherText", u"\"k\" = \"\\x+000\";", {}, kStringsErrorHexValue, 1},
    {"AllZerosEndsValue", u"\"k\" = \"a\\x0000b\";", {{"k", u"a"}}},
    {"DigitsAreLow8Bits", u"\"k\" = \"a\\x\u0130\u0130\u0134\u0131\";", {{"k", u"aA"}}},
    {"TakesFourUnitsWhateverTheyAre", u"\"k\" = \"\\x41\";\n\";", {}, kStringsErrorValueEndOfLine, 1},
    {"CountsLineFeedsItConsumes", u"\"k\" = \"\\x1\n23\";\nx", {}, kStringsErrorKeyOpenQuote, 3, false},
    {"TooFewUnits", u"\"k\" = \"\\x123", {}, kStringsErrorHexAtEnd, 1},
    {"LastTwoUnits", u"\n\"k\" = \"\\x", {}, kStringsErrorHexAtEnd, 2},
};
INSTANTIATE_TEST_SUITE_P(HexEscape, ParseTable, ::testing::ValuesIn(kHexCases), CaseName);

// --- After a value segment: AfterValue ----------------------------------
const ParseCase kAfterValueCases[] = {
    {"SegmentsJoin", u"\"k\" = \"one\" \"two\";", {{"k", u"onetwo"}}},
    {"CommentBetweenSegments", u"\"k\" = \"one\" // note\n\"two\";", {{"k", u"onetwo"}}},
    {"EscapesAcrossSegments", u"\"k\" = \"a\\tb\"\n  \"c\\nd\" \"e\";", {{"k", u"a\tbc\nde"}}},
    {"MissingSemicolonAtEnd", u"\"k\" = \"v\"\n\n", {}, kStringsErrorEndOfFile, 3},
    {"MissingSemicolonNoLineFeed", u"\"a\" = \"b\";\n\"k\" = \"v\"", {}, kStringsErrorEndOfFile, 2},
    {"EndInComment", u"\"k\" = \"v\" // c", {}, kStringsErrorEndOfFile, 1},
    {"WrongCharacter", u"\"k\" = \"v\"\n,", {}, kStringsErrorSemicolon, 2},
    {"LoneSlash", u"\"k\" = \"v\" /;", {}, kStringsErrorSemicolon, 1},
};
INSTANTIATE_TEST_SUITE_P(AfterValue, ParseTable, ::testing::ValuesIn(kAfterValueCases), CaseName);

TEST(ParseBytes, OnlyTheByteOrderMark)
{
    EXPECT_TRUE(Parse(std::u16string(u"\uFEFF")).ok);
    EXPECT_TRUE(Parse(std::u16string(u"\uFEFF")).entries.empty());
}

TEST(ParseBytes, SecondByteOrderMarkIsAnError)
{
    const Outcome got = Parse(std::u16string(u"\uFEFF\uFEFF"));
    ASSERT_FALSE(got.ok);
    EXPECT_STREQ(got.error.message, kStringsErrorKeyOpenQuote);
}

TEST(ParseBytes, OddTrailingByteIsIgnored)
{
    // The same units with one byte more: a lone ';' byte completes nothing.
    const std::u16string complete = u"\"k\" = \"v\";";
    std::vector<char16_t> buffer = BufferOf(complete + u"x");
    Outcome got = Parse(buffer, complete.size() * sizeof(char16_t) + 1);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.entries, (Entries{{"k", u"v"}}));

    const std::u16string open = u"\"k\" = \"v\"";
    got = Parse(BufferOf(open + u";"), open.size() * sizeof(char16_t) + 1);
    ASSERT_FALSE(got.ok);
    EXPECT_STREQ(got.error.message, kStringsErrorEndOfFile);

    EXPECT_TRUE(Parse(BufferOf(u"x"), 1).ok);
}

TEST(ParseBytes, EightBitTextFailsAtFirstPair)
{
    const char text[] = "\"title\" = \"x\";\n";
    std::vector<char16_t> buffer((sizeof text) / 2);
    std::memcpy(buffer.data(), text, buffer.size() * 2);
    const Outcome got = Parse(buffer, buffer.size() * 2);
    ASSERT_FALSE(got.ok);
    EXPECT_STREQ(got.error.message, kStringsErrorKeyOpenQuote);
    EXPECT_EQ(got.error.line, 1);
}

TEST(ParseInPlace, KeysAndValuesStartAtTheirFirstCharacter)
{
    // "ab" = "c\td" "e";  -> key at unit 1, value at unit 8, compacted there.
    std::vector<char16_t> buffer = BufferOf(u"\"ab\" = \"c\\td\" \"e\";");
    StringTable table;
    ASSERT_TRUE(ParseStringsBuffer(buffer.data(), buffer.size() * 2, table, nullptr));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.begin()->key, reinterpret_cast<const char*>(buffer.data() + 1));
    EXPECT_EQ(table.begin()->value, buffer.data() + 8);
    EXPECT_EQ(std::memcmp(buffer.data() + 1, "ab", 3), 0);
    EXPECT_EQ(std::u16string(buffer.data() + 8), u"c\tde");
}

TEST(ParseInPlace, RunsAcrossWordBoundaries)
{
    // Stops (quote, backslash, line feed) at every offset within the 4-unit
    // words the scanner reads, with and without compaction in progress.
    for (std::size_t pad = 0; pad < 4; ++pad) {
        for (std::size_t before = 0; before < 11; ++before) {
            for (std::size_t after = 0; after < 11; ++after) {
                const std::u16string a(before, u'a'), b(after, u'b');
                const std::u16string text =
                    std::u16string(pad, u' ') + u"\"" + a + u"\" = \"" + a + u"\\t" + b + u"\" \"" + b + u"\";";
                SCOPED_TRACE(testing::Message() << pad << " " << before << " " << after);
                const Outcome got = Parse(text);
                ASSERT_TRUE(got.ok);
                EXPECT_EQ(got.entries, (Entries{{std::string(before, 'a'), a + u"\t" + b + b}}));

                const Outcome broken = Parse(std::u16string(pad, u'\n') + u"\"k\" = \"" + a + u"\n" + b + u"\";");
                ASSERT_FALSE(broken.ok);
                EXPECT_STREQ(broken.error.message, kStringsErrorValueEndOfLine);
                EXPECT_EQ(broken.error.line, static_cast<int>(pad) + 1);
            }
        }
    }
}

TEST(ParseTableOrder, KeysAreOrderedByUnsignedBytes)
{
    const Outcome got = Parse(std::u16string(u"\"b\"=\"1\"; \"\u00C4\"=\"2\"; \"ab\"=\"3\"; \"a\"=\"4\"; \"A\"=\"5\";"));
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.entries, (Entries{{"A", u"5"}, {"a", u"4"}, {"ab", u"3"}, {"b", u"1"}, {"\xC4", u"2"}}));
}

TEST(ParseTableOrder, LaterParseReplacesEqualKeysAndMergesOthers)
{
    std::vector<char16_t> first = BufferOf(u"\"m\"=\"old\"; \"a\"=\"1\"; \"z\"=\"2\";");
    std::vector<char16_t> second = BufferOf(u"\"m\"=\"new\"; \"b\"=\"3\"; \"b\"=\"4\";");
    StringTable table;
    ASSERT_TRUE(ParseStringsBuffer(first.data(), first.size() * 2, table, nullptr));
    ASSERT_TRUE(ParseStringsBuffer(second.data(), second.size() * 2, table, nullptr));
    EXPECT_EQ(Contents(table), (Entries{{"a", u"1"}, {"b", u"4"}, {"m", u"new"}, {"z", u"2"}}));
}

TEST(ParseTableOrder, LargeTablesOrderLikeAnOrderedMap)
{
    // Enough entries for the radix path, with keys that tie on their first 8
    // bytes, keys shorter than that, bytes above 0x7F and repeated keys.
    const char* const shapes[] = {"IDS_DIALOG_TITLE_", "IDS_DIALOG_", "k", "\xE9t\xE9", "", "menu.item."};
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    std::u16string text;
    std::map<std::string, std::u16string> expected;
    for (int i = 0; i < 20000; ++i) {
        std::string key = shapes[next() % 6];
        for (std::uint32_t n = next() % 4000; n != 0; n /= 7)
            key += static_cast<char>('0' + n % 7);
        std::u16string value = u"v";
        value += static_cast<char16_t>(u'a' + next() % 26);
        value += static_cast<char16_t>(0x4E00 + i % 1000);
        text += u"\"";
        for (char c : key)
            text += static_cast<char16_t>(static_cast<unsigned char>(c));
        text += u"\" = \"";
        text += value;
        text += u"\";\n";
        expected[key] = value;
    }
    ASSERT_GT(expected.size(), 4096u);
    const Entries ordered(expected.begin(), expected.end());

    std::vector<char16_t> buffer = BufferOf(text);
    StringTable table;
    ASSERT_TRUE(ParseStringsBuffer(buffer.data(), buffer.size() * 2, table, nullptr));
    EXPECT_EQ(Contents(table), ordered);
    for (const auto& [key, value] : expected)
        ASSERT_EQ(std::u16string(table.Find(key)), value) << key;

    // The same entries already in key order take the path without sorting.
    text.clear();
    for (const auto& [key, value] : expected) {
        text += u"\"";
        for (char c : key)
            text += static_cast<char16_t>(static_cast<unsigned char>(c));
        text += u"\"=\"";
        text += value;
        text += u"\";";
    }
    buffer = BufferOf(text);
    table.clear();
    ASSERT_TRUE(ParseStringsBuffer(buffer.data(), buffer.size() * 2, table, nullptr));
    EXPECT_EQ(Contents(table), ordered);
}

TEST(ParseTableOrder, FindLooksUpWholeKeys)
{
    std::vector<char16_t> buffer = BufferOf(u"\"ab\"=\"1\"; \"a\"=\"2\"; \"\"=\"3\";");
    StringTable table;
    ASSERT_TRUE(ParseStringsBuffer(buffer.data(), buffer.size() * 2, table, nullptr));
    EXPECT_EQ(std::u16string(table.Find("a")), u"2");
    EXPECT_EQ(std::u16string(table.Find("ab")), u"1");
    EXPECT_EQ(std::u16string(table.Find("")), u"3");
    EXPECT_EQ(table.Find("abc"), nullptr);
    EXPECT_EQ(table.Find("b"), nullptr);
}

TEST(ParseFailure, KeepsEarlierEntriesOrderedAndFillsOnlyGivenOutputs)
{
    std::vector<char16_t> buffer = BufferOf(u"\"b\"=\"1\";\n\"a\"=\"2\";\n\"c\" x");
    StringTable table;
    const char* message = nullptr;
    ASSERT_FALSE(ParseStringsBuffer(buffer.data(), buffer.size() * 2, table, &message, nullptr));
    EXPECT_STREQ(message, kStringsErrorEquals);
    EXPECT_EQ(Contents(table), (Entries{{"a", u"2"}, {"b", u"1"}}));

    int line = 0;
    table.clear(); // its entries point into the buffer about to be replaced
    buffer = BufferOf(u"\"b\"=\"1\";\n\"a\"=\"2\";\n\"c\" x");
    ASSERT_FALSE(ParseStringsBuffer(buffer.data(), buffer.size() * 2, table, nullptr, &line));
    EXPECT_EQ(line, 3);
}

} // namespace
