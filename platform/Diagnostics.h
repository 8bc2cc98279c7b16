// Diagnostics services: the assertion box, debugger output, call-stack capture
// and symbol names of code addresses.
//
// The memory manager reports broken invariants and failed allocations through
// these. Windows shows a real message box, writes to the debugger and asks
// DbgHelp for names; Linux writes the report to standard error, answers
// "continue", and names frames from the dynamic symbol table.
#pragma once

#include <cstddef>

namespace Platform {

/// Shows a modal Yes/No warning box without owner window. Returns true when
/// the user answers Yes (or the box could not be shown), false for No.
/// Linux has no box: the title and text go to standard error and the answer
/// is Yes.
bool ShowAssertBox(const char* title, const char* text);

/// Writes text to the debugger's output (standard error on Linux).
void DebugOutput(const char* text);

/// Captures up to `maxFrames` return addresses of the calling thread into
/// `frames`, the caller of this function first; unused entries are left as
/// they are. Returns the number captured (0 where the service is missing).
/// Allocates nothing once it has run once in the process.
std::size_t CaptureStack(void** frames, std::size_t maxFrames);

/// Writes the name of the function that contains `address` into `name`
/// (NUL-terminated, cut to `nameSize`). Returns false when no name is known.
/// Not safe for concurrent use: callers serialize.
bool SymbolName(const void* address, char* name, std::size_t nameSize);

} // namespace Platform
