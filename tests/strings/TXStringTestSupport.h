// Shared support of the string-library tests: the fixture that gives every
// test the module's main partition, conversions between TXString and
// std::u16string for readable expectations, and the allocation counter that
// the test program's own operator new and delete feed (AllocationCounter.cpp).
#pragma once

#include "KXMM/KXMM.h"
#include "strings/MainPartition.h"
#include "strings/TXString.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

/// Sets the main partition the way the module entry does before every test.
class StringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
        ASSERT_NE(GetMainPartition(), nullptr);
    }
};

/// The units of a text, for comparison with u"" literals.
inline std::u16string Units(const TXString& s)
{
    return std::u16string(s.GetData(), s.GetData() + s.GetLength());
}

/// A TXString holding exactly the units of `units`, NULs included.
inline TXString Text(const std::u16string& units)
{
    return TXString(units.data(), units.size(), 1);
}

/// Counts the global operator new and delete calls of the test program. On
/// Linux the memory manager's library calls the same operators, so its
/// string blocks are counted too; where each binary has its own runtime
/// (Windows) only this program's own calls are.
namespace AllocationCounter {

struct Counts {
    std::size_t news = 0;
    std::size_t deletes = 0;
};

Counts Now();
/// Makes the next `count` calls of operator new throw std::bad_alloc.
void FailNext(std::size_t count);
/// Whether blocks from Partition::TXStringAllocate pass through the counted
/// operators in this build.
bool SeesPartitionBlocks();

} // namespace AllocationCounter

/// The calls counted since construction.
class AllocationWindow {
public:
    AllocationWindow() : start(AllocationCounter::Now()) {}
    std::size_t News() const { return AllocationCounter::Now().news - start.news; }
    std::size_t Deletes() const { return AllocationCounter::Now().deletes - start.deletes; }

private:
    AllocationCounter::Counts start;
};
