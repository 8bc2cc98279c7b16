/// @file
/// TXStringAllocator: the allocator of every TXString buffer, the text's and
/// the narrow (8-bit) one.
///
/// It is stateless: every block comes from the main partition's plain
/// string-buffer entry point (Partition::TXStringAllocate) and goes back through
/// Partition::TXStringDeallocate, which takes the address of a pointer variable
/// and clears it. Blocks carry no header and appear in no partition statistics.
///
/// Failure: the partition reports a failed allocation itself and answers null;
/// the allocator turns that null (and a missing main partition) into
/// std::bad_alloc, so no string operation ever writes through a null block.
#pragma once

#include <cstddef>
#include <type_traits>

namespace TXStringDetail {

/// A block of `bytes` bytes from the main partition. Throws std::bad_alloc
/// when the partition answers null or none is set.
void* AllocateBlock(std::size_t bytes);

/// Returns a block to the main partition; null is ignored (as is every block
/// while no main partition is set).
void DeallocateBlock(void* block) noexcept;

/// Throws std::bad_array_new_length for element counts whose byte size does
/// not fit a size_t.
[[noreturn]] void ThrowBadLength();

} // namespace TXStringDetail

/// The standard-library allocator over the main partition's string buffers,
/// for elements of type T. Stateless: all instances are equal, and a block
/// from any of them may be released by any other.
template <typename T>
class TXStringAllocator {
public:
    using value_type = T;                ///< the element type
    using size_type = std::size_t;       ///< element counts
    using difference_type = std::ptrdiff_t; ///< distances between elements
    /// Containers move their storage on move assignment.
    using propagate_on_container_move_assignment = std::true_type;
    /// All instances are equal.
    using is_always_equal = std::true_type;

    /// An allocator; it holds nothing.
    constexpr TXStringAllocator() noexcept = default;
    /// The same allocator for another element type.
    template <typename U>
    constexpr TXStringAllocator(const TXStringAllocator<U>&) noexcept
    {
    }

    /// Uninitialized storage for `count` elements; throws std::bad_alloc when
    /// the partition cannot supply it or no main partition is set, and
    /// std::bad_array_new_length when the byte count overflows.
    [[nodiscard]] T* allocate(std::size_t count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T))
            TXStringDetail::ThrowBadLength();
        return static_cast<T*>(TXStringDetail::AllocateBlock(count * sizeof(T)));
    }

    /// Returns `block` to the main partition (the count is not needed); null is
    /// ignored, and so is every block while no main partition is set.
    void deallocate(T* block, std::size_t) noexcept { TXStringDetail::DeallocateBlock(block); }

    /// Always true: every instance releases what any other allocated.
    template <typename U>
    friend constexpr bool operator==(const TXStringAllocator&, const TXStringAllocator<U>&) noexcept
    {
        return true;
    }
};
