// Sealing and opening files with libsodium's secretstream.
#include "host/Sealing.h"

#include "host/Host.h"
#include "platform/Files.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace KxHost {

namespace {

using Platform::Files::File;
using Platform::Files::Replacement;

constexpr std::size_t kHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t kTagBytes = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr std::size_t kSealedChunkBytes = kChunkBytes + kTagBytes;
static_assert(kKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);

void StartSodium()
{
    if (sodium_init() < 0)
        throw HostError(kExitFailure, "the encryption library cannot start (sodium_init failed)");
}

std::string SystemReason(const char* what)
{
    return std::string(what) + ": " + Platform::Files::LastError();
}

/// Files from this size on are written on a thread of their own.
constexpr std::int64_t kLargeBytes = 4 << 20;
/// Plain text read at once: many chunks, for fewer calls into the system.
constexpr std::size_t kReadBytes = 16 * kChunkBytes;
/// The same for a sealed file, in whole sealed chunks.
constexpr std::size_t kOpenBytes = 16 * kSealedChunkBytes;


bool ReadFailed(std::string& reason)
{
    reason = SystemReason("cannot read");
    return false;
}

/// Whether the start of `file`, positioned at its first byte, is a sealed
/// file that opens with `key`: the magic, the stream header and the first
/// chunk all check out. `read` holds what was read; the file is left after it.
enum class Start { Plain, Sealed, Foreign };
Start ReadStart(const SealKey& key, File& file, std::vector<unsigned char>& read, std::string& reason)
{
    read.resize(kSealMagicBytes + kHeaderBytes + kSealedChunkBytes);
    const std::optional<std::size_t> got = file.Read(read.data(), kSealMagicBytes);
    if (!got) {
        ReadFailed(reason);
        return Start::Foreign;
    }
    if (*got < kSealMagicBytes || std::memcmp(read.data(), kSealMagic, kSealMagicBytes) != 0) {
        read.resize(*got);
        return Start::Plain;
    }
    const std::optional<std::size_t> rest = file.Read(read.data() + kSealMagicBytes, read.size() - kSealMagicBytes);
    read.resize(kSealMagicBytes + rest.value_or(0));
    crypto_secretstream_xchacha20poly1305_state state;
    // Kept from file to file: a fresh buffer for every file of a batch
    // costs more than sealing it.
    thread_local std::vector<unsigned char> chunk(kChunkBytes);
    unsigned long long chunkBytes = 0;
    const unsigned char* const sealed = read.data() + kSealMagicBytes + kHeaderBytes;
    const bool opens = rest && read.size() >= kSealMagicBytes + kHeaderBytes + kTagBytes &&
                       crypto_secretstream_xchacha20poly1305_init_pull(&state, read.data() + kSealMagicBytes,
                                                                       key.Bytes()) == 0 &&
                       crypto_secretstream_xchacha20poly1305_pull(&state, chunk.data(), &chunkBytes, nullptr, sealed,
                                                                  read.size() - kSealMagicBytes - kHeaderBytes,
                                                                  nullptr, 0) == 0;
    sodium_memzero(chunk.data(), static_cast<std::size_t>(chunkBytes));
    if (opens)
        return Start::Sealed;
    reason = rest ? std::string("it starts with ") + kSealMagic +
                        " but does not open with this key: it is damaged, sealed with another key, or a plain "
                        "file that happens to start so; it is left as it is"
                  : SystemReason("cannot read");
    return Start::Foreign;
}

/// Memory aligned for direct writes.
struct AlignedFree {
    void operator()(unsigned char* bytes) const
    {
        ::operator delete[](bytes, std::align_val_t(File::kDirectAlignment));
    }
};
using AlignedBytes = std::unique_ptr<unsigned char[], AlignedFree>;

AlignedBytes AllocateAligned(std::size_t size)
{
    return AlignedBytes(static_cast<unsigned char*>(::operator new[](size, std::align_val_t(File::kDirectAlignment))));
}

/// Output gathered into blocks of about a megabyte. For a large file the
/// blocks are written on a thread of their own while the next one fills, so
/// that reading and sealing overlap with the disk, and where the file
/// allows it they bypass the system's cache: copying a large file into the
/// cache costs more than writing it to a fast disk. The blocks may hold
/// plain text: what was used of them is wiped when the output goes.
class StagedOutput {
public:
    using Write = std::function<bool(const unsigned char* bytes, std::size_t size)>;

