// Menu entries and collections: the two state flags; menu trees copied deep
// (no shared entry, either side destroyed first, assignment from inside the
// target's own tree, self-assignment); the equality rules with separators
// and submenus; removal, clearing, null entries and failed allocations.
#include "DialogsTestSupport.h"
#include "../strings/TXStringTestSupport.h"

#include "dialogs/CDQMenuItemValue.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <new>
#include <set>
#include <string>

namespace {

using DialogsTest::DialogsTestBase;

class MenuItemTest : public DialogsTestBase {
protected:
    /// A menu entry whose title is long enough to live in an allocated
    /// buffer, so a shared or freed buffer shows under the sanitizers.
    static CDQMenuItemValue Entry(const std::string& title)
    {
        return CDQMenuItemValue(TXString(std::string("Entry: ").append(title).c_str()), std::int64_t{7});
    }

    /// root
    ///   a: a1, a2 (a2: a2x)
    ///   separator
    ///   b
    static CDQMenuItemValue Tree()
    {
        CDQMenuItemValue a2 = Entry("a2");
        EXPECT_TRUE(a2.GetSubmenu().Append(Entry("a2x")));
        CDQMenuItemValue a = Entry("a");
        a.SetSecondFlag(true);
        EXPECT_TRUE(a.GetSubmenu().Append(Entry("a1")));
        EXPECT_TRUE(a.GetSubmenu().Append(a2));
        CDQMenuItemValue root = Entry("root");
        EXPECT_TRUE(root.GetSubmenu().Append(a));
        EXPECT_TRUE(root.GetSubmenu().Append(CDQMenuItemValue(1)));
        EXPECT_TRUE(root.GetSubmenu().Append(Entry("b")));
        return root;
    }

    /// Every entry of the tree below `item`, the item itself included.
    static void Collect(const CDQMenuItemValue& item, std::set<const CDQMenuItemValue*>& out)
    {
        out.insert(&item);
        const CDQMenuItemCollection& submenu = item.GetSubmenu();
        for (std::size_t i = 0; i < submenu.Count(); ++i)
            if (submenu.At(i) != nullptr)
                Collect(*submenu.At(i), out);
    }

    /// The tree's shape and values as text: titles, flags, nesting.
    static std::string Outline(const CDQMenuItemValue& item)
    {
        std::string text = item.IsSeparator() ? "-" : item.title.ToStdString();
        text += item.GetSecondFlag() ? "+" : "";
        const CDQMenuItemCollection& submenu = item.GetSubmenu();
        for (std::size_t i = 0; i < submenu.Count(); ++i)
            text.append(i == 0 ? "(" : ",").append(submenu.At(i) ? Outline(*submenu.At(i)) : "null");
        return submenu.IsEmpty() ? text : text.append(")");
    }

