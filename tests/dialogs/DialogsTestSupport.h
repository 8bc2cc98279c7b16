// Shared support of the dialog tests: an application interface that answers
// the dialog-data query with a value the test sets and records every host
// value it is told, installed in the module state for each test.
#pragma once

#include "../framework/FrameworkTestSupport.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace DialogsTest {

class RecordingApplication : public FrameworkTest::InertApplication {
public:
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }

    void SetHostValue(std::int32_t selector, bool value) override { values.emplace_back(selector, value); }
    bool QueryHostValue(std::int32_t selector, const void*, void* output) override
    {
        ++queries;
        if (selector != Calvera::Extension::kHostValueDialogData || output == nullptr)
            return false;
        // A host that declines may still scribble on the output.
        *static_cast<std::int16_t*>(output) = answer;
        return answers;
    }

    /// What the dialog-data query answers, and whether it answers at all.
    std::int16_t answer = 0;
    bool answers = true;
    int queries = 0;
    std::vector<std::pair<std::int32_t, bool>> values;
};

/// The framework's fresh module state, with the recording application as
/// the module's application interface.
class DialogsTestBase : public FrameworkTest::FrameworkTestBase {
protected:
    void SetUp() override
    {
        FrameworkTestBase::SetUp();
        ZEDA::PluginSupport::Module().application = &application;
    }

    RecordingApplication application;
};

} // namespace DialogsTest
