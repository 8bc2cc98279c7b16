// The free-standing utilities: caller-buffer conversions and their capacity
// rules, the counted and NUL-terminated byte-string helpers (bounds above
// all), the free comparisons and comparators, the character classes and the
// truncation helpers.
#include "TXStringTestSupport.h"

#include "platform/Text.h"
#include "strings/StringUtilities.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace TXStrings;
using UtilitiesTest = StringTest;

constexpr unsigned kAnsi = Platform::kCodePageAnsi;

std::u16string UnitsOf(const TXChar* units, std::size_t count)
{
    return std::u16string(units, units + count);
}

TEST_F(UtilitiesTest, NarrowToWideConversions)
{
    TXChar out[6];
    std::fill(std::begin(out), std::end(out), TXChar('#'));
    ConversionResult r = NarrowToWide(kAnsi, "a\x80", 2, out, 6);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(UnitsOf(out, 3), u"a\u20AC#") << "not terminated";
    EXPECT_TRUE(NarrowToWide(kAnsi, "abc", 0, out, 6).ok) << "an empty text succeeds";
    EXPECT_FALSE(NarrowToWide(kAnsi, "abc", 3, nullptr, 6).ok);
    EXPECT_FALSE(NarrowToWide(kAnsi, "abc", 3, out, 0).ok);
    EXPECT_FALSE(NarrowToWide(kAnsi, "abcdefg", 7, out, 6).ok) << "does not fit";
    r = NarrowToWide(Platform::kCodePageUtf8, "\xC3\xA9", 2, out, 6);
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(out[0], 0xE9);

    EXPECT_TRUE(CStringToWide(kAnsi, "abcde", out, 6));
    EXPECT_EQ(UnitsOf(out, 6), std::u16string(u"abcde\0", 6));
    EXPECT_FALSE(CStringToWide(kAnsi, "abcdef", out, 6)) << "at most capacity - 1 units";
    EXPECT_EQ(out[0], 0);
    EXPECT_FALSE(CStringToWide(kAnsi, "", out, 1)) << "capacity 1 fails";
    EXPECT_TRUE(CStringToWide(kAnsi, "", out, 2));

    const unsigned char counted[] = {2, 'h', 'i', 'x'};
    EXPECT_TRUE(CountedToWide(kAnsi, counted, out, 6));
    EXPECT_EQ(UnitsOf(out, 3), std::u16string(u"hi\0", 3));
    EXPECT_FALSE(CountedToWide(kAnsi, nullptr, out, 6));
}

TEST_F(UtilitiesTest, WideToNarrowConversions)
{
    const TXString euro(u"a\u20AC");
    char out[6];
    std::fill(std::begin(out), std::end(out), '#');
    const ConversionResult r = WideToNarrow(kAnsi, euro.GetData(), 2, out, 6);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(std::string(out, 3), "a\x80#") << "not terminated";
    EXPECT_FALSE(WideToNarrow(kAnsi, euro.GetData(), 2, out, 0).ok);
    EXPECT_TRUE(WideToNarrow(kAnsi, euro.GetData(), 0, out, 6).ok);

    EXPECT_TRUE(WideCStringToNarrow(kAnsi, euro.GetData(), out, 3));
    EXPECT_EQ(std::string(out, 3), std::string("a\x80\0", 3));
    EXPECT_FALSE(WideCStringToNarrow(kAnsi, euro.GetData(), out, 2));
    EXPECT_EQ(out[0], 0);
    EXPECT_FALSE(WideCStringToNarrow(kAnsi, euro.GetData(), out, 1));
    EXPECT_TRUE(WideCStringToNarrow(kAnsi, TXString().GetData(), out, 1));

    unsigned char counted[5];
    EXPECT_TRUE(WideToCounted(kAnsi, TXString(u"abcdef").GetData(), counted, 5));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(counted), 5), "\x04" "abcd");
    const TXString tooLong(std::string(256, 'x'));
    std::vector<unsigned char> large(300);
    EXPECT_FALSE(WideToCounted(kAnsi, tooLong.GetData(), large.data(), large.size()))
        << "more than the 255-byte scratch";
    const TXString fits(std::string(255, 'x'));
    EXPECT_TRUE(WideToCounted(kAnsi, fits.GetData(), large.data(), large.size()));
    EXPECT_EQ(large[0], 255);
    EXPECT_EQ(NarrowCapacityFor(7), 29u);
}

