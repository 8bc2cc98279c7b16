// kxhost's encryption service: seals script files with authenticated
// streaming encryption (libsodium's secretstream, XChaCha20-Poly1305) and
// opens them again for the developer.
//
// A sealed file is the 8 bytes "KXSEAL01", the stream header, then the
// plaintext in chunks of kChunkBytes, each encrypted with its own
// authentication tag; the last chunk (empty for an empty file) carries the
// final tag. A chunk that was altered, moved or dropped, a file cut short or
// extended, and the wrong key all fail authentication. A file counts as
// sealed only when its header and first chunk open with the key: a plain
// file that merely starts with the magic is not taken for one.
//
// Output is written through Platform::Files::Replacement: the destination
// holds either what it held before or the complete new content.
#pragma once

#include "platform/Files.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace KxHost {

/// What every sealed file starts with.
inline constexpr char kSealMagic[] = "KXSEAL01";
inline constexpr std::size_t kSealMagicBytes = sizeof kSealMagic - 1;
/// Plaintext bytes per chunk.
inline constexpr std::size_t kChunkBytes = 64 * 1024;
/// The size of a key and of a key file.
inline constexpr std::size_t kKeyBytes = 32;

/// A secret key; wiped when it goes.
class SealKey {
public:
    SealKey() = default;
    ~SealKey();
    SealKey(const SealKey&) = default;
    SealKey& operator=(const SealKey&) = default;

    /// Reads the key file at `path`. With `createIfMissing`, a missing file
    /// is created with a fresh random key, readable by its owner only, and
    /// `created` is set (never through a link). Throws HostError
    /// (kExitFailure) when the file cannot be read or created, does not hold
    /// exactly kKeyBytes bytes, or others than its owner may read it.
    static SealKey FromFile(const std::string& path, bool createIfMissing, bool& created);

    const unsigned char* Bytes() const { return bytes.data(); }

private:
    std::array<unsigned char, kKeyBytes> bytes{};
};

/// The outcome of sealing one file.
enum class SealResult {
    Sealed,        ///< the output holds the sealed file
    AlreadySealed, ///< the source was sealed with this key already; the output holds it as it is, or was not
                   ///< begun when the source is its own destination
    Failed,        ///< nothing changed; the reason was set
};

/// Writes the sealed form of the regular file `source` into `output`, begun
/// here for `destination`, which may be the same path (sealing in place) and
/// whose folder must exist. Committing `output` puts it in place, keeping
/// the source's permission bits, and only while the source is unchanged
/// since it was read. A link, a file with more than one name (sealing it
/// would leave the plain text under the others), and a file that starts
/// with kSealMagic but does not open with `key` are refused. On failure
/// `reason` says why, without the paths, and `output` holds nothing.
SealResult SealFile(const SealKey& key, const std::string& source, const std::string& destination,
                    Platform::Files::Replacement& output, std::string& reason);

/// Receives the plain text of a sealed file chunk by chunk, each chunk only
/// once it is authenticated; returns false when it cannot take it.
using PlaintextSink = std::function<bool(const unsigned char* bytes, std::size_t size)>;

/// Checks the sealed file `input` from its start and hands its plain text
/// to `sink` (none: only checks). Returns false with `reason` set when it is
/// not a sealed file, cannot be read, fails authentication or the sink
/// refuses; a chunk is handed on only after it authenticated, but a file
/// that fails later has had its earlier chunks handed on: check first, with
/// no sink, where nothing unchecked may be written.
bool OpenSealed(const SealKey& key, Platform::Files::File& input, const PlaintextSink& sink, std::string& reason);

/// The same into the regular file `output`, written from its start; a large
/// one bypasses the system's cache where it can.
bool OpenSealed(const SealKey& key, Platform::Files::File& input, Platform::Files::File& output, std::string& reason);

} // namespace KxHost
