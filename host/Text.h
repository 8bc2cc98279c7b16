// Text checks for what kxhost reads from the command line and the file
// system, and escapes for what it shows and writes: a name from a folder
// may hold any bytes, and none of them may forge a line of the results log
// or send a control sequence to the user's terminal.
#pragma once

#include <string>
#include <string_view>

namespace KxHost {

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
/// values past U+10FFFF).
bool IsUtf8(std::string_view text);

/// `text` fit for a terminal: each control character (below U+0020, U+007F,
/// U+0080 to U+009F, U+2028 and U+2029) and each byte that is not part of
/// well-formed UTF-8 written as an escape: \xHH for a single byte, \uHHHH
/// for the characters from U+0080 on.
std::string ForTerminal(std::string_view text);

/// `text` fit for one line of a log: as ForTerminal, and a backslash written
/// as \\, so that every escape reads back unambiguously.
std::string ForLogLine(std::string_view text);

} // namespace KxHost