TEST_F(UtilitiesTest, ByteStringHelpersStayWithinCapacity)
{
    struct Case {
        const char* name;
        std::size_t capacity;
        std::function<void(unsigned char*, std::size_t)> op;
        std::string expected; ///< the whole 8-byte buffer afterwards
    };
    const unsigned char abc[] = {3, 'a', 'b', 'c'};
    const unsigned char xy[] = {2, 'x', 'y'};
    auto asChars = [](unsigned char* p) { return reinterpret_cast<char*>(p); };
    const std::vector<Case> table = {
        {"counted copy", 8, [&](unsigned char* d, std::size_t n) { CopyCounted(d, n, abc); }, "\x03" "abc####"},
        {"counted copy cut", 3, [&](unsigned char* d, std::size_t n) { CopyCounted(d, n, abc); }, "\x02" "ab#####"},
        {"C string copy cut", 3, [&](unsigned char* d, std::size_t n) { CopyCString(asChars(d), n, "hello"); },
         std::string("he\0#####", 8)},
        {"counted to C string", 8,
         [&](unsigned char* d, std::size_t n) { CountedToCString(asChars(d), n, abc); }, std::string("abc\0####", 8)},
        {"C string to counted", 4, [&](unsigned char* d, std::size_t n) { CStringToCounted(d, n, "hello"); },
         "\x03" "hel####"},
        {"sized to counted", 8, [&](unsigned char* d, std::size_t n) { BytesToCounted(d, n, "a\0b", 3); },
         std::string("\x03" "a\0b####", 8)},
        {"sized to C string", 2, [&](unsigned char* d, std::size_t n) { BytesToCString(asChars(d), n, "ab", 2); },
         std::string("a\0######", 8)},
        {"append counted", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             AppendCounted(d, n, xy);
         },
         "\x05" "abcxy##"},
        {"append counted cut", 5,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             AppendCounted(d, n, xy);
         },
         "\x04" "abcx###"},
        {"append C string to counted", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, xy);
             AppendCStringToCounted(d, n, "zzzzzzz");
         },
         "\x07" "xyzzzzz"},
        {"append sized to counted", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, xy);
             AppendBytesToCounted(d, n, "12", 1);
         },
         "\x03" "xy1####"},
        {"append counted to C string", 5,
         [&](unsigned char* d, std::size_t n) {
             CopyCString(asChars(d), n, "ab");
             AppendCountedToCString(asChars(d), n, abc);
         },
         std::string("abab\0###", 8)},
        {"append C string", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCString(asChars(d), n, "ab");
             AppendCString(asChars(d), n, "cd");
         },
         std::string("abcd\0###", 8)},
        {"append sized to C string", 4,
         [&](unsigned char* d, std::size_t n) {
             CopyCString(asChars(d), n, "ab");
             AppendBytesToCString(asChars(d), n, "cdef", 4);
         },
         std::string("abc\0####", 8)},
        {"insert counted", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             InsertCounted(d, n, 1, xy);
         },
         "\x05" "axybc##"},
        {"insert counted past end appends, cut", 6,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             InsertCounted(d, n, 9, xy);
         },
         "\x05" "abcxy##"},
        {"insert counted into itself", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             InsertCounted(d, n, 0, d);
         },
         "\x06" "abcabc#"},
        {"delete from counted", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             DeleteFromCounted(d, 1, 5);
         },
         "\x01" "abc####"},
        {"delete from C string", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCString(asChars(d), n, "abcdef");
             DeleteFromCString(asChars(d), 1, 2);
         },
         std::string("adef\0f\0#", 8)},
        {"delete past end", 8,
         [&](unsigned char* d, std::size_t n) {
             CopyCounted(d, n, abc);
             DeleteFromCounted(d, 3, 1);
         },
         "\x03" "abc####"},
        {"zero capacity", 0, [&](unsigned char* d, std::size_t n) { CopyCounted(d, n, abc); }, "########"},
        {"null source", 8, [&](unsigned char* d, std::size_t n) { AppendCString(asChars(d), n, nullptr); },
         "########"},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        unsigned char buffer[8];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        c.op(buffer, c.capacity);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), sizeof buffer), c.expected);
    }

    std::vector<unsigned char> full(300, 'q');
    full[0] = 250;
    const unsigned char ten[] = {10, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    AppendCounted(full.data(), full.size(), ten);
    EXPECT_EQ(full[0], 255) << "a counted string never passes 255 bytes";
    EXPECT_EQ(full[256], 'q');
}

