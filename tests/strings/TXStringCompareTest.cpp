// TXString comparison, case and searching: every comparison rule, the ASCII
// fast path of the case-insensitive equality against the platform's own
// answer, title case, and every search rule with its start clipping.
#include "TXStringTestSupport.h"

#include "platform/Text.h"

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

using CompareTest = StringTest;

TEST_F(CompareTest, EqualityRules)
{
    const TXString upper(u"ABC");
    const TXString lower(u"abc");
    EXPECT_TRUE(upper == lower);
    EXPECT_FALSE(upper != lower);
    EXPECT_FALSE(upper.Equal(lower));
    EXPECT_TRUE(upper.Equal(TXString(u"ABC")));
    EXPECT_TRUE(upper.EqualNoCase(lower));
    EXPECT_FALSE(upper.EqualNoCase(TXString(u"ABCD")));

    EXPECT_TRUE(upper == "abc");
    EXPECT_TRUE("abc" == upper) << "reversed operands";
    EXPECT_TRUE(upper == u"aBc");
    EXPECT_TRUE(TXString(u"\u00E9") == "\xC3\x89") << "UTF-8 decoded before comparing";
    EXPECT_FALSE(TXString(u"e") == "\xC3\xA9");
    EXPECT_TRUE(upper != "abcd");
    EXPECT_FALSE(upper == static_cast<const char*>(nullptr));
    EXPECT_TRUE(TXString() == static_cast<const char*>(nullptr)) << "null equals exactly the empty text";
    EXPECT_TRUE(TXString() == static_cast<const char16_t*>(nullptr));
    EXPECT_FALSE(upper == static_cast<const unsigned short*>(nullptr));

    EXPECT_TRUE(TXString(u"a") < TXString(u"B"));
    EXPECT_TRUE(TXString(u"B") > TXString(u"a"));
    EXPECT_TRUE(upper <= lower);
    EXPECT_TRUE(upper >= lower);
}

TEST_F(CompareTest, OrderingRules)
{
    struct Case {
        std::u16string a;
        std::u16string b;
        int compare;
    };
    const std::vector<Case> codeUnitOrder = {
        {u"ab", u"abc", -1}, {u"b", u"abc", 1},       {u"abc", u"abc", 0},
        {u"", u"", 0},       {u"\uFFFF", u"a", 1},     {u"\xD800", u"\uE000", -1},
        {u"a", u"A", 1},     {std::u16string(u"a\0", 2), u"a", 1},
    };
    for (const Case& c : codeUnitOrder) {
        SCOPED_TRACE(testing::Message() << "Compare case " << (&c - codeUnitOrder.data()));
        EXPECT_EQ(Text(c.a).Compare(Text(c.b)), c.compare);
    }

    EXPECT_EQ(TXString(u"file10").CompareLogical(u"file9"), 1);
    EXPECT_EQ(TXString(u"file9").CompareLogical(u"file10"), -1);
    EXPECT_EQ(TXString().CompareLogical(u"a"), 1) << "empty texts sort last";
    EXPECT_EQ(TXString(u"a").CompareLogical(TXString()), -1);
    EXPECT_EQ(TXString().CompareLogical(TXString()), 0);
    EXPECT_EQ(TXString(u"a-1").CompareLogical(u"a!1", true), 0);
    EXPECT_EQ(TXString(u"a\x01" u"1").CompareLogical(u"a!1", true), 0) << "control units count as !";

    EXPECT_EQ(TXString(u"file10").CompareNatural(u"file9"), 1);
    EXPECT_EQ(TXString(u"ABC").CompareNatural(u"abc"), 0);
    EXPECT_EQ(TXString(u"a").CompareNatural(u"b"), -1);

    EXPECT_EQ(TXString(u"abc").CompareNoCase(u"ABC"), 0);
    EXPECT_LT(TXString(u"abc").CompareNoCase(u"abd"), 0);
    const TXString b(u"b");
    const TXString a(u"a");
    EXPECT_EQ(b.CompareNoCase(a), Platform::CompareNoCase(b.GetData(), a.GetData())) << "unchanged";
}

