// Tests of the build driver's small rules: which mode a KXR_MODE value
// selects, the numeric prefix of a file name, and the path a parse report
// shows.
#include "buildkxr/BuildDriver.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using BuildKxr::IsLinkedMode;
using BuildKxr::NumericPrefix;
using BuildKxr::ReportedPath;

TEST(BuildRules, ModeSelection)
{
    const struct {
        const char* mode;
        bool linked;
    } cases[] = {
        {"debug", true},     {"Debug", true},     {"DEBUG", true},      {"debugUnicode", true},
        {"Debug64", true},   {"shortcut", true},  {"SHORTCUT", true},   {"ShortCut", true},
        {"deb", false},      {"debu", false},     {"release", false},   {"Release", false},
        {"xdebug", false},   {"shortcuts", false}, {"short", false},    {"", false},
        {" debug", false},   {"anything", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsLinkedMode(c.mode), c.linked) << '"' << c.mode << '"';
}

TEST(BuildRules, NumericPrefix)
{
    constexpr long long kMax = std::numeric_limits<long long>::max();
    constexpr long long kMin = std::numeric_limits<long long>::min();
    const struct {
        const char* name;
        long long prefix;
    } cases[] = {
        {"100 Title.kxstrings", 100},
        {"100 Other.kxstrings", 100},
        {"007a", 7},
        {"7b", 7},
        {"Title.kxstrings", 0},
        {"", 0},
        {" \t12 x", 12},
        {"-5 minus", -5},
        {"+3 plus", 3},
        {"- 5", 0},
        {"0 zero", 0},
        {"12.5", 12},
        {".hidden", 0},
        {"99999999999999999999 big", kMax},
        {"-99999999999999999999 small", kMin},
        {"9223372036854775807", kMax},
        {"-9223372036854775808", kMin},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumericPrefix(c.name), c.prefix) << '"' << c.name << '"';
}

TEST(BuildRules, ReportedPathStartsAtFirstStringsFolder)
{
    const std::string sep(1, Platform::kPathSeparator);
    const std::string input = sep + "work" + sep + "res";
    const std::string inStrings = sep + "Strings" + sep + "sub" + sep + "1 a.kxstrings";
    EXPECT_EQ(ReportedPath(input + inStrings), inStrings);
    // The first occurrence counts, also when it lies in the input folder's path.
    const std::string doubled = sep + "Strings" + sep + "res" + inStrings;
    EXPECT_EQ(ReportedPath(doubled), doubled);
    EXPECT_EQ(ReportedPath(input + sep + "Other"), input + sep + "Other");
    EXPECT_EQ(ReportedPath("Strings"), "Strings");
}

} // namespace
