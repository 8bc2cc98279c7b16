// The screen-refresh guard: nested guards switch the host's refresh off once
// and on once, whatever order they end in; the count moves without an
// application interface and the host is told only when one is known.
#include "DialogsTestSupport.h"

#include "dialogs/TDisableScreenRefreshState.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

using Calvera::Extension::kHostValueScreenRefresh;
using Calls = std::vector<std::pair<std::int32_t, bool>>;

class ScreenRefreshTest : public DialogsTest::DialogsTestBase {
protected:
    void SetUp() override
    {
        DialogsTestBase::SetUp();
        ASSERT_EQ(TDisableScreenRefreshState::NestingDepth(), 0u);
    }
    void TearDown() override
    {
        EXPECT_EQ(TDisableScreenRefreshState::NestingDepth(), 0u) << "a guard outlived its test";
        DialogsTestBase::TearDown();
    }

    const Calls off{{kHostValueScreenRefresh, false}};
    const Calls offOn{{kHostValueScreenRefresh, false}, {kHostValueScreenRefresh, true}};
};

TEST_F(ScreenRefreshTest, NestedGuardsSwitchOffOnceAndTheLastToEndSwitchesOn)
{
    {
        const TDisableScreenRefreshState outer;
        EXPECT_EQ(application.values, off);
        {
            const TDisableScreenRefreshState middle;
            const TDisableScreenRefreshState inner;
            EXPECT_EQ(TDisableScreenRefreshState::NestingDepth(), 3u);
        }
        EXPECT_EQ(application.values, off);
    }
    EXPECT_EQ(application.values, offOn);

    // Ending out of order, the last one still switches on; and a later
    // guard starts afresh.
    application.values.clear();
    auto first = std::make_unique<TDisableScreenRefreshState>();
    auto second = std::make_unique<TDisableScreenRefreshState>();
    first.reset();
    EXPECT_EQ(application.values, off);
    second.reset();
    EXPECT_EQ(application.values, offOn);
}

TEST_F(ScreenRefreshTest, WithoutApplicationOnlyTheCountMoves)
{
    ZEDA::PluginSupport::Module().application = nullptr;
    auto outer = std::make_unique<TDisableScreenRefreshState>();
    EXPECT_EQ(TDisableScreenRefreshState::NestingDepth(), 1u);
    // The application becomes known while the outer guard lives: an inner
    // guard stays silent, and the end of the outer one is reported.
    ZEDA::PluginSupport::Module().application = &application;
    { const TDisableScreenRefreshState inner; }
    EXPECT_TRUE(application.values.empty());
    outer.reset();
    EXPECT_EQ(application.values, (Calls{{kHostValueScreenRefresh, true}}));
}

} // namespace
