// What kxhost tells the person at the terminal while a module runs: notes,
// the details asked for with --verbose, and a one-line progress display for
// batches. Everything goes to standard error, so results on standard output
// stay clean for scripts, with control characters escaped (a file name can
// hold any) and, on a Windows console, as UTF-16.
#pragma once

#include <cstddef>
#include <string>

namespace KxHost::Console {

/// --verbose and --quiet. Progress shows only when standard error is a
/// terminal and quiet is off.
void Configure(bool verbose, bool quiet);

/// "kxhost: TEXT" on a line of its own, TEXT escaped for the terminal.
void Note(const std::string& text);
/// Note, with --verbose only.
void Verbose(const std::string& text);
bool IsVerbose();

/// Replaces the progress line with "[DONE/TOTAL] ITEM", or just ITEM when
/// `total` is 0.
void Progress(std::size_t done, std::size_t total, const std::string& item);
/// Clears the progress line, if one is shown.
void EndProgress();

} // namespace KxHost::Console
