// CFormatString: the template rules, every conversion letter with every
// argument kind (mismatched ones included), the conversions that are
// written as they stand, and the argument records' value-as queries. Every
// table holds on Linux and on Windows alike: the expected texts are the
// Windows runtime's.
#include "TXStringTestSupport.h"

#include "strings/CFormatString.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

struct FormatCase {
    std::u16string templ;
    std::function<void(CFormatString&)> add;
    std::u16string expected;
};

void RunTable(const std::vector<FormatCase>& table)
{
    for (const FormatCase& c : table) {
        SCOPED_TRACE(testing::Message() << "template " << Text(c.templ).ToStdString());
        CFormatString format{Text(c.templ)};
        c.add(format);
        EXPECT_EQ(Units(format.Format()), c.expected);
    }
}

const auto kNone = [](CFormatString&) {};
const void* const kPointer = reinterpret_cast<const void*>(std::uintptr_t{0x2A});
const void* const kHighPointer = reinterpret_cast<const void*>(std::uintptr_t{0x100000002A});
const double kIndeterminate = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
const double kQuietNaN = std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});
const double kInfinity = std::numeric_limits<double>::infinity();

using FormatTest = StringTest;

TEST_F(FormatTest, TemplateRules)
{
    RunTable({
        {u"Item %d of %d", [](CFormatString& f) { f.Add(3).Add(7); }, u"Item 3 of 7"},
        {u"100%%", kNone, u"100%"},
        {u"%d%%|%%d", [](CFormatString& f) { f.Add(5); }, u"5%|%d"},
        {u"5%w", kNone, u"5%w"},
        {u"abc%", kNone, u"abc%"},
        {u"%-5", kNone, u"%-5"},
        {u"%5%d", [](CFormatString& f) { f.Add(1); }, u"%5d"},
        // A space ends a pending conversion and is written.
        {u"50% off", kNone, u"50% off"},
        {u"50% off, %d left", [](CFormatString& f) { f.Add(7); }, u"50% off, 7 left"},
        {u"%+ d", [](CFormatString& f) { f.Add(7); }, u"%+ d"},
        // Missing arguments keep their conversions; extra arguments are unused.
        {u"%d %d", [](CFormatString& f) { f.Add(5); }, u"5 %d"},
        {u"%s and %s", [](CFormatString& f) { f.Add("one"); }, u"one and %s"},
        {u"no conversions", [](CFormatString& f) { f.Add(1).Add(2); }, u"no conversions"},
        // Texts come out whole under any conversion.
        {u"%6.2f|%s", [](CFormatString& f) { f.Add(2.5).Add("abc"); }, u"  2.50|abc"},
        {u"[%.1s][%-8d][%n]", [](CFormatString& f) { f.Add(u"abc").Add(TXString("xy")).Add("z"); }, u"[abc][xy][z]"},
        {u"%s", [](CFormatString& f) { f.Add("h\xC3\xA9"); }, u"h\u00E9"},
        {u"%s|%s", [](CFormatString& f) { f.Add(static_cast<const char*>(nullptr)).Add(Text(std::u16string(u"a\0b", 3))); },
         std::u16string(u"|a\0b", 4)},
        // A NUL unit ends the template.
        {std::u16string(u"a\0%d", 4), [](CFormatString& f) { f.Add(1); }, u"a"},
        // Output that does not fit the 1024-unit scratch buffer is dropped.
        {u"[%1100d][%1000d]", [](CFormatString& f) { f.Add(1).Add(2); }, u"[][" + std::u16string(999, u' ') + u"2]"},
    });
}