// The fast path decides only what the platform would decide the same way;
// every pair here must get exactly the platform's answer.
TEST_F(CompareTest, AsciiFastPathAgreesWithThePlatform)
{
    const std::vector<std::pair<std::u16string, std::u16string>> pairs = {
        {u"Hello World", u"hello world"},
        {u"Hello World", u"Hello Worle"},
        {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", u"abcdefghijklmnopqrstuvwxyz0123456789"},
        {u"path/to/File.TXT", u"PATH/TO/file.txt"},
        {u"a-b", u"a'b"},
        {u"a-b", u"ab-"},
        {u"a b", u"a_b"},
        {u"a\x01" u"b", u"a\x02" u"b"},
        {u"\x01\x02", u"\x03\x04"},
        {u"x\x7F", u"x\x1F"},
        {u"[", u"{"},
        {u"@", u"`"},
        {u"1", u"\u00B9"},
        {u"caf\u00E9", u"CAF\u00C9"},
        {u"\u00E9tat", u"\u00C9TAT"},
        {u"e\u0301", u"\u00E9x"},
        {u"stra\u00DFe", u"STRASSE"},
        {u"\u0130", u"i"},
        {std::u16string(u"ab\0c", 4), std::u16string(u"AB\0d", 4)},
        {std::u16string(u"a\0", 2), std::u16string(u"ab", 2)},
        {u"", u""},
        {u"csm", u"CSM"},
        {u"csm", u"cst"},
        // Long enough for the four-unit steps, with the difference in every lane.
        {u"@[`{AZaz09-_./", u"@[`{azAZ09-_./"},
        {u"abcdEFGH@xyz", u"ABCDefgh`XYZ"},
        {u"abcdEFGH[xyz", u"ABCDefgh{XYZ"},
        {u"abcdefgh\u00C0bcd", u"ABCDEFGH\u00E0BCD"},
        {std::u16string(u"abcd\0fgh", 8), std::u16string(u"ABCD\0FGH", 8)},
        {u"Documents and Settings/All Users", u"DOCUMENTS AND SETTINGS/ALL USERS"},
        {u"Documents and Settings/All Users", u"DOCUMENTS AND SETTINGS/ALL USERT"},
    };
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const TXString left = Text(pairs[i].first);
        const TXString right = Text(pairs[i].second);
        const bool platform = left.GetLength() == right.GetLength() &&
                              Platform::CompareNoCase(left.GetData(), right.GetData()) == 0;
        SCOPED_TRACE(testing::Message() << "pair " << i);
        EXPECT_EQ(left.EqualNoCase(right), platform);
        EXPECT_EQ(right.EqualNoCase(left), platform);
        EXPECT_EQ(left == right, platform);
    }
}

TEST_F(CompareTest, CaseOperations)
{
    EXPECT_EQ(Units(TXString(u"abc\u00E9").MakeUpper()), u"ABC\u00C9");
    EXPECT_EQ(Units(TXString(u"ABC\u00C9").MakeLower()), u"abc\u00E9");
    EXPECT_EQ(Units(TXString(u"hELLO wORLD-fOO").MakeTitleCase()), u"Hello World-Foo");
    EXPECT_EQ(Units(TXString(u"hELLO wORLD").MakeTitleCase(u'x')), u"hello World");
    EXPECT_EQ(Units(TXString(u"hELLO").MakeTitleCase(u' ')), u"Hello");
    EXPECT_EQ(Units(TXString(u"a.b,c").MakeTitleCase()), u"A.B,C");
    EXPECT_EQ(Units(TXString(u"ab\U0001F600").Reverse()), u"\xDE00\xD83D" u"ba");
}

