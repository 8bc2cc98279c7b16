// Unit tests of the platform text services (Text.h). The expectations are
// Windows' answers, so the same tables pass on Linux (ICU) and on Windows (the
// Win32 calls, run under Wine).
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Platform::WideChar;
using Text = std::basic_string<WideChar>;

constexpr unsigned kLocaleFlags = 0x21000;      // NORM_IGNOREWIDTH | SORT_STRINGSORT
constexpr unsigned kMbErrInvalidChars = 0x8;

Text T(const char16_t* s)
{
    Text out;
    for (; *s; ++s)
        out += static_cast<WideChar>(*s);
    return out;
}

int Sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

/// Decodes with a size query first, as callers do; "fail" as a single 0 unit
/// is impossible, so an empty result with `ok` false marks failure.
Text Decode(unsigned codePage, unsigned flags, const std::string& bytes, bool& ok)
{
    const int count = static_cast<int>(bytes.size());
    const int needed = Platform::MultiByteToWide(codePage, flags, bytes.data(), count, nullptr, 0);
    Text out(static_cast<std::size_t>(needed > 0 ? needed : 0), WideChar{0});
    ok = needed > 0 && Platform::MultiByteToWide(codePage, flags, bytes.data(), count, out.data(), needed) == needed;
    return out;
}

