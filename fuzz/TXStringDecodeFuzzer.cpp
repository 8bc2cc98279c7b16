// Fuzz target of TXString's own UTF-8 decoder. For any bytes the decoder must
// stay inside its input and output (the sanitizers watch), never produce more
// units than bytes, and give "?" only where a byte could not be read; for
// well-formed UTF-8 it must give exactly the units the platform's UTF-8
// conversion gives (ICU on Linux). The input is also decoded from an odd
// offset so that the word-at-a-time ASCII loop meets every alignment.
#include "TXStringFuzzSupport.h"

#include "platform/Text.h"
#include "strings/TXString.h"

#include <vector>

namespace {

using TXStringFuzz::Require;

void Check(const std::uint8_t* data, std::size_t size)
{
    TXString decoded;
    decoded.SetNarrow(reinterpret_cast<const char*>(data), size);
    Require(decoded.GetLength() <= size);
    Require(decoded.GetData()[decoded.GetLength()] == 0);
    if (size == 0 || data[0] == 0) {
        Require(decoded.IsEmpty());
        return;
    }
    // Every byte below 0x80 outside a multi-byte sequence stands for itself,
    // so an all-ASCII input decodes unit for byte.
    bool ascii = true;
    for (std::size_t i = 0; i < size && ascii; ++i)
        ascii = data[i] < 0x80;
    if (ascii) {
        Require(decoded.GetLength() == size);
        for (std::size_t i = 0; i < size; ++i)
            Require(decoded.GetData()[i] == data[i]);
    }
    if (!TXStringFuzz::IsValidUtf8(data, size) || size > 1u << 20)
        return;
    std::vector<TXChar> expected(size + 1);
    const int units = Platform::MultiByteToWide(Platform::kCodePageUtf8, 0, reinterpret_cast<const char*>(data),
                                                static_cast<int>(size), expected.data(),
                                                static_cast<int>(expected.size()));
    Require(units > 0);
    Require(static_cast<std::size_t>(units) == decoded.GetLength());
    for (int i = 0; i < units; ++i)
        Require(expected[static_cast<std::size_t>(i)] == decoded.GetData()[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TXStringFuzz::UseMainPartition();
    Check(data, size);
    if (size > 1)
        Check(data + 1, size - 1);
    return 0;
}
