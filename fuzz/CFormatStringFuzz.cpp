// Fuzz target of CFormatString::Format over templates and arguments decoded
// from the input. Two bytes (little-endian) give the template's length in
// UTF-16 units and the units follow, NULs and lone surrogates included. Then
// come argument records until the input ends or a record is cut short: a
// byte choosing the kind (CFormatArg::Kind, modulo the number of kinds) and
// the value's little-endian bytes, 2, 4 or 8 for a number or pointer as wide
// as the kind, 2 for a character, and for a text a length byte and that many
// units.
//
// Whatever the input, Format must stay inside its buffers (the sanitizers
// watch), give the same text when called again, write a template without a
// "%" as it stands (up to its first NUL), and stay within the length the
// rules allow: the template, plus per argument its text or one scratch
// buffer of output.
#include "TXStringFuzzSupport.h"

#include "strings/CFormatString.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace {

using TXStringFuzz::Require;

/// The scratch buffer each non-text argument is formatted in, in units.
constexpr std::size_t kScratchUnits = 1024;
constexpr int kKinds = CFormatArg::kText + 1;

/// Little-endian values taken from the front of the input.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : at(data), end(data + size) {}

    /// False, taking nothing, when fewer than `bytes` are left.
    bool Take(std::size_t bytes, std::uint64_t& value)
    {
        if (static_cast<std::size_t>(end - at) < bytes)
            return false;
        value = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            value |= std::uint64_t{at[i]} << (8 * i);
        at += bytes;
        return true;
    }

    /// `count` UTF-16 units, or as many as are left.
    TXString Units(std::size_t count)
    {
        std::vector<TXChar> units;
        for (std::uint64_t unit = 0; units.size() < count && Take(2, unit);)
            units.push_back(static_cast<TXChar>(unit));
        return TXString(units.data(), units.size(), 1);
    }

private:
    const std::uint8_t* at;
    const std::uint8_t* end;
};

/// Adds the next argument record; false when the input has none left whole.
/// `room` grows by the most the argument may add to the result.
bool AddArgument(Reader& in, CFormatString& format, std::size_t& room)
{
    std::uint64_t kind = 0;
    std::uint64_t value = 0;
    if (!in.Take(1, kind))
        return false;
    kind %= kKinds;
    if (kind == CFormatArg::kText) {
        if (!in.Take(1, value))
            return false;
        const TXString text = in.Units(value);
        format.Add(text);
        room += text.GetLength();
        return true;
    }
    // The value's bytes, by kind up to the pointer.
    constexpr std::size_t kBytes[] = {2, 4, 4, 8, 2, 4, 4, 8, 8, 2, 8};
    if (!in.Take(kBytes[kind], value))
        return false;
    switch (kind) {
    case CFormatArg::kShort: format.Add(static_cast<short>(value)); break;
    case CFormatArg::kInt: format.Add(static_cast<int>(value)); break;
    case CFormatArg::kLong: format.Add(static_cast<long>(static_cast<std::int32_t>(value))); break;
    case CFormatArg::kLongLong: format.Add(static_cast<long long>(value)); break;
    case CFormatArg::kUnsignedShort: format.Add(static_cast<unsigned short>(value)); break;
    case CFormatArg::kUnsignedInt: format.Add(static_cast<unsigned>(value)); break;
    case CFormatArg::kUnsignedLong: format.Add(static_cast<unsigned long>(static_cast<std::uint32_t>(value))); break;
    case CFormatArg::kUnsignedLongLong: format.Add(static_cast<unsigned long long>(value)); break;
    case CFormatArg::kDouble: format.Add(std::bit_cast<double>(value)); break;
    case CFormatArg::kChar: format.Add(static_cast<char16_t>(value)); break;
    default: format.Add(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(value))); break; // kPointer
    }
    room += kScratchUnits;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TXStringFuzz::UseMainPartition();
    Reader in(data, size);
    std::uint64_t length = 0;
    in.Take(2, length);
    const TXString templ = in.Units(length);
    CFormatString format(templ);
    std::size_t room = templ.GetLength();
    while (AddArgument(in, format, room)) {
    }

    const TXString result = format.Format();
    Require(result.GetLength() <= room);
    Require(format.Format() == result);
    const TXChar* units = templ.GetData();
    std::size_t plain = 0;
    while (plain < templ.GetLength() && units[plain] != 0 && units[plain] != u'%')
        ++plain;
    if (plain == templ.GetLength() || units[plain] == 0)
        Require(result == TXString(units, plain, 1));
    return 0;
}
