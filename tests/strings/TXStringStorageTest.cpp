// TXString storage and core: construction and assignment per source kind,
// appending, insertion and concatenation, access, editing, substrings and
// surrogate handling.
#include "TXStringTestSupport.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::function<TXString()> make;
    std::u16string expected;
};

void RunTable(const std::vector<Case>& table)
{
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        const TXString s = c.make();
        EXPECT_EQ(Units(s), c.expected);
        EXPECT_EQ(s.GetData()[s.GetLength()], 0) << "not NUL-terminated";
    }
}

/// Applies `edit` to a copy of `start` and returns it.
std::function<TXString()> Edited(std::u16string start, std::function<void(TXString&)> edit)
{
    return [start, edit] {
        TXString s = Text(start);
        edit(s);
        return s;
    };
}

const std::u16string kWithNul(u"ab\0cd", 5);
const unsigned short kWideUnits[] = {'x', 'y', 0};
const unsigned char kCountedAbc[] = {3, 'a', 'b', 'c', 'z'};
const unsigned char kCountedEmpty[] = {0, 'a'};
const unsigned char kCountedUtf8[] = {2, 0xC3, 0xA9};

using StorageTest = StringTest;

TEST_F(StorageTest, ConstructionPerSourceKind)
{
    const TXString abc(u"abc");
    RunTable({
        {"default", [] { return TXString(); }, u""},
        {"copy", [&] { return TXString(abc); }, u"abc"},
        {"inner string copy", [] { const TXInnerString in(3, TXChar('i')); return TXString(in); }, u"iii"},
        {"inner string move", [] { return TXString(TXInnerString(2, TXChar('m'))); }, u"mm"},
        {"std wide string stops at NUL",
         [] { return TXString(TXStdWString{TXChar('a'), TXChar('b'), TXChar(0), TXChar('c')}); }, u"ab"},
        {"std string UTF-8", [] { return TXString(std::string("h\xC3\xA9")); }, u"h\u00E9"},
        {"std string Mac", [] { return TXString(std::string("\x8E"), kMacEncoded); }, u"\u00E9"},
        {"string view part", [] { return TXString(std::string_view("abc", 2)); }, u"ab"},
        {"string view empty", [] { return TXString(std::string_view()); }, u""},
        {"count 64-bit", [] { return TXString(std::uint64_t{3}); }, std::u16string(3, u'\0')},
        {"count 32-bit", [] { return TXString(std::int32_t{2}); }, std::u16string(2, u'\0')},
        {"count negative", [] { return TXString(std::int32_t{-1}); }, u""},
        {"null char pointer", [] { return TXString(static_cast<const char*>(nullptr)); }, u""},
        {"null char pointer Mac", [] { return TXString(static_cast<const char*>(nullptr), kMacEncoded); }, u""},
        {"char pointer", [] { return TXString("a\xE2\x82\xAC"); }, u"a\u20AC"},
        {"char pointer system code page", [] { return TXString("\x80", kSysEncoded); }, u"\u20AC"},
        {"char pointer and count", [] { return TXString("abcdef", 3); }, u"abc"},
        {"count of all ones", [] { return TXString("abc", static_cast<std::size_t>(-1)); }, u""},
        {"null with count", [] { return TXString(static_cast<const char*>(nullptr), 3); }, u""},
        {"first byte NUL", [] { return TXString("\0ab", 3); }, u""},
        {"embedded NUL byte", [] { return TXString("a\0b", 3); }, std::u16string(u"a\0b", 3)},
        {"counted", [] { return TXString(kCountedAbc); }, u"abc"},
        {"counted empty", [] { return TXString(kCountedEmpty); }, u""},
        {"counted null", [] { return TXString(static_cast<const unsigned char*>(nullptr)); }, u""},
        {"counted UTF-8", [] { return TXString(kCountedUtf8); }, u"\u00E9"},
        {"16-bit NUL-terminated", [] { return TXString(u"xyz"); }, u"xyz"},
        {"unsigned short units", [] { return TXString(kWideUnits); }, u"xy"},
        {"16-bit null", [] { return TXString(static_cast<const char16_t*>(nullptr)); }, u""},
        {"exact flag 1", [] { return TXString(kWithNul.data(), 5, 1); }, kWithNul},
        {"exact flag 0", [] { return TXString(kWithNul.data(), 5, 0); }, u"ab"},
        {"exact flag 2", [] { return TXString(kWithNul.data(), 5, 2); }, u""},
        {"exact null", [] { return TXString(static_cast<const char16_t*>(nullptr), 5, 1); }, u""},
        {"count without flag", [] { return TXString(u"abcdef", 3); }, u"abc"},
        {"count without flag stops at NUL", [] { return TXString(kWithNul.data(), 5); }, u"ab"},
        {"8-bit character is its byte value", [] { return TXString('\xE9', 2); }, u"\u00E9\u00E9"},
        {"unsigned 8-bit character", [] { return TXString(static_cast<unsigned char>(0xFF), 1); }, u"\u00FF"},
        {"16-bit character", [] { return TXString(u'x', 3); }, u"xxx"},
        {"unsigned short character", [] { return TXString(static_cast<unsigned short>(0x263A), 1); }, u"\u263A"},
        {"decimal", [] { return TXString(std::int64_t{-42}); }, u"-42"},
        {"padded", [] { return TXString(std::int64_t{42}, 5, u'0'); }, u"00042"},
        {"padded fill before sign", [] { return TXString(std::int64_t{-42}, 5, u'0'); }, u"00-42"},
        {"padded wider than field", [] { return TXString(std::int64_t{123456}, 3, u'*'); }, u"123456"},
        {"real fixed", [] { return TXString(2.5, 3, true); }, u"2.500"},
        {"real general", [] { return TXString(2.5, 3, false); }, u"2.5"},
        {"real general precision", [] { return TXString(1234567.0, 3, false); }, u"1.23e+06"},
    });
}

