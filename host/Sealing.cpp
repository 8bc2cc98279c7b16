// Sealing and opening files with libsodium's secretstream.
#include "host/Sealing.h"

#include "host/Host.h"
#include "platform/Files.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <optional>

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

/// Room for two plaintext chunks and a sealed one, kept from file to file:
/// fresh buffers for every file of a batch cost more than encrypting it.
struct ChunkBuffers {
    std::vector<unsigned char> current = std::vector<unsigned char>(kChunkBytes);
    std::vector<unsigned char> next = std::vector<unsigned char>(kChunkBytes);
    std::vector<unsigned char> sealed = std::vector<unsigned char>(kSealedChunkBytes);
};

ChunkBuffers& Buffers()
{
    thread_local ChunkBuffers buffers;
    return buffers;
}

bool ReadFailed(std::string& reason)
{
    reason = SystemReason("cannot read");
    return false;
}

bool WriteFailed(std::string& reason)
{
    reason = SystemReason("cannot write");
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
    std::vector<unsigned char>& chunk = Buffers().next;
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

/// Copies `head` and the rest of `source` into `output`; false when fewer
/// than `size` bytes in all were read.
bool Copy(File& source, const std::vector<unsigned char>& head, std::int64_t size, File& output, std::string& reason)
{
    if (!output.Write(head.data(), head.size()))
        return WriteFailed(reason);
    std::int64_t copied = static_cast<std::int64_t>(head.size());
    std::vector<unsigned char>& buffer = Buffers().current;
    for (;;) {
        const std::optional<std::size_t> got = source.Read(buffer.data(), buffer.size());
        if (!got)
            return ReadFailed(reason);
        if (*got == 0)
            break;
        if (!output.Write(buffer.data(), *got))
            return WriteFailed(reason);
        copied += static_cast<std::int64_t>(*got);
    }
    if (copied != size)
        reason = Platform::Files::Replacement::kSourceChanged;
    return copied == size;
}

/// Encrypts the plaintext of `source`, of which `head` was already read,
/// into `output`, which already holds the magic and `header`; false when
/// the file did not hold `size` bytes.
bool Encrypt(crypto_secretstream_xchacha20poly1305_state& state, File& source, const std::vector<unsigned char>& head,
             std::int64_t size, File& output, std::string& reason)
{
    // Each chunk is sealed once the next one is read, so the last one can
    // carry the final tag.
    ChunkBuffers& buffers = Buffers();
    std::vector<unsigned char>& current = buffers.current;
    std::vector<unsigned char>& next = buffers.next;
    std::vector<unsigned char>& sealed = buffers.sealed;
    std::memcpy(current.data(), head.data(), head.size());
    std::optional<std::size_t> got = source.Read(current.data() + head.size(), kChunkBytes - head.size());
    if (!got)
        return ReadFailed(reason);
    std::size_t currentBytes = head.size() + *got;
    std::int64_t total = static_cast<std::int64_t>(currentBytes);
    for (;;) {
        std::size_t nextBytes = 0;
        if (currentBytes == kChunkBytes) {
            got = source.Read(next.data(), kChunkBytes);
            if (!got)
                return ReadFailed(reason);
            nextBytes = *got;
            total += static_cast<std::int64_t>(nextBytes);
        }
        const bool last = nextBytes == 0;
        unsigned long long sealedBytes = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, sealed.data(), &sealedBytes, current.data(), currentBytes, nullptr, 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        if (!output.Write(sealed.data(), static_cast<std::size_t>(sealedBytes)))
            return WriteFailed(reason);
        if (last)
            break;
        current.swap(next);
        currentBytes = nextBytes;
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
    bool written = false;
    if (start == Start::Sealed) {
        if (!out.Reserve(status->size))
            reason = SystemReason("no room for the output");
        else
            written = Copy(input, head, status->size, out, reason);
    } else {
        // The magic goes first, so a temporary file a killed run leaves is
        // known for the host's own by its start.
        crypto_secretstream_xchacha20poly1305_state state;
        unsigned char header[kHeaderBytes];
        crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.Bytes());
        // Every chunk adds its tag; an empty file still has its final chunk.
        const std::int64_t chunks = std::max<std::int64_t>(1, (status->size + kChunkBytes - 1) / kChunkBytes);
        const std::int64_t sealedSize = static_cast<std::int64_t>(kSealMagicBytes + kHeaderBytes) + status->size +
                                        chunks * static_cast<std::int64_t>(kTagBytes);
        if (!out.Write(kSealMagic, kSealMagicBytes) || !out.Write(header, sizeof header))
            WriteFailed(reason);
        else if (!out.Reserve(sealedSize))
            reason = SystemReason("no room for the output");
        else
            written = Encrypt(state, input, head, status->size, out, reason);
    }
    if (!written) {
        output = Replacement();
        return SealResult::Failed;
    }
    return start == Start::Sealed ? SealResult::AlreadySealed : SealResult::Sealed;
}

bool OpenSealed(const SealKey& key, File& input, const PlaintextSink& sink, std::string& reason)
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

    std::vector<unsigned char> sealed(kSealedChunkBytes);
    std::vector<unsigned char> chunk(kChunkBytes);
    bool opened = false;
    for (;;) {
        const std::optional<std::size_t> sealedBytes = input.Read(sealed.data(), sealed.size());
        if (!sealedBytes) {
            ReadFailed(reason);
            break;
        }
        if (*sealedBytes == 0) {
            reason = "the file is cut short: its last chunk is missing";
            break;
        }
        unsigned long long chunkBytes = 0;
        unsigned char tag = 0;
        if (*sealedBytes < kTagBytes ||
            crypto_secretstream_xchacha20poly1305_pull(&state, chunk.data(), &chunkBytes, &tag, sealed.data(),
                                                       *sealedBytes, nullptr, 0) != 0) {
            reason = "the file was altered, cut short or reordered, or sealed with another key";
            break;
        }
        const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        if (final) {
            // The end is checked before the last chunk is handed on.
            unsigned char extra = 0;
            const std::optional<std::size_t> more = input.Read(&extra, 1);
            if (!more || *more != 0) {
                reason = more ? "the file goes on after its last chunk" : SystemReason("cannot read");
                break;
            }
        }
        if (sink && !sink(chunk.data(), static_cast<std::size_t>(chunkBytes))) {
            reason = SystemReason("cannot write the plain text");
            break;
        }
        if (final) {
            opened = true;
            break;
        }
    }
    sodium_memzero(chunk.data(), chunk.size());
    return opened;
}

} // namespace KxHost
