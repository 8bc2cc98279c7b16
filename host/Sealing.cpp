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

/// Reads the first bytes of `file` and tells whether they are the seal's
/// magic; the file is left positioned after what was read.
bool StartsSealed(File& file, std::size_t& read, unsigned char (&start)[kSealMagicBytes])
{
    const std::optional<std::size_t> got = file.Read(start, sizeof start);
    read = got.value_or(0);
    return got && *got == kSealMagicBytes && std::memcmp(start, kSealMagic, kSealMagicBytes) == 0;
}

/// Copies the rest of `source` after `head` into `output`.
bool CopyRest(File& source, const unsigned char* head, std::size_t headBytes, File& output, std::string& reason)
{
    if (!output.Write(head, headBytes)) {
        reason = SystemReason("cannot write");
        return false;
    }
    std::vector<unsigned char>& buffer = Buffers().current;
    for (;;) {
        const std::optional<std::size_t> got = source.Read(buffer.data(), buffer.size());
        if (!got) {
            reason = SystemReason("cannot read");
            return false;
        }
        if (*got == 0)
            return true;
        if (!output.Write(buffer.data(), *got)) {
            reason = SystemReason("cannot write");
            return false;
        }
    }
}

/// Encrypts the plaintext of `source`, of which `head` was already read,
/// into `output`.
bool Encrypt(const SealKey& key, File& source, const unsigned char* head, std::size_t headBytes, File& output,
             std::string& reason)
{
    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char header[kHeaderBytes];
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.Bytes());
    if (!output.Write(kSealMagic, kSealMagicBytes) || !output.Write(header, sizeof header)) {
        reason = SystemReason("cannot write");
        return false;
    }

    // Each chunk is sealed once the next one is read, so the last one can
    // carry the final tag.
    ChunkBuffers& buffers = Buffers();
    std::vector<unsigned char>& current = buffers.current;
    std::vector<unsigned char>& next = buffers.next;
    std::vector<unsigned char>& sealed = buffers.sealed;
    std::memcpy(current.data(), head, headBytes);
    std::optional<std::size_t> got = source.Read(current.data() + headBytes, kChunkBytes - headBytes);
    if (!got) {
        reason = SystemReason("cannot read");
        return false;
    }
    std::size_t currentBytes = headBytes + *got;
    for (;;) {
        std::size_t nextBytes = 0;
        if (currentBytes == kChunkBytes) {
            got = source.Read(next.data(), kChunkBytes);
            if (!got) {
                reason = SystemReason("cannot read");
                return false;
            }
            nextBytes = *got;
        }
        const bool last = nextBytes == 0;
        unsigned long long sealedBytes = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, sealed.data(), &sealedBytes, current.data(), currentBytes, nullptr, 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        if (!output.Write(sealed.data(), static_cast<std::size_t>(sealedBytes))) {
            reason = SystemReason("cannot write");
            return false;
        }
        if (last)
            return true;
        current.swap(next);
        currentBytes = nextBytes;
    }
}

} // namespace

SealKey::~SealKey()
{
    sodium_memzero(bytes.data(), bytes.size());
}

SealKey SealKey::FromFile(const std::string& path, bool createIfMissing, bool& created)
{
    StartSodium();
    created = false;
    SealKey key;
    if (createIfMissing && Platform::Files::KindOf(path) == Platform::Files::Kind::Missing) {
        randombytes_buf(key.bytes.data(), key.bytes.size());
        File file = File::CreatePrivate(path);
        if (!file.IsOpen())
            throw HostError(kExitFailure, "cannot create the key file " + path + ": " + Platform::Files::LastError());
        if (!file.Write(key.bytes.data(), key.bytes.size()) || !file.Flush()) {
            const std::string why = Platform::Files::LastError();
            file.Close();
            Platform::Files::RemoveFile(path);
            throw HostError(kExitFailure, "cannot write the key file " + path + ": " + why);
        }
        created = true;
        return key;
    }

    File file = File::OpenForReading(path);
    if (!file.IsOpen())
        throw HostError(kExitFailure, "cannot read the key file " + path + ": " + Platform::Files::LastError());
    const std::optional<std::int64_t> size = file.Size();
    if (size && *size != static_cast<std::int64_t>(kKeyBytes))
        throw HostError(kExitFailure, "the key file " + path + " holds " + std::to_string(*size) +
                                          " bytes; a key file holds exactly " + std::to_string(kKeyBytes));
    const std::optional<std::size_t> got = file.Read(key.bytes.data(), key.bytes.size());
    if (!size || !got || *got != kKeyBytes)
        throw HostError(kExitFailure, "cannot read the key file " + path + ": " + Platform::Files::LastError());
    return key;
}