TEST_F(StorageTest, AssignmentPerSourceKind)
{
    const std::u16string before = u"previous text here";
    auto assign = [&](std::function<void(TXString&)> op) { return Edited(before, op); };
    RunTable({
        {"TXString", assign([](TXString& s) { s = TXString(u"new"); }), u"new"},
        {"self", assign([](TXString& s) { s = *&s; }), before},
        {"std string", assign([](TXString& s) { s = std::string("\xC3\xA9"); }), u"\u00E9"},
        {"string view empty", assign([](TXString& s) { s = std::string_view(); }), u""},
        {"std wide string", assign([](TXString& s) { s = TXStdWString{TXChar('w'), 0, TXChar('x')}; }), u"w"},
        {"char pointer", assign([](TXString& s) { s = "abc"; }), u"abc"},
        {"null char pointer", assign([](TXString& s) { s = static_cast<const char*>(nullptr); }), u""},
        {"counted", assign([](TXString& s) { s = kCountedAbc; }), u"abc"},
        {"counted empty", assign([](TXString& s) { s = kCountedEmpty; }), u""},
        {"counted null", assign([](TXString& s) { s = static_cast<const unsigned char*>(nullptr); }), u""},
        {"16-bit", assign([](TXString& s) { s = u"wide"; }), u"wide"},
        {"unsigned short", assign([](TXString& s) { s = kWideUnits; }), u"xy"},
        {"16-bit null", assign([](TXString& s) { s = static_cast<const char16_t*>(nullptr); }), u""},
        {"char", assign([](TXString& s) { s = '\xFF'; }), u"\u00FF"},
        {"unsigned char", assign([](TXString& s) { s = static_cast<unsigned char>('q'); }), u"q"},
        {"16-bit unit", assign([](TXString& s) { s = u'\u263A'; }), u"\u263A"},
        {"code point BMP", assign([](TXString& s) { s = std::uint32_t{0xFFFF}; }), u"\uFFFF"},
        {"code point pair", assign([](TXString& s) { s = std::uint32_t{0x1F600}; }), u"\U0001F600"},
        {"code point last", assign([](TXString& s) { s = std::uint32_t{0x10FFFF}; }), u"\U0010FFFF"},
        {"code point beyond", assign([](TXString& s) { s = std::uint32_t{0x110000}; }), u""},
        {"real", assign([](TXString& s) { s = 2.5; }), u"2.500000"},
    });
}

