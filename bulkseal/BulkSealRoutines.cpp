// The routine table, the extension and the routine handler of BulkSeal.
#include "bulkseal/BulkSealRoutines.h"

#include "framework/HostInterfaces.h"
#include "framework/HostStubs.h"
#include "framework/ModuleState.h"

#include <cstring>
#include <new>

namespace BulkSeal {

using namespace ZEDA::PluginSupport;

namespace {

using namespace Calvera::Extension;

constexpr char kCategory[] = "Utility";
constexpr char kExtensionName[] = "BulkSealCSFuncs";
constexpr std::uint32_t kExtensionVersion = 1;
constexpr char kResultsLogName[] = "__EncryptionResults.txt";
constexpr char kChooserTitle[] = "Choose Test Encrypt plug-ins folder";
constexpr char kLogOk[] = "OK ";
constexpr char kLogFail[] = "FAIL ";
/// Script plug-in files, by extension (without the dot), tested in this order.
constexpr const char* kScriptExtensions[] = {"csm", "cst", "cso"};

/// A host object held for one step: asked for by identifier (or taken over
/// with the reference it came with) and given back when the step ends. Steps
/// nest, so the object obtained last is released first.
template <typename I>
class HostObject {
public:
    explicit HostObject(const InterfaceID& identifier)
    {
        IKXUnknown* found = nullptr;
        if (QueryHostInterface(identifier, &found) == kResultOk && found != nullptr)
            object = static_cast<I*>(found);
    }
    explicit HostObject(I* referenced) : object(referenced) {}
    ~HostObject()
    {
        if (object != nullptr)
            object->Release();
    }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    /// Null when the host could not supply the object: the step then ends
    /// without it.
    I* operator->() const { return object; }
    I* get() const { return object; }
    explicit operator bool() const { return object != nullptr; }

private:
    I* object = nullptr;
};

TXString ResultsLogPath()
{
    // The host's folder paths end with a separator; none is added here.
    TXString path = TargetFolder();
    path += kResultsLogName;
    return path;
}

bool IsScriptFile(const TXString& extension)
{
    for (const char* script : kScriptExtensions) {
        if (extension.EqualNoCase(TXString(script)))
            return true;
    }
    return false;
}

/// Appends the line of one file to the test run's log.
void LogResult(const TXString& name, bool encrypted)
{
    HostObject<IHostFile> file(IID_HostFile);
    if (!file)
        return;
    file->SetFullPath(ResultsLogPath());
    HostObject<IHostTextFile> text(IID_HostTextFile);
    if (!text)
        return;
    if (text->Open(file.get(), kTextFileModeReadWrite, kTextFileOptionsNone) == kResultOk) {
        TXString line(encrypted ? kLogOk : kLogFail);
        line += name;
        std::int64_t length = 0;
        text->GetLength(length);
        text->SetPosition(length);
        text->WriteLine(line);
    }
    text->Close();
}

/// The per-file step of a batch: encrypts a script file into the current
/// target folder and, in a test run, logs the outcome. Always goes on.
bool EncryptStep(void* /*context*/, const char* fullPath, const char* name, const char* extension) noexcept
{
    try {
        if (!IsScriptFile(TXString(extension)))
            return true;
        const bool encrypted = EncryptScriptFile::Call(Module().callbackBlock, TXString(fullPath), true, TargetFolder());
        if (!TargetFolder().IsEmpty())
            LogResult(TXString(name), encrypted);
    } catch (...) {
        // The walk is the host's: nothing may be thrown into it. A file this
        // step could not finish counts as not logged.
    }
    return true;
}

/// Walks the plug-ins folder through the host's application interface;
/// without one there is nothing to walk.
void RunBatch()
{
    if (IHostApplication* application = Module().application)
        application->WalkFolder(kFolderKindPlugins, &EncryptStep, nullptr);
}

/// The test run: asks for a target folder, deletes an earlier log there and
/// runs the batch into it. A cancelled choice ends it without any change.
void RunTestBatch()
{
    TargetFolder().Clear();
    {
        HostObject<IHostFolderChooser> chooser(IID_HostFolderChooser);
        if (!chooser)
            return;
        chooser->SetTitle(TXString(kChooserTitle));
        if (chooser->Run() == kResultOk) {
            IHostFolder* chosen = nullptr;
            chooser->GetChosenFolder(chosen);
            HostObject<IHostFolder> folder(chosen);
            if (folder) {
                folder->GetFullPath(TargetFolder());
                HostObject<IHostFile> log(IID_HostFile);
                if (log) {
                    log->SetFullPath(ResultsLogPath());
                    bool exists = false;
                    log->Exists(exists);
                    if (exists)
                        log->Delete();
                }
            }
        }
    }
    if (!TargetFolder().IsEmpty())
        RunBatch();
}

} // namespace

const RoutineDescription kRoutineTable[kRoutineCount + 1] = {
    {kEncryptAllPlugins, kCategory,
     "This will do batch encryption of all Calscript plug-ins in the Plug-ins folder.", 1900, false, false, {}},
    {kEncryptPlugin, kCategory, "Encrypt one Calscript Plug-in file.", 1900, true, false,
     {{"fullPath", kTagString}, {"returnVal", kTagBool}}},
    {kTestEncryptPlugins, kCategory,
     "This will test do batch encryption of all Calscript plug-ins in the Plug-ins folder and put the reuslt in a "
     "test folder.",
     2300, false, false, {}},
    {nullptr, nullptr, nullptr, 0, false, false, {}},
};

TXString& TargetFolder()
{
    static TXString folder; // empty: allocates nothing before the partition is known
    return folder;
}

// ---------------------------------------------------------------------------
// The extension

CBulkSealCSFuncs::CBulkSealCSFuncs(HostCallbackBlock* callbackBlock, const RoutineDescription* table)
    : KXExtensionCSFunctions(callbackBlock, table)
{
}

const TXString& CBulkSealCSFuncs::GetExtensionName()
{
    name = kExtensionName;
    return name;
}

std::uint32_t CBulkSealCSFuncs::GetExtensionVersion()
{
    return kExtensionVersion;
}

void CBulkSealCSFuncs::AttachRoutines()
{
    auto* sink = dynamic_cast<KXCSFunctions_EventSink*>(eventSink);
    if (sink == nullptr)
        return;
    auto* routines = new (std::nothrow) CBulkSealLibraryRoutines;
    if (routines != nullptr && !sink->AddRoutine(routines, false))
        delete routines;
}

Calvera::Extension::IEventSink* CBulkSealCSFuncs::CreateEventSink(IKXUnknown* parent)
{
    return new (std::nothrow) KXCSFunctions_EventSink(parent);
}

// ---------------------------------------------------------------------------
// The routines

void CBulkSealLibraryRoutines::Execute(std::int32_t routineIndex, KXPluginLibraryArgTable& arguments)
{
    // The host passes only indexes below the routine count; one beyond the
    // table would read past its end, so it is ignored like a negative one.
    if (routineIndex < 0 || routineIndex >= kRoutineCount)
        return;
    const char* const routine = kRoutineTable[routineIndex].name;
    if (std::strcmp(routine, kEncryptAllPlugins) == 0) {
        if (arguments.GetValueBlock() == nullptr)
            return;
        TargetFolder().Clear();
        RunBatch();
    } else if (std::strcmp(routine, kEncryptPlugin) == 0) {
        if (arguments.GetValueBlock() == nullptr)
            return;
        const TXString path = arguments.GetArgument(0).GetString();
        TXString noTarget;
        const bool ok = EncryptScriptFile::Call(Module().callbackBlock, path, true, noTarget);
        arguments.GetResult().SetBool(ok);
    } else if (std::strcmp(routine, kTestEncryptPlugins) == 0) {
        RunTestBatch(); // needs no value block
    }
}

} // namespace BulkSeal