TEST_F(UtilitiesTest, FreeComparisonsComparatorsAndClasses)
{
    const TXString upper(u"ABC");
    const TXString lower(u"abc");
    constexpr unsigned kIgnoreCase = 0x1;
    EXPECT_TRUE(EqualInUserLocale(upper.GetData(), lower.GetData(), kIgnoreCase));
    EXPECT_FALSE(EqualInUserLocale(upper.GetData(), lower.GetData(), 0));
    EXPECT_TRUE(EqualInUserLocale(upper.GetData(), 2, lower.GetData(), 2, kIgnoreCase));
    EXPECT_FALSE(EqualInUserLocale(upper.GetData(), 0, lower.GetData(), 1, kIgnoreCase));
    EXPECT_TRUE(EqualInUserLocale(upper.GetData(), 0, lower.GetData(), 0, 0)) << "two empty texts";
    EXPECT_TRUE(EqualInUserLocale(nullptr, TXString().GetData(), 0));

    char bytes[] = "abc\xE9";
    UpperCaseBytes(bytes, 4, kUserDefaultLocaleSelector);
    EXPECT_STREQ(bytes, "ABC\xC9");

    std::vector<TXString> names = {TXString(u"file10"), TXString(), TXString(u"File9"), TXString(u"a")};
    std::sort(names.begin(), names.end(), LogicalLess{});
    EXPECT_EQ(Units(names[0]), u"a");
    EXPECT_EQ(Units(names[1]), u"File9");
    EXPECT_EQ(Units(names[2]), u"file10");
    EXPECT_TRUE(names[3].IsEmpty());
    EXPECT_TRUE(NoCaseEqual{}(upper, lower));
    EXPECT_FALSE(NoCaseLess{}(upper, lower));
    EXPECT_TRUE(NoCaseLess{}(lower, TXString(u"abd")));

    EXPECT_TRUE(IsPunctuation(u'!'));
    EXPECT_FALSE(IsPunctuation(u'a'));
    EXPECT_TRUE(IsWhitespace(u'\t'));
    EXPECT_TRUE(IsWhitespace(static_cast<unsigned short>(' ')));
    EXPECT_FALSE(IsWhitespace(u'x'));
}