TEST_F(FormatTest, IntegerLettersPerKind)
{
    RunTable({
        {u"%d|%i|%u|%o|%x|%X", [](CFormatString& f) { f.Add(255).Add(-3).Add(7).Add(8).Add(255).Add(255); },
         u"255|-3|7|10|ff|FF"},
        {u"%5d|%-5d|%05d|%+d|%.3d|%#o|%#x|%#X",
         [](CFormatString& f) { f.Add(42).Add(42).Add(-42).Add(3).Add(7).Add(8).Add(255).Add(255); },
         u"   42|42   |-0042|+3|007|010|0xff|0XFF"},
        {u"%d|%u|%hd|%hu", [](CFormatString& f) { f.Add(short{-5}).Add(short{-5}).Add(short{-5}).Add(short{-5}); },
         u"-5|4294967291|-5|65531"},
        {u"%hd|%hhd|%hhu|%I32d", [](CFormatString& f) { f.Add(70000).Add(300).Add(-1).Add(9); }, u"4464|44|255|9"},
        {u"%ld|%lu", [](CFormatString& f) { f.Add(-7L).Add(7UL); }, u"-7|7"},
        {u"%lld|%I64d|%jd|%zd|%td|%Id|%llX",
         [](CFormatString& f) {
             for (int i = 0; i < 6; ++i)
                 f.Add(-5000000000LL);
             f.Add(0xABCDEF0123LL);
         },
         u"-5000000000|-5000000000|-5000000000|-5000000000|-5000000000|-5000000000|ABCDEF0123"},
        {u"%d|%u|%x", [](CFormatString& f) { f.Add(static_cast<unsigned short>(65535)).Add(4000000000u).Add(4000000000u); },
         u"65535|4000000000|ee6b2800"},
        {u"%d|%llu|%lld", [](CFormatString& f) { f.Add(4000000000u).Add(~0ULL).Add(~0ULL); },
         u"-294967296|18446744073709551615|-1"},
        {u"%d|%x|%o", [](CFormatString& f) { f.Add('A').Add(u'A').Add(static_cast<unsigned char>(0xE9)); },
         u"65|41|351"},
        {u"%5c|%-3c|%03c|%lc|%C|%S",
         [](CFormatString& f) { f.Add('A').Add('B').Add('C').Add(u'D').Add(u'E'); }, u"    A|B  |00C|D|%C|S"},
    });
}

TEST_F(FormatTest, RealLettersAndSpecialValues)
{
    RunTable({
        {u"%f|%F|%e|%E", [](CFormatString& f) { f.Add(2.5).Add(2.5).Add(12345.678).Add(12345.678); },
         u"2.500000|2.500000|1.234568e+04|1.234568E+04"},
        {u"%g|%G|%g|%#.3e|%8.3f|%-8.1f|", [](CFormatString& f) { f.Add(1e-5).Add(1e-20).Add(0.5).Add(1.0).Add(3.14159).Add(2.0); },
         u"1e-05|1E-20|0.5|1.000e+00|   3.142|2.0     |"},
        {u"%a|%A|%.2a|%a", [](CFormatString& f) { f.Add(2.5).Add(1.0).Add(2.5).Add(0.0); },
         u"0x1.4000000000000p+1|0X1.0000000000000P+0|0x1.40p+1|0x0.0000000000000p+0"},
        {u"%lf|%Lf|%+.1e", [](CFormatString& f) { f.Add(2.5).Add(2.5).Add(-0.25); }, u"2.500000|2.500000|-2.5e-01"},
        {u"%f|%F|%e|%+f|%08.2f|%-5f|", [](CFormatString& f) {
             f.Add(kInfinity).Add(kInfinity).Add(-kInfinity).Add(kInfinity).Add(kInfinity).Add(kInfinity); },
         u"inf|INF|-inf|+inf|     inf|inf  |"},
        {u"%f|%G|%.1f", [](CFormatString& f) { f.Add(kQuietNaN).Add(kIndeterminate).Add(kIndeterminate); },
         u"nan|-NAN(IND)|-nan(ind)"},
    });
}

