// Text to number and number to text: ToInt32, ToInt64 (the full 64-bit
// range), ToReal, ParseReal with and without a comma-decimal locale, SetReal
// and the free-standing number helpers.
#include "TXStringTestSupport.h"

#include "platform/Text.h"
#include "strings/StringUtilities.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

/// A locale whose decimal separator is a comma, in the platform's naming
/// (set by the build: "de_DE.UTF-8" on Linux, "de-DE" on Windows).
constexpr const char* kCommaLocale = KX_TEST_COMMA_LOCALE;

using NumbersTest = StringTest;

TEST_F(NumbersTest, ToIntegersReadLikeAtoiAndSaturate)
{
    constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
    struct Row {
        const char16_t* text;
        std::int32_t int32;
        std::int64_t int64;
    };
    const std::vector<Row> rows{
        {u"42", 42, 42},
        {u"  -17abc", -17, -17},
        {u"\t\n\v\f\r+8", 8, 8},
        {u"12.9", 12, 12},
        {u"abc", 0, 0},
        {u"", 0, 0},
        {u"- 5", 0, 0},
        {u"\u0663", 0, 0}, // a digit, but not an ASCII one
        {u"2147483648", kMax32, 2147483648},
        {u"-2147483649", kMin32, -2147483649},
        {u"4294967296", kMax32, 4294967296},
        {u"9007199254740993", kMax32, 9007199254740993},
        {u"-9223372036854775808", kMin32, std::numeric_limits<std::int64_t>::min()},
        {u"9223372036854775808", kMax32, std::numeric_limits<std::int64_t>::max()},
        {u"-99999999999999999999", kMin32, std::numeric_limits<std::int64_t>::min()},
    };
    for (const Row& r : rows) {
        const TXString text(r.text);
        SCOPED_TRACE(text.ToStdString());
        EXPECT_EQ(text.ToInt32(), r.int32);
        EXPECT_EQ(text.ToInt64(), r.int64);
    }
}

TEST_F(NumbersTest, ToRealAndParseRealWithoutLocale)
{
    struct Row {
        const char16_t* text;
        double toReal;
        bool parsed;
        double parseReal; // the value ParseReal stores, or the untouched 99
    };
    const std::vector<Row> rows{
        {u"2.5", 2.5, true, 2.5},
        {u" 1e3x", 1000, true, 1000},
        {u"1,5", 1, true, 1},
        {u"-0.125", -0.125, true, -0.125},
        {u"abc", 0, false, 99},
        {u"", 0, false, 99},
        {u"1e999", std::numeric_limits<double>::infinity(), false, 99},
        {u"1e-320", 1e-320, false, 99}, // underflow is out of range too
    };
    for (const Row& r : rows) {
        const TXString text(r.text);
        SCOPED_TRACE(text.ToStdString());
        EXPECT_EQ(text.ToReal(), r.toReal);
        double out = 99;
        EXPECT_EQ(text.ParseReal(out, false), r.parsed);
        EXPECT_EQ(out, r.parseReal);
    }
}

TEST_F(NumbersTest, ScanRealInACommaLocale)
{
    struct Row {
        const char* locale;
        const char16_t* text;
        bool scanned;
        double value;
    };
    const std::vector<Row> rows{
        {kCommaLocale, u"1,5", true, 1.5},
        {kCommaLocale, u"  -2,25kg", true, -2.25},
        {kCommaLocale, u"abc", false, 99},
        {"C", u"1,5", true, 1},
        {"no-such-locale", u"1,5", false, 99},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.locale);
        SCOPED_TRACE(TXString(r.text).ToStdString());
        double value = 99;
        EXPECT_EQ(Platform::ScanRealInLocale(r.locale, TXString(r.text).GetData(), value), r.scanned);
        EXPECT_EQ(value, r.value);
    }
}

// The user-locale path itself: a text that no locale reads fails in both
// steps and leaves the output alone; ASCII numbers read alike everywhere.
TEST_F(NumbersTest, ParseRealWithUserLocaleFallsBack)
{
    double out = 99;
    EXPECT_FALSE(TXString("abc").ParseReal(out, true));
    EXPECT_EQ(out, 99);
    EXPECT_TRUE(TXString("12").ParseReal(out, true));
    EXPECT_EQ(out, 12);
}

TEST_F(NumbersTest, SetRealReplacesTheText)
{
    TXString s("old text");
    EXPECT_EQ(Units(s.SetReal(2.5, 3)), u"2.500");
    EXPECT_EQ(Units(s.SetReal(-1.0 / 3, 2)), u"-0.33");
    EXPECT_EQ(Units(s.SetReal(0.5, -1)), u"0.500000");
}

TEST_F(NumbersTest, FreeStandingHelpers)
{
    unsigned char counted[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    TXStrings::Int32ToCounted(-123, counted, sizeof counted);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(counted), 5), std::string("\x04-123"));
    TXStrings::Int32ToCounted(98765, counted, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(counted), 4), std::string("\x02" "98" "2"));
    TXStrings::Int32ToCounted(1, counted, 0);
    TXStrings::Int32ToCounted(1, nullptr, 8);
    EXPECT_EQ(counted[0], 2);

    TXString s("x");
    TXStrings::Int32ToString(std::numeric_limits<std::int32_t>::min(), s);
    EXPECT_EQ(Units(s), u"-2147483648");

    const unsigned char number[] = {3, '4', '2', 'x', '9'};
    const unsigned char huge[] = {11, '9', '9', '9', '9', '9', '9', '9', '9', '9', '9', '9'};
    std::int32_t value = 7;
    TXStrings::CountedToInt32(number, &value);
    EXPECT_EQ(value, 42);
    TXStrings::CountedToInt32(huge, &value);
    EXPECT_EQ(value, std::numeric_limits<std::int32_t>::max());
    TXStrings::CountedToInt32(nullptr, &value);
    EXPECT_EQ(value, 0);
    TXStrings::CountedToInt32(number, nullptr);
}

} // namespace
