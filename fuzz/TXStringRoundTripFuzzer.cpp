// Fuzz target of TXString's UTF-8 encoding. The input is decoded with the own
// decoder (which yields any unit sequence, lone surrogates and NULs included)
// and encoded back with ToNarrow(kUTF8). The bytes must be exactly what the
// platform's UTF-8 conversion writes for the NUL-terminated text, fit the
// narrow capacity, and decode again to the text up to its first NUL with
// every lone surrogate turned into U+FFFD; well-formed input without NUL
// bytes comes back byte for byte.
#include "TXStringFuzzSupport.h"

#include "platform/Text.h"
#include "strings/TXString.h"

#include <cstring>
#include <vector>

namespace {

using TXStringFuzz::Require;

constexpr TXChar kReplacement = 0xFFFD;

/// The units an encode-decode round trip must give back.
std::vector<TXChar> Expected(const TXString& text)
{
    std::vector<TXChar> units;
    const TXChar* p = text.GetData();
    const std::size_t n = text.GetLength();
    for (std::size_t i = 0; i < n && p[i] != 0; ++i) {
        if (IsHighSurrogate(p[i]) && i + 1 < n && IsLowSurrogate(p[i + 1])) {
            units.push_back(p[i]);
            units.push_back(p[++i]);
        } else {
            units.push_back(IsHighSurrogate(p[i]) || IsLowSurrogate(p[i]) ? kReplacement : p[i]);
        }
    }
    return units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TXStringFuzz::UseMainPartition();
    if (size > 1u << 20)
        return 0;
    const TXString text(reinterpret_cast<const char*>(data), size);
    const char* encoded = text.ToNarrow(kUTF8);
    const std::size_t length = std::strlen(encoded);
    Require(length < static_cast<std::size_t>(text.GetNarrowCapacity()));

    if (!text.IsEmpty() && text.GetData()[0] != 0) {
        std::vector<char> platform(4 * text.GetLength() + 1);
        const int written = Platform::WideToMultiByte(Platform::kCodePageUtf8, 0, text.GetData(), -1,
                                                      platform.data(), static_cast<int>(platform.size()), nullptr);
        Require(written > 0 && static_cast<std::size_t>(written) == length + 1);
        Require(std::memcmp(platform.data(), encoded, length + 1) == 0);
    }

    const TXString again(encoded);
    const std::vector<TXChar> expected = Expected(text);
    Require(again.GetLength() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        Require(again.GetData()[i] == expected[i]);

    if (size > 0 && std::memchr(data, 0, size) == nullptr && TXStringFuzz::IsValidUtf8(data, size))
        Require(length == size && std::memcmp(encoded, data, size) == 0);
    return 0;
}
