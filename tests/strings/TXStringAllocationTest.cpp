// Where TXString buffers come from: empty texts allocate nothing (so static
// strings are safe before the main partition exists), every buffer is drawn
// through the main partition and given back through it, and a partition that
// cannot supply a block surfaces as std::bad_alloc.
#include "TXStringTestSupport.h"

#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

// Constructed during static initialisation, before any partition is set.
const TXString staticEmpty;
const TXString staticFromNull(static_cast<const char*>(nullptr), kMacEncoded);

using AllocationTest = StringTest;

/// Runs `op` with no main partition: any allocation would throw.
void WithoutPartition(const std::function<void()>& op)
{
    KXMM::Partition* saved = GetMainPartition();
    SetMainPartition(nullptr);
    try {
        op();
    } catch (...) {
        SetMainPartition(saved);
        throw;
    }
    SetMainPartition(saved);
}

std::string lastReport;

bool RecordReport(const char* text)
{
    lastReport = text;
    return true;
}

TEST_F(AllocationTest, EmptyTextsAllocateNothing)
{
    EXPECT_TRUE(staticEmpty.IsEmpty());
    EXPECT_TRUE(staticFromNull.IsEmpty());
    const unsigned char countedEmpty[] = {0};
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"default", [] { const TXString s; }},
        {"null UTF-8", [] { const TXString s(static_cast<const char*>(nullptr)); }},
        {"null system code page", [] { const TXString s(static_cast<const char*>(nullptr), kSysEncoded); }},
        {"empty literal", [] { const TXString s(""); }},
        {"empty std string", [] { const TXString s(std::string{}); }},
        {"counted empty", [&] { const TXString s(countedEmpty); }},
        {"null 16-bit", [] { const TXString s(static_cast<const char16_t*>(nullptr)); }},
        {"empty 16-bit", [] { const TXString s(u""); }},
        {"zero count", [] { const TXString s(std::uint64_t{0}); }},
        {"short text", [] { const TXString s(u"seven!!"); }},
        {"copy and move of empty",
         [] {
             TXString a;
             TXString b(a);
             TXString c(std::move(a));
             b = c;
             c = std::move(b);
         }},
        {"assign empty", [] {
             TXString s;
             s = "";
             s = static_cast<const char16_t*>(nullptr);
             s = TXString();
         }},
    };
    for (const auto& [name, op] : ways) {
        SCOPED_TRACE(name);
        const AllocationWindow window;
        EXPECT_NO_THROW(WithoutPartition(op));
        EXPECT_EQ(window.News(), 0u);
    }
    EXPECT_THROW(WithoutPartition([] { const TXString s(u"eight!!!"); }), std::bad_alloc)
        << "a text beyond the short buffer needs the partition";
}

TEST_F(AllocationTest, BuffersNeedTheMainPartition)
{
    TXString shortText(u"short");
    EXPECT_THROW(WithoutPartition([&] { shortText.ToNarrow(); }), std::bad_alloc) << "the narrow buffer";
    EXPECT_THROW(WithoutPartition([&] { shortText += u" and now too long"; }), std::bad_alloc) << "growth";
    EXPECT_EQ(Units(shortText), u"short") << "a failed growth leaves the text";
    EXPECT_THROW(WithoutPartition([] { const TXString s("a UTF-8 text beyond the short buffer"); }), std::bad_alloc);
}

TEST_F(AllocationTest, CaseInsensitiveSearchesCopyNoText)
{
    // A search ignoring case lowers only what it scans, in scratch of its
    // own, instead of a lowered copy of the whole text on every call (which
    // made a loop over all matches quadratic). Needles this short need no
    // heap scratch either.
    const TXString text(u"Some text beyond the short buffer, with a NEEDLE near its end");
    std::int64_t found[4] = {};
    WithoutPartition([&] {
        found[0] = text.Find(u"needle", 0, true);
        found[1] = text.ReverseFind(u"sOME", TXString::kEnd, true);
        found[2] = text.Find(u'n', 40, true);
        found[3] = text.ReverseFind(u'W', TXString::kEnd, true);
    });
    EXPECT_EQ(found[0], 42);
    EXPECT_EQ(found[1], 0);
    EXPECT_EQ(found[2], 42);
    EXPECT_EQ(found[3], 35);
}

TEST_F(AllocationTest, EveryBufferGoesThroughThePartition)
{
    if (!AllocationCounter::SeesPartitionBlocks())
        GTEST_SKIP() << "the memory manager's allocations are not visible to this program's operators";
    const AllocationWindow window;
    std::size_t news[4] = {};
    {
        TXString s(u"a text beyond the short buffer");
        news[0] = window.News();
        s.ToNarrow();
        news[1] = window.News();
        s.ToNarrow(kSysEncoded);
        s = u"short";
        s.ToNarrow();
        news[2] = window.News();
        TXString copy(s);
        copy += u" grown past the short buffer";
        news[3] = window.News();
    }
    const std::size_t allNews = window.News();
    const std::size_t allDeletes = window.Deletes();
    EXPECT_EQ(news[0], 1u) << "one text buffer";
    EXPECT_EQ(news[1], 2u) << "one narrow buffer";
    EXPECT_EQ(news[2], 2u) << "both reused";
    EXPECT_EQ(news[3], 3u) << "the copy's own buffer when it grows";
    EXPECT_EQ(allDeletes, allNews) << "every block returned";
}

TEST_F(AllocationTest, AFailedBlockIsBadAlloc)
{
    KXMM::Partition::EnableAsserts();
    const KXMM::AssertHandler previous = KXMM::Partition::SetAssertHandler(RecordReport);
    lastReport.clear();

    // Where the memory manager's operator new can be made to fail, fail it;
    // elsewhere ask for more than any machine has.
    const bool injectable = AllocationCounter::SeesPartitionBlocks();
    if (injectable) {
        AllocationCounter::FailNext(1);
        EXPECT_THROW(TXString(u"a text beyond the short buffer"), std::bad_alloc);
    } else {
        EXPECT_THROW(TXString(std::uint64_t{1} << 60), std::bad_alloc);
    }
    EXPECT_NE(lastReport.find("Allocate new failed (exception)"), std::string::npos) << lastReport;

    if (injectable) {
        TXString s(u"abc");
        AllocationCounter::FailNext(1);
        EXPECT_THROW(s.ToNarrow(), std::bad_alloc);
        EXPECT_EQ(s.GetNarrowCapacity(), 0) << "no capacity without a buffer";
        EXPECT_STREQ(s.ToNarrow(), "abc") << "the next request recovers";
    }
    KXMM::Partition::SetAssertHandler(previous);
}

} // namespace