    static constexpr const char* kTreeOutline = "Entry: root(Entry: a+(Entry: a1,Entry: a2(Entry: a2x)),-,Entry: b)";
};

TEST_F(MenuItemTest, StateFlagsAreMarkersInTheSetThatOnlyCopiesCarryOver)
{
    struct Step {
        bool first; // which flag the step sets
        bool on;
        std::set<std::int32_t> states;
    };
    const Step steps[] = {
        {true, false, {0}}, {false, true, {0, 1}}, {true, false, {0, 1}}, {true, true, {1}},
        {false, false, {}}, {false, false, {}},    {true, true, {}},
    };
    CDQMenuItemValue item;
    for (const Step& step : steps) {
        step.first ? item.SetFirstFlag(step.on) : item.SetSecondFlag(step.on);
        EXPECT_EQ(item.States(), step.states);
        EXPECT_EQ(item.GetFirstFlag(), !step.states.contains(0));
        EXPECT_EQ(item.GetSecondFlag(), step.states.contains(1));
    }
    item.SetFirstFlag(false);
    item.SetSecondFlag(true);
    EXPECT_EQ(CDQMenuItemValue(item).States(), (std::set<std::int32_t>{0, 1}));
    for (const CDQMenuItemValue& fresh :
         {CDQMenuItemValue(), CDQMenuItemValue("t", std::int64_t{3}), CDQMenuItemValue("t", TXString("third")),
          CDQMenuItemValue("t", 3, "third", 2.5), CDQMenuItemValue("t", 3, TXString("second")), CDQMenuItemValue(1)})
        EXPECT_TRUE(fresh.GetFirstFlag() && !fresh.GetSecondFlag());
}

TEST_F(MenuItemTest, CopiesShareNoEntryAndOutliveTheirSource)
{
    auto source = std::make_unique<CDQMenuItemValue>(Tree());
    ASSERT_EQ(Outline(*source), kTreeOutline);

    CDQMenuItemValue constructed(*source);
    CDQMenuItemValue assigned = Entry("old");
    ASSERT_TRUE(assigned.GetSubmenu().Append(Entry("old child")));
    assigned = *source;
    CDQMenuItemValue replaced;
    replaced.SetSubmenu(source->GetSubmenu());

    std::set<const CDQMenuItemValue*> sourceEntries;
    Collect(*source, sourceEntries);
    for (const CDQMenuItemValue* copy : {&constructed, &assigned, &replaced}) {
        std::set<const CDQMenuItemValue*> copyEntries;
        Collect(*copy, copyEntries);
        EXPECT_EQ(copyEntries.size(), sourceEntries.size());
        for (const CDQMenuItemValue* entry : copyEntries)
            EXPECT_FALSE(sourceEntries.contains(entry));
    }

    source.reset();
    EXPECT_EQ(Outline(constructed), kTreeOutline);
    EXPECT_EQ(Outline(assigned), kTreeOutline);
    EXPECT_EQ(std::string("Entry: root").append(Outline(replaced)), kTreeOutline);

    // And the other way round: the source survives its copies.
    auto copy = std::make_unique<CDQMenuItemValue>(constructed);
    copy.reset();
    EXPECT_EQ(Outline(constructed), kTreeOutline);
}

TEST_F(MenuItemTest, AssigningToItselfOrFromInsideItsOwnTreeKeepsTheData)
{
    CDQMenuItemValue root = Tree();
    const CDQMenuItemValue* firstChild = root.GetSubmenu().At(0);
    CDQMenuItemValue& alias = root;
    root = alias;
    EXPECT_EQ(Outline(root), kTreeOutline);
    EXPECT_EQ(root.GetSubmenu().At(0), firstChild) << "self-assignment must not rebuild the tree";

    CDQMenuItemCollection& submenu = root.GetSubmenu();
    CDQMenuItemCollection& submenuAlias = submenu;
    submenu = submenuAlias;
    EXPECT_EQ(submenu.At(0), firstChild);

    // The source is part of what the assignment replaces.
    root = *root.GetSubmenu().At(0);
    EXPECT_EQ(Outline(root), "Entry: a+(Entry: a1,Entry: a2(Entry: a2x))");
    root.GetSubmenu() = root.GetSubmenu().At(1)->GetSubmenu();
    EXPECT_EQ(Outline(root), "Entry: a+(Entry: a2x)");
}

TEST_F(MenuItemTest, EqualityRules)
{
    const CDQMenuItemValue base("Title", 3, "third", 1.5);
    auto with = [&base](auto change) {
        CDQMenuItemValue item(base);
        change(item);
        return item;
    };
    CDQMenuItemValue withChild(base);
    ASSERT_TRUE(withChild.GetSubmenu().Append(Entry("child")));
    CDQMenuItemValue separator(1);
    CDQMenuItemValue otherSeparator = with([](CDQMenuItemValue& i) { i.isSeparator = true; });
    const CDQMenuItemValue nan("Title", 3, "third", std::numeric_limits<double>::quiet_NaN());

    struct Case {
        const char* name;
        CDQMenuItemValue left;
        CDQMenuItemValue right;
        bool equal;
    };
    const Case cases[] = {
        {"copy", base, base, true},
        {"title differs in case only", base, with([](auto& i) { i.title = "TITLE"; }), true},
        {"title", base, with([](auto& i) { i.title = "Title2"; }), false},
        {"second text", base, with([](auto& i) { i.secondText = "x"; }), false},
        {"data", base, with([](auto& i) { i.data = 4; }), false},
        {"third text", base, with([](auto& i) { i.thirdText = "x"; }), false},
        {"number", base, with([](auto& i) { i.number = 1.25; }), false},
        {"first flag", base, with([](auto& i) { i.SetFirstFlag(false); }), false},
        {"second flag", base, with([](auto& i) { i.SetSecondFlag(true); }), false},
        {"flag set and cleared again", base, with([](auto& i) { i.SetSecondFlag(true), i.SetSecondFlag(false); }),
         true},
        {"NaN", nan, nan, false},
        {"a submenu entry each", withChild, withChild, false},
        {"submenu against none", withChild, base, false},
        {"separators with other fields", separator, otherSeparator, true},
        {"separator against entry", separator, base, false},
        {"entry against separator", base, otherSeparator, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.left == c.right, c.equal);
        EXPECT_EQ(c.right == c.left, c.equal);
        EXPECT_EQ(c.left != c.right, !c.equal);
    }
    EXPECT_TRUE(withChild == withChild) << "one submenu is the same entries";
}

TEST_F(MenuItemTest, CollectionRemovesClearsKeepsNullEntriesAndComparesByIdentity)
{
    CDQMenuItemCollection collection;
    for (const char* title : {"zero", "one", "two"})
        ASSERT_TRUE(collection.Append(Entry(title)));
    const CDQMenuItemValue* two = collection.At(2);
    EXPECT_EQ(collection.At(3), nullptr);

    EXPECT_FALSE(collection.RemoveAt(3));
    EXPECT_EQ(collection.Count(), 3u);
    EXPECT_EQ(collection.At(2), two);

    EXPECT_TRUE(collection.RemoveAt(1));
    ASSERT_EQ(collection.Count(), 2u);
    EXPECT_TRUE(collection.At(0)->title.Equal("Entry: zero"));
    EXPECT_EQ(collection.At(1), two);
    EXPECT_EQ(collection.At(2), nullptr);

    const CDQMenuItemCollection copy(collection);
    EXPECT_TRUE(collection == collection);
    EXPECT_FALSE(copy == collection) << "equal values, different entries";
    EXPECT_TRUE(CDQMenuItemCollection() == CDQMenuItemCollection());

    collection.Clear();
    EXPECT_TRUE(collection.IsEmpty());
    EXPECT_FALSE(collection.RemoveAt(0));
    EXPECT_EQ(copy.Count(), 2u);

    // Null entries: kept by copies, equal to each other, removable.
    ASSERT_TRUE(collection.Adopt(nullptr));
    ASSERT_TRUE(collection.Adopt(std::make_unique<CDQMenuItemValue>(Entry("adopted"))));
    CDQMenuItemCollection withNull(collection);
    ASSERT_EQ(withNull.Count(), 2u);
    EXPECT_EQ(withNull.At(0), nullptr);
    EXPECT_TRUE(withNull.At(1)->title.Equal("Entry: adopted"));
    EXPECT_TRUE(withNull.RemoveAt(1));
    CDQMenuItemCollection otherNull;
    ASSERT_TRUE(otherNull.Adopt(nullptr));
    EXPECT_TRUE(withNull == otherNull);
}

TEST_F(MenuItemTest, FailedAllocationsLeaveTheTargetAsItWas)
{
    CDQMenuItemCollection collection;
    ASSERT_TRUE(collection.Append(Entry("kept")));
    const CDQMenuItemValue* kept = collection.At(0);
    const CDQMenuItemValue tree = Tree();

    AllocationCounter::FailNext(1);
    EXPECT_FALSE(collection.Append(tree));
    EXPECT_EQ(collection.Count(), 1u);

    CDQMenuItemCollection source;
    ASSERT_TRUE(source.Append(tree));
    AllocationCounter::FailNext(1);
    EXPECT_THROW(collection = source, std::bad_alloc);
    ASSERT_EQ(collection.Count(), 1u);
    EXPECT_EQ(collection.At(0), kept);
}

} // namespace
