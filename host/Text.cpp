// UTF-8 validation and the escapes of control characters.
#include "host/Text.h"

#include <cstdint>

namespace KxHost {

namespace {

/// The length of the well-formed UTF-8 sequence at the start of `text`, and
/// its code point; 0 when the first byte starts no such sequence.
std::size_t Sequence(std::string_view text, char32_t& point)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(i) & 0x3F);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0;
    return length;
}

bool IsControl(char32_t point)
{
    return point < 0x20 || point == 0x7F || (point >= 0x80 && point <= 0x9F) || point == 0x2028 || point == 0x2029;
}

std::string Escape(std::string_view text, bool backslashes)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    while (!text.empty()) {
        char32_t point = 0;
        const std::size_t length = Sequence(text, point);
        if (length == 0 || (length == 1 && IsControl(point))) {
            const auto byte = static_cast<unsigned char>(text[0]);
            escaped.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
            text.remove_prefix(1);
            continue;
        }
        if (IsControl(point)) {
            escaped.append("\\u");
            for (int shift = 12; shift >= 0; shift -= 4)
                escaped += kHex[(point >> shift) & 15];
        } else if (backslashes && point == '\\') {
            escaped.append("\\\\");
        } else {
            escaped.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return escaped;
}

} // namespace

bool IsUtf8(std::string_view text)
{
    while (!text.empty()) {
        char32_t point = 0;
        const std::size_t length = Sequence(text, point);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string ForTerminal(std::string_view text)
{
    return Escape(text, false);
}

std::string ForLogLine(std::string_view text)
{
    return Escape(text, true);
}

} // namespace KxHost