/// Every utility that takes or writes 16-bit text, with units of type C.
template <typename C>
void UtilitiesWithUnitType()
{
    C wide[8];
    std::fill(std::begin(wide), std::end(wide), C('#'));
    const ConversionResult r = NarrowToWide(kAnsi, "a\x80", 2, wide, 8);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 2u);
    EXPECT_EQ(wide[1], C(0x20AC));
    EXPECT_EQ(wide[2], C('#')) << "not terminated";
    EXPECT_TRUE(CStringToWide(kAnsi, "abc", wide, 8));
    EXPECT_EQ(wide[2], C('c'));
    EXPECT_EQ(wide[3], C(0));
    const unsigned char counted[] = {2, 'h', 'i'};
    EXPECT_TRUE(CountedToWide(kAnsi, counted, wide, 3));
    EXPECT_EQ(wide[1], C('i'));
    EXPECT_EQ(wide[2], C(0));

    const C euro[] = {C('a'), C(0x20AC), C(0)};
    char narrow[8] = {};
    EXPECT_EQ(WideToNarrow(kAnsi, euro, 1, narrow, sizeof narrow).count, 1u);
    EXPECT_STREQ(narrow, "a");
    EXPECT_TRUE(WideCStringToNarrow(kAnsi, euro, narrow, 3));
    EXPECT_STREQ(narrow, "a\x80");
    unsigned char countedOut[4] = {};
    EXPECT_TRUE(WideToCounted(kAnsi, euro, countedOut, sizeof countedOut));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(countedOut), 3), "\x02" "a\x80");

    constexpr unsigned kIgnoreCase = 0x1;
    const C upper[] = {C('A'), C('B'), C(0)};
    const C lower[] = {C('a'), C('b'), C(0)};
    EXPECT_TRUE(EqualInUserLocale(upper, lower, kIgnoreCase));
    EXPECT_FALSE(EqualInUserLocale(upper, lower, 0));
    EXPECT_TRUE(EqualInUserLocale(upper, TXString(u"ab").GetData(), kIgnoreCase)) << "mixed unit types";
    EXPECT_TRUE(EqualInUserLocale(upper, 1, lower, 1, kIgnoreCase));
    EXPECT_FALSE(EqualInUserLocale(upper, 2, lower, 1, kIgnoreCase));

    const C accented[] = {C('a'), C('e'), C(0x0301), C('x')};
    EXPECT_EQ(ClusterPrefixLength(accented, 4, 2), 1u);
    EXPECT_EQ(ClusterPrefixLength(accented, 4, 3), 3u);
    EXPECT_TRUE(IsWhitespace(C(' ')));
    EXPECT_TRUE(IsPunctuation(C('!')));
}

TEST_F(UtilitiesTest, EveryUnitTypeBehavesAlike)
{
    {
        SCOPED_TRACE("TXChar");
        UtilitiesWithUnitType<TXChar>();
    }
    {
        SCOPED_TRACE("char16_t");
        UtilitiesWithUnitType<char16_t>();
    }
    {
        SCOPED_TRACE("unsigned short");
        UtilitiesWithUnitType<unsigned short>();
    }
}

TEST_F(UtilitiesTest, TruncationKeepsCharactersWhole)
{
    const TXString accented(u"ae\u0301x"); // a, e + combining acute, x
    EXPECT_EQ(ClusterPrefixLength(accented.GetData(), 4, 2), 1u);
    EXPECT_EQ(ClusterPrefixLength(accented.GetData(), 4, 3), 3u);
    EXPECT_EQ(ClusterPrefixLength(accented.GetData(), 4, 9), 4u);
    const TXString pair(u"a\U0001F600");
    EXPECT_EQ(Units(TruncateAtCluster(pair, 2)), u"a");
    EXPECT_EQ(Units(TruncateAtCluster(pair, 3)), u"a\U0001F600");
    EXPECT_EQ(ClusterPrefixLength(nullptr, 3, 1), 0u);

    EXPECT_EQ(WithoutDanglingLeadByte("\x82\xA0\x82", 3, 932), 2u);
    EXPECT_EQ(WithoutDanglingLeadByte("a\x82\x82", 3, 932), 3u) << "the last byte trails a pair";
    EXPECT_EQ(WithoutDanglingLeadByte("\xFE", 1, 936), 0u);
    EXPECT_EQ(WithoutDanglingLeadByte("\xFE", 1, 932), 1u) << "not a lead byte in 932";
    EXPECT_EQ(WithoutDanglingLeadByte("\x82", 1, 1252), 1u);
}

} // namespace
