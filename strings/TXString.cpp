// TXString storage and core: construction, assignment, appending, insertion,
// concatenation, access, editing, substrings and surrogate handling.
//
// Encodings, copy-out and normalization are in TXStringEncoding.cpp,
// comparison, case and searching in TXStringCompare.cpp, number text in
// TXStringNumbers.cpp.
#include "strings/TXString.h"

#include "platform/Text.h"
#include "strings/UnitSearch.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

/// Shared by every string: what an out-of-range reference designates.
TXChar scratchUnit = 0;

constexpr TXChar kSpace = u' ';
constexpr TXChar kTab = u'\t';

bool IsBlank(TXChar unit)
{
    return unit == kSpace || unit == kTab;
}

} // namespace

void TXString::ThrowTooLong()
{
    throw std::length_error(kStringTooLong);
}

// ---------------------------------------------------------------------------
// Construction

TXString::TXString(const TXInnerString& source) : text(source)
{
}

TXString::TXString(TXInnerString&& source) noexcept : text(std::move(source))
{
    source.clear();
}

TXString::TXString(const TXStdWString& source)
{
    AppendUnits(source.c_str(), UnitLength(source.c_str(), source.size()));
}

TXString::TXString(const std::string& bytes, TXEncoding encoding)
{
    DecodeAppend(text, bytes.data(), bytes.size(), encoding);
}

TXString::TXString(std::string_view bytes, TXEncoding encoding)
{
    DecodeAppend(text, bytes.data(), bytes.size(), encoding);
}

TXString::TXString(std::uint64_t count)
{
    AssignFill(0, static_cast<std::size_t>(count));
}

TXString::TXString(std::int32_t count)
{
    if (count > 0)
        AssignFill(0, static_cast<std::size_t>(count));
}

TXString::TXString(const char* bytes, TXEncoding encoding)
{
    if (bytes != nullptr)
        DecodeAppend(text, bytes, std::strlen(bytes), encoding);
}

TXString::TXString(const char* bytes, std::size_t byteCount, TXEncoding encoding)
{
    if (byteCount != static_cast<std::size_t>(-1))
        DecodeAppend(text, bytes, byteCount, encoding);
}

TXString::TXString(const unsigned char* counted, TXEncoding encoding)
{
    if (counted != nullptr)
        DecodeAppend(text, reinterpret_cast<const char*>(counted + 1), counted[0], encoding);
}

TXString::TXString(char ch, std::size_t count)
{
    AssignFill(static_cast<unsigned char>(ch), count);
}

TXString::TXString(unsigned char ch, std::size_t count)
{
    AssignFill(ch, count);
}

void TXString::AssignFill(TXChar unit, std::size_t count)
{
    CheckLength(count);
    text.assign(count, unit);
}

// ---------------------------------------------------------------------------
// Assignment

TXString& TXString::operator=(TXString&& other) noexcept
{
    if (this != &other) {
        // Move into a temporary first so that the source is left with its
        // short buffer and the temporary, not the source, inherits (and frees)
        // our old heap buffer.
        TXInnerString taken(std::move(other.text));
        other.text.clear();
        text.swap(taken);
    }
    return *this;
}

TXString& TXString::operator=(const std::string& bytes)
{
    return SetNarrow(bytes.data(), bytes.size(), kUTF8);
}

TXString& TXString::operator=(std::string_view bytes)
{
    return SetNarrow(bytes.data(), bytes.size(), kUTF8);
}

TXString& TXString::operator=(const TXStdWString& source)
{
    AssignUnits(source.c_str(), UnitLength(source.c_str(), source.size()));
    return *this;
}

TXString& TXString::operator=(const char* bytes)
{
    return SetNarrow(bytes, bytes == nullptr ? 0 : std::strlen(bytes), kUTF8);
}

TXString& TXString::operator=(const unsigned char* counted)
{
    if (counted == nullptr) {
        text.clear();
        return *this;
    }
    return SetNarrow(reinterpret_cast<const char*>(counted + 1), counted[0], kUTF8);
}

TXString& TXString::operator=(char ch)
{
    text.assign(1, static_cast<unsigned char>(ch));
    return *this;
}

TXString& TXString::operator=(unsigned char ch)
{
    text.assign(1, ch);
    return *this;
}