TEST_F(CompareTest, SearchRules)
{
    struct Case {
        const char* name;
        std::int64_t found;
        std::int64_t expected;
    };
    const TXString xax(u"xax");
    const TXString text(u"Hello hello");
    const TXString blanks(u"  ab");
    const TXString empty;
    const std::vector<Case> table = {
        {"Find", text.Find(u"llo"), 2},
        {"Find from start", text.Find(u"llo", 3), 8},
        {"Find negative start", text.Find(u"He", -5), 0},
        {"Find empty sub", text.Find(TXString(), 0), -1},
        {"Find in empty", empty.Find(u"a"), -1},
        {"Find ignoring case", text.Find(u"HELLO", 1, true), 6},
        {"Find case-sensitive", text.Find(u"HELLO", 0, false), -1},
        {"Find unit", xax.Find(u'x', 1), 2},
        {"Find unit start at length", xax.Find(u'x', 3), -1},
        {"Find unit ignoring case", text.Find(u'H', 1, true), 6},
        {"Find char", text.Find('o'), 4},
        {"Find unsigned char", TXString(u"a\u00E9").Find(static_cast<unsigned char>(0xE9)), 1},
        {"ReverseFind", text.ReverseFind(u"llo"), 8},
        {"ReverseFind clipped start", text.ReverseFind(u"llo", 100), 8},
        {"ReverseFind before start", text.ReverseFind(u"llo", 7), 2},
        {"ReverseFind begins at start", text.ReverseFind(u"llo", 8), 8},
        {"ReverseFind ignoring case", text.ReverseFind(u"HELLO", 5, true), 0},
        {"ReverseFind empty sub", text.ReverseFind(TXString()), -1},
        {"ReverseFind negative", text.ReverseFind(u"H", -1), -1},
        {"ReverseFind unit from 100", xax.ReverseFind(u'x', 100), 2},
        {"ReverseFind unit from 1", xax.ReverseFind(u'x', 1), 0},
        {"ReverseFind unit in empty", empty.ReverseFind(u'x'), -1},
        {"ReverseFind unit ignoring case", text.ReverseFind(u'H', 100, true), 6},
        {"ReverseFind char", text.ReverseFind('H'), 0},
        {"FindOneOf", text.FindOneOf(u"ol"), 2},
        {"FindOneOf start", text.FindOneOf(u"ol", 5), 8},
        {"FindOneOf empty set", text.FindOneOf(TXString()), -1},
        {"FindOneOf start at length", text.FindOneOf(u"o", 11), -1},
        {"ReverseFindOneOf", text.ReverseFindOneOf(u"eH"), 7},
        {"ReverseFindOneOf start", text.ReverseFindOneOf(u"eH", 6), 1},
        {"ReverseFindOneOf empty set", text.ReverseFindOneOf(TXString()), -1},
        {"ReverseFindOneOf empty text", empty.ReverseFindOneOf(u"a"), -1},
        {"FindNotOneOf blanks", blanks.FindNotOneOf(u" \t"), 2},
        {"FindNotOneOf empty set", blanks.FindNotOneOf(TXString(), 1), 1},
        {"FindNotOneOf start at length", blanks.FindNotOneOf(u" ", 4), -1},
        {"FindNotOneOf all in set", blanks.FindNotOneOf(u" ab"), -1},
        {"ReverseFindNotOneOf", TXString(u"ab  ").ReverseFindNotOneOf(u" "), 1},
        {"ReverseFindNotOneOf start", text.ReverseFindNotOneOf(u"o", 4), 3},
        {"ReverseFindNotOneOf empty text", empty.ReverseFindNotOneOf(u"a"), -1},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.found, c.expected);
    }
}

/// Every start of Find and ReverseFind against the standard string's own
/// searches; ignoring case, against those on copies of both texts lowered
/// whole, as a search ignoring case is defined.
void ExpectSearchesAgree(const std::u16string& text, const std::u16string& needle, bool ignoreCase)
{
    const std::u16string searched = ignoreCase ? Units(Text(text).MakeLower()) : text;
    const std::u16string sought = ignoreCase ? Units(Text(needle).MakeLower()) : needle;
    const TXString subject = Text(text);
    const TXString sub = Text(needle);
    auto position = [](std::size_t found) {
        return found == std::u16string::npos ? TXString::kNotFound : static_cast<std::int64_t>(found);
    };
    for (std::size_t start = 0; start <= text.size() + 1; ++start) {
        const auto at = static_cast<std::int64_t>(start);
        ASSERT_EQ(subject.Find(sub, at, ignoreCase), position(searched.find(sought, start)))
            << "Find from " << start << " of a needle of " << needle.size() << " units";
        ASSERT_EQ(subject.ReverseFind(sub, at, ignoreCase), position(searched.rfind(sought, start)))
            << "ReverseFind from " << start << " of a needle of " << needle.size() << " units";
        if (needle.size() == 1 && start < text.size()) {
            ASSERT_EQ(subject.Find(needle[0], at, ignoreCase), position(searched.find(sought[0], start)));
            ASSERT_EQ(subject.ReverseFind(needle[0], at, ignoreCase), position(searched.rfind(sought[0], start)));
        }
    }
}

std::u16string Cat(std::initializer_list<std::u16string> parts)
{
    std::u16string result;
    for (const std::u16string& part : parts)
        result += part;
    return result;
}

std::u16string Repeat(const std::u16string& part, std::size_t times)
{
    std::u16string result;
    for (std::size_t i = 0; i < times; ++i)
        result += part;
    return result;
}

