// kxhost validate from the outside, on every system: the SDK's modules pass,
// and a module with one fault each fails the scenario that names it; and
// kxhost call reports a routine's runtime faults instead of calling them
// success. The program runs as a child process (platform/Process.h).
#include "platform/Process.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::string Variable(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
}

/// kxhost with `arguments` (and `environment` added); its exit code and
/// output.
Platform::ChildResult Kxhost(const std::vector<std::string>& arguments,
                             const std::vector<std::pair<std::string, std::string>>& environment = {})
{
    const std::string host = Variable("KX_KXHOST");
    EXPECT_FALSE(host.empty()) << "KX_KXHOST is not set";
    Platform::ChildResult result = Platform::RunChild(host, arguments, 300s, {}, environment);
    EXPECT_EQ(result.end, Platform::ChildResult::End::Exited) << Platform::DescribeEnd(result) << result.err;
    // Windows ends lines with CR LF.
    for (std::string* text : {&result.out, &result.err})
        for (std::size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at))
            text->erase(at, 1);
    return result;
}

std::string Resources(const std::string& module)
{
    return module.substr(0, module.rfind('.')) + ".kxr";
}

TEST(KxHostValidate, TheSdksModulesPass)
{
    const std::string sample = Variable("KX_SAMPLE_MODULE");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"validate"}, {"--module", sample, "--resources", Resources(sample), "validate"}}) {
        SCOPED_TRACE(arguments.front());
        const Platform::ChildResult result = Kxhost(arguments);
        EXPECT_EQ(result.code, 0) << result.out << result.err;
        EXPECT_NE(result.out.find(" passed, 0 failed, "), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("PASS routine:"), std::string::npos) << result.out;
    }
}

// Each bad module fails the scenario named, with a reason that names the
// fault; what is not at fault still passes.
TEST(KxHostValidate, EachFaultFailsItsScenario)
{
    const std::string sample = Variable("KX_SAMPLE_MODULE");
    const struct {
        std::string module;
        std::vector<std::pair<std::string, std::string>> environment;
        std::vector<std::string> options;
        const char* line; ///< the start of the scenario's line
        const char* why;  ///< a part of its reason
    } rows[] = {
        {Variable("KX_BAD_Throws"), {}, {}, "FAIL routine:Bad: ", "it threw: the bad routine failed (with typical values)"},
        {Variable("KX_BAD_NoResult"), {}, {}, "FAIL routine:Bad: ", "declares a result (result: integer) and sets none"},
        {Variable("KX_BAD_NoEndRow"), {}, {}, "FAIL table: ", "probably not terminated"},
        {Variable("KX_BAD_WrongRead"), {}, {}, "FAIL routine:Bad: ", "reads argument 1 (text: string) as integer"},
        {Variable("KX_BAD_NoResultSlot"), {}, {}, "FAIL routine:Bad: ",
         "reads argument 2, which its table does not declare (is its result slot missing?)"},
        {Variable("KX_BAD_UnknownTag"), {}, {}, "FAIL table: ", "slot 'odd' has the unknown tag 99"},
        {Variable("KX_BAD_Crash"), {}, {}, "FAIL routine:Bad: ", "(typical values)"},
        {Variable("KX_BAD_Hang"), {}, {"--time-limit", "3"}, "FAIL routine:Bad: ", "did not finish within 3"},
        {Variable("KX_BAD_LeakHandle"), {}, {}, "FAIL routine:Bad: ", "keeps 1 memory-manager block"},
        {Variable("KX_BAD_KeptObject"), {}, {}, "FAIL routine:Bad: ", "keeps 1 host object"},
        {Variable("KX_FAULT_MODULE"), {{"KX_FAULT_STEP", "deinit"}}, {}, "FAIL shutdown: ",
         "threw an exception in plugin_module_deinit: fault at deinit"},
        {sample, {}, {}, "WARN resources: ", "no --resources serves its owner"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.module);
        std::vector<std::string> arguments = {"--module", row.module, "validate"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        const Platform::ChildResult result = Kxhost(arguments, row.environment);
        const std::size_t line = result.out.find(row.line);
        ASSERT_NE(line, std::string::npos) << result.out << result.err;
        const std::string text = result.out.substr(line, result.out.find('\n', line) - line);
        EXPECT_NE(text.find(row.why), std::string::npos) << text;
        const bool failed = std::string(row.line).starts_with("FAIL");
        EXPECT_EQ(result.code, failed ? 1 : 0) << result.out;
        if (std::string(row.line) == "FAIL routine:Bad: ") {
            EXPECT_NE(result.out.find("PASS routine:Twice\n"), std::string::npos) << "a good routine passes";
        }
    }
}

TEST(KxHostValidate, JsonListsEveryScenario)
{
    const Platform::ChildResult result = Kxhost({"--module", Variable("KX_BAD_Throws"), "validate", "--json"});
    const nlohmann::json list = nlohmann::json::parse(result.out);
    ASSERT_TRUE(list.is_array());
    std::vector<std::string> scenarios;
    for (const nlohmann::json& scenario : list) {
        scenarios.push_back(scenario.at("scenario"));
        if (scenario.at("scenario") == "routine:Bad") {
            EXPECT_EQ(scenario.at("status"), "FAIL");
            EXPECT_NE(scenario.at("why").get<std::string>().find("it threw"), std::string::npos);
        }
    }
    EXPECT_EQ(scenarios, (std::vector<std::string>{"exports", "registration", "table", "routine:Twice", "routine:Bad",
                                                    "resources", "shutdown"}));
}

// call tells what a routine did wrong, names it, and fails the run.
TEST(KxHostValidate, CallReportsARoutinesRuntimeFaults)
{
    const struct {
        std::vector<std::string> arguments;
        int code;
        const char* err;
    } rows[] = {
        {{"--module", Variable("KX_BAD_Throws"), "call", "Bad", "1"}, 1, "kxhost: Bad threw: the bad routine failed\n"},
        {{"--module", Variable("KX_BAD_NoResult"), "call", "Bad", "1"}, 1,
         "kxhost: warning: Bad declares a result (result: integer) and set none\n"},
        {{"--module", Variable("KX_BAD_WrongRead"), "call", "Bad", "x", "2"}, 1,
         "kxhost: warning: Bad reads argument 1 (text: string) as integer\n"},
        {{"--module", Variable("KX_SAMPLE_MODULE"), "call", "Message", "1"}, 0,
         "kxhost: the module asked for SdkSample/Strings/12000 *, but no --resources serves \"SdkSample\"\n"},
        {{"frobnicate"}, 2, "kxhost: unknown command frobnicate; the commands are"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.back());
        const Platform::ChildResult result = Kxhost(row.arguments);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_EQ(result.err.rfind(row.err, 0), 0u) << result.err;
    }
}

} // namespace