TXString& TXString::operator=(std::uint32_t codePoint)
{
    if (codePoint > kLastCodePoint) {
        text.clear();
    } else if (codePoint > kLastBmpCodePoint) {
        const TXChar pair[2] = {HighSurrogateOf(codePoint), LowSurrogateOf(codePoint)};
        text.assign(pair, 2);
    } else {
        text.assign(1, static_cast<TXChar>(codePoint));
    }
    return *this;
}

// ---------------------------------------------------------------------------
// Appending and concatenation

TXString& TXString::operator+=(const TXString& other)
{
    CheckGrowth(text, other.text.size());
    text.append(other.text);
    return *this;
}

TXString& TXString::operator+=(const char* bytes)
{
    if (bytes != nullptr)
        DecodeAppend(text, bytes, std::strlen(bytes), kUTF8);
    return *this;
}

TXString& TXString::operator+=(const unsigned char* counted)
{
    if (counted != nullptr)
        DecodeAppend(text, reinterpret_cast<const char*>(counted + 1), counted[0], kUTF8);
    return *this;
}

TXString& TXString::operator+=(char ch)
{
    text.push_back(static_cast<unsigned char>(ch));
    return *this;
}

TXString& TXString::operator+=(unsigned char ch)
{
    text.push_back(ch);
    return *this;
}

TXString& TXString::operator+=(std::uint32_t codePoint)
{
    if (codePoint > kLastCodePoint)
        return *this;
    if (codePoint > kLastBmpCodePoint) {
        const TXChar pair[2] = {HighSurrogateOf(codePoint), LowSurrogateOf(codePoint)};
        text.append(pair, 2);
    } else {
        text.push_back(static_cast<TXChar>(codePoint));
    }
    return *this;
}

TXString operator+(const TXString& left, const TXString& right)
{
    TXString result;
    TXString::CheckGrowth(left.text, right.text.size());
    result.text.reserve(left.GetLength() + right.GetLength());
    result.text.append(left.text);
    result.text.append(right.text);
    return result;
}

// ---------------------------------------------------------------------------
// Insertion

TXString& TXString::Insert(std::size_t position, const TXString& other)
{
    CheckGrowth(text, other.text.size());
    text.insert(std::min(position, text.size()), other.text);
    return *this;
}

TXString& TXString::Insert(std::size_t position, const char* bytes)
{
    if (bytes == nullptr)
        return *this;
    TXInnerString decoded;
    DecodeAppend(decoded, bytes, std::strlen(bytes), kUTF8);
    CheckGrowth(text, decoded.size());
    text.insert(std::min(position, text.size()), decoded);
    return *this;
}

TXString& TXString::Insert(std::size_t position, const unsigned char* counted)
{
    if (counted == nullptr)
        return *this;
    TXInnerString decoded;
    DecodeAppend(decoded, reinterpret_cast<const char*>(counted + 1), counted[0], kUTF8);
    CheckGrowth(text, decoded.size());
    text.insert(std::min(position, text.size()), decoded);
    return *this;
}

TXString& TXString::Insert(std::size_t position, char ch)
{
    return InsertFill(position, 1, static_cast<unsigned char>(ch));
}

TXString& TXString::Insert(std::size_t position, unsigned char ch)
{
    return InsertFill(position, 1, ch);
}

TXString& TXString::Insert(std::size_t position, std::uint32_t codePoint)
{
    if (codePoint > kLastCodePoint)
        return InsertFill(position, 1, kReplacementUnit);
    if (codePoint <= kLastBmpCodePoint)
        return InsertFill(position, 1, static_cast<TXChar>(codePoint));
    position = std::min(position, text.size());
    InsertFill(position, 2, LowSurrogateOf(codePoint));
    text[position] = HighSurrogateOf(codePoint);
    return *this;
}

TXString& TXString::InsertFill(std::size_t position, std::size_t count, TXChar unit)
{
    // The fill form, not a pointer to a local unit: it cannot alias the text.
    CheckGrowth(text, count);
    text.insert(std::min(position, text.size()), count, unit);
    return *this;
}

// ---------------------------------------------------------------------------
// Length and access

TXChar& TXString::ScratchUnit() noexcept
{
    scratchUnit = 0;
    return scratchUnit;
}

TXString& TXString::SetLength(std::size_t length)
{
    return SetLengthFilled(length, 0);
}

TXString& TXString::SetLengthFilled(std::size_t length, TXChar fill)
{
    CheckLength(length);
    text.resize(length, fill);
    return DropTrailingHighSurrogate();
}

