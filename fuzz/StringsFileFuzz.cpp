// Fuzz target of the strings-file parser. Whatever the bytes, a parse must
// stay inside its buffer (the input is copied to a heap block of exactly its
// size, so the sanitizers see any stray access), end, and either fail with one
// of the fixed messages at a line between 1 and the number of line feeds
// plus 1, or succeed with a table whose keys and values are zero-terminated
// strings inside the buffer, in strictly increasing key order. The
// check-only parse must give the same verdict without writing.
#include "buildkxr/StringsFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char16_t kLineFeed = u'\n';

const char* const kMessages[] = {
    kStringsErrorKeyOpenQuote, kStringsErrorKeyEndOfLine, kStringsErrorEquals,
    kStringsErrorValueOpenQuote, kStringsErrorValueEndOfLine, kStringsErrorHexAtEnd,
    kStringsErrorHexValue, kStringsErrorSemicolon, kStringsErrorEndOfFile,
};

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsKnownMessage(const char* message)
{
    for (const char* known : kMessages) {
        if (message == known)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(std::calloc(size == 0 ? 1 : size, 1));
    Require(bytes != nullptr);
    if (size != 0)
        std::memcpy(bytes, data, size);
    auto* buffer = reinterpret_cast<char16_t*>(bytes);
    const std::size_t units = size / sizeof(char16_t);

    std::uint64_t lineFeeds = 0;
    for (std::size_t i = 0; i < units; ++i)
        lineFeeds += buffer[i] == kLineFeed;

    // The check-only parse runs first, on the untouched input, and must agree.
    StringsParseError checkError;
    const bool checked = CheckStringsBuffer(buffer, size, &checkError);
    Require(size == 0 || std::memcmp(bytes, data, size) == 0);

    StringTable table;
    StringsParseError error;
    const bool parsed = ParseStringsBuffer(buffer, size, table, &error);
    Require(checked == parsed);
    Require(parsed || (checkError.message == error.message && checkError.line == error.line));
    if (parsed) {
        const char* previous = nullptr;
        for (const StringTable::Entry& entry : table) {
            const auto* key = reinterpret_cast<const unsigned char*>(entry.key);
            Require(key >= bytes && key < bytes + size);
            Require(std::memchr(key, 0, static_cast<std::size_t>(bytes + size - key)) != nullptr);
            Require(entry.value >= buffer && entry.value < buffer + units);
            const char16_t* unit = entry.value;
            while (unit < buffer + units && *unit != 0)
                ++unit;
            Require(unit < buffer + units);
            Require(previous == nullptr || std::strcmp(previous, entry.key) < 0);
            previous = entry.key;
        }
    } else {
        Require(IsKnownMessage(error.message));
        Require(error.line >= 1 && static_cast<std::uint64_t>(error.line) <= lineFeeds + 1);
    }
    std::free(bytes);
    return 0;
}