std::string Encode(unsigned codePage, unsigned flags, const Text& units, const char* defaultChar, bool& ok)
{
    const int count = static_cast<int>(units.size());
    const int needed = Platform::WideToMultiByte(codePage, flags, units.data(), count, nullptr, 0, defaultChar);
    std::string out(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    ok = needed > 0 &&
         Platform::WideToMultiByte(codePage, flags, units.data(), count, out.data(), needed, defaultChar) == needed;
    return out;
}

// ---------------------------------------------------------------------------
// Code pages

struct ByteMapping {
    unsigned codePage;
    unsigned char byte;
    WideChar unit;
};

class SingleByteMappingTest : public ::testing::TestWithParam<ByteMapping> {};

TEST_P(SingleByteMappingTest, DecodesAndEncodesBack)
{
    const ByteMapping& m = GetParam();
    const char byte = static_cast<char>(m.byte);
    WideChar unit = 0;
    ASSERT_EQ(Platform::MultiByteToWide(m.codePage, Platform::kPrecomposed, &byte, 1, &unit, 1), 1);
    EXPECT_EQ(unit, m.unit);
    char back = 0;
    ASSERT_EQ(Platform::WideToMultiByte(m.codePage, 0, &unit, 1, &back, 1, "?"), 1);
    EXPECT_EQ(back, byte);
}

INSTANTIATE_TEST_SUITE_P(WindowsTables, SingleByteMappingTest,
                         ::testing::Values(ByteMapping{Platform::kCodePageAnsi, 0x41, 0x0041},
                                           ByteMapping{Platform::kCodePageAnsi, 0x80, 0x20AC},
                                           ByteMapping{Platform::kCodePageAnsi, 0x81, 0x0081},
                                           ByteMapping{Platform::kCodePageAnsi, 0x8D, 0x008D},
                                           ByteMapping{Platform::kCodePageAnsi, 0x9F, 0x0178},
                                           ByteMapping{Platform::kCodePageAnsi, 0xE9, 0x00E9},
                                           ByteMapping{Platform::kCodePageMac, 0x8E, 0x00E9},
                                           ByteMapping{Platform::kCodePageMac, 0xA5, 0x2022},
                                           ByteMapping{Platform::kCodePageMac, 0xBD, 0x2126},
                                           ByteMapping{Platform::kCodePageMac, 0xDB, 0x20AC},
                                           ByteMapping{Platform::kCodePageMac, 0xF0, 0xF8FF}));

TEST(TextCodePageTest, EveryByteRoundTripsInBothSingleByteCodePages)
{
    for (const unsigned codePage : {Platform::kCodePageAnsi, Platform::kCodePageMac}) {
        std::string all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[static_cast<std::size_t>(b)] = static_cast<char>(b);
        bool ok = false;
        const Text units = Decode(codePage, Platform::kPrecomposed, all, ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(units.size(), 256u) << "embedded NUL bytes are converted too";
        EXPECT_EQ(Encode(codePage, 0, units, "?", ok), all) << "code page " << codePage;
        EXPECT_TRUE(ok);
    }
}

struct EncodeCase {
    const char* name;
    unsigned codePage;
    unsigned flags;
    const char16_t* units;
    const char* defaultChar;
    const char* expected; ///< null: the conversion fails
};

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, GivesWindowsBytes)
{
    const EncodeCase& c = GetParam();
    bool ok = false;
    const std::string bytes = Encode(c.codePage, c.flags, T(c.units), c.defaultChar, ok);
    if (c.expected == nullptr) {
        EXPECT_FALSE(ok);
        return;
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(bytes, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, EncodeTest,
    ::testing::Values(
        EncodeCase{"BestFitLatinExtended", Platform::kCodePageAnsi, 0, u"\u0100\u0107", "?", "Ac"},
        EncodeCase{"BestFitGreekAndFullwidth", Platform::kCodePageAnsi, 0, u"\u03A9\uFF21\u2212", "?", "OA-"},
        EncodeCase{"DefaultCharForUnmappable", Platform::kCodePageAnsi, 0, u"a\u4E2Db", "?", "a?b"},
        EncodeCase{"OwnDefaultChar", Platform::kCodePageAnsi, 0, u"\u4E2D", "*", "*"},
        EncodeCase{"NoDefaultCharMeansQuestionMark", Platform::kCodePageAnsi, 0, u"\u4E2D", nullptr, "?"},
        EncodeCase{"MacHasNoBestFit", Platform::kCodePageMac, 0, u"\u0100\u03A9", "?", "??"},
        EncodeCase{"MacOhmSign", Platform::kCodePageMac, 0, u"\u2126", "?", "\xBD"},
        EncodeCase{"SeparateMarkIsBestFitted", Platform::kCodePageAnsi, 0, u"e\u0301", "?", "e\xB4"},
        EncodeCase{"CompositeCheckComposes", Platform::kCodePageAnsi, Platform::kCompositeCheck, u"e\u0301", nullptr,
                   "\xE9"},
        EncodeCase{"CompositeCheckUsesBestFit", Platform::kCodePageAnsi, Platform::kCompositeCheck, u"A\u0328",
                   nullptr, "A"},
        EncodeCase{"CompositeCheckOnMac", Platform::kCodePageMac, Platform::kCompositeCheck, u"e\u0301", nullptr,
                   "\x8E"},
        EncodeCase{"CompositeCheckKeepsUncomposable", Platform::kCodePageMac, Platform::kCompositeCheck, u"A\u0328",
                   nullptr, "A?"},
        EncodeCase{"Utf8", Platform::kCodePageUtf8, 0, u"\u00E9\u20AC\U0001F600", nullptr,
                   "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        EncodeCase{"Utf8LoneSurrogate", Platform::kCodePageUtf8, 0, u"a\xD83D", nullptr, "a\xEF\xBF\xBD"},
        EncodeCase{"Utf8TakesCompositeCheck", Platform::kCodePageUtf8, Platform::kCompositeCheck, u"e\u0301", nullptr,
                   "e\xCC\x81"},
        EncodeCase{"SymbolPrivateUse", Platform::kCodePageSymbol, 0, u"\uF041\u001F", nullptr, "A\x1F"},
        EncodeCase{"SymbolRejectsOtherUnits", Platform::kCodePageSymbol, 0, u"A", nullptr, nullptr},
        EncodeCase{"SymbolRejectsFlags", Platform::kCodePageSymbol, Platform::kCompositeCheck, u"\uF041", nullptr,
                   nullptr},
        EncodeCase{"UnknownCodePage", 12345, 0, u"abc", "?", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct DecodeCase {
    const char* name;
    unsigned codePage;
    unsigned flags;
    const char* bytes;
    const char16_t* expected; ///< null: the conversion fails
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesWindowsUnits)
{
    const DecodeCase& c = GetParam();
    bool ok = false;
    const Text units = Decode(c.codePage, c.flags, c.bytes, ok);
    if (c.expected == nullptr) {
        EXPECT_FALSE(ok);
        return;
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(units, T(c.expected));
}

// Malformed UTF-8 is replaced the Windows way: a sequence cut off by the end
// is one replacement, a lead byte takes an out-of-range second byte along.
INSTANTIATE_TEST_SUITE_P(
    CodePages, DecodeTest,
    ::testing::Values(DecodeCase{"Utf8Valid", Platform::kCodePageUtf8, 0, "\xC3\xA9\xF0\x9F\x98\x80", u"\u00E9\U0001F600"},
                      DecodeCase{"Utf8TakesPrecomposedFlag", Platform::kCodePageUtf8, Platform::kPrecomposed, "ab",
                                 u"ab"},
                      DecodeCase{"Utf8CutOffAtEnd", Platform::kCodePageUtf8, 0, "A\xE2\x82", u"A\uFFFD"},
                      DecodeCase{"Utf8CutOffSwallowsTheRest", Platform::kCodePageUtf8, 0, "\xE1" "A", u"\uFFFD"},
                      DecodeCase{"Utf8OverlongTakesSecondByte", Platform::kCodePageUtf8, 0, "\xE0\x80" "A",
                                 u"\uFFFDA"},
                      DecodeCase{"Utf8Surrogate", Platform::kCodePageUtf8, 0, "\xED\xA0\x80", u"\uFFFD\uFFFD"},
                      DecodeCase{"Utf8AboveUnicode", Platform::kCodePageUtf8, 0, "\xF4\x90\x80\x80",
                                 u"\uFFFD\uFFFD\uFFFD"},
                      DecodeCase{"Utf8StrayAndInvalidLeads", Platform::kCodePageUtf8, 0, "\x80\xC0\x80\xFF",
                                 u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      DecodeCase{"Utf8BrokenSequenceKeepsNextByte", Platform::kCodePageUtf8, 0, "\xE2\x82(",
                                 u"\uFFFD("},
                      DecodeCase{"Utf8StrictFails", Platform::kCodePageUtf8, kMbErrInvalidChars, "a\x80", nullptr},
                      DecodeCase{"SymbolPrivateUse", Platform::kCodePageSymbol, 0, "\x1F" "A", u"\u001F\uF041"},
                      DecodeCase{"SymbolRejectsFlags", Platform::kCodePageSymbol, Platform::kPrecomposed, "A",
                                 nullptr},
                      DecodeCase{"UnknownCodePage", 12345, Platform::kPrecomposed, "abc", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextCodePageTest, CountsAndCapacitiesFollowWin32)
{
    WideChar units[8] = {};
    char bytes[8] = {};
    const WideChar abc[] = {'a', 'b', 'c', 0};
    using Platform::kCodePageAnsi;
    using Platform::kCodePageUtf8;
    using Platform::kPrecomposed;
    // Sizing: capacity 0 answers the count; -1 counts the NUL.
    EXPECT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "abc", 3, nullptr, 0), 3);
    EXPECT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(Platform::WideToMultiByte(kCodePageAnsi, 0, abc, -1, nullptr, 0, "?"), 4);
    EXPECT_EQ(Platform::WideToMultiByte(kCodePageUtf8, 0, abc, 3, nullptr, 0, nullptr), 3);
    // -1 converts the terminator too.
    ASSERT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "abc", -1, units, 4), 4);
    EXPECT_EQ(units[3], 0);
    // Too small a buffer fails.
    EXPECT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "abc", 3, units, 2), 0);
    EXPECT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "abc", -1, units, 3), 0);
    EXPECT_EQ(Platform::WideToMultiByte(kCodePageAnsi, 0, abc, 3, bytes, 2, "?"), 0);
    EXPECT_EQ(Platform::WideToMultiByte(kCodePageUtf8, 0, T(u"\u00E9").data(), 1, bytes, 1, nullptr), 0);
    // Empty input is a failure, as are null pointers.
    EXPECT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "abc", 0, units, 8), 0);
    EXPECT_EQ(Platform::WideToMultiByte(kCodePageAnsi, 0, abc, 0, bytes, 8, "?"), 0);
    EXPECT_EQ(Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, nullptr, 3, units, 8), 0);
    // Embedded NUL bytes and units are converted when the count is explicit.
    ASSERT_EQ(Platform::MultiByteToWide(kCodePageUtf8, 0, "a\0b", 3, units, 8), 3);
    EXPECT_EQ(units[1], 0);
    EXPECT_EQ(units[2], 'b');
    EXPECT_EQ(Platform::SystemAnsiCodePage(), 1252u);
}