TEST_F(StorageTest, AppendingInsertionAndConcatenation)
{
    const TXString ab(u"ab");
    auto from = [](std::function<void(TXString&)> op) { return Edited(u"ab", op); };
    RunTable({
        {"+= TXString", from([](TXString& s) { s += TXString(u"cd"); }), u"abcd"},
        {"+= itself", from([](TXString& s) { s += s; }), u"abab"},
        {"+= UTF-8", from([](TXString& s) { s += "\xE2\x82\xAC"; }), u"ab\u20AC"},
        {"+= null", from([](TXString& s) { s += static_cast<const char*>(nullptr); }), u"ab"},
        {"+= counted", from([](TXString& s) { s += kCountedAbc; }), u"ababc"},
        {"+= counted empty", from([](TXString& s) { s += kCountedEmpty; }), u"ab"},
        {"+= 16-bit", from([](TXString& s) { s += u"cd"; }), u"abcd"},
        {"+= 16-bit null", from([](TXString& s) { s += static_cast<const char16_t*>(nullptr); }), u"ab"},
        {"+= char", from([](TXString& s) { s += '\xE9'; }), u"ab\u00E9"},
        {"+= NUL unit adds one", from([](TXString& s) { s += u'\0'; }), std::u16string(u"ab\0", 3)},
        {"+= code point pair", from([](TXString& s) { s += std::uint32_t{0x1F600}; }), u"ab\U0001F600"},
        {"+= code point beyond", from([](TXString& s) { s += std::uint32_t{0x110000}; }), u"ab"},
        {"<< chain", from([](TXString& s) {
             s << "-" << 5 << ' ' << -3 << u'|' << 7u << std::int64_t{-9} << std::uint64_t{18446744073709551615u}
               << u"|" << 2.5;
         }),
         u"ab-5 -3|7-918446744073709551615|2.500000"},
        {"Insert TXString", from([](TXString& s) { s.Insert(1, TXString(u"XY")); }), u"aXYb"},
        {"Insert itself", from([](TXString& s) { s.Insert(1, s); }), u"aabb"},
        {"Insert beyond appends", from([](TXString& s) { s.Insert(99, u"Z"); }), u"abZ"},
        {"Insert UTF-8", from([](TXString& s) { s.Insert(0, "\xC3\xA9"); }), u"\u00E9ab"},
        {"Insert null", from([](TXString& s) { s.Insert(0, static_cast<const char*>(nullptr)); }), u"ab"},
        {"Insert counted", from([](TXString& s) { s.Insert(2, kCountedAbc); }), u"ababc"},
        {"Insert 16-bit", from([](TXString& s) { s.Insert(1, kWideUnits); }), u"axyb"},
        {"Insert char", from([](TXString& s) { s.Insert(1, '\xFF'); }), u"a\u00FFb"},
        {"Insert unit", from([](TXString& s) { s.Insert(0, u'\u263A'); }), u"\u263Aab"},
        {"Insert code point pair", from([](TXString& s) { s.Insert(1, std::uint32_t{0x1F600}); }), u"a\U0001F600b"},
        {"Insert code point beyond", from([](TXString& s) { s.Insert(1, std::uint32_t{0x110000}); }), u"a?b"},
        {"+ strings", [&] { return ab + TXString(u"cd"); }, u"abcd"},
        {"+ unit", [&] { return ab + u'c'; }, u"abc"},
        {"+ NUL unit adds nothing", [&] { return ab + u'\0'; }, u"ab"},
        {"unit +", [&] { return u'z' + ab; }, u"zab"},
        {"NUL unit + adds nothing", [&] { return u'\0' + ab; }, u"ab"},
        {"+ 16-bit text", [&] { return ab + u"cd"; }, u"abcd"},
        {"+ null", [&] { return ab + static_cast<const char16_t*>(nullptr); }, u"ab"},
        {"16-bit text +", [&] { return u"pre" + ab; }, u"preab"},
        {"null +", [&] { return static_cast<const char16_t*>(nullptr) + ab; }, u"ab"},
    });
}

