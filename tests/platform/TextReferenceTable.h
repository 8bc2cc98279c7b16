// The text reference table: every result of the Text.h services for a corpus
// of inputs, written as plain lines so that the Windows answers (recorded
// under Wine and committed as tests/data/TextReference.windows.txt) can be
// compared with another platform's, category by category.
//
// A table line is "<category>\t<key>\t<value>". Values come in three shapes,
// and agreement is counted per item within them:
//   - sign rows of comparison categories: one of '<', '=', '>' (or 'E' for an
//     error) per partner text, each an item;
//   - ranges of code units ("XXXX-YYYY" keys in categories starting "unit",
//     "punct" or "space", or bytes in "ansiupper"): every unit of the range is
//     an item with the range's value;
//   - everything else: one item per line.
// Categories ending in ".ascii" hold only ASCII inputs; together with the
// code-page, API and normalization categories they must agree exactly.
// Categories ending in ".symbols" compare the symbols, controls and currency
// signs one against another. "clusterunit" is where the Linux cluster table
// is generated from, so its agreement is not independent; "cluster" is.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace TextReference {

using Text = std::basic_string<Platform::WideChar>;

struct Group {
    std::string name;
    std::vector<Text> texts;                 ///< text groups
    std::vector<std::string> byteSequences;  ///< "bytes ..." groups: raw bytes
};

struct Line {
    std::string category;
    std::string key;
    std::string value;
};

/// Reads the corpus file. Returns false (with `error` set) when the file
/// cannot be read or holds a malformed escape or hex line.
bool LoadCorpus(const std::string& path, std::vector<Group>& groups, std::string& error);

/// Computes every table line for the corpus on this platform.
std::vector<Line> BuildTable(const std::vector<Group>& groups);

/// Writes the table, preceded by the '#' comment lines of `header`.
std::string FormatTable(const std::vector<Line>& lines, const std::string& header);

/// Parses a formatted table (comments and carriage returns are skipped).
/// Returns false when a line lacks its fields.
bool ParseTable(const std::string& content, std::vector<Line>& lines);

/// The agreement of one category between an expected and an actual table.
struct Agreement {
    std::size_t agree = 0;
    std::size_t total = 0;
    std::vector<std::string> differences; ///< the first few, for the report
    /// Items where Wine, which records the reference, is known to differ from
    /// Windows and this platform follows Windows; counted in `total` but
    /// neither as agreeing nor as a difference.
    std::vector<std::string> wineDeviations;
};

/// An item of the reference that records a Wine peculiarity, not Windows'
/// behaviour.
struct WineDeviation {
    const char* category;
    const char* key;
    const char* reason;
};

/// The items of the reference known to show Wine rather than Windows.
const std::vector<WineDeviation>& KnownWineDeviations();

/// Compares two tables category by category; items missing on one side count
/// as disagreements.
std::map<std::string, Agreement> Compare(const std::vector<Line>& expected, const std::vector<Line>& actual);

/// True for the categories that must agree completely with the reference.
bool MustAgree(const std::string& category);

/// Normalizes as the string library does: nothing when the platform reports
/// the text normalized; else a size query, normalization into a buffer of
/// that size and a cut to the length written. On any failure the text is
/// returned unchanged and `failed` is set.
Text NormalizeLikeTheLibrary(Platform::NormalForm form, const Text& text, bool& failed);

/// The escape form used in the corpus and the table: printable ASCII as is,
/// backslash doubled, every other unit as \uXXXX.
std::string Escape(const Text& text);

} // namespace TextReference
