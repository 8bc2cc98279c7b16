// Fuzz target of kxhost's resource store: the check of a location and the
// reading of archives. The input is a location, a line feed, a key, a line
// feed, and the bytes of an archive. The archive is written to a temporary
// Fuzz.kxr and served beside a small resource folder, Folder, with a strings
// file lying next to the folder (and, where links can be made, a link inside
// it leading there); the location is looked up through Strings, FindString
// and ReadFile.
//
// Whatever the input, nothing may crash or leak, a file served is within the
// store's bound, the three lookups agree, and no lookup in Folder serves the
// file outside it. Run the fuzzer with -malloc_limit_mb=80 to have it report
// any allocation beyond what the bound allows.
#include "KXMM/KXMM.h"
#include "host/ResourceStore.h"
#include "strings/MainPartition.h"
#include "tests/e2e/StringsFiles.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

/// The folders and files every input is served from, made once and removed
/// when the process ends.
struct Scene {
    Scene()
    {
        std::random_device random;
        root = fs::temp_directory_path() / ("kx-resource-fuzz-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root / "Folder" / "Strings");
        std::ofstream(root / "Folder" / "Strings" / "12 Inside.kxstrings", std::ios::binary)
            << E2E::Utf16File(u"\"1\" = \"inside\";");
        std::ofstream(root / "Folder" / "Data.bin", std::ios::binary) << "data";
        std::ofstream(root / "12 Outside.kxstrings", std::ios::binary) << outside;
        std::error_code noLinks; // then the folder has none
        fs::create_symlink("../../12 Outside.kxstrings", root / "Folder" / "Strings" / "13 Link.kxstrings", noLinks);
    }
    ~Scene()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    static std::string Utf8(const fs::path& path)
    {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    const std::string outside = E2E::Utf16File(u"\"1\" = \"outside\";");
    fs::path root;
};

/// The input up to the first line feed (all of it when there is none); the
/// line feed is consumed.
std::string TakeLine(std::string_view& input)
{
    const std::size_t end = std::min(input.find('\n'), input.size());
    std::string line(input.substr(0, end));
    input.remove_prefix(std::min(end + 1, input.size()));
    return line;
}

bool IsOutside(const char16_t* value)
{
    return value != nullptr && std::u16string_view(value) == u"outside";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (GetMainPartition() == nullptr)
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    static const Scene scene;

    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string location = TakeLine(input);
    const std::string key = TakeLine(input);
    const fs::path archive = scene.root / "Fuzz.kxr";
    std::ofstream(archive, std::ios::binary).write(input.data(), static_cast<std::streamsize>(input.size()));

    KxHost::ResourceStore store;
    store.Add(Scene::Utf8(scene.root / "Folder"));
    store.Add(Scene::Utf8(archive));
    const StringTable* table = store.Strings(location);
    const char16_t* value = store.FindString(location, key);
    std::vector<char> bytes;
    const bool read = store.ReadFile(location, bytes);

    Require(value == nullptr || (table != nullptr && table->Find(key) == value));
    Require(table == nullptr || read);
    Require(!read || bytes.size() <= KxHost::ResourceStore::kMaxFileBytes);
    if (location.starts_with("Folder/")) {
        Require(table == nullptr || !IsOutside(table->Find("1")));
        Require(!read || std::string_view(bytes.data(), bytes.size()) != scene.outside);
    }
    return 0;
}
