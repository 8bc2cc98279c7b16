// Tests of the host interfaces' binary shape: every operation sits in its
// fixed slot, and a host needs to implement only the pure operations.
#include "framework/HostInterfaces.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

using namespace Calvera::Extension;

// The compilers this project supports (gcc, clang, mingw-w64) all follow the
// Itanium C++ ABI, where a pointer to a member function is two words: for a
// virtual function the first holds 1 plus the function's byte offset in the
// vtable, the second the this-adjustment. Another ABI (MSVC's single word, for
// one) fails the size check below instead of giving wrong answers.
struct MemberPointerWords {
    std::uintptr_t pointerOrOffset;
    std::ptrdiff_t thisAdjustment;
};

template <typename Member>
std::ptrdiff_t VtableByteOffset(Member member)
{
    static_assert(sizeof(Member) == sizeof(MemberPointerWords), "expects the Itanium member-pointer layout");
    MemberPointerWords words;
    std::memcpy(&words, &member, sizeof words);
    // An even first word is a plain function address: the operation is not virtual.
    EXPECT_EQ(words.pointerOrOffset & 1U, 1U);
    return static_cast<std::ptrdiff_t>(words.pointerOrOffset - 1);
}

/// The operation number of `member` in `Interface`, counted from 0 with
/// IKXUnknown's destructor, AddRef and Release first. The destructor takes two
/// vtable entries under the Itanium ABI, so positions are taken from AddRef.
template <typename Interface, typename Member>
std::ptrdiff_t OperationOf(Member member)
{
    const std::ptrdiff_t addRef = VtableByteOffset(static_cast<std::uint32_t (Interface::*)()>(&Interface::AddRef));
    return (VtableByteOffset(member) - addRef) / static_cast<std::ptrdiff_t>(sizeof(void*)) + 1;
}

struct SlotCase {
    const char* operation;
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
};

TEST(HostInterfaces, OperationsSitInTheirSlots)
{
    const SlotCase cases[] = {
        {"IHostApplication::Release", OperationOf<IHostApplication>(&IHostApplication::Release), 2},
        {"IHostApplication::WalkFolder", OperationOf<IHostApplication>(&IHostApplication::WalkFolder), 3},
        {"IHostApplication::LoadResourceString", OperationOf<IHostApplication>(&IHostApplication::LoadResourceString),
         4},
        {"IHostApplication::OpenResourceFile", OperationOf<IHostApplication>(&IHostApplication::OpenResourceFile), 5},
        {"IHostApplication::GetResourceHandleSize",
         OperationOf<IHostApplication>(&IHostApplication::GetResourceHandleSize), 6},
        {"IHostApplication::DisposeResourceHandle",
         OperationOf<IHostApplication>(&IHostApplication::DisposeResourceHandle), 7},
        {"IHostApplication::SetHostValue", OperationOf<IHostApplication>(&IHostApplication::SetHostValue), 85},
        {"IHostApplication::QueryHostValue", OperationOf<IHostApplication>(&IHostApplication::QueryHostValue), 994},
        // The edges of the reserved gaps: a slot's name must be its position.
        {"IHostApplication::ReservedSlot8", OperationOf<IHostApplication>(&IHostApplication::ReservedSlot8), 8},
        {"IHostApplication::ReservedSlot84", OperationOf<IHostApplication>(&IHostApplication::ReservedSlot84), 84},
        {"IHostApplication::ReservedSlot86", OperationOf<IHostApplication>(&IHostApplication::ReservedSlot86), 86},
        {"IHostApplication::ReservedSlot500", OperationOf<IHostApplication>(&IHostApplication::ReservedSlot500), 500},
        {"IHostApplication::ReservedSlot993", OperationOf<IHostApplication>(&IHostApplication::ReservedSlot993), 993},
        {"IHostFolderChooser::SetTitle", OperationOf<IHostFolderChooser>(&IHostFolderChooser::SetTitle), 3},
        {"IHostFolderChooser::GetChosenFolder", OperationOf<IHostFolderChooser>(&IHostFolderChooser::GetChosenFolder),
         4},
        {"IHostFolderChooser::Run", OperationOf<IHostFolderChooser>(&IHostFolderChooser::Run), 5},
        {"IHostFolder::GetFullPath", OperationOf<IHostFolder>(&IHostFolder::GetFullPath), 3},
        {"IHostFile::SetFullPath", OperationOf<IHostFile>(&IHostFile::SetFullPath), 3},
        {"IHostFile::Exists", OperationOf<IHostFile>(&IHostFile::Exists), 4},
        {"IHostFile::Delete", OperationOf<IHostFile>(&IHostFile::Delete), 5},
        {"IHostTextFile::Open", OperationOf<IHostTextFile>(&IHostTextFile::Open), 3},
        {"IHostTextFile::Close", OperationOf<IHostTextFile>(&IHostTextFile::Close), 4},
        {"IHostTextFile::GetLength", OperationOf<IHostTextFile>(&IHostTextFile::GetLength), 5},
        {"IHostTextFile::SetPosition", OperationOf<IHostTextFile>(&IHostTextFile::SetPosition), 6},
        {"IHostTextFile::WriteLine", OperationOf<IHostTextFile>(&IHostTextFile::WriteLine), 7},
    };
    for (const SlotCase& slot : cases) {
        EXPECT_EQ(slot.actual, slot.expected) << slot.operation;
    }
}

// A host implements the real operations only; the reserved slots have bodies.
class MinimalHostApplication final : public IHostApplication {
public:
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 0; }
    std::int32_t WalkFolder(std::int32_t, FolderVisitor, void*) override { return 0; }
    std::int32_t LoadResourceString(TXString&, const char*, const char*, std::int32_t) override { return 0; }
    char** OpenResourceFile(const char*) override { return nullptr; }
    std::int32_t GetResourceHandleSize(char**, std::uint64_t&) override { return 0; }
    void DisposeResourceHandle(char**) override {}
    void SetHostValue(std::int32_t, bool) override {}
    bool QueryHostValue(std::int32_t, const void*, void*) override { return false; }
};
static_assert(!std::is_abstract_v<MinimalHostApplication>, "reserved slots must not be pure");

} // namespace
