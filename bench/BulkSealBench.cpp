// Sealing through kxhost beside the cheapest ways to put the same bytes
// durably on the disk, in three rows:
//
// 1. EncryptAllPlugins on 1,000 script files of 64 KiB each, beside `cp -r`
//    followed by `sync`, and beside a floor loop written here that does the
//    file-system work kxhost does for each file (read, temporary file, write,
//    sync, rename) with no encryption. Each run starts on a fresh plaintext
//    folder that is itself synced before the clock starts.
// 2. EncryptPlugin sealing one 1 GiB file in place, beside `cp` of the file
//    to a new name followed by `sync`; and, for reference, `cp` over an
//    existing 1 GiB file + `sync`, which like any replacement in place pays
//    for freeing the old file's blocks.
// 3. decrypt of that sealed file to a new file, beside `cp` + `sync` (decrypt
//    makes its output durable before renaming it into place) and, for
//    reference, `cp` alone; with decrypt's peak resident memory, which should
//    not grow with the file.
//
// Every command runs as a whole process, the order rotating from round to
// round; the 1 GiB files are read once before each run so every contender
// starts from the page cache, and a file made for a run is synced first, so
// that no run pays for writing back what the one before it set up. Prints
// the median of each, and the ratios.
//
// The files are generated in the temporary directory when the program starts
// and removed at the end. Linux only; run by hand: build/release/bin/BulkSealBench
#include "bench/ShellTiming.h"

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 1000;
constexpr std::size_t kFileBytes = 64 * 1024;
constexpr int kFolders = 10;
constexpr int kRounds = 7;

constexpr std::int64_t kLargeBytes = std::int64_t{1} << 30;
constexpr int kLargeRounds = 5;

/// What sealing adds to a 64 KiB file: 32 bytes of header and 17 for its one
/// chunk. The floor loop writes as many bytes as kxhost does.
constexpr std::size_t kSealOverhead = 32 + 17;

std::string Quote(const fs::path& path)
{
    return Bench::ShellQuote(path.string());
}

struct Folder {
    fs::path root;
    fs::path source;  // the plaintext files, never changed
    fs::path plugins; // a fresh copy for each kxhost run
    fs::path floor;   // a fresh copy for each floor loop
    fs::path copy;    // cp's destination
    fs::path key;

    fs::path large;        // 1 GiB of random bytes, never changed
    fs::path largeWork;    // a fresh copy of it, sealed in place
    fs::path largeCopy;    // cp's destination
    fs::path largeOver;    // an existing file cp writes over
    fs::path largeSealed;  // sealed once, the input of every decrypt
    fs::path largeOpened;  // decrypt's output
    fs::path largeCopied;  // cp's copy of the sealed file
    fs::path rssReport;    // where /usr/bin/time writes the peak memory
};

void WriteRandomFile(const fs::path& path, std::int64_t bytes)
{
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> chunk(1 << 17); // 1 MiB
    std::ofstream out(path, std::ios::binary);
    for (std::int64_t written = 0; written < bytes;
         written += static_cast<std::int64_t>(chunk.size() * sizeof(chunk[0]))) {
        for (std::uint64_t& word : chunk)
            word = random();
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(chunk.size() * sizeof(chunk[0])));
    }
}

Folder MakeFolder()
{
    Folder folder;
    folder.root = fs::temp_directory_path() / ("kxseal-bench-" + std::to_string(std::random_device{}()));
    folder.source = folder.root / "source";
    folder.plugins = folder.root / "plugins";
    folder.floor = folder.root / "floor";
    folder.copy = folder.root / "copy";
    folder.key = folder.root / "seal.key";
    folder.large = folder.root / "large.bin";
    folder.largeWork = folder.root / "large-work.bin";
    folder.largeCopy = folder.root / "large-copy.bin";
    folder.largeSealed = folder.root / "large-sealed.bin";
    folder.largeOpened = folder.root / "large-opened.bin";
    folder.largeCopied = folder.root / "large-copied.bin";
    folder.largeOver = folder.root / "large-over.bin";
    folder.rssReport = folder.root / "peak-rss.txt";
    std::mt19937_64 random(42);
    std::string bytes(kFileBytes, '\0');
    for (int i = 0; i < kFiles; ++i) {
        for (char& c : bytes)
            c = static_cast<char>(' ' + random() % 95);
        const fs::path dir = folder.source / ("Folder" + std::to_string(i % kFolders));
        fs::create_directories(dir);
        std::ofstream(dir / ("Script" + std::to_string(i) + ".csm"), std::ios::binary) << bytes;
    }
    WriteRandomFile(folder.large, kLargeBytes);
    std::ofstream(folder.key, std::ios::binary) << std::string(32, 'k');
    fs::permissions(folder.key, fs::perms::owner_read | fs::perms::owner_write); // kxhost refuses a shared key
    return folder;
}