// ---------------------------------------------------------------------------
// Normalization

struct NormalizeCase {
    const char16_t* text;
    bool isNfc;
    bool isNfd;
    const char16_t* nfc; ///< null: normalization fails
    const char16_t* nfd;
};

class NormalizeTest : public ::testing::TestWithParam<NormalizeCase> {};

Text NormalizeToText(Platform::NormalForm form, const Text& src, bool& ok)
{
    const int estimate = Platform::Normalize(form, src.data(), static_cast<int>(src.size()), nullptr, 0);
    ok = estimate > 0;
    if (!ok)
        return {};
    Text out(static_cast<std::size_t>(estimate), WideChar{0});
    const int n = Platform::Normalize(form, src.data(), static_cast<int>(src.size()), out.data(), estimate);
    ok = n > 0;
    out.resize(static_cast<std::size_t>(ok ? n : 0));
    return out;
}

TEST_P(NormalizeTest, ChecksAndNormalizesBothForms)
{
    const NormalizeCase& c = GetParam();
    const Text text = T(c.text);
    const int length = static_cast<int>(text.size());
    EXPECT_EQ(Platform::IsNormalized(Platform::NormalForm::C, text.data(), length), c.isNfc);
    EXPECT_EQ(Platform::IsNormalized(Platform::NormalForm::D, text.data(), length), c.isNfd);
    EXPECT_EQ(Platform::IsNormalized(Platform::NormalForm::C, text.c_str(), -1), c.isNfc) << "NUL-terminated";
    bool ok = false;
    const Text nfc = NormalizeToText(Platform::NormalForm::C, text, ok);
    EXPECT_EQ(ok, c.nfc != nullptr);
    if (c.nfc) {
        EXPECT_EQ(nfc, T(c.nfc));
    }
    const Text nfd = NormalizeToText(Platform::NormalForm::D, text, ok);
    EXPECT_EQ(ok, c.nfd != nullptr);
    if (c.nfd) {
        EXPECT_EQ(nfd, T(c.nfd));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NormalizeTest,
    ::testing::Values(NormalizeCase{u"abc", true, true, u"abc", u"abc"},
                      NormalizeCase{u"e\u0301", false, true, u"\u00E9", u"e\u0301"},
                      NormalizeCase{u"x\u00E9", true, false, u"x\u00E9", u"xe\u0301"},
                      NormalizeCase{u"\u212B", false, false, u"\u00C5", u"A\u030A"},
                      NormalizeCase{u"d\u0307\u0323", false, false, u"\u1E0D\u0307", u"d\u0323\u0307"},
                      NormalizeCase{u"\uAC00\u11A8", false, false, u"\uAC01", u"\u1100\u1161\u11A8"},
                      NormalizeCase{u"\U0001D15E", false, false, u"\U0001D157\U0001D165",
                                    u"\U0001D157\U0001D165"},
                      // Windows refuses ill-formed text and noncharacters.
                      NormalizeCase{u"a\xD83D", false, false, nullptr, nullptr},
                      NormalizeCase{u"\xDE00" u"a", false, false, nullptr, nullptr},
                      NormalizeCase{u"a\uFDD0", false, false, nullptr, nullptr},
                      NormalizeCase{u"\U0010FFFF", false, false, nullptr, nullptr},
                      // Unassigned code points pass through.
                      NormalizeCase{u"\u0378", true, true, u"\u0378", u"\u0378"}));

TEST(TextNormalizeTest, BuffersAndCounts)
{
    const Text precomposed = T(u"\u00E9\u00E9");
    WideChar out[8] = {};
    // The size query is an estimate, never below what is needed.
    EXPECT_GE(Platform::Normalize(Platform::NormalForm::D, precomposed.data(), 2, nullptr, 0), 4);
    EXPECT_LE(Platform::Normalize(Platform::NormalForm::D, precomposed.data(), 2, out, 3), 0) << "too small";
    // -1 normalizes the terminator along and counts it.
    const Text decomposed = T(u"e\u0301");
    EXPECT_EQ(Platform::Normalize(Platform::NormalForm::C, decomposed.c_str(), -1, out, 8), 2);
    EXPECT_EQ(out[0], 0x00E9);
    EXPECT_EQ(out[1], 0);
}

// ---------------------------------------------------------------------------
// Comparison

struct CompareCase {
    const char16_t* a;
    const char16_t* b;
    int noCase;   ///< lstrcmpiW sign
    int logical;  ///< StrCmpLogicalW
    int natural;  ///< CompareStringEx, ignore case, digits as numbers: sign
    int locale;   ///< CompareStringW, string sort, case-sensitive: sign
};

class CompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareTest, MatchesWindowsInBothDirections)
{
    const CompareCase& c = GetParam();
    const Text a = T(c.a), b = T(c.b);
    const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
    EXPECT_EQ(Sign(Platform::CompareNoCase(a.c_str(), b.c_str())), c.noCase);
    EXPECT_EQ(Sign(Platform::CompareNoCase(b.c_str(), a.c_str())), -c.noCase);
    EXPECT_EQ(Platform::CompareLogical(a.c_str(), b.c_str()), c.logical);
    EXPECT_EQ(Platform::CompareLogical(b.c_str(), a.c_str()), -c.logical);
    EXPECT_EQ(Platform::CompareNatural(a.data(), la, b.data(), lb), 2 + c.natural);
    EXPECT_EQ(Platform::CompareNatural(b.data(), lb, a.data(), la), 2 - c.natural);
    EXPECT_EQ(Platform::CompareLocale(kLocaleFlags, a.data(), la, b.data(), lb), 2 + c.locale);
    EXPECT_EQ(Platform::CompareLocale(kLocaleFlags, a.c_str(), -1, b.c_str(), -1), 2 + c.locale);
}