// Runs of one unit and periodic needles make the straightforward search
// compare a whole needle at almost every position: these are the inputs on
// which the search changes algorithm midway, with matches before, at and
// after the change.
TEST_F(CompareTest, SearchesAgreeWithTheStandardStringOnTrapInputs)
{
    const std::u16string run(700, u'a');
    const std::u16string periodic = Cat({Repeat(u"ab", 250), u"c", Repeat(u"ab", 100), u"abc"});
    std::vector<std::pair<std::u16string, std::u16string>> cases;
    for (const std::size_t k : {1, 2, 5, 40, 300}) {
        const std::u16string as(k, u'a');
        const std::u16string abs = Repeat(u"ab", k);
        cases.push_back({run, Cat({as, u"b"})});
        cases.push_back({run, Cat({u"b", as})});
        cases.push_back({Cat({run, u"b", run}), Cat({as, u"b", as})});
        cases.push_back({Cat({run, u"b"}), as});
        cases.push_back({periodic, Cat({abs, u"c"})});
        cases.push_back({periodic, Cat({u"c", abs})});
        cases.push_back({periodic, Cat({abs, u"a"})});
        cases.push_back({periodic, Repeat(u"aab", k)});
    }
    // Two letters at random: needles cut from the text, with one unit changed.
    std::mt19937 random(20240611);
    std::u16string letters(1500, u'a');
    for (char16_t& unit : letters)
        unit = random() % 4 == 0 ? u'b' : u'a';
    for (const std::size_t length : {3, 9, 17, 64}) {
        std::u16string needle = letters.substr(random() % (letters.size() - length), length);
        cases.push_back({letters, needle});
        needle[random() % length] ^= 3;
        cases.push_back({letters, needle});
    }
    // Units a step away from the needle's first unit, or with its low bits
    // under high ones: a scan that tests several units at once must take
    // none of them for it, from either end.
    const char16_t neighbours[] = {u'a', u'`', u'b', u'\x0001', u'\x0161', u'\x8061', u'\xE061'};
    std::u16string near(600, u'a');
    for (char16_t& unit : near)
        unit = neighbours[random() % std::size(neighbours)];
    for (const char16_t unit : neighbours)
        cases.push_back({near, std::u16string(1, unit)});
    cases.push_back({near, u"a`"});
    cases.push_back({near, u"`a"});
    for (const auto& [text, needle] : cases) {
        SCOPED_TRACE(testing::Message() << "text of " << text.size() << " units");
        ExpectSearchesAgree(text, needle, false);
    }
}

// Ignoring case, the text is lowered window by window; each unit must come
// out as in a lowered copy of the whole text, also where a window's edge
// splits a surrogate pair that the platform lowers as one character
// (U+10400 lowers to U+10428, both as pairs).
TEST_F(CompareTest, CaseInsensitiveSearchesAgreeWithLoweredCopies)
{
    const std::u16string unit = u"xA\U00010400b\u00C9\xDC00yZ\U00010428\xD801q";
    std::u16string text;
    while (text.size() < 2600)
        text += Cat({unit, std::u16string(text.size() % 7, u'k')});
    const std::vector<std::u16string> needles = {
        u"a", u"A", u"\u00E9", u"\U00010400", u"\U00010428", u"\xDC28", u"\xDC00", u"\xD801",
        u"Ab\U00010428", u"\xDC28" u"B", u"KKKKKKK", u"absent", text.substr(900, 1400),
    };
    for (const std::u16string& needle : needles) {
        SCOPED_TRACE(testing::Message() << "needle of " << needle.size() << " units");
        ExpectSearchesAgree(text, needle, true);
    }
    // Short ASCII needles are first sought unit by unit near the start:
    // units beyond ASCII that some case mappings lower into ASCII (the
    // Kelvin sign, the dotted I) stand near and far from it, and matches lie
    // within and beyond the first few starts.
    const std::u16string ascii = Cat({u"xxKk", Repeat(u"ab", 9), u"K", Repeat(u"x", 20), u"İd",
                                      Repeat(u"Ab", 12), u"zKKk"});
    for (const std::u16string needle : {u"k", u"K", u"kk", u"ab", u"BA", u"id", u"xk", u"abababab", u"ABABABABA"}) {
        SCOPED_TRACE(testing::Message() << "ASCII needle of " << needle.size() << " units");
        ExpectSearchesAgree(ascii, needle, true);
    }
}

} // namespace