TEST_F(FormatTest, CharactersAndPointers)
{
    RunTable({
        // A character under exactly %c or %s is the unit itself (%C and %S
        // are no conversions: C and S are no conversion letters).
        {u"%c|%s|%c", [](CFormatString& f) { f.Add('A').Add(u'\u20AC').Add(u'\xD83D'); }, u"A|\u20AC|\xD83D"},
        {u"[%c]", [](CFormatString& f) { f.Add(u'\0'); }, std::u16string(u"[\0]", 3)},
        // Numbers under %c: the low 16 bits (8 with h); a NUL ends the output.
        {u"%c|%c|%hc|[%c][%3c]", [](CFormatString& f) { f.Add(0x20AC).Add(0x10041).Add(0x141).Add(0).Add(0); },
         u"\u20AC|A|A|[][  ]"},
        {u"%p|%#p|%20p|%-18p|%.3p", [](CFormatString& f) {
             f.Add(kPointer).Add(kPointer).Add(kPointer).Add(kPointer).Add(kPointer); },
         u"000000000000002A|0X000000000000002A|    000000000000002A|000000000000002A  |000000000000002A"},
        {u"%x|%llx|%p", [](CFormatString& f) { f.Add(kHighPointer).Add(kHighPointer).Add(42); },
         u"2a|100000002a|000000000000002A"},
    });
}

// A letter that does not fit the argument reads the argument's 64-bit slot
// (32-bit values zero above) as the letter's type.
TEST_F(FormatTest, MismatchedLettersReadTheSlotBits)
{
    RunTable({
        {u"%d|%llx", [](CFormatString& f) { f.Add(2.5).Add(2.5); }, u"0|4004000000000000"},
        {u"%d|%lld", [](CFormatString& f) { f.Add(0x100000005LL).Add(-1); }, u"5|4294967295"},
        {u"%f|%g|%e", [](CFormatString& f) { f.Add(1).Add(1).Add(1); },
         u"0.000000|4.94066e-324|4.940656e-324"},
        {u"%f", [](CFormatString& f) { f.Add(static_cast<long long>(std::bit_cast<std::uint64_t>(1.5))); }, u"1.500000"},
        {u"%hhd|%c", [](CFormatString& f) { f.Add(3.0).Add(65.0); }, u"0|"},
    });
}

// Conversions that would read or write memory through the argument, or that
// the runtime would not read as one conversion of one value, are written as
// they stand and use up their argument.
TEST_F(FormatTest, UnsafeConversionsAreWrittenAsTheyStand)
{
    RunTable({
        {u"%s|%d", [](CFormatString& f) { f.Add(5).Add(6); }, u"%s|6"},
        {u"%-10s|%ls|%hs", [](CFormatString& f) { f.Add(5LL).Add(2.5).Add(kPointer); }, u"%-10s|%ls|%hs"},
        {u"%5s|%.1c|%d", [](CFormatString& f) { f.Add('A').Add('B').Add(1); }, u"%5s|B|1"},
        {u"%s", [](CFormatString& f) { f.Add(kPointer); }, u"%s"},
        {u"%n|%5n|%lln|%hn", [](CFormatString& f) { f.Add(1).Add('c').Add(kPointer).Add(2.0); }, u"%n|%5n|%lln|%hn"},
        {u"%Sd|%S %d", [](CFormatString& f) { f.Add(1).Add(2); }, u"%Sd|%S 2"},
        {u"%*d|%1$d|%yd|%'d|%Ld|%lp|%hf|%llc|%wd|%d",
         [](CFormatString& f) {
             for (int i = 0; i < 10; ++i)
                 f.Add(i);
         },
         u"%*d|%1$d|%yd|%'d|%Ld|%lp|%hf|%llc|%wd|9"},
        {u"%123456d|%.123456f|%12345d", [](CFormatString& f) { f.Add(1).Add(2.0).Add(3); },
         u"%123456d|%.123456f|"},
    });
}

TEST_F(FormatTest, FormatsAgainAfterMoreArguments)
{
    CFormatString format(TXString("%d-%d"));
    format.Add(1);
    EXPECT_EQ(Units(format.Format()), u"1-%d");
    format.Add(2);
    EXPECT_EQ(Units(format.Format()), u"1-2");
    EXPECT_EQ(format.GetArguments().size(), 2u);
}