    /// Writes through `write`. `file`, when given, is the file `write`
    /// writes to, at its start, which a large output switches to direct
    /// writes.
    StagedOutput(Write write, File* file, bool large) : write(std::move(write)), file(file)
    {
        if (!large) {
            // One block, kept from file to file: a fresh one for every file
            // of a batch would cost more than sealing it.
            thread_local AlignedBytes spare = AllocateAligned(kCapacity);
            blocks[0].bytes = spare.get();
            return;
        }
        for (Block& block : blocks) {
            owned.push_back(AllocateAligned(kCapacity));
            block.bytes = owned.back().get();
        }
        direct = file != nullptr && file->WriteDirect(true);
        try {
            thread = std::thread(&StagedOutput::Run, this);
        } catch (const std::system_error&) {
            // No thread to be had: each block is written when it is full.
        }
    }

    ~StagedOutput()
    {
        Stop();
        for (Block& block : blocks)
            if (block.bytes != nullptr)
                sodium_memzero(block.bytes, block.used);
    }

    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    /// Where up to kSealedChunkBytes bytes may go next; null once a write
    /// failed.
    unsigned char* Room() const { return failed ? nullptr : blocks[current].bytes + fill; }

    /// Takes the `size` bytes put at Room.
    void Add(std::size_t size)
    {
        fill += size;
        blocks[current].used = std::max(blocks[current].used, fill);
        if (fill >= kBlockBytes)
            Hand(false);
    }

    /// Takes a copy of `size` bytes.
    void Put(const unsigned char* bytes, std::size_t size)
    {
        for (std::size_t done = 0; done < size && !failed;) {
            const std::size_t piece = std::min(size - done, kSealedChunkBytes);
            std::memcpy(Room(), bytes + done, piece);
            Add(piece);
            done += piece;
        }
    }

    /// Writes what is left and waits until everything is written; false,
    /// with `reason` set, when a write failed.
    bool Finish(std::string& reason)
    {
        if (!failed)
            Hand(true);
        Stop();
        if (failed)
            reason = "cannot write: " + failure;
        return !failed;
    }

private:
    static constexpr std::size_t kBlockBytes = 1 << 20;
    static constexpr std::size_t kAlignment = File::kDirectAlignment;
    // Room for a block, the chunk that crosses its end, and what is carried
    // into the next block so that direct writes stay aligned.
    static constexpr std::size_t kCapacity = kBlockBytes + kSealedChunkBytes + kAlignment;
    static constexpr std::size_t kDepth = 3;

    struct Block {
        unsigned char* bytes = nullptr;
        std::size_t used = 0; // the most it ever held, to wipe
        std::size_t size = 0; // to write
        bool last = false;
    };

    /// Hands the current block on: all of it when it is the `last`, else as
    /// much as keeps direct writes aligned, the rest carried into the next.
    void Hand(bool last)
    {
        Block& block = blocks[current];
        block.size = last || !direct ? fill : fill / kAlignment * kAlignment;
        block.last = last;
        const std::size_t carried = fill - block.size;
        if (!thread.joinable()) {
            Record(WriteBlock(block));
            std::memmove(block.bytes, block.bytes + block.size, carried);
            fill = carried;
            return;
        }
        std::size_t next = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            ++queued;
            changed.notify_all();
            changed.wait(lock, [&] { return queued < kDepth || failed; });
            next = (first + queued) % kDepth;
        }
        // The writer reads only the block's first `size` bytes.
        std::memcpy(blocks[next].bytes, block.bytes + block.size, carried);
        blocks[next].used = std::max(blocks[next].used, carried);
        current = next;
        fill = carried;
    }