SealResult SealFile(const SealKey& key, const std::string& source, const std::string& destination,
                    Replacement& output, std::string& reason)
{
    File input = File::OpenForReading(source);
    const std::optional<std::int64_t> size = input.IsOpen() ? input.Size() : std::nullopt;
    if (!size) {
        reason = SystemReason("cannot open");
        return SealResult::Failed;
    }
    unsigned char head[kSealMagicBytes];
    std::size_t headBytes = 0;
    const bool alreadySealed = StartsSealed(input, headBytes, head);
    if (alreadySealed && source == destination)
        return SealResult::AlreadySealed;

    if (!output.Begin(destination)) {
        reason = SystemReason("cannot create the output");
        return SealResult::Failed;
    }
    // Every chunk adds its tag; an empty file still has its final chunk.
    const std::int64_t chunks = std::max<std::int64_t>(1, (*size + kChunkBytes - 1) / kChunkBytes);
    const std::int64_t sealedSize =
        alreadySealed ? *size
                      : static_cast<std::int64_t>(kSealMagicBytes + kHeaderBytes) + *size +
                            chunks * static_cast<std::int64_t>(kTagBytes);
    if (!output.Output().Reserve(sealedSize)) {
        reason = SystemReason("no room for the output");
        output = Replacement();
        return SealResult::Failed;
    }
    const bool written = alreadySealed ? CopyRest(input, head, headBytes, output.Output(), reason)
                                       : Encrypt(key, input, head, headBytes, output.Output(), reason);
    if (!written) {
        output = Replacement();
        return SealResult::Failed;
    }
    return alreadySealed ? SealResult::AlreadySealed : SealResult::Sealed;
}

bool OpenSealedFile(const SealKey& key, const std::string& source, std::vector<unsigned char>& plaintext,
                    std::string& reason)
{
    plaintext.clear();
    File input = File::OpenForReading(source);
    if (!input.IsOpen()) {
        reason = SystemReason("cannot open");
        return false;
    }
    unsigned char head[kSealMagicBytes];
    std::size_t headBytes = 0;
    if (!StartsSealed(input, headBytes, head)) {
        reason = std::string("not a sealed file: it does not start with ") + kSealMagic;
        return false;
    }
    unsigned char header[kHeaderBytes];
    crypto_secretstream_xchacha20poly1305_state state;
    const std::optional<std::size_t> got = input.Read(header, sizeof header);
    if (!got || *got != sizeof header ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, header, key.Bytes()) != 0) {
        reason = "the file is cut short inside its header";
        return false;
    }

    std::vector<unsigned char> sealed(kSealedChunkBytes);
    std::vector<unsigned char> chunk(kChunkBytes);
    for (;;) {
        const std::optional<std::size_t> sealedBytes = input.Read(sealed.data(), sealed.size());
        if (!sealedBytes) {
            reason = SystemReason("cannot read");
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
        plaintext.insert(plaintext.end(), chunk.data(), chunk.data() + chunkBytes);
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            unsigned char extra = 0;
            const std::optional<std::size_t> more = input.Read(&extra, 1);
            if (more && *more == 0)
                return true;
            reason = "the file goes on after its last chunk";
            break;
        }
    }
    sodium_memzero(plaintext.data(), plaintext.size());
    plaintext.clear();
    return false;
}

} // namespace KxHost
