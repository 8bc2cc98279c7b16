// kxhost decrypt: a sealed file checked and opened, into a file, a pipe or
// device, or standard output, in constant memory.
#include "host/Commands.h"

#include "host/Console.h"
#include "host/Sealing.h"
#include "platform/Files.h"

namespace KxHost {

namespace {

/// Checks the whole of `input` first and only then hands its plain text to
/// `sink`: for an output that cannot be taken back, such as a pipe.
bool OpenChecked(const SealKey& key, Platform::Files::File& input, const PlaintextSink& sink, std::string& reason)
{
    const std::optional<Platform::Files::Status> before = input.Status();
    if (!OpenSealed(key, input, {}, reason))
        return false;
    const std::optional<Platform::Files::Status> after = input.Status();
    if (!before || !after || !after->Unchanged(*before) || !input.Seek(0)) {
        reason = "the file changed while it was checked";
        return false;
    }
    return OpenSealed(key, input, sink, reason);
}

} // namespace

/// kxhost decrypt: checks `file` and writes its plaintext to `out`, or to
/// standard output when `out` is empty. Nothing unchecked is written: a
/// regular file at `out` (or none) is replaced only after the last chunk
/// checked out; a pipe, terminal or device gets the plain text after a
/// first pass checked the whole file. Memory stays the same whatever the
/// file's size.
int DecryptCommand(const std::string& file, const std::string& out, const std::string& keyFile)
{
    namespace Files = Platform::Files;
    try {
        const SealKey key = LoadKey(keyFile, false);
        Files::File input = Files::File::OpenForReading(file);
        if (!input.IsOpen()) {
            Console::Note("cannot decrypt " + file + ": cannot open it: " + Files::LastError());
            return kExitFailure;
        }
        std::string reason;
        bool opened = false;
        const Files::Kind kind = out.empty() ? Files::Kind::Other : Files::KindOf(out);
        if (out.empty()) {
            opened = OpenChecked(key, input, Files::WriteStandardOutput, reason);
        } else if (kind == Files::Kind::Folder) {
            Console::Note("--out: a folder stands at " + out);
            return kExitUsage;
        } else if (kind == Files::Kind::Other) {
            Files::File stream = Files::File::OpenStream(out);
            if (!stream.IsOpen()) {
                Console::Note("cannot write " + out + ": " + Files::LastError());
                return kExitFailure;
            }
            opened = OpenChecked(
                key, input, [&](const unsigned char* bytes, std::size_t size) { return stream.Write(bytes, size); },
                reason);
        } else {
            // A link is followed to the file it names, which is replaced; the
            // link itself stays. One that leads nowhere is not written
            // through.
            const std::optional<Files::Status> own = Files::StatusOf(out);
            if (own && own->kind == Files::Kind::Link && kind == Files::Kind::Missing) {
                Console::Note("cannot write " + out + ": a symbolic link that leads to no file, which kxhost does not "
                                                 "write through");
                return kExitFailure;
            }
            const std::string target = kind == Files::Kind::File ? Files::AbsolutePath(out).value_or(out) : out;
            const std::optional<Files::Status> existing =
                kind == Files::Kind::File ? Files::StatusOf(target) : std::nullopt;
            Files::Replacement output;
            if (!output.Begin(target) || (existing && !output.TakeAttributes(*existing))) {
                Console::Note("cannot write " + out + ": " + Files::LastError());
                return kExitFailure;
            }
            if (existing)
                output.RequireUnchanged(target, *existing);
            opened = OpenSealed(key, input, output.Output(), reason);
            if (opened && !output.Commit()) {
                Console::Note("cannot write " + out + ": " + Files::LastError());
                return kExitFailure;
            }
        }
        if (!opened) {
            Console::Note("cannot decrypt " + file + ": " + reason);
            return kExitFailure;
        }
        Console::Verbose("decrypted " + file + (out.empty() ? "" : " into " + out));
        return kExitSuccess;
    } catch (const HostError& error) {
        Console::Note(error.what());
        return error.ExitCode();
    }
}

} // namespace KxHost
