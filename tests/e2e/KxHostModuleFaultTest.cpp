// End-to-end tests of kxhost with modules that misbehave and with files that
// are no loadable module at all: a module that throws at any step of the
// protocol fails the run with a message that names the step, and a
// truncated module file, a FIFO or a folder is refused as a module that
// cannot be loaded. In no case may kxhost crash, hang or print on standard
// output.
//
// Linux only: the program is started through the shell.
#include "tests/e2e/ShellRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

using E2E::Quote;
using E2E::RunResult;

// Exit codes, spelled out independently of kxhost's sources.
constexpr int kFailure = 1;
constexpr int kNotAPlugin = 3;

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

/// The little-endian number of `width` bytes at `at` of `bytes`.
std::uint64_t Number(const std::string& bytes, std::size_t at, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i - 1));
    return value;
}

/// Where the file data of the last loadable segment of the ELF64 file `elf`
/// ends. Debug information may follow; the loader never maps it, so only a
/// cut before this point damages the module.
std::size_t LoadableEnd(const std::string& elf)
{
    constexpr std::size_t kEntrySize = 56;
    constexpr std::uint64_t kLoad = 1;
    const std::uint64_t table = Number(elf, 32, 8);
    std::uint64_t end = 0;
    for (std::uint64_t i = 0; i < Number(elf, 56, 2); ++i) {
        const std::size_t entry = static_cast<std::size_t>(table + i * kEntrySize);
        if (Number(elf, entry, 4) == kLoad)
            end = std::max(end, Number(elf, entry + 8, 8) + Number(elf, entry + 32, 8));
    }
    return static_cast<std::size_t>(end);
}

class KxHostModuleFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_ = Variable("KX_KXHOST");
        ASSERT_FALSE(host_.empty()) << "KX_KXHOST is not set";
        std::random_device random;
        root_ = fs::temp_directory_path() / ("kxhost-fault-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root_);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    /// Runs `kxhost --module MODULE call Fault` in `root_` with `environment`
    /// ("NAME=value ...") set for it.
    RunResult CallFault(const std::string& environment, const std::string& module) const
    {
        return E2E::RunInShell(root_, "env " + environment + " " + Quote(host_) + " --module " + Quote(module) +
                                          " call Fault");
    }

    std::string host_;
    fs::path root_;
};

TEST_F(KxHostModuleFault, AnExceptionFromTheModuleFailsTheRunAndNamesTheStep)
{
    const std::string module = Variable("KX_FAULT_MODULE");
    ASSERT_FALSE(module.empty()) << "KX_FAULT_MODULE is not set";
    // Taking the module down goes on past a step that threw, so those
    // exceptions come out as warnings after the run.
    const struct {
        const char* step;
        bool unknown; // the module throws something that is no std::exception
        const char* message;
    } cases[] = {
        {"version", false, "kxhost: the module threw an exception in plugin_module_ver: fault at version\n"},
        {"register", false, "kxhost: the module threw an exception at action -3 (register): fault at register\n"},
        {"create", false, "kxhost: the module threw an exception at action -4 (create): fault at create\n"},
        {"routines", false, "kxhost: the module threw an exception in GetRoutineCount: fault at routines\n"},
        {"sink", false, "kxhost: the module threw an exception in GetEventSink: fault at sink\n"},
        {"execute", false, "kxhost: the module threw an exception in ExecuteRoutine: fault at execute\n"},
        {"execute", true, "kxhost: the module threw an unknown exception in ExecuteRoutine\n"},
        {"release", false,
         "kxhost: warning: the module threw an exception in the event sink's Release: fault at release\n"},
        {"destroy", false,
         "kxhost: warning: the module threw an exception at action -5 (destroy): fault at destroy\n"},
        {"deinit", false, "kxhost: warning: the module threw an exception in plugin_module_deinit: fault at deinit\n"},
        {"deinit", true, "kxhost: warning: the module threw an unknown exception in plugin_module_deinit\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.step) + (c.unknown ? " (unknown exception)" : ""));
        const RunResult result =
            CallFault(std::string("KX_FAULT_STEP=") + c.step + (c.unknown ? " KX_FAULT_UNKNOWN=1" : ""), module);
        EXPECT_EQ(result.exitCode, kFailure);
        EXPECT_EQ(result.out, "");
        // Exactly this line: the module is taken down with every other
        // reference balanced.
        EXPECT_EQ(result.err, c.message);
    }
}

TEST_F(KxHostModuleFault, WhatIsNoLoadableModuleFileIsRefusedAtOnce)
{
    const std::string bulkSeal = E2E::ReadBytes(Variable("KX_BULKSEAL_MODULE"));
    // Its ELF header is 64 bytes and its program header table follows; 1024
    // bytes hold both, but not the whole of the first loadable segment.
    constexpr std::size_t kAfterHeaders = 1024;
    ASSERT_GT(bulkSeal.size(), 2 * kAfterHeaders) << "KX_BULKSEAL_MODULE is not set or not the module";

    const struct {
        const char* name;
        std::size_t length;
    } cuts[] = {
        {"inside-header.kxl", 40},
        {"after-headers.kxl", kAfterHeaders},
        {"half-loadable.kxl", LoadableEnd(bulkSeal) / 2},
    };
    for (const auto& cut : cuts)
        std::ofstream(root_ / cut.name, std::ios::binary) << bulkSeal.substr(0, cut.length);
    // Opened as dlopen opens a file, a FIFO would wait for a writer forever.
    ASSERT_EQ(std::system(("mkfifo " + Quote((root_ / "fifo.kxl").string())).c_str()), 0);
    fs::create_directory(root_ / "folder.kxl");

    const struct {
        const char* module;
        const char* reason;
    } cases[] = {
        {"inside-header.kxl", "truncated or damaged: the file ends inside its ELF header"},
        {"after-headers.kxl", "truncated or damaged: the loadable segment of program header"},
        {"half-loadable.kxl", "truncated or damaged: the loadable segment of program header"},
        {"fifo.kxl", "it is not a regular file"},
        {"folder.kxl", "it is a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.module);
        const std::string module = (root_ / c.module).string();
        const RunResult result = CallFault("", module);
        EXPECT_EQ(result.exitCode, kNotAPlugin);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("kxhost: cannot load the module " + module + ": " + c.reason, 0), 0u)
            << result.err;
    }
}

} // namespace
