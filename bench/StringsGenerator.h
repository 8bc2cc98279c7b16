// Generated strings files for the buildkxr benchmarks: text shaped like real
// resource strings (keys of 10-30 characters, values of 20-200 with some
// non-ASCII letters, escapes, split segments and comment lines, CR LF line
// ends), from a fixed pseudo-random sequence so every run measures the same
// bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace KxBench {

/// A small, fast, repeatable generator (splitmix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    /// Uniform in [low, high].
    std::size_t Between(std::size_t low, std::size_t high) { return low + Next() % (high - low + 1); }

private:
    std::uint64_t state_;
};

/// Appends `entries` entries (and a comment line every few entries) to
/// `text`. Keys are unique within one call: each ends in its own number.
inline void AppendStrings(std::u16string& text, Random& random, std::size_t entries)
{
    static constexpr char kKeyChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_.";
    static constexpr char16_t kValueChars[] = u"abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 "
                                              u",.:!?()%-+ \u00e9\u00fc\u00df\u00e0 \u65e5\u672c";
    static constexpr const char16_t* kEscapes[] = {u"\\n", u"\\\"", u"\\t", u"\\x00e9", u"\\\\"};
    constexpr std::size_t kValueCharCount = sizeof kValueChars / sizeof kValueChars[0] - 1;

    for (std::size_t i = 0; i < entries; ++i) {
        if (random.Next() % 8 == 0)
            text += u"// Section " + std::u16string(1, static_cast<char16_t>(u'A' + random.Next() % 26)) +
                    u": labels and messages of this dialog\r\n";
        const std::string number = std::to_string(i);
        const std::size_t keyLength = random.Between(10, 30) - std::min<std::size_t>(number.size(), 9);
        text += u'"';
        for (std::size_t k = 0; k < keyLength; ++k)
            text += static_cast<char16_t>(kKeyChars[random.Next() % (sizeof kKeyChars - 1)]);
        for (char digit : number)
            text += static_cast<char16_t>(digit);
        text += u"\" = \"";
        const std::size_t valueLength = random.Between(20, 200);
        const bool split = random.Next() % 10 == 0;
        for (std::size_t v = 0; v < valueLength; ++v) {
            if (random.Next() % 64 == 0)
                text += kEscapes[random.Next() % (sizeof kEscapes / sizeof kEscapes[0])];
            else
                text += kValueChars[random.Next() % kValueCharCount];
            if (split && v == valueLength / 2)
                text += u"\"\r\n    \"";
        }
        text += u"\";\r\n";
    }
}

/// A whole strings file's bytes: byte-order mark, then the UTF-16LE text.
inline std::string StringsFileBytes(const std::u16string& text)
{
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

} // namespace KxBench