const Folder& TheFolder()
{
    static const Folder folder = MakeFolder();
    return folder;
}

bool StartsSealed(const fs::path& path)
{
    std::ifstream sealed(path, std::ios::binary);
    std::string magic(8, '\0');
    return sealed.read(magic.data(), 8) && magic == "KXSEAL01";
}

// ---------------------------------------------------------------------------
// The floor loop

/// A temporary file written and waiting for its rename.
struct Pending {
    std::string source;
    std::string temporary;
    int handle = -1;
};

/// Renames every pending file over its source the way kxhost commits a
/// group: one syncfs puts all the written files on the disk, then each is
/// checked and renamed, then a second syncfs makes the renames last.
bool CommitPending(std::vector<Pending>& pending)
{
    bool ok = pending.empty() || ::syncfs(pending.front().handle) == 0;
    for (const Pending& file : pending) {
        struct stat status {};
        ok = ok && ::lstat(file.source.c_str(), &status) == 0 && ::lstat(file.temporary.c_str(), &status) == 0 &&
             ::rename(file.temporary.c_str(), file.source.c_str()) == 0;
    }
    ok = ok && (pending.empty() || ::syncfs(pending.front().handle) == 0);
    for (const Pending& file : pending)
        ::close(file.handle);
    pending.clear();
    return ok;
}

/// Does to every file under `root` the file-system work of kxhost's
/// EncryptAllPlugins, without the encryption. It mirrors the calls kxhost
/// makes (as strace shows them): the folder locked with flock; for each file
/// an lstat, an open with O_NOFOLLOW, fstat, a read of the 8-byte magic and
/// then of the rest; an lstat again; the temporary NAME.~kxpart created with
/// O_RDWR|O_CREAT|O_EXCL|O_NOFOLLOW|O_CLOEXEC and mode 0600, locked with
/// flock, fstat, fchmod to the source's mode, and the sealed size written in
/// one call. kxhost keeps the temporary files open in groups of 256 and
/// commits each group with one syncfs before the renames and one after, in
/// place of an fsync of every file and of every folder; so does this loop.
/// It runs in this process, so it leaves out kxhost's start, a few
/// milliseconds.
bool FloorLoop(const fs::path& root)
{
    constexpr std::size_t kGroup = 256;
    const int lock = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        if (lock >= 0)
            ::close(lock);
        return false;
    }
    std::vector<std::string> paths;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            paths.push_back(entry.path().string());

    bool ok = true;
    std::vector<Pending> pending;
    std::string bytes(kFileBytes + kSealOverhead, '\0');
    for (const std::string& path : paths) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            ok = false;
            break;
        }
        const int source = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (source < 0 || ::fstat(source, &status) != 0 || ::read(source, bytes.data(), 8) != 8) {
            ok = false;
            if (source >= 0)
                ::close(source);
            break;
        }
        for (std::size_t got = 8; got < bytes.size();) {
            const ssize_t read = ::read(source, bytes.data() + got, bytes.size() - got);
            if (read <= 0)
                break;
            got += static_cast<std::size_t>(read);
        }
        Pending file{path, path + ".~kxpart"};
        struct stat again {};
        if (::lstat(path.c_str(), &again) == 0)
            file.handle =
                ::open(file.temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        struct stat created {};
        ok = file.handle >= 0 && ::flock(file.handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(file.handle, &created) == 0 &&
             ::fchmod(file.handle, status.st_mode & 07777) == 0 &&
             ::write(file.handle, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::close(source);
        if (file.handle >= 0)
            pending.push_back(file);
        if (!ok)
            break;
        if (pending.size() == kGroup)
            ok = CommitPending(pending);
        if (!ok)
            break;
    }
    ok = CommitPending(pending) && ok;
    ::close(lock);
    return ok;
}

// ---------------------------------------------------------------------------
// Timing

/// One of the commands a row compares: `prepare` runs untimed, followed by
/// `sync` so no earlier writes are left for the timed run to pay for; `run`
/// returns the seconds it took, or a negative number when it failed.
struct Contender {
    std::string prepare;
    std::function<double()> run;
};

Contender ShellContender(std::string prepare, std::string command)
{
    return {std::move(prepare), [command = std::move(command)] { return Bench::TimeShell(command); }};
}

double RunOnce(const Contender& contender)
{
    if (std::system((contender.prepare + " && sync").c_str()) != 0)
        return -1;
    return contender.run();
}

/// Runs each contender once, untimed, which checks its commands; skips the
/// row with `failure` and returns false when one fails.
bool RunEachOnce(benchmark::State& state, const std::vector<Contender>& contenders, const char* failure)
{
    for (const Contender& contender : contenders) {
        if (RunOnce(contender) < 0) {
            state.SkipWithError(failure);
            return false;
        }
    }
    return true;
}

/// Runs every contender once per benchmark iteration, the first one of each
/// round rotating so none always runs on a system the previous one left
/// busy. Returns each contender's times; empty when a run failed. The first
/// contender's time is the iteration's.
std::vector<std::vector<double>> RunRounds(benchmark::State& state, const std::vector<Contender>& contenders)
{
    std::vector<std::vector<double>> times(contenders.size());
    std::size_t round = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < contenders.size(); ++i) {
            const std::size_t which = (round + i) % contenders.size();
            const double seconds = RunOnce(contenders[which]);
            if (seconds < 0) {
                state.SkipWithError("a run failed");
                return {};
            }
            times[which].push_back(seconds);
        }
        state.SetIterationTime(times[0].back());
        ++round;
    }
    return times;
}

