// TXStringArray's operations, and TXString::SplitAtHyphens, which fills one.
#include "strings/TXStringArray.h"

#include <algorithm>
#include <utility>

TXStringArray::TXStringArray(std::size_t count) : elements(count) {}

TXStringArray::TXStringArray(const std::vector<TXString>& source) : elements(source.begin(), source.end()) {}

TXStringArray::TXStringArray(TXStringArray&& other) noexcept : elements(std::move(other.elements))
{
    other.elements.clear();
}

TXStringArray& TXStringArray::operator=(const TXStringArray& other)
{
    if (this != &other)
        elements = other.elements;
    return *this;
}

TXStringArray& TXStringArray::operator=(TXStringArray&& other) noexcept
{
    if (this != &other) {
        Storage().swap(elements);
        elements = std::move(other.elements);
        other.elements.clear();
    }
    return *this;
}

TXStringArray& TXStringArray::operator=(const std::vector<TXString>& source)
{
    elements.assign(source.begin(), source.end());
    return *this;
}

bool TXStringArray::operator==(const TXStringArray& other) const
{
    return std::equal(elements.begin(), elements.end(), other.elements.begin(), other.elements.end(),
                      [](const TXString& a, const TXString& b) { return a.EqualNoCase(b); });
}

void TXStringArray::SetSize(std::size_t count)
{
    elements.resize(count);
}

void TXStringArray::SetAt(std::size_t index, const TXString& text)
{
    if (index < elements.size())
        elements[index] = text;
    else
        elements.push_back(text);
}

void TXStringArray::Append(const TXString& text)
{
    elements.push_back(text);
}

void TXStringArray::Append(const TXStringArray& other)
{
    if (&other == this) {
        const Storage copy(elements);
        elements.insert(elements.end(), copy.begin(), copy.end());
        return;
    }
    elements.insert(elements.end(), other.elements.begin(), other.elements.end());
}

void TXStringArray::InsertFirst(const TXString& text)
{
    elements.insert(elements.begin(), text);
}

void TXStringArray::Erase(std::size_t index, std::size_t count)
{
    if (index >= elements.size() || count == 0)
        return;
    const std::size_t end = count > elements.size() - index ? elements.size() : index + count;
    elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(index),
                   elements.begin() + static_cast<std::ptrdiff_t>(end));
}

std::int64_t TXStringArray::Find(const TXString& text, bool ignoreCase) const
{
    for (std::size_t i = 0; i < elements.size(); ++i)
        if (ignoreCase ? elements[i].EqualNoCase(text) : elements[i].Equal(text))
            return static_cast<std::int64_t>(i);
    return -1;
}

void TXStringArray::Sort(const Comparator& less)
{
    if (less)
        std::sort(elements.begin(), elements.end(), less);
    else
        std::sort(elements.begin(), elements.end(),
                  [](const TXString& a, const TXString& b) { return a.CompareNoCase(b) < 0; });
}

void TXString::SplitAtHyphens(std::int32_t& outCount, TXStringArray& array) const
{
    constexpr TXChar kHyphen = u'-';
    constexpr std::int32_t kMaxParts = 4;
    const auto length = static_cast<std::int64_t>(GetLength());
    outCount = 1;
    std::int64_t p = Find(kHyphen);
    if (length == 0 || p == kNotFound) {
        array.Append(*this);
        return;
    }
    // A hyphen at the start is a minus sign, and so is a second one after it.
    if (p == 0) {
        if (length < 2 || (p = Find(kHyphen, 1)) == kNotFound) {
            array.Append(*this);
            return;
        }
        if (p == 1 && (length < 3 || (p = Find(kHyphen, 2)) == kNotFound)) {
            array.Append(*this);
            return;
        }
    }
    std::int64_t start = 0;
    while (p != kNotFound && p < length - 1 && outCount < kMaxParts) {
        array.Append(Mid(static_cast<std::size_t>(start), static_cast<std::size_t>(p - start)));
        ++outCount;
        start = p + 1;
        std::int64_t q = Find(kHyphen, start);
        // A hyphen right after the separator is the next part's minus sign.
        if (q == start) {
            q = Find(kHyphen, p + 2);
            if (q == p + 2)
                q = Find(kHyphen, p + 3);
        }
        p = q;
    }
    if (outCount == 1)
        array.Append(*this);
    else
        array.Append(Mid(static_cast<std::size_t>(start)));
}