TEST_F(StorageTest, EditingAndSubstrings)
{
    const std::u16string pair = u"A\U0001F600B"; // A, D83D, DE00, B
    auto on = [](std::u16string start, std::function<void(TXString&)> op) { return Edited(start, op); };
    auto sub = [](std::u16string start, std::function<TXString(const TXString&)> op) {
        return [start, op] { return op(Text(start)); };
    };
    RunTable({
        {"SetLength grows with NUL", on(u"ab", [](TXString& s) { s.SetLength(4); }), std::u16string(u"ab\0\0", 4)},
        {"SetLength fill", on(u"ab", [](TXString& s) { s.SetLength(4, u'.'); }), u"ab.."},
        {"SetLength drops high surrogate", on(pair, [](TXString& s) { s.SetLength(2); }), u"A"},
        {"Truncate", on(u"abcd", [](TXString& s) { s.Truncate(2); }), u"ab"},
        {"Truncate longer: no change", on(u"ab", [](TXString& s) { s.Truncate(5); }), u"ab"},
        {"Truncate drops high surrogate", on(pair, [](TXString& s) { s.Truncate(2); }), u"A"},
        {"Delete", on(u"abcdef", [](TXString& s) { s.Delete(1, 2); }), u"adef"},
        {"Delete clipped", on(u"abcdef", [](TXString& s) { s.Delete(4, 100); }), u"abcd"},
        {"Delete past end", on(u"abc", [](TXString& s) { s.Delete(3, 1); }), u"abc"},
        {"DeleteLast splits a pair", on(pair.substr(0, 3), [](TXString& s) { s.DeleteLast(); }), u"A\xD83D"},
        {"DeleteLast empty", on(u"", [](TXString& s) { s.DeleteLast(); }), u""},
        {"Replace", on(u"aAa", [](TXString& s) { s.Replace(u"A", u"xx"); }), u"axxa"},
        {"Replace ignoring case", on(u"aAa", [](TXString& s) { s.Replace(u"A", u"xx", true); }), u"xxxxxx"},
        {"Replace shrinking ignoring case", on(u"ABcabC", [](TXString& s) { s.Replace(u"bc", u"", true); }), u"Aa"},
        {"Replace non-overlapping", on(u"aaaa", [](TXString& s) { s.Replace(u"aa", u"b"); }), u"bb"},
        {"Replace empty find", on(u"abc", [](TXString& s) { s.Replace(u"", u"x"); }), u"abc"},
        {"Replace ignoring case by the text itself", on(u"aXa", [](TXString& s) { s.Replace(u"A", s, true); }),
         u"aXaXaXa"},
        {"Replace by the text itself", on(u"aXa", [](TXString& s) { s.Replace(u"a", s); }), u"aXaXaXa"},
        {"Replace ignoring case non-ASCII", on(u"\u00C9t\u00E9", [](TXString& s) { s.Replace(u"\u00E9", u"e", true); }),
         u"ete"},
        {"Replace ignoring case adjacent and at both ends",
         on(u"AbaBAB", [](TXString& s) { s.Replace(u"ab", u"-", true); }), u"---"},
        {"Replace not found", on(u"abc", [](TXString& s) { s.Replace(u"z", u"x"); }), u"abc"},
        {"Trim", on(u" \t a b \t\n", [](TXString& s) { s.Trim(); }), u"a b \t\n"},
        {"TrimLeft all blank", on(u" \t ", [](TXString& s) { s.TrimLeft(); }), u""},
        {"TrimRight", on(u"\tab \t", [](TXString& s) { s.TrimRight(); }), u"\tab"},
        {"Mid(0, 2) drops trailing high", sub(pair, [](const TXString& s) { return s.Mid(0, 2); }), u"A"},
        {"Mid(2, 2) drops leading low", sub(pair, [](const TXString& s) { return s.Mid(2, 2); }), u"B"},
        {"Mid(1, 2) keeps the pair", sub(pair, [](const TXString& s) { return s.Mid(1, 2); }), u"\U0001F600"},
        {"Mid past end", sub(u"abc", [](const TXString& s) { return s.Mid(3, 1); }), u""},
        {"Mid clipped", sub(u"abc", [](const TXString& s) { return s.Mid(1, 99); }), u"bc"},
        {"Left(2)", sub(pair, [](const TXString& s) { return s.Left(2); }), u"A"},
        {"Left beyond", sub(u"abc", [](const TXString& s) { return s.Left(9); }), u"abc"},
        {"Right(2)", sub(pair, [](const TXString& s) { return s.Right(2); }), u"B"},
        {"Right(3) keeps the pair", sub(pair, [](const TXString& s) { return s.Right(3); }), u"\U0001F600B"},
        {"Right whole", sub(u"\xDC00x", [](const TXString& s) { return s.Right(2); }), u"\xDC00x"},
        {"DropLoneSurrogates", on(u"\xDC00xy\xD800", [](TXString& s) { s.DropLoneSurrogates(); }), u"xy"},
        {"DropLeadingLowSurrogate only", on(u"\xDC00x\xD800", [](TXString& s) { s.DropLeadingLowSurrogate(); }),
         u"x\xD800"},
    });
}