// Word sort (lstrcmpiW, CompareStringEx) sets hyphen, apostrophe and controls
// aside until every other difference is decided; string sort and the logical
// comparison weigh them like other symbols; logical and natural comparison
// read digit runs as numbers.
INSTANTIATE_TEST_SUITE_P(
    Ascii, CompareTest,
    ::testing::Values(CompareCase{u"abc", u"ABC", 0, 0, 0, -1},
                      CompareCase{u"abc", u"abd", -1, -1, -1, -1},
                      CompareCase{u"ab", u"abc", -1, -1, -1, -1},
                      CompareCase{u"", u"a", -1, -1, -1, -1},
                      CompareCase{u"file10", u"file9", -1, 1, 1, -1},
                      CompareCase{u"file01", u"file1", -1, 0, -1, -1},
                      CompareCase{u"a01b", u"a1a", -1, 1, -1, -1},
                      CompareCase{u"co-op", u"coop", 1, -1, 1, -1},
                      CompareCase{u"co-op", u"coo", 1, -1, 1, -1},
                      CompareCase{u"it's", u"its", 1, -1, 1, -1},
                      CompareCase{u"a-b", u"a'b", 1, 1, 1, 1},
                      CompareCase{u"ab-", u"a-b", -1, 1, -1, 1},
                      CompareCase{u"a-1", u"a!1", 1, -1, 1, -1},
                      CompareCase{u"a b", u"a_b", -1, -1, -1, -1},
                      CompareCase{u"a_b", u"ab", -1, -1, -1, -1},
                      CompareCase{u"a\u0001b", u"ab", 1, -1, 1, -1},
                      CompareCase{u"a+b", u"a~b", 1, 1, 1, 1},
                      CompareCase{u"a9", u"a!", 1, -1, 1, 1},
                      CompareCase{u"Zeta", u"alpha", 1, 1, 1, 1},
                      CompareCase{u"1.10", u"1.5", -1, 1, 1, -1}));

