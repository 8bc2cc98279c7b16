// Runs Unicode's normalization conformance file (NormalizationTest.txt)
// through the platform normalization, used the way the string library uses it:
// check first, then size query, normalize and cut.
//
// Every line c1;c2;c3;c4;c5 must satisfy
//   NFC: c2 == NFC(c1) == NFC(c2) == NFC(c3) and c4 == NFC(c4) == NFC(c5)
//   NFD: c3 == NFD(c1) == NFD(c2) == NFD(c3) and c5 == NFD(c4) == NFD(c5)
// and every code point that the file's first part does not list must be left
// unchanged by both forms.
#include "tests/platform/TextReferenceTable.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TextReference::Text;

constexpr char kPartOne[] = "@Part1";
constexpr std::size_t kMaxReported = 25;

Text FromCodePoints(const std::string& field)
{
    Text text;
    std::istringstream in(field);
    std::string hex;
    while (in >> hex) {
        const unsigned long cp = std::stoul(hex, nullptr, 16);
        if (cp > 0xFFFF) {
            text += static_cast<Platform::WideChar>(0xD7C0 + (cp >> 10));
            text += static_cast<Platform::WideChar>(0xDC00 | (cp & 0x3FF));
        } else {
            text += static_cast<Platform::WideChar>(cp);
        }
    }
    return text;
}

Text Apply(Platform::NormalForm form, const Text& text)
{
    bool failed = false;
    return TextReference::NormalizeLikeTheLibrary(form, text, failed);
}

struct TestLine {
    int number = 0;
    std::string source;
    std::array<Text, 5> columns;
};

class NormalizationConformanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ifstream in(KX_NORMALIZATION_TEST, std::ios::binary);
        ASSERT_TRUE(in) << "cannot read " << KX_NORMALIZATION_TEST
                        << " (made from Debian's unicode-data at configure time)";
        std::string line;
        bool inPartOne = false;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty() || line[0] == '#')
                continue;
            if (line[0] == '@') {
                inPartOne = line.rfind(kPartOne, 0) == 0;
                continue;
            }
            TestLine t;
            t.number = number;
            t.source = line.substr(0, line.find('#'));
            std::istringstream fields(line);
            for (Text& column : t.columns) {
                std::string field;
                std::getline(fields, field, ';');
                column = FromCodePoints(field);
            }
            if (inPartOne && t.columns[0].size() <= 2) {
                const Text& c = t.columns[0];
                partOne_.insert(c.size() == 1 ? c[0] : 0x10000 + ((c[0] - 0xD800u) << 10) + (c[1] - 0xDC00u));
            }
            lines_.push_back(std::move(t));
        }
    }

    void Fail(std::vector<std::string>& failures, const TestLine& t, const char* what)
    {
        if (failures.size() < kMaxReported)
            failures.push_back("line " + std::to_string(t.number) + " (" + t.source + "): " + what);
        else if (failures.size() == kMaxReported)
            failures.push_back("...");
        ++failureCount_;
    }

    std::vector<TestLine> lines_;
    std::set<unsigned> partOne_;
    std::size_t failureCount_ = 0;
};

TEST_F(NormalizationConformanceTest, EveryLineHoldsForBothForms)
{
    ASSERT_GT(lines_.size(), 19000u) << "the conformance file looks truncated";
    std::vector<std::string> failures;
    using Platform::NormalForm;
    for (const TestLine& t : lines_) {
        const auto& c = t.columns;
        if (!(c[1] == Apply(NormalForm::C, c[0]) && c[1] == Apply(NormalForm::C, c[1]) &&
              c[1] == Apply(NormalForm::C, c[2])))
            Fail(failures, t, "NFC of c1..c3 is not c2");
        if (!(c[3] == Apply(NormalForm::C, c[3]) && c[3] == Apply(NormalForm::C, c[4])))
            Fail(failures, t, "NFC of c4, c5 is not c4");
        if (!(c[2] == Apply(NormalForm::D, c[0]) && c[2] == Apply(NormalForm::D, c[1]) &&
              c[2] == Apply(NormalForm::D, c[2])))
            Fail(failures, t, "NFD of c1..c3 is not c3");
        if (!(c[4] == Apply(NormalForm::D, c[3]) && c[4] == Apply(NormalForm::D, c[4])))
            Fail(failures, t, "NFD of c4, c5 is not c5");
    }
    std::printf("%zu lines, %zu failed checks\n", lines_.size(), failureCount_);
    std::string report;
    for (const std::string& f : failures)
        report += "\n  " + f;
    EXPECT_EQ(failureCount_, 0u) << report;
}

TEST_F(NormalizationConformanceTest, CodePointsOutsidePartOneAreInvariant)
{
    ASSERT_GT(partOne_.size(), 10000u);
    std::vector<std::string> failures;
    std::size_t checked = 0;
    for (unsigned cp = 0; cp <= 0x10FFFF; ++cp) {
        if ((cp >= 0xD800 && cp <= 0xDFFF) || partOne_.count(cp))
            continue;
        const Text text = cp > 0xFFFF ? Text{static_cast<Platform::WideChar>(0xD7C0 + (cp >> 10)),
                                             static_cast<Platform::WideChar>(0xDC00 | (cp & 0x3FF))}
                                      : Text(1, static_cast<Platform::WideChar>(cp));
        ++checked;
        for (const auto form : {Platform::NormalForm::C, Platform::NormalForm::D}) {
            if (Apply(form, text) != text) {
                char name[64];
                std::snprintf(name, sizeof name, "U+%04X changes under NF%c", cp,
                              form == Platform::NormalForm::C ? 'C' : 'D');
                if (failures.size() < kMaxReported)
                    failures.push_back(name);
                ++failureCount_;
            }
        }
    }
    std::printf("%zu code points checked, %zu changed\n", checked, failureCount_);
    std::string report;
    for (const std::string& f : failures)
        report += "\n  " + f;
    EXPECT_EQ(failureCount_, 0u) << report;
}

} // namespace
