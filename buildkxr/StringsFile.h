// The strings-file format and its parser.
//
// A resource folder keeps its localizable text in strings files under its
// Strings subfolder: UTF-16 little-endian text (an optional byte-order mark
// first) made of entries
//
//     "key" = "value" "more of the value";   // a comment to the line's end
//
// buildkxr parses every such file before it packs a folder and stops the build
// at the first file that does not parse; the reference host parses the same
// files to serve their strings. Both use this library.
//
// Format, in short:
// - Blank space between tokens is exactly space, tab, CR and LF; lines end at
//   LF (CR is blank), so CR LF and LF files read alike and report the same
//   line numbers.
// - `//` where a token is expected starts a comment up to the next LF.
// - Keys are taken literally (no escapes; the first `"` ends them), stored as
//   the low 8 bits of each unit. Values may be split into several quoted
//   segments, joined with nothing between, and know the escapes \n \r \t \" \q
//   \xHHHH and backslash-anything-else (that character itself, also LF).
// - The last value given for a repeated key wins.
//
// The parser works in place: keys and values are compacted inside the
// caller's buffer and the table only points into it, so a parse allocates
// nothing but the table's storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

/// @name Parse failure messages
/// The only texts a failed parse reports. Each is one object with one address
/// in the whole program, so callers may keep the pointer and compare it.
/// @{
inline constexpr char kStringsErrorKeyOpenQuote[] =
    "Found unexpected character when expecting open quote for string key";
inline constexpr char kStringsErrorKeyEndOfLine[] = "Found unexpected end of line while processing key";
inline constexpr char kStringsErrorEquals[] = "Found unexpected character when expecting equal sign";
inline constexpr char kStringsErrorValueOpenQuote[] =
    "Found unexpected character when expecting open quote for string value";
inline constexpr char kStringsErrorValueEndOfLine[] =
    "Found unexpected end of line while processing string value";
inline constexpr char kStringsErrorHexAtEnd[] = "EOF reached before \\xnnnn sequence could be evaluated";
inline constexpr char kStringsErrorHexValue[] = "Found \\xnnnn improper hex value";
inline constexpr char kStringsErrorSemicolon[] =
    "Found unexpected character when expecting semi-colon or open quote";
inline constexpr char kStringsErrorEndOfFile[] = "Reached end of file unexpectedly";
/// @}

/// What a failed parse hands back.
struct StringsParseError {
    const char* message = nullptr; ///< one of the kStringsError* texts
    int line = 0;                  ///< 1-based line of the fault (saturates at INT_MAX)
};

/// The result of a parse: an ordered map from key to value whose strings live
/// in the parsed buffer.
///
/// - A key is a zero-terminated 8-bit string; keys are unique and ordered
///   byte-wise as unsigned characters, a key that is the start of another
///   coming first. A key read from a unit whose low 8 bits are zero ends at
///   that byte, like any zero-terminated string.
/// - A value is a zero-terminated string of UTF-16 units (an `\x0000` escape
///   ends it early for any reader).
/// - The table owns neither: every pointer addresses the buffer handed to
///   ParseStringsBuffer, which must outlive the table and must not be changed
///   while the table is used. Copying a table copies the pointers.
///
/// The parser fills the table in one sweep and orders it once at the end,
/// instead of a node allocation and a tree search per entry; readers see a
/// sorted array with binary search. Any number of threads may read one table
/// at once; a parse into it needs it to itself.
class StringTable {
public:
    struct Entry {
        const char* key;       ///< zero-terminated, inside the parsed buffer
        const char16_t* value; ///< zero-terminated, inside the parsed buffer
    };
    using const_iterator = std::vector<Entry>::const_iterator;

    /// Entries in key order.
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    /// The value of `key` (compared up to its length, byte-wise), or null
    /// when the table has no such key. O(log n).
    const char16_t* Find(std::string_view key) const;

    /// Forgets every entry (keeping the storage for the next parse); the
    /// buffers they pointed into are not touched.
    void clear() { entries_.clear(); }

private:
    friend class StringsParser; // fills the table

    /// One entry as the parser appends it, in file order. The key's first 8
    /// bytes as a big-endian number settle most comparisons without touching
    /// the buffer.
    struct PendingEntry {
        std::uint64_t prefix;
        const char* key;
        const char16_t* value;
    };
    /// What the ordering moves around: a prefix and the index of its entry.
    struct SortKey {
        std::uint64_t prefix;
        std::size_t index;
    };

    /// Orders the pending entries, keeps the last of equal keys, and merges
    /// them into the entries (a pending key replaces an equal one there).
    void Seal();
    void OrderPending();

    std::vector<Entry> entries_;
    // Parse-time storage, empty between parses and kept for the next one.
    std::vector<PendingEntry> pending_;
    std::vector<SortKey> sortKeys_;
    std::vector<SortKey> sortSpare_;
};

/// Parses the strings file held in `buffer`, `byteLength` bytes long, into
/// `table`.
///
/// - The buffer holds UTF-16 units in the machine's byte order, which on the
///   little-endian machines this runs on is the file's byte order, so a file
///   read as is can be handed over. A trailing odd byte is ignored. A leading
///   U+FEFF is skipped. `buffer` may be null only when `byteLength` is 0.
/// - The buffer is rewritten in place: each key is compacted to 8 bits at the
///   position of its first character and each value at the position of its
///   first character, both zero-terminated. Units not part of a key or value
///   keep no meaning afterwards.
/// - Entries are added to what `table` already holds; a key read here replaces
///   an equal key already there.
/// - Returns true on success. On failure returns false and, when `error` is
///   not null, stores the message and line of the first fault; `table` may
///   then hold the entries read before the fault (ordered as always, the
///   value being read at the fault not yet zero-terminated), which the caller
///   should discard.
/// - Keeps no state between calls: separate buffers and tables may be parsed
///   concurrently.
bool ParseStringsBuffer(char16_t* buffer, std::size_t byteLength, StringTable& table, StringsParseError* error);

/// The same, with the two parts of the failure report stored separately; a
/// null `message` or `line` is not written.
bool ParseStringsBuffer(char16_t* buffer, std::size_t byteLength, StringTable& table, const char** message,
                        int* line);

/// Checks the strings file held in `buffer` exactly as ParseStringsBuffer
/// would parse it (the same faults with the same lines) without building a
/// table and without writing to the buffer: for callers that only need to
/// know whether a file is well-formed.
bool CheckStringsBuffer(const char16_t* buffer, std::size_t byteLength, StringsParseError* error);
