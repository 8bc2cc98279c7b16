// Tests of the module header checks: a minimal ELF64 file and a minimal PE32+
// file built here, whole and with one kind of damage per row, and the
// binaries this build makes, which pass the check of their own format whole
// and fail it once cut short.
#include "platform/ModuleImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Checker = std::string (*)(std::uint64_t, const Platform::ImageReader&);

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

/// `check` on `file`, read from memory.
std::string Check(Checker check, const Bytes& file)
{
    return check(file.size(), [&file](std::uint64_t offset, unsigned char* out, std::size_t length) {
        // The checks promise to ask only for bytes inside the file.
        if (offset > file.size() || length > file.size() - offset) {
            ADD_FAILURE() << "read of " << length << " bytes at " << offset << " beyond " << file.size();
            return false;
        }
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), length, out);
        return true;
    });
}

/// Writes `value` as `width` little-endian bytes at `at`.
void Put(Bytes& file, std::size_t at, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        file[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The minimal ELF64 file: its header, three program headers and 16 bytes of
// data. Program header 0 loads the headers, 1 is a note the loader does not
// map, 2 loads the data.
constexpr std::size_t kElfTableAt = 64;
constexpr std::size_t kElfEntrySize = 56;
constexpr std::size_t kElfDataAt = kElfTableAt + 3 * kElfEntrySize;
constexpr std::size_t kElfSize = kElfDataAt + 16;
constexpr std::uint64_t kLoad = 1;
constexpr std::uint64_t kNote = 4;

void ElfSegment(Bytes& file, std::size_t index, std::uint64_t type, std::uint64_t offset, std::uint64_t size)
{
    const std::size_t at = kElfTableAt + index * kElfEntrySize;
    Put(file, at, type, 4);
    Put(file, at + 8, offset, 8);
    Put(file, at + 32, size, 8);
}

Bytes Elf()
{
    Bytes file(kElfSize);
    const unsigned char identification[] = {0x7F, 'E', 'L', 'F', 2, 1, 1}; // 64-bit, little-endian, version 1
    std::copy(std::begin(identification), std::end(identification), file.begin());
    Put(file, 32, kElfTableAt, 8);   // e_phoff
    Put(file, 54, kElfEntrySize, 2); // e_phentsize
    Put(file, 56, 3, 2);             // e_phnum
    ElfSegment(file, 0, kLoad, 0, kElfDataAt);
    ElfSegment(file, 1, kNote, 0, 8);
    ElfSegment(file, 2, kLoad, kElfDataAt, kElfSize - kElfDataAt);
    return file;
}

// The minimal PE32+ file: the DOS header, the PE header at 64, an optional
// header of 240 bytes, two sections (the first with 64 bytes of raw data at
// 512, the second, like .bss, with none) and the raw data.
constexpr std::size_t kPeAt = 64;
constexpr std::size_t kOptionalAt = kPeAt + 24;
constexpr std::size_t kOptionalSize = 240;
constexpr std::size_t kSectionsAt = kOptionalAt + kOptionalSize;
constexpr std::size_t kSectionSize = 40;
constexpr std::size_t kRawAt = 512;
constexpr std::size_t kPeSize = kRawAt + 64;

void PeSection(Bytes& file, std::size_t index, std::uint64_t rawSize, std::uint64_t rawAt)
{
    const std::size_t at = kSectionsAt + index * kSectionSize;
    Put(file, at + 16, rawSize, 4);
    Put(file, at + 20, rawAt, 4);
}

Bytes Pe()
{
    Bytes file(kPeSize);
    file[0] = 'M';
    file[1] = 'Z';
    Put(file, 0x3C, kPeAt, 4); // e_lfanew
    file[kPeAt] = 'P';
    file[kPeAt + 1] = 'E';
    Put(file, kPeAt + 4, 0x8664, 2); // x86-64
    Put(file, kPeAt + 6, 2, 2);      // sections
    Put(file, kPeAt + 20, kOptionalSize, 2);
    Put(file, kOptionalAt, 0x20B, 2); // PE32+
    PeSection(file, 0, kPeSize - kRawAt, kRawAt);
    PeSection(file, 1, 0, 0);
    return file;
}

TEST(ModuleImage, RefusesEveryFileWhoseLoadablePartsReachBeyondItsEnd)
{
    const struct {
        const char* name;
        bool pe;
        std::function<void(Bytes&)> damage;
        const char* refusal; // part of the reason; null when the file passes
    } cases[] = {
        {"ELF whole", false, [](Bytes&) {}, nullptr},
        {"ELF note beyond the end, which is never mapped", false,
         [](Bytes& f) { ElfSegment(f, 1, kNote, kMax - 4, 8); }, nullptr},
        {"ELF cut inside its header", false, [](Bytes& f) { f.resize(40); }, "ends inside its ELF header"},
        {"ELF with a wrong magic", false, [](Bytes& f) { f[1] = 'e'; }, "not an ELF file"},
        {"ELF of 32 bits", false, [](Bytes& f) { f[4] = 1; }, "not a 64-bit ELF file"},
        {"ELF in big-endian order", false, [](Bytes& f) { f[5] = 2; }, "not a little-endian ELF file"},
        {"ELF with program headers of another size", false, [](Bytes& f) { Put(f, 54, 64, 2); },
         "program headers are 64 bytes each"},
        {"ELF program header table beyond the end", false, [](Bytes& f) { Put(f, 56, 4, 2); },
         "program header table"},
        {"ELF program header table whose end wraps", false, [](Bytes& f) { Put(f, 32, kMax - 63, 8); },
         "program header table"},
        {"ELF cut just after its headers", false, [](Bytes& f) { f.resize(kElfDataAt); }, "program header 2"},
        {"ELF segment one byte beyond the end", false,
         [](Bytes& f) { ElfSegment(f, 2, kLoad, kElfDataAt, kElfSize - kElfDataAt + 1); }, "program header 2"},
        {"ELF segment whose end wraps", false, [](Bytes& f) { ElfSegment(f, 2, kLoad, kMax - 7, 16); },
         "program header 2"},

        {"PE whole", true, [](Bytes&) {}, nullptr},
        {"PE section without raw data and a stray pointer", true, [](Bytes& f) { PeSection(f, 1, 0, 0xFFFFFFFF); },
         nullptr},
        {"PE cut inside its DOS header", true, [](Bytes& f) { f.resize(40); }, "ends inside its DOS header"},
        {"PE without MZ", true, [](Bytes& f) { f[0] = 'X'; }, "not a PE file"},
        {"PE header beyond the end, its end wrapping in 32 bits", true, [](Bytes& f) { Put(f, 0x3C, 0xFFFFFFF0, 4); },
         "PE header"},
        {"PE without its signature", true, [](Bytes& f) { f[kPeAt] = 'X'; }, "no PE signature"},
        {"PE of 32 bits", true, [](Bytes& f) { Put(f, kOptionalAt, 0x10B, 2); }, "not a PE32+"},
        {"PE optional header beyond the end", true, [](Bytes& f) { Put(f, kPeAt + 20, 0xFFFF, 2); },
         "optional header"},
        {"PE section table beyond the end", true, [](Bytes& f) { Put(f, kPeAt + 6, 20, 2); }, "section table"},
        {"PE cut just after its headers", true, [](Bytes& f) { f.resize(kSectionsAt + 2 * kSectionSize); },
         "section 0"},
        {"PE raw data one byte beyond the end", true, [](Bytes& f) { PeSection(f, 0, kPeSize - kRawAt + 1, kRawAt); },
         "section 0"},
        {"PE raw data whose end wraps in 32 bits", true, [](Bytes& f) { PeSection(f, 0, 0x200, 0xFFFFFF00); },
         "section 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = c.pe ? Pe() : Elf();
        c.damage(file);
        const std::string reason = Check(c.pe ? &Platform::CheckPeImage : &Platform::CheckElfImage, file);
        if (c.refusal == nullptr)
            EXPECT_EQ(reason, "");
        else
            EXPECT_NE(reason.find(c.refusal), std::string::npos) << reason;
    }
}

TEST(ModuleImage, TheBinariesOfThisBuildPassWholeAndFailCutShort)
{
    const Checker check = KX_BUILT_IMAGES_ARE_PE ? &Platform::CheckPeImage : &Platform::CheckElfImage;
    // 4 KiB hold the headers of these binaries, in either format, but not
    // all of their first loadable part.
    constexpr std::size_t kCut = 4096;
    for (const char* path : {KX_BUILT_MODULE, KX_BUILT_LIBRARY}) {
        SCOPED_TRACE(path);
        std::ifstream in(path, std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_GT(file.size(), kCut);
        EXPECT_EQ(Check(check, file), "");
        const std::string cut = Check(check, Bytes(file.begin(), file.begin() + kCut));
        EXPECT_EQ(cut.rfind("truncated or damaged: ", 0), 0u) << cut;
    }
}

} // namespace
