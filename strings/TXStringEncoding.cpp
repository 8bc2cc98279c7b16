// TXString encodings: decoding 8-bit text (the own UTF-8 decoder or the
// platform's code pages), encoding into the narrow buffer, the copy-out
// operations into caller buffers, and normalization through the platform.
#include "strings/TXString.h"

#include "platform/Text.h"
#include "strings/NormalizationQuickCheck.h"
#include "strings/StringUtilities.h"
#include "strings/Utf8.h"

#include <climits>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kMaxCountedLength = 255;
/// What the code pages write for a character they lack.
constexpr char kDefaultChar[] = "?";
/// The largest text whose narrow form (4 x length + 1 bytes) fits the 32-bit
/// narrow capacity.
constexpr std::size_t kMaxNarrowUnits = (static_cast<std::size_t>(INT32_MAX) - 1) / 4;

bool WritesUtf8(TXEncoding encoding)
{
    return encoding != kMacEncoded && encoding != kSysEncoded && encoding != kSysEncodedAlt;
}

unsigned CodePageFor(TXEncoding encoding)
{
    return encoding == kMacEncoded ? Platform::kCodePageMac : Platform::kCodePageAnsi;
}

int CheckedInt(std::size_t value)
{
    if (value > static_cast<std::size_t>(INT_MAX))
        throw std::length_error(kStringTooLong);
    return static_cast<int>(value);
}

} // namespace

// ---------------------------------------------------------------------------
// Decoding

void TXString::DecodeAppend(TXInnerString& target, const char* bytes, std::size_t byteCount, TXEncoding encoding)
{
    if (bytes == nullptr || byteCount == 0 || bytes[0] == 0)
        return;
    const std::size_t old = target.size();

    if (encoding == kUTF8) {
        CheckGrowth(target, byteCount);
        target.resize(old + byteCount);
        const std::size_t units =
            TXStringDetail::DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), byteCount, target.data() + old);
        target.resize(old + units);
        return;
    }

    // The platform conversion gets one unit more than the bytes it reads and
    // answers 0 on failure, which leaves the target as it was.
    const int count = CheckedInt(byteCount);
    const int capacity = CheckedInt(byteCount + 1);
    CheckGrowth(target, byteCount + 1);
    target.resize(old + byteCount + 1);
    const int units =
        Platform::MultiByteToWide(CodePageFor(encoding), Platform::kPrecomposed, bytes, count, target.data() + old, capacity);
    target.resize(old + (units > 0 ? static_cast<std::size_t>(units) : 0));
}

TXString& TXString::SetNarrow(const char* bytes, std::size_t byteCount, TXEncoding encoding)
{
    text.clear();
    DecodeAppend(text, bytes, byteCount, encoding);
    return *this;
}

// ---------------------------------------------------------------------------
// Encoding

void TXString::ReserveNarrow(std::size_t bytes) const
{
    if (bytes > static_cast<std::size_t>(INT32_MAX))
        throw std::length_error(kStringTooLong);
    if (bytes <= static_cast<std::size_t>(narrowCapacity))
        return;
    // Free first and clear the fields, so that a failed allocation leaves no
    // stale capacity behind.
    TXStringDetail::DeallocateBlock(narrow);
    narrow = nullptr;
    narrowCapacity = 0;
    narrow = TXStringAllocator<char>().allocate(bytes);
    narrowCapacity = static_cast<std::int32_t>(bytes);
}

const char* TXString::ToNarrow(TXEncoding encoding) const
{
    const std::size_t length = text.size();
    if (length == 0) {
        if (narrow == nullptr)
            ReserveNarrow(1);
        narrow[0] = 0;
        return narrow;
    }
    // Checked before multiplying: the capacity is a 32-bit count, and a
    // wrapped product would buy a short buffer.
    if (length > kMaxNarrowUnits)
        throw std::length_error(kStringTooLong);
    const std::size_t needed = TXStrings::NarrowCapacityFor(length);
    ReserveNarrow(needed);

    if (WritesUtf8(encoding)) {
        TXStringDetail::EncodeUtf8(text.data(), length, narrow);
        return narrow;
    }
    const int written = Platform::WideToMultiByte(CodePageFor(encoding), 0, text.c_str(), -1, narrow,
                                                  static_cast<int>(needed), kDefaultChar);
    // Only a code page the platform lacks fails; it writes nothing.
    if (written <= 0)
        narrow[0] = 0;
    return narrow;
}

const unsigned char* TXString::GetCountedNarrow() const
{
    ToNarrow(kUTF8);
    const std::size_t length = std::min(std::strlen(narrow), kMaxCountedLength);
    std::memmove(narrow + 1, narrow, length);
    narrow[0] = static_cast<char>(static_cast<unsigned char>(length));
    return reinterpret_cast<const unsigned char*>(narrow);
}

std::size_t TXString::GetEncodedLength(TXEncoding encoding) const
{
    // Every encoding request leaves the text encoded in the narrow buffer,
    // the length in 16-bit units included (it writes UTF-8 as ToNarrow does).
    const char* encoded = ToNarrow(encoding);
    if (encoding == kUTF16)
        return text.size();
    return std::strlen(encoded);
}

std::string TXString::ToStdString(TXEncoding encoding) const
{
    return std::string(ToNarrow(encoding));
}

void TXString::CopyToBuffer(char* dest, std::size_t destSize, TXEncoding encoding) const
{
    if (dest == nullptr || destSize == 0)
        return;
    const char* encoded = ToNarrow(encoding);
    const std::size_t n = std::min(std::strlen(encoded), destSize - 1);
    std::memcpy(dest, encoded, n);
    dest[n] = 0;
}

void TXString::CopyToCountedBuffer(unsigned char* dest, std::size_t destSize, TXEncoding encoding) const
{
    if (dest == nullptr || destSize == 0)
        return;
    const char* encoded = ToNarrow(encoding);
    const std::size_t n = std::min({destSize - 1, std::strlen(encoded), kMaxCountedLength});
    dest[0] = static_cast<unsigned char>(n);
    std::memcpy(dest + 1, encoded, n);
}

// ---------------------------------------------------------------------------
// Normalization

TXString& TXString::NormalizeComposed()
{
    return Normalize(true);
}

TXString& TXString::NormalizeDecomposed()
{
    return Normalize(false);
}

TXString& TXString::Normalize(bool composed)
{
    if (text.empty())
        return *this;
    const Platform::NormalForm form = composed ? Platform::NormalForm::C : Platform::NormalForm::D;
    const int length = CheckedInt(text.size());
    const std::size_t stable = TXStringDetail::StablePrefixLength(composed, text.data(), text.size());
    if (stable == text.size())
        return *this;
    // The platform checks the rest from the last stable character on, which
    // a following mark may still combine with.
    std::size_t from = stable;
    if (from > 0)
        from -= from >= 2 && IsLowSurrogate(text[from - 1]) ? 2 : 1;
    if (Platform::IsNormalized(form, text.data() + from, length - static_cast<int>(from)))
        return *this;

    TXInnerString source(text);
    const int needed = Platform::Normalize(form, source.data(), length, nullptr, 0);
    if (needed <= 0)
        return *this;
    text.resize(static_cast<std::size_t>(needed));
    const int written = Platform::Normalize(form, source.data(), length, text.data(), needed);
    if (written > 0)
        text.resize(static_cast<std::size_t>(written));
    else
        text.swap(source);
    return *this;
}
