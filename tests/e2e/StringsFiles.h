// Strings files as the tools write them, for the end-to-end tests that lay
// out resource folders.
#pragma once

#include <string>

namespace E2E {

/// `text` as a strings file: UTF-16 little-endian with a byte-order mark.
inline std::string Utf16File(const std::u16string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

} // namespace E2E
