// The plug-in conveniences: GUID text parsed while compiling, and a routine
// list that becomes the framework's table with its end row and runs each
// row's function. What must not compile is in PluginCompileErrors/.
#include "framework/Plugin.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using namespace ZEDA::PluginSupport;

constexpr bool Same(const InterfaceID& a, const InterfaceID& b)
{
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3;
}

constexpr InterfaceID kExpected{0x6F1D2C3B, 0x4A59, 0x4E68, {0x8B, 0x7C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C}};
static_assert(Same(ParseGUID("6F1D2C3B-4A59-4E68-8B7C-9D0E1F2A3B4C"), kExpected));
static_assert(Same(ParseGUID("{6f1d2c3b-4a59-4e68-8b7c-9d0e1f2a3b4c}"), kExpected), "braces and lower case");
static_assert(!Same(ParseGUID("6F1D2C3B-4A59-4E68-8B7C-9D0E1F2A3B4D"), kExpected), "the last byte counts");

int calls = 0;

void Sum(KXPluginLibraryArgTable& call)
{
    ++calls;
    call.GetResult().SetInt32(call.GetArgument(0).GetInt32() + call.GetArgument(1).GetInt32());
}

void Nothing(KXPluginLibraryArgTable&)
{
    ++calls;
}

constexpr KXRoutine kRoutines[] = {
    {{"Sum", "Test", "Adds.", 3100, true, false, {{"a", kTagInt32}, {"b", kTagInt32}, {"sum", kTagInt32}}}, &Sum},
    {{"Nothing", "Test", "Does nothing.", 3100, false, false, {}}, &Nothing},
};
constexpr KXRoutineList kList{kRoutines};

TEST(PluginTest, TheListIsTheTableWithItsEndRow)
{
    const RoutineDescription* table = KXRoutineHandler<kList>::kRoutineTable;
    EXPECT_STREQ(table[0].name, "Sum");
    EXPECT_EQ(table[0].arguments[2].type, kTagInt32);
    EXPECT_STREQ(table[1].name, "Nothing");
    EXPECT_EQ(table[2].name, nullptr);
    EXPECT_EQ(table[2].category, nullptr);
}

TEST(PluginTest, EachRowRunsItsOwnFunctionOnlyWithAValueBlock)
{
    KXRoutineHandler<kList> handler;
    const struct {
        std::int32_t index;
        bool block;
        int calls;
    } cases[] = {{0, true, 1}, {1, true, 1}, {0, false, 0}, {2, true, 0}, {-1, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        calls = 0;
        ValueRecord block[kValueBlockRecords] = {};
        KXPluginLibraryArgTable call(c.block ? block : nullptr);
        if (c.block) {
            call.GetArgument(0).SetInt32(2);
            call.GetArgument(1).SetInt32(40);
        }
        handler.Execute(c.index, call);
        EXPECT_EQ(calls, c.calls);
        if (c.block && c.index == 0) {
            EXPECT_EQ(call.GetResult().GetInt32(), 42);
        }
    }
}

} // namespace
