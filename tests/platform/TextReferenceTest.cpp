// Compares this platform's text reference table with the committed Windows
// table (tests/data/TextReference.windows.txt, recorded under Wine). ASCII
// inputs, code pages, API results and normalization must agree exactly; the
// other categories must reach their floor, and their agreement is printed,
// category by category.
#include "tests/platform/TextReferenceTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class TextReferenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<TextReference::Group> groups;
        std::string error;
        ASSERT_TRUE(TextReference::LoadCorpus(KX_TEXT_CORPUS, groups, error)) << error;
        const std::string reference = ReadFile(KX_TEXT_REFERENCE);
        ASSERT_FALSE(reference.empty()) << "cannot read " << KX_TEXT_REFERENCE;
        std::vector<TextReference::Line> windows;
        ASSERT_TRUE(TextReference::ParseTable(reference, windows));
        agreement_ = TextReference::Compare(windows, TextReference::BuildTable(groups));
    }

    std::map<std::string, TextReference::Agreement> agreement_;
};

/// The categories this platform does not match item for item, with the share
/// of items that must still agree (the figure reached, to four places; a
/// known Wine deviation counts as agreeing). What still differs is listed
/// when the test runs. Every other category must agree completely.
constexpr struct {
    const char* category;
    double floor;
} kAgreementFloors[] = {
    {"locale", 0.9998},       // U+1FEE and U+FB2E against their decompositions
    {"localenocase", 0.9998}, // the same
    {"nocase", 0.9998},       // the same
    {"natural", 0.9996},      // the same, and full-width letters under LINGUISTIC_IGNORECASE
    {"logical", 1.0},         // whole, with large numbers counted as Wine deviations
};

constexpr std::size_t kDeviationsShown = 3;

double FloorOf(const std::string& category)
{
    for (const auto& f : kAgreementFloors)
        if (category == f.category)
            return f.floor;
    return 1.0;
}

TEST_F(TextReferenceTest, EveryCategoryAgreesAtLeastToItsFloor)
{
    ASSERT_FALSE(agreement_.empty());
    std::size_t exact = 0;
    for (const auto& [category, a] : agreement_) {
        const bool must = TextReference::MustAgree(category);
        const std::size_t matched = a.agree + a.wineDeviations.size();
        std::printf("%-26s %7zu of %7zu agree%s", category.c_str(), a.agree, a.total, must ? "  (must)" : "");
        if (!a.wineDeviations.empty())
            std::printf(", %zu known Wine deviations", a.wineDeviations.size());
        std::printf("\n");
        for (std::size_t i = 0; i < a.wineDeviations.size() && i < kDeviationsShown; ++i)
            std::printf("    known Wine deviation: %s\n", a.wineDeviations[i].c_str());
        std::string differences;
        for (const std::string& d : a.differences)
            differences += "\n  " + d;
        if (must) {
            ++exact;
            EXPECT_EQ(matched, a.total) << category << " differs from Windows:" << differences;
            continue;
        }
        if (matched < a.total)
            std::printf("    still differs:%s\n", differences.c_str());
        EXPECT_GE(static_cast<double>(matched), FloorOf(category) * static_cast<double>(a.total))
            << category << " agrees on fewer items than before:" << differences;
    }
    // The table has exact categories for comparisons, casing, classes, code
    // pages and normalization; losing them would make this test vacuous.
    EXPECT_GE(exact, 30u);
    for (const auto& f : kAgreementFloors)
        EXPECT_EQ(agreement_.count(f.category), 1u) << f.category << " is missing";
}

TEST(TextReferenceTableTest, ComparisonRowsAndRangesCountPerItem)
{
    const std::vector<TextReference::Line> expected = {
        {"nocase.ascii", "g\ta", "<=>"}, {"punct", "0000-0003", "1"}, {"nfc", "g\tx", "y"}};
    const std::vector<TextReference::Line> actual = {
        {"nocase.ascii", "g\ta", "<>>"}, {"punct", "0000-0001", "1"}, {"punct", "0002-0003", "0"}};
    const auto result = TextReference::Compare(expected, actual);
    EXPECT_EQ(result.at("nocase.ascii").agree, 2u);
    EXPECT_EQ(result.at("nocase.ascii").total, 3u);
    EXPECT_EQ(result.at("punct").agree, 2u);
    EXPECT_EQ(result.at("punct").total, 4u);
    EXPECT_EQ(result.at("nfc").agree, 0u);
    EXPECT_EQ(result.at("nfc").total, 1u);
    EXPECT_TRUE(TextReference::MustAgree("nocase.ascii"));
    EXPECT_TRUE(TextReference::MustAgree("cp2.decode"));
    EXPECT_FALSE(TextReference::MustAgree("nocase"));
}

TEST(TextReferenceTableTest, OnlyWrappedNumbersOfLogicalCountAsWineDeviations)
{
    // 4294967297 wraps to 1 in a 32-bit int: Wine calls the two equal.
    const std::vector<TextReference::Line> wine = {{"logical", "g\t1", "=="},
                                                   {"logical", "g\t4294967297", "=="},
                                                   {"natural", "g\t1", "=="},
                                                   {"natural", "g\t4294967297", "=="}};
    const std::vector<TextReference::Line> here = {{"logical", "g\t1", "=<"},
                                                   {"logical", "g\t4294967297", ">="},
                                                   {"natural", "g\t1", "=<"},
                                                   {"natural", "g\t4294967297", ">="}};
    const auto result = TextReference::Compare(wine, here);
    EXPECT_EQ(result.at("logical").agree, 2u);
    EXPECT_EQ(result.at("logical").wineDeviations.size(), 2u);
    EXPECT_TRUE(result.at("logical").differences.empty());
    EXPECT_TRUE(result.at("natural").wineDeviations.empty());
    EXPECT_EQ(result.at("natural").differences.size(), 2u);
    // A platform that copied Wine's answer, or gave a third one, is not
    // excused.
    const auto other = TextReference::Compare(wine, {{"logical", "g\t1", "=>"}, {"logical", "g\t4294967297", "<="}});
    EXPECT_TRUE(other.at("logical").wineDeviations.empty());
}

TEST(TextReferenceTableTest, EscapesRoundTripThroughTheCorpusFormat)
{
    const TextReference::Text text = {'a', '\\', 0x0, 0xD83D, 0x20, 0x7F};
    EXPECT_EQ(TextReference::Escape(text), "a\\\\\\u0000\\uD83D \\u007F");
    EXPECT_EQ(TextReference::Escape({}), "\\e");
}

} // namespace
