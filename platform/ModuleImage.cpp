// The header checks of ELF64 and PE32+ module files. Field offsets are those
// of the formats' published layouts. Both formats are read in little-endian
// order, the order of every machine this SDK builds for; every number is
// decoded byte by byte, so the checks do not depend on the byte order or
// alignment of the machine they run on.
#include "platform/ModuleImage.h"

#include <algorithm>
#include <vector>

namespace Platform {

namespace {

/// @name ELF64
/// @{
constexpr unsigned char kElfMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr std::size_t kElfHeaderSize = 64;
constexpr std::size_t kElfClassAt = 4;
constexpr unsigned char kElfClass64 = 2;
constexpr std::size_t kElfDataAt = 5;
constexpr unsigned char kElfLittleEndian = 1;
constexpr std::size_t kElfProgramTableAt = 32;     // e_phoff, 8 bytes
constexpr std::size_t kElfProgramEntrySizeAt = 54; // e_phentsize, 2 bytes
constexpr std::size_t kElfProgramCountAt = 56;     // e_phnum, 2 bytes
constexpr std::size_t kElfProgramEntrySize = 56;
constexpr std::size_t kSegmentTypeAt = 0;      // p_type, 4 bytes
constexpr std::size_t kSegmentOffsetAt = 8;    // p_offset, 8 bytes
constexpr std::size_t kSegmentFileSizeAt = 32; // p_filesz, 8 bytes
constexpr std::uint64_t kSegmentLoad = 1;      // PT_LOAD
/// @}

/// @name PE32+
/// @{
constexpr unsigned char kDosMagic[] = {'M', 'Z'};
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kPeHeaderAt = 0x3C; // e_lfanew, 4 bytes
constexpr unsigned char kPeSignature[] = {'P', 'E', 0, 0};
constexpr std::size_t kPeHeaderSize = 24;         // the signature and the COFF file header
constexpr std::size_t kSectionCountAt = 6;        // in the PE header, 2 bytes
constexpr std::size_t kOptionalHeaderSizeAt = 20; // in the PE header, 2 bytes
constexpr std::uint64_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kSectionEntrySize = 40;
constexpr std::size_t kRawDataSizeAt = 16;    // SizeOfRawData, 4 bytes
constexpr std::size_t kRawDataPointerAt = 20; // PointerToRawData, 4 bytes
/// @}

constexpr const char* kUnreadable = "cannot read its headers";
constexpr const char* kDamaged = "truncated or damaged: ";

/// The little-endian unsigned number of `width` bytes at `bytes`.
std::uint64_t Number(const unsigned char* bytes, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = value << 8 | bytes[i - 1];
    return value;
}

/// Whether the `length` bytes at `offset` lie inside a file of `size` bytes.
/// Subtracting from the size, never adding to the offset, keeps it from
/// wrapping.
bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

template <std::size_t N>
bool StartsWith(const std::vector<unsigned char>& bytes, const unsigned char (&prefix)[N])
{
    return bytes.size() >= N && std::equal(prefix, prefix + N, bytes.begin());
}

/// The `length` bytes at `offset`, which the caller has found inside the
/// file; false when they cannot be read.
bool Fetch(const ImageReader& read, std::uint64_t offset, std::size_t length, std::vector<unsigned char>& out)
{
    out.resize(length);
    return length == 0 || read(offset, out.data(), length);
}

/// The NUL-terminated name at `offset` of a string table of `tableSize`
/// bytes at `tableAt`; nullopt when it does not end inside the table.
std::optional<std::string> NameAt(const ImageReader& read, std::uint64_t tableAt, std::uint64_t tableSize,
                                  std::uint64_t offset)
{
    std::string name;
    unsigned char c = 0;
    for (std::uint64_t at = offset; at < tableSize; ++at) {
        if (!read(tableAt + at, &c, 1))
            return std::nullopt;
        if (c == 0)
            return name;
        name += static_cast<char>(c);
    }
    return std::nullopt;
}

std::string Bytes(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

} // namespace

std::string CheckElfImage(std::uint64_t size, const ImageReader& read)
{
    std::vector<unsigned char> header;
    if (!Fetch(read, 0, static_cast<std::size_t>(size < kElfHeaderSize ? size : kElfHeaderSize), header))
        return kUnreadable;
    if (!StartsWith(header, kElfMagic))
        return "not an ELF file";
    if (header.size() < kElfHeaderSize)
        return std::string(kDamaged) + "the file ends inside its ELF header";
    if (header[kElfClassAt] != kElfClass64)
        return "not a 64-bit ELF file";
    if (header[kElfDataAt] != kElfLittleEndian)
        return "not a little-endian ELF file";

    const std::uint64_t tableAt = Number(&header[kElfProgramTableAt], 8);
    const std::uint64_t entrySize = Number(&header[kElfProgramEntrySizeAt], 2);
    const std::uint64_t count = Number(&header[kElfProgramCountAt], 2);
    if (entrySize != kElfProgramEntrySize)
        return std::string(kDamaged) + "its program headers are " + Bytes(entrySize) + " each instead of " +
               Bytes(kElfProgramEntrySize);
    // At most 65535 entries of 56 bytes: the product cannot wrap.
    if (!Inside(tableAt, count * kElfProgramEntrySize, size))
        return std::string(kDamaged) + "its program header table (" + std::to_string(count) + " entries at offset " +
               std::to_string(tableAt) + ") reaches beyond the end of the file (" + Bytes(size) + ")";
    std::vector<unsigned char> table;
    if (!Fetch(read, tableAt, static_cast<std::size_t>(count * kElfProgramEntrySize), table))
        return kUnreadable;

    for (std::uint64_t i = 0; i < count; ++i) {
        const unsigned char* entry = &table[i * kElfProgramEntrySize];
        if (Number(entry + kSegmentTypeAt, 4) != kSegmentLoad)
            continue;
        const std::uint64_t offset = Number(entry + kSegmentOffsetAt, 8);
        const std::uint64_t length = Number(entry + kSegmentFileSizeAt, 8);
        if (!Inside(offset, length, size))
            return std::string(kDamaged) + "the loadable segment of program header " + std::to_string(i) + " (" +
                   Bytes(length) + " at offset " + std::to_string(offset) + ") reaches beyond the end of the file (" +
                   Bytes(size) + ")";
    }
    return {};
}

std::string CheckPeImage(std::uint64_t size, const ImageReader& read)
{
    std::vector<unsigned char> bytes;
    if (!Fetch(read, 0, static_cast<std::size_t>(size < kDosHeaderSize ? size : kDosHeaderSize), bytes))
        return kUnreadable;
    if (!StartsWith(bytes, kDosMagic))
        return "not a PE file";
    if (bytes.size() < kDosHeaderSize)
        return std::string(kDamaged) + "the file ends inside its DOS header";

    // Every field below is at most 32 bits wide, so sums of a few of them
    // cannot wrap in 64 bits.
    const std::uint64_t peAt = Number(&bytes[kPeHeaderAt], 4);
    if (!Inside(peAt, kPeHeaderSize, size))
        return std::string(kDamaged) + "its PE header (at offset " + std::to_string(peAt) +
               ") reaches beyond the end of the file (" + Bytes(size) + ")";
    if (!Fetch(read, peAt, kPeHeaderSize, bytes))
        return kUnreadable;
    if (!StartsWith(bytes, kPeSignature))
        return "not a PE file: no PE signature";
    const std::uint64_t sections = Number(&bytes[kSectionCountAt], 2);
    const std::uint64_t optionalSize = Number(&bytes[kOptionalHeaderSizeAt], 2);

    const std::uint64_t optionalAt = peAt + kPeHeaderSize;
    if (!Inside(optionalAt, optionalSize, size))
        return std::string(kDamaged) + "its optional header reaches beyond the end of the file (" + Bytes(size) + ")";
    if (optionalSize < 2)
        return "not a PE32+ file: it has no optional header";
    if (!Fetch(read, optionalAt, 2, bytes))
        return kUnreadable;
    if (Number(bytes.data(), 2) != kPe32PlusMagic)
        return "not a PE32+ (64-bit) file";

    const std::uint64_t tableAt = optionalAt + optionalSize;
    if (!Inside(tableAt, sections * kSectionEntrySize, size))
        return std::string(kDamaged) + "its section table (" + std::to_string(sections) + " entries at offset " +
               std::to_string(tableAt) + ") reaches beyond the end of the file (" + Bytes(size) + ")";
    if (!Fetch(read, tableAt, static_cast<std::size_t>(sections * kSectionEntrySize), bytes))
        return kUnreadable;

    for (std::uint64_t i = 0; i < sections; ++i) {
        const unsigned char* entry = &bytes[i * kSectionEntrySize];
        const std::uint64_t length = Number(entry + kRawDataSizeAt, 4);
        const std::uint64_t offset = Number(entry + kRawDataPointerAt, 4);
        // A section without raw data (.bss) is all zeros in memory; the
        // loader reads nothing for it, whatever its pointer says.
        if (length != 0 && !Inside(offset, length, size))
            return std::string(kDamaged) + "the raw data of section " + std::to_string(i) + " (" + Bytes(length) +
                   " at offset " + std::to_string(offset) + ") reaches beyond the end of the file (" + Bytes(size) +
                   ")";
    }
    return {};
}

std::optional<std::vector<std::string>> ElfExports(std::uint64_t size, const ImageReader& read)
{
    constexpr std::size_t kSectionTableAt = 40;      // e_shoff, 8 bytes
    constexpr std::size_t kSectionEntrySizeAt = 58;  // e_shentsize, 2 bytes
    constexpr std::size_t kSectionCountAt = 60;      // e_shnum, 2 bytes
    constexpr std::size_t kElfSectionEntrySize = 64;
    constexpr std::uint64_t kDynamicSymbols = 11;    // SHT_DYNSYM
    constexpr std::size_t kSymbolSize = 24;

    std::vector<unsigned char> header;
    if (size < kElfHeaderSize || !Fetch(read, 0, kElfHeaderSize, header))
        return std::nullopt;
    const std::uint64_t tableAt = Number(&header[kSectionTableAt], 8);
    const std::uint64_t count = Number(&header[kSectionCountAt], 2);
    if (Number(&header[kSectionEntrySizeAt], 2) != kElfSectionEntrySize ||
        !Inside(tableAt, count * kElfSectionEntrySize, size))
        return std::nullopt;
    std::vector<unsigned char> sections;
    if (!Fetch(read, tableAt, static_cast<std::size_t>(count * kElfSectionEntrySize), sections))
        return std::nullopt;
    const auto field = [&](std::uint64_t section, std::size_t at, std::size_t width) {
        return Number(&sections[section * kElfSectionEntrySize + at], width);
    };
    std::vector<std::string> names;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (field(i, 4, 4) != kDynamicSymbols) // sh_type
            continue;
        const std::uint64_t symbolsAt = field(i, 24, 8);   // sh_offset
        const std::uint64_t symbolsSize = field(i, 32, 8); // sh_size
        const std::uint64_t strings = field(i, 40, 4);     // sh_link: the string table's index
        if (strings >= count || !Inside(symbolsAt, symbolsSize, size))
            return std::nullopt;
        const std::uint64_t stringsAt = field(strings, 24, 8);
        const std::uint64_t stringsSize = field(strings, 32, 8);
        if (!Inside(stringsAt, stringsSize, size))
            return std::nullopt;
        std::vector<unsigned char> symbol;
        for (std::uint64_t at = 0; at + kSymbolSize <= symbolsSize; at += kSymbolSize) {
            if (!Fetch(read, symbolsAt + at, kSymbolSize, symbol))
                return std::nullopt;
            const unsigned binding = symbol[4] >> 4;        // st_info: STB_GLOBAL 1, STB_WEAK 2
            const unsigned visibility = symbol[5] & 3;      // st_other: STV_DEFAULT 0, STV_PROTECTED 3
            const std::uint64_t sectionIndex = Number(&symbol[6], 2); // st_shndx: 0 is undefined
            if ((binding != 1 && binding != 2) || sectionIndex == 0 || (visibility != 0 && visibility != 3))
                continue;
            const std::optional<std::string> name = NameAt(read, stringsAt, stringsSize, Number(&symbol[0], 4));
            if (!name)
                return std::nullopt;
            names.push_back(*name);
        }
    }
    return names;
}

std::optional<std::vector<std::string>> PeExports(std::uint64_t size, const ImageReader& read)
{
    constexpr std::size_t kExportDirectoryAt = 112; // in the PE32+ optional header: data directory 0
    constexpr std::size_t kVirtualSizeAt = 8;
    constexpr std::size_t kVirtualAddressAt = 12;
    constexpr std::size_t kNameCountAt = 24;        // in the export directory, 4 bytes
    constexpr std::size_t kNamesAt = 32;            // AddressOfNames, 4 bytes

    std::vector<unsigned char> bytes;
    if (size < kDosHeaderSize || !Fetch(read, 0, kDosHeaderSize, bytes))
        return std::nullopt;
    const std::uint64_t peAt = Number(&bytes[kPeHeaderAt], 4);
    if (!Inside(peAt, kPeHeaderSize, size) || !Fetch(read, peAt, kPeHeaderSize, bytes))
        return std::nullopt;
    const std::uint64_t sectionCount = Number(&bytes[kSectionCountAt], 2);
    const std::uint64_t optionalSize = Number(&bytes[kOptionalHeaderSizeAt], 2);
    const std::uint64_t optionalAt = peAt + kPeHeaderSize;
    if (optionalSize < kExportDirectoryAt + 8 || !Inside(optionalAt, optionalSize, size))
        return std::nullopt;
    std::vector<unsigned char> optional;
    std::vector<unsigned char> sections;
    if (!Fetch(read, optionalAt, static_cast<std::size_t>(optionalSize), optional) ||
        !Inside(optionalAt + optionalSize, sectionCount * kSectionEntrySize, size) ||
        !Fetch(read, optionalAt + optionalSize, static_cast<std::size_t>(sectionCount * kSectionEntrySize), sections))
        return std::nullopt;
    // An address in memory (RVA) maps to the file through the section that
    // holds it.
    const auto fileOffset = [&](std::uint64_t rva) -> std::optional<std::uint64_t> {
        for (std::uint64_t i = 0; i < sectionCount; ++i) {
            const unsigned char* entry = &sections[i * kSectionEntrySize];
            const std::uint64_t start = Number(entry + kVirtualAddressAt, 4);
            const std::uint64_t length = std::max(Number(entry + kVirtualSizeAt, 4), Number(entry + kRawDataSizeAt, 4));
            if (rva >= start && rva - start < length)
                return Number(entry + kRawDataPointerAt, 4) + (rva - start);
        }
        return std::nullopt;
    };
    const std::uint64_t directoryRva = Number(&optional[kExportDirectoryAt], 4);
    if (directoryRva == 0)
        return std::vector<std::string>();
    const std::optional<std::uint64_t> directoryAt = fileOffset(directoryRva);
    if (!directoryAt || !Inside(*directoryAt, 40, size) || !Fetch(read, *directoryAt, 40, bytes))
        return std::nullopt;
    const std::uint64_t nameCount = Number(&bytes[kNameCountAt], 4);
    const std::optional<std::uint64_t> namesAt = fileOffset(Number(&bytes[kNamesAt], 4));
    if (!namesAt || !Inside(*namesAt, nameCount * 4, size))
        return std::nullopt;
    std::vector<std::string> names;
    for (std::uint64_t i = 0; i < nameCount; ++i) {
        std::vector<unsigned char> rva;
        const std::optional<std::uint64_t> nameAt =
            Fetch(read, *namesAt + i * 4, 4, rva) ? fileOffset(Number(rva.data(), 4)) : std::nullopt;
        const std::optional<std::string> name = nameAt ? NameAt(read, 0, size, *nameAt) : std::nullopt;
        if (!name)
            return std::nullopt;
        names.push_back(*name);
    }
    return names;
}

} // namespace Platform
