// Test support for the memory manager: a partition that opens its protected
// members to the tests, and a fixture that captures every assertion report
// and every line of debugger output instead of showing a box.
#pragma once

#include "KXMM/KXMM.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace KXMMTest {

using KXMM::MemoryBlock;

/// A partition whose protected operations and fields the tests may reach.
class ProbePartition : public KXMM::Partition {
public:
    using Partition::AllocateFromExistingResource;
    using Partition::BlockIsResource;
    using Partition::CallDestructor;
    using Partition::ClearDestructor;
    using Partition::CollectStackTrace;
    using Partition::EnableStackTraceInfo;
    using Partition::GetFreeMemoryCallbackFunctionSlot;
    using Partition::GetInstantiatedState;
    using Partition::GetMemoryCallbackFunctionIndex;
    using Partition::GetVerifiedBlockForPointer;
    using Partition::HookupBlockToList;
    using Partition::InvokeCallbacks;
    using Partition::MemoryStat_AddAlloc;
    using Partition::MemoryStat_GetSlotBoundsStr;
    using Partition::RemoveBlockFromList;
    using Partition::SetDestructor;
    using Partition::SetInstantiatedState;

    std::int64_t BytesAllocated() const { return bytesAllocated.load(); }
    std::int64_t NumBlocks() const { return numBlocks.load(); }
    std::int32_t NumCalls() const { return numCalls.load(); }
    std::int64_t NumPoolHits() const { return numpoolHits.load(); }
    std::size_t BucketCount(std::size_t i) const { return blockListCounts[i]; }
    MemoryBlock* BucketHead(std::size_t i) const { return blockLists[i]; }
    std::size_t ResourceBucketCount(std::size_t i) const { return resourceListCounts[i]; }
    std::uint64_t SlotCount(std::size_t i) const { return slotCounts[i]; }
    std::int32_t SlotTotal() const { return slotTotal; }
    void SetMaxStackFrames(std::uint64_t n) { maxStackFrames = n; }
};

inline MemoryBlock* Header(const void* handle)
{
    return static_cast<MemoryBlock*>(const_cast<void*>(handle));
}

inline MemoryBlock* HeaderBefore(const void* data)
{
    MemoryBlock* header;
    std::memcpy(&header, static_cast<const char*>(data) - sizeof header, sizeof header);
    return header;
}

/// Captures assertion reports and debugger output for the length of a test.
/// `answerYes` decides what the captured box answers.
class ReportCapture {
public:
    ReportCapture()
    {
        instance = this;
        previousAssert = KXMM::Partition::SetAssertHandler(&OnAssert);
        previousOutput = KXMM::Partition::SetOutputHandler(&OnOutput);
        KXMM::Partition::EnableAsserts();
    }
    ~ReportCapture()
    {
        KXMM::Partition::SetAssertHandler(previousAssert);
        KXMM::Partition::SetOutputHandler(previousOutput);
        KXMM::Partition::EnableAsserts();
        instance = nullptr;
    }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    /// The messages reported, without the question the box appends.
    std::vector<std::string> messages;
    std::vector<std::string> boxTexts;
    std::string output;
    bool answerYes = true;

    bool Reported(const std::string& message) const
    {
        for (const auto& m : messages) {
            if (m == message)
                return true;
        }
        return false;
    }

private:
    static bool OnAssert(const char* text)
    {
        static const std::string question = "\n\nDo you wish to continue receiving memory asserts?\n";
        std::string full(text);
        instance->boxTexts.push_back(full);
        const auto at = full.rfind(question);
        instance->messages.push_back(at == std::string::npos ? full : full.substr(0, at));
        return instance->answerYes;
    }
    static void OnOutput(const char* text) { instance->output += text; }

    static inline ReportCapture* instance = nullptr;
    KXMM::AssertHandler previousAssert = nullptr;
    KXMM::OutputHandler previousOutput = nullptr;
};

/// A fixture with a fresh partition and captured reports.
class PartitionTest : public ::testing::Test {
protected:
    ReportCapture reports;
    ProbePartition partition;
};

} // namespace KXMMTest