TEST_F(StorageTest, SurrogateQueries)
{
    const TXString pair(u"A\U0001F600B");
    EXPECT_FALSE(pair.IsSurrogatePairAt(0));
    EXPECT_TRUE(pair.IsSurrogatePairAt(1));
    EXPECT_FALSE(pair.IsSurrogatePairAt(2));
    EXPECT_FALSE(pair.IsSurrogatePairAt(3));
    EXPECT_FALSE(pair.IsSurrogatePairAt(static_cast<std::size_t>(-1)));
    EXPECT_TRUE(pair.HasSurrogatePair());
    EXPECT_FALSE(TXString(u"\xD800").HasSurrogatePair());
    EXPECT_FALSE(TXString(u"\xDC00\xD800").HasSurrogatePair());
    EXPECT_FALSE(TXString(u"\xD800x").IsSurrogatePairAt(0));
}

TEST_F(StorageTest, OutOfRangeAccessUsesTheScratchUnit)
{
    TXString s(u"abc");
    TXChar& scratch = s[10];
    EXPECT_EQ(scratch, 0);
    scratch = u'Z';
    EXPECT_EQ(Units(s), u"abc");
    EXPECT_EQ(s[-1], 0) << "the scratch unit is cleared on every out-of-range access";
    EXPECT_EQ(&s[std::size_t{3}], &scratch);
    s[1] = u'B';
    EXPECT_EQ(Units(s), u"aBc");
    EXPECT_EQ(s.GetAt(2), u'c');
    EXPECT_EQ(s.GetAt(3), 0);
    EXPECT_EQ(s.GetAt(-1), 0);
    s.SetAt(5, u'x').SetAt(-1, u'x').SetAt(0, u'A');
    EXPECT_EQ(Units(s), u"ABc");
    EXPECT_EQ(s.GetLast(), u'c');
    s.GetLast() = u'C';
    EXPECT_EQ(Units(s), u"ABC");

    TXString empty;
    const TXString& constEmpty = empty;
    EXPECT_EQ(constEmpty.GetLast(), 0);
    empty.GetLast() = u'x';
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(s.GetByteSize(), 6u);
}

TEST_F(StorageTest, MovesTakeTheBufferAndLeaveNarrowBuffersBehind)
{
    TXString source(u"a text long enough for the heap");
    const TXChar* buffer = source.GetData();
    const char* narrow = source.ToNarrow();

    TXString moved(std::move(source));
    EXPECT_EQ(moved.GetData(), buffer) << "the text buffer moves";
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_EQ(moved.GetNarrowCapacity(), 0) << "a move gives no narrow buffer";
    EXPECT_EQ(source.ToNarrow(), narrow) << "the source keeps its narrow buffer";

    TXString target(u"another heap text of some length");
    const std::int32_t targetNarrow = (target.ToNarrow(), target.GetNarrowCapacity());
    target = std::move(moved);
    EXPECT_EQ(target.GetData(), buffer);
    EXPECT_TRUE(moved.IsEmpty());
    EXPECT_EQ(target.GetNarrowCapacity(), targetNarrow) << "assignment keeps the own narrow buffer";

    const TXString copy(target);
    EXPECT_EQ(copy.GetNarrowCapacity(), 0);
    TXString swapped(u"x");
    swapped.Swap(target);
    EXPECT_EQ(Units(swapped), u"a text long enough for the heap");
    EXPECT_EQ(Units(target), u"x");
    EXPECT_EQ(target.GetNarrowCapacity(), targetNarrow);
    target.Swap(target);
    EXPECT_EQ(Units(target), u"x");
}

// The platform's wide character, char16_t and unsigned short are all taken
// (one type on Linux is both of the first two), 8-bit characters and plain
// integers are not 16-bit units.
static_assert(TXUnitType<TXChar> && TXUnitType<char16_t> && TXUnitType<unsigned short>);
static_assert(!TXUnitType<char> && !TXUnitType<unsigned char> && !TXUnitType<int> && !TXUnitType<char32_t>);

TEST_F(StorageTest, EveryUnitTypeBehavesAlike)
{
    const TXChar wide[] = {TXChar('w'), TXChar(0x263A), 0};
    const char16_t utf16[] = {u'w', u'\u263A', 0};
    const unsigned short shorts[] = {'w', 0x263A, 0};
    const TXString fromWide(wide);
    EXPECT_EQ(Units(fromWide), u"w\u263A");
    EXPECT_TRUE(fromWide.Equal(TXString(utf16)));
    EXPECT_TRUE(fromWide.Equal(TXString(shorts)));
    TXString appended;
    appended << wide[0] << utf16[1];
    appended += shorts[0];
    EXPECT_EQ(Units(appended), u"w\u263Aw");
    EXPECT_EQ(fromWide.Find(shorts[1]), 1);
    EXPECT_EQ(fromWide.Find(wide[1]), 1);
}