    bool WriteBlock(const Block& block)
    {
        if (block.size == 0)
            return true;
        if (!direct || !block.last)
            return write(block.bytes, block.size);
        // The end of the file is rarely aligned: what is past the last
        // aligned byte goes through the cache.
        const std::size_t aligned = block.size / kAlignment * kAlignment;
        return (aligned == 0 || write(block.bytes, aligned)) && file->WriteDirect(false) &&
               (aligned == block.size || write(block.bytes + aligned, block.size - aligned));
    }

    void Record(bool written)
    {
        if (!written && !failed) {
            failure = Platform::Files::LastError(); // the writing thread's
            failed = true;
        }
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return queued > 0 || stopping; });
            if (queued == 0)
                return;
            const Block& block = blocks[first];
            lock.unlock();
            const bool written = failed || WriteBlock(block);
            lock.lock();
            Record(written);
            first = (first + 1) % kDepth;
            --queued;
            changed.notify_all();
        }
    }

    void Stop()
    {
        if (!thread.joinable())
            return;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
    }

    Write write;
    File* file;
    bool direct = false;
    std::vector<AlignedBytes> owned;
    std::array<Block, kDepth> blocks{};
    std::size_t current = 0; // the block being filled
    std::size_t fill = 0;    // bytes in it
    std::size_t first = 0;   // the oldest block waiting to be written
    std::size_t queued = 0;  // blocks waiting to be written
    std::atomic<bool> failed = false;
    bool stopping = false;
    std::string failure;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
};

/// Copies `head` and the rest of `source` into `out`; false when fewer
/// than `size` bytes in all were read.
bool Copy(File& source, const std::vector<unsigned char>& head, std::int64_t size, StagedOutput& out,
          std::string& reason)
{
    out.Put(head.data(), head.size());
    std::int64_t copied = static_cast<std::int64_t>(head.size());
    std::optional<std::size_t> got = kSealedChunkBytes;
    while (got == kSealedChunkBytes) {
        unsigned char* const room = out.Room();
        if (room == nullptr)
            break;
        got = source.Read(room, kSealedChunkBytes);
        out.Add(got.value_or(0));
        copied += static_cast<std::int64_t>(got.value_or(0));
    }
    if (!out.Finish(reason))
        return false;
    if (!got)
        return ReadFailed(reason);
    if (copied != size)
        reason = Platform::Files::Replacement::kSourceChanged;
    return copied == size;
}

/// A file read ahead in blocks of a fixed size. For a large file the blocks
/// are read on a thread of their own while the last one is sealed or
/// opened, so that the system's copying into memory overlaps with the
/// cryptography. Every block holds the full size but the last, which holds
/// less (nothing when the file ends at a block's end). The blocks may hold
/// plain text: what was used of them is wiped when the input goes.
class StagedInput {
public:
    struct Block {
        const unsigned char* bytes = nullptr;
        std::size_t size = 0;
    };

    /// Reads `file` from where it stands, after `head`, which was read from
    /// it already and starts the first block.
    StagedInput(File& file, const std::vector<unsigned char>& head, std::size_t blockBytes, bool large)
        : file(file), head(head), blockBytes(blockBytes)
    {
        if (!large) {
            // Two blocks, kept from file to file.
            thread_local std::array<AlignedBytes, 2> spare{AllocateAligned(kMostBlockBytes),
                                                           AllocateAligned(kMostBlockBytes)};
            slots[0].bytes = spare[0].get();
            slots[1].bytes = spare[1].get();
            depth = 2;
            return;
        }
        for (Slot& slot : slots) {
            owned.push_back(AllocateAligned(kMostBlockBytes));
            slot.bytes = owned.back().get();
        }
        try {
            thread = std::thread(&StagedInput::Run, this);
        } catch (const std::system_error&) {
            // No thread to be had: each block is read when it is asked for.
        }
    }