TEST_F(FormatTest, ArgumentKinds)
{
    const TXString text("t");
    CFormatString format(TXString(""));
    format.Add(short{1}).Add(1).Add(1L).Add(1LL).Add(static_cast<unsigned short>(1)).Add(1u).Add(1UL).Add(1ULL);
    format.Add(1.0).Add('c').Add(u'c').Add(static_cast<unsigned char>('c')).Add(kPointer);
    format.Add(text).Add("t").Add(u"t");
    // long is 32-bit on Windows, 64-bit on Linux: it keeps its value either way.
    const std::int32_t longKind = sizeof(long) == 4 ? 2 : 3;
    const std::vector<std::int32_t> expected{0, 1, longKind, 3, 4, 5, longKind + 4, 7, 8, 9, 9, 9, 10, 11, 11, 11};
    std::vector<std::int32_t> kinds;
    for (const CFormatArg& argument : format.GetArguments())
        kinds.push_back(argument.GetKind());
    EXPECT_EQ(kinds, expected);
}

TEST_F(FormatTest, ValueAsQueries)
{
    struct Row {
        const char* name;
        CFormatArg argument;
        std::int16_t int16;
        std::uint16_t uint16;
        std::int32_t int32;
        std::uint32_t uint32;
        std::int64_t int64;
        std::uint64_t uint64;
        double real;
        TXChar unit;
        std::u16string text;
    };
    const Row rows[] = {
        {"short -2", CFormatArg(short{-2}), -2, 65534, -2, 4294967294u, -2, ~std::uint64_t{1}, -2.0, 0xFFFE, u""},
        {"int 70000", CFormatArg(70000), 4464, 4464, 70000, 70000, 70000, 70000, 70000.0, 4464, u""},
        {"unsigned long long max", CFormatArg(~0ULL), -1, 65535, -1, 0xFFFFFFFFu, -1, ~0ULL, 18446744073709551615.0,
         0xFFFF, u""},
        {"double -2.7", CFormatArg(-2.7), -2, 0, -2, 0, -2, 0, -2.7, 0, u""},
        {"double 1e300", CFormatArg(1e300), 32767, 65535, 2147483647, 4294967295u,
         std::numeric_limits<std::int64_t>::max(), ~0ULL, 1e300, 0xFFFF, u""},
        {"double NaN", CFormatArg(kQuietNaN), 0, 0, 0, 0, 0, 0, kQuietNaN, 0, u""},
        {"character", CFormatArg(TXChar(0x41)), 65, 65, 65, 65, 65, 65, 65.0, 0x41, u""},
        {"pointer", CFormatArg(kHighPointer), 0x2A, 0x2A, 0x2A, 0x2A, 0x100000002A, 0x100000002A, 68719476778.0, 0x2A, u""},
        {"text", CFormatArg(TXString("xyz")), 0, 0, 0, 0, 0, 0, 0.0, u'x', u"xyz"},
        {"empty text", CFormatArg(TXString()), 0, 0, 0, 0, 0, 0, 0.0, 0, u""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const CFormatArg& a = r.argument;
        EXPECT_EQ(a.AsInt16(), r.int16);
        EXPECT_EQ(a.AsUInt16(), r.uint16);
        EXPECT_EQ(a.AsInt32(), r.int32);
        EXPECT_EQ(a.AsUInt32(), r.uint32);
        EXPECT_EQ(a.AsInt64(), r.int64);
        EXPECT_EQ(a.AsUInt64(), r.uint64);
        if (std::isnan(r.real))
            EXPECT_TRUE(std::isnan(a.AsReal()));
        else
            EXPECT_EQ(a.AsReal(), r.real);
        EXPECT_EQ(a.AsChar(), r.unit);
        EXPECT_EQ(a.AsPointer(), a.GetKind() == CFormatArg::kPointer ? kHighPointer : nullptr);
        EXPECT_EQ(Units(a.AsText()), r.text);
    }
}

} // namespace
