// Shared pieces of the string-library fuzz targets: the main partition they
// allocate from, a fault that aborts (so the fuzzer and the replay test see
// it), and a strict UTF-8 validator independent of the decoder under test.
#pragma once

#include "KXMM/KXMM.h"
#include "strings/MainPartition.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace TXStringFuzz {

inline void Require(bool condition)
{
    if (!condition)
        std::abort();
}

inline void UseMainPartition()
{
    if (GetMainPartition() == nullptr)
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
}

/// Well-formed UTF-8: shortest forms only, no encoded surrogates, nothing
/// above U+10FFFF, every continuation byte 10xxxxxx.
inline bool IsValidUtf8(const std::uint8_t* p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        std::size_t extra;
        std::uint32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        const std::uint32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace TXStringFuzz