    ~StagedInput()
    {
        if (thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                stopping = true;
            }
            changed.notify_all();
            thread.join();
        }
        for (Slot& slot : slots)
            if (slot.bytes != nullptr)
                sodium_memzero(slot.bytes, slot.used);
    }

    StagedInput(const StagedInput&) = delete;
    StagedInput& operator=(const StagedInput&) = delete;

    /// The next block; nullopt when it could not be read (Failure says
    /// why). The two blocks given last stay valid; the one before them is
    /// given back.
    std::optional<Block> Next()
    {
        if (!thread.joinable()) {
            if (held == 2) {
                first = (first + 1) % depth;
                --held;
            }
            Slot& slot = slots[(first + held) % depth];
            ++held;
            Fill(slot);
            return Take(slot);
        }
        std::unique_lock<std::mutex> lock(mutex);
        if (held == 2) {
            first = (first + 1) % depth;
            --held;
            changed.notify_all();
        }
        changed.wait(lock, [&] { return ready > 0; });
        --ready;
        ++held;
        return Take(slots[(first + held - 1) % depth]);
    }

    /// Why a block could not be read.
    const std::string& Failure() const { return failure; }

private:
    static constexpr std::size_t kMostBlockBytes = 16 * kSealedChunkBytes;

    struct Slot {
        unsigned char* bytes = nullptr;
        std::size_t used = 0; // the most it ever held, to wipe
        std::size_t size = 0;
        bool failed = false;
    };

    std::optional<Block> Take(const Slot& slot) const
    {
        if (slot.failed)
            return std::nullopt;
        return Block{slot.bytes, slot.size};
    }

    /// Reads the next block into `slot`, once the file ended an empty one.
    void Fill(Slot& slot)
    {
        std::size_t size = 0;
        if (!headTaken) {
            if (!head.empty())
                std::memcpy(slot.bytes, head.data(), head.size());
            size = head.size();
            headTaken = true;
        }
        std::optional<std::size_t> got = 0;
        if (!ended)
            got = file.Read(slot.bytes + size, blockBytes - size);
        slot.failed = !got;
        if (!got)
            failure = Platform::Files::LastError(); // the reading thread's
        slot.size = size + got.value_or(0);
        slot.used = std::max(slot.used, slot.size);
        ended = ended || slot.failed || slot.size < blockBytes;
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return held + ready < depth || stopping; });
            if (stopping)
                return;
            Slot& slot = slots[(first + held + ready) % depth];
            lock.unlock();
            Fill(slot);
            lock.lock();
            ++ready;
            changed.notify_all();
        }
    }

    File& file;
    const std::vector<unsigned char> head;
    const std::size_t blockBytes;
    std::vector<AlignedBytes> owned;
    std::array<Slot, 4> slots{};
    std::size_t depth = slots.size();
    std::size_t first = 0; // the oldest block given and not given back
    std::size_t held = 0;  // blocks given and not given back
    std::size_t ready = 0; // blocks read and not given yet
    bool headTaken = false;
    bool ended = false;
    bool stopping = false;
    std::string failure;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
};

/// Seals the plaintext of `source`, of which `head` was already read, into
/// `out`: the magic, the stream header, then the chunks; false when the
/// file did not hold `size` bytes.
bool Encrypt(const SealKey& key, File& source, const std::vector<unsigned char>& head, std::int64_t size,
             StagedOutput& out, std::string& reason)
{
    // The magic goes first, so a temporary file a killed run leaves is
    // known for the host's own by its start.
    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char header[kHeaderBytes];
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.Bytes());
    out.Put(reinterpret_cast<const unsigned char*>(kSealMagic), kSealMagicBytes);
    out.Put(header, sizeof header);

    StagedInput in(source, head, kReadBytes, size >= kLargeBytes);
    std::optional<StagedInput::Block> block = in.Next();
    std::int64_t total = 0;
    bool sealedAll = false;
    while (block && !sealedAll && out.Room() != nullptr) {
        total += static_cast<std::int64_t>(block->size);
        // A chunk is the last only when nothing follows it: the block after
        // a full one is read before its last chunk is sealed.
        std::optional<StagedInput::Block> next;
        std::size_t at = 0;
        do {
            const std::size_t bytes = std::min(kChunkBytes, block->size - at);
            const bool endsBlock = at + bytes == block->size;
            if (endsBlock && block->size == kReadBytes && !(next = in.Next()))
                break;
            unsigned char* const sealed = out.Room();
            if (sealed == nullptr)
                break;
            sealedAll = endsBlock && (!next || next->size == 0);
            unsigned long long sealedBytes = 0;
            crypto_secretstream_xchacha20poly1305_push(&state, sealed, &sealedBytes, block->bytes + at, bytes,
                                                       nullptr, 0,
                                                       sealedAll ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                                 : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
            out.Add(static_cast<std::size_t>(sealedBytes));
            at += bytes;
        } while (at < block->size);
        block = next;
    }
    if (!out.Finish(reason))
        return false;
    if (!sealedAll) {
        reason = "cannot read: " + in.Failure();
        return false;
    }
    // A file cut or grown while it was read would be sealed in a form that
    // matches neither what was there nor what is there now.
    if (total != size)
        reason = Platform::Files::Replacement::kSourceChanged;
    return total == size;
}

} // namespace

