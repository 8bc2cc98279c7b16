/// @file
/// TXStringArray: the library's ordered list of TXString values.
///
/// The element storage comes from the main partition like the texts
/// themselves (TXStringAllocator over Partition::TXStringAllocate), so an array
/// and everything in it live in one partition. Growth follows std::vector;
/// a count beyond its maximum raises std::length_error("vector too long")
/// where the standard library says so. Equality, and Find when asked to,
/// ignore case the way the system's case-insensitive comparison does; Sort
/// defaults to that order.
///
/// Element access does not check the index: callers keep it below GetSize().
#pragma once

#include "strings/TXString.h"
#include "strings/TXStringAllocator.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

/// An ordered list of TXString values whose storage comes from the main
/// partition. Operations that copy or add texts throw std::bad_alloc when
/// memory runs short.
class TXStringArray {
public:
    /// The element storage.
    using Storage = std::vector<TXString, TXStringAllocator<TXString>>;
    /// A strict weak order of two texts.
    using Comparator = std::function<bool(const TXString&, const TXString&)>;

    /// No elements; allocates nothing.
    TXStringArray() = default;
    /// `count` empty strings.
    explicit TXStringArray(std::size_t count);
    /// Copies of `elements`, in order.
    TXStringArray(const std::vector<TXString>& elements);
    /// Copies of the elements of `other`, in order.
    TXStringArray(const TXStringArray& other) = default;
    /// Takes the source's storage; the source is left empty.
    TXStringArray(TXStringArray&& other) noexcept;
    /// Destroys the elements and frees the storage.
    virtual ~TXStringArray() = default;

    /// Replaces the elements with copies of those of `other`; assigning an
    /// array to itself changes nothing.
    TXStringArray& operator=(const TXStringArray& other);
    /// Destroys the own elements and frees their storage first.
    TXStringArray& operator=(TXStringArray&& other) noexcept;
    /// Replaces the elements with copies of `elements`.
    TXStringArray& operator=(const std::vector<TXString>& elements);

    /// Same count and every pair equal ignoring case.
    bool operator==(const TXStringArray& other) const;

    /// The number of elements.
    std::size_t GetSize() const noexcept { return elements.size(); }
    /// Whether there are no elements.
    bool IsEmpty() const noexcept { return elements.empty(); }
    /// Destroys the elements beyond `count` or appends empty strings up to it.
    void SetSize(std::size_t count);

    /// Element `index`, which must be below GetSize(). The reference is valid
    /// until the array next grows, shrinks or is sorted.
    TXString& operator[](std::size_t index) { return elements[index]; }
    /// Element `index`, which must be below GetSize().
    const TXString& operator[](std::size_t index) const { return elements[index]; }
    /// Element `index`, as operator[].
    TXString& GetAt(std::size_t index) { return elements[index]; }
    /// Element `index`, as operator[].
    const TXString& GetAt(std::size_t index) const { return elements[index]; }
    /// Assigns when `index` is below the count; otherwise appends `text`,
    /// however large `index` is.
    void SetAt(std::size_t index, const TXString& text);

    /// Appends a copy of `text`.
    void Append(const TXString& text);
    /// Copies of all elements of `other`, in order (`other` may be this array).
    void Append(const TXStringArray& other);
    /// Inserts a copy of `text` before the first element.
    void InsertFirst(const TXString& text);
    /// Removes the elements from `index` up to min(index + count, size);
    /// nothing when `index` is not below the count or `count` is 0.
    void Erase(std::size_t index, std::size_t count);
    /// Destroys all elements; the storage stays allocated.
    void Clear() noexcept { elements.clear(); }

    /// Index of the first element equal to `text` (same length and, ignoring
    /// case, the system's comparison answers equal; otherwise the same units),
    /// or -1.
    std::int64_t Find(const TXString& text, bool ignoreCase) const;
    /// Sorts in place (not stable) with `less`; without one, by the system's
    /// case-insensitive order.
    void Sort(const Comparator& less = nullptr);

private:
    Storage elements;
};
