// TXStringArray's rules, TXString::SplitAtHyphens, the enumeration name
// table's reading of its literal, and the module's six tables.
#include "TXStringTestSupport.h"

#include "strings/EnumNameTable.h"
#include "strings/TXStringArray.h"

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::u16string> Elements(const TXStringArray& array)
{
    std::vector<std::u16string> units;
    for (std::size_t i = 0; i < array.GetSize(); ++i)
        units.push_back(Units(array[i]));
    return units;
}

TXStringArray Array(std::initializer_list<const char16_t*> texts)
{
    TXStringArray array;
    for (const char16_t* text : texts)
        array.Append(TXString(text));
    return array;
}

using ArrayTest = StringTest;

TEST_F(ArrayTest, EditingOperations)
{
    struct Case {
        const char* name;
        std::function<void(TXStringArray&)> edit;
        std::vector<std::u16string> expected;
    };
    const std::vector<Case> cases{
        {"SetAt in range assigns", [](TXStringArray& a) { a.SetAt(1, TXString("x")); }, {u"a", u"x", u"c"}},
        {"SetAt past the end appends", [](TXStringArray& a) { a.SetAt(10, TXString("x")); }, {u"a", u"b", u"c", u"x"}},
        {"Erase clips the count", [](TXStringArray& a) { a.Erase(1, 100); }, {u"a"}},
        {"Erase in the middle", [](TXStringArray& a) { a.Erase(1, 1); }, {u"a", u"c"}},
        {"Erase at the count", [](TXStringArray& a) { a.Erase(3, 1); }, {u"a", u"b", u"c"}},
        {"Erase of nothing", [](TXStringArray& a) { a.Erase(0, 0); }, {u"a", u"b", u"c"}},
        {"InsertFirst", [](TXStringArray& a) { a.InsertFirst(TXString("z")); }, {u"z", u"a", u"b", u"c"}},
        {"Append array", [](TXStringArray& a) { a.Append(Array({u"d", u"e"})); }, {u"a", u"b", u"c", u"d", u"e"}},
        {"Append itself", [](TXStringArray& a) { a.Append(a); }, {u"a", u"b", u"c", u"a", u"b", u"c"}},
        {"SetSize shrinks", [](TXStringArray& a) { a.SetSize(1); }, {u"a"}},
        {"SetSize grows with empty texts", [](TXStringArray& a) { a.SetSize(5); }, {u"a", u"b", u"c", u"", u""}},
        {"Clear", [](TXStringArray& a) { a.Clear(); }, {}},
        {"Sort without comparator ignores case", [](TXStringArray& a) { a = Array({u"b", u"A", u"c"}); a.Sort(); },
         {u"A", u"b", u"c"}},
        {"Sort with comparator",
         [](TXStringArray& a) {
             a = Array({u"ccc", u"a", u"bb"});
             a.Sort([](const TXString& x, const TXString& y) { return x.GetLength() > y.GetLength(); });
         },
         {u"ccc", u"bb", u"a"}},
        {"assign from a vector", [](TXStringArray& a) { a = std::vector<TXString>{TXString("v")}; }, {u"v"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TXStringArray array = Array({u"a", u"b", u"c"});
        c.edit(array);
        EXPECT_EQ(Elements(array), c.expected);
        EXPECT_EQ(array.IsEmpty(), c.expected.empty());
    }
}

TEST_F(ArrayTest, EqualityAndFind)
{
    EXPECT_TRUE(Array({u"abc"}) == Array({u"ABC"}));
    EXPECT_TRUE(TXStringArray() == TXStringArray());
    EXPECT_FALSE(Array({u"a"}) == Array({u"a", u"b"}));
    EXPECT_FALSE(Array({u"a", u"b"}) == Array({u"a", u"c"}));

    const TXStringArray array = Array({u"abc", u"ABC"});
    EXPECT_EQ(array.Find(TXString("ABC"), true), 0);
    EXPECT_EQ(array.Find(TXString("ABC"), false), 1);
    EXPECT_EQ(array.Find(TXString("ab"), true), -1);
    EXPECT_EQ(array.Find(TXString("abcd"), true), -1);
}

TEST_F(ArrayTest, ConstructionCopyAndMove)
{
    EXPECT_EQ(Elements(TXStringArray(2)), (std::vector<std::u16string>{u"", u""}));
    EXPECT_EQ(Elements(TXStringArray(std::vector<TXString>{TXString("v"), TXString("w")})),
              (std::vector<std::u16string>{u"v", u"w"}));

    TXStringArray source = Array({u"long enough to live on the heap", u"b"});
    TXStringArray copy(source);
    EXPECT_EQ(Elements(copy), Elements(source));
    TXStringArray moved(std::move(source));
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_EQ(Elements(moved), Elements(copy));

    TXStringArray target = Array({u"old"});
    target = std::move(moved);
    EXPECT_TRUE(moved.IsEmpty());
    EXPECT_EQ(Elements(target), Elements(copy));
    const TXStringArray& self = target;
    target = self; // self-assignment changes nothing
    EXPECT_EQ(Elements(target), Elements(copy));
}

TEST_F(ArrayTest, SplitAtHyphens)
{
    struct Case {
        const char16_t* text;
        std::vector<std::u16string> parts;
    };
    const std::vector<Case> cases{
        {u"1-2-3", {u"1", u"2", u"3"}},
        {u"-1--2", {u"-1", u"-2"}},
        {u"a--b", {u"a", u"-b"}},
        {u"1---2", {u"1", u"--2"}},
        {u"a-", {u"a-"}},
        {u"--5", {u"--5"}},
        {u"-", {u"-"}},
        {u"--", {u"--"}},
        {u"-5", {u"-5"}},
        {u"--5-6", {u"--5", u"6"}},
        {u"abc", {u"abc"}},
        {u"", {u""}},
        {u"a-b-c-d-e", {u"a", u"b", u"c", u"d-e"}},
    };
    for (const Case& c : cases) {
        const TXString text(c.text);
        SCOPED_TRACE(text.ToStdString());
        TXStringArray array = Array({u"kept"});
        std::int32_t count = -1;
        text.SplitAtHyphens(count, array);
        std::vector<std::u16string> expected{u"kept"};
        expected.insert(expected.end(), c.parts.begin(), c.parts.end());
        EXPECT_EQ(Elements(array), expected);
        EXPECT_EQ(count, static_cast<std::int32_t>(c.parts.size()));
    }
}

TEST(EnumNameTableTest, ReadsTheLiteral)
{
    struct Case {
        const char* list;
        std::vector<std::string> names;
        std::vector<std::pair<std::string, std::int32_t>> indices;
    };
    const std::vector<Case> cases{
        {"a, b,, c", {"a", "b", "", "c"}, {{"", 2}, {"a", 0}, {"b", 1}, {"c", 3}}},
        {"x, x,", {"x", "x"}, {{"x", 1}}},
        {"Regular, Diagonal, Horizontal,", {"Regular", "Diagonal", "Horizontal"},
         {{"Diagonal", 1}, {"Horizontal", 2}, {"Regular", 0}}},
        {" a b ,c", {"ab", "c"}, {{"ab", 0}, {"c", 1}}},
        {",", {""}, {{"", 0}}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        const EnumNameTable table(c.list);
        EXPECT_EQ(table.Names(), c.names);
        const std::vector<std::pair<std::string, std::int32_t>> indices(table.IndexByName().begin(),
                                                                        table.IndexByName().end());
        EXPECT_EQ(indices, c.indices);
    }
    const EnumNameTable table("a, b,");
    EXPECT_EQ(table.NameOf(1), "b");
    EXPECT_EQ(table.NameOf(2), "");
    EXPECT_EQ(table.IndexOf("b"), 1);
    EXPECT_EQ(table.IndexOf("B"), -1);
}

TEST(EnumNameTableTest, TheModuleTables)
{
    struct Row {
        const EnumNameTable* table;
        std::size_t size;
        const char* last;
    };
    const Row rows[] = {
        {&kAngleUnitNames, 3, "Gradians"},     {&kLengthUnitNames, 11, "Degrees"},
        {&kAreaUnitNames, 12, "Ares"},         {&kVolumeUnitNames, 8, "Litres"},
        {&kLineDirectionNames, 3, "Horizontal"}, {&kRoundingStepNames, 3, "RoundHalf"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.last);
        EXPECT_EQ(r.table->Names().size(), r.size);
        EXPECT_EQ(r.table->IndexOf(r.last), static_cast<std::int32_t>(r.size - 1));
        EXPECT_EQ(r.table->NameOf(r.size - 1), r.last);
    }
    EXPECT_EQ(kLengthUnitNames.IndexOf("FeetNInches"), 0);
    EXPECT_EQ(kAreaUnitNames.IndexOf("SquareMeters"), 8);
}

} // namespace