SealKey::~SealKey()
{
    sodium_memzero(bytes.data(), bytes.size());
}

SealKey SealKey::FromFile(const std::string& path, bool createIfMissing, bool& created)
{
    namespace Files = Platform::Files;
    StartSodium();
    created = false;
    SealKey key;
    const std::optional<Files::Status> own = Files::StatusOf(path);
    if (!own && createIfMissing && Files::KindOf(path) == Files::Kind::Missing) {
        randombytes_buf(key.bytes.data(), key.bytes.size());
        File file = File::CreatePrivate(path);
        if (!file.IsOpen())
            throw HostError(kExitFailure, "cannot create the key file " + path + ": " + Files::LastError());
        if (!file.Write(key.bytes.data(), key.bytes.size()) || !file.Flush()) {
            const std::string why = Files::LastError();
            file.Close();
            Files::RemoveFile(path);
            throw HostError(kExitFailure, "cannot write the key file " + path + ": " + why);
        }
        created = true;
        return key;
    }
    if (own && own->kind == Files::Kind::Link && Files::KindOf(path) == Files::Kind::Missing)
        throw HostError(kExitFailure, "the key file " + path + " is a symbolic link that leads to no file (" +
                                          Files::LastError() + "); kxhost does not create a key through a link");

    File file = File::OpenForReading(path);
    if (!file.IsOpen())
        throw HostError(kExitFailure, "cannot read the key file " + path + ": " + Files::LastError());
    const std::optional<std::int64_t> size = file.Size();
    if (size && *size != static_cast<std::int64_t>(kKeyBytes))
        throw HostError(kExitFailure, "the key file " + path + " holds " + std::to_string(*size) +
                                          " bytes; a key file holds exactly " + std::to_string(kKeyBytes));
    const std::optional<bool> shared = file.OthersMayAccess();
    if (!shared)
        throw HostError(kExitFailure, "cannot read the key file " + path + ": " + Files::LastError());
    if (*shared)
        throw HostError(kExitFailure, "the key file " + path +
                                          " can be read by others than its owner; make it private first (on "
                                          "Linux: chmod 600 " + path + ")");
    const std::optional<std::size_t> got = file.Read(key.bytes.data(), key.bytes.size());
    if (!size || !got || *got != kKeyBytes)
        throw HostError(kExitFailure, "cannot read the key file " + path + ": " + Files::LastError());
    return key;
}

SealResult SealFile(const SealKey& key, const std::string& source, const std::string& destination,
                    Replacement& output, std::string& reason)
{
    File input = File::OpenForReading(source, File::Links::Refuse);
    const std::optional<Platform::Files::Status> status = input.IsOpen() ? input.Status() : std::nullopt;
    if (!status) {
        reason = SystemReason("cannot open");
        return SealResult::Failed;
    }
    if (status->links > 1) {
        reason = "it has " + std::to_string(status->links) +
                 " names (hard links), and sealing it would leave the plain text under the others";
        return SealResult::Failed;
    }
    std::vector<unsigned char> head;
    const Start start = ReadStart(key, input, head, reason);
    if (start == Start::Foreign)
        return SealResult::Failed;
    if (start == Start::Sealed && source == destination)
        return SealResult::AlreadySealed;

    if (!output.Begin(destination)) {
        reason = SystemReason("cannot create the output");
        return SealResult::Failed;
    }
    output.RequireUnchanged(source, *status);
    File& out = output.Output();
    if (!output.TakeAttributes(*status)) {
        reason = SystemReason("cannot create the output");
        output = Replacement();
        return SealResult::Failed;
    }
    StagedOutput staged([&out](const unsigned char* bytes, std::size_t size) { return out.Write(bytes, size); },
                        &out, status->size >= kLargeBytes);
    const bool written = start == Start::Sealed ? Copy(input, head, status->size, staged, reason)
                                                : Encrypt(key, input, head, status->size, staged, reason);
    if (!written) {
        output = Replacement();
        return SealResult::Failed;
    }
    return start == Start::Sealed ? SealResult::AlreadySealed : SealResult::Sealed;
}