TEST(TextCompareTest, NullPointersAndErrors)
{
    const Text a = T(u"a");
    EXPECT_EQ(Platform::CompareNoCase(nullptr, nullptr), 0);
    EXPECT_LT(Platform::CompareNoCase(nullptr, a.c_str()), 0);
    EXPECT_GT(Platform::CompareNoCase(a.c_str(), nullptr), 0);
    EXPECT_EQ(Platform::CompareLocale(kLocaleFlags, nullptr, 1, a.data(), 1), 0);
    EXPECT_EQ(Platform::CompareNatural(a.data(), 1, a.data(), 1), 2);
    EXPECT_EQ(Platform::CompareNatural(a.data(), 0, a.data(), 0), 2);
}

// Sorting needs a strict weak order whatever mix of texts it sees: check
// antisymmetry and transitivity over ASCII and other texts together.
TEST(TextCompareTest, ComparisonsAreConsistentOrders)
{
    const std::vector<Text> texts = {
        T(u""), T(u"a"), T(u"A"), T(u"a-b"), T(u"ab"), T(u"a b"), T(u"a'b"), T(u"\u00E1b"), T(u"\u00C1B"),
        T(u"ae"), T(u"\u00E6"), T(u"file9"), T(u"file10"), T(u"file010"), T(u"\u0444\u0430\u0439\u043B"),
        T(u"\u4E2D"), T(u"\u00AB"), T(u"!"), T(u"\u2014"), T(u"-"), T(u"\U0001F600"), T(u"z"), T(u"\u00DF"),
        T(u"ss"), T(u"e\u0301"), T(u"\u00E9"), T(u"\u0001"), T(u"1"), T(u"\u0661")};
    const struct {
        const char* name;
        int (*compare)(const Text&, const Text&);
    } comparisons[] = {
        {"nocase", [](const Text& a, const Text& b) { return Sign(Platform::CompareNoCase(a.c_str(), b.c_str())); }},
        {"natural",
         [](const Text& a, const Text& b) {
             return Platform::CompareNatural(a.data(), static_cast<int>(a.size()), b.data(),
                                             static_cast<int>(b.size())) -
                    2;
         }},
        {"locale",
         [](const Text& a, const Text& b) {
             return Platform::CompareLocale(kLocaleFlags, a.data(), static_cast<int>(a.size()), b.data(),
                                            static_cast<int>(b.size())) -
                    2;
         }},
    };
    for (const auto& c : comparisons) {
        const std::size_t n = texts.size();
        std::vector<int> r(n * n);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                r[i * n + j] = c.compare(texts[i], texts[j]);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(r[i * n + i], 0) << c.name;
            for (std::size_t j = 0; j < n; ++j) {
                ASSERT_EQ(r[i * n + j], -r[j * n + i]) << c.name << " " << i << " " << j;
                for (std::size_t k = 0; k < n; ++k)
                    if (r[i * n + j] <= 0 && r[j * n + k] <= 0) {
                        ASSERT_LE(r[i * n + k], 0) << c.name << " " << i << " " << j << " " << k;
                    }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Case and character classes

struct CaseCase {
    WideChar unit;
    WideChar upper;
    WideChar lower;
};

class CaseTest : public ::testing::TestWithParam<CaseCase> {};

TEST_P(CaseTest, UnitAndBufferFormsAgree)
{
    const CaseCase& c = GetParam();
    EXPECT_EQ(Platform::UpperUnit(c.unit), c.upper);
    EXPECT_EQ(Platform::LowerUnit(c.unit), c.lower);
    WideChar buffer[2] = {c.unit, c.unit};
    Platform::UpperBuffer(buffer, 2);
    EXPECT_EQ(buffer[0], c.upper);
    EXPECT_EQ(buffer[1], c.upper);
    Platform::LowerBuffer(buffer, 1);
    EXPECT_EQ(buffer[0], Platform::LowerUnit(c.upper));
    EXPECT_EQ(buffer[1], c.upper) << "only the given count changes";
}

// Only mappings that pair up both ways apply.
INSTANTIATE_TEST_SUITE_P(Units, CaseTest,
                         ::testing::Values(CaseCase{'a', 'A', 'a'}, CaseCase{'Z', 'Z', 'z'}, CaseCase{'1', '1', '1'},
                                           CaseCase{'@', '@', '@'}, CaseCase{0x00E9, 0x00C9, 0x00E9},
                                           CaseCase{0x00FF, 0x0178, 0x00FF}, CaseCase{0x00B5, 0x00B5, 0x00B5},
                                           CaseCase{0x0131, 0x0131, 0x0131}, CaseCase{0x0130, 0x0130, 0x0130},
                                           CaseCase{0x00DF, 0x00DF, 0x00DF}, CaseCase{0x01C5, 0x01C5, 0x01C5},
                                           CaseCase{0x03C2, 0x03C2, 0x03C2}, CaseCase{0x0436, 0x0416, 0x0436},
                                           CaseCase{0x212A, 0x212A, 0x212A}, CaseCase{0xFF41, 0xFF21, 0xFF41},
                                           CaseCase{0xD801, 0xD801, 0xD801}, CaseCase{0xDC28, 0xDC28, 0xDC28}));

TEST(TextCaseTest, BuffersMapSupplementaryPairsButUnitsDoNot)
{
    Text deseret = T(u"\U00010428x");
    Platform::UpperBuffer(deseret.data(), deseret.size());
    EXPECT_EQ(deseret, T(u"\U00010400X"));
    Platform::LowerBuffer(deseret.data(), deseret.size());
    EXPECT_EQ(deseret, T(u"\U00010428x"));
    Text cut = T(u"\U00010428");
    Platform::UpperBuffer(cut.data(), 1);
    EXPECT_EQ(cut, T(u"\U00010428")) << "half a pair is left alone";
}

TEST(TextCaseTest, UpperBytesMapsTheAnsiCodePage)
{
    for (const bool user : {true, false}) {
        std::string bytes = "abc\xE9\xFF\x9A\xB5z1";
        Platform::UpperBytes(bytes.data(), static_cast<int>(bytes.size()), user);
        EXPECT_EQ(bytes, "ABC\xC9\x9F\x8A\xB5Z1");
    }
}

struct ClassCase {
    WideChar unit;
    bool punctuation;
    bool whitespace;
};

class ClassTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassTest, MatchesWindows)
{
    EXPECT_EQ(Platform::IsPunctuation(GetParam().unit), GetParam().punctuation);
    EXPECT_EQ(Platform::IsWhitespace(GetParam().unit), GetParam().whitespace);
}

INSTANTIATE_TEST_SUITE_P(Units, ClassTest,
                         ::testing::Values(ClassCase{'!', true, false}, ClassCase{'$', true, false},
                                           ClassCase{'~', true, false}, ClassCase{'a', false, false},
                                           ClassCase{'0', false, false}, ClassCase{' ', false, true},
                                           ClassCase{'\t', false, true}, ClassCase{'\r', false, true},
                                           ClassCase{0x0000, false, false}, ClassCase{0x007F, false, false},
                                           ClassCase{0x0085, false, false}, ClassCase{0x00A0, false, true},
                                           ClassCase{0x00A7, true, false}, ClassCase{0x00B2, true, false},
                                           ClassCase{0x00D7, true, false}, ClassCase{0x00E9, false, false},
                                           ClassCase{0x2014, true, false}, ClassCase{0x20AC, false, false},
                                           ClassCase{0x2190, false, false}, ClassCase{0x2028, false, true},
                                           ClassCase{0x3000, false, true}, ClassCase{0x3001, true, false}));

// ---------------------------------------------------------------------------
// Cluster boundaries

TEST(TextClusterTest, NeverSplitsABaseFromItsMarks)
{
    const Text text = T(u"ae\u0301\u0323b");
    const std::size_t expected[] = {0, 1, 1, 1, 4, 5, 6};
    for (std::size_t limit = 0; limit < std::size(expected); ++limit)
        EXPECT_EQ(Platform::ClusterBoundaryAtOrBefore(text.data(), text.size(), limit), expected[limit])
            << "limit " << limit;
    EXPECT_EQ(Platform::ClusterBoundaryAtOrBefore(nullptr, 0, 0), 0u);
}

TEST(TextClusterTest, StopsBeforeASurrogatePairNotBeforeItsBase)
{
    const Text text = T(u"a\U0001F600b");
    const std::size_t expected[] = {0, 1, 1, 3, 4};
    for (std::size_t limit = 0; limit < std::size(expected); ++limit)
        EXPECT_EQ(Platform::ClusterBoundaryAtOrBefore(text.data(), text.size(), limit), expected[limit])
            << "limit " << limit;
}

} // namespace