/// The peak resident memory /usr/bin/time wrote to `report`, in KiB.
long PeakKiB(const fs::path& report)
{
    std::ifstream in(report);
    long kib = -1;
    in >> kib;
    return kib;
}

double MegabytesPerSecond(std::int64_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

using Bench::Median;

struct SmallFilesRow {
    double seal = 0;
    double floor = 0;
    double copy = 0;
} gSmall;

struct SealLargeRow {
    double seal = 0;
    double copy = 0;
    double copyOver = 0;
    long sealPeakKiB = -1;
} gSealLarge;

struct DecryptLargeRow {
    double decrypt = 0;
    double copySync = 0;
    double copy = 0;
    long decryptPeakKiB = -1;
} gDecryptLarge;

void BM_EncryptAllPluginsVersusFloorAndCopy(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    const auto fresh = [&](const fs::path& target) {
        return "rm -rf " + Quote(target) + " && cp -r " + Quote(folder.source) + " " + Quote(target);
    };
    const std::vector<Contender> contenders = {
        ShellContender(fresh(folder.plugins), Quote(KX_KXHOST_PATH) + " call EncryptAllPlugins --quiet --plugins " +
                                                  Quote(folder.plugins) + " --key " + Quote(folder.key)),
        {fresh(folder.floor),
         [&] {
             const auto start = std::chrono::steady_clock::now();
             const bool ok = FloorLoop(folder.floor);
             const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
             return ok ? seconds : -1;
         }},
        ShellContender("rm -rf " + Quote(folder.copy),
                       "cp -r " + Quote(folder.source) + " " + Quote(folder.copy) + " && sync"),
    };

    // One untimed run of each warms the page cache and checks the commands.
    if (!RunEachOnce(state, contenders, "kxhost, the floor loop or cp failed on the generated folder"))
        return;
    if (!StartsSealed(folder.plugins / "Folder0" / "Script0.csm")) {
        state.SkipWithError("kxhost did not seal the files");
        return;
    }

    const std::vector<std::vector<double>> times = RunRounds(state, contenders);
    if (times.empty())
        return;
    gSmall = {Median(times[0]), Median(times[1]), Median(times[2])};
    state.counters["kxhost_ms"] = gSmall.seal * 1000;
    state.counters["floor_ms"] = gSmall.floor * 1000;
    state.counters["cp_sync_ms"] = gSmall.copy * 1000;
    state.counters["files_per_s"] = gSmall.seal > 0 ? kFiles / gSmall.seal : 0;
}

BENCHMARK(BM_EncryptAllPluginsVersusFloorAndCopy)
    ->UseManualTime()
    ->Iterations(kRounds)
    ->Unit(benchmark::kMillisecond);

void BM_EncryptPluginLargeVersusCopyAndSync(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    const std::string cacheSource = "cat " + Quote(folder.large) + " > /dev/null";
    const std::vector<Contender> contenders = {
        ShellContender("rm -f " + Quote(folder.largeWork) + " && cp " + Quote(folder.large) + " " +
                           Quote(folder.largeWork) + " && sync && cat " + Quote(folder.largeWork) + " > /dev/null",
                       "/usr/bin/time -f %M -o " + Quote(folder.rssReport) + " " + Quote(KX_KXHOST_PATH) +
                           " call EncryptPlugin " + Quote(folder.largeWork) + " --key " + Quote(folder.key) +
                           " > /dev/null"),
        ShellContender("rm -f " + Quote(folder.largeCopy) + " && " + cacheSource,
                       "cp " + Quote(folder.large) + " " + Quote(folder.largeCopy) + " && sync"),
        ShellContender("cp " + Quote(folder.large) + " " + Quote(folder.largeOver) + " && sync && " + cacheSource,
                       "cp " + Quote(folder.large) + " " + Quote(folder.largeOver) + " && sync"),
    };

    // The untimed run checks the commands, and its sealed file is the
    // input of the decrypt row.
    if (!RunEachOnce(state, contenders, "kxhost or cp failed on the 1 GiB file"))
        return;
    if (!StartsSealed(folder.largeWork)) {
        state.SkipWithError("kxhost did not seal the 1 GiB file");
        return;
    }
    std::error_code error;
    fs::copy_file(folder.largeWork, folder.largeSealed, fs::copy_options::overwrite_existing, error);
    if (error) {
        state.SkipWithError("cannot keep a copy of the sealed 1 GiB file");
        return;
    }

    const std::vector<std::vector<double>> times = RunRounds(state, contenders);
    if (times.empty())
        return;
    gSealLarge = {Median(times[0]), Median(times[1]), Median(times[2]), PeakKiB(folder.rssReport)};
    state.counters["kxhost_MBps"] = MegabytesPerSecond(kLargeBytes, gSealLarge.seal);
    state.counters["cp_sync_MBps"] = MegabytesPerSecond(kLargeBytes, gSealLarge.copy);
}

BENCHMARK(BM_EncryptPluginLargeVersusCopyAndSync)
    ->UseManualTime()
    ->Iterations(kLargeRounds)
    ->Unit(benchmark::kMillisecond);

void BM_DecryptLargeVersusCopy(benchmark::State& state)
{
    const Folder& folder = TheFolder();
    if (!fs::exists(folder.largeSealed)) {
        state.SkipWithError("no sealed 1 GiB file: the sealing row failed");
        return;
    }
    const std::string cacheSealed = "cat " + Quote(folder.largeSealed) + " > /dev/null";
    const std::string removeCopy = "rm -f " + Quote(folder.largeCopied) + " && " + cacheSealed;
    const std::string copy = "cp " + Quote(folder.largeSealed) + " " + Quote(folder.largeCopied);
    const std::vector<Contender> contenders = {
        ShellContender("rm -f " + Quote(folder.largeOpened) + " && " + cacheSealed,
                       "/usr/bin/time -f %M -o " + Quote(folder.rssReport) + " " + Quote(KX_KXHOST_PATH) +
                           " decrypt " + Quote(folder.largeSealed) + " --out " + Quote(folder.largeOpened) +
                           " --key " + Quote(folder.key)),
        ShellContender(removeCopy, copy + " && sync"),
        ShellContender(removeCopy, copy),
    };

    if (!RunEachOnce(state, contenders, "kxhost decrypt or cp failed on the sealed 1 GiB file"))
        return;
    if (std::system(("cmp -s " + Quote(folder.largeOpened) + " " + Quote(folder.large)).c_str()) != 0) {
        state.SkipWithError("decrypt's output differs from the original 1 GiB file");
        return;
    }

    const std::vector<std::vector<double>> times = RunRounds(state, contenders);
    if (times.empty())
        return;
    gDecryptLarge = {Median(times[0]), Median(times[1]), Median(times[2]), PeakKiB(folder.rssReport)};
    state.counters["decrypt_MBps"] = MegabytesPerSecond(kLargeBytes, gDecryptLarge.decrypt);
    state.counters["cp_sync_MBps"] = MegabytesPerSecond(kLargeBytes, gDecryptLarge.copySync);
    state.counters["peak_rss_KiB"] = static_cast<double>(gDecryptLarge.decryptPeakKiB);
}

BENCHMARK(BM_DecryptLargeVersusCopy)->UseManualTime()->Iterations(kLargeRounds)->Unit(benchmark::kMillisecond);

/// Seconds the cipher alone takes to seal kLargeBytes in memory, in the
/// 64 KiB chunks kxhost seals (the median of three): the bound of one
/// file's sealing, as each chunk's nonce follows from the chunk before and
/// one file cannot be spread over processors.
double CipherAloneSeconds()
{
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<unsigned char> plain(16 * kChunk, 'p');
    std::vector<unsigned char> sealed(kChunk + crypto_secretstream_xchacha20poly1305_ABYTES);
    unsigned char key[crypto_secretstream_xchacha20poly1305_KEYBYTES] = {1};
    std::vector<double> times;
    for (int round = 0; round < 3; ++round) {
        crypto_secretstream_xchacha20poly1305_state state;
        unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
        crypto_secretstream_xchacha20poly1305_init_push(&state, header, key);
        const auto start = std::chrono::steady_clock::now();
        for (std::int64_t done = 0; done < kLargeBytes; done += kChunk) {
            unsigned long long bytes = 0;
            crypto_secretstream_xchacha20poly1305_push(&state, sealed.data(), &bytes,
                                                       plain.data() + done % plain.size(), kChunk, nullptr, 0, 0);
            benchmark::DoNotOptimize(sealed.data());
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return Median(times);
}

void PrintSummary()
{
    std::printf("\n");
    if (gSmall.floor > 0 && gSmall.copy > 0) {
        std::printf("1. %d files of %zu KiB, medians of %d rotating runs:\n", kFiles, kFileBytes / 1024, kRounds);
        std::printf("   kxhost EncryptAllPlugins %7.0f ms (%.0f files/s)\n", gSmall.seal * 1000, kFiles / gSmall.seal);
        std::printf("   floor loop               %7.0f ms   kxhost / floor   %.2fx (goal: at most 1.25x)\n",
                    gSmall.floor * 1000, gSmall.seal / gSmall.floor);
        std::printf("   cp -r + sync             %7.0f ms   kxhost / cp+sync %.2fx (goal: at most 3x)\n",
                    gSmall.copy * 1000, gSmall.seal / gSmall.copy);
    }
    const double mib = static_cast<double>(kLargeBytes) / (1 << 20);
    if (gSealLarge.seal > 0 && gSealLarge.copy > 0) {
        const double seal = MegabytesPerSecond(kLargeBytes, gSealLarge.seal);
        const double copy = MegabytesPerSecond(kLargeBytes, gSealLarge.copy);
        std::printf("2. one %.0f MiB file sealed in place, medians of %d rotating runs:\n", mib, kLargeRounds);
        std::printf("   kxhost EncryptPlugin     %7.0f ms %6.0f MB/s (peak RSS %ld KiB)\n", gSealLarge.seal * 1000,
                    seal, gSealLarge.sealPeakKiB);
        std::printf("   cp + sync                %7.0f ms %6.0f MB/s   kxhost / cp+sync throughput %.2f "
                    "(goal: at least 0.85)\n",
                    gSealLarge.copy * 1000, copy, seal / copy);
        const double copyOver = MegabytesPerSecond(kLargeBytes, gSealLarge.copyOver);
        std::printf("   cp over a copy + sync    %7.0f ms %6.0f MB/s   kxhost / that throughput %.2f "
                    "(for reference)\n",
                    gSealLarge.copyOver * 1000, copyOver, seal / copyOver);
        const double cipher = MegabytesPerSecond(kLargeBytes, CipherAloneSeconds());
        std::printf("   the cipher alone, in memory %4.0f MB/s   kxhost / cipher throughput %.2f\n", cipher,
                    seal / cipher);
    }
    if (gDecryptLarge.decrypt > 0 && gDecryptLarge.copySync > 0 && gDecryptLarge.copy > 0) {
        const double decrypt = MegabytesPerSecond(kLargeBytes, gDecryptLarge.decrypt);
        const double copySync = MegabytesPerSecond(kLargeBytes, gDecryptLarge.copySync);
        const double copy = MegabytesPerSecond(kLargeBytes, gDecryptLarge.copy);
        std::printf("3. that file decrypted to a new file, medians of %d rotating runs:\n", kLargeRounds);
        std::printf("   kxhost decrypt           %7.0f ms %6.0f MB/s (peak RSS %ld KiB)\n",
                    gDecryptLarge.decrypt * 1000, decrypt, gDecryptLarge.decryptPeakKiB);
        std::printf("   cp + sync                %7.0f ms %6.0f MB/s   decrypt / cp+sync throughput %.2f "
                    "(goal: at least 0.85)\n",
                    gDecryptLarge.copySync * 1000, copySync, decrypt / copySync);
        std::printf("   cp alone (no sync)       %7.0f ms %6.0f MB/s   for reference\n", gDecryptLarge.copy * 1000,
                    copy);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (sodium_init() < 0)
        return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const Folder& folder = TheFolder();
    std::printf("files: %d script files of %zu KiB in %d folders, and one file of %lld MiB\n", kFiles,
                kFileBytes / 1024, kFolders, static_cast<long long>(kLargeBytes >> 20));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    std::error_code ignored;
    fs::remove_all(folder.root, ignored);
    return 0;
}
