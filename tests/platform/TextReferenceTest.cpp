// Compares this platform's text reference table with the committed Windows
// table (tests/data/TextReference.windows.txt, recorded under Wine). ASCII
// inputs, code pages, API results and normalization must agree exactly; for
// the other categories the agreement is printed, category by category.
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

TEST_F(TextReferenceTest, ExactCategoriesAgreeAndTheRestIsReported)
{
    ASSERT_FALSE(agreement_.empty());
    std::size_t exact = 0;
    for (const auto& [category, a] : agreement_) {
        const bool must = TextReference::MustAgree(category);
        std::printf("%-26s %7zu of %7zu agree%s\n", category.c_str(), a.agree, a.total, must ? "  (must)" : "");
        for (const std::string& d : a.wineDeviations)
            std::printf("    known Wine deviation: %s\n", d.c_str());
        if (!must)
            continue;
        ++exact;
        std::string differences;
        for (const std::string& d : a.differences)
            differences += "\n  " + d;
        EXPECT_EQ(a.agree + a.wineDeviations.size(), a.total) << category << " differs from Windows:" << differences;
    }
    // The table has exact categories for comparisons, casing, classes, code
    // pages and normalization; losing them would make this test vacuous.
    EXPECT_GE(exact, 30u);
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

TEST(TextReferenceTableTest, EscapesRoundTripThroughTheCorpusFormat)
{
    const TextReference::Text text = {'a', '\\', 0x0, 0xD83D, 0x20, 0x7F};
    EXPECT_EQ(TextReference::Escape(text), "a\\\\\\u0000\\uD83D \\u007F");
    EXPECT_EQ(TextReference::Escape({}), "\\e");
}

} // namespace