TXString& TXString::Truncate(std::size_t length)
{
    if (length < text.size()) {
        text.resize(length);
        DropTrailingHighSurrogate();
    }
    return *this;
}

TXString& TXString::Clear() noexcept
{
    text.clear();
    return *this;
}

// ---------------------------------------------------------------------------
// Editing

TXString& TXString::Delete(std::size_t position, std::size_t count)
{
    if (position < text.size())
        text.erase(position, std::min(count, text.size() - position));
    return *this;
}

TXString& TXString::DeleteLast()
{
    if (!text.empty())
        text.pop_back();
    return *this;
}

TXString& TXString::Replace(const TXString& find, const TXString& with, bool ignoreCase)
{
    const std::size_t findLength = find.text.size();
    if (findLength == 0)
        return *this;
    if (!ignoreCase) {
        ReplaceMatches(text, find.text.data(), findLength, with.text);
        return *this;
    }
    // Lower-casing works per unit, so a match in the lowered copy stands at
    // the same position in the real text.
    TXInnerString lowered(text);
    Platform::LowerBuffer(lowered.data(), lowered.size());
    TXInnerString loweredFind(find.text);
    Platform::LowerBuffer(loweredFind.data(), loweredFind.size());
    ReplaceMatches(lowered, loweredFind.data(), findLength, with.text);
    return *this;
}

void TXString::ReplaceMatches(const TXInnerString& searched, const TXChar* find, std::size_t findLength,
                              const TXInnerString& with)
{
    // Built in one pass into a new text: replacing in place would move the
    // tail once per match. `with` may be the own text, which stays as it
    // was until the end.
    std::size_t match = TXStringDetail::FindUnits(searched.data(), searched.size(), find, findLength);
    if (match == TXStringDetail::kNoMatch)
        return;
    TXInnerString built;
    std::size_t from = 0;
    do {
        built.append(text, from, match - from);
        CheckGrowth(built, with.size());
        built.append(with);
        from = match + findLength;
        match = TXStringDetail::FindUnits(searched.data(), searched.size(), find, findLength, from);
    } while (match != TXStringDetail::kNoMatch);
    CheckGrowth(built, text.size() - from);
    built.append(text, from, TXInnerString::npos);
    text.swap(built);
}

TXString& TXString::TrimLeft()
{
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first]))
        ++first;
    text.erase(0, first);
    return *this;
}

TXString& TXString::TrimRight()
{
    std::size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    text.resize(end);
    return *this;
}

TXString& TXString::Trim()
{
    TrimLeft();
    return TrimRight();
}

void TXString::Swap(TXString& other) noexcept
{
    if (this != &other)
        text.swap(other.text);
}

// ---------------------------------------------------------------------------
// Substrings

TXString TXString::Mid(std::size_t start, std::size_t count) const
{
    TXString result;
    if (start >= text.size())
        return result;
    result.text.assign(text, start, std::min(count, text.size() - start));
    result.DropLeadingLowSurrogate();
    result.DropTrailingHighSurrogate();
    return result;
}

TXString TXString::Left(std::size_t count) const
{
    TXString result;
    result.text.assign(text, 0, std::min(count, text.size()));
    result.DropTrailingHighSurrogate();
    return result;
}

TXString TXString::Right(std::size_t count) const
{
    if (count >= text.size())
        return *this;
    TXString result;
    result.text.assign(text, text.size() - count, count);
    result.DropLeadingLowSurrogate();
    return result;
}

TXStdWString TXString::ToStdWString() const
{
    return TXStdWString(text.c_str(), UnitLength(text.c_str(), text.size()));
}

// ---------------------------------------------------------------------------
// Surrogates

bool TXString::IsSurrogatePairAt(std::size_t index) const noexcept
{
    return text.size() >= 2 && index < text.size() - 1 && IsHighSurrogate(text[index]) &&
           IsLowSurrogate(text[index + 1]);
}

bool TXString::HasSurrogatePair() const noexcept
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1]))
            return true;
    }
    return false;
}

TXString& TXString::DropLeadingLowSurrogate()
{
    if (!text.empty() && IsLowSurrogate(text.front()))
        text.erase(0, 1);
    return *this;
}

TXString& TXString::DropTrailingHighSurrogate()
{
    if (!text.empty() && IsHighSurrogate(text.back()))
        text.pop_back();
    return *this;
}

TXString& TXString::DropLoneSurrogates()
{
    DropLeadingLowSurrogate();
    return DropTrailingHighSurrogate();
}
