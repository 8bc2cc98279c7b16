// Runs the saved inputs of a fuzz target as an ordinary test: every file of
// the folders (or the files) named on the command line goes once through
// LLVMFuzzerTestOneInput. A target reports a fault by aborting, which fails
// the test; the sanitizer builds also catch what the fuzzer would.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reading past the end is
    // caught by the sanitizers as the fuzzer would catch it.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        if (std::filesystem::is_directory(root)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
                if (entry.is_regular_file()) {
                    failures += RunFile(entry.path());
                    ++runs;
                }
            }
        } else {
            failures += RunFile(root);
            ++runs;
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    if (runs == 0) {
        std::fprintf(stderr, "no saved inputs found\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