namespace {

/// Checks the sealed file `input` from its start and hands its plain text
/// to `out`, when given.
bool Open(const SealKey& key, File& input, StagedOutput* out, bool large, std::string& reason)
{
    unsigned char start[kSealMagicBytes + kHeaderBytes];
    const std::optional<std::size_t> got = input.Read(start, sizeof start);
    if (!got)
        return ReadFailed(reason);
    if (*got < kSealMagicBytes || std::memcmp(start, kSealMagic, kSealMagicBytes) != 0) {
        reason = std::string("not a sealed file: it does not start with ") + kSealMagic;
        return false;
    }
    crypto_secretstream_xchacha20poly1305_state state;
    if (*got != sizeof start ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, start + kSealMagicBytes, key.Bytes()) != 0) {
        reason = "the file is cut short inside its header";
        return false;
    }

    // Without an output the plain text only passes through one buffer,
    // which is wiped at the end.
    std::vector<unsigned char> scratch(out ? 0 : kChunkBytes);
    StagedInput in(input, {}, kOpenBytes, large);
    std::optional<StagedInput::Block> block = in.Next();
    std::size_t at = 0;
    bool opened = false;
    for (;;) {
        if (!block) {
            reason = "cannot read: " + in.Failure();
            break;
        }
        if (at == block->size) {
            if (block->size < kOpenBytes) {
                reason = "the file is cut short: its last chunk is missing";
                break;
            }
            block = in.Next();
            at = 0;
            continue;
        }
        unsigned char* const chunk = out ? out->Room() : scratch.data();
        if (chunk == nullptr)
            break; // a write failed; Finish says why
        const std::size_t sealedBytes = std::min(kSealedChunkBytes, block->size - at);
        unsigned long long chunkBytes = 0;
        unsigned char tag = 0;
        if (sealedBytes < kTagBytes ||
            crypto_secretstream_xchacha20poly1305_pull(&state, chunk, &chunkBytes, &tag, block->bytes + at,
                                                       sealedBytes, nullptr, 0) != 0) {
            reason = "the file was altered, cut short or reordered, or sealed with another key";
            break;
        }
        at += sealedBytes;
        const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        if (final) {
            // The end is checked before the last chunk is handed on.
            std::optional<StagedInput::Block> next;
            if (at == block->size && block->size == kOpenBytes && !(next = in.Next())) {
                reason = "cannot read: " + in.Failure();
                break;
            }
            if (at < block->size || (next && next->size > 0)) {
                reason = "the file goes on after its last chunk";
                break;
            }
        }
        if (out)
            out->Add(static_cast<std::size_t>(chunkBytes));
        if (final) {
            opened = true;
            break;
        }
    }
    if (out && (opened || out->Room() == nullptr) && !out->Finish(reason))
        opened = false;
    sodium_memzero(scratch.data(), scratch.size());
    return opened;
}

bool Large(File& input)
{
    return input.Size().value_or(0) >= kLargeBytes;
}

} // namespace

bool OpenSealed(const SealKey& key, File& input, const PlaintextSink& sink, std::string& reason)
{
    const bool large = Large(input);
    if (!sink)
        return Open(key, input, nullptr, large, reason);
    StagedOutput out(sink, nullptr, large);
    return Open(key, input, &out, large, reason);
}

bool OpenSealed(const SealKey& key, File& input, File& output, std::string& reason)
{
    const bool large = Large(input);
    StagedOutput out([&output](const unsigned char* bytes, std::size_t size) { return output.Write(bytes, size); },
                     &output, large);
    return Open(key, input, &out, large, reason);
}

} // namespace KxHost
