// TXStringArray: the library's ordered list of TXString values.
//
// The element storage comes from the main partition like the texts
// themselves (TXStringAllocator over Partition::TXStringAllocate), so an array
// and everything in it live in one partition. Growth follows std::vector;
// a count beyond its maximum raises std::length_error("vector too long")
// where the standard library says so. Equality and Find ignore case the way
// the system's case-insensitive comparison does; Sort defaults to that order.
//
// Element access does not check the index: callers keep it below GetSize().
#pragma once

#include "strings/TXString.h"
#include "strings/TXStringAllocator.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TXStringArray {
public:
    using Storage = std::vector<TXString, TXStringAllocator<TXString>>;
    /// A strict weak order of two texts.
    using Comparator = std::function<bool(const TXString&, const TXString&)>;

    TXStringArray() = default;
    /// `count` empty strings.
    explicit TXStringArray(std::size_t count);
    TXStringArray(const std::vector<TXString>& elements);
    TXStringArray(const TXStringArray& other) = default;
    /// Takes the source's storage; the source is left empty.
    TXStringArray(TXStringArray&& other) noexcept;
    virtual ~TXStringArray() = default;

    TXStringArray& operator=(const TXStringArray& other);
    /// Destroys the own elements and frees their storage first.
    TXStringArray& operator=(TXStringArray&& other) noexcept;
    TXStringArray& operator=(const std::vector<TXString>& elements);

    /// Same count and every pair equal ignoring case.
    bool operator==(const TXStringArray& other) const;

    std::size_t GetSize() const noexcept { return elements.size(); }
    bool IsEmpty() const noexcept { return elements.empty(); }
    /// Destroys the elements beyond `count` or appends empty strings up to it.
    void SetSize(std::size_t count);

    TXString& operator[](std::size_t index) { return elements[index]; }
    const TXString& operator[](std::size_t index) const { return elements[index]; }
    TXString& GetAt(std::size_t index) { return elements[index]; }
    const TXString& GetAt(std::size_t index) const { return elements[index]; }
    /// Assigns when `index` is below the count; otherwise appends `text`,
    /// however large `index` is.
    void SetAt(std::size_t index, const TXString& text);

    void Append(const TXString& text);
    /// Copies of all elements of `other`, in order (`other` may be this array).
    void Append(const TXStringArray& other);
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