/// Appends, inserts and assigns units read through `C` pointers from inside
/// the string's own text, which the edit itself moves or frees; every unit
/// type has to come out as the standard string would.
template <typename C>
void EditWithOwnUnits()
{
    const std::u16string start = u"0123456789abcdefghij"; // on the heap, full
    struct Op {
        const char* name;
        void (*edit)(TXString&, const C*);
        std::u16string (*expected)(const std::u16string& text, const std::u16string& source);
    };
    const Op ops[] = {
        {"+=", [](TXString& s, const C* p) { s += p; },
         [](const std::u16string& t, const std::u16string& p) { return t + p; }},
        {"<<", [](TXString& s, const C* p) { s << p; },
         [](const std::u16string& t, const std::u16string& p) { return t + p; }},
        {"Insert", [](TXString& s, const C* p) { s.Insert(3, p); },
         [](const std::u16string& t, const std::u16string& p) { return t.substr(0, 3) + p + t.substr(3); }},
        {"=", [](TXString& s, const C* p) { s = p; },
         [](const std::u16string&, const std::u16string& p) { return p; }},
    };
    for (const std::size_t offset : {std::size_t{0}, std::size_t{4}, start.size()}) {
        for (const Op& op : ops) {
            SCOPED_TRACE(testing::Message() << op.name << " from offset " << offset);
            TXString s = Text(start);
            op.edit(s, reinterpret_cast<const C*>(s.GetData()) + offset);
            EXPECT_EQ(Units(s), op.expected(start, start.substr(offset)));
        }
    }
}

TEST_F(StorageTest, SourcesInsideTheOwnTextForEveryUnitType)
{
    EditWithOwnUnits<TXChar>();
    EditWithOwnUnits<char16_t>();
    EditWithOwnUnits<unsigned short>();
}

TEST_F(StorageTest, EveryLengthErrorIsStringTooLong)
{
    const std::size_t tooLong = TXInnerString().max_size() + 1;
    const TXChar wide[] = {TXChar('a'), TXChar('b'), 0};
    const char16_t utf16[] = u"ab";
    const unsigned short shorts[] = {'a', 'b', 0};
    TXString some(u"some text");
    const std::vector<std::pair<const char*, std::function<void()>>> paths = {
        {"exact count, TXChar", [&] { static_cast<void>(TXString(wide, tooLong, 1)); }},
        {"exact count, char16_t", [&] { static_cast<void>(TXString(utf16, tooLong, 1)); }},
        {"exact count, unsigned short", [&] { static_cast<void>(TXString(shorts, tooLong, 1)); }},
        {"exact count of all ones", [&] { static_cast<void>(TXString(shorts, static_cast<std::size_t>(-1), 1)); }},
        {"count of NUL units", [&] { static_cast<void>(TXString(std::uint64_t{tooLong})); }},
        {"count of a unit", [&] { static_cast<void>(TXString(u'x', tooLong)); }},
        {"count of a byte", [&] { static_cast<void>(TXString('x', tooLong)); }},
        {"UTF-8 byte count", [&] { static_cast<void>(TXString("abc", tooLong)); }},
        {"code page byte count", [&] { static_cast<void>(TXString("abc", tooLong, kSysEncoded)); }},
        {"SetLength", [&] { some.SetLength(tooLong); }},
        {"SetLength with fill", [&] { some.SetLength(tooLong, u'x'); }},
    };
    for (const auto& [name, path] : paths) {
        SCOPED_TRACE(name);
        try {
            path();
            ADD_FAILURE() << "no length error";
        } catch (const std::length_error& e) {
            EXPECT_STREQ(e.what(), kStringTooLong);
        }
    }
    EXPECT_EQ(Units(some), u"some text") << "a refused length changes nothing";
}

TEST_F(StorageTest, ToStdWStringStopsAtNul)
{
    const TXStdWString w = Text(kWithNul).ToStdWString();
    EXPECT_EQ(w.size(), 2u);
    EXPECT_EQ(w[1], TXChar('b'));
}

} // namespace
