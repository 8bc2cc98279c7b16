// Checks of a module file's headers, made before the file is handed to the
// system loader.
//
// The loader maps each loadable part of a module straight from the file. A
// part that reaches beyond the end of a truncated or damaged file is mapped
// all the same, and the first touch of the missing pages kills the process
// (SIGBUS on Linux) instead of failing the load. These checks refuse such a
// file first: for an ELF64 file (Linux) every PT_LOAD segment, for a PE32+
// file (Windows) every section's raw data, must lie inside the file, and so
// must the headers that describe them. Everything else about the file is the
// loader's to judge.
//
// The same headers also tell what a module exports, which a plug-in
// validator checks.
//
// The checks are computations over bytes and make no system calls, so both
// formats are checked, and tested, on every platform; the platform's
// LoadModule reads the bytes they ask for. Offsets and sizes come from the
// file and may be anything: the arithmetic is arranged so that it cannot
// wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

/// Reads the `length` bytes at `offset` of the file being checked into
/// `out`; false when the read fails. The checks ask only for bytes inside
/// the file.
using ImageReader = std::function<bool(std::uint64_t offset, unsigned char* out, std::size_t length)>;

/// Why the file of `size` bytes that `read` reads is no ELF64 file the loader
/// can map safely (for instance "truncated or damaged: ..."), or empty when
/// its ELF header and program header table lie inside it and so do the file
/// bytes of every PT_LOAD segment. Only little-endian files are read.
std::string CheckElfImage(std::uint64_t size, const ImageReader& read);

/// Why the file of `size` bytes that `read` reads is no PE32+ file the loader
/// can map safely, or empty when its DOS header, PE header, optional header
/// and section table lie inside it and so does the raw data of every section.
std::string CheckPeImage(std::uint64_t size, const ImageReader& read);

/// The names a checked ELF64 file exports: the defined global and weak
/// symbols of its dynamic symbol table that other modules can see; nullopt
/// when its section headers or that table cannot be read.
std::optional<std::vector<std::string>> ElfExports(std::uint64_t size, const ImageReader& read);

/// The names a checked PE32+ file exports by name, from its export
/// directory; an empty list when it has none, nullopt when it cannot be read.
std::optional<std::vector<std::string>> PeExports(std::uint64_t size, const ImageReader& read);

} // namespace Platform
